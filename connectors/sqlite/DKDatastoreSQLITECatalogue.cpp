// connectors/sqlite/DKDatastoreSQLITECatalogue.cpp
//
// The catalogue of DKDatastoreSQLITE: the entities and attributes of dk_entities and dk_attrs,
// read once and kept until the schema changes (this datastore's own changes, or another
// connection's, seen through SQLite's schema version), with each entity's DDO shape, pid and the
// SQL of its item operations. Defining and dropping entities and attributes changes the tables
// and the catalogue in one transaction.

#include "DKDatastoreSQLITE.hpp"
#include "DKDatastoreDefSQLITE.hpp"
#include "PSqliteStatement.hpp"
#include "PSqliteText.hpp"
#include "PSqliteValues.hpp"

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <optional>

using namespace dksqlite;

namespace {
constexpr const char* kSource = kDatastoreSource;   // every operation of the datastore is located there
}  // namespace

// ---------------------------------------------------------------------------------------------
// Catalogue entries

std::size_t PEntity::memberItemCount() const {
    return PMemberKit::count(type) + children.size();
}

bool PEntity::childItem(const char* itemName) const {
    for (const std::string& c : children)
        if (c == itemName) return true;
    return false;
}

const PMemberItem* PEntity::memberItem(const char* itemName) const {
    return PMemberKit::item(type, itemName);
}

DKDDODef* PEntity::shapeDefinition() {
    // A DDO may add items of its own to the shared definition; the next DDO then gets a fresh one.
    if (!shape || shape->definition()->dataCount() != attrs.size() + memberItemCount()) {
        shape = std::make_unique<PEntityShape>();
        shape->addAttrs(attrs);
        PMemberKit::addItems(*shape, type);
        for (const std::string& c : children) {
            unsigned short id = shape->addData(kChildNameSpace, c.c_str());
            shape->addDataProperty(id, "type", DKAny(kChildItemType));
        }
    }
    return shape->definition();
}

const DKPid& PEntity::pidFor(const std::string& repository, long rowId) {
    return pid_.pidFor(kPidType, repository, name, rowId);
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
    lastEntity_.reset();
    entities_.clear();
    entitiesLoaded_ = false;
}

void DKDatastoreSQLITE::loadEntities(const char* function) {
    if (entitiesLoaded_) return;
    sqlite3* d = db(function);
    std::map<std::string, std::shared_ptr<PEntity>> loaded;
    std::vector<std::shared_ptr<PEntity>> ordered;   // by id, so children are listed in id order
    {
        // A repository older than format 5 opened read-only has no sub-entities.
        sqlite3_stmt* s = cached(std::string("SELECT name, id, type, description, ") + (childTables_ ? "parent" : "''") +
                                     " FROM dk_entities ORDER BY id",
                                 function);
        PResetOnExit r{s};
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            auto e = std::make_shared<PEntity>();
            e->name = textColumn(s, 0);
            e->id = static_cast<short>(sqlite3_column_int(s, 1));
            e->type = static_cast<short>(sqlite3_column_int(s, 2));
            e->description = textColumn(s, 3);
            e->parent = textColumn(s, 4);
            loaded[lowerName(e->name.c_str())] = e;
            ordered.push_back(e);
        }
        if (rc != SQLITE_DONE) throwSqlite(d, rc, kSource, function, "reading the entities");
    }
    for (const auto& e : ordered) {
        auto parent = e->parent.empty() ? loaded.end() : loaded.find(lowerName(e->parent.c_str()));
        if (parent != loaded.end()) parent->second->children.push_back(e->name);
    }
    {
        // A format 1 repository opened read-only has no text-searchable attributes.
        sqlite3_stmt* s = cached(std::string("SELECT entity, name, position, type, nullable, size, precision, scale,"
                                             " description, ") +
                                     (textColumn_ ? kTextSearchColumn : "0") + " FROM dk_attrs ORDER BY entity, position",
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
            a.textSearchable = sqlite3_column_int(s, 9) != 0 ? 1 : 0;
            PEntity& e = *it->second;
            a.id = static_cast<short>(e.attrs.size() + 1);
            e.names.add(a.name.c_str());
            e.attrs.push_back(std::move(a));
        }
        if (rc != SQLITE_DONE) throwSqlite(d, rc, kSource, function, "reading the attributes");
    }
    for (auto& [key, e] : loaded) {
        // The connector's own statements name the table itself, never the view of the same name
        // a restricted user's queries see.
        const std::string table = "main." + quoteIdent(e->name);
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
        setTextSql(*e);
    }
    entities_ = std::move(loaded);
    entitiesLoaded_ = true;
    if (session_) session_->viewsStale = true;
}

const std::shared_ptr<PEntity>& DKDatastoreSQLITE::entity(const char* name, const char* function) {
    loadEntities(function);
    // Items come one entity at a time: the last one is asked first, without a lookup.
    if (lastEntity_ && sameName(lastEntity_->name.c_str(), name)) return lastEntity_;
    auto it = entities_.find(lowerName(name));
    if (it == entities_.end()) dkThrow<DKUsageError>(kMsgNoEntity, kSource, function, DKString(name ? name : ""));
    lastEntity_ = it->second;
    return lastEntity_;
}

std::shared_ptr<PEntity> DKDatastoreSQLITE::entityByTable(const char* table) {
    auto it = entities_.find(lowerName(table));
    return it == entities_.end() ? nullptr : it->second;
}

void DKDatastoreSQLITE::storeEntity(const std::string& name, short type, const std::string& description,
                                    const std::vector<PAttr>& attrs, const char* function, const std::string& parent) {
    if (!isValidName(name.c_str())) dkThrow<DKUsageError>(kMsgBadName, kSource, function, DKString(name.c_str()));
    if (!inTransaction_) refreshIfSchemaChanged(function);
    loadEntities(function);
    if (entities_.count(lowerName(name.c_str())))
        dkThrow<DKUsageError>(kMsgEntityExists, kSource, function, DKString(name.c_str()));
    std::string parentName;   // as the catalogue spells it
    if (!parent.empty()) {
        std::shared_ptr<PEntity> p = entity(parent.c_str(), function);
        // The parent's "CHILD" item is named like the sub-entity, so it must not stand for an attribute.
        if (p->find(name.c_str()) != nullptr)
            dkThrow<DKUsageError>(kMsgBadName, kSource, function, DKString(name.c_str()) + ": an attribute of " + parent.c_str());
        parentName = p->name;
    }
    std::set<std::string> seen;
    requireAdmin(function);
    std::string ddl = "CREATE TABLE main." + quoteIdent(name) + " (" + kIdColumn + " INTEGER PRIMARY KEY AUTOINCREMENT";
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
                          "INSERT INTO dk_entities (name, id, type, description, parent)"
                          " VALUES (?1, (SELECT coalesce(max(id), 0) + 1 FROM dk_entities), ?2, ?3, ?4)",
                          kSource, function);
        bindText(s.get(), 1, name);
        sqlite3_bind_int(s.get(), 2, type);
        bindText(s.get(), 3, description);
        bindText(s.get(), 4, parentName);
        stepDone(db_, s.get(), kSource, function, "storing the entity");
    }
    for (size_t i = 0; i < attrs.size(); ++i) {
        PStmt s = prepare(db_,
                          "INSERT INTO dk_attrs (entity, name, position, type, nullable, size, precision, scale,"
                          " description, textsearch) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)",
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
        sqlite3_bind_int(s.get(), 10, a.textSearchable ? 1 : 0);
        stepDone(db_, s.get(), kSource, function, "storing the attributes");
    }
    rebuildTextTable(db_, name, attrs, kSource, function);
    scope.commit();
    schemaChanged();
}

void DKDatastoreSQLITE::refreshSchema(const char* function) {
    if (!inTransaction_) refreshIfSchemaChanged(function);
}

std::shared_ptr<const PCatalogueEntity> DKDatastoreSQLITE::schemaEntity(const char* name, const char* function) {
    return entity(name, function);
}

std::vector<std::shared_ptr<const PCatalogueEntity>> DKDatastoreSQLITE::schemaEntities(const char* function) {
    loadEntities(function);
    std::vector<std::shared_ptr<PEntity>> all;
    for (auto& [key, e] : entities_) all.push_back(e);
    std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a->id < b->id; });
    return {all.begin(), all.end()};
}

void DKDatastoreSQLITE::storeEntities(const std::vector<PNewEntity>& entities, const char* function) {
    std::optional<PWriteScope> scope;   // an entity and its sub-entities are stored together
    if (entities.size() > 1) scope.emplace(*this, function);
    for (const PNewEntity& e : entities) storeEntity(e.name, e.type, e.description, e.attrs, function, e.parent);
    if (scope) scope->commit();
}

void DKDatastoreSQLITE::dropEntity(const char* name, const char* function) {
    if (!inTransaction_) refreshIfSchemaChanged(function);
    std::shared_ptr<PEntity> e = entity(name, function);
    requireAdmin(function);
    PWriteScope scope(*this, function);
    // Sub-entities go first: their items live only under the parent's.
    for (const std::string& child : std::vector<std::string>(e->children)) dropEntity(child.c_str(), function);
    dropTextTable(db_, e->name, kSource, function);
    dropContent(e->name, 0, function);   // an entity made again under the name starts without parts
    dropMembers(e->name, 0, function);   // and outside every folder and link
    dropRights(e->name, 0, function);    // with the default ACL and nothing checked out
    exec(db_, ("DROP TABLE main." + quoteIdent(e->name)).c_str(), kSource, function);
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
    requireAdmin(function);
    std::string ddl = "ALTER TABLE main." + quoteIdent(e->name) + " ADD COLUMN " + quoteIdent(a.name) + " " +
                      columnTypeOf(a.type) + (a.nullable ? "" : " NOT NULL");
    exec(db_, ddl.c_str(), kSource, function);
    PStmt s = prepare(db_,
                      "INSERT INTO dk_attrs (entity, name, position, type, nullable, size, precision, scale,"
                      " description, textsearch) VALUES (?1, ?2, (SELECT coalesce(max(position), 0) + 1 FROM dk_attrs"
                      " WHERE entity = ?1), ?3, ?4, ?5, ?6, ?7, ?8, ?9)",
                      kSource, function);
    bindText(s.get(), 1, e->name);
    bindText(s.get(), 2, a.name);
    sqlite3_bind_int(s.get(), 3, a.type);
    sqlite3_bind_int(s.get(), 4, a.nullable ? 1 : 0);
    sqlite3_bind_int64(s.get(), 5, a.size);
    sqlite3_bind_int64(s.get(), 6, a.precision);
    sqlite3_bind_int64(s.get(), 7, a.scale);
    bindText(s.get(), 8, a.description);
    sqlite3_bind_int(s.get(), 9, a.textSearchable ? 1 : 0);
    stepDone(db_, s.get(), kSource, function, "storing the attribute");
    if (a.textSearchable) {   // the index gets a column: made again and filled from the rows
        std::vector<PAttr> attrs = e->attrs;
        attrs.push_back(a);
        rebuildTextTable(db_, e->name, attrs, kSource, function);
    }
    scope.commit();
    schemaChanged();
}

void DKDatastoreSQLITE::dropAttr(const char* entityName, const char* attrName, const char* function) {
    if (!inTransaction_) refreshIfSchemaChanged(function);
    std::shared_ptr<PEntity> e = entity(entityName, function);
    const PAttr* a = e->find(attrName);
    if (a == nullptr) dkThrow<DKUsageError>(kMsgNoAttr, kSource, function, DKString(attrName ? attrName : ""));
    const std::string attr = a->name;
    const bool text = a->textSearchable != 0;
    PWriteScope scope(*this, function);
    if (text) dropTextTable(db_, e->name, kSource, function);
    requireAdmin(function);
    exec(db_, ("ALTER TABLE main." + quoteIdent(e->name) + " DROP COLUMN " + quoteIdent(attr)).c_str(), kSource, function);
    PStmt s = prepare(db_, "DELETE FROM dk_attrs WHERE entity = ?1 AND name = ?2", kSource, function);
    bindText(s.get(), 1, e->name);
    bindText(s.get(), 2, attr);
    stepDone(db_, s.get(), kSource, function, "deleting the attribute");
    if (text) {   // the index loses a column: made again (or not at all) from the rows
        std::vector<PAttr> rest;
        for (const PAttr& other : e->attrs)
            if (lowerName(other.name.c_str()) != lowerName(attr.c_str())) rest.push_back(other);
        rebuildTextTable(db_, e->name, rest, kSource, function);
    }
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
    mappings_.clear();
    schemaChanged();
}
