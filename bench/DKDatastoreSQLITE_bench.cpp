// bench/DKDatastoreSQLITE_bench.cpp
//
// The SQLite connector against SQLite's own C interface doing the same work in the same run, at
// 10,000 and 100,000 items: adding items in one transaction (DDOs made, filled and added; one
// prepared INSERT for the peer), and reading them all back by query (a new DDO per row, and one
// DDO filled again for every row; rows copied into C++ values for the peer), and reading them by a
// parametric query (a query tree, count >= 0, into one reused DDO) against the same condition in a
// prepared statement with a bound value. The connector is loaded the way applications load it, through
// PDynamicLoader and its factory function.
//
// Each measure runs five times, each run next to a run of its peer so that a busy moment of the
// machine does not fall on one side only; the median counts. The figures are the
// CPU time of the measuring thread: on a machine shared with other work, wall time mostly tells
// how long the program waited for a core. Besides the console
// table it prints one "@summary" line per figure (measure, ours, peer, ratio, target), the
// growth from the small to the large size, and the peak memory of a retrieve of 100,000 items,
// measured in a process of its own for each side.

#include "dkBenchSupport.hpp"
#include "dkSqliteBenchSupport.hpp"
#include "dkLogRoot.hpp"

#include <benchmark/benchmark.h>

#include <dk/DKDDO.hpp>
#include <dk/DKDate.hpp>
#include <dk/DKDecimal.hpp>
#include <dk/DKOpCode.hpp>
#include <dk/DKQExpr.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkDatastoreDef.hpp>
#include <dk/dkResultSetCursor.hpp>

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

using dkbench::summaryText;
using dkbench::timeText;

namespace {

constexpr long kSmall = 10000;
constexpr long kLarge = 100000;
constexpr int kRuns = 5;

fs::path benchDir() {
    static fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("dkbench-sqlite-" + std::to_string(getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

void removeRepository(const fs::path& file) {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) fs::remove(file.string() + suffix);
}

// A new repository with the entity Item (title, count, price, day).
std::unique_ptr<dkDatastore> newRepository(const fs::path& file) {
    removeRepository(file);
    auto ds = dkbench::newSqliteDatastore();
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

void addItems(dkDatastore& ds, long n) {
    const DKDate day(2024, 5, 17);
    ds.startTransaction();
    for (long i = 0; i < n; ++i) {
        std::unique_ptr<DKDDO> d(ds.createDDO("Item", 0));
        d->setData(1, DKAny("an item title of some length"));
        d->setData(2, DKAny(i));
        d->setData(3, DKAny(DKDecimal(i, 2)));
        d->setData(4, DKAny(day));
        d->add();
    }
    ds.commit();
}

// The peer's table is the one the connector makes; the peer writes the same values in the same
// text forms through one prepared INSERT.
sqlite3* openPeer(const fs::path& file, bool fresh) {
    if (fresh) removeRepository(file);
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

void addPeerItems(sqlite3* db, long n) {
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO Item (title, count, price, day) VALUES (?, ?, ?, ?)", -1, &s, nullptr);
    sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    const DKDate day(2024, 5, 17);
    for (long i = 0; i < n; ++i) {
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
}

// Making and closing the repository is left out of the time on both sides (closing checkpoints
// the log into the file).
void BM_Add_DK(benchmark::State& st) {
    for (auto _ : st) {
        st.PauseTiming();
        auto ds = newRepository(benchDir() / "add-dk.db");
        st.ResumeTiming();
        addItems(*ds, st.range(0));
        st.PauseTiming();
        ds.reset();
        st.ResumeTiming();
    }
}

void BM_Add_C(benchmark::State& st) {
    for (auto _ : st) {
        st.PauseTiming();
        sqlite3* db = openPeer(benchDir() / "add-c.db", true);
        st.ResumeTiming();
        addPeerItems(db, st.range(0));
        st.PauseTiming();
        sqlite3_close(db);
        st.ResumeTiming();
    }
}

// The repositories read back, made once per size and kept for the whole run.
fs::path readFile(const char* side, long n) { return benchDir() / ("read-" + std::string(side) + std::to_string(n) + ".db"); }

dkDatastore& readRepository(long n) {
    static std::map<long, std::unique_ptr<dkDatastore>> made;
    auto& ds = made[n];
    if (!ds) {
        ds = newRepository(readFile("dk", n));
        addItems(*ds, n);
    }
    return *ds;
}

sqlite3* readPeer(long n) {
    static std::map<long, sqlite3*> made;
    sqlite3*& db = made[n];
    if (db == nullptr) {
        db = openPeer(readFile("c", n), true);
        addPeerItems(db, n);
    }
    return db;
}

long retrieveNew(dkDatastore& ds) {
    std::unique_ptr<dkResultSetCursor> c(ds.execute("SELECT * FROM Item", 4, nullptr));
    long n = 0;
    while (std::unique_ptr<DKDDO> d{c->fetchNext()}) ++n;
    return n;
}

long retrieveReused(dkDatastore& ds) {
    std::unique_ptr<dkResultSetCursor> c(ds.execute("SELECT * FROM Item", 4, nullptr));
    DKDDO row;
    long n = 0;
    while (c->fetchNext(row)) ++n;
    return n;
}

// The peer reads every column into owned C++ values, as an application of the C interface would.
struct Row {
    std::int64_t id;
    std::string title;
    std::int64_t count;
    std::string price;
    std::string day;
};

// With atLeast, the rows whose count is at least that, as the tree's statement reads them.
long retrievePeer(sqlite3* db, long atLeast = -1) {
    auto text = [](sqlite3_stmt* s, int c) {
        const char* t = reinterpret_cast<const char*>(sqlite3_column_text(s, c));
        return std::string(t ? t : "", static_cast<size_t>(sqlite3_column_bytes(s, c)));
    };
    sqlite3_stmt* s = nullptr;
    if (atLeast < 0) {
        sqlite3_prepare_v2(db, "SELECT * FROM Item", -1, &s, nullptr);
    } else {
        sqlite3_prepare_v2(db, "SELECT * FROM Item WHERE count >= ?1 ORDER BY dk_id", -1, &s, nullptr);
        sqlite3_bind_int64(s, 1, atLeast);
    }
    long n = 0;
    while (sqlite3_step(s) == SQLITE_ROW) {
        auto r = std::make_unique<Row>(
            Row{sqlite3_column_int64(s, 0), text(s, 1), sqlite3_column_int64(s, 2), text(s, 3), text(s, 4)});
        benchmark::DoNotOptimize(r.get());
        ++n;
    }
    sqlite3_finalize(s);
    return n;
}

// Every item by the tree "count >= 0", into one reused DDO: the time the tree adds to reading.
long retrieveTree(dkDatastore& ds) {
    auto* sub = new DKQSubExpr;
    sub->setEntityName("Item");
    sub->setQueryTerm(new DKQTerm("count", DKOpCode::opGreaterEqual, "0"));
    auto* leaf = new DKQExpr;
    leaf->setQLType(3);
    leaf->addSubQuery(sub);
    DKCQExpr tree(leaf);
    tree.setQLType(3);
    std::unique_ptr<dkResultSetCursor> c(ds.execute(&tree));
    DKDDO row;
    long n = 0;
    while (c->fetchNext(row)) ++n;
    return n;
}

void BM_Tree_DK(benchmark::State& st) {
    dkDatastore& ds = readRepository(st.range(0));
    for (auto _ : st)
        if (retrieveTree(ds) != st.range(0)) st.SkipWithError("wrong row count");
}

void BM_Tree_C(benchmark::State& st) {
    sqlite3* db = readPeer(st.range(0));
    for (auto _ : st)
        if (retrievePeer(db, 0) != st.range(0)) st.SkipWithError("wrong row count");
}

void BM_Retrieve_DK(benchmark::State& st) {
    dkDatastore& ds = readRepository(st.range(0));
    for (auto _ : st)
        if (retrieveNew(ds) != st.range(0)) st.SkipWithError("wrong row count");
}

void BM_RetrieveReused_DK(benchmark::State& st) {
    dkDatastore& ds = readRepository(st.range(0));
    for (auto _ : st)
        if (retrieveReused(ds) != st.range(0)) st.SkipWithError("wrong row count");
}

void BM_Retrieve_C(benchmark::State& st) {
    sqlite3* db = readPeer(st.range(0));
    for (auto _ : st)
        if (retrievePeer(db) != st.range(0)) st.SkipWithError("wrong row count");
}

// Every measure once per iteration (each is already thousands of items), in five rounds; in each
// round every measure runs at both sizes next to its peer, ours first in one round and the peer
// first in the next, so that both sides of a ratio meet the same moments of a shared machine.
using BenchFn = void (*)(benchmark::State&);
struct Measure {
    const char* name;
    BenchFn ours;
    const char* peerName;
    BenchFn peer;
};
const Measure kMeasures[] = {{"BM_Add_DK", BM_Add_DK, "BM_Add_C", BM_Add_C},
                             {"BM_Retrieve_DK", BM_Retrieve_DK, "BM_Retrieve_C", BM_Retrieve_C},
                             {"BM_RetrieveReused_DK", BM_RetrieveReused_DK, "BM_Retrieve_C", BM_Retrieve_C},
                             {"BM_Tree_DK", BM_Tree_DK, "BM_Tree_C", BM_Tree_C}};

void registerRounds() {
    for (int round = 1; round <= kRuns; ++round) {
        for (const Measure& m : kMeasures) {
            for (long n : {kSmall, kLarge}) {
                const std::string suffix = "/" + std::to_string(n) + "/round:" + std::to_string(round);
                const std::pair<const char*, BenchFn> sides[] = {{m.name, m.ours}, {m.peerName, m.peer}};
                for (int k = 0; k < 2; ++k) {
                    const auto& side = sides[round % 2 == 1 ? k : 1 - k];
                    benchmark::RegisterBenchmark((side.first + suffix).c_str(), side.second)
                        ->Arg(n)
                        ->Iterations(1)
                        ->Unit(benchmark::kMillisecond);
                }
            }
        }
    }
}

// The CPU time of every run, by benchmark and size ("BM_Add_DK/10000").
class Collector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& r : runs) {
            if (r.run_type != Run::RT_Iteration || r.error_occurred) continue;
            std::string name = r.benchmark_name();
            name = name.substr(0, name.find("/round:"));
            times[name].push_back(r.GetAdjustedCPUTime() * 1e-3);   // milliseconds to seconds
        }
        ConsoleReporter::ReportRuns(runs);
    }
    // The median run of a measure in seconds; negative when it did not run.
    double median(const std::string& name) const {
        auto it = times.find(name);
        if (it == times.end() || it->second.empty()) return -1;
        std::vector<double> v = it->second;
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }
    std::map<std::string, std::vector<double>> times;
};

// One measure at both sizes: the per-item times against the peer's, and ours at the large size
// against ours at the small one (linear growth keeps it near 1).
void report(const Collector& c, const char* label, const char* ours, const char* peer, const char* target) {
    double perItem[2] = {-1, -1};
    for (int k = 0; k < 2; ++k) {
        const long n = k == 0 ? kSmall : kLarge;
        const double a = c.median(std::string(ours) + "/" + std::to_string(n));
        const double b = c.median(std::string(peer) + "/" + std::to_string(n));
        const std::string measure = std::string(label) + " (" + std::to_string(n / 1000) + "k), per item";
        if (a <= 0 || b <= 0) {
            std::printf("  %s: not measured\n", measure.c_str());
            continue;
        }
        perItem[k] = a / static_cast<double>(n);
        summaryText(measure, timeText(perItem[k]), timeText(b / static_cast<double>(n)), a / b, k == 1 ? target : "-");
    }
    if (perItem[0] > 0 && perItem[1] > 0)
        summaryText(std::string(label) + ": growth, ours per item at 100k against ours at 10k", timeText(perItem[1]),
                timeText(perItem[0]), perItem[1] / perItem[0], "<=1.3x");
}

// --- Peak memory, each side in a fresh process of its own --------------------------------------

long statusKiB(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(key);
    while (std::getline(in, line))
        if (line.compare(0, n, key) == 0) return std::atol(line.c_str() + n);
    return -1;
}

// Child mode: opens file, then reads all its items once as the named side does, and prints how
// far the peak resident memory rose above what the process held when the read began.
int peakChild(const std::string& side, const std::string& file) {
    std::unique_ptr<dkDatastore> ds;
    sqlite3* db = nullptr;
    if (side == "c") {
        db = openPeer(file, false);
    } else {
        ds = dkbench::newSqliteDatastore();
        ds->connect(file.c_str(), "bench", "bench", "readonly=1");
    }
    { std::ofstream("/proc/self/clear_refs") << "5"; }   // the peak starts again from now
    const long before = statusKiB("VmRSS:");
    const long rows = side == "c" ? retrievePeer(db) : side == "reused" ? retrieveReused(*ds) : retrieveNew(*ds);
    const long peak = statusKiB("VmHWM:");
    std::printf("%ld %ld\n", rows, peak - before);
    if (db) sqlite3_close(db);
    return 0;
}

long peakOf(const char* self, const char* side, const fs::path& file) {
    const std::string command = std::string("'") + self + "' --dk-peak " + side + " '" + file.string() + "'";
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return -1;
    long rows = 0, kib = -1;
    if (std::fscanf(p, "%ld %ld", &rows, &kib) != 2 || rows != kLarge) kib = -1;
    pclose(p);
    return kib;
}

std::string mebibytes(long kib) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f MiB", static_cast<double>(kib) / 1024.0);
    return buf;
}

}  // namespace

int main(int argc, char** argv) {
    fs::path root = fs::temp_directory_path() / "dkbench-log";
    if (!std::getenv("NVLVTROOT")) dktools::prepareLogRoot(root);
    if (argc == 4 && std::strcmp(argv[1], "--dk-peak") == 0) return peakChild(argv[2], argv[3]);
    if (argc == 4 && std::strcmp(argv[1], "--dk-add") == 0) {   // one add run alone, for a profiler
        addItems(*newRepository(argv[2]), std::atol(argv[3]));
        return 0;
    }

    registerRounds();
    benchmark::Initialize(&argc, argv);
    Collector c;
    benchmark::RunSpecifiedBenchmarks(&c);

    std::printf("\nmedian CPU time of %d runs, DKDatastoreSQLITE against the SQLite C API (below 1.0x ours is faster)\n",
                kRuns);
    report(c, "SQLite add DDOs in one transaction", "BM_Add_DK", "BM_Add_C", "<=1.25x");
    report(c, "SQLite retrieve by query as new DDOs", "BM_Retrieve_DK", "BM_Retrieve_C", "<=1.5x");
    report(c, "SQLite retrieve by query into one reused DDO", "BM_RetrieveReused_DK", "BM_Retrieve_C", "-");
    report(c, "SQLite retrieve by parametric query (tree) into one reused DDO", "BM_Tree_DK", "BM_Tree_C", "<=1.5x");

    // The repositories of the large size exist once the retrieve measures ran.
    if (fs::exists(readFile("dk", kLarge)) && fs::exists(readFile("c", kLarge))) {
        const long ours = peakOf(argv[0], "new", readFile("dk", kLarge));
        const long reused = peakOf(argv[0], "reused", readFile("dk", kLarge));
        const long peer = peakOf(argv[0], "c", readFile("c", kLarge));
        if (ours >= 0 && reused >= 0 && peer > 0) {
            summaryText("SQLite retrieve 100k as new DDOs: peak memory growth", mebibytes(ours), mebibytes(peer),
                    static_cast<double>(ours) / static_cast<double>(peer), "-");
            summaryText("SQLite retrieve 100k into one reused DDO: peak memory growth", mebibytes(reused), mebibytes(peer),
                    static_cast<double>(reused) / static_cast<double>(peer), "-");
        } else {
            std::printf("  peak memory: not measured\n");
        }
    }
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(benchDir(), ec);
    return 0;
}
