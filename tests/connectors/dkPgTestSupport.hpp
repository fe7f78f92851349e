// tests/connectors/dkPgTestSupport.hpp
#pragma once

// What the PostgreSQL suites share: the throwaway server the CTest fixture started (its folder in
// DKPG_SERVER, described by server.env), an administrator's SQL on it through libpq, and new
// database and role names that no other suite of a parallel run takes.

#include "dkTestSupport.hpp"

#include <libpq-fe.h>

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

namespace dkpgtest {

struct Server {
    std::string host, port, user, password;
    // A conninfo for database on this server with the administrator's credentials.
    std::string adminConninfo(const std::string& database = "postgres") const {
        return "host=" + host + " port=" + port + " dbname=" + database + " user=" + user + " password=" + password;
    }
};

// The KEY=VALUE lines of a server.env file (the script's output).
inline Server readServer(const std::string& folder) {
    std::ifstream in(folder + "/server.env");
    std::map<std::string, std::string> env;
    for (std::string line; std::getline(in, line);) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos) env[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return Server{env["DKPG_HOST"], env["DKPG_PORT"], env["DKPG_USER"], env["DKPG_PASSWORD"]};
}

// The fixture's server. Plain database names reach it through PGHOST and PGPORT, which are set
// here once, before the suite starts any thread.
inline const Server& server() {
    static const Server s = [] {
        const char* folder = std::getenv("DKPG_SERVER");
        if (folder == nullptr) throw std::runtime_error("DKPG_SERVER is not set: run the suite through ctest");
        Server r = readServer(folder);
        if (r.host.empty()) throw std::runtime_error(std::string("no server described in ") + folder);
        setenv("PGHOST", r.host.c_str(), 1);
        setenv("PGPORT", r.port.c_str(), 1);
        return r;
    }();
    return s;
}

// Runs sql on database as the administrator; the first row's first value, "" when there is none.
inline std::string adminSql(const std::string& sql, const std::string& database = "postgres") {
    std::unique_ptr<PGconn, void (*)(PGconn*)> c(PQconnectdb(server().adminConninfo(database).c_str()), PQfinish);
    if (PQstatus(c.get()) != CONNECTION_OK) throw std::runtime_error(PQerrorMessage(c.get()));
    std::unique_ptr<PGresult, void (*)(PGresult*)> r(PQexec(c.get(), sql.c_str()), PQclear);
    const ExecStatusType st = PQresultStatus(r.get());
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) throw std::runtime_error(sql + ": " + PQerrorMessage(c.get()));
    return st == PGRES_TUPLES_OK && PQntuples(r.get()) > 0 ? PQgetvalue(r.get(), 0, 0) : "";
}

// A name no other test of any process on this server has used: prefix, the process id, the
// process's start in seconds (a later process may get the same id), a counter.
inline std::string uniqueName(const std::string& prefix) {
    static std::atomic<int> n{0};
    static const long started = static_cast<long>(std::time(nullptr));
    return prefix + "_" + std::to_string(getpid()) + "_" + std::to_string(started) + "_" + std::to_string(++n);
}

}  // namespace dkpgtest
