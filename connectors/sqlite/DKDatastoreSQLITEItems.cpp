// connectors/sqlite/DKDatastoreSQLITEItems.cpp
//
// The items of DKDatastoreSQLITE: adding, retrieving, updating and deleting entity rows as DDOs,
// one at a time or as collections. Every single-object operation is one SQL statement, which
// SQLite applies whole or not at all; a collection is written whole or not at all (the connector
// kit's loop, inside one transaction or savepoint); an item of an entity with a text index is
// written with its index entry in one write scope. A DDO's items are matched to the attributes
// through the kit's item map, worked out once per definition. A read-only connection refuses
// every write before SQLite sees it.

#include "DKDatastoreSQLITE.hpp"
#include "PSqliteStatement.hpp"
#include "PSqliteValues.hpp"

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <sqlite3.h>

#include <cstdlib>
#include <optional>

using namespace dksqlite;

namespace {

constexpr const char* kSource = kDatastoreSource;   // every operation of the datastore is located there

// What the connector refuses to store: anything but the DDOs of the connector kit's rule.
const PObjectRules kRules{kMsgBadObject, kSource, "an element is not a data object",
                          "an element is not a dynamic data object", "not a dynamic data object"};

}  // namespace

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
    std::unique_ptr<DKDDO> d(newDDO(*e, 0));
    newMembers(*d, *e);   // a new item starts with empty membership collections
    return d.release();
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
    return PConnectorKit::rowIdOf(ddo, kPidType, repositoryName_, kRules, function);
}

namespace {

// Where the DDO's items go among the entity's attributes. Every item of the DDO must be an
// attribute when the DDO is written.
const PItemMap& writtenItems(const PEntity& e, const DKDDOBase& ddo, const char* function) {
    // The membership items are no attributes, and are written through their track lists.
    return PWrittenItems(
        ddo, e,
        [&](unsigned short id) {
            const DKString name = ddo.getDataName(id);
            return e.memberItem(name.c_str()) != nullptr || e.childItem(name.c_str());
        },
        kMsgNoAttr, kSource, function);
}

}  // namespace

long DKDatastoreSQLITE::addOne(DKDDOBase& ddo, std::shared_ptr<PEntity>& e, const char* function) {
    e = entity(ddo.getObjectType().c_str(), function);
    const std::string acl = newItemACL(ddo, e->name, function);
    const PItemMap& map = writtenItems(*e, ddo, function);
    sqlite3_stmt* s = cached(e->insertStmt, e->insertSql, function);
    PRewindOnExit r{s};
    // The DDO's values are bound in place: they and the texts made for them outlive the step.
    // Every parameter is bound each time (unset items as NULL), so nothing of the last item
    // stays bound.
    boundTexts_.reset();
    for (size_t k = 0; k < e->attrs.size(); ++k) {
        const unsigned short id = map.itemOf(k);
        const DKAny* v = id != 0 ? PConnectorKit::setValue(ddo, id) : nullptr;
        if (v == nullptr) bindValue(s, static_cast<int>(k) + 1, DKAny(), 0, e->attrs[k].name.c_str(), kSource, function);
        else bindValue(s, static_cast<int>(k) + 1, *v, e->attrs[k].type, e->attrs[k].name.c_str(), kSource, function,
                       &boundTexts_);
    }
    stepDone(db_, s, kSource, function, "adding the item");
    const long rowId = static_cast<long>(sqlite3_last_insert_rowid(db_));
    if (!acl.empty()) {
        sqlite3_stmt* a = cached("INSERT INTO dk_item_acls VALUES (?1, ?2, ?3)", function);
        PResetOnExit ra{a};
        bindText(a, 1, e->name);
        sqlite3_bind_int64(a, 2, rowId);
        bindText(a, 3, acl);
        stepDone(db_, a, kSource, function, "naming the item's ACL");
    }
    if (!e->textInsertSql.empty()) writeText(e->textInsertSql, rowId, function);
    writeMembers(ddo, *e, rowId, function);
    return rowId;
}

bool DKDatastoreSQLITE::textIndexed(const DKDDOBase& ddo, const char* function) {
    return !entity(ddo.getObjectType().c_str(), function)->textInsertSql.empty();
}

void DKDatastoreSQLITE::writeText(const std::string& sql, long rowId, const char* function) {
    sqlite3_stmt* s = cached(sql, function);
    PResetOnExit r{s};
    sqlite3_bind_int64(s, 1, rowId);
    stepDone(db_, s, kSource, function, "writing the text index");
}

void DKDatastoreSQLITE::finishAdd(DKDDOBase& ddo, PEntity& e, long rowId) {
    PConnectorKit::finishAdd(ddo, e.pidFor(repositoryName_, rowId), this);
    clearTracks(ddo);
}

void DKDatastoreSQLITE::retrieveOne(DKDDOBase& ddo, long rowId, const char* function) {
    std::shared_ptr<PEntity> e = entity(ddo.getObjectType().c_str(), function);
    sqlite3_stmt* s = cached(e->selectStmt, e->selectSql, function);
    PResetOnExit r{s};
    sqlite3_bind_int64(s, 1, rowId);
    int rc = sqlite3_step(s);
    // The right is checked while the row's statement is open, so both read in one transaction
    // (one lock of the file); it is refused before a missing item is reported, as before reading.
    requirePrivilege({e->name, rowId}, DKAdminSQLITE::kRead, function);
    if (rc == SQLITE_DONE)
        dkThrow<DKDataObjectNotFound>(kMsgNoItem, kSource, function, DKString(ddo.getPid().pidString()));
    if (rc != SQLITE_ROW) throwSqlite(db_, rc, kSource, function, "retrieving the item");
    if (ddo.dataCount() == 0) ddo.reset(e->shapeDefinition());
    // A damaged value leaves the DDO as it was (the kit reads every value before storing any).
    PConnectorKit::readAttributes(ddo, e->names, [&](std::size_t k) {
        return columnValue(s, static_cast<int>(k) + 1, e->attrs[k].type, kSource, function);
    });
    readMembers(ddo, *e, rowId, function);
    ddo.resetDataChanged();
}

void DKDatastoreSQLITE::updateOne(DKDDOBase& ddo, long rowId, const char* function) {
    std::shared_ptr<PEntity> e = entity(ddo.getObjectType().c_str(), function);
    requireChange({e->name, rowId}, DKAdminSQLITE::kUpdate, function);
    const PItemMap& map = writtenItems(*e, ddo, function);
    std::vector<size_t> changed;
    bool textChanged = false;
    for (size_t k = 0; k < e->attrs.size(); ++k) {
        const unsigned short id = map.itemOf(k);
        if (id != 0 && PConnectorKit::changed(ddo, id)) {
            changed.push_back(k);
            textChanged = textChanged || e->attrs[k].textSearchable;
        }
    }
    // The index entry goes with the texts it was made from, and comes back with the new ones.
    if (textChanged) writeText(e->textDeleteSql, rowId, function);
    std::string sql;
    if (changed.empty()) {
        sql = e->existsSql;
    } else {
        sql = "UPDATE main." + quoteIdent(e->name) + " SET ";
        for (size_t i = 0; i < changed.size(); ++i)
            sql += (i ? ", " : "") + quoteIdent(e->attrs[changed[i]].name) + " = ?" + std::to_string(i + 2);
        sql += std::string(" WHERE ") + kIdColumn + " = ?1";
    }
    sqlite3_stmt* s = cached(sql, function);
    PResetOnExit r{s};
    sqlite3_bind_int64(s, 1, rowId);
    boundTexts_.reset();
    for (size_t i = 0; i < changed.size(); ++i) {
        const size_t k = changed[i];
        bindValue(s, static_cast<int>(i) + 2, *PConnectorKit::setValue(ddo, map.itemOf(k)), e->attrs[k].type,
                  e->attrs[k].name.c_str(), kSource, function, &boundTexts_);
    }
    int rc = sqlite3_step(s);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) throwSqlite(db_, rc, kSource, function, "updating the item");
    const bool found = changed.empty() ? rc == SQLITE_ROW : sqlite3_changes(db_) > 0;
    if (!found) dkThrow<DKDataObjectNotFound>(kMsgNoItem, kSource, function, DKString(ddo.getPid().pidString()));
    if (textChanged) writeText(e->textInsertSql, rowId, function);
    sqlite3_reset(s);   // the members' writes may use the same cached statement
    writeMembers(ddo, *e, rowId, function);
}

void DKDatastoreSQLITE::deleteOne(DKDDOBase& ddo, long rowId, const char* function) {
    std::shared_ptr<PEntity> e = entity(ddo.getObjectType().c_str(), function);
    requireChange({e->name, rowId}, DKAdminSQLITE::kDelete, function);
    if (!eraseItem(*e, rowId, function))
        dkThrow<DKDataObjectNotFound>(kMsgNoItem, kSource, function, DKString(ddo.getPid().pidString()));
}

void DKDatastoreSQLITE::addObject(dkDataObject* object, const DKNVPair*, long) {
    static const char* const fn = "DKDatastoreSQLITE::addObject";
    DKTraceScope t(trace_, fn, this);
    writable(fn);
    DKDDOBase& ddo = checkedObject(object, fn, nullptr);
    forgetChildren();
    std::optional<PWriteScope> scope;   // the row, its index entry and its members are written together
    if (textIndexed(ddo, fn) || pendingMembers(ddo, fn)) scope.emplace(*this, fn);
    std::shared_ptr<PEntity> e;
    const long id = addOne(ddo, e, fn);
    if (scope) scope->commit();
    finishChildren();
    finishAdd(ddo, *e, id);
}

void DKDatastoreSQLITE::retrieveObject(dkDataObject* object, const DKNVPair*, long) {
    static const char* const fn = "DKDatastoreSQLITE::retrieveObject";
    DKTraceScope t(trace_, fn, this);
    long id = 0;
    DKDDOBase& ddo = checkedObject(object, fn, &id);
    // The row, its collections and its children are read from one snapshot, so a writer
    // committing meanwhile gives the old item or the new one, never parts of both.
    std::optional<PReadScope> read;
    if (entity(ddo.getObjectType().c_str(), fn)->memberItemCount() > 0) read.emplace(db_, inTransaction_, kSource, fn);
    retrieveOne(ddo, id, fn);
}

void DKDatastoreSQLITE::updateObject(dkDataObject* object, const DKNVPair*, long) {
    static const char* const fn = "DKDatastoreSQLITE::updateObject";
    DKTraceScope t(trace_, fn, this);
    writeAlone(object, &DKDatastoreSQLITE::updateOne, fn);
}

void DKDatastoreSQLITE::deleteObject(dkDataObject* object, const DKNVPair*, long) {
    static const char* const fn = "DKDatastoreSQLITE::deleteObject";
    DKTraceScope t(trace_, fn, this);
    writeAlone(object, &DKDatastoreSQLITE::deleteOne, fn);
}

// One object changed alone: checked, written in a write scope when its entity has a text table
// (the row and its index change together), its change flags cleared once stored.
void DKDatastoreSQLITE::writeAlone(dkDataObject* object, WriteOne write, const char* fn) {
    writable(fn);
    long id = 0;
    DKDDOBase& ddo = checkedObject(object, fn, &id);
    forgetChildren();
    std::optional<PWriteScope> scope;   // a deleted item's content and memberships go with its row
    const bool deleting = write == &DKDatastoreSQLITE::deleteOne;
    if (textIndexed(ddo, fn) || (deleting && (contentTables_ || memberTables_)) || (!deleting && pendingMembers(ddo, fn)))
        scope.emplace(*this, fn);
    (this->*write)(ddo, id, fn);
    if (scope) scope->commit();
    finishChildren();
    ddo.resetDataChanged();
    if (!deleting) clearTracks(ddo);
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
    forgetChildren();
    PConnectorKit::allOrNone(
        objects, kRules, fn, [&] { return PWriteScope(*this, fn); },
        [&](DKDDOBase& ddo) {
            Added a{nullptr, 0};
            a.id = addOne(checkedObject(&ddo, fn, nullptr), a.entity, fn);
            return a;
        },
        [&](DKDDOBase& ddo, Added& a) {
            finishChildren();
            finishAdd(ddo, *a.entity, a.id);
        });
}

void DKDatastoreSQLITE::writeEach(dkCollection* objects, const char* fn,
                                  void (DKDatastoreSQLITE::*writeOne)(DKDDOBase&, long, const char*)) {
    DKTraceScope t(trace_, fn, this);
    forgetChildren();
    PConnectorKit::allOrNone(
        objects, kRules, fn, [&] { return PWriteScope(*this, fn); },
        [&](DKDDOBase& ddo) {
            long id = 0;
            DKDDOBase& checked = checkedObject(&ddo, fn, &id);
            (this->*writeOne)(checked, id, fn);
        },
        [this](DKDDOBase& ddo) {
            finishChildren();
            ddo.resetDataChanged();
            clearTracks(ddo);
        });
}

void DKDatastoreSQLITE::updateObjects(dkCollection* objects, const DKNVPair*, long) {
    writeEach(objects, "DKDatastoreSQLITE::updateObjects", &DKDatastoreSQLITE::updateOne);
}

void DKDatastoreSQLITE::deleteObjects(dkCollection* objects, const DKNVPair*, long) {
    writeEach(objects, "DKDatastoreSQLITE::deleteObjects", &DKDatastoreSQLITE::deleteOne);
}
