// fuzz/PParseSeparatedExpr_fuzz.cpp
//
// Arbitrary text cut at operator words: the bits of byte 0 choose words from a fixed list (in
// its order), byte 1 is the reject-empty flag (its low bit), the rest the text. It parses or
// throws usage error 303; every piece but the last is followed by one of the chosen words.
// DKFUZZ_LOCALE selects a locale, for the double-byte paths.

#include "dkFuzzSupport.hpp"

#include <dk/DKException.hpp>
#include <dk/PParseString.hpp>

#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
const char* const kWords[] = {"AND", "OR", "AND NOT", "NOT", "=", "<>", "", "x"};
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    dkFuzzInitWithLocale();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    std::vector<const char*> words;
    for (int b = 0; b < 8; ++b)
        if (data[0] & (1 << b)) words.push_back(kWords[b]);
    const int rejectEmpty = data[1] & 1;
    const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
    try {
        PParseSeparatedExpr expr(text.c_str(), words.data(), words.size(), rejectEmpty);
        const unsigned long n = expr.numberOfStrings();
        if (words.empty() && (n != 1 || expr.string(1) != text.c_str())) std::abort();
        for (unsigned long i = 1; i <= n; ++i) {
            const DKString separator = expr.seperator(i);
            bool known = separator.length() == 0 && i == n;
            for (const char* w : words) known = known || (i < n && separator == w && *w != '\0');
            if (!known) std::abort();
        }
    } catch (DKUsageError& e) {
        if (e.errorId() != 303) std::abort();
    }
    return 0;
}
