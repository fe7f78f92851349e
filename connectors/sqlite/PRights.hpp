// connectors/sqlite/PRights.hpp
#pragma once

// Where users, groups and rights of an SQLite repository live, and what a connection remembers of
// its user. The tables come with repository format 6 (made, in one transaction, at the first
// writing connect of an older repository, whose users then become administrators):
//   dk_groups(name, admin)               groups; admin marks the administrators group
//   dk_group_members(grp, usr)           membership, in the order users joined (row id)
//   dk_privilege_sets(name, privileges)        named sets of privilege values ("read,update=2")
//   dk_acls(name), dk_acl_entries(acl, principal, privset)
//   dk_item_acls(entity, item, acl)      items whose ACL is not the default
//   dk_checkouts(entity, item, usr)      items checked out, and by whom
//   dk_privilege_groups(name, privileges)      named lists of privileges, made with the first one
// The privilege catalogue and its text reader are the connector kit's (<dk/PRightsKit.hpp>).
// dk_repository's 'rights_version' grows with every change of users, groups, sets or ACLs, so a
// connection knows when what it computed is stale. Internal to libdkdssqlite.

#include "DKAdminSQLITE.hpp"

#include <dk/PRightsKit.hpp>

#include <array>
#include <map>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace dksqlite {

inline constexpr int kRightsFormat = 6;   // the repository format that brings the tables
using PRightsRow = ::PRightsRow;   // the kit's row, as this connector's code names it

// The tables of format 6, and the seeds of an upgrade: the administrators group holding every
// user in the order they were made, the empty default ACL and the stock privilege sets.
extern const char* const kRightsTablesSql;

// What a connection knows of its user, checked again whenever another connection has committed
// (PRAGMA data_version): its password hash (a deleted user or a changed password ends the
// session), whether it is an administrator, and the rights it holds per ACL.
struct PSession {
    std::string user;
    std::vector<unsigned char> hash;   // as read at connect
    bool tables = false;               // the repository has the rights tables
    bool admin = true;                 // every user of a repository without them is its creator
    bool ended = false;                // the user was deleted or its password changed
    long dataVersion = -1;
    std::string rightsVersion;
    std::map<std::string, PRightsRow> acls;   // the user's values per ACL name, filled on demand
    PRightsRow everywhere{};                  // the lowest value per privilege over every ACL
    bool everywhereKnown = false;             // everywhere is computed for the current rights
    bool viewsStale = true;                   // the per-connection views need making again
    std::vector<std::string> views;           // the entity views made in the temp schema
};

// Whether SQL names a schema (main. or temp., bare or quoted) outside its strings and comments.
bool namesSchema(const char* sql);

}  // namespace dksqlite
