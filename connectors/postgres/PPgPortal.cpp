// connectors/postgres/PPgPortal.cpp
//
// Portals of a session read in batches. A batch is one round trip: the savepoint, its read-only
// setting and timeout, the FETCH and the savepoint's undoing are sent as one query string, whose
// results come back one per statement. Undoing the savepoint keeps the portal, which was made
// outside it and is not running when the savepoint goes.

#include "PPgPortal.hpp"
#include "PPgError.hpp"
#include "PPgValues.hpp"

#include <dk/DKString.hpp>

#include <cstdlib>

namespace dkpg {

namespace {

constexpr const char* kUndo = "ROLLBACK TO SAVEPOINT dk_step; RELEASE SAVEPOINT dk_step";

}  // namespace

bool runGuarded(PGconn* c, const std::string& sql) noexcept {
    if (c == nullptr || PQstatus(c) != CONNECTION_OK) return false;
    PResult r(PQexec(c, ("SAVEPOINT dk_step; " + sql + "; RELEASE SAVEPOINT dk_step").c_str()), PQclear);
    if (PQresultStatus(r.get()) == PGRES_COMMAND_OK) return true;
    if (PQstatus(c) == CONNECTION_OK) PQclear(PQexec(c, kUndo));
    return false;
}

void PPortal::declare(PGconn* c, const std::string& sql, PParams& params, bool guarded, const char* source,
                      const char* function, const char* prepared) {
    if (guarded) run(c, "SAVEPOINT dk_step", {}, source, function, "declaring the query's cursor");
    const char* const* values = params.values();
    PResult r(prepared != nullptr
                  ? PQexecPrepared(c, prepared, params.count(), values, params.lengths(), params.formats(), 0)
                  : PQexecParams(c, ("DECLARE " + name_ + " NO SCROLL CURSOR FOR " + sql).c_str(), params.count(),
                                 nullptr, values, params.lengths(), params.formats(), 0),
              PQclear);
    if (PQresultStatus(r.get()) != PGRES_COMMAND_OK) {
        if (guarded && PQstatus(c) == CONNECTION_OK) PQclear(PQexec(c, kUndo));
        throwPg(c, r.get(), source, function, DKString("declaring the query's cursor"));
    }
    if (guarded) run(c, "RELEASE SAVEPOINT dk_step", {}, source, function, "declaring the query's cursor");
}

PResult PPortal::step(PGconn* c, const std::string& command, long timeoutMs, const char* source, const char* function,
                      const char* what) {
    const std::string sql = "SAVEPOINT dk_step; SET LOCAL transaction_read_only = on; SET LOCAL statement_timeout = " +
                            std::to_string(timeoutMs) + "; " + command + "; " + kUndo;
    if (PQsendQuery(c, sql.c_str()) == 0) throwPg(c, nullptr, source, function, DKString(what));
    // The command's result is the fourth; the first failure stops the rest of the string.
    PResult wanted(nullptr, PQclear), failed(nullptr, PQclear);
    int index = 0;
    for (PGresult* r; (r = PQgetResult(c)) != nullptr; ++index) {
        PResult owned(r, PQclear);
        const ExecStatusType s = PQresultStatus(r);
        if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK) {
            if (!failed) failed = std::move(owned);
        } else if (index == 3) {
            wanted = std::move(owned);
        }
    }
    if (failed || !wanted) {
        if (PQstatus(c) == CONNECTION_OK) PQclear(PQexec(c, kUndo));
        throwPg(c, failed.get(), source, function, DKString(what));
    }
    return wanted;
}

PResult PPortal::fetch(PGconn* c, long rows, long timeoutMs, const char* source, const char* function) {
    return step(c, "FETCH FORWARD " + std::to_string(rows) + " FROM " + name_, timeoutMs, source, function,
                "fetching the query's rows");
}

unsigned long PPortal::skipAll(PGconn* c, long timeoutMs, const char* source, const char* function) {
    PResult r = step(c, "MOVE FORWARD ALL IN " + name_, timeoutMs, source, function, "counting the query's rows");
    return std::strtoul(PQcmdTuples(r.get()), nullptr, 10);
}

void PPortal::close(PGconn* c) noexcept { runGuarded(c, "CLOSE " + name_); }

}  // namespace dkpg
