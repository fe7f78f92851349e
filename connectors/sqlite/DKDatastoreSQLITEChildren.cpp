// connectors/sqlite/DKDatastoreSQLITEChildren.cpp
//
// What repository format 5 adds to the membership of SQLite items: child items of sub-entities,
// tied to their parent item in dk_children and held by the parent's DDO in one "CHILD" item per
// sub-entity; the numbered slots of segmented parts in dk_segments, empty slots included; and the
// item that carries a link, in two columns of dk_links. A child lives only under its parent: a
// child taken out of its parent is deleted, and deleting a parent deletes its children, their
// children and everything each of them holds.

#include "DKDatastoreSQLITE.hpp"
#include "PContent.hpp"
#include "PMembers.hpp"
#include "PSqliteStatement.hpp"
#include "PSqliteValues.hpp"

#include <dk/DKChildCollection.hpp>
#include <dk/DKException.hpp>
#include <dk/DKSegmentedParts.hpp>
#include <dk/dkThrow.hpp>
#include <dk/dkXDO.hpp>

#include <sqlite3.h>

#include <memory>
#include <vector>

using namespace dksqlite;

namespace {

constexpr const char* kSource = kDatastoreSource;   // every operation of the datastore is located there

// The format 5 tables; the new columns of dk_entities and dk_links are added beside them when
// missing (ensureChildTables), all in one transaction.
constexpr const char* kCreateTables =
    "CREATE TABLE IF NOT EXISTS dk_children(parent_entity TEXT NOT NULL COLLATE NOCASE, parent INTEGER NOT NULL,"
    " child_entity TEXT NOT NULL COLLATE NOCASE, child INTEGER NOT NULL, PRIMARY KEY(child_entity, child));"
    "CREATE INDEX IF NOT EXISTS dk_children_parent ON dk_children(parent_entity, parent);"
    "CREATE TABLE IF NOT EXISTS dk_segments(entity TEXT NOT NULL COLLATE NOCASE, item INTEGER NOT NULL,"
    " slot INTEGER NOT NULL, part INTEGER, PRIMARY KEY(entity, item, slot));";
constexpr const char* kNewColumns[][3] = {
    {"dk_entities", "parent", "ALTER TABLE dk_entities ADD COLUMN parent TEXT NOT NULL DEFAULT ''"},
    {"dk_links", "item_entity", "ALTER TABLE dk_links ADD COLUMN item_entity TEXT COLLATE NOCASE"},
    {"dk_links", "item", "ALTER TABLE dk_links ADD COLUMN item INTEGER"}};

[[noreturn]] void badChild(const char* function, const DKString& what) {
    dkThrow<DKUsageError>(kMsgBadMember, kSource, function, what);
}

// A DDO made by createDDO and not stored yet: its pid has no row id.
bool isNewItem(const DKPid& pid) { return pid.getIdStringCount() == 0 || pid.getIdString(0).length() == 0; }

}  // namespace

void DKDatastoreSQLITE::ensureChildTables(const char* function) {
    const auto [tables, current] = tableState({"dk_children", "dk_segments"}, 5, function);
    childTables_ = tables;
    if (current || readOnly_) return;
    PWriteScope scope(*this, function);
    exec(db_, kCreateTables, kSource, function);
    // Another connection may have added the columns while this one waited for the lock.
    for (const auto& column : kNewColumns) {
        PStmt has = prepare(db_, std::string("SELECT count(*) FROM pragma_table_info('") + column[0] + "') WHERE name = '" +
                                     column[1] + "'",
                            kSource, function);
        if (stepCount(db_, has.get(), kSource, function, "reading the columns") == 0) exec(db_, column[2], kSource, function);
    }
    exec(db_, "UPDATE dk_repository SET value = '5' WHERE key = 'format' AND CAST(value AS INTEGER) < 5", kSource,
         function);
    scope.commit();
    childTables_ = true;
    schemaChanged();   // the entities are read again, with their parents
}

// ---------------------------------------------------------------------------------------------
// Children

void DKDatastoreSQLITE::newChildren(DKDDOBase& ddo, PEntity& e) {
    for (const std::string& c : e.children) {
        std::unique_ptr<dkCollection> children(new DKChildCollection);
        ddo.setData(ddo.dataId(kChildNameSpace, c.c_str()), DKAny(children.get()));
        children.release();   // the DDO owns it now
    }
}

void DKDatastoreSQLITE::readChildren(DKDDOBase& ddo, PEntity& e, long rowId, const char* function) {
    for (const std::string& c : e.children) {
        const unsigned short id = ddo.dataId(kChildNameSpace, c.c_str());
        if (id == 0) continue;
        std::shared_ptr<PEntity> sub = entity(c.c_str(), function);
        // The ids first: each child is read with statements that may be this one.
        std::vector<long> rows;
        if (childTables_) {
            sqlite3_stmt* s = cached("SELECT child FROM dk_children WHERE parent_entity = ?1 AND parent = ?2"
                                     " AND child_entity = ?3 ORDER BY rowid",
                                     function);
            PResetOnExit r{s};
            bindText(s, 1, e.name);
            sqlite3_bind_int64(s, 2, rowId);
            bindText(s, 3, sub->name);
            int rc;
            while ((rc = sqlite3_step(s)) == SQLITE_ROW) rows.push_back(static_cast<long>(sqlite3_column_int64(s, 0)));
            if (rc != SQLITE_DONE) throwSqlite(db_, rc, kSource, function, "reading the children");
        }
        auto children = std::make_unique<DKChildCollection>();
        children->setTracking(0);   // what is read is not written again by the next update
        for (long row : rows) {
            std::unique_ptr<DKDDO> child(newDDO(*sub, row));
            retrieveOne(*child, row, function);   // with its own collections and children
            children->addElement(DKAny(static_cast<dkDataObjectBase*>(child.get())));
            child.release();
        }
        children->setTracking(1);
        ddo.setData(id, DKAny(static_cast<dkCollection*>(children.get())));
        children.release();
    }
}

bool DKDatastoreSQLITE::writeChild(const PEntity& parent, long parentRow, bool add, dkDataObjectBase* child,
                                   const char* function) {
    requireChange({parent.name, parentRow}, DKAdminSQLITE::kMembership, function);
    DKDDOBase* ddo = PConnectorKit::storable(child);
    if (ddo == nullptr) badChild(function, "a child that is not a data object");
    const DKString type = ddo->getPid().getObjectType();
    bool known = false;
    for (const std::string& c : parent.children) known = known || sameName(c.c_str(), type.c_str());
    if (!known) badChild(function, DKString("not a sub-entity of ") + parent.name.c_str() + ": " + type);
    if (!add) {
        const PItemRef ref = storedItem(child, function, false);
        sqlite3_stmt* s = cached("DELETE FROM dk_children WHERE parent_entity = ?1 AND parent = ?2 AND child_entity = ?3"
                                 " AND child = ?4",
                                 function);
        {
            PResetOnExit r{s};
            bindText(s, 1, parent.name);
            sqlite3_bind_int64(s, 2, parentRow);
            bindText(s, 3, ref.first);
            sqlite3_bind_int64(s, 4, ref.second);
            stepDone(db_, s, kSource, function, "untying the child");
        }
        if (sqlite3_changes(db_) == 0) return false;
        std::shared_ptr<PEntity> sub = entity(ref.first.c_str(), function);
        eraseItem(*sub, ref.second, function);
        return true;
    }
    PItemRef ref;
    if (isNewItem(ddo->getPid())) {   // stored with its parent, given its pid once the write commits
        std::shared_ptr<PEntity> sub;
        const long row = addOne(*ddo, sub, function);
        addedChildren_.push_back({ddo, sub, row});
        ref = {sub->name, row};
    } else {
        ref = storedItem(child, function);
    }
    // A child has one parent: tying it here unties it from any other.
    sqlite3_stmt* s = cached("INSERT OR REPLACE INTO dk_children VALUES (?1, ?2, ?3, ?4)", function);
    PResetOnExit r{s};
    bindText(s, 1, parent.name);
    sqlite3_bind_int64(s, 2, parentRow);
    bindText(s, 3, ref.first);
    sqlite3_bind_int64(s, 4, ref.second);
    stepDone(db_, s, kSource, function, "tying the child");
    return true;
}

void DKDatastoreSQLITE::finishChildren() {
    std::vector<PAddedChild> added;
    added.swap(addedChildren_);   // finishing one clears its own tracks, which finishes nothing more
    for (PAddedChild& a : added) finishAdd(*a.ddo, *a.entity, a.rowId);
}

bool DKDatastoreSQLITE::eraseItem(PEntity& e, long rowId, const char* function) {
    if (!e.textDeleteSql.empty()) writeText(e.textDeleteSql, rowId, function);
    dropContent(e.name, rowId, function);
    dropRights(e.name, rowId, function);
    dropChildren(e.name, rowId, function);
    dropMembers(e.name, rowId, function);
    sqlite3_stmt* s = cached(e.deleteStmt, e.deleteSql, function);
    PResetOnExit r{s};
    sqlite3_bind_int64(s, 1, rowId);
    stepDone(db_, s, kSource, function, "deleting the item");
    return sqlite3_changes(db_) > 0;
}

void DKDatastoreSQLITE::dropChildren(const std::string& entityName, long rowId, const char* function) {
    // A whole entity's children go with its sub-entities' tables (dropEntity).
    if (!childTables_ || rowId == 0) return;
    std::vector<PItemRef> children;
    {
        sqlite3_stmt* s = cached("SELECT child_entity, child FROM dk_children WHERE parent_entity = ?1 AND parent = ?2"
                                 " ORDER BY rowid",
                                 function);
        PResetOnExit r{s};
        bindText(s, 1, entityName);
        sqlite3_bind_int64(s, 2, rowId);
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW)
            children.emplace_back(textColumn(s, 0), static_cast<long>(sqlite3_column_int64(s, 1)));
        if (rc != SQLITE_DONE) throwSqlite(db_, rc, kSource, function, "reading the children");
    }
    for (const PItemRef& c : children) {
        std::shared_ptr<PEntity> sub = entity(c.first.c_str(), function);
        eraseItem(*sub, c.second, function);
    }
}

// ---------------------------------------------------------------------------------------------
// Segments

std::vector<PSegmentRow> DKDatastoreSQLITE::segmentRows(const PEntity& e, long rowId, const char* function) {
    // The slots and the stored parts in one statement, so both come from one snapshot.
    sqlite3_stmt* s = cached("SELECT slot, part, 0 FROM dk_segments WHERE entity = ?1 AND item = ?2"
                             " UNION ALL SELECT -1, part, kind FROM dk_content WHERE entity = ?1 AND item = ?2",
                             function);
    std::vector<PSegmentRow> rows;
    eachItemRow(db_, s, e.name, rowId, kSource, function, "reading the segments", [&] {
        rows.push_back({static_cast<long>(sqlite3_column_int64(s, 0)), static_cast<long>(sqlite3_column_int64(s, 1)),
                        sqlite3_column_int(s, 2)});
    });
    return rows;
}

void DKDatastoreSQLITE::readSegments(dkCollection& parts, PEntity& e, long rowId, const char* function) {
    PContentKit::readSegments(static_cast<DKSegmentedParts&>(parts), *static_cast<PContentStore*>(contentExtension(function)),
                              PPartName{e.name, rowId, 0}, segmentRows(e, rowId, function));
}

// The slots are written whole at every write of the item: moving or emptying a slot, or changing
// the count, leaves no track record. Removals on the track list were applied before.
void DKDatastoreSQLITE::writeSegments(DKDDOBase& ddo, PEntity& e, long rowId, const char* function) {
    auto* segments = dynamic_cast<DKSegmentedParts*>(PMemberKit::held(ddo, "DKParts"));
    if (segments == nullptr || !childTables_) return;
    const std::vector<long> slots =
        PContentKit::writeSegments(*static_cast<PContentStore*>(contentExtension(function)), PPartName{e.name, rowId, 0},
                                   *segments, segmentRows(e, rowId, function), kMsgBadMember, kSource, function);
    sqlite3_stmt* clear = cached("DELETE FROM dk_segments WHERE entity = ?1 AND item = ?2", function);
    {
        PResetOnExit r{clear};
        bindText(clear, 1, e.name);
        sqlite3_bind_int64(clear, 2, rowId);
        stepDone(db_, clear, kSource, function, "writing the segments");
    }
    for (std::size_t slot = 0; slot < slots.size(); ++slot) {
        sqlite3_stmt* s = cached("INSERT INTO dk_segments VALUES (?1, ?2, ?3, ?4)", function);
        PResetOnExit r{s};
        bindText(s, 1, e.name);
        sqlite3_bind_int64(s, 2, rowId);
        sqlite3_bind_int64(s, 3, static_cast<sqlite3_int64>(slot));
        if (slots[slot] > 0) sqlite3_bind_int64(s, 4, slots[slot]);
        else sqlite3_bind_null(s, 4);
        stepDone(db_, s, kSource, function, "writing the segments");
    }
}

// ---------------------------------------------------------------------------------------------
// The extension's children

void PMembers::addChild(dkDataObject* parent, dkDataObject* child) { changeChild(parent, child, true); }

void PMembers::removeChild(dkDataObject* parent, dkDataObject* child) { changeChild(parent, child, false); }

void PMembers::changeChild(dkDataObject* parent, dkDataObject* child, bool add) {
    const char* const fn = add ? "DKDatastoreSQLITE::addChild" : "DKDatastoreSQLITE::removeChild";
    if (child == nullptr) badChild(fn, "no child");
    ds_->forgetChildren();
    DKDatastoreSQLITE::PWriteScope scope(*ds_, fn);
    const PItemRef p = ds_->storedItem(parent, fn);
    const std::shared_ptr<PEntity> e = ds_->entity(p.first.c_str(), fn);
    if (!ds_->writeChild(*e, p.second, add, child, fn))
        dkThrow<DKDataObjectNotFound>(kMsgNoItem, kSource, fn, DKString("not a child of the item"));
    scope.commit();
    ds_->finishChildren();
}
