// bench/DKString_bench.cpp
//
// DKString against std::string on the operations every interface leans on: building from text,
// copying, appending, cutting and searching, on one thread and on two at once (each thread on its
// own string manager). Every benchmark makes its strings inside its own thread.

#include "dkBenchSupport.hpp"

#include <dk/DKString.hpp>

#include <string>
#include <vector>

namespace {

const std::string kLongText = [] {
    std::string t;
    for (int i = 0; t.size() < 1024; ++i) t += static_cast<char>('a' + i % 23);
    t.resize(1021);
    return t + "xyz";   // 1 KiB, the needle of the searches at its very end
}();
const char* const kShortText = "short text";
const char* const kPiece = "sixteen bytes..";

template <class S>
void construct(benchmark::State& st, const char* text) {
    for (auto _ : st) {
        S s(text);
        benchmark::DoNotOptimize(s);
    }
}

template <class S>
void copy(benchmark::State& st, const char* text) {
    S source(text);
    for (auto _ : st) {
        S s(source);
        benchmark::DoNotOptimize(s);
    }
}

template <class S>
void append(benchmark::State& st) {
    for (auto _ : st) {
        S s;
        for (int i = 0; i < 64; ++i) s += kPiece;   // grows to 1 KiB
        benchmark::DoNotOptimize(s);
    }
}

template <class S>
void cut(benchmark::State& st) {
    S source(kLongText.c_str());
    for (auto _ : st) {
        if constexpr (std::is_same_v<S, DKString>) {
            S part = source.subString(101, 48);
            benchmark::DoNotOptimize(part);
        } else {
            S part = source.substr(100, 48);
            benchmark::DoNotOptimize(part);
        }
    }
}

template <class S>
void search(benchmark::State& st) {
    S source(kLongText.c_str());
    S needle("xyz");
    for (auto _ : st) {
        unsigned long at;
        if constexpr (std::is_same_v<S, DKString>)
            at = source.indexOf(needle, 1);
        else
            at = source.find(needle) + 1;
        benchmark::DoNotOptimize(at);
    }
}

void BM_ConstructShort_DKString(benchmark::State& st) { construct<DKString>(st, kShortText); }
void BM_ConstructShort_std_string(benchmark::State& st) { construct<std::string>(st, kShortText); }
void BM_ConstructLong_DKString(benchmark::State& st) { construct<DKString>(st, kLongText.c_str()); }
void BM_ConstructLong_std_string(benchmark::State& st) { construct<std::string>(st, kLongText.c_str()); }
void BM_CopyShort_DKString(benchmark::State& st) { copy<DKString>(st, kShortText); }
void BM_CopyShort_std_string(benchmark::State& st) { copy<std::string>(st, kShortText); }
void BM_CopyLong_DKString(benchmark::State& st) { copy<DKString>(st, kLongText.c_str()); }
void BM_CopyLong_std_string(benchmark::State& st) { copy<std::string>(st, kLongText.c_str()); }
void BM_Append_DKString(benchmark::State& st) { append<DKString>(st); }
void BM_Append_std_string(benchmark::State& st) { append<std::string>(st); }
void BM_SubString_DKString(benchmark::State& st) { cut<DKString>(st); }
void BM_SubString_std_string(benchmark::State& st) { cut<std::string>(st); }
void BM_IndexOf_DKString(benchmark::State& st) { search<DKString>(st); }
void BM_IndexOf_std_string(benchmark::State& st) { search<std::string>(st); }

#define DK_PAIR(name)                                                  \
    BENCHMARK(BM_##name##_DKString)->Threads(1)->Threads(2);           \
    BENCHMARK(BM_##name##_std_string)->Threads(1)->Threads(2);
DK_PAIR(ConstructShort)
DK_PAIR(ConstructLong)
DK_PAIR(CopyShort)
DK_PAIR(CopyLong)
DK_PAIR(Append)
DK_PAIR(SubString)
DK_PAIR(IndexOf)
#undef DK_PAIR

}  // namespace

int main(int argc, char** argv) {
    std::vector<dkbench::Pair> pairs;
    for (const char* name : {"ConstructShort", "ConstructLong", "CopyShort", "CopyLong", "Append",
                             "SubString", "IndexOf"}) {
        for (const char* threads : {"1", "2"}) {
            std::string suffix = std::string("/threads:") + threads;
            pairs.push_back({std::string(name) + ", " + threads + " thread(s)",
                             std::string("BM_") + name + "_DKString" + suffix,
                             std::string("BM_") + name + "_std_string" + suffix});
        }
    }
    return dkbench::runAndCompare(argc, argv, pairs, "DKString", "std::string");
}
