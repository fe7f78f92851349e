// fuzz/PParseTokenString_fuzz.cpp
//
// Arbitrary text as a term: it parses or throws usage error 303, never anything else. With
// DKFUZZ_LOCALE set (for example zh_CN.GBK with a LOCPATH holding it) the double-byte paths run.

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
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        PParseTokenString term(text.c_str());
        PParseTokenString copy(term);
        if (copy.name() != term.name() || copy.op() != term.op() || copy.value() != term.value()) std::abort();
        // Without an operator there is no value.
        if (term.op().length() == 0 && term.value().length() != 0) std::abort();
    } catch (DKUsageError& e) {
        if (e.errorId() != 303) std::abort();
    }
    return 0;
}
