// bench/DKDecimal_bench.cpp
//
// DKDecimal against the machine's own numbers on the same work: parsing text (strtod), adding two
// values of different scales (a double add) and writing the text form (snprintf "%.*f"). Decimals
// do more (exact digits, range checks, their own digit string), so the ratios show what that costs.

#include "dkBenchSupport.hpp"

#include <dk/DKDecimal.hpp>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// Typical repository values: money, quantities, rates, identifiers.
const char* const kTexts[] = {"123.45",       "-0.5",  "98765.4321", "1000000", "-12345678.90",
                              "0.000123",     "42",    "3.14159",    "250.00",  "-7.125",
                              "999999999.99", "1,5",   "0.1",        "64",      "31415.926535",
                              "-100.001"};
constexpr size_t kCount = sizeof kTexts / sizeof kTexts[0];

void BM_Parse_DKDecimal(benchmark::State& st) {
    for (auto _ : st)
        for (const char* t : kTexts) {
            DKDecimal d(t);
            benchmark::DoNotOptimize(d);
        }
    st.SetItemsProcessed(static_cast<long>(st.iterations() * kCount));
}

void BM_Parse_strtod(benchmark::State& st) {
    for (auto _ : st)
        for (const char* t : kTexts) {
            double d = std::strtod(t, nullptr);
            benchmark::DoNotOptimize(d);
        }
    st.SetItemsProcessed(static_cast<long>(st.iterations() * kCount));
}

void BM_Add_DKDecimal(benchmark::State& st) {
    std::vector<DKDecimal> v;
    for (const char* t : kTexts) v.emplace_back(t);
    for (auto _ : st)
        for (size_t i = 0; i < kCount; ++i) {
            DKDecimal r = v[i] + v[(i + 1) % kCount];
            benchmark::DoNotOptimize(r);
        }
    st.SetItemsProcessed(static_cast<long>(st.iterations() * kCount));
}

void BM_Add_double(benchmark::State& st) {
    std::vector<double> v;
    for (const char* t : kTexts) v.push_back(std::strtod(t, nullptr));
    for (auto _ : st)
        for (size_t i = 0; i < kCount; ++i) {
            double r = v[i] + v[(i + 1) % kCount];
            benchmark::DoNotOptimize(r);
        }
    st.SetItemsProcessed(static_cast<long>(st.iterations() * kCount));
}

void BM_Format_DKDecimal(benchmark::State& st) {
    std::vector<DKDecimal> v;
    for (const char* t : kTexts) v.emplace_back(t);
    for (auto _ : st)
        for (const DKDecimal& d : v) {
            DKString s = d.toString();
            benchmark::DoNotOptimize(s);
        }
    st.SetItemsProcessed(static_cast<long>(st.iterations() * kCount));
}

void BM_Format_snprintf(benchmark::State& st) {
    struct Item {
        double value;
        int scale;
    };
    std::vector<Item> v;
    for (const char* t : kTexts) {
        DKDecimal d(t);
        v.push_back({d.toDouble(), static_cast<int>(d.getScale())});
    }
    char buf[160];
    for (auto _ : st)
        for (const Item& it : v) {
            int n = std::snprintf(buf, sizeof buf, "%.*f", it.scale, it.value);
            benchmark::DoNotOptimize(n);
            benchmark::DoNotOptimize(buf);
        }
    st.SetItemsProcessed(static_cast<long>(st.iterations() * kCount));
}

}  // namespace

BENCHMARK(BM_Parse_DKDecimal);
BENCHMARK(BM_Parse_strtod);
BENCHMARK(BM_Add_DKDecimal);
BENCHMARK(BM_Add_double);
BENCHMARK(BM_Format_DKDecimal);
BENCHMARK(BM_Format_snprintf);

int main(int argc, char** argv) {
    return dkbench::runAndCompare(argc, argv,
                                  {{"parse 16 texts", "BM_Parse_DKDecimal", "BM_Parse_strtod"},
                                   {"add 16 pairs, mixed scales", "BM_Add_DKDecimal", "BM_Add_double"},
                                   {"format 16 values", "BM_Format_DKDecimal", "BM_Format_snprintf"}},
                                  "DKDecimal", "double");
}
