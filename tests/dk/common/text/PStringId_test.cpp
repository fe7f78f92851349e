// tests/dk/common/text/PStringId_test.cpp
//
// The length-prefixed string list: parsing, writing back, round trips of awkward strings, and
// every kind of malformed text, which throws 303 with the bracketed text as its insert.

#include <dk/DKException.hpp>
#include <dk/DKLogMessageInserts.hpp>
#include <dk/PMessageText.hpp>
#include <dk/PStringId.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(PStringId, ParsesAndWritesTheLengthPrefixedForm) {
    PStringId id("3 abc5 hello");
    ASSERT_EQ(2UL, id.numElements());
    PStringId padded("03 a b");   // leading zeros are read, and written back without them
    EXPECT_EQ((dktest::Texts{"hello", "3 abc5 hello", "0", "", "a b", "3 a b"}),
              (dktest::Texts{id[1].str(), id.totalString().str(), dktest::str(PStringId(nullptr).numElements()),
                             PStringId("0 0 ")[1].str(), padded[0].str(), padded.totalString().str()}));
    EXPECT_EQ(303L, dktest::usageError([&] { id[2]; }));
    // A superscript two in Latin-1 is no digit.
    EXPECT_EQ((std::vector<int>{1, 1, 0, 0, 0}),
              (std::vector<int>{PStringId::isDigits("0123456789"), PStringId::isDigits(""), PStringId::isDigits("12a"),
                                PStringId::isDigits("\xb2"), PStringId::isDigits(nullptr)}));
}

TEST(PStringId, AwkwardStringsSurviveTheRoundTrip) {
    PStringId id;
    for (const char* s : {"", " ", "12 ", "3 abc", "007", "a\nb", "\xff\x81"}) id.addString(s);
    id.addString(DKString("z\0z", 3));   // a zero byte inside
    const DKString form = id.totalString();
    EXPECT_EQ(std::string("0 1  3 12 5 3 abc3 0073 a\nb2 \xff\x81") + std::string("3 z\0z", 5), form.str());
    // The form is parsed as zero-terminated text, so compare without the last string.
    PStringId withoutZero;
    for (unsigned long k = 0; k + 1 < id.numElements(); ++k) withoutZero.addString(id[k]);
    PStringId back(withoutZero.totalString());
    EXPECT_EQ(1, back == withoutZero);
    EXPECT_EQ(0, back == id);
    PStringId copy(id);
    copy.addString("more");
    EXPECT_EQ(0, copy == id);
    copy = id;
    dktest::assignToItself(copy);
    EXPECT_EQ(1, copy == id);
}

TEST(PStringId, MalformedTextThrows303WithTheTextAsInsert) {
    // Longer than what is left, not a length, a sign (no digit), no blank at all, a second item
    // without its blank, a length that fits but runs past the end, and one more: overflow.
    for (const char* text : {"10 abc", "x abc", "-1 a", "abc", "3 abcx", "18446744073709551615 a", "18446744073709551616 a"}) {
        DKLogMessageInserts inserts;
        inserts.insert(DKString("[") + text + "]");
        const dktest::Failure f = dktest::failureOf<DKUsageError>([&] { PStringId id(text); });
        EXPECT_EQ(303, f.id) << text;
        EXPECT_EQ(inserts.substitute(PClsEnv::portalMsg(303)).str(), f.text) << text;
    }
}
