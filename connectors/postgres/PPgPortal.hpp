// connectors/postgres/PPgPortal.hpp
#pragma once

// Server-side cursors (portals) of a session: how a query's rows are read in batches of bounded
// size instead of all at once. Internal to libdkdspg.

#include "PPgStatement.hpp"

#include <libpq-fe.h>

#include <string>

namespace dkpg {

class PParams;

// One portal of the session, declared NO SCROLL in the transaction that is open on it and read
// forward in batches. Every batch (and the count of what is left) runs in a savepoint of its own,
// made read-only and given the query's statement_timeout: the query writes nothing whatever its
// text, a batch that runs too long ends at the timeout, and a failed batch is undone alone,
// leaving the transaction and the session's other portals as they were. The portal goes with its
// transaction.
//
// Holds only its name; the connection is the caller's, as is the transaction. One thread at a
// time, the thread of its datastore.
class PPortal {
public:
    explicit PPortal(std::string name) : name_(std::move(name)) {}

    // Declares the portal for sql with params bound, or by the prepared statement named prepared
    // (a declaration of this portal). With guarded, in a savepoint, so that a failure leaves a
    // transaction that others share going on.
    void declare(PGconn* c, const std::string& sql, PParams& params, bool guarded, const char* source,
                 const char* function, const char* prepared = nullptr);
    // The next batch of at most rows rows; fewer means the last.
    PResult fetch(PGconn* c, long rows, long timeoutMs, const char* source, const char* function);
    // Skips the rest of the rows and gives their number.
    unsigned long skipAll(PGconn* c, long timeoutMs, const char* source, const char* function);
    // Closes the portal, in a savepoint of its own: a portal already gone (its batch failed, its
    // transaction ended) leaves the transaction as it was. Nothing on a lost connection.
    void close(PGconn* c) noexcept;

    const std::string& name() const { return name_; }

private:
    PResult step(PGconn* c, const std::string& command, long timeoutMs, const char* source, const char* function,
                 const char* what);

    std::string name_;
};

// Runs sql (several statements) in a savepoint of its own; on failure undoes the savepoint, and
// gives false. For what must not end the transaction it runs in, and need not succeed.
bool runGuarded(PGconn* c, const std::string& sql) noexcept;

}  // namespace dkpg
