// connectors/sqlite/PSqliteStatement.cpp
//
// Owned statements and connections, and the few ways the connector runs its own SQL: prepare,
// execute without results, step once for a count or for completion. A failure is always thrown
// with what the connector was doing.

#include "PSqliteStatement.hpp"

#include <dk/DKString.hpp>

#include <sqlite3.h>

namespace dksqlite {

void PCloseDb::operator()(sqlite3* db) const { sqlite3_close_v2(db); }

PStmt& PStmt::operator=(PStmt&& o) noexcept {
    if (this != &o) {
        reset();
        stmt_ = o.stmt_;
        o.stmt_ = nullptr;
    }
    return *this;
}

PStmt::~PStmt() { reset(); }

void PStmt::reset() {
    if (stmt_) sqlite3_finalize(stmt_);
    stmt_ = nullptr;
}

PStmt prepare(sqlite3* db, const std::string& sql, const char* source, const char* function) {
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &s, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(s);
        throwSqlite(db, rc, source, function, DKString("preparing ") + sql.c_str());
    }
    return PStmt(s);
}

void exec(sqlite3* db, const char* sql, const char* source, const char* function) {
    int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) throwSqlite(db, rc, source, function, DKString(sql));
}

long stepCount(sqlite3* db, sqlite3_stmt* s, const char* source, const char* function, const char* what) {
    int rc = sqlite3_step(s);
    const long n = rc == SQLITE_ROW ? static_cast<long>(sqlite3_column_int64(s, 0)) : 0;
    sqlite3_reset(s);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) throwSqlite(db, rc, source, function, DKString(what));
    return n;
}

void stepDone(sqlite3* db, sqlite3_stmt* s, const char* source, const char* function, const char* what) {
    int rc = sqlite3_step(s);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) throwSqlite(db, rc, source, function, DKString(what));
}

std::string textColumn(sqlite3_stmt* s, int col) {
    const unsigned char* t = sqlite3_column_text(s, col);
    return t ? std::string(reinterpret_cast<const char*>(t), static_cast<size_t>(sqlite3_column_bytes(s, col)))
             : std::string();
}

void eachItemRow(sqlite3* db, sqlite3_stmt* s, const std::string& entity, long rowId, const char* source,
                 const char* function, const char* what, const std::function<void()>& onRow) {
    PResetOnExit r{s};
    sqlite3_bind_text(s, 1, entity.data(), static_cast<int>(entity.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(s, 2, rowId);
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) onRow();
    if (rc != SQLITE_DONE) throwSqlite(db, rc, source, function, DKString(what));
}

PRewindOnExit::~PRewindOnExit() { sqlite3_reset(s); }

PResetOnExit::~PResetOnExit() {
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
}

PReadScope::PReadScope(sqlite3* db, bool inTransaction, const char* source, const char* function)
    : db_(db), own_(!inTransaction && sqlite3_get_autocommit(db) != 0) {
    if (own_) exec(db_, "BEGIN", source, function);
}

PReadScope::~PReadScope() {
    if (own_ && !sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
}

}  // namespace dksqlite
