// tests/connectors/dkRightsConformance.hpp
//
// Users of a repository on every connector that keeps them, from one source: the list and its
// names, the one password rule, groups in the same name space, the administrator that cannot go, and the sessions that end when
// their user goes or its password changes; privilege sets, privilege groups and ACLs with their
// refusals, and the values an item's ACL gives each user. A suite instantiates DKRightsConformance with its
// connector's RightsContext; message numbers are the connector's own, the exception classes
// the same everywhere.

#pragma once

#include "dkConnectorSupport.hpp"
#include "dkTestSupport.hpp"

#include <dk/DKDDO.hpp>
#include <dk/DKDatastorePool.hpp>
#include <dk/DKOpCode.hpp>
#include <dk/DKQTerm.hpp>
#include <dk/DKException.hpp>
#include <dk/PRepositoryAdmin.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkDatastoreExt.hpp>
#include <dk/dkAuthorizationMgmt.hpp>
#include <dk/dkUserManagement.hpp>
#include <dk/dkDatastoreDef.hpp>

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>

namespace dkrights {

// One new repository, connected as its creator.
struct Repo {
    std::string name;                   // the datastore name
    std::unique_ptr<dkDatastore> ds;    // the creator's session
    std::shared_ptr<void> keep;         // what the repository lives in (a folder), if anything
    // A new session of user on this repository.
    std::function<std::unique_ptr<dkDatastore>(const std::string& user, const std::string& password)> as;
};

struct RightsContext {
    std::string label;
    std::string adminExtension;   // the name getExtension gives the PRepositoryAdmin under
    std::string creator, creatorPassword;   // the user a new repository's session is
    std::function<Repo()> newRepo;
    // A user name for this run (a server's roles outlive one repository).
    std::function<std::string(const char*)> user = [](const char* n) { return std::string(n); };
    // The connector's message for the one the SQLite connector numbers sqliteId.
    std::function<long(long)> id = [](long sqliteId) { return sqliteId; };
    long logonRefused = 9002;   // a logon with a wrong password or of a user that is gone
    // What validateConnection answers for a session whose user was deleted or changed its
    // password: 1 (dead, the pool drops it) or 2 (connect again, which the logon then refuses).
    short endedValidation = 1;
    // The pool's connector.
    std::string poolType, poolLibrary, poolConfig;
};

inline void PrintTo(const RightsContext& c, std::ostream* os) { *os << c.label; }

class DKRightsConformance : public ::testing::TestWithParam<RightsContext> {
protected:
    const RightsContext& ctx() const { return GetParam(); }
    // The run's user or group name for name, the same throughout the test.
    std::string u(const char* name) {
        auto it = names_.find(name);
        if (it == names_.end()) it = names_.emplace(name, ctx().user(name)).first;
        return it->second;
    }
    long id(long sqliteId) const { return ctx().id(sqliteId); }
    PRepositoryAdmin& admin(dkDatastore& ds) const {
        return *static_cast<PRepositoryAdmin*>(ds.getExtension(ctx().adminExtension.c_str()));
    }
    // The names a list call gives, separated by blanks.
    template <class F>
    static std::string list(F f) { return dkconf::joinedNames(f); }
    static std::string users(PRepositoryAdmin& a) { return list([&](long& n) { return a.listUsers(n); }); }
    // A new repository to which its creator added the users (each named as u names it, with the
    // password "p" and the name: v's is "pv"), then the groups.
    Repo repoWith(std::initializer_list<const char*> names, std::initializer_list<const char*> groups = {}) {
        Repo r = ctx().newRepo();
        for (const char* n : names) admin(*r.ds).addUser(u(n).c_str(), (std::string("p") + n).c_str());
        for (const char* g : groups) admin(*r.ds).addGroup(u(g).c_str());
        return r;
    }

    std::map<std::string, std::string> names_;   // u's names
};

using dktest::errorOf;

TEST_P(DKRightsConformance, UsersAreListedNamedOnceAndChangedByAdministratorsOnly) {
    Repo r = repoWith({"v", "w"});
    PRepositoryAdmin& a = admin(*r.ds);
    const std::string v = u("v"), w = u("w"), creator = ctx().creator;
    const std::string longName(65, 'n');
    for (const char* bad : {"", "a b", "x'y", "x\"y;", longName.c_str(), static_cast<const char*>(nullptr)})
        EXPECT_EQ(id(9095), errorOf<DKUsageError>([&] { a.addUser(bad, "p"); })) << (bad ? bad : "null");
    EXPECT_EQ(id(9093), errorOf<DKDataObjectAlreadyExists>([&] { a.addUser(v.c_str(), "p"); }));
    EXPECT_EQ(id(9092), errorOf<DKDataObjectNotFound>([&] { a.deleteUser(u("ghost").c_str()); }));
    EXPECT_EQ(id(9094), errorOf<DKDatastoreAccessError>([&] { a.deleteUser(creator.c_str()); }));   // the last administrator
    EXPECT_EQ(1, a.isAdminUser(creator.c_str()));
    EXPECT_EQ(0, a.isAdminUser(v.c_str()));
    EXPECT_EQ(0, a.isAdminUser(u("ghost").c_str()));
    auto dv = r.as(v, "pv");
    PRepositoryAdmin& av = admin(*dv);
    EXPECT_EQ(id(9091), errorOf<DKDatastoreAccessError>([&] { av.addUser(u("x").c_str(), "px"); }));
    EXPECT_EQ(id(9091), errorOf<DKDatastoreAccessError>([&] { av.deleteUser(w.c_str()); }));
    // Everyone lists them, in the order they were made; a reconnect finds them all.
    EXPECT_EQ(creator + " " + v + " " + w, users(av));
    a.deleteUser(w.c_str());
    r.ds = r.as(creator, ctx().creatorPassword);
    EXPECT_EQ(creator + " " + v, users(admin(*r.ds)));
}

TEST_P(DKRightsConformance, TheAdministratorsGroupKeepsAMemberAndGroupsShareTheUsersNames) {
    Repo r = repoWith({"v"}, {"g"});
    PRepositoryAdmin& a = admin(*r.ds);
    const std::string v = u("v"), g = u("g"), creator = ctx().creator, admins = PRepositoryAdmin::kAdminGroup;
    EXPECT_EQ(id(9094), errorOf<DKDatastoreAccessError>([&] { a.removeGroupMember(admins.c_str(), creator.c_str()); }));
    EXPECT_EQ(id(9094), errorOf<DKDatastoreAccessError>([&] { a.deleteGroup(admins.c_str()); }));
    EXPECT_EQ(id(9093), errorOf<DKDataObjectAlreadyExists>([&] { a.addUser(g.c_str(), "p"); }));
    EXPECT_EQ(id(9093), errorOf<DKDataObjectAlreadyExists>([&] { a.addGroup(v.c_str()); }));
    EXPECT_EQ(id(9093), errorOf<DKDataObjectAlreadyExists>([&] { a.addGroup(admins.c_str()); }));
    EXPECT_EQ(id(9092), errorOf<DKDataObjectNotFound>([&] { a.removeGroupMember(g.c_str(), v.c_str()); }));
    EXPECT_EQ(id(9092), errorOf<DKDataObjectNotFound>([&] { a.addGroupMember(u("none").c_str(), v.c_str()); }));
    EXPECT_EQ(id(9092), errorOf<DKDataObjectNotFound>([&] { a.addGroupMember(g.c_str(), u("none").c_str()); }));
    auto dv = r.as(v, "pv");
    PRepositoryAdmin& av = admin(*dv);
    EXPECT_EQ(id(9091), errorOf<DKDatastoreAccessError>([&] { av.addGroupMember(admins.c_str(), v.c_str()); }));
    // Made an administrator, v may act at its next operation; the creator may then leave.
    a.addGroupMember(admins.c_str(), v.c_str());
    a.addGroupMember(g.c_str(), v.c_str());
    EXPECT_EQ(admins + " " + g, list([&](long& n) { return av.listGroups(n); }));
    EXPECT_EQ(v, list([&](long& n) { return av.listGroupMembers(g.c_str(), n); }));
    av.removeGroupMember(admins.c_str(), creator.c_str());
    EXPECT_EQ(id(9091), errorOf<DKDatastoreAccessError>([&] { a.addGroup(u("h").c_str()); }));
    EXPECT_EQ(v, list([&](long& n) { return av.listGroupMembers(admins.c_str(), n); }));
    av.deleteGroup(g.c_str());
    EXPECT_EQ(admins, list([&](long& n) { return av.listGroups(n); }));
}

TEST_P(DKRightsConformance, PasswordsFollowOneRuleAndEndTheUsersOtherSessions) {
    Repo r = repoWith({"v", "w"});
    PRepositoryAdmin& a = admin(*r.ds);
    const std::string v = u("v"), w = u("w");
    auto v1 = r.as(v, "pv"), v2 = r.as(v, "pv");
    PRepositoryAdmin& av = admin(*v1);
    // A wrong old password, or none, is refused to the user itself and to another plain user.
    EXPECT_EQ(id(9002), errorOf<DKLogonFailure>([&] { av.changePassword(v.c_str(), "wrong", "n"); }));
    EXPECT_EQ(id(9002), errorOf<DKLogonFailure>([&] { av.changePassword(v.c_str(), nullptr, "n"); }));
    EXPECT_EQ(id(9002), errorOf<DKLogonFailure>([&] { av.changePassword(w.c_str(), "pv", "n"); }));
    EXPECT_EQ(id(9095), errorOf<DKUsageError>([&] { av.changePassword(v.c_str(), "pv", nullptr); }));
    av.changePassword(v.c_str(), "pv", "pv2");
    // This session goes on; the user's other one ends and the old password logs on no more.
    EXPECT_EQ(0, v1->validateConnection());
    EXPECT_EQ(ctx().endedValidation, v2->validateConnection());
    EXPECT_EQ(ctx().logonRefused, errorOf<DKLogonFailure>([&] { r.as(v, "pv"); }));
    // An administrator changes another's without the old one.
    a.changePassword(v.c_str(), nullptr, "pv3");
    r.as(v, "pv3");
    EXPECT_EQ(id(9092), errorOf<DKDataObjectNotFound>([&] { a.changePassword(u("ghost").c_str(), nullptr, "x"); }));
}

TEST_P(DKRightsConformance, ADeletedUsersSessionEndsAndAValidatingPoolDropsIt) {
    Repo r = repoWith({"v"});
    const std::string v = u("v");
    auto dv = r.as(v, "pv");
    EXPECT_EQ(0, dv->validateConnection());
    DKDatastorePool pool(ctx().poolType.c_str(), ctx().poolLibrary.c_str());
    pool.setDatastoreName(r.name.c_str());
    pool.setConfigurationString(ctx().poolConfig.c_str());
    pool.setValidate(1);
    pool.returnConnection(pool.getConnection(v.c_str(), "pv"));
    admin(*r.ds).deleteUser(v.c_str());
    EXPECT_EQ(ctx().endedValidation, dv->validateConnection());
    long n = 0;
    EXPECT_THROW(delete[] dv->listEntityNames(n), DKException);
    EXPECT_EQ(ctx().logonRefused, errorOf<DKLogonFailure>([&] { r.as(v, "pv"); }));
    EXPECT_EQ(ctx().logonRefused, errorOf<DKLogonFailure>([&] { pool.getConnection(v.c_str(), "pv"); }));
}

TEST_P(DKRightsConformance, PrivilegeSetsAndACLsKeepOneTextRuleAndLoseWhatTheyName) {
    Repo r = repoWith({"v"}, {"g"});
    PRepositoryAdmin& a = admin(*r.ds);
    const std::string g = u("g"), v = u("v");
    for (const char* bad : {"administer", "read=3", "read=0", "bogus", "read,,add", ",read", "read=", "Read",
                            static_cast<const char*>(nullptr)})
        EXPECT_EQ(id(9098), errorOf<DKUsageError>([&] { a.definePrivilegeSet("s", bad); })) << (bad ? bad : "null");
    EXPECT_EQ(id(9095), errorOf<DKUsageError>([&] { a.definePrivilegeSet("a b", "read"); }));
    EXPECT_EQ(id(9103), errorOf<DKDataObjectNotFound>([&] { a.deletePrivilegeGroup("s"); }));
    EXPECT_EQ(id(9096), errorOf<DKDataObjectNotFound>([&] { a.setACLEntry("none", g.c_str(), "reader"); }));
    EXPECT_EQ(id(9092), errorOf<DKDataObjectNotFound>([&] { a.setACLEntry("default", u("ghost").c_str(), "reader"); }));
    EXPECT_EQ(id(9097), errorOf<DKDataObjectNotFound>([&] { a.setACLEntry("default", g.c_str(), "none"); }));
    a.setACLEntry("default", g.c_str(), "reader");
    EXPECT_EQ(id(9099), errorOf<DKUsageError>([&] { a.deletePrivilegeSet("reader"); }));
    EXPECT_EQ(id(9099), errorOf<DKUsageError>([&] { a.deleteACL("default"); }));
    EXPECT_EQ(id(9093), errorOf<DKDataObjectAlreadyExists>([&] { a.createACL("default"); }));
    // Defined again, a set or group keeps its entries and moves to the end of its list.
    a.definePrivilegeSet("reader", "read,update=2");
    a.definePrivilegeSet("editor", "");
    a.definePrivilegeGroup("p", "add");
    a.definePrivilegeGroup("q", "read=2,read");
    a.definePrivilegeGroup("p", "delete");
    EXPECT_EQ("owner=read=2,add=2,update=2,delete=2,membership=2 reader=read,update=2 editor=",
              list([&](long& n) { return a.listPrivilegeSets(n); }));
    EXPECT_EQ("q=read=2,read p=delete", list([&](long& n) { return a.listPrivilegeGroups(n); }));
    a.createACL("shared");
    a.setACLEntry("shared", v.c_str(), "owner");
    a.setACLEntry("shared", g.c_str(), "owner");
    a.setACLEntry("shared", g.c_str(), "reader");   // replaces the group's entry
    // A plain user lists them and changes none.
    auto dv = r.as(v, "pv");
    PRepositoryAdmin& av = admin(*dv);
    EXPECT_EQ("default shared", list([&](long& n) { return av.listACLs(n); }));
    EXPECT_EQ(g + "=reader " + v + "=owner", list([&](long& n) { return av.listACLEntries("shared", n); }));
    EXPECT_EQ(id(9091), errorOf<DKDatastoreAccessError>([&] { av.definePrivilegeSet("s", "read"); }));
    EXPECT_EQ(id(9091), errorOf<DKDatastoreAccessError>([&] { av.createACL("mine"); }));
    // A user, group or ACL that goes takes its entries; a reconnect finds the rest.
    a.deleteUser(v.c_str());
    a.deleteGroup(g.c_str());
    r.ds = r.as(ctx().creator, ctx().creatorPassword);
    PRepositoryAdmin& b = admin(*r.ds);
    EXPECT_EQ("", list([&](long& n) { return b.listACLEntries("shared", n); }));
    b.deleteACL("shared");
    b.deletePrivilegeSet("reader");
    b.deletePrivilegeGroup("q");
    EXPECT_EQ("default", list([&](long& n) { return b.listACLs(n); }));
    EXPECT_EQ("p=delete", list([&](long& n) { return b.listPrivilegeGroups(n); }));
}

TEST_P(DKRightsConformance, AnItemsACLGivesEachUserTheHighestValueOfItsEntries) {
    Repo r = repoWith({"v", "w"}, {"g"});
    dkconf::defineEntity(*r.ds, "Doc", {{"title", DKAny::tc_string}}, 1);
    PRepositoryAdmin& a = admin(*r.ds);
    const std::string v = u("v"), w = u("w"), g = u("g");
    a.addGroupMember(g.c_str(), v.c_str());
    a.definePrivilegeSet("upd", "update=2,read");
    a.createACL("shared");
    a.setACLEntry("shared", g.c_str(), "editor");
    a.setACLEntry("shared", v.c_str(), "upd");
    std::unique_ptr<DKDDO> doc = dkconf::addedItem(*r.ds, "Doc");
    EXPECT_EQ("default", std::string(a.itemACL(doc.get()).c_str()));
    EXPECT_EQ(id(9096), errorOf<DKDataObjectNotFound>([&] { a.setItemACL(doc.get(), "none"); }));
    a.setItemACL(doc.get(), "shared");
    auto dv = r.as(v, "pv"), dw = r.as(w, "pw");
    const auto values = [&](dkDatastore& ds, dkDataObject* item) {
        std::string out;
        for (long p : {PRepositoryAdmin::kRead, PRepositoryAdmin::kAdd, PRepositoryAdmin::kUpdate, PRepositoryAdmin::kDelete,
                       PRepositoryAdmin::kMembership, PRepositoryAdmin::kAdminister})
            out += std::to_string(admin(ds).privilege(item, p));
        return out;
    };
    EXPECT_EQ("112110", values(*dv, doc.get()));   // the group's editor and v's own upd, the higher of each
    EXPECT_EQ("000000", values(*dw, doc.get()));
    EXPECT_EQ("222222", values(*r.ds, doc.get()));
    EXPECT_EQ("000000", values(*dv, nullptr));     // a new item, by the empty default ACL
    EXPECT_THROW(admin(*dv).privilege(doc.get(), 6), DKUsageError);
    // Only administer lets a user move an item to another ACL.
    EXPECT_EQ(id(9090), errorOf<DKDatastoreAccessError>([&] { admin(*dv).setItemACL(doc.get(), nullptr); }));
    EXPECT_EQ(id(9099), errorOf<DKUsageError>([&] { a.deleteACL("shared"); }));
    // A deleted item leaves its ACL free.
    doc->del();
    a.deleteACL("shared");
}

TEST_P(DKRightsConformance, WithoutReadAnItemCountsInNoQueryTreeOrTextSearch) {
    Repo r = repoWith({"v"}, {"g"});
    dkconf::addNotes(*r.ds, {{"alpha", "first", "t"}, {"beta", "second", "t"}});
    PRepositoryAdmin& a = admin(*r.ds);
    const std::string v = u("v"), g = u("g");
    a.createACL("shared");
    a.setACLEntry("shared", g.c_str(), "reader");
    std::unique_ptr<dkResultSetCursor> all(r.ds->execute("SELECT dk_id FROM Note WHERE title = 'beta'", 4, nullptr));
    std::unique_ptr<DKDDO> second(all->fetchNext());
    a.setItemACL(second.get(), "shared");
    auto dv = r.as(v, "pv");
    const auto seen = [&] {
        const auto tree = dkconf::countTree(*dv, dkconf::treeOf("Note", new DKQTerm("tag", DKOpCode::opEqual, "t")));
        return std::to_string(dkconf::countRows(*dv, "Note")) + " " + std::to_string(tree) + " " +
               std::to_string(dkconf::textFound(*dv, "first OR second", "Note").size());
    };
    EXPECT_EQ("0 0 0", seen());
    DKDDO hidden(dv.get(), second->getPid(), 10);
    EXPECT_THROW(hidden.retrieve(), DKException);
    // Granted through the group, the shared item shows at the user's next operation; the other
    // keeps the default ACL, which grants v nothing.
    a.addGroupMember(g.c_str(), v.c_str());
    EXPECT_EQ("1 1 1", seen());
    hidden.retrieve();
    EXPECT_EQ("second", std::string(static_cast<DKString>(hidden.getDataByName("body")).c_str()));
    // Reading is not updating or deleting.
    hidden.setData(hidden.dataId("body"), DKAny("changed"));
    EXPECT_THROW(hidden.update(), DKException);
    EXPECT_THROW(hidden.del(), DKException);
    a.setACLEntry("default", v.c_str(), "reader");
    EXPECT_EQ("2 2 2", seen());
}

TEST_P(DKRightsConformance, FilingTakesMembershipOnTheFolderAndAFolderListsOnlyReadableMembers) {
    Repo r = repoWith({"v"});
    dkconf::defineEntity(*r.ds, "Doc", {{"title", DKAny::tc_string}}, 4);
    dkconf::defineEntity(*r.ds, "Box", {{"title", DKAny::tc_string}}, 2);
    PRepositoryAdmin& a = admin(*r.ds);
    const std::string v = u("v");
    a.definePrivilegeSet("upd", "read,update");
    a.setACLEntry("default", v.c_str(), "upd");
    std::unique_ptr<DKDDO> box = dkconf::addedItem(*r.ds, "Box"), doc = dkconf::addedItem(*r.ds, "Doc");
    auto dv = r.as(v, "pv");
    auto& ext = *static_cast<dkDatastoreExt*>(dv->getExtension("DATASTORE_EXTENSION"));
    DKDDO vbox(dv.get(), box->getPid(), 10), vdoc(dv.get(), doc->getPid(), 10);
    EXPECT_EQ(id(9090), errorOf<DKDatastoreAccessError>([&] { ext.addToFolder(&vbox, &vdoc); }));
    a.setACLEntry("default", v.c_str(), "editor");
    ext.addToFolder(&vbox, &vdoc);
    const auto listed = [&] { vbox.retrieve(); return static_cast<dkCollection*>(vbox.getDataByName("DKFolder"))->cardinality(); };
    EXPECT_EQ(1UL, listed());
    a.createACL("hidden");
    a.setItemACL(doc.get(), "hidden");
    EXPECT_EQ(0UL, listed());
}

TEST_P(DKRightsConformance, CheckOutBlocksOthersAndIsKeptAcrossConnections) {
    Repo r = repoWith({"v"});
    dkconf::defineEntity(*r.ds, "Doc", {{"title", DKAny::tc_string}});
    const std::string v = u("v");
    admin(*r.ds).setACLEntry("default", v.c_str(), "editor");
    std::unique_ptr<DKDDO> doc = dkconf::addedItem(*r.ds, "Doc");
    auto* ext = static_cast<dkDatastoreExt*>(r.ds->getExtension("DATASTORE_EXTENSION"));
    ext->checkOut(doc.get());
    ext->checkOut(doc.get());   // again by its holder: nothing changes
    auto dv = r.as(v, "pv");
    auto* vext = static_cast<dkDatastoreExt*>(dv->getExtension("DATASTORE_EXTENSION"));
    DKDDO theirs(dv.get(), doc->getPid(), 10);
    theirs.retrieve();
    EXPECT_EQ(1, vext->isCheckedOut(&theirs));
    EXPECT_EQ(ctx().creator, std::string(vext->checkedOutUserid(&theirs).c_str()));
    theirs.setData(1, DKAny(DKString("changed")));
    EXPECT_EQ(id(9100), errorOf<DKNotCheckedOutException>([&] { theirs.update(); }));
    EXPECT_EQ(id(9100), errorOf<DKNotCheckedOutException>([&] { theirs.del(); }));
    EXPECT_EQ(id(9100), errorOf<DKNotCheckedOutException>([&] { vext->checkOut(&theirs); }));
    EXPECT_EQ(id(9100), errorOf<DKNotCheckedOutException>([&] { vext->checkIn(&theirs); }));
    EXPECT_EQ(id(9091), errorOf<DKDatastoreAccessError>([&] { vext->unlockCheckedOut(&theirs); }));
    doc->setData(1, DKAny(DKString("mine")));
    doc->update();   // the holder may
    // Kept in the repository: a new connection of the holder checks it in.
    r.ds = r.as(ctx().creator, ctx().creatorPassword);
    auto* again = static_cast<dkDatastoreExt*>(r.ds->getExtension("DATASTORE_EXTENSION"));
    DKDDO same(r.ds.get(), doc->getPid(), 10);
    again->checkIn(&same);
    EXPECT_EQ(id(9101), errorOf<DKNotCheckedOutException>([&] { again->checkIn(&same); }));
    theirs.update();
    // v's own check-out an administrator may unlock.
    vext->checkOut(&theirs);
    again->unlockCheckedOut(&same);
    EXPECT_EQ(0, vext->isCheckedOut(&theirs));
}

TEST_P(DKRightsConformance, TheLibrarysManagersWorkThroughTheSchemaObject) {
    Repo r = ctx().newRepo();
    dkDatastoreAdmin* managers = r.ds->datastoreDef()->datastoreAdmin();
    ASSERT_NE(nullptr, managers);
    const std::string v = u("v"), g = u("g");
    dkUserManagement& users = *managers->userManagement();
    users.addUser(v.c_str(), "pv");
    users.addUserGroup(g.c_str());
    users.addToGroup(v.c_str(), g.c_str());
    EXPECT_EQ(1, users.isAdminUser(ctx().creator.c_str()));
    EXPECT_EQ(0, users.isAdminUser(v.c_str()));
    // A user definition's password change is applied by update, under the one rule.
    std::unique_ptr<dkUserDef> vd(users.retrieveUserDef(v.c_str()));
    auto ds = r.as(v, "pv");
    dkUserManagement& own = *ds->datastoreDef()->datastoreAdmin()->userManagement();
    std::unique_ptr<dkUserDef> self(own.retrieveUserDef(v.c_str()));
    self->changePassword("wrong", "n");
    EXPECT_EQ(id(9002), errorOf<DKLogonFailure>([&] { own.update(self.get()); }));
    self->changePassword("pv", "n");
    own.update(self.get());
    r.as(v, "n");
    vd->setPassword("by-admin");   // an administrator needs no old password
    users.update(vd.get());
    ds = r.as(v, "by-admin");   // its connection made with "n" has ended
    EXPECT_EQ(id(9092), errorOf<DKDataObjectNotFound>([&] { std::unique_ptr<dkUserDef>(users.retrieveUserDef("ghost")); }));
    EXPECT_EQ("reader editor owner", list([&](long& n) { return managers->authorizationMgmt()->listPrivilegeSetNames(n); }));
    EXPECT_NE(nullptr, managers->accessControl());
    EXPECT_EQ(341L, errorOf<DKUsageError>([&] { managers->configurationManagement(); }));
    EXPECT_EQ(341L, errorOf<DKUsageError>([&] { managers->workFlowManagement(); }));
}

}  // namespace dkrights
