// fuzz/PParseSeparatedString_fuzz.cpp
//
// Arbitrary text cut at a separator: byte 0 is the separator, byte 1 the reject-empty flag (its
// low bit), the rest the text. It parses or throws usage error 303; pieces are stripped, and with
// the flag set none is empty. DKFUZZ_LOCALE selects a locale, for the double-byte paths.

#include "dkFuzzSupport.hpp"

#include <dk/DKException.hpp>
#include <dk/PParseString.hpp>

#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {
bool white(char c) { return c == ' ' || c == '\r' || c == '\n'; }
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    dkFuzzInitWithLocale();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const char separator = static_cast<char>(data[0]);
    const int rejectEmpty = data[1] & 1;
    const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
    try {
        PParseSeparatedString list(text.c_str(), separator, rejectEmpty);
        for (unsigned long i = 1; i <= list.numberOfStrings(); ++i) {
            const DKString piece = list.string(i);
            if (piece.length() == 0 && rejectEmpty) std::abort();
            if (piece.length() > 0 && (white(piece[1UL]) || white(piece[piece.length()]))) std::abort();
        }
        if (list.numberOfStrings() > 0) list.tokenStringNumber("A");
    } catch (DKUsageError& e) {
        if (e.errorId() != 303) std::abort();
    }
    return 0;
}
