// bench/DKPid_bench.cpp
//
// Pid strings written and read back: DKPid against the same identifier held in std::string
// fields, written with std::string appends and read back with a hand-written reader of the same
// length-prefixed format (checks included), the closest thing a caller would write instead.

#include "dkBenchSupport.hpp"

#include <dk/DKPid.hpp>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// The peer: the same four parts in standard containers.
struct PeerPid {
    std::string type, name, objectType;
    std::vector<std::string> ids;
};

void appendItem(std::string& out, const std::string& s) {
    out += std::to_string(s.size());
    out += ' ';
    out += s;
}

std::string writePeer(const PeerPid& p) {
    std::string ids;
    for (const auto& id : p.ids) appendItem(ids, id);
    std::string inner;
    appendItem(inner, p.type);
    appendItem(inner, p.name);
    appendItem(inner, p.objectType);
    appendItem(inner, ids);
    std::string outer;
    appendItem(outer, inner);
    return outer;
}

// Reads a whole length-prefixed list with the same checks DKPid's parser makes.
std::vector<std::string> readList(const std::string& text) {
    std::vector<std::string> items;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t blank = text.find(' ', pos);
        if (blank == std::string::npos || blank == pos) throw std::invalid_argument("no length");
        std::size_t length = 0;
        for (std::size_t i = pos; i < blank; ++i) {
            if (text[i] < '0' || text[i] > '9') throw std::invalid_argument("not a length");
            if (length > (static_cast<std::size_t>(-1) - 9) / 10) throw std::invalid_argument("too long");
            length = length * 10 + static_cast<std::size_t>(text[i] - '0');
        }
        if (length > text.size() - blank - 1) throw std::invalid_argument("past the end");
        items.emplace_back(text, blank + 1, length);
        pos = blank + 1 + length;
    }
    return items;
}

PeerPid readPeer(const std::string& text) {
    std::vector<std::string> outer = readList(text);
    if (outer.size() != 1) throw std::invalid_argument("outer");
    std::vector<std::string> inner = readList(outer[0]);
    if (inner.size() < 4) throw std::invalid_argument("inner");
    PeerPid p{std::move(inner[0]), std::move(inner[1]), std::move(inner[2]), readList(inner[3])};
    return p;
}

struct Sample {
    const char* type;
    const char* name;
    const char* objectType;
    std::vector<std::string> ids;
};

const Sample kSmall{"XS", "SRV1", "DOC", {"A1", "B22"}};
const Sample kLarge{"ContentServer", "production-library-01", "InvoiceDocument",
                    {"0004711-2023-12-31-ABCDEF", "1 2 3 4 5 6 7 8 9", "", "version 17",
                     "folder/sub folder/item", "26 2 XS4 SRV13 DOC9 2 A13 B22", "x", "last id string"}};

DKPid ours(const Sample& s) {
    DKPid p(static_cast<long>(s.ids.size()));
    p.setDatastoreType(s.type);
    p.setDatastoreName(s.name);
    p.setObjectType(s.objectType);
    for (std::size_t i = 0; i < s.ids.size(); ++i) p.setIdString(static_cast<long>(i), s.ids[i].c_str());
    return p;
}

PeerPid peer(const Sample& s) { return PeerPid{s.type, s.name, s.objectType, s.ids}; }

void writeOurs(benchmark::State& st, const Sample& s) {
    const DKPid p = ours(s);
    for (auto _ : st) {
        DKString text = p.pidString();
        benchmark::DoNotOptimize(text);
    }
}

void writeStd(benchmark::State& st, const Sample& s) {
    const PeerPid p = peer(s);
    for (auto _ : st) {
        std::string text = writePeer(p);
        benchmark::DoNotOptimize(text);
    }
}

void roundTripOurs(benchmark::State& st, const Sample& s) {
    const DKPid p = ours(s);
    for (auto _ : st) {
        DKPid back(p.pidString().c_str());
        benchmark::DoNotOptimize(back);
    }
    if (DKPid(p.pidString().c_str()).pidString() != p.pidString()) std::abort();
}

void roundTripStd(benchmark::State& st, const Sample& s) {
    const PeerPid p = peer(s);
    for (auto _ : st) {
        PeerPid back = readPeer(writePeer(p));
        benchmark::DoNotOptimize(back);
    }
    if (writePeer(readPeer(writePeer(p))) != DKString(ours(s).pidString()).str()) std::abort();
}

void BM_Write_DKPid_small(benchmark::State& st) { writeOurs(st, kSmall); }
void BM_Write_std_small(benchmark::State& st) { writeStd(st, kSmall); }
void BM_Write_DKPid_large(benchmark::State& st) { writeOurs(st, kLarge); }
void BM_Write_std_large(benchmark::State& st) { writeStd(st, kLarge); }
void BM_RoundTrip_DKPid_small(benchmark::State& st) { roundTripOurs(st, kSmall); }
void BM_RoundTrip_std_small(benchmark::State& st) { roundTripStd(st, kSmall); }
void BM_RoundTrip_DKPid_large(benchmark::State& st) { roundTripOurs(st, kLarge); }
void BM_RoundTrip_std_large(benchmark::State& st) { roundTripStd(st, kLarge); }

BENCHMARK(BM_Write_DKPid_small);
BENCHMARK(BM_Write_std_small);
BENCHMARK(BM_Write_DKPid_large);
BENCHMARK(BM_Write_std_large);
BENCHMARK(BM_RoundTrip_DKPid_small);
BENCHMARK(BM_RoundTrip_std_small);
BENCHMARK(BM_RoundTrip_DKPid_large);
BENCHMARK(BM_RoundTrip_std_large);

}  // namespace

int main(int argc, char** argv) {
    return dkbench::runAndCompare(argc, argv,
                                  {{"write pid string, 2 ids", "BM_Write_DKPid_small", "BM_Write_std_small"},
                                   {"write pid string, 8 ids", "BM_Write_DKPid_large", "BM_Write_std_large"},
                                   {"round trip, 2 ids", "BM_RoundTrip_DKPid_small", "BM_RoundTrip_std_small"},
                                   {"round trip, 8 ids", "BM_RoundTrip_DKPid_large", "BM_RoundTrip_std_large"}},
                                  "DKPid", "std::string");
}
