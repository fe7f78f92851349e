// connectors/sqlite/PSqliteConfig.hpp
#pragma once

// The connector's configuration: the configuration string of createObjectWithConfig, the connect
// string of connect, and the rules for entity and attribute names. Unknown keys and bad values
// are errors, so a typo never goes unnoticed. Internal to libdkdssqlite.

#include <string>

namespace dksqlite {

// Identifier rules: an ASCII letter, then letters, digits and '_' (at most 64 characters); the
// prefixes "dk_" and "sqlite_" are reserved (any case). Names compare without case, as SQLite
// compares identifiers.
bool isValidName(const char* name);
std::string quoteIdent(const std::string& name);   // "name" with inner quotes doubled
std::string lowerName(const char* name);           // ASCII lower case, the key of name lookups
bool sameName(const char* a, const char* b);       // equal without ASCII case; null is ""
std::string upperName(std::string name);           // ASCII upper case (pragma values, flags)

// What the configuration string sets (createObjectWithConfig), with the defaults of createObject.
struct PSettings {
    int busyTimeoutMs = 5000;
    std::string journalMode = "WAL";   // set at creation; later only when journalModeGiven
    bool journalModeGiven = false;     // the string named journal_mode
    std::string synchronous = "NORMAL";
    long cacheSize = -8000;            // SQLite's cache_size: pages, or KiB when negative
    long pbkdf2Iterations = 200000;    // for users created from now on; each user keeps its own
    long queryTimeoutMs = 0;           // 0: queries run as long as they need
    long long heapLimit = 0;           // SQLite's hard heap limit (process-wide); 0: none
    bool heapLimitGiven = false;       // only a string naming heap_limit changes the process's limit
};

// Parses "key=value;key=value" (';' or ',' between pairs, blanks around keys and values ignored,
// keys without case). Unknown keys and bad values give DKUsageError kMsgBadConfig.
PSettings parseConfig(const char* config);

// What the connect string asks for.
struct PConnectOptions {
    bool create = false;      // create=1: create the repository when the file is new
    bool readOnly = false;    // readonly=1: open the file read-only; never with create=1
    std::string name;         // name=...: the repository name given at creation
};
PConnectOptions parseConnect(const char* connect);   // DKUsageError kMsgBadConnect

}  // namespace dksqlite
