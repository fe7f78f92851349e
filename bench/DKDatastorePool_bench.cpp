// bench/DKDatastorePool_bench.cpp
//
// What the connection pool saves: getting a SQLite datastore from a pool and giving it back,
// against what a program without a pool does for each unit of work, making a datastore through
// the connector's factory, connecting it, disconnecting and deleting it. Both sides use the same
// repository file and the same configuration (a cheap password hash, as the other SQLite
// benchmarks use, so the peer is not slowed by the hash alone). The pool must be at least 50
// times faster: ratio ours/peer at most 0.02x, with 4 and with 64 connections held at once.

#include "dkBenchSupport.hpp"
#include "dkSqliteBenchSupport.hpp"

#include <benchmark/benchmark.h>

#include <dk/DKDatastorePool.hpp>
#include <dk/dkDatastore.hpp>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr const char* kUser = "bench";
constexpr const char* kPassword = "bench";

// A repository made once for the program, removed at exit.
const std::string& repository() {
    static const std::string file = [] {
        const fs::path dir = fs::temp_directory_path() / ("dkbench-pool-" + std::to_string(getpid()));
        fs::create_directories(dir);
        const std::string f = (dir / "pool.db").string();
        auto ds = dkbench::newSqliteDatastore();
        ds->connect(f.c_str(), kUser, kPassword, "create=1");
        ds->disconnect();
        std::atexit([] { fs::remove_all(fs::path(repository()).parent_path()); });
        return f;
    }();
    return file;
}

// Each round takes st.range(0) connections at once and gives them all back, so the pool holds
// that many: the per-item time at two pool sizes shows whether the free and used lists grow
// linearly.
void BM_Pool_GetReturn(benchmark::State& st) {
    DKDatastorePool pool("SQLITE", "dkdssqlite");
    pool.setDatastoreName(repository().c_str());
    pool.setConfigurationString("pbkdf2_iterations=1000");
    std::vector<dkDatastore*> held(static_cast<std::size_t>(st.range(0)));
    pool.initConnections(kUser, kPassword, static_cast<int>(held.size()));
    for (auto _ : st) {
        for (dkDatastore*& ds : held) benchmark::DoNotOptimize(ds = pool.getConnection(kUser, kPassword));
        for (dkDatastore* ds : held) pool.returnConnection(ds);
    }
    st.SetItemsProcessed(st.iterations() * st.range(0));
}

void BM_Connect_Disconnect(benchmark::State& st) {
    const std::string& file = repository();
    std::vector<std::unique_ptr<dkDatastore>> held(static_cast<std::size_t>(st.range(0)));
    for (auto _ : st) {
        for (auto& ds : held) {
            ds = dkbench::newSqliteDatastore();
            ds->connect(file.c_str(), kUser, kPassword, "");
        }
        for (auto& ds : held) ds->disconnect(), ds.reset();
    }
    st.SetItemsProcessed(st.iterations() * st.range(0));
}

constexpr long kFewHeld = 4, kManyHeld = 64;
BENCHMARK(BM_Pool_GetReturn)->Arg(kFewHeld)->Arg(kManyHeld);
BENCHMARK(BM_Connect_Disconnect)->Arg(kFewHeld)->Arg(kManyHeld);

}  // namespace

int main(int argc, char** argv) {
    return dkbench::runAndCompare(
        argc, argv,
        {{"get/return vs connect and disconnect (SQLite), connections held at once", "BM_Pool_GetReturn",
          "BM_Connect_Disconnect", "<=0.02x", {kFewHeld, kManyHeld}}},
        "DKDatastorePool", "connect/disconnect");
}
