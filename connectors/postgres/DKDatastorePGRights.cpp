// connectors/postgres/DKDatastorePGRights.cpp
//
// Users of a PostgreSQL repository as server roles. Each repository has three roles of its own,
// named after its database's oid: dk_<oid>_users (every user is a member), dk_<oid>_admins (its
// administrators) and dk_<oid>_owner, which holds CREATEROLE and owns the one function that makes,
// changes and drops users. The function runs with its owner's rights (SECURITY DEFINER, a fixed
// search_path), checks who calls it and touches only members of the users role, so no user ever
// needs CREATEROLE, which on this server would let it alter every role that is not a superuser.
// Passwords reach the server only as SCRAM verifiers made on the client.

#include "DKAdminPG.hpp"
#include "DKDatastorePG.hpp"
#include "PPgAcls.hpp"
#include "PPgStatement.hpp"

#include <dk/DKException.hpp>
#include <dk/PRepositoryManagers.hpp>
#include <dk/dkThrow.hpp>

#include <libpq-fe.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace dkpg;

namespace {

constexpr const char* kSource = "connectors/postgres/DKAdminPG";

// The function's own refusals carry SQLSTATEs of class DK; each becomes the library's exception.
struct PRefusal {
    const char* state;
    long msg;
    enum { access, notFound, exists, usage } kind;
};
constexpr PRefusal kRefusals[] = {{"DK091", kMsgNotAdmin, PRefusal::access},
                                  {"DK092", kMsgNoPrincipal, PRefusal::notFound},
                                  {"DK093", kMsgNameTaken, PRefusal::exists},
                                  {"DK094", kMsgLastAdmin, PRefusal::access},
                                  {"DK095", kMsgBadPrincipal, PRefusal::usage}};

// The function that changes users and groups. %1$s is the users role, %2$s the administrators
// role, %3$s the roles' prefix (all made by this file, plain identifiers). A group is a role named
// after its row in dk_groups; the group "administrators" is the administrators role. Names are
// checked again here, for callers that reach the function by SQL, and reach the server's commands
// only through format's %I and %L. For add and password, arg is the password's verifier; for
// join and leave, the user.
constexpr const char* kUserFunction = R"sql(
CREATE FUNCTION public.dk_change_user(op text, target text, arg text) RETURNS void
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $f$
DECLARE
    member_oid oid;
    group_role text;
    admins_left bigint;
BEGIN
    IF target IS NULL OR target !~ '^[A-Za-z0-9._@-]{1,63}$' OR lower(target) ~ '^(pg_|dk_)'
       OR (op IN ('join', 'leave') AND (arg IS NULL OR arg !~ '^[A-Za-z0-9._@-]{1,63}$')) THEN
        RAISE EXCEPTION USING ERRCODE = 'DK095', MESSAGE = 'not a user or group name';
    END IF;
    IF NOT (op = 'password' AND target = session_user) AND NOT pg_has_role(session_user, '%2$s', 'MEMBER') THEN
        RAISE EXCEPTION USING ERRCODE = 'DK091', MESSAGE = 'not an administrator';
    END IF;
    IF op IN ('add', 'password') AND (arg IS NULL OR arg NOT LIKE 'SCRAM-SHA-256$%%') THEN
        RAISE EXCEPTION USING ERRCODE = 'DK095', MESSAGE = 'a password reaches the server as a verifier only';
    END IF;
    group_role := CASE WHEN target = 'administrators' THEN '%2$s'
                       ELSE (SELECT '%3$s_g' || id FROM public.dk_groups WHERE name = target) END;
    SELECT r.oid INTO member_oid FROM pg_auth_members m JOIN pg_roles r ON r.oid = m.member
        WHERE m.roleid = '%1$s'::regrole AND r.rolname = CASE WHEN op IN ('join', 'leave') THEN arg ELSE target END
        AND r.rolcanlogin;
    IF op IN ('add', 'group') THEN
        IF group_role IS NOT NULL OR EXISTS (SELECT 1 FROM pg_roles WHERE rolname = target) THEN
            RAISE EXCEPTION USING ERRCODE = 'DK093', MESSAGE = 'the name is taken';
        END IF;
        IF op = 'add' THEN
            EXECUTE format('CREATE ROLE %%I LOGIN NOSUPERUSER NOCREATEDB NOCREATEROLE NOREPLICATION NOBYPASSRLS '
                           'PASSWORD %%L IN ROLE %%I', target, arg, '%1$s');
        ELSE
            INSERT INTO public.dk_groups(name) VALUES (target) RETURNING '%3$s_g' || id INTO group_role;
            EXECUTE format('CREATE ROLE %%I NOLOGIN', group_role);
        END IF;
        RETURN;
    END IF;
    IF (op IN ('delete', 'password') AND member_oid IS NULL) OR (op IN ('ungroup', 'join', 'leave') AND group_role IS NULL)
       OR (op IN ('join', 'leave') AND member_oid IS NULL) THEN
        RAISE EXCEPTION USING ERRCODE = 'DK092', MESSAGE = 'no such user or group';
    END IF;
    SELECT count(*) INTO admins_left FROM pg_auth_members m JOIN pg_roles r ON r.oid = m.member
        WHERE m.roleid = '%2$s'::regrole AND r.rolcanlogin AND r.oid <> member_oid;
    IF (op = 'delete' OR (op = 'leave' AND target = 'administrators')) AND admins_left = 0
       AND pg_has_role(member_oid, '%2$s', 'MEMBER') OR (op = 'ungroup' AND target = 'administrators') THEN
        RAISE EXCEPTION USING ERRCODE = 'DK094', MESSAGE = 'the repository keeps an administrator';
    END IF;
    IF op = 'delete' THEN
        EXECUTE format('DROP ROLE %%I', target);
    ELSIF op = 'password' THEN
        EXECUTE format('ALTER ROLE %%I PASSWORD %%L', target, arg);
    ELSIF op = 'ungroup' THEN
        DELETE FROM public.dk_groups WHERE name = target;
        EXECUTE format('DROP ROLE %%I', group_role);
        RETURN;
    ELSIF op = 'join' THEN
        EXECUTE format('GRANT %%I TO %%I', group_role, arg);
        RETURN;
    ELSIF op = 'leave' THEN
        IF NOT EXISTS (SELECT 1 FROM pg_auth_members WHERE roleid = group_role::regrole AND member = member_oid) THEN
            RAISE EXCEPTION USING ERRCODE = 'DK092', MESSAGE = 'not a member';
        END IF;
        EXECUTE format('REVOKE %%I FROM %%I', group_role, arg);
        RETURN;
    ELSE
        RAISE EXCEPTION USING ERRCODE = 'DK095', MESSAGE = 'unknown operation';
    END IF;
    -- The user's other sessions end: a dropped user or an old password logs on no more.
    PERFORM pg_terminate_backend(pid) FROM pg_stat_activity WHERE usesysid = member_oid AND pid <> pg_backend_pid();
END
$f$)sql";

}  // namespace

// The administration extension of one datastore: users and groups as server roles; privilege
// sets, privilege groups and ACLs in the repository's tables (PAclsPG). Owned by the datastore;
// its thread only.
class PRightsPG : public DKAdminPG {
public:
    explicit PRightsPG(DKDatastorePG& ds) : ds_(ds), acls_(ds) { setName(kName); }

    void addUser(const char* user, const char* password) override {
        static const char* const fn = "DKAdminPG::addUser";
        checkName(user, fn);
        if (password == nullptr || *password == '\0')
            dkThrow<DKUsageError>(kMsgBadPrincipal, kSource, fn, DKString("an empty password"));
        change(fn, "add", user, verifier(user, password, fn));
    }
    void deleteUser(const char* user) override {
        static const char* const fn = "DKAdminPG::deleteUser";
        checkName(user, fn);
        change(fn, "delete", user, "");
    }
    DKString* listUsers(long& count) override {
        static const char* const fn = "DKAdminPG::listUsers";
        return names(members(fn, rolePrefix(fn) + "_users"), count);
    }
    void changePassword(const char* user, const char* oldPassword, const char* newPassword) override {
        static const char* const fn = "DKAdminPG::changePassword";
        checkName(user, fn);
        if (newPassword == nullptr || *newPassword == '\0')
            dkThrow<DKUsageError>(kMsgBadPrincipal, kSource, fn, DKString("an empty password"));
        pg_conn* c = ds_.conn(fn);
        // An administrator changes another user's password without the old one; everyone else
        // proves the old one to the server by logging on with it.
        if (std::strcmp(user, PQuser(c)) == 0 || isAdminUser(PQuser(c)) == 0) checkOld(c, user, oldPassword, fn);
        change(fn, "password", user, verifier(user, newPassword, fn));
    }
    int isAdminUser(const char* user) override {
        static const char* const fn = "DKAdminPG::isAdminUser";
        if (user == nullptr) return 0;
        const std::vector<std::string> v = members(fn, rolePrefix(fn) + "_admins");
        return std::find(v.begin(), v.end(), user) != v.end() ? 1 : 0;
    }

    void addGroup(const char* group) override { changeGroup("DKAdminPG::addGroup", "group", group, nullptr); }
    void deleteGroup(const char* group) override { changeGroup("DKAdminPG::deleteGroup", "ungroup", group, nullptr); }
    void addGroupMember(const char* group, const char* user) override {
        changeGroup("DKAdminPG::addGroupMember", "join", group, user);
    }
    void removeGroupMember(const char* group, const char* user) override {
        changeGroup("DKAdminPG::removeGroupMember", "leave", group, user);
    }
    // The administrators first, then the others in the order they were made.
    DKString* listGroups(long& count) override {
        static const char* const fn = "DKAdminPG::listGroups";
        rolePrefix(fn);
        std::vector<std::string> v = column(fn, "SELECT name FROM public.dk_groups ORDER BY id", std::string());
        v.insert(v.begin(), kAdminGroup);
        return names(v, count);
    }
    // In the order the members were made (the server keeps no order of joining).
    DKString* listGroupMembers(const char* group, long& count) override {
        static const char* const fn = "DKAdminPG::listGroupMembers";
        checkName(group, fn);
        const std::string prefix = rolePrefix(fn);
        const std::vector<std::string> role =
            std::strcmp(group, kAdminGroup) == 0
                ? std::vector<std::string>{prefix + "_admins"}
                : column(fn, "SELECT $1 || '_g' || id FROM public.dk_groups WHERE name = $2", prefix, group);
        if (role.empty()) dkThrow<DKDataObjectNotFound>(kMsgNoPrincipal, kSource, fn, DKString(group));
        return names(members(fn, role.front()), count);
    }
    void definePrivilegeSet(const char* name, const char* text) override {
        acls_.define(true, name, text, "DKAdminPG::definePrivilegeSet");
    }
    void deletePrivilegeSet(const char* name) override { acls_.remove(true, name, "DKAdminPG::deletePrivilegeSet"); }
    DKString* listPrivilegeSets(long& n) override { return acls_.list(true, n, "DKAdminPG::listPrivilegeSets"); }
    void definePrivilegeGroup(const char* name, const char* text) override {
        acls_.define(false, name, text, "DKAdminPG::definePrivilegeGroup");
    }
    void deletePrivilegeGroup(const char* name) override { acls_.remove(false, name, "DKAdminPG::deletePrivilegeGroup"); }
    DKString* listPrivilegeGroups(long& n) override { return acls_.list(false, n, "DKAdminPG::listPrivilegeGroups"); }
    void createACL(const char* acl) override { acls_.createACL(acl, "DKAdminPG::createACL"); }
    void deleteACL(const char* acl) override { acls_.deleteACL(acl, "DKAdminPG::deleteACL"); }
    void setACLEntry(const char* acl, const char* principal, const char* set) override {
        acls_.setEntry(acl, principal, set, "DKAdminPG::setACLEntry");
    }
    DKString* listACLs(long& n) override { return acls_.listACLs(n, "DKAdminPG::listACLs"); }
    DKString* listACLEntries(const char* acl, long& n) override { return acls_.listEntries(acl, n, "DKAdminPG::listACLEntries"); }
    void setItemACL(dkDataObject* item, const char* acl) override { acls_.setItemACL(item, acl, "DKAdminPG::setItemACL"); }
    DKString itemACL(dkDataObject* item) override { return acls_.itemACL(item, "DKAdminPG::itemACL").c_str(); }
    short privilege(dkDataObject* item, long id) override { return acls_.privilege(item, id, "DKAdminPG::privilege"); }

private:
    void changeGroup(const char* fn, const char* op, const char* group, const char* user) {
        checkName(group, fn);
        if (user != nullptr) checkName(user, fn);
        change(fn, op, group, user ? user : "");
    }

    // Letters, digits and "._-@", 1 to 63 bytes (the server's longest name), never the server's
    // pg_ names nor the repository's own dk_ roles; checked before anything reaches SQL.
    static void checkName(const char* name, const char* fn) {
        const std::size_t n = name ? std::strlen(name) : 0;
        bool ok = n >= 1 && n <= 63 && std::strncmp(name, "pg_", 3) != 0 && std::strncmp(name, "dk_", 3) != 0;
        for (std::size_t i = 0; ok && i < n; ++i) {
            const unsigned char ch = static_cast<unsigned char>(name[i]);
            ok = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || std::strchr("._-@", ch);
        }
        if (!ok) dkThrow<DKUsageError>(kMsgBadPrincipal, kSource, fn, DKString(name ? name : "(null)"));
    }

    // The SCRAM verifier of password for user, made here so the password itself never travels.
    std::string verifier(const char* user, const char* password, const char* fn) {
        pg_conn* c = ds_.conn(fn);
        std::unique_ptr<char, void (*)(void*)> v(PQencryptPasswordConn(c, password, user, "scram-sha-256"), PQfreemem);
        if (!v) throwPg(c, nullptr, kSource, fn, DKString("making a password verifier"));
        return v.get();
    }

    // Logs on with user's old password to the server and database of c, the way connect does.
    void checkOld(pg_conn* c, const char* user, const char* oldPassword, const char* fn) {
        if (oldPassword != nullptr && *oldPassword != '\0') {
            const char* keys[] = {"host", "port", "dbname", "user", "password", "passfile", "connect_timeout", nullptr};
            const char* values[] = {PQhost(c), PQport(c), PQdb(c), user, oldPassword, "/dev/null", "10", nullptr};
            std::unique_ptr<pg_conn, void (*)(pg_conn*)> probe(PQconnectdbParams(keys, values, 0), PQfinish);
            if (probe && PQstatus(probe.get()) == CONNECTION_OK && PQconnectionUsedPassword(probe.get())) return;
        }
        dkThrowServer<DKLogonFailure>(kMsgWrongPassword, kSource, fn, DKString(user), "28P01", 0);
    }

    // dk_<oid> of the repository's roles; refused while the repository has none.
    std::string rolePrefix(const char* fn) {
        const std::vector<std::string> v =
            column(fn, "SELECT value FROM public.dk_repository WHERE key = 'role_prefix'", std::string(), nullptr);
        if (v.empty()) dkThrow<DKDatastoreError>(kMsgNoUsers, kSource, fn, DKString(ds_.repositoryName().c_str()));
        return v.front();
    }
    // The users among the members of role, in the order they were made.
    std::vector<std::string> members(const char* fn, const std::string& role) {
        return column(fn,
                      "SELECT r.rolname FROM pg_auth_members m JOIN pg_roles r ON r.oid = m.member "
                      "WHERE m.roleid = $1::regrole AND r.rolcanlogin ORDER BY r.oid",
                      role);
    }
    static DKString* names(const std::vector<std::string>& v, long& count) {
        return PNameArray(v.size(), count, [&](std::size_t i) { return DKString(v[i].c_str()); });
    }

    // The first column of sql's rows, with up to two text parameters ($1, $2; a null second is none).
    std::vector<std::string> column(const char* fn, const char* sql, const std::string& p1, const char* p2 = nullptr) {
        pg_conn* c = ds_.conn(fn);
        const char* values[] = {p1.c_str(), p2};
        const int n = p1.empty() ? 0 : (p2 ? 2 : 1);
        PResult r(PQexecParams(c, sql, n, nullptr, values, nullptr, nullptr, 0), PQclear);
        if (PQresultStatus(r.get()) != PGRES_TUPLES_OK) throwPg(c, r.get(), kSource, fn, DKString("reading the users"));
        std::vector<std::string> out;
        for (int i = 0; i < PQntuples(r.get()); ++i) out.emplace_back(PQgetvalue(r.get(), i, 0));
        return out;
    }

    // One call of the repository's function in a unit of its own; its refusals become the
    // library's exceptions.
    void change(const char* fn, const char* op, const char* user, const std::string& verifier) {
        rolePrefix(fn);
        DKDatastorePG::PTransaction unit(ds_, fn);
        pg_conn* c = ds_.conn(fn);
        const char* values[] = {op, user, verifier.c_str()};
        PResult r(PQexecParams(c, "SELECT public.dk_change_user($1, $2, $3)", 3, nullptr, values, nullptr, nullptr, 0),
                  PQclear);
        if (PQresultStatus(r.get()) != PGRES_TUPLES_OK) {
            const char* state = PQresultErrorField(r.get(), PG_DIAG_SQLSTATE);
            for (const PRefusal& f : kRefusals) {
                if (state == nullptr || std::strcmp(state, f.state) != 0) continue;
                const DKString detail(user);
                switch (f.kind) {
                    case PRefusal::access: dkThrow<DKDatastoreAccessError>(f.msg, kSource, fn, detail);
                    case PRefusal::notFound: dkThrow<DKDataObjectNotFound>(f.msg, kSource, fn, detail);
                    case PRefusal::exists: dkThrow<DKDataObjectAlreadyExists>(f.msg, kSource, fn, detail);
                    case PRefusal::usage: dkThrow<DKUsageError>(f.msg, kSource, fn, detail);
                }
            }
            throwPg(c, r.get(), kSource, fn, DKString("changing the user ") + user);
        }
        if (std::strcmp(op, "delete") == 0 || std::strcmp(op, "ungroup") == 0) PAclsPG::forget(c, user, fn);
        unit.commit();
    }

    DKDatastorePG& ds_;
    PAclsPG acls_;   // privilege sets, privilege groups and ACLs
};

dkExtension* DKDatastorePG::rightsExtension(const char* function) {
    conn(function);
    if (!rights_) rights_ = std::make_unique<PRightsPG>(*this);
    return rights_.get();
}

dkDatastoreAdmin* DKDatastorePG::datastoreAdminObject() {
    // The managers' own refusals, with this connector's numbers.
    static constexpr PManagerMessages kMessages{kSource,  kMsgBadPrivilege, kMsgBadPrincipal, kMsgNoPrincipal,
                                                kMsgNameTaken, kMsgNoSet,   kMsgNoGroup};
    if (!rights_) rights_ = std::make_unique<PRightsPG>(*this);
    if (!datastoreAdmin_) datastoreAdmin_ = PRepositoryManagers::create(this, *static_cast<PRightsPG*>(rights_.get()), kMessages, "PG");
    return datastoreAdmin_.get();
}

// Run by openCatalogue in its transaction. A repository made by a role without CREATEROLE (or
// before users were kept) gets its roles at the first connect of a role that has it; until then it
// has no users but its creator, and the administration refuses with kMsgNoUsers.
void DKDatastorePG::openRights(pg_conn* c, const char* fn) {
    PResult have = run(c,
                       "SELECT (SELECT value FROM public.dk_repository WHERE key = 'role_prefix'), "
                       "(SELECT rolcreaterole FROM pg_roles WHERE rolname = current_user), "
                       "(SELECT 'dk_' || oid FROM pg_database WHERE datname = current_database()), "
                       "(SELECT datdba = (SELECT oid FROM pg_roles WHERE rolname = current_user) FROM pg_database "
                       "WHERE datname = current_database())",
                       {}, kSource, fn, "reading the repository's roles");
    if (!PQgetisnull(have.get(), 0, 0)) {
        // A repository whose roles came before its rights tables gains them at a connect of a
        // member of its owner role.
        const std::string p = PQgetvalue(have.get(), 0, 0);
        PResult missing = run(c,
                              "SELECT to_regclass('public.dk_acls') IS NULL AND pg_has_role(current_user, $1, 'MEMBER')",
                              {p + "_owner"}, kSource, fn, "reading the repository's roles");
        if (std::string(PQgetvalue(missing.get(), 0, 0)) == "t")
            PAclsPG::makeTables(c, p + "_owner", p + "_users", p + "_admins", fn);
        else
            PAclsPG::protectShared(c, p + "_users", fn);   // a table made since, or before the policies were kept
        return;
    }
    if (std::string(PQgetvalue(have.get(), 0, 1)) != "t") return;
    const std::string prefix = PQgetvalue(have.get(), 0, 2);
    const std::string users = prefix + "_users", admins = prefix + "_admins", owner = prefix + "_owner";
    const bool databaseOwner = std::string(PQgetvalue(have.get(), 0, 3)) == "t";
    const char* const what = "making the repository's roles";
    // The creator is the first user and administrator; the owner role acts for the function.
    for (const std::string& sql : std::vector<std::string>{
             "CREATE ROLE " + users + " NOLOGIN", "CREATE ROLE " + admins + " NOLOGIN",
             "CREATE ROLE " + owner + " NOLOGIN CREATEROLE", "GRANT " + users + ", " + admins + " TO CURRENT_USER",
             "GRANT " + owner + " TO CURRENT_USER", "GRANT pg_signal_backend TO " + owner})
        run(c, sql.c_str(), {}, kSource, fn, what);
    // Groups other than the administrators, changed by the function alone.
    run(c, "CREATE TABLE public.dk_groups (id serial PRIMARY KEY, name text NOT NULL UNIQUE)", {}, kSource, fn, what);
    std::vector<char> body(std::strlen(kUserFunction) + 16 * admins.size());
    std::snprintf(body.data(), body.size(), kUserFunction, users.c_str(), admins.c_str(), prefix.c_str());
    run(c, body.data(), {}, kSource, fn, what);
    for (const std::string& sql : std::vector<std::string>{
             "GRANT CREATE ON SCHEMA public TO " + owner,   // an owner's functions live where it may create
             "ALTER FUNCTION public.dk_change_user(text, text, text) OWNER TO " + owner,
             "REVOKE ALL ON FUNCTION public.dk_change_user(text, text, text) FROM PUBLIC",
             "GRANT EXECUTE ON FUNCTION public.dk_change_user(text, text, text) TO " + users,
             "ALTER TABLE public.dk_groups OWNER TO " + owner,
             "GRANT SELECT ON public.dk_repository, public.dk_entities, public.dk_attrs, public.dk_groups TO " + users,
             // Entity tables made later by the creator are the users' to work on.
             "ALTER DEFAULT PRIVILEGES IN SCHEMA public GRANT SELECT, INSERT, UPDATE, DELETE ON TABLES TO " + users,
             "ALTER DEFAULT PRIVILEGES IN SCHEMA public GRANT USAGE, SELECT ON SEQUENCES TO " + users})
        run(c, sql.c_str(), {}, kSource, fn, what);
    // Only the repository's users may log on to its database.
    if (databaseOwner) {
        run(c, ("REVOKE CONNECT ON DATABASE " + quoteIdent(PQdb(c)) + " FROM PUBLIC").c_str(), {}, kSource, fn, what);
        run(c, ("GRANT CONNECT ON DATABASE " + quoteIdent(PQdb(c)) + " TO " + users).c_str(), {}, kSource, fn, what);
    }
    run(c, "INSERT INTO public.dk_repository VALUES ('role_prefix', $1)", {prefix}, kSource, fn, what);
    PAclsPG::makeTables(c, owner, users, admins, fn);
}
