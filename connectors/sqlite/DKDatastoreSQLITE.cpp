// connectors/sqlite/DKDatastoreSQLITE.cpp
//
// The datastore object of the SQLite connector: its construction and destruction, the connection
// it hands to its parts (refused while not connected, and for writes on a read-only connect),
// and its cache of prepared statements, kept for the life of the connection.

#include "DKDatastoreSQLITE.hpp"
#include "DKDatastoreDefSQLITE.hpp"
#include "PMaintenance.hpp"
#include "PSqliteStatement.hpp"

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <sqlite3.h>

using namespace dksqlite;

namespace {
constexpr const char* kSource = kDatastoreSource;   // every operation of the datastore is located there
}  // namespace

DKDatastoreSQLITE::DKDatastoreSQLITE(const PSettings& settings)
    : PConnectorDatastore("SQLITE", ""),
      settings_(settings),
      db_(nullptr),
      readOnly_(false),
      queryDeadline_(nullptr),
      inTransaction_(false),
      schemaVersion_(-1),
      entitiesLoaded_(false),
      trace_("DKDatastoreSQLITE") {}

DKDatastoreSQLITE::~DKDatastoreSQLITE() { closeConnection(); }

sqlite3* DKDatastoreSQLITE::db(const char* function) {
    if (db_ == nullptr) dkThrow<DKDatastoreError>(310, kSource, function, DKString(function));
    if (session_) checkSession(function);
    return db_;
}

sqlite3* DKDatastoreSQLITE::writable(const char* function) {
    sqlite3* d = db(function);
    if (readOnly_) dkThrow<DKDatastoreError>(kMsgReadOnly, kSource, function, DKString(path_.c_str()));
    return d;
}

int DKDatastoreSQLITE::isConnected() { return db_ != nullptr ? 1 : 0; }

sqlite3_stmt* DKDatastoreSQLITE::cached(const std::string& sql, const char* function) {
    auto it = statements_.find(sql);
    if (it != statements_.end()) return it->second;
    // Preparing checks no session: the session's own statements are prepared here.
    sqlite3* d = db_ != nullptr ? db_ : db(function);
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v3(d, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &s, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(s);
        throwSqlite(d, rc, kSource, function, DKString("preparing ") + sql.c_str());
    }
    statements_.emplace(sql, s);
    return s;
}

void DKDatastoreSQLITE::dropStatements() noexcept {
    for (auto& [key, e] : entities_) e->insertStmt = e->selectStmt = e->deleteStmt = nullptr;
    for (auto& [sql, s] : statements_) sqlite3_finalize(s);
    statements_.clear();
}
