// connectors/sqlite/PSqliteStatement.hpp
#pragma once

// Statements of the connector's own SQL: owned statements and connections, preparing, running
// and stepping them with every failure thrown through throwSqlite. Values cross into statements
// by binding only (PSqliteValues.hpp), never by pasting text into SQL. Internal to libdkdssqlite.

#include "PSqliteError.hpp"

#include <functional>
#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace dksqlite {

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
// Runs a cached statement about one item (?1 its entity, ?2 its row id), calling onRow for each
// row while s stands on it; s is reset and its bindings cleared afterwards, also on a throw.
void eachItemRow(sqlite3* db, sqlite3_stmt* s, const std::string& entity, long rowId, const char* source,
                 const char* function, const char* what, const std::function<void()>& onRow);

// A read of several statements as one snapshot: a read transaction of its own unless the
// connection has one open (the datastore's transaction, or a write under way).
class PReadScope {
public:
    PReadScope(sqlite3* db, bool inTransaction, const char* source, const char* function);
    PReadScope(const PReadScope&) = delete;
    PReadScope& operator=(const PReadScope&) = delete;
    ~PReadScope();

private:
    sqlite3* db_;
    bool own_;
};

// Resets a cached statement and clears its bindings when the operation using it ends, so that no
// read snapshot stays open and no bound value outlives the operation.
struct PResetOnExit {
    sqlite3_stmt* s;
    ~PResetOnExit();
};

// Only resets: for a statement whose every parameter is bound again before each run, so the
// bindings left behind are never used.
struct PRewindOnExit {
    sqlite3_stmt* s;
    ~PRewindOnExit();
};

}  // namespace dksqlite
