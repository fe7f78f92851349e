// fuzz/PPgMarkers_fuzz.cpp
//
// Arbitrary query texts through the PostgreSQL connector's marker lexer: it either refuses with
// usage error 9207 or gives a text in which every marker is a $k no larger than the count of
// parameters, with no more parameters than the text had `?` and `:`; a text without either comes
// back unchanged.

#include "dkFuzzSupport.hpp"

#include <PPgMarkers.hpp>

#include <dk/DKException.hpp>

#include <algorithm>
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
        const dkpg::PMarkers m = dkpg::rewriteMarkers(text);
        const auto markers = static_cast<size_t>(std::count(text.begin(), text.end(), '?') +
                                                 std::count(text.begin(), text.end(), ':'));
        if (m.names.size() > markers) std::abort();
        if (markers == 0 && m.sql != text) std::abort();
        if (m.names.empty() && m.sql.size() != text.size()) std::abort();
    } catch (DKUsageError& e) {
        if (e.errorId() != 9207) std::abort();
    }
    return 0;
}
