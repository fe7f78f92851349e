// fuzz/DKLogMessageInserts_fuzz.cpp
//
// Message templates and inserts from arbitrary bytes: the input is split at zero bytes into a
// template and its inserts, and the message is built through an exception constructor. Beyond
// not crashing, inserts above every number the template could name must come out, in order,
// after " [ADDITONAL INFO]:", and a copy of the exception must report the same.

#include "dkFuzzSupport.hpp"

#include <dk/DKException.hpp>
#include <dk/DKLogMessageInserts.hpp>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    dkFuzzInit();
    return 0;
}

namespace {

// The largest number after any '%' in the template: no placeholder the scan meets is larger.
long highestNamed(const std::string& t) {
    long highest = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i] != '%') continue;
        long n = 0;
        std::size_t j = i + 1;
        for (; j < t.size() && t[j] >= '0' && t[j] <= '9'; ++j)
            n = n > (LONG_MAX - 9) / 10 ? LONG_MAX : n * 10 + (t[j] - '0');
        if (j > i + 1 && n > highest) highest = n;
    }
    return highest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) parts.emplace_back();
        else parts.back() += static_cast<char>(data[i]);
    }
    const std::string& templ = parts[0];

    DKLogMessageInserts inserts;
    for (size_t i = 1; i < parts.size(); ++i) inserts.insert(parts[i].c_str());
    const long count = inserts.size();

    DKException e(templ.c_str(), 1, DKSeverityError, 0, "", inserts);
    const std::string text = e.textCount() ? e.text(0) : "";

    const long bound = highestNamed(templ);
    std::string tail;
    for (long n = bound < count ? bound + 1 : count; n < count; ++n) tail += " " + parts[n];
    if (bound < count - 1) {
        if (text.find(" [ADDITONAL INFO]:") == std::string::npos || text.size() < tail.size() ||
            text.compare(text.size() - tail.size(), tail.size(), tail) != 0)
            std::abort();
    }
    // Without any placeholder or mark the template comes through whole, with the extra blank.
    if (templ.find_first_of("%#") == std::string::npos) {
        const std::string expected = templ + " " + (count > 1 ? " [ADDITONAL INFO]:" + tail : "");
        if (text != expected) std::abort();
    }

    DKException copy(e);
    if (copy.toString() != e.toString()) std::abort();
    return 0;
}
