// connectors/sqlite/DKDatastoreSQLITE.cpp
//
// The datastore of the SQLite connector: its catalogue of entities and attributes, the
// data-object operations on entity rows, transactions and the query entry points (connecting is
// in DKDatastoreSQLITEConnection.cpp). Every single-object operation is one SQL statement, which
// SQLite applies whole or not at all; operations of several statements run inside a transaction
// of their own (or a savepoint inside the caller's), so a failure never leaves half of them
// written. A read-only connection refuses every write before SQLite sees it.

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

using namespace dksqlite;

namespace {

constexpr const char* kSource = "connectors/sqlite/DKDatastoreSQLITE";
constexpr const char* kPidType = "SQLITE";
constexpr const char* kIdColumn = "dk_id";

// What the connector refuses to store: anything but the DDOs of the connector kit's rule.
const PObjectRules kRules{kMsgBadObject, kSource, "an element is not a data object",
                          "an element is not a dynamic data object", "not a dynamic data object"};

// Resets a cached statement when the operation using it ends, so no read snapshot stays open.
struct PResetOnExit {
    sqlite3_stmt* s;
    ~PResetOnExit() {
        sqlite3_reset(s);
        sqlite3_clear_bindings(s);
    }
};

// The authorizer of user queries: reads of entity tables, selects, functions and recursive common
// table expressions pass; everything else (writes, pragmas, attach, transactions, and reading the
// users table, the catalogue or SQLite's own tables) is denied, and so are the functions that
// reach past the data: load_extension loads code, fts3_tokenizer gives a tokenizer's address
// and registers any address as one, fts5 writes the address of its interface through a pointer.
struct PQueryGuard {
    const std::map<std::string, std::shared_ptr<PEntity>>* entities;
    bool denied = false;   // SQLite reports a refused function as a plain error; this tells them apart
};

bool refusedFunction(const char* name) {
    if (name == nullptr) return true;
    const std::string n = lowerName(name);
    return n == "load_extension" || n == "fts3_tokenizer" || n == "fts5";
}

int queryAuthorizer(void* data, int action, const char* a, const char* b, const char*, const char*) {
    auto* guard = static_cast<PQueryGuard*>(data);
    bool allowed = false;
    switch (action) {
        case SQLITE_SELECT:
        case SQLITE_RECURSIVE:
            allowed = true;
            break;
        case SQLITE_READ:
            allowed = a != nullptr && guard->entities->count(lowerName(a)) != 0;
            break;
        case SQLITE_FUNCTION:
            allowed = !refusedFunction(b);
            break;
        default:
            break;
    }
    if (!allowed) guard->denied = true;
    return allowed ? SQLITE_OK : SQLITE_DENY;
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
    const size_t position = names.find(attrName);
    return position == PAttributeNames::npos ? nullptr : &attrs[position];
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
        : ds_(ds), db_(ds.writable(function)), savepoint_(ds.inTransaction_) {
        exec(db_, savepoint_ ? "SAVEPOINT dk_op" : "BEGIN IMMEDIATE", kSource, function);
        active_ = true;
        function_ = function;
    }
    PWriteScope(const PWriteScope&) = delete;
    PWriteScope& operator=(const PWriteScope&) = delete;
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
      readOnly_(false),
      queryDeadline_(nullptr),
      inTransaction_(false),
      schemaVersion_(-1),
      entitiesLoaded_(false),
      trace_("DKDatastoreSQLITE") {}

DKDatastoreSQLITE::~DKDatastoreSQLITE() { closeConnection(); }

sqlite3* DKDatastoreSQLITE::db(const char* function) {
    if (db_ == nullptr) dkThrow<DKDatastoreError>(310, kSource, function, DKString(function));
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
    const int version = static_cast<int>(stepCount(d, s, kSource, function, "reading the schema version"));
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
            e.names.add(a.name.c_str());
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
        stepDone(db_, s.get(), kSource, function, "storing the entity");
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
        stepDone(db_, s.get(), kSource, function, "storing the attributes");
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
        stepDone(db_, s.get(), kSource, function, "deleting the entity");
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
    stepDone(db_, s.get(), kSource, function, "storing the attribute");
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
    stepDone(db_, s.get(), kSource, function, "deleting the attribute");
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

DKDDOBase& DKDatastoreSQLITE::checkedObject(dkDataObject* object, const char* function, long* rowId) {
    db(function);
    // The protocol says what the object is; only then may it be treated as a DDO.
    DKDDOBase& ddo = PConnectorKit::checkedObject(object, kRules, function);
    if (rowId != nullptr) *rowId = rowIdOf(ddo, function);
    if (!inTransaction_) refreshIfSchemaChanged(function);
    return ddo;
}

long DKDatastoreSQLITE::rowIdOf(const DKDDOBase& ddo, const char* function) const {
    const DKPid& pid = ddo.getPid();
    const DKString id = pid.getIdStringCount() > 0 ? pid.getIdString(0) : DKString();
    char* end = nullptr;
    const long n = std::strtol(id.c_str(), &end, 10);
    if (pid.getDatastoreType() != kPidType || pid.getDatastoreName() != repositoryName_.c_str() || id.length() == 0 ||
        *end != '\0' || n <= 0)
        dkThrow<DKUsageError>(kMsgBadObject, kSource, function, DKString("pid ") + pid.pidString());
    return n;
}

namespace {

// Where the DDO's items go among the entity's attributes. Every item of the DDO must be an
// attribute when the DDO is written.
const PItemMap& writtenItems(const PEntity& e, const DKDDOBase& ddo, const char* function) {
    const PItemMap& map = PConnectorKit::itemMap(ddo, e.names);
    if (const unsigned short id = map.stranger())
        dkThrow<DKUsageError>(kMsgNoAttr, kSource, function, DKString(e.name.c_str()) + "." + ddo.getDataName(id));
    return map;
}

}  // namespace

long DKDatastoreSQLITE::addOne(DKDDOBase& ddo, std::shared_ptr<PEntity>& e, const char* function) {
    e = entity(ddo.getObjectType().c_str(), function);
    const PItemMap& map = writtenItems(*e, ddo, function);
    sqlite3_stmt* s = cached(e->insertSql, function);
    PResetOnExit r{s};
    for (size_t k = 0; k < e->attrs.size(); ++k) {
        const unsigned short id = map.itemOf(k);
        const DKAny* v = id != 0 ? PConnectorKit::setValue(ddo, id) : nullptr;
        if (v == nullptr) continue;   // unbound parameters are NULL
        bindValue(s, static_cast<int>(k) + 1, *v, e->attrs[k].type, e->attrs[k].name.c_str(), kSource, function);
    }
    stepDone(db_, s, kSource, function, "adding the item");
    return static_cast<long>(sqlite3_last_insert_rowid(db_));
}

void DKDatastoreSQLITE::finishAdd(DKDDOBase& ddo, PEntity& e, long rowId) {
    ddo.setPid(e.pidFor(repositoryName_, rowId));
    ddo.resetDataChanged();
    if (ddo.protocol() != DKProtocolDDOBase) {
        auto& bound = static_cast<DKDDO&>(ddo);
        if (bound.getDatastore() == nullptr) bound.setDatastore(this);
    }
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
    // Values are read before any is stored, so a damaged value leaves the DDO as it was. Items
    // that are no attribute are the caller's own and left alone.
    const PItemMap& map = PConnectorKit::itemMap(ddo, e->names);
    std::vector<std::pair<unsigned short, DKAny>> values;
    for (unsigned short id = 1; id <= map.itemCount(); ++id) {
        const size_t k = map.attributeOf(id);
        if (k == PItemMap::npos) continue;
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
    const PItemMap& map = writtenItems(*e, ddo, function);
    std::vector<size_t> changed;
    for (size_t k = 0; k < e->attrs.size(); ++k) {
        const unsigned short id = map.itemOf(k);
        if (id != 0 && PConnectorKit::changed(ddo, id)) changed.push_back(k);
    }
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
        bindValue(s, static_cast<int>(i) + 2, *PConnectorKit::setValue(ddo, map.itemOf(k)), e->attrs[k].type,
                  e->attrs[k].name.c_str(), kSource, function);
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
    stepDone(db_, s, kSource, function, "deleting the item");
    if (sqlite3_changes(db_) == 0)
        dkThrow<DKDataObjectNotFound>(kMsgNoItem, kSource, function, DKString(ddo.getPid().pidString()));
}

void DKDatastoreSQLITE::addObject(dkDataObject* object, const DKNVPair*, long) {
    static const char* const fn = "DKDatastoreSQLITE::addObject";
    DKTraceScope t(trace_, fn, this);
    writable(fn);
    DKDDOBase& ddo = checkedObject(object, fn, nullptr);
    std::shared_ptr<PEntity> e;
    const long id = addOne(ddo, e, fn);
    finishAdd(ddo, *e, id);
}

void DKDatastoreSQLITE::retrieveObject(dkDataObject* object, const DKNVPair*, long) {
    static const char* const fn = "DKDatastoreSQLITE::retrieveObject";
    DKTraceScope t(trace_, fn, this);
    long id = 0;
    DKDDOBase& ddo = checkedObject(object, fn, &id);
    retrieveOne(ddo, id, fn);
}

void DKDatastoreSQLITE::updateObject(dkDataObject* object, const DKNVPair*, long) {
    static const char* const fn = "DKDatastoreSQLITE::updateObject";
    DKTraceScope t(trace_, fn, this);
    writable(fn);
    long id = 0;
    DKDDOBase& ddo = checkedObject(object, fn, &id);
    updateOne(ddo, id, fn);
    ddo.resetDataChanged();
}

void DKDatastoreSQLITE::deleteObject(dkDataObject* object, const DKNVPair*, long) {
    static const char* const fn = "DKDatastoreSQLITE::deleteObject";
    DKTraceScope t(trace_, fn, this);
    writable(fn);
    long id = 0;
    DKDDOBase& ddo = checkedObject(object, fn, &id);
    deleteOne(ddo, id, fn);
    ddo.resetDataChanged();
}

// The collection forms write every element or none (the connector kit's loop): the rows go in
// one transaction (or savepoint), and the objects learn their new ids and lose their change
// flags only once it has committed.
void DKDatastoreSQLITE::addObjects(dkCollection* objects, const DKNVPair*, long) {
    static const char* const fn = "DKDatastoreSQLITE::addObjects";
    DKTraceScope t(trace_, fn, this);
    struct Added {
        std::shared_ptr<PEntity> entity;
        long id;
    };
    PConnectorKit::allOrNone(
        objects, kRules, fn, [&] { return PWriteScope(*this, fn); },
        [&](DKDDOBase& ddo) {
            Added a{nullptr, 0};
            a.id = addOne(checkedObject(&ddo, fn, nullptr), a.entity, fn);
            return a;
        },
        [&](DKDDOBase& ddo, Added& a) { finishAdd(ddo, *a.entity, a.id); });
}

void DKDatastoreSQLITE::writeEach(dkCollection* objects, const char* fn,
                                  void (DKDatastoreSQLITE::*writeOne)(DKDDOBase&, long, const char*)) {
    DKTraceScope t(trace_, fn, this);
    PConnectorKit::allOrNone(
        objects, kRules, fn, [&] { return PWriteScope(*this, fn); },
        [&](DKDDOBase& ddo) {
            long id = 0;
            DKDDOBase& checked = checkedObject(&ddo, fn, &id);
            (this->*writeOne)(checked, id, fn);
        },
        [](DKDDOBase& ddo) { ddo.resetDataChanged(); });
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
    if ((rc & 0xff) == SQLITE_AUTH || (rc != SQLITE_OK && guard.denied))
        dkThrowServer<DKUsageError>(kMsgQueryRefused, kSource, function, DKString(sqlite3_errmsg(d)) + " ", "", rc);
    // A query SQLite cannot read is the caller's; a file it cannot read (damaged, out of memory) is not.
    if (rc != SQLITE_OK && (rc & 0xff) != SQLITE_ERROR) throwSqlite(d, rc, kSource, function, "preparing the query");
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
