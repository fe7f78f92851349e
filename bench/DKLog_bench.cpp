// bench/DKLog_bench.cpp
//
// The log manager against spdlog in the same run: lines per second to a file flushed after every
// line (one and two threads), and the cost of a call whose level is disabled. The peer uses a
// basic_file_sink_mt with flush_on(trace) and a pattern shaped like our standard line.

#include "dkBenchSupport.hpp"
#include "dkLogRoot.hpp"

#include <dk/DKTrace.hpp>
#include <dk/dkLog.hpp>

#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

fs::path& root() {
    static fs::path r = fs::temp_directory_path() / ("dklog-bench-" + std::to_string(getpid()));
    return r;
}

std::shared_ptr<spdlog::logger>& peer() {
    static std::shared_ptr<spdlog::logger> logger = [] {
        auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>((root() / "spdlog.log").string(), true);
        auto l = std::make_shared<spdlog::logger>("bench", sink);
        l->set_pattern("[%m/%d/%Y %H:%M:%S.%e] %t %L: %v", spdlog::pattern_time_type::utc);
        l->set_level(spdlog::level::info);
        l->flush_on(spdlog::level::trace);
        return l;
    }();
    return logger;
}

const char* const kText = "DKDatastorePool::getConnection(const char*,const char*) returned a connection";

void BM_Write_DKLog(benchmark::State& st) {
    dkLog* log = DKLogAccessor::getInstance();
    for (auto _ : st) log->fatal(kText);
}
BENCHMARK(BM_Write_DKLog)->Threads(1)->Threads(2)->UseRealTime();

void BM_Write_spdlog(benchmark::State& st) {
    spdlog::logger* log = peer().get();
    for (auto _ : st) log->critical(kText);
}
BENCHMARK(BM_Write_spdlog)->Threads(1)->Threads(2)->UseRealTime();

void BM_Disabled_DKLog(benchmark::State& st) {
    dkLog* log = DKLogAccessor::getInstance();
    benchmark::DoNotOptimize(log);
    for (auto _ : st) log->debug(kText);
}
BENCHMARK(BM_Disabled_DKLog);

void BM_Disabled_DKLog_isEnabled(benchmark::State& st) {
    dkLog* log = DKLogAccessor::getInstance();
    benchmark::DoNotOptimize(log);
    for (auto _ : st)
        if (log->isEnabled_debug()) log->debug(kText);
}
BENCHMARK(BM_Disabled_DKLog_isEnabled);

// A traced member function with tracing off: the scope tests the object's cached flag.
struct Traced {
    DKTrace trace{"DKFolder"};
    int value = 0;
    __attribute__((noinline)) void work() {
        DKTraceScope t(trace, "DKFolder::work()", this);
        benchmark::DoNotOptimize(value);
    }
};

void BM_Disabled_DKTraceScope(benchmark::State& st) {
    Traced object;
    for (auto _ : st) object.work();
}
BENCHMARK(BM_Disabled_DKTraceScope);

void BM_Disabled_spdlog(benchmark::State& st) {
    spdlog::logger* log = peer().get();
    benchmark::DoNotOptimize(log);
    for (auto _ : st) log->trace(kText);
}
BENCHMARK(BM_Disabled_spdlog);

}  // namespace

int main(int argc, char** argv) {
    // The log goes to a fresh folder; the default 5 MB rollover keeps it small.
    dktools::prepareLogRoot(root());
    int rc = dkbench::runAndCompare(argc, argv,
                                    {{"file line, flushed, 1 thread", "BM_Write_DKLog/real_time/threads:1",
                                      "BM_Write_spdlog/real_time/threads:1"},
                                     {"file line, flushed, 2 threads", "BM_Write_DKLog/real_time/threads:2",
                                      "BM_Write_spdlog/real_time/threads:2"},
                                     {"disabled call", "BM_Disabled_DKLog", "BM_Disabled_spdlog"},
                                     {"disabled call behind isEnabled", "BM_Disabled_DKLog_isEnabled", "BM_Disabled_spdlog"},
                                     {"traced function, tracing off", "BM_Disabled_DKTraceScope", "BM_Disabled_spdlog"}},
                                    "DKLog", "spdlog");
    std::error_code ec;
    fs::remove_all(root(), ec);
    return rc;
}
