// tests/dk/common/model/DKDDO_test.cpp
//
// The dynamic data object: names, flags, freeze rule, properties, ownership of held values (run
// under AddressSanitizer), shared definitions, namespaces, persistence through a dkDatastore.
// A run of steps is checked as the braced list of what each gave (such a list runs in order).

#include <dk/DKDDO.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/DKSequentialCollection.hpp>
#include <dk/PConnectorKit.hpp>

#include "dkFakeDatastore.hpp"
#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using dktest::failureOf;
using dktest::str;
using dktest::usageError;
using V = dktest::Texts;

namespace {

using CountedCollection = dktest::Counted<DKSequentialCollection>;
using CountedDDO = dktest::Counted<DKDDO>;

// Reaches the definition an object holds, which the public interface never hands out.
struct DefinitionPeek : DKDDO {
    DKDDODef* definition() const { return def; }
};

DKAny held(dkCollection* c) { return DKAny(c); }
DKAny held(dkDataObjectBase* o) { return DKAny(o); }
DKAny typeCode(unsigned short code) { return DKAny(code); }

// One refused call: its message number and, where the text names what was missing, that detail.
struct Refusal {
    std::function<void()> call;
    long id;
    const char* detail = nullptr;
};

void expectRefusals(const std::vector<Refusal>& table) {
    for (size_t i = 0; i < table.size(); ++i) {
        const dktest::Failure f = failureOf<DKUsageError>(table[i].call);
        EXPECT_EQ(table[i].id, f.id) << i;
        if (table[i].detail) {
            EXPECT_EQ(dktest::msg(table[i].id, table[i].detail), f.text) << i;
        }
    }
}

}  // namespace

TEST(DKDDOItems, NamesNameSpacesAndMissingItems) {
    DKDDO d;
    // The one-name lookup ignores namespaces; the two-name one does not.
    EXPECT_EQ((V{"1", "2", "3", "4", "ATTR", "3", "4", "0"}),
              (V{str(d.addData("A", DKAny(7L))), str(d.addData("B")), str(d.addData("X", "C")), str(d.addData("Y", "C")),
                 str(d.getDataNameSpace(1)), str(d.dataId("C")), str(d.dataId("Y", "C")), str(d.dataId("Z", "C"))}));
    d.setDataName(1, "A");   // to its own name: nothing
    d.setDataName(4, "Y", "D");   // the namespace stays
    EXPECT_EQ(4, d.dataId("Y", "D"));

    // One row per check: a name taken with or without its namespace, an id past the end, the id
    // 0 of a missing item (one check serves every accessor), a missing name with or without one.
    expectRefusals({{[&] { d.addData("A"); }, 378, ": A"}, {[&] { d.addData("Y", "D"); }, 378}, {[&] { d.setDataName(1, "B"); }, 378},
                    {[&] { d.setDataName(3, "Y", "D"); }, 378}, {[&] { d.getDataName(5); }, 392}, {[&] { d.getData(5); }, 392},
                    {[&] { d.setData(0, DKAny(1L)); }, 392}, {[&] { d.getData(0); }, 376, ""}, {[&] { d.resetData(0); }, 376},
                    {[&] { d.getDataByName("missing"); }, 376, ": missing"}, {[&] { d.getDataByName("ATTR", "nothere"); }, 376}});
    // Failed calls changed nothing.
    EXPECT_EQ((V{"4", "A", "C", "1", "7"}),
              (V{str(d.dataCount()), str(d.getDataName(1)), str(d.getDataName(3)), str(d.isNull(2)),
                 str(static_cast<long>(d.getDataByName("A")))}));
    d.setData(2, DKAny("text"));
    EXPECT_EQ(1, d.isDataChanged(2));
    d.resetDataChanged();
    EXPECT_EQ((V{"0", "1"}), (V{str(d.isDataChanged(2)), str(d.isDataSet(2))}));
    d.resetData(1);
    EXPECT_EQ((V{"1", "1"}), (V{str(d.isNull(1)), str(d.isDataChanged(1))}));
}

TEST(DKDDOValues, FreezeNeedsEveryPropertyValued) {
    DKDDO d;
    const unsigned short id = d.addData("A", DKAny(1L));
    const unsigned short p = d.addDataProperty(id, "length");
    EXPECT_EQ(0, d.isDataPropertySet(id, p));
    EXPECT_EQ(381, usageError([&] { d.setData(id, DKAny(2L)); }));
    EXPECT_EQ((V{"1", "0"}), (V{str(static_cast<long>(d.getData(id))), str(d.isDataChanged(id))}));

    d.setDataProperty(id, p, DKAny(10L));
    d.setData(id, DKAny(2L));
    EXPECT_EQ((V{"1", "1", "2"}),
              (V{str(d.isDataPropertySet(id, p)), str(d.isDataPropertyChanged(id, p)), str(static_cast<long>(d.getData(id)))}));

    // A property added after the item froze needs its value before the next setData too.
    d.addDataProperty(id, "scale");
    EXPECT_EQ(381, usageError([&] { d.setData(id, DKAny(3L)); }));
    EXPECT_EQ(2L, static_cast<long>(d.getData(id)));
}

TEST(DKDDOProperties, DuplicatesAndMissingNames) {
    DKDDO d;
    // Empty names may repeat.
    EXPECT_EQ((V{"1", "2", "3"}), (V{str(d.addProperty("owner", DKAny("me"))), str(d.addProperty("")), str(d.addProperty(""))}));
    d.setProperty(2, DKAny(5L));
    const long changed = d.isPropertyChanged(2);
    d.resetPropertyChanged();
    d.setPropertyName(2, "size");
    const unsigned short id = d.addData("A");
    d.addDataProperty(id, "type", typeCode(3));
    EXPECT_EQ((V{"1", "0", "5", "3"}), (V{str(changed), str(d.isPropertyChanged(2)), str(static_cast<long>(d.getPropertyByName("size"))),
                                        str(static_cast<unsigned short>(d.getDataPropertyByName("A", "type")))}));

    expectRefusals({{[&] { d.addProperty("owner"); }, 379, ": owner"}, {[&] { d.setPropertyName(2, "owner"); }, 379},
                    {[&] { d.getPropertyByName("absent"); }, 377, ": absent"}, {[&] { d.getProperty(4); }, 392},
                    {[] { DKDDO().getPropertyName(1); }, 392}, {[&] { d.addDataProperty(id, "type"); }, 379},
                    {[&] { d.getDataPropertyByName("B", "type"); }, 376, ": B"},
                    {[&] { d.getDataPropertyByName(id, "size"); }, 380, ": size"}});
    EXPECT_EQ(3, d.propertyCount());
}

TEST(DKDDOOwnership, CollectionAndObjectValuesAreDeletedExactlyOnce) {
    {
        DKDDO d;
        const unsigned short c = d.addData("C");
        const unsigned short o = d.addData("O");
        auto* first = new CountedCollection;
        auto* second = new CountedCollection;
        d.setData(c, held(first));
        d.setData(c, held(first));   // the same object stays
        const long bothAlive = CountedCollection::alive;
        d.setData(c, held(second));
        const long secondAlive = CountedCollection::alive;
        d.setNull(c);
        EXPECT_EQ((V{"2", "1", "0"}), (V{str(bothAlive), str(secondAlive), str(CountedCollection::alive)}));

        // resetData lets go without deleting: the caller's pointer is now the only holder.
        auto* kept = new CountedCollection;
        d.setData(c, held(kept));
        d.resetData(c);
        EXPECT_EQ(1, CountedCollection::alive);
        delete kept;

        d.setData(o, held(new CountedDDO));
        d.setData(o, DKAny(42L));
        EXPECT_EQ(0, CountedDDO::alive);
        d.setData(o, held(new CountedDDO));
        d.setData(c, held(new CountedCollection));
        d.reset(nullptr);   // reset releases every held object
        EXPECT_EQ((V{"0", "0", "0"}), (V{str(CountedDDO::alive), str(CountedCollection::alive), str(d.dataCount())}));

        d.addData("again");
        d.setData(1, held(new CountedCollection));
        d.addData("obj", held(new CountedDDO));   // owned as well
    }
    EXPECT_EQ((V{"0", "0"}), (V{str(CountedCollection::alive), str(CountedDDO::alive)}));
}

TEST(DKDDOOwnership, MovedValuesAreTakenWholeOrLeftWithTheCaller) {
    DKDDO d;
    const unsigned short title = d.addData("title");
    const unsigned short folder = d.addData("folder");
    d.addDataProperty(folder, "type", typeCode(1071));

    // The value's string moves in without a copy: the DDO holds the very buffer, the source is null.
    DKAny text(DKString(std::string(40, 'x')));
    const char* buffer = static_cast<const DKString*>(text.value())->c_str();
    d.setData(title, std::move(text));
    EXPECT_EQ(1, text.isNull());
    EXPECT_EQ(buffer, static_cast<const DKString*>(PConnectorKit::setValue(d, title)->value())->c_str());
    EXPECT_EQ(1, d.isDataChanged(title));

    // A moved collection is owned and told its owner as a copied one is; replacing it deletes it.
    auto* c = new CountedCollection;
    d.setData(folder, held(c));
    EXPECT_EQ(static_cast<dkDataObjectBase*>(&d), c->getOwner());
    d.setData(folder, DKAny(5L));
    EXPECT_EQ(0, CountedCollection::alive);

    // A refused value stays the caller's: an item with an unvalued property cannot take it.
    const unsigned short frozen = d.addData("frozen");
    d.addDataProperty(frozen, "unit");
    auto* kept = new CountedCollection;
    DKAny refused = held(kept);
    EXPECT_EQ(381L, usageError([&] { d.setData(frozen, std::move(refused)); }));
    EXPECT_EQ(static_cast<void*>(kept), refused.value());
    EXPECT_EQ(0, d.isDataSet(frozen));
    DKAny number(7L);
    EXPECT_EQ(392L, usageError([&] { d.setData(99, std::move(number)); }));
    EXPECT_EQ(7L, static_cast<long>(number));
    delete kept;
}

TEST(DKDDOOwnership, TypePropertyAttachesCollectionsOfTheCollectionTypes) {
    // The collection types 1024, 1071, 1072 and 1073 attach a collection to its data object;
    // 8 does not, nor does a type property that is a long rather than an unsigned short.
    const std::pair<DKAny, bool> types[] = {{typeCode(1071), true}, {typeCode(1024), true}, {typeCode(1072), true},
                                            {typeCode(1073), true}, {typeCode(8), false}, {DKAny(1024L), false}};
    for (const auto& [type, attached] : types) {
        DKDDO d;
        d.addData("DKFolder");
        d.addDataProperty(1, "type", type);
        auto* c = new DKSequentialCollection;
        d.setData(1, held(c));
        EXPECT_EQ(attached ? static_cast<dkDataObjectBase*>(&d) : nullptr, c->getOwner()) << type.toString().str();
        EXPECT_EQ(attached ? "DKFolder" : "", c->getAssociatedAttrName().str());
    }
}

TEST(DKDDOSharing, SharersSeeOneDefinitionAndTheirOwnValues) {
    auto* def = new DKDDODef;
    def->addData("A");
    def->addData("B");
    EXPECT_EQ(1, def->modifiable());
    {
        DKDDOBase one(def);
        DKDDO two;
        two.reset(def);
        EXPECT_EQ((V{"0", "2", "2", "0"}), (V{str(def->modifiable()), str(one.dataCount()), str(two.dataCount()), str(two.isDataSet(1))}));

        one.addDataProperty(1, "label", DKAny("first"));
        EXPECT_EQ(DKString("first"), static_cast<DKString>(two.getDataPropertyByName("A", "label")));
        two.setDataProperty(1, 1, DKAny("changed"));
        EXPECT_EQ(DKString("changed"), static_cast<DKString>(one.getDataProperty(1, 1)));
        one.setDefObjectType("DOC");
        one.setData(2, DKAny(5L));
        EXPECT_EQ((V{"DOC", "1"}), (V{str(two.getDefObjectType()), str(two.isNull(2))}));

        // An item added through one sharer is there, unset, for the other.
        one.setData(1, held(new CountedCollection));
        EXPECT_EQ((V{"3", "3", "0"}), (V{str(one.addData("C", DKAny(9L))), str(two.dataCount()), str(two.isDataSet(3))}));
        two.setData(3, DKAny(4L));
        EXPECT_EQ(9L, static_cast<long>(one.getData(3)));

        // Replacing the items wholesale drops every sharer's values (owned ones deleted) when
        // the sharer is next used.
        DKDDODef other;
        other.addData("Z");
        *def = other;
        EXPECT_EQ((V{"1", "0", "0", "0", "Z"}), (V{str(one.dataCount()), str(CountedCollection::alive), str(one.isDataSet(1)),
                                                  str(two.isDataSet(1)), str(two.getDataName(1))}));
    }
    // Both sharers let go; the creator's count keeps the definition alive.
    EXPECT_EQ(1, def->dataCount());
    delete def;

    EXPECT_EQ(303, usageError([] { DKDDOBase none(static_cast<DKDDODef*>(nullptr)); }));
}

TEST(DKDDOSharing, ResetWithTheDefinitionAlreadyHeld) {
    DefinitionPeek d;
    d.addData("A", held(new CountedCollection));
    DKDDODef* own = d.definition();   // private: this object holds its only count
    ASSERT_NE(nullptr, own);
    d.reset(own);
    EXPECT_EQ(own, d.definition());
    EXPECT_EQ((V{"0", "1", "0", "A"}),
              (V{str(CountedCollection::alive), str(d.dataCount()), str(d.isDataSet(1)), str(d.getDataName(1))}));
    d.reset(nullptr);
    EXPECT_EQ(0, d.dataCount());

    // DKDDO(ds, pid, def) takes only a capacity from def and shares nothing.
    DKDDODef shape;
    shape.addData("X");
    DKPid pid;
    pid.setPrimaryId("P1");
    DKDDO sized(nullptr, pid, &shape);
    EXPECT_EQ((V{"0", "1", "P1"}), (V{str(sized.dataCount()), str(shape.modifiable()), str(sized.getPid().getPrimaryId())}));

    // The pid a DDO is made from is cloned, keeping its class; handing it its own pid is nothing.
    DKPidXDO xdo;
    DKDDO d2(xdo, 3);
    EXPECT_EQ(DKString("DKPidXDO"), d2.getPidObject()->pidType());
    EXPECT_NE(static_cast<const DKPid*>(&xdo), d2.getPidObject());
    const DKPid* before = d2.getPidObject();
    d2.setPidObject(before);
    EXPECT_EQ(before, d2.getPidObject());
}

TEST(DKDDONameSpaces, CountsAndIdsByNameSpace) {
    DKDDO e;
    for (const auto& [space, name] : {std::pair{"X", "a"}, {"Y", "b"}, {"X", "c"}, {"Z", "d"}}) e.addData(space, name);
    EXPECT_EQ(3, e.dataNameSpaceCount());
    EXPECT_EQ(0, DKDDO().dataNameSpaceCount());

    long count = -1;
    std::unique_ptr<unsigned short[]> ids(e.dataIdsByNameSpace("X", count));
    ASSERT_EQ(2L, count);
    EXPECT_EQ((std::vector<unsigned short>{1, 3}), (std::vector<unsigned short>{ids[0], ids[1]}));
    count = -1;
    EXPECT_EQ(nullptr, e.dataIdsByNameSpace("W", count));
    EXPECT_EQ(0L, count);
    e.setDataNameSpace(2, "X");   // no duplicate test
    ids.reset(e.dataIdsByNameSpace("X", count));
    EXPECT_EQ(3L, count);
}

TEST(DKDDOPersistence, OperationsReachTheDatastore) {
    dktest::FakeDatastore ds;
    DKDDO d(&ds, "DOC", 4);
    EXPECT_EQ("DOC", str(d.getObjectType()));
    DKNVPair options[1] = {DKNVPair("opt", DKAny(1L))};
    EXPECT_EQ(&d, &d.add());
    const std::pair<const char*, std::function<void()>> calls[] = {
        {"add2", [&] { d.add(7L); }}, {"add3", [&] { d.add(options, 1); }}, {"retrieve1", [&] { d.retrieve(); }},
        {"retrieve2", [&] { d.retrieve(8L); }}, {"retrieve3", [&] { d.retrieve(options, 1); }}, {"update1", [&] { d.update(); }},
        {"update2", [&] { d.update(9L); }}, {"update3", [&] { d.update(options, 1); }}, {"delete2", [&] { d.del(10L); }},
        {"delete3", [&] { d.del(options, 1); }}};
    for (const auto& [op, call] : calls) {
        call();
        EXPECT_EQ(op, ds.calls.back().op);
        EXPECT_EQ(static_cast<dkDataObject*>(&d), ds.calls.back().object) << op;
    }
    const std::size_t made = ds.calls.size();
    EXPECT_EQ("add1", ds.calls[0].op);
    EXPECT_EQ(7L, ds.calls[1].flags);
    EXPECT_EQ(options, ds.calls[2].options);

    // The datastore's own failure passes out unchanged.
    ds.failAt = &d;
    ds.failure = dktest::FakeDatastore::Failure::refused;
    const dktest::Failure f = failureOf<DKUsageError>([&] { d.del(); });
    EXPECT_EQ(303, f.id);
    EXPECT_EQ("delete1", f.function);

    d.setDatastore(nullptr);
    expectRefusals({{[&] { d.add(); }, 422, ""}, {[&] { d.retrieve(1L); }, 422}, {[&] { d.update(); }, 422},
                    {[&] { d.del(options, 1); }, 422}});
    EXPECT_EQ(made + 1, ds.calls.size());
}
