// include/dk/PRepositoryAdmin.hpp
#pragma once

// The administration interface of a repository, the same on every connector that keeps users
// and rights, for programs that load a connector at run time: every operation is pure virtual, so
// a program calls it through the pointer a connected datastore hands out without linking the
// connector:
//
//     auto* a = static_cast<PRepositoryAdmin*>(ds->getExtension(name));   // the connector's own name
//
// Users, groups, privilege sets and access-control lists live in the repository. The members of
// the administrators group (made with the repository, its creator first) may change all of them;
// everyone may list them. Privileges are numbered (kRead ... kAdminister); a value of 1 grants
// one, 2 grants it with the right to grant it. A privilege set is written as its privilege names
// with optional values, "read,update=2". An ACL maps users and groups to privilege sets; every
// item has one (kDefaultACL unless named). A user's value of a privilege on an item is the highest
// over the entries of the item's ACL naming the user or one of its groups; administrators hold
// every privilege with value 2, and only they hold kAdminister.
//
// The datastore owns the object (made on the first getExtension, valid while the datastore
// lives); each operation needs the datastore connected (DKDatastoreError 310 otherwise) and runs
// in its own write scope, or the open transaction. Arrays returned are the caller's (delete[]).
// Each connector numbers its messages in its own range; the exception classes are the same on
// every connector. Used by the datastore's thread only.

#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>
#include <dk/dkExtension.hpp>

class dkDataObject;

class DK_API PRepositoryAdmin : public dkExtension {
public:
    static constexpr const char* kAdminGroup = "administrators";
    static constexpr const char* kDefaultACL = "default";
    // A new item's ACL is chosen by a DDO property of this name (a string) when it is added: the
    // ACL must exist (DKDataObjectNotFound) and grant the user the add privilege; absent,
    // empty or "default", the item takes the default ACL.
    static constexpr const char* kACLProperty = "DK_ACL";
    // The privilege catalogue: ids as DKCommonPrivilege numbers them.
    enum Privilege : long { kRead = 1, kAdd = 2, kUpdate = 3, kDelete = 4, kMembership = 5, kAdminister = 800 };

    ~PRepositoryAdmin() override {}

    // Users and groups share one name space (letters, digits, "._-@", 1 to 64 bytes): a second
    // use of a name is DKDataObjectAlreadyExists, an unknown one DKDataObjectNotFound.
    virtual void addUser(const char* user, const char* password) = 0;
    // The last administrator cannot be deleted (DKDatastoreAccessError). The user's connections
    // fail at their next operation; its entries leave every ACL and group, its check-outs are released.
    virtual void deleteUser(const char* user) = 0;
    virtual DKString* listUsers(long& count) = 0;
    // The old password is checked (DKLogonFailure) unless an administrator changes another
    // user's. Other connections of the user fail at their next operation.
    virtual void changePassword(const char* user, const char* oldPassword, const char* newPassword) = 0;
    virtual int isAdminUser(const char* user) = 0;

    virtual void addGroup(const char* group) = 0;
    virtual void deleteGroup(const char* group) = 0;   // never the administrators group (DKDatastoreAccessError)
    virtual void addGroupMember(const char* group, const char* user) = 0;
    virtual void removeGroupMember(const char* group, const char* user) = 0;   // DKDatastoreAccessError for the last administrator
    virtual DKString* listGroups(long& count) = 0;
    virtual DKString* listGroupMembers(const char* group, long& count) = 0;   // in the order they joined

    // Privilege sets: a privilege text that names an unknown privilege, administer, or a value other than
    // 1 or 2 is DKUsageError. Replacing a set changes every ACL entry naming it.
    virtual void definePrivilegeSet(const char* name, const char* privilegeText) = 0;
    virtual void deletePrivilegeSet(const char* name) = 0;   // DKUsageError while an ACL names it
    virtual DKString* listPrivilegeSets(long& count) = 0;     // "name=read,update=2"

    // Privilege groups: named lists of privileges written like a set's privilege text, from which a set
    // may take its privileges. Replacing or deleting a group changes no set.
    virtual void definePrivilegeGroup(const char* name, const char* privilegeText) = 0;
    virtual void deletePrivilegeGroup(const char* name) = 0;   // DKDataObjectNotFound for an unknown one
    virtual DKString* listPrivilegeGroups(long& count) = 0;    // "name=read,update=2"

    virtual void createACL(const char* acl) = 0;
    virtual void deleteACL(const char* acl) = 0;   // DKUsageError for the default ACL or one an item has
    // Names principal (a user or a group) in acl with a privilege set; a null or empty set
    // removes its entry.
    virtual void setACLEntry(const char* acl, const char* principal, const char* privilegeSet) = 0;
    virtual DKString* listACLs(long& count) = 0;
    virtual DKString* listACLEntries(const char* acl, long& count) = 0;   // "principal=set"

    // The ACL of a stored item; setting one needs the administer privilege; null or empty names
    // the default.
    virtual void setItemACL(dkDataObject* item, const char* acl) = 0;
    virtual DKString itemACL(dkDataObject* item) = 0;
    // The connected user's value of privilege on item (null: on a new item, by the default ACL).
    virtual short privilege(dkDataObject* item, long privilege) = 0;

protected:
    PRepositoryAdmin() {}
};
