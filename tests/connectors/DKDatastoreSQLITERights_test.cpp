// tests/connectors/DKDatastoreSQLITERights_test.cpp
//
// Users, groups and rights of the SQLite connector: what survives a reconnect, the upgrade of an
// older repository, the password rule, the administrators group that cannot be emptied, sessions
// that end when their user goes, and what a user without a privilege can no longer reach.

#include "dkRightsConformance.hpp"
#include "dkSqliteTestSupport.hpp"

#include <DKAdminSQLITE.hpp>
#include <dk/DKCommonPrivilege.hpp>
#include <dk/DKDatastorePool.hpp>
#include <dk/dkDatastoreDef.hpp>
#include <dk/dkUserManagement.hpp>
#include <dk/dkAuthorizationMgmt.hpp>
#include <dk/DKFolder.hpp>
#include <dk/dkCollection.hpp>
#include <dk/dkDatastoreExt.hpp>
#include <dk/dkResultSetCursor.hpp>

using namespace dksqlitetest;
using dktest::errorOf;
using dkrights::DKRightsConformance;

namespace {

struct Repo {
    dktest::TempDir dir;
    std::string path;
    std::unique_ptr<dkDatastore> ds;
    Repo() : path((dir / "r.db").string()), ds(open(path, "create=1")) {
        dkconf::defineEntity(*ds, "Doc", {{"title", DKAny::tc_string}}, 1);
    }
    std::unique_ptr<dkDatastore> as(const char* user, const char* password) { return open(path, "", kCheap, user, password); }
};

// The first column of the first row of an SQL query on ds, as text.
std::string sql(dkDatastore& ds, const char* query) {
    std::unique_ptr<dkResultSetCursor> c(ds.execute(query, 4, nullptr));
    std::unique_ptr<DKDDO> row(c->fetchNext());
    if (!row) return "(none)";
    const DKAny v = row->getData(1);
    return v.typeCode() == DKAny::tc_string ? static_cast<DKString>(v).str() : std::to_string(static_cast<long>(v));
}

DKAdminSQLITE& admin(dkDatastore& ds) { return *static_cast<DKAdminSQLITE*>(ds.getExtension(DKAdminSQLITE::kName)); }

// The names a list call gives, separated by blanks.
template <class F>
std::string list(F f) { return dkconf::joinedNames(f); }

// The names of a collection's definitions (of type T), "name" or "name:extra(def)"; the
// collection is freed, and with it the definitions it owns.
template <class T>
std::string namesOf(dkCollection* owned, const std::function<std::string(T&)>& extra = nullptr) {
    std::unique_ptr<dkCollection> c(owned);
    std::unique_ptr<dkIterator> it(c->createIterator());
    std::string out;
    while (it->more()) {
        T& d = *static_cast<T*>(it->next()->value());
        out += (out.empty() ? "" : " ") + std::string(d.getName().c_str()) + (extra ? ":" + extra(d) : "");
    }
    return out;
}
std::string privilegesOf(dkPrivilegeSet& s) { return list([&](long& n) { return s.listPrivilegeNames(n); }); }

// The shared users suite on SQLite repositories, each in a folder of its own.
dkrights::RightsContext sqliteRights() {
    dkrights::RightsContext c;
    c.label = "SQLITE";
    c.adminExtension = DKAdminSQLITE::kName;
    c.creator = "u";
    c.creatorPassword = "p";
    c.newRepo = [] {
        auto dir = std::make_shared<dktest::TempDir>();
        const std::string path = (*dir / "r.db").string();
        return dkrights::Repo{path, open(path, "create=1"), dir, [path](const std::string& u, const std::string& p) {
                                  return open(path, "", kCheap, u.c_str(), p.c_str());
                              }};
    };
    c.poolType = "SQLITE";
    c.poolLibrary = "dkdssqlite";
    c.poolConfig = kCheap;
    return c;
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(SQLITE, DKRightsConformance, ::testing::Values(sqliteRights()));

TEST(DKDatastoreSQLITERights, UsersGroupsAndACLsSurviveAReconnect) {
    Repo r;
    DKAdminSQLITE& a = admin(*r.ds);
    a.addUser("v", "pv");
    a.addGroup("readers");
    a.addGroupMember("readers", "v");
    a.definePrivilegeSet("looker", "read,update=2");
    a.createACL("shared");
    a.setACLEntry("shared", "readers", "looker");
    r.ds->disconnect();
    r.ds = r.as("u", "p");
    DKAdminSQLITE& b = admin(*r.ds);
    EXPECT_EQ("u v", list([&](long& n) { return b.listUsers(n); }));
    EXPECT_EQ("administrators readers", list([&](long& n) { return b.listGroups(n); }));
    EXPECT_EQ("u", list([&](long& n) { return b.listGroupMembers("administrators", n); }));
    EXPECT_EQ("v", list([&](long& n) { return b.listGroupMembers("readers", n); }));
    EXPECT_EQ("default shared", list([&](long& n) { return b.listACLs(n); }));
    EXPECT_EQ("readers=looker", list([&](long& n) { return b.listACLEntries("shared", n); }));
    EXPECT_EQ(1, b.isAdminUser("u"));
    EXPECT_EQ(0, b.isAdminUser("v"));
    // Only salted hashes are stored: two users with one password differ.
    b.addUser("w", "pv");
    EXPECT_EQ("32", rawQuery(r.path, "SELECT length(hash) FROM dk_users WHERE name = 'v'"));
    EXPECT_EQ("0", rawQuery(r.path, "SELECT count(*) FROM dk_users a, dk_users b WHERE a.name = 'v' AND b.name = 'w'"
                                    " AND (a.salt = b.salt OR a.hash = b.hash)"));
}

TEST(DKDatastoreSQLITERights, AnOlderRepositoryUpgradesWithItsUsersAsAdministrators) {
    Repo r;
    r.ds->disconnect();
    // A format 4 repository with a second user (the creator's password copied).
    ASSERT_TRUE(rawExec(r.path,
                        "DROP TABLE dk_groups; DROP TABLE dk_group_members; DROP TABLE dk_privilege_sets;"
                        " DROP TABLE dk_acls; DROP TABLE dk_acl_entries; DROP TABLE dk_item_acls; DROP TABLE dk_checkouts;"
                        " DELETE FROM dk_repository WHERE key = 'rights_version';"
                        " UPDATE dk_repository SET value = '4' WHERE key = 'format';"
                        " INSERT INTO dk_users SELECT 'v', salt, hash, iterations FROM dk_users"));
    // A read-only connect reads it as it is: every user is an administrator there.
    auto ro = make(kCheap);
    ro->connect(r.path.c_str(), "v", "p", "readonly=1");
    EXPECT_EQ("4", rawQuery(r.path, "SELECT value FROM dk_repository WHERE key = 'format'"));
    ro->disconnect();
    auto ds = r.as("v", "p");
    EXPECT_EQ("6", rawQuery(r.path, "SELECT value FROM dk_repository WHERE key = 'format'"));
    EXPECT_EQ("u v", list([&](long& n) { return admin(*ds).listGroupMembers("administrators", n); }));
    EXPECT_EQ("0", rawQuery(r.path, "SELECT count(*) FROM dk_acl_entries"));   // the default grants nothing
    // A newer format than this connector knows is refused.
    ds->disconnect();
    ASSERT_TRUE(rawExec(r.path, "UPDATE dk_repository SET value = '7' WHERE key = 'format'"));
    EXPECT_EQ(9001L, errorOf<DKDatastoreError>([&] { r.as("u", "p"); }));
}

TEST(DKDatastoreSQLITERights, WithoutReadAnItemIsHiddenEverywhereUntilAGroupGrantsIt) {
    Repo r;
    dkconf::defineEntity(*r.ds, "Box", {{"title", DKAny::tc_string}}, 2);
    DKAdminSQLITE& a = admin(*r.ds);
    a.addUser("v", "pv");
    a.addGroup("readers");
    a.createACL("shared");
    a.setACLEntry("shared", "readers", "reader");
    auto doc = dkconf::addedItem(*r.ds, "Doc"), box = dkconf::addedItem(*r.ds, "Box");
    static_cast<DKFolder*>(static_cast<dkCollection*>(box->getDataByName("DKFolder")))->addMember(box.get(), new DKDDO(r.ds.get(), doc->getPid(), 10));
    auto* content = static_cast<DKContentSQLITE*>(r.ds->getExtension(DKContentSQLITE::kName));
    const long id = std::atol(doc->getPid().getPrimaryId().c_str());
    dkconf::withContent(content->createBlob(content->pidOf("Doc", id, 1)), "bytes")->add();

    auto v = r.as("v", "pv");
    DKDDO mine(v.get(), doc->getPid(), 10);
    EXPECT_EQ(9090L, errorOf<DKDatastoreAccessError>([&] { mine.retrieve(); }));
    for (const char* q : {"SELECT count(*) FROM Doc", "SELECT count(*) FROM (SELECT dk_id FROM Doc)",
                          "SELECT count(*) FROM Doc d JOIN Doc e ON d.dk_id = e.dk_id"})
        EXPECT_EQ("0", sql(*v, q)) << q;
    for (const char* q : {"SELECT count(*) FROM main.Doc", "SELECT count(*) FROM \"MAIN\" . Doc",
                          "SELECT dk_id FROM temp.Doc", "SELECT count(*) FROM /* x */ main/**/.Doc"})
        EXPECT_EQ(9015L, errorOf<DKUsageError>([&] { sql(*v, q); })) << q;
    EXPECT_EQ("main.Doc", sql(*v, "SELECT 'main.Doc' FROM Box UNION ALL SELECT 'main.Doc'"));   // in a string it is text
    std::unique_ptr<dkBlob> theirs(static_cast<DKContentSQLITE*>(v->getExtension(DKContentSQLITE::kName))
                                       ->createBlob(content->pidOf("Doc", id, 1)));
    EXPECT_EQ(9090L, errorOf<DKDatastoreAccessError>([&] { theirs->retrieve(); }));
    // The folder is v's (shared) but its member is not: the listing leaves it out.
    a.setItemACL(box.get(), "shared");
    a.addGroupMember("readers", "v");
    DKDDO folder(v.get(), box->getPid(), 10);
    folder.retrieve();
    EXPECT_EQ(0, static_cast<dkCollection*>(folder.getDataByName("DKFolder"))->cardinality());

    // Granted through the group, the item shows everywhere at v's next operation.
    a.setItemACL(doc.get(), "shared");
    EXPECT_EQ("shared", std::string(a.itemACL(doc.get()).c_str()));
    mine.retrieve();
    EXPECT_EQ("1", sql(*v, "SELECT count(*) FROM Doc"));
    folder.retrieve();
    EXPECT_EQ(1, static_cast<dkCollection*>(folder.getDataByName("DKFolder"))->cardinality());
    theirs->retrieve();
    EXPECT_EQ(1, admin(*v).privilege(doc.get(), DKAdminSQLITE::kRead));
    EXPECT_EQ(0, admin(*v).privilege(doc.get(), DKAdminSQLITE::kUpdate));
    EXPECT_EQ(9090L, errorOf<DKDatastoreAccessError>([&] { mine.update(); }));
    EXPECT_EQ(9090L, errorOf<DKDatastoreAccessError>([&] { std::unique_ptr<DKDDO>(v->createDDO("Doc", 0))->add(); }));
    EXPECT_EQ(9091L, errorOf<DKDatastoreAccessError>([&] { dkconf::defineEntity(*v, "Mine", {{"t", DKAny::tc_string}}, 1); }));
    // Leaving the group takes effect at the next operation.
    a.removeGroupMember("readers", "v");
    EXPECT_EQ(9090L, errorOf<DKDatastoreAccessError>([&] { mine.retrieve(); }));
    EXPECT_EQ("0", sql(*v, "SELECT count(*) FROM Doc"));
    // An administrator sees all.
    EXPECT_EQ("1", sql(*r.ds, "SELECT count(*) FROM main.Doc"));
}

TEST(DKDatastoreSQLITERights, PrivilegeObjectsAreNewEachTimeAndTheExtensionChangesPasswords) {
    Repo r;
    admin(*r.ds).addUser("v", "pv");
    admin(*r.ds).addGroup("g");
    admin(*r.ds).addGroupMember("g", "v");
    auto ds = r.as("v", "pv");
    // Privilege objects are new each time and the caller's; only administrators pass the admin test.
    auto* ext = static_cast<dkDatastoreExt*>(r.ds->getExtension("DATASTORE_EXTENSION"));
    std::unique_ptr<DKCommonPrivilege> mine(ext->getCommonPrivilege()), again(ext->getCommonPrivilege());
    EXPECT_NE(mine.get(), again.get());
    EXPECT_EQ(1, mine->hasAdminPrivilege());
    EXPECT_EQ(2, mine->checkAuthorization(DKAdminSQLITE::kAdminister));
    admin(*r.ds).setACLEntry("default", "g", "owner");   // every privilege at 2, administer aside
    std::unique_ptr<DKCommonPrivilege> theirs(static_cast<dkDatastoreExt*>(ds->getExtension("DATASTORE_EXTENSION"))
                                                  ->getCommonPrivilege());
    EXPECT_EQ(2, theirs->checkAuthorization(DKAdminSQLITE::kDelete));
    EXPECT_EQ(0, theirs->hasAdminPrivilege());
    // The extension changes passwords under the administration's rule.
    auto* vext = static_cast<dkDatastoreExt*>(ds->getExtension("DATASTORE_EXTENSION"));
    EXPECT_EQ(9002L, errorOf<DKLogonFailure>([&] { vext->changePassword("v", "wrong", "n"); }));
    vext->changePassword("v", "pv", "pv2");
    r.as("v", "pv2");
}

TEST(DKDatastoreSQLITERights, ManagerDefinitionsAreStoredAndReadBackAfterAReconnect) {
    Repo r;
    dkDatastoreAdmin* m = r.ds->datastoreDef()->datastoreAdmin();
    dkUserManagement& users = *m->userManagement();
    dkAuthorizationMgmt& auth = *m->authorizationMgmt();
    users.addUser("v", "pv");
    users.addUser("w", "pw");
    std::unique_ptr<dkUserGroupDef> g(dkconf::named(users.createUserGroupDef(), "team"));
    users.add(g.get());
    for (const char* user : {"v", "w"}) g->addUser(std::unique_ptr<dkUserDef>(users.retrieveUserDef(user)).get());
    g->removeUser("w");
    // A set takes catalogue privileges only; a second privilege of a name replaces the first.
    std::unique_ptr<dkPrivilegeSet> set(dkconf::named(auth.createPrivilegeSet(), "writer"));
    for (const char* p : {"read", "update", "update=2"})
        set->addPrivilege(std::unique_ptr<dkPrivilege>(dkconf::named(auth.retrievePrivilege(p[0] == 'u' ? "update" : p), p)).get());
    for (const char* bad : {"administer", "read=3", "", "write"}) {
        dkPrivilege priv;
        priv.setName(bad);
        EXPECT_EQ(9098L, errorOf<DKUsageError>([&] { set->addPrivilege(&priv); })) << bad;
    }
    auth.add(set.get());
    EXPECT_EQ(9093L, errorOf<DKDataObjectAlreadyExists>([&] { auth.add(set.get()); }));
    // A privilege group is stored on its own; a set takes its privileges when it is added.
    EXPECT_EQ(9103L, errorOf<DKDataObjectNotFound>([&] { auth.deletePrivilegeGroup("staff"); }));
    std::unique_ptr<dkPrivilegeGroup> staff(dkconf::named(auth.createPrivilegeGroup(), "staff"));
    staff->addPrivilege(std::unique_ptr<dkPrivilege>(auth.retrievePrivilege("delete")).get());
    auth.add(staff.get());
    std::unique_ptr<dkPrivilegeSet> cleaner(dkconf::named(auth.createPrivilegeSet(), "cleaner"));
    cleaner->addPrivilegeGroup(staff.get());
    auth.add(cleaner.get());
    std::unique_ptr<dkAccessControlList> acl(dkconf::named(auth.createAccessControlList(), "shared"));
    DKACLData t(auth.retrievePrivilegeSet("writer"), "team", DKACLData::kGroup),
        e(auth.retrievePrivilegeSet("reader"), "w", DKACLData::kUser);
    acl->addACLData(&t);   // the entries stay the caller's
    acl->addACLData(&e);
    auth.add(acl.get());
    users.addUser("x", "px");
    // Reconnected, everything reads back as stored; the lists and definitions are the caller's.
    r.ds->disconnect();
    r.ds = r.as("u", "p");
    m = r.ds->datastoreDef()->datastoreAdmin();
    dkUserManagement& u2 = *m->userManagement();
    dkAuthorizationMgmt& a2 = *m->authorizationMgmt();
    EXPECT_EQ("u v w x", namesOf<dkUserDef>(u2.listUserDefs()));
    EXPECT_EQ("administrators:u team:v", namesOf<dkUserGroupDef>(u2.listUserGroupDefs(), [](dkUserGroupDef& d) {
                  return namesOf<dkUserDef>(d.listUsers());
              }));
    std::unique_ptr<dkUserGroupDef> team(u2.retrieveUserGroupDef("team"));
    EXPECT_EQ("v", list([&](long& n) { return team->listUserNames(n); }));
    EXPECT_EQ(9092L, errorOf<DKDataObjectNotFound>([&] { std::unique_ptr<dkUserGroupDef>(u2.retrieveUserGroupDef("nope")); }));
    u2.update(team.get());   // nothing but the name to store
    std::unique_ptr<dkUserGroupDef> gone(dkconf::named(u2.createUserGroupDef(), "gone"));
    u2.add(gone.get());
    u2.del(gone.get());
    EXPECT_EQ(9092L, errorOf<DKDataObjectNotFound>([&] { u2.update(gone.get()); }));
    std::unique_ptr<dkPrivilegeSet> writer(a2.retrievePrivilegeSet("writer"));
    EXPECT_EQ("read update=2", privilegesOf(*writer));
    EXPECT_EQ("reader editor owner writer cleaner", namesOf<dkPrivilegeSet>(a2.listPrivilegeSets()));
    EXPECT_EQ("delete", privilegesOf(*std::unique_ptr<dkPrivilegeSet>(a2.retrievePrivilegeSet("cleaner"))));
    EXPECT_EQ("staff:delete", namesOf<dkPrivilegeGroup>(a2.listPrivilegeGroups(), [](dkPrivilegeGroup& g) {
                  return list([&](long& n) { return g.listPrivilegeNames(n); });
              }));
    std::unique_ptr<dkPrivilegeGroup> staff2(a2.retrievePrivilegeGroup("staff"));
    a2.del(staff2.get());
    EXPECT_EQ(9103L, errorOf<DKDataObjectNotFound>([&] { delete a2.retrievePrivilegeGroup("staff"); }));
    EXPECT_EQ("read add update delete membership administer", namesOf<dkPrivilege>(a2.listPrivileges()));
    std::unique_ptr<dkAccessControlList> shared(a2.retrieveAccessControlList("shared"));
    EXPECT_EQ("team:1:read update=2 w:0:read", [&] {
        std::unique_ptr<dkCollection> c(shared->listACLData());
        std::unique_ptr<dkIterator> it(c->createIterator());
        std::string out;
        while (it->more()) {
            auto& e = *static_cast<DKACLData*>(it->next()->value());
            out += (out.empty() ? "" : " ") + std::string(e.getUserGroupName().c_str()) + ":" +
                   std::to_string(e.getPatronType()) + ":" + privilegesOf(*e.getPrivilegeSet());
        }
        return out;
    }());
    EXPECT_EQ("default shared", namesOf<dkAccessControlList>(a2.listAccessControlLists()));
    EXPECT_EQ("team w", list([&](long& n) { return shared->listUsrGrps(n); }));
    EXPECT_EQ("w", list([&](long& n) { return shared->listUsers(n); }));
    EXPECT_EQ("team", list([&](long& n) { return shared->listGroups(n); }));
    // Update makes the stored entries the object's; a set still named cannot go.
    shared->removeACLData(&e);
    a2.update(shared.get());
    EXPECT_EQ("team=writer", list([&](long& n) { return admin(*r.ds).listACLEntries("shared", n); }));
    EXPECT_EQ(9099L, errorOf<DKUsageError>([&] { a2.del(writer.get()); }));
    writer->removePrivilege("update");
    a2.update(writer.get());
    // The default ACL's grants, through the user's groups; administrators hold everything.
    admin(*r.ds).setACLEntry("default", "team", "writer");
    admin(*r.ds).setACLEntry("default", "v", "reader");
    std::unique_ptr<dkPrivilegeSet> pv(a2.retrieveUserPrivilegeSet("v")), pw(a2.retrieveUserPrivilegeSet("w")),
        pu(a2.retrieveUserPrivilegeSet("u")), pg(a2.retrieveUserGroupPrivilegeSet("team"));
    EXPECT_EQ("read", privilegesOf(*pv));
    EXPECT_EQ("", privilegesOf(*pw));
    EXPECT_EQ("read=2 add=2 update=2 delete=2 membership=2 administer=2", privilegesOf(*pu));
    EXPECT_EQ("read", privilegesOf(*pg));
    EXPECT_EQ(9092L, errorOf<DKDataObjectNotFound>([&] { delete a2.retrieveUserPrivilegeSet("ghost"); }));
    a2.del(shared.get());
    EXPECT_EQ(9096L, errorOf<DKDataObjectNotFound>([&] { delete a2.retrieveAccessControlList("shared"); }));
}

TEST(DKDatastoreSQLITERights, ANewItemTakesTheACLItNamesAndNeedsAddThere) {
    Repo r;
    DKAdminSQLITE& a = admin(*r.ds);
    a.addUser("v", "pv");
    a.createACL("team");
    a.setACLEntry("team", "v", "editor");   // nothing for v in the default ACL
    auto v = r.as("v", "pv");
    auto named = [&](dkDatastore& ds, const char* acl) {
        auto ddo = std::unique_ptr<DKDDO>(ds.createDDO("Doc", 0));
        if (acl != nullptr) ddo->addProperty(DKAdminSQLITE::kACLProperty, DKAny(acl));
        return ddo;
    };
    for (const char* acl : {static_cast<const char*>(nullptr), "", "default"})
        EXPECT_EQ(9090L, errorOf<DKDatastoreAccessError>([&] { named(*v, acl)->add(); })) << (acl ? acl : "none");
    EXPECT_EQ(9096L, errorOf<DKDataObjectNotFound>([&] { named(*v, "nope")->add(); }));
    auto mine = named(*v, "team");
    mine->add();
    mine->retrieve();   // readable through team
    EXPECT_EQ("team", std::string(a.itemACL(mine.get()).c_str()));
    EXPECT_EQ("1", sql(*v, "SELECT count(*) FROM Doc"));
    // An administrator adds under any ACL; a refused add stores nothing.
    auto theirs = named(*r.ds, "team");
    theirs->add();
    EXPECT_EQ("team", std::string(a.itemACL(theirs.get()).c_str()));
    a.setACLEntry("team", "v", "reader");
    EXPECT_EQ(9090L, errorOf<DKDatastoreAccessError>([&] { named(*v, "team")->add(); }));
    EXPECT_EQ("2", sql(*r.ds, "SELECT count(*) FROM Doc"));
    // With the default readable, only the items under an ACL denying read are left out.
    a.createACL("closed");
    auto closed = named(*r.ds, "closed");
    closed->add();
    named(*r.ds, nullptr)->add();
    a.setACLEntry("default", "v", "reader");
    EXPECT_EQ("3", sql(*v, "SELECT count(*) FROM Doc"));
    DKDDO hidden(v.get(), closed->getPid(), 10);
    EXPECT_EQ(9090L, errorOf<DKDatastoreAccessError>([&] { hidden.retrieve(); }));
}
