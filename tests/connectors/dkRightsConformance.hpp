// tests/connectors/dkRightsConformance.hpp
//
// Users of a repository on every connector that keeps them, from one source: the list and its
// names, the one password rule, groups in the same name space, the administrator that cannot go, and the sessions that end when
// their user goes or its password changes. A suite instantiates DKRightsConformance with its
// connector's RightsContext; message numbers are the connector's own, the exception classes
// the same everywhere.

#pragma once

#include "dkTestSupport.hpp"

#include <dk/DKDatastorePool.hpp>
#include <dk/DKException.hpp>
#include <dk/PRepositoryAdmin.hpp>
#include <dk/dkDatastore.hpp>

#include <gtest/gtest.h>

#include <functional>
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
    std::string u(const char* name) const { return ctx().user(name); }
    long id(long sqliteId) const { return ctx().id(sqliteId); }
    PRepositoryAdmin& admin(dkDatastore& ds) const {
        return *static_cast<PRepositoryAdmin*>(ds.getExtension(ctx().adminExtension.c_str()));
    }
    // The names a list call gives, separated by blanks.
    template <class F>
    static std::string list(F f) {
        long n = -1;
        std::unique_ptr<DKString[]> names(f(n));
        std::string out;
        for (long i = 0; i < n; ++i) out += (i ? " " : "") + std::string(names[i].c_str());
        return out;
    }
    static std::string users(PRepositoryAdmin& a) { return list([&](long& n) { return a.listUsers(n); }); }
};

using dktest::errorOf;

TEST_P(DKRightsConformance, UsersAreListedNamedOnceAndChangedByAdministratorsOnly) {
    Repo r = ctx().newRepo();
    PRepositoryAdmin& a = admin(*r.ds);
    const std::string v = u("v"), w = u("w"), creator = ctx().creator;
    a.addUser(v.c_str(), "pv");
    a.addUser(w.c_str(), "pw");
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
    Repo r = ctx().newRepo();
    PRepositoryAdmin& a = admin(*r.ds);
    const std::string v = u("v"), g = u("g"), creator = ctx().creator, admins = PRepositoryAdmin::kAdminGroup;
    a.addUser(v.c_str(), "pv");
    a.addGroup(g.c_str());
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
    Repo r = ctx().newRepo();
    PRepositoryAdmin& a = admin(*r.ds);
    const std::string v = u("v"), w = u("w");
    a.addUser(v.c_str(), "pv");
    a.addUser(w.c_str(), "pw");
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
    Repo r = ctx().newRepo();
    const std::string v = u("v");
    admin(*r.ds).addUser(v.c_str(), "pv");
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

}  // namespace dkrights
