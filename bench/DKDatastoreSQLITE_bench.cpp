// bench/DKDatastoreSQLITE_bench.cpp
//
// The SQLite connector against SQLite's own C interface doing the same work in the same run:
// adding 100,000 items in one transaction, and reading them all back by query (as DDOs for the
// connector, as rows copied into C++ values for the peer). The connector is loaded the way
// applications load it, through PDynamicLoader and its factory function.

#include "dkBenchSupport.hpp"

#include <dk/DKDDO.hpp>
#include <dk/DKDate.hpp>
#include <dk/DKDecimal.hpp>
#include <dk/PDynamicLoader.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkDatastoreDef.hpp>
#include <dk/dkResultSetCursor.hpp>

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr long kItems = 100000;

fs::path benchDir() {
    static fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("dkbench-sqlite-" + std::to_string(std::random_device{}()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

std::unique_ptr<dkDatastore> newDatastore() {
    static PDynamicLoader* loader = [] {
        auto* l = new PDynamicLoader("dkdssqlite");
        l->open();
        return l;
    }();
    using Create = dkDatastore* (*)(const char*, const char*);
    auto create = reinterpret_cast<Create>(loader->getProcAddress("createObjectWithConfig"));
    return std::unique_ptr<dkDatastore>(create("DKDatastoreSQLITE", "pbkdf2_iterations=1000"));
}

// A new repository with the entity Item (title, count, price, day).
std::unique_ptr<dkDatastore> newRepository(const fs::path& file) {
    fs::remove(file);
    fs::remove(file.string() + "-wal");
    fs::remove(file.string() + "-shm");
    auto ds = newDatastore();
    ds->connect(file.c_str(), "bench", "bench", "create=1");
    dkDatastoreDef* def = ds->datastoreDef();
    std::unique_ptr<dkEntityDef> e(def->createEntity());
    e->setName("Item");
    const std::pair<const char*, unsigned short> attrs[] = {
        {"title", DKAny::tc_string}, {"count", DKAny::tc_long}, {"price", DKAny::tc_decimal}, {"day", DKAny::tc_date}};
    for (const auto& [name, type] : attrs) {
        dkAttrDef* a = e->createAttr();
        a->setName(name);
        a->setType(type);
        e->addAttr(a);
    }
    def->add(e.get());
    return ds;
}

void addItems(dkDatastore& ds) {
    const DKDate day(2024, 5, 17);
    ds.startTransaction();
    for (long i = 0; i < kItems; ++i) {
        std::unique_ptr<DKDDO> d(ds.createDDO("Item", 0));
        d->setData(1, DKAny("an item title of some length"));
        d->setData(2, DKAny(i));
        d->setData(3, DKAny(DKDecimal(i, 2)));
        d->setData(4, DKAny(day));
        d->add();
    }
    ds.commit();
}

void BM_Add_DKDatastoreSQLITE(benchmark::State& st) {
    for (auto _ : st) {
        st.PauseTiming();
        auto ds = newRepository(benchDir() / "add-dk.db");
        st.ResumeTiming();
        addItems(*ds);
    }
}

// The peer: the same table (as the connector makes it), one prepared INSERT, the same values in
// the same text forms.
sqlite3* openPeer(const fs::path& file, bool fresh) {
    if (fresh) {
        fs::remove(file);
        fs::remove(file.string() + "-wal");
        fs::remove(file.string() + "-shm");
    }
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr, nullptr, nullptr);
    if (fresh)
        sqlite3_exec(db,
                     "CREATE TABLE Item (dk_id INTEGER PRIMARY KEY AUTOINCREMENT, title TEXT, count INTEGER,"
                     " price TEXT, day TEXT)",
                     nullptr, nullptr, nullptr);
    return db;
}

void BM_Add_SQLiteC(benchmark::State& st) {
    for (auto _ : st) {
        st.PauseTiming();
        sqlite3* db = openPeer(benchDir() / "add-c.db", true);
        st.ResumeTiming();
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO Item (title, count, price, day) VALUES (?, ?, ?, ?)", -1, &s, nullptr);
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        const DKDate day(2024, 5, 17);
        for (long i = 0; i < kItems; ++i) {
            const std::string price = DKDecimal(i, 2).toString().str();
            char dayText[16];
            std::snprintf(dayText, sizeof dayText, "%04d-%02d-%02d", day.getYear(), day.getMonth(), day.getDay());
            sqlite3_bind_text(s, 1, "an item title of some length", -1, SQLITE_STATIC);
            sqlite3_bind_int64(s, 2, i);
            sqlite3_bind_text(s, 3, price.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(s, 4, dayText, -1, SQLITE_TRANSIENT);
            sqlite3_step(s);
            sqlite3_reset(s);
            benchmark::DoNotOptimize(sqlite3_last_insert_rowid(db));
        }
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_finalize(s);
        st.PauseTiming();
        sqlite3_close(db);
        st.ResumeTiming();
    }
}

void BM_Retrieve_DKDatastoreSQLITE(benchmark::State& st) {
    static std::unique_ptr<dkDatastore> ds = [] {
        auto d = newRepository(benchDir() / "read-dk.db");
        addItems(*d);
        return d;
    }();
    for (auto _ : st) {
        std::unique_ptr<dkResultSetCursor> c(ds->execute("SELECT * FROM Item", 4, nullptr));
        long n = 0;
        while (std::unique_ptr<DKDDO> d{c->fetchNext()}) ++n;
        if (n != kItems) st.SkipWithError("wrong row count");
    }
}

// The peer reads every column into owned C++ values, as an application of the C interface would.
struct Row {
    std::int64_t id;
    std::string title;
    std::int64_t count;
    std::string price;
    std::string day;
};

void BM_Retrieve_SQLiteC(benchmark::State& st) {
    static sqlite3* db = [] {
        sqlite3* d = openPeer(benchDir() / "read-c.db", true);
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(d, "INSERT INTO Item (title, count, price, day) VALUES (?, ?, ?, ?)", -1, &s, nullptr);
        sqlite3_exec(d, "BEGIN", nullptr, nullptr, nullptr);
        for (long i = 0; i < kItems; ++i) {
            const std::string price = DKDecimal(i, 2).toString().str();
            sqlite3_bind_text(s, 1, "an item title of some length", -1, SQLITE_STATIC);
            sqlite3_bind_int64(s, 2, i);
            sqlite3_bind_text(s, 3, price.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(s, 4, "2024-05-17", -1, SQLITE_STATIC);
            sqlite3_step(s);
            sqlite3_reset(s);
        }
        sqlite3_exec(d, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_finalize(s);
        return d;
    }();
    auto text = [](sqlite3_stmt* s, int c) {
        const char* t = reinterpret_cast<const char*>(sqlite3_column_text(s, c));
        return std::string(t ? t : "", static_cast<size_t>(sqlite3_column_bytes(s, c)));
    };
    for (auto _ : st) {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, "SELECT * FROM Item", -1, &s, nullptr);
        long n = 0;
        while (sqlite3_step(s) == SQLITE_ROW) {
            auto r = std::make_unique<Row>(Row{sqlite3_column_int64(s, 0), text(s, 1), sqlite3_column_int64(s, 2), text(s, 3),
                                               text(s, 4)});
            benchmark::DoNotOptimize(r.get());
            ++n;
        }
        sqlite3_finalize(s);
        if (n != kItems) st.SkipWithError("wrong row count");
    }
}

// Fixed iteration counts: each iteration is already 100,000 items, and the names must be known
// for the ratios.
BENCHMARK(BM_Add_DKDatastoreSQLITE)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Add_SQLiteC)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Retrieve_DKDatastoreSQLITE)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_Retrieve_SQLiteC)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
    int rc = dkbench::runAndCompare(
        argc, argv,
        {{"add 100k items in one transaction", "BM_Add_DKDatastoreSQLITE/iterations:5", "BM_Add_SQLiteC/iterations:5"},
         {"retrieve 100k items by query", "BM_Retrieve_DKDatastoreSQLITE/iterations:10",
          "BM_Retrieve_SQLiteC/iterations:10"}},
        "DKDatastoreSQLITE", "SQLite C API");
    std::error_code ec;
    fs::remove_all(benchDir(), ec);
    return rc;
}
