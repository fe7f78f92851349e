// connectors/sqlite/PSqlite.hpp
#pragma once

// The thin layer between the connector and the SQLite C interface: owned statements, the one way
// an SQLite failure becomes an exception, the settings read from the configuration and connect
// strings, the password hashes of the users table, and the text forms under which dates, times,
// timestamps and decimals are stored. Internal to libdkdssqlite; nothing here is exported.

#include <dk/DKAny.hpp>
#include <dk/DKString.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace dksqlite {

// Message numbers of the connector (the catalogue's range 9000-9499 for connectors).
enum Msg : long {
    kMsgOpenFailed = 9000,        // the file could not be opened as a database
    kMsgNotRepository = 9001,     // damaged file, or a database that is not a repository
    kMsgLogonFailed = 9002,       // unknown user or wrong password
    kMsgNoRepository = 9003,      // the file does not exist (and creation was not asked for)
    kMsgSqliteFailed = 9004,      // any other SQLite failure
    kMsgBadConfig = 9005,         // configuration string
    kMsgBadConnect = 9006,        // connect string or connect arguments
    kMsgBadName = 9007,           // entity or attribute name
    kMsgNoEntity = 9008,
    kMsgEntityExists = 9009,
    kMsgNoAttr = 9010,
    kMsgAttrExists = 9011,
    kMsgBadType = 9012,           // attribute type code not supported
    kMsgValueMismatch = 9013,     // value does not fit the attribute's type
    kMsgBadQueryLanguage = 9014,
    kMsgQueryRefused = 9015,      // not exactly one read-only SELECT, or reads a protected table
    kMsgBadQuery = 9016,          // SQLite could not prepare the query
    kMsgBadParams = 9017,         // parameters do not match the statement
    kMsgBadObject = 9018,         // not a data object of this repository
    kMsgNoItem = 9019,            // the item named by the pid does not exist
    kMsgTransactionOpen = 9020,
    kMsgNoTransaction = 9021,
    kMsgCursorClosed = 9022,      // the cursor lost its connection (disconnect)
    kMsgBadValue = 9023,          // a stored value cannot be read back
    kMsgReadOnly = 9120,          // a write on a connection made with readonly=1
    kMsgCannotWrite = 9121,       // the file or its folder cannot be written by this user
    kMsgWalUnreadable = 9122,     // a -wal file in a read-only folder that cannot be read consistently
    kMsgQueryTimeout = 9123,      // a query ran longer than query_timeout
    kMsgOutOfMemory = 9124,       // SQLite could not allocate (heap_limit, or the machine)
    kMsgBadCheckLevel = 9125,     // maintenance check level
    kMsgBackupExists = 9126,      // the backup file exists already
    kMsgBackupFailed = 9127       // the backup could not be made
};

// Identifier rules: an ASCII letter, then letters, digits and '_' (at most 64 characters); the
// prefixes "dk_" and "sqlite_" are reserved (any case). Names compare without case, as SQLite
// compares identifiers.
bool isValidName(const char* name);
std::string quoteIdent(const std::string& name);   // "name" with inner quotes doubled
std::string lowerName(const char* name);           // ASCII lower case, the key of name lookups
std::string upperName(std::string name);           // ASCII upper case (pragma values, flags)

// Throws the exception that fits rc (a result code of db): DKServerNotAvailable for a file that
// cannot be opened, DKDataObjectAlreadyExists for a unique constraint, DKDatastoreError for
// everything else: a damaged file (kMsgNotRepository), a file or folder that cannot be written
// (kMsgCannotWrite, naming the file), memory SQLite could not get (kMsgOutOfMemory), any other
// failure (msgId). The text carries what the connector was doing and SQLite's message; the error
// code is SQLite's extended result code.
[[noreturn]] void throwSqlite(sqlite3* db, int rc, const char* source, const char* function,
                              const DKString& what, long msgId = kMsgSqliteFailed);

// An owned prepared statement, finalised by the destructor.
class PStmt {
public:
    PStmt() = default;
    explicit PStmt(sqlite3_stmt* s) : stmt_(s) {}
    PStmt(PStmt&& o) noexcept : stmt_(o.stmt_) { o.stmt_ = nullptr; }
    PStmt& operator=(PStmt&& o) noexcept;
    PStmt(const PStmt&) = delete;
    PStmt& operator=(const PStmt&) = delete;
    ~PStmt();

    sqlite3_stmt* get() const { return stmt_; }
    explicit operator bool() const { return stmt_ != nullptr; }
    void reset();   // finalises
    sqlite3_stmt* release() {   // hands the statement over, unfinalised
        sqlite3_stmt* s = stmt_;
        stmt_ = nullptr;
        return s;
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
};

// Closes a connection (sqlite3_close_v2: statements still open keep it until they are finalised).
struct PCloseDb {
    void operator()(sqlite3* db) const;
};
using POwnedDb = std::unique_ptr<sqlite3, PCloseDb>;

// Prepares one statement of the connector's own SQL (failures throw through throwSqlite).
PStmt prepare(sqlite3* db, const std::string& sql, const char* source, const char* function);
// Runs SQL without results (one or more statements).
void exec(sqlite3* db, const char* sql, const char* source, const char* function);
// Steps s once and returns its first column as an integer (0 without a row); s is reset before
// returning, so it holds no read transaction afterwards. Failures throw through throwSqlite.
long stepCount(sqlite3* db, sqlite3_stmt* s, const char* source, const char* function, const char* what);
// Steps s once, a row or the end being success.
void stepDone(sqlite3* db, sqlite3_stmt* s, const char* source, const char* function, const char* what);
std::string textColumn(sqlite3_stmt* s, int col);           // "" for NULL
void bindText(sqlite3_stmt* s, int i, const std::string& text);

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

// Salted PBKDF2-HMAC-SHA256 of the users table.
struct PPasswordHash {
    std::vector<unsigned char> salt;   // 16 random bytes
    std::vector<unsigned char> hash;   // 32 bytes
    long iterations = 0;
};
PPasswordHash hashPassword(const char* password, long iterations);
// Recomputes with the stored salt and iteration count; constant-time comparison.
bool verifyPassword(const char* password, const PPasswordHash& stored);

// The attribute types the connector stores, and their SQLite column types.
bool isStorableType(unsigned short type);
const char* columnTypeOf(unsigned short type);
const char* typeName(unsigned short type);   // "string", "long" ... for messages

// Binds value to parameter i as a value of the attribute type (0: the value's own type, for
// query parameters). A value that does not fit gives DKUsageError kMsgValueMismatch naming what.
void bindValue(sqlite3_stmt* stmt, int i, const DKAny& value, unsigned short type, const char* what,
               const char* source, const char* function);
// Reads column col as a value of the attribute type (0: SQLite's own type of the value).
DKAny columnValue(sqlite3_stmt* stmt, int col, unsigned short type, const char* source,
                  const char* function);

// The stored text forms: fixed width, so they sort in time order (years 0 to 9999), and readable
// by SQLite's date functions.
std::string dateText(const DKAny& date);        // "YYYY-MM-DD"
std::string timeText(const DKAny& time);        // "HH:MM:SS"
std::string timestampText(const DKAny& ts);     // "YYYY-MM-DD HH:MM:SS.nnnnnnnnn" [+ separator]

}  // namespace dksqlite

class DKNVPair;
namespace dksqlite {
// Binds a query's parameters: entries in order to the statement's parameters 1, 2, ... up to the
// entry with an empty name; an entry whose name starts with ':', '@' or '$' binds to the named
// parameter instead. Every parameter must be bound exactly once; at most one entry past the
// statement's parameter count is read (it must be the end mark). DKUsageError kMsgBadParams.
void bindParams(sqlite3_stmt* stmt, const DKNVPair* params, const char* source, const char* function);
}  // namespace dksqlite
