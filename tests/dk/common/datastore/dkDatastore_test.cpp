// tests/dk/common/datastore/dkDatastore_test.cpp
//
// The abstract connector: the 341 of what the base cannot do, in each shape of its text, the
// null-template check, serviceMgr(), the collection forms with their failures, and a connector
// loaded as a real library reached through the base.

#include <dk/DKDDO.hpp>
#include <dk/DKException.hpp>
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
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using dktest::msg;

namespace {

class BareExt : public dkDatastoreExt {};

class BareDef : public dkDatastoreDef {
public:
    BareDef() : dkDatastoreDef(nullptr) {}
};

using Call = std::function<void()>;

// The rejections of one source file: plain rows for the ways a placeholder is reached (directly,
// through a derived form such as the searchable lists, in each argument form a connector
// overrides), and every row whose text differs from its location (`named`). The location itself
// is checked in the throw helper's suite.
struct Family {
    const char* source;
    std::vector<Call> calls;
    std::vector<std::pair<Call, const char*>> named;
};

// Counts live iterators, so a test sees each collection form free its iterator.
using CountingIterator = dktest::Counted<DKSequentialIterator>;
int& liveIterators = CountingIterator::alive;

class CountingCollection : public DKSequentialCollection {
public:
    dkIterator* createIterator() const override { return new CountingIterator(*this); }
};

// A data object root that is not of the dkDataObject family.
class BareObject : public dkDataObjectBase {};

}  // namespace

TEST(dkDatastoreRejection, UnsupportedOperationsThrow341WithTheirOwnText) {
    dkDatastore ds("BARE", "bareServer");   // a connector that overrides nothing
    BareExt ext;
    BareDef def;
    dkEntityDef entity(&ds);
    dkAttrDef attr(&ds);
    dkDatastoreAdmin admin;
    long n = 0;
    dkQuery* query = nullptr;
    dkDataObject* o = nullptr;   // never reached: the base refuses first
#define C(call) [&] { call; }
    const std::vector<Family> families = {
        {"dk/common/dkDatastore",
         {C(ds.connect("s", "u", "p", "")), C(ds.listSearchableEntityNames(n)), C(ds.startTransaction()),
          // each argument form a connector overrides: text, query object, options, flags, none
          C(ds.execute("q", 4, nullptr)), C(ds.createQuery("q", 1, nullptr)), C(ds.evaluate(query)),
          C(ds.executeWithCallback(query, nullptr)), C(ds.addObject(o, nullptr, 0)), C(ds.addObject(o, 0L)),
          C(ds.retrieveObject(o)), C(ds.updateObject(o)), C(ds.listEntityAttrNames("e", n)), C(ds.createDDO("e", 0))},
         {{C(ds.clearCache(5)), "dkDatastore::clearCache(long)"}}},
        {"dk/common/dkDatastoreExt",
         {C(ext.checkOut(o)), C(ext.addLink(nullptr)), C(ext.addPart(o, nullptr))},
         {{C(ext.getCommonPrivilege(o)), "dkDatastoreExt::getCommonPrivilege(dkDataObject)"},
          {C(ext.getCommonItemPrivilege(o)), "dkDatastoreExt::getCommonItemPrivilege(dkDataObject)"},
          {C(ext.retrieveFormOverlay("o")), "dkDatastoreExt::retrieveFromOverlay"},
          {C(ext.moveObject(o, o, 0L)), "dkDatastoreExt::moveObject(dkDataObject,dkDataObject,long)"}}},
        {"dk/common/dkDatastoreDef",
         {C(def.createEntity()), C(def.listSearchableEntityNames(n)), C(def.listSearchableEntities()),
          C(def.deleteEntity("e"))},
         {{C(def.add(&entity)), "dkDatastoreDef::add(dkEntityDef)"},
          {C(def.del(&entity)), "dkDatastoreDef::del(dkEntityDef)"}}},
        // The entity's texts carry the full signature.
        {"dk/common/dkEntityDef", {},
         {{C(entity.createSubEntity()), "dkEntityDef::createSubEntity()"},
          {C(entity.getSubEntity("s")), "dkEntityDef::getSubEntity(const char* subEntityName)"},
          {C(entity.retrieveSubEntity("s")), "dkEntityDef::retrieveSubEntity(const char* subEntityName)"},
          {C(entity.listSubEntities()), "dkEntityDef::listSubEntities()"},
          {C(entity.listSubEntityNames(n)), "dkEntityDef::listSubEntityNames(long& arraySize)"},
          {C(entity.add(&attr)), "dkEntityDef::add(dkAttrDef* attrDef)"}, {C(entity.add()), "dkEntityDef::add()"},
          {C(entity.add(&entity)), "dkEntityDef::add(dkEntityDef* subEntityDef)"},
          {C(entity.del(&attr)), "dkEntityDef::del(dkAttrDef* attrDef)"}, {C(entity.del()), "dkEntityDef::del()"},
          {C(entity.del(&entity)), "dkEntityDef::del(dkEntityDef* subEntityDef)"},
          {C(entity.deleteSubEntity("s")), "dkEntityDef::deleteSubEntity(const char* subEntityName)"},
          {C(entity.addSubEntity(&entity)), "dkEntityDef::addSubEntity(dkEntityDef* subEntityDef)"},
          {C(entity.removeSubEntity("s")), "dkEntityDef::removeSubEntity(const char* subEntityName)"},
          {C(entity.createAttr()), "dkEntityDef::createAttr()"},
          {C(entity.getAttr("a")), "dkEntityDef::getAttr(const char* attrName)"},
          {C(entity.retrieveAttr("a")), "dkEntityDef::retrieveAttr(const char* attrName)"},
          {C(entity.listAttrs()), "dkEntityDef::listAttrs()"},
          {C(entity.listAttrNames(n)), "dkEntityDef::listAttrNames(long& arraySize)"},
          {C(entity.deleteAttr("a")), "dkEntityDef::deleteAttr(const char* attrName)"},
          {C(entity.addAttr(&attr)), "dkEntityDef::addAttr(dkAttrDef* attrDef)"},
          {C(entity.removeAttr("a")), "dkEntityDef::removeAttr(const char* attrName)"},
          {C(entity.clearCache()), "dkEntityDef::clearCache()"}}},
        {"dk/common/dkAttrDef", {},
         {{C(attr.add()), " dkAttrDef::add()"},
          {C(attr.del()), " dkAttrDef::del()"}}},
        {"dk/common/dkDatastoreAdmin", {C(admin.accessControl()), C(admin.clearCache())}, {}},
    };
#undef C
    // The text names the one location the rejection carries, unless the row gives its own text.
    auto check = [](const Call& call, const char* named) {
        const dktest::Failure r = dktest::failureOf<DKUsageError>(call);
        EXPECT_EQ(341, r.id);
        EXPECT_EQ(msg(341, named ? named : r.function), r.text) << r.function;
    };
    for (const Family& f : families) {
        SCOPED_TRACE(f.source);
        for (const Call& call : f.calls) check(call, nullptr);
        for (const auto& [call, named] : f.named) check(call, named);
    }
}

TEST(dkDatastoreBuiltOn, TemplateNullCheckServiceMgrAndBaseAnswers) {
    dkDatastore ds("BARE", "bareServer");   // a connector that overrides nothing
    dkSearchTemplate* none = nullptr;
    for (const Call& call : std::vector<Call>{[&] { ds.evaluate(none); }, [&] { ds.execute(none); },
                                              [&] { ds.executeWithCallback(none, nullptr); }})
        EXPECT_EQ(303, dktest::usageError(call));
    // Not connected: 310, a DKDatastoreError (not a usage error), and no registry is made.
    EXPECT_EQ((std::vector<long>{310, -2, 3, 0}),
              (std::vector<long>{dktest::errorOf<DKDatastoreError>([&] { ds.serviceMgr(); }),
                                 dktest::usageError([&] { ds.serviceMgr(); }), ds.validateConnection(),
                                 static_cast<long>(ds.userName().length())}));

    dktest::FakeDatastore fake;
    fake.connect("server2", "alice", "pw", "");
    dkServiceMgr* mgr = fake.serviceMgr();   // kept, not remade
    EXPECT_TRUE(fake.userName() == "alice" && dynamic_cast<DKServiceMgrImp*>(mgr) != nullptr && mgr == fake.serviceMgr());
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
    DKNVPair opts[1] = {DKNVPair("OPT", DKAny(7L))};
    ds.addObjects(nullptr);   // nothing at all
    EXPECT_TRUE(ds.calls.empty());
    // Each of the twelve forms, in the order add, delete, retrieve, update, each without and with
    // flags (2) and with opts (3).
    dkCollection* all = &objects;
    const Call forms[] = {
        [&] { ds.addObjects(all); }, [&] { ds.addObjects(all, 2L); }, [&] { ds.addObjects(all, opts, 3); },
        [&] { ds.deleteObjects(all); }, [&] { ds.deleteObjects(all, 2L); }, [&] { ds.deleteObjects(all, opts, 3); },
        [&] { ds.retrieveObjects(all); }, [&] { ds.retrieveObjects(all, 2L); },
        [&] { ds.retrieveObjects(all, opts, 3); },
        [&] { ds.updateObjects(all); }, [&] { ds.updateObjects(all, 2L); }, [&] { ds.updateObjects(all, opts, 3); }};
    for (const Call& form : forms) form();
    EXPECT_EQ(0, liveIterators);
    ASSERT_EQ(36u, ds.calls.size());
    const std::string kinds[] = {"add", "delete", "retrieve", "update"};
    for (size_t i = 0; i < 36; ++i) {
        const auto& call = ds.calls[i];
        const long form = static_cast<long>(i / 3 % 3);
        EXPECT_EQ(kinds[i / 9] + std::to_string(form + 1) + "/" + std::to_string(form == 0 ? 0 : form + 1),
                  call.op + "/" + std::to_string(call.flags));
        EXPECT_EQ(static_cast<dkDataObject*>(i % 3 == 0 ? &a : i % 3 == 1 ? &b : &c), call.object) << i;
        EXPECT_EQ(form == 2 ? opts : nullptr, call.options) << i;
    }
    // The base forms reject per element: the first element's 341 leaves with the collection
    // operation's location added after the element operation's own.
    dkDatastore bare("BARE", "bareServer");
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
        EXPECT_EQ(1UL, e.locationCount());
    }
    EXPECT_EQ(2u, ds.calls.size());   // the third element is not reached
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
        EXPECT_EQ(303, dktest::usageError([&] { ds.deleteObjects(&mixed); }));
        EXPECT_EQ(1u, ds.calls.size());
        EXPECT_EQ(0, liveIterators);
    }
}

TEST(dkDatastoreConnector, LoadedConnectorIsReachedThroughTheBaseAndItsExceptionsCaught) {
    PDynamicLoader loader(DK_TEST_CONNECTOR);
    loader.open();
    using Factory = dkDatastore* (*)(const char*);
    EXPECT_EQ(nullptr, reinterpret_cast<Factory>(loader.getProcAddress("createObject"))("DKDatastoreXX"));
    dkDatastore* ds = reinterpret_cast<dkDatastore* (*)(const char*, const char*)>(
        loader.getProcAddress("createObjectWithConfig"))("DKDatastoreTC", "cfg=1");
    ASSERT_NE(nullptr, ds);
    EXPECT_EQ(DKString("TC"), ds->datastoreType());
    EXPECT_EQ(2, ds->validateConnection());   // not connected: must be made again
    DKAny value;
    ds->getOption(2, value);
    EXPECT_EQ(DKString("cfg=1"), static_cast<DKString>(value));

    // A server error thrown inside the connector is caught here by its own class.
    const dktest::Failure logon = dktest::failureOf<DKLogonFailure>([&] { ds->connect("db1", "carol", "wrong", ""); });
    EXPECT_EQ("DKLogonFailure", logon.name);
    ds->connect("db1", "carol", "secret", "");
    EXPECT_TRUE(ds->isConnected() == 1 && ds->validateConnection() == 0 && ds->userName() == "carol" &&
                ds->serviceMgr() != nullptr);
    // The base's derived operations reach the connector's overrides.
    long count = 0;
    std::unique_ptr<DKString[]> names(ds->listSearchableEntityNames(count));
    EXPECT_EQ(DKString("2 Memos"), DKString(count) + " " + (count == 2 ? names[1] : DKString()));

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
        EXPECT_EQ(2UL, e.locationCount());
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
using CountedExpr = dktest::Counted<DKCQExpr>;
int& liveExpressions = CountedExpr::alive;

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
    DKAny evaluate(DKCQExpr* e) override { return seen(e, nullptr), DKAny(42L); }
    dkResultSetCursor* execute(DKCQExpr* e) override { return seen(e, nullptr), &cursor; }
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

TEST(dkDatastoreTemplates, EachFormRunsTheTemplatesExpressionAndDeletesItAlsoWhenItThrows) {
    ExprDatastore ds, failing;
    FilledTemplate filled;
    PlainCallback callback;
    EXPECT_EQ(42L, static_cast<long>(ds.evaluate(&filled)));
    EXPECT_EQ(&ds.cursor, ds.execute(&filled));
    ds.executeWithCallback(&filled, &callback);
    ASSERT_EQ(3u, ds.calls.size());
    for (const auto& call : ds.calls) EXPECT_NE(nullptr, call.first);
    EXPECT_TRUE(ds.calls[0].second == nullptr && ds.calls[2].second == &callback);
    // Alive while the expression form runs, and gone after each.
    EXPECT_EQ(std::make_pair(1, 0), std::make_pair(ds.liveDuringCall, liveExpressions));

    failing.fail = true;
    EXPECT_THROW(failing.evaluate(&filled), DKDataObjectNotFound);
    EXPECT_THROW(failing.execute(&filled), DKDataObjectNotFound);
    EXPECT_THROW(failing.executeWithCallback(&filled, &callback), DKDataObjectNotFound);
    EXPECT_EQ(std::make_pair(std::size_t{3}, 0), std::make_pair(failing.calls.size(), liveExpressions));
    // A connector without the expression forms: the base's 341 passes out, naming the expression
    // form, and the template's expression is still freed.
    dkDatastore bare("BARE", "bareServer");
    const std::pair<const char*, Call> rejected[] = {
        {"dkDatastore::evaluate", [&] { bare.evaluate(&filled); }},
        {"dkDatastore::execute", [&] { bare.execute(&filled); }},
        {"dkDatastore::executeWithCallback", [&] { bare.executeWithCallback(&filled, &callback); }}};
    for (const auto& [location, call] : rejected) {
        EXPECT_EQ(msg(341, location), dktest::failureOf<DKUsageError>(call).text);
        EXPECT_EQ(0, liveExpressions);
    }
}
