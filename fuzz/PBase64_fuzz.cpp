// fuzz/PBase64_fuzz.cpp
//
// Arbitrary bytes as Base64 text: decoding succeeds or throws usage error 303, and what it gives
// encodes to a text that decodes to the same bytes; the bytes themselves survive a round trip.

#include "dkFuzzSupport.hpp"

#include <dk/DKException.hpp>
#include <dk/PBase64.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    dkFuzzInit();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    try {
        const DKString bytes = PBase64::decode(text, size);
        const DKString again = PBase64::encode(bytes.c_str(), bytes.length());
        if (again.length() != size || PBase64::decode(again.c_str(), again.length()) != bytes) std::abort();
    } catch (const DKUsageError& e) {
        if (e.errorMessageId() != 303) std::abort();
    }
    const DKString coded = PBase64::encode(text, size);
    if (PBase64::decode(coded.c_str(), coded.length()).str() != std::string(text, size)) std::abort();
    return 0;
}
