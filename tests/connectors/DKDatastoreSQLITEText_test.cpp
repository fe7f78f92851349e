// tests/connectors/DKDatastoreSQLITEText_test.cpp
//
// The SQLite connector's text index as it lies in the file: FTS5's own integrity check after every
// kind of write, the index made again when text-searchable attributes come and go, repositories
// of format 1 read as they are and upgraded at a writing connect, and the guard that keeps the
// index's tables away from SQL queries. What every connector does is in the conformance suite.

#include "dkSqliteTestSupport.hpp"

#include <dk/DKOpCode.hpp>
#include <dk/dkQuery.hpp>

using namespace dkconf;
using namespace dksqlitetest;

namespace {

// FTS5 compares the index with the entity's rows.
bool indexSound(const std::string& path) {
    return rawExec(path, "INSERT INTO dk_text_note_fts(dk_text_note_fts, rank) VALUES('integrity-check', 1)");
}

std::unique_ptr<DKDDO> note(dkDatastore& ds, const char* title) {
    std::unique_ptr<DKDDO> d(ds.createDDO("Note", 0));
    d->setData(d->dataId("title"), DKAny(title));
    return d;
}

}  // namespace

TEST(DKDatastoreSQLITEText, EveryWriteKeepsTheIndexSoundAndAttributeChangesRebuildIt) {
    dktest::TempDir dir;
    const std::string path = (dir / "t.db").string();
    auto ds = open(path, "create=1");
    addNotes(*ds, {{"red fox", "quick", "a"}, {"blue whale", "slow", "b"}});
    // A collection, a rolled-back transaction, an update that leaves the texts alone.
    std::unique_ptr<DKDDO> frog = note(*ds, "green frog"), panda = note(*ds, "red panda");
    DKSequentialCollection many;
    for (DKDDO* o : {frog.get(), panda.get()}) many.addElement(DKAny(static_cast<dkDataObjectBase*>(o)));
    ds->addObjects(&many);
    ds->startTransaction();
    note(*ds, "red herring")->add();
    ds->rollback();
    frog->setData(frog->dataId("tag"), DKAny("t"));
    frog->update();
    EXPECT_EQ(2u, textFound(*ds, "red").size());
    EXPECT_TRUE(indexSound(path));

    // A new text-searchable attribute makes the index again from the rows; so does dropping one.
    std::unique_ptr<dkEntityDef> e(ds->datastoreDef()->retrieveEntity("Note"));
    std::unique_ptr<dkAttrDef> extra(newAttr(*e, {"extra", DKAny::tc_string, 1}));
    e->add(extra.get());
    EXPECT_EQ(2u, textFound(*ds, "red").size());
    EXPECT_EQ(1, std::unique_ptr<dkAttrDef>(e->retrieveAttr("extra"))->isTextSearchable());
    e->deleteAttr("body");
    EXPECT_EQ(0u, textFound(*ds, "quick").size());
    EXPECT_EQ(1u, textFound(*ds, "fox").size());
    EXPECT_TRUE(indexSound(path));
    e->deleteAttr("title");
    e->deleteAttr("extra");
    EXPECT_EQ("0", rawQuery(path, "SELECT count(*) FROM sqlite_schema WHERE name LIKE 'dk_text%'"));
}

TEST(DKDatastoreSQLITEText, FormatOneIsReadAsItIsAndUpgradedByAWritingConnect) {
    dktest::TempDir dir;
    const std::string path = (dir / "old.db").string();
    addNotes(*open(path, "create=1"), {{"red fox", "quick", "a"}});
    ASSERT_TRUE(rawExec(path, "DROP TABLE dk_text_note_fts; ALTER TABLE dk_attrs DROP COLUMN textsearch;"
                              " UPDATE dk_repository SET value = '1' WHERE key = 'format';"
                              " DROP TABLE dk_templates; DROP TABLE dk_template_criteria; DROP TABLE dk_mappings;"
                              " DROP TABLE dk_mapping_attrs"));
    EXPECT_EQ(0u, textFound(*open(path, "readonly=1"), "fox").size());
    EXPECT_EQ("1", rawQuery(path, "SELECT value FROM dk_repository WHERE key = 'format'"));
    // One writing connect brings both the text column and the template tables.
    open(path, "");
    EXPECT_EQ("6", rawQuery(path, "SELECT value FROM dk_repository WHERE key = 'format'"));
    EXPECT_EQ("4", rawQuery(path, "SELECT count(*) FROM sqlite_schema WHERE name IN ('dk_templates',"
                                  " 'dk_template_criteria', 'dk_mappings', 'dk_mapping_attrs')"));
    // A repository that lacks nothing is not written by a writing connect.
    const std::string changes = rawQuery(path, "PRAGMA schema_version");
    open(path, "");
    EXPECT_EQ(changes, rawQuery(path, "PRAGMA schema_version"));
    // A text table that went missing is made again and filled at the next writing connect.
    ASSERT_TRUE(rawExec(path, "UPDATE dk_attrs SET textsearch = 1 WHERE name = 'title'"));
    EXPECT_EQ(1u, textFound(*open(path, ""), "fox").size());
    EXPECT_TRUE(indexSound(path));
}

TEST(DKDatastoreSQLITEText, QueriesAndOptionsAreCheckedAndSqlCannotReadTheIndex) {
    dktest::TempDir dir;
    auto ds = open((dir / "g.db").string(), "create=1");
    std::unique_ptr<dkQuery> q(ds->createQuery("anything", 1, nullptr));   // no index yet: nothing found
    EXPECT_EQ(0UL, std::unique_ptr<dkCollection>(static_cast<dkCollection*>(ds->evaluate(q.get())))->cardinality());
    addNotes(*ds, {{"red fox", "quick", "a"}});
    defineEntity(*ds, "Plain", {{"title", DKAny::tc_string}});
    defineEntity(*ds, "Note_data", {{"title", DKAny::tc_string, 1}});   // its index beside Note's own tables
    EXPECT_EQ(9031L, errorOf<DKUsageError>([&] { textFound(*ds, "fox AND"); }));
    EXPECT_EQ(9008L, errorOf<DKUsageError>([&] { textFound(*ds, "fox", "Nothing"); }));
    EXPECT_EQ(9010L, errorOf<DKUsageError>([&] { textFound(*ds, "fox", "Plain"); }));
    DKNVPair other[] = {DKNVPair("Limit", DKAny(1L)), DKNVPair("")};
    EXPECT_EQ(9017L, errorOf<DKUsageError>([&] { ds->execute("fox", 1, other); }));
    for (const char* table : {"dk_text_note_fts", "dk_text_note_fts_data", "dk_text_note_fts_idx", "dk_text_note_fts_config"})
        EXPECT_EQ(9015L, errorOf<DKUsageError>([&] { ds->execute((std::string("SELECT * FROM ") + table).c_str(), 4, nullptr); }))
            << table;
}

TEST(DKDatastoreSQLITEText, TreesJoinTextWithLongListsAndMappedNamesAndTextResultsAreCounted) {
    dktest::TempDir dir;
    auto ds = open((dir / "j.db").string(), "create=1");
    addNotes(*ds, {{"red fox", "quick", "a"}, {"red panda", "slow", "b"}, {"blue whale", "red", "c"}});
    defineEntity(*ds, "Card", {{"title", DKAny::tc_string, 1}});
    addedItem(*ds, "Card", {{"title", DKAny("red card")}});
    // A text leaf and a list long enough to go as one JSON array read through json_each: the
    // tree's statement reads the text table and json_each both.
    std::vector<DKString> tags(100, DKString("'z'"));
    tags[5] = "'a'";
    tags[50] = "'c'";
    DKQTerm* both = (new DKQTerm("body", DKOpCode::opContainsText, "red"))
                        ->or_(new DKQTerm("title", DKOpCode::opContainsText, "red"))
                        ->and_(new DKQTerm("tag", DKOpCode::opIn, tags.data(), static_cast<long>(tags.size())));
    EXPECT_EQ(2UL, countTree(*ds, treeOf("Note", both)));
    // A mapped name in a text condition is the native attribute's.
    DKNVPair pairs[] = {DKNVPair("name", DKAny("M")), DKNVPair("entity", DKAny("Note")),
                        DKNVPair("mappedEntity", DKAny("Memo")), DKNVPair("attr", DKAny("heading=title")), DKNVPair("End")};
    ds->registerMapping(pairs);
    auto mapped = [&](const char* attr, const char* text) {
        DKCQExpr* tree = treeOf("Memo", new DKQTerm(attr, DKOpCode::opContainsText, text));
        tree->getQueryExpr()->getSubQuery(0)->setMappingName("M");
        return countTree(*ds, tree);
    };
    EXPECT_EQ(2UL, mapped("heading", "red"));
    EXPECT_EQ(3UL, mapped("", "red"));   // no name: every text-searchable attribute
    EXPECT_EQ(9010L, errorOf<DKUsageError>([&] { mapped("title", "red"); }));   // the native name is not mapped
    // A text search over two entities is counted whole, in the snapshot of its rows, and again after open.
    std::unique_ptr<dkResultSetCursor> c(ds->execute("red", 1, nullptr));
    EXPECT_EQ(4UL, c->cardinality());
    std::unique_ptr<DKDDO>(c->fetchNext());
    EXPECT_EQ(4UL, c->cardinality());
    c->open();
    EXPECT_EQ(4UL, c->cardinality());
    long rows = 0;
    while (std::unique_ptr<DKDDO>{c->fetchNext()}) ++rows;
    EXPECT_EQ(4L, rows);
}
