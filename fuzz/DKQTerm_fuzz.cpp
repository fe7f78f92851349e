// fuzz/DKQTerm_fuzz.cpp
//
// Query-term trees built from arbitrary bytes by a small stack machine: leaves with any operator
// and any values, logical nodes (refused ones leave their operands with the caller), NOTs, string
// terms with options, and the setters that reshape a term. Every term left on the stack must
// render, and its clone must render the same text and SQL. AddressSanitizer watches ownership.

#include "dkFuzzSupport.hpp"

#include <dk/DKException.hpp>
#include <dk/DKQTerm.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {
struct Reader {
    const uint8_t* p;
    size_t n;
    uint8_t byte() {
        if (n == 0) return 0;
        --n;
        return *p++;
    }
    short code() { return static_cast<short>(static_cast<int8_t>(byte())); }   // -128..127
    std::string text() {
        size_t len = byte() % 8;
        if (len > n) len = n;
        std::string s(reinterpret_cast<const char*>(p), len);
        p += len;
        n -= len;
        return s;
    }
};

using Term = std::unique_ptr<DKQTerm>;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    dkFuzzInitWithLocale();   // DKFUZZ_LOCALE: the same under a double-byte code page
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{data, size};
    std::vector<Term> stack;
    while (in.n > 0 && stack.size() < 64) {
        try {
            switch (in.byte() % 7) {
                case 0: {
                    const std::string name = in.text(), value = in.text();
                    stack.emplace_back(new DKQTerm(name.c_str(), in.code(), value.c_str()));
                    break;
                }
                case 1: {
                    const std::string name = in.text();
                    const short op = in.code();
                    DKString values[3];
                    const long count = in.byte() % 4;
                    for (long i = 0; i < count; ++i) values[i] = in.text().c_str();
                    stack.emplace_back(new DKQTerm(name.c_str(), op, count > 0 ? values : nullptr, count));
                    break;
                }
                case 2: {   // a logical node over the two top terms (or the top one and null)
                    const short op = in.code();
                    const bool two = stack.size() >= 2 && (in.byte() & 1) == 0;
                    DKQTerm* right = stack.empty() ? nullptr : stack.back().get();
                    DKQTerm* left = two ? stack[stack.size() - 2].get() : nullptr;
                    Term node(new DKQTerm(left, op, right));   // throws before taking anything
                    if (right != nullptr) stack.back().release(), stack.pop_back();
                    if (left != nullptr) stack.back().release(), stack.pop_back();
                    stack.push_back(std::move(node));
                    break;
                }
                case 3:
                    if (!stack.empty()) stack.back().reset(stack.back().release()->not_());
                    break;
                case 4: {
                    const std::string term = in.text(), name = in.text(), value = in.text();
                    DKNVPair option(name.c_str(), DKAny(value.c_str()));
                    stack.emplace_back(new DKQTerm(term.c_str(), &option, in.byte() % 2));
                    break;
                }
                default: {   // reshape the top term
                    if (stack.empty()) break;
                    DKQTerm& t = *stack.back();
                    switch (in.byte() % 5) {
                        case 0: t.setOpCode(in.code()); break;
                        case 1: t.setValues(nullptr, 0); break;
                        case 2: t.setValue(in.text().c_str()); break;
                        case 3: t.setLeft(nullptr); break;
                        default: t.setStringTerm(in.text().c_str()); break;
                    }
                    break;
                }
            }
        } catch (DKUsageError& e) {
            if (e.errorId() != 303) std::abort();
        }
    }
    for (const Term& t : stack) {
        const Term copy(t->clone());
        if (copy->toString() != t->toString() || copy->toSQL() != t->toSQL()) std::abort();
    }
    return 0;
}
