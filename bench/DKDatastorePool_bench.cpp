// bench/DKDatastorePool_bench.cpp
//
// What the connection pool saves: getting a SQLite datastore from a pool and giving it back,
// against what a program without a pool does for each unit of work, making a datastore through
// the connector's factory, connecting it, disconnecting and deleting it. Both sides use the same
// repository file and the same configuration (a cheap password hash, as the other SQLite
// benchmarks use, so the peer is not slowed by the hash alone). The pool must be at least 50
// times faster: ratio ours/peer at most 0.02x.

#include "dkBenchSupport.hpp"
#include "dkSqliteBenchSupport.hpp"

#include <benchmark/benchmark.h>

#include <dk/DKDatastorePool.hpp>
#include <dk/dkDatastore.hpp>

#include <filesystem>
#include <string>

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

void BM_Pool_GetReturn(benchmark::State& st) {
    DKDatastorePool pool("SQLITE", "dkdssqlite");
    pool.setDatastoreName(repository().c_str());
    pool.setConfigurationString("pbkdf2_iterations=1000");
    pool.returnConnection(pool.getConnection(kUser, kPassword));
    for (auto _ : st) {
        dkDatastore* ds = pool.getConnection(kUser, kPassword);
        benchmark::DoNotOptimize(ds);
        pool.returnConnection(ds);
    }
    st.SetItemsProcessed(st.iterations());
}

void BM_Connect_Disconnect(benchmark::State& st) {
    const std::string& file = repository();
    for (auto _ : st) {
        auto ds = dkbench::newSqliteDatastore();
        ds->connect(file.c_str(), kUser, kPassword, "");
        ds->disconnect();
    }
    st.SetItemsProcessed(st.iterations());
}

BENCHMARK(BM_Pool_GetReturn);
BENCHMARK(BM_Connect_Disconnect);

}  // namespace

int main(int argc, char** argv) {
    return dkbench::runAndCompare(
        argc, argv,
        {{"get/return vs connect and disconnect (SQLite)", "BM_Pool_GetReturn", "BM_Connect_Disconnect", "<=0.02x"}},
        "DKDatastorePool", "connect/disconnect");
}
