// fuzz/DKDate_fuzz.cpp
//
// The text parsers of dates, times and timestamps. The first byte picks the parser (modulo 3:
// DKDate, DKTime, DKTimestamp), the rest is the text. Every failure must be DKUsageError 303;
// anything else escaping is a finding. A text that parses must survive its own text form:
// parse(format(parse(t))) equals parse(t).

#include "dkFuzzSupport.hpp"

#include <dk/DKDate.hpp>
#include <dk/DKException.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void finding(const char* what, const std::string& text) {
    std::fprintf(stderr, "DKDate_fuzz: %s for \"%s\"\n", what, text.c_str());
    std::abort();
}

template <class T>
void roundTrip(const char* text) {
    T once = T::fromString(text);
    const DKString formatted = once.asString();
    T twice = T::fromString(formatted.c_str());   // a DKUsageError here escapes as a finding
    if (twice != once) finding("round trip changed the value", formatted.str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    dkFuzzInit();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);   // ends at a zero byte
    try {
        switch (data[0] % 3) {
        case 0: roundTrip<DKDate>(text.c_str()); break;
        case 1: roundTrip<DKTime>(text.c_str()); break;
        default: roundTrip<DKTimestamp>(text.c_str()); break;
        }
    } catch (DKUsageError& e) {
        if (e.errorId() != 303) finding("a DKUsageError other than 303", text);
    }
    return 0;
}
