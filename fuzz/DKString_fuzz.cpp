// fuzz/DKString_fuzz.cpp
//
// Drives four DKString slots through a byte-coded sequence of operations and keeps a std::string
// model of each beside it; any difference in value, length or result aborts. Copies between slots
// make buffers shared, so every edit also checks that copy on write leaves the other slots alone.

#include "dkFuzzSupport.hpp"

#include <dk/DKString.hpp>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kSlots = 4;

struct Input {
    const uint8_t* p;
    size_t n;
    uint8_t byte() {
        if (n == 0) return 0;
        --n;
        return *p++;
    }
    // Small positions mostly, and now and then the extremes.
    unsigned long position() {
        uint8_t b = byte();
        if (b == 0xff) return ULONG_MAX;
        if (b == 0xfe) return ULONG_MAX / 2 + 1;
        return b % 64;
    }
    std::string text() {
        size_t len = byte() % 24;
        std::string t;
        for (size_t i = 0; i < len && n > 0; ++i) t += static_cast<char>(byte());
        return t;
    }
};

[[noreturn]] void differ(const char* what, int slot) {
    std::fprintf(stderr, "DKString differs from its model after %s (slot %d)\n", what, slot);
    std::abort();
}

void check(const DKString& s, const std::string& m, const char* what, int slot) {
    if (s.length() != m.size() || std::memcmp(s.c_str(), m.data(), m.size()) != 0 ||
        s.c_str()[s.length()] != '\0')
        differ(what, slot);
}

bool isSpaceC(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

std::string modelSub(const std::string& m, unsigned long start, unsigned long count) {
    if (start < 1) start = 1;
    if (start > m.size()) return std::string();
    return m.substr(start - 1, count);
}

unsigned long modelIndex(const std::string& m, const std::string& needle, unsigned long start) {
    if (start < 1) start = 1;
    if (start > m.size()) return 0;
    size_t pos = m.find(needle, start - 1);
    return pos == std::string::npos ? 0 : pos + 1;
}

void modelRemove(std::string& m, unsigned long pos, unsigned long count) {
    if (pos < 1) pos = 1;
    if (count > m.size() || pos - 1 > m.size() - count) return;
    m.erase(pos - 1, count);
}

void modelJustify(std::string& m, unsigned long n) {
    m.resize(n, ' ');
}

void modelInsert(std::string& m, const std::string& s, unsigned long pos) {
    if (pos > m.size()) m.resize(pos, ' ');
    m.insert(pos, s);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    dkFuzzInit();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in{data, size};
    DKString s[kSlots];
    std::string m[kSlots];
    while (in.n > 0) {
        uint8_t op = in.byte();
        int i = op % kSlots;
        int j = (op / kSlots) % kSlots;
        switch ((op / 16) % 16) {
            case 0: {   // append a sized text (zeros allowed) or a zero-terminated one
                std::string t = in.text();
                if (in.byte() & 1) {
                    s[i] += DKString(t.data(), t.size());
                    m[i] += t;
                } else {
                    s[i] += t.c_str();
                    m[i] += std::string(t.c_str());
                }
                check(s[i], m[i], "append", i);
                break;
            }
            case 1: {   // append another slot, possibly itself
                s[i] += s[j];
                m[i] += m[j];
                check(s[i], m[i], "append slot", i);
                break;
            }
            case 2: {
                unsigned long start = in.position(), count = in.position();
                check(s[i].subString(start, count), modelSub(m[i], start, count), "subString", i);
                break;
            }
            case 3: {
                std::string t = in.text().substr(0, 4);
                unsigned long start = in.position();
                if (s[i].indexOf(DKString(t.data(), t.size()), start) != modelIndex(m[i], t, start))
                    differ("indexOf text", i);
                char c = static_cast<char>(in.byte() % 8 + 'a');
                if (s[i].indexOf(c, start) != modelIndex(m[i], std::string(1, c), start))
                    differ("indexOf char", i);
                break;
            }
            case 4: {
                unsigned long pos = in.position(), count = in.position();
                s[i].remove(pos, count);
                modelRemove(m[i], pos, count);
                check(s[i], m[i], "remove", i);
                break;
            }
            case 5: {
                unsigned long pos = in.position() % 80;
                s[i].insert(s[j], pos);
                modelInsert(m[i], i == j ? std::string(m[j]) : m[j], pos);
                check(s[i], m[i], "insert", i);
                break;
            }
            case 6: {
                unsigned long n = in.position() % 200;
                s[i].leftJustify(n);
                modelJustify(m[i], n);
                check(s[i], m[i], "leftJustify", i);
                break;
            }
            case 7: {
                s[i].upperCase();
                for (char& c : m[i])
                    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
                check(s[i], m[i], "upperCase", i);
                break;
            }
            case 8: {
                s[i].strip();
                size_t b = 0, e = m[i].size();
                while (b < e && isSpaceC(m[i][b])) ++b;
                while (e > b && isSpaceC(m[i][e - 1])) --e;
                m[i] = m[i].substr(b, e - b);
                check(s[i], m[i], "strip", i);
                break;
            }
            case 9: {
                if ((s[i] == s[j]) != (m[i] == m[j])) differ("==", i);
                if ((s[i] < s[j]) != (m[i] < m[j])) differ("<", i);
                if ((s[i] == m[j].c_str()) != (m[i] == std::string(m[j].c_str()))) differ("== char*", i);
                break;
            }
            case 10: {   // copy, so buffers get shared
                s[i] = s[j];
                m[i] = m[j];
                break;
            }
            case 11: {   // write through the char* conversion
                if (m[i].empty()) break;
                size_t at = in.byte() % m[i].size();
                char c = static_cast<char>(in.byte());
                char* w = s[i];
                w[at] = c;
                m[i][at] = c;
                check(s[i], m[i], "char* write", i);
                break;
            }
            case 12: {
                unsigned long p = in.position();
                char want = p >= 1 && p <= m[i].size() ? m[i][p - 1] : '\0';
                if (s[i][p] != want) differ("operator[]", i);
                if (s[i].asInt() != std::strtol(m[i].c_str(), nullptr, 10)) differ("asInt", i);
                break;
            }
            case 13: {
                unsigned long start = in.position(), count = in.position();
                s[i] = s[i].subString(start, count) + s[j];
                m[i] = modelSub(m[i], start, count) + m[j];
                check(s[i], m[i], "subString +", i);
                break;
            }
            default: {   // a fresh value: a number or a moved temporary
                long v = static_cast<long>(in.byte()) << (in.byte() % 56);
                s[i] = DKString(-v);
                m[i] = std::to_string(-v);
                break;
            }
        }
        for (int k = 0; k < kSlots; ++k) check(s[k], m[k], "a change of another slot", k);
        if (m[i].size() > 4096) {   // keep one input's work small
            s[i] = "";
            m[i].clear();
        }
    }
    return 0;
}
