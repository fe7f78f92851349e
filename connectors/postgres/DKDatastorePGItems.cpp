// connectors/postgres/DKDatastorePGItems.cpp
//
// The items of DKDatastorePG: adding, retrieving, updating and deleting entity rows as DDOs, one
// at a time or as collections. Every single-object operation is one statement, which the server
// applies whole or not at all; an update sets only the changed attributes, so two objects that
// change different attributes of one item both keep their change, and writers of one row wait on
// its row lock. A collection is written whole or not at all (the connector kit's loop, in one
// transaction). A DDO's items are matched to the attributes through the kit's item map.

#include "DKDatastorePG.hpp"

#include <dk/DKException.hpp>
#include <dk/PMemberKit.hpp>
#include <dk/dkThrow.hpp>

#include <libpq-fe.h>

#include <cstdlib>
#include <optional>

using namespace dkpg;

namespace {

constexpr const char* kSource = kDatastoreSource;

// What the connector refuses to store: anything but the DDOs of the connector kit's rule.
const PObjectRules kRules{kMsgBadObject, kSource, "an element is not a data object",
                          "an element is not a dynamic data object", "not a dynamic data object"};

// Where the DDO's items go among the entity's attributes. Every item of the DDO must be an
// attribute or one of the membership items of the entity's type when the DDO is written.
const PItemMap& writtenItems(const PEntity& e, const DKDDOBase& ddo, const char* function) {
    return PWrittenItems(
        ddo, e,
        [&](unsigned short id) {
            return PMemberKit::item(e.type, ddo.getDataName(id).c_str()) != nullptr || e.hasChild(ddo, id);
        },
        kMsgNoAttr, kSource, function);
}

// Whether writing ddo writes membership rows too, so that its row and they need one transaction.
bool writesMembers(const DKDDOBase& ddo) { return PMemberKit::pending(ddo, -1) || PMemberKit::childrenPending(ddo); }

}  // namespace

PResult DKDatastorePG::exec(const std::string& sql, const char* function, const char* what) {
    try {
        // In the caller's transaction a failed statement would end it: it runs in a savepoint.
        // In the read-only one of open cursors too, where a write meets the server's refusal.
        if (!inTransaction_ && sharedCursors_ == 0) return statements_.run(conn(function), sql, params_, kSource, function, what);
        PTransaction unit(*this, function, !inTransaction_);
        PResult r = statements_.run(conn(function), sql, params_, kSource, function, what);
        unit.commit();
        return r;
    } catch (DKException& e) {
        // The catalogue is read once and kept; a failure may be another session's schema change
        // (a table or column gone), so the next operation reads it again.
        entitiesLoaded_ = false;
        if (!inTransaction_ && sharedCursors_ > 0 && std::string(e.errorState()) == "25006") refuseWrite(function);
        throw;
    }
}

DKDDO* DKDatastorePG::createDDO(const char* entityName, long) {
    static const char* const fn = "DKDatastorePG::createDDO";
    DKTraceScope t(trace_, fn, this);
    conn(fn);
    std::shared_ptr<PEntity> e = entity(entityName, fn);
    std::unique_ptr<DKDDO> d(new DKDDO(this, e->pidFor(repositoryName_, 0), static_cast<unsigned short>(0)));
    d->reset(e->shapeDefinition());
    newMembers(*d, *e);   // a new item starts with empty membership collections
    return d.release();
}

DKDDOBase& DKDatastorePG::checkedObject(dkDataObject* object, const char* function, long* rowId) {
    conn(function);
    // The protocol says what the object is; only then may it be treated as a DDO.
    DKDDOBase& ddo = PConnectorKit::checkedObject(object, kRules, function);
    if (rowId != nullptr) *rowId = rowIdOf(ddo, function);
    return ddo;
}

long DKDatastorePG::rowIdOf(const DKDDOBase& ddo, const char* function) const {
    return PConnectorKit::rowIdOf(ddo, kPidType, repositoryName_, kRules, function);
}

long DKDatastorePG::addOne(DKDDOBase& ddo, std::shared_ptr<PEntity>& e, const char* function) {
    e = entity(ddo.getObjectType().c_str(), function);
    const PItemMap& map = writtenItems(*e, ddo, function);
    // Every attribute gets a parameter (unset items NULL), all checked before the server sees any.
    params_.clear();
    for (std::size_t k = 0; k < e->attrs.size(); ++k) {
        const unsigned short id = map.itemOf(k);
        const DKAny* v = id != 0 ? PConnectorKit::setValue(ddo, id) : nullptr;
        if (v == nullptr) params_.addNull();
        else addValue(params_, *v, e->attrs[k].type, e->attrs[k].name.c_str(), kSource, function);
    }
    PResult r = exec(e->insertSql, function, "adding the item");
    const long rowId = std::strtol(PQgetvalue(r.get(), 0, 0), nullptr, 10);
    writeMembers(ddo, *e, rowId, function);
    return rowId;
}

void DKDatastorePG::finishAdd(DKDDOBase& ddo, PEntity& e, long rowId) {
    PConnectorKit::finishAdd(ddo, e.pidFor(repositoryName_, rowId), this);
    PMemberKit::clearTracks(ddo);
}

void DKDatastorePG::retrieveOne(DKDDOBase& ddo, long rowId, const char* function) {
    std::shared_ptr<PEntity> e = entity(ddo.getObjectType().c_str(), function);
    params_.clear();
    params_.addText(std::to_string(rowId));
    PResult r = exec(e->selectSql, function, "retrieving the item");
    if (PQntuples(r.get()) == 0)
        dkThrow<DKDataObjectNotFound>(kMsgNoItem, kSource, function, DKString(ddo.getPid().pidString()));
    if (ddo.dataCount() == 0) ddo.reset(e->shapeDefinition());
    // A damaged value leaves the DDO as it was (the kit reads every value before storing any).
    PConnectorKit::readAttributes(ddo, e->names, [&](std::size_t k) {
        return readValue(r.get(), 0, static_cast<int>(k) + 1, e->attrs[k].type, kSource, function);
    });
    readMembers(ddo, *e, rowId, function);
    ddo.resetDataChanged();
}

void DKDatastorePG::updateOne(DKDDOBase& ddo, long rowId, const char* function) {
    std::shared_ptr<PEntity> e = entity(ddo.getObjectType().c_str(), function);
    const PItemMap& map = writtenItems(*e, ddo, function);
    const std::string table = quoteIdent(lowerName(e->name.c_str()));
    params_.clear();
    params_.addText(std::to_string(rowId));
    std::string set;
    for (std::size_t k = 0; k < e->attrs.size(); ++k) {
        const unsigned short id = map.itemOf(k);
        if (id == 0 || !PConnectorKit::changed(ddo, id)) continue;
        const DKAny* v = PConnectorKit::setValue(ddo, id);
        if (v == nullptr) params_.addNull();
        else addValue(params_, *v, e->attrs[k].type, e->attrs[k].name.c_str(), kSource, function);
        set += (set.empty() ? "" : ", ") + quoteIdent(lowerName(e->attrs[k].name.c_str())) + " = $" +
               std::to_string(params_.count());
    }
    // Nothing changed: the item must still be there.
    const std::string sql = set.empty() ? std::string("SELECT 1 FROM ") + table + " WHERE " + kIdColumn + " = $1"
                                        : "UPDATE " + table + " SET " + set + " WHERE " + kIdColumn + " = $1";
    PResult r = exec(sql, function, "updating the item");
    const bool found = set.empty() ? PQntuples(r.get()) > 0 : std::string(PQcmdTuples(r.get())) != "0";
    if (!found) dkThrow<DKDataObjectNotFound>(kMsgNoItem, kSource, function, DKString(ddo.getPid().pidString()));
    writeMembers(ddo, *e, rowId, function);
}

void DKDatastorePG::deleteOne(DKDDOBase& ddo, long rowId, const char* function) {
    std::shared_ptr<PEntity> e = entity(ddo.getObjectType().c_str(), function);
    params_.clear();
    params_.addText(std::to_string(rowId));
    PResult r = exec(e->deleteSql, function, "deleting the item");
    if (std::string(PQcmdTuples(r.get())) == "0")
        dkThrow<DKDataObjectNotFound>(kMsgNoItem, kSource, function, DKString(ddo.getPid().pidString()));
}

void DKDatastorePG::addObject(dkDataObject* object, const DKNVPair*, long) {
    static const char* const fn = "DKDatastorePG::addObject";
    DKTraceScope t(trace_, fn, this);
    DKDDOBase& ddo = checkedObject(object, fn, nullptr);
    addedChildren_.clear();
    std::optional<PTransaction> unit;   // the row and its memberships are written together
    if (writesMembers(ddo)) unit.emplace(*this, fn);
    std::shared_ptr<PEntity> e;
    const long id = addOne(ddo, e, fn);
    if (unit) unit->commit();
    finishChildren();
    finishAdd(ddo, *e, id);
}

void DKDatastorePG::retrieveObject(dkDataObject* object, const DKNVPair*, long) {
    static const char* const fn = "DKDatastorePG::retrieveObject";
    DKTraceScope t(trace_, fn, this);
    long id = 0;
    DKDDOBase& ddo = checkedObject(object, fn, &id);
    // An item with children is read in several statements: from one snapshot, so a writer
    // committing meanwhile gives the old tree or the new one, never parts of both.
    std::optional<PTransaction> read;
    if (!inTransaction_ && sharedCursors_ == 0 && !entity(ddo.getObjectType().c_str(), fn)->children.empty())
        read.emplace(*this, fn, true);
    retrieveOne(ddo, id, fn);
    if (read) read->commit();
}

void DKDatastorePG::updateObject(dkDataObject* object, const DKNVPair*, long) {
    static const char* const fn = "DKDatastorePG::updateObject";
    DKTraceScope t(trace_, fn, this);
    long id = 0;
    DKDDOBase& ddo = checkedObject(object, fn, &id);
    addedChildren_.clear();
    std::optional<PTransaction> unit;   // the row and its memberships are written together
    if (writesMembers(ddo)) unit.emplace(*this, fn);
    updateOne(ddo, id, fn);
    if (unit) unit->commit();
    finishChildren();
    ddo.resetDataChanged();
    PMemberKit::clearTracks(ddo);
}

void DKDatastorePG::deleteObject(dkDataObject* object, const DKNVPair*, long) {
    static const char* const fn = "DKDatastorePG::deleteObject";
    DKTraceScope t(trace_, fn, this);
    long id = 0;
    DKDDOBase& ddo = checkedObject(object, fn, &id);
    deleteOne(ddo, id, fn);
    ddo.resetDataChanged();
}

// The collection forms write every element or none (the connector kit's loop): the rows go in
// one transaction, and the objects learn their new ids and lose their change flags only once it
// has committed.
void DKDatastorePG::addObjects(dkCollection* objects, const DKNVPair*, long) {
    static const char* const fn = "DKDatastorePG::addObjects";
    DKTraceScope t(trace_, fn, this);
    struct Added {
        std::shared_ptr<PEntity> entity;
        long id;
    };
    addedChildren_.clear();
    PConnectorKit::allOrNone(
        objects, kRules, fn, [&] { return PTransaction(*this, fn); },
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

void DKDatastorePG::writeEach(dkCollection* objects, const char* fn, WriteOne writeOne) {
    DKTraceScope t(trace_, fn, this);
    addedChildren_.clear();
    PConnectorKit::allOrNone(
        objects, kRules, fn, [&] { return PTransaction(*this, fn); },
        [&](DKDDOBase& ddo) {
            long id = 0;
            DKDDOBase& checked = checkedObject(&ddo, fn, &id);
            (this->*writeOne)(checked, id, fn);
        },
        [this](DKDDOBase& ddo) {
            finishChildren();
            ddo.resetDataChanged();
            PMemberKit::clearTracks(ddo);
        });
}

void DKDatastorePG::updateObjects(dkCollection* objects, const DKNVPair*, long) {
    writeEach(objects, "DKDatastorePG::updateObjects", &DKDatastorePG::updateOne);
}

void DKDatastorePG::deleteObjects(dkCollection* objects, const DKNVPair*, long) {
    writeEach(objects, "DKDatastorePG::deleteObjects", &DKDatastorePG::deleteOne);
}
