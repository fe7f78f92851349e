// tests/connectors/DKDatastorePGBatch_test.cpp
//
// The PostgreSQL connector's cursors, which read their rows in batches, and its faults for real:
// a FETCH past its timeout, a backend the server ends mid-iteration, a server stopped under writes
// and a pool that must not hand out the dead session. The test that stops its server starts one of
// its own; the others share the fixture's. dk-threaded-suite: a writer thread meets the stop.

#include "dkConnectorSupport.hpp"
#include "dkPgTestSupport.hpp"

#include <dk/DKDatastorePool.hpp>

#include <malloc.h>

#include <atomic>
#include <chrono>
#include <thread>

using dktest::errorOf;

namespace {

// A new repository with an entity Doc (n, pad) on server, connected as its superuser.
// The database's name in database, when given.
std::unique_ptr<dkDatastore> repository(const char* config, const std::map<std::string, std::string>& server = dkpgtest::server(),
                                        std::string* database = nullptr) {
    const std::string db = dkpgtest::uniqueName("dkbatch");
    if (database != nullptr) *database = db;
    auto ds = dkpgtest::session("host=" + server.at("DKPG_HOST") + " dbname=" + db, server.at("DKPG_USER"), server.at("DKPG_PASSWORD"),
                                "create=1", config);
    dkconf::defineEntity(*ds, "Doc", {{"n", DKAny::tc_long}, {"pad", DKAny::tc_string}});
    return ds;
}

void addDoc(dkDatastore& ds, long n) { dkconf::addedItem(ds, "Doc", {{"n", DKAny(n)}, {"pad", DKAny(DKString(std::string(200, 'x').c_str()))}}); }

long column(dkResultSetCursor& c, const char* name) {
    std::unique_ptr<DKDDO> d(c.fetchNext());
    return d ? static_cast<long>(d->getDataByName(name)) : -1;
}

}  // namespace

TEST(DKDatastorePGBatch, EveryRowComesOnceAcrossBatchesInBoundedMemory) {
    auto ds = repository("fetch_rows=2");
    for (long rows : {0L, 1L, 2L, 3L, 4L}) {   // none, part of a batch, whole batches, one over
        std::unique_ptr<dkResultSetCursor> c(ds->execute(("SELECT n FROM generate_series(1, " + std::to_string(rows) + ") n").c_str(), 4, nullptr));
        EXPECT_EQ(static_cast<unsigned long>(rows), c->cardinality());
        long seen = 0;
        for (DKDDO row; c->fetchNext(row) == 1;) EXPECT_EQ(++seen, static_cast<long>(row.getDataByName("n")));
        EXPECT_EQ(rows, seen);
        EXPECT_EQ(nullptr, c->fetchNext());
    }
    for (const char* config : {"fetch_rows=0", "fetch_rows=100001"})
        EXPECT_EQ(9206L, errorOf<DKUsageError>([&] { delete dkconf::factoryFor(DKPG_LIBRARY).createWithConfig("DKDatastorePG", config); }));
    // A million rows: the client holds one batch at a time (all at once would take some 70 MB).
    ds = repository("");   // batches of the default size
    const auto heap = [] { return mallinfo2().uordblks + mallinfo2().hblkhd; };
    const std::size_t base = heap();
    std::size_t peak = base;
    std::unique_ptr<dkResultSetCursor> c(ds->execute("SELECT n, 'row ' || n AS label FROM generate_series(1, 1000000) n", 4, nullptr));
    long seen = 0;
    for (DKDDO row; c->fetchNext(row) == 1;)
        if (++seen % 5000 == 0) peak = std::max(peak, heap());
    EXPECT_EQ(1000000L, seen);
    EXPECT_LT(peak - base, std::size_t(8) << 20);
}

TEST(DKDatastorePGBatch, ReadsInterleaveWithCursorsAndWritesWaitForThem) {
    auto ds = repository("fetch_rows=2");
    for (long n = 1; n <= 5; ++n) addDoc(*ds, n);
    std::unique_ptr<dkResultSetCursor> c(ds->execute("SELECT * FROM Doc ORDER BY n", 4, nullptr));
    std::unique_ptr<DKDDO> first(c->fetchNext());
    DKDDO again(ds.get(), first->getPid(), static_cast<unsigned short>(0));
    again.retrieve();   // reads run beside the cursor
    EXPECT_EQ(5L, dkconf::countRows(*ds, "Doc"));
    EXPECT_EQ(5UL, c->cardinality());
    // Writes wait until it is read to its end, closed or deleted; it goes on meanwhile.
    for (const auto& write : std::vector<std::function<void()>>{[&] { addDoc(*ds, 6); }, [&] { again.del(); },
                                                                [&] { ds->startTransaction(); },
                                                                [&] { dkconf::defineEntity(*ds, "Other", {}); }})
        EXPECT_EQ(9226L, errorOf<DKUsageError>(write));
    for (long n = 2; n <= 5; ++n) EXPECT_EQ(n, column(*c, "n"));
    EXPECT_EQ(-1L, column(*c, "n"));
    addDoc(*ds, 6);
    c->open();
    c->close();
    addDoc(*ds, 7);
    // In the caller's transaction they interleave, and the cursor ends with the transaction.
    ds->startTransaction();
    c.reset(ds->execute("SELECT * FROM Doc WHERE n > 5 ORDER BY n", 4, nullptr));
    std::unique_ptr<DKDDO> six(c->fetchNext());
    six->setData(1, DKAny(60L));
    six->update();
    ds->commit();
    EXPECT_EQ(9227L, errorOf<DKDatastoreError>([&] { c->fetchNext(); }));
    c->open();
    EXPECT_EQ(7L, column(*c, "n"));
    EXPECT_EQ(60L, column(*c, "n"));
}

// A query run again reuses the session's prepared statement: two cursors of one text at once,
// and another session changing or dropping the table between runs.
TEST(DKDatastorePGBatch, APreparedQueryFollowsSchemaChangesAndSharesNoPortal) {
    std::string db;
    auto ds = repository("fetch_rows=2", dkpgtest::server(), &db);
    for (long n = 1; n <= 3; ++n) addDoc(*ds, n);
    const char* q = "SELECT * FROM Doc WHERE n >= ? AND n <= 3 ORDER BY n";
    const auto run = [&](long from) {
        DKNVPair p[] = {DKNVPair("from", DKAny(from)), DKNVPair("End")};
        return std::unique_ptr<dkResultSetCursor>(ds->execute(q, 4, p));
    };
    for (int pass = 0; pass < 2; ++pass) {   // the first prepares, the second runs the prepared one
        auto a = run(1), b = run(2);
        for (long n : {1L, 2L}) EXPECT_EQ(n, column(*a, "n"));
        for (long n : {2L, 3L}) EXPECT_EQ(n, column(*b, "n"));
        EXPECT_EQ(3L, column(*a, "n"));
        EXPECT_EQ(-1L, column(*a, "n"));
        EXPECT_EQ(-1L, column(*b, "n"));
        addDoc(*ds, 4 + pass);   // both read to their end: the session writes again
    }
    dkpgtest::adminSql("ALTER TABLE doc ADD COLUMN extra integer DEFAULT 7, ALTER COLUMN n TYPE integer", db);
    std::unique_ptr<DKDDO> row(run(3)->fetchNext());
    ASSERT_NE(nullptr, row);
    EXPECT_EQ(3L, static_cast<long>(row->getDataByName("n")));
    dkpgtest::adminSql("ALTER TABLE doc RENAME TO gone", db);
    EXPECT_GT(errorOf<DKUsageError>([&] { run(1); }), 0);   // 42P01, as the server reports it
    dkpgtest::adminSql("ALTER TABLE gone RENAME TO doc", db);
    addDoc(*ds, 6);   // the failed query left no transaction behind
    EXPECT_EQ(2L, column(*run(2), "n"));
}

TEST(DKDatastorePGBatch, AFetchEndsAtItsTimeoutAndAnEndedBackendIsReported) {
    auto ds = repository("query_timeout=300;fetch_rows=1");
    // The second row's batch sleeps past the timeout; the session goes on.
    std::unique_ptr<dkResultSetCursor> c(ds->execute("SELECT n FROM generate_series(1, 3) n WHERE n < 2 OR pg_sleep(5) IS NOT NULL", 4, nullptr));
    EXPECT_EQ(1L, column(*c, "n"));
    const auto start = std::chrono::steady_clock::now();
    const auto f = dktest::failureOf<DKDatastoreError>([&] { c->fetchNext(); });
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_NE(std::string::npos, f.text.find("57014")) << f.text;
    EXPECT_EQ(nullptr, c->fetchNext());
    addDoc(*ds, 1);
    // The server ends the backend between two batches.
    c.reset(ds->execute("SELECT pg_backend_pid() AS pid FROM generate_series(1, 3)", 4, nullptr));
    dkpgtest::adminSql("SELECT pg_terminate_backend(" + std::to_string(column(*c, "pid")) + ", 5000)");
    EXPECT_EQ(9223L, errorOf<DKServerNotAvailable>([&] { c->fetchNext(); }));
    EXPECT_EQ(nullptr, c->fetchNext());
    EXPECT_EQ(2, ds->validateConnection());
}

TEST(DKDatastorePGFaults, AStoppedServerLosesNoHalfWriteAndThePoolRecovers) {
    dktest::TempDir dir;
    const auto script = [&](const char* action) { return std::system((std::string(DKPG_SERVER_SCRIPT) + " " + action + " " + dir.str()).c_str()); };
    ASSERT_EQ(0, script("start"));
    std::shared_ptr<void> stop(nullptr, [&](void*) { script("stop"); });
    const auto own = dkpgtest::readServer(dir.str());
    auto ds = repository("", own);
    DKDatastorePool pool("PG", "dkdspg");
    pool.setDatastoreName(ds->datastoreName().c_str());
    pool.setValidate(1);
    const auto pooled = [&] { return pool.getConnection(own.at("DKPG_USER").c_str(), own.at("DKPG_PASSWORD").c_str()); };
    dkDatastore* kept[] = {pooled(), pooled()};   // sessions the stop ends
    for (dkDatastore* k : kept) pool.returnConnection(k);
    // Adds run until the server stops under them.
    std::atomic<long> started{0};
    std::thread writer([&] { EXPECT_GT(errorOf<DKServerNotAvailable>([&] { for (;;) addDoc(*ds, ++started); }), 0); });
    while (started < 20) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(0, script("halt"));
    writer.join();
    EXPECT_EQ(2, ds->validateConnection());
    EXPECT_GT(errorOf<DKServerNotAvailable>([&] { pooled(); }), 0);
    // Back again: a working session; the acknowledged adds are there whole, the one in flight whole or not at all.
    ASSERT_EQ(0, script("resume"));
    dkDatastore* back = pooled();
    const long stored = dkconf::countRows(*back, "Doc");
    EXPECT_TRUE(stored == started - 1 || stored == started) << stored << " of " << started;
    EXPECT_EQ(stored, dkconf::countRows(*back, "Doc WHERE length(pad) = 200"));
    pool.returnConnection(back);
}
