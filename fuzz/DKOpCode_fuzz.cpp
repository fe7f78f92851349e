// fuzz/DKOpCode_fuzz.cpp
//
// Arbitrary text looked up as an operator, embedded zeros included: a code found names a table
// entry equal to the text byte for byte, and no entry equals a text that is not found. The first
// two bytes, read as a code, either give a table entry or throw usage error 392.

#include "dkFuzzSupport.hpp"

#include <dk/DKException.hpp>
#include <dk/DKOpCode.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    dkFuzzInitWithLocale();   // DKFUZZ_LOCALE: the same under a double-byte code page
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const DKString text(data, static_cast<unsigned long>(size));
    const short op = DKOpCode::toOpCode(text);
    long count = 0;
    const DKString* table = DKOpCode::opStrings(count);
    if (op < -1 || op >= count) std::abort();
    for (short i = 0; i < count; ++i) {
        if ((table[i] == text) != (i == op)) std::abort();
    }
    if (size >= 2) {
        const short code = static_cast<short>(data[0] | (data[1] << 8));
        try {
            if (DKOpCode::toString(code) != table[code]) std::abort();
        } catch (DKUsageError& e) {
            if (e.errorId() != 392 || (code >= 0 && code < count)) std::abort();
        }
    }
    return 0;
}
