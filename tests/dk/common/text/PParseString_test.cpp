// tests/dk/common/text/PParseString_test.cpp
//
// The scanners: quoting, nesting, operator order, empty pieces, line breaks, malformed text (303),
// reads bounded by the text, and double-byte handling under a GBK locale in a child process.

#include <dk/DKException.hpp>
#include <dk/PParseString.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <locale.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using dktest::usageError;

template <class P>
std::vector<std::string> pieces(const P& p) {
    std::vector<std::string> out;
    for (unsigned long i = 1; i <= p.numberOfStrings(); ++i) out.push_back(p.string(i).str());
    return out;
}

std::vector<std::string> separators(const PParseSeparatedExpr& p) {
    std::vector<std::string> out;
    for (unsigned long i = 1; i <= p.numberOfStrings(); ++i) out.push_back(p.seperator(i).str());
    return out;
}

using V = std::vector<std::string>;

// Runs every scanner over a copy of text in a heap block of exactly its size, so that
// AddressSanitizer sees any read past the terminator. Returns what quote undoubling gave.
std::string scanAll(const std::string& text) {
    std::unique_ptr<char[]> block(new char[text.size() + 1]);
    std::memcpy(block.get(), text.c_str(), text.size() + 1);
    const char* ops[] = {"AND"};
    try { PParseTokenString t(block.get()); } catch (DKUsageError&) {}
    try { PParseSeparatedString s(block.get(), ',', 1); } catch (DKUsageError&) {}
    try { PParseSeparatedToken s(block.get(), 1); } catch (DKUsageError&) {}
    try { PParseSeparatedParen s(block.get(), 1); } catch (DKUsageError&) {}
    try { PParseSeparatedExpr s(block.get(), ops, 1, 1); } catch (DKUsageError&) {}
    return PParseQuoteString().parseString(block.get()).str();
}

const char* const kAndOr[] = {"AND", "OR"};

}  // namespace

TEST(PParseTokenString, NameOperatorAndValue) {
    struct Case {
        const char* text;
        const char* name;
        const char* op;
        const char* value;
    } cases[] = {
        {"TITLE = 'x'", "TITLE", "=", "'x'"},
        {"A LIKE 'a%'", "A", "LIKE", "'a%'"},
        {"A =5", "A =5", "", ""},                      // a word form needs a blank after it
        {"\"a b\" = 'x'", "\"a b\"", "=", "'x'"},
        {"X BETWEEN 1 AND 5", "X", "BETWEEN", "1 AND 5"},
        {"A AND NOT B", "A", "AND", "NOT B"},          // AND is tried before AND NOT
        {"A <= 5", "A", "<=", "5"},                    // "<" needs a blank after it
        {"A = ", "A", "=", ""},
        {"A = B = C", "A", "=", "B = C"},
        {"TITLE junk = 'y'", "TITLE", "=", "'y'"},      // what lies before the operator is passed over
        {"A B\n= 5", "A B\n= 5", "", ""},              // the search stops at the line break
        {"  CONTAINS_TEXT_IN_CONTENT  big = cat  ", "CONTAINS_TEXT_IN_CONTENT", "CONTAINS_TEXT_IN_CONTENT",
         "big = cat"},
        {"A like 1", "A like 1", "", ""},               // operator words are upper case
    };
    for (const Case& c : cases) {
        PParseTokenString t(c.text);
        EXPECT_EQ(c.name, t.name().str()) << c.text;
        EXPECT_EQ(c.op, t.op().str()) << c.text;
        EXPECT_EQ(c.value, t.value().str()) << c.text;
    }
}

TEST(PParseTokenString, ResetCopyAndUnterminatedQuote) {
    EXPECT_EQ(303, usageError([] { PParseTokenString t("'abc"); }));
    EXPECT_EQ(303, usageError([] { PParseTokenString t("\"a''b = 1"); }));

    PParseTokenString t("A = 1");
    PParseTokenString copy(t);
    t.setString("B<2");
    EXPECT_EQ("B", t.name().str());
    EXPECT_EQ("A", copy.name().str());
    copy = t;
    EXPECT_EQ("<", copy.op().str());
    EXPECT_EQ("2", copy.value().str());
    t.setString(nullptr);
    EXPECT_EQ("", t.name().str());
}

TEST(PParseSeparatedString, PiecesQuotesParenthesesAndEmptyPieces) {
    EXPECT_EQ((V{"a", "b", "c"}), pieces(PParseSeparatedString("a, b ,c", ',', 0)));
    EXPECT_EQ((V{"f(x,y)", "'p,q'"}), pieces(PParseSeparatedString("f(x,y),'p,q'", ',', 0)));
    EXPECT_EQ((V{"'it''s, ok'", "x"}), pieces(PParseSeparatedString("'it''s, ok' , x", ',', 1)));
    EXPECT_EQ((V{"", "a"}), pieces(PParseSeparatedString(",a", ',', 0)));
    EXPECT_EQ((V{"a", ""}), pieces(PParseSeparatedString("a,,", ',', 0)));
    EXPECT_EQ((V{"a"}), pieces(PParseSeparatedString("a,", ',', 1)));   // a final separator adds nothing
    EXPECT_EQ((V{"a", "b", "c"}), pieces(PParseSeparatedString("a\nb;c\r\n", ';', 1)));
    EXPECT_EQ((V{"a", "'b;c"}), pieces(PParseSeparatedString("a;'b;c", ';', 0)));   // open quote: to the end
    EXPECT_EQ(V{}, pieces(PParseSeparatedString("  \r\n ", ';', 1)));
    EXPECT_EQ(V{}, pieces(PParseSeparatedString(nullptr, ';', 1)));

    EXPECT_EQ(303, usageError([] { PParseSeparatedString("a;;b", ';', 1); }));
    EXPECT_EQ(303, usageError([] { PParseSeparatedString("f(a,b", ',', 0); }));
    EXPECT_EQ(303, usageError([] { PParseSeparatedString("a),b", ',', 0); }));
    EXPECT_EQ(303, usageError([] { PParseSeparatedString("f(a\n,b)", ',', 0); }));   // a line break ends the piece

    PParseSeparatedString s("a;b", ';', 0);
    EXPECT_EQ(303, usageError([&] { s.string(0); }));
    EXPECT_EQ(303, usageError([&] { s.string(3); }));
}

TEST(PParseSeparatedString, TermsByName) {
    PParseSeparatedString s("VTCFGDIR=/etc/vt;A = 1; B<2 ;A=3", ';', 1);
    EXPECT_EQ(1UL, s.tokenStringNumber("VTCFGDIR"));
    EXPECT_EQ("/etc/vt", s.tokenString(1).value().str());
    EXPECT_EQ(2UL, s.tokenStringNumber("A"));   // the first of two
    EXPECT_EQ(0UL, s.tokenStringNumber("b"));
    EXPECT_EQ(0UL, s.tokenStringNumber(nullptr));
    EXPECT_EQ("<", s.tokenString(3).op().str());
    EXPECT_EQ(303, usageError([&] { s.tokenString(5); }));
}

TEST(PParseSeparatedToken, GroupsQuotesAndVariables) {
    EXPECT_EQ((V{"a", "(b (c) d)", "'e ''f'", "{g {h}}", "[i]", "$x$", "$y='p q'$", "z"}),
              pieces(PParseSeparatedToken("  a (b (c) d) 'e ''f' {g {h}} [i] $x$ $y='p q'$ z ", 1)));
    EXPECT_EQ((V{"(it's)", "x"}), pieces(PParseSeparatedToken("(it's) x", 1)));   // no quotes in groups
    EXPECT_EQ((V{"$v='x y"}), pieces(PParseSeparatedToken("$v='x y", 1)));           // open value: to the end
    EXPECT_EQ((V{"a", "b"}), pieces(PParseSeparatedToken("a\rb", 1)));
    EXPECT_EQ((V{"a\nb"}), pieces(PParseSeparatedToken("a\nb", 1)));                // only blank and CR end a word
    EXPECT_EQ(V{}, pieces(PParseSeparatedToken("", 1)));

    for (const char* bad : {"((a)", "'a", "a \"b", "{{a}", "x [[a]"})
        EXPECT_EQ(303, usageError([&] { PParseSeparatedToken t(bad, 0); })) << bad;
    PParseSeparatedToken t("a", 0);
    EXPECT_EQ(303, usageError([&] { t.string(2); }));
}

TEST(PParseSeparatedParen, GroupsAndOuterPair) {
    PParseSeparatedParen p("A AND (B OR C) AND D", 1);
    EXPECT_EQ((V{"A AND", "(B OR C)", "AND D"}), pieces(p));
    EXPECT_EQ(0, p.isEnclosedInParen());

    PParseSeparatedParen q("  (A OR B) ", 1);
    EXPECT_EQ((V{"A OR B"}), pieces(q));
    EXPECT_EQ(1, q.isEnclosedInParen());

    PParseSeparatedParen r("(A) OR (B)", 1);
    EXPECT_EQ((V{"(A)", "OR", "(B)"}), pieces(r));
    EXPECT_EQ(0, r.isEnclosedInParen());

    PParseSeparatedParen quoted("(A = ')' OR (B))", 1);   // a quoted parenthesis does not close
    EXPECT_EQ(1, quoted.isEnclosedInParen());
    EXPECT_EQ((V{"A = ')' OR", "(B)"}), pieces(quoted));
    EXPECT_EQ((V{"A", "B"}), pieces(PParseSeparatedParen("A\rB", 1)));

    EXPECT_EQ(303, usageError([] { PParseSeparatedParen("X (A", 0); }));
    EXPECT_EQ(303, usageError([] { PParseSeparatedParen("X (A\r B)", 0); }));
    EXPECT_EQ(303, usageError([] { PParseSeparatedParen("(A) (B", 0); }));
}

TEST(PParseSeparatedExpr, OperatorWordsBetweenDelimiters) {
    PParseSeparatedExpr e("A = 1 AND (B = 2 OR C = 3) OR D = 4", const_cast<const char**>(kAndOr), 2, 1);
    EXPECT_EQ((V{"A = 1", "(B = 2 OR C = 3)", "D = 4"}), pieces(e));
    EXPECT_EQ((V{"AND", "OR", ""}), separators(e));
    EXPECT_EQ(3UL, e.tokenStringNumber("D"));
    EXPECT_EQ("4", e.tokenString(3).value().str());

    const char** ops = const_cast<const char**>(kAndOr);
    EXPECT_EQ((V{"A AND"}), pieces(PParseSeparatedExpr("A AND ", ops, 2, 1)));   // ends the text: no split
    EXPECT_EQ((V{"A='x'", "'y'"}), pieces(PParseSeparatedExpr("A='x'AND'y'", ops, 2, 1)));
    EXPECT_EQ((V{"A = 'x AND y'", "B"}), pieces(PParseSeparatedExpr("A = 'x AND y' OR B", ops, 2, 1)));
    EXPECT_EQ((V{"f(x)", "[y]"}), pieces(PParseSeparatedExpr("f(x)OR[y]", ops, 2, 1)));

    PParseSeparatedExpr gap("A AND OR B", ops, 2, 0);
    EXPECT_EQ((V{"A", "", "B"}), pieces(gap));
    EXPECT_EQ((V{"AND", "OR", ""}), separators(gap));
    EXPECT_EQ(303, usageError([&] { PParseSeparatedExpr("A AND OR B", ops, 2, 1); }));
    EXPECT_EQ(303, usageError([&] { PParseSeparatedExpr("A AND (B", ops, 2, 0); }));
    EXPECT_EQ(303, usageError([&] { PParseSeparatedExpr("A) AND B", ops, 2, 0); }));
    EXPECT_EQ(303, usageError([&] { gap.seperator(4); }));
    EXPECT_EQ(303, usageError([&] { gap.string(0); }));

    // The caller's order decides between overlapping words.
    const char* shortFirst[] = {"AND", "AND NOT"};
    const char* longFirst[] = {"AND NOT", "AND"};
    EXPECT_EQ((V{"AND", ""}), separators(PParseSeparatedExpr("A AND NOT B", shortFirst, 2, 1)));
    EXPECT_EQ((V{"A", "B"}), pieces(PParseSeparatedExpr("A AND NOT B", longFirst, 2, 1)));

    // No words: the whole text, unstripped, is the one piece. An empty word never matches.
    PParseSeparatedExpr none("  x AND y ", nullptr, 3, 1);
    EXPECT_EQ((V{"  x AND y "}), pieces(none));
    EXPECT_EQ((V{""}), separators(none));
    EXPECT_EQ((V{"  x AND y "}), pieces(PParseSeparatedExpr("  x AND y ", ops, 0, 1)));
    const char* withEmpty[] = {"", "OR"};
    EXPECT_EQ((V{"a", "b"}), pieces(PParseSeparatedExpr("a OR b", withEmpty, 2, 1)));
}

TEST(PParseQuoteString, UndoublesUpToTheLineBreak) {
    PParseQuoteString single;
    EXPECT_EQ("'it's'", single.parseString("'it''s'").str());
    EXPECT_EQ("'a'b'\n", single.parseString(" \r\n 'a''b'\nnext line").str());
    EXPECT_EQ("''", single.parseString("''''").str());
    EXPECT_EQ("x'", single.parseString("x''").str());
    EXPECT_EQ("", single.parseString(nullptr).str());
    PParseQuoteString dq('"');
    EXPECT_EQ("\"x\"y\" ''", dq.parseString("\"x\"\"y\" ''").str());
}

TEST(PParseScanners, TextEndingInAnOpenConstructIsReadNoFurther) {
    for (const std::string text : {"'", "\"", "(", "$", "$a='", "a AND", "x '", "{", "[", "'a''", "A <", "$='"})
        scanAll(text);
}

// ---------------------------------------------------------------------------------------------
// Double-byte text. In the C locale no byte is a lead byte; under GBK the bytes 0x81 to 0xFE are,
// and the byte after one is ordinary text even when it is a delimiter or quote.

namespace {

struct DbcsCase {
    // Each returns the pieces seen, or "303" when the text was rejected.
    const char* what;
    V (*run)();
    V inC;
    V inGbk;
};

template <class F>
V orError(F f) {
    try {
        return f();
    } catch (DKUsageError& e) {
        return V{std::to_string(e.errorId())};
    }
}

const DbcsCase kDbcsCases[] = {
    {"separator after a lead byte", [] { return orError([] { return pieces(PParseSeparatedString("a\x81|b|c", '|', 1)); }); },
     V{"a\x81", "b", "c"}, V{"a\x81|b", "c"}},
    {"quote after a lead byte", [] { return orError([] { return pieces(PParseSeparatedString("\x81'x,y", ',', 1)); }); },
     V{"\x81'x,y"}, V{"\x81'x", "y"}},
    {"lead byte ending the text", [] { return orError([] { return pieces(PParseSeparatedString("a,b\x81", ',', 1)); }); },
     V{"a", "b\x81"}, V{"a", "b\x81"}},
    {"term name over a lead byte",
     [] {
         PParseTokenString t("A\x81<B = 5");
         return V{t.name().str(), t.op().str(), t.value().str()};
     },
     V{"A\x81", "<", "B = 5"}, V{"A\x81<B", "=", "5"}},
    {"token over a lead byte", [] { return orError([] { return pieces(PParseSeparatedToken("\x81 x y", 1)); }); },
     V{"\x81", "x", "y"}, V{"\x81 x", "y"}},
    {"group closed after a lead byte", [] { return orError([] { return pieces(PParseSeparatedParen("(a\x81)", 1)); }); },
     V{"a\x81"}, V{"303"}},
    {"operator word after a trail byte",
     [] {
         const char* ops[] = {"AND"};
         return orError([&] { return pieces(PParseSeparatedExpr("X\x81]AND (Y)", ops, 1, 1)); });
     },
     V{"X\x81]", "(Y)"}, V{"X\x81]AND (Y)"}},
    {"doubled quote after a lead byte", [] { return V{PParseQuoteString().parseString("\x81''").str()}; },
     V{"\x81'"}, V{"\x81''"}},
    {"lead byte before the closing quote",
     [] { return orError([] { return pieces(PParseSeparatedToken("'a\x81' b", 1)); }); },
     V{"'a\x81'", "b"}, V{"303"}},
};

}  // namespace

TEST(PParseDoubleByte, CLocaleTreatsEveryByteAlike) {
    for (const DbcsCase& c : kDbcsCases) EXPECT_EQ(c.inC, c.run()) << c.what;
}

TEST(PParseDoubleByte, GbkLocaleInAChildProcess) {
    const dktest::BuiltLocale& gbk = dktest::buildLocale("zh_CN.GBK");
    if (gbk.toolMissing) GTEST_SKIP() << gbk.why;
    ASSERT_FALSE(gbk.locpath.empty()) << gbk.why;

    std::string out;
    EXPECT_TRUE(dktest::childPasses("PParseDoubleByteChild.DISABLED_Gbk",
                                    {"LOCPATH=" + gbk.locpath.string(), "LC_ALL=zh_CN.GBK"}, out))
        << out;
}

// Run only as the child of the test above.
TEST(PParseDoubleByteChild, DISABLED_Gbk) {
    ASSERT_NE(nullptr, setlocale(LC_ALL, ""));
    for (const DbcsCase& c : kDbcsCases) EXPECT_EQ(c.inGbk, c.run()) << c.what;
    // A lead byte at the very end of the text is never paired with what follows it.
    for (const std::string text : {"\x81", "'\x81", "(\x81", "$\x81", "A \x81", "x AND\x81", "{\x81"})
        EXPECT_EQ(text, scanAll(text));
}
