// connectors/sqlite/DKDatastoreSQLITESession.cpp
//
// The session of a DKDatastoreSQLITE with its repository file: connecting (read-write or
// read-only), creating the catalogue of a new repository in its format, checking the user, the
// journal mode a repository keeps, the per-connection settings, transactions and the write scopes
// of single operations, and closing. An existing repository changes only after the user's
// password has been checked, and never through a read-only connect.

#include "DKDatastoreSQLITE.hpp"
#include "DKDatastoreDefSQLITE.hpp"
#include "DKResultSetCursorSQLITE.hpp"
#include "PPassword.hpp"
#include "PRepositoryFile.hpp"
#include "PSqliteStatement.hpp"
#include "PSqliteValues.hpp"

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>

using namespace dksqlite;

namespace {

constexpr const char* kSource = kDatastoreSource;   // every operation of the datastore is located there
constexpr int kProgressOps = 1000;   // virtual machine steps between two looks at the clock

// Modes that last only as long as the connection that set them; WAL stays in the file's header.
bool perConnectionMode(const std::string& mode) {
    return mode == "DELETE" || mode == "TRUNCATE" || mode == "PERSIST";
}

}  // namespace

void DKDatastoreSQLITE::connect(const char* datastoreName, const char* userId, const char* password,
                                const char* connectString) {
    static const char* const fn = "DKDatastoreSQLITE::connect";
    DKTraceScope t(trace_, fn, this);
    const PConnectOptions options = parseConnect(connectString);
    if (datastoreName == nullptr || *datastoreName == '\0')
        dkThrow<DKUsageError>(kMsgBadConnect, kSource, fn, DKString("no repository file name"));
    if (userId == nullptr || *userId == '\0') dkThrow<DKUsageError>(kMsgBadConnect, kSource, fn, DKString("no user id"));
    closeConnection();   // connecting a connected object connects it again

    POpenFile file = openRepositoryFile(datastoreName, options, settings_.busyTimeoutMs, kSource, fn);
    POwnedDb db(file.db);
    // A second guard behind the connector's own checks: SQLite itself refuses every write.
    if (options.readOnly) exec(db.get(), "PRAGMA query_only=1", kSource, fn);
    if (settings_.heapLimitGiven) sqlite3_hard_heap_limit64(settings_.heapLimit);

    // The catalogue: a database of something else has no dk_repository table.
    db_ = db.get();
    readOnly_ = options.readOnly;
    childTables_ = false;   // learnt again below: the file may be older than the last one
    try {
        long tables = 0;
        {
            PStmt s = prepare(db_, "SELECT count(*) FROM sqlite_schema WHERE name = 'dk_repository'", kSource, fn);
            tables = stepCount(db_, s.get(), kSource, fn, "reading the catalogue");
        }
        if (tables == 0) {
            PStmt s = prepare(db_, "SELECT count(*) FROM sqlite_schema", kSource, fn);
            const long any = stepCount(db_, s.get(), kSource, fn, "reading the catalogue");
            if (any != 0 || !options.create)
                dkThrow<DKDatastoreError>(kMsgNotRepository, kSource, fn,
                                          DKString(datastoreName) + ": not a repository of this connector");
            std::string name = options.name;
            if (name.empty()) name = std::filesystem::path(datastoreName).stem().string();
            if (name.empty()) name = datastoreName;
            createCatalogue(userId, password, name);
        }
        std::string format, journalMode;
        {
            PStmt s = prepare(db_, "SELECT key, value FROM dk_repository WHERE key IN ('format', 'name', 'journal_mode')",
                              kSource, fn);
            int rc;
            while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
                const std::string key = textColumn(s.get(), 0);
                if (key == "format") format = textColumn(s.get(), 1);
                else if (key == "name") repositoryName_ = textColumn(s.get(), 1);
                else journalMode = upperName(textColumn(s.get(), 1));
            }
            if (rc != SQLITE_DONE) throwSqlite(db_, rc, kSource, fn, "reading the catalogue");
        }
        if (!knownFormat(format) || repositoryName_.empty())
            dkThrow<DKDatastoreError>(kMsgNotRepository, kSource, fn,
                                      DKString(datastoreName) + ": unknown catalogue format " + format.c_str());
        checkUser(userId, password);

        // Only now that the user is known may the file change, and only for a writing connect.
        if (!readOnly_) applyJournalMode(journalMode, fn);
        // Each checks first and writes only what an older repository lacks: a repository that
        // is as it should be is neither locked nor written here.
        upgradeRepository(format, fn);
        ensureTemplateTables(fn);   // older repositories have no template tables
        ensureContentTables(fn);    // nor content tables
        ensureMemberTables(fn);     // nor membership tables
        ensureChildTables(fn);      // nor children, segments and link items
        const bool rights = ensureRightsTables(fn);   // nor groups and rights, made last: format 6
        startSession(userId, rights, fn);
        const std::string pragmas = "PRAGMA synchronous=" + settings_.synchronous +
                                    "; PRAGMA cache_size=" + std::to_string(settings_.cacheSize) + ";";
        exec(db_, pragmas.c_str(), kSource, fn);
        if (settings_.queryTimeoutMs > 0) sqlite3_progress_handler(db_, kProgressOps, &DKDatastoreSQLITE::onProgress, this);
        refreshIfSchemaChanged(fn);
    } catch (...) {
        dropStatements();   // they belong to the connection closed below
        db_ = nullptr;
        readOnly_ = false;
        textColumn_ = false;
        childTables_ = false;
        repositoryName_.clear();
        session_.reset();
        throw;
    }
    db.release();
    path_ = file.path;
    setDatastoreName(datastoreName);
    setUserName(userId);
}

std::string DKDatastoreSQLITE::setJournalMode(const std::string& mode, const char* function) {
    PStmt s = prepare(db_, "PRAGMA journal_mode=" + mode, kSource, function);
    const int rc = sqlite3_step(s.get());
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) throwSqlite(db_, rc, kSource, function, DKString("setting the journal mode"));
    return rc == SQLITE_ROW ? upperName(textColumn(s.get(), 0)) : std::string();
}

// WAL is kept in the file's header, so setting it again would only rewrite bytes that are already
// right (and setting it on a file in another mode would change that file). The rollback modes hold
// for one connection, so they are set at every writing connect. A configuration string that names
// journal_mode changes the repository's mode, and the record of it once SQLite has switched.
DKDatastoreSQLITE::PTableState DKDatastoreSQLITE::tableState(std::initializer_list<const char*> names, int format,
                                                            const char* function) {
    std::string list;
    for (const char* n : names) list += std::string(list.empty() ? "'" : ", '") + n + "'";
    PStmt s = prepare(db_,
                      "SELECT (SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name IN (" + list +
                          ")), (SELECT CAST(value AS INTEGER) FROM dk_repository WHERE key = 'format')",
                      kSource, function);
    if (sqlite3_step(s.get()) != SQLITE_ROW) throwSqlite(db_, sqlite3_errcode(db_), kSource, function, "reading the format");
    const bool tables = sqlite3_column_int(s.get(), 0) == static_cast<int>(names.size());
    return {tables, tables && sqlite3_column_int(s.get(), 1) >= format};
}

void DKDatastoreSQLITE::applyJournalMode(const std::string& recorded, const char* function) {
    std::string wanted;
    if (settings_.journalModeGiven) wanted = settings_.journalMode;
    else if (perConnectionMode(recorded)) wanted = recorded;
    else return;   // WAL, or a repository made before the mode was recorded: left as it is
    if (setJournalMode(wanted, function) != wanted || wanted == recorded) return;
    PStmt s = prepare(db_, "INSERT OR REPLACE INTO dk_repository (key, value) VALUES ('journal_mode', ?1)", kSource, function);
    bindText(s.get(), 1, wanted);
    stepDone(db_, s.get(), kSource, function, "recording the journal mode");
}

void DKDatastoreSQLITE::createCatalogue(const char* userId, const char* password, const std::string& name) {
    static const char* const fn = "DKDatastoreSQLITE::connect";
    // The journal mode is chosen once, here, and recorded with the repository.
    const std::string mode = setJournalMode(settings_.journalMode, fn);
    exec(db_, "BEGIN IMMEDIATE", kSource, fn);
    try {
        // Another connection may have created it while this one waited for the lock.
        PStmt check = prepare(db_, "SELECT count(*) FROM sqlite_schema", kSource, fn);
        if (stepCount(db_, check.get(), kSource, fn, "creating the repository") == 0) {
            exec(db_,
                 "CREATE TABLE dk_repository(key TEXT PRIMARY KEY, value TEXT NOT NULL);"
                 "CREATE TABLE dk_users(name TEXT PRIMARY KEY, salt BLOB NOT NULL, hash BLOB NOT NULL,"
                 " iterations INTEGER NOT NULL);"
                 "CREATE TABLE dk_entities(name TEXT PRIMARY KEY COLLATE NOCASE, id INTEGER NOT NULL UNIQUE,"
                 " type INTEGER NOT NULL DEFAULT 0, description TEXT NOT NULL DEFAULT '');"
                 "CREATE TABLE dk_attrs(entity TEXT NOT NULL COLLATE NOCASE, name TEXT NOT NULL COLLATE NOCASE,"
                 " position INTEGER NOT NULL, type INTEGER NOT NULL, nullable INTEGER NOT NULL,"
                 " size INTEGER NOT NULL DEFAULT 0, precision INTEGER NOT NULL DEFAULT 0,"
                 " scale INTEGER NOT NULL DEFAULT 0, description TEXT NOT NULL DEFAULT '',"
                 " textsearch INTEGER NOT NULL DEFAULT 0, PRIMARY KEY(entity, name));",
                 kSource, fn);
            PStmt repo = prepare(db_,
                                 "INSERT INTO dk_repository VALUES ('format', '2'), ('name', ?1),"
                                 " ('created', strftime('%Y-%m-%dT%H:%M:%SZ', 'now')), ('journal_mode', ?2)",
                                 kSource, fn);
            bindText(repo.get(), 1, name);
            bindText(repo.get(), 2, mode);
            stepDone(db_, repo.get(), kSource, fn, "creating the repository");
            const PPasswordHash h = hashPassword(password, settings_.pbkdf2Iterations);
            PStmt user = prepare(db_, "INSERT INTO dk_users VALUES (?1, ?2, ?3, ?4)", kSource, fn);
            sqlite3_bind_text(user.get(), 1, userId, -1, SQLITE_TRANSIENT);
            sqlite3_bind_blob(user.get(), 2, h.salt.data(), static_cast<int>(h.salt.size()), SQLITE_TRANSIENT);
            sqlite3_bind_blob(user.get(), 3, h.hash.data(), static_cast<int>(h.hash.size()), SQLITE_TRANSIENT);
            sqlite3_bind_int64(user.get(), 4, h.iterations);
            stepDone(db_, user.get(), kSource, fn, "creating the repository");
        }
        exec(db_, "COMMIT", kSource, fn);
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

void DKDatastoreSQLITE::checkUser(const char* userId, const char* password) {
    static const char* const fn = "DKDatastoreSQLITE::connect";
    PStmt s = prepare(db_, "SELECT salt, hash, iterations FROM dk_users WHERE name = ?1", kSource, fn);
    sqlite3_bind_text(s.get(), 1, userId, -1, SQLITE_TRANSIENT);
    int rc = sqlite3_step(s.get());
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) throwSqlite(db_, rc, kSource, fn, "reading the users");
    PPasswordHash stored;
    if (rc == SQLITE_ROW) {
        auto bytes = [&](int col) {
            const unsigned char* p = static_cast<const unsigned char*>(sqlite3_column_blob(s.get(), col));
            return std::vector<unsigned char>(p, p + (p ? sqlite3_column_bytes(s.get(), col) : 0));
        };
        stored.salt = bytes(0);
        stored.hash = bytes(1);
        stored.iterations = sqlite3_column_int64(s.get(), 2);
    }
    // An unknown user costs the same hashing as a known one and gets the same answer.
    if (rc != SQLITE_ROW) {
        stored.salt.assign(16, 0);
        stored.iterations = settings_.pbkdf2Iterations;
        verifyPassword(password, stored);
        dkThrow<DKLogonFailure>(kMsgLogonFailed, kSource, fn, DKString(userId));
    }
    if (!verifyPassword(password, stored)) dkThrow<DKLogonFailure>(kMsgLogonFailed, kSource, fn, DKString(userId));
}

void DKDatastoreSQLITE::closeConnection() noexcept {
    session_.reset();   // nothing below checks the session again, nor prepares its statements
    for (DKResultSetCursorSQLITE* c : std::set<DKResultSetCursorSQLITE*>(cursors_)) c->invalidate();
    cursors_.clear();
    dropStatements();
    if (def_) def_->clearCache();
    mappings_.clear();
    lastEntity_.reset();
    entities_.clear();
    entitiesLoaded_ = false;
    if (db_ != nullptr) {
        // Closing rolls back an open transaction.
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
    readOnly_ = false;
    textColumn_ = false;
    contentTables_ = memberTables_ = false;
    inTransaction_ = false;
    schemaVersion_ = -1;
    repositoryName_.clear();
}

void DKDatastoreSQLITE::disconnect() {
    DKTraceScope t(trace_, "DKDatastoreSQLITE::disconnect", this);
    closeConnection();
}

short DKDatastoreSQLITE::validateConnection() {
    if (db_ == nullptr) return 1;
    // A deleted user, or a password changed since the connect, ends the session.
    try {
        checkSession("DKDatastoreSQLITE::validateConnection");
    } catch (const DKException&) {
        return 1;
    }
    // The file must still be where it was opened and its catalogue readable.
    std::error_code ec;
    if (!std::filesystem::exists(path_, ec)) return 1;
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db_, "SELECT count(*) FROM dk_repository", -1, &s, nullptr) != SQLITE_OK) {
        sqlite3_finalize(s);
        return 1;
    }
    const int rc = sqlite3_step(s);
    sqlite3_finalize(s);
    return rc == SQLITE_ROW ? 0 : 1;
}

// ---------------------------------------------------------------------------------------------
// Write scopes: one operation's transaction, or a savepoint inside the caller's

DKDatastoreSQLITE::PWriteScope::PWriteScope(DKDatastoreSQLITE& ds, const char* function)
    // Inside another scope (a part stored with its item) a savepoint nests in its transaction.
    : ds_(ds), db_(ds.writable(function)), savepoint_(ds.inTransaction_ || !sqlite3_get_autocommit(db_)) {
    exec(db_, savepoint_ ? "SAVEPOINT dk_op" : "BEGIN IMMEDIATE", kSource, function);
    active_ = true;
    function_ = function;
}

void DKDatastoreSQLITE::PWriteScope::commit() {
    exec(db_, savepoint_ ? "RELEASE dk_op" : "COMMIT", kSource, function_);
    active_ = false;
}

DKDatastoreSQLITE::PWriteScope::~PWriteScope() {
    if (!active_) return;
    if (savepoint_) {
        sqlite3_exec(db_, "ROLLBACK TO dk_op; RELEASE dk_op", nullptr, nullptr, nullptr);
        // Some failures (a full disk, an I/O error) make SQLite roll the whole transaction back.
        if (sqlite3_get_autocommit(db_)) ds_.inTransaction_ = false;
    } else if (!sqlite3_get_autocommit(db_)) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    ds_.schemaChanged();   // the cache may describe what was just undone
}

// ---------------------------------------------------------------------------------------------
// Transactions

void DKDatastoreSQLITE::startTransaction() {
    static const char* const fn = "DKDatastoreSQLITE::startTransaction";
    DKTraceScope t(trace_, fn, this);
    sqlite3* d = db(fn);
    if (inTransaction_) dkThrow<DKUsageError>(kMsgTransactionOpen, kSource, fn, DKString(fn));
    refreshIfSchemaChanged(fn);
    // IMMEDIATE takes the write lock now (waiting up to the busy timeout), so a transaction
    // never fails half-way because another writer got in between its read and its write. A
    // read-only connection only reads: its transaction is one snapshot for several queries.
    exec(d, readOnly_ ? "BEGIN" : "BEGIN IMMEDIATE", kSource, fn);
    inTransaction_ = true;
}

void DKDatastoreSQLITE::commit() {
    static const char* const fn = "DKDatastoreSQLITE::commit";
    DKTraceScope t(trace_, fn, this);
    sqlite3* d = db(fn);
    if (!inTransaction_) dkThrow<DKUsageError>(kMsgNoTransaction, kSource, fn, DKString(fn));
    if (sqlite3_get_autocommit(d)) {
        inTransaction_ = false;
        schemaChanged();
        dkThrow<DKDatastoreError>(kMsgNoTransaction, kSource, fn, DKString("SQLite rolled the transaction back after an error"));
    }
    exec(d, "COMMIT", kSource, fn);   // on failure (busy) the transaction stays open
    inTransaction_ = false;
}

void DKDatastoreSQLITE::rollback() {
    static const char* const fn = "DKDatastoreSQLITE::rollback";
    DKTraceScope t(trace_, fn, this);
    sqlite3* d = db(fn);
    if (!inTransaction_) dkThrow<DKUsageError>(kMsgNoTransaction, kSource, fn, DKString(fn));
    inTransaction_ = false;
    schemaChanged();
    if (!sqlite3_get_autocommit(d)) exec(d, "ROLLBACK", kSource, fn);
}
