// fuzz/dkToolInput_fuzz.cpp
//
// What the dk tool reads from its user, fed arbitrary bytes: a line of `dk shell` is split into
// words and parsed as a command line (a UsageError or options, never a crash), the text is read
// as every attribute type `dk update` takes (a value that is accepted prints in a form that reads
// back to the same value), and the terminal escaping never lets a control character, DEL, a C1
// control or an invalid UTF-8 byte through.

#include "dkFuzzSupport.hpp"

#include "dkCli.hpp"
#include "dkValues.hpp"

#include <dk/DKException.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// True when s holds only printable ASCII and well-formed UTF-8 without C1 controls.
bool terminalClean(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            if (c < 0x20 || c == 0x7f) return false;
            ++i;
            continue;
        }
        const int n = c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : c >= 0xc2 ? 2 : 0;
        if (n == 0 || i + n > s.size()) return false;
        unsigned long cp = c & (0xff >> (n + 1));
        for (int k = 1; k < n; ++k) {
            const unsigned char d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xc0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3f);
        }
        if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10ffff)) || (cp >= 0xd800 && cp <= 0xdfff) ||
            (cp >= 0x80 && cp <= 0x9f))
            return false;
        i += n;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    dkFuzzInit();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (!terminalClean(dkcli::terminalSafe(text))) std::abort();

    try {
        std::vector<std::string> words = dkcli::splitLine(text);
        if (!words.empty()) words.insert(words.begin() + 1, "repo.db");
        const dkcli::Options o = dkcli::parseArguments(words);
        if (!o.help && !o.version) dkcli::checkOperands(o);
    } catch (const dkcli::UsageError&) {
    }

    for (unsigned short type : {DKAny::tc_short, DKAny::tc_long, DKAny::tc_double, DKAny::tc_decimal, DKAny::tc_date,
                                DKAny::tc_time, DKAny::tc_timestamp}) {
        try {
            const DKAny value = dkcli::valueOfType(type, text, "x");
            const std::string shown = dkcli::textOf(value);
            const DKAny back = dkcli::valueOfType(type, shown, "x");
            if (dkcli::textOf(back) != shown) std::abort();
        } catch (const dkcli::UsageError&) {
        }
    }
    return 0;
}
