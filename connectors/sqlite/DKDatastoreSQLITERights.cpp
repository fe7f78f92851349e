// connectors/sqlite/DKDatastoreSQLITERights.cpp
//
// Users, groups and rights of an SQLite repository: the tables of format 6 and the upgrade that
// makes them, what a connection remembers of its user and checks again once another connection
// has committed, the rights a user holds on an item, and the administration extension
// (DKAdminSQLITE) that changes them.

#include "DKDatastoreSQLITE.hpp"
#include "PMembers.hpp"
#include "PPassword.hpp"
#include "PRights.hpp"
#include "PSqliteStatement.hpp"
#include "PSqliteValues.hpp"

#include <dk/DKCommonPrivilege.hpp>
#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>

using namespace dksqlite;

namespace dksqlite {

const char* const kRightsTablesSql =
    "CREATE TABLE IF NOT EXISTS dk_groups(name TEXT PRIMARY KEY, admin INTEGER NOT NULL DEFAULT 0);"
    "CREATE TABLE IF NOT EXISTS dk_group_members(grp TEXT NOT NULL, usr TEXT NOT NULL, PRIMARY KEY(grp, usr));"
    "CREATE INDEX IF NOT EXISTS dk_group_members_usr ON dk_group_members(usr);"
    "CREATE TABLE IF NOT EXISTS dk_privilege_sets(name TEXT PRIMARY KEY, privileges TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS dk_acls(name TEXT PRIMARY KEY);"
    "CREATE TABLE IF NOT EXISTS dk_acl_entries(acl TEXT NOT NULL, principal TEXT NOT NULL, privset TEXT NOT NULL,"
    " PRIMARY KEY(acl, principal));"
    "CREATE TABLE IF NOT EXISTS dk_item_acls(entity TEXT NOT NULL COLLATE NOCASE, item INTEGER NOT NULL,"
    " acl TEXT NOT NULL, PRIMARY KEY(entity, item)) WITHOUT ROWID;"
    "CREATE INDEX IF NOT EXISTS dk_item_acls_acl ON dk_item_acls(acl);"
    "CREATE TABLE IF NOT EXISTS dk_checkouts(entity TEXT NOT NULL COLLATE NOCASE, item INTEGER NOT NULL,"
    " usr TEXT NOT NULL, PRIMARY KEY(entity, item)) WITHOUT ROWID;"
    "INSERT OR IGNORE INTO dk_groups VALUES ('administrators', 1);"
    "INSERT OR IGNORE INTO dk_group_members SELECT 'administrators', name FROM dk_users ORDER BY rowid;"
    "INSERT OR IGNORE INTO dk_acls VALUES ('default');"
    "INSERT OR IGNORE INTO dk_privilege_sets VALUES ('reader', 'read'),"
    " ('editor', 'read,add,update,delete,membership'), ('owner', 'read=2,add=2,update=2,delete=2,membership=2');"
    "INSERT OR IGNORE INTO dk_repository VALUES ('rights_version', '1');"
    "UPDATE dk_repository SET value = '6' WHERE key = 'format' AND CAST(value AS INTEGER) < 6";

}  // namespace dksqlite

namespace {

constexpr const char* kSource = kDatastoreSource;   // every operation of the datastore is located there

std::vector<unsigned char> blobColumn(sqlite3_stmt* s, int col) {
    const auto* p = static_cast<const unsigned char*>(sqlite3_column_blob(s, col));
    return std::vector<unsigned char>(p, p + (p ? sqlite3_column_bytes(s, col) : 0));
}

DKString* toArray(const std::vector<std::string>& v, long& count) {
    count = static_cast<long>(v.size());
    DKString* out = new DKString[v.empty() ? 1 : v.size()];
    for (std::size_t i = 0; i < v.size(); ++i) out[i] = v[i].c_str();
    return out;
}

// Every row's first column, as text.
std::vector<std::string> column(sqlite3* db, const std::string& sql, const char* bound, const char* function) {
    PStmt s = prepare(db, sql, kSource, function);
    if (bound) sqlite3_bind_text(s.get(), 1, bound, -1, SQLITE_TRANSIENT);
    std::vector<std::string> out;
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) out.push_back(textColumn(s.get(), 0));
    if (rc != SQLITE_DONE) throwSqlite(db, rc, kSource, function, "reading the rights");
    return out;
}

// One statement with up to three text parameters; answers the number of rows it changed or, for
// a query, its first column as a number.
long run(sqlite3* db, const char* sql, const char* function, const char* a = nullptr, const char* b = nullptr,
         const char* c = nullptr) {
    PStmt s = prepare(db, sql, kSource, function);
    const char* args[] = {a, b, c};
    for (int i = 0; i < 3; ++i)
        if (args[i]) sqlite3_bind_text(s.get(), i + 1, args[i], -1, SQLITE_TRANSIENT);
    if (sqlite3_column_count(s.get()) > 0) return stepCount(db, s.get(), kSource, function, "reading the rights");
    stepDone(db, s.get(), kSource, function, "writing the rights");
    return sqlite3_changes(db);
}

}  // namespace

namespace dksqlite {

// The administration extension of one datastore. Every change runs in a write scope of the
// datastore and moves the repository's rights version on, so that every connection (this one
// too) computes its user's rights again.
class PAdmin : public DKAdminSQLITE {
public:
    explicit PAdmin(DKDatastoreSQLITE* ds) : ds_(ds) { setName(kName); }

    void addUser(const char* user, const char* password) override {
        static const char* const fn = "DKAdminSQLITE::addUser";
        change(fn, [&](sqlite3* d) {
            newPrincipal(d, user, fn);
            if (password == nullptr) badName(fn, "no password");
            const PPasswordHash h = hashPassword(password, ds_->settings_.pbkdf2Iterations);
            PStmt s = prepare(d, "INSERT INTO dk_users VALUES (?1, ?2, ?3, ?4)", kSource, fn);
            sqlite3_bind_text(s.get(), 1, user, -1, SQLITE_TRANSIENT);
            sqlite3_bind_blob(s.get(), 2, h.salt.data(), static_cast<int>(h.salt.size()), SQLITE_TRANSIENT);
            sqlite3_bind_blob(s.get(), 3, h.hash.data(), static_cast<int>(h.hash.size()), SQLITE_TRANSIENT);
            sqlite3_bind_int64(s.get(), 4, h.iterations);
            stepDone(d, s.get(), kSource, fn, "adding the user");
        });
    }

    void deleteUser(const char* user) override {
        static const char* const fn = "DKAdminSQLITE::deleteUser";
        change(fn, [&](sqlite3* d) {
            knownUser(d, user, fn);
            keepAnAdministrator(d, nullptr, user, fn);
            run(d, "DELETE FROM dk_users WHERE name = ?1", fn, user);
            run(d, "DELETE FROM dk_group_members WHERE usr = ?1", fn, user);
            run(d, "DELETE FROM dk_acl_entries WHERE principal = ?1", fn, user);
            run(d, "DELETE FROM dk_checkouts WHERE usr = ?1", fn, user);
        });
    }

    DKString* listUsers(long& count) override {
        return toArray(column(read("DKAdminSQLITE::listUsers"), "SELECT name FROM dk_users ORDER BY rowid", nullptr,
                              "DKAdminSQLITE::listUsers"),
                       count);
    }

    void changePassword(const char* user, const char* oldPassword, const char* newPassword) override {
        ds_->changePassword(user, oldPassword, newPassword, "DKAdminSQLITE::changePassword");
    }

    int isAdminUser(const char* user) override {
        static const char* const fn = "DKAdminSQLITE::isAdminUser";
        sqlite3* d = read(fn);
        if (!ds_->session_->tables) return run(d, "SELECT count(*) FROM dk_users WHERE name = ?1", fn, user) != 0;
        return run(d,
                   "SELECT count(*) FROM dk_group_members m JOIN dk_groups g ON g.name = m.grp"
                   " WHERE g.admin <> 0 AND m.usr = ?1",
                   fn, user) != 0;
    }

    void addGroup(const char* group) override {
        static const char* const fn = "DKAdminSQLITE::addGroup";
        change(fn, [&](sqlite3* d) {
            newPrincipal(d, group, fn);
            run(d, "INSERT INTO dk_groups(name) VALUES (?1)", fn, group);
        });
    }

    void deleteGroup(const char* group) override {
        static const char* const fn = "DKAdminSQLITE::deleteGroup";
        change(fn, [&](sqlite3* d) {
            knownGroup(d, group, fn);
            if (run(d, "SELECT admin FROM dk_groups WHERE name = ?1", fn, group) != 0)
                dkThrow<DKDatastoreAccessError>(kMsgLastAdmin, kSource, fn, DKString(group));
            run(d, "DELETE FROM dk_groups WHERE name = ?1", fn, group);
            run(d, "DELETE FROM dk_group_members WHERE grp = ?1", fn, group);
            run(d, "DELETE FROM dk_acl_entries WHERE principal = ?1", fn, group);
        });
    }

    void addGroupMember(const char* group, const char* user) override {
        static const char* const fn = "DKAdminSQLITE::addGroupMember";
        change(fn, [&](sqlite3* d) {
            knownGroup(d, group, fn);
            knownUser(d, user, fn);
            run(d, "INSERT OR IGNORE INTO dk_group_members VALUES (?1, ?2)", fn, group, user);
        });
    }

    void removeGroupMember(const char* group, const char* user) override {
        static const char* const fn = "DKAdminSQLITE::removeGroupMember";
        change(fn, [&](sqlite3* d) {
            knownGroup(d, group, fn);
            knownUser(d, user, fn);
            keepAnAdministrator(d, group, user, fn);
            if (run(d, "DELETE FROM dk_group_members WHERE grp = ?1 AND usr = ?2", fn, group, user) == 0)
                dkThrow<DKDataObjectNotFound>(kMsgNoPrincipal, kSource, fn,
                                              DKString(user) + " is not a member of " + group);
        });
    }

    DKString* listGroups(long& count) override {
        static const char* const fn = "DKAdminSQLITE::listGroups";
        return toArray(column(read(fn), "SELECT name FROM dk_groups ORDER BY rowid", nullptr, fn), count);
    }

    DKString* listGroupMembers(const char* group, long& count) override {
        static const char* const fn = "DKAdminSQLITE::listGroupMembers";
        sqlite3* d = read(fn);
        knownGroup(d, group, fn);
        return toArray(column(d, "SELECT usr FROM dk_group_members WHERE grp = ?1 ORDER BY rowid", group, fn), count);
    }

    void definePrivilegeSet(const char* name, const char* privilegeText) override {
        static const char* const fn = "DKAdminSQLITE::definePrivilegeSet";
        change(fn, [&](sqlite3* d) {
            if (!isPrincipalName(name)) badName(fn, name);
            PRightsRow row;
            if (privilegeText == nullptr || !parsePrivilegeText(privilegeText, row))
                dkThrow<DKUsageError>(kMsgBadPrivilege, kSource, fn, DKString(privilegeText ? privilegeText : "(null)"));
            run(d, "INSERT OR REPLACE INTO dk_privilege_sets VALUES (?1, ?2)", fn, name, privilegeText);
        });
    }

    void deletePrivilegeSet(const char* name) override {
        static const char* const fn = "DKAdminSQLITE::deletePrivilegeSet";
        change(fn, [&](sqlite3* d) {
            knownSet(d, name, fn);
            if (run(d, "SELECT count(*) FROM dk_acl_entries WHERE privset = ?1", fn, name) != 0)
                dkThrow<DKUsageError>(kMsgInUse, kSource, fn, DKString(name));
            run(d, "DELETE FROM dk_privilege_sets WHERE name = ?1", fn, name);
        });
    }

    DKString* listPrivilegeSets(long& count) override {
        static const char* const fn = "DKAdminSQLITE::listPrivilegeSets";
        return toArray(column(read(fn), "SELECT name || '=' || privileges FROM dk_privilege_sets ORDER BY rowid", nullptr, fn),
                       count);
    }

    void definePrivilegeGroup(const char* name, const char* privilegeText) override {
        static const char* const fn = "DKAdminSQLITE::definePrivilegeGroup";
        change(fn, [&](sqlite3* d) {
            if (!isPrincipalName(name)) badName(fn, name);
            PRightsRow row;
            if (privilegeText == nullptr || !parsePrivilegeText(privilegeText, row))
                dkThrow<DKUsageError>(kMsgBadPrivilege, kSource, fn, DKString(privilegeText ? privilegeText : "(null)"));
            run(d, "CREATE TABLE IF NOT EXISTS dk_privilege_groups(name TEXT PRIMARY KEY, privileges TEXT NOT NULL)", fn);
            run(d, "INSERT OR REPLACE INTO dk_privilege_groups VALUES (?1, ?2)", fn, name, privilegeText);
        });
    }

    void deletePrivilegeGroup(const char* name) override {
        static const char* const fn = "DKAdminSQLITE::deletePrivilegeGroup";
        change(fn, [&](sqlite3* d) {
            if (!privilegeGroups(d, fn) || run(d, "DELETE FROM dk_privilege_groups WHERE name = ?1", fn, name) == 0)
                dkThrow<DKDataObjectNotFound>(kMsgNoPrivilegeGroup, kSource, fn, DKString(name ? name : "(null)"));
        });
    }

    DKString* listPrivilegeGroups(long& count) override {
        static const char* const fn = "DKAdminSQLITE::listPrivilegeGroups";
        sqlite3* d = read(fn);
        if (!privilegeGroups(d, fn)) return toArray({}, count);
        return toArray(column(d, "SELECT name || '=' || privileges FROM dk_privilege_groups ORDER BY rowid", nullptr, fn), count);
    }

    void createACL(const char* acl) override {
        static const char* const fn = "DKAdminSQLITE::createACL";
        change(fn, [&](sqlite3* d) {
            if (!isPrincipalName(acl)) badName(fn, acl);
            if (run(d, "INSERT OR IGNORE INTO dk_acls VALUES (?1)", fn, acl) == 0)
                dkThrow<DKDataObjectAlreadyExists>(kMsgExists, kSource, fn, DKString(acl));
        });
    }

    void deleteACL(const char* acl) override {
        static const char* const fn = "DKAdminSQLITE::deleteACL";
        change(fn, [&](sqlite3* d) {
            knownACL(d, acl, fn);
            if (std::strcmp(acl, kDefaultACL) == 0 ||
                run(d, "SELECT count(*) FROM dk_item_acls WHERE acl = ?1", fn, acl) != 0)
                dkThrow<DKUsageError>(kMsgInUse, kSource, fn, DKString(acl));
            run(d, "DELETE FROM dk_acl_entries WHERE acl = ?1", fn, acl);
            run(d, "DELETE FROM dk_acls WHERE name = ?1", fn, acl);
        });
    }

    void setACLEntry(const char* acl, const char* principal, const char* privilegeSet) override {
        static const char* const fn = "DKAdminSQLITE::setACLEntry";
        change(fn, [&](sqlite3* d) {
            knownACL(d, acl, fn);
            if (principal == nullptr ||
                run(d, "SELECT (SELECT count(*) FROM dk_users WHERE name = ?1) + (SELECT count(*) FROM dk_groups"
                       " WHERE name = ?1)", fn, principal) == 0)
                dkThrow<DKDataObjectNotFound>(kMsgNoPrincipal, kSource, fn, DKString(principal ? principal : "(null)"));
            if (privilegeSet == nullptr || *privilegeSet == '\0') {
                run(d, "DELETE FROM dk_acl_entries WHERE acl = ?1 AND principal = ?2", fn, acl, principal);
                return;
            }
            knownSet(d, privilegeSet, fn);
            run(d, "INSERT OR REPLACE INTO dk_acl_entries VALUES (?1, ?2, ?3)", fn, acl, principal, privilegeSet);
        });
    }

    DKString* listACLs(long& count) override {
        static const char* const fn = "DKAdminSQLITE::listACLs";
        return toArray(column(read(fn), "SELECT name FROM dk_acls ORDER BY rowid", nullptr, fn), count);
    }

    DKString* listACLEntries(const char* acl, long& count) override {
        static const char* const fn = "DKAdminSQLITE::listACLEntries";
        sqlite3* d = read(fn);
        knownACL(d, acl, fn);
        return toArray(column(d, "SELECT principal || '=' || privset FROM dk_acl_entries WHERE acl = ?1 ORDER BY principal",
                              acl, fn),
                       count);
    }

    void setItemACL(dkDataObject* item, const char* acl) override {
        static const char* const fn = "DKAdminSQLITE::setItemACL";
        read(fn);
        const PItemRef ref = ds_->storedItem(item, fn);
        ds_->requirePrivilege(ref, kAdminister, fn);
        change(fn, [&](sqlite3* d) {
            const std::string row = std::to_string(ref.second);
            if (acl == nullptr || *acl == '\0' || std::strcmp(acl, kDefaultACL) == 0) {
                run(d, "DELETE FROM dk_item_acls WHERE entity = ?1 AND item = CAST(?2 AS INTEGER)", fn, ref.first.c_str(),
                    row.c_str());
                return;
            }
            knownACL(d, acl, fn);
            run(d, "INSERT OR REPLACE INTO dk_item_acls VALUES (?1, CAST(?2 AS INTEGER), ?3)", fn, ref.first.c_str(),
                row.c_str(), acl);
        }, true);
    }

    DKString itemACL(dkDataObject* item) override {
        static const char* const fn = "DKAdminSQLITE::itemACL";
        read(fn);
        return ds_->itemACL(ds_->storedItem(item, fn), fn).c_str();
    }

    short privilege(dkDataObject* item, long privilege) override {
        static const char* const fn = "DKAdminSQLITE::privilege";
        read(fn);
        const int index = privilegeIndex(privilege);
        if (index < 0) dkThrow<DKUsageError>(303, kSource, fn, DKString(privilege));
        const PRightsRow row = item ? ds_->rightsOn(ds_->storedItem(item, fn), fn) : ds_->rightsOn(PItemRef(), fn);
        return row[static_cast<std::size_t>(index)];
    }

private:
    // The connection, its session checked; the rights tables must be there.
    sqlite3* read(const char* function) {
        sqlite3* d = ds_->db(function);
        if (!ds_->session_->tables)
            dkThrow<DKDatastoreError>(kMsgReadOnly, kSource, function,
                                      DKString(ds_->path_.c_str()) + " (an older repository, upgraded at a writing connect)");
        return d;
    }

    // One change by an administrator in a write scope, moving the rights version on. An item's
    // ACL (itemOnly, checked by the caller) changes no rights a connection computed: the views
    // and the rights per ACL read dk_item_acls as they go.
    void change(const char* function, const std::function<void(sqlite3*)>& body, bool itemOnly = false) {
        read(function);
        if (!itemOnly && !ds_->session_->admin)
            dkThrow<DKDatastoreAccessError>(kMsgNotAdmin, kSource, function, DKString(ds_->session_->user.c_str()));
        DKDatastoreSQLITE::PWriteScope scope(*ds_, function);
        body(ds_->db_);
        if (!itemOnly) ds_->rightsChanged(function);
        scope.commit();
    }

    // Whether the repository has its privilege groups' table (made with the first group).
    static bool privilegeGroups(sqlite3* d, const char* function) {
        return run(d, "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'dk_privilege_groups'",
                   function) != 0;
    }
    [[noreturn]] static void badName(const char* function, const char* name) {
        dkThrow<DKUsageError>(kMsgBadPrincipal, kSource, function, DKString(name ? name : "(null)"));
    }
    void newPrincipal(sqlite3* d, const char* name, const char* function) {
        if (!isPrincipalName(name)) badName(function, name);
        if (run(d, "SELECT (SELECT count(*) FROM dk_users WHERE name = ?1) + (SELECT count(*) FROM dk_groups WHERE name = ?1)",
                function, name) != 0)
            dkThrow<DKDataObjectAlreadyExists>(kMsgExists, kSource, function, DKString(name));
    }
    void known(sqlite3* d, const char* sql, const char* name, long msg, const char* function) {
        if (name == nullptr || run(d, sql, function, name) == 0)
            dkThrow<DKDataObjectNotFound>(msg, kSource, function, DKString(name ? name : "(null)"));
    }
    void knownUser(sqlite3* d, const char* n, const char* f) { known(d, "SELECT count(*) FROM dk_users WHERE name = ?1", n, kMsgNoPrincipal, f); }
    void knownGroup(sqlite3* d, const char* n, const char* f) { known(d, "SELECT count(*) FROM dk_groups WHERE name = ?1", n, kMsgNoPrincipal, f); }
    void knownSet(sqlite3* d, const char* n, const char* f) { known(d, "SELECT count(*) FROM dk_privilege_sets WHERE name = ?1", n, kMsgNoPrivilegeSet, f); }
    void knownACL(sqlite3* d, const char* n, const char* f) { known(d, "SELECT count(*) FROM dk_acls WHERE name = ?1", n, kMsgNoACL, f); }

    // Refuses to take user out of group (null: out of every group) when that leaves the
    // administrators group empty.
    void keepAnAdministrator(sqlite3* d, const char* group, const char* user, const char* function) {
        const long left = run(d,
                              "SELECT count(*) FROM dk_group_members m JOIN dk_groups g ON g.name = m.grp"
                              " WHERE g.admin <> 0 AND m.usr <> ?1 AND (?2 IS NULL OR g.name = ?2)",
                              function, user, group);
        const long isAdminGroup = group ? run(d, "SELECT admin FROM dk_groups WHERE name = ?1", function, group) : 1;
        if (isAdminGroup != 0 && left == 0)
            dkThrow<DKDatastoreAccessError>(kMsgLastAdmin, kSource, function, DKString(user));
    }

    DKDatastoreSQLITE* ds_;   // not owned: the owner
};

}  // namespace dksqlite

// ---------------------------------------------------------------------------------------------
// The repository's tables and the session

bool DKDatastoreSQLITE::ensureRightsTables(const char* function) {
    const auto [tables, current] = tableState({"dk_checkouts"}, kRightsFormat, function);
    if (current || readOnly_) return tables;
    // One transaction: the tables, the administrators group of every user there is, the format.
    PWriteScope scope(*this, function);
    exec(db_, kRightsTablesSql, kSource, function);
    scope.commit();
    return true;
}

void DKDatastoreSQLITE::startSession(const char* userId, bool tables, const char* function) {
    auto session = std::make_shared<PSession>();
    session->tables = tables;
    session->user = userId;
    session_ = session;
    session_->dataVersion = -1;
    PStmt s = prepare(db_, "SELECT hash FROM dk_users WHERE name = ?1", kSource, function);
    sqlite3_bind_text(s.get(), 1, userId, -1, SQLITE_TRANSIENT);
    if (sqlite3_step(s.get()) == SQLITE_ROW) session_->hash = blobColumn(s.get(), 0);
    reloadSession(function);
}

void DKDatastoreSQLITE::checkSession(const char* function) {
    PSession& s = *session_;
    if (s.ended) dkThrow<DKLogonFailure>(kMsgSessionEnded, kSource, function, DKString(s.user.c_str()));
    if (checkingSession_) return;
    checkingSession_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{checkingSession_};
    sqlite3_stmt* v = cached("PRAGMA data_version", function);
    const long version = stepCount(db_, v, kSource, function, "reading the data version");
    if (version == s.dataVersion) return;
    reloadSession(function);
    s.dataVersion = version;
}

void DKDatastoreSQLITE::reloadSession(const char* function) {
    PSession& s = *session_;
    {
        sqlite3_stmt* h = cached("SELECT hash FROM dk_users WHERE name = ?1", function);
        PResetOnExit r{h};
        bindText(h, 1, s.user);
        const int rc = sqlite3_step(h);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) throwSqlite(db_, rc, kSource, function, "reading the users");
        if (rc != SQLITE_ROW || blobColumn(h, 0) != s.hash) {
            s.ended = true;
            dkThrow<DKLogonFailure>(kMsgSessionEnded, kSource, function, DKString(s.user.c_str()));
        }
    }
    if (!s.tables) return;
    std::string version;
    {
        sqlite3_stmt* r = cached("SELECT value FROM dk_repository WHERE key = 'rights_version'", function);
        PResetOnExit reset{r};
        if (sqlite3_step(r) == SQLITE_ROW) version = textColumn(r, 0);
    }
    if (version == s.rightsVersion) return;
    s.rightsVersion = version;
    sqlite3_stmt* a = cached("SELECT count(*) FROM dk_group_members m JOIN dk_groups g ON g.name = m.grp"
                             " WHERE g.admin <> 0 AND m.usr = ?1",
                             function);
    PResetOnExit reset{a};
    bindText(a, 1, s.user);
    s.admin = stepCount(db_, a, kSource, function, "reading the administrators") != 0;
    s.acls.clear();
    s.everywhereKnown = false;
    s.viewsStale = true;
}

void DKDatastoreSQLITE::rightsChanged(const char* function) {
    exec(db_, "UPDATE dk_repository SET value = CAST(value AS INTEGER) + 1 WHERE key = 'rights_version'", kSource,
         function);
    session_->dataVersion = -1;   // this connection's own commits leave data_version as it is
}

void DKDatastoreSQLITE::changePassword(const char* user, const char* oldPassword, const char* newPassword,
                                       const char* function) {
    db(function);
    if (user == nullptr || *user == '\0') dkThrow<DKUsageError>(kMsgBadPrincipal, kSource, function, DKString("(null)"));
    if (newPassword == nullptr) dkThrow<DKUsageError>(kMsgBadPrincipal, kSource, function, DKString("no new password"));
    PWriteScope scope(*this, function);
    const bool self = session_->user == user;
    if (self || !session_->admin) {
        // The same check as a connect: an unknown user and a wrong password answer alike.
        checkUser(user, oldPassword);
    } else {
        PStmt s = prepare(db_, "SELECT count(*) FROM dk_users WHERE name = ?1", kSource, function);
        sqlite3_bind_text(s.get(), 1, user, -1, SQLITE_TRANSIENT);
        if (stepCount(db_, s.get(), kSource, function, "reading the users") == 0)
            dkThrow<DKDataObjectNotFound>(kMsgNoPrincipal, kSource, function, DKString(user));
    }
    const PPasswordHash h = hashPassword(newPassword, settings_.pbkdf2Iterations);
    PStmt s = prepare(db_, "UPDATE dk_users SET salt = ?2, hash = ?3, iterations = ?4 WHERE name = ?1", kSource, function);
    sqlite3_bind_text(s.get(), 1, user, -1, SQLITE_TRANSIENT);
    sqlite3_bind_blob(s.get(), 2, h.salt.data(), static_cast<int>(h.salt.size()), SQLITE_TRANSIENT);
    sqlite3_bind_blob(s.get(), 3, h.hash.data(), static_cast<int>(h.hash.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(s.get(), 4, h.iterations);
    stepDone(db_, s.get(), kSource, function, "changing the password");
    if (session_->tables) rightsChanged(function);
    scope.commit();
    if (self) session_->hash = h.hash;   // this connection goes on; the user's others end
}

dkExtension* DKDatastoreSQLITE::adminExtension(const char* function) {
    db(function);
    if (!admin_) admin_ = newAdminExtension();
    return admin_.get();
}

std::shared_ptr<dkExtension> DKDatastoreSQLITE::newAdminExtension() { return std::make_shared<PAdmin>(this); }

// ---------------------------------------------------------------------------------------------
// Rights on items

std::string DKDatastoreSQLITE::itemACL(const PItemRef& item, const char* function) {
    if (item.second <= 0) return DKAdminSQLITE::kDefaultACL;
    sqlite3_stmt* s = cached("SELECT acl FROM dk_item_acls WHERE entity = ?1 AND item = ?2", function);
    PResetOnExit r{s};
    bindText(s, 1, item.first);
    sqlite3_bind_int64(s, 2, item.second);
    const int rc = sqlite3_step(s);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) throwSqlite(db_, rc, kSource, function, "reading the item's ACL");
    return rc == SQLITE_ROW ? textColumn(s, 0) : std::string(DKAdminSQLITE::kDefaultACL);
}

PRightsRow DKDatastoreSQLITE::rightsOn(const PItemRef& item, const char* function) {
    if (!session_->tables || session_->admin) {
        PRightsRow row;
        row.fill(2);
        return row;
    }
    return aclRights(itemACL(item, function), function);
}

PRightsRow DKDatastoreSQLITE::aclRights(const std::string& acl, const char* function) {
    auto it = session_->acls.find(acl);
    if (it != session_->acls.end()) return it->second;
    PRightsRow row;
    row.fill(0);
    sqlite3_stmt* s = cached("SELECT p.privileges FROM dk_acl_entries e JOIN dk_privilege_sets p ON p.name = e.privset"
                             " WHERE e.acl = ?1 AND (e.principal = ?2 OR e.principal IN"
                             " (SELECT grp FROM dk_group_members WHERE usr = ?2))",
                             function);
    PResetOnExit r{s};
    bindText(s, 1, acl);
    bindText(s, 2, session_->user);
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        PRightsRow set;
        if (!parsePrivilegeText(textColumn(s, 0), set)) continue;   // written only through definePrivilegeSet
        for (std::size_t i = 0; i < row.size(); ++i) row[i] = std::max(row[i], set[i]);
    }
    if (rc != SQLITE_DONE) throwSqlite(db_, rc, kSource, function, "reading the rights");
    session_->acls.emplace(acl, row);
    return row;
}

DKCommonPrivilege* DKDatastoreSQLITE::commonPrivilege(dkDataObject* item, const char* function) {
    db(function);
    const PRightsRow row = rightsOn(item ? storedItem(item, function) : PItemRef(), function);
    auto privilege = std::make_unique<DKCommonPrivilege>();
    for (std::size_t i = 0; i < row.size(); ++i) privilege->setAuthorization(kPrivilegeIds[i], row[i]);
    return privilege.release();
}

// A privilege every ACL grants holds on every item, whichever ACL it has: no item need be looked up.
const PRightsRow& DKDatastoreSQLITE::everywhere(const char* function) {
    PSession& s = *session_;
    if (s.everywhereKnown) return s.everywhere;
    if (!s.tables || s.admin) {
        s.everywhere.fill(2);
    } else {
        s.everywhere.fill(2);
        sqlite3_stmt* a = cached("SELECT name FROM dk_acls", function);
        std::vector<std::string> acls;
        {
            PResetOnExit r{a};
            while (sqlite3_step(a) == SQLITE_ROW) acls.push_back(textColumn(a, 0));
        }
        for (const std::string& acl : acls) {
            const PRightsRow row = aclRights(acl, function);
            for (std::size_t i = 0; i < row.size(); ++i) s.everywhere[i] = std::min(s.everywhere[i], row[i]);
        }
    }
    s.everywhereKnown = true;
    return s.everywhere;
}

void DKDatastoreSQLITE::requirePrivilege(const PItemRef& item, long privilege, const char* function) {
    const auto index = static_cast<std::size_t>(privilegeIndex(privilege));
    if (everywhere(function)[index] > 0 || rightsOn(item, function)[index] > 0) return;
    dkThrow<DKDatastoreAccessError>(kMsgNotAuthorized, kSource, function,
                                    DKString(session_->user.c_str()) + ": " +
                                        kPrivilegeNames[static_cast<std::size_t>(privilegeIndex(privilege))] + " on " +
                                        (item.second > 0 ? (item.first + " " + std::to_string(item.second)).c_str()
                                                         : "a new item"));
}

std::string DKDatastoreSQLITE::newItemACL(const DKDDOBase& ddo, const std::string& entity, const char* function) {
    const unsigned short id = ddo.propertyId(DKAdminSQLITE::kACLProperty);
    const DKAny named = id != 0 ? ddo.getProperty(id) : DKAny();
    const std::string acl = named.typeCode() == DKAny::tc_string ? static_cast<DKString>(named).str() : std::string();
    if (acl.empty() || acl == DKAdminSQLITE::kDefaultACL) {
        requirePrivilege({entity, 0}, DKAdminSQLITE::kAdd, function);
        return std::string();
    }
    bool known = false;
    if (session_->tables) {
        sqlite3_stmt* s = cached("SELECT 1 FROM dk_acls WHERE name = ?1", function);
        PResetOnExit r{s};
        bindText(s, 1, acl);
        known = sqlite3_step(s) == SQLITE_ROW;
    }
    if (!known) dkThrow<DKDataObjectNotFound>(kMsgNoACL, kSource, function, DKString(acl.c_str()));
    const auto add = static_cast<std::size_t>(privilegeIndex(DKAdminSQLITE::kAdd));
    if (!session_->admin && aclRights(acl, function)[add] == 0)
        dkThrow<DKDatastoreAccessError>(kMsgNotAuthorized, kSource, function,
                                        DKString(session_->user.c_str()) + ": add under the ACL " + acl.c_str());
    return acl;
}

// ---------------------------------------------------------------------------------------------
// Check-out

namespace {
std::string holderOf(sqlite3* db, sqlite3_stmt* s, const std::pair<std::string, long>& item,
                     const char* function) {
    PResetOnExit r{s};
    bindText(s, 1, item.first);
    sqlite3_bind_int64(s, 2, item.second);
    const int rc = sqlite3_step(s);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) throwSqlite(db, rc, kSource, function, "reading the check-outs");
    return rc == SQLITE_ROW ? textColumn(s, 0) : std::string();
}
}  // namespace

std::string DKDatastoreSQLITE::checkedOutBy(dkDataObject* object, const char* function) {
    db(function);
    const std::pair<std::string, long> item = storedItem(object, function);
    if (!session_->tables) return std::string();
    requirePrivilege(item, DKAdminSQLITE::kRead, function);
    return holderOf(db_, cached("SELECT usr FROM dk_checkouts WHERE entity = ?1 AND item = ?2", function), item,
                    function);
}

void DKDatastoreSQLITE::requireHolder(const std::pair<std::string, long>& item, const char* function) {
    if (!session_ || !session_->tables) return;
    const std::string holder =
        holderOf(db_, cached("SELECT usr FROM dk_checkouts WHERE entity = ?1 AND item = ?2", function), item, function);
    if (!holder.empty() && holder != session_->user)
        dkThrow<DKNotCheckedOutException>(kMsgCheckedOut, kSource, function,
                                          DKString((item.first + " " + std::to_string(item.second) + " by ").c_str()) +
                                              holder.c_str());
}

void DKDatastoreSQLITE::checkOut(dkDataObject* object, PCheckOut what, const char* function) {
    writable(function);
    const std::pair<std::string, long> item = storedItem(object, function);
    if (!session_->tables) dkThrow<DKDatastoreError>(kMsgReadOnly, kSource, function, DKString(path_.c_str()));
    requirePrivilege(item, what == PCheckOut::kUnlock ? DKAdminSQLITE::kRead : DKAdminSQLITE::kUpdate, function);
    PWriteScope scope(*this, function);
    const std::string holder =
        holderOf(db_, cached("SELECT usr FROM dk_checkouts WHERE entity = ?1 AND item = ?2", function), item, function);
    const std::string name = item.first + " " + std::to_string(item.second);
    if (what == PCheckOut::kOut) {
        requireHolder(item, function);
        if (!holder.empty()) return;   // checked out by this user already
    } else {
        if (holder.empty()) dkThrow<DKNotCheckedOutException>(kMsgNotCheckedOut, kSource, function, DKString(name.c_str()));
        if (what == PCheckOut::kIn) requireHolder(item, function);
        if (holder != session_->user && !session_->admin)
            dkThrow<DKDatastoreAccessError>(kMsgNotAdmin, kSource, function,
                                            DKString((name + " is checked out by " + holder).c_str()));
    }
    sqlite3_stmt* s = cached(what == PCheckOut::kOut ? "INSERT INTO dk_checkouts VALUES (?1, ?2, ?3)"
                                                     : "DELETE FROM dk_checkouts WHERE entity = ?1 AND item = ?2",
                             function);
    PResetOnExit r{s};
    bindText(s, 1, item.first);
    sqlite3_bind_int64(s, 2, item.second);
    if (what == PCheckOut::kOut) bindText(s, 3, session_->user);
    stepDone(db_, s, kSource, function, "recording the check-out");
    scope.commit();
}

// ---------------------------------------------------------------------------------------------
// What the item operations ask

void DKDatastoreSQLITE::requireChange(const PItemRef& item, long privilege, const char* function) {
    requirePrivilege(item, privilege, function);
    if (item.second > 0) requireHolder(item, function);
}

bool DKDatastoreSQLITE::readable(const PItemRef& item, const char* function) {
    return everywhere(function)[0] > 0 || rightsOn(item, function)[0] > 0;
}

void DKDatastoreSQLITE::dropRights(const std::string& entity, long rowId, const char* function) {
    if (!session_ || !session_->tables) return;
    for (const char* sql : {"DELETE FROM dk_item_acls WHERE entity = ?1 AND (?2 = 0 OR item = ?2)",
                            "DELETE FROM dk_checkouts WHERE entity = ?1 AND (?2 = 0 OR item = ?2)"}) {
        sqlite3_stmt* s = cached(sql, function);
        PResetOnExit r{s};
        bindText(s, 1, entity);
        sqlite3_bind_int64(s, 2, rowId);
        stepDone(db_, s, kSource, function, "dropping the item's rights");
    }
}

void DKDatastoreSQLITE::requireAdmin(const char* function) {
    if (session_ && !session_->admin)
        dkThrow<DKDatastoreAccessError>(kMsgNotAdmin, kSource, function, DKString(session_->user.c_str()));
}

namespace {
std::string literal(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}
}  // namespace

// A restricted user's queries name the entity tables and meet views of the same names in the
// connection's temp schema, which SQLite searches first: each shows the rows whose ACL grants
// read. The readable ACLs are written into the view as literals; which ACL an item has is read
// from dk_item_acls as the query runs, so a changed item ACL needs no new views.
void DKDatastoreSQLITE::refreshViews(const char* function) {
    if (!session_ || !session_->viewsStale) return;
    loadEntities(function);
    std::string sql;
    for (const std::string& name : session_->views) sql += "DROP VIEW IF EXISTS temp." + quoteIdent(name) + ";";
    std::vector<std::string> views;
    if (session_->tables && !session_->admin) {
        // The view names the ACLs on the smaller side: with the default readable, those denying
        // read (few, and found through the index on acl), else those granting it.
        std::string readableAcls, deniedAcls;
        bool defaultReadable = false;
        sqlite3_stmt* a = cached("SELECT name FROM dk_acls", function);
        std::vector<std::string> acls;
        {
            PResetOnExit r{a};
            while (sqlite3_step(a) == SQLITE_ROW) acls.push_back(textColumn(a, 0));
        }
        for (const std::string& acl : acls) {
            std::string& list = aclRights(acl, function)[0] == 0 ? deniedAcls : readableAcls;
            list += (list.empty() ? "" : ", ") + literal(acl);
            if (&list == &deniedAcls) continue;
            defaultReadable = defaultReadable || acl == DKAdminSQLITE::kDefaultACL;
        }
        const bool all = everywhere(function)[0] > 0;   // no row need be left out
        for (const auto& [key, e] : entities_) {
            if (all) {
                sql += "CREATE TEMP VIEW " + quoteIdent(e->name) + " AS SELECT * FROM main." + quoteIdent(e->name) + ";";
                views.push_back(e->name);
                continue;
            }
            const std::string named = "SELECT item FROM main.dk_item_acls WHERE entity = " + literal(e->name) + " AND acl ";
            sql += "CREATE TEMP VIEW " + quoteIdent(e->name) + " AS SELECT * FROM main." + quoteIdent(e->name) + " WHERE " +
                   kIdColumn + (defaultReadable ? " NOT IN (" + named + "IN (" + deniedAcls : " IN (" + named + "IN (" + readableAcls) +
                   "));";
            views.push_back(e->name);
        }
    }
    if (!sql.empty()) {
        // A read-only connection keeps SQLite from writing anything but its own temp schema.
        if (readOnly_) exec(db_, "PRAGMA query_only=0", kSource, function);
        try {
            exec(db_, sql.c_str(), kSource, function);
        } catch (...) {
            if (readOnly_) sqlite3_exec(db_, "PRAGMA query_only=1", nullptr, nullptr, nullptr);
            throw;
        }
        if (readOnly_) exec(db_, "PRAGMA query_only=1", kSource, function);
    }
    session_->views = std::move(views);
    session_->viewsStale = false;
}

bool dksqlite::namesSchema(const char* sql) {
    // Scans tokens outside strings and comments for main or temp (bare or quoted) before a dot.
    const char* p = sql;
    auto skipSpace = [](const char* q) {
        for (;;) {
            while (*q && std::isspace(static_cast<unsigned char>(*q))) ++q;
            if (q[0] == '-' && q[1] == '-') {
                while (*q && *q != '\n') ++q;
            } else if (q[0] == '/' && q[1] == '*') {
                const char* end = std::strstr(q + 2, "*/");
                q = end ? end + 2 : q + std::strlen(q);
            } else {
                return q;
            }
        }
    };
    while (*p) {
        p = skipSpace(p);
        if (!*p) break;
        std::string word;
        if (*p == '\'') {
            for (++p; *p && !(*p == '\'' && p[1] != '\''); p += (*p == '\'' ? 2 : 1)) {}
            if (*p) ++p;
            continue;
        }
        if (*p == '"' || *p == '`' || *p == '[') {
            const char close = *p == '[' ? ']' : *p;
            for (++p; *p && !(*p == close && p[1] != close); p += (*p == close ? 2 : 1)) word += *p;
            if (*p) ++p;
        } else if (std::isalnum(static_cast<unsigned char>(*p)) || *p == '_' || static_cast<unsigned char>(*p) >= 0x80) {
            while (std::isalnum(static_cast<unsigned char>(*p)) || *p == '_' || *p == '$' ||
                   static_cast<unsigned char>(*p) >= 0x80)
                word += *p++;
        } else {
            ++p;
            continue;
        }
        const std::string lower = lowerName(word.c_str());
        if ((lower == "main" || lower == "temp") && *skipSpace(p) == '.') return true;
    }
    return false;
}
