// connectors/postgres/PPgBinary.hpp
#pragma once

// The server's binary forms of the values a query reads, taken from bytes alone (no libpq): the
// cursor asks for them when every column of a result has one here. Each reader gives null and
// the value, or what is wrong with the bytes (the text of the read error); it reads exactly the
// values the text form gives and refuses what the text form refuses. Internal to libdkdspg; no
// state.

#include <string>

namespace dkpg {

// A whole number of 2, 4 or 8 bytes.
const char* binaryWhole(const unsigned char* bytes, int length, long& value);
// An IEEE double of 8 bytes.
const char* binaryDouble(const unsigned char* bytes, int length, double& value);
// A numeric as its text form shows it: the sign, the digits and exactly its scale ("1.50");
// NaN and the infinities are refused, as the text form's are.
const char* binaryNumeric(const unsigned char* bytes, int length, std::string& text);
// A date of the years 1 to 9999 (others show in the text form as BC or with five digits).
const char* binaryDate(const unsigned char* bytes, int length, int (&ymd)[3]);
// A time of day, 00:00:00 to 24:00:00, with its microseconds.
const char* binaryTime(const unsigned char* bytes, int length, int (&hms)[3], int& micros);
// A timestamp without time zone of the years 1 to 9999, with its microseconds.
const char* binaryTimestamp(const unsigned char* bytes, int length, int (&ymd)[3], int (&hms)[3], int& micros);

}  // namespace dkpg
