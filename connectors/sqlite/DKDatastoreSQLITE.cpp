// connectors/sqlite/DKDatastoreSQLITE.cpp
//
// The datastore of the SQLite connector: connecting to a repository file, its catalogue of
// entities and attributes, the data-object operations on entity rows, transactions and the
// query entry points. Every single-object operation is one SQL statement, which SQLite applies
// whole or not at all; operations of several statements run inside a transaction of their own
// (or a savepoint inside the caller's), so a failure never leaves half of them written.

#include "DKDatastoreSQLITE.hpp"

#include <dk/DKDDO.hpp>
#include <dk/DKException.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/DKPid.hpp>
#include <dk/DKResults.hpp>
#include <dk/dkCollection.hpp>
#include <dk/dkThrow.hpp>

#include <sqlite3.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>

using namespace dksqlite;

namespace {

constexpr const char* kSource = "connectors/sqlite/DKDatastoreSQLITE";
constexpr const char* kPidType = "SQLITE";
constexpr const char* kIdColumn = "dk_id";

// Resets a cached statement when the operation using it ends, so no read snapshot stays open.
struct PResetOnExit {
    sqlite3_stmt* s;
    ~PResetOnExit() {
        sqlite3_reset(s);
        sqlite3_clear_bindings(s);
    }
};

struct PCloseDb {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};

long stepCount(sqlite3* db, sqlite3_stmt* s, const char* function, const char* what) {
    // The statement is reset before returning, so it holds no read transaction afterwards.
    int rc = sqlite3_step(s);
    const long n = rc == SQLITE_ROW ? static_cast<long>(sqlite3_column_int64(s, 0)) : 0;
    sqlite3_reset(s);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) throwSqlite(db, rc, kSource, function, DKString(what));
    return n;
}

void stepDone(sqlite3* db, sqlite3_stmt* s, const char* function, const char* what) {
    int rc = sqlite3_step(s);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) throwSqlite(db, rc, kSource, function, DKString(what));
}

std::string textColumn(sqlite3_stmt* s, int col) {
    const unsigned char* t = sqlite3_column_text(s, col);
    return t ? std::string(reinterpret_cast<const char*>(t), static_cast<size_t>(sqlite3_column_bytes(s, col)))
             : std::string();
}

void bindText(sqlite3_stmt* s, int i, const std::string& t) {
    sqlite3_bind_text(s, i, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
}

// The authorizer of user queries: reads of entity tables, selects, functions and recursive common
// table expressions pass; everything else (writes, pragmas, attach, transactions, and reading the
// users table, the catalogue or SQLite's own tables) is denied.
struct PQueryGuard {
    const std::map<std::string, std::shared_ptr<PEntity>>* entities;
};

int queryAuthorizer(void* data, int action, const char* a, const char* b, const char*, const char*) {
    const auto* guard = static_cast<const PQueryGuard*>(data);
    switch (action) {
        case SQLITE_SELECT:
        case SQLITE_RECURSIVE:
            return SQLITE_OK;
        case SQLITE_READ:
            return a != nullptr && guard->entities->count(lowerName(a)) != 0 ? SQLITE_OK : SQLITE_DENY;
        case SQLITE_FUNCTION:
            return b != nullptr && lowerName(b) == "load_extension" ? SQLITE_DENY : SQLITE_OK;
        default:
            return SQLITE_DENY;
    }
}

bool blank(const char* p) {
    for (; p && *p; ++p)
        if (!std::isspace(static_cast<unsigned char>(*p))) return false;
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Catalogue entries

const PAttr* PEntity::find(const char* attrName) const {
    auto it = index.find(lowerName(attrName));
    return it == index.end() ? nullptr : &attrs[it->second];
}

DKDDODef* PEntity::shapeDefinition() {
    // A DDO may add items of its own to the shared definition; the next DDO then gets a fresh one.
    if (!shape || shape->dataCount() != attrs.size()) {
        shape = std::make_unique<PEntityShape>();
        for (const PAttr& a : attrs) {
            unsigned short id = shape->addData(a.name.c_str());
            shape->addDataProperty(id, "type", DKAny(static_cast<unsigned short>(a.type)));
        }
    }
    return shape->definition();
}

const DKPid& PEntity::pidFor(const std::string& repository, long rowId) {
    if (!pid_ || pidRepository_ != repository) {
        pid_ = std::make_unique<DKPid>();
        pid_->setDatastoreType(kPidType);
        pid_->setDatastoreName(repository.c_str());
        pid_->setObjectType(name.c_str());
        pidRepository_ = repository;
    }
    char id[24];
    const auto r = std::to_chars(id, id + sizeof id - 1, rowId);
    *r.ptr = '\0';
    // The template always has one id string; replacing it in place costs far less than
    // setPrimaryId, which builds and parses the id-string form.
    pid_->setIdString(0, rowId > 0 ? id : "");
    return *pid_;
}

// ---------------------------------------------------------------------------------------------
// Write scopes

// A transaction of one operation (BEGIN IMMEDIATE ... COMMIT), or a savepoint when the caller
// has a transaction open. Unless commit() was reached, the destructor undoes everything.
class DKDatastoreSQLITE::PWriteScope {
public:
    PWriteScope(DKDatastoreSQLITE& ds, const char* function)
        : ds_(ds), db_(ds.db(function)), savepoint_(ds.inTransaction_) {
        exec(db_, savepoint_ ? "SAVEPOINT dk_op" : "BEGIN IMMEDIATE", kSource, function);
        active_ = true;
        function_ = function;
    }
    void commit() {
        exec(db_, savepoint_ ? "RELEASE dk_op" : "COMMIT", kSource, function_);
        active_ = false;
    }
    ~PWriteScope() {
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

private:
    DKDatastoreSQLITE& ds_;
    sqlite3* db_;
    bool savepoint_;
    bool active_ = false;
    const char* function_ = "";
};

// ---------------------------------------------------------------------------------------------
// Construction and connection

DKDatastoreSQLITE::DKDatastoreSQLITE(const PSettings& settings)
    : dkDatastore("SQLITE", ""),
      settings_(settings),
      db_(nullptr),
      inTransaction_(false),
      schemaVersion_(-1),
      entitiesLoaded_(false),
      trace_("DKDatastoreSQLITE") {}

DKDatastoreSQLITE::~DKDatastoreSQLITE() { closeConnection(); }

sqlite3* DKDatastoreSQLITE::db(const char* function) {
    if (db_ == nullptr) dkThrow<DKDatastoreError>(310, kSource, function, DKString(function));
    return db_;
}

int DKDatastoreSQLITE::isConnected() { return db_ != nullptr ? 1 : 0; }

void DKDatastoreSQLITE::connect(const char* datastoreName, const char* userId, const char* password,
                                const char* connectString) {
    static const char* const fn = "DKDatastoreSQLITE::connect";
    DKTraceScope t(trace_, fn, this);
    const PConnectOptions options = parseConnect(connectString);
    if (datastoreName == nullptr || *datastoreName == '\0')
        dkThrow<DKUsageError>(kMsgBadConnect, kSource, fn, DKString("no repository file name"));
    if (userId == nullptr || *userId == '\0') dkThrow<DKUsageError>(kMsgBadConnect, kSource, fn, DKString("no user id"));
    closeConnection();   // connecting a connected object connects it again

    sqlite3* raw = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (options.create ? SQLITE_OPEN_CREATE : 0);
    int rc = sqlite3_open_v2(datastoreName, &raw, flags, nullptr);
    std::unique_ptr<sqlite3, PCloseDb> db(raw);
    if (rc != SQLITE_OK) {
        if ((rc & 0xff) == SQLITE_CANTOPEN && !options.create)
            throwSqlite(db.get(), rc, kSource, fn, DKString(datastoreName), kMsgNoRepository);
        throwSqlite(db.get(), rc, kSource, fn, DKString(datastoreName), kMsgOpenFailed);
    }
    sqlite3_extended_result_codes(db.get(), 1);
    sqlite3_busy_timeout(db.get(), settings_.busyTimeoutMs);
    sqlite3_db_config(db.get(), SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db.get(), SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);

    // The catalogue: a damaged file fails here (SQLite reads its header first), a database of
    // something else has no dk_repository table.
    db_ = db.get();
    try {
        long tables = 0;
        {
            PStmt s = prepare(db_, "SELECT count(*) FROM sqlite_schema WHERE name = 'dk_repository'", kSource, fn);
            tables = stepCount(db_, s.get(), fn, "reading the catalogue");
        }
        if (tables == 0) {
            PStmt s = prepare(db_, "SELECT count(*) FROM sqlite_schema", kSource, fn);
            const long any = stepCount(db_, s.get(), fn, "reading the catalogue");
            if (any != 0 || !options.create)
                dkThrow<DKDatastoreError>(kMsgNotRepository, kSource, fn,
                                          DKString(datastoreName) + ": not a repository of this connector");
            std::string name = options.name;
            if (name.empty()) name = std::filesystem::path(datastoreName).stem().string();
            if (name.empty()) name = datastoreName;
            createCatalogue(userId, password, name);
        }
        std::string format;
        {
            PStmt s = prepare(db_, "SELECT key, value FROM dk_repository WHERE key IN ('format', 'name')", kSource, fn);
            while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
                if (textColumn(s.get(), 0) == "format") format = textColumn(s.get(), 1);
                else repositoryName_ = textColumn(s.get(), 1);
            }
            if (rc != SQLITE_DONE) throwSqlite(db_, rc, kSource, fn, "reading the catalogue");
        }
        if (format != "1" || repositoryName_.empty())
            dkThrow<DKDatastoreError>(kMsgNotRepository, kSource, fn,
                                      DKString(datastoreName) + ": unknown catalogue format " + format.c_str());
        checkUser(userId, password);

        // Only now that the user is known is the file changed: journal mode and per-connection
        // settings. WAL lets readers in other connections go on while one writer commits.
        std::string pragmas = "PRAGMA journal_mode=" + settings_.journalMode + "; PRAGMA synchronous=" +
                              settings_.synchronous + "; PRAGMA cache_size=" + std::to_string(settings_.cacheSize) + ";";
        exec(db_, pragmas.c_str(), kSource, fn);
        refreshIfSchemaChanged(fn);
    } catch (...) {
        db_ = nullptr;
        repositoryName_.clear();
        throw;
    }
    db.release();
    path_ = datastoreName;
    setDatastoreName(datastoreName);
    setUserName(userId);
}

void DKDatastoreSQLITE::createCatalogue(const char* userId, const char* password, const std::string& name) {
    static const char* const fn = "DKDatastoreSQLITE::connect";
    std::string mode = "PRAGMA journal_mode=" + settings_.journalMode;
    exec(db_, mode.c_str(), kSource, fn);
    exec(db_, "BEGIN IMMEDIATE", kSource, fn);
    try {
        // Another connection may have created it while this one waited for the lock.
        PStmt check = prepare(db_, "SELECT count(*) FROM sqlite_schema", kSource, fn);
        if (stepCount(db_, check.get(), fn, "creating the repository") == 0) {
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
                 " PRIMARY KEY(entity, name));",
                 kSource, fn);
            PStmt repo = prepare(db_,
                                 "INSERT INTO dk_repository VALUES ('format', '1'), ('name', ?1),"
                                 " ('created', strftime('%Y-%m-%dT%H:%M:%SZ', 'now'))",
                                 kSource, fn);
            bindText(repo.get(), 1, name);
            stepDone(db_, repo.get(), fn, "creating the repository");
            const PPasswordHash h = hashPassword(password, settings_.pbkdf2Iterations);
            PStmt user = prepare(db_, "INSERT INTO dk_users VALUES (?1, ?2, ?3, ?4)", kSource, fn);
            sqlite3_bind_text(user.get(), 1, userId, -1, SQLITE_TRANSIENT);
            sqlite3_bind_blob(user.get(), 2, h.salt.data(), static_cast<int>(h.salt.size()), SQLITE_TRANSIENT);
            sqlite3_bind_blob(user.get(), 3, h.hash.data(), static_cast<int>(h.hash.size()), SQLITE_TRANSIENT);
            sqlite3_bind_int64(user.get(), 4, h.iterations);
            stepDone(db_, user.get(), fn, "creating the repository");
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
    for (DKResultSetCursorSQLITE* c : std::set<DKResultSetCursorSQLITE*>(cursors_)) c->invalidate();
    cursors_.clear();
    dropStatements();
    if (def_) def_->clearCache();
    entities_.clear();
    entitiesLoaded_ = false;
    if (db_ != nullptr) {
        // Closing rolls back an open transaction.
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
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
    // The file must still be where it was opened and its catalogue readable.
    std::error_code ec;
    if (path_ != ":memory:" && !std::filesystem::exists(path_, ec)) return 1;
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db_, "SELECT count(*) FROM dk_repository", -1, &s, nullptr) != SQLITE_OK) {
        sqlite3_finalize(s);
        return 1;
    }
    const int rc = sqlite3_step(s);
    sqlite3_finalize(s);
    return rc == SQLITE_ROW ? 0 : 1;
}

sqlite3_stmt* DKDatastoreSQLITE::cached(const std::string& sql, const char* function) {
    auto it = statements_.find(sql);
    if (it != statements_.end()) return it->second;
    sqlite3* d = db(function);
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
    for (auto& [sql, s] : statements_) sqlite3_finalize(s);
    statements_.clear();
}

// ---------------------------------------------------------------------------------------------
// Catalogue

void DKDatastoreSQLITE::refreshIfSchemaChanged(const char* function) {
    sqlite3* d = db(function);
    sqlite3_stmt* s = cached("PRAGMA schema_version", function);
    PResetOnExit r{s};
    const int version = static_cast<int>(stepCount(d, s, function, "reading the schema version"));
    if (version != schemaVersion_) {
        schemaVersion_ = version;
        schemaChanged();
    }
}

void DKDatastoreSQLITE::schemaChanged() {
    entities_.clear();
    entitiesLoaded_ = false;
}

void DKDatastoreSQLITE::loadEntities(const char* function) {
    if (entitiesLoaded_) return;
    sqlite3* d = db(function);
    std::map<std::string, std::shared_ptr<PEntity>> loaded;
    {
        sqlite3_stmt* s = cached("SELECT name, id, type, description FROM dk_entities ORDER BY id", function);
        PResetOnExit r{s};
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            auto e = std::make_shared<PEntity>();
            e->name = textColumn(s, 0);
            e->id = static_cast<short>(sqlite3_column_int(s, 1));
            e->type = static_cast<short>(sqlite3_column_int(s, 2));
            e->description = textColumn(s, 3);
            loaded[lowerName(e->name.c_str())] = e;
        }
        if (rc != SQLITE_DONE) throwSqlite(d, rc, kSource, function, "reading the entities");
    }
    {
        sqlite3_stmt* s = cached(
            "SELECT entity, name, position, type, nullable, size, precision, scale, description FROM dk_attrs"
            " ORDER BY entity, position",
            function);
        PResetOnExit r{s};
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            auto it = loaded.find(lowerName(textColumn(s, 0).c_str()));
            if (it == loaded.end()) continue;
            PAttr a;
            a.name = textColumn(s, 1);
            a.type = static_cast<unsigned short>(sqlite3_column_int(s, 3));
            a.nullable = sqlite3_column_int(s, 4);
            a.size = static_cast<long>(sqlite3_column_int64(s, 5));
            a.precision = static_cast<long>(sqlite3_column_int64(s, 6));
            a.scale = static_cast<long>(sqlite3_column_int64(s, 7));
            a.description = textColumn(s, 8);
            PEntity& e = *it->second;
            a.id = static_cast<short>(e.attrs.size() + 1);
            e.index[lowerName(a.name.c_str())] = e.attrs.size();
            e.attrs.push_back(std::move(a));
        }
        if (rc != SQLITE_DONE) throwSqlite(d, rc, kSource, function, "reading the attributes");
    }
    for (auto& [key, e] : loaded) {
        const std::string table = quoteIdent(e->name);
        std::string cols, marks;
        for (const PAttr& a : e->attrs) {
            cols += (cols.empty() ? "" : ", ") + quoteIdent(a.name);
            marks += marks.empty() ? "?" : ", ?";
        }
        e->insertSql = e->attrs.empty() ? "INSERT INTO " + table + " DEFAULT VALUES"
                                        : "INSERT INTO " + table + " (" + cols + ") VALUES (" + marks + ")";
        e->selectSql = "SELECT " + std::string(kIdColumn) + (cols.empty() ? "" : ", " + cols) + " FROM " + table +
                       " WHERE " + kIdColumn + " = ?1";
        e->deleteSql = "DELETE FROM " + table + " WHERE " + kIdColumn + " = ?1";
        e->existsSql = "SELECT 1 FROM " + table + " WHERE " + kIdColumn + " = ?1";
    }
    entities_ = std::move(loaded);
    entitiesLoaded_ = true;
}

std::shared_ptr<PEntity> DKDatastoreSQLITE::entity(const char* name, const char* function) {
    loadEntities(function);
    auto it = entities_.find(lowerName(name));
    if (it == entities_.end()) dkThrow<DKUsageError>(kMsgNoEntity, kSource, function, DKString(name ? name : ""));
    return it->second;
}

std::shared_ptr<PEntity> DKDatastoreSQLITE::entityByTable(const char* table) {
    auto it = entities_.find(lowerName(table));
    return it == entities_.end() ? nullptr : it->second;
}

void DKDatastoreSQLITE::storeEntity(const std::string& name, short type, const std::string& description,
                                    const std::vector<PAttr>& attrs, const char* function) {
    if (!isValidName(name.c_str())) dkThrow<DKUsageError>(kMsgBadName, kSource, function, DKString(name.c_str()));
    if (!inTransaction_) refreshIfSchemaChanged(function);
    loadEntities(function);
    if (entities_.count(lowerName(name.c_str())))
        dkThrow<DKUsageError>(kMsgEntityExists, kSource, function, DKString(name.c_str()));
    std::set<std::string> seen;
    std::string ddl = "CREATE TABLE " + quoteIdent(name) + " (" + kIdColumn + " INTEGER PRIMARY KEY AUTOINCREMENT";
    for (const PAttr& a : attrs) {
        if (!isValidName(a.name.c_str())) dkThrow<DKUsageError>(kMsgBadName, kSource, function, DKString(a.name.c_str()));
        if (!seen.insert(lowerName(a.name.c_str())).second)
            dkThrow<DKUsageError>(kMsgAttrExists, kSource, function, DKString(a.name.c_str()));
        if (!isStorableType(a.type))
            dkThrow<DKUsageError>(kMsgBadType, kSource, function,
                                  DKString(a.name.c_str()) + ": type code " + DKString(static_cast<long>(a.type)));
        ddl += ", " + quoteIdent(a.name) + " " + columnTypeOf(a.type) + (a.nullable ? "" : " NOT NULL");
    }
    ddl += ")";
    PWriteScope scope(*this, function);
    exec(db_, ddl.c_str(), kSource, function);
    {
        PStmt s = prepare(db_,
                          "INSERT INTO dk_entities (name, id, type, description)"
                          " VALUES (?1, (SELECT coalesce(max(id), 0) + 1 FROM dk_entities), ?2, ?3)",
                          kSource, function);
        bindText(s.get(), 1, name);
        sqlite3_bind_int(s.get(), 2, type);
        bindText(s.get(), 3, description);
        stepDone(db_, s.get(), function, "storing the entity");
    }
    for (size_t i = 0; i < attrs.size(); ++i) {
        PStmt s = prepare(db_,
                          "INSERT INTO dk_attrs (entity, name, position, type, nullable, size, precision, scale,"
                          " description) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)",
                          kSource, function);
        const PAttr& a = attrs[i];
        bindText(s.get(), 1, name);
        bindText(s.get(), 2, a.name);
        sqlite3_bind_int64(s.get(), 3, static_cast<long>(i) + 1);
        sqlite3_bind_int(s.get(), 4, a.type);
        sqlite3_bind_int(s.get(), 5, a.nullable ? 1 : 0);
        sqlite3_bind_int64(s.get(), 6, a.size);
        sqlite3_bind_int64(s.get(), 7, a.precision);
        sqlite3_bind_int64(s.get(), 8, a.scale);
        bindText(s.get(), 9, a.description);
        stepDone(db_, s.get(), function, "storing the attributes");
    }
    scope.commit();
    schemaChanged();
}

void DKDatastoreSQLITE::dropEntity(const char* name, const char* function) {
    if (!inTransaction_) refreshIfSchemaChanged(function);
    std::shared_ptr<PEntity> e = entity(name, function);
    PWriteScope scope(*this, function);
    exec(db_, ("DROP TABLE " + quoteIdent(e->name)).c_str(), kSource, function);
    for (const char* sql : {"DELETE FROM dk_attrs WHERE entity = ?1", "DELETE FROM dk_entities WHERE name = ?1"}) {
        PStmt s = prepare(db_, sql, kSource, function);
        bindText(s.get(), 1, e->name);
        stepDone(db_, s.get(), function, "deleting the entity");
    }
    scope.commit();
    schemaChanged();
}

void DKDatastoreSQLITE::storeAttr(const char* entityName, const PAttr& a, const char* function) {
    if (!inTransaction_) refreshIfSchemaChanged(function);
    std::shared_ptr<PEntity> e = entity(entityName, function);
    if (!isValidName(a.name.c_str())) dkThrow<DKUsageError>(kMsgBadName, kSource, function, DKString(a.name.c_str()));
    if (e->find(a.name.c_str())) dkThrow<DKUsageError>(kMsgAttrExists, kSource, function, DKString(a.name.c_str()));
    if (!isStorableType(a.type))
        dkThrow<DKUsageError>(kMsgBadType, kSource, function,
                              DKString(a.name.c_str()) + ": type code " + DKString(static_cast<long>(a.type)));
    PWriteScope scope(*this, function);
    std::string ddl = "ALTER TABLE " + quoteIdent(e->name) + " ADD COLUMN " + quoteIdent(a.name) + " " +
                      columnTypeOf(a.type) + (a.nullable ? "" : " NOT NULL");
    exec(db_, ddl.c_str(), kSource, function);
    PStmt s = prepare(db_,
                      "INSERT INTO dk_attrs (entity, name, position, type, nullable, size, precision, scale,"
                      " description) VALUES (?1, ?2, (SELECT coalesce(max(position), 0) + 1 FROM dk_attrs"
                      " WHERE entity = ?1), ?3, ?4, ?5, ?6, ?7, ?8)",
                      kSource, function);
    bindText(s.get(), 1, e->name);
    bindText(s.get(), 2, a.name);
    sqlite3_bind_int(s.get(), 3, a.type);
    sqlite3_bind_int(s.get(), 4, a.nullable ? 1 : 0);
    sqlite3_bind_int64(s.get(), 5, a.size);
    sqlite3_bind_int64(s.get(), 6, a.precision);
    sqlite3_bind_int64(s.get(), 7, a.scale);
    bindText(s.get(), 8, a.description);
    stepDone(db_, s.get(), function, "storing the attribute");
    scope.commit();
    schemaChanged();
}

void DKDatastoreSQLITE::dropAttr(const char* entityName, const char* attrName, const char* function) {
    if (!inTransaction_) refreshIfSchemaChanged(function);
    std::shared_ptr<PEntity> e = entity(entityName, function);
    const PAttr* a = e->find(attrName);
    if (a == nullptr) dkThrow<DKUsageError>(kMsgNoAttr, kSource, function, DKString(attrName ? attrName : ""));
    const std::string attr = a->name;
    PWriteScope scope(*this, function);
    exec(db_, ("ALTER TABLE " + quoteIdent(e->name) + " DROP COLUMN " + quoteIdent(attr)).c_str(), kSource, function);
    PStmt s = prepare(db_, "DELETE FROM dk_attrs WHERE entity = ?1 AND name = ?2", kSource, function);
    bindText(s.get(), 1, e->name);
    bindText(s.get(), 2, attr);
    stepDone(db_, s.get(), function, "deleting the attribute");
    scope.commit();
    schemaChanged();
}

DKString* DKDatastoreSQLITE::listEntityNames(long& count) { return datastoreDef()->listEntityNames(count); }

dkCollection* DKDatastoreSQLITE::listEntities() { return datastoreDef()->listEntities(); }

dkCollection* DKDatastoreSQLITE::listEntityAttrs(const char* entity) { return datastoreDef()->listEntityAttrs(entity); }

DKString* DKDatastoreSQLITE::listEntityAttrNames(const char* entity, long& count) {
    return datastoreDef()->listEntityAttrNames(entity, count);
}

dkDatastoreDef* DKDatastoreSQLITE::datastoreDef() {
    if (!def_) def_ = std::make_unique<DKDatastoreDefSQLITE>(this);
    return def_.get();
}

void DKDatastoreSQLITE::clearCache() {
    if (def_) def_->clearCache();
    schemaChanged();
}

// ---------------------------------------------------------------------------------------------
// Data objects

DKDDO* DKDatastoreSQLITE::newDDO(PEntity& e, long rowId) {
    std::unique_ptr<DKDDO> d(new DKDDO(this, e.pidFor(repositoryName_, rowId), static_cast<unsigned short>(0)));
    d->reset(e.shapeDefinition());
    return d.release();
}

DKDDO* DKDatastoreSQLITE::createDDO(const char* entityName, long flags) {
    static const char* const fn = "DKDatastoreSQLITE::createDDO";
    DKTraceScope t(trace_, fn, this);
    db(fn);
    if (!inTransaction_) refreshIfSchemaChanged(fn);
    std::shared_ptr<PEntity> e = entity(entityName, fn);
    return newDDO(*e, 0);
}

DKDDOBase& DKDatastoreSQLITE::checkedObject(dkDataObject* object, const char* function, bool needId, long* rowId) {
    db(function);
    // The protocol says what the object is; only then may it be treated as a DDO.
    if (object == nullptr || (object->protocol() != 5 && object->protocol() != 1))
        dkThrow<DKUsageError>(kMsgBadObject, kSource, function,
                              DKString("not a dynamic data object (protocol ") +
                                  DKString(static_cast<long>(object ? object->protocol() : -1)) + ")");
    DKDDOBase& ddo = *static_cast<DKDDOBase*>(object);
    if (needId) {
        const DKPid& pid = ddo.getPid();
        const DKString id = pid.getIdStringCount() > 0 ? pid.getIdString(0) : DKString();
        char* end = nullptr;
        const long n = std::strtol(id.c_str(), &end, 10);
        if (pid.getDatastoreType() != kPidType || pid.getDatastoreName() != repositoryName_.c_str() || id.length() == 0 ||
            *end != '\0' || n <= 0)
            dkThrow<DKUsageError>(kMsgBadObject, kSource, function, DKString("pid ") + pid.pidString());
        *rowId = n;
    }
    if (!inTransaction_) refreshIfSchemaChanged(function);
    return ddo;
}

namespace {

// The data id of every attribute in the DDO (0 when the DDO lacks it). Every item of the DDO must
// be an attribute. Items are found by position first: DDOs of createDDO have exactly the
// entity's items in its order.
std::vector<unsigned short> itemsOf(const PEntity& e, DKDDOBase& ddo, const char* function) {
    std::vector<unsigned short> ids(e.attrs.size(), 0);
    const unsigned short n = ddo.dataCount();
    for (unsigned short id = 1; id <= n; ++id) {
        const DKString name = ddo.getDataName(id);
        size_t k = id - 1;
        if (k >= e.attrs.size() || e.attrs[k].name != name.c_str()) {
            const PAttr* a = e.find(name.c_str());
            if (a == nullptr)
                dkThrow<DKUsageError>(kMsgNoAttr, kSource, function, DKString(e.name.c_str()) + "." + name);
            k = static_cast<size_t>(a - e.attrs.data());
        }
        ids[k] = id;
    }
    return ids;
}

}  // namespace

long DKDatastoreSQLITE::addOne(DKDDOBase& ddo, std::shared_ptr<PEntity>& e, const char* function) {
    e = entity(ddo.getObjectType().c_str(), function);
    const std::vector<unsigned short> ids = itemsOf(*e, ddo, function);
    sqlite3_stmt* s = cached(e->insertSql, function);
    PResetOnExit r{s};
    for (size_t k = 0; k < ids.size(); ++k) {
        if (ids[k] == 0 || !ddo.isDataSet(ids[k])) continue;   // unbound parameters are NULL
        bindValue(s, static_cast<int>(k) + 1, ddo.getData(ids[k]), e->attrs[k].type, e->attrs[k].name.c_str(), kSource,
                  function);
    }
    stepDone(db_, s, function, "adding the item");
    return static_cast<long>(sqlite3_last_insert_rowid(db_));
}

void DKDatastoreSQLITE::finishAdd(DKDDOBase& ddo, PEntity& e, long rowId) {
    ddo.setPid(e.pidFor(repositoryName_, rowId));
    ddo.resetDataChanged();
    if (ddo.protocol() == 5 && static_cast<DKDDO&>(ddo).getDatastore() == nullptr) static_cast<DKDDO&>(ddo).setDatastore(this);
}

void DKDatastoreSQLITE::retrieveOne(DKDDOBase& ddo, long rowId, const char* function) {
    std::shared_ptr<PEntity> e = entity(ddo.getObjectType().c_str(), function);
    sqlite3_stmt* s = cached(e->selectSql, function);
    PResetOnExit r{s};
    sqlite3_bind_int64(s, 1, rowId);
    int rc = sqlite3_step(s);
    if (rc == SQLITE_DONE)
        dkThrow<DKDataObjectNotFound>(kMsgNoItem, kSource, function, DKString(ddo.getPid().pidString()));
    if (rc != SQLITE_ROW) throwSqlite(db_, rc, kSource, function, "retrieving the item");
    if (ddo.dataCount() == 0) ddo.reset(e->shapeDefinition());
    // Values are read before any is stored, so a damaged value leaves the DDO as it was.
    std::vector<std::pair<unsigned short, DKAny>> values;
    const unsigned short n = ddo.dataCount();
    for (unsigned short id = 1; id <= n; ++id) {
        const DKString name = ddo.getDataName(id);
        size_t k = id - 1;
        if (k >= e->attrs.size() || e->attrs[k].name != name.c_str()) {
            const PAttr* a = e->find(name.c_str());
            if (a == nullptr) continue;   // an item of the caller's own: left alone
            k = static_cast<size_t>(a - e->attrs.data());
        }
        values.emplace_back(id, columnValue(s, static_cast<int>(k) + 1, e->attrs[k].type, kSource, function));
    }
    for (auto& [id, v] : values) {
        if (v.isNull()) ddo.setNull(id);
        else ddo.setData(id, v);
    }
    ddo.resetDataChanged();
}

void DKDatastoreSQLITE::updateOne(DKDDOBase& ddo, long rowId, const char* function) {
    std::shared_ptr<PEntity> e = entity(ddo.getObjectType().c_str(), function);
    const std::vector<unsigned short> ids = itemsOf(*e, ddo, function);
    std::vector<size_t> changed;
    for (size_t k = 0; k < ids.size(); ++k)
        if (ids[k] != 0 && ddo.isDataChanged(ids[k])) changed.push_back(k);
    std::string sql;
    if (changed.empty()) {
        sql = e->existsSql;
    } else {
        sql = "UPDATE " + quoteIdent(e->name) + " SET ";
        for (size_t i = 0; i < changed.size(); ++i)
            sql += (i ? ", " : "") + quoteIdent(e->attrs[changed[i]].name) + " = ?" + std::to_string(i + 2);
        sql += std::string(" WHERE ") + kIdColumn + " = ?1";
    }
    sqlite3_stmt* s = cached(sql, function);
    PResetOnExit r{s};
    sqlite3_bind_int64(s, 1, rowId);
    for (size_t i = 0; i < changed.size(); ++i) {
        const size_t k = changed[i];
        bindValue(s, static_cast<int>(i) + 2, ddo.getData(ids[k]), e->attrs[k].type, e->attrs[k].name.c_str(), kSource,
                  function);
    }
    int rc = sqlite3_step(s);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) throwSqlite(db_, rc, kSource, function, "updating the item");
    const bool found = changed.empty() ? rc == SQLITE_ROW : sqlite3_changes(db_) > 0;
    if (!found) dkThrow<DKDataObjectNotFound>(kMsgNoItem, kSource, function, DKString(ddo.getPid().pidString()));
}

void DKDatastoreSQLITE::deleteOne(DKDDOBase& ddo, long rowId, const char* function) {
    std::shared_ptr<PEntity> e = entity(ddo.getObjectType().c_str(), function);
    sqlite3_stmt* s = cached(e->deleteSql, function);
    PResetOnExit r{s};
    sqlite3_bind_int64(s, 1, rowId);
    stepDone(db_, s, function, "deleting the item");
    if (sqlite3_changes(db_) == 0)
        dkThrow<DKDataObjectNotFound>(kMsgNoItem, kSource, function, DKString(ddo.getPid().pidString()));
}

void DKDatastoreSQLITE::addObject(dkDataObject* object, const DKNVPair*, long) {
    static const char* const fn = "DKDatastoreSQLITE::addObject";
    DKTraceScope t(trace_, fn, this);
    DKDDOBase& ddo = checkedObject(object, fn, false, nullptr);
    std::shared_ptr<PEntity> e;
    const long id = addOne(ddo, e, fn);
    finishAdd(ddo, *e, id);
}

void DKDatastoreSQLITE::retrieveObject(dkDataObject* object, const DKNVPair*, long) {
    static const char* const fn = "DKDatastoreSQLITE::retrieveObject";
    DKTraceScope t(trace_, fn, this);
    long id = 0;
    DKDDOBase& ddo = checkedObject(object, fn, true, &id);
    retrieveOne(ddo, id, fn);
}

void DKDatastoreSQLITE::updateObject(dkDataObject* object, const DKNVPair*, long) {
    static const char* const fn = "DKDatastoreSQLITE::updateObject";
    DKTraceScope t(trace_, fn, this);
    long id = 0;
    DKDDOBase& ddo = checkedObject(object, fn, true, &id);
    updateOne(ddo, id, fn);
    ddo.resetDataChanged();
}

void DKDatastoreSQLITE::deleteObject(dkDataObject* object, const DKNVPair*, long) {
    static const char* const fn = "DKDatastoreSQLITE::deleteObject";
    DKTraceScope t(trace_, fn, this);
    long id = 0;
    DKDDOBase& ddo = checkedObject(object, fn, true, &id);
    deleteOne(ddo, id, fn);
    ddo.resetDataChanged();
}

std::vector<dkDataObject*> DKDatastoreSQLITE::objectsOf(dkCollection* objects, const char* function) {
    std::vector<dkDataObject*> out;
    if (objects == nullptr) return out;
    std::unique_ptr<dkIterator> it(objects->createIterator());
    while (it->more()) {
        DKAny* element = it->next();
        if (element == nullptr || element->typeCode() != DKAny::tc_dobase)
            dkThrow<DKUsageError>(kMsgBadObject, kSource, function, DKString("an element is not a data object"));
        dkDataObjectBase* o = static_cast<dkDataObjectBase*>(*element);
        if (o == nullptr || (o->protocol() != 1 && o->protocol() != 5))
            dkThrow<DKUsageError>(kMsgBadObject, kSource, function, DKString("an element is not a dynamic data object"));
        out.push_back(static_cast<DKDDOBase*>(o));
    }
    return out;
}

// The collection forms write every element or none: the rows go in one transaction (or savepoint),
// and the objects learn their new ids and lose their change flags only once it has committed.
void DKDatastoreSQLITE::addObjects(dkCollection* objects, const DKNVPair*, long) {
    static const char* const fn = "DKDatastoreSQLITE::addObjects";
    DKTraceScope t(trace_, fn, this);
    try {
        std::vector<dkDataObject*> all = objectsOf(objects, fn);
        if (all.empty()) return;
        struct Added {
            DKDDOBase* ddo;
            std::shared_ptr<PEntity> entity;
            long id;
        };
        std::vector<Added> done;
        PWriteScope scope(*this, fn);
        for (dkDataObject* o : all) {
            DKDDOBase& ddo = checkedObject(o, fn, false, nullptr);
            Added a{&ddo, nullptr, 0};
            a.id = addOne(ddo, a.entity, fn);
            done.push_back(std::move(a));
        }
        scope.commit();
        for (Added& a : done) finishAdd(*a.ddo, *a.entity, a.id);
    } catch (DKException& e) {
        e.addLocation(DKExceptionLocation(kSource, fn, __LINE__));
        throw;
    }
}

void DKDatastoreSQLITE::writeEach(dkCollection* objects, const char* fn,
                                  void (DKDatastoreSQLITE::*writeOne)(DKDDOBase&, long, const char*)) {
    DKTraceScope t(trace_, fn, this);
    try {
        std::vector<dkDataObject*> all = objectsOf(objects, fn);
        if (all.empty()) return;
        std::vector<DKDDOBase*> done;
        PWriteScope scope(*this, fn);
        for (dkDataObject* o : all) {
            long id = 0;
            DKDDOBase& ddo = checkedObject(o, fn, true, &id);
            (this->*writeOne)(ddo, id, fn);
            done.push_back(&ddo);
        }
        scope.commit();
        for (DKDDOBase* ddo : done) ddo->resetDataChanged();
    } catch (DKException& e) {
        e.addLocation(DKExceptionLocation(kSource, fn, __LINE__));
        throw;
    }
}

void DKDatastoreSQLITE::updateObjects(dkCollection* objects, const DKNVPair*, long) {
    writeEach(objects, "DKDatastoreSQLITE::updateObjects", &DKDatastoreSQLITE::updateOne);
}

void DKDatastoreSQLITE::deleteObjects(dkCollection* objects, const DKNVPair*, long) {
    writeEach(objects, "DKDatastoreSQLITE::deleteObjects", &DKDatastoreSQLITE::deleteOne);
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
    // never fails half-way because another writer got in between its read and its write.
    exec(d, "BEGIN IMMEDIATE", kSource, fn);
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

// ---------------------------------------------------------------------------------------------
// Queries

sqlite3_stmt* DKDatastoreSQLITE::prepareQuery(const char* query, short qlType, const DKNVPair* params,
                                              const char* function) {
    sqlite3* d = db(function);
    if (qlType != 4)
        dkThrow<DKUsageError>(kMsgBadQueryLanguage, kSource, function, DKString(static_cast<long>(qlType)));
    if (query == nullptr) dkThrow<DKUsageError>(kMsgQueryRefused, kSource, function, DKString("no query"));
    if (!inTransaction_) refreshIfSchemaChanged(function);
    loadEntities(function);

    PQueryGuard guard{&entities_};
    sqlite3_set_authorizer(d, queryAuthorizer, &guard);
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(d, query, -1, &raw, &tail);
    sqlite3_set_authorizer(d, nullptr, nullptr);
    PStmt s(raw);
    if (rc == SQLITE_AUTH || (rc & 0xff) == SQLITE_AUTH)
        dkThrowServer<DKUsageError>(kMsgQueryRefused, kSource, function, DKString(sqlite3_errmsg(d)) + " ", "", rc);
    if (rc != SQLITE_OK)
        dkThrowServer<DKUsageError>(kMsgBadQuery, kSource, function, DKString(sqlite3_errmsg(d)) + " ", "",
                                    sqlite3_extended_errcode(d));
    if (!s) dkThrow<DKUsageError>(kMsgQueryRefused, kSource, function, DKString("the query is empty"));
    if (!blank(tail)) dkThrow<DKUsageError>(kMsgQueryRefused, kSource, function, DKString("more than one statement"));
    if (!sqlite3_stmt_readonly(s.get()) || sqlite3_stmt_isexplain(s.get()) || sqlite3_column_count(s.get()) == 0)
        dkThrow<DKUsageError>(kMsgQueryRefused, kSource, function, DKString("not a read-only SELECT"));
    bindParams(s.get(), params, kSource, function);
    return s.release();
}

dkResultSetCursor* DKDatastoreSQLITE::execute(const char* query, short qlType, const DKNVPair* params) {
    static const char* const fn = "DKDatastoreSQLITE::execute";
    DKTraceScope t(trace_, fn, this);
    PStmt s(prepareQuery(query, qlType, params, fn));
    // Rows are items when every column is a plain column of one entity table and the row id is
    // among them; otherwise they are plain rows.
    std::shared_ptr<PEntity> e;
    bool hasId = false;
    const int n = sqlite3_column_count(s.get());
    for (int c = 0; c < n; ++c) {
        const char* table = sqlite3_column_table_name(s.get(), c);
        const char* dbName = sqlite3_column_database_name(s.get(), c);
        const char* origin = sqlite3_column_origin_name(s.get(), c);
        std::shared_ptr<PEntity> ce = table && dbName && origin && std::strcmp(dbName, "main") == 0 ? entityByTable(table) : nullptr;
        if (!ce || (e && ce != e)) {
            e.reset();
            hasId = false;
            break;
        }
        e = ce;
        if (lowerName(origin) == kIdColumn) hasId = true;
    }
    if (!hasId) e.reset();
    auto* cursor = new DKResultSetCursorSQLITE(this, s.release(), e);
    return cursor;
}

DKAny DKDatastoreSQLITE::evaluate(const char* query, short qlType, const DKNVPair* params) {
    static const char* const fn = "DKDatastoreSQLITE::evaluate";
    DKTraceScope t(trace_, fn, this);
    std::unique_ptr<dkResultSetCursor> cursor(execute(query, qlType, params));
    std::unique_ptr<DKResults> results(new DKResults(*this));
    while (DKDDO* d = cursor->fetchNext()) results->addElement(DKAny(static_cast<dkDataObjectBase*>(d)));
    return DKAny(static_cast<dkCollection*>(results.release()));
}
