// fuzz/PStringId_fuzz.cpp
//
// Arbitrary text as a length-prefixed list: it parses or throws usage error 303, and a list that
// parses writes a form that parses back to an equal list with the same form.

#include "dkFuzzSupport.hpp"

#include <dk/DKException.hpp>
#include <dk/PStringId.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    dkFuzzInit();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        PStringId id(text.c_str());
        const DKString form = id.totalString();
        PStringId back(form.c_str());
        if (!(back == id)) std::abort();
        if (back.totalString() != form) std::abort();
        // Unless a length was written with leading zeros, the form is the text itself.
        const std::string parsed(text.c_str());
        bool leadingZero = false;
        std::size_t pos = 0;
        for (unsigned long k = 0; k < id.numElements(); ++k) {
            const std::size_t blank = parsed.find(' ', pos);
            if (blank - pos > 1 && parsed[pos] == '0') leadingZero = true;
            pos = blank + 1 + id[k].length();
        }
        if (!leadingZero && form != parsed.c_str()) std::abort();
    } catch (DKUsageError& e) {
        if (e.errorId() != 303) std::abort();
    }
    return 0;
}
