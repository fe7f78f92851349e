// connectors/postgres/DKDatastorePGAcls.cpp
//
// Privilege sets, privilege groups, ACLs and the ACL of each item on a PostgreSQL repository,
// for the administration extension. The rules and refusals are the ones every connector keeps;
// the server's grants on the tables are the guard behind them.

#include "DKDatastorePG.hpp"
#include "PPgAcls.hpp"
#include "PPgStatement.hpp"
#include "PPgValues.hpp"

#include <dk/DKException.hpp>
#include <dk/PConnectorKit.hpp>
#include <dk/dkThrow.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace dkpg;

namespace {

constexpr const char* kSource = "connectors/postgres/DKAdminPG";

constexpr const char* kTables[] = {
    "CREATE TABLE public.dk_privilege_sets (id serial PRIMARY KEY, name text NOT NULL UNIQUE, privileges text NOT NULL)",
    "CREATE TABLE public.dk_privilege_groups (id serial PRIMARY KEY, name text NOT NULL UNIQUE, privileges text NOT NULL)",
    "CREATE TABLE public.dk_acls (id serial PRIMARY KEY, name text NOT NULL UNIQUE)",
    "CREATE TABLE public.dk_acl_entries (acl text NOT NULL REFERENCES public.dk_acls(name) ON DELETE CASCADE, "
    "principal text NOT NULL, privset text NOT NULL REFERENCES public.dk_privilege_sets(name), PRIMARY KEY (acl, principal))",
    "CREATE TABLE public.dk_item_acls (entity integer NOT NULL, item bigint NOT NULL, "
    "acl text NOT NULL REFERENCES public.dk_acls(name), PRIMARY KEY (entity, item), "
    "FOREIGN KEY (entity, item) REFERENCES public.dk_items ON DELETE CASCADE)",
    "CREATE INDEX dk_item_acls_acl ON public.dk_item_acls(acl)",
    // An item's check-out, held by a role; it goes with the item.
    "CREATE TABLE public.dk_checkouts (entity integer NOT NULL, item bigint NOT NULL, usr text NOT NULL, "
    "PRIMARY KEY (entity, item), FOREIGN KEY (entity, item) REFERENCES public.dk_items ON DELETE CASCADE)",
    "INSERT INTO public.dk_acls(name) VALUES ('default')",
    "INSERT INTO public.dk_privilege_sets(name, privileges) VALUES ('reader', 'read'), "
    "('editor', 'read,add,update,delete,membership'), ('owner', 'read=2,add=2,update=2,delete=2,membership=2')"};
constexpr const char* kTableNames =
    "public.dk_privilege_sets, public.dk_privilege_groups, public.dk_acls, public.dk_acl_entries, public.dk_item_acls, "
    "public.dk_checkouts";

const char* orNull(const char* s) { return s ? s : "(null)"; }

// Whether the session's user holds a privilege (its name) on an item (null: a new item, by the
// default ACL): an administrator always; anyone else through an entry of the item's ACL naming
// the user or a group whose role it is a member of. It runs as the owner role, so that every user
// reaches the rights tables through it alone, and asks for session_user, the role that logged on
// (current_user is the owner in here). %1$s is the administrators role, %2$s the roles' prefix.
constexpr const char* kItemHas = R"sql(
CREATE FUNCTION public.dk_item_has(entity integer, item bigint, privilege text) RETURNS boolean
LANGUAGE sql STABLE SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $f$
SELECT pg_has_role(session_user, '%1$s', 'MEMBER') OR EXISTS (
    SELECT 1 FROM public.dk_acl_entries e JOIN public.dk_privilege_sets s ON s.name = e.privset
    WHERE e.acl = coalesce((SELECT a.acl FROM public.dk_item_acls a WHERE a.entity = $1 AND a.item = $2), 'default')
      AND (e.principal = session_user OR EXISTS (SELECT 1 FROM public.dk_groups g WHERE g.name = e.principal
                                                 AND pg_has_role(session_user, '%2$s_g' || g.id, 'MEMBER')))
      AND EXISTS (SELECT 1 FROM unnest(string_to_array(s.privileges, ',')) p WHERE split_part(p, '=', 1) = $3))
$f$)sql";

// The rows of the membership and content tables follow the rights of the items they name: a row
// shows when its items may be read; filing into a folder and storing a link take membership on
// the folder or the link's source, and a part's writes update on its item, as on every connector.
// dk_items names an item for its memberships: a user names what it may read, and its row goes with
// the item's delete (the delete trigger runs as the deleting user).
struct PSharedRule {
    const char* table;
    const char* sequence;      // the bigserial a user's insert draws from, if any
    const char* held;          // the check-out trigger's events and arguments, if any
    const char* policies[4];   // each "name ON table FOR ... (...)"; null ends
};
constexpr PSharedRule kSharedRules[] = {
    {"dk_items", nullptr, nullptr,
     {"dk_read ON public.dk_items FOR SELECT USING (public.dk_item_has(entity, id, 'read'))",
      "dk_name ON public.dk_items FOR INSERT WITH CHECK (public.dk_item_has(entity, id, 'read'))",
      "dk_gone ON public.dk_items FOR DELETE USING (public.dk_item_has(entity, id, 'delete'))", nullptr}},
    {"dk_members", "public.dk_members_seq_seq", "INSERT OR DELETE ON public.dk_members FOR EACH ROW EXECUTE FUNCTION public.dk_held('folder_entity', 'folder')",
     {"dk_read ON public.dk_members FOR SELECT USING (public.dk_item_has(folder_entity, folder, 'read') "
      "AND public.dk_item_has(member_entity, member, 'read'))",
      "dk_file ON public.dk_members FOR INSERT WITH CHECK (public.dk_item_has(folder_entity, folder, 'membership'))",
      "dk_unfile ON public.dk_members FOR DELETE USING (public.dk_item_has(folder_entity, folder, 'membership'))", nullptr}},
    {"dk_links", "public.dk_links_seq_seq", "INSERT OR UPDATE OR DELETE ON public.dk_links FOR EACH ROW EXECUTE FUNCTION public.dk_held('source_entity', 'source')",
     {"dk_read ON public.dk_links FOR SELECT USING (public.dk_item_has(source_entity, source, 'read') "
      "AND public.dk_item_has(target_entity, target, 'read'))",
      "dk_link ON public.dk_links FOR INSERT WITH CHECK (public.dk_item_has(source_entity, source, 'membership'))",
      "dk_relink ON public.dk_links FOR UPDATE USING (public.dk_item_has(source_entity, source, 'membership'))",
      "dk_unlink ON public.dk_links FOR DELETE USING (public.dk_item_has(source_entity, source, 'membership'))"}},
    {"dk_content", nullptr, "INSERT OR UPDATE OR DELETE ON public.dk_content FOR EACH ROW EXECUTE FUNCTION public.dk_held('entity', 'item')",
     {"dk_read ON public.dk_content FOR SELECT USING (public.dk_item_has(entity, item, 'read'))",
      "dk_write ON public.dk_content FOR INSERT WITH CHECK (public.dk_item_has(entity, item, 'update'))",
      "dk_rewrite ON public.dk_content FOR UPDATE USING (public.dk_item_has(entity, item, 'update'))",
      "dk_drop ON public.dk_content FOR DELETE USING (public.dk_item_has(entity, item, 'update') "
      "OR public.dk_item_has(entity, item, 'delete'))"}},
    // A child is tied when it is stored (an item just stored is readable to its writer) and
    // untied by whoever may change or delete its parent.
    {"dk_children", "public.dk_children_seq_seq",
     "INSERT OR DELETE ON public.dk_children FOR EACH ROW EXECUTE FUNCTION public.dk_held('parent_entity', 'parent')",
     {"dk_read ON public.dk_children FOR SELECT USING (public.dk_item_has(parent_entity, parent, 'read') "
      "AND public.dk_item_has(child_entity, child, 'read'))",
      "dk_tie ON public.dk_children FOR INSERT WITH CHECK (public.dk_item_has(parent_entity, parent, 'read') "
      "AND public.dk_item_has(child_entity, child, 'read'))",
      "dk_untie ON public.dk_children FOR DELETE USING (public.dk_item_has(parent_entity, parent, 'update') "
      "OR public.dk_item_has(parent_entity, parent, 'delete'))",
      nullptr}},
    // A segmented document's slots are written with its parts.
    {"dk_segments", nullptr, "INSERT OR DELETE ON public.dk_segments FOR EACH ROW EXECUTE FUNCTION public.dk_held('entity', 'item')",
     {"dk_read ON public.dk_segments FOR SELECT USING (public.dk_item_has(entity, item, 'read'))",
      "dk_write ON public.dk_segments FOR INSERT WITH CHECK (public.dk_item_has(entity, item, 'update'))",
      "dk_drop ON public.dk_segments FOR DELETE USING (public.dk_item_has(entity, item, 'update') "
      "OR public.dk_item_has(entity, item, 'delete'))",
      nullptr}}};

// The guard of check-outs, a row trigger on every table whose rows change an item: while another
// role holds the item checked out, the change is refused with SQLSTATE DK100. TG_ARGV names the
// item: the entity's id or the column holding it, then the column of its row id. Changes a trigger
// makes in turn (an item's memberships going with it) pass: the item's own change was checked.
// It runs as the owner role, which reads dk_checkouts whatever its row policies.
constexpr const char* kHeld = R"sql(
CREATE FUNCTION public.dk_held() RETURNS trigger LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $f$
DECLARE
    r jsonb;
    e integer;
    holder text;
BEGIN
    IF pg_trigger_depth() = 1 THEN
        IF TG_OP = 'DELETE' THEN r := to_jsonb(OLD); ELSE r := to_jsonb(NEW); END IF;
        e := CASE WHEN TG_ARGV[0] ~ '^[0-9]+$' THEN TG_ARGV[0]::integer ELSE (r ->> TG_ARGV[0])::integer END;
        SELECT c.usr INTO holder FROM public.dk_checkouts c WHERE c.entity = e AND c.item = (r ->> TG_ARGV[1])::bigint;
        IF holder IS NOT NULL AND holder <> session_user THEN
            RAISE EXCEPTION USING ERRCODE = 'DK100', MESSAGE = format('item %s of entity %s, by %s', r ->> TG_ARGV[1], e, holder);
        END IF;
    END IF;
    IF TG_OP = 'DELETE' THEN RETURN OLD; END IF;
    RETURN NEW;
END $f$)sql";

}  // namespace

void PAclsPG::makeTables(pg_conn* c, const std::string& owner, const std::string& users, const std::string& admins,
                         const char* fn) {
    const char* const what = "making the repository's rights tables";
    for (const char* sql : kTables) run(c, sql, {}, kSource, fn, what);
    const std::string tables = kTableNames;
    for (const std::string& sql : std::vector<std::string>{
             "REVOKE ALL ON " + tables + " FROM PUBLIC, " + users, "GRANT SELECT ON " + tables + " TO " + users,
             "GRANT INSERT, UPDATE, DELETE ON " + tables + " TO " + admins,
             "GRANT USAGE ON SEQUENCE public.dk_privilege_sets_id_seq, public.dk_privilege_groups_id_seq, "
             "public.dk_acls_id_seq TO " + admins})
        run(c, sql.c_str(), {}, kSource, fn, what);
    for (const char* t : {"dk_privilege_sets", "dk_privilege_groups", "dk_acls", "dk_acl_entries", "dk_item_acls", "dk_checkouts"})
        run(c, ("ALTER TABLE public." + std::string(t) + " OWNER TO " + owner).c_str(), {}, kSource, fn, what);
    const std::string prefix = owner.substr(0, owner.size() - std::strlen("_owner"));
    std::vector<char> body(std::strlen(kItemHas) + 4 * admins.size());
    std::snprintf(body.data(), body.size(), kItemHas, admins.c_str(), prefix.c_str());
    run(c, body.data(), {}, kSource, fn, what);
    for (const std::string& sql : std::vector<std::string>{
             "ALTER FUNCTION public.dk_item_has(integer, bigint, text) OWNER TO " + owner,
             "REVOKE ALL ON FUNCTION public.dk_item_has(integer, bigint, text) FROM PUBLIC",
             "GRANT EXECUTE ON FUNCTION public.dk_item_has(integer, bigint, text) TO " + users})
        run(c, sql.c_str(), {}, kSource, fn, what);
    // A user takes a check-out of an item it may update and gives back its own; an administrator
    // any.
    run(c, kHeld, {}, kSource, fn, what);
    for (const std::string& sql : std::vector<std::string>{
             "ALTER FUNCTION public.dk_held() OWNER TO " + owner, "GRANT INSERT, DELETE ON public.dk_checkouts TO " + users,
             "ALTER TABLE public.dk_checkouts ENABLE ROW LEVEL SECURITY",
             "CREATE POLICY dk_read ON public.dk_checkouts FOR SELECT USING (public.dk_item_has(entity, item, 'read'))",
             "CREATE POLICY dk_take ON public.dk_checkouts FOR INSERT "
             "WITH CHECK (usr = session_user AND public.dk_item_has(entity, item, 'update'))",
             "CREATE POLICY dk_give ON public.dk_checkouts FOR DELETE "
             "USING (usr = session_user OR pg_has_role(session_user, '" + admins + "', 'MEMBER'))"})
        run(c, sql.c_str(), {}, kSource, fn, what);
    protectShared(c, users, fn);
    // The entity tables made before, where this role owns them.
    PResult old = run(c,
                      "SELECT e.id, e.lname FROM public.dk_entities e JOIN pg_tables t ON t.schemaname = 'public' "
                      "AND t.tablename = e.lname WHERE t.tableowner = current_user AND NOT t.rowsecurity",
                      {}, kSource, fn, what);
    for (int i = 0; i < PQntuples(old.get()); ++i) protect(c, PQgetvalue(old.get(), i, 0), PQgetvalue(old.get(), i, 1), fn);
}

void PAclsPG::protect(pg_conn* c, const std::string& entityId, const std::string& table, const char* fn) {
    PResult have = run(c, "SELECT to_regprocedure('public.dk_item_has(integer, bigint, text)') IS NOT NULL", {}, kSource,
                       fn, "protecting the entity's items");
    if (std::string(PQgetvalue(have.get(), 0, 0)) != "t") return;   // a repository without users
    const std::string t = "public." + quoteIdent(table), has = "public.dk_item_has(" + entityId + ", ";
    // The table's owner (the repository's creator) passes by the policies; an administrator
    // passes through the function.
    for (const std::string& sql : std::vector<std::string>{
             "ALTER TABLE " + t + " ENABLE ROW LEVEL SECURITY",
             "CREATE POLICY dk_read ON " + t + " FOR SELECT USING (" + has + "dk_id, 'read'))",
             "CREATE POLICY dk_add ON " + t + " FOR INSERT WITH CHECK (" + has + "NULL, 'add'))",
             "CREATE POLICY dk_update ON " + t + " FOR UPDATE USING (" + has + "dk_id, 'update'))",
             "CREATE POLICY dk_delete ON " + t + " FOR DELETE USING (" + has + "dk_id, 'delete'))",
             "CREATE TRIGGER dk_held BEFORE UPDATE OR DELETE ON " + t +
                 " FOR EACH ROW EXECUTE FUNCTION public.dk_held('" + entityId + "', 'dk_id')"})
        run(c, sql.c_str(), {}, kSource, fn, "protecting the entity's items");
}

void PAclsPG::protectShared(pg_conn* c, const std::string& users, const char* fn) {
    const char* const what = "protecting the membership and content rows";
    // The tables this role owns that have no policies yet (dk_content may come later, made by the
    // first role that may create it), once the item function is there.
    PResult open = run(c,
                       "SELECT tablename FROM pg_tables WHERE schemaname = 'public' AND tablename = ANY($1::text[]) "
                       "AND tableowner = current_user AND NOT rowsecurity "
                       "AND to_regprocedure('public.dk_item_has(integer, bigint, text)') IS NOT NULL",
                       {"{dk_items,dk_members,dk_links,dk_content,dk_children,dk_segments}"}, kSource, fn, what);
    for (int i = 0; i < PQntuples(open.get()); ++i) {
        const std::string table = PQgetvalue(open.get(), i, 0);
        for (const PSharedRule& rule : kSharedRules) {
            if (table != rule.table) continue;
            const std::string t = "public." + table;
            run(c, ("GRANT SELECT, INSERT, UPDATE, DELETE ON " + t + " TO " + users).c_str(), {}, kSource, fn, what);
            if (rule.sequence != nullptr)
                run(c, ("GRANT USAGE ON SEQUENCE " + std::string(rule.sequence) + " TO " + users).c_str(), {}, kSource, fn, what);
            run(c, ("ALTER TABLE " + t + " ENABLE ROW LEVEL SECURITY").c_str(), {}, kSource, fn, what);
            if (rule.held != nullptr) run(c, (std::string("CREATE TRIGGER dk_held BEFORE ") + rule.held).c_str(), {}, kSource, fn, what);
            for (const char* policy : rule.policies)
                if (policy != nullptr) run(c, (std::string("CREATE POLICY ") + policy).c_str(), {}, kSource, fn, what);
        }
    }
}

void PAclsPG::forget(pg_conn* c, const char* principal, const char* fn) {
    PResult have = run(c, "SELECT to_regclass('public.dk_acl_entries') IS NOT NULL", {}, kSource, fn, "leaving the ACLs");
    if (std::string(PQgetvalue(have.get(), 0, 0)) == "t") {
        run(c, "DELETE FROM public.dk_acl_entries WHERE principal = $1", {principal}, kSource, fn, "leaving the ACLs");
        run(c, "DELETE FROM public.dk_checkouts WHERE usr = $1", {principal}, kSource, fn, "leaving the check-outs");
    }
}

std::string PAclsPG::prefix(const char* fn) {
    const std::vector<std::string> v = column("SELECT value FROM public.dk_repository WHERE key = 'role_prefix'", {}, fn);
    if (v.empty()) dkThrow<DKDatastoreError>(kMsgNoUsers, kSource, fn, DKString(ds_.repositoryName().c_str()));
    return v.front();
}

std::string PAclsPG::administrator(const char* fn) {
    const std::string p = prefix(fn);
    if (count("SELECT pg_has_role(current_user, $1, 'MEMBER')::int", {p + "_admins"}, fn) == 0)
        dkThrow<DKDatastoreAccessError>(kMsgNotAdmin, kSource, fn, DKString(PQuser(ds_.conn(fn))));
    return p;
}

std::vector<std::string> PAclsPG::column(const char* sql, std::initializer_list<std::string> params, const char* fn) {
    PResult r = run(ds_.conn(fn), sql, params, kSource, fn, "reading the rights");
    std::vector<std::string> out;
    for (int i = 0; i < PQntuples(r.get()); ++i) out.emplace_back(PQgetvalue(r.get(), i, 0));
    return out;
}

long PAclsPG::count(const char* sql, std::initializer_list<std::string> params, const char* fn) {
    const std::vector<std::string> v = column(sql, params, fn);
    return v.empty() ? 0 : std::atol(v.front().c_str());
}

void PAclsPG::known(const char* sql, const char* name, long msg, const char* fn) {
    if (name == nullptr || count(sql, {name}, fn) == 0) dkThrow<DKDataObjectNotFound>(msg, kSource, fn, DKString(orNull(name)));
}

void PAclsPG::define(bool sets, const char* name, const char* text, const char* fn) {
    administrator(fn);
    if (!isPrincipalName(name)) dkThrow<DKUsageError>(kMsgBadPrincipal, kSource, fn, DKString(orNull(name)));
    PRightsRow row;
    if (text == nullptr || !parsePrivilegeText(text, row))
        dkThrow<DKUsageError>(kMsgBadPrivilege, kSource, fn, DKString(orNull(text)));
    // Defined again, it keeps its entries and goes to the end of the list (a new id).
    run(ds_.conn(fn),
        sets ? "INSERT INTO public.dk_privilege_sets(name, privileges) VALUES ($1, $2) "
               "ON CONFLICT (name) DO UPDATE SET privileges = EXCLUDED.privileges, id = EXCLUDED.id"
             : "INSERT INTO public.dk_privilege_groups(name, privileges) VALUES ($1, $2) "
               "ON CONFLICT (name) DO UPDATE SET privileges = EXCLUDED.privileges, id = EXCLUDED.id",
        {name, text}, kSource, fn, "defining the privileges");
}

void PAclsPG::remove(bool sets, const char* name, const char* fn) {
    administrator(fn);
    DKDatastorePG::PTransaction unit(ds_, fn);
    if (sets) {
        known("SELECT count(*) FROM public.dk_privilege_sets WHERE name = $1", name, kMsgNoSet, fn);
        if (count("SELECT count(*) FROM public.dk_acl_entries WHERE privset = $1", {name}, fn) != 0)
            dkThrow<DKUsageError>(kMsgInUse, kSource, fn, DKString(name));
    } else {
        known("SELECT count(*) FROM public.dk_privilege_groups WHERE name = $1", name, kMsgNoGroup, fn);
    }
    run(ds_.conn(fn), sets ? "DELETE FROM public.dk_privilege_sets WHERE name = $1"
                           : "DELETE FROM public.dk_privilege_groups WHERE name = $1",
        {name}, kSource, fn, "deleting the privileges");
    unit.commit();
}

DKString* PAclsPG::list(bool sets, long& n, const char* fn) {
    prefix(fn);
    const std::vector<std::string> v = column(sets ? "SELECT name || '=' || privileges FROM public.dk_privilege_sets ORDER BY id"
                                                   : "SELECT name || '=' || privileges FROM public.dk_privilege_groups ORDER BY id",
                                              {}, fn);
    return PNameArray(v.size(), n, [&](std::size_t i) { return DKString(v[i].c_str()); });
}

void PAclsPG::createACL(const char* acl, const char* fn) {
    administrator(fn);
    if (!isPrincipalName(acl)) dkThrow<DKUsageError>(kMsgBadPrincipal, kSource, fn, DKString(orNull(acl)));
    DKDatastorePG::PTransaction unit(ds_, fn);
    PResult r = run(ds_.conn(fn), "INSERT INTO public.dk_acls(name) VALUES ($1) ON CONFLICT DO NOTHING", {acl}, kSource, fn,
                    "making the ACL");
    if (std::strcmp(PQcmdTuples(r.get()), "0") == 0) dkThrow<DKDataObjectAlreadyExists>(kMsgNameTaken, kSource, fn, DKString(acl));
    unit.commit();
}

void PAclsPG::deleteACL(const char* acl, const char* fn) {
    administrator(fn);
    DKDatastorePG::PTransaction unit(ds_, fn);
    known("SELECT count(*) FROM public.dk_acls WHERE name = $1", acl, kMsgNoACL, fn);
    if (std::strcmp(acl, PRepositoryAdmin::kDefaultACL) == 0 ||
        count("SELECT count(*) FROM public.dk_item_acls WHERE acl = $1", {acl}, fn) != 0)
        dkThrow<DKUsageError>(kMsgInUse, kSource, fn, DKString(acl));
    run(ds_.conn(fn), "DELETE FROM public.dk_acls WHERE name = $1", {acl}, kSource, fn, "deleting the ACL");   // entries cascade
    unit.commit();
}

void PAclsPG::setEntry(const char* acl, const char* principal, const char* set, const char* fn) {
    const std::string p = administrator(fn);
    DKDatastorePG::PTransaction unit(ds_, fn);
    known("SELECT count(*) FROM public.dk_acls WHERE name = $1", acl, kMsgNoACL, fn);
    // A user is a login member of the users role; a group a row of dk_groups or the administrators.
    if (principal == nullptr ||
        count("SELECT (EXISTS (SELECT 1 FROM pg_auth_members m JOIN pg_roles r ON r.oid = m.member "
              "WHERE m.roleid = $2::regrole AND r.rolcanlogin AND r.rolname = $1) "
              "OR EXISTS (SELECT 1 FROM public.dk_groups WHERE name = $1) OR $1 = 'administrators')::int",
              {principal, p + "_users"}, fn) == 0)
        dkThrow<DKDataObjectNotFound>(kMsgNoPrincipal, kSource, fn, DKString(orNull(principal)));
    pg_conn* c = ds_.conn(fn);
    if (set == nullptr || *set == '\0') {
        run(c, "DELETE FROM public.dk_acl_entries WHERE acl = $1 AND principal = $2", {acl, principal}, kSource, fn,
            "changing the ACL");
    } else {
        known("SELECT count(*) FROM public.dk_privilege_sets WHERE name = $1", set, kMsgNoSet, fn);
        run(c,
            "INSERT INTO public.dk_acl_entries VALUES ($1, $2, $3) "
            "ON CONFLICT (acl, principal) DO UPDATE SET privset = EXCLUDED.privset",
            {acl, principal, set}, kSource, fn, "changing the ACL");
    }
    unit.commit();
}

DKString* PAclsPG::listACLs(long& n, const char* fn) {
    prefix(fn);
    const std::vector<std::string> v = column("SELECT name FROM public.dk_acls ORDER BY id", {}, fn);
    return PNameArray(v.size(), n, [&](std::size_t i) { return DKString(v[i].c_str()); });
}

DKString* PAclsPG::listEntries(const char* acl, long& n, const char* fn) {
    prefix(fn);
    known("SELECT count(*) FROM public.dk_acls WHERE name = $1", acl, kMsgNoACL, fn);
    // In byte order of the principal, as on every connector.
    const std::vector<std::string> v = column(
        "SELECT principal || '=' || privset FROM public.dk_acl_entries WHERE acl = $1 ORDER BY principal COLLATE \"C\"",
        {acl}, fn);
    return PNameArray(v.size(), n, [&](std::size_t i) { return DKString(v[i].c_str()); });
}

std::string PAclsPG::aclOf(const PItemRef& item, const char* fn) {
    const std::vector<std::string> v = column("SELECT acl FROM public.dk_item_acls WHERE entity = $1 AND item = $2",
                                              {std::to_string(item.entity), std::to_string(item.id)}, fn);
    return v.empty() ? std::string(PRepositoryAdmin::kDefaultACL) : v.front();
}

PRightsRow PAclsPG::rights(const std::string& acl, const char* fn) {
    const std::string p = prefix(fn);
    PRightsRow out{};
    if (count("SELECT pg_has_role(current_user, $1, 'MEMBER')::int", {p + "_admins"}, fn) != 0) {
        out.fill(2);
        return out;
    }
    // The entries naming the user or a group it belongs to; the highest value of each privilege.
    for (const std::string& text :
         column("SELECT s.privileges FROM public.dk_acl_entries e JOIN public.dk_privilege_sets s ON s.name = e.privset "
                "WHERE e.acl = $1 AND (e.principal = current_user OR EXISTS (SELECT 1 FROM public.dk_groups g "
                "WHERE g.name = e.principal AND pg_has_role(current_user, $2 || '_g' || g.id, 'MEMBER')))",
                {acl, p}, fn)) {
        PRightsRow set;
        if (!parsePrivilegeText(text, set)) continue;   // written only through define
        for (std::size_t i = 0; i < out.size(); ++i) out[i] = std::max(out[i], set[i]);
    }
    return out;
}

void PAclsPG::setItemACL(dkDataObject* item, const char* acl, const char* fn) {
    prefix(fn);
    // Only administrators hold administer (the last of a row): the check comes before the item is locked and named in
    // dk_items, which only they may write.
    if (rights(aclOf(ds_.storedItem(item, fn, false), fn), fn).back() == 0)
        dkThrow<DKDatastoreAccessError>(kMsgNotAuthorized, kSource, fn, DKString("administer"));
    DKDatastorePG::PTransaction unit(ds_, fn);
    const PItemRef ref = ds_.storedItem(item, fn);
    const std::string entity = std::to_string(ref.entity), id = std::to_string(ref.id);
    pg_conn* c = ds_.conn(fn);
    if (acl == nullptr || *acl == '\0' || std::strcmp(acl, PRepositoryAdmin::kDefaultACL) == 0) {
        run(c, "DELETE FROM public.dk_item_acls WHERE entity = $1 AND item = $2", {entity, id}, kSource, fn,
            "changing the item's ACL");
    } else {
        known("SELECT count(*) FROM public.dk_acls WHERE name = $1", acl, kMsgNoACL, fn);
        run(c,
            "INSERT INTO public.dk_item_acls VALUES ($1, $2, $3) ON CONFLICT (entity, item) DO UPDATE SET acl = EXCLUDED.acl",
            {entity, id, acl}, kSource, fn, "changing the item's ACL");
    }
    unit.commit();
}

std::string PAclsPG::itemACL(dkDataObject* item, const char* fn) {
    prefix(fn);
    return aclOf(ds_.storedItem(item, fn, false), fn);
}

short PAclsPG::privilege(dkDataObject* item, long privilege, const char* fn) {
    const int index = privilegeIndex(privilege);
    if (index < 0) dkThrow<DKUsageError>(303, kSource, fn, DKString(privilege));
    const std::string acl = item ? aclOf(ds_.storedItem(item, fn, false), fn) : std::string(PRepositoryAdmin::kDefaultACL);
    return rights(acl, fn)[static_cast<std::size_t>(index)];
}
