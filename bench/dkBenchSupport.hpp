// bench/dkBenchSupport.hpp
#pragma once

// Shared main of the benchmarks: runs every registered benchmark, keeps each one's real time per
// iteration, then prints one line per pair of "ours against the peer" as a ratio. Absolute times on
// a shared machine are noise; the ratios are the figures to report.

#include "dkLogRoot.hpp"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace dkbench {

class Collector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& r : runs)
            if (r.run_type == Run::RT_Iteration && !r.error_occurred)
                times[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

// One pair: a label, the benchmark name of ours and of the peer (full names as Google Benchmark
// prints them, e.g. "BM_Copy_DKString/threads:2").
struct Pair {
    std::string label, ours, peer;
};

// Points the log at a temporary folder, runs all benchmarks, prints "label: ours/peer = 0.42x".
inline int runAndCompare(int argc, char** argv, const std::vector<Pair>& pairs, const char* oursName,
                         const char* peerName) {
    namespace fs = std::filesystem;
    fs::path root = fs::temp_directory_path() / "dkbench-log";
    if (!std::getenv("NVLVTROOT")) dktools::prepareLogRoot(root);
    benchmark::Initialize(&argc, argv);
    Collector c;
    benchmark::RunSpecifiedBenchmarks(&c);
    std::printf("\nratios (%s / %s; below 1.0x means ours is faster)\n", oursName, peerName);
    for (const auto& p : pairs) {
        auto a = c.times.find(p.ours), b = c.times.find(p.peer);
        if (a == c.times.end() || b == c.times.end() || b->second <= 0) {
            std::printf("  %-40s (not measured)\n", p.label.c_str());
            continue;
        }
        std::printf("  %-40s %.2fx\n", p.label.c_str(), a->second / b->second);
    }
    benchmark::Shutdown();
    return 0;
}

}  // namespace dkbench
