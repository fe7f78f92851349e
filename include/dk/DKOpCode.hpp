// include/dk/DKOpCode.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

// The operator codes of query terms and expressions and their text forms, blanks included:
// 0 "  ", 1 " == ", 2 " <> ", 3 " > ", 4 " < ", 5 " LIKE ", 6 " AND ", 7 " OR ", 8 " NOT ",
// 9 " NOTLIKE ", 10 " BETWEEN ", 11 " IN ", 12 " NOTIN ", 13 " >= ", 14 " <= ",
// 15 " NOTBETWEEN ", 16 " CONTAINS_TEXT ", 17 " CONTAINS_TEXT_IN_CONTENT ".
// Codes 6, 7 and 8 are logical; 10, 11, 12 and 15 take several values. All static; the table is
// built once and may be read from any thread.
class DK_API DKOpCode {
public:
    enum : short {
        opNone = 0, opEqual = 1, opNotEqual = 2, opGreater = 3, opLess = 4, opLike = 5,
        opAnd = 6, opOr = 7, opNot = 8, opNotLike = 9, opBetween = 10, opIn = 11, opNotIn = 12,
        opGreaterEqual = 13, opLessEqual = 14, opNotBetween = 15, opContainsText = 16,
        opContainsTextInContent = 17
    };
    static constexpr long kCount = 18;

    // The table of text forms, indexed by code; count is set to 18. Static: never deleted.
    static const DKString* opStrings(long& count);
    // The text form of op; a code outside 0..17 throws DKUsageError 392.
    static DKString toString(short op);
    // The code whose text form equals text exactly (blanks and case count), searched from 17
    // down to 0; -1 when none does.
    static short toOpCode(DKString text);
    static int isMultiValueOp(short op);   // 1 for 10, 11, 12 and 15

    // The text form of op, or null outside 0..17; never throws. For the renderers.
    static const char* text(short op) noexcept;
};
