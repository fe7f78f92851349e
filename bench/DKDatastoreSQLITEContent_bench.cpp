// bench/DKDatastoreSQLITEContent_bench.cpp
//
// Content parts of the SQLite connector against SQLite's own incremental BLOB I/O and a plain
// file copy, in the same run: 1,000 files of 64 KiB and one of 256 MiB stored from their files
// and read back into files. Our side is a content object's add(fn) and retrieve(fn); the peer
// writes each file into one BLOB of a table with sqlite3_blob_write (a zeroblob inserted first,
// in one transaction) and reads it back with sqlite3_blob_read, on a file with the connector's
// settings (WAL, synchronous=NORMAL); the file copy is std::filesystem::copy_file. Rounds
// alternate which side goes first; the figures are medians. Then the memory: a child stores and
// reads the 256 MiB part and reports its peak over its start (getrusage), and `dk put` then
// `dk cat` of the same file run as programs whose output is compared byte for byte.

#include "dkBenchSupport.hpp"
#include "dkSqliteBenchSupport.hpp"

#include <DKContentSQLITE.hpp>

#include <dk/DKDDO.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkDatastoreDef.hpp>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr long kSmallFiles = 1000;
constexpr long kSmallBytes = 64 << 10;
constexpr long kBigBytes = 256L << 20;
constexpr long kBuffer = 1 << 20;
constexpr double kCeilingMiB = 32;

struct Bench {
    fs::path dir;
    std::vector<fs::path> small;
    fs::path big;
    std::unique_ptr<dkDatastore> ds;
    DKContentSQLITE* content = nullptr;
    sqlite3* peer = nullptr;
    long bigItem = 0;
};

void fill(const fs::path& p, long bytes, unsigned seed) {
    std::ofstream out(p, std::ios::binary);
    std::vector<char> b(kBuffer);
    for (long done = 0; done < bytes; done += kBuffer) {
        for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<char>((i + done) * 131 + seed);
        out.write(b.data(), std::min<long>(kBuffer, bytes - done));
    }
}

void check(sqlite3* db, int rc, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
        std::exit(1);
    }
}

// The peer's write: one BLOB of the file's size, filled a buffer at a time, in one transaction.
void rawStore(sqlite3* db, const fs::path& file, long key) {
    const long size = static_cast<long>(fs::file_size(file));
    check(db, sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), "begin");
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO blobs(id, data) VALUES (?1, zeroblob(?2))", -1, &s, nullptr);
    sqlite3_bind_int64(s, 1, key);
    sqlite3_bind_int64(s, 2, size);
    check(db, sqlite3_step(s), "insert");
    sqlite3_finalize(s);
    sqlite3_blob* b = nullptr;
    check(db, sqlite3_blob_open(db, "main", "blobs", "data", key, 1, &b), "blob_open");
    std::FILE* in = std::fopen(file.c_str(), "rb");
    std::vector<char> buf(static_cast<std::size_t>(std::min(kBuffer, size + 1)));
    std::size_t n;
    int at = 0;
    while ((n = std::fread(buf.data(), 1, buf.size(), in)) > 0) {
        check(db, sqlite3_blob_write(b, buf.data(), static_cast<int>(n), at), "blob_write");
        at += static_cast<int>(n);
    }
    std::fclose(in);
    sqlite3_blob_close(b);
    check(db, sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), "commit");
}

// The peer's read: the BLOB a buffer at a time into a file, in one read transaction.
void rawRead(sqlite3* db, long key, const fs::path& file) {
    check(db, sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), "begin");
    sqlite3_blob* b = nullptr;
    check(db, sqlite3_blob_open(db, "main", "blobs", "data", key, 0, &b), "blob_open");
    const int size = sqlite3_blob_bytes(b);
    std::vector<char> buf(static_cast<std::size_t>(std::min<long>(kBuffer, size + 1)));
    std::FILE* out = std::fopen(file.c_str(), "wb");
    for (int at = 0; at < size;) {
        const int n = std::min(static_cast<int>(buf.size()), size - at);
        check(db, sqlite3_blob_read(b, buf.data(), n, at), "blob_read");
        std::fwrite(buf.data(), 1, static_cast<std::size_t>(n), out);
        at += n;
    }
    std::fclose(out);
    sqlite3_blob_close(b);
    check(db, sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), "commit");
}

std::unique_ptr<dkBlob> part(Bench& b, long item, long n) {
    return std::unique_ptr<dkBlob>(b.content->createBlob(b.content->pidOf("Doc", item, n)));
}

void setUp(Bench& b) {
    b.dir = fs::temp_directory_path() / ("dkbench-content-" + std::to_string(getpid()));
    fs::create_directories(b.dir / "small");
    for (long i = 0; i < kSmallFiles; ++i) {
        b.small.push_back(b.dir / "small" / std::to_string(i));
        fill(b.small.back(), kSmallBytes, static_cast<unsigned>(i));
    }
    b.big = b.dir / "big";
    fill(b.big, kBigBytes, 7);
}

void connect(Bench& b) {
    b.ds = dkbench::newSqliteDatastore();
    b.ds->connect((b.dir / "ours.db").c_str(), "bench", "bench", "create=1");
    std::unique_ptr<dkEntityDef> e(b.ds->datastoreDef()->createEntity());
    e->setName("Doc");
    b.ds->datastoreDef()->add(e.get());
    for (long i = 0; i <= kSmallFiles; ++i) std::unique_ptr<DKDDO>(b.ds->createDDO("Doc", 0))->add();
    b.bigItem = kSmallFiles + 1;
    b.content = static_cast<DKContentSQLITE*>(b.ds->getExtension(DKContentSQLITE::kName));
    sqlite3_open((b.dir / "peer.db").c_str(), &b.peer);
    check(b.peer,
          sqlite3_exec(b.peer, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA cache_size=-8000;"
                               " CREATE TABLE blobs(id INTEGER PRIMARY KEY, data BLOB)", nullptr, nullptr, nullptr),
          "peer set-up");
}

double seconds(const std::function<void()>& f) {
    const auto t = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Runs ours and the peer `rounds` times, alternating which goes first; per-item medians.
std::pair<double, double> race(int rounds, long items, const std::function<void(int)>& ours,
                               const std::function<void(int)>& peer) {
    std::vector<double> o, p;
    for (int r = 0; r < rounds; ++r) {
        if (r % 2 == 0) o.push_back(seconds([&] { ours(r); })), p.push_back(seconds([&] { peer(r); }));
        else p.push_back(seconds([&] { peer(r); })), o.push_back(seconds([&] { ours(r); }));
    }
    return {median(o) / static_cast<double>(items), median(p) / static_cast<double>(items)};
}

void measureSpeed(Bench& b) {
    const fs::path out = b.dir / "out";
    // Round r stores part r + 1 of each item (the peer: key r * 10000 + i), so every store adds.
    auto [storeOurs, storeRaw] = race(
        5, kSmallFiles,
        [&](int r) { for (long i = 0; i < kSmallFiles; ++i) part(b, i + 1, r + 1)->add(b.small[i].c_str()); },
        [&](int r) { for (long i = 0; i < kSmallFiles; ++i) rawStore(b.peer, b.small[i], r * 10000L + i + 1); });
    auto [readOurs, readRaw] = race(
        5, kSmallFiles, [&](int r) { for (long i = 0; i < kSmallFiles; ++i) part(b, i + 1, r + 1)->retrieve(out.c_str()); },
        [&](int r) { for (long i = 0; i < kSmallFiles; ++i) rawRead(b.peer, r * 10000L + i + 1, out); });
    const double copySmall = median({seconds([&] { for (const auto& f : b.small) fs::copy_file(f, out, fs::copy_options::overwrite_existing); }),
                                     seconds([&] { for (const auto& f : b.small) fs::copy_file(f, out, fs::copy_options::overwrite_existing); }),
                                     seconds([&] { for (const auto& f : b.small) fs::copy_file(f, out, fs::copy_options::overwrite_existing); })}) /
                             kSmallFiles;
    // The big part is dropped after each round, so the files stay one copy large.
    auto [bigOurs, bigRaw] = race(
        3, 1,
        [&](int) {
            auto p = part(b, b.bigItem, 1);
            if (p->size() >= 0) p->del();
            p->add(b.big.c_str());
        },
        [&](int) { rawStore(b.peer, b.big, 1000000); });
    auto [bigReadOurs, bigReadRaw] =
        race(3, 1, [&](int) { part(b, b.bigItem, 1)->retrieve(out.c_str()); }, [&](int) { rawRead(b.peer, 1000000, out); });
    if (fs::file_size(out) != static_cast<std::uintmax_t>(kBigBytes)) {
        std::fprintf(stderr, "the big part came back with %ju bytes\n", static_cast<std::uintmax_t>(fs::file_size(out)));
        std::exit(1);
    }
    const double copyBig = median({seconds([&] { fs::copy_file(b.big, out, fs::copy_options::overwrite_existing); }),
                                   seconds([&] { fs::copy_file(b.big, out, fs::copy_options::overwrite_existing); }),
                                   seconds([&] { fs::copy_file(b.big, out, fs::copy_options::overwrite_existing); })});
    const std::string raw = "<=1.5x";
    dkbench::summaryLine("SQLite content: store a 64 KiB file (1,000 files), raw sqlite3_blob_write", storeOurs, storeRaw, raw);
    dkbench::summaryLine("SQLite content: read a 64 KiB part into a file (1,000 parts), raw sqlite3_blob_read", readOurs, readRaw, raw);
    dkbench::summaryLine("SQLite content: store a 256 MiB file, raw sqlite3_blob_write", bigOurs, bigRaw, raw);
    dkbench::summaryLine("SQLite content: read a 256 MiB part into a file, raw sqlite3_blob_read", bigReadOurs, bigReadRaw, raw);
    dkbench::summaryLine("SQLite content: store a 64 KiB file, against a file copy", storeOurs, copySmall, "-");
    dkbench::summaryLine("SQLite content: store a 256 MiB file, against a file copy", bigOurs, copyBig, "-");
}

long peakKiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

void memoryLine(const std::string& measure, double mib) {
    char ours[32];
    std::snprintf(ours, sizeof ours, "%.1f MiB", mib);
    dkbench::summaryText(measure, ours, "32 MiB", mib / kCeilingMiB, "<=1.00x");
}

// In a child, so that nothing the parent did counts: the 256 MiB file stored and read back.
void measureMemory(Bench& b) {
    std::fflush(stdout);   // or the child would print what the parent has not written yet
    const pid_t pid = fork();
    if (pid == 0) {
        // A connection of its own: SQLite connections do not cross a fork.
        b.ds.release();
        b.ds = dkbench::newSqliteDatastore();
        b.ds->connect((b.dir / "ours.db").c_str(), "bench", "bench", "");
        b.content = static_cast<DKContentSQLITE*>(b.ds->getExtension(DKContentSQLITE::kName));
        const long start = peakKiB();
        auto p = part(b, b.bigItem, 2);
        p->add(b.big.c_str());
        p->retrieve((b.dir / "out-memory").c_str());
        const double mib = static_cast<double>(peakKiB() - start) / 1024.0;
        std::printf("content objects, 256 MiB stored and read back: peak %.1f MiB over start\n", mib);
        memoryLine("SQLite content: peak memory over start, 256 MiB stored and read back", mib);
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::exit(1);
}

// Runs dk with args, its output into out; the exit code and the program's peak memory in KiB.
std::pair<int, long> runDk(const std::vector<std::string>& args, const fs::path& out) {
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        std::FILE* f = std::freopen(out.c_str(), "wb", stdout);
        if (f == nullptr) _exit(126);
        std::vector<char*> argv{const_cast<char*>(DK_TOOL)};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(DK_TOOL, argv.data());
        _exit(127);
    }
    int status = 0;
    rusage u{};
    wait4(pid, &status, 0, &u);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128, u.ru_maxrss};
}

bool sameFiles(const fs::path& a, const fs::path& c) {
    std::ifstream x(a, std::ios::binary), y(c, std::ios::binary);
    std::vector<char> p(kBuffer), q(kBuffer);
    while (x && y) {
        x.read(p.data(), kBuffer);
        y.read(q.data(), kBuffer);
        if (x.gcount() != y.gcount() || !std::equal(p.begin(), p.begin() + x.gcount(), q.begin())) return false;
    }
    return !x && !y;
}

void measureTool(Bench& b) {
    setenv("DK_PASSWORD", "bench-password", 1);
    setenv("DK_LOG_DIR", (b.dir / "log").c_str(), 1);
    const std::string repo = (b.dir / "dk.db").string();
    const fs::path tree = b.dir / "tree", out = b.dir / "dk-out";
    fs::create_directories(tree);
    fill(tree / "tiny", 100, 1);
    const auto init = runDk({"init", repo}, out), import = runDk({"import", repo, tree.string()}, out);
    const auto small = runDk({"cat", repo, "document:1"}, out);
    const auto put = runDk({"put", repo, "document:1", b.big.string()}, out);
    const auto cat = runDk({"cat", repo, "document:1"}, out);
    if (init.first != 0 || import.first != 0 || small.first != 0 || put.first != 0 || cat.first != 0 || !sameFiles(b.big, out)) {
        std::fprintf(stderr, "dk put / dk cat of 256 MiB did not return the file byte for byte\n");
        std::exit(1);
    }
    const double mib = static_cast<double>(std::max(put.second, cat.second) - small.second) / 1024.0;
    std::printf("dk put, dk cat of 256 MiB: peaks %ld and %ld KiB, a small cat %ld KiB; identical output\n", put.second,
                cat.second, small.second);
    memoryLine("dk put then dk cat of 256 MiB, byte for byte: peak memory over a small cat", mib);
}

}  // namespace

int main() {
    const fs::path root = fs::temp_directory_path() / ("dkbench-content-log-" + std::to_string(getpid()));
    if (!std::getenv("NVLVTROOT")) dktools::prepareLogRoot(root);
    Bench b;
    setUp(b);
    connect(b);
    measureSpeed(b);
    measureMemory(b);
    measureTool(b);
    b.ds.reset();
    sqlite3_close(b.peer);
    std::error_code ec;
    fs::remove_all(b.dir, ec);
    fs::remove_all(root, ec);
    return 0;
}
