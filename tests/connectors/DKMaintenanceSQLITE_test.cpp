// tests/connectors/DKMaintenanceSQLITE_test.cpp
//
// The maintenance extension of the SQLite connector, used as a program uses it: through the
// pointer the datastore hands out and the connector's public header, without linking the
// connector. Checks of sound repositories and of catalogues that disagree with their tables (pages
// damaged on disk are found by `dk check` in the dk suite), and backups while another connection
// writes.
// dk-threaded-suite

#include "dkSqliteTestSupport.hpp"

#include "DKMaintenanceSQLITE.hpp"

#include <algorithm>
#include <atomic>
#include <thread>

using namespace dkconf;
using namespace dksqlitetest;

namespace {

DKMaintenanceSQLITE* maintenance(dkDatastore& ds) {
    return static_cast<DKMaintenanceSQLITE*>(ds.getExtension(DKMaintenanceSQLITE::kName));
}

// The problems check reports, one line each ("" when there are none).
std::string problemsOf(dkDatastore& ds, short level) {
    long count = -1;
    std::unique_ptr<DKString[]> texts(maintenance(ds)->check(level, count));
    EXPECT_EQ(count == 0, texts == nullptr);
    std::string all;
    for (long i = 0; i < count; ++i) all += std::string(texts[i].c_str()) + "\n";
    return all;
}

void addRows(dkDatastore& ds, long batch, int rows, size_t bodySize) {
    for (int i = 0; i < rows; ++i)
        addedItem(ds, "Doc", {{"batch", DKAny(batch)}, {"body", DKAny(std::string(bodySize, static_cast<char>('a' + i % 26)).c_str())}});
}

std::unique_ptr<dkDatastore> repository(const std::string& path, const char* config = kCheap) {
    auto ds = open(path, "create=1", config);
    defineEntity(*ds, "Doc", {{"batch", DKAny::tc_long}, {"body", DKAny::tc_string}});
    return ds;
}

}  // namespace

TEST(DKMaintenanceSQLITE, HandedOutByTheConnectedDatastoreAndChecksSoundRepositories) {
    dktest::TempDir dir;
    const std::string path = (dir / "m.db").string();
    auto ds = make(kCheap);
    EXPECT_EQ(310L, errorOf<DKDatastoreError>([&] { ds->getExtension(DKMaintenanceSQLITE::kName); }));
    long n = 0;
    std::unique_ptr<DKString[]> names(ds->listExtensionNames(n));
    EXPECT_EQ((dktest::Texts{"SQLITE_MAINTENANCE", "SQLITE_TEMPLATES", "SQLITE_CONTENT", "DATASTORE_EXTENSION",
                             "SQLITE_ADMIN"}), dktest::Texts(names.get(), names.get() + n));
    ds->connect(path.c_str(), "u", "p", "create=1");
    DKMaintenanceSQLITE* m = maintenance(*ds);
    ASSERT_NE(nullptr, m);
    // One object, kept by the datastore.
    EXPECT_TRUE(m == maintenance(*ds) && m->getName() == "SQLITE_MAINTENANCE" &&
                ds->getExtension("SQLITE_NOTHING") == nullptr);
    EXPECT_EQ(9125L, errorOf<DKUsageError>([&] { long c = 0; m->check(2, c); }));

    // Inside a transaction the check sees its schema and rows, before they are committed.
    ds->startTransaction();
    defineEntity(*ds, "Doc", {{"batch", DKAny::tc_long}, {"body", DKAny::tc_string}});
    addRows(*ds, 1, 3, 10);
    EXPECT_EQ("", problemsOf(*ds, 0));
    EXPECT_EQ(9020L, errorOf<DKUsageError>([&] { m->backup((dir / "copy.db").c_str()); }));
    ds->commit();
    // The object outlives a disconnect, but needs the connection for its work.
    ds->disconnect();
    EXPECT_EQ(310L, errorOf<DKDatastoreError>([&] { long c = 0; m->check(0, c); }));
    ds->connect(path.c_str(), "u", "p", "readonly=1");
    EXPECT_EQ(m, maintenance(*ds));
    EXPECT_EQ("", problemsOf(*ds, 1));
}

TEST(DKMaintenanceSQLITE, CatalogueThatDisagreesWithTheTablesIsReported) {
    dktest::TempDir dir;
    const std::string path = (dir / "c.db").string();
    repository(path);
    {
        auto ds = open(path, "");
        defineEntity(*ds, "Gone", {{"n", DKAny::tc_long}});
        defineEntity(*ds, "Typed", {{"n", DKAny::tc_long}});
    }
    // Another program changes the file behind the catalogue's back.
    ASSERT_TRUE(rawExec(path,
                        "DROP TABLE Gone;"
                        "CREATE TABLE Stray (x);"
                        "ALTER TABLE Typed RENAME COLUMN n TO old;"
                        "ALTER TABLE Typed ADD COLUMN n TEXT;"
                        "INSERT INTO dk_attrs (entity, name, position, type, nullable) VALUES ('Doc', 'ghost', 3, 8, 1);"
                        "INSERT INTO dk_attrs (entity, name, position, type, nullable) VALUES ('Nobody', 'x', 1, 4, 1);"
                        "DELETE FROM dk_repository WHERE key = 'name';"));
    // The repository no longer connects (it has no name), but a copy whose name is back does, and
    // the problems are the same.
    EXPECT_EQ(9001L, errorOf<DKDatastoreError>([&] { open(path, ""); }));
    ASSERT_TRUE(rawExec(path, "INSERT INTO dk_repository VALUES ('name', 'c')"));
    auto ds = open(path, "readonly=1");
    const std::string problems = problemsOf(*ds, 0);
    for (const char* expected : {"entity Gone has no table", "table Stray has no entity", "column Typed.n is TEXT",
                                 "column Typed.old has no attribute", "attribute Doc.ghost has no column",
                                 "attribute Nobody.x belongs to no entity"})
        EXPECT_NE(std::string::npos, problems.find(expected)) << expected << " in\n" << problems;
    EXPECT_EQ(6, std::count(problems.begin(), problems.end(), '\n')) << problems;

    ASSERT_TRUE(rawExec(path, "DELETE FROM dk_repository WHERE key = 'format'"));
    EXPECT_NE(std::string::npos, problemsOf(*ds, 1).find("dk_repository has no format"));
}

TEST(DKMaintenanceSQLITE, BackupIsOneCommittedStateWhileAnotherConnectionWrites) {
    dktest::TempDir dir;
    const std::string path = (dir / "b.db").string(), copy = (dir / "copy.db").string();
    auto ds = repository(path);
    ds->startTransaction();
    for (long batch = 0; batch < 40; ++batch) addRows(*ds, batch, 10, 20000);   // about 8 MB
    ds->commit();
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);   // private, and the copy too
    // Another connection commits batches of ten rows, one transaction each, all the while.
    std::atomic<long> committed{0};
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        auto w = open(path, "", "pbkdf2_iterations=1000;busy_timeout=20000");
        for (long batch = 1000; !stop.load(); ++batch, ++committed) {
            w->startTransaction();
            addRows(*w, batch, 10, 100);
            w->commit();
        }
    });
    while (committed.load() < 3) std::this_thread::yield();
    maintenance(*ds)->backup(copy.c_str());
    stop = true;
    writer.join();
    auto c = open(copy, "readonly=1");
    EXPECT_EQ("", problemsOf(*c, 1));
    EXPECT_EQ(0u, std::unique_ptr<dkCollection>(static_cast<dkCollection*>(c->evaluate(
                      "SELECT batch FROM Doc GROUP BY batch HAVING count(*) <> 10", 4, nullptr)))->cardinality());
    EXPECT_LE(countRows(*c, "Doc"), countRows(*ds, "Doc"));
    EXPECT_EQ(fs::perms::owner_read | fs::perms::owner_write, fs::status(copy).permissions() & fs::perms::all);
}

TEST(DKMaintenanceSQLITE, BackupNeverReplacesAFileAndLeavesNothingWhenItFails) {
    dktest::TempDir dir;
    const std::string path = (dir / "s.db").string(), taken = (dir / "taken.db").string();
    auto ds = repository(path);
    addRows(*ds, 1, 1, 10);
    DKMaintenanceSQLITE* m = maintenance(*ds);
    dktest::writeFile(taken, "mine");
    EXPECT_EQ(9126L, errorOf<DKUsageError>([&] { m->backup(taken.c_str()); }));
    EXPECT_EQ("mine", dktest::readFile(taken));
    const std::string nowhere = (dir / "no" / "such" / "folder.db").string();
    EXPECT_EQ(std::make_pair(9127L, 9127L), std::make_pair(errorOf<DKUsageError>([&] { m->backup(""); }),
                                                           errorOf<DKDatastoreError>([&] { m->backup(nowhere.c_str()); })));

    // A relative name is a file in the current folder, whatever it looks like.
    const fs::path back = fs::current_path();
    fs::current_path(dir.path());
    m->backup("file:copy.db?mode=memory");
    fs::current_path(back);
    EXPECT_EQ("1", rawQuery((dir / "file:copy.db?mode=memory").string(), "SELECT count(*) FROM Doc"));
    // Nothing else is left: the repository (with its -wal and -shm), taken.db and the copy.
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name.rfind("s.db", 0) == 0 || name == "taken.db" || name == "file:copy.db?mode=memory") << name;
    }
}
