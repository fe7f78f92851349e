// tests/connectors/dkConformance.hpp
#pragma once

// The conformance suite every connector runs through dkDatastore, the schema classes, DKDDO and
// the cursors. A connector's test fills a ConnectorContext and instantiates the suite with it
// (INSTANTIATE_TEST_SUITE_P(X, DKConformance, ::testing::Values(ctx))). The connector is loaded
// as an application loads it (PDynamicLoader and its factory functions).

#include "dkConnectorSupport.hpp"

#include <dk/DKChildCollection.hpp>
#include <dk/DKLinkCollection.hpp>
#include <dk/DKOpCode.hpp>
#include <dk/DKParts.hpp>
#include <dk/DKSegmentedParts.hpp>
#include <dk/dkDatastoreExt.hpp>
#include <dk/dkQuery.hpp>
#include <dk/dkSchemaMapping.hpp>
#include <dk/dkSearchTemplate.hpp>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <tuple>

namespace dkconf {

class DKConformance : public ::testing::TestWithParam<ConnectorContext> {
protected:
    const ConnectorContext& ctx() const { return GetParam(); }

    // A connected datastore on a new repository in the test's own folder.
    std::unique_ptr<dkDatastore> fresh() {
        path_ = ctx().newRepository(dir_.str());
        auto ds = newDatastore(ctx());
        ds->connect(path_.c_str(), ctx().user.c_str(), ctx().password.c_str(), ctx().createConnect.c_str());
        return ds;
    }
    // The same with the entity Doc defined on it.
    std::unique_ptr<dkDatastore> freshDoc(const std::vector<Attr>& attrs = allTypes(), short type = 0) {
        auto ds = fresh();
        defineEntity(*ds, "Doc", attrs, type);
        return ds;
    }
    // A new content object (the caller's) for part n of the item entity:id, holding bytes.
    std::unique_ptr<dkBlob> contentWith(dkDatastore& ds, const char* entity, long id, long n, const std::string& bytes) const {
        return withContent(ctx().contentOf(ds, entity, id, n), bytes);
    }
    std::unique_ptr<dkDatastore> another() {
        auto ds = newDatastore(ctx());
        ds->connect(path_.c_str(), ctx().user.c_str(), ctx().password.c_str(), ctx().connect.c_str());
        return ds;
    }

    dktest::TempDir dir_;
    std::string path_;
};

// How many entities the datastore lists, and how many attributes of entity.
inline long entityCount(dkDatastore& ds) {
    long n = 0;
    delete[] ds.listEntityNames(n);
    return n;
}
inline long attrCount(dkDatastore& ds, const char* entity) {
    long n = 0;
    delete[] ds.listEntityAttrNames(entity, n);
    return n;
}

// Runs this test binary again with only the named test of this suite, the given environment
// added; returns its exit status.
inline int runChild(const std::string& testName, std::vector<std::string> env) {
    env.push_back("DKTEST_KEEP_NVLVTROOT=1");
    return dktest::runSelf("*DKConformance." + testName + "*", env).status;
}

// ---------------------------------------------------------------------------------------------

TEST_P(DKConformance, FactoryMakesOnlyItsClassAndConnectsOrFailsClearly) {
    auto create = factoryFor(ctx().library).create;
    EXPECT_EQ(nullptr, create("DKDatastoreNOSUCH"));
    auto ds = newDatastore(ctx());
    ASSERT_NE(nullptr, ds);
    EXPECT_EQ(0, ds->isConnected());
    EXPECT_EQ(310L, errorOf<DKDatastoreError>([&] { ds->createDDO("Doc", 0); }));

    // A missing repository is a server that is not there, not a new empty one.
    std::string missing = ctx().newRepository(dir_.str());
    EXPECT_GT(errorOf<DKServerNotAvailable>([&] {
                  ds->connect(missing.c_str(), ctx().user.c_str(), ctx().password.c_str(), ctx().connect.c_str());
              }), 0);
    EXPECT_EQ(0, ds->isConnected());

    auto good = fresh();
    EXPECT_EQ(1, good->isConnected());
    EXPECT_EQ(DKString(ctx().user.c_str()), good->userName());
    EXPECT_EQ(DKString(path_.c_str()), good->datastoreName());
    EXPECT_EQ(0, good->validateConnection());
    // Connecting a connected object connects it again.
    good->connect(path_.c_str(), ctx().user.c_str(), ctx().password.c_str(), ctx().connect.c_str());
    EXPECT_EQ(1, good->isConnected());
    good->disconnect();
    EXPECT_EQ(0, good->isConnected());
    EXPECT_NE(0, good->validateConnection());

    // Wrong password, unknown user: logon failures, and the object stays unconnected.
    EXPECT_GT(errorOf<DKLogonFailure>([&] { ds->connect(path_.c_str(), ctx().user.c_str(), "wrong", ctx().connect.c_str()); }), 0);
    EXPECT_GT(errorOf<DKLogonFailure>([&] { ds->connect(path_.c_str(), "nobody", ctx().password.c_str(), ctx().connect.c_str()); }), 0);
    EXPECT_GT(errorOf<DKLogonFailure>([&] { ds->connect(path_.c_str(), ctx().user.c_str(), "", ctx().connect.c_str()); }), 0);
    EXPECT_EQ(0, ds->isConnected());
}

TEST_P(DKConformance, DamagedRepositoryFailsAtConnectWithoutCrashing) {
    std::string path = ctx().newRepository(dir_.str());
    ctx().damage(path);
    auto ds = newDatastore(ctx());
    // Whatever the class, it is one of the library's exceptions, and the object is unconnected.
    EXPECT_GT(errorOf<DKException>([&] {
                  ds->connect(path.c_str(), ctx().user.c_str(), ctx().password.c_str(), ctx().createConnect.c_str());
              }), 0);
    EXPECT_EQ(0, ds->isConnected());
}

TEST_P(DKConformance, SchemaIsListedCreatedAndDeleted) {
    auto ds = freshDoc();
    EXPECT_EQ("Doc", joinedNames([&](long& n) { return ds->listEntityNames(n); }));
    std::string attrs;   // in the order defined
    for (const Attr& a : allTypes()) attrs += (attrs.empty() ? "" : " ") + std::string(a.name);
    EXPECT_EQ(attrs, joinedNames([&](long& n) { return ds->listEntityAttrNames("Doc", n); }));

    // The collections belong to the caller together with the definitions in them.
    std::unique_ptr<dkCollection> list(ds->listEntityAttrs("Doc"));
    EXPECT_EQ(allTypes().size(), list->cardinality());
    list.reset(ds->listEntities());
    EXPECT_EQ(1u, list->cardinality());

    // A DDO shaped by the entity: every item typed, the pid naming the entity, the datastore set.
    std::unique_ptr<DKDDO> d(ds->createDDO("Doc", 0));
    ASSERT_EQ(allTypes().size(), d->dataCount());
    for (unsigned short id = 1; id <= d->dataCount(); ++id)
        EXPECT_EQ(allTypes()[id - 1].type, static_cast<unsigned short>(d->getDataPropertyByName(id, "type")));
    EXPECT_EQ(DKString("Doc"), d->getPid().getObjectType());
    EXPECT_EQ(ds.get(), d->getDatastore());

    // Refused: a second entity of the same name (any case), bad names, unsupported types.
    EXPECT_GT(errorOf<DKUsageError>([&] { defineEntity(*ds, "DOC", {{"a", DKAny::tc_string}}); }), 0);
    EXPECT_GT(errorOf<DKUsageError>([&] { defineEntity(*ds, "bad name", {}); }), 0);
    EXPECT_GT(errorOf<DKUsageError>([&] { defineEntity(*ds, "x\"; DROP TABLE Doc; --", {}); }), 0);
    EXPECT_GT(errorOf<DKUsageError>([&] { defineEntity(*ds, "Other", {{"p", DKAny::tc_voidptr}}); }), 0);
    EXPECT_GT(errorOf<DKUsageError>([&] { defineEntity(*ds, "Other", {{"a", DKAny::tc_long}, {"A", DKAny::tc_long}}); }), 0);
    EXPECT_GT(errorOf<DKUsageError>([&] { ds->createDDO("Missing", 0); }), 0);
    EXPECT_EQ(1, entityCount(*ds));

    // An attribute added and deleted on a stored entity.
    std::unique_ptr<dkEntityDef> e(ds->datastoreDef()->retrieveEntity("Doc"));
    std::unique_ptr<dkAttrDef> extra(newAttr(*e, {"note", DKAny::tc_string}));
    e->add(extra.get());
    EXPECT_EQ(static_cast<long>(allTypes().size()) + 1, attrCount(*ds, "Doc"));
    d.reset(ds->createDDO("Doc", 0));
    EXPECT_NE(0, d->dataId("note"));
    e->deleteAttr("note");
    EXPECT_EQ(static_cast<long>(allTypes().size()), attrCount(*ds, "Doc"));

    ds->datastoreDef()->deleteEntity("Doc");
    EXPECT_EQ(0, entityCount(*ds));
}

// Sub-entities: a tree stored by one add, all or nothing, listed under its parent, refused where
// a name would clash, dropped with its parent.
TEST_P(DKConformance, SubEntitiesAreStoredWithTheirParentAndGoWithIt) {
    auto ds = freshDoc({{"title", DKAny::tc_string}});
    defineEntity(*ds, "Box", {});
    std::unique_ptr<dkEntityDef> doc(ds->datastoreDef()->retrieveEntity("Doc"));
    std::unique_ptr<dkEntityDef> note(named(doc->createSubEntity(), "Note"));
    note->addSubEntity(named(note->createSubEntity(), "Remark"));
    doc->add(note.get());
    const std::string subs = joinedNames([&](long& n) { return doc->getSubEntity("NOTE")->listSubEntityNames(n); });
    std::unique_ptr<dkEntityDef> back(ds->datastoreDef()->retrieveEntity("remark"));
    EXPECT_EQ(std::make_tuple(1, std::string("Remark"), DKString("Note")),
              std::make_tuple(doc->hasSubEntities(), subs, back->getParentEntityName()));
    std::unique_ptr<dkEntityDef> again(ds->datastoreDef()->retrieveEntity("Doc"));   // as the catalogue has it
    std::unique_ptr<dkCollection> copies(again->listSubEntities());   // the caller's
    EXPECT_EQ(std::make_tuple(1u, 1), std::make_tuple(copies->cardinality(), again->getSubEntity("Note")->hasSubEntities()));

    const long noEntity = ctx().noEntityMessage;
    EXPECT_EQ(noEntity, errorOf<DKUsageError>([&] { std::unique_ptr<dkEntityDef>(doc->retrieveSubEntity("Box")); }));
    EXPECT_EQ(noEntity, errorOf<DKUsageError>([&] { doc->removeSubEntity("Remark"); }));   // Note's, not Doc's
    // The parent's items would hold TITLE where the attribute is.
    std::unique_ptr<dkEntityDef> clash(named(doc->createSubEntity(), "TITLE"));
    EXPECT_EQ(ctx().badNameMessage, errorOf<DKUsageError>([&] { doc->add(clash.get()); }));
    // A tree one of whose names is taken leaves nothing behind.
    std::unique_ptr<dkEntityDef> shelf(named(ds->datastoreDef()->createEntity(), "Shelf"));
    shelf->addSubEntity(named(shelf->createSubEntity(), "Box"));
    EXPECT_GT(errorOf<DKUsageError>([&] { ds->datastoreDef()->add(shelf.get()); }), 0);
    EXPECT_EQ(4L, entityCount(*ds));

    doc->deleteSubEntity("note");   // and Remark under it
    EXPECT_EQ(std::make_tuple(2L, 0), std::make_tuple(entityCount(*ds), doc->hasSubEntities()));
    doc->add(note.get());
    ds->datastoreDef()->deleteEntity("Doc");
    EXPECT_EQ("Box", joinedNames([&](long& n) { return ds->listEntityNames(n); }));
}

// Children of sub-entities live and die with their parent: a tree stored by the parent's add, read
// back whole by another session (the old tree while a writer's transaction replaces it), changed
// at once through the extension, deleted with the parent.
TEST_P(DKConformance, ChildrenLiveAndDieWithTheirParent) {
    auto ds = freshDoc({{"title", DKAny::tc_string}});
    defineEntity(*ds, "Box", {});
    defineChildren(*ds);
    auto children = [](DKDDO& d, const char* item) -> DKChildCollection& {
        return *static_cast<DKChildCollection*>(static_cast<dkCollection*>(d.getData(d.dataId("CHILD", item))));
    };
    std::unique_ptr<DKDDO> parent(ds->createDDO("Doc", 0));
    const unsigned short item = parent->dataId("CHILD", "Note");
    ASSERT_NE(0, item);
    EXPECT_EQ(1072, static_cast<unsigned short>(parent->getDataPropertyByName(item, "type")));
    DKDDO* note = newChild(*ds, "Note", "n1");
    children(*note, "Remark").addElement(DKAny(static_cast<dkDataObjectBase*>(newChild(*ds, "Remark", "r1"))));
    children(*parent, "Note").addElement(DKAny(static_cast<dkDataObjectBase*>(note)));
    parent->add();
    EXPECT_NE(DKString(""), note->getPid().getPrimaryId());   // given once the add committed

    auto other = another();
    std::unique_ptr<DKDDO> back(new DKDDO(other.get(), parent->getPid(), 10));
    auto tree = [&] {
        back->retrieve();
        std::string t;
        std::unique_ptr<dkIterator> it(children(*back, "Note").createIterator());
        while (it->more()) {
            auto* n = static_cast<DKDDO*>(static_cast<dkDataObjectBase*>(it->next()->value()));
            t += static_cast<DKString>(n->getDataByName("text")).c_str() + std::to_string(children(*n, "Remark").cardinality());
        }
        return t + (children(*back, "Note").isTracking() ? "" : " untracked");
    };
    EXPECT_EQ("n11", tree());
    if (ctx().transactions) {
        ds->startTransaction();
        std::unique_ptr<DKDDO> writing = retrievedItem(*ds, parent->getPid());
        children(*writing, "Note").removeAllElements();   // tracked: the note and its remark go
        children(*writing, "Note").addElement(DKAny(static_cast<dkDataObjectBase*>(newChild(*ds, "Note", "n2"))));
        writing->update();
        EXPECT_EQ("n11", tree());
        ds->commit();
        EXPECT_EQ("n20", tree());
        EXPECT_EQ(0L, countRows(*ds, "Remark"));
    }

    // Through the extension: a stored parent takes a new child at once and gives it back.
    std::unique_ptr<DKDDO> first = retrievedItem(*ds, parent->getPid());
    DKDDO* extra = newChild(*ds, "Note", "n3");
    children(*first, "Note").addMember(extra);
    EXPECT_EQ(2L, countRows(*ds, "Note"));   // n2 (or n1) and n3
    children(*first, "Note").removeMember(extra);
    std::unique_ptr<DKDDO> gone(extra);
    auto* ext = static_cast<dkDatastoreExt*>(ds->getExtension("DATASTORE_EXTENSION"));
    EXPECT_GT(errorOf<DKDataObjectNotFound>([&] { ext->removeChild(first.get(), extra); }), 0);
    std::unique_ptr<DKDDO> box = addedItem(*ds, "Box");
    EXPECT_GT(errorOf<DKUsageError>([&] { ext->addChild(first.get(), box.get()); }), 0);

    // Deleting the parent deletes the tree.
    first->del();
    EXPECT_EQ(std::make_pair(0L, 0L), std::make_pair(countRows(*ds, "Note"), countRows(*ds, "Remark")));
}

TEST_P(DKConformance, EveryTypeRoundTripsThroughAddRetrieveUpdateDelete) {
    auto ds = freshDoc();
    std::string big(1 << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 131);
    struct Row {
        DKAny title, small, count, ratio, price, day, clock, stamp, body;
    };
    std::vector<Row> rows = {
        {DKAny("it's \"quoted\"; DROP TABLE Doc"), DKAny(static_cast<short>(SHRT_MIN)), DKAny(LONG_MIN), DKAny(-DBL_MAX),
         DKAny(DKDecimal("-99999999999999.9999")), DKAny(DKDate(1971, 12, 31)), DKAny(DKTime(0, 0, 0)),
         DKAny(DKTimestamp(1971, 12, 31, 23, 59, 59, 999999999)), DKAny(DKByteArray(big.data(), static_cast<long>(big.size()), 0))},
        {DKAny(""), DKAny(static_cast<short>(SHRT_MAX)), DKAny(LONG_MAX), DKAny(DBL_MIN), DKAny(DKDecimal("0.000")),
         DKAny(DKDate(1972, 1, 1)), DKAny(DKTime(23, 59, 59)), DKAny(DKTimestamp(1972, 2, 29, 0, 0, 0, 0)),
         DKAny(DKByteArray())},
        {DKAny(DKString(std::string("a\0b\xc3\xa9", 5))), DKAny(static_cast<short>(0)), DKAny(0L), DKAny(0.1),
         DKAny(DKDecimal("12345.67")), DKAny(DKDate(2036, 12, 31)), DKAny(DKTime(12, 30, 5)),
         DKAny(DKTimestamp(2037, 1, 1, 12, 0, 0, 1, -1, ' ')), DKAny(DKByteArray(const_cast<char*>("\0\1\2"), 3, 0))},
        {DKAny(), DKAny(), DKAny(), DKAny(), DKAny(), DKAny(DKDate(2037, 1, 1)), DKAny(), DKAny(), DKAny()},
    };
    // A value the connector cannot keep as given is refused; the rows go on with the nearest one.
    auto refused = [&](const char* item, const DKAny& v) {
        EXPECT_GT(errorOf<DKUsageError>([&] { addedItem(*ds, "Doc", {{item, v}}); }), 0) << item;
    };
    for (Row& r : rows) {
        if (!r.stamp.isNull()) {
            const DKTimestamp& t = *static_cast<const DKTimestamp*>(r.stamp.value());
            int unit = 1, f[6];
            for (int i = ctx().timestampDigits; i < 9; ++i) unit *= 10;
            t.getFields(f);
            if (t.getNanos() % unit != 0 || (!ctx().separator && t.getDateTimeSeparator() != '-')) {
                refused("stamp", r.stamp);
                r.stamp = DKAny(DKTimestamp(f[0], f[1], f[2], f[3], f[4], f[5], t.getNanos() / unit * unit));
            }
        }
        const DKString title = r.title.isNull() ? DKString() : static_cast<DKString>(r.title);
        std::string kept(title.c_str(), title.length());
        if (!ctx().zeroBytes && kept.find('\0') != std::string::npos) {
            refused("title", r.title);
            kept.erase(std::remove(kept.begin(), kept.end(), '\0'), kept.end());
            r.title = DKAny(DKString(kept));
        }
    }
    auto expectRow = [](const Row& r, const DKDDO& got) {
        const DKAny* v[] = {&r.title, &r.small, &r.count, &r.ratio, &r.price, &r.day, &r.clock, &r.stamp, &r.body};
        ASSERT_EQ(9, got.dataCount());
        for (unsigned short id = 1; id <= 9; ++id) {
            EXPECT_EQ(v[id - 1]->isNull(), got.isNull(id) != 0) << allTypes()[id - 1].name;
            if (!v[id - 1]->isNull()) {
                EXPECT_TRUE(*v[id - 1] == got.getData(id)) << allTypes()[id - 1].name;
            }
            EXPECT_EQ(0, got.isDataChanged(id));
        }
    };
    std::map<std::string, const Row*> added;   // by pid string
    for (const Row& r : rows) {
        std::unique_ptr<DKDDO> d(ds->createDDO("Doc", 0));
        const DKAny* v[] = {&r.title, &r.small, &r.count, &r.ratio, &r.price, &r.day, &r.clock, &r.stamp, &r.body};
        for (unsigned short id = 1; id <= 9; ++id) {
            if (v[id - 1]->isNull()) d->setNull(id);
            else d->setData(id, *v[id - 1]);
        }
        d->add();
        EXPECT_EQ(1, d->getPid().isSet());
        for (unsigned short id = 1; id <= 9; ++id) EXPECT_EQ(0, d->isDataChanged(id));
        added[d->getPid().pidString().c_str()] = &r;

        // A new DDO with only the pid is filled with the entity's items.
        expectRow(r, *retrievedItem(*ds, d->getPid(), 0));
    }
    EXPECT_EQ(static_cast<long>(rows.size()), countRows(*ds, "Doc"));
    if (ctx().sql) {
        // One DDO filled again for every row holds each row whole: values over larger ones or
        // ones of other types, nulls over values.
        std::unique_ptr<dkResultSetCursor> all(ds->execute("SELECT * FROM Doc", 4, nullptr));
        DKDDO row;
        size_t seen = 0;
        for (; all->fetchNext(row) == 1; ++seen) {
            auto it = added.find(row.getPid().pidString().c_str());
            ASSERT_NE(added.end(), it);
            expectRow(*it->second, row);
        }
        EXPECT_EQ(rows.size(), seen);
    }

    // Update writes only the changed item: another object's change to a different item stays.
    std::unique_ptr<dkResultSetCursor> c(ds->execute("SELECT * FROM Doc WHERE small = 0", 4, nullptr));
    std::unique_ptr<DKDDO> a(c->fetchNext());
    ASSERT_NE(nullptr, a);
    c.reset();
    std::unique_ptr<DKDDO> b = retrievedItem(*ds, a->getPid(), 0);
    b->setData(b->dataId("count"), DKAny(7L));
    b->update();
    a->setData(a->dataId("title"), DKAny("changed"));
    a->update();
    EXPECT_EQ(0, a->isDataChanged(a->dataId("title")));
    b->retrieve();
    EXPECT_EQ(7L, static_cast<long>(b->getDataByName("count")));
    EXPECT_EQ(DKString("changed"), static_cast<DKString>(b->getDataByName("title")));
    // A value of the wrong type is refused before anything is written.
    b->setData(b->dataId("day"), DKAny("not a date"));
    EXPECT_GT(errorOf<DKUsageError>([&] { b->update(); }), 0);

    a->del();
    EXPECT_EQ(static_cast<long>(rows.size()) - 1, countRows(*ds, "Doc"));
    EXPECT_GT(errorOf<DKDataObjectNotFound>([&] { a->retrieve(); }), 0);
    EXPECT_GT(errorOf<DKDataObjectNotFound>([&] { a->update(); }), 0);
    EXPECT_GT(errorOf<DKDataObjectNotFound>([&] { a->del(); }), 0);
    // Only dynamic data objects are taken, whatever else derives from dkDataObject.
    struct Plain : dkDataObject {} plain;
    EXPECT_GT(errorOf<DKUsageError>([&] { ds->addObject(&plain); }), 0);
    EXPECT_GT(errorOf<DKUsageError>([&] { ds->addObject(nullptr); }), 0);
    // A pid of another repository is not one of this one's.
    DKPid foreign(a->getPid());
    foreign.setDatastoreName("elsewhere");
    DKDDO other(ds.get(), foreign, static_cast<unsigned short>(0));
    EXPECT_GT(errorOf<DKUsageError>([&] { other.retrieve(); }), 0);
}

TEST_P(DKConformance, QueriesBindParametersAndCursorsTellWhereTheyAre) {
    if (!ctx().sql) GTEST_SKIP();
    auto ds = freshDoc();
    std::vector<DKString> pids;
    for (long i = 1; i <= 5; ++i)
        pids.push_back(addedItem(*ds, "Doc", {{"count", DKAny(i)}, {"title", DKAny(i == 3 ? "x' OR '1'='1" : "plain")}})->getPid().pidString());
    DKNVPair params[] = {DKNVPair("min", DKAny(2L)), DKNVPair("")};
    std::unique_ptr<dkResultSetCursor> c(ds->execute("SELECT * FROM Doc WHERE count >= ? ORDER BY count", 4, params));
    EXPECT_EQ(0, c->isScrollable());
    EXPECT_EQ(0, c->isUpdatable());
    EXPECT_EQ(1, c->isBegin());
    std::unique_ptr<DKDDO> first(c->fetchNext());
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(pids[1], first->getPid().pidString());
    EXPECT_EQ(1, c->isInBetween());
    DKResults more(*ds);
    EXPECT_EQ(3, c->fetchNextN(10, more));   // the results own the three DDOs
    EXPECT_EQ(nullptr, c->fetchNext());
    EXPECT_EQ(1, c->isEnd());
    EXPECT_EQ(4UL, c->cardinality());
    // Opened again, it runs from the start.
    c->open();
    std::unique_ptr<DKDDO> again(c->fetchNext());
    ASSERT_NE(nullptr, again);
    EXPECT_EQ(pids[1], again->getPid().pidString());

    // A parameter is a value, never SQL.
    DKNVPair injected[] = {DKNVPair("t", DKAny("x' OR '1'='1")), DKNVPair("")};
    DKAny r = ds->evaluate("SELECT * FROM Doc WHERE title = ?", 4, injected);
    std::unique_ptr<dkCollection> results(static_cast<dkCollection*>(r));
    EXPECT_EQ(1u, results->cardinality());

    // Other rows: items named after the columns, no pid.
    c.reset(ds->execute("SELECT count(*) AS n, max(count) AS top FROM Doc", 4, nullptr));
    std::unique_ptr<DKDDO> plain(c->fetchNext());
    ASSERT_NE(nullptr, plain);
    EXPECT_EQ(5L, static_cast<long>(plain->getDataByName("n")));
    EXPECT_EQ(5L, static_cast<long>(plain->getDataByName("top")));
    EXPECT_EQ(0, plain->getPid().isSet());

    // Wrong language, parameters that do not match.
    EXPECT_GT(errorOf<DKUsageError>([&] { ds->execute("SELECT * FROM Doc", 2, nullptr); }), 0);
    EXPECT_GT(errorOf<DKUsageError>([&] { ds->execute("SELECT * FROM Doc WHERE count = ?", 4, nullptr); }), 0);
    DKNVPair two[] = {DKNVPair("a", DKAny(1L)), DKNVPair("b", DKAny(2L)), DKNVPair("")};
    EXPECT_GT(errorOf<DKUsageError>([&] { ds->execute("SELECT * FROM Doc WHERE count = ?", 4, two); }), 0);

    // A disconnect leaves an open cursor unusable, never dangling.
    c.reset(ds->execute("SELECT * FROM Doc", 4, nullptr));
    ds->disconnect();
    EXPECT_EQ(0, c->isValid());
    EXPECT_GT(errorOf<DKDatastoreError>([&] { c->fetchNext(); }), 0);
}

TEST_P(DKConformance, HostileSqlIsRefusedAndChangesNothing) {
    if (!ctx().sql) GTEST_SKIP();
    auto ds = freshDoc();
    std::unique_ptr<DKDDO> d = addedItem(*ds, "Doc", {{"title", DKAny("keep")}});
    const std::string p = ctx().protectedTable;
    const std::vector<std::string> hostile = {
        "SELECT 1; DELETE FROM Doc",
        "DELETE FROM Doc",
        "INSERT INTO Doc (title) VALUES ('x')",
        "UPDATE Doc SET title = 'x'",
        "DROP TABLE Doc",
        "SELECT * FROM " + p,
        "SELECT title FROM Doc UNION SELECT name FROM " + p,
        "WITH x AS (SELECT * FROM " + p + ") SELECT * FROM x",
        "SELECT (SELECT count(*) FROM " + p + ") FROM Doc",
        "SELECT * FROM sqlite_master",
        "PRAGMA table_info(Doc)",
        "ATTACH DATABASE 'other.db' AS o",
        "BEGIN",
        "",
        "   ",
    };
    for (const std::string& q : hostile)
        EXPECT_GT(errorOf<DKUsageError>([&] { std::unique_ptr<dkResultSetCursor>(ds->execute(q.c_str(), 4, nullptr)); }), 0)
            << q;
    EXPECT_EQ(1L, countRows(*ds, "Doc"));
    EXPECT_EQ(DKString("keep"), static_cast<DKString>(retrievedItem(*ds, d->getPid(), 0)->getDataByName("title")));
    EXPECT_EQ(1, entityCount(*ds));
}

TEST_P(DKConformance, TransactionsCommitOrRollBackAndFailuresLeaveNothing) {
    if (!ctx().transactions) GTEST_SKIP();
    auto ds = freshDoc();
    ds->startTransaction();
    EXPECT_GT(errorOf<DKUsageError>([&] { ds->startTransaction(); }), 0);
    std::unique_ptr<DKDDO> d = addedItem(*ds, "Doc");
    ds->rollback();
    EXPECT_EQ(0L, countRows(*ds, "Doc"));
    EXPECT_GT(errorOf<DKUsageError>([&] { ds->commit(); }), 0);

    ds->startTransaction();
    d->add();
    d->add();
    ds->commit();
    EXPECT_EQ(2L, countRows(*ds, "Doc"));

    // A collection whose second element cannot be written: none of them is.
    std::unique_ptr<DKDDO> good(ds->createDDO("Doc", 0)), bad(ds->createDDO("Doc", 0)), third(ds->createDDO("Doc", 0));
    bad->setData(bad->dataId("small"), DKAny(100000L));   // does not fit a short
    DKSequentialCollection all;
    for (DKDDO* o : {good.get(), bad.get(), third.get()}) all.addElement(DKAny(static_cast<dkDataObjectBase*>(o)));
    EXPECT_GT(errorOf<DKUsageError>([&] { ds->addObjects(&all); }), 0);
    EXPECT_EQ(2L, countRows(*ds, "Doc"));
    EXPECT_EQ(0, good->getPid().isSet());
    // The same inside a transaction: the transaction goes on with what it had.
    ds->startTransaction();
    good->add();
    EXPECT_GT(errorOf<DKUsageError>([&] { ds->addObjects(&all); }), 0);
    ds->commit();
    EXPECT_EQ(3L, countRows(*ds, "Doc"));
}

// Run only as the child of SecondProcessReadsCommittedDataWhileThisOneWrites.
TEST_P(DKConformance, ChildReader) {
    const char* expected = std::getenv("DKCONF_EXPECT_ROWS");
    if (expected == nullptr) GTEST_SKIP() << "runs as a child process only";
    path_ = std::getenv("DKCONF_REPOSITORY");
    auto ds = another();
    EXPECT_EQ(std::atol(expected), countRows(*ds, "Doc"));
}

TEST_P(DKConformance, SecondProcessReadsCommittedDataWhileThisOneWrites) {
    if (!ctx().secondProcess || !ctx().transactions) GTEST_SKIP();
    auto ds = freshDoc();
    std::unique_ptr<DKDDO> d = addedItem(*ds, "Doc");
    ds->startTransaction();
    for (int i = 0; i < 50; ++i) d->add();
    // The writer holds its transaction open: the reader is not blocked and sees the committed row.
    EXPECT_EQ(0, runChild("ChildReader", {"DKCONF_EXPECT_ROWS=1", "DKCONF_REPOSITORY=" + path_}));
    ds->commit();
    EXPECT_EQ(0, runChild("ChildReader", {"DKCONF_EXPECT_ROWS=51", "DKCONF_REPOSITORY=" + path_}));
}

// ---------------------------------------------------------------------------------------------
// Query trees

namespace {

// Doc items with count 1..6; the first five also have a title, a price and a day.
inline void addTreeRows(dkDatastore& ds) {
    const char* titles[] = {"plain", "it's", "pl%n", "x' OR '1'='1", "PLAIN"};
    const char* prices[] = {"1.50", "2.00", "10.25", "-3", "1.5"};
    for (long n = 1; n <= 5; ++n)
        addedItem(ds, "Doc", {{"count", DKAny(n)}, {"title", DKAny(titles[n - 1])}, {"price", DKAny(DKDecimal(prices[n - 1]))},
                              {"day", DKAny(DKDate(2024, 5, static_cast<int>(n)))}});
    addedItem(ds, "Doc", {{"count", DKAny(6L)}});
}

// A leaf with the given values; single-value operators take theirs through setValues, so that
// a value may hold any byte.
inline DKQTerm* values(const char* name, short op, std::vector<DKString> v) {
    if (DKOpCode::isMultiValueOp(op)) return new DKQTerm(name, op, v.data(), static_cast<long>(v.size()));
    auto* t = new DKQTerm(name, op, "");
    t->setValues(v.data(), static_cast<long>(v.size()));
    return t;
}

inline DKQTerm* leafTerm(const char* name, short op, const char* value) { return new DKQTerm(name, op, value); }

}  // namespace

TEST_P(DKConformance, TreesFindItemsByBoundValuesOfTheAttributesType) {
    if (!ctx().parametric) GTEST_SKIP();
    auto ds = freshDoc();
    addTreeRows(*ds);
    dkDatastore& d = *ds;
    auto count = [&](DKQTerm* t) { return countTree(d, treeOf("Doc", t)); };
    // Values are read as the attribute's type: numbers compare as numbers, quoted or not.
    EXPECT_EQ(4UL, count(leafTerm("count", DKOpCode::opGreaterEqual, "3")));
    EXPECT_EQ(0UL, count(leafTerm("count", DKOpCode::opEqual, "'10'")));
    EXPECT_EQ(1UL, count(leafTerm("count", DKOpCode::opEqual, "'2'")));
    EXPECT_EQ(1UL, count(leafTerm("price", DKOpCode::opEqual, "'10.25'")));
    EXPECT_EQ(1UL, count(leafTerm("day", DKOpCode::opLess, "'2024-05-02'")));
    // One level of quotes goes; a doubled quote inside is one quote.
    EXPECT_EQ(1UL, count(leafTerm("title", DKOpCode::opEqual, "'it''s'")));
    EXPECT_EQ(0UL, count(leafTerm("title", DKOpCode::opEqual, "''it''s''")));
    // % and _ match anything under LIKE only (which ignores ASCII case); elsewhere they are themselves.
    EXPECT_EQ(3UL, count(leafTerm("title", DKOpCode::opLike, "'pl%'")));
    EXPECT_EQ(2UL, count(leafTerm("title", DKOpCode::opNotLike, "'pl%'")));
    EXPECT_EQ(1UL, count(leafTerm("title", DKOpCode::opEqual, "'pl%n'")));
    EXPECT_EQ(0UL, count(leafTerm("title", DKOpCode::opEqual, "'pl_in'")));
    // Bare NULL is the null test; quoted, it is the text.
    EXPECT_EQ(1UL, count(leafTerm("title", DKOpCode::opEqual, "NULL")));
    EXPECT_EQ(5UL, count(leafTerm("title", DKOpCode::opNotEqual, "NULL")));
    EXPECT_EQ(0UL, count(leafTerm("title", DKOpCode::opEqual, "'NULL'")));
    // Several values.
    EXPECT_EQ(3UL, count(values("count", DKOpCode::opBetween, {"2", "4"})));
    EXPECT_EQ(3UL, count(values("count", DKOpCode::opNotBetween, {"2", "4"})));
    EXPECT_EQ(2UL, count(values("count", DKOpCode::opIn, {"1", "'5'", "99"})));
    EXPECT_EQ(4UL, count(values("count", DKOpCode::opNotIn, {"1", "5"})));
    // Terms combine inside a leaf, leaves in the tree; every item comes once.
    EXPECT_EQ(2UL, count(leafTerm("count", DKOpCode::opGreater, "1")->and_(leafTerm("count", DKOpCode::opLess, "4"))));
    EXPECT_EQ(5UL, count(leafTerm("count", DKOpCode::opEqual, "1")->not_()));
    auto leaf = [](const char* name, short op, const char* value) { return takeLeaf(treeOf("Doc", leafTerm(name, op, value))); };
    EXPECT_EQ(3UL, countTree(d, new DKCQExpr(leaf("count", DKOpCode::opGreater, "2")->and_(leaf("title", DKOpCode::opLike, "'%'")))));
    EXPECT_EQ(6UL, countTree(d, new DKCQExpr(leaf("count", DKOpCode::opEqual, "1")->or_(leaf("count", DKOpCode::opGreaterEqual, "1")))));
    // A parameter of the sub-query is a value like any other.
    DKCQExpr* withParam = treeOf("Doc", leafTerm("title", DKOpCode::opEqual, ":t"));
    withParam->getQueryExpr()->getSubQuery(0)->setParameter("t", DKAny("x' OR '1'='1"));
    EXPECT_EQ(1UL, countTree(d, withParam));

    // Rows come as the entity's items with their pids, through every form.
    std::unique_ptr<DKCQExpr> one(treeOf("Doc", leafTerm("count", DKOpCode::opEqual, "2")));
    std::unique_ptr<dkResultSetCursor> c(ds->execute(one.get()));
    std::unique_ptr<DKDDO> item(c->fetchNext());
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(1, item->getPid().isSet());
    EXPECT_EQ(DKString("it's"), static_cast<DKString>(item->getDataByName("title")));
    std::unique_ptr<dkQuery> q(ds->createQuery(treeOf("Doc", leafTerm("count", DKOpCode::opLess, "3"))));
    std::unique_ptr<dkCollection> viaQuery(static_cast<dkCollection*>(ds->evaluate(q.get())));
    EXPECT_EQ(2UL, viaQuery->cardinality());
}

TEST_P(DKConformance, HostileTreesStayDataOrAreRefusedAndChangeNothing) {
    if (!ctx().parametric) GTEST_SKIP();
    auto ds = freshDoc();
    addTreeRows(*ds);
    dkDatastore& d = *ds;
    // Where the repository is a file, not one byte of it changes.
    auto bytes = [&] {
        if (ctx().contents) return ctx().contents(path_);
        std::string all;
        for (const std::string& file : {path_, path_ + "-wal"}) {   // the log of a WAL repository too
            std::ifstream in(file, std::ios::binary);
            all.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        return all;
    };
    const std::string before = bytes();
    EXPECT_FALSE(before.empty());
    auto count = [&](DKQTerm* t) { return countTree(d, treeOf("Doc", t)); };
    auto refused = [&](const char* entity, DKQTerm* t) {
        return errorOf<DKUsageError>([&] { countTree(d, treeOf(entity, t)); });
    };
    // Values that would be SQL if pasted are only text to compare with.
    EXPECT_EQ(1UL, count(leafTerm("title", DKOpCode::opEqual, "'x'' OR ''1''=''1'")));
    EXPECT_EQ(1UL, count(leafTerm("title", DKOpCode::opEqual, "x' OR '1'='1")));   // unquoted: the same text
    for (const char* v : {"1; DROP TABLE Doc", "'1); DELETE FROM Doc; --'", "-- comment", "/* open",
                          "'", "''''"})
        EXPECT_EQ(0UL, count(leafTerm("title", DKOpCode::opEqual, v))) << v;
    // A text with a NUL byte is one value, cut nowhere.
    EXPECT_EQ(0UL, count(values("title", DKOpCode::opEqual, {DKString(std::string("plain\0' OR 1=1 --", 17))})));
    // A number that is no number is refused, never compared as text.
    EXPECT_GT(refused("Doc", leafTerm("count", DKOpCode::opEqual, "1 OR 1=1")), 0);
    EXPECT_GT(refused("Doc", leafTerm("count", DKOpCode::opEqual, "NULL OR 1=1")), 0);
    EXPECT_GT(refused("Doc", values("count", DKOpCode::opEqual, {DKString(std::string("1\0 OR 1", 7))})), 0);
    // Names are looked up, never pasted.
    for (const char* name : {"title = title OR 1", "title\" --", "dk_id; DROP TABLE Doc", "dk_id"})
        EXPECT_GT(refused("Doc", leafTerm(name, DKOpCode::opEqual, "1")), 0) << name;
    for (const char* entity : {"Doc; DROP TABLE Doc", "Doc\" --", "dk_users", "sqlite_master", ""})
        EXPECT_GT(refused(entity, leafTerm("count", DKOpCode::opEqual, "1")), 0) << entity;
    // Query text in a string term, missing parameters, NULL where it cannot be a value.
    EXPECT_GT(refused("Doc", new DKQTerm("1=1) OR (1=1")), 0);
    EXPECT_GT(refused("Doc", leafTerm("title", DKOpCode::opEqual, ":nothere")), 0);
    EXPECT_GT(refused("Doc", leafTerm("count", DKOpCode::opGreater, "NULL")), 0);
    EXPECT_GT(errorOf<DKUsageError>([&] { countTree(d, new DKCQExpr()); }), 0);
    EXPECT_GT(errorOf<DKUsageError>([&] { ds->evaluate(static_cast<DKCQExpr*>(nullptr)); }), 0);

    EXPECT_EQ(6L, countRows(*ds, "Doc"));
    EXPECT_EQ(1, entityCount(*ds));
    EXPECT_TRUE(before == bytes());
}

TEST_P(DKConformance, TextSearchFindsBestFirstFollowsWritesAndKeepsQueriesInTheirMatch) {
    if (!ctx().textQuery) GTEST_SKIP();
    auto ds = fresh();
    addNotes(*ds, {{"apple pie", "sweet apple apple", "apple"}, {"pear", "an apple a day", "x"}, {"plum", "sour", "apple"}});
    dkDatastore& d = *ds;
    using V = std::vector<std::string>;
    // Best first; an attribute that is not text-searchable is not searched.
    EXPECT_EQ((V{"apple pie", "pear"}), textFound(d, "apple", "Note"));
    EXPECT_EQ((V{"pear"}), textFound(d, "body : day OR title : day"));
    EXPECT_EQ((V{"apple pie"}), textFound(d, "app* AND sweet"));
    auto tree = [&](const char* attr, const char* text) { return countTree(d, treeOf("Note", new DKQTerm(attr, DKOpCode::opContainsText, text))); };
    EXPECT_EQ(1UL, tree("title", "apple"));
    EXPECT_EQ(2UL, tree("", "'apple'"));
    EXPECT_GT(errorOf<DKUsageError>([&] { tree("tag", "apple"); }), 0);
    // Updates and deletes reach the index at once.
    std::unique_ptr<dkResultSetCursor> c(ds->execute("SELECT * FROM Note ORDER BY dk_id", 4, nullptr));
    std::unique_ptr<DKDDO> first(c->fetchNext()), second(c->fetchNext());
    c->close();
    first->setData(first->dataId("body"), DKAny("cherry"));
    first->update();
    EXPECT_EQ(V{}, textFound(d, "sweet"));
    EXPECT_EQ((V{"apple pie"}), textFound(d, "cherry"));
    second->del();
    EXPECT_EQ(V{}, textFound(d, "day"));

    // Query text FTS5 cannot read is refused; hostile text stays FTS5 text and changes nothing.
    const long rows = countRows(d, "Note");
    for (const char* bad : {"apple AND", "\"open", "nosuch : apple", "", "x' OR '1'='1", "1; DROP TABLE Note", "/* x"})
        EXPECT_GT(errorOf<DKUsageError>([&] { textFound(d, bad); }), 0) << bad;
    EXPECT_GT(errorOf<DKUsageError>([&] { tree("body", "a AND"); }), 0);
    for (const char* data : {"\"x' OR '1'='1\"", "\"1; DROP TABLE Note\" OR \"--\"", "cherry NOT \"/*\""})
        EXPECT_LE(textFound(d, data).size(), 1u) << data;
    EXPECT_EQ(rows, countRows(d, "Note"));
    EXPECT_EQ((V{"apple pie"}), textFound(d, "cherry", "Note"));

    // One DDO filled again for every row follows the rows of each entity searched, each row whole.
    defineEntity(d, "Memo", {{"title", DKAny::tc_string, 1}, {"day", DKAny::tc_date}});
    addedItem(d, "Memo", {{"title", DKAny("apple memo")}});
    std::unique_ptr<dkResultSetCursor> both(d.execute("apple", 1, nullptr));
    std::multiset<std::string> seen;
    for (DKDDO row; both->fetchNext(row) == 1;)
        seen.insert(row.getObjectType().str() + " " + static_cast<DKString>(row.getDataByName("title")).str() + " " +
                    std::to_string(row.dataCount()));
    EXPECT_EQ((std::multiset<std::string>{"Memo apple memo 2", "Note apple pie 3"}), seen);
}

TEST_P(DKConformance, MappingsAreKeptAndTranslateOneToOneNamesOnly) {
    if (!ctx().templates || !ctx().parametric) GTEST_SKIP();
    auto ds = freshDoc();
    addTreeRows(*ds);
    DKNVPair pairs[] = {DKNVPair("name", DKAny("M")), DKNVPair("entity", DKAny("Doc")),
                        DKNVPair("mappedEntity", DKAny("Paper")), DKNVPair("attr", DKAny("number=count")),
                        DKNVPair("attr", DKAny("heading=title")), DKNVPair("End")};
    EXPECT_EQ(DKString("M"), ds->registerMapping(pairs));
    EXPECT_EQ(303L, errorOf<DKUsageError>([&] { ds->registerMapping(pairs); }));   // the name is taken
    dkSchemaMapping* m = ds->getMapping("M");
    ASSERT_TRUE(m != nullptr && m == ds->getMapping("m"));   // kept
    dkAttrMapping* number = m->getAttrMappingByMappedName("number");
    ASSERT_NE(nullptr, number);
    auto mapped = [&](const char* entity, const char* attr, const char* mapping) {
        DKCQExpr* tree = treeOf(entity, leafTerm(attr, DKOpCode::opGreaterEqual, "3"));
        tree->getQueryExpr()->getSubQuery(0)->setMappingName(mapping);
        return errorOf<DKUsageError>([&] { EXPECT_EQ(4UL, countTree(*ds, tree)); });
    };
    EXPECT_EQ(-1L, mapped("Paper", "number", "M"));   // nothing thrown: the native count
    for (auto [entity, attr, mapping, id] : {std::make_tuple("Paper", "count", "M", ctx().noAttrMessage),
                                             {"Doc", "number", "M", 303L}, {"Paper", "number", "Nowhere", 303L}})
        EXPECT_EQ(id, mapped(entity, attr, mapping)) << entity << "." << attr << " by " << mapping;
    number->setToNative("toN");   // a conversion is not translated
    number->setFromNative("fromN");
    EXPECT_EQ(303L, mapped("Paper", "number", "M"));
    // Refused registrations; a hostile name is kept as data.
    for (auto [key, value, id] : {std::make_tuple("entity", "Nowhere", ctx().noEntityMessage),
                                  {"attr", "x=nothing", ctx().noAttrMessage}, {"attr", "number", 303L},
                                  {"colour", "red", 303L}}) {
        pairs[0] = DKNVPair("name", DKAny("B"));
        pairs[4] = DKNVPair(key, DKAny(value));   // a later entity takes the place of the first
        EXPECT_EQ(id, errorOf<DKUsageError>([&] { ds->registerMapping(pairs); })) << key << "=" << value;
    }
    pairs[4] = DKNVPair("attr", DKAny("heading=title"));
    pairs[0] = DKNVPair("name", DKAny("M'); DROP TABLE Doc; --"));
    ds->registerMapping(pairs);
    EXPECT_EQ("M M'); DROP TABLE Doc; --", joinedNames([&](long& n) { return ds->listMappingNames(n); }));
    ds->unRegisterMapping("m");
    EXPECT_EQ(nullptr, ds->getMapping("M"));
    EXPECT_EQ(303L, errorOf<DKUsageError>([&] { ds->unRegisterMapping("M"); }));
    EXPECT_EQ(6L, countRows(*ds, "Doc"));
}

TEST_P(DKConformance, TemplatesAreStoredListedOwnedAndRunWithTheirCriteria) {
    if (!ctx().templates || !ctx().templateOf) GTEST_SKIP();
    auto ds = freshDoc({{"n", DKAny::tc_long}, {"title", DKAny::tc_string}});
    const char* titles[] = {"it's", "a\"b\\c", "plain", "plain", "x' OR '1'='1"};
    for (long n = 1; n <= 5; ++n) addedItem(*ds, "Doc", {{"n", DKAny(n)}, {"title", DKAny(titles[n - 1])}});
    const char* name = "By n'; DROP TABLE Doc; --";
    std::unique_ptr<dkSearchTemplate> t(ctx().templateOf(*ds, name, "doc"));
    auto criterion = [](const char* attr, std::vector<short> ops) {
        auto c = std::make_unique<DKSearchCriteria>("Doc", attr);
        c->setValidOperators(ops.data(), static_cast<long>(ops.size()));
        return c;
    };
    EXPECT_EQ(ctx().noAttrMessage, errorOf<DKUsageError>([&] { t->addCriteria(criterion("nothing", {DKOpCode::opEqual}).get()); }));
    EXPECT_EQ(303L, errorOf<DKUsageError>([&] { t->addCriteria(criterion("n", {DKOpCode::opAnd}).get()); }));
    EXPECT_EQ(303L, errorOf<DKUsageError>([&] { t->add(); }));   // no criterion
    t->addCriteria(criterion("n", {DKOpCode::opGreaterEqual, DKOpCode::opIn}).release());
    t->addCriteria(criterion("title", {DKOpCode::opEqual, DKOpCode::opLike}).release());
    EXPECT_EQ(303L, errorOf<DKUsageError>([&] { t->addCriteria(criterion("n", {DKOpCode::opEqual}).get()); }));
    t->add();
    EXPECT_EQ(303L, errorOf<DKUsageError>([&] { t->add(); }));   // the name is taken

    std::unique_ptr<dkCollection> all(ds->listSearchTemplates());
    ASSERT_EQ(1UL, all->cardinality());
    EXPECT_EQ(1, all->ownsElements());
    std::unique_ptr<dkIterator> it(all->createIterator());
    auto* stored = static_cast<dkSearchTemplate*>(static_cast<void*>(*it->next()));
    EXPECT_EQ(DKString(name), stored->getName());
    ASSERT_EQ(2L, stored->numberOfCriteria());
    auto found = [&] {
        std::unique_ptr<dkCollection> rows(static_cast<dkCollection*>(ds->evaluate(stored)));
        return rows->cardinality();
    };
    EXPECT_EQ(303L, errorOf<DKUsageError>([&] { found(); }));   // nothing set
    stored->setValue("n", "2");                                  // the first operator, >=
    EXPECT_EQ(4UL, found());
    EXPECT_EQ(303L, errorOf<DKUsageError>([&] { stored->setOperator("n", DKOpCode::opLess); }));
    std::unique_ptr<DKCQExpr> q(stored->createCQExpr());
    EXPECT_EQ(DKString(name), q->getSearchTemplateName());
    // Values are data: quotes, NULL and SQL stay text to compare with.
    stored->setValue("n", "1");
    for (auto [value, n] : {std::make_pair("x' OR '1'='1", 1UL), {"NULL", 0UL}, {"it's", 1UL}, {"'it''s'", 0UL}}) {
        stored->setValue("title", value);
        EXPECT_EQ(n, found()) << value;
    }
    stored->setOperator("title", DKOpCode::opLike);
    stored->setValue("title", "pl%");
    EXPECT_EQ(2UL, found());
    long count = -1;
    EXPECT_EQ("pl%", joinedNames([&](long& n) { return stored->getValues("title", n); }));
    EXPECT_EQ(DKOpCode::opLike, stored->getOperator("title"));
    stored->clearValues("title");
    EXPECT_EQ(5UL, found());
    // Stored again without a criterion; read back, the criterion and the chosen values are gone.
    stored->removeCriteria("title");
    stored->update();
    stored->retrieve();
    EXPECT_EQ("n", joinedNames([&](long& n) { return stored->listCriteriaNames(n); }));
    EXPECT_EQ(0, stored->isComplete());
    EXPECT_EQ(1UL, std::unique_ptr<dkCollection>(stored->listCriteria())->cardinality());
    stored->del();
    EXPECT_EQ(0, stored->exists());
    std::unique_ptr<DKString[]>(ds->listSearchTemplateNames(count));
    EXPECT_EQ(0L, count);
    EXPECT_EQ(5L, countRows(*ds, "Doc"));
}

// Parts of 0 bytes, 1 byte and every byte value survive a reconnect; edits count from 1 as
// DKString does and persist on update; deleting the item drops its parts.
TEST_P(DKConformance, ContentRoundTripsEditsAndGoesWithItsItem) {
    if (!ctx().content) GTEST_SKIP();
    auto ds = freshDoc({{"title", DKAny::tc_string}});
    std::unique_ptr<DKDDO> item = addedItem(*ds, "Doc");
    const long id = std::strtol(item->getPid().getPrimaryId().c_str(), nullptr, 10);
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    const std::string parts[] = {"", "x", all};
    auto part = [&](long n) { return std::unique_ptr<dkBlob>(ctx().contentOf(*ds, "Doc", id, n)); };
    auto bytes = [](dkXDO& x) { DKByteArray b = x.getContent(); return std::string(b.getData() ? b.getData() : "", b.length()); };
    for (long n = 1; n <= 3; ++n) contentWith(*ds, "Doc", id, n, parts[n - 1])->add();
    ds.reset();
    ds = another();
    for (long n = 1; n <= 3; ++n) {
        auto b = part(n);
        EXPECT_EQ(static_cast<long>(parts[n - 1].size()), b->size());
        b->retrieve();
        EXPECT_EQ(parts[n - 1], bytes(*b)) << "part " << n;
    }
    auto b = part(2);
    (*b += DKString("yz")).insert(DKString("ab"), 0);
    EXPECT_EQ("abxyz", bytes(*b));
    EXPECT_EQ(std::make_tuple(3L, 0L, 0L, std::string("bxy")),
              std::make_tuple(b->indexOf(DKString("xy"), 1), b->indexOf(DKString("xy"), 4), b->indexOf(DKString("q"), 1), std::string(b->subString(2, 3).c_str())));
    b->remove(1, 2).update();
    EXPECT_EQ("xyz", bytes(*part(2)));
    ds->deleteObject(item.get());
    EXPECT_THROW(part(3)->retrieve(), DKException);
}

// A retrieved document lists its stored parts (number, size) in DKParts: after the item's add,
// after a part is stored through the content interface, after the collection's changes are
// stored with the item (one part added, one removed) or at once, never after a failed update.
TEST_P(DKConformance, PartsAreListedAfterAddAndAfterEachChange) {
    if (ctx().documentType == 0 || !ctx().content) GTEST_SKIP();
    auto ds = freshDoc({{"title", DKAny::tc_string}}, static_cast<short>(ctx().documentType | ctx().folderType));
    std::unique_ptr<DKDDO> item = addedItem(*ds, "Doc"), read, check;
    const long id = std::strtol(item->getPid().getPrimaryId().c_str(), nullptr, 10);
    auto newPart = [&](long n, const char* bytes) { return contentWith(*ds, "Doc", id, n, bytes); };
    auto listed = [&](std::unique_ptr<DKDDO>& d) {   // "part:size " each
        d = retrievedItem(*ds, item->getPid());
        std::string out;
        std::unique_ptr<dkIterator> it(static_cast<dkCollection*>(d->getDataByName("DKParts"))->createIterator());
        while (it->more()) {
            auto* x = static_cast<dkXDO*>(static_cast<dkDataObjectBase*>(it->next()->value()));
            out += std::string(x->getPidObject()->getIdString(1).c_str()) + ":" + std::to_string(x->size()) + " ";
        }
        return out;
    };
    EXPECT_EQ("", listed(read));
    newPart(2, "abc")->add();
    newPart(1, "")->add();
    EXPECT_EQ("1:0 2:3 ", listed(read));
    auto* parts = static_cast<DKParts*>(static_cast<dkCollection*>(read->getDataByName("DKParts")));
    parts->addElement(DKAny(static_cast<dkDataObjectBase*>(newPart(3, "hello").release())));   // the collection owns it
    std::unique_ptr<dkIterator> first(parts->createIterator());
    std::unique_ptr<dkDataObjectBase> gone(static_cast<dkDataObjectBase*>(first->next()->value()));
    parts->removeElementAt(*first);   // part 1, the caller's now
    read->update();
    read->update();   // the track list was cleared: nothing is stored or dropped twice
    EXPECT_EQ("2:3 3:5 ", listed(check));
    std::unique_ptr<dkBlob> fourth = newPart(4, "xy");   // at once, through the datastore's extension
    parts->addMember(read.get(), fourth.get());
    EXPECT_EQ("2:3 3:5 4:2 ", listed(check));
    parts->removeMember(read.get(), fourth.get());
    EXPECT_EQ("2:3 3:5 ", listed(check));
    auto* ext = static_cast<dkDatastoreExt*>(ds->getExtension("DATASTORE_EXTENSION"));
    EXPECT_THROW(ext->removePart(read.get(), fourth.get()), DKDataObjectNotFound);   // not stored any more
    EXPECT_THROW(ext->addPart(read.get(), nullptr), DKUsageError);
    // A membership refused later in the same update takes back the part it stored.
    parts->addElement(DKAny(static_cast<dkDataObjectBase*>(newPart(5, "z").release())));
    auto* unstored = static_cast<dkDataObjectBase*>(ds->createDDO("Doc", 0));   // the folder owns it
    static_cast<dkCollection*>(read->getDataByName("DKFolder"))->addElement(DKAny(unstored));
    EXPECT_THROW(read->update(), DKUsageError);
    EXPECT_EQ("2:3 3:5 ", listed(check));
}

// Folder members and links survive a reconnect, tracked changes are applied once; deleting a
// folder leaves its members, deleting an item drops its memberships and its links both ways.
TEST_P(DKConformance, FoldersAndLinksSurviveAReconnectAndGoWithTheirItems) {
    if (!ctx().folders || !ctx().links) GTEST_SKIP();
    auto ds = freshDoc({{"title", DKAny::tc_string}}, ctx().linkedType);
    defineEntity(*ds, "Box", {{"title", DKAny::tc_string}}, ctx().folderType);
    std::unique_ptr<DKDDO> box = addedItem(*ds, "Box");
    auto collection = [](DKDDO& d, const char* item) { return static_cast<dkCollection*>(d.getDataByName(item)); };
    std::vector<DKPid> docs;
    for (int i = 0; i < 3; ++i) {
        auto* d = ds->createDDO("Doc", 0);
        collection(*box, "DKFolder")->addElement(DKAny(static_cast<dkDataObjectBase*>(d)));   // the folder owns it
        d->add();
        docs.push_back(d->getPid());
    }
    box->update();
    box->update();   // the track list was cleared: nothing is filed twice
    std::unique_ptr<DKDDO> first = retrievedItem(*ds, docs[0]);
    auto* link = new DKLink("cites", first.get(), new DKDDO(ds.get(), docs[1], 10), 1, 0);
    collection(*first, ctx().linksItem.c_str())->addElement(DKAny(static_cast<void*>(link)));
    first->update();
    ds.reset();
    ds = another();
    auto reread = [&](const DKPid& pid, const char* item) {
        std::unique_ptr<DKDDO> d = retrievedItem(*ds, pid);
        std::vector<std::string> ends;
        std::unique_ptr<dkIterator> it(collection(*d, item)->createIterator());
        while (it->more()) {
            const DKAny* e = it->next();
            if (e->typeCode() == DKAny::tc_voidptr) {
                auto* l = static_cast<DKLink*>(e->value());
                ends.push_back(std::string(l->getTypeName().c_str()) + ":" + l->getSource()->getPidObject()->getPrimaryId().c_str() +
                               ">" + l->getTarget()->getPidObject()->getPrimaryId().c_str());
            } else {
                ends.push_back(static_cast<DKDDO*>(static_cast<dkDataObjectBase*>(e->value()))->getPid().getPrimaryId().c_str());
            }
        }
        return ends;
    };
    auto id = [&](int i) { return std::string(docs[i].getPrimaryId().c_str()); };
    EXPECT_EQ((std::vector<std::string>{id(0), id(1), id(2)}), reread(box->getPid(), "DKFolder"));
    const std::vector<std::string> cites{"cites:" + id(0) + ">" + id(1)};
    EXPECT_EQ(cites, reread(docs[0], ctx().linksItem.c_str()));
    EXPECT_EQ(cites, reread(docs[1], ctx().linksItem.c_str()));
    std::unique_ptr<DKDDO> second(new DKDDO(ds.get(), docs[1], 10)), boxRead = retrievedItem(*ds, box->getPid());
    ds->deleteObject(second.get());
    EXPECT_EQ((std::vector<std::string>{id(0), id(2)}), reread(box->getPid(), "DKFolder"));
    EXPECT_TRUE(reread(docs[0], ctx().linksItem.c_str()).empty());
    collection(*boxRead, "DKFolder")->removeAllElements();   // a deleted member among them
    boxRead->update();
    EXPECT_TRUE(reread(box->getPid(), "DKFolder").empty());
    std::unique_ptr<DKDDO> again(new DKDDO(ds.get(), box->getPid(), 10));
    ds->deleteObject(again.get());
    EXPECT_EQ(2L, countRows(*ds, "Doc"));
}

// Segment slots keep their count, empty slots and parts across a reconnect, a part stored in no
// slot follows them, and a part left in no slot is dropped; a link keeps the item that carries it
// until that item is deleted. A segmented item deleted leaves no slot and no part.
TEST_P(DKConformance, SegmentSlotsAndLinkItemsSurviveAReconnect) {
    if (ctx().segmentedType == 0 || !ctx().links || !ctx().content) GTEST_SKIP();
    auto ds = fresh();
    defineEntity(*ds, "Seg", {}, ctx().segmentedType);
    defineEntity(*ds, "Doc", {{"title", DKAny::tc_string}}, ctx().linkedType);
    auto seg = addedItem(*ds, "Seg"), a = addedItem(*ds, "Doc"), b = addedItem(*ds, "Doc"), carrier = addedItem(*ds, "Doc");
    const long id = std::strtol(seg->getPid().getPrimaryId().c_str(), nullptr, 10);
    auto slotted = [](DKDDO& d) -> DKSegmentedParts& {
        return dynamic_cast<DKSegmentedParts&>(*static_cast<dkCollection*>(d.getDataByName("DKParts")));
    };
    auto part = [&](long n, const char* bytes) { return contentWith(*ds, "Seg", id, n, bytes).release(); };
    auto slots = [&](DKSegmentedParts& p) {   // each slot's part number, "-" when empty
        std::string out;
        for (long i = 0; i < p.getSegmentCount(); ++i)
            out += (p.getSegment(i) ? std::string(p.getSegment(i)->getPidObject()->getIdString(1).c_str()) : "-") + " ";
        return out;
    };
    slotted(*seg).setSegmentCount(4);
    slotted(*seg).setSegment(1, part(7, "seven"));
    slotted(*seg).setSegment(3, part(2, "two"));
    seg->update();
    static_cast<dkCollection*>(a->getDataByName(ctx().linksItem.c_str()))->addElement(DKAny(static_cast<void*>(
        new DKLink("via", a.get(), new DKDDO(ds.get(), b->getPid(), 10), new DKDDO(ds.get(), carrier->getPid(), 10), 1, 0, 0))));
    a->update();
    ds.reset();
    ds = another();
    std::unique_ptr<dkBlob>(part(5, "five"))->add();   // through the content interface: in no slot
    auto back = retrievedItem(*ds, seg->getPid());
    DKSegmentedParts& parts = slotted(*back);
    EXPECT_EQ("- 7 - 2 5 ", slots(parts));
    DKByteArray bytes = parts.getSegment(3)->getContent();
    EXPECT_EQ("two", std::string(bytes.getData(), bytes.length()));
    parts.setSegment(1, part(9, "nine"));   // part 7 leaves its slot, and so the repository
    back->update();
    EXPECT_EQ("- 9 - 2 5 ", slots(slotted(*retrievedItem(*ds, seg->getPid()))));
    EXPECT_EQ(-1L, std::unique_ptr<dkBlob>(ctx().contentOf(*ds, "Seg", id, 7))->size());
    auto links = [&](const DKDDO& d) {
        std::unique_ptr<DKDDO> r = retrievedItem(*ds, d.getPid());
        std::unique_ptr<dkIterator> it(static_cast<dkCollection*>(r->getDataByName(ctx().linksItem.c_str()))->createIterator());
        const dkDataObject* item = static_cast<DKLink*>(it->next()->value())->getLinkItem();
        return item ? std::string(item->getPidObject()->pidString().c_str()) : "none";
    };
    EXPECT_EQ(std::string(carrier->getPid().pidString().c_str()), links(*b));
    DKDDO(ds.get(), carrier->getPid(), 10).del();
    EXPECT_EQ("none", links(*a));
    back->del();
    EXPECT_EQ(std::make_tuple(0L, 0L), std::make_tuple(ctx().rows(path_, "dk_segments"), ctx().rows(path_, "dk_content")));
}

}  // namespace dkconf
