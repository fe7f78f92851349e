// bench/DKString_bench.cpp
//
// DKString against std::string on the operations every interface leans on: building from text,
// copying, appending, cutting and searching. Each benchmark works on as many strings (or does as
// many appends) as its argument says, so that its per-item time at 1k and at 100k items shows
// whether the work grows linearly.

#include "dkBenchSupport.hpp"

#include <dk/DKString.hpp>

#include <string>
#include <type_traits>
#include <vector>

namespace {

const std::string kLongText = [] {
    std::string t;
    for (int i = 0; t.size() < 1024; ++i) t += static_cast<char>('a' + i % 23);
    t.resize(1021);
    return t + "xyz";   // 1 KiB, the needle of the searches at its very end
}();
const char* const kShortText = "short text";   // fits inside both string objects
const char* const kPiece8 = "8 bytes.";
const char* const kPiece64 = "sixty-four bytes of text appended to a string in one single call";
static_assert(sizeof("8 bytes.") == 9 && sizeof("sixty-four bytes of text appended to a string in one single call") == 65);

template <class S>
void appendPiece(S& s, int bytes) {
    if (bytes == 1)
        s += 'x';
    else
        s += bytes == 8 ? kPiece8 : kPiece64;
}

// Each item: a new short string, then one append to it; the strings stay alive until the next
// round, so the appends that leave the object's own room really allocate.
template <class S>
void appendOntoShort(benchmark::State& st, int bytes) {
    const long n = st.range(0);
    std::vector<S> v;
    v.reserve(static_cast<size_t>(n));
    for (auto _ : st) {
        v.clear();
        for (long i = 0; i < n; ++i) {
            v.emplace_back(kShortText);
            appendPiece(v.back(), bytes);
        }
        benchmark::DoNotOptimize(v.data());
    }
}

// Each item: one append to a string that starts at 1 KiB and keeps growing.
template <class S>
void appendOntoLong(benchmark::State& st, int bytes) {
    const long n = st.range(0);
    for (auto _ : st) {
        S s(kLongText.c_str());
        for (long i = 0; i < n; ++i) appendPiece(s, bytes);
        benchmark::DoNotOptimize(s.c_str());
    }
}

template <class S>
void construct(benchmark::State& st, const char* text) {
    const long n = st.range(0);
    std::vector<S> v;
    v.reserve(static_cast<size_t>(n));
    for (auto _ : st) {
        v.clear();
        for (long i = 0; i < n; ++i) v.emplace_back(text);
        benchmark::DoNotOptimize(v.data());
    }
}

template <class S>
void copy(benchmark::State& st, const char* text) {
    const long n = st.range(0);
    const S source(text);
    std::vector<S> v;
    v.reserve(static_cast<size_t>(n));
    for (auto _ : st) {
        v.clear();
        for (long i = 0; i < n; ++i) v.push_back(source);
        benchmark::DoNotOptimize(v.data());
    }
}

// Strings of 1 KiB, one per item, each built on its own.
template <class S>
std::vector<S> longStrings(long n) {
    std::vector<S> v;
    v.reserve(static_cast<size_t>(n));
    for (long i = 0; i < n; ++i) v.emplace_back(kLongText.c_str());
    return v;
}

template <class S>
void cut(benchmark::State& st) {
    const long n = st.range(0);
    const std::vector<S> sources = longStrings<S>(n);
    std::vector<S> parts;
    parts.reserve(static_cast<size_t>(n));
    for (auto _ : st) {
        parts.clear();
        for (long i = 0; i < n; ++i) {
            if constexpr (std::is_same_v<S, DKString>)
                parts.push_back(sources[i].subString(101, 48));
            else
                parts.push_back(sources[i].substr(100, 48));
        }
        benchmark::DoNotOptimize(parts.data());
    }
}

template <class S>
void search(benchmark::State& st) {
    const long n = st.range(0);
    const std::vector<S> sources = longStrings<S>(n);
    const S needle("xyz");
    for (auto _ : st) {
        unsigned long total = 0;
        for (long i = 0; i < n; ++i) {
            if constexpr (std::is_same_v<S, DKString>)
                total += sources[i].indexOf(needle, 1);
            else
                total += sources[i].find(needle) + 1;
        }
        benchmark::DoNotOptimize(total);
    }
}

}  // namespace

int main(int argc, char** argv) {
    using dkbench::As;
    std::vector<dkbench::Pair> pairs;
    auto add = [&](const char* label, const char* target, const char* name, auto run) {
        dkbench::addSizedPair<DKString, std::string>(pairs, label, target, name, "DKString", "std_string", run);
    };
    for (int bytes : {1, 8, 64}) {
        std::string unit = bytes == 1 ? " byte" : " bytes";
        std::string b = std::to_string(bytes);
        add(("DKString += " + b + unit + " onto a short string").c_str(), "<=1.5x", ("AppendShort" + b).c_str(),
            [bytes](benchmark::State& st, auto as) { appendOntoShort<typename decltype(as)::type>(st, bytes); });
        add(("DKString += " + b + unit + " onto a long string").c_str(), "<=1.5x", ("AppendLong" + b).c_str(),
            [bytes](benchmark::State& st, auto as) { appendOntoLong<typename decltype(as)::type>(st, bytes); });
    }
    add("DKString construct a short string", "<=1.2x", "ConstructShort",
        [](benchmark::State& st, auto as) { construct<typename decltype(as)::type>(st, kShortText); });
    add("DKString construct a 1 KiB string", "-", "ConstructLong",
        [](benchmark::State& st, auto as) { construct<typename decltype(as)::type>(st, kLongText.c_str()); });
    add("DKString copy a short string", "-", "CopyShort",
        [](benchmark::State& st, auto as) { copy<typename decltype(as)::type>(st, kShortText); });
    add("DKString copy a 1 KiB string", "<1.0x", "CopyLong",
        [](benchmark::State& st, auto as) { copy<typename decltype(as)::type>(st, kLongText.c_str()); });
    add("DKString subString of 48 from 1 KiB", "-", "SubString",
        [](benchmark::State& st, auto as) { cut<typename decltype(as)::type>(st); });
    add("DKString indexOf at the end of 1 KiB", "-", "IndexOf",
        [](benchmark::State& st, auto as) { search<typename decltype(as)::type>(st); });
    return dkbench::runAndCompare(argc, argv, pairs, "DKString", "std::string");
}
