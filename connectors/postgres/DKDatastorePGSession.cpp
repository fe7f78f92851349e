// connectors/postgres/DKDatastorePGSession.cpp
//
// The session of a DKDatastorePG with its server: logging on, creating the database, telling a
// wrong password from a missing database or a server that is not there, and asking the server
// whether the session still lives. The role and password given to connect are the only
// credentials libpq sees; a server that lets the role in without asking for the password is
// refused, since it would let anyone in.

#include "DKDatastorePG.hpp"
#include "PPgStatement.hpp"

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <libpq-fe.h>

#include <memory>
#include <string>
#include <vector>

using namespace dkpg;

namespace {

constexpr const char* kSource = kDatastoreSource;
constexpr const char* kMaintenanceDatabase = "postgres";   // every cluster has it; CREATE DATABASE runs there
constexpr const char* kFormat = "1";                       // of the catalogue this connector writes
// The advisory lock that serialises making a catalogue, so two first connects make one.
constexpr const char* kCatalogueLock = "SELECT pg_advisory_xact_lock(7628)";

using POwnedConn = std::unique_ptr<pg_conn, void (*)(pg_conn*)>;

// libpq's message of a failed connection, without its trailing newline. It names the server and
// the database, never the password.
DKString connectError(pg_conn* c) {
    std::string m = c ? PQerrorMessage(c) : "out of memory";
    while (!m.empty() && (m.back() == '\n' || m.back() == ' ')) m.pop_back();
    return DKString(m.c_str());
}

// A blocking logon. Later keywords override earlier ones, so the name (expanded when it is a
// URI or conninfo) comes first and the credentials after it; passfile=/dev/null keeps
// ~/.pgpass and PGPASSFILE out, and a non-empty password keeps PGPASSWORD out.
POwnedConn logOn(const PTarget& target, const char* database, const char* user, const char* password,
                 const PConnectOptions& options) {
    const std::string timeout = std::to_string(options.connectTimeout);
    std::vector<const char*> keys = {"dbname"}, values = {target.name.c_str()};
    if (database) {
        keys.push_back("dbname");
        values.push_back(database);
    }
    const char* const fixed[][2] = {{"user", user},
                                    {"password", password},
                                    {"passfile", "/dev/null"},
                                    {"connect_timeout", timeout.c_str()},
                                    {"client_encoding", "UTF8"},
                                    // the text forms PPgValues.cpp reads
                                    {"options", "-c DateStyle=ISO -c bytea_output=hex -c extra_float_digits=1"},
                                    {"application_name", "dk"}};
    for (const auto& kv : fixed) {
        keys.push_back(kv[0]);
        values.push_back(kv[1]);
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    return POwnedConn(PQconnectdbParams(keys.data(), values.data(), target.plain ? 0 : 1), PQfinish);
}

bool connected(pg_conn* c) { return c != nullptr && PQstatus(c) == CONNECTION_OK; }
bool askedForPassword(pg_conn* c) { return c != nullptr && PQconnectionUsedPassword(c) != 0; }

}  // namespace

void DKDatastorePG::connect(const char* datastoreName, const char* userId, const char* password,
                            const char* connectString) {
    static const char* const fn = "DKDatastorePG::connect";
    DKTraceScope t(trace_, fn, this);
    const PConnectOptions options = parseConnect(connectString);
    const PTarget target = parseName(datastoreName);
    if (userId == nullptr || *userId == '\0') dkThrow<DKUsageError>(kMsgBadConnect, kSource, fn, DKString("no role"));
    // An empty password would let libpq look for one elsewhere; it never reaches the server.
    if (password == nullptr || *password == '\0')
        dkThrowServer<DKLogonFailure>(kMsgLogonFailed, kSource, fn, DKString("an empty password is never sent"), "28P01", 0);
    closeConnection();   // connecting a connected object connects it again

    POwnedConn c = logOn(target, nullptr, userId, password, options);
    if (!connected(c.get())) {
        const DKString why = connectError(c.get());
        // Nothing asked for the password: the server is not there (or refused before logon).
        if (!askedForPassword(c.get()))
            dkThrowServer<DKServerNotAvailable>(kMsgServerDown, kSource, fn, why, "08006", 0);
        // The server checks the password before it looks for the database, so a failure after
        // the password was asked for is either. The maintenance database tells which.
        POwnedConn m = logOn(target, kMaintenanceDatabase, userId, password, options);
        if (!connected(m.get())) {
            if (askedForPassword(m.get())) dkThrowServer<DKLogonFailure>(kMsgLogonFailed, kSource, fn, why, "28P01", 0);
            dkThrowServer<DKServerNotAvailable>(kMsgServerDown, kSource, fn, connectError(m.get()), "08006", 0);
        }
        if (!askedForPassword(m.get()))
            dkThrowServer<DKLogonFailure>(kMsgPasswordUnchecked, kSource, fn, DKString(userId), "28000", 0);
        if (!options.create)
            dkThrowServer<DKServerNotAvailable>(kMsgNoDatabase, kSource, fn, DKString(target.database.c_str()), "3D000", 0);
        std::unique_ptr<char, void (*)(void*)> quoted(
            PQescapeIdentifier(m.get(), target.database.c_str(), target.database.size()), PQfreemem);
        if (!quoted) throwPg(m.get(), nullptr, kSource, fn, DKString("quoting the database name"));
        std::unique_ptr<PGresult, void (*)(PGresult*)> r(PQexec(m.get(), (std::string("CREATE DATABASE ") + quoted.get()).c_str()),
                                                         PQclear);
        // 42P04: another connect created it meanwhile, which is as good.
        const char* state = r ? PQresultErrorField(r.get(), PG_DIAG_SQLSTATE) : nullptr;
        if (PQresultStatus(r.get()) != PGRES_COMMAND_OK && !(state && std::string(state) == "42P04"))
            throwPg(m.get(), r.get(), kSource, fn, DKString("creating the database ") + target.database.c_str());
        m.reset();
        c = logOn(target, nullptr, userId, password, options);
        if (!connected(c.get())) {
            const DKString again = connectError(c.get());
            dkThrowServer<DKServerNotAvailable>(kMsgServerDown, kSource, fn, again, "08006", 0);
        }
    }
    if (!askedForPassword(c.get()))
        dkThrowServer<DKLogonFailure>(kMsgPasswordUnchecked, kSource, fn, DKString(userId), "28000", 0);
    // Only now that the server knows the role may the database change.
    repositoryName_ = openCatalogue(c.get(), target.database, options.create);
    // The server's notices (a text query without a word in it, say) are no failures, and a
    // library writes nothing to its process's stderr, where libpq would print them.
    PQsetNoticeProcessor(c.get(), [](void*, const char*) {}, nullptr);
    // Set once the catalogue is open, so that opening it may still complete it; from here on a
    // write meets 25006.
    if (options.readOnly && !options.create)
        run(c.get(), "SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY", {}, kSource, fn, "making the session read-only");
    conn_ = c.release();
    setDatastoreName(datastoreName);
    setUserName(userId);
}

// A repository is a database holding the catalogue table dk_repository (its format and name). A
// database without it is made one with create=1 when it holds no table at all, so an empty database
// a server's administrator made for the repository is taken, and another application's never is.
// The whole check runs in one transaction; a failure leaves nothing, as the connection closes.
std::string DKDatastorePG::openCatalogue(pg_conn* c, const std::string& database, bool create) {
    static const char* const fn = "DKDatastorePG::connect";
    run(c, "BEGIN", {}, kSource, fn, "opening the catalogue");
    run(c, kCatalogueLock, {}, kSource, fn, "opening the catalogue");
    PResult found = run(c,
                        "SELECT to_regclass('public.dk_repository') IS NOT NULL, (SELECT count(*) FROM pg_class k JOIN "
                        "pg_namespace n ON n.oid = k.relnamespace WHERE n.nspname = 'public')",
                        {}, kSource, fn, "reading the catalogue");
    if (std::string(PQgetvalue(found.get(), 0, 0)) != "t") {
        if (!create || std::string(PQgetvalue(found.get(), 0, 1)) != "0")
            dkThrow<DKDatastoreError>(kMsgNotRepository, kSource, fn, DKString(database.c_str()));
        run(c, "CREATE TABLE public.dk_repository (key text PRIMARY KEY, value text NOT NULL)", {}, kSource, fn,
            "creating the catalogue");
        run(c, "INSERT INTO public.dk_repository VALUES ('format', $1), ('name', $2)", {kFormat, database}, kSource, fn,
            "creating the catalogue");
        // Entities and their attributes; an entity's table is its lower-case name.
        run(c,
            "CREATE TABLE public.dk_entities (id serial PRIMARY KEY, name text NOT NULL, lname text NOT NULL UNIQUE, "
            "type smallint NOT NULL, description text NOT NULL, parent text NOT NULL DEFAULT '')",
            {}, kSource, fn, "creating the catalogue");
        run(c,
            "CREATE TABLE public.dk_attrs (entity integer NOT NULL REFERENCES public.dk_entities ON DELETE CASCADE, "
            "position smallint NOT NULL, name text NOT NULL, lname text NOT NULL, type smallint NOT NULL, "
            "nullable smallint NOT NULL, size bigint NOT NULL, prec bigint NOT NULL, scale bigint NOT NULL, "
            "description text NOT NULL, text_searchable smallint NOT NULL, PRIMARY KEY (entity, lname))",
            {}, kSource, fn, "creating the catalogue");
    }
    ensureContentTable(c, fn);
    PResult rows = run(c, "SELECT key, value FROM public.dk_repository WHERE key IN ('format', 'name') ORDER BY key", {},
                       kSource, fn, "reading the catalogue");
    if (PQntuples(rows.get()) != 2 || std::string(PQgetvalue(rows.get(), 0, 1)) != kFormat)
        dkThrow<DKDatastoreError>(kMsgNotRepository, kSource, fn, DKString(database.c_str()) + ": unknown catalogue format");
    std::string name = PQgetvalue(rows.get(), 1, 1);
    ensureMemberTables(c, fn);   // a repository made before membership gains its tables here
    ensureTemplateTables(c, fn);
    ensureTextIndexes(c, fn);
    ensureEntityParents(c, fn);
    ensureChildTables(c, fn);
    openRights(c, fn);
    run(c, "COMMIT", {}, kSource, fn, "opening the catalogue");
    return name;
}

void DKDatastorePG::disconnect() {
    DKTraceScope t(trace_, "DKDatastorePG::disconnect", this);
    closeConnection();
}

short DKDatastorePG::validateConnection() {
    if (conn_ == nullptr) return 1;
    conn("DKDatastorePG::validateConnection");   // reads what is still due
    std::unique_ptr<PGresult, void (*)(PGresult*)> r(PQexec(conn_, "SELECT 1"), PQclear);
    if (PQstatus(conn_) != CONNECTION_OK) return 2;
    // A session inside a failed transaction still answers; it is alive.
    return PQresultStatus(r.get()) == PGRES_TUPLES_OK || PQtransactionStatus(conn_) == PQTRANS_INERROR ? 0 : 2;
}
