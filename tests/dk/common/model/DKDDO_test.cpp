// tests/dk/common/model/DKDDO_test.cpp
//
// The dynamic data object: names, flags, freeze rule, properties, ownership of held values (run
// under AddressSanitizer), shared definitions, namespaces, persistence through a dkDatastore.

#include <dk/DKDDO.hpp>
#include <dk/DKException.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/DKPid.hpp>
#include <dk/DKSequentialCollection.hpp>
#include <dk/PConnectorKit.hpp>
#include <dk/dkDatastore.hpp>

#include "dkFakeDatastore.hpp"
#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using dktest::failureOf;
using dktest::msg;

namespace {

// Counts how many live, so a test sees exactly when the data object deletes what it owns.
struct CountedCollection : DKSequentialCollection {
    static int alive;
    CountedCollection() { ++alive; }
    ~CountedCollection() override { --alive; }
};
int CountedCollection::alive = 0;

struct CountedDDO : DKDDO {
    static int alive;
    CountedDDO() { ++alive; }
    ~CountedDDO() override { --alive; }
};
int CountedDDO::alive = 0;

// Reaches the definition an object holds, which the public interface never hands out.
struct DefinitionPeek : DKDDO {
    DKDDODef* definition() const { return def; }
};

}  // namespace

namespace {

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
            EXPECT_EQ(msg(table[i].id, table[i].detail), f.text) << i;
        }
    }
}

}  // namespace

TEST(DKDDOItems, NamesNameSpacesAndMissingItems) {
    DKDDO d;
    EXPECT_EQ(1, d.addData("A", DKAny(7L)));
    EXPECT_EQ(2, d.addData("B"));
    // The one-name lookup ignores namespaces; the two-name one does not.
    EXPECT_EQ(3, d.addData("X", "C"));
    EXPECT_EQ(4, d.addData("Y", "C"));
    EXPECT_EQ(DKString("ATTR"), d.getDataNameSpace(1));
    EXPECT_EQ(3, d.dataId("C"));
    EXPECT_EQ(4, d.dataId("Y", "C"));
    EXPECT_EQ(0, d.dataId("Z", "C"));
    d.setDataName(1, "A");   // to its own name: nothing
    d.setDataName(4, "Y", "D");   // the namespace stays
    EXPECT_EQ(4, d.dataId("Y", "D"));

    expectRefusals({{[&] { d.addData("A"); }, 378, ": A"}, {[&] { d.addData("C"); }, 378},
                    {[&] { d.addData("Y", "D"); }, 378}, {[&] { d.setDataName(1, "B"); }, 378},
                    {[&] { d.setDataName(3, "Y", "D"); }, 378}, {[&] { d.getDataName(5); }, 392},
                    {[&] { d.getData(0); }, 376, ""}, {[&] { d.setNull(0); }, 376}, {[&] { d.isNull(0); }, 376},
                    {[&] { d.isDataSet(0); }, 376}, {[&] { d.isDataChanged(0); }, 376},
                    {[&] { d.resetData(0); }, 376}, {[&] { d.getDataByName("missing"); }, 376, ": missing"},
                    {[&] { d.getDataByName("ATTR", "nothere"); }, 376}, {[&] { d.getData(5); }, 392},
                    {[&] { d.setData(5, DKAny(1L)); }, 392}, {[&] { d.setData(0, DKAny(1L)); }, 392}});
    // Failed calls changed nothing.
    EXPECT_EQ(4, d.dataCount());
    EXPECT_EQ(DKString("A"), d.getDataName(1));
    EXPECT_EQ(DKString("C"), d.getDataName(3));

    EXPECT_EQ(1, d.isNull(2));
    EXPECT_EQ(7L, static_cast<long>(d.getDataByName("A")));
    d.setData(2, DKAny("text"));
    EXPECT_EQ(1, d.isDataChanged(2));
    d.resetDataChanged();
    EXPECT_EQ(0, d.isDataChanged(2));
    EXPECT_EQ(1, d.isDataSet(2));
    d.resetData(1);
    EXPECT_EQ(1, d.isNull(1));
    EXPECT_EQ(1, d.isDataChanged(1));
}

TEST(DKDDOValues, FreezeNeedsEveryPropertyValued) {
    DKDDO d;
    const unsigned short id = d.addData("A", DKAny(1L));
    const unsigned short p = d.addDataProperty(id, "length");
    EXPECT_EQ(0, d.isDataPropertySet(id, p));
    EXPECT_EQ(381, dktest::usageError([&] { d.setData(id, DKAny(2L)); }));
    EXPECT_EQ(1L, static_cast<long>(d.getData(id)));
    EXPECT_EQ(0, d.isDataChanged(id));

    d.setDataProperty(id, p, DKAny(10L));
    EXPECT_EQ(1, d.isDataPropertySet(id, p));
    EXPECT_EQ(1, d.isDataPropertyChanged(id, p));
    d.setData(id, DKAny(2L));
    EXPECT_EQ(2L, static_cast<long>(d.getData(id)));

    // A property added after the item froze needs its value before the next setData too.
    d.addDataProperty(id, "scale");
    EXPECT_EQ(381, dktest::usageError([&] { d.setData(id, DKAny(3L)); }));
    EXPECT_EQ(2L, static_cast<long>(d.getData(id)));
}

TEST(DKDDOProperties, DuplicatesAndMissingNames) {
    DKDDO d;
    EXPECT_EQ(1, d.addProperty("owner", DKAny("me")));
    EXPECT_EQ(2, d.addProperty(""));
    EXPECT_EQ(3, d.addProperty(""));   // empty names may repeat
    d.setProperty(2, DKAny(5L));
    EXPECT_EQ(1, d.isPropertyChanged(2));
    d.resetPropertyChanged();
    EXPECT_EQ(0, d.isPropertyChanged(2));
    d.setPropertyName(2, "size");
    EXPECT_EQ(5L, static_cast<long>(d.getPropertyByName("size")));
    const unsigned short id = d.addData("A");
    d.addDataProperty(id, "type", DKAny(static_cast<unsigned short>(3)));
    EXPECT_EQ(3, static_cast<unsigned short>(d.getDataPropertyByName("A", "type")));

    expectRefusals({{[&] { d.addProperty("owner"); }, 379, ": owner"}, {[&] { d.setPropertyName(2, "owner"); }, 379},
                    {[&] { d.getPropertyByName("absent"); }, 377, ": absent"}, {[&] { d.getProperty(4); }, 392},
                    {[] { DKDDO().getPropertyName(1); }, 392}, {[&] { d.addDataProperty(id, "type"); }, 379},
                    {[&] { d.getDataPropertyByName("B", "type"); }, 376, ": B"},
                    {[&] { d.getDataPropertyByName(id, "size"); }, 380, ": size"}});
    EXPECT_EQ(3, d.propertyCount());
}

TEST(DKDDOOwnership, CollectionAndObjectValuesAreDeletedExactlyOnce) {
    CountedCollection::alive = 0;
    CountedDDO::alive = 0;
    {
        DKDDO d;
        const unsigned short c = d.addData("C");
        const unsigned short o = d.addData("O");
        auto* first = new CountedCollection;
        auto* second = new CountedCollection;
        d.setData(c, DKAny(static_cast<dkCollection*>(first)));
        d.setData(c, DKAny(static_cast<dkCollection*>(first)));   // the same object stays
        EXPECT_EQ(2, CountedCollection::alive);
        d.setData(c, DKAny(static_cast<dkCollection*>(second)));
        EXPECT_EQ(1, CountedCollection::alive);
        d.setNull(c);
        EXPECT_EQ(0, CountedCollection::alive);

        // resetData lets go without deleting: the caller's pointer is now the only holder.
        auto* kept = new CountedCollection;
        d.setData(c, DKAny(static_cast<dkCollection*>(kept)));
        d.resetData(c);
        EXPECT_EQ(1, CountedCollection::alive);
        delete kept;

        d.setData(o, DKAny(static_cast<dkDataObjectBase*>(new CountedDDO)));
        d.setData(o, DKAny(42L));
        EXPECT_EQ(0, CountedDDO::alive);
        d.setData(o, DKAny(static_cast<dkDataObjectBase*>(new CountedDDO)));
        d.setData(c, DKAny(static_cast<dkCollection*>(new CountedCollection)));
        d.reset(nullptr);   // reset releases every held object
        EXPECT_EQ(0, CountedDDO::alive);
        EXPECT_EQ(0, CountedCollection::alive);
        EXPECT_EQ(0, d.dataCount());

        d.addData("again");
        d.setData(1, DKAny(static_cast<dkCollection*>(new CountedCollection)));
        d.addData("obj", DKAny(static_cast<dkDataObjectBase*>(new CountedDDO)));   // owned as well
    }
    EXPECT_EQ(0, CountedCollection::alive);
    EXPECT_EQ(0, CountedDDO::alive);
}

TEST(DKDDOOwnership, MovedValuesAreTakenWholeOrLeftWithTheCaller) {
    CountedCollection::alive = 0;
    DKDDO d;
    const unsigned short title = d.addData("title");
    const unsigned short folder = d.addData("folder");
    d.addDataProperty(folder, "type", DKAny(static_cast<unsigned short>(1071)));

    // The value's string moves in without a copy: the DDO holds the very buffer, the source is null.
    DKAny text(DKString(std::string(40, 'x')));
    const char* buffer = static_cast<const DKString*>(text.value())->c_str();
    d.setData(title, std::move(text));
    EXPECT_EQ(1, text.isNull());
    EXPECT_EQ(buffer, static_cast<const DKString*>(PConnectorKit::setValue(d, title)->value())->c_str());
    EXPECT_EQ(1, d.isDataChanged(title));

    // A moved collection is owned and told its owner as a copied one is; replacing it deletes it.
    auto* c = new CountedCollection;
    d.setData(folder, DKAny(static_cast<dkCollection*>(c)));
    EXPECT_EQ(static_cast<dkDataObjectBase*>(&d), c->getOwner());
    d.setData(folder, DKAny(5L));
    EXPECT_EQ(0, CountedCollection::alive);

    // A refused value stays the caller's: an item with an unvalued property cannot take it.
    const unsigned short frozen = d.addData("frozen");
    d.addDataProperty(frozen, "unit");
    auto* kept = new CountedCollection;
    DKAny held(static_cast<dkCollection*>(kept));
    EXPECT_EQ(381L, dktest::errorOf<DKUsageError>([&] { d.setData(frozen, std::move(held)); }));
    EXPECT_EQ(static_cast<void*>(kept), held.value());
    EXPECT_EQ(0, d.isDataSet(frozen));
    DKAny number(7L);
    EXPECT_EQ(392L, dktest::errorOf<DKUsageError>([&] { d.setData(99, std::move(number)); }));
    EXPECT_EQ(7L, static_cast<long>(number));
    delete kept;
    EXPECT_EQ(0, CountedCollection::alive);
}

TEST(DKDDOOwnership, TypePropertyAttachesCollectionsOfTheCollectionTypes) {
    DKDDO d;
    const unsigned short folder = d.addData("DKFolder");
    d.addDataProperty(folder, "type", DKAny(static_cast<unsigned short>(1071)));
    const unsigned short other = d.addData("Other");
    d.addDataProperty(other, "type", DKAny(static_cast<unsigned short>(8)));
    const unsigned short wide = d.addData("Wide");
    d.addDataProperty(wide, "type", DKAny(1024L));   // a long is no unsigned short: left alone

    auto* attached = new DKSequentialCollection;
    auto* untouched = new DKSequentialCollection;
    auto* notShort = new DKSequentialCollection;
    d.setData(folder, DKAny(static_cast<dkCollection*>(attached)));
    d.setData(other, DKAny(static_cast<dkCollection*>(untouched)));
    d.setData(wide, DKAny(static_cast<dkCollection*>(notShort)));
    EXPECT_EQ(static_cast<dkDataObjectBase*>(&d), attached->getOwner());
    EXPECT_EQ(DKString("DKFolder"), attached->getAssociatedAttrName());
    EXPECT_EQ(nullptr, untouched->getOwner());
    EXPECT_EQ(DKString(""), untouched->getAssociatedAttrName());
    EXPECT_EQ(nullptr, notShort->getOwner());

    for (unsigned short code : {1024, 1072, 1073}) {
        DKDDO e;
        e.addData("M");
        e.addDataProperty(1, "type", DKAny(code));
        auto* c = new DKSequentialCollection;
        e.setData(1, DKAny(static_cast<dkCollection*>(c)));
        EXPECT_EQ(static_cast<dkDataObjectBase*>(&e), c->getOwner()) << code;
    }
}

TEST(DKDDOSharing, SharersSeeOneDefinitionAndTheirOwnValues) {
    auto* def = new DKDDODef;
    def->addData("A");
    def->addData("B");
    EXPECT_EQ(1, def->modifiable());
    {
        DKDDOBase one(def);
        EXPECT_EQ(0, def->modifiable());
        DKDDO two;
        two.reset(def);
        EXPECT_EQ(2, one.dataCount());
        EXPECT_EQ(2, two.dataCount());
        EXPECT_EQ(0, two.isDataSet(1));

        one.addDataProperty(1, "label", DKAny("first"));
        EXPECT_EQ(DKString("first"), static_cast<DKString>(two.getDataPropertyByName("A", "label")));
        two.setDataProperty(1, 1, DKAny("changed"));
        EXPECT_EQ(DKString("changed"), static_cast<DKString>(one.getDataProperty(1, 1)));
        one.setDefObjectType("DOC");
        EXPECT_EQ(DKString("DOC"), two.getDefObjectType());

        one.setData(2, DKAny(5L));
        EXPECT_EQ(1, two.isNull(2));

        // An item added through one sharer is there, unset, for the other.
        one.setData(1, DKAny(static_cast<dkCollection*>(new CountedCollection)));
        EXPECT_EQ(3, one.addData("C", DKAny(9L)));
        EXPECT_EQ(3, two.dataCount());
        EXPECT_EQ(0, two.isDataSet(3));
        two.setData(3, DKAny(4L));
        EXPECT_EQ(9L, static_cast<long>(one.getData(3)));

        // Replacing the items wholesale drops every sharer's values (owned ones deleted) when
        // the sharer is next used.
        DKDDODef other;
        other.addData("Z");
        *def = other;
        EXPECT_EQ(1, one.dataCount());
        EXPECT_EQ(0, CountedCollection::alive);
        EXPECT_EQ(0, one.isDataSet(1));
        EXPECT_EQ(0, two.isDataSet(1));
        EXPECT_EQ(DKString("Z"), two.getDataName(1));
    }
    // Both sharers let go; the creator's count keeps the definition alive.
    EXPECT_EQ(1, def->dataCount());
    delete def;

    EXPECT_EQ(303, dktest::usageError([] { DKDDOBase none(static_cast<DKDDODef*>(nullptr)); }));
}

TEST(DKDDOSharing, ResetWithTheDefinitionAlreadyHeld) {
    DefinitionPeek d;
    d.addData("A", DKAny(static_cast<dkCollection*>(new CountedCollection)));
    DKDDODef* own = d.definition();   // private: this object holds its only count
    ASSERT_NE(nullptr, own);
    d.reset(own);
    EXPECT_EQ(own, d.definition());
    EXPECT_EQ(0, CountedCollection::alive);
    EXPECT_EQ(1, d.dataCount());
    EXPECT_EQ(0, d.isDataSet(1));
    EXPECT_EQ(DKString("A"), d.getDataName(1));
    d.reset(nullptr);
    EXPECT_EQ(0, d.dataCount());

    // DKDDO(ds, pid, def) takes only a capacity from def and shares nothing.
    DKDDODef shape;
    shape.addData("X");
    DKPid pid;
    pid.setPrimaryId("P1");
    DKDDO sized(nullptr, pid, &shape);
    EXPECT_EQ(0, sized.dataCount());
    EXPECT_EQ(1, shape.modifiable());
    EXPECT_EQ(DKString("P1"), sized.getPid().getPrimaryId());

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
    e.addData("X", "a");
    e.addData("Y", "b");
    e.addData("X", "c");
    e.addData("Z", "d");
    EXPECT_EQ(3, e.dataNameSpaceCount());
    EXPECT_EQ(0, DKDDO().dataNameSpaceCount());

    long count = -1;
    std::unique_ptr<unsigned short[]> ids(e.dataIdsByNameSpace("X", count));
    ASSERT_EQ(2L, count);
    EXPECT_EQ(1, ids[0]);
    EXPECT_EQ(3, ids[1]);
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
    EXPECT_EQ(DKString("DOC"), d.getObjectType());
    DKNVPair options[1] = {DKNVPair("opt", DKAny(1L))};
    EXPECT_EQ(&d, &d.add());
    d.add(7L);
    d.add(options, 1);
    d.retrieve();
    d.retrieve(8L);
    d.retrieve(options, 1);
    d.update();
    d.update(9L);
    d.update(options, 1);
    d.del(10L);
    d.del(options, 1);
    const std::vector<std::string> expected = {"add1",    "add2",    "add3",    "retrieve1", "retrieve2", "retrieve3",
                                               "update1", "update2", "update3", "delete2",   "delete3"};
    ASSERT_EQ(expected.size(), ds.calls.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(expected[i], ds.calls[i].op);
        EXPECT_EQ(static_cast<dkDataObject*>(&d), ds.calls[i].object);
    }
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
    EXPECT_EQ(expected.size() + 1, ds.calls.size());
}
