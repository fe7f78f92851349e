// tests/connectors/DKDatastorePG_test.cpp
//
// The PostgreSQL connector against real servers: the fixture's, shared by the suites of a parallel
// run, and servers of a test's own where a test needs one that misbehaves (trusts everyone,
// stops, never answers). Credentials come only from connect; what cannot log on says why.

#include "dkConnectorSupport.hpp"
#include "dkPgTestSupport.hpp"

#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <cstring>

using dkpgtest::adminSql;
using dkpgtest::uniqueName;
using dktest::errorOf;

namespace {

const dkconf::Factory& factory() { return dkconf::factoryFor(DKPG_LIBRARY); }

// A role that may create databases, made once per process: name and password.
const std::pair<std::string, std::string>& role() {
    static const auto r = [] {
        std::pair<std::string, std::string> p(uniqueName("dkrole"), "pw-" + uniqueName("x"));
        adminSql("CREATE ROLE " + p.first + " LOGIN CREATEDB PASSWORD '" + p.second + "'");
        return p;
    }();
    return r;
}

// What connect throws as an E (the id and text), the datastore left unconnected.
template <class E>
dktest::Failure refused(const std::string& name, const std::string& user, const std::string& pw, const char* connect = "") {
    std::unique_ptr<dkDatastore> ds(factory().create("DKDatastorePG"));
    const auto f = dktest::failureOf<E>([&] { ds->connect(name.c_str(), user.c_str(), pw.c_str(), connect); });
    EXPECT_EQ(0, ds->isConnected());
    EXPECT_EQ(std::string::npos, f.text.find(role().second)) << f.text;   // never the password
    return f;
}

int script(const std::string& args) { return std::system((std::string(DKPG_SERVER_SCRIPT) + " " + args).c_str()); }

}  // namespace

TEST(DKDatastorePGConnect, FactoryAndStringsRefuseWhatTheyDoNotKnow) {
    EXPECT_EQ(nullptr, factory().create("DKDatastoreSQLITE"));
    EXPECT_EQ(9206L, errorOf<DKUsageError>([&] { delete factory().createWithConfig("DKDatastorePG", "query_timeout=-1"); }));
    const auto& [user, pw] = role();
    // Credentials come from connect alone: a name that carries any is refused before any logon.
    for (const std::string& name : std::vector<std::string>{
             "postgresql://" + user + ":" + pw + "@/postgres", "postgres://" + user + "@/postgres", "dbname=postgres user=x",
             "dbname=postgres password=" + pw, "dbname=postgres passfile=/x", "service=dk dbname=postgres", "host=/x",
             "dbname='open", ""})
        EXPECT_EQ(9203L, refused<DKUsageError>(name, user, pw).id) << name;
    for (const char* connect : {"create=maybe", "connect_timeout=0", "user=x"})
        EXPECT_EQ(9203L, refused<DKUsageError>("postgres", user, pw, connect).id) << connect;
    EXPECT_EQ(9203L, refused<DKUsageError>("postgres", "", pw).id);
}

TEST(DKDatastorePGConnect, OnlyTheServerChecksPasswordsAndMissingDatabasesAreCreatedWhenAsked) {
    const auto& [user, pw] = role();
    const std::string db = uniqueName("dkdb_Mixed");
    // The right password in libpq's environment is never used in place of connect's.
    setenv("PGPASSWORD", pw.c_str(), 1);
    for (const auto& [u, p] : {std::pair<std::string, std::string>{user, "wrong"}, {"nobody_here", pw}, {user, ""}}) {
        const auto f = refused<DKLogonFailure>("postgres", u, p, "create=1");
        EXPECT_EQ(9201L, f.id) << u << f.text;
        EXPECT_NE(std::string::npos, f.text.find("28P01")) << f.text;
    }
    unsetenv("PGPASSWORD");
    const auto missing = refused<DKServerNotAvailable>(db, user, pw);
    EXPECT_EQ(9202L, missing.id);
    EXPECT_NE(std::string::npos, missing.text.find("3D000")) << missing.text;

    // Another application's database is no repository, with create=1 too; an empty one becomes one.
    const std::string foreign = uniqueName("dkforeign"), empty = uniqueName("dkempty");
    for (const std::string& d : {foreign, empty}) adminSql("CREATE DATABASE " + d + " OWNER " + user);
    adminSql("CREATE TABLE other (x int)", foreign);
    EXPECT_EQ(9208L, refused<DKDatastoreError>(foreign, user, pw, "create=1").id);
    EXPECT_EQ(9208L, refused<DKDatastoreError>(empty, user, pw).id);

    // create=1 makes it (the name quoted, its case kept), then opens what is there, in every form.
    std::unique_ptr<dkDatastore> ds(factory().createWithConfig("DKDatastorePG", " query_timeout = 500 ;"));
    const std::string host = dkpgtest::server().at("DKPG_HOST"), port = dkpgtest::server().at("DKPG_PORT");
    for (const std::string& name : {empty, db, db, "postgresql:///" + db + "?host=" + host + "&port=" + port,
                                    "host=" + host + " port=" + port + " dbname='" + db + "'"}) {
        ds->connect(name.c_str(), user.c_str(), pw.c_str(), "create=yes; connect_timeout=5");
        EXPECT_EQ(0, ds->validateConnection()) << name;
    }
    EXPECT_EQ("1", adminSql("SELECT count(*) FROM pg_database WHERE datname = '" + db + "'"));
    // A backend the server ends is found by validation.
    adminSql("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '" + db + "'");
    EXPECT_EQ(2, ds->validateConnection());
    ds->disconnect();
    EXPECT_EQ(1, ds->validateConnection());
}

TEST(DKDatastorePGConnect, ServersThatTrustOrAreGoneOrHangAreRefusedInTime) {
    dktest::TempDir dir;
    ASSERT_EQ(0, script("start " + dir.str() + " --trust"));
    const std::string own = "host=" + dkpgtest::readServer(dir.str())["DKPG_HOST"] + " dbname=postgres";
    EXPECT_EQ(9204L, refused<DKLogonFailure>(own, "dk_super", "any").id);   // it let anyone in
    ASSERT_EQ(0, script("stop " + dir.str()));
    EXPECT_EQ(9200L, refused<DKServerNotAvailable>(own, "dk_super", "any").id);
    // A socket that takes the connection and never answers: refused after connect_timeout.
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, (dir.str() + "/.s.PGSQL.5432").c_str());
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(0, bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) | listen(fd, 4));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(9200L, refused<DKServerNotAvailable>("host=" + dir.str() + " dbname=x", "u", "x", "connect_timeout=2").id);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6));
    close(fd);
}
