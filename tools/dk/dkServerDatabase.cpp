// tools/dk/dkServerDatabase.cpp
//
// Dropping a repository's database on a PostgreSQL server, through libpq: the database named by
// the URI is dropped from the server's maintenance database, with the same role and password and
// none of libpq's other sources of credentials.

#include "dkServerDatabase.hpp"

#include <memory>

#ifdef DK_WITH_LIBPQ
#include <libpq-fe.h>

namespace dkcli {

namespace {

constexpr const char* kMaintenanceDatabase = "postgres";   // every cluster has it

std::string messageOf(PGconn* c) {
    std::string m = c ? PQerrorMessage(c) : "out of memory";
    while (!m.empty() && (m.back() == '\n' || m.back() == ' ')) m.pop_back();
    return m;
}

// The database the URI names, read by libpq's own parser; "" when it names none.
std::string databaseOf(const std::string& uri) {
    std::unique_ptr<PQconninfoOption, void (*)(PQconninfoOption*)> options(PQconninfoParse(uri.c_str(), nullptr),
                                                                           PQconninfoFree);
    if (!options) return "";
    for (const PQconninfoOption* o = options.get(); o->keyword; ++o)
        if (std::string(o->keyword) == "dbname" && o->val) return o->val;
    return "";
}

}  // namespace

std::string dropServerDatabase(const std::string& uri, const std::string& user, const std::string& password) {
    const std::string database = databaseOf(uri);
    if (database.empty()) return "the URI names no database";
    // The URI is expanded first; the keywords after it override its database and add the
    // credentials, with passfile=/dev/null keeping ~/.pgpass out.
    const char* const keys[] = {"dbname", "dbname", "user", "password", "passfile", "connect_timeout", nullptr};
    const char* const values[] = {uri.c_str(), kMaintenanceDatabase, user.c_str(), password.c_str(), "/dev/null", "10",
                                  nullptr};
    std::unique_ptr<PGconn, void (*)(PGconn*)> c(PQconnectdbParams(keys, values, 1), PQfinish);
    if (PQstatus(c.get()) != CONNECTION_OK) return messageOf(c.get());
    std::unique_ptr<char, void (*)(void*)> quoted(PQescapeIdentifier(c.get(), database.c_str(), database.size()),
                                                  PQfreemem);
    if (!quoted) return messageOf(c.get());
    // FORCE: the session that failed may not have left the server yet.
    const std::string sql = std::string("DROP DATABASE IF EXISTS ") + quoted.get() + " WITH (FORCE)";
    std::unique_ptr<PGresult, void (*)(PGresult*)> r(PQexec(c.get(), sql.c_str()), PQclear);
    return PQresultStatus(r.get()) == PGRES_COMMAND_OK ? "" : messageOf(c.get());
}

}  // namespace dkcli
#else
// Built without libpq, there is no PostgreSQL connector either, so no database was made.
std::string dkcli::dropServerDatabase(const std::string&, const std::string&, const std::string&) {
    return "built without libpq";
}
#endif
