// tests/connectors/dkPgTestSupport.hpp
#pragma once

// What the PostgreSQL suites share: a server described by the server.env of tools/pgserver.sh
// (the fixture's in DKPG_SERVER), an administrator's SQL on it through libpq, names no other
// suite of a parallel run takes, roles of a suite's own and sessions of the connector the suite
// loads (DKPG_LIBRARY).

#include "dkConnectorSupport.hpp"

#include <libpq-fe.h>

#include <unistd.h>

#include <atomic>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

namespace dkpgtest {

// The KEY=VALUE lines of folder/server.env (DKPG_HOST, DKPG_PORT, DKPG_USER, DKPG_PASSWORD).
inline std::map<std::string, std::string> readServer(const std::string& folder) {
    std::ifstream in(folder + "/server.env");
    std::map<std::string, std::string> env;
    for (std::string line; std::getline(in, line);)
        if (line.find('=') != std::string::npos) env[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
    return env;
}

// The fixture's server. Plain database names reach it through PGHOST and PGPORT, set here once,
// before the suite starts a thread.
inline const std::map<std::string, std::string>& server() {
    static const auto s = [] {
        const char* folder = std::getenv("DKPG_SERVER");
        auto env = readServer(folder ? folder : "");
        if (env["DKPG_HOST"].empty()) throw std::runtime_error("no server in DKPG_SERVER: run the suite through ctest");
        setenv("PGHOST", env["DKPG_HOST"].c_str(), 1);
        setenv("PGPORT", env["DKPG_PORT"].c_str(), 1);
        return env;
    }();
    return s;
}

// Runs sql on database as the administrator; the first row's first value, "" when there is none.
inline std::string adminSql(const std::string& sql, const std::string& database = "postgres") {
    const std::string info = "dbname=" + database + " user=" + server().at("DKPG_USER") + " password=" + server().at("DKPG_PASSWORD");
    std::unique_ptr<PGconn, void (*)(PGconn*)> c(PQconnectdb(info.c_str()), PQfinish);
    std::unique_ptr<PGresult, void (*)(PGresult*)> r(PQexec(c.get(), sql.c_str()), PQclear);
    if (PQresultStatus(r.get()) != PGRES_COMMAND_OK && PQresultStatus(r.get()) != PGRES_TUPLES_OK) throw std::runtime_error(sql + ": " + PQerrorMessage(c.get()));
    return PQntuples(r.get()) > 0 ? PQgetvalue(r.get(), 0, 0) : "";
}

// prefix, the time and process id (ids are reused), a counter.
inline std::string uniqueName(const std::string& prefix) {
    static std::atomic<int> n{0};
    return prefix + "_" + std::to_string(std::time(nullptr)) + "_" + std::to_string(getpid()) + "_" + std::to_string(++n);
}

// A new login role that may create databases, its password its name.
inline std::string creatorRole(const std::string& prefix) {
    const std::string role = uniqueName(prefix);
    adminSql("CREATE ROLE " + role + " LOGIN CREATEDB PASSWORD '" + role + "'");
    return role;
}

#ifdef DKPG_LIBRARY   // defined for the suites that load the connector
// A session of user on db (any name libpq takes), made with config when one is given.
inline std::unique_ptr<dkDatastore> session(const std::string& db, const std::string& user, const std::string& password,
                                            const char* connect = "", const char* config = nullptr) {
    const dkconf::Factory& f = dkconf::factoryFor(DKPG_LIBRARY);
    std::unique_ptr<dkDatastore> ds(config ? f.createWithConfig("DKDatastorePG", config) : f.create("DKDatastorePG"));
    ds->connect(db.c_str(), user.c_str(), password.c_str(), connect);
    return ds;
}
#endif

}  // namespace dkpgtest
