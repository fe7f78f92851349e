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
#include <functional>
#include <iterator>
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

// What one scanner makes of text: its pieces (the term scanner's name, operator and value), or
// "303" when it rejects the text. kind: a separator character, 't' term, 'w' words, '(' groups,
// 'e' expression with the word AND, anything else quote undoubling.
V scan(char kind, const char* text) {
    const char* ops[] = {"AND"};
    try {
        switch (kind) {
        case 't': {
            PParseTokenString t(text);
            return V{t.name().str(), t.op().str(), t.value().str()};
        }
        case 'w': return pieces(PParseSeparatedToken(text, 1));
        case '(': return pieces(PParseSeparatedParen(text, 1));
        case 'e': return pieces(PParseSeparatedExpr(text, ops, 1, 1));
        case 'q': return V{PParseQuoteString().parseString(text).str()};
        default: return pieces(PParseSeparatedString(text, kind, 1));
        }
    } catch (DKUsageError& e) {
        return V{std::to_string(e.errorId())};
    }
}

// Runs every scanner over a copy of text in a heap block of exactly its size, so that
// AddressSanitizer sees any read past the terminator. Returns what quote undoubling gave.
std::string scanAll(const std::string& text) {
    std::unique_ptr<char[]> block(new char[text.size() + 1]);
    std::memcpy(block.get(), text.c_str(), text.size() + 1);
    for (char kind : {',', 't', 'w', '(', 'e'}) scan(kind, block.get());
    return scan('q', block.get()).at(0);
}

const char* const kAndOr[] = {"AND", "OR"};

}  // namespace

// Each scanner's rejections (303), one row per way a text can be malformed.
TEST(PParseScanners, MalformedTextIsRejectedWith303) {
    const char** ops = const_cast<const char**>(kAndOr);
    PParseSeparatedString terms("A=1;B=2", ';', 0);
    PParseSeparatedToken token("a", 0);
    PParseSeparatedExpr gap("A AND OR B", ops, 2, 0);
    const std::function<void()> rows[] = {
        [] { PParseTokenString t("'abc"); }, [] { PParseTokenString t("\"a''b = 1"); },
        [] { PParseSeparatedString("a;;b", ';', 1); }, [] { PParseSeparatedString("f(a,b", ',', 0); },
        [] { PParseSeparatedString("a),b", ',', 0); }, [] { PParseSeparatedString("f(a\n,b)", ',', 0); },
        [&] { terms.string(0); }, [&] { terms.string(3); }, [&] { terms.tokenString(5); },
        [] { PParseSeparatedToken("((a)", 0); }, [] { PParseSeparatedToken("'a", 0); },
        [] { PParseSeparatedToken("a \"b", 0); }, [] { PParseSeparatedToken("{{a}", 0); },
        [] { PParseSeparatedToken("x [[a]", 0); }, [&] { token.string(2); },
        [] { PParseSeparatedParen("X (A", 0); }, [] { PParseSeparatedParen("X (A\r B)", 0); },
        [] { PParseSeparatedParen("(A) (B", 0); },
        [&] { PParseSeparatedExpr("A AND OR B", ops, 2, 1); }, [&] { PParseSeparatedExpr("A AND (B", ops, 2, 0); },
        [&] { PParseSeparatedExpr("A) AND B", ops, 2, 0); }, [&] { gap.seperator(4); }, [&] { gap.string(0); },
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(303, usageError(rows[i])) << "row " << i;
}

TEST(PParseTokenString, NameOperatorValueResetAndCopy) {
    const struct { const char* text; const char* name; const char* op; const char* value; } cases[] = {
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
        {"  CONTAINS_TEXT_IN_CONTENT  big = cat  ", "CONTAINS_TEXT_IN_CONTENT", "CONTAINS_TEXT_IN_CONTENT", "big = cat"},
        {"A like 1", "A like 1", "", ""},               // operator words are upper case
    };
    for (const auto& c : cases) {
        PParseTokenString t(c.text);
        EXPECT_EQ(V({c.name, c.op, c.value}), V({t.name().str(), t.op().str(), t.value().str()})) << c.text;
    }
    PParseTokenString t("A = 1");
    PParseTokenString copy(t);
    t.setString("B<2");
    EXPECT_EQ("A", copy.name().str());
    copy = t;
    EXPECT_EQ("2", copy.value().str());
    t.setString(nullptr);
    EXPECT_EQ("", t.name().str());
}

TEST(PParseSeparatedString, PiecesQuotesParenthesesEmptyPiecesAndTerms) {
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
    PParseSeparatedString s("VTCFGDIR=/etc/vt;A = 1; B<2 ;A=3", ';', 1);
    EXPECT_EQ(1UL, s.tokenStringNumber("VTCFGDIR"));
    EXPECT_EQ("/etc/vt", s.tokenString(1).value().str());
    EXPECT_EQ(2UL, s.tokenStringNumber("A"));   // the first of two
    EXPECT_EQ(0UL, s.tokenStringNumber("b"));
    EXPECT_EQ(0UL, s.tokenStringNumber(nullptr));
}

TEST(PParseSeparatedToken, GroupsQuotesAndVariables) {
    EXPECT_EQ((V{"a", "(b (c) d)", "'e ''f'", "{g {h}}", "[i]", "$x$", "$y='p q'$", "z"}),
              pieces(PParseSeparatedToken("  a (b (c) d) 'e ''f' {g {h}} [i] $x$ $y='p q'$ z ", 1)));
    EXPECT_EQ((V{"(it's)", "x"}), pieces(PParseSeparatedToken("(it's) x", 1)));   // no quotes in groups
    EXPECT_EQ((V{"$v='x y"}), pieces(PParseSeparatedToken("$v='x y", 1)));           // open value: to the end
    EXPECT_EQ((V{"a", "b"}), pieces(PParseSeparatedToken("a\rb", 1)));
    EXPECT_EQ((V{"a\nb"}), pieces(PParseSeparatedToken("a\nb", 1)));                // only blank and CR end a word
    EXPECT_EQ(V{}, pieces(PParseSeparatedToken("", 1)));
}

TEST(PParseSeparatedParen, GroupsAndOuterPair) {
    const struct { const char* text; V pieces; int enclosed; } rows[] = {
        {"A AND (B OR C) AND D", {"A AND", "(B OR C)", "AND D"}, 0},
        {"  (A OR B) ", {"A OR B"}, 1},
        {"(A) OR (B)", {"(A)", "OR", "(B)"}, 0},
        {"(A = ')' OR (B))", {"A = ')' OR", "(B)"}, 1},   // a quoted parenthesis does not close
        {"A\rB", {"A", "B"}, 0},
    };
    for (const auto& r : rows) {
        PParseSeparatedParen p(r.text, 1);
        EXPECT_EQ(r.pieces, pieces(p)) << r.text;
        EXPECT_EQ(r.enclosed, p.isEnclosedInParen()) << r.text;
    }
}

TEST(PParseSeparatedExpr, OperatorWordsBetweenDelimiters) {
    const char** ops = const_cast<const char**>(kAndOr);
    PParseSeparatedExpr e("A = 1 AND (B = 2 OR C = 3) OR D = 4", ops, 2, 1);
    EXPECT_EQ((V{"A = 1", "(B = 2 OR C = 3)", "D = 4"}), pieces(e));
    EXPECT_EQ((V{"AND", "OR", ""}), separators(e));
    EXPECT_EQ(3UL, e.tokenStringNumber("D"));
    EXPECT_EQ("4", e.tokenString(3).value().str());
    EXPECT_EQ((V{"A AND"}), pieces(PParseSeparatedExpr("A AND ", ops, 2, 1)));   // ends the text: no split
    EXPECT_EQ((V{"A='x'", "'y'"}), pieces(PParseSeparatedExpr("A='x'AND'y'", ops, 2, 1)));
    EXPECT_EQ((V{"A = 'x AND y'", "B"}), pieces(PParseSeparatedExpr("A = 'x AND y' OR B", ops, 2, 1)));
    EXPECT_EQ((V{"f(x)", "[y]"}), pieces(PParseSeparatedExpr("f(x)OR[y]", ops, 2, 1)));
    PParseSeparatedExpr gap("A AND OR B", ops, 2, 0);
    EXPECT_EQ((V{"A", "", "B"}), pieces(gap));
    EXPECT_EQ((V{"AND", "OR", ""}), separators(gap));
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
    EXPECT_EQ("\"x\"y\" ''", PParseQuoteString('"').parseString("\"x\"\"y\" ''").str());
}

TEST(PParseScanners, TextEndingInAnOpenConstructIsReadNoFurther) {
    for (const std::string text : {"'", "\"", "(", "$", "$a='", "a AND", "x '", "{", "[", "'a''", "A <", "$='"})
        scanAll(text);
}

// ---------------------------------------------------------------------------------------------
// Double-byte text. In the C locale no byte is a lead byte; under GBK the bytes 0x81 to 0xFE are,
// and the byte after one is ordinary text even when it is a delimiter or quote.

namespace {

const struct DbcsCase {
    char kind;
    const char* text;
    V inC, inGbk;
} kDbcsCases[] = {
    {'|', "a\x81|b|c", {"a\x81", "b", "c"}, {"a\x81|b", "c"}},            // separator after a lead byte
    {',', "\x81'x,y", {"\x81'x,y"}, {"\x81'x", "y"}},                       // quote after a lead byte
    {',', "a,b\x81", {"a", "b\x81"}, {"a", "b\x81"}},                       // lead byte ending the text
    {'t', "A\x81<B = 5", {"A\x81", "<", "B = 5"}, {"A\x81<B", "=", "5"}},   // term name over a lead byte
    {'w', "\x81 x y", {"\x81", "x", "y"}, {"\x81 x", "y"}},                 // word over a lead byte
    {'(', "(a\x81)", {"a\x81"}, {"303"}},                                   // group closed after a lead byte
    {'e', "X\x81]AND (Y)", {"X\x81]", "(Y)"}, {"X\x81]AND (Y)"}},           // operator word after a trail byte
    {'q', "\x81''", {"\x81'"}, {"\x81''"}},                                 // doubled quote after a lead byte
    {'w', "'a\x81' b", {"'a\x81'", "b"}, {"303"}},                          // lead byte before the closing quote
};

}  // namespace

TEST(PParseDoubleByte, CLocaleTreatsEveryByteAlike) {
    for (const DbcsCase& c : kDbcsCases) EXPECT_EQ(c.inC, scan(c.kind, c.text)) << c.text;
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
    for (const DbcsCase& c : kDbcsCases) EXPECT_EQ(c.inGbk, scan(c.kind, c.text)) << c.text;
    // A lead byte at the very end of the text is never paired with what follows it.
    for (const std::string text : {"\x81", "'\x81", "(\x81", "$\x81", "A \x81", "x AND\x81", "{\x81"})
        EXPECT_EQ(text, scanAll(text));
}
