// tests/connectors/DKDatastoreSQLITE_test.cpp
//
// The SQLite connector: the conformance suite instantiated for it, then what only this connector
// has (its configuration and connect strings, the repository file itself, several threads on one
// file). The connector is loaded from libdkdssqlite.so as the connection pool loads it.
// dk-threaded-suite

#include "dkConformance.hpp"

#include <sqlite3.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;
using namespace dkconf;

namespace {

ConnectorContext sqliteContext() {
    ConnectorContext c;
    c.library = "dkdssqlite";   // the bare name an application gives the pool
    c.className = "DKDatastoreSQLITE";
    c.config = "pbkdf2_iterations=1000;busy_timeout=10000";   // cheap hashes keep the suite quick
    c.newRepository = [](const std::string& dir) { return dir + "/repo.db"; };
    c.createConnect = "create=1";
    c.connect = "";
    c.damage = [](const std::string& path) {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < 8192; ++i) out.put(static_cast<char>(i * 37 + 11));
    };
    c.protectedTable = "dk_users";
    return c;
}

// Runs SQL on a file directly, as another program would, and returns the first column of the
// first row as text.
std::string rawQuery(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    std::string out;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW &&
            sqlite3_column_text(s, 0))
            out = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return out;
}

std::unique_ptr<dkDatastore> make(const char* config) {
    ConnectorContext c = sqliteContext();
    c.config = config;
    return newDatastore(c);
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Sqlite, DKConformance, ::testing::Values(sqliteContext()),
                         [](const ::testing::TestParamInfo<ConnectorContext>&) { return std::string("sqlite"); });

TEST(DKDatastoreSQLITE, LoadsBesideTheLibraryAndRejectsBadStrings) {
    PDynamicLoader& l = loaderFor("dkdssqlite");
    EXPECT_EQ(fs::canonical(DKSQLITE_LIBRARY), fs::canonical(l.path().c_str()));
    auto destroy = reinterpret_cast<void (*)(dkDatastore*)>(l.getProcAddress("destroyObject"));
    destroy(make("busy_timeout=1;journal_mode=wal;synchronous=full;cache_size=-100").release());

    for (const char* bad : {"busy_timeout=-1", "journal_mode=OFF", "synchronous=sometimes", "no_such_key=1",
                            "pbkdf2_iterations=10", "busy_timeout"})
        EXPECT_EQ(9005L, errorOf<DKUsageError>([&] { make(bad); })) << bad;

    dktest::TempDir dir;
    auto ds = make("pbkdf2_iterations=1000");
    const std::string path = (dir / "r.db").string();
    for (const char* bad : {"crate=1", "create=maybe", "name="})
        EXPECT_EQ(9006L, errorOf<DKUsageError>([&] { ds->connect(path.c_str(), "u", "p", bad); })) << bad;
    EXPECT_EQ(9006L, errorOf<DKUsageError>([&] { ds->connect(path.c_str(), "", "p", "create=1"); }));
    EXPECT_FALSE(fs::exists(path));   // nothing was created by a refused connect
    EXPECT_EQ(9003L, errorOf<DKServerNotAvailable>([&] { ds->connect(path.c_str(), "u", "p", ""); }));
}

TEST(DKDatastoreSQLITE, RepositoryFileKeepsHashesWalModeAndItsNameWhenMoved) {
    dktest::TempDir dir;
    const std::string first = (dir / "first.db").string(), second = (dir / "second.db").string();
    auto a = make("pbkdf2_iterations=1000");
    a->connect(first.c_str(), "alice", "pw", "create=1;name=Archive");
    auto b = make("pbkdf2_iterations=1000");
    b->connect(second.c_str(), "alice", "pw", "create=1");
    EXPECT_EQ("wal", rawQuery(first, "PRAGMA journal_mode"));
    // Salted: the same password gives different hashes, and neither holds the password.
    const std::string h1 = rawQuery(first, "SELECT hex(hash) FROM dk_users"), h2 = rawQuery(second, "SELECT hex(hash) FROM dk_users");
    EXPECT_EQ(64u, h1.size());
    EXPECT_NE(h1, h2);
    EXPECT_EQ("1000", rawQuery(first, "SELECT iterations FROM dk_users WHERE name = 'alice'"));

    defineEntity(*a, "Doc", {{"title", DKAny::tc_string}, {"price", DKAny::tc_decimal}, {"day", DKAny::tc_date}});
    std::unique_ptr<DKDDO> d(a->createDDO("Doc", 0));
    d->setData(1, DKAny("x"));
    d->setData(2, DKAny(DKDecimal("0.10")));
    d->setData(3, DKAny(DKDate(2004, 2, 29)));
    d->add();
    EXPECT_EQ(DKString("SQLITE"), d->getPid().getDatastoreType());
    EXPECT_EQ(DKString("Archive"), d->getPid().getDatastoreName());
    const DKString pid = d->getPid().pidString();
    a->disconnect();

    // The pid names the item in the moved file too.
    const std::string moved = (dir / "moved.db").string();
    fs::rename(first, moved);
    a->connect(moved.c_str(), "alice", "pw", "");
    DKDDO back(a.get(), DKPid(pid.c_str()), static_cast<unsigned short>(0));
    back.retrieve();
    EXPECT_EQ(DKString("x"), static_cast<DKString>(back.getDataByName("title")));
    // Decimals stay exact and dates compare in SQL with a bound date.
    DKNVPair params[] = {DKNVPair("d", DKAny(DKDate(2004, 3, 1))), DKNVPair("")};
    std::unique_ptr<dkResultSetCursor> c(a->execute("SELECT price, day FROM Doc WHERE day < ?", 4, params));
    std::unique_ptr<DKDDO> row(c->fetchNext());
    ASSERT_NE(nullptr, row);
    EXPECT_TRUE(DKAny(DKDecimal("0.10")) == row->getDataByName("price"));
    EXPECT_EQ(DKAny::tc_decimal, static_cast<unsigned short>(row->getDataPropertyByName("price", "type")));

    // b's pid is not a's: the repository names differ.
    DKDDO stranger(b.get(), DKPid(pid.c_str()), static_cast<unsigned short>(0));
    EXPECT_EQ(9018L, errorOf<DKUsageError>([&] { stranger.retrieve(); }));
}

TEST(DKDatastoreSQLITE, ForeignOrDamagedFilesAreRefusedUntouched) {
    dktest::TempDir dir;
    const std::string foreign = (dir / "foreign.db").string();
    rawQuery(foreign, "CREATE TABLE mine(x)");
    auto ds = make("pbkdf2_iterations=1000");
    EXPECT_EQ(9001L, errorOf<DKDatastoreError>([&] { ds->connect(foreign.c_str(), "u", "p", "create=1"); }));
    EXPECT_EQ("1", rawQuery(foreign, "SELECT count(*) FROM sqlite_schema"));

    // An empty file is a new repository only when creation is asked for.
    const std::string empty = (dir / "empty.db").string();
    std::ofstream(empty).close();
    EXPECT_EQ(9001L, errorOf<DKDatastoreError>([&] { ds->connect(empty.c_str(), "u", "p", ""); }));
    ds->connect(empty.c_str(), "u", "p", "create=1");
    EXPECT_EQ(1, ds->isConnected());
    defineEntity(*ds, "Doc", {{"body", DKAny::tc_bytearray}});
    std::string big(200000, 'z');
    for (int i = 0; i < 20; ++i) {
        std::unique_ptr<DKDDO> d(ds->createDDO("Doc", 0));
        d->setData(1, DKAny(DKByteArray(big.data(), static_cast<long>(big.size()), 0)));
        d->add();
    }
    ds->disconnect();   // the last connection checkpoints the log into the file

    // Cut in half: a clear error at connect or at the first read, never a crash.
    fs::resize_file(empty, fs::file_size(empty) / 2);
    long rc = errorOf<DKException>([&] {
        ds->connect(empty.c_str(), "u", "p", "");
        std::unique_ptr<dkResultSetCursor> c(ds->execute("SELECT * FROM Doc", 4, nullptr));
        while (std::unique_ptr<DKDDO>(c->fetchNext())) {
        }
    });
    EXPECT_GT(rc, 0);
}

TEST(DKDatastoreSQLITE, SeveralObjectsOnOneFileWorkFromSeveralThreads) {
    dktest::TempDir dir;
    const std::string path = (dir / "shared.db").string();
    {
        auto ds = make("pbkdf2_iterations=1000");
        ds->connect(path.c_str(), "u", "p", "create=1");
        defineEntity(*ds, "Doc", {{"n", DKAny::tc_long}});
    }
    constexpr int kThreads = 4, kEach = 25;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            try {
                auto ds = make("pbkdf2_iterations=1000;busy_timeout=20000");
                ds->connect(path.c_str(), "u", "p", "");
                for (int i = 0; i < kEach; ++i) {
                    std::unique_ptr<DKDDO> d(ds->createDDO("Doc", 0));
                    d->setData(1, DKAny(static_cast<long>(t * 1000 + i)));
                    d->add();
                    countRows(*ds, "Doc");
                }
            } catch (...) {
                ++failures;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(0, failures.load());
    auto ds = make("pbkdf2_iterations=1000");
    ds->connect(path.c_str(), "u", "p", "");
    EXPECT_EQ(static_cast<long>(kThreads * kEach), countRows(*ds, "Doc"));
}
