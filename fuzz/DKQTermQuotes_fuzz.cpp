// fuzz/DKQTermQuotes_fuzz.cpp
//
// The quote helpers of query terms on arbitrary text (up to its first zero byte): unquoting a
// quoted text gives it back, except for the NULL forms that quoting leaves alone; undoubling
// doubled quotes gives the text back; the conversion to double quotes agrees with its two steps.

#include "dkFuzzSupport.hpp"

#include <dk/DKQTerm.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    dkFuzzInitWithLocale();   // DKFUZZ_LOCALE: the same under a double-byte code page
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const char* s = bytes.c_str();   // up to the first zero byte
    const DKString text(s);

    if (text != "'NULL'" && DKQTerm::formatWithoutSingleQuotes(DKQTerm::formatWithSingleQuotes(s)) != text) std::abort();
    if (text != "\"NULL\"" && DKQTerm::formatWithoutDoubleQuotes(DKQTerm::formatWithDoubleQuotes(s)) != text) std::abort();
    if (DKQTerm::unDuplicateSingleQuote(DKQTerm::duplicateSingleQuote(s)) != text) std::abort();

    const DKString converted = DKQTerm::convertSingleQuotesFormatToDouble(s);
    const size_t n = std::strlen(s);
    const bool enclosed = n > 1 && s[0] == '\'' && s[n - 1] == '\'';
    if (text == "'NULL'") {
        if (converted != "\"NULL\"") std::abort();
    } else if (enclosed) {
        if (converted != DKQTerm::formatWithDoubleQuotes(DKQTerm::formatWithoutSingleQuotes(s))) std::abort();
    } else if (converted != text) {
        std::abort();
    }
    return 0;
}
