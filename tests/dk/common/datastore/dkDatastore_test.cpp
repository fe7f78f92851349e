// tests/dk/common/datastore/dkDatastore_test.cpp
//
// The abstract connector: every base operation needing a repository rejects with its own text and
// location, the null-template check, serviceMgr(), and the collection forms with their failures.

#include <dk/DKDDO.hpp>
#include <dk/DKException.hpp>
#include <dk/DKHandle.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/DKQExpr.hpp>
#include <dk/DKSequentialCollection.hpp>
#include <dk/PDynamicLoader.hpp>
#include <dk/PMessageText.hpp>
#include <dk/dkCallback.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkDatastoreDef.hpp>
#include <dk/dkDatastoreExt.hpp>
#include <dk/dkResultSetCursor.hpp>
#include <dk/dkSearchTemplate.hpp>
#include <dk/dkService.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// A connector that overrides nothing.
class BareDatastore : public dkDatastore {
public:
    BareDatastore() : dkDatastore("BARE", "bareServer") {}
};

class BareExt : public dkDatastoreExt {};

class BareDef : public dkDatastoreDef {
public:
    BareDef() : dkDatastoreDef(nullptr) {}
};

// The text an exception of the library carries: catalogue text, detail, and the one blank the
// message-insert substitution leaves at the end.
std::string msg(int id, const std::string& detail = "") {
    return std::string(PClsEnv::portalMsg(id).c_str()) + detail + " ";
}

// One unsupported operation: the function its location names (after the class name and "::"),
// and the text 341 appends when that is not the location's own name.
struct Rejection {
    const char* function;
    std::function<void()> call;
    const char* message = nullptr;
};
struct Family {
    const char* source;
    const char* className;
    std::vector<Rejection> calls;
};

}  // namespace

TEST(dkDatastoreRejection, EveryUnsupportedOperationNamesItselfInTextAndLocation) {
    BareDatastore ds;
    BareExt ext;
    BareDef def;
    dkEntityDef entity(&ds);
    dkAttrDef attr(&ds);
    dkDatastoreAdmin admin;
    DKAny any;
    DKString s1, s2;
    long n = 0;
    DKCQExpr* expr = nullptr;
    dkQuery* query = nullptr;
    dkDataObject* obj = nullptr;
    char loc[] = "C";
    const std::vector<Family> families = {
        {"dk/common/dkDatastore", "dkDatastore", {
            {"evaluate", [&] { ds.evaluate("q", 1, nullptr); }}, {"evaluate", [&] { ds.evaluate(expr); }},
            {"evaluate", [&] { ds.evaluate(query); }}, {"createQuery", [&] { ds.createQuery("q", 1, nullptr); }},
            {"createQuery", [&] { ds.createQuery(expr); }}, {"connect", [&] { ds.connect("s", "u", "p", ""); }},
            {"disconnect", [&] { ds.disconnect(); }}, {"getOption", [&] { ds.getOption(1, any); }},
            {"setOption", [&] { ds.setOption(1, any); }}, {"execute", [&] { ds.execute(expr); }},
            {"execute", [&] { ds.execute(query); }}, {"execute", [&] { ds.execute("q", 4, nullptr); }},
            {"executeWithCallback", [&] { ds.executeWithCallback(expr, nullptr); }},
            {"executeWithCallback", [&] { ds.executeWithCallback(query, nullptr); }},
            {"executeWithCallback", [&] { ds.executeWithCallback("q", 1, nullptr, nullptr); }},
            {"addObject", [&] { ds.addObject(obj, nullptr, 0); }}, {"addObject", [&] { ds.addObject(obj, 0L); }},
            {"addObject", [&] { ds.addObject(obj); }}, {"deleteObject", [&] { ds.deleteObject(obj, nullptr, 0); }},
            {"deleteObject", [&] { ds.deleteObject(obj, 0L); }}, {"deleteObject", [&] { ds.deleteObject(obj); }},
            {"retrieveObject", [&] { ds.retrieveObject(obj, nullptr, 0); }},
            {"retrieveObject", [&] { ds.retrieveObject(obj, 0L); }}, {"retrieveObject", [&] { ds.retrieveObject(obj); }},
            {"updateObject", [&] { ds.updateObject(obj, nullptr, 0); }},
            {"updateObject", [&] { ds.updateObject(obj, 0L); }}, {"updateObject", [&] { ds.updateObject(obj); }},
            {"startTransaction", [&] { ds.startTransaction(); }}, {"commit", [&] { ds.commit(); }},
            {"rollback", [&] { ds.rollback(); }}, {"connection", [&] { ds.connection(); }},
            {"handle", [&] { ds.handle("t"); }}, {"listDataSources", [&] { ds.listDataSources(); }},
            {"listDataSourceNames", [&] { ds.listDataSourceNames(n); }}, {"listServers", [&] { ds.listServers(); }},
            {"listSchema", [&] { ds.listSchema(); }}, {"listSchemaAttributes", [&] { ds.listSchemaAttributes("e"); }},
            // The searchable lists answer with the full lists, so they fail as those do.
            {"listEntities", [&] { ds.listSearchableEntities(); }}, {"listEntities", [&] { ds.listEntities(); }},
            {"listEntityNames", [&] { ds.listEntityNames(n); }},
            {"listEntityNames", [&] { ds.listSearchableEntityNames(n); }},
            {"listEntityAttrs", [&] { ds.listEntityAttrs("e"); }},
            {"listEntityAttrNames", [&] { ds.listEntityAttrNames("e", n); }},
            {"listSearchTemplates", [&] { ds.listSearchTemplates(); }},
            {"listSearchTemplateNames", [&] { ds.listSearchTemplateNames(n); }},
            {"datastoreDef", [&] { ds.datastoreDef(); }}, {"registerMapping", [&] { ds.registerMapping(nullptr); }},
            {"unRegisterMapping", [&] { ds.unRegisterMapping("m"); }},
            {"listMappingNames", [&] { ds.listMappingNames(n); }}, {"getMapping", [&] { ds.getMapping("m"); }},
            {"getExtension", [&] { ds.getExtension("DATASTORE_EXTENSION"); }},
            {"addExtension", [&] { ds.addExtension("x", &ext); }}, {"removeExtension", [&] { ds.removeExtension("x"); }},
            {"listExtensionNames", [&] { ds.listExtensionNames(n); }}, {"createDDO", [&] { ds.createDDO("e", 0); }},
            {"clearCache", [&] { ds.clearCache(5); }, "dkDatastore::clearCache(long)"},
            {"clearCache", [&] { ds.clearCache(); }},
            {"listAvailableServices", [&] { ds.listAvailableServices(n); }},
            {"setLocaleAndCodePage", [&] { ds.setLocaleAndCodePage(loc, loc); }},
            {"getLocaleAndCodePage", [&] { ds.getLocaleAndCodePage(s1, s2); }}}},
        {"dk/common/dkDatastoreExt", "dkDatastoreExt", {
            {"addToFolder", [&] { ext.addToFolder(obj, obj); }}, {"removeFromFolder", [&] { ext.removeFromFolder(obj, obj); }},
            {"addChild", [&] { ext.addChild(obj, obj); }}, {"removeChild", [&] { ext.removeChild(obj, obj); }},
            {"addLink", [&] { ext.addLink(nullptr); }}, {"removeLink", [&] { ext.removeLink(nullptr); }},
            {"removeLinks", [&] { ext.removeLinks(nullptr); }}, {"isCheckedOut", [&] { ext.isCheckedOut(obj); }},
            {"checkedOutUserid", [&] { ext.checkedOutUserid(obj); }},
            {"unlockCheckedOut", [&] { ext.unlockCheckedOut(obj); }}, {"checkOut", [&] { ext.checkOut(obj); }},
            {"checkIn", [&] { ext.checkIn(obj); }}, {"getCommonPrivilege", [&] { ext.getCommonPrivilege(); }},
            {"getCommonPrivilege", [&] { ext.getCommonPrivilege(obj); }, "dkDatastoreExt::getCommonPrivilege(dkDataObject)"},
            {"getCommonItemPrivilege", [&] { ext.getCommonItemPrivilege(obj); },
             "dkDatastoreExt::getCommonItemPrivilege(dkDataObject)"},
            {"retrieveFormOverlay", [&] { ext.retrieveFormOverlay("o"); }, "dkDatastoreExt::retrieveFromOverlay"},
            {"moveObject", [&] { ext.moveObject(obj, obj, 0L); }, "dkDatastoreExt::moveObject(dkDataObject,dkDataObject,long)"},
            {"moveObject", [&] { ext.moveObject(obj, "e"); }},
            {"changePassword", [&] { ext.changePassword("u", "o", "n"); }},
            {"addPart", [&] { ext.addPart(obj, nullptr); }}, {"removePart", [&] { ext.removePart(obj, nullptr); }}}},
        {"dk/common/dkDatastoreDef", "dkDatastoreDef", {
            {"createEntity", [&] { def.createEntity(); }}, {"getEntity", [&] { def.getEntity("e"); }},
            {"retrieveEntity", [&] { def.retrieveEntity("e"); }}, {"listEntities", [&] { def.listEntities(nullptr, 0L); }},
            {"listEntities", [&] { def.listEntities(0L); }}, {"listEntities", [&] { def.listEntities(); }},
            {"listEntityNames", [&] { def.listEntityNames(nullptr, 0L, n); }},
            {"listEntityNames", [&] { def.listEntityNames(0L, n); }}, {"listEntityNames", [&] { def.listEntityNames(n); }},
            {"listEntities", [&] { def.listSearchableEntities(nullptr, 0L); }},
            {"listEntities", [&] { def.listSearchableEntities(0L); }},
            {"listEntities", [&] { def.listSearchableEntities(); }},
            {"listEntityNames", [&] { def.listSearchableEntityNames(nullptr, 0L, n); }},
            {"listEntityNames", [&] { def.listSearchableEntityNames(0L, n); }},
            {"listEntityNames", [&] { def.listSearchableEntityNames(n); }},
            {"listEntityAttrs", [&] { def.listEntityAttrs("e"); }},
            {"listEntityAttrNames", [&] { def.listEntityAttrNames("e", n); }},
            {"listSearchTemplates", [&] { def.listSearchTemplates(); }},
            {"listSearchTemplateNames", [&] { def.listSearchTemplateNames(n); }},
            {"add", [&] { def.add(&entity); }, "dkDatastoreDef::add(dkEntityDef)"},
            {"del", [&] { def.del(&entity); }, "dkDatastoreDef::del(dkEntityDef)"},
            {"deleteEntity", [&] { def.deleteEntity("e"); }}, {"datastoreAdmin", [&] { def.datastoreAdmin(); }},
            {"clearCache", [&] { def.clearCache(); }}}},
        // The entity's texts carry the full signature.
        {"dk/common/dkEntityDef", "dkEntityDef", {
            {"createSubEntity", [&] { entity.createSubEntity(); }, "dkEntityDef::createSubEntity()"},
            {"getSubEntity", [&] { entity.getSubEntity("s"); }, "dkEntityDef::getSubEntity(const char* subEntityName)"},
            {"retrieveSubEntity", [&] { entity.retrieveSubEntity("s"); },
             "dkEntityDef::retrieveSubEntity(const char* subEntityName)"},
            {"listSubEntities", [&] { entity.listSubEntities(); }, "dkEntityDef::listSubEntities()"},
            {"listSubEntityNames", [&] { entity.listSubEntityNames(n); }, "dkEntityDef::listSubEntityNames(long& arraySize)"},
            {"add", [&] { entity.add(&attr); }, "dkEntityDef::add(dkAttrDef* attrDef)"},
            {"add", [&] { entity.add(); }, "dkEntityDef::add()"},
            {"add", [&] { entity.add(&entity); }, "dkEntityDef::add(dkEntityDef* subEntityDef)"},
            {"del", [&] { entity.del(&attr); }, "dkEntityDef::del(dkAttrDef* attrDef)"},
            {"del", [&] { entity.del(); }, "dkEntityDef::del()"},
            {"del", [&] { entity.del(&entity); }, "dkEntityDef::del(dkEntityDef* subEntityDef)"},
            {"deleteSubEntity", [&] { entity.deleteSubEntity("s"); }, "dkEntityDef::deleteSubEntity(const char* subEntityName)"},
            {"addSubEntity", [&] { entity.addSubEntity(&entity); }, "dkEntityDef::addSubEntity(dkEntityDef* subEntityDef)"},
            {"removeSubEntity", [&] { entity.removeSubEntity("s"); },
             "dkEntityDef::removeSubEntity(const char* subEntityName)"},
            {"createAttr", [&] { entity.createAttr(); }, "dkEntityDef::createAttr()"},
            {"getAttr", [&] { entity.getAttr("a"); }, "dkEntityDef::getAttr(const char* attrName)"},
            {"retrieveAttr", [&] { entity.retrieveAttr("a"); }, "dkEntityDef::retrieveAttr(const char* attrName)"},
            {"listAttrs", [&] { entity.listAttrs(); }, "dkEntityDef::listAttrs()"},
            {"listAttrNames", [&] { entity.listAttrNames(n); }, "dkEntityDef::listAttrNames(long& arraySize)"},
            {"deleteAttr", [&] { entity.deleteAttr("a"); }, "dkEntityDef::deleteAttr(const char* attrName)"},
            {"addAttr", [&] { entity.addAttr(&attr); }, "dkEntityDef::addAttr(dkAttrDef* attrDef)"},
            {"removeAttr", [&] { entity.removeAttr("a"); }, "dkEntityDef::removeAttr(const char* attrName)"},
            {"clearCache", [&] { entity.clearCache(); }, "dkEntityDef::clearCache()"}}},
        {"dk/common/dkAttrDef", "dkAttrDef", {
            {"add", [&] { attr.add(); }, " dkAttrDef::add()"}, {"del", [&] { attr.del(); }, " dkAttrDef::del()"}}},
        {"dk/common/dkDatastoreAdmin", "dkDatastoreAdmin", {
            {"accessControl", [&] { admin.accessControl(); }}, {"authorizationMgmt", [&] { admin.authorizationMgmt(); }},
            {"configurationManagement", [&] { admin.configurationManagement(); }},
            {"userManagement", [&] { admin.userManagement(); }},
            {"workFlowManagement", [&] { admin.workFlowManagement(); }}, {"clearCache", [&] { admin.clearCache(); }}}},
    };

    ASSERT_GT(PClsEnv::portalMsg(341).length(), 1UL);
    for (const Family& f : families) {
        for (const Rejection& r : f.calls) {
            const std::string location = std::string(f.className) + "::" + r.function;
            SCOPED_TRACE(location);
            EXPECT_EQ(msg(341, r.message ? r.message : location),
                      dktest::expectThrownAt<DKUsageError>(r.call, 341, f.source, location.c_str(), 1));
        }
    }
}

TEST(dkDatastoreBuiltOn, TemplateNullCheckServiceMgrAndBaseAnswers) {
    BareDatastore ds;
    dkCallback* callback = nullptr;
    dkSearchTemplate* none = nullptr;
    const std::vector<std::pair<const char*, std::function<void()>>> nullTemplates = {
        {"dkDatastore::evaluate", [&] { ds.evaluate(none); }},
        {"dkDatastore::execute", [&] { ds.execute(none); }},
        {"dkDatastore::executeWithCallback", [&] { ds.executeWithCallback(none, callback); }},
    };
    for (const auto& [location, call] : nullTemplates)
        EXPECT_EQ(msg(303), dktest::expectThrownAt<DKUsageError>(call, 303, "dk/common/dkDatastore", location));

    // Not connected: 310, a DKDatastoreError (not a usage error), and no registry is made.
    EXPECT_EQ(-2, dktest::usageError([&] { ds.serviceMgr(); }));
    EXPECT_EQ(msg(310), dktest::expectThrownAt<DKDatastoreError>([&] { ds.serviceMgr(); }, 310,
                                                                 "dk/common/dkDatastore", "dkDatastore::serviceMgr"));

    EXPECT_EQ(3, ds.validateConnection());
    EXPECT_EQ(0, ds.isConnected());
    EXPECT_EQ(DKString("BARE"), ds.datastoreType());
    EXPECT_EQ(DKString("bareServer"), ds.datastoreName());
    EXPECT_EQ(DKString(""), ds.userName());
}

namespace {

// A small connector: connects, lists entity names, and records every data-object call. The
// object given by failAt makes the single-object call throw failure (0 none, 1 a DKException
// subclass, 2 a standard exception).
class RecordingDatastore : public dkDatastore {
public:
    using dkDatastore::addObject;
    using dkDatastore::deleteObject;
    using dkDatastore::retrieveObject;
    using dkDatastore::updateObject;

    RecordingDatastore() : dkDatastore("REC", "recServer") {}

    void connect(const char* name, const char* user, const char*, const char*) override {
        setDatastoreName(name);
        setUserName(user);
        connected = 1;
    }
    void disconnect() override { connected = 0; }
    int isConnected() override { return connected; }
    DKString* listEntityNames(long& count) override {
        count = 2;
        DKString* names = new DKString[2];
        names[0] = "Claims";
        names[1] = "Policies";
        return names;
    }

    void addObject(dkDataObject* o, const DKNVPair* options, long flags) override { record("add3", o, options, flags); }
    void addObject(dkDataObject* o, long flags) override { record("add2", o, nullptr, flags); }
    void addObject(dkDataObject* o) override { record("add1", o, nullptr, -1); }
    void deleteObject(dkDataObject* o) override { record("del1", o, nullptr, -1); }
    void retrieveObject(dkDataObject* o, long flags) override { record("ret2", o, nullptr, flags); }
    void updateObject(dkDataObject* o, const DKNVPair* options, long flags) override { record("upd3", o, options, flags); }

    struct Call {
        std::string form;
        dkDataObject* object;
        const DKNVPair* options;
        long flags;
    };
    std::vector<Call> calls;
    dkDataObject* failAt = nullptr;
    int failure = 0;
    int connected = 0;

private:
    void record(const char* form, dkDataObject* o, const DKNVPair* options, long flags) {
        calls.push_back({form, o, options, flags});
        if (o != failAt) return;
        if (failure == 1) throw DKDataObjectNotFound("not found", 376, "02000", 100);
        if (failure == 2) throw std::runtime_error("backend gone");
    }
};

// Counts live iterators, so a test sees each collection form free its iterator.
int liveIterators = 0;

class CountingIterator : public DKSequentialIterator {
public:
    explicit CountingIterator(const DKSequentialCollection& c) : DKSequentialIterator(c) { ++liveIterators; }
    ~CountingIterator() override { --liveIterators; }
};

class CountingCollection : public DKSequentialCollection {
public:
    dkIterator* createIterator() const override { return new CountingIterator(*this); }
};

// A data object root that is not of the dkDataObject family.
class BareObject : public dkDataObjectBase {};

}  // namespace

TEST(dkDatastoreBuiltOn, ServiceMgrIsMadeOnceWhileConnected) {
    RecordingDatastore ds;
    ds.connect("server2", "alice", "pw", "");
    EXPECT_EQ(DKString("server2"), ds.datastoreName());
    EXPECT_EQ(DKString("alice"), ds.userName());
    dkServiceMgr* mgr = ds.serviceMgr();
    ASSERT_NE(nullptr, mgr);
    EXPECT_NE(nullptr, dynamic_cast<DKServiceMgrImp*>(mgr));
    EXPECT_EQ(mgr, ds.serviceMgr());   // kept, not remade
    ds.disconnect();
    EXPECT_THROW(ds.serviceMgr(), DKDatastoreError);
}

TEST(dkDatastoreCollections, EachElementInOrderWithItsArgumentsAndTheIteratorFreed) {
    RecordingDatastore ds;
    DKDDO a, b, c;
    CountingCollection objects;
    for (DKDDO* o : {&a, &b, &c}) objects.addElement(DKAny(static_cast<dkDataObjectBase*>(o)));
    DKNVPair options[1] = {DKNVPair("OPT", DKAny(7L))};

    ds.addObjects(nullptr);   // nothing at all
    ds.addObjects(static_cast<dkCollection*>(nullptr), options, 3);
    EXPECT_TRUE(ds.calls.empty());

    ds.addObjects(&objects);
    ds.addObjects(&objects, 9L);
    ds.addObjects(&objects, options, 4);
    ds.deleteObjects(&objects);
    ds.retrieveObjects(&objects, 2L);
    ds.updateObjects(&objects, options, 5);
    EXPECT_EQ(0, liveIterators);
    ASSERT_EQ(18u, ds.calls.size());
    const char* forms[] = {"add1", "add2", "add3", "del1", "ret2", "upd3"};
    const long flags[] = {-1, 9, 4, -1, 2, 5};
    for (size_t i = 0; i < 18; ++i) {
        const auto& call = ds.calls[i];
        EXPECT_EQ(forms[i / 3], call.form) << i;
        EXPECT_EQ(flags[i / 3], call.flags) << i;
        EXPECT_EQ(static_cast<dkDataObject*>(i % 3 == 0 ? &a : i % 3 == 1 ? &b : &c), call.object) << i;
        if (call.form == "add3" || call.form == "upd3") {
            EXPECT_EQ(options, call.options) << i;
        }
    }

    // The base forms reject per element: the first element's 341 leaves with the collection
    // operation's location added after the element operation's own.
    BareDatastore bare;
    try {
        bare.deleteObjects(&objects, 1L);
        ADD_FAILURE() << "no exception";
    } catch (DKUsageError& e) {
        EXPECT_EQ(msg(341, "dkDatastore::deleteObject"), std::string(e.what()));
        ASSERT_EQ(2UL, e.locationCount());
        EXPECT_STREQ("dkDatastore::deleteObject", e.locationAtIndex(0)->functionName());
        EXPECT_STREQ("dkDatastore::deleteObjects", e.locationAtIndex(1)->functionName());
    }
    EXPECT_EQ(0, liveIterators);
}

TEST(dkDatastoreCollections, FailureStopsTheLoopKeepsTheExceptionAndFreesTheIterator) {
    RecordingDatastore ds;
    DKDDO a, b, c;
    CountingCollection objects;
    for (DKDDO* o : {&a, &b, &c}) objects.addElement(DKAny(static_cast<dkDataObjectBase*>(o)));

    // A DKException subclass leaves as the same class, with the caller's location added.
    ds.failAt = &b;
    ds.failure = 1;
    try {
        ds.addObjects(&objects);
        ADD_FAILURE() << "no exception";
    } catch (DKDataObjectNotFound& e) {
        EXPECT_EQ(376UL, e.errorId());
        EXPECT_STREQ("02000", e.errorState());
        EXPECT_EQ(100L, e.errorCode());
        ASSERT_EQ(1UL, e.locationCount());
        EXPECT_STREQ("dkDatastore::addObjects", e.locationAtIndex(0)->functionName());
    }
    ASSERT_EQ(2u, ds.calls.size());   // the third element is not reached
    EXPECT_EQ(static_cast<dkDataObject*>(&b), ds.calls[1].object);
    EXPECT_EQ(0, liveIterators);

    // Anything else passes through untouched.
    ds.calls.clear();
    ds.failure = 2;
    EXPECT_THROW(ds.updateObjects(&objects, nullptr, 0), std::runtime_error);
    EXPECT_EQ(2u, ds.calls.size());
    EXPECT_EQ(0, liveIterators);
}

TEST(dkDatastoreCollections, ElementsThatAreNoDataObjectAreRefusedBeforeTheCall) {
    RecordingDatastore ds;
    DKDDO a;
    BareObject root;
    const std::vector<DKAny> bad = {DKAny(), DKAny(5L), DKAny("text"),
                                    DKAny(static_cast<dkDataObjectBase*>(nullptr)),
                                    DKAny(static_cast<dkDataObjectBase*>(&root))};
    for (size_t i = 0; i < bad.size(); ++i) {
        SCOPED_TRACE(i);
        CountingCollection objects;
        objects.addElement(DKAny(static_cast<dkDataObjectBase*>(&a)));
        objects.addElement(bad[i]);
        ds.calls.clear();
        dktest::expectThrownAt<DKUsageError>([&] { ds.deleteObjects(&objects); }, 303, "dk/common/dkDatastore",
                                             "dkDatastore::deleteObjects", 1);
        EXPECT_EQ(1u, ds.calls.size());   // the good element before it was processed
        EXPECT_EQ(0, liveIterators);
    }
}

namespace {

using FactoryFn = dkDatastore* (*)(const char*);
using FactoryWithConfigFn = dkDatastore* (*)(const char*, const char*);

}  // namespace

TEST(dkDatastoreConnector, LoadedConnectorIsReachedThroughTheBaseAndItsExceptionsCaught) {
    PDynamicLoader loader(DK_TEST_CONNECTOR);
    loader.open();
    auto create = reinterpret_cast<FactoryFn>(loader.getProcAddress("createObject"));
    auto createWithConfig = reinterpret_cast<FactoryWithConfigFn>(loader.getProcAddress("createObjectWithConfig"));
    EXPECT_EQ(nullptr, create("DKDatastoreXX"));

    dkDatastore* ds = createWithConfig("DKDatastoreTC", "cfg=1");
    ASSERT_NE(nullptr, ds);
    EXPECT_EQ(DKString("TC"), ds->datastoreType());
    EXPECT_EQ(2, ds->validateConnection());   // not connected: must be made again
    DKAny value;
    ds->getOption(2, value);
    EXPECT_EQ(DKString("cfg=1"), static_cast<DKString>(value));

    // A server error thrown inside the connector is caught here by its own class.
    try {
        ds->connect("db1", "carol", "wrong", "");
        ADD_FAILURE() << "no exception";
    } catch (DKLogonFailure& e) {
        EXPECT_STREQ("28000", e.errorState());
        EXPECT_EQ(-30082L, e.errorCode());
        EXPECT_STREQ("DKDatastoreTC::connect", e.locationAtIndex(0)->functionName());
    }
    ds->connect("db1", "carol", "secret", "");
    EXPECT_EQ(1, ds->isConnected());
    EXPECT_EQ(0, ds->validateConnection());
    EXPECT_EQ(DKString("carol"), ds->userName());
    EXPECT_NE(nullptr, ds->serviceMgr());

    // The base's derived operations reach the connector's overrides.
    long count = 0;
    DKString* names = ds->listSearchableEntityNames(count);
    ASSERT_EQ(2, count);
    EXPECT_EQ(DKString("Memos"), names[1]);
    delete[] names;

    // DKDDO::add goes through the datastore's slot; the collection form stops at the duplicate
    // with the connector's exception class intact and both locations on it.
    DKDDO a(ds, "Letters", 4), b(ds, "Letters", 4);
    a.add();
    CountingCollection objects;
    for (DKDDO* o : {&b, &a, &b}) objects.addElement(DKAny(static_cast<dkDataObjectBase*>(o)));
    try {
        ds->addObjects(&objects);
        ADD_FAILURE() << "no exception";
    } catch (DKDataObjectAlreadyExists& e) {
        EXPECT_STREQ("23505", e.errorState());
        ASSERT_EQ(2UL, e.locationCount());
        EXPECT_STREQ("DKDatastoreTC::addObject", e.locationAtIndex(0)->functionName());
        EXPECT_STREQ("dkDatastore::addObjects", e.locationAtIndex(1)->functionName());
    }
    EXPECT_EQ(0, liveIterators);
    ds->getOption(1, value);
    EXPECT_EQ(2L, static_cast<long>(value));
    EXPECT_THROW(ds->deleteObject(&a), DKUsageError);   // not overridden: the base's 341

    ds->disconnect();
    delete ds;   // through the virtual destructor, while the library is still loaded
    loader.close();
}

namespace {

// An expression that counts itself, so a test sees the template forms delete it.
int liveExpressions = 0;

class CountedExpr : public DKCQExpr {
public:
    CountedExpr() { ++liveExpressions; }
    ~CountedExpr() override { --liveExpressions; }
};

class PlainCallback : public dkCallback {};
class PlainCursor : public dkResultSetCursor {};

class FilledTemplate : public dkSearchTemplate {
public:
    DKCQExpr* createCQExpr() override { return new CountedExpr; }
};

// Runs the expression forms: records the expression and callback it is given and, with fail set,
// throws a DKException after recording.
class ExprDatastore : public dkDatastore {
public:
    using dkDatastore::evaluate;
    using dkDatastore::execute;
    using dkDatastore::executeWithCallback;

    DKAny evaluate(DKCQExpr* e) override {
        seen(e, nullptr);
        return DKAny(42L);
    }
    dkResultSetCursor* execute(DKCQExpr* e) override {
        seen(e, nullptr);
        return &cursor;
    }
    void executeWithCallback(DKCQExpr* e, dkCallback* callback) override { seen(e, callback); }

    std::vector<std::pair<DKCQExpr*, dkCallback*>> calls;
    int liveDuringCall = 0;
    bool fail = false;
    PlainCursor cursor;

private:
    void seen(DKCQExpr* e, dkCallback* callback) {
        calls.emplace_back(e, callback);
        liveDuringCall = liveExpressions;
        if (fail) throw DKDataObjectNotFound("no rows", 376, "02000", 100);
    }
};

}  // namespace

TEST(dkDatastoreTemplates, EachFormRunsTheTemplatesExpressionAndDeletesIt) {
    ExprDatastore ds;
    FilledTemplate filled;
    PlainCallback callback;

    EXPECT_EQ(42L, static_cast<long>(ds.evaluate(&filled)));
    EXPECT_EQ(&ds.cursor, ds.execute(&filled));
    ds.executeWithCallback(&filled, &callback);

    ASSERT_EQ(3u, ds.calls.size());
    for (const auto& call : ds.calls) EXPECT_NE(nullptr, call.first);
    EXPECT_EQ(nullptr, ds.calls[0].second);
    EXPECT_EQ(&callback, ds.calls[2].second);
    EXPECT_EQ(1, ds.liveDuringCall);   // alive while the expression form runs
    EXPECT_EQ(0, liveExpressions);     // and gone after each
}

TEST(dkDatastoreTemplates, ExpressionIsDeletedWhenTheExpressionFormThrows) {
    FilledTemplate filled;
    PlainCallback callback;

    ExprDatastore failing;
    failing.fail = true;
    EXPECT_THROW(failing.evaluate(&filled), DKDataObjectNotFound);
    EXPECT_THROW(failing.execute(&filled), DKDataObjectNotFound);
    EXPECT_THROW(failing.executeWithCallback(&filled, &callback), DKDataObjectNotFound);
    EXPECT_EQ(3u, failing.calls.size());
    EXPECT_EQ(0, liveExpressions);

    // A connector without the expression forms: the base's 341 passes out, naming the expression
    // form, and the template's expression is still freed.
    BareDatastore bare;
    const std::vector<std::pair<const char*, std::function<void()>>> rejected = {
        {"dkDatastore::evaluate", [&] { bare.evaluate(&filled); }},
        {"dkDatastore::execute", [&] { bare.execute(&filled); }},
        {"dkDatastore::executeWithCallback", [&] { bare.executeWithCallback(&filled, &callback); }},
    };
    for (const auto& [location, call] : rejected) {
        SCOPED_TRACE(location);
        EXPECT_EQ(msg(341, location), dktest::expectThrownAt<DKUsageError>(call, 341, "dk/common/dkDatastore", location));
        EXPECT_EQ(0, liveExpressions);
    }
}
