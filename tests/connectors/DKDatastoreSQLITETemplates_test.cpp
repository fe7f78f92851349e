// tests/connectors/DKDatastoreSQLITETemplates_test.cpp
//
// The SQLite connector's whole-result cardinality while another connection writes, IN lists past
// SQLite's parameter limit, trees past its depth limit, and search templates kept in the
// repository of older and read-only files. The templates and mappings themselves run through the
// conformance suite. The connector is loaded from libdkdssqlite.so.

#include "dkConnectorSupport.hpp"
#include "dkSqliteTestSupport.hpp"

#include <dk/DKOpCode.hpp>

using namespace dkconf;
using namespace dksqlitetest;

namespace {

void addRow(dkDatastore& ds, const char* entity, long n, const char* title = nullptr) {
    if (title == nullptr) addedItem(ds, entity, {{"n", DKAny(n)}});
    else addedItem(ds, entity, {{"n", DKAny(n)}, {"title", DKAny(title)}});
}

// Doc(n long, title string) holding n = 1..5 (titles "it's", "a\"b\\c", ...), Note(n long) holding 1.
struct Repo {
    dktest::TempDir dir;
    std::string path = (dir / "t.db").string();
    std::unique_ptr<dkDatastore> ds = open(path, "create=1");
    Repo() {
        defineEntity(*ds, "Doc", {{"n", DKAny::tc_long}, {"title", DKAny::tc_string}});
        defineEntity(*ds, "Note", {{"n", DKAny::tc_long}});
        const char* titles[] = {"it's", "a\"b\\c", "plain", "plain", "x' OR '1'='1"};
        for (long n = 1; n <= 5; ++n) addRow(*ds, "Doc", n, titles[n - 1]);
        addRow(*ds, "Note", 1);
    }
};

long fetchRest(dkResultSetCursor& c) {
    long n = c.getPosition();
    while (std::unique_ptr<DKDDO>(c.fetchNext())) ++n;
    return n;
}

}  // namespace

TEST(DKDatastoreSQLITECardinality, IsTheWholeResultOfTheCursorsSnapshotWhileAnotherConnectionWrites) {
    Repo r;
    auto writer = open(r.path, "");
    DKNVPair min[] = {DKNVPair("min", DKAny(2L)), DKNVPair("")};
    std::unique_ptr<dkResultSetCursor> sql(r.ds->execute("SELECT * FROM Doc WHERE n >= ?", 4, min));
    std::unique_ptr<DKCQExpr> tree(new DKCQExpr(takeLeaf(treeOf("Doc", new DKQTerm("n", DKOpCode::opGreater, "0")))
                                                    ->or_(takeLeaf(treeOf("Note", new DKQTerm("n", DKOpCode::opGreater, "0"))))));
    std::unique_ptr<dkResultSetCursor> both(r.ds->execute(tree.get()));
    EXPECT_EQ(4UL, sql->cardinality());           // counted before the first row
    std::unique_ptr<DKDDO>(both->fetchNext());    // counted after it
    addRow(*writer, "Doc", 9);
    addRow(*writer, "Note", 9);
    EXPECT_EQ(6UL, both->cardinality());
    addRow(*writer, "Doc", 10);
    EXPECT_EQ(4L, fetchRest(*sql));
    EXPECT_EQ(6L, fetchRest(*both));   // the second entity too, though written after the first row
    EXPECT_EQ(4UL, sql->cardinality());
    sql->open();   // a new run sees what was committed since
    EXPECT_EQ(6UL, sql->cardinality());
    // Statements that end in a comment are counted too (an open block comment by stepping).
    for (const char* q : {"SELECT * FROM Doc -- all", "SELECT * FROM Doc /* open"}) {
        sql.reset(r.ds->execute(q, 4, nullptr));
        EXPECT_EQ(7UL, sql->cardinality()) << q;
        EXPECT_EQ(7L, fetchRest(*sql)) << q;
    }
}

TEST(DKDatastoreSQLITETrees, LongInListsRunAsDataAndTooDeepTreesNameTheDepth) {
    Repo r;
    std::vector<DKString> odd;   // more values than one statement may bind
    for (long i = 0; i < 40000; ++i) odd.push_back(DKString(std::to_string(2 * i + 1)));
    auto list = [&](const char* name, short op, const std::vector<DKString>& v) {
        return countTree(*r.ds, treeOf("Doc", new DKQTerm(name, op, v.data(), static_cast<long>(v.size()))));
    };
    EXPECT_EQ(3UL, list("n", DKOpCode::opIn, odd));
    EXPECT_EQ(2UL, list("n", DKOpCode::opNotIn, odd));
    std::vector<DKString> texts(100, DKString("'plain'"));   // quotes, escapes and control bytes as data
    texts[1] = "'it''s'";
    texts[2] = "a\"b\\c";
    texts[3] = "tab\there\x01";
    texts[4] = "x' OR '1'='1";
    EXPECT_EQ(5UL, list("title", DKOpCode::opIn, texts));
    std::vector<DKString> cut(100, DKString("'none'"));   // a zero byte ends no text
    cut[0] = DKString(std::string("it's\0x", 6));
    EXPECT_EQ(0UL, list("title", DKOpCode::opIn, cut));
    odd[7] = "seven";
    EXPECT_EQ(9013L, errorOf<DKUsageError>([&] { list("n", DKOpCode::opIn, odd); }));
    // 500 NOTs over a chain of 450 ANDs: each fits, together they pass SQLite's limit.
    DKQTerm* chain = new DKQTerm("n", DKOpCode::opGreater, "0");
    for (int i = 1; i < 450; ++i) chain = chain->and_(new DKQTerm("n", DKOpCode::opGreater, "0"));
    DKQExpr* deep = takeLeaf(treeOf("Doc", chain));
    for (int i = 0; i < 500; ++i) deep = new DKQExpr(nullptr, DKOpCode::opNot, deep);
    std::unique_ptr<DKCQExpr> tooDeep(new DKCQExpr(deep));
    const auto failure = dktest::failureOf<DKUsageError>([&] { r.ds->evaluate(tooDeep.get()); });
    EXPECT_EQ(303L, failure.id);
    EXPECT_NE(std::string::npos, failure.text.find("deeper than 900")) << failure.text;
}

TEST(DKDatastoreSQLITETemplates, OlderRepositoriesGetTheTablesWhenConnectedForWriting) {
    Repo r;
    r.ds->disconnect();
    ASSERT_TRUE(rawExec(r.path, "DROP TABLE dk_templates; DROP TABLE dk_template_criteria; DROP TABLE dk_mappings;"
                                "DROP TABLE dk_mapping_attrs"));
    auto reader = open(r.path, "readonly=1");
    long count = -1;
    std::unique_ptr<DKString[]>(reader->listMappingNames(count));
    EXPECT_EQ(0L, count);
    EXPECT_EQ(0UL, std::unique_ptr<dkCollection>(reader->listSearchTemplates())->cardinality());
    EXPECT_EQ(nullptr, reader->getMapping("M"));
    DKNVPair pairs[] = {DKNVPair("name", DKAny("M")), DKNVPair("")};
    EXPECT_EQ(9120L, errorOf<DKDatastoreError>([&] { reader->registerMapping(pairs); }));
    auto writer = open(r.path, "");
    EXPECT_EQ("4", rawQuery(r.path, "SELECT count(*) FROM sqlite_schema WHERE name IN ('dk_templates',"
                                    " 'dk_template_criteria', 'dk_mappings', 'dk_mapping_attrs')"));
}
