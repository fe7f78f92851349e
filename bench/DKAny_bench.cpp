// bench/DKAny_bench.cpp
//
// Copying and comparing variants: DKAny against std::variant<long, double, std::string>, the
// closest standard peer. Strings are compared with std::string, decimals with double (the
// variant has no exact decimal, and double is what a caller would reach for instead).

#include "dkBenchSupport.hpp"

#include <dk/DKAny.hpp>
#include <dk/DKDecimal.hpp>

#include <benchmark/benchmark.h>

#include <string>
#include <variant>

namespace {

using Peer = std::variant<long, double, std::string>;

const char* const kShort = "attr value";   // fits inside both string objects
const char* const kLong = "a property value long enough to need a buffer of its own, 66 chars";

template <class V>
void copyLoop(benchmark::State& st, const V& source) {
    for (auto _ : st) {
        V copy(source);
        benchmark::DoNotOptimize(copy);
    }
}

template <class V>
void equalLoop(benchmark::State& st, V a, V b) {
    for (auto _ : st) {
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(b);
        bool equal = (a == b);
        benchmark::DoNotOptimize(equal);
    }
}

void BM_Copy_DKAny_long(benchmark::State& st) { copyLoop(st, DKAny(123456789L)); }
void BM_Copy_variant_long(benchmark::State& st) { copyLoop(st, Peer(123456789L)); }
void BM_Copy_DKAny_shortString(benchmark::State& st) { copyLoop(st, DKAny(kShort)); }
void BM_Copy_variant_shortString(benchmark::State& st) { copyLoop(st, Peer(std::string(kShort))); }
void BM_Copy_DKAny_longString(benchmark::State& st) { copyLoop(st, DKAny(kLong)); }
void BM_Copy_variant_longString(benchmark::State& st) { copyLoop(st, Peer(std::string(kLong))); }
void BM_Copy_DKAny_decimal(benchmark::State& st) { copyLoop(st, DKAny(DKDecimal("12345.67"))); }
void BM_Copy_variant_double(benchmark::State& st) { copyLoop(st, Peer(12345.67)); }

void BM_Equal_DKAny_long(benchmark::State& st) { equalLoop(st, DKAny(123456789L), DKAny(123456789L)); }
void BM_Equal_variant_long(benchmark::State& st) { equalLoop(st, Peer(123456789L), Peer(123456789L)); }
void BM_Equal_DKAny_shortString(benchmark::State& st) { equalLoop(st, DKAny(kShort), DKAny(kShort)); }
void BM_Equal_variant_shortString(benchmark::State& st) {
    equalLoop(st, Peer(std::string(kShort)), Peer(std::string(kShort)));
}
void BM_Equal_DKAny_longString(benchmark::State& st) { equalLoop(st, DKAny(kLong), DKAny(kLong)); }
void BM_Equal_variant_longString(benchmark::State& st) {
    equalLoop(st, Peer(std::string(kLong)), Peer(std::string(kLong)));
}
void BM_Equal_DKAny_decimal(benchmark::State& st) {
    equalLoop(st, DKAny(DKDecimal("12345.67")), DKAny(DKDecimal("12345.67")));
}
void BM_Equal_variant_double(benchmark::State& st) { equalLoop(st, Peer(12345.67), Peer(12345.67)); }

BENCHMARK(BM_Copy_DKAny_long);
BENCHMARK(BM_Copy_variant_long);
BENCHMARK(BM_Copy_DKAny_shortString);
BENCHMARK(BM_Copy_variant_shortString);
BENCHMARK(BM_Copy_DKAny_longString);
BENCHMARK(BM_Copy_variant_longString);
BENCHMARK(BM_Copy_DKAny_decimal);
BENCHMARK(BM_Copy_variant_double);
BENCHMARK(BM_Equal_DKAny_long);
BENCHMARK(BM_Equal_variant_long);
BENCHMARK(BM_Equal_DKAny_shortString);
BENCHMARK(BM_Equal_variant_shortString);
BENCHMARK(BM_Equal_DKAny_longString);
BENCHMARK(BM_Equal_variant_longString);
BENCHMARK(BM_Equal_DKAny_decimal);
BENCHMARK(BM_Equal_variant_double);

}  // namespace

int main(int argc, char** argv) {
    return dkbench::runAndCompare(argc, argv,
                                  {
                                      {"copy long", "BM_Copy_DKAny_long", "BM_Copy_variant_long"},
                                      {"copy string (10 chars)", "BM_Copy_DKAny_shortString",
                                       "BM_Copy_variant_shortString"},
                                      {"copy string (66 chars)", "BM_Copy_DKAny_longString",
                                       "BM_Copy_variant_longString"},
                                      {"copy decimal / double", "BM_Copy_DKAny_decimal", "BM_Copy_variant_double"},
                                      {"equality long", "BM_Equal_DKAny_long", "BM_Equal_variant_long"},
                                      {"equality string (10 chars)", "BM_Equal_DKAny_shortString",
                                       "BM_Equal_variant_shortString"},
                                      {"equality string (66 chars)", "BM_Equal_DKAny_longString",
                                       "BM_Equal_variant_longString"},
                                      {"equality decimal / double", "BM_Equal_DKAny_decimal",
                                       "BM_Equal_variant_double"},
                                  },
                                  "DKAny", "std::variant");
}
