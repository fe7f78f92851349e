// tests/connectors/DKDatastorePGRights_test.cpp
//
// Users of PostgreSQL repositories: the shared users suite on the fixture's server, and what only
// this connector has to show: users are server roles without CREATEROLE, passwords reach the
// server as verifiers only, names never reach SQL as text, the role work stays inside the
// repository's own roles, and a repository made by a role that may not create roles still opens.

#include "dkConnectorSupport.hpp"
#include "dkPgTestSupport.hpp"
#include "dkRightsConformance.hpp"

#include <DKAdminPG.hpp>
#include <DKContentPG.hpp>
#include <dk/DKChildCollection.hpp>
#include <dk/DKLinkCollection.hpp>
#include <dk/DKSegmentedParts.hpp>

using dkpgtest::adminSql;
using dkpgtest::session;
using dkpgtest::uniqueName;
using dkrights::DKRightsConformance;
using dktest::errorOf;

namespace {

// The role that makes repositories: it may create databases and roles. Made once per process.
const std::pair<std::string, std::string>& creator() {
    static const std::pair<std::string, std::string> c = [] {
        dkpgtest::server();
        std::pair<std::string, std::string> p(uniqueName("dkmaker"), "pw-" + uniqueName("m"));
        adminSql("CREATE ROLE " + p.first + " LOGIN CREATEDB CREATEROLE PASSWORD '" + p.second + "'");
        return p;
    }();
    return c;
}

// The SQLSTATE of sql run by user straight through libpq, "" when it succeeds.
std::string sqlState(const std::string& db, const std::string& user, const std::string& pw, const std::string& sql) {
    std::unique_ptr<PGconn, void (*)(PGconn*)> c(PQconnectdb(("dbname=" + db + " user=" + user + " password=" + pw).c_str()), PQfinish);
    if (PQstatus(c.get()) != CONNECTION_OK) return std::strstr(PQerrorMessage(c.get()), "permission denied") ? "42501" : "08006";
    std::unique_ptr<PGresult, void (*)(PGresult*)> r(PQexec(c.get(), sql.c_str()), PQclear);
    const char* state = PQresultErrorField(r.get(), PG_DIAG_SQLSTATE);
    return state ? state : "";
}

dkrights::Repo newRepo() {
    const std::string db = uniqueName("dkrights");
    const auto& [user, pw] = creator();
    return dkrights::Repo{db, session(db, user, pw, "create=1"), nullptr,
                          [db](const std::string& u, const std::string& p) { return session(db, u, p); }};
}

dkrights::RightsContext pgRights() {
    dkrights::RightsContext c;
    c.label = "PG";
    c.adminExtension = DKAdminPG::kName;
    c.creator = creator().first;
    c.creatorPassword = creator().second;
    c.newRepo = newRepo;
    c.user = [](const char* n) { return uniqueName(n); };   // roles are the server's, not one database's
    // 9002 the old password is wrong, 9091 not an administrator ... 9095 a bad name, 9096 no ACL ...
    // 9099 in use, in that order; 9103 no privilege group, 9090 no privilege on the item, 9100 and
    // 9101 checked out by another and not checked out.
    c.id = [](long sqliteId) {
        switch (sqliteId) {
            case 9002: return 9265L;
            case 9090: return 9273L;
            case 9103: return 9272L;
            case 9100: return 9274L;
            case 9101: return 9275L;
            default: return sqliteId <= 9095 ? sqliteId + 9260 - 9091 : sqliteId + 9268 - 9096;
        }
    };
    c.logonRefused = 9201;
    c.endedValidation = 2;   // the server ended the session
    c.poolType = "PG";
    c.poolLibrary = DKPG_LIBRARY;
    return c;
}

DKAdminPG& admin(dkDatastore& ds) { return *static_cast<DKAdminPG*>(ds.getExtension(DKAdminPG::kName)); }

}  // namespace

INSTANTIATE_TEST_SUITE_P(PG, DKRightsConformance, ::testing::Values(pgRights()));

TEST(DKDatastorePGRights, UsersAreRolesWithoutCreateroleAndTheirPasswordsAreVerifiersOnly) {
    dkrights::Repo r = newRepo();
    const std::string v = uniqueName("v"), quoted = uniqueName("Mixed.Case@x-y");
    admin(*r.ds).addUser(v.c_str(), "secret-pv");
    admin(*r.ds).addUser(quoted.c_str(), "pq");   // kept as given, needing quotes in SQL
    session(r.name, quoted, "pq");
    EXPECT_EQ("false false false SCRAM-SHA-256",
              adminSql("SELECT rolcreaterole || ' ' || rolcreatedb || ' ' || rolsuper || ' ' || split_part(rolpassword, "
                       "'$', 1) FROM pg_authid WHERE rolname = '" + v + "'"));
    // The password was never sent: nothing the server keeps or shows holds it.
    EXPECT_EQ("0", adminSql("SELECT count(*) FROM pg_stat_activity WHERE query LIKE '%secret' || '-pv%'"));
    // The role work is the repository function's alone, and it checks its caller: called by SQL,
    // outside the connector, it refuses a plain user, a plain password and a role of the server
    // that is not the repository's, even to the repository's administrator.
    const std::string outsider = uniqueName("dkoutsider");
    adminSql("CREATE ROLE " + outsider + " LOGIN PASSWORD 'po'");
    const auto call = [&](const std::string& user, const std::string& pw, const std::string& args) {
        return sqlState(r.name, user, pw, "SELECT public.dk_change_user(" + args + ")");
    };
    EXPECT_EQ("DK091", call(v, "secret-pv", "'delete', '" + quoted + "', ''"));
    EXPECT_EQ("DK095", call(v, "secret-pv", "'password', '" + v + "', 'plain'"));
    EXPECT_EQ("DK092", call(creator().first, creator().second, "'delete', '" + outsider + "', ''"));
    EXPECT_EQ("DK095", call(creator().first, creator().second, "'delete', 'x\"; DROP ROLE y', ''"));
    EXPECT_EQ("42501", sqlState(r.name, outsider, "po", "SELECT 1"));   // not the repository's: no connect
    // The rights tables are the administrators' alone to write, by SQL too.
    EXPECT_EQ("42501", sqlState(r.name, v, "secret-pv", "INSERT INTO public.dk_acl_entries VALUES ('default', '" + v + "', 'owner')"));
    EXPECT_EQ(9261L, errorOf<DKDataObjectNotFound>([&] { admin(*r.ds).deleteUser(outsider.c_str()); }));
}

TEST(DKDatastorePGRights, ARepositoryOfARoleThatMayNotCreateRolesOpensWithoutUsers) {
    const std::string db = uniqueName("dkplain"), role = uniqueName("dkplainrole");
    adminSql("CREATE ROLE " + role + " LOGIN CREATEDB PASSWORD 'pp'");
    auto ds = session(db, role, "pp", "create=1");
    EXPECT_EQ(9266L, errorOf<DKDatastoreError>([&] { admin(*ds).addUser("someone", "p"); }));
    // The first connect of a role that may gives it its roles, its creator first.
    adminSql("ALTER ROLE " + role + " CREATEROLE");
    ds = session(db, role, "pp");
    EXPECT_EQ(role, dkconf::joinedNames([&](long& n) { return admin(*ds).listUsers(n); }));
    admin(*ds).createACL("shared");   // and its rights tables
    EXPECT_EQ("default shared", dkconf::joinedNames([&](long& n) { return admin(*ds).listACLs(n); }));
    EXPECT_EQ(nullptr, ds->getExtension("NO_SUCH"));
}

// Memberships, links, parts, segment slots and the items' names follow the items' rights on the
// server, so that SQL that reaches those tables shows a user nothing of an item it may not read.
TEST(DKDatastorePGRights, MembershipLinkAndPartRowsShowOnlyWithTheirItems) {
    dkrights::Repo r = newRepo();
    dkconf::defineEntity(*r.ds, "Doc", {{"title", DKAny::tc_string}}, 1 | 4 | 8);
    dkconf::defineEntity(*r.ds, "Box", {{"title", DKAny::tc_string}}, 2);
    dkconf::defineChildren(*r.ds);
    std::unique_ptr<DKDDO> box(r.ds->createDDO("Box", 0)), doc(r.ds->createDDO("Doc", 0)), other(r.ds->createDDO("Doc", 0));
    static_cast<DKSegmentedParts*>(static_cast<dkCollection*>(doc->getDataByName("DKParts")))->setSegmentCount(1);
    for (DKDDO* d : {box.get(), doc.get(), other.get()}) d->add();
    auto& ext = *static_cast<dkDatastoreExt*>(r.ds->getExtension("DATASTORE_EXTENSION"));
    ext.addToFolder(box.get(), doc.get());
    DKLink link("ref", doc.get(), other.get(), 1, 1);   // the ends stay ours
    ext.addLink(&link);
    auto* content = static_cast<DKContentPG*>(r.ds->getExtension(DKContentPG::kName));
    dkconf::withContent(content->createBlob(content->pidOf("Doc", std::atol(doc->getPid().getPrimaryId().c_str()), 1)), "abc")->add();
    const std::string v = uniqueName("v");
    admin(*r.ds).addUser(v.c_str(), "pv");
    auto dv = session(r.name, v, "pv");
    const auto counts = [&] {
        std::string out;
        for (const char* t : {"dk_items", "dk_members", "dk_links", "dk_content", "dk_children", "dk_segments"})
            out += (out.empty() ? "" : " ") + std::to_string(dkconf::countRows(*dv, t));
        return out;
    };
    EXPECT_EQ("0 0 0 0 0 0", counts());
    admin(*r.ds).setACLEntry("default", v.c_str(), "reader");
    EXPECT_EQ("3 1 1 2 0 1", counts());   // a part is its head row and one chunk
    // A reader changes none of them by SQL either: the policies keep the rows out of its writes.
    EXPECT_EQ("", sqlState(r.name, v, "pv", "DELETE FROM dk_content; DELETE FROM dk_segments; DELETE FROM dk_links; "
                                             "UPDATE dk_links SET type = 'x'"));
    EXPECT_EQ("3 1 1 2 0 1", counts());
    // Checked out by another, the folder and the link's source keep their rows and the item its
    // parts from an editor, by SQL too; checked in, the editor's delete takes them with the item.
    admin(*r.ds).setACLEntry("default", v.c_str(), "editor");
    for (DKDDO* d : {box.get(), doc.get()}) ext.checkOut(d);
    for (const char* t : {"dk_content", "dk_segments", "dk_members", "dk_links"})
        EXPECT_EQ("DK100", sqlState(r.name, v, "pv", std::string("DELETE FROM ") + t)) << t;
    for (DKDDO* d : {box.get(), doc.get()}) ext.checkIn(d);
    DKDDO(dv.get(), doc->getPid(), 10).del();
    EXPECT_EQ("2 0 0 0 0 0", counts());
    // An editor's item with a child: tied, read back and untied with its parent.
    std::unique_ptr<DKDDO> mine(dv->createDDO("Doc", 0));
    static_cast<DKChildCollection*>(static_cast<dkCollection*>(mine->getData(mine->dataId("CHILD", "Note"))))
        ->addElement(DKAny(static_cast<dkDataObjectBase*>(dkconf::newChild(*dv, "Note", "n"))));
    mine->add();
    EXPECT_EQ("4 0 0 0 1 0", counts());
    DKDDO(dv.get(), mine->getPid(), 10).del();
    EXPECT_EQ("2 0 0 0 0 0", counts());
}
