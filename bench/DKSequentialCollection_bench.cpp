// bench/DKSequentialCollection_bench.cpp
//
// The sequential collection against the standard containers a C++ program would use instead:
// sorting string elements (sort(1) with its string sorter against std::sort of a
// std::vector<std::string>) and walking every element with an iterator and reading its string
// (against a std::list<std::string>). Both sides get the same random strings.

#include "dkBenchSupport.hpp"

#include <dk/DKSequentialCollection.hpp>
#include <dk/dkSort.hpp>

#include <algorithm>
#include <list>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// Random lower-case strings of 4 to 24 characters, the same for every run of one size.
const std::vector<std::string>& strings(std::size_t n) {
    static std::map<std::size_t, std::vector<std::string>> cache;
    auto& v = cache[n];
    if (v.empty()) {
        std::mt19937 rng(12345u);
        v.resize(n);
        for (auto& s : v) {
            const unsigned len = 4 + rng() % 21;
            for (unsigned i = 0; i < len; ++i) s.push_back(static_cast<char>('a' + rng() % 26));
        }
    }
    return v;
}

std::unique_ptr<DKSequentialCollection> collectionOf(const std::vector<std::string>& values) {
    auto c = std::make_unique<DKSequentialCollection>();
    for (const auto& s : values) c->addElement(DKAny(DKString(s)));
    return c;
}

void BM_Sort_DKSequentialCollection(benchmark::State& st) {
    const auto& values = strings(static_cast<std::size_t>(st.range(0)));
    for (auto _ : st) {
        st.PauseTiming();
        auto c = collectionOf(values);
        st.ResumeTiming();
        c->sort(1);
        st.PauseTiming();
        c.reset();
        st.ResumeTiming();
    }
}

void BM_Sort_std_vector(benchmark::State& st) {
    const auto& values = strings(static_cast<std::size_t>(st.range(0)));
    for (auto _ : st) {
        st.PauseTiming();
        auto v = std::make_unique<std::vector<std::string>>(values);
        st.ResumeTiming();
        std::sort(v->begin(), v->end());
        st.PauseTiming();
        v.reset();
        st.ResumeTiming();
    }
}

void BM_Iterate_DKSequentialCollection(benchmark::State& st) {
    const auto c = collectionOf(strings(static_cast<std::size_t>(st.range(0))));
    for (auto _ : st) {
        unsigned long total = 0;
        std::unique_ptr<dkIterator> it(c->createIterator());
        while (it->more()) total += static_cast<const DKString*>(it->next()->value())->length();
        benchmark::DoNotOptimize(total);
    }
}

void BM_Iterate_std_list(benchmark::State& st) {
    const auto& values = strings(static_cast<std::size_t>(st.range(0)));
    const std::list<std::string> l(values.begin(), values.end());
    for (auto _ : st) {
        unsigned long total = 0;
        for (const auto& s : l) total += s.size();
        benchmark::DoNotOptimize(total);
    }
}

}  // namespace

BENCHMARK(BM_Sort_DKSequentialCollection)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sort_std_vector)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Iterate_DKSequentialCollection)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Iterate_std_list)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    return dkbench::runAndCompare(
        argc, argv,
        {{"sort 100k strings", "BM_Sort_DKSequentialCollection/100000", "BM_Sort_std_vector/100000"},
         {"sort 1M strings", "BM_Sort_DKSequentialCollection/1000000", "BM_Sort_std_vector/1000000"},
         {"iterate 100k strings", "BM_Iterate_DKSequentialCollection/100000", "BM_Iterate_std_list/100000"},
         {"iterate 1M strings", "BM_Iterate_DKSequentialCollection/1000000", "BM_Iterate_std_list/1000000"}},
        "DKSequentialCollection", "std");
}
