// bench/dkBenchSupport.hpp
#pragma once

// Shared main of the benchmarks. It runs every registered benchmark five times, interleaved in
// random order so that a burst of load on a shared machine does not land on one side only, takes
// the median per-item time of each, and prints one line per pair of "ours against the peer" as a
// ratio. Absolute times on a shared machine are noise; the ratios are the figures to report.
//
// Besides its usual output every program prints one machine-readable line per measured figure,
//   @summary<TAB>measure<TAB>ours<TAB>peer<TAB>ratio<TAB>target
// which tools/bench.sh gathers from all programs into the table that ends `make bench`. A
// program with a main of its own prints them with summaryLine().
//
// BENCH_FILTER (an extended regular expression, as grep -E reads it) picks what runs: a program
// whose name matches runs whole; any other runs only the pairs whose measure matches, and
// nothing at all when none does.

#include "dkLogRoot.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace dkbench {

// tools/bench.sh looks for this text in a program to know that the program filters itself.
[[gnu::used]] inline const char kFilterAware[] = "dkbench:filters-by-measure";

// The two sizes every sized pair runs at: per-item times that stay within 1.3x of each other
// show that the work grows linearly with the number of items.
constexpr long kSmall = 1000;
constexpr long kLarge = 100000;

// One figure: a label, the benchmark names of ours and of the peer (as Google Benchmark prints
// them, e.g. "BM_Copy_DKString/threads:2"), and the largest ratio allowed ("<=1.5x", "<1.0x") or
// "-" when the ratio is only measured. With sizes, both benchmarks take the size as their
// argument and report per-item times (items = the size); the pair becomes one figure per size
// plus one growth figure of ours (per-item time at the last size against the first, at most
// 1.3x) and the same figure of the peer, measured only.
struct Pair {
    std::string label, ours, peer;
    std::string target = "-";
    std::vector<long> sizes = {};
};

// A size as the labels show it: 1000 is "1k", 100000 "100k", 1000000 "1M".
inline std::string sizeText(long n) {
    if (n >= 1000000 && n % 1000000 == 0) return std::to_string(n / 1000000) + "M";
    if (n >= 1000 && n % 1000 == 0) return std::to_string(n / 1000) + "k";
    return std::to_string(n);
}

// A time in seconds with three significant figures and its unit: "41.2 ns", "1.45 s".
inline std::string timeText(double seconds) {
    static const struct {
        double scale;
        const char* unit;
    } units[] = {{1e9, "ns"}, {1e6, "us"}, {1e3, "ms"}, {1, "s"}};
    int u = 0;
    while (u < 3 && seconds * units[u].scale >= 1000) ++u;
    double v = seconds * units[u].scale;
    char buf[32];
    std::snprintf(buf, sizeof buf, v >= 100 ? "%.0f %s" : v >= 10 ? "%.1f %s" : "%.2f %s", v, units[u].unit);
    return buf;
}

// One @summary line of figures already written out (times, or sizes such as "18.3 MiB").
inline void summaryText(const std::string& measure, const std::string& ours, const std::string& peer,
                        double ratio, const std::string& target) {
    std::printf("@summary\t%s\t%s\t%s\t%.2fx\t%s\n", measure.c_str(), ours.c_str(), peer.c_str(), ratio,
                target.c_str());
}

// One @summary line. A figure that could not be measured (ours or peer below zero) is printed
// with "failed" in its place, so the table shows it as missed instead of leaving it out.
inline void summaryLine(const std::string& measure, double oursSeconds, double peerSeconds,
                        const std::string& target) {
    std::string ours = oursSeconds >= 0 ? timeText(oursSeconds) : "failed";
    std::string peer = peerSeconds >= 0 ? timeText(peerSeconds) : "failed";
    char ratio[32] = "-";
    if (oursSeconds >= 0 && peerSeconds > 0) std::snprintf(ratio, sizeof ratio, "%.2fx", oursSeconds / peerSeconds);
    std::printf("@summary\t%s\t%s\t%s\t%s\t%s\n", measure.c_str(), ours.c_str(), peer.c_str(), ratio,
                target.c_str());
}

// Whether BENCH_FILTER selects a text (a program name or a measure); no filter selects all.
inline bool selected(const std::string& text) {
    const char* f = std::getenv("BENCH_FILTER");
    if (f == nullptr || *f == '\0') return true;
    return std::regex_search(text, std::regex(f, std::regex::extended));
}

// Keeps the per-item time of every repetition of every benchmark, and shows the console only
// the medians.
class Collector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        std::vector<Run> shown;
        for (const auto& r : runs) {
            if (r.run_type == Run::RT_Iteration) {
                if (r.error_occurred) {
                    errors[r.benchmark_name()] = r.error_message;
                    shown.push_back(r);
                } else {
                    times[r.benchmark_name()].push_back(seconds(r) / itemsOf(r));
                    if (r.repetitions <= 1) shown.push_back(r);
                }
            } else if (r.aggregate_name == "median") {
                shown.push_back(r);
            }
        }
        if (!shown.empty()) ConsoleReporter::ReportRuns(shown);
    }

    // The median per-item time of a benchmark in seconds, or -1 when it did not run.
    double median(const std::string& name) const {
        auto it = times.find(name);
        if (it == times.end() || it->second.empty() || errors.count(name) != 0) return -1;
        std::vector<double> v = it->second;
        std::sort(v.begin(), v.end());
        size_t n = v.size();
        return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    }

    std::map<std::string, std::vector<double>> times;
    std::map<std::string, std::string> errors;

private:
    // Seconds per iteration: real time where the benchmark asked for it (files, threads),
    // otherwise the CPU time, which other work on a shared machine disturbs least.
    static double seconds(const Run& r) {
        double t = r.run_name.time_type.empty() ? r.GetAdjustedCPUTime() : r.GetAdjustedRealTime();
        return t / benchmark::GetTimeUnitMultiplier(r.time_unit);
    }
    // Items per iteration: the size argument of a sized benchmark ("BM_X/1000"), else one.
    static double itemsOf(const Run& r) {
        const std::string& args = r.run_name.args;
        if (args.empty() || args.find_first_not_of("0123456789") != std::string::npos) return 1;
        return std::strtod(args.c_str(), nullptr);
    }
};

// Tells a generic benchmark body which side it measures: run(st, As<DKString>()).
template <class T>
struct As {
    using type = T;
};

// Registers a sized pair: "BM_<name>_<oursTag>" runs run(state, As<Ours>()) and
// "BM_<name>_<peerTag>" runs run(state, As<Peer>()), each at kSmall and kLarge items, and adds
// the pair to `pairs`.
template <class Ours, class Peer, class Run>
void addSizedPair(std::vector<Pair>& pairs, const std::string& label, const std::string& target,
                  const std::string& name, const std::string& oursTag, const std::string& peerTag, Run run) {
    const std::string ours = "BM_" + name + "_" + oursTag, peer = "BM_" + name + "_" + peerTag;
    benchmark::RegisterBenchmark(ours.c_str(), [run](benchmark::State& st) { run(st, As<Ours>()); })
        ->Arg(kSmall)
        ->Arg(kLarge);
    benchmark::RegisterBenchmark(peer.c_str(), [run](benchmark::State& st) { run(st, As<Peer>()); })
        ->Arg(kSmall)
        ->Arg(kLarge);
    pairs.push_back({label, ours, peer, target, {kSmall, kLarge}});
}

// One row of the summary before it is printed.
struct Row {
    std::string measure, ours, peer, target;
    bool growth;   // one side at the last size against the same side at the first
};

inline std::vector<Row> rowsOf(const Pair& p, const std::string& oursName) {
    // Labels name the class ("DKString += ..."); older ones that do not get its name in front.
    std::string label = p.label.compare(0, oursName.size(), oursName) == 0 ? p.label : oursName + " " + p.label;
    std::vector<Row> rows;
    if (p.sizes.empty()) {
        rows.push_back({label, p.ours, p.peer, p.target, false});
        return rows;
    }
    for (long n : p.sizes)
        rows.push_back({label + " (" + sizeText(n) + " items)", p.ours + "/" + std::to_string(n),
                        p.peer + "/" + std::to_string(n), p.target, false});
    if (p.sizes.size() > 1) {
        // The peer's growth is printed beside ours, measured only: where both grow alike, the
        // larger size has left a cache level and the work itself still grows linearly.
        long a = p.sizes.front(), b = p.sizes.back();
        std::string growth = ", growth " + sizeText(b) + "/" + sizeText(a);
        rows.push_back({label + growth, p.ours + "/" + std::to_string(b), p.ours + "/" + std::to_string(a), "<=1.3x",
                        true});
        rows.push_back({label + growth + " of the peer", p.peer + "/" + std::to_string(b),
                        p.peer + "/" + std::to_string(a), "-", true});
    }
    return rows;
}

inline std::string regexEscaped(const std::string& s) {
    std::string r;
    for (char c : s) {
        if (std::strchr("\\^$.|?*+()[]{}", c) != nullptr) r += '\\';
        r += c;
    }
    return r;
}

// Points the log at a temporary folder, runs the benchmarks the filter selects (five
// repetitions, interleaved, unless the command line says otherwise), prints the ratios and the
// @summary lines.
inline int runAndCompare(int argc, char** argv, const std::vector<Pair>& pairs, const char* oursName,
                         const char* peerName) {
    namespace fs = std::filesystem;
    fs::path root = fs::temp_directory_path() / "dkbench-log";
    if (!std::getenv("NVLVTROOT")) dktools::prepareLogRoot(root);

    std::string program = fs::path(argv[0]).filename().string();
    std::vector<Pair> chosen;
    for (const auto& p : pairs) {
        bool any = selected(program);
        for (const Row& r : rowsOf(p, oursName)) any = any || selected(r.measure);
        if (any) chosen.push_back(p);
    }
    if (chosen.empty()) {
        std::printf("%s: nothing matches BENCH_FILTER\n", program.c_str());
        return 0;
    }

    std::vector<std::string> args(argv, argv + argc);
    auto given = [&](const char* flag) {
        return std::any_of(args.begin(), args.end(), [&](const std::string& a) { return a.rfind(flag, 0) == 0; });
    };
    if (!given("--benchmark_repetitions")) args.push_back("--benchmark_repetitions=5");
    if (!given("--benchmark_enable_random_interleaving")) args.push_back("--benchmark_enable_random_interleaving=true");
    if (!given("--benchmark_min_time")) args.push_back("--benchmark_min_time=0.1");
    if (!selected(program) && !given("--benchmark_filter")) {
        std::string names;
        for (const auto& p : chosen)
            for (const Row& r : rowsOf(p, oursName))
                for (const std::string* n : {&r.ours, &r.peer}) names += (names.empty() ? "" : "|") + regexEscaped(*n);
        args.push_back("--benchmark_filter=^(" + names + ")$");
    }
    std::vector<char*> argvNew;
    for (auto& a : args) argvNew.push_back(a.data());
    int argcNew = static_cast<int>(argvNew.size());
    argvNew.push_back(nullptr);

    benchmark::Initialize(&argcNew, argvNew.data());
    Collector c;
    benchmark::RunSpecifiedBenchmarks(&c);

    std::printf("\nratios (%s / %s, median per-item time of 5; below 1.0x means ours is faster)\n", oursName,
                peerName);
    std::vector<Row> rows;
    for (const auto& p : chosen)
        for (const Row& r : rowsOf(p, oursName)) rows.push_back(r);
    for (const Row& r : rows) {
        double a = c.median(r.ours), b = c.median(r.peer);
        if (a < 0 || b <= 0)
            std::printf("  %-64s (not measured)\n", r.measure.c_str());
        else
            std::printf("  %-64s %10s %10s %7.2fx%s\n", r.measure.c_str(), timeText(a).c_str(), timeText(b).c_str(),
                        a / b, r.target == "-" ? "" : ("  target " + r.target).c_str());
    }
    std::printf("\n");
    for (const Row& r : rows) summaryLine(r.measure, c.median(r.ours), c.median(r.peer), r.target);
    std::fflush(stdout);
    benchmark::Shutdown();
    return 0;
}

}  // namespace dkbench
