// bench/DKDDO_bench.cpp
//
// Building a data object of 10 attributes on a shared definition and reading every value back,
// against the standard peer a caller would write instead: a vector of (name, variant) pairs
// filled and read the same way. Values are copied in and copied out on both sides, as getData
// returns a copy. The definition is built once, outside the loop, as a connector does for a
// result set; the peer has no definition and keeps a name in every row.

#include "dkBenchSupport.hpp"

#include <dk/DKDDO.hpp>

#include <benchmark/benchmark.h>

#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace {

using Peer = std::variant<long, double, std::string>;
constexpr int kItems = 10;

const char* const kNames[kItems] = {"DKRQItemId", "title", "author", "pages", "price",
                                    "created",    "state", "rank",   "weight", "note"};

// Longs, doubles and short strings, the usual attribute values.
std::vector<DKAny> ourValues() {
    std::vector<DKAny> v;
    for (int i = 0; i < kItems; ++i) {
        if (i % 3 == 0) v.emplace_back(static_cast<long>(1000 + i));
        else if (i % 3 == 1) v.emplace_back(1.5 * i);
        else v.emplace_back(("value " + std::to_string(i)).c_str());
    }
    return v;
}

std::vector<Peer> peerValues() {
    std::vector<Peer> v;
    for (int i = 0; i < kItems; ++i) {
        if (i % 3 == 0) v.emplace_back(static_cast<long>(1000 + i));
        else if (i % 3 == 1) v.emplace_back(1.5 * i);
        else v.emplace_back("value " + std::to_string(i));
    }
    return v;
}

DKDDODef* sharedDefinition() {
    auto* def = new DKDDODef(kItems);
    for (int i = 0; i < kItems; ++i) def->addData(kNames[i]);
    return def;
}

void BM_Build_DKDDO_sharedDef(benchmark::State& st) {
    DKDDODef* def = sharedDefinition();
    const std::vector<DKAny> values = ourValues();
    for (auto _ : st) {
        DKDDO d;
        d.reset(def);
        for (unsigned short id = 1; id <= kItems; ++id) d.setData(id, values[id - 1]);
        for (unsigned short id = 1; id <= kItems; ++id) {
            DKAny v = d.getData(id);
            benchmark::DoNotOptimize(v);
        }
    }
    delete def;
}

void BM_Build_DKDDOBase_sharedDef(benchmark::State& st) {
    DKDDODef* def = sharedDefinition();
    const std::vector<DKAny> values = ourValues();
    for (auto _ : st) {
        DKDDOBase d(def);
        for (unsigned short id = 1; id <= kItems; ++id) d.setData(id, values[id - 1]);
        for (unsigned short id = 1; id <= kItems; ++id) {
            DKAny v = d.getData(id);
            benchmark::DoNotOptimize(v);
        }
    }
    delete def;
}

void BM_Build_vector_pairs(benchmark::State& st) {
    const std::vector<Peer> values = peerValues();
    for (auto _ : st) {
        std::vector<std::pair<std::string, Peer>> row;
        row.reserve(kItems);
        for (int i = 0; i < kItems; ++i) row.emplace_back(kNames[i], values[static_cast<size_t>(i)]);
        for (int i = 0; i < kItems; ++i) {
            Peer v = row[static_cast<size_t>(i)].second;
            benchmark::DoNotOptimize(v);
        }
    }
}

BENCHMARK(BM_Build_DKDDO_sharedDef);
BENCHMARK(BM_Build_DKDDOBase_sharedDef);
BENCHMARK(BM_Build_vector_pairs);

}  // namespace

int main(int argc, char** argv) {
    return dkbench::runAndCompare(argc, argv,
                                  {{"build+read 10 attrs, DKDDO", "BM_Build_DKDDO_sharedDef", "BM_Build_vector_pairs"},
                                   {"build+read 10 attrs, DKDDOBase", "BM_Build_DKDDOBase_sharedDef",
                                    "BM_Build_vector_pairs"}},
                                  "DKDDO", "vector<pair<string,variant>>");
}
