// tests/connectors/DKDatastorePGMembers_test.cpp
//
// Folder members and links of the PostgreSQL connector where sessions meet: two sessions filing
// one member at once, an item deleted by another session (through the connector or plain SQL)
// while a folder is read or filed, refusals that write nothing, and a repository made before the
// membership tables. The fixture's server; every test a database of its own.
// dk-threaded-suite: the meeting sessions run on threads.

#include "dkConnectorSupport.hpp"
#include "dkPgTestSupport.hpp"

#include <dk/DKFolder.hpp>
#include <dk/DKLinkCollection.hpp>
#include <dk/dkDatastoreExt.hpp>

#include <atomic>
#include <chrono>
#include <thread>

using dkpgtest::adminSql;
using dktest::errorOf;

namespace {

// A repository with a folder entity Box and a linked entity Doc, and the role that made it.
struct Repo {
    std::string db = dkpgtest::uniqueName("dkmembers");
    std::unique_ptr<dkDatastore> open(const char* connect = "") const {
        static const std::string role = dkpgtest::creatorRole("dkmrole");
        return dkpgtest::session(db, role, role, connect);
    }
    Repo() {
        auto ds = open("create=1");
        dkconf::defineEntity(*ds, "Doc", {{"title", DKAny::tc_string}}, 4);
        dkconf::defineEntity(*ds, "Box", {{"title", DKAny::tc_string}}, 2);
    }
    std::string sql(const std::string& s) const { return adminSql(s, db); }
};

std::unique_ptr<DKDDO> stored(dkDatastore& ds, const char* entity) { return dkconf::addedItem(ds, entity); }
std::unique_ptr<DKDDO> named(dkDatastore& ds, const DKDDO& item) { return std::make_unique<DKDDO>(&ds, item.getPid(), 10); }
dkDatastoreExt& ext(dkDatastore& ds) { return *static_cast<dkDatastoreExt*>(ds.getExtension("DATASTORE_EXTENSION")); }
unsigned long members(dkDatastore& ds, const DKDDO& box) {
    return static_cast<dkCollection*>(dkconf::retrievedItem(ds, box.getPid())->getDataByName("DKFolder"))->cardinality();
}

}  // namespace

// Two sessions file the same members into one folder at the same moment: each membership is kept
// once and neither session fails on the other's row.
TEST(DKDatastorePGMembers, TwoSessionsFilingTheSameMembersKeepOneRowEach) {
    Repo r;
    auto ds = r.open();
    auto box = stored(*ds, "Box");
    std::vector<std::unique_ptr<DKDDO>> docs;
    for (int i = 0; i < 8; ++i) docs.push_back(stored(*ds, "Doc"));
    std::atomic<int> ready{0}, failures{0};
    auto file = [&] {
        auto mine = r.open();
        for (++ready; ready < 2;) std::this_thread::yield();
        for (auto& d : docs)
            failures += dktest::failureOf<DKException>([&] { ext(*mine).addToFolder(named(*mine, *box).get(), named(*mine, *d).get()); }).thrown();
    };
    std::thread a(file), b(file);
    a.join();
    b.join();
    EXPECT_EQ(0, failures.load());
    EXPECT_EQ(8UL, members(*ds, *box));
    EXPECT_EQ("8", r.sql("SELECT count(*) FROM dk_members"));
}

// An item deleted by another session leaves no membership behind, whether it goes through the
// connector or plain SQL; filing an item another session is deleting waits for that session and
// then finds it gone; a delete waits for a session that is filing the item, and takes the new
// membership with it.
TEST(DKDatastorePGMembers, DeletesByOtherSessionsLeaveNothingDangling) {
    Repo r;
    auto ds = r.open(), other = r.open();
    auto box = stored(*ds, "Box");
    std::vector<std::unique_ptr<DKDDO>> docs;
    for (int i = 0; i < 4; ++i) docs.push_back(stored(*ds, "Doc"));
    for (int i = 0; i < 2; ++i) ext(*ds).addToFolder(box.get(), docs[i].get());
    auto* link = new DKLink("cites", docs[0].get(), docs[1].get(), box.get(), 1, 1, 1);
    static_cast<dkCollection*>(docs[0]->getDataByName("DKLinks"))->addElement(DKAny(static_cast<void*>(link)));
    docs[0]->update();
    EXPECT_EQ(2UL, members(*ds, *box));
    r.sql("DELETE FROM doc WHERE dk_id = " + std::string(docs[1]->getPid().getPrimaryId().c_str()));
    EXPECT_EQ(1UL, members(*ds, *box));
    EXPECT_EQ("0", r.sql("SELECT count(*) FROM dk_links"));

    other->startTransaction();
    other->deleteObject(named(*other, *docs[2]).get());
    std::thread commitLater([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        other->commit();
    });
    EXPECT_EQ(9250L, errorOf<DKUsageError>([&] { ext(*ds).addToFolder(box.get(), docs[2].get()); }));
    commitLater.join();

    ds->startTransaction();
    ext(*ds).addToFolder(box.get(), docs[3].get());
    std::thread deleteNow([&] { other->deleteObject(named(*other, *docs[3]).get()); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ("2", r.sql("SELECT count(*) FROM doc"));   // the delete waits for the filing session
    ds->commit();
    deleteNow.join();
    EXPECT_EQ(1UL, members(*ds, *box));
    EXPECT_EQ("1|1", r.sql("SELECT (SELECT count(*) FROM dk_members) || '|' || (SELECT count(*) FROM doc)"));
}

// What cannot be filed or linked is refused before anything is written: a folder update whose
// track list holds an item never stored files none of its members, a non-folder takes no member,
// a member that is not there cannot be removed. A link item deleted leaves its link; an entity
// dropped takes its items' memberships.
TEST(DKDatastorePGMembers, RefusalsWriteNothingAndDroppedItemsTakeTheirRows) {
    Repo r;
    auto ds = r.open();
    auto box = stored(*ds, "Box");
    auto doc = stored(*ds, "Doc"), carrier = stored(*ds, "Box");
    auto* folder = static_cast<dkCollection*>(box->getDataByName("DKFolder"));
    folder->addElement(DKAny(static_cast<dkDataObjectBase*>(new DKDDO(ds.get(), doc->getPid(), 10))));
    folder->addElement(DKAny(static_cast<dkDataObjectBase*>(ds->createDDO("Doc", 0))));   // never stored
    EXPECT_EQ(9250L, errorOf<DKUsageError>([&] { box->update(); }));
    EXPECT_EQ("0", r.sql("SELECT count(*) FROM dk_members"));
    EXPECT_EQ(9250L, errorOf<DKUsageError>([&] { ext(*ds).addToFolder(doc.get(), box.get()); }));
    EXPECT_EQ(9218L, errorOf<DKDataObjectNotFound>([&] { ext(*ds).removeFromFolder(box.get(), doc.get()); }));

    DKLink link("cites", doc.get(), box.get(), carrier.get(), 1, 1, 1);
    ext(*ds).addLink(&link);
    ext(*ds).addLink(&link);   // kept once
    ds->deleteObject(carrier.get());
    EXPECT_EQ("1|", r.sql("SELECT count(*) || '|' || coalesce(max(item)::text, '') FROM dk_links"));
    ext(*ds).addToFolder(box.get(), doc.get());
    ds->datastoreDef()->deleteEntity("Doc");
    EXPECT_EQ("0|0", r.sql("SELECT (SELECT count(*) FROM dk_members) || '|' || (SELECT count(*) FROM dk_links)"));
}

// A repository made before the membership tables gains them (segment slots too), and the delete
// triggers of its entities, at the next connect.
TEST(DKDatastorePGMembers, ARepositoryWithoutTheTablesGainsThemOnConnect) {
    Repo r;
    r.sql("DROP TABLE dk_segments, dk_children, dk_members, dk_links, dk_items; DROP FUNCTION dk_items_gone() CASCADE");
    auto ds = r.open();
    auto box = stored(*ds, "Box");
    auto doc = stored(*ds, "Doc");
    ext(*ds).addToFolder(box.get(), doc.get());
    EXPECT_EQ(1UL, members(*ds, *box));
    ds->deleteObject(doc.get());
    EXPECT_EQ("0|2|true", r.sql("SELECT (SELECT count(*) FROM dk_members) || '|' || (SELECT count(*) FROM pg_trigger "
                                "WHERE tgname = 'dk_items_gone') || '|' || (to_regclass('dk_segments') IS NOT NULL)"));
}
