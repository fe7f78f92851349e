// tests/dk/common/query/DKOpCode_test.cpp
//
// The operator table: every code and its text form agree both ways, blanks and case count, and
// a code outside the table is refused with 392.

#include <dk/DKOpCode.hpp>

#include "dkTestSupport.hpp"

TEST(DKOpCode, TableAndLookupAgreeForEveryCode) {
    long count = 0;
    const DKString* table = DKOpCode::opStrings(count);
    ASSERT_EQ(18, count);
    long again = 0;
    EXPECT_EQ(table, DKOpCode::opStrings(again));   // one static table, never rebuilt
    EXPECT_EQ(DKString("  "), table[0]);
    EXPECT_EQ(DKString(" CONTAINS_TEXT_IN_CONTENT "), table[17]);
    for (short op = 0; op < 18; ++op) {
        EXPECT_EQ(table[op], DKOpCode::toString(op));
        EXPECT_EQ(op, DKOpCode::toOpCode(table[op]));
        EXPECT_EQ(op == 10 || op == 11 || op == 12 || op == 15 ? 1 : 0, DKOpCode::isMultiValueOp(op));
    }
}

TEST(DKOpCode, LookupComparesBlanksAndCase) {
    EXPECT_EQ(11, DKOpCode::toOpCode(" IN "));
    for (DKString s : {DKString("IN"), DKString(" in "), DKString(" IN  "), DKString(""), DKString(" IN \0", 5)})
        EXPECT_EQ(-1, DKOpCode::toOpCode(s)) << s.str();
    EXPECT_EQ(0, DKOpCode::isMultiValueOp(-1));
}

TEST(DKOpCode, CodesOutsideTheTableAreRefused) {
    for (short op : {short(18), short(-1), short(32767), short(-32768)})
        EXPECT_EQ(392, dktest::usageError([op] { DKOpCode::toString(op); })) << op;
}
