// tests/dk/common/datastore/dkDatastore_test.cpp
//
// The abstract connector: every base operation needing a repository rejects with 341 naming
// itself, the null-template check, serviceMgr(), the collection forms with their failures, and a
// connector loaded as a real library reached through the base.

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

#include "dkFakeDatastore.hpp"
#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

using dktest::msg;

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

using Call = std::function<void()>;

// The operations of one source file that the base cannot do. Most name their location in the
// text; `named` holds those whose text is another one.
struct Family {
    const char* source;
    std::vector<Call> calls;
    std::vector<std::pair<Call, const char*>> named;
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

TEST(dkDatastoreRejection, EveryUnsupportedOperationThrows341NamingItself) {
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
        {"dk/common/dkDatastore",
         {[&] { ds.evaluate("q", 1, nullptr); }, [&] { ds.evaluate(expr); }, [&] { ds.evaluate(query); },
          [&] { ds.createQuery("q", 1, nullptr); }, [&] { ds.createQuery(expr); }, [&] { ds.connect("s", "u", "p", ""); },
          [&] { ds.disconnect(); }, [&] { ds.getOption(1, any); }, [&] { ds.setOption(1, any); },
          [&] { ds.execute(expr); }, [&] { ds.execute(query); }, [&] { ds.execute("q", 4, nullptr); },
          [&] { ds.executeWithCallback(expr, nullptr); }, [&] { ds.executeWithCallback(query, nullptr); },
          [&] { ds.executeWithCallback("q", 1, nullptr, nullptr); }, [&] { ds.addObject(obj, nullptr, 0); },
          [&] { ds.addObject(obj, 0L); }, [&] { ds.addObject(obj); }, [&] { ds.deleteObject(obj, nullptr, 0); },
          [&] { ds.deleteObject(obj, 0L); }, [&] { ds.deleteObject(obj); }, [&] { ds.retrieveObject(obj, nullptr, 0); },
          [&] { ds.retrieveObject(obj, 0L); }, [&] { ds.retrieveObject(obj); }, [&] { ds.updateObject(obj, nullptr, 0); },
          [&] { ds.updateObject(obj, 0L); }, [&] { ds.updateObject(obj); }, [&] { ds.startTransaction(); },
          [&] { ds.commit(); }, [&] { ds.rollback(); }, [&] { ds.connection(); }, [&] { ds.handle("t"); },
          [&] { ds.listDataSources(); }, [&] { ds.listDataSourceNames(n); }, [&] { ds.listServers(); },
          [&] { ds.listSchema(); }, [&] { ds.listSchemaAttributes("e"); }, [&] { ds.listSearchableEntities(); },
          [&] { ds.listEntities(); }, [&] { ds.listEntityNames(n); }, [&] { ds.listSearchableEntityNames(n); },
          [&] { ds.listEntityAttrs("e"); }, [&] { ds.listEntityAttrNames("e", n); }, [&] { ds.listSearchTemplates(); },
          [&] { ds.listSearchTemplateNames(n); }, [&] { ds.datastoreDef(); }, [&] { ds.registerMapping(nullptr); },
          [&] { ds.unRegisterMapping("m"); }, [&] { ds.listMappingNames(n); }, [&] { ds.getMapping("m"); },
          [&] { ds.getExtension("DATASTORE_EXTENSION"); }, [&] { ds.addExtension("x", &ext); },
          [&] { ds.removeExtension("x"); }, [&] { ds.listExtensionNames(n); }, [&] { ds.createDDO("e", 0); },
          [&] { ds.clearCache(); }, [&] { ds.listAvailableServices(n); }, [&] { ds.setLocaleAndCodePage(loc, loc); },
          [&] { ds.getLocaleAndCodePage(s1, s2); }},
         {{[&] { ds.clearCache(5); }, "dkDatastore::clearCache(long)"}}},
        {"dk/common/dkDatastoreExt",
         {[&] { ext.addToFolder(obj, obj); }, [&] { ext.removeFromFolder(obj, obj); }, [&] { ext.addChild(obj, obj); },
          [&] { ext.removeChild(obj, obj); }, [&] { ext.addLink(nullptr); }, [&] { ext.removeLink(nullptr); },
          [&] { ext.removeLinks(nullptr); }, [&] { ext.isCheckedOut(obj); }, [&] { ext.checkedOutUserid(obj); },
          [&] { ext.unlockCheckedOut(obj); }, [&] { ext.checkOut(obj); }, [&] { ext.checkIn(obj); },
          [&] { ext.getCommonPrivilege(); }, [&] { ext.moveObject(obj, "e"); }, [&] { ext.changePassword("u", "o", "n"); },
          [&] { ext.addPart(obj, nullptr); }, [&] { ext.removePart(obj, nullptr); }},
         {{[&] { ext.getCommonPrivilege(obj); }, "dkDatastoreExt::getCommonPrivilege(dkDataObject)"},
          {[&] { ext.getCommonItemPrivilege(obj); }, "dkDatastoreExt::getCommonItemPrivilege(dkDataObject)"},
          {[&] { ext.retrieveFormOverlay("o"); }, "dkDatastoreExt::retrieveFromOverlay"},
          {[&] { ext.moveObject(obj, obj, 0L); }, "dkDatastoreExt::moveObject(dkDataObject,dkDataObject,long)"}}},
        {"dk/common/dkDatastoreDef",
         {[&] { def.createEntity(); }, [&] { def.getEntity("e"); }, [&] { def.retrieveEntity("e"); },
          [&] { def.listEntities(nullptr, 0L); }, [&] { def.listEntities(0L); }, [&] { def.listEntities(); },
          [&] { def.listEntityNames(nullptr, 0L, n); }, [&] { def.listEntityNames(0L, n); },
          [&] { def.listEntityNames(n); }, [&] { def.listSearchableEntities(nullptr, 0L); },
          [&] { def.listSearchableEntities(0L); }, [&] { def.listSearchableEntities(); },
          [&] { def.listSearchableEntityNames(nullptr, 0L, n); }, [&] { def.listSearchableEntityNames(0L, n); },
          [&] { def.listSearchableEntityNames(n); }, [&] { def.listEntityAttrs("e"); },
          [&] { def.listEntityAttrNames("e", n); }, [&] { def.listSearchTemplates(); },
          [&] { def.listSearchTemplateNames(n); }, [&] { def.deleteEntity("e"); }, [&] { def.datastoreAdmin(); },
          [&] { def.clearCache(); }},
         {{[&] { def.add(&entity); }, "dkDatastoreDef::add(dkEntityDef)"},
          {[&] { def.del(&entity); }, "dkDatastoreDef::del(dkEntityDef)"}}},
        // The entity's texts carry the full signature.
        {"dk/common/dkEntityDef", {},
         {{[&] { entity.createSubEntity(); }, "dkEntityDef::createSubEntity()"},
          {[&] { entity.getSubEntity("s"); }, "dkEntityDef::getSubEntity(const char* subEntityName)"},
          {[&] { entity.retrieveSubEntity("s"); }, "dkEntityDef::retrieveSubEntity(const char* subEntityName)"},
          {[&] { entity.listSubEntities(); }, "dkEntityDef::listSubEntities()"},
          {[&] { entity.listSubEntityNames(n); }, "dkEntityDef::listSubEntityNames(long& arraySize)"},
          {[&] { entity.add(&attr); }, "dkEntityDef::add(dkAttrDef* attrDef)"}, {[&] { entity.add(); }, "dkEntityDef::add()"},
          {[&] { entity.add(&entity); }, "dkEntityDef::add(dkEntityDef* subEntityDef)"},
          {[&] { entity.del(&attr); }, "dkEntityDef::del(dkAttrDef* attrDef)"}, {[&] { entity.del(); }, "dkEntityDef::del()"},
          {[&] { entity.del(&entity); }, "dkEntityDef::del(dkEntityDef* subEntityDef)"},
          {[&] { entity.deleteSubEntity("s"); }, "dkEntityDef::deleteSubEntity(const char* subEntityName)"},
          {[&] { entity.addSubEntity(&entity); }, "dkEntityDef::addSubEntity(dkEntityDef* subEntityDef)"},
          {[&] { entity.removeSubEntity("s"); }, "dkEntityDef::removeSubEntity(const char* subEntityName)"},
          {[&] { entity.createAttr(); }, "dkEntityDef::createAttr()"},
          {[&] { entity.getAttr("a"); }, "dkEntityDef::getAttr(const char* attrName)"},
          {[&] { entity.retrieveAttr("a"); }, "dkEntityDef::retrieveAttr(const char* attrName)"},
          {[&] { entity.listAttrs(); }, "dkEntityDef::listAttrs()"},
          {[&] { entity.listAttrNames(n); }, "dkEntityDef::listAttrNames(long& arraySize)"},
          {[&] { entity.deleteAttr("a"); }, "dkEntityDef::deleteAttr(const char* attrName)"},
          {[&] { entity.addAttr(&attr); }, "dkEntityDef::addAttr(dkAttrDef* attrDef)"},
          {[&] { entity.removeAttr("a"); }, "dkEntityDef::removeAttr(const char* attrName)"},
          {[&] { entity.clearCache(); }, "dkEntityDef::clearCache()"}}},
        {"dk/common/dkAttrDef", {}, {{[&] { attr.add(); }, " dkAttrDef::add()"}, {[&] { attr.del(); }, " dkAttrDef::del()"}}},
        {"dk/common/dkDatastoreAdmin",
         {[&] { admin.accessControl(); }, [&] { admin.authorizationMgmt(); }, [&] { admin.configurationManagement(); },
          [&] { admin.userManagement(); }, [&] { admin.workFlowManagement(); }, [&] { admin.clearCache(); }},
         {}},
    };

    // The text names the one location the rejection carries, unless the row gives its own text.
    auto check = [](const char* source, const Call& call, const char* named) {
        const dktest::Failure r = dktest::failureOf<DKUsageError>(call);
        EXPECT_EQ(341, r.id);
        EXPECT_EQ(1UL, r.locations);
        EXPECT_EQ(source, r.source);
        EXPECT_EQ(msg(341, named ? named : r.function), r.text) << r.function;
    };
    for (const Family& f : families) {
        SCOPED_TRACE(f.source);
        for (const Call& call : f.calls) check(f.source, call, nullptr);
        for (const auto& [call, named] : f.named) check(f.source, call, named);
    }
}

TEST(dkDatastoreBuiltOn, TemplateNullCheckServiceMgrAndBaseAnswers) {
    BareDatastore ds;
    dkSearchTemplate* none = nullptr;
    for (const Call& call : std::vector<Call>{[&] { ds.evaluate(none); }, [&] { ds.execute(none); },
                                              [&] { ds.executeWithCallback(none, nullptr); }})
        EXPECT_EQ(303, dktest::usageError(call));

    // Not connected: 310, a DKDatastoreError (not a usage error), and no registry is made.
    EXPECT_EQ(310, dktest::errorOf<DKDatastoreError>([&] { ds.serviceMgr(); }));
    EXPECT_EQ(-2, dktest::usageError([&] { ds.serviceMgr(); }));
    EXPECT_EQ(3, ds.validateConnection());
    EXPECT_EQ(DKString(""), ds.userName());

    dktest::FakeDatastore fake;
    fake.connect("server2", "alice", "pw", "");
    EXPECT_EQ(DKString("alice"), fake.userName());
    dkServiceMgr* mgr = fake.serviceMgr();
    EXPECT_NE(nullptr, dynamic_cast<DKServiceMgrImp*>(mgr));
    EXPECT_EQ(mgr, fake.serviceMgr());   // kept, not remade
    fake.disconnect();
    EXPECT_THROW(fake.serviceMgr(), DKDatastoreError);
}

namespace {

// Three DDOs in a collection that counts its iterators, and a fake repository to hand them to.
struct CollectionFixture : ::testing::Test {
    dktest::FakeDatastore ds;
    DKDDO a, b, c;
    CountingCollection objects;
    CollectionFixture() {
        for (DKDDO* o : {&a, &b, &c}) objects.addElement(DKAny(static_cast<dkDataObjectBase*>(o)));
    }
};

}  // namespace

TEST_F(CollectionFixture, EachElementInOrderWithItsArgumentsAndTheIteratorFreed) {
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
    const char* ops[] = {"add1", "add2", "add3", "delete1", "retrieve2", "update3"};
    const long flags[] = {0, 9, 4, 0, 2, 5};
    for (size_t i = 0; i < 18; ++i) {
        const auto& call = ds.calls[i];
        EXPECT_EQ(ops[i / 3], call.op) << i;
        EXPECT_EQ(flags[i / 3], call.flags) << i;
        EXPECT_EQ(static_cast<dkDataObject*>(i % 3 == 0 ? &a : i % 3 == 1 ? &b : &c), call.object) << i;
        EXPECT_EQ(call.op.back() == '3' ? options : nullptr, call.options) << i;
    }

    // The base forms reject per element: the first element's 341 leaves with the collection
    // operation's location added after the element operation's own.
    BareDatastore bare;
    const dktest::Failure r = dktest::failureOf<DKUsageError>([&] { bare.deleteObjects(&objects, 1L); });
    EXPECT_EQ(msg(341, "dkDatastore::deleteObject"), r.text);
    EXPECT_EQ(2UL, r.locations);
    EXPECT_EQ(0, liveIterators);
}

TEST_F(CollectionFixture, FailureStopsTheLoopKeepsTheExceptionAndFreesTheIterator) {
    // A DKException subclass leaves as the same class, with the caller's location added.
    ds.failAt = &b;
    ds.failure = dktest::FakeDatastore::Failure::notFound;
    try {
        ds.addObjects(&objects);
        ADD_FAILURE() << "no exception";
    } catch (DKDataObjectNotFound& e) {
        EXPECT_STREQ("02000", e.errorState());
        EXPECT_EQ(100L, e.errorCode());
        ASSERT_EQ(1UL, e.locationCount());
        EXPECT_STREQ("dkDatastore::addObjects", e.locationAtIndex(0)->functionName());
    }
    EXPECT_EQ(2u, ds.calls.size());   // the third element is not reached
    EXPECT_EQ(0, liveIterators);

    // Anything else passes through untouched.
    ds.calls.clear();
    ds.failure = dktest::FakeDatastore::Failure::standard;
    EXPECT_THROW(ds.updateObjects(&objects, nullptr, 0), std::runtime_error);
    EXPECT_EQ(2u, ds.calls.size());
    EXPECT_EQ(0, liveIterators);

    // Elements that are no data object are refused before the call, after the good ones before.
    BareObject root;
    for (const DKAny& bad : {DKAny(), DKAny(5L), DKAny("text"), DKAny(static_cast<dkDataObjectBase*>(nullptr)),
                             DKAny(static_cast<dkDataObjectBase*>(&root))}) {
        CountingCollection mixed;
        mixed.addElement(DKAny(static_cast<dkDataObjectBase*>(&a)));
        mixed.addElement(bad);
        ds.calls.clear();
        dktest::expectThrownAt<DKUsageError>([&] { ds.deleteObjects(&mixed); }, 303, "dk/common/dkDatastore",
                                             "dkDatastore::deleteObjects", 1);
        EXPECT_EQ(1u, ds.calls.size());
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
