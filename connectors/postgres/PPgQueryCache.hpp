// connectors/postgres/PPgQueryCache.hpp
#pragma once

// The queries one session has run, prepared once and opened again by name, and the opening of a
// query's first batch in one round trip. Internal to libdkdspg.

#include "PPgStatement.hpp"

#include <libpq-fe.h>

#include <list>
#include <string>
#include <unordered_map>
#include <vector>

namespace dkpg {

class PParams;

// One query text this session knows gives rows: the server checked it (prepared and described)
// and holds a prepared "DECLARE <cursor> NO SCROLL CURSOR FOR <text>" under the entry's name, so
// that opening the query again sends only its values. The cursor's name is fixed in that
// statement, so one cursor at a time uses it (busy); a second cursor of the same text opens its
// own portal from the text.
//
// A result that fits one batch needs no portal: `limited`, when the server could prepare it, is
// the query limited to one batch, planned once like any prepared statement.
struct PQuery {
    std::string statement;   // the prepared DECLARE
    std::string cursor;      // the portal it declares
    std::string limited;     // the prepared "SELECT * FROM (<text>) LIMIT <batch>", or empty
    bool busy = false;
    bool prepared = false;   // the server holds the statement
    int format = 0;          // of the limited statement's rows: 1 (binary) when every column reads so
};

// The queries of one session, by their text after the markers were rewritten. Past kCapacity
// the least recently used is deallocated; an entry whose statement failed is forgotten (and
// deallocated at the next chance), so a query another session's schema change broke is checked
// and prepared again. clear() forgets all when the session ends (the server forgets them with
// it). Entries are handed out by pointer and stay valid until forgotten. Belongs to one
// datastore; one thread at a time.
class PQueryCache {
public:
    static constexpr std::size_t kCapacity = 64;

    // The entry of sql, moved to the front, or null.
    PQuery* find(const std::string& sql);
    // A new entry for sql, its statement and cursor named but not yet prepared.
    PQuery* add(const std::string& sql);
    // Forgets sql's entry; its statement is deallocated by the next release().
    void forget(const std::string& sql);
    // Deallocates what waits for it (in a savepoint when guarded), unless a failed transaction
    // would refuse it.
    void release(PGconn* c, bool guarded);
    void clear();

    // The names of the session's prepared statements that begin the shared read-only
    // transaction, set its statement_timeout and end it, prepared on first use outside a
    // transaction: the server then parses none of them per query.
    struct PFrame {
        std::string begin, timeout, end;
    };
    const PFrame& frame(PGconn* c, long timeoutMs, const char* source, const char* function);
    // The session lost them (26000): prepared again, under new names, on next use.
    void forgetFrame();

private:
    std::list<std::string> order_;   // texts, most recently used first
    std::unordered_map<std::string, std::pair<PQuery, std::list<std::string>::iterator>> entries_;
    std::vector<std::string> unused_;   // statements to deallocate
    unsigned long next_ = 0;
    PFrame frame_;                      // names empty until prepared
};

// One statement of a pipeline: the name of a prepared statement, or a text run as it stands.
struct PPiped {
    std::string sql;
    bool prepared = true;
};

// Runs statements (none with parameters but the one at index `bound`, a prepared statement run
// with params) in libpq's pipeline mode: sent together, answered in one round trip, the first
// failure skipping the rest. Gives the result of the one at index `wanted`; throws the first
// failure as run() does, keeping its SQLSTATE. The bound statement's rows come in format (0
// text, 1 binary).
PResult runPipelined(PGconn* c, const std::vector<PPiped>& statements, std::size_t bound, std::size_t wanted,
                     PParams& params, const char* source, const char* function, const char* what, int format = 0);

}  // namespace dkpg
