// fuzz/PPgBinary_fuzz.cpp
//
// Arbitrary bytes through the PostgreSQL connector's readers of the server's binary forms. The
// first byte picks the reader, the rest is the value. A reader either says what is wrong or gives
// a value in range: a whole number of the sizes the server sends, a numeric text of exactly its
// scale, a real date of the years 1 to 9999, a time of one day.

#include "dkFuzzSupport.hpp"

#include <PPgBinary.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void checkDate(const int (&ymd)[3]) {
    static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (ymd[0] < 1 || ymd[0] > 9999 || ymd[1] < 1 || ymd[1] > 12 || ymd[2] < 1 || ymd[2] > days[ymd[1] - 1]) std::abort();
    const bool leap = ymd[0] % 4 == 0 && (ymd[0] % 100 != 0 || ymd[0] % 400 == 0);
    if (ymd[1] == 2 && ymd[2] == 29 && !leap) std::abort();
}

void checkTime(const int (&hms)[3], int micros, int lastHour) {
    if (hms[0] < 0 || hms[0] > lastHour || hms[1] < 0 || hms[1] > 59 || hms[2] < 0 || hms[2] > 59) std::abort();
    if (micros < 0 || micros > 999999) std::abort();
    if (hms[0] == 24 && (hms[1] != 0 || hms[2] != 0 || micros != 0)) std::abort();
}

// -?digits, no leading zero but a lone one, then '.' and exactly scale digits when scale > 0.
void checkNumeric(const std::string& text, int scale) {
    std::size_t i = text[0] == '-' ? 1 : 0;
    const std::size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    if (i == start || (text[start] == '0' && i - start > 1)) std::abort();
    if (scale == 0) {
        if (i != text.size()) std::abort();
        return;
    }
    if (i >= text.size() || text[i] != '.') std::abort();
    if (text.size() - i - 1 != static_cast<std::size_t>(scale)) std::abort();
    for (++i; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    dkFuzzInit();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > 4096) return 0;
    const unsigned char* value = data + 1;
    const int length = static_cast<int>(size - 1);
    int ymd[3], hms[3], micros = 0;
    switch (data[0] % 6) {
        case 0: {
            long v = 0;
            const bool sized = length == 2 || length == 4 || length == 8;
            if ((dkpg::binaryWhole(value, length, v) == nullptr) != sized) std::abort();
            break;
        }
        case 1: {
            double v = 0;
            if ((dkpg::binaryDouble(value, length, v) == nullptr) != (length == 8)) std::abort();
            break;
        }
        case 2: {
            std::string text;
            if (dkpg::binaryNumeric(value, length, text) == nullptr)
                checkNumeric(text, static_cast<int16_t>(value[6] << 8 | value[7]));
            break;
        }
        case 3:
            if (dkpg::binaryDate(value, length, ymd) == nullptr) checkDate(ymd);
            break;
        case 4:
            if (dkpg::binaryTime(value, length, hms, micros) == nullptr) checkTime(hms, micros, 24);
            break;
        default:
            if (dkpg::binaryTimestamp(value, length, ymd, hms, micros) == nullptr) {
                checkDate(ymd);
                checkTime(hms, micros, 23);
            }
    }
    return 0;
}
