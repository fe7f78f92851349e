// tests/connectors/DKDatastoreSQLITE_test.cpp
//
// The SQLite connector: the conformance suite instantiated for it, then what only this connector
// has (its configuration and connect strings, the repository file itself and its modes, read-only
// connects, the journal mode, limits on queries, refused SQL functions). The connector is loaded
// from libdkdssqlite.so as the connection pool loads it.

#include "dkConformance.hpp"
#include "dkSqliteTestSupport.hpp"

#include <dk/dkResource.hpp>

#include <chrono>

using namespace dkconf;
using namespace dksqlitetest;

INSTANTIATE_TEST_SUITE_P(Sqlite, DKConformance, ::testing::Values(sqliteContext()),
                         [](const ::testing::TestParamInfo<ConnectorContext>&) { return std::string("sqlite"); });

TEST(DKDatastoreSQLITE, LoadsBesideTheLibraryAndRejectsBadStrings) {
    PDynamicLoader& l = loaderFor("dkdssqlite");
    EXPECT_EQ(fs::canonical(DKSQLITE_LIBRARY), fs::canonical(l.path().c_str()));
    auto destroy = reinterpret_cast<void (*)(dkDatastore*)>(l.getProcAddress("destroyObject"));
    destroy(make("busy_timeout=1;journal_mode=wal;synchronous=full;cache_size=-100;query_timeout=0;heap_limit=0").release());

    for (const char* bad : {"busy_timeout=-1", "journal_mode=OFF", "synchronous=sometimes", "no_such_key=1",
                            "pbkdf2_iterations=10", "busy_timeout", "query_timeout=-1", "query_timeout=soon",
                            "heap_limit=1000", "heap_limit=-1"})
        EXPECT_EQ(9005L, errorOf<DKUsageError>([&] { make(bad); })) << bad;

    dktest::TempDir dir;
    auto ds = make(kCheap);
    const std::string path = (dir / "r.db").string();
    for (const char* bad : {"crate=1", "create=maybe", "name=", "readonly=maybe", "readonly=1;create=1"})
        EXPECT_EQ(9006L, errorOf<DKUsageError>([&] { ds->connect(path.c_str(), "u", "p", bad); })) << bad;
    EXPECT_EQ(9006L, errorOf<DKUsageError>([&] { ds->connect(path.c_str(), "", "p", "create=1"); }));
    EXPECT_EQ(9006L, errorOf<DKUsageError>([&] { ds->connect("", "u", "p", "create=1"); }));
    EXPECT_EQ(9003L, errorOf<DKServerNotAvailable>([&] { ds->connect(path.c_str(), "u", "p", "readonly=1"); }));
    EXPECT_FALSE(fs::exists(path));   // nothing was created by a refused connect
    EXPECT_EQ(9003L, errorOf<DKServerNotAvailable>([&] { ds->connect(path.c_str(), "u", "p", ""); }));
    // An empty file is a new repository only when creation is asked for; another program's
    // database never is, and stays as it was.
    std::ofstream(path).close();
    EXPECT_EQ(9001L, errorOf<DKDatastoreError>([&] { ds->connect(path.c_str(), "u", "p", ""); }));
    ASSERT_TRUE(rawExec(path, "CREATE TABLE mine(x)"));
    EXPECT_EQ(9001L, errorOf<DKDatastoreError>([&] { ds->connect(path.c_str(), "u", "p", "create=1"); }));
    EXPECT_EQ("1", rawQuery(path, "SELECT count(*) FROM sqlite_schema"));
}

TEST(DKDatastoreSQLITE, RepositoryNameAndSaltedHashesStayWithTheFile) {
    dktest::TempDir dir;
    const std::string first = (dir / "first.db").string(), second = (dir / "second.db").string();
    auto a = open(first, "create=1;name=Archive");
    open(second, "create=1");
    // Salted: the same password gives different hashes, and neither holds the password.
    const std::string h1 = rawQuery(first, "SELECT hex(hash) FROM dk_users");
    EXPECT_EQ(64u, h1.size());
    EXPECT_NE(h1, rawQuery(second, "SELECT hex(hash) FROM dk_users"));

    defineEntity(*a, "Doc", {{"price", DKAny::tc_decimal}});
    auto d = addedItem(*a, "Doc", {{"price", DKAny(DKDecimal("0.10"))}});
    EXPECT_EQ(DKString("Archive"), d->getPid().getDatastoreName());
    a->disconnect();
    // The pid names the item in the moved file too; the decimal stays exact and typed.
    const std::string moved = (dir / "moved.db").string();
    fs::rename(first, moved);
    auto b = open(moved, "");
    auto back = retrievedItem(*b, d->getPid(), 0);
    EXPECT_TRUE(DKAny(DKDecimal("0.10")) == back->getDataByName("price"));
    EXPECT_EQ(DKAny::tc_decimal, static_cast<unsigned short>(back->getDataPropertyByName("price", "type")));
}

TEST(DKDatastoreSQLITE, DDOsOfEveryKindAreWrittenByTheirItemNames) {
    dktest::TempDir dir;
    auto ds = open((dir / "r.db").string(), "create=1");
    defineEntity(*ds, "Doc", {{"title", DKAny::tc_string}, {"count", DKAny::tc_long}});
    // Items in another order and case than the entity's attributes; the DDO is a resource (also a
    // content object), handed over once directly and once as the DDO half a collection holds.
    dkResource r("Doc", 0);
    r.addData("COUNT", DKAny(7L));
    r.addData("Title", DKAny("first"));
    ds->addObject(&r);
    r.setData(2, DKAny("second"));
    DKSequentialCollection both;
    both.addElement(DKAny(static_cast<dkDataObjectBase*>(static_cast<DKDDO*>(&r))));
    ds->updateObjects(&both);
    auto back = retrievedItem(*ds, static_cast<DKDDO&>(r).getPid(), 0);
    EXPECT_EQ(DKString("second"), static_cast<DKString>(back->getDataByName("title")));
    EXPECT_EQ(7L, static_cast<long>(back->getDataByName("count")));

    // An item that is no attribute is refused when written, left alone when read.
    r.addData("mine", DKAny(1L));
    EXPECT_EQ(9010L, errorOf<DKUsageError>([&] { ds->updateObject(&r); }));
    EXPECT_EQ(9010L, errorOf<DKUsageError>([&] { ds->addObject(&r); }));
    ds->retrieveObject(&r);
    EXPECT_EQ(1L, static_cast<long>(r.getData(3)));
    EXPECT_EQ(DKString("second"), static_cast<DKString>(r.getData(2)));
}

namespace {

// Makes the current folder dir for one test and goes back afterwards (relative names are the point).
class InFolder {
public:
    explicit InFolder(const fs::path& dir) : back_(fs::current_path()) { fs::current_path(dir); }
    ~InFolder() { fs::current_path(back_); }

private:
    fs::path back_;
};

// Bytes 18 and 19 of the file's header (1,1 in a rollback-journal mode, 2,2 in WAL mode) and
// the journal mode the repository records.
std::string journalMode(const std::string& path) {
    const std::string bytes = dktest::readFile(path).substr(18, 2);
    return std::to_string(bytes[0]) + "," + std::to_string(bytes[1]) + " " +
           rawQuery(path, "SELECT value FROM dk_repository WHERE key = 'journal_mode'");
}

std::unique_ptr<DKDDO> addDoc(dkDatastore& ds, long n) { return addedItem(ds, "Doc", {{"n", DKAny(n)}}); }

// Defines Doc(n) on ds and adds the items n = 1..count; the pid of the last.
DKString withDocs(dkDatastore& ds, long count) {
    defineEntity(ds, "Doc", {{"n", DKAny::tc_long}});
    DKString pid;
    for (long n = 1; n <= count; ++n) pid = addDoc(ds, n)->getPid().pidString();
    return pid;
}

}  // namespace

TEST(DKDatastoreSQLITEFiles, UriAndMemoryNamesAreFilesAndKeepTheirLocks) {
    dktest::TempDir dir;
    InFolder here(dir.path());
    for (const char* name : {"file:x.db?vfs=unix-none", ":memory:"}) {
        auto a = open(name, "create=1");
        EXPECT_TRUE(fs::is_regular_file(dir / name)) << name;
        EXPECT_EQ(DKString(name), a->datastoreName());
        withDocs(*a, 1);
        // Another connection on the same name sees the same file, and waits for its lock: the
        // vfs=unix-none of the name, had it been read as a URI, would have switched locking off.
        auto b = open(name, "", "pbkdf2_iterations=1000;busy_timeout=0");
        EXPECT_EQ(1L, countRows(*b, "Doc")) << name;
        a->startTransaction();
        EXPECT_GT(errorOf<DKDatastoreError>([&] { b->startTransaction(); }), 0) << name;
        a->rollback();
        b->disconnect();
        // validateConnection treats ":memory:" like any other file: gone is gone.
        EXPECT_EQ(0, a->validateConnection());
        for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(dir / (std::string(name) + suffix));
        EXPECT_EQ(1, a->validateConnection()) << name;
    }
}

TEST(DKDatastoreSQLITEFiles, ReadOnlyConnectReadsAndChangesNoByte) {
    dktest::TempDir dir;
    const std::string path = (dir / "r.db").string();
    const DKString pid = withDocs(*open(path, "create=1", "pbkdf2_iterations=1000;journal_mode=DELETE"), 3);
    const std::string before = dktest::readFile(path);
    auto r = open(path, "readonly=1");
    EXPECT_EQ(3L, countRows(*r, "Doc"));
    auto item = retrievedItem(*r, DKPid(pid.c_str()), 0);
    EXPECT_EQ(3L, static_cast<long>(item->getDataByName("n")));

    // Every kind of write is refused with the same clear error, and a read transaction works.
    std::unique_ptr<DKDDO> fresh(r->createDDO("Doc", 0));
    item->setData(item->dataId("n"), DKAny(7L));
    DKSequentialCollection all;
    all.addElement(DKAny(static_cast<dkDataObjectBase*>(fresh.get())));
    for (const std::function<void()>& write : std::vector<std::function<void()>>{
             [&] { fresh->add(); }, [&] { item->update(); }, [&] { item->del(); }, [&] { r->addObjects(&all); },
             [&] { defineEntity(*r, "Other", {{"n", DKAny::tc_long}}); },
             [&] { r->datastoreDef()->deleteEntity("Doc"); }}) {
        const dktest::Failure f = dktest::failureOf<DKDatastoreError>(write);
        EXPECT_EQ(9120L, f.id);
        EXPECT_NE(std::string::npos, f.text.find("read-only")) << f.text;
    }
    r->startTransaction();
    EXPECT_EQ(3L, countRows(*r, "Doc"));
    r->commit();
    r->disconnect();
    EXPECT_TRUE(before == dktest::readFile(path));
    EXPECT_EQ("", besideFiles(path));
}

TEST(DKDatastoreSQLITEFiles, JournalModeIsChosenAtCreationAndKept) {
    dktest::TempDir dir;
    const std::string rollback = (dir / "rollback.db").string(), wal = (dir / "wal.db").string();
    open(rollback, "create=1", "pbkdf2_iterations=1000;journal_mode=DELETE");
    open(wal, "create=1");
    EXPECT_EQ("1,1 DELETE|2,2 WAL", journalMode(rollback) + "|" + journalMode(wal));

    // A writing connect with the default configuration keeps the repository's own mode, and so
    // does one to a repository made before the mode was recorded.
    withDocs(*open(rollback, ""), 1);
    EXPECT_EQ("1,1 DELETE", journalMode(rollback));
    ASSERT_TRUE(rawExec(rollback, "DELETE FROM dk_repository WHERE key = 'journal_mode'"));
    addDoc(*open(rollback, ""), 2);
    EXPECT_EQ("1,1 ", journalMode(rollback));

    // Named in the configuration string, a mode is applied and recorded.
    for (const auto& [mode, seen] : {std::pair("wal", "2,2 WAL"), {"TRUNCATE", "1,1 TRUNCATE"}}) {
        open(rollback, "", (std::string("pbkdf2_iterations=1000;journal_mode=") + mode).c_str());
        EXPECT_EQ(seen, journalMode(rollback));
    }
    EXPECT_EQ(2L, countRows(*open(rollback, "readonly=1"), "Doc"));
}

TEST(DKDatastoreSQLITEFiles, UnwritableFilesAndFoldersAreReadOrRefusedClearly) {
    dktest::TempDir dir;
    // A read-only folder with a WAL repository (no -wal), one whose -wal has frames but no -shm
    // beside it, and a writable folder with a read-only file.
    const fs::path locked = dir / "locked", stale = dir / "stale", open_ = dir / "open";
    for (const fs::path& f : {locked, stale, open_}) fs::create_directory(f);
    const std::string wal = (locked / "w.db").string(), logged = (stale / "w.db").string(),
                      fixed = (open_ / "w.db").string();
    withDocs(*open(wal, "create=1"), 1);
    fs::copy_file(wal, fixed);
    {
        // A writer that has not checkpointed: its -wal holds the last rows.
        sqlite3* db = nullptr;
        ASSERT_EQ(SQLITE_OK, sqlite3_open(wal.c_str(), &db));
        sqlite3_exec(db, "PRAGMA wal_autocheckpoint=0; INSERT INTO Doc (n) VALUES (2)", nullptr, nullptr, nullptr);
        fs::copy_file(wal, logged);
        fs::copy_file(wal + "-wal", logged + "-wal");
        sqlite3_close(db);
    }
    const std::string before = dktest::readFile(wal);
    const fs::perms readable = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    const fs::perms enterable = fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
    for (const std::string& f : {wal, logged, fixed}) fs::permissions(f, readable);
    for (const fs::path& f : {locked, stale}) fs::permissions(f, readable | enterable);
    fs::permissions(open_, fs::perms::all);

    const auto asNobody = [&] {
        // Read-only: the WAL file is read as one that does not change; nothing appears beside it.
        auto r = open(wal, "readonly=1");
        EXPECT_EQ(2L, countRows(*r, "Doc"));
        r->disconnect();
        EXPECT_EQ("", besideFiles(wal));
        EXPECT_TRUE(before == dktest::readFile(wal));
        // Writing where it cannot: a clear error naming the file, and nothing left behind.
        for (const std::string& f : {wal, fixed}) {
            const dktest::Failure refused = dktest::failureOf<DKDatastoreError>([&] { open(f, ""); });
            EXPECT_EQ(9121L, refused.id) << f;
            EXPECT_TRUE(refused.text.find(f) != std::string::npos &&
                        refused.text.find("cannot be written") != std::string::npos) << refused.text;
            EXPECT_EQ("", besideFiles(f)) << f;
        }
        // A -wal that cannot be read consistently from a read-only folder.
        EXPECT_EQ(9122L, errorOf<DKDatastoreError>([&] { open(logged, "readonly=1"); }));
    };
    EXPECT_TRUE(runUnprivileged(dir.path(), asNobody));
}

TEST(DKDatastoreSQLITEQueries, FunctionsPastTheDataAreRefusedAndAReusedRowTakesEachCursorsShape) {
    dktest::TempDir dir;
    const std::string path = (dir / "r.db").string();
    auto ds = open(path, "create=1");
    defineEntity(*ds, "Doc", {{"n", DKAny::tc_long}, {"price", DKAny::tc_decimal}});
    char pointer[8] = {1, 2, 3, 4, 5, 6, 7, 8};   // a bound pointer is no way round it either
    DKNVPair bound[] = {DKNVPair("p", DKAny(DKByteArray(pointer, 8, 0))), DKNVPair("")};
    for (const char* q : {"SELECT hex(fts3_tokenizer('simple'))",                       // an address
                          "SELECT fts3_tokenizer('mine', x'00000000000000ff')",         // registers one
                          "SELECT n FROM Doc WHERE FTS3_TOKENIZER('porter') IS NOT NULL",
                          "SELECT load_extension('libm.so.6')",                         // loads code
                          "SELECT fts5(NULL)",                                          // writes an address
                          "SELECT * FROM dbstat", "SELECT name FROM pragma_table_info('dk_users')",
                          "SELECT fts3_tokenizer('mine', ?)"})
        EXPECT_EQ(9015L, errorOf<DKUsageError>([&] { ds->evaluate(q, 4, bound); })) << q;
    addedItem(*ds, "Doc", {{"n", DKAny(1L)}, {"price", DKAny(DKDecimal("1.50"))}});
    DKDDO row;
    auto first = [&](const char* sql) {
        std::unique_ptr<dkResultSetCursor> c(ds->execute(sql, 4, nullptr));
        return c->fetchNext(row);
    };
    ASSERT_EQ(1, first("SELECT * FROM Doc"));
    // Items of the entity that a later query does not select are not left over from the last row.
    ASSERT_EQ(1, first("SELECT dk_id, n FROM Doc"));
    EXPECT_EQ((std::vector<long>{2, 0, 1}), (std::vector<long>{row.dataCount(), row.isDataSet(2), row.isNull(2)}));
    // Other rows bring their own shape; an item the caller added to the row is gone.
    ASSERT_EQ(1, first("SELECT count(*) AS total FROM Doc"));
    EXPECT_EQ((std::vector<long>{1, 1}), (std::vector<long>{row.dataCount(), row.getDataByName("total")}));
    row.addData("mine", DKAny(5L));
    ASSERT_EQ(1, first("SELECT * FROM Doc"));
    EXPECT_EQ(2, row.dataCount());
    EXPECT_EQ(DKString("1.50"), static_cast<DKDecimal>(row.getData(2)).toString());
    // A stored value that does not read back fails the fetch and leaves the row without values.
    ASSERT_TRUE(rawExec(path, "UPDATE Doc SET price = 'not a number'"));
    EXPECT_GT(errorOf<DKDatastoreError>([&] { first("SELECT * FROM Doc"); }), 0);
    EXPECT_EQ(0, row.dataCount());
}

TEST(DKDatastoreSQLITEQueries, RunawayQueriesAreStoppedAndTheDatastoreGoesOn) {
    dktest::TempDir dir;
    const std::string path = (dir / "q.db").string();
    auto ds = open(path, "create=1", "pbkdf2_iterations=1000;query_timeout=300");
    withDocs(*ds, 1);
    const char* forever = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT x FROM c";
    const auto start = std::chrono::steady_clock::now();
    std::unique_ptr<dkResultSetCursor> c(ds->execute(forever, 4, nullptr));
    const dktest::Failure stopped = dktest::failureOf<DKDatastoreError>([&] {
        while (std::unique_ptr<DKDDO>(c->fetchNext())) {
        }
    });
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(9123L, stopped.id);
    EXPECT_NE(std::string::npos, stopped.text.find("300 ms")) << stopped.text;
    EXPECT_TRUE(ms >= 290 && ms < 1500 && c->cardinality() > 0UL) << ms << " ms";
    EXPECT_EQ(1L, countRows(*ds, "Doc"));   // the same connection answers the next query
    // Opened again, the cursor gets a new time limit and is stopped again.
    c->open();
    EXPECT_EQ(9123L, errorOf<DKDatastoreError>([&] { c->setPosition(1L << 40, DKAny()); }));

    // The heap limit holds for the whole process: it is put back whatever happens here.
    const sqlite3_int64 before = sqlite3_hard_heap_limit64(-1);
    struct Restore {
        sqlite3_int64 limit;
        ~Restore() { sqlite3_hard_heap_limit64(limit); }
    } restore{before};
    defineEntity(*ds, "Blob", {{"body", DKAny::tc_bytearray}});
    auto small = open(path, "", "pbkdf2_iterations=1000;heap_limit=8388608");
    EXPECT_EQ(8388608, sqlite3_hard_heap_limit64(-1));
    const char* greedy = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 2000000)"
                         " SELECT length(group_concat(x)) AS n FROM c";
    EXPECT_EQ(9124L, errorOf<DKDatastoreError>([&] { small->evaluate(greedy, 4, nullptr); }));
    EXPECT_EQ(1L, countRows(*small, "Doc"));
    // A value SQLite has no memory to take is an error, never a NULL stored in its place.
    std::string bytes(12 << 20, 'b');
    const DKAny big(DKByteArray(bytes.data(), static_cast<long>(bytes.size()), 0));
    EXPECT_EQ(9124L, errorOf<DKDatastoreError>([&] { addedItem(*small, "Blob", {{"body", big}}); }));
    EXPECT_EQ(0L, countRows(*small, "Blob"));
}
