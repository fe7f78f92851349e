// connectors/postgres/PPgStatement.hpp
#pragma once

// Statements of the connector's own SQL: run with text parameters bound (never pasted), the
// result owned, a failure thrown through throwPg. Internal to libdkdspg.

#include <libpq-fe.h>

#include <initializer_list>
#include <memory>
#include <string>

namespace dkpg {

using PResult = std::unique_ptr<PGresult, void (*)(PGresult*)>;

// Runs sql with params as $1, $2 ... (text, none null); a result that is not a command's or rows'
// is thrown with what the connector was doing (what).
PResult run(PGconn* conn, const char* sql, std::initializer_list<std::string> params, const char* source,
            const char* function, const char* what);

class PParams;
// The same with the parameters of params (texts, or bytes sent in binary, nulls), results in text.
PResult run(PGconn* conn, const char* sql, PParams& params, const char* source, const char* function, const char* what);

}  // namespace dkpg
