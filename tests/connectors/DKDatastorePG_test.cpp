// tests/connectors/DKDatastorePG_test.cpp
//
// The PostgreSQL connector against real servers: the fixture's, shared by the suites of a parallel
// run, and servers of a test's own where a test needs one that misbehaves (trusts everyone,
// stops, never answers). Credentials come only from connect; what cannot log on says why.
// dk-threaded-suite: sessions on threads write one item at once.

#include "dkConformance.hpp"
#include "dkPgTestSupport.hpp"

#include <DKContentPG.hpp>
#include <DKTemplatesPG.hpp>

#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <tuple>

using dkpgtest::adminSql;
using dkpgtest::uniqueName;
using dktest::errorOf;
using dkconf::DKConformance;

namespace {

const dkconf::Factory& factory() { return dkconf::factoryFor(DKPG_LIBRARY); }

// A role that may create databases, made once per process on first use: name and password. A
// child process of the suite takes its parent's, from the environment.
const std::pair<std::string, std::string>& roleNames() {
    static const std::pair<std::string, std::string> p = [] {
        const char* inherited = std::getenv("DKPG_TEST_ROLE");
        if (inherited) return std::pair<std::string, std::string>(inherited, std::getenv("DKPG_TEST_PASSWORD"));
        return std::pair<std::string, std::string>(uniqueName("dkrole"), "pw-" + uniqueName("x"));
    }();
    return p;
}
const std::pair<std::string, std::string>& role() {
    static const bool made = [] {
        if (std::getenv("DKPG_TEST_ROLE")) return true;
        adminSql("CREATE ROLE " + roleNames().first + " LOGIN CREATEDB PASSWORD '" + roleNames().second + "'");
        setenv("DKPG_TEST_ROLE", roleNames().first.c_str(), 1);
        setenv("DKPG_TEST_PASSWORD", roleNames().second.c_str(), 1);
        return true;
    }();
    (void)made;
    return roleNames();
}

// The conformance suite's view of the connector: every repository a new database; what the
// server cannot keep (nanoseconds, zero bytes in text, a timestamp's separator) is refused;
// features not built yet are off.
dkconf::ConnectorContext pgContext() {
    dkconf::ConnectorContext c;
    c.library = DKPG_LIBRARY;
    c.className = "DKDatastorePG";
    c.user = roleNames().first;
    c.password = roleNames().second;
    c.newRepository = [](const std::string&) {
        role();
        return uniqueName("dkconf");
    };
    c.createConnect = "create=1";
    c.damage = [](const std::string& db) {   // another application's database
        adminSql("CREATE DATABASE " + db);
        adminSql("CREATE TABLE other (x int)", db);
    };
    c.protectedTable = "pg_authid";   // the server's roles and their password verifiers
    c.contents = [](const std::string& db) {   // every row of every table of the repository
        return adminSql("SELECT string_agg(query_to_xml(format('SELECT * FROM %I ORDER BY 1', relname), true, false, '')::text,"
                        " '' ORDER BY relname) FROM pg_class WHERE relnamespace = 'public'::regnamespace AND relkind = 'r'", db);
    };
    c.parametric = true;
    c.textQuery = true;
    c.templates = true;
    c.noEntityMessage = 9210;
    c.noAttrMessage = 9212;
    c.badNameMessage = 9209;
    c.templateOf = [](dkDatastore& ds, const char* name, const char* entity) {
        return static_cast<DKTemplatesPG*>(ds.getExtension(DKTemplatesPG::kName))->createSearchTemplate(name, entity);
    };
    c.timestampDigits = 6;
    c.zeroBytes = false;
    c.separator = false;
    dkconf::keepsMembership(c);   // kept by the repository, as on SQLite
    c.rows = [](const std::string& db, const char* table) {
        return std::atol(adminSql(std::string("SELECT count(*) FROM ") + table, db).c_str());
    };
    c.contentOf = [](dkDatastore& ds, const char* entity, long id, long part) {
        auto* content = static_cast<DKContentPG*>(ds.getExtension(DKContentPG::kName));
        return content->createBlob(content->pidOf(entity, id, part));
    };
    return c;
}

// What connect throws as an E (the id and text), the datastore left unconnected.
template <class E>
dktest::Failure refused(const std::string& name, const std::string& user, const std::string& pw, const char* connect = "") {
    std::unique_ptr<dkDatastore> ds(factory().create("DKDatastorePG"));
    const auto f = dktest::failureOf<E>([&] { ds->connect(name.c_str(), user.c_str(), pw.c_str(), connect); });
    EXPECT_EQ(0, ds->isConnected());
    EXPECT_EQ(std::string::npos, f.text.find(role().second)) << f.text;   // never the password
    return f;
}

int script(const std::string& args) { return std::system((std::string(DKPG_SERVER_SCRIPT) + " " + args).c_str()); }

}  // namespace

TEST(DKDatastorePGConnect, FactoryAndStringsRefuseWhatTheyDoNotKnow) {
    EXPECT_EQ(nullptr, factory().create("DKDatastoreSQLITE"));
    EXPECT_EQ(9206L, errorOf<DKUsageError>([&] { delete factory().createWithConfig("DKDatastorePG", "query_timeout=-1"); }));
    const auto& [user, pw] = role();
    // Credentials come from connect alone: a name that carries any is refused before any logon.
    for (const std::string& name : std::vector<std::string>{
             "postgresql://" + user + ":" + pw + "@/postgres", "postgres://" + user + "@/postgres", "dbname=postgres user=x",
             "dbname=postgres password=" + pw, "dbname=postgres passfile=/x", "service=dk dbname=postgres", "host=/x",
             "dbname='open", ""})
        EXPECT_EQ(9203L, refused<DKUsageError>(name, user, pw).id) << name;
    for (const char* connect : {"create=maybe", "connect_timeout=0", "user=x", "readonly=2"})
        EXPECT_EQ(9203L, refused<DKUsageError>("postgres", user, pw, connect).id) << connect;
    EXPECT_EQ(9203L, refused<DKUsageError>("postgres", "", pw).id);
}

TEST(DKDatastorePGConnect, OnlyTheServerChecksPasswordsAndMissingDatabasesAreCreatedWhenAsked) {
    const auto& [user, pw] = role();
    const std::string db = uniqueName("dkdb_Mixed");
    // The right password in libpq's environment is never used in place of connect's.
    setenv("PGPASSWORD", pw.c_str(), 1);
    for (const auto& [u, p] : {std::pair<std::string, std::string>{user, "wrong"}, {"nobody_here", pw}, {user, ""}}) {
        const auto f = refused<DKLogonFailure>("postgres", u, p, "create=1");
        EXPECT_EQ(9201L, f.id) << u << f.text;
        EXPECT_NE(std::string::npos, f.text.find("28P01")) << f.text;
    }
    unsetenv("PGPASSWORD");
    const auto missing = refused<DKServerNotAvailable>(db, user, pw);
    EXPECT_EQ(9202L, missing.id);
    EXPECT_NE(std::string::npos, missing.text.find("3D000")) << missing.text;

    // Another application's database is no repository, with create=1 too; an empty one becomes one.
    const std::string foreign = uniqueName("dkforeign"), empty = uniqueName("dkempty");
    for (const std::string& d : {foreign, empty}) adminSql("CREATE DATABASE " + d + " OWNER " + user);
    adminSql("CREATE TABLE other (x int)", foreign);
    EXPECT_EQ(9208L, refused<DKDatastoreError>(foreign, user, pw, "create=1").id);
    EXPECT_EQ(9208L, refused<DKDatastoreError>(empty, user, pw).id);

    // create=1 makes it (the name quoted, its case kept), then opens what is there, in every form.
    std::unique_ptr<dkDatastore> ds(factory().createWithConfig("DKDatastorePG", " query_timeout = 500 ;"));
    const std::string host = dkpgtest::server().at("DKPG_HOST"), port = dkpgtest::server().at("DKPG_PORT");
    for (const std::string& name : {empty, db, db, "postgresql:///" + db + "?host=" + host + "&port=" + port,
                                    "host=" + host + " port=" + port + " dbname='" + db + "'"}) {
        ds->connect(name.c_str(), user.c_str(), pw.c_str(), "create=yes; connect_timeout=5");
        EXPECT_EQ(0, ds->validateConnection()) << name;
    }
    EXPECT_EQ("1", adminSql("SELECT count(*) FROM pg_database WHERE datname = '" + db + "'"));
    // A backend the server ends is found by validation.
    adminSql("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '" + db + "'");
    EXPECT_EQ(2, ds->validateConnection());
    ds->disconnect();
    EXPECT_EQ(1, ds->validateConnection());
}

TEST(DKDatastorePGConnect, ServersThatTrustOrAreGoneOrHangAreRefusedInTime) {
    dktest::TempDir dir;
    ASSERT_EQ(0, script("start " + dir.str() + " --trust"));
    const std::string own = "host=" + dkpgtest::readServer(dir.str())["DKPG_HOST"] + " dbname=postgres";
    EXPECT_EQ(9204L, refused<DKLogonFailure>(own, "dk_super", "any").id);   // it let anyone in
    ASSERT_EQ(0, script("stop " + dir.str()));
    EXPECT_EQ(9200L, refused<DKServerNotAvailable>(own, "dk_super", "any").id);
    // A socket that takes the connection and never answers: refused after connect_timeout.
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, (dir.str() + "/.s.PGSQL.5432").c_str());
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(0, bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) | listen(fd, 4));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(9200L, refused<DKServerNotAvailable>("host=" + dir.str() + " dbname=x", "u", "x", "connect_timeout=2").id);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6));
    close(fd);
}

namespace {

// A session of the suite's role on db, made with config when one is given.
std::unique_ptr<dkDatastore> session(const std::string& db, const char* connect, const char* config = nullptr) {
    return dkpgtest::session(db, role().first, role().second, connect, config);
}

// A datastore connected to a new repository of its own (its database name in db), with the
// entity Doc of the attributes doc when there are any.
std::unique_ptr<dkDatastore> freshRepository(std::string& db, const std::vector<dkconf::Attr>& doc = {}) {
    db = uniqueName("dkitems");
    auto ds = session(db, "create=1");
    if (!doc.empty()) dkconf::defineEntity(*ds, "Doc", doc);
    return ds;
}

// A new Doc item with the named items set, added; the caller's.
std::unique_ptr<DKDDO> added(dkDatastore& ds, std::initializer_list<std::pair<const char*, DKAny>> values) {
    return dkconf::addedItem(ds, "Doc", values);
}

}  // namespace

TEST(DKDatastorePGItems, SchemaNamesAreFoldedForTablesAndKeptAsGivenInTheCatalogue) {
    std::string db;
    auto ds = freshRepository(db, dkconf::allTypes());
    // Plain SQL names the table and columns without quotes; the catalogue keeps "Doc".
    EXPECT_EQ("0", adminSql("SELECT count(*) FROM doc WHERE title IS NULL AND stamp IS NULL", db));
    EXPECT_EQ("numeric", adminSql("SELECT data_type FROM information_schema.columns WHERE table_name = 'doc' AND "
                                  "column_name = 'price'", db));
    std::unique_ptr<dkEntityDef> e(ds->datastoreDef()->retrieveEntity("DOC"));
    EXPECT_EQ(DKString("Doc"), e->getName());
    for (const char* bad : {"dk_x", "pg_x", "9a", "a-b", "\xc3\xa9t\xc3\xa9"})
        EXPECT_EQ(9209L, errorOf<DKUsageError>([&] { dkconf::defineEntity(*ds, bad, {}); })) << bad;
    EXPECT_EQ(9209L, errorOf<DKUsageError>([&] { dkconf::defineEntity(*ds, std::string(64, 'a').c_str(), {}); }));
    dkconf::defineEntity(*ds, std::string(63, 'a').c_str(), {});
    // A table of that name that is no entity is in the way as much as an entity is.
    adminSql("CREATE TABLE other (x int)", db);
    EXPECT_EQ(9211L, errorOf<DKUsageError>([&] { dkconf::defineEntity(*ds, "OTHER", {}); }));
    EXPECT_EQ(9214L, errorOf<DKUsageError>([&] { dkconf::defineEntity(*ds, "Other2", {{"f", DKAny::tc_float}}); }));
    // A refused attribute leaves neither a column nor an entry; a dropped one renumbers the rest.
    std::unique_ptr<dkAttrDef> dup(dkconf::newAttr(*e, {"TITLE", DKAny::tc_string}));
    EXPECT_EQ(9213L, errorOf<DKUsageError>([&] { e->add(dup.get()); }));
    e->deleteAttr("Small");
    std::unique_ptr<DKDDO> d(ds->createDDO("doc", 0));
    EXPECT_EQ(8, d->dataCount());
    EXPECT_EQ(DKString("count"), d->getDataName(2));
    EXPECT_EQ("8", adminSql("SELECT count(*) FROM dk_attrs a JOIN dk_entities e ON e.id = a.entity WHERE e.lname = 'doc' "
                            "AND a.position BETWEEN 1 AND 8", db));
    // Another session's deletion: the kept catalogue learns of it from the first statement that fails.
    session(db, "")->datastoreDef()->deleteEntity("DOC");
    EXPECT_EQ(9205L, errorOf<DKUsageError>([&] { d->add(); }));
    EXPECT_EQ(9210L, errorOf<DKUsageError>([&] { ds->createDDO("Doc", 0); }));
    EXPECT_EQ("", adminSql("SELECT to_regclass('public.doc')", db));
}

TEST(DKDatastorePGItems, ValuesRoundTripExactlyAndWhatTheServerWouldChangeIsRefused) {
    std::string db;
    auto ds = freshRepository(db, dkconf::allTypes());
    const std::string bytes("\0\xff\x01\\x", 5);
    std::unique_ptr<DKDDO> d(added(*ds, {{"title", DKAny("\xc3\xa9 it's")}, {"small", DKAny(static_cast<short>(SHRT_MIN))},
                                        {"count", DKAny(LONG_MAX)}, {"ratio", DKAny(0.1)}, {"price", DKAny(DKDecimal("1.50"))},
                                        {"day", DKAny(DKDate(1, 1, 1))}, {"clock", DKAny(DKTime(23, 59, 59))},
                                        {"stamp", DKAny(DKTimestamp(2000, 2, 29, 23, 59, 59, 999999000))},
                                        {"body", DKAny(DKByteArray(const_cast<char*>(bytes.data()), 5, 0))}}));
    auto back = dkconf::retrievedItem(*ds, d->getPid(), 0);
    for (unsigned short id = 1; id <= 9; ++id) EXPECT_TRUE(d->getData(id) == back->getData(id)) << d->getDataName(id);
    EXPECT_EQ(DKString("1.50"), static_cast<DKDecimal>(back->getDataByName("price")).toString());
    std::unique_ptr<DKDDO> empty(added(*ds, {{"title", DKAny("")}, {"body", DKAny(DKByteArray())}}));
    back->setPid(empty->getPid());
    back->retrieve();
    EXPECT_EQ(0, back->isNull(1));
    EXPECT_EQ(1, back->isNull(2));
    EXPECT_EQ(0, back->isNull(9));

    // Refused before anything is written: what does not fit (9215) and what would change (9216).
    const std::vector<std::tuple<const char*, DKAny, long>> refusals = {
        {"small", DKAny(40000L), 9215}, {"day", DKAny("2020-01-01"), 9215}, {"count", DKAny(ULONG_MAX), 9215},
        {"stamp", DKAny(DKTimestamp(2000, 1, 1, 0, 0, 0, 1)), 9216},
        {"stamp", DKAny(DKTimestamp(2000, 12, 31, 23, 59, 59, 999999999)), 9216},
        {"stamp", DKAny(DKTimestamp(2000, 1, 1, 0, 0, 0, 0, -1, ' ')), 9216},
        {"title", DKAny(DKString(std::string("a\0b", 3))), 9216}, {"day", DKAny(DKDate(0, 1, 1)), 9216}};
    for (const auto& [name, v, id] : refusals) {
        EXPECT_EQ(id, errorOf<DKUsageError>([&, item = name, &value = v] { added(*ds, {{item, value}}); })) << name;
        back->setData(back->dataId(name), v);
        EXPECT_EQ(id, errorOf<DKUsageError>([&] { back->update(); })) << name;
        back->retrieve();
    }
    EXPECT_EQ("2", adminSql("SELECT count(*) FROM doc", db));
    // A value the server holds but no DDO can: a read error, the DDO unchanged.
    adminSql("UPDATE doc SET stamp = 'infinity'", db);
    EXPECT_EQ(9219L, errorOf<DKDatastoreError>([&] { back->retrieve(); }));
    EXPECT_EQ(1, back->isNull(back->dataId("stamp")));
}

// The items' statements are prepared once per session: one that another session's change broke
// (a column's type changed under a prepared read) fails once with the server's error and is
// prepared afresh, also inside a transaction, and a new session starts with none.
TEST(DKDatastorePGItems, PreparedStatementsSurviveSchemaChangesOfOthers) {
    std::string db;
    auto ds = freshRepository(db, {{"title", DKAny::tc_string}});
    std::unique_ptr<DKDDO> a(added(*ds, {{"title", DKAny("t")}}));
    a->retrieve();
    adminSql("ALTER TABLE doc ALTER COLUMN title TYPE varchar(20)", db);
    EXPECT_GT(errorOf<DKUsageError>([&] { a->retrieve(); }), 0);
    a->retrieve();
    ds->startTransaction();
    adminSql("ALTER TABLE doc ALTER COLUMN title TYPE text", db);
    EXPECT_GT(errorOf<DKUsageError>([&] { a->retrieve(); }), 0);
    a->retrieve();
    ds->commit();
    ds->connect(db.c_str(), role().first.c_str(), role().second.c_str(), "");
    a->retrieve();
    EXPECT_EQ(DKString("t"), static_cast<DKString>(a->getDataByName("title")));
}

TEST(DKDatastorePGItems, ADeadlockRollsBackWithItsState) {
    std::string db;
    auto ds = freshRepository(db, {{"count", DKAny::tc_long}});
    std::unique_ptr<DKDDO> one(added(*ds, {{"count", DKAny(1L)}})), two(added(*ds, {{"count", DKAny(2L)}}));
    // Another session holds row one; the collection takes row two, then waits for row one.
    const std::string info = "dbname=" + db + " user=" + role().first + " password=" + role().second;
    std::unique_ptr<PGconn, void (*)(PGconn*)> x(PQconnectdb(info.c_str()), PQfinish);
    PQclear(PQexec(x.get(), ("BEGIN; UPDATE doc SET count = 10 WHERE dk_id = " + std::string(one->getPid().getIdString(0).c_str())).c_str()));
    DKSequentialCollection both;
    for (DKDDO* o : {two.get(), one.get()}) {
        o->setData(1, DKAny(20L));
        both.addElement(DKAny(static_cast<dkDataObjectBase*>(o)));
    }
    dktest::Failure f;
    std::thread writer([&] { f = dktest::failureOf<DKDatastoreError>([&] { ds->updateObjects(&both); }); });
    while (adminSql("SELECT count(*) FROM pg_stat_activity WHERE datname = '" + db + "' AND wait_event_type = 'Lock'") == "0")
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // Closing the cycle: one of the two is chosen; the writer waited longer and finds it first.
    std::unique_ptr<PGresult, void (*)(PGresult*)> r(
        PQexec(x.get(), ("UPDATE doc SET count = 30 WHERE dk_id = " + std::string(two->getPid().getIdString(0).c_str())).c_str()),
        PQclear);
    writer.join();
    PQclear(PQexec(x.get(), "COMMIT"));
    EXPECT_EQ(9205L, f.id);
    EXPECT_NE(std::string::npos, f.text.find("40P01")) << f.text;
    EXPECT_EQ("10,30", adminSql("SELECT string_agg(count::text, ',' ORDER BY dk_id) FROM doc", db));
    EXPECT_EQ(1, two->isDataChanged(1));
}

INSTANTIATE_TEST_SUITE_P(Pg, DKConformance, ::testing::Values(pgContext()),
                         [](const ::testing::TestParamInfo<dkconf::ConnectorContext>&) { return std::string("pg"); });

TEST(DKDatastorePGItems, AServerFailureInATransactionIsUndoneAloneAndQueriesSeeItsWrites) {
    std::string db;
    auto ds = freshRepository(db, {{"count", DKAny::tc_long, 0, 1}});   // not nullable
    ds->startTransaction();
    std::unique_ptr<DKDDO> kept(added(*ds, {{"count", DKAny(1L)}}));
    std::unique_ptr<DKDDO> null(ds->createDDO("Doc", 0));
    const auto f = dktest::failureOf<DKDatastoreError>([&] { null->add(); });   // refused by the server
    EXPECT_NE(std::string::npos, f.text.find("23502")) << f.text;
    // A query in the transaction sees its row, and leaves it able to write.
    EXPECT_EQ(1L, dkconf::countRows(*ds, "Doc"));
    std::unique_ptr<DKDDO> more(added(*ds, {{"count", DKAny(2L)}}));
    ds->commit();
    EXPECT_EQ("2", adminSql("SELECT count(*) FROM doc", db));
    // A disconnect rolls back what is open.
    ds->startTransaction();
    kept->del();
    ds->disconnect();
    EXPECT_EQ("2", adminSql("SELECT count(*) FROM doc", db));
}

TEST(DKDatastorePGQuery, QueriesOnlyReadAndEndAtTheirTimeout) {
    const std::string db = uniqueName("dkquery");
    auto ds = session(db, "create=1", "query_timeout=300");
    dkconf::defineEntity(*ds, "Doc", {{"title", DKAny::tc_string}, {"price", DKAny::tc_decimal}});
    std::unique_ptr<DKDDO> d(added(*ds, {{"title", DKAny("a")}, {"price", DKAny(DKDecimal("1.50"))}}));
    // Named markers bind by name, each name once however often it appears; rows of a join that
    // hold the entity's row id are its items, others plain rows typed by their columns.
    DKNVPair named[] = {DKNVPair(":T", DKAny("a")), DKNVPair("End")};
    std::unique_ptr<dkResultSetCursor> c(
        ds->execute("SELECT d.*, 2::smallint AS two FROM Doc d WHERE title = :t OR title = :t || ':x'", 4, named));
    std::unique_ptr<DKDDO> item(c->fetchNext());
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(d->getPid().pidString(), item->getPid().pidString());
    EXPECT_EQ(DKString("1.50"), static_cast<DKDecimal>(item->getDataByName("price")).toString());
    c.reset(ds->execute("SELECT title, price * 2 AS twice FROM Doc", 4, nullptr));
    std::unique_ptr<DKDDO> plain(c->fetchNext());
    EXPECT_EQ(0, plain->getPid().isSet());
    EXPECT_EQ(DKString("3.00"), static_cast<DKDecimal>(plain->getDataByName("twice")).toString());
    // Writes hidden in a SELECT meet the read-only transaction; a marker without a value, or a
    // value without a marker, is refused.
    for (const char* q : {"SELECT nextval('doc_dk_id_seq')", "WITH x AS (DELETE FROM doc RETURNING *) SELECT * FROM x",
                          "SELECT * FROM Doc WHERE title = :missing"})
        EXPECT_GT(errorOf<DKUsageError>([&] { std::unique_ptr<dkResultSetCursor>(ds->execute(q, 4, nullptr)); }), 0) << q;
    EXPECT_EQ(9221L, errorOf<DKUsageError>([&] { ds->execute("SELECT 1 AS one", 4, named); }));
    EXPECT_EQ(1L, dkconf::countRows(*ds, "Doc"));
    const auto start = std::chrono::steady_clock::now();
    const auto f = dktest::failureOf<DKDatastoreError>([&] { ds->execute("SELECT pg_sleep(5) AS s", 4, nullptr); });
    EXPECT_NE(std::string::npos, f.text.find("57014")) << f.text;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(1L, dkconf::countRows(*ds, "Doc"));   // the session goes on
    // A read-only session reads; every write of it meets the server's refusal.
    auto ro = session(db, "readonly=1");
    EXPECT_GT(errorOf<DKUsageError>([&] { added(*ro, {{"title", DKAny("b")}}); }), 0);
    EXPECT_EQ(1L, dkconf::countRows(*ro, "Doc"));
}

TEST(DKDatastorePGItems, SchemaObjectsCollectionsAndTypedQueryValues) {
    std::string db;
    auto ds = freshRepository(db, {{"title", DKAny::tc_string}, {"n", DKAny::tc_long}});
    dkDatastoreDef* def = ds->datastoreDef();
    dkEntityDef* kept = def->getEntity("doc");
    EXPECT_EQ(kept, def->getEntity("DOC"));
    EXPECT_EQ(9210L, errorOf<DKUsageError>([&] { def->getEntity("none"); }));
    long n = 0;
    std::unique_ptr<DKString[]>(kept->listAttrNames(n));
    EXPECT_EQ(2, n);
    EXPECT_EQ(2u, std::unique_ptr<dkCollection>(kept->listAttrs())->cardinality());
    EXPECT_EQ(DKAny::tc_long, kept->getAttr("N")->getType());
    EXPECT_EQ(DKAny::tc_long, std::unique_ptr<dkAttrDef>(kept->retrieveAttr("n"))->getType());
    EXPECT_EQ(9212L, errorOf<DKUsageError>([&] { kept->getAttr("x"); }));
    EXPECT_EQ(9212L, errorOf<DKUsageError>([&] { std::unique_ptr<dkAttrDef>(kept->retrieveAttr("x")); }));
    EXPECT_EQ(9212L, errorOf<DKUsageError>([&] { delete kept->removeAttr("x"); }));
    // An attribute of its own (not the entity's) is added and dropped through its entity's name.
    std::unique_ptr<dkAttrDef> loose(kept->retrieveAttr("n"));
    loose->setName("extra");
    loose->add();
    EXPECT_EQ(3u, std::unique_ptr<dkCollection>(ds->listEntityAttrs("Doc"))->cardinality());
    loose->del();
    EXPECT_EQ(9212L, errorOf<DKUsageError>([&] { loose->del(); }));
    delete kept->removeAttr("title");   // only the definition; the stored entity keeps it
    ds->clearCache();

    std::unique_ptr<DKDDO> a(added(*ds, {{"n", DKAny(1L)}})), b(added(*ds, {{"n", DKAny(2L)}}));
    DKSequentialCollection both;
    for (DKDDO* o : {a.get(), b.get()}) both.addElement(DKAny(static_cast<dkDataObjectBase*>(o)));
    ds->deleteObjects(&both);
    EXPECT_EQ(0L, dkconf::countRows(*ds, "Doc"));
    a->addData("stranger");
    EXPECT_EQ(9212L, errorOf<DKUsageError>([&] { a->add(); }));

    // Plain rows are typed by their columns; parameters by their values.
    DKNVPair params[] = {DKNVPair("f", DKAny(1.5f)), DKNVPair("c", DKAny('x')), DKNVPair("b", DKAny(1)),
                         DKNVPair("u", DKAny(static_cast<unsigned short>(7))), DKNVPair("")};
    std::unique_ptr<dkResultSetCursor> c(ds->execute(
        "SELECT 1::smallint AS s, ?::float8 AS d, ?::text AS c, ?::boolean AS b, ?::bigint AS u, date '2020-01-02' AS day, "
        "time '01:02:03.5' AS t, timestamp '2020-01-02 03:04:05.25' AS ts, '\\x00ff'::bytea AS bytes",
        4, params));
    EXPECT_EQ(DKString(db.c_str()), c->datastoreName());
    std::unique_ptr<DKDDO> row(c->fetchNext());
    ASSERT_NE(nullptr, row);
    EXPECT_TRUE(DKAny(static_cast<short>(1)) == row->getDataByName("s"));
    EXPECT_TRUE(DKAny(1.5) == row->getDataByName("d"));
    EXPECT_TRUE(DKAny("x") == row->getDataByName("c"));
    EXPECT_TRUE(DKAny("t") == row->getDataByName("b"));
    EXPECT_TRUE(DKAny(7L) == row->getDataByName("u"));
    EXPECT_TRUE(DKAny(DKDate(2020, 1, 2)) == row->getDataByName("day"));
    EXPECT_TRUE(DKAny(DKTime(1, 2, 3)) == row->getDataByName("t"));
    EXPECT_TRUE(DKAny(DKTimestamp(2020, 1, 2, 3, 4, 5, 250000000)) == row->getDataByName("ts"));
    EXPECT_EQ(2, static_cast<DKByteArray>(row->getDataByName("bytes")).length());
    c->close();
    EXPECT_EQ(0, c->isOpen());
    c->open(nullptr);
    EXPECT_EQ(1u, c->cardinality());
    // Numbers at their limits and the server's other spellings read back exactly.
    std::unique_ptr<dkResultSetCursor> edges(ds->execute(
        "SELECT (-32768)::int2 AS s, (-9223372036854775808)::int8 AS l, 5e-324::float8 AS tiny, "
        "1.7976931348623157e308::float8 AS big, 0.1::float4 AS f, '-Infinity'::float8 AS ninf, 'NaN'::float8 AS nan",
        4, nullptr));
    row.reset(edges->fetchNext());
    ASSERT_NE(nullptr, row);
    EXPECT_TRUE(DKAny(static_cast<short>(SHRT_MIN)) == row->getDataByName("s"));
    EXPECT_TRUE(DKAny(LONG_MIN) == row->getDataByName("l"));
    for (const auto& [name, v] : std::vector<std::pair<const char*, double>>{
             {"tiny", 5e-324}, {"big", 1.7976931348623157e308}, {"f", 0.1}, {"ninf", -HUGE_VAL}})
        EXPECT_EQ(v, static_cast<double>(row->getDataByName(name))) << name;
    EXPECT_TRUE(std::isnan(static_cast<double>(row->getDataByName("nan"))));
}

// A query whose every column has a binary form reads its rows in it; one more column of another
// type (a boolean) makes the same query read as text. Both give the same values, edges included.
TEST(DKDatastorePGQuery, BinaryRowsReadAsTheirTextDoes) {
    std::string db;
    auto ds = freshRepository(db);
    const std::string columns =
        "1.50::numeric AS scaled, (-0.00012)::numeric AS small, 123456789012.3400::numeric AS big, 0.000::numeric AS zero, "
        "(-10000)::numeric AS round, 2147483647::int4 AS i4, (-1)::int2 AS i2, (-9223372036854775808)::int8 AS i8, "
        "0.1::float8 AS d, date '0001-01-01' AS first, date '9999-12-31' AS last, date '1999-12-31' AS eve, "
        "time '24:00:00' AS midnight, time '13:14:15.999999' AS clock, timestamp '1999-12-31 23:59:59.999999' AS before, "
        "timestamp '0001-01-01 00:00:00' AS oldest, timestamp '2000-01-01 00:00:00.000001' AS after, "
        "'\\x00ff'::bytea AS bytes, ''::bytea AS nobytes, ''::text AS empty, 'caf\xc3\xa9'::varchar AS word, "
        "'ab'::char(4) AS padded, NULL::numeric AS nnum, NULL::date AS ndate, NULL::text AS ntext";
    std::unique_ptr<dkResultSetCursor> binary(ds->execute(("SELECT " + columns).c_str(), 4, nullptr));
    std::unique_ptr<dkResultSetCursor> text(ds->execute(("SELECT " + columns + ", true AS forced").c_str(), 4, nullptr));
    std::unique_ptr<DKDDO> b(binary->fetchNext()), t(text->fetchNext());
    ASSERT_NE(nullptr, b);
    ASSERT_NE(nullptr, t);
    for (unsigned short id = 1; id <= b->dataCount(); ++id)
        EXPECT_TRUE(b->getData(id) == t->getDataByName(b->getDataName(id).c_str())) << b->getDataName(id);
    for (const auto& [name, shown] : std::vector<std::pair<const char*, const char*>>{
             {"scaled", "1.50"}, {"small", "-0.00012"}, {"big", "123456789012.3400"}, {"zero", "0.000"}, {"round", "-10000"}})
        EXPECT_EQ(DKString(shown), static_cast<DKDecimal>(b->getDataByName(name)).toString()) << name;
    EXPECT_TRUE(DKAny(DKTimestamp(1999, 12, 31, 23, 59, 59, 999999000)) == b->getDataByName("before"));
    EXPECT_TRUE(DKAny(DKDate(1, 1, 1)) == b->getDataByName("first"));
    EXPECT_TRUE(DKAny(2147483647L) == b->getDataByName("i4"));
    EXPECT_TRUE(DKAny("ab  ") == b->getDataByName("padded"));
    EXPECT_EQ(1, b->isNull(b->dataId("nnum")));
    EXPECT_EQ(0, b->isNull(b->dataId("empty")));
    // Values no DDO holds are read errors in either form.
    for (const char* value : {"'infinity'::date", "'-infinity'::timestamp", "'NaN'::numeric", "'Infinity'::numeric",
                              "date '0044-03-15 BC'", "timestamp '10000-01-01 00:00'"})
        for (const char* more : {"", ", true"}) {
            std::unique_ptr<dkResultSetCursor> c(ds->execute((std::string("SELECT ") + value + more).c_str(), 4, nullptr));
            EXPECT_EQ(9219L, errorOf<DKDatastoreError>([&] { std::unique_ptr<DKDDO>(c->fetchNext()); })) << value << more;
        }
}

// ---------------------------------------------------------------------------------------------
// Trees and text search: what the conformance suite cannot ask of every connector.

using dkconf::values;   // a leaf whose values may hold any byte

TEST(DKDatastorePGSearch, TreeValuesStayDataAndTreesSpanEntities) {
    std::string db;
    auto ds = freshRepository(db, dkconf::allTypes());
    dkconf::defineEntity(*ds, "Memo", {{"title", DKAny::tc_string}});
    for (const char* t : {"ab", "AB", "\xc3\x89t\xc3\xa9", "\xc3\xa9t\xc3\xa9", "a\"}b"})
        added(*ds, {{"title", DKAny(t)}, {"stamp", DKAny(DKTimestamp(2024, 1, 2, 3, 4, 5, 123456000))}});
    dkconf::addedItem(*ds, "Memo", {{"title", DKAny("ab")}});
    auto count = [&](DKQTerm* t, const char* entity = "Doc") { return dkconf::countTree(*ds, dkconf::treeOf(entity, t)); };
    // LIKE folds ASCII letters only; a zero byte compares as a byte, before every letter.
    EXPECT_EQ(2UL, count(values("title", DKOpCode::opLike, {"ab"})));
    EXPECT_EQ(1UL, count(values("title", DKOpCode::opLike, {"\xc3\xa9t\xc3\xa9"})));
    const DKString nul(std::string("ab\0", 3));
    EXPECT_EQ(5UL, count(values("title", DKOpCode::opNotEqual, {nul})));
    EXPECT_EQ(3UL, count(values("title", DKOpCode::opLess, {nul})));   // "AB", "a\"}b", "ab"
    EXPECT_EQ(1UL, count(new DKQTerm("title", DKOpCode::opIn, std::vector<DKString>{nul, "ab"}.data(), 2)));
    // Array syntax in a list's values is data; a list of any length is one parameter.
    EXPECT_EQ(1UL, count(new DKQTerm("title", DKOpCode::opIn, std::vector<DKString>{"a\"}b", "x}", "{"}.data(), 3)));
    std::vector<DKString> many(70000, DKString("ab"));
    EXPECT_EQ(1UL, count(new DKQTerm("title", DKOpCode::opIn, many.data(), static_cast<long>(many.size()))));
    // Timestamps: microseconds compare, finer digits are refused unless zeros.
    EXPECT_EQ(5UL, count(values("stamp", DKOpCode::opEqual, {"2024-01-02 03:04:05.123456000"})));
    EXPECT_EQ(9216L, errorOf<DKUsageError>([&] { count(values("stamp", DKOpCode::opEqual, {"2024-01-02 03:04:05.1234561"})); }));
    // Unknown names and shapes.
    EXPECT_EQ(9212L, errorOf<DKUsageError>([&] { count(values("nothere", DKOpCode::opEqual, {"1"})); }));
    EXPECT_EQ(9210L, errorOf<DKUsageError>([&] { count(values("title", DKOpCode::opEqual, {"1"}), "Nothere"); }));
    for (const int levels : {390, 500}) {   // deep trees run up to the limit and are refused beyond it
        DKQTerm* deep = values("title", DKOpCode::opEqual, {"ab"});
        for (int i = 0; i < levels; ++i) deep = deep->not_();
        EXPECT_EQ(levels < 400 ? -1L : 303L, errorOf<DKUsageError>([&] { EXPECT_EQ(1UL, count(deep)); }));
    }
    // OR of two entities: the items of each, one entity after the other, through one cursor.
    DKQExpr* both = dkconf::takeLeaf(dkconf::treeOf("Doc", values("title", DKOpCode::opEqual, {"ab"})))
                        ->or_(dkconf::takeLeaf(dkconf::treeOf("Memo", values("title", DKOpCode::opEqual, {"ab"}))));
    std::unique_ptr<DKCQExpr> tree(new DKCQExpr(both));
    std::unique_ptr<dkResultSetCursor> c(ds->execute(tree.get()));
    EXPECT_EQ(2UL, c->cardinality());
    std::vector<std::string> types;
    while (std::unique_ptr<DKDDO> d{c->fetchNext()}) types.push_back(d->getPid().getObjectType().str());
    EXPECT_EQ((std::vector<std::string>{"Doc", "Memo"}), types);
    EXPECT_EQ(1, c->isEnd());
    EXPECT_EQ(2L, c->getPosition());
    EXPECT_EQ("5", adminSql("SELECT count(*) FROM doc", db));
}

TEST(DKDatastorePGSearch, TextWordsAreIndexedMatchAcrossAttributesAndEntities) {
    std::string db;
    auto ds = freshRepository(db);
    dkconf::addNotes(*ds, {{"Apple pie", "cherry", "x"}, {"pear", "apple tart", "x"}});
    dkconf::defineEntity(*ds, "Memo", {{"title", DKAny::tc_string, 1}});
    dkconf::addedItem(*ds, "Memo", {{"title", DKAny("an apple")}});
    // Each text column has its index of words, the expression every match uses.
    EXPECT_EQ("2", adminSql("SELECT count(*) FROM pg_indexes WHERE tablename = 'note' AND indexdef LIKE '%gin (to_tsvector(%'", db));
    using V = std::vector<std::string>;
    EXPECT_EQ((V{"Apple pie"}), dkconf::textFound(*ds, "apple cherry"));   // words spread over two attributes
    EXPECT_EQ((V{"Apple pie", "pear"}), dkconf::textFound(*ds, "APP* NOT memo", "Note"));
    EXPECT_EQ((V{"pear"}), dkconf::textFound(*ds, "body : (tart OR pie) AND \"apple tart\"*", "Note"));
    // Without an entity every entity with text-searchable attributes is searched.
    EXPECT_EQ((V{"Apple pie", "pear", "an apple"}), dkconf::textFound(*ds, "apple"));
    for (const char* bad : {"tag : x", "(apple", "apple OR", "NEAR(a b)", "a + b", "a)"})
        EXPECT_EQ(9231L, errorOf<DKUsageError>([&] { dkconf::textFound(*ds, bad); })) << bad;
}
