// fuzz/PParseQuoteString_fuzz.cpp
//
// Arbitrary text through quote undoubling: byte 0 is the quote character, the rest the text.
// The result is never longer than the text and ends at its first line break (one that follows
// a lead byte is the second half of a double-byte character and does not count).
// DKFUZZ_LOCALE selects a locale, for the double-byte paths.

#include "dkFuzzSupport.hpp"

#include <dk/DKException.hpp>
#include <dk/PLeadByteTable.hpp>
#include <dk/PParseString.hpp>

#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    dkFuzzInitWithLocale();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
        const DKString out = PParseQuoteString(static_cast<char>(data[0])).parseString(text.c_str());
        if (out.length() > std::strlen(text.c_str())) std::abort();
        // A line break before the end can only be the second byte of a double-byte character.
        const std::string s = out.str();
        for (std::size_t brk = s.find_first_of("\r\n"); brk != std::string::npos && brk + 1 != s.size();
             brk = s.find_first_of("\r\n", brk + 1))
            if (brk == 0 || !isdbcs(s[brk - 1])) std::abort();
    } catch (DKUsageError& e) {
        if (e.errorId() != 303) std::abort();
    }
    return 0;
}
