// connectors/sqlite/DKDatastoreSQLITEAdmin.cpp
//
// The library's administration managers on an SQLite repository, reached as
// datastoreDef()->datastoreAdmin(): users and groups (dkUserManagement, with user definitions
// whose changePassword is applied by update), privilege sets and ACLs by name
// (dkAuthorizationMgmt), and the base access control. Each manager works through the
// datastore's administration extension (DKAdminSQLITE), so every rule is kept in one place;
// configuration and workflow management keep the base's refusals.

#include "DKDatastoreSQLITE.hpp"

#include <dk/DKException.hpp>
#include <dk/dkAccessControl.hpp>
#include <dk/dkAuthorizationMgmt.hpp>
#include <dk/dkDatastoreDef.hpp>
#include <dk/dkThrow.hpp>
#include <dk/dkUserManagement.hpp>

#include <memory>
#include <string>

using namespace dksqlite;

namespace {

constexpr const char* kSource = kDatastoreSource;

// A user definition of this repository: changePassword keeps the old password beside the new
// one, and the manager's update applies both under the password rule.
class PUserDef : public dkUserDef {
public:
    explicit PUserDef(dkDatastore* ds) : dkUserDef(ds) {}
    void changePassword(const char* oldPassword, const char* newPassword) override {
        dkUserDef::changePassword(oldPassword, newPassword);
        old_ = oldPassword ? oldPassword : "";
        oldGiven_ = oldPassword != nullptr;
        pending_ = true;
    }
    void setPassword(const char* password) override {
        dkUserDef::setPassword(password);
        pending_ = true;
    }
    bool pending() const { return pending_; }
    const char* oldPassword() const { return oldGiven_ ? old_.c_str() : nullptr; }
    const char* newPassword() const { return storedPassword().c_str(); }
    void done() { pending_ = oldGiven_ = false; }

private:
    std::string old_;
    bool oldGiven_ = false;
    bool pending_ = false;
};

// The names of an array the extension returned, in a new array the caller owns; with cut, each
// name ends before its first '='.
DKString* names(DKString* list, long& count, bool cut) {
    if (cut)
        for (long i = 0; i < count; ++i) {
            const std::string s = list[i].c_str();
            list[i] = s.substr(0, s.find('=')).c_str();
        }
    return list;
}

PUserDef& ours(dkUserDef* userDef, const char* function) {
    auto* u = dynamic_cast<PUserDef*>(userDef);
    if (u == nullptr) dkThrow<DKUsageError>(kMsgBadPrincipal, kSource, function, DKString("a user definition made by createUserDef"));
    return *u;
}

class PUserManagement : public dkUserManagement {
public:
    PUserManagement(dkDatastore* ds, DKAdminSQLITE& admin) : dkUserManagement(ds), admin_(admin) {}
    using dkUserManagement::add;
    using dkUserManagement::del;
    using dkUserManagement::update;

    dkUserDef* createUserDef() override { return new PUserDef(getDatastore()); }
    dkUserDef* retrieveUserDef(const char* userName) override {
        long n = 0;
        std::unique_ptr<DKString[]> users(admin_.listUsers(n));
        for (long i = 0; i < n; ++i)
            if (userName != nullptr && users[i] == userName) {
                auto* u = new PUserDef(getDatastore());
                u->setName(userName);
                return u;
            }
        dkThrow<DKDataObjectNotFound>(kMsgNoPrincipal, kSource, "dkUserManagement::retrieveUserDef",
                                      DKString(userName ? userName : "(null)"));
    }
    void add(dkUserDef* userDef) override {
        PUserDef& u = ours(userDef, "dkUserManagement::add");
        admin_.addUser(u.getName().c_str(), u.newPassword());
        u.done();
    }
    void addUser(const char* userName, const char* password) override { admin_.addUser(userName, password); }
    void addUser(const char* userName, const char* password, dkProfile*) override { admin_.addUser(userName, password); }
    // A user definition keeps only its password: a pending change is applied under the rule.
    void update(dkUserDef* userDef) override {
        PUserDef& u = ours(userDef, "dkUserManagement::update");
        if (!u.pending()) return;
        admin_.changePassword(u.getName().c_str(), u.oldPassword(), u.newPassword());
        u.done();
    }
    void changePassword(const char* userName, const char* oldPassword, const char* newPassword) override {
        admin_.changePassword(userName, oldPassword, newPassword);
    }
    void delUser(const char* userName) override { admin_.deleteUser(userName); }
    void del(dkUserDef* userDef) override { admin_.deleteUser(userDef ? userDef->getName().c_str() : nullptr); }
    void deleteUserDef(const char* userName) override { admin_.deleteUser(userName); }
    int isAdminUser(const char* userName) override { return admin_.isAdminUser(userName); }
    DKString* listUsers(long& count) override { return admin_.listUsers(count); }
    DKString* listUserGroups(long& count) override { return admin_.listGroups(count); }
    void addUserGroup(const char* groupName) override { admin_.addGroup(groupName); }
    void addUserGroup(const char* groupName, dkProfile*) override { admin_.addGroup(groupName); }
    void delUserGroup(const char* groupName) override { admin_.deleteGroup(groupName); }
    void deleteUserGroupDef(const char* groupName) override { admin_.deleteGroup(groupName); }
    void addToGroup(const char* userName, const char* groupName) override { admin_.addGroupMember(groupName, userName); }
    void removeFromGroup(const char* userName, const char* groupName) override {
        admin_.removeGroupMember(groupName, userName);
    }

private:
    DKAdminSQLITE& admin_;
};

class PAuthorizationMgmt : public dkAuthorizationMgmt {
public:
    PAuthorizationMgmt(dkDatastore* ds, DKAdminSQLITE& admin) : dkAuthorizationMgmt(ds), admin_(admin) {}
    DKString* listPrivilegeSetNames(long& count) override { return names(admin_.listPrivilegeSets(count), count, true); }
    void deletePrivilegeSet(const char* name) override { admin_.deletePrivilegeSet(name); }
    DKString* listAccessControlListNames(long& count) override { return admin_.listACLs(count); }
    void deleteAccessControlList(const char* name) override { admin_.deleteACL(name); }
    // The catalogue's names, in id order.
    DKString* listPrivilegeNames(long& count) override {
        count = static_cast<long>(kPrivilegeNames.size());
        auto* out = new DKString[kPrivilegeNames.size()];
        for (std::size_t i = 0; i < kPrivilegeNames.size(); ++i) out[i] = kPrivilegeNames[i];
        return out;
    }

private:
    DKAdminSQLITE& admin_;
};

// The managers of one datastore, made with its schema object and kept by the datastore.
class PDatastoreAdmin : public dkDatastoreAdmin {
public:
    PDatastoreAdmin(DKDatastoreSQLITE* ds, DKAdminSQLITE& admin)
        : users_(ds, admin), authorization_(ds, admin), access_("SQLITE", "SQLITE") {
        setDatastore(ds);
    }
    dkUserManagement* userManagement() override { return &users_; }
    dkAuthorizationMgmt* authorizationMgmt() override { return &authorization_; }
    dkAccessControl* accessControl() override { return &access_; }

private:
    PUserManagement users_;
    PAuthorizationMgmt authorization_;
    dkAccessControl access_;
};

}  // namespace

dkDatastoreAdmin* DKDatastoreSQLITE::datastoreAdminObject() {
    if (!admin_) admin_ = newAdminExtension();
    if (!datastoreAdmin_)
        datastoreAdmin_ = std::make_shared<PDatastoreAdmin>(this, *static_cast<DKAdminSQLITE*>(admin_.get()));
    return datastoreAdmin_.get();
}
