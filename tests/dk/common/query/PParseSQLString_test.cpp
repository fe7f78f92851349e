// tests/dk/common/query/PParseSQLString_test.cpp
//
// The SQL analyser: the count statement and the table list at their edges (leading white space,
// no SELECT, no FROM, clauses that end the table list, empty pieces), and the first word under a
// double-byte locale in a child process.

#include <dk/PParseSQLString.hpp>
#include <dk/dkCollection.hpp>

#include "dkTestSupport.hpp"

#include <clocale>
#include <memory>

namespace {
std::vector<std::string> tables(const char* sql) {
    std::unique_ptr<dkCollection> list(PParseSQLString(sql).listTables());
    std::vector<std::string> names;
    std::unique_ptr<dkIterator> it(list->createIterator());
    while (it->more()) names.push_back(std::unique_ptr<DKString>(static_cast<DKString*>(it->next()->value()))->str());
    return names;
}

std::string count(const char* sql) { return PParseSQLString(sql).countSelectString().str(); }
}  // namespace

TEST(PParseSQLStringCount, FirstWordAndFromDecide) {
    const std::pair<const char*, const char*> cases[] = {
        {"  \r\n select * from A", "SELECT count(*) from A"},
        {"select a, b from T where x = 1", "SELECT count(*) from T where x = 1"},
        {"SeLeCt\nx FROM t", "SELECT count(*) FROM t"},
        {"select\tx from t", ""},   // a tab does not end the word
        {"UPDATE t SET a = 1", ""}, {"select 1", ""},   // no FROM: nothing to count
        {"", ""}, {"   ", ""}, {nullptr, ""}};
    for (const auto& [in, want] : cases) EXPECT_EQ(want, count(in)) << (in ? in : "(null)");

    PParseSQLString once("update t set a = 1");
    EXPECT_EQ(DKString(), once.countSelectString());
    EXPECT_EQ(DKString(), once.countSelectString());   // computed once, also when empty
}

TEST(PParseSQLStringTables, UpperCaseCutAtTheFirstClause) {
    using Names = std::vector<std::string>;
    const std::pair<const char*, Names> cases[] = {
        {"select * from a, b where a.x = b.y", {"A", "B"}}, {"select * from t group by c", {"T"}},
        {"select * from t having c > 1", {"T"}},            {"select * from t", {"T"}},
        {"select * from t x,u", {"T X", "U"}},              {"select 1", {}}};
    for (const auto& [sql, want] : cases) EXPECT_EQ(want, tables(sql)) << sql;
    for (const char* empty : {"select * from a,,b", "select * from , a where x"})
        EXPECT_EQ(303, dktest::usageError([&] { tables(empty); })) << empty;
}

TEST(PParseSQLStringQuotes, OnlyOneEnclosingPair) {
    const std::pair<const char*, const char*> cases[] = {{"\"ab\"", "ab"}, {"\"\"", ""}, {"\"a\"b\"", "\"a\"b\""},
                                                         {"\"", "\""},     {"ab\"", "ab\""}, {nullptr, ""}};
    for (const auto& [in, want] : cases) EXPECT_EQ(want, PParseSQLString::unDoubleQuoteString(in).str());
}

TEST(PParseSQLStringDoubleByte, GbkInAChildProcess) {
    const dktest::BuiltLocale& gbk = dktest::buildLocale("zh_CN.GBK");
    if (gbk.toolMissing) GTEST_SKIP() << gbk.why;
    ASSERT_FALSE(gbk.locpath.empty()) << gbk.why;
    std::string out;
    EXPECT_TRUE(dktest::childPasses("PParseSQLStringDoubleByteChild.DISABLED_Gbk",
                                    {"LOCPATH=" + gbk.locpath.string(), "LC_ALL=zh_CN.GBK"}, out))
        << out;
}

// Run only as the child of the test above.
TEST(PParseSQLStringDoubleByteChild, DISABLED_Gbk) {
    ASSERT_NE(nullptr, setlocale(LC_ALL, ""));
    // A blank after a lead byte is its trail byte, not the end of the word.
    EXPECT_EQ("", count("select\x81 x from t"));
    PParseSQLString analyser("\x81\x40select * from t");   // a double-byte character first: passed over
    EXPECT_EQ(1, analyser.isdbcs('\x81'));
    EXPECT_EQ("SELECT count(*) from t", analyser.countSelectString().str());
    EXPECT_EQ("", count("select\x81"));   // a final lead byte: nothing read past the end
    EXPECT_EQ("", count("\x81"));
}
