// tests/dk/common/model/DKDDO_test.cpp
//
// The dynamic data object: names, flags, freeze rule, properties, ownership of held values (run
// under AddressSanitizer), shared definitions, namespaces, persistence through a dkDatastore.

#include <dk/DKDDO.hpp>
#include <dk/DKException.hpp>
#include <dk/DKLogMessageInserts.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/DKPid.hpp>
#include <dk/DKSequentialCollection.hpp>
#include <dk/PConnectorKit.hpp>
#include <dk/PMessageText.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkThrow.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Failure {
    unsigned long id = 0;
    std::string text, source, function;
};

template <class F>
Failure failureOf(F f) {
    Failure r;
    try {
        f();
        r.text = "(no exception)";
    } catch (DKUsageError& e) {
        r.id = e.errorId();
        r.text = e.text(0);
        if (const DKExceptionLocation* loc = e.locationAtIndex(0)) {
            r.source = loc->fileName();
            r.function = loc->functionName();
        }
    }
    return r;
}

std::string textOf(long msg, const char* detail = "") {
    return DKLogMessageInserts::emptyList().substitute(PClsEnv::portalMsg(static_cast<int>(msg)) + detail).str();
}

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

// A datastore that records every data-object call it receives.
class RecordingDatastore : public dkDatastore {
public:
    using dkDatastore::addObject;
    using dkDatastore::deleteObject;
    using dkDatastore::retrieveObject;
    using dkDatastore::updateObject;

    RecordingDatastore() : dkDatastore("REC", "recorder") {}
    void addObject(dkDataObject* o, const DKNVPair* p, long f) override { note("add3", o, p, f); }
    void addObject(dkDataObject* o, long f) override { note("add2", o, nullptr, f); }
    void addObject(dkDataObject* o) override { note("add1", o, nullptr, 0); }
    void retrieveObject(dkDataObject* o, const DKNVPair* p, long f) override { note("retrieve3", o, p, f); }
    void retrieveObject(dkDataObject* o, long f) override { note("retrieve2", o, nullptr, f); }
    void retrieveObject(dkDataObject* o) override { note("retrieve1", o, nullptr, 0); }
    void updateObject(dkDataObject* o, const DKNVPair* p, long f) override { note("update3", o, p, f); }
    void updateObject(dkDataObject* o, long f) override { note("update2", o, nullptr, f); }
    void updateObject(dkDataObject* o) override { note("update1", o, nullptr, 0); }
    void deleteObject(dkDataObject* o, const DKNVPair* p, long f) override { note("del3", o, p, f); }
    void deleteObject(dkDataObject* o, long f) override { note("del2", o, nullptr, f); }
    void deleteObject(dkDataObject*) override {
        dkThrowText<DKUsageError>(DKString("repository refused"), 303, "test/RecordingDatastore", "deleteObject");
    }

    struct Call {
        std::string op;
        dkDataObject* object;
        const DKNVPair* parms;
        long flags;
    };
    std::vector<Call> calls;

private:
    void note(const char* op, dkDataObject* o, const DKNVPair* p, long f) { calls.push_back({op, o, p, f}); }
};

}  // namespace

TEST(DKDDOItems, NewObjectIdsAndDuplicateNames) {
    DKDDO d;
    EXPECT_EQ(1, d.addData("A"));
    EXPECT_EQ(2, d.addData("B"));
    Failure f = failureOf([&] { d.addData("A"); });
    EXPECT_EQ(378UL, f.id);
    EXPECT_EQ(textOf(378, ": A"), f.text);
    EXPECT_EQ("dk/common/DKDDODef", f.source);
    EXPECT_EQ("DKDDODef::addData", f.function);
    EXPECT_EQ(2, d.dataCount());

    // The one-name lookup ignores namespaces; the two-name one does not.
    EXPECT_EQ(3, d.addData("X", "C"));
    EXPECT_EQ(378UL, failureOf([&] { d.addData("C"); }).id);
    EXPECT_EQ(4, d.addData("Y", "C"));
    EXPECT_EQ(378UL, failureOf([&] { d.addData("Y", "C"); }).id);
    EXPECT_EQ(DKString("ATTR"), d.getDataNameSpace(1));
    EXPECT_EQ(DKString("Y"), d.getDataNameSpace(4));
    EXPECT_EQ(3, d.dataId("C"));
    EXPECT_EQ(4, d.dataId("Y", "C"));
    EXPECT_EQ(0, d.dataId("Z", "C"));

    // Renaming: to its own name is nothing, to another item's name fails and changes nothing.
    d.setDataName(1, "A");
    f = failureOf([&] { d.setDataName(1, "B"); });
    EXPECT_EQ(378UL, f.id);
    EXPECT_EQ("DKDDODef::setDataName", f.function);
    EXPECT_EQ(DKString("A"), d.getDataName(1));
    d.setDataName(4, "Y", "D");   // the namespace stays
    EXPECT_EQ(4, d.dataId("Y", "D"));
    EXPECT_EQ(378UL, failureOf([&] { d.setDataName(3, "Y", "D"); }).id);
    EXPECT_EQ(DKString("C"), d.getDataName(3));

    EXPECT_EQ(392UL, failureOf([&] { d.getDataName(5); }).id);
}

TEST(DKDDOValues, FlagsLookupsAndMissingItems) {
    DKDDO d;
    const unsigned short a = d.addData("A", DKAny(7L));
    const unsigned short b = d.addData("B");
    EXPECT_EQ(1, d.isNull(b));
    EXPECT_EQ(7L, static_cast<long>(d.getDataByName("A")));

    d.setData(b, DKAny("text"));
    EXPECT_EQ(1, d.isDataSet(b));
    EXPECT_EQ(1, d.isDataChanged(b));
    EXPECT_EQ(DKString("text"), static_cast<DKString>(d.getData(b)));
    d.resetDataChanged();
    EXPECT_EQ(0, d.isDataChanged(b));
    EXPECT_EQ(1, d.isDataSet(b));

    d.resetData(a);
    EXPECT_EQ(1, d.isNull(a));
    EXPECT_EQ(1, d.isDataChanged(a));

    Failure f = failureOf([&] { d.getData(0); });
    EXPECT_EQ(376UL, f.id);
    EXPECT_EQ(textOf(376), f.text);
    EXPECT_EQ("dk/common/DKDDOBase", f.source);
    EXPECT_EQ("DKDDOBase::getData", f.function);
    for (auto op : std::vector<std::pair<const char*, std::function<void()>>>{
             {"DKDDOBase::setNull", [&] { d.setNull(0); }},
             {"DKDDOBase::isNull", [&] { d.isNull(0); }},
             {"DKDDOBase::isDataSet", [&] { d.isDataSet(0); }},
             {"DKDDOBase::isDataChanged", [&] { d.isDataChanged(0); }},
             {"DKDDOBase::resetData", [&] { d.resetData(0); }}}) {
        f = failureOf(op.second);
        EXPECT_EQ(376UL, f.id) << op.first;
        EXPECT_EQ(op.first, f.function);
    }
    f = failureOf([&] { d.getDataByName("missing"); });
    EXPECT_EQ(textOf(376, ": missing"), f.text);
    EXPECT_EQ("DKDDOBase::getDataByName", f.function);
    EXPECT_EQ(376UL, failureOf([&] { d.getDataByName("ATTR", "nothere"); }).id);
    EXPECT_EQ(392UL, failureOf([&] { d.getData(3); }).id);
    EXPECT_EQ(392UL, failureOf([&] { d.setData(3, DKAny(1L)); }).id);
    EXPECT_EQ(392UL, failureOf([&] { d.setData(0, DKAny(1L)); }).id);
    EXPECT_EQ(2, d.dataCount());
}

TEST(DKDDOValues, FreezeNeedsEveryPropertyValued) {
    DKDDO d;
    const unsigned short id = d.addData("A", DKAny(1L));
    const unsigned short p = d.addDataProperty(id, "length");
    EXPECT_EQ(0, d.isDataPropertySet(id, p));
    Failure f = failureOf([&] { d.setData(id, DKAny(2L)); });
    EXPECT_EQ(381UL, f.id);
    EXPECT_EQ(textOf(381), f.text);
    EXPECT_EQ("DKDDODef::freezeDataProperties", f.function);
    EXPECT_EQ(1L, static_cast<long>(d.getData(id)));
    EXPECT_EQ(0, d.isDataChanged(id));

    d.setDataProperty(id, p, DKAny(10L));
    EXPECT_EQ(1, d.isDataPropertySet(id, p));
    EXPECT_EQ(1, d.isDataPropertyChanged(id, p));
    d.setData(id, DKAny(2L));
    EXPECT_EQ(2L, static_cast<long>(d.getData(id)));

    // A property added after the item froze needs its value before the next setData too.
    d.addDataProperty(id, "scale");
    EXPECT_EQ(381UL, failureOf([&] { d.setData(id, DKAny(3L)); }).id);
    EXPECT_EQ(2L, static_cast<long>(d.getData(id)));
}

TEST(DKDDOProperties, DuplicatesAndMissingNames) {
    DKDDO d;
    EXPECT_EQ(1, d.addProperty("owner", DKAny("me")));
    EXPECT_EQ(2, d.addProperty(""));
    EXPECT_EQ(3, d.addProperty(""));   // empty names may repeat
    Failure f = failureOf([&] { d.addProperty("owner"); });
    EXPECT_EQ(379UL, f.id);
    EXPECT_EQ(textOf(379, ": owner"), f.text);
    EXPECT_EQ("PPropertyVector::addProperty", f.function);
    EXPECT_EQ(3, d.propertyCount());
    d.setProperty(2, DKAny(5L));
    EXPECT_EQ(1, d.isPropertyChanged(2));
    d.resetPropertyChanged();
    EXPECT_EQ(0, d.isPropertyChanged(1));
    EXPECT_EQ(0, d.isPropertyChanged(2));
    d.setPropertyName(2, "size");
    EXPECT_EQ(5L, static_cast<long>(d.getPropertyByName("size")));
    f = failureOf([&] { d.setPropertyName(2, "owner"); });
    EXPECT_EQ(379UL, f.id);
    EXPECT_EQ("DKDDOBase::setPropertyName", f.function);
    f = failureOf([&] { d.getPropertyByName("absent"); });
    EXPECT_EQ(377UL, f.id);
    EXPECT_EQ(textOf(377, ": absent"), f.text);
    EXPECT_EQ(392UL, failureOf([&] { d.getProperty(4); }).id);
    EXPECT_EQ(392UL, failureOf([] { DKDDO().getPropertyName(1); }).id);

    const unsigned short id = d.addData("A");
    d.addDataProperty(id, "type", DKAny(static_cast<unsigned short>(3)));
    f = failureOf([&] { d.addDataProperty(id, "type"); });
    EXPECT_EQ("PDataItemProperty::addProperty", f.function);
    EXPECT_EQ(379UL, f.id);
    EXPECT_EQ(3, static_cast<unsigned short>(d.getDataPropertyByName("A", "type")));
    f = failureOf([&] { d.getDataPropertyByName("B", "type"); });
    EXPECT_EQ(376UL, f.id);
    EXPECT_EQ(textOf(376, ": B"), f.text);
    EXPECT_EQ("DKDDODef::getDataPropertyByName", f.function);
    f = failureOf([&] { d.getDataPropertyByName(id, "size"); });
    EXPECT_EQ(380UL, f.id);
    EXPECT_EQ(textOf(380, ": size"), f.text);
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

    EXPECT_EQ(303UL, failureOf([] { DKDDOBase none(static_cast<DKDDODef*>(nullptr)); }).id);
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
    RecordingDatastore ds;
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
                                               "update1", "update2", "update3", "del2",      "del3"};
    ASSERT_EQ(expected.size(), ds.calls.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(expected[i], ds.calls[i].op);
        EXPECT_EQ(static_cast<dkDataObject*>(&d), ds.calls[i].object);
    }
    EXPECT_EQ(7L, ds.calls[1].flags);
    EXPECT_EQ(options, ds.calls[2].parms);
    EXPECT_EQ(1L, ds.calls[2].flags);

    // The datastore's own failure passes out unchanged.
    Failure f = failureOf([&] { d.del(); });
    EXPECT_EQ(303UL, f.id);
    EXPECT_EQ("deleteObject", f.function);

    d.setDatastore(nullptr);
    for (auto op : std::vector<std::pair<const char*, std::function<void()>>>{
             {"DKDDO::add", [&] { d.add(); }},
             {"DKDDO::retrieve", [&] { d.retrieve(1L); }},
             {"DKDDO::update", [&] { d.update(); }},
             {"DKDDO::del", [&] { d.del(options, 1); }}}) {
        f = failureOf(op.second);
        EXPECT_EQ(422UL, f.id);
        EXPECT_EQ(textOf(422), f.text);
        EXPECT_EQ("dk/common/DKDDO", f.source);
        EXPECT_EQ(op.first, f.function);
    }
    EXPECT_EQ(expected.size(), ds.calls.size());
}

TEST(DKDDOPid, PidIsOwnedAndCloned) {
    DKPidXDO xdo;
    xdo.setPrimaryId("X1");
    DKDDO d(xdo, 3);
    EXPECT_EQ(DKString("DKPidXDO"), d.getPidObject()->pidType());
    EXPECT_NE(static_cast<const DKPid*>(&xdo), d.getPidObject());
    const DKPid* before = d.getPidObject();
    d.setPidObject(before);   // its own pid: nothing happens
    EXPECT_EQ(before, d.getPidObject());
    DKPid plain;
    plain.setPrimaryId("P2");
    d.setPid(plain);
    EXPECT_EQ(DKString("DKPid"), d.getPid().pidType());
    EXPECT_EQ(DKString("P2"), d.getPid().getPrimaryId());
}
