// tests/dk/common/datastore/dkDatastore_test.cpp
//
// The abstract connector: every base operation needing a repository rejects with its own text and
// location, the null-template check, serviceMgr(), and the collection forms with their failures.

#include <dk/DKDDO.hpp>
#include <dk/DKException.hpp>
#include <dk/DKHandle.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/DKSequentialCollection.hpp>
#include <dk/PDynamicLoader.hpp>
#include <dk/PMessageText.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkDatastoreDef.hpp>
#include <dk/dkDatastoreExt.hpp>
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

struct Rejection {
    const char* messageName;    // appended to the catalogue text of 341
    const char* locationName;   // the function in the location
    const char* source;
    std::function<void()> call;
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
    long count = 0;
    DKCQExpr* expr = nullptr;
    dkQuery* query = nullptr;
    dkDataObject* obj = nullptr;
    char loc[] = "C";
    const char* D = "dk/common/dkDatastore";
    const char* X = "dk/common/dkDatastoreExt";
    const char* F = "dk/common/dkDatastoreDef";
    const char* E = "dk/common/dkEntityDef";
    const char* A = "dk/common/dkAttrDef";
    const char* M = "dk/common/dkDatastoreAdmin";

    const std::vector<Rejection> table = {
        {"dkDatastore::evaluate", "dkDatastore::evaluate", D, [&] { ds.evaluate("q", 1, nullptr); }},
        {"dkDatastore::createQuery", "dkDatastore::createQuery", D, [&] { ds.createQuery("q", 1, nullptr); }},
        {"dkDatastore::connect", "dkDatastore::connect", D, [&] { ds.connect("s", "u", "p", ""); }},
        {"dkDatastore::disconnect", "dkDatastore::disconnect", D, [&] { ds.disconnect(); }},
        {"dkDatastore::getOption", "dkDatastore::getOption", D, [&] { ds.getOption(1, any); }},
        {"dkDatastore::setOption", "dkDatastore::setOption", D, [&] { ds.setOption(1, any); }},
        {"dkDatastore::evaluate", "dkDatastore::evaluate", D, [&] { ds.evaluate(expr); }},
        {"dkDatastore::evaluate", "dkDatastore::evaluate", D, [&] { ds.evaluate(query); }},
        {"dkDatastore::execute", "dkDatastore::execute", D, [&] { ds.execute(expr); }},
        {"dkDatastore::execute", "dkDatastore::execute", D, [&] { ds.execute(query); }},
        {"dkDatastore::execute", "dkDatastore::execute", D, [&] { ds.execute("q", 4, nullptr); }},
        {"dkDatastore::executeWithCallback", "dkDatastore::executeWithCallback", D, [&] { ds.executeWithCallback(expr, nullptr); }},
        {"dkDatastore::executeWithCallback", "dkDatastore::executeWithCallback", D, [&] { ds.executeWithCallback(query, nullptr); }},
        {"dkDatastore::executeWithCallback", "dkDatastore::executeWithCallback", D, [&] { ds.executeWithCallback("q", 1, nullptr, nullptr); }},
        {"dkDatastore::createQuery", "dkDatastore::createQuery", D, [&] { ds.createQuery(expr); }},
        {"dkDatastore::addObject", "dkDatastore::addObject", D, [&] { ds.addObject(obj, nullptr, 0); }},
        {"dkDatastore::addObject", "dkDatastore::addObject", D, [&] { ds.addObject(obj, 0L); }},
        {"dkDatastore::addObject", "dkDatastore::addObject", D, [&] { ds.addObject(obj); }},
        {"dkDatastore::deleteObject", "dkDatastore::deleteObject", D, [&] { ds.deleteObject(obj, nullptr, 0); }},
        {"dkDatastore::deleteObject", "dkDatastore::deleteObject", D, [&] { ds.deleteObject(obj, 0L); }},
        {"dkDatastore::deleteObject", "dkDatastore::deleteObject", D, [&] { ds.deleteObject(obj); }},
        {"dkDatastore::retrieveObject", "dkDatastore::retrieveObject", D, [&] { ds.retrieveObject(obj, nullptr, 0); }},
        {"dkDatastore::retrieveObject", "dkDatastore::retrieveObject", D, [&] { ds.retrieveObject(obj, 0L); }},
        {"dkDatastore::retrieveObject", "dkDatastore::retrieveObject", D, [&] { ds.retrieveObject(obj); }},
        {"dkDatastore::updateObject", "dkDatastore::updateObject", D, [&] { ds.updateObject(obj, nullptr, 0); }},
        {"dkDatastore::updateObject", "dkDatastore::updateObject", D, [&] { ds.updateObject(obj, 0L); }},
        {"dkDatastore::updateObject", "dkDatastore::updateObject", D, [&] { ds.updateObject(obj); }},
        {"dkDatastore::startTransaction", "dkDatastore::startTransaction", D, [&] { ds.startTransaction(); }},
        {"dkDatastore::commit", "dkDatastore::commit", D, [&] { ds.commit(); }},
        {"dkDatastore::rollback", "dkDatastore::rollback", D, [&] { ds.rollback(); }},
        {"dkDatastore::connection", "dkDatastore::connection", D, [&] { ds.connection(); }},
        {"dkDatastore::handle", "dkDatastore::handle", D, [&] { ds.handle("t"); }},
        {"dkDatastore::listDataSources", "dkDatastore::listDataSources", D, [&] { ds.listDataSources(); }},
        {"dkDatastore::listDataSourceNames", "dkDatastore::listDataSourceNames", D, [&] { ds.listDataSourceNames(count); }},
        {"dkDatastore::listServers", "dkDatastore::listServers", D, [&] { ds.listServers(); }},
        {"dkDatastore::listSchema", "dkDatastore::listSchema", D, [&] { ds.listSchema(); }},
        {"dkDatastore::listSchemaAttributes", "dkDatastore::listSchemaAttributes", D, [&] { ds.listSchemaAttributes("e"); }},
        // The searchable lists answer with the full lists, so they fail as those do.
        {"dkDatastore::listEntities", "dkDatastore::listEntities", D, [&] { ds.listSearchableEntities(); }},
        {"dkDatastore::listEntities", "dkDatastore::listEntities", D, [&] { ds.listEntities(); }},
        {"dkDatastore::listEntityNames", "dkDatastore::listEntityNames", D, [&] { ds.listEntityNames(count); }},
        {"dkDatastore::listEntityNames", "dkDatastore::listEntityNames", D, [&] { ds.listSearchableEntityNames(count); }},
        {"dkDatastore::listEntityAttrs", "dkDatastore::listEntityAttrs", D, [&] { ds.listEntityAttrs("e"); }},
        {"dkDatastore::listEntityAttrNames", "dkDatastore::listEntityAttrNames", D, [&] { ds.listEntityAttrNames("e", count); }},
        {"dkDatastore::listSearchTemplates", "dkDatastore::listSearchTemplates", D, [&] { ds.listSearchTemplates(); }},
        {"dkDatastore::listSearchTemplateNames", "dkDatastore::listSearchTemplateNames", D, [&] { ds.listSearchTemplateNames(count); }},
        {"dkDatastore::datastoreDef", "dkDatastore::datastoreDef", D, [&] { ds.datastoreDef(); }},
        {"dkDatastore::registerMapping", "dkDatastore::registerMapping", D, [&] { ds.registerMapping(nullptr); }},
        {"dkDatastore::unRegisterMapping", "dkDatastore::unRegisterMapping", D, [&] { ds.unRegisterMapping("m"); }},
        {"dkDatastore::listMappingNames", "dkDatastore::listMappingNames", D, [&] { ds.listMappingNames(count); }},
        {"dkDatastore::getMapping", "dkDatastore::getMapping", D, [&] { ds.getMapping("m"); }},
        {"dkDatastore::getExtension", "dkDatastore::getExtension", D, [&] { ds.getExtension("DATASTORE_EXTENSION"); }},
        {"dkDatastore::addExtension", "dkDatastore::addExtension", D, [&] { ds.addExtension("x", &ext); }},
        {"dkDatastore::removeExtension", "dkDatastore::removeExtension", D, [&] { ds.removeExtension("x"); }},
        {"dkDatastore::listExtensionNames", "dkDatastore::listExtensionNames", D, [&] { ds.listExtensionNames(count); }},
        {"dkDatastore::createDDO", "dkDatastore::createDDO", D, [&] { ds.createDDO("e", 0); }},
        {"dkDatastore::clearCache(long)", "dkDatastore::clearCache", D, [&] { ds.clearCache(5); }},
        {"dkDatastore::clearCache", "dkDatastore::clearCache", D, [&] { ds.clearCache(); }},
        {"dkDatastore::listAvailableServices", "dkDatastore::listAvailableServices", D, [&] { ds.listAvailableServices(count); }},
        {"dkDatastore::setLocaleAndCodePage", "dkDatastore::setLocaleAndCodePage", D, [&] { ds.setLocaleAndCodePage(loc, loc); }},
        {"dkDatastore::getLocaleAndCodePage", "dkDatastore::getLocaleAndCodePage", D, [&] { ds.getLocaleAndCodePage(s1, s2); }},

        {"dkDatastoreExt::addToFolder", "dkDatastoreExt::addToFolder", X, [&] { ext.addToFolder(obj, obj); }},
        {"dkDatastoreExt::removeFromFolder", "dkDatastoreExt::removeFromFolder", X, [&] { ext.removeFromFolder(obj, obj); }},
        {"dkDatastoreExt::addChild", "dkDatastoreExt::addChild", X, [&] { ext.addChild(obj, obj); }},
        {"dkDatastoreExt::removeChild", "dkDatastoreExt::removeChild", X, [&] { ext.removeChild(obj, obj); }},
        {"dkDatastoreExt::addLink", "dkDatastoreExt::addLink", X, [&] { ext.addLink(nullptr); }},
        {"dkDatastoreExt::removeLink", "dkDatastoreExt::removeLink", X, [&] { ext.removeLink(nullptr); }},
        {"dkDatastoreExt::removeLinks", "dkDatastoreExt::removeLinks", X, [&] { ext.removeLinks(nullptr); }},
        {"dkDatastoreExt::isCheckedOut", "dkDatastoreExt::isCheckedOut", X, [&] { ext.isCheckedOut(obj); }},
        {"dkDatastoreExt::checkedOutUserid", "dkDatastoreExt::checkedOutUserid", X, [&] { ext.checkedOutUserid(obj); }},
        {"dkDatastoreExt::unlockCheckedOut", "dkDatastoreExt::unlockCheckedOut", X, [&] { ext.unlockCheckedOut(obj); }},
        {"dkDatastoreExt::checkOut", "dkDatastoreExt::checkOut", X, [&] { ext.checkOut(obj); }},
        {"dkDatastoreExt::checkIn", "dkDatastoreExt::checkIn", X, [&] { ext.checkIn(obj); }},
        {"dkDatastoreExt::getCommonPrivilege(dkDataObject)", "dkDatastoreExt::getCommonPrivilege", X, [&] { ext.getCommonPrivilege(obj); }},
        {"dkDatastoreExt::getCommonPrivilege", "dkDatastoreExt::getCommonPrivilege", X, [&] { ext.getCommonPrivilege(); }},
        {"dkDatastoreExt::getCommonItemPrivilege(dkDataObject)", "dkDatastoreExt::getCommonItemPrivilege", X, [&] { ext.getCommonItemPrivilege(obj); }},
        {"dkDatastoreExt::retrieveFromOverlay", "dkDatastoreExt::retrieveFormOverlay", X, [&] { ext.retrieveFormOverlay("o"); }},
        {"dkDatastoreExt::moveObject(dkDataObject,dkDataObject,long)", "dkDatastoreExt::moveObject", X, [&] { ext.moveObject(obj, obj, 0L); }},
        {"dkDatastoreExt::moveObject", "dkDatastoreExt::moveObject", X, [&] { ext.moveObject(obj, "e"); }},
        {"dkDatastoreExt::changePassword", "dkDatastoreExt::changePassword", X, [&] { ext.changePassword("u", "o", "n"); }},
        {"dkDatastoreExt::addPart", "dkDatastoreExt::addPart", X, [&] { ext.addPart(obj, nullptr); }},
        {"dkDatastoreExt::removePart", "dkDatastoreExt::removePart", X, [&] { ext.removePart(obj, nullptr); }},

        {"dkDatastoreDef::createEntity", "dkDatastoreDef::createEntity", F, [&] { def.createEntity(); }},
        {"dkDatastoreDef::getEntity", "dkDatastoreDef::getEntity", F, [&] { def.getEntity("e"); }},
        {"dkDatastoreDef::retrieveEntity", "dkDatastoreDef::retrieveEntity", F, [&] { def.retrieveEntity("e"); }},
        {"dkDatastoreDef::listEntities", "dkDatastoreDef::listEntities", F, [&] { def.listEntities(nullptr, 0L); }},
        {"dkDatastoreDef::listEntities", "dkDatastoreDef::listEntities", F, [&] { def.listEntities(0L); }},
        {"dkDatastoreDef::listEntities", "dkDatastoreDef::listEntities", F, [&] { def.listEntities(); }},
        {"dkDatastoreDef::listEntityNames", "dkDatastoreDef::listEntityNames", F, [&] { def.listEntityNames(nullptr, 0L, count); }},
        {"dkDatastoreDef::listEntityNames", "dkDatastoreDef::listEntityNames", F, [&] { def.listEntityNames(0L, count); }},
        {"dkDatastoreDef::listEntityNames", "dkDatastoreDef::listEntityNames", F, [&] { def.listEntityNames(count); }},
        {"dkDatastoreDef::listEntities", "dkDatastoreDef::listEntities", F, [&] { def.listSearchableEntities(nullptr, 0L); }},
        {"dkDatastoreDef::listEntities", "dkDatastoreDef::listEntities", F, [&] { def.listSearchableEntities(0L); }},
        {"dkDatastoreDef::listEntities", "dkDatastoreDef::listEntities", F, [&] { def.listSearchableEntities(); }},
        {"dkDatastoreDef::listEntityNames", "dkDatastoreDef::listEntityNames", F, [&] { def.listSearchableEntityNames(nullptr, 0L, count); }},
        {"dkDatastoreDef::listEntityNames", "dkDatastoreDef::listEntityNames", F, [&] { def.listSearchableEntityNames(0L, count); }},
        {"dkDatastoreDef::listEntityNames", "dkDatastoreDef::listEntityNames", F, [&] { def.listSearchableEntityNames(count); }},
        {"dkDatastoreDef::listEntityAttrs", "dkDatastoreDef::listEntityAttrs", F, [&] { def.listEntityAttrs("e"); }},
        {"dkDatastoreDef::listEntityAttrNames", "dkDatastoreDef::listEntityAttrNames", F, [&] { def.listEntityAttrNames("e", count); }},
        {"dkDatastoreDef::listSearchTemplates", "dkDatastoreDef::listSearchTemplates", F, [&] { def.listSearchTemplates(); }},
        {"dkDatastoreDef::listSearchTemplateNames", "dkDatastoreDef::listSearchTemplateNames", F, [&] { def.listSearchTemplateNames(count); }},
        {"dkDatastoreDef::add(dkEntityDef)", "dkDatastoreDef::add", F, [&] { def.add(&entity); }},
        {"dkDatastoreDef::del(dkEntityDef)", "dkDatastoreDef::del", F, [&] { def.del(&entity); }},
        {"dkDatastoreDef::deleteEntity", "dkDatastoreDef::deleteEntity", F, [&] { def.deleteEntity("e"); }},
        {"dkDatastoreDef::datastoreAdmin", "dkDatastoreDef::datastoreAdmin", F, [&] { def.datastoreAdmin(); }},
        {"dkDatastoreDef::clearCache", "dkDatastoreDef::clearCache", F, [&] { def.clearCache(); }},

        {"dkEntityDef::createSubEntity()", "dkEntityDef::createSubEntity", E, [&] { entity.createSubEntity(); }},
        {"dkEntityDef::getSubEntity(const char* subEntityName)", "dkEntityDef::getSubEntity", E, [&] { entity.getSubEntity("s"); }},
        {"dkEntityDef::retrieveSubEntity(const char* subEntityName)", "dkEntityDef::retrieveSubEntity", E, [&] { entity.retrieveSubEntity("s"); }},
        {"dkEntityDef::listSubEntities()", "dkEntityDef::listSubEntities", E, [&] { entity.listSubEntities(); }},
        {"dkEntityDef::listSubEntityNames(long& arraySize)", "dkEntityDef::listSubEntityNames", E, [&] { entity.listSubEntityNames(count); }},
        {"dkEntityDef::add(dkAttrDef* attrDef)", "dkEntityDef::add", E, [&] { entity.add(&attr); }},
        {"dkEntityDef::add()", "dkEntityDef::add", E, [&] { entity.add(); }},
        {"dkEntityDef::add(dkEntityDef* subEntityDef)", "dkEntityDef::add", E, [&] { entity.add(&entity); }},
        {"dkEntityDef::del(dkAttrDef* attrDef)", "dkEntityDef::del", E, [&] { entity.del(&attr); }},
        {"dkEntityDef::del()", "dkEntityDef::del", E, [&] { entity.del(); }},
        {"dkEntityDef::del(dkEntityDef* subEntityDef)", "dkEntityDef::del", E, [&] { entity.del(&entity); }},
        {"dkEntityDef::deleteSubEntity(const char* subEntityName)", "dkEntityDef::deleteSubEntity", E, [&] { entity.deleteSubEntity("s"); }},
        {"dkEntityDef::addSubEntity(dkEntityDef* subEntityDef)", "dkEntityDef::addSubEntity", E, [&] { entity.addSubEntity(&entity); }},
        {"dkEntityDef::removeSubEntity(const char* subEntityName)", "dkEntityDef::removeSubEntity", E, [&] { entity.removeSubEntity("s"); }},
        {"dkEntityDef::createAttr()", "dkEntityDef::createAttr", E, [&] { entity.createAttr(); }},
        {"dkEntityDef::getAttr(const char* attrName)", "dkEntityDef::getAttr", E, [&] { entity.getAttr("a"); }},
        {"dkEntityDef::retrieveAttr(const char* attrName)", "dkEntityDef::retrieveAttr", E, [&] { entity.retrieveAttr("a"); }},
        {"dkEntityDef::listAttrs()", "dkEntityDef::listAttrs", E, [&] { entity.listAttrs(); }},
        {"dkEntityDef::listAttrNames(long& arraySize)", "dkEntityDef::listAttrNames", E, [&] { entity.listAttrNames(count); }},
        {"dkEntityDef::deleteAttr(const char* attrName)", "dkEntityDef::deleteAttr", E, [&] { entity.deleteAttr("a"); }},
        {"dkEntityDef::addAttr(dkAttrDef* attrDef)", "dkEntityDef::addAttr", E, [&] { entity.addAttr(&attr); }},
        {"dkEntityDef::removeAttr(const char* attrName)", "dkEntityDef::removeAttr", E, [&] { entity.removeAttr("a"); }},
        {"dkEntityDef::clearCache()", "dkEntityDef::clearCache", E, [&] { entity.clearCache(); }},

        {" dkAttrDef::add()", "dkAttrDef::add", A, [&] { attr.add(); }},
        {" dkAttrDef::del()", "dkAttrDef::del", A, [&] { attr.del(); }},

        {"dkDatastoreAdmin::accessControl", "dkDatastoreAdmin::accessControl", M, [&] { admin.accessControl(); }},
        {"dkDatastoreAdmin::authorizationMgmt", "dkDatastoreAdmin::authorizationMgmt", M, [&] { admin.authorizationMgmt(); }},
        {"dkDatastoreAdmin::configurationManagement", "dkDatastoreAdmin::configurationManagement", M, [&] { admin.configurationManagement(); }},
        {"dkDatastoreAdmin::userManagement", "dkDatastoreAdmin::userManagement", M, [&] { admin.userManagement(); }},
        {"dkDatastoreAdmin::workFlowManagement", "dkDatastoreAdmin::workFlowManagement", M, [&] { admin.workFlowManagement(); }},
        {"dkDatastoreAdmin::clearCache", "dkDatastoreAdmin::clearCache", M, [&] { admin.clearCache(); }},
    };

    ASSERT_GT(PClsEnv::portalMsg(341).length(), 1UL);
    for (const Rejection& r : table) {
        SCOPED_TRACE(std::string(r.messageName) + " @ " + r.locationName);
        EXPECT_EQ(msg(341, r.messageName),
                  dktest::expectThrownAt<DKUsageError>(r.call, 341, r.source, r.locationName, 1));
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
