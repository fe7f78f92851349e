// connectors/postgres/PPgStatementCache.hpp
#pragma once

// The connector's own statements on items, prepared once per server session and run again by
// name, so the server parses and plans each only once. Internal to libdkdspg.

#include "PPgStatement.hpp"

#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

namespace dkpg {

class PParams;

// The statements one session has prepared, by their text. The texts come from the catalogue
// (an entity's insert, select, update and delete), so there are few; past kCapacity the oldest is
// deallocated. A statement that fails is forgotten and deallocated at the next chance, so a
// statement a schema change broke is prepared again. clear() forgets all when the session ends
// (the server forgets them with it). Belongs to one datastore; one thread at a time.
class PStatementCache {
public:
    static constexpr std::size_t kCapacity = 64;

    // Runs sql with params, preparing it first when this session has not; throws as run() does.
    PResult run(PGconn* conn, const std::string& sql, PParams& params, const char* source, const char* function,
                const char* what);
    void clear();

private:
    // Deallocates what waits for it, unless a failed transaction would refuse the statement.
    void release(PGconn* conn);

    std::unordered_map<std::string, std::string> names_;   // statement text -> prepared name
    std::deque<std::string> order_;                        // texts, oldest first
    std::vector<std::string> unused_;                      // names to deallocate
    unsigned long next_ = 0;
};

}  // namespace dkpg
