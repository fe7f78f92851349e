// tests/connectors/DKDatastoreSQLITEMembers_test.cpp
//
// The SQLite connector's membership beyond the conformance suite: parts kept through a document's
// DKParts, the collections' immediate path through "DATASTORE_EXTENSION", refused members that
// leave the item as it was, query results without collections, and the format upgrades. Children
// of sub-entities, segment slots and link items run through the conformance suite.

#include "dkSqliteTestSupport.hpp"

#include <dk/DKFolder.hpp>
#include <dk/DKLinkCollection.hpp>
#include <dk/DKParts.hpp>
#include <dk/dkDatastoreExt.hpp>

#include <tuple>

using namespace dksqlitetest;
using dktest::errorOf;

namespace {

struct Repo {
    dktest::TempDir dir;
    std::string path;
    std::unique_ptr<dkDatastore> ds;
    explicit Repo(const char* file = "m.db") : path((dir / file).string()), ds(open(path, "create=1")) {
        dkconf::defineEntity(*ds, "Doc", {{"title", DKAny::tc_string}}, 1 | 4);
        dkconf::defineEntity(*ds, "Box", {{"title", DKAny::tc_string}}, 2);
    }
    std::unique_ptr<DKDDO> item(const char* entity) { return dkconf::addedItem(*ds, entity); }
    std::unique_ptr<DKDDO> reread(const DKDDO& d) { return dkconf::retrievedItem(*ds, d.getPid()); }
    DKContentSQLITE& content() { return *static_cast<DKContentSQLITE*>(ds->getExtension(DKContentSQLITE::kName)); }
    dkBlob* part(const DKDDO& d, long n, const char* bytes) {
        return dkconf::withContent(content().createBlob(content().pidOf("Doc", std::atol(d.getPid().getPrimaryId().c_str()), n)), bytes)
            .release();
    }
};

template <class C>
C& held(DKDDO& d, const char* item) { return *static_cast<C*>(static_cast<dkCollection*>(d.getDataByName(item))); }

}  // namespace

TEST(DKDatastoreSQLITEMembers, PartsAreStoredWithTheirItemAndLoadOnDemand) {
    Repo r;
    auto doc = r.item("Doc");
    held<DKParts>(*doc, "DKParts").addElement(DKAny(static_cast<dkDataObjectBase*>(r.part(*doc, 2, "two"))));
    held<DKParts>(*doc, "DKParts").addElement(DKAny(static_cast<dkDataObjectBase*>(r.part(*doc, 1, "one"))));
    doc->update();
    r.ds = open(r.path, "");   // read back through a new connection
    auto back = r.reread(*doc);
    DKParts& parts = held<DKParts>(*back, "DKParts");
    ASSERT_EQ(2L, parts.cardinality());
    std::unique_ptr<dkIterator> it(parts.createIterator());
    auto* first = static_cast<dkBlob*>(static_cast<dkDataObjectBase*>(it->next()->value()));
    EXPECT_EQ(0L, first->length());   // nothing loaded yet
    DKByteArray bytes = first->getContent();
    EXPECT_EQ("one", std::string(bytes.getData(), bytes.length()));
    parts.removeAllElements();   // tracked removals drop the stored parts
    back->update();
    EXPECT_EQ("0", rawQuery(r.path, "SELECT count(*) FROM dk_content"));
    // Query results leave the collections unset.
    DKAny rows = r.ds->evaluate("SELECT * FROM Doc", 4, nullptr);
    std::unique_ptr<dkCollection> results(static_cast<dkCollection*>(rows));
    std::unique_ptr<dkIterator> row(results->createIterator());
    auto* ddo = static_cast<DKDDO*>(static_cast<dkDataObjectBase*>(row->next()->value()));
    EXPECT_EQ(0, ddo->isDataSet(ddo->dataId("DKParts")));
}

TEST(DKDatastoreSQLITEMembers, CollectionsChangeAtOnceThroughTheExtension) {
    Repo r;
    auto box = r.item("Box"), a = r.item("Doc"), b = r.item("Doc");
    auto* ext = dynamic_cast<dkDatastoreExt*>(r.ds->getExtension("DATASTORE_EXTENSION"));
    ASSERT_NE(nullptr, ext);
    EXPECT_EQ(std::make_tuple(1, 1, 1, 0), std::make_tuple(ext->isSupported("addToFolder"), ext->isSupported("removePart"),
                                                           ext->isSupported("addChild"), ext->isSupported("moveObject")));
    DKFolder& folder = held<DKFolder>(*box, "DKFolder");
    auto* member = new DKDDO(r.ds.get(), a->getPid(), 10);
    folder.addMember(box.get(), member);
    dkBlob* gone = r.part(*a, 2, "y");
    held<DKParts>(*a, "DKParts").addMember(a.get(), gone);
    held<DKParts>(*a, "DKParts").removeMember(a.get(), gone);   // dropped from the repository, given back
    std::unique_ptr<dkBlob> back(gone);
    held<DKParts>(*a, "DKParts").addMember(a.get(), r.part(*a, 1, "x"));
    held<DKLinkCollection>(*a, "DKLinks").addMember(new DKLink("see", a.get(), new DKDDO(r.ds.get(), b->getPid(), 10), 1, 0));
    EXPECT_EQ(1L, held<DKFolder>(*r.reread(*box), "DKFolder").cardinality());
    EXPECT_EQ(1L, held<DKParts>(*r.reread(*a), "DKParts").cardinality());
    EXPECT_EQ(1L, held<DKLinkCollection>(*r.reread(*b), "DKLinks").cardinality());
    folder.removeMember(box.get(), member);
    delete member;   // removeMember gives the member back
    EXPECT_EQ(0L, held<DKFolder>(*r.reread(*box), "DKFolder").cardinality());
    held<DKLinkCollection>(*a, "DKLinks").removeAllMembers();
    EXPECT_EQ("0", rawQuery(r.path, "SELECT count(*) FROM dk_links"));
    EXPECT_EQ(9019L, errorOf<DKDataObjectNotFound>([&] { ext->removeFromFolder(box.get(), a.get()); }));
    DKLink none("none", a.get(), b.get(), 1, 1);
    EXPECT_EQ(9019L, errorOf<DKDataObjectNotFound>([&] { ext->removeLink(&none); }));
    EXPECT_EQ(9061L, errorOf<DKDataObjectNotFound>([&] { ext->removePart(a.get(), gone); }));
    EXPECT_EQ(9064L, errorOf([&] { ext->addToFolder(a.get(), box.get()); }));   // a document is no folder
    EXPECT_EQ(9064L, errorOf([&] { ext->addPart(box.get(), nullptr); }));
}

// A refused member, part or link end leaves the item, its attributes and its track list as they
// were, so the caller can fix the collection and update again.
TEST(DKDatastoreSQLITEMembers, RefusedMembersChangeNothing) {
    Repo r;
    auto box = r.item("Box"), doc = r.item("Doc"), doc2 = r.item("Doc");
    Repo other("other.db");
    auto foreign = other.item("Doc");
    auto unstored = [&] { return static_cast<dkDataObjectBase*>(r.ds->createDDO("Doc", 0)); };
    const std::vector<std::pair<long, std::function<void()>>> cases = {
        {9064, [&] { held<DKFolder>(*box, "DKFolder").addElement(DKAny(unstored())); }},
        {9064, [&] { held<DKFolder>(*box, "DKFolder").addElement(DKAny(static_cast<dkDataObjectBase*>(
                        new DKDDO(r.ds.get(), foreign->getPid(), 10)))); }},
        {9064, [&] { held<DKLinkCollection>(*doc, "DKLinks").addElement(DKAny(static_cast<void*>(
                        new DKLink("x", doc.get(), static_cast<DKDDO*>(unstored()), 1, 0)))); }},
        {9064, [&] { held<DKParts>(*doc, "DKParts").addElement(DKAny(static_cast<dkDataObjectBase*>(r.part(*doc2, 1, "p")))); }},
        {9060, [&] { held<DKParts>(*doc, "DKParts").addElement(DKAny(static_cast<dkDataObjectBase*>(
                        other.content().createBlob(other.content().pidOf("Doc", 1, 1))))); }},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        DKDDO& target = i < 2 ? *box : *doc;
        target.setData(target.dataId("title"), DKAny(DKString("changed")));
        cases[i].second();
        EXPECT_EQ(cases[i].first, errorOf([&] { target.update(); })) << "case " << i;
        EXPECT_EQ("", rawQuery(r.path, "SELECT group_concat(title) FROM " + std::string(i < 2 ? "Box" : "Doc"))) << i;
        EXPECT_EQ("0", rawQuery(r.path, "SELECT (SELECT count(*) FROM dk_members) + (SELECT count(*) FROM dk_links)"
                                        " + (SELECT count(*) FROM dk_content)"));
        held<PTrackedCollection>(target, i < 2 ? "DKFolder" : i == 2 ? "DKLinks" : "DKParts").removeAllElements();
    }
    // Another kind of collection under a membership item is refused too.
    box->setData(box->dataId("DKFolder"), DKAny(static_cast<dkCollection*>(new DKParts)));
    EXPECT_EQ(9064L, errorOf([&] { box->update(); }));
}

TEST(DKDatastoreSQLITEMembers, OlderRepositoriesGetTheMembershipTablesWhenConnectedForWriting) {
    Repo r;
    r.ds.reset();
    ASSERT_TRUE(rawExec(r.path, "DROP TABLE dk_members; DROP TABLE dk_links;"
                                " UPDATE dk_repository SET value = '3' WHERE key = 'format'"));
    auto ro = open(r.path, "readonly=1");
    std::unique_ptr<DKDDO> box(ro->createDDO("Box", 0));
    EXPECT_EQ(0L, held<DKFolder>(*box, "DKFolder").cardinality());
    EXPECT_EQ("3", rawQuery(r.path, "SELECT value FROM dk_repository WHERE key = 'format'"));
    ro.reset();
    r.ds = open(r.path, "");
    EXPECT_EQ("6", rawQuery(r.path, "SELECT value FROM dk_repository WHERE key = 'format'"));
    // Format 4 to 6: the child and segment tables and the new columns, read-only first.
    r.ds.reset();
    ASSERT_TRUE(rawExec(r.path, "DROP TABLE dk_children; DROP TABLE dk_segments; ALTER TABLE dk_entities DROP COLUMN parent;"
                                " ALTER TABLE dk_links DROP COLUMN item_entity; ALTER TABLE dk_links DROP COLUMN item;"
                                " UPDATE dk_repository SET value = '4' WHERE key = 'format'"));
    std::unique_ptr<DKDDO>(open(r.path, "readonly=1")->createDDO("Doc", 0));
    r.ds = open(r.path, "");
    EXPECT_EQ("6|1", rawQuery(r.path, "SELECT value || '|' || (SELECT count(*) FROM pragma_table_info('dk_links') WHERE name = 'item')"
                                      " FROM dk_repository WHERE key = 'format'"));
    // A file of a newer format is refused, untouched.
    r.ds.reset();
    ASSERT_TRUE(rawExec(r.path, "UPDATE dk_repository SET value = '9' WHERE key = 'format'"));
    EXPECT_EQ(9001L, errorOf([&] { open(r.path, ""); }));
}
