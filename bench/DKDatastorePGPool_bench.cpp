// bench/DKDatastorePGPool_bench.cpp
//
// What the connection pool saves on a PostgreSQL server: getting a datastore from a pool and
// giving it back, against what a program without a pool does for each unit of work (make a
// datastore through the connector's factory, log on with SCRAM, disconnect, delete it). The
// pool must be at least 100 times faster with validation off (ratio at most 0.01x); with
// validation on every hand-out asks the server, and that ratio is only reported. The program
// starts a throwaway server of its own with tools/pgserver.sh and stops it at exit.

#include "dkBenchSupport.hpp"
#include "dkPgBenchSupport.hpp"

#include <benchmark/benchmark.h>

#include <dk/DKDatastorePool.hpp>
#include <dk/dkDatastore.hpp>

#include <memory>
#include <vector>

namespace {

using dkpgbench::newDatastore;
using dkpgbench::Server;
using dkpgbench::server;

constexpr const char* kDatabase = "dkbench_pool";

// Each round takes st.range(0) connections at once and gives them all back.
void getReturn(benchmark::State& st, int validate) {
    const Server& s = server();
    DKDatastorePool pool("PG", "dkdspg");
    pool.setDatastoreName(kDatabase);
    pool.setValidate(validate);
    std::vector<dkDatastore*> held(static_cast<std::size_t>(st.range(0)));
    pool.initConnections(s.user.c_str(), s.password.c_str(), static_cast<int>(held.size()));
    for (auto _ : st) {
        for (dkDatastore*& ds : held) benchmark::DoNotOptimize(ds = pool.getConnection(s.user.c_str(), s.password.c_str()));
        for (dkDatastore* ds : held) pool.returnConnection(ds);
    }
    st.SetItemsProcessed(st.iterations() * st.range(0));
}
void BM_PGPool_GetReturn(benchmark::State& st) { getReturn(st, 0); }
void BM_PGPool_GetReturnValidated(benchmark::State& st) { getReturn(st, 1); }

void BM_PG_ConnectDisconnect(benchmark::State& st) {
    const Server& s = server();
    std::vector<std::unique_ptr<dkDatastore>> held(static_cast<std::size_t>(st.range(0)));
    for (auto _ : st) {
        for (auto& ds : held) {
            ds = newDatastore();
            ds->connect(kDatabase, s.user.c_str(), s.password.c_str(), "");
        }
        for (auto& ds : held) ds->disconnect(), ds.reset();
    }
    st.SetItemsProcessed(st.iterations() * st.range(0));
}

constexpr long kHeld = 4;
// Wall-clock time: most of a logon's cost is the server's, which the client's CPU time misses.
BENCHMARK(BM_PGPool_GetReturn)->Arg(kHeld)->UseRealTime();
BENCHMARK(BM_PGPool_GetReturnValidated)->Arg(kHeld)->UseRealTime();
BENCHMARK(BM_PG_ConnectDisconnect)->Arg(kHeld)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    // The server and the repository are made before the first measure, so neither is timed.
    const Server& s = server();
    newDatastore()->connect(kDatabase, s.user.c_str(), s.password.c_str(), "create=1");
    return dkbench::runAndCompare(
        argc, argv,
        {{"get/return vs connect and disconnect (PostgreSQL), validation off", "BM_PGPool_GetReturn/4/real_time",
          "BM_PG_ConnectDisconnect/4/real_time", "<=0.01x"},
         {"get/return vs connect and disconnect (PostgreSQL), validation on", "BM_PGPool_GetReturnValidated/4/real_time",
          "BM_PG_ConnectDisconnect/4/real_time", "-"}},
        "DKDatastorePool", "connect/disconnect");
}
