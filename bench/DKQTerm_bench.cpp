// bench/DKQTerm_bench.cpp
//
// Rendering query-term trees as query text and as SQL, against the same walk over the same tree
// written with the public accessors into a std::ostringstream and into a fmt::memory_buffer.
// Balanced and left-deep trees of 10, 1,000 and 100,000 leaves; the peers' text is checked equal
// to ours before anything is timed. Prints the ratios and one @summary line per measured target: no
// slower than ostringstream, and the time per term at 100,000 leaves within 2x of that at 1,000.

#include "dkBenchSupport.hpp"

#include <dk/DKOpCode.hpp>
#include <dk/DKQTerm.hpp>

#include <benchmark/benchmark.h>
// fmt is used header-only, so the benchmark needs no link settings of its own.
#define FMT_HEADER_ONLY
#include <fmt/format.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::string_view view(const DKString& s) { return std::string_view(s.c_str(), s.length()); }

// The walk of the library's renderer written as a user would write it over the same tree with the
// public accessors, into any sink with put(std::string_view).
template <class Sink>
void renderPeer(const DKQTerm* root, bool sql, Sink& out) {
    struct Frame {
        const DKQTerm* term;
        int stage;
    };
    std::vector<Frame> stack{{root, 0}};
    while (!stack.empty()) {
        const size_t top = stack.size() - 1;
        const DKQTerm& t = *stack[top].term;
        const int stage = stack[top].stage;
        const short op = t.getOpCode();
        if (stage == 0) {
            stack[top].stage = 1;
            if (t.getLeft() != nullptr) {
                out.put("(");
                stack.push_back({t.getLeft(), 0});
                continue;
            }
            if (op != 8) out.put(view(t.getName()));
        }
        if (stage <= 1) {
            if (t.getLeft() != nullptr && stage == 1) out.put(")");
            const DKString first = t.getValue();
            if (sql && (op == 1 || op == 2) && first == "NULL") {
                out.put(op == 1 ? " IS NULL " : " IS NOT NULL ");
                stack.pop_back();
                continue;
            }
            const char* opText = DKOpCode::text(op);
            if (sql && op == 1) opText = " = ";
            if (sql && op == 15) opText = " NOT BETWEEN ";
            if (sql && op == 12) opText = " NOT IN ";
            if (sql && op == 9) opText = " NOT LIKE ";
            if (opText != nullptr) out.put(opText);
            if (t.getRight() != nullptr) {
                out.put("(");
                stack[top].stage = 2;
                stack.push_back({t.getRight(), 0});
                continue;
            }
            if (DKOpCode::isMultiValueOp(op)) {
                long n = 0;
                std::unique_ptr<DKString[]> values(t.getValues(n));
                if (op == 10 || op == 15) {
                    out.put(view(first));
                    out.put(sql ? " AND " : " ");
                    if (n > 1) out.put(view(values[1]));
                } else {
                    out.put("(");
                    for (long i = 0; i < n; ++i) {
                        if (i > 0) out.put(",");
                        out.put(view(values[i]));
                    }
                    out.put(")");
                }
            } else {
                out.put(view(first));
            }
            stack.pop_back();
            continue;
        }
        out.put(")");
        stack.pop_back();
    }
}

struct StreamSink {
    std::ostringstream os;
    void put(std::string_view s) { os << s; }
};
struct FmtSink {
    fmt::memory_buffer buf;
    void put(std::string_view s) { fmt::format_to(std::back_inserter(buf), "{}", s); }
};

std::string peerStream(const DKQTerm* tree, bool sql) {
    StreamSink s;
    renderPeer(tree, sql, s);
    return s.os.str();
}

std::string peerFmt(const DKQTerm* tree, bool sql) {
    FmtSink s;
    renderPeer(tree, sql, s);
    return fmt::to_string(s.buf);
}

// Leaf i: one of the common shapes (LIKE, >, IN with two values, BETWEEN, = NULL).
DKQTerm* leaf(long i) {
    const std::string name = "attr" + std::to_string(i % 97);
    switch (i % 5) {
        case 0: return new DKQTerm(name.c_str(), 5, "'abc%'");
        case 1: return new DKQTerm(name.c_str(), 3, std::to_string(i).c_str());
        case 2: {
            DKString v[] = {"'red'", "'blue'"};
            return new DKQTerm(name.c_str(), 11, v, 2);
        }
        case 3: {
            DKString v[] = {"1", "100"};
            return new DKQTerm(name.c_str(), 10, v, 2);
        }
        default: return new DKQTerm(name.c_str(), 1, "NULL");
    }
}

std::unique_ptr<DKQTerm> leftDeep(long n) {
    std::unique_ptr<DKQTerm> t(leaf(0));
    for (long i = 1; i < n; ++i) t.reset(t.release()->and_(leaf(i)));
    return t;
}

std::unique_ptr<DKQTerm> balanced(long n) {
    std::vector<DKQTerm*> level;
    for (long i = 0; i < n; ++i) level.push_back(leaf(i));
    while (level.size() > 1) {
        std::vector<DKQTerm*> next;
        for (size_t i = 0; i + 1 < level.size(); i += 2)
            next.push_back(i % 4 == 0 ? level[i]->and_(level[i + 1]) : level[i]->or_(level[i + 1]));
        if (level.size() % 2 == 1) next.push_back(level.back());
        level.swap(next);
    }
    return std::unique_ptr<DKQTerm>(level[0]);
}

struct Case {
    std::string shape;
    long leaves;
    std::unique_ptr<DKQTerm> tree;
};

std::vector<Case>& cases() {
    static std::vector<Case> all;
    return all;
}

std::string leavesLabel(long n) { return n >= 1000 ? std::to_string(n / 1000) + "k" : std::to_string(n); }

const char* kForms[] = {"toString", "toSQL"};
const char* kPeers[] = {"ostringstream", "fmt"};

std::string benchName(const char* who, const char* form, const Case& c) {
    return std::string(who) + "/" + form + "/" + c.shape + "/" + leavesLabel(c.leaves);
}

std::string perTerm(double ns) {
    char text[32];
    if (ns >= 1000) std::snprintf(text, sizeof text, "%.2f us", ns / 1000);
    else std::snprintf(text, sizeof text, "%.1f ns", ns);
    return text;
}

void summary(const std::string& measure, double ours, double peer, const char* target) {
    std::printf("@summary\t%s\t%s\t%s\t%.2fx\t%s\n", measure.c_str(), perTerm(ours).c_str(),
                perTerm(peer).c_str(), ours / peer, target);
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    if (!std::getenv("NVLVTROOT")) dktools::prepareLogRoot(fs::temp_directory_path() / "dkbench-log");
    for (const char* shape : {"balanced", "left-deep"}) {
        for (long n : {10L, 1000L, 100000L}) {
            Case c{shape, n, std::string(shape) == "balanced" ? balanced(n) : leftDeep(n)};
            for (bool sql : {false, true}) {
                const std::string ours = (sql ? c.tree->toSQL() : c.tree->toString()).str();
                if (ours != peerStream(c.tree.get(), sql) || ours != peerFmt(c.tree.get(), sql)) {
                    std::fprintf(stderr, "%s %s %ld: the peers render another text\n", shape,
                                 sql ? "toSQL" : "toString", n);
                    return 1;
                }
            }
            cases().push_back(std::move(c));
        }
    }
    for (const Case& c : cases()) {
        for (int f = 0; f < 2; ++f) {
            const bool sql = f == 1;
            benchmark::RegisterBenchmark(benchName("DKQTerm", kForms[f], c).c_str(), [&c, sql](benchmark::State& st) {
                for (auto _ : st) benchmark::DoNotOptimize(sql ? c.tree->toSQL() : c.tree->toString());
            });
            benchmark::RegisterBenchmark(benchName("ostringstream", kForms[f], c).c_str(), [&c, sql](benchmark::State& st) {
                for (auto _ : st) benchmark::DoNotOptimize(peerStream(c.tree.get(), sql));
            });
            benchmark::RegisterBenchmark(benchName("fmt", kForms[f], c).c_str(), [&c, sql](benchmark::State& st) {
                for (auto _ : st) benchmark::DoNotOptimize(peerFmt(c.tree.get(), sql));
            });
        }
    }
    benchmark::Initialize(&argc, argv);
    dkbench::Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);

    // Times per term (a tree of n leaves has 2n - 1 terms), in nanoseconds.
    const auto perTermNs = [&](const std::string& name, long leaves) {
        const double seconds = collector.median(name);   // -1 when it did not run
        return seconds < 0 ? -1.0 : seconds * 1e9 / static_cast<double>(2 * leaves - 1);
    };
    std::printf("\nratios (DKQTerm / peer, per term; below 1.0x means ours is faster)\n");
    for (const Case& c : cases()) {
        for (const char* form : kForms) {
            const double ours = perTermNs(benchName("DKQTerm", form, c), c.leaves);
            for (const char* peer : kPeers) {
                const double theirs = perTermNs(benchName(peer, form, c), c.leaves);
                if (ours <= 0 || theirs <= 0) continue;
                summary(std::string("DKQTerm ") + form + " " + c.shape + " " + leavesLabel(c.leaves) +
                            " leaves vs " + (std::string(peer) == "fmt" ? "fmt::memory_buffer" : "std::ostringstream"),
                        ours, theirs, std::string(peer) == "fmt" ? "-" : "<=1.0x");
            }
        }
    }
    for (const char* shape : {"balanced", "left-deep"}) {
        for (const char* form : kForms) {
            const Case* small = nullptr;
            const Case* large = nullptr;
            for (const Case& c : cases()) {
                if (c.shape != shape) continue;
                if (c.leaves == 1000) small = &c;
                if (c.leaves == 100000) large = &c;
            }
            const double a = perTermNs(benchName("DKQTerm", form, *large), large->leaves);
            const double b = perTermNs(benchName("DKQTerm", form, *small), small->leaves);
            if (a > 0 && b > 0)
                summary(std::string("DKQTerm ") + form + " " + shape + " per term, 100k vs 1k leaves (linear)", a, b,
                        "<=4.0x");
        }
    }
    benchmark::Shutdown();
    return 0;
}
