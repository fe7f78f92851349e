// tests/connectors/DKDatastorePG_test.cpp
//
// The PostgreSQL connector against real servers: the fixture's, shared by the suites of a parallel
// run, and servers of a test's own where a test needs one that misbehaves (trusts everyone,
// stops, never answers). Credentials come only from connect; what cannot log on says why.

#include "dkConnectorSupport.hpp"
#include "dkPgTestSupport.hpp"

#include <dk/DKDatastorePool.hpp>
#include <dk/DKException.hpp>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>

using dkconf::newDatastore;
using dkpgtest::adminSql;
using dkpgtest::server;
using dkpgtest::uniqueName;
using dktest::errorOf;
using dktest::failureOf;

namespace {

dkconf::ConnectorContext pgContext() {
    dkconf::ConnectorContext c;
    c.library = DKPG_LIBRARY;
    c.className = "DKDatastorePG";
    return c;
}

// A role that may create databases, made once per process.
struct Role {
    std::string name = uniqueName("dkrole"), password = "pw-" + uniqueName("x");
    Role() { adminSql("CREATE ROLE " + name + " LOGIN CREATEDB PASSWORD '" + password + "'"); }
};
const Role& role() {
    static const Role r;
    return r;
}

std::unique_ptr<dkDatastore> datastore() { return newDatastore(pgContext()); }

// What connect throws: the class and message number (failureOf), and whether the text holds s.
template <class E>
dktest::Failure connectFailure(const std::string& name, const std::string& user, const std::string& password,
                               const std::string& connect = "") {
    auto ds = datastore();
    dktest::Failure f = failureOf<E>([&] { ds->connect(name.c_str(), user.c_str(), password.c_str(), connect.c_str()); });
    EXPECT_EQ(0, ds->isConnected());
    return f;
}

// A server of the test's own, started with the fixture's script and stopped with the test.
class OwnServer {
public:
    explicit OwnServer(bool trust) {
        run(std::string("start ") + dir_.str() + (trust ? " --trust" : ""));
        server_ = dkpgtest::readServer(dir_.str());
    }
    ~OwnServer() { stop(); }
    void stop() { run("stop " + dir_.str()); }
    std::string conninfo(const std::string& database) const {
        return "host=" + server_.host + " port=" + server_.port + " dbname=" + database;
    }

private:
    void run(const std::string& args) {
        const std::string command = std::string(DKPG_SERVER_SCRIPT) + " " + args;
        EXPECT_EQ(0, std::system(command.c_str())) << command;
    }
    dktest::TempDir dir_;
    dkpgtest::Server server_;
};

}  // namespace

TEST(DKDatastorePGConnect, FactoryAndStringsRefuseWhatTheyDoNotKnow) {
    auto& factory = dkconf::factoryFor(DKPG_LIBRARY);
    EXPECT_EQ(nullptr, factory.create("DKDatastoreSQLITE"));
    EXPECT_EQ(9206L, errorOf<DKUsageError>([&] { delete factory.createWithConfig("DKDatastorePG", "busy_timeout=1"); }));
    EXPECT_EQ(9206L, errorOf<DKUsageError>([&] { delete factory.createWithConfig("DKDatastorePG", "query_timeout=-1"); }));
    std::unique_ptr<dkDatastore> ok(factory.createWithConfig("DKDatastorePG", " query_timeout = 500 ;"));
    EXPECT_EQ(1, ok->validateConnection());   // not connected: dead

    const std::string& user = role().name;
    const std::string& pw = role().password;
    // Credentials come from connect alone: a name that carries any is refused before any logon.
    for (const std::string& name : std::vector<std::string>{
             "postgresql://" + user + ":" + pw + "@/postgres", "postgres://" + user + "@/postgres",
          "dbname=postgres user=" + user, "dbname=postgres password=" + pw, "dbname=postgres passfile=/tmp/x",
          "service=dk dbname=postgres", std::string("host=/nowhere"), std::string("dbname='open"), std::string()}) {
        const dktest::Failure f = connectFailure<DKUsageError>(name, user, pw);
        EXPECT_EQ(9203L, f.id) << name;
        EXPECT_EQ(std::string::npos, f.text.find(pw)) << f.text;
    }
    for (const char* connect : {"create=maybe", "connect_timeout=0", "readonly=1", "user=x"})
        EXPECT_EQ(9203L, connectFailure<DKUsageError>("postgres", user, pw, connect).id) << connect;
    EXPECT_EQ(9203L, connectFailure<DKUsageError>("postgres", "", pw).id);
}

TEST(DKDatastorePGConnect, TheServerChecksThePasswordAndMissingDatabasesAreCreatedOnlyWhenAsked) {
    const std::string& user = role().name;
    const std::string& pw = role().password;
    const std::string db = uniqueName("dkdb");
    // Wrong password, unknown role, empty password: logon failures with the server's state,
    // the password never in the text.
    for (const auto& [u, p] : {std::pair<std::string, std::string>{user, "wrong-password"}, {"nobody_here", pw}, {user, ""}}) {
        const dktest::Failure f = connectFailure<DKLogonFailure>("postgres", u, p);
        EXPECT_EQ(9201L, f.id) << u;
        EXPECT_NE(std::string::npos, f.text.find("28P01")) << f.text;
        if (!p.empty()) {
            EXPECT_EQ(std::string::npos, f.text.find(p)) << f.text;
        }
    }
    const dktest::Failure missing = connectFailure<DKServerNotAvailable>(db, user, pw);
    EXPECT_EQ(9202L, missing.id);
    EXPECT_NE(std::string::npos, missing.text.find("3D000")) << missing.text;
    EXPECT_EQ("0", adminSql("SELECT count(*) FROM pg_database WHERE datname = '" + db + "'"));
    // A wrong password with create=1 creates nothing.
    EXPECT_EQ(9201L, connectFailure<DKLogonFailure>(db, user, "wrong-password", "create=1").id);

    // create=1 makes it (mixed case kept, as the name was quoted), then opens what is there.
    const std::string mixed = db + "_Mixed";
    auto ds = datastore();
    ds->connect(mixed.c_str(), user.c_str(), pw.c_str(), "create=yes; connect_timeout=5");
    EXPECT_EQ(1, ds->isConnected());
    EXPECT_EQ(DKString(mixed.c_str()), ds->datastoreName());
    EXPECT_EQ(DKString(user.c_str()), ds->userName());
    EXPECT_EQ(0, ds->validateConnection());
    ds->connect(mixed.c_str(), user.c_str(), pw.c_str(), "create=1");   // again: the same database
    // The same database through a URI and a conninfo string naming the server.
    const dkpgtest::Server& s = server();
    for (const std::string& name : std::vector<std::string>{"postgresql:///" + mixed + "?host=" + s.host + "&port=" + s.port,
                                   "host=" + s.host + " port=" + s.port + " dbname='" + mixed + "'"}) {
        ds->connect(name.c_str(), user.c_str(), pw.c_str(), "");
        EXPECT_EQ(0, ds->validateConnection()) << name;
    }
    EXPECT_EQ("1", adminSql("SELECT count(*) FROM pg_database WHERE datname = '" + mixed + "'"));

    // A backend the server ends is found by validation; a new connect works.
    const std::string pid = adminSql("SELECT pid FROM pg_stat_activity WHERE usename = '" + user + "' AND datname = '" +
                                     mixed + "'");
    ASSERT_FALSE(pid.empty());
    adminSql("SELECT pg_terminate_backend(" + pid + ")");
    EXPECT_EQ(2, ds->validateConnection());
    ds->connect(mixed.c_str(), user.c_str(), pw.c_str(), "");
    EXPECT_EQ(0, ds->validateConnection());
    ds->disconnect();
    EXPECT_EQ(0, ds->isConnected());
    EXPECT_EQ(1, ds->validateConnection());
}

TEST(DKDatastorePGConnect, LibpqFallbacksNeverSupplyCredentials) {
    const std::string& user = role().name;
    const std::string& pw = role().password;
    // The right password in every place libpq looks besides connect's arguments.
    dktest::TempDir dir;
    dktest::writeFile(dir / "pgpass", "*:*:*:*:" + pw + "\n");
    std::filesystem::permissions(dir / "pgpass", std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    dktest::writeFile(dir / "services", "[dk]\nuser=" + user + "\npassword=" + pw + "\n");
    setenv("PGPASSWORD", pw.c_str(), 1);
    setenv("PGPASSFILE", (dir / "pgpass").c_str(), 1);
    setenv("PGSERVICEFILE", (dir / "services").c_str(), 1);
    setenv("PGSERVICE", "dk", 1);
    const long wrong = connectFailure<DKLogonFailure>("postgres", user, "wrong-password").id;
    const long empty = connectFailure<DKLogonFailure>("postgres", user, "").id;
    for (const char* v : {"PGPASSWORD", "PGPASSFILE", "PGSERVICEFILE", "PGSERVICE"}) unsetenv(v);
    EXPECT_EQ(9201L, wrong);
    EXPECT_EQ(9201L, empty);
}

TEST(DKDatastorePGConnect, ServersThatTrustOrAreGoneOrHangAreRefusedInTime) {
    const std::string& user = role().name;
    {
        // A server that lets everyone in never gets a datastore connected.
        OwnServer trusting(true);
        const dktest::Failure f = connectFailure<DKLogonFailure>(trusting.conninfo("postgres"), "dk_super", "any", "create=1");
        EXPECT_EQ(9204L, f.id) << f.text;
        trusting.stop();
        EXPECT_EQ(9200L, connectFailure<DKServerNotAvailable>(trusting.conninfo("postgres"), user, "x").id);
    }
    // A socket that takes the connection and never answers: refused after connect_timeout.
    dktest::TempDir dir;
    const std::string path = (dir / ".s.PGSQL.5432").string();
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(0, bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr));
    ASSERT_EQ(0, listen(fd, 4));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(9200L, connectFailure<DKServerNotAvailable>("host=" + dir.str() + " port=5432 dbname=x", user, "x",
                                                          "connect_timeout=2").id);
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(seconds, 1.5);
    EXPECT_LT(seconds, 6.0);
    close(fd);
}

TEST(DKDatastorePGConnect, APoolReusesSessionsAndAValidatingPoolReplacesOneTheServerEnded) {
    const std::string& user = role().name;
    const std::string& pw = role().password;
    const std::string db = uniqueName("dkpool");
    DKDatastorePool pool("PG", "dkdspg");   // found by its bare name beside the library
    pool.setDatastoreName(db.c_str());
    pool.setConnectString("create=1");
    pool.setValidate(1);
    dkDatastore* first = pool.getConnection(user.c_str(), pw.c_str());
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(DKString("PG"), first->datastoreType());
    pool.returnConnection(first);
    dkDatastore* again = pool.getConnection(user.c_str(), pw.c_str());
    EXPECT_EQ(first, again);   // reused
    // Another password for the same role is never given the free session.
    pool.returnConnection(again);
    EXPECT_EQ(9201L, errorOf<DKLogonFailure>([&] { pool.getConnection(user.c_str(), "wrong-password"); }));

    // Every session of the role ended by the server: the next hand-out is a live one.
    adminSql("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '" + db + "'");
    dkDatastore* live = pool.getConnection(user.c_str(), pw.c_str());
    ASSERT_NE(nullptr, live);
    EXPECT_EQ(0, live->validateConnection());
    pool.returnConnection(live);
}
