// fuzz/DKURL_fuzz.cpp
//
// Arbitrary text as a URL: it parses or throws usage error 303; a URL that parses builds its
// request (or refuses one too long with 303), and its external form parses back to the same parts.
// A relative URL against it parses as well.

#include "dkFuzzSupport.hpp"

#include <dk/DKException.hpp>
#include <dk/DKURL.hpp>

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
    const std::string url = text.substr(0, text.find('|')), relativeUrl = text.find('|') == std::string::npos ? "" : text.substr(text.find('|') + 1);
    try {
        DKURL u(url.c_str());
        try {
            u.request("GET");
        } catch (const DKUsageError& e) {
            if (e.errorMessageId() != 303) std::abort();
        }
        DKURL back(u.toExternalForm().c_str());
        if (!back.equals(&u) || back.hashCode() != u.hashCode()) std::abort();
        DKURL relative(&u, relativeUrl.c_str());
        relative.toExternalForm();
    } catch (const DKUsageError& e) {
        if (e.errorMessageId() != 303) std::abort();
    }
    return 0;
}
