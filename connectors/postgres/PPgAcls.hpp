// connectors/postgres/PPgAcls.hpp
#pragma once

// Privilege sets, privilege groups and ACLs of a PostgreSQL repository, kept in its tables:
//   dk_privilege_sets(id, name, privileges)     named privilege texts ("read,update=2")
//   dk_privilege_groups(id, name, privileges)   named lists of privileges, in the same text
//   dk_acls(id, name), dk_acl_entries(acl, principal, privset)
//   dk_item_acls(entity, item, acl)            items whose ACL is not the default; an item's row
//                                              goes with it (a foreign key to dk_items)
//   dk_checkouts(entity, item, usr)            items checked out, and by which role; the trigger
//                                              dk_held refuses other roles' changes to them
// The tables belong to the repository's owner role: its users read them, its administrators
// alone write them (the grants say so, whoever reaches them by SQL; a user takes and gives back
// its own check-outs, as dk_checkouts' row policies allow), so the checks here only
// give the library's refusals before the server's. An entity table's rows are guarded by
// row-level security through dk_item_has, so no query, count or write of a user reaches an item
// its ACL does not grant, nor do its memberships, links, parts and slots show. Internal to libdkdspg.

#include "PPgMembers.hpp"

#include <dk/DKString.hpp>
#include <dk/PRightsKit.hpp>

#include <libpq-fe.h>

#include <string>
#include <vector>

class DKDatastorePG;
class dkDataObject;

namespace dkpg {

// The messages of users and rights.
enum PRightsMsg : long {
    kMsgNotAdmin = 9260,
    kMsgNoPrincipal = 9261,     // no such user or group
    kMsgNameTaken = 9262,
    kMsgLastAdmin = 9263,
    kMsgBadPrincipal = 9264,    // a user, group, set or ACL name, or a password, not valid
    kMsgWrongPassword = 9265,
    kMsgNoUsers = 9266,         // the repository has no roles of its own yet
    kMsgNoACL = 9268,
    kMsgNoSet = 9269,
    kMsgBadPrivilege = 9270,    // a privilege text not valid
    kMsgInUse = 9271,           // an ACL or set still named, or the default ACL
    kMsgNoGroup = 9272          // no such privilege group; 9273 is PPgError's kMsgNotAuthorized
};

// The rights part of a datastore's administration extension, used by it alone; not owned by
// the datastore it works on; the datastore's thread only.
class PAclsPG {
public:
    explicit PAclsPG(DKDatastorePG& ds) : ds_(ds) {}

    // Privilege sets (sets true) or privilege groups (false): replaced whole, listed as
    // "name=text" in the order they were (last) defined.
    void define(bool sets, const char* name, const char* privilegeText, const char* function);
    void remove(bool sets, const char* name, const char* function);
    DKString* list(bool sets, long& count, const char* function);

    void createACL(const char* acl, const char* function);
    void deleteACL(const char* acl, const char* function);
    void setEntry(const char* acl, const char* principal, const char* privilegeSet, const char* function);
    DKString* listACLs(long& count, const char* function);
    DKString* listEntries(const char* acl, long& count, const char* function);

    void setItemACL(dkDataObject* item, const char* acl, const char* function);
    std::string itemACL(dkDataObject* item, const char* function);
    short privilege(dkDataObject* item, long privilege, const char* function);

    // A principal gone (a deleted user or group) leaves every ACL; in the caller's transaction.
    static void forget(pg_conn* c, const char* principal, const char* function);
    // Makes the tables, owned by owner, readable by users and written by admins, in c's open
    // transaction; seeds the default ACL and the stock sets.
    static void makeTables(pg_conn* c, const std::string& owner, const std::string& users, const std::string& admins,
                           const char* function);

    // Row-level security on an entity's table (in c's open transaction): a user reads, adds,
    // updates and deletes only the rows whose ACL grants it the privilege; nothing in a
    // repository without users.
    static void protect(pg_conn* c, const std::string& entityId, const std::string& table, const char* function);
    // The same for the rows of dk_items, dk_members, dk_links, dk_content, dk_children and
    // dk_segments, by the rights of the items they name, on the tables of them this role owns that have none yet; nothing before
    // the rights tables.
    static void protectShared(pg_conn* c, const std::string& users, const char* function);

private:
    // The roles' prefix, the caller an administrator (DKDatastoreAccessError otherwise).
    std::string administrator(const char* function);
    std::string prefix(const char* function);
    // The session user's values on the ACL (every privilege at 2 for an administrator).
    PRightsRow rights(const std::string& acl, const char* function);
    std::string aclOf(const PItemRef& item, const char* function);
    void known(const char* sql, const char* name, long msg, const char* function);
    std::vector<std::string> column(const char* sql, std::initializer_list<std::string> params, const char* function);
    long count(const char* sql, std::initializer_list<std::string> params, const char* function);

    DKDatastorePG& ds_;
};

}  // namespace dkpg
