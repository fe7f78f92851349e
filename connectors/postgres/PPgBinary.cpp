// connectors/postgres/PPgBinary.cpp
//
// Reading the server's binary forms: big-endian whole numbers and doubles, numerics as a sign,
// a weight, a scale and base-10000 digits, dates as days and times and timestamps as
// microseconds from 2000-01-01. The calendar is the proleptic Gregorian one the server uses.

#include "PPgBinary.hpp"

#include <cstdint>
#include <cstring>
#include <type_traits>

namespace dkpg {

namespace {

constexpr std::int64_t kMicrosPerDay = 86400000000LL;
constexpr long kDays1970To2000 = 10957;

// The unsigned number of N (2, 4 or 8) bytes at p, most significant first: one load and, on a
// little-endian machine, one byte swap.
template <int N>
std::uint64_t bigEndian(const unsigned char* p) {
    using Word = std::conditional_t<N == 8, std::uint64_t, std::conditional_t<N == 4, std::uint32_t, std::uint16_t>>;
    Word v;
    std::memcpy(&v, p, N);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if constexpr (N == 8)
        v = __builtin_bswap64(v);
    else if constexpr (N == 4)
        v = __builtin_bswap32(v);
    else
        v = __builtin_bswap16(v);
#endif
    return v;
}

// The date days after 2000-01-01; false for a year outside 1 .. 9999.
bool dateOf(std::int64_t days, int (&ymd)[3]) {
    // Beyond these the year is out of range anyway; the arithmetic below stays far from overflow.
    if (days < -800000 || days > 3000000) return false;
    const long z = static_cast<long>(days) + kDays1970To2000 + 719468;   // days from 0000-03-01
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    const long month = mp < 10 ? mp + 3 : mp - 9;
    const long year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    if (year < 1 || year > 9999) return false;
    ymd[0] = static_cast<int>(year);
    ymd[1] = static_cast<int>(month);
    ymd[2] = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    return true;
}

void timeOf(std::int64_t micros, int (&hms)[3], int& fraction) {
    const std::int64_t seconds = micros / 1000000;
    hms[0] = static_cast<int>(seconds / 3600);
    hms[1] = static_cast<int>(seconds / 60 % 60);
    hms[2] = static_cast<int>(seconds % 60);
    fraction = static_cast<int>(micros % 1000000);
}

}  // namespace

const char* binaryWhole(const unsigned char* p, int length, long& value) {
    switch (length) {
        case 2: value = static_cast<std::int16_t>(bigEndian<2>(p)); return nullptr;
        case 4: value = static_cast<std::int32_t>(bigEndian<4>(p)); return nullptr;
        case 8: value = static_cast<std::int64_t>(bigEndian<8>(p)); return nullptr;
        default: return "a whole number of the wrong size";
    }
}

const char* binaryDouble(const unsigned char* p, int length, double& value) {
    if (length != 8) return "a double of the wrong size";
    const std::uint64_t bits = bigEndian<8>(p);
    std::memcpy(&value, &bits, sizeof value);
    return nullptr;
}

const char* binaryNumeric(const unsigned char* p, int length, std::string& text) {
    if (length < 8) return "a numeric of too few bytes";
    const int count = static_cast<std::int16_t>(bigEndian<2>(p));
    const int weight = static_cast<std::int16_t>(bigEndian<2>(p + 2));
    const std::uint64_t sign = bigEndian<2>(p + 4);
    const int scale = static_cast<std::int16_t>(bigEndian<2>(p + 6));
    if (sign == 0xC000) return "NaN";
    if (sign == 0xD000) return "Infinity";
    if (sign == 0xF000) return "-Infinity";
    if (sign != 0 && sign != 0x4000) return "a numeric of unknown sign";
    if (count < 0 || scale < 0 || length != 8 + 2 * count) return "a numeric of the wrong size";
    for (int d = 0; d < count; ++d)
        if (bigEndian<2>(p + 8 + 2 * d) > 9999) return "a numeric digit beyond 9999";
    const auto digit = [&](int d) { return d >= 0 && d < count ? static_cast<int>(bigEndian<2>(p + 8 + 2 * d)) : 0; };
    text = sign == 0x4000 ? "-" : "";
    // The whole part from its first group that is not zero (the server sends none such; a lone
    // zero when there is none).
    int first = 0;
    while (first < weight && digit(first) == 0) ++first;
    if (weight < 0) text += '0';
    for (int d = first; d <= weight; ++d) {
        const int v = digit(d);
        if (d == first) {
            text += std::to_string(v);
        } else {
            const char group[] = {char('0' + v / 1000), char('0' + v / 100 % 10), char('0' + v / 10 % 10), char('0' + v % 10)};
            text.append(group, 4);
        }
    }
    if (scale > 0) text += '.';
    for (int d = weight + 1, shown = 0; shown < scale; ++d) {
        const int v = digit(d);
        for (int k = 1000; k >= 1 && shown < scale; k /= 10, ++shown) text += char('0' + v / k % 10);
    }
    return nullptr;
}

const char* binaryDate(const unsigned char* p, int length, int (&ymd)[3]) {
    if (length != 4) return "a date of the wrong size";
    const auto days = static_cast<std::int32_t>(bigEndian<4>(p));
    if (days == INT32_MAX) return "infinity";
    if (days == INT32_MIN) return "-infinity";
    return dateOf(days, ymd) ? nullptr : "a date outside the years 1 to 9999";
}

const char* binaryTime(const unsigned char* p, int length, int (&hms)[3], int& micros) {
    if (length != 8) return "a time of the wrong size";
    const auto value = static_cast<std::int64_t>(bigEndian<8>(p));
    if (value < 0 || value > kMicrosPerDay) return "a time outside one day";
    timeOf(value, hms, micros);
    return nullptr;
}

const char* binaryTimestamp(const unsigned char* p, int length, int (&ymd)[3], int (&hms)[3], int& micros) {
    if (length != 8) return "a timestamp of the wrong size";
    const auto value = static_cast<std::int64_t>(bigEndian<8>(p));
    if (value == INT64_MAX) return "infinity";
    if (value == INT64_MIN) return "-infinity";
    // Days and the time of day, rounded down, so that a time before 2000 is still of its day.
    const std::int64_t days = value / kMicrosPerDay - (value % kMicrosPerDay < 0 ? 1 : 0);
    if (!dateOf(days, ymd)) return "a timestamp outside the years 1 to 9999";
    timeOf(value - days * kMicrosPerDay, hms, micros);
    return nullptr;
}

}  // namespace dkpg
