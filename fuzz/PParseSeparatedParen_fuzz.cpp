// fuzz/PParseSeparatedParen_fuzz.cpp
//
// Arbitrary text cut into parenthesised groups: byte 0 is the reject-empty flag (its low bit),
// the rest the text. It parses or throws usage error 303; every piece that starts with "(" ends
// with ")". DKFUZZ_LOCALE selects a locale, for the double-byte paths.

#include "dkFuzzSupport.hpp"

#include <dk/DKException.hpp>
#include <dk/PParseString.hpp>

#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    dkFuzzInitWithLocale();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
        PParseSeparatedParen groups(text.c_str(), data[0] & 1);
        for (unsigned long i = 1; i <= groups.numberOfStrings(); ++i) {
            const DKString piece = groups.string(i);
            if (piece[1UL] == '(' && piece[piece.length()] != ')') std::abort();
        }
    } catch (DKUsageError& e) {
        if (e.errorId() != 303) std::abort();
    }
    return 0;
}
