// tools/dk/dkValues.hpp
#pragma once

// Attribute values of `dk` as text: one form out (query, get) and the same form in (update).
// Timestamps are written "YYYY-MM-DD HH:MM:SS.nnnnnnnnn", the form the repository stores, so a
// row and an aggregate over the same column (max(modified)) print alike; dates "YYYY-MM-DD",
// times "HH:MM:SS". Reading refuses a date or time that does not exist instead of letting the
// library carry it over into the next month.

#include "dkOutput.hpp"

#include <dk/DKAny.hpp>

#include <string>

namespace dkcli {

// The cell of a value for the result writer (numbers, text, blobs, null).
Cell cellOf(const DKAny& value);
// The same into cell, reusing its text's buffer (a query fills the same cells for every row).
void fillCell(const DKAny& value, Cell& cell);

// The printed text of a value (what cellOf gives, as one string; empty for null).
std::string textOf(const DKAny& value);

// VALUE from the command line as a value of the attribute type (a DKAny type code). Whole
// numbers must fit the type; dates and times must exist (2024-02-30 is refused). Text for text
// and unknown types. UsageError naming the attribute when VALUE does not read as that type.
DKAny valueOfType(unsigned short type, const std::string& text, const std::string& name);

// The name of an attribute type for people: "string", "long", "timestamp" ...
const char* typeName(unsigned short type);

}  // namespace dkcli
