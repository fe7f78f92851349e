// bench/DKAny_bench.cpp
//
// Copying and comparing variants: DKAny against std::variant<long, double, std::string>, the
// closest standard peer, and decimals against GCC's std::decimal::decimal128 held in the same
// kind of variant. Every benchmark works on as many values as its argument says (1k and 100k),
// each value built on its own, so that the per-item times also show linear growth.

#include "dkBenchSupport.hpp"

#include <dk/DKAny.hpp>
#include <dk/DKDecimal.hpp>

#include <decimal/decimal>
#include <string>
#include <variant>
#include <vector>

namespace {

using Peer = std::variant<long, double, std::string>;
using PeerWithDecimal = std::variant<long, double, std::string, std::decimal::decimal128>;

const char* const kShort = "attr value";   // fits inside both string objects
const char* const kLong = "a property value long enough to need a buffer of its own, 66 chars";
static_assert(sizeof("a property value long enough to need a buffer of its own, 66 chars") == 67);
const char* const kDecimalText = "123456789012.345678";   // 18 digits, scale 6
constexpr long long kDecimalUnscaled = 123456789012345678LL;

// The values of one kind, each made by its own constructor call.
DKAny make(dkbench::As<DKAny>, char kind) {
    switch (kind) {
    case 'l': return DKAny(123456789L);
    case 's': return DKAny(kShort);
    case 'S': return DKAny(kLong);
    default: return DKAny(DKDecimal(kDecimalText));
    }
}

template <class V>
V make(dkbench::As<V>, char kind) {
    switch (kind) {
    case 'l': return V(123456789L);
    case 's': return V(std::string(kShort));
    case 'S': return V(std::string(kLong));
    default:
        if constexpr (std::is_same_v<V, PeerWithDecimal>)
            return V(std::decimal::make_decimal128(kDecimalUnscaled, -6));
        else
            return V(0.0);
    }
}

template <class V>
std::vector<V> values(long n, char kind) {
    std::vector<V> v;
    v.reserve(static_cast<size_t>(n));
    for (long i = 0; i < n; ++i) v.push_back(make(dkbench::As<V>(), kind));
    return v;
}

template <class V>
void copyValues(benchmark::State& st, char kind) {
    const long n = st.range(0);
    const std::vector<V> sources = values<V>(n, kind);
    std::vector<V> copies;
    copies.reserve(static_cast<size_t>(n));
    for (auto _ : st) {
        copies.clear();
        for (long i = 0; i < n; ++i) copies.push_back(sources[i]);
        benchmark::DoNotOptimize(copies.data());
    }
}

template <class V>
void compareValues(benchmark::State& st, char kind) {
    const long n = st.range(0);
    const std::vector<V> a = values<V>(n, kind), b = values<V>(n, kind);
    for (auto _ : st) {
        long equal = 0;
        for (long i = 0; i < n; ++i) equal += (a[i] == b[i]) ? 1 : 0;
        benchmark::DoNotOptimize(equal);
        if (equal != n) st.SkipWithError("equal values compared unequal");
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<dkbench::Pair> pairs;
    struct Figure {
        const char* label;
        const char* target;
        const char* name;
        char kind;
        bool copy;
    };
    const Figure figures[] = {
        {"DKAny copy of a long", "-", "CopyLong", 'l', true},
        {"DKAny copy of a short string", "<=1.5x", "CopyShortString", 's', true},
        {"DKAny copy of a 66-character string", "<=1.5x", "CopyLongString", 'S', true},
        {"DKAny equality of longs", "-", "EqualLong", 'l', false},
        {"DKAny equality of short strings", "<=1.5x", "EqualShortString", 's', false},
        {"DKAny equality of 66-character strings", "<=1.5x", "EqualLongString", 'S', false},
    };
    for (const Figure& f : figures) {
        char kind = f.kind;
        if (f.copy)
            dkbench::addSizedPair<DKAny, Peer>(pairs, f.label, f.target, f.name, "DKAny", "variant",
                                               [kind](benchmark::State& st, auto as) {
                                                   copyValues<typename decltype(as)::type>(st, kind);
                                               });
        else
            dkbench::addSizedPair<DKAny, Peer>(pairs, f.label, f.target, f.name, "DKAny", "variant",
                                               [kind](benchmark::State& st, auto as) {
                                                   compareValues<typename decltype(as)::type>(st, kind);
                                               });
    }
    dkbench::addSizedPair<DKAny, PeerWithDecimal>(
        pairs, "DKAny copy of a decimal (decimal128 in the variant)", "<=1.5x", "CopyDecimal", "DKAny",
        "variant_decimal128",
        [](benchmark::State& st, auto as) { copyValues<typename decltype(as)::type>(st, 'd'); });
    dkbench::addSizedPair<DKAny, PeerWithDecimal>(
        pairs, "DKAny equality of decimals (decimal128 in the variant)", "-", "EqualDecimal", "DKAny",
        "variant_decimal128",
        [](benchmark::State& st, auto as) { compareValues<typename decltype(as)::type>(st, 'd'); });
    return dkbench::runAndCompare(argc, argv, pairs, "DKAny", "std::variant");
}
