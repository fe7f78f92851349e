// connectors/postgres/PPgError.cpp
//
// Server errors as exceptions: the SQLSTATE of a failed result picks the class, and is kept as
// the exception's error state so that a caller can tell a deadlock (40P01) from a unique key
// (23505) without reading the text.

#include "PPgError.hpp"

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <libpq-fe.h>

#include <cstring>
#include <string>

namespace dkpg {

namespace {

bool startsWith(const char* s, const char* prefix) { return std::strncmp(s, prefix, std::strlen(prefix)) == 0; }

// The server's message without libpq's trailing newline.
std::string primaryMessage(pg_conn* conn, const pg_result* result) {
    const char* m = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    std::string text = m ? m : (conn ? PQerrorMessage(conn) : "");
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

}  // namespace

void throwPg(pg_conn* conn, const pg_result* result, const char* source, const char* function, const DKString& what,
             long msgId) {
    const char* field = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const bool lost = conn == nullptr || PQstatus(conn) != CONNECTION_OK;
    // A connection that broke has no state from the server; 08006 is the class of a lost link.
    const std::string state = field ? field : (lost ? "08006" : "");
    const DKString detail = what + ": " + primaryMessage(conn, result).c_str();
    const char* s = state.c_str();
    // A row that a row-level-security policy keeps out: the user lacks the privilege on its item.
    // The server raises it, alone among its refusals of 42501, where it checks a new row against
    // the policies; the routine's name is never translated, unlike the message.
    const char* routine = result ? PQresultErrorField(result, PG_DIAG_SOURCE_FUNCTION) : nullptr;
    if (state == "42501" && routine != nullptr && std::strcmp(routine, "ExecWithCheckOptions") == 0)
        dkThrowServer<DKDatastoreAccessError>(kMsgNotAuthorized, source, function, detail, s, 0);
    if (state == "DK100") dkThrowServer<DKNotCheckedOutException>(kMsgCheckedOut, source, function, detail, s, 0);
    if (startsWith(s, "42") || startsWith(s, "22") || startsWith(s, "0A") || state == "25006")
        dkThrowServer<DKUsageError>(msgId, source, function, detail, s, 0);
    if (startsWith(s, "28")) dkThrowServer<DKLogonFailure>(kMsgLogonFailed, source, function, detail, s, 0);
    if (startsWith(s, "08") || startsWith(s, "57P") || lost)
        dkThrowServer<DKServerNotAvailable>(kMsgServerDown, source, function, detail, s, 0);
    dkThrowServer<DKDatastoreError>(msgId, source, function, detail, s, 0);
}

}  // namespace dkpg
