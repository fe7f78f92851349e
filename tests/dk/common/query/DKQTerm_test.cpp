// tests/dk/common/query/DKQTerm_test.cpp
//
// Query terms: both renderings at their edges, the constructor checks and who owns the operands
// when they fail, trees far deeper than the call stack, and the quote helpers.

#include <dk/DKOpCode.hpp>
#include <dk/DKQTerm.hpp>
#include <dk/PMessageText.hpp>

#include "dkTestSupport.hpp"

#include <algorithm>
#include <ctime>
#include <functional>
#include <memory>

namespace {
using Term = std::unique_ptr<DKQTerm>;

Term leaf(const char* name, short op, const char* value) { return Term(new DKQTerm(name, op, value)); }

Term multi(const char* name, short op, std::initializer_list<DKString> values) {
    return Term(new DKQTerm(name, op, values.begin(), static_cast<long>(values.size())));
}

std::string text(const DKQTerm& t) { return t.toString().str(); }
std::string sql(const DKQTerm& t) { return t.toSQL().str(); }

// The text of the 303 a constructor throws: the catalogue text, ": " and the operator.
std::string refused(const char* op) { return PClsEnv::portalMsg(303).str() + ": " + op + " "; }

}  // namespace

TEST(DKQTermRendering, LeavesInBothForms) {
    const struct {
        Term term;
        const char *text, *sql;
    } cases[] = {
        {leaf("n", 0, "x"), "n  x", "n  x"},   // code 0: two blanks
        {leaf("n", 17, "'w'"), "n CONTAINS_TEXT_IN_CONTENT 'w'", "n CONTAINS_TEXT_IN_CONTENT 'w'"},
        {leaf("n", 9, "'a'"), "n NOTLIKE 'a'", "n NOT LIKE 'a'"},
        {leaf("", 1, "1"), " == 1", " = 1"},   // no name: nothing on the left
        {leaf("n", 1, "NULL"), "n == NULL", "n IS NULL "}, {leaf("n", 2, "NULL"), "n <> NULL", "n IS NOT NULL "},
        {leaf("n", 1, "null"), "n == null", "n = null"},   // the rule is case-sensitive
        {multi("n", 10, {"1", "5"}), "n BETWEEN 1 5", "n BETWEEN 1 AND 5"},
        {multi("n", 15, {"1", "5"}), "n NOTBETWEEN 1 5", "n NOT BETWEEN 1 AND 5"},
        {multi("n", 11, {"'a'", "'b'"}), "n IN ('a','b')", "n IN ('a','b')"},
        {multi("n", 12, {"'a'", "'b'"}), "n NOTIN ('a','b')", "n NOT IN ('a','b')"},
        {Term(new DKQTerm("n", 11, nullptr, 5)), "n IN ()", "n IN ()"},   // missing values render empty
        {multi("n", 10, {"1"}), "n BETWEEN 1 ", "n BETWEEN 1 AND "},
        {leaf("n", 40, "v"), "nv", "nv"},   // accepted by the checks, but no operator to show
        {Term(new DKQTerm()), "  ", "  "}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.text, text(*c.term));
        EXPECT_EQ(c.sql, sql(*c.term));
    }
}

TEST(DKQTermRendering, LogicalTermsClearedValuesAndStrayCodes) {
    Term both(leaf("Title", 5, "'a%'").release()->and_(new DKQTerm("Size", 3, "10")));
    EXPECT_EQ("(Title LIKE 'a%') AND (Size > 10)", text(*both));
    EXPECT_EQ(text(*both), sql(*both));
    Term negated(both.release()->not_());
    EXPECT_EQ(1, negated->isNotTerm());
    EXPECT_EQ(" NOT ((Title LIKE 'a%') AND (Size > 10))", text(*negated));

    Term cleared = leaf("n", 1, "1");
    cleared->setValues(nullptr, 3);
    EXPECT_EQ("n = ", sql(*cleared));
    EXPECT_EQ(DKString(), cleared->getValue());
    cleared->setValues(nullptr, -4);   // a negative count reads nothing
    cleared->setOpCode(-7);
    EXPECT_EQ("n", sql(*cleared));
}

TEST(DKQTermRendering, StringTermsTakeThePlaceOfEverythingElse) {
    DKNVPair options[] = {DKNVPair("A", DKAny(1L)), DKNVPair("B", DKAny("x"))};
    DKQTerm withOptions("T", options, 2);
    EXPECT_EQ("($ A=1,B=x$ T)", text(withOptions));
    EXPECT_EQ("", sql(withOptions));
    long n = 0;
    std::unique_ptr<DKNVPair[]> copy(withOptions.getOptions(n));
    ASSERT_EQ(2, n);
    EXPECT_EQ(DKString("B"), copy[1].getName());
    EXPECT_EQ("(T)(T)", text(DKQTerm("T", nullptr, 2)) + text(DKQTerm("T", options, 0)));   // no options either way

    Term mixed = leaf("n", 1, "1");
    mixed->setStringTerm("raw text");
    EXPECT_EQ("(raw text)", text(*mixed));
    Term joined(mixed.release()->and_(new DKQTerm("m", 3, "2")));
    EXPECT_EQ("() AND (m > 2)", sql(*joined));
}

TEST(DKQTermChecks, RefusedOperatorsAreNamedAndTheOperandsStayWithTheCaller) {
    // A refused code outside the table is named in decimal; 392 never leaves a constructor.
    Term a = leaf("a", 1, "1"), b = leaf("b", 1, "2");
    DKString values[] = {"1"};
    const auto textOf = [](auto f) { return dktest::failureOf<DKUsageError>(f).text; };
    EXPECT_EQ(refused(" AND "), textOf([] { DKQTerm("n", 6, "1"); }));
    EXPECT_EQ(refused(" LIKE "), textOf([&] { DKQTerm("n", 5, values, 1); }));
    EXPECT_EQ(refused("99"), textOf([&] { DKQTerm(a.get(), 99, b.get()); }));
    EXPECT_EQ(-1, dktest::usageError([] { DKQTerm("n", 11, "1"); }));
    const std::function<void()> refusedShapes[] = {
        [] { DKQTerm("n", 10, "1"); }, [] { DKQTerm("n", 15, "1"); }, [&] { DKQTerm(a.get(), -1, b.get()); },
        [&] { DKQTerm(a.get(), 8, b.get()); }, [&] { DKQTerm(a.get(), 6, nullptr); },
        [&] { DKQTerm(nullptr, 7, b.get()); }, [&] { a->and_(nullptr); },
        [&] { a->and_(a.get()); }};   // the last would be deleted twice
    for (const auto& f : refusedShapes) EXPECT_EQ(303, dktest::usageError(f));
    // a and b are still ours (AddressSanitizer reports a double free otherwise), and usable.
    EXPECT_EQ("a == 1", text(*a));
    EXPECT_EQ(" NOT (b == 2)", text(*Term(new DKQTerm(nullptr, 8, b.release()))));
}

TEST(DKQTermOwnership, SetLeftAndRightDeleteOnlyADifferentChild) {
    Term root(leaf("a", 1, "1").release()->or_(new DKQTerm("b", 1, "2")));
    DKQTerm* left = root->getLeft();
    root->setLeft(left);   // the same child: kept
    EXPECT_EQ("a == 1", text(*root->getLeft()));
    root->setLeft(new DKQTerm("c", 1, "3"));   // the old one is deleted (a leak otherwise)
    root->setRight(nullptr);
    EXPECT_EQ("(c == 3) OR ", text(*root));
    EXPECT_EQ(0, root->isLeaf());
    root->setLeft(nullptr);
    EXPECT_EQ(1, root->isLeaf());
}

TEST(DKQTermClone, ACloneRendersTheSameAndIsIndependent) {
    Term shapes[] = {multi("n", 10, {"1"}), multi("n", 11, {}), leaf("n", 40, "v"),
                     Term(new DKQTerm("T")), leaf("n", 1, "NULL")};
    shapes[2]->setValues(nullptr, 0);
    shapes[4]->setOpCode(6);   // a logical code on a leaf: no constructor would take it
    for (Term& t : shapes) {
        Term copy(t->clone());
        EXPECT_EQ(text(*t), text(*copy));
        EXPECT_EQ(sql(*t), sql(*copy));
    }
    Term tree(leaf("a", 1, "1").release()->and_(new DKQTerm("b", 2, "2")));
    Term copy(tree->clone());
    copy->getLeft()->setValue("9");
    EXPECT_EQ("(a == 1) AND (b <> 2)|(a == 9) AND (b <> 2)", text(*tree) + "|" + text(*copy));
}

TEST(DKQTermDepth, AHundredThousandAndsRenderCloneAndDieLinearly) {
    const auto timeOf = [](long n) {
        const std::clock_t start = std::clock();   // CPU time: waiting for a core does not count
        Term t = leaf("a0", 1, "0");
        for (long i = 1; i < n; ++i) t.reset(t.release()->and_(new DKQTerm("a", 3, "1")));
        std::string s = text(*t);
        Term copy(t->clone());
        EXPECT_EQ(s, text(*copy));
        EXPECT_EQ(static_cast<size_t>(n - 1) * 14 + 7, s.size());   // "(" ... ") AND (a > 1)"
        t.reset();
        copy.reset();
        return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    };
    // The best of three runs, so that a busy machine cannot make a linear walk look quadratic.
    const auto bestOf = [&](long n) { return std::min({timeOf(n), timeOf(n), timeOf(n)}); };
    const double small = bestOf(10000) + 1e-4;
    const double large = bestOf(100000);
    EXPECT_LT(large / small, 40.0) << "10x the terms took " << large / small << "x the time";

    Term nots = leaf("x", 1, "1");   // the other side: a chain of NOTs grows to the right
    for (int i = 0; i < 100000; ++i) nots.reset(nots.release()->not_());
    EXPECT_EQ(100000u * 7 + 5, sql(*nots).size());   // " NOT (" ... ")" around "x = 1"
}

TEST(DKQTermQuotes, HelpersAtTheirEdges) {
    using Helper = DKString (*)(const char*);
    const Helper with1 = DKQTerm::formatWithSingleQuotes, without1 = DKQTerm::formatWithoutSingleQuotes,
                 with2 = DKQTerm::formatWithDoubleQuotes, without2 = DKQTerm::formatWithoutDoubleQuotes,
                 dup = DKQTerm::duplicateSingleQuote, undup = DKQTerm::unDuplicateSingleQuote,
                 toDouble = DKQTerm::convertSingleQuotesFormatToDouble;
    const struct {
        Helper f;
        const char *in, *out;
    } cases[] = {
        {with1, "O'Brien", "'O''Brien'"}, {without1, "'O''Brien'", "O'Brien"}, {without1, "''", ""},
        {without1, "'", "'"}, {without1, "a''b", "a'b"},   // not enclosed: only collapsed
        {without1, "'a", "'a"}, {with1, "", "''"}, {with1, "NULL", "NULL"}, {with1, "'NULL'", "'NULL'"},
        {with1, "\"NULL\"", "'\"NULL\"'"}, {with2, "\"NULL\"", "\"NULL\""}, {with2, "a\"b", "\"a\"\"b\""},
        {without2, "\"a\"\"b\"", "a\"b"}, {with1, nullptr, ""}, {without2, nullptr, ""}, {dup, "a''b", "a''''b"},
        {undup, "a'''b", "a''b"}, {dup, nullptr, ""}, {toDouble, "''", "\"\""}, {toDouble, "'NULL'", "\"NULL\""},
        {toDouble, "NULL", "NULL"}, {toDouble, "'O''B\"x'", "\"O'B\"\"x\""}, {toDouble, "'", "'"}, {toDouble, "a'", "a'"}};
    for (const auto& c : cases) EXPECT_EQ(c.out, c.f(c.in).str()) << (c.in ? c.in : "(null)");
}
