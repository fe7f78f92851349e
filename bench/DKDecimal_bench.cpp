// bench/DKDecimal_bench.cpp
//
// DKDecimal against a real decimal peer, GCC's std::decimal::decimal128, on values of up to 18
// digits with mixed scales: adding, subtracting, comparing, multiplying and dividing the same
// operands. Before any timing each benchmark checks that both sides give the same results
// (division: ours truncated at the common scale, the peer's quotient rounded to 34 digits, so
// they agree to the last place kept). decimal128 has no text form, so parsing and writing text are measured against strtod and
// snprintf instead.

#include "dkBenchSupport.hpp"

#include <dk/DKDecimal.hpp>

#include <cstdio>
#include <cstdlib>
#include <decimal/decimal>
#include <random>
#include <string>
#include <vector>

namespace {

using Dec128 = std::decimal::decimal128;

long long pow10(int n) {
    long long p = 1;
    while (n-- > 0) p *= 10;
    return p;
}

// A decimal as an unscaled value and a scale: the number is unscaled / 10^scale.
struct Exact {
    long long unscaled;
    int scale;
};

std::string textOf(Exact e) {
    unsigned long long mag = e.unscaled < 0 ? 0ULL - static_cast<unsigned long long>(e.unscaled) : e.unscaled;
    std::string digits = std::to_string(mag);
    if (static_cast<int>(digits.size()) <= e.scale) digits.insert(0, e.scale - digits.size() + 1, '0');
    if (e.scale > 0) digits.insert(digits.size() - e.scale, ".");
    return (e.unscaled < 0 ? "-" : "") + digits;
}

Exact exactOf(const DKDecimal& d) {
    std::string t = d.toString().c_str();
    bool negative = !t.empty() && t[0] == '-';
    if (negative) t.erase(0, 1);
    size_t point = t.find('.');
    int scale = point == std::string::npos ? 0 : static_cast<int>(t.size() - point - 1);
    if (point != std::string::npos) t.erase(point, 1);
    long long v = std::stoll(t);
    return {negative ? -v : v, scale};
}

Dec128 peerOf(Exact e) { return std::decimal::make_decimal128(e.unscaled, -e.scale); }

// Operand pairs of one kind, the same numbers for both sides. 'a': sums and differences stay
// below 10^18 once both operands are raised to the larger scale; 'd': quotients too; 'm':
// products stay below 10^18.
struct Operands {
    std::vector<Exact> a, b;
};

Operands operands(long n, char kind) {
    std::mt19937_64 rng(20240611);
    auto below = [&](long long limit) {   // a value of 1 to 18 digits, below limit, either sign
        int maxDigits = static_cast<int>(std::to_string(limit - 1).size());
        int digits = 1 + static_cast<int>(rng() % static_cast<unsigned>(maxDigits));
        long long top = digits >= 18 ? limit : std::min(limit, pow10(digits));
        long long v = static_cast<long long>(rng() % static_cast<unsigned long long>(top));
        return (rng() & 1) ? -v : v;
    };
    Operands o;
    while (static_cast<long>(o.a.size()) < n) {
        int sa = static_cast<int>(rng() % 7), sb = static_cast<int>(rng() % 7), s = std::max(sa, sb);
        const long long limit = 500000000000000000LL;   // 5 * 10^17
        Exact a{below(limit / pow10(s - sa)), sa}, b{below(limit / pow10(s - sb)), sb};
        if (kind == 'm') {
            int da = 1 + static_cast<int>(rng() % 17);
            a.unscaled = below(pow10(da));
            b.unscaled = below(pow10(18 - da));
        }
        if (kind == 'd') {
            if (b.unscaled == 0) continue;
            // The quotient at scale s is a * 10^(s - sa + sb) / b; keep it below 10^17.
            __int128 q = static_cast<__int128>(a.unscaled < 0 ? -a.unscaled : a.unscaled) * pow10(s - sa + sb) /
                         (b.unscaled < 0 ? -b.unscaled : b.unscaled);
            if (q >= static_cast<__int128>(100000000000000000LL)) continue;
        }
        o.a.push_back(a);
        o.b.push_back(b);
    }
    return o;
}

template <class T>
std::vector<T> sideOf(const std::vector<Exact>& v);

template <>
std::vector<DKDecimal> sideOf<DKDecimal>(const std::vector<Exact>& v) {
    std::vector<DKDecimal> r;
    r.reserve(v.size());
    for (const Exact& e : v) r.emplace_back(textOf(e).c_str());
    return r;
}

template <>
std::vector<Dec128> sideOf<Dec128>(const std::vector<Exact>& v) {
    std::vector<Dec128> r;
    r.reserve(v.size());
    for (const Exact& e : v) r.push_back(peerOf(e));
    return r;
}

enum class Op { add, subtract, multiply, divide, compare };

// The compare result is carried as a 1 or 0 of the operands' type, so every operation fills the
// same kind of output.
template <class T>
T apply(const T& a, const T& b, Op op) {
    switch (op) {
    case Op::add: return a + b;
    case Op::subtract: return a - b;
    case Op::multiply: return a * b;
    case Op::divide: return a / b;
    default: return a < b ? T(1) : T(0);
    }
}

// Whether ours gives the peer's result on every operand pair.
bool sameResults(const Operands& o, Op op) {
    std::vector<DKDecimal> a = sideOf<DKDecimal>(o.a), b = sideOf<DKDecimal>(o.b);
    std::vector<Dec128> pa = sideOf<Dec128>(o.a), pb = sideOf<Dec128>(o.b);
    for (size_t i = 0; i < a.size(); ++i) {
        Exact ours = exactOf(apply(a[i], b[i], op));
        Dec128 peer = apply(pa[i], pb[i], op);
        if (op == Op::compare) {
            if ((pa[i] < pb[i]) != (a[i] < b[i])) return false;
            continue;
        }
        if (op != Op::divide) {
            if (peerOf(ours) != peer) return false;
            continue;
        }
        // Ours is the peer's quotient truncated toward zero at ours' scale.
        Dec128 q = peerOf(ours), unit = std::decimal::make_decimal128(1LL, -ours.scale);
        Dec128 gap = peer < Dec128(0) ? q - peer : peer - q;
        if (gap < Dec128(0) || !(gap < unit)) return false;
    }
    return true;
}

template <class T>
void arithmetic(benchmark::State& st, char kind, Op op) {
    const long n = st.range(0);
    const Operands o = operands(n, kind);
    if (!sameResults(o, op)) {
        st.SkipWithError("results differ from decimal128");
        return;
    }
    const std::vector<T> a = sideOf<T>(o.a), b = sideOf<T>(o.b);
    if (op == Op::compare) {
        std::vector<char> less(a.size());
        for (auto _ : st) {
            for (long i = 0; i < n; ++i) less[i] = a[i] < b[i];
            benchmark::DoNotOptimize(less.data());
        }
        return;
    }
    std::vector<T> out(a.size());
    for (auto _ : st) {
        for (long i = 0; i < n; ++i) out[i] = apply(a[i], b[i], op);
        benchmark::DoNotOptimize(out.data());
    }
}

void parseDKDecimal(benchmark::State& st) {
    const long n = st.range(0);
    const Operands o = operands(n, 'a');
    std::vector<std::string> texts;
    for (const Exact& e : o.a) texts.push_back(textOf(e));
    std::vector<DKDecimal> out(texts.size());
    for (auto _ : st) {
        for (long i = 0; i < n; ++i) out[i] = DKDecimal(texts[i].c_str());
        benchmark::DoNotOptimize(out.data());
    }
}

void parseStrtod(benchmark::State& st) {
    const long n = st.range(0);
    const Operands o = operands(n, 'a');
    std::vector<std::string> texts;
    for (const Exact& e : o.a) texts.push_back(textOf(e));
    std::vector<double> out(texts.size());
    for (auto _ : st) {
        for (long i = 0; i < n; ++i) out[i] = std::strtod(texts[i].c_str(), nullptr);
        benchmark::DoNotOptimize(out.data());
    }
}

void formatDKDecimal(benchmark::State& st) {
    const long n = st.range(0);
    const std::vector<DKDecimal> v = sideOf<DKDecimal>(operands(n, 'a').a);
    std::vector<DKString> out(v.size());
    for (auto _ : st) {
        for (long i = 0; i < n; ++i) out[i] = v[i].toString();
        benchmark::DoNotOptimize(out.data());
    }
}

void formatSnprintf(benchmark::State& st) {
    const long n = st.range(0);
    const Operands o = operands(n, 'a');
    std::vector<double> values;
    for (const Exact& e : o.a) values.push_back(std::strtod(textOf(e).c_str(), nullptr));
    char buf[64];
    for (auto _ : st) {
        for (long i = 0; i < n; ++i) {
            int len = std::snprintf(buf, sizeof buf, "%.*f", o.a[i].scale, values[i]);
            benchmark::DoNotOptimize(len);
            benchmark::DoNotOptimize(buf);
        }
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
        Op op;
    };
    const Figure figures[] = {
        {"DKDecimal add, up to 18 digits, mixed scales", "<=2x", "Add", 'a', Op::add},
        {"DKDecimal subtract, up to 18 digits, mixed scales", "<=2x", "Subtract", 'a', Op::subtract},
        {"DKDecimal compare (<), up to 18 digits, mixed scales", "<=2x", "Compare", 'a', Op::compare},
        {"DKDecimal multiply, up to 18 digits in the product", "-", "Multiply", 'm', Op::multiply},
        {"DKDecimal divide, up to 18 digits, mixed scales", "-", "Divide", 'd', Op::divide},
    };
    for (const Figure& f : figures) {
        char kind = f.kind;
        Op op = f.op;
        dkbench::addSizedPair<DKDecimal, Dec128>(pairs, f.label, f.target, f.name, "DKDecimal", "decimal128",
                                                 [kind, op](benchmark::State& st, auto as) {
                                                     arithmetic<typename decltype(as)::type>(st, kind, op);
                                                 });
    }
    for (long n : {dkbench::kSmall, dkbench::kLarge}) {
        benchmark::RegisterBenchmark("BM_Parse_DKDecimal", parseDKDecimal)->Arg(n);
        benchmark::RegisterBenchmark("BM_Parse_strtod", parseStrtod)->Arg(n);
        benchmark::RegisterBenchmark("BM_Format_DKDecimal", formatDKDecimal)->Arg(n);
        benchmark::RegisterBenchmark("BM_Format_snprintf", formatSnprintf)->Arg(n);
    }
    const std::vector<long> sizes = {dkbench::kSmall, dkbench::kLarge};
    pairs.push_back({"DKDecimal parse (strtod as the peer)", "BM_Parse_DKDecimal", "BM_Parse_strtod", "-", sizes});
    pairs.push_back({"DKDecimal format (snprintf as the peer)", "BM_Format_DKDecimal", "BM_Format_snprintf", "-", sizes});
    return dkbench::runAndCompare(argc, argv, pairs, "DKDecimal", "decimal128");
}
