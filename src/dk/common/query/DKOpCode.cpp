// src/dk/common/query/DKOpCode.cpp
//
// The operator codes of the query tree and their text forms. The renderers read the plain C
// table directly; opStrings hands out the same texts as DKStrings built once on first use.

#include <dk/DKOpCode.hpp>

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <cstring>

namespace {
constexpr const char* kSource = "dk/common/DKOpCode";

constexpr const char* kText[DKOpCode::kCount] = {
    "  ",        " == ",  " <> ",    " > ",  " < ",  " LIKE ",       " AND ",
    " OR ",      " NOT ", " NOTLIKE ", " BETWEEN ", " IN ", " NOTIN ", " >= ",
    " <= ",      " NOTBETWEEN ", " CONTAINS_TEXT ", " CONTAINS_TEXT_IN_CONTENT "};
}  // namespace

const char* DKOpCode::text(short op) noexcept {
    return op >= 0 && op < kCount ? kText[op] : nullptr;
}

const DKString* DKOpCode::opStrings(long& count) {
    // A function-local table: built on the first call (thread-safe), after the string managers.
    static const DKString* const table = [] {
        auto* strings = new DKString[kCount];
        for (long i = 0; i < kCount; ++i) strings[i] = kText[i];
        return strings;
    }();
    count = kCount;
    return table;
}

DKString DKOpCode::toString(short op) {
    const char* t = text(op);
    if (t == nullptr) dkThrow<DKUsageError>(392, kSource, "DKOpCode::toString");
    return DKString(t);
}

short DKOpCode::toOpCode(DKString text) {
    for (short op = kCount - 1; op >= 0; --op) {
        if (text == kText[op]) return op;
    }
    return -1;
}

int DKOpCode::isMultiValueOp(short op) {
    return op == opBetween || op == opIn || op == opNotIn || op == opNotBetween ? 1 : 0;
}
