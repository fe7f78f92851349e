// connectors/postgres/PPgStatement.cpp
//
// The one way the connector runs its own SQL, so that every statement binds its values and
// every failure keeps the server's SQLSTATE.

#include "PPgStatement.hpp"
#include "PPgError.hpp"
#include "PPgValues.hpp"

#include <vector>

namespace dkpg {

namespace {

PResult checked(PGconn* conn, PGresult* result, const char* source, const char* function, const char* what) {
    PResult r(result, PQclear);
    const ExecStatusType status = PQresultStatus(r.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) throwPg(conn, r.get(), source, function, DKString(what));
    return r;
}

}  // namespace

PResult run(PGconn* conn, const char* sql, std::initializer_list<std::string> params, const char* source,
            const char* function, const char* what) {
    std::vector<const char*> values;
    for (const std::string& p : params) values.push_back(p.c_str());
    return checked(conn, PQexecParams(conn, sql, static_cast<int>(values.size()), nullptr, values.data(), nullptr, nullptr, 0),
                   source, function, what);
}

PResult run(PGconn* conn, const char* sql, PParams& params, const char* source, const char* function, const char* what) {
    const char* const* values = params.values();
    return checked(conn, PQexecParams(conn, sql, params.count(), nullptr, values, params.lengths(), params.formats(), 0),
                   source, function, what);
}

}  // namespace dkpg
