// connectors/sqlite/DKDatastoreSQLITEMembers.cpp
//
// The membership of SQLite items: the collections an entity's type bits and sub-entities give
// its DDOs (content parts, folder members, links, children; DKDatastoreSQLITEChildren.cpp keeps
// what format 5 adds), read when an item is retrieved, their track lists written with
// the item when it is added or updated, and the memberships dropped with an item; and the
// datastore extension that changes them at once. Members and link ends are named by entity and
// row id, so an item is never stored through a membership: only stored items can be filed or
// linked, and deleting a folder leaves its members where they are.

#include "DKDatastoreSQLITE.hpp"
#include "PContent.hpp"
#include "PMembers.hpp"
#include "PSqliteStatement.hpp"
#include "PSqliteValues.hpp"

#include <dk/DKChildCollection.hpp>
#include <dk/DKCommonPrivilege.hpp>
#include <dk/DKException.hpp>
#include <dk/DKFolder.hpp>
#include <dk/DKLinkCollection.hpp>
#include <dk/DKParts.hpp>
#include <dk/dkThrow.hpp>
#include <dk/dkXDO.hpp>

#include <sqlite3.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

using namespace dksqlite;

namespace {

constexpr const char* kSource = kDatastoreSource;   // every operation of the datastore is located there
constexpr const char* kExtensionName = "DATASTORE_EXTENSION";

constexpr const char* kCreateTables =
    "CREATE TABLE IF NOT EXISTS dk_members(folder_entity TEXT NOT NULL COLLATE NOCASE, folder INTEGER NOT NULL,"
    " member_entity TEXT NOT NULL COLLATE NOCASE, member INTEGER NOT NULL,"
    " UNIQUE(folder_entity, folder, member_entity, member));"
    "CREATE INDEX IF NOT EXISTS dk_members_member ON dk_members(member_entity, member);"
    "CREATE TABLE IF NOT EXISTS dk_links(source_entity TEXT NOT NULL COLLATE NOCASE, source INTEGER NOT NULL,"
    " target_entity TEXT NOT NULL COLLATE NOCASE, target INTEGER NOT NULL, type TEXT NOT NULL,"
    " UNIQUE(source_entity, source, target_entity, target, type));"
    "CREATE INDEX IF NOT EXISTS dk_links_target ON dk_links(target_entity, target);"
    "UPDATE dk_repository SET value = '4' WHERE key = 'format' AND CAST(value AS INTEGER) < 4";

// The functions of the extension this connector supports, in the extension's slot order.
constexpr const char* kFunctions[] = {"addToFolder",      "removeFromFolder",       "addChild",       "removeChild",
                                      "addLink",          "removeLink",             "removeLinks",    "isCheckedOut",
                                      "checkedOutUserid", "unlockCheckedOut",       "checkOut",       "checkIn",
                                      "getCommonPrivilege", "getCommonItemPrivilege", "changePassword", "addPart",
                                      "removePart"};

[[noreturn]] void badMember(const char* function, const DKString& what) {
    dkThrow<DKUsageError>(kMsgBadMember, kSource, function, what);
}

// The collection a membership item holds, or null when it holds none.
dkCollection* heldCollection(const DKDDOBase& ddo, const char* name, const char* nameSpace = nullptr) {
    const unsigned short id = nameSpace != nullptr ? ddo.dataId(nameSpace, name) : ddo.dataId(name);
    if (id == 0 || !ddo.isDataSet(id)) return nullptr;
    const DKAny v = ddo.getData(id);
    return v.typeCode() == DKAny::tc_collection ? static_cast<dkCollection*>(v.value()) : nullptr;
}

dkCollection* trackListOf(PMemberKind kind, dkCollection* c) { return PMemberKit::trackList(kind, c); }

dkCollection* newCollection(PMemberKind kind, const PEntity& e) { return PMemberKit::newCollection(kind, e.type); }

void setTracking(PMemberKind kind, dkCollection* c, int on) { PMemberKit::setTracking(kind, c, on); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// The datastore's side

void DKDatastoreSQLITE::ensureMemberTables(const char* function) {
    const auto [tables, current] = tableState({"dk_members", "dk_links"}, 4, function);
    memberTables_ = tables;
    if (current || readOnly_) return;
    PWriteScope scope(*this, function);
    exec(db_, kCreateTables, kSource, function);
    scope.commit();
    memberTables_ = true;
}

dkExtension* DKDatastoreSQLITE::memberExtension(const char* function) {
    db(function);
    if (!members_) {
        members_ = std::make_shared<PMembers>(this);
        members_->setDatastore(this);
    }
    return members_.get();
}

std::pair<std::string, long> DKDatastoreSQLITE::storedItem(const dkDataObjectBase* object, const char* function,
                                                          bool stored) {
    const DKDDOBase* ddo = PConnectorKit::storable(const_cast<dkDataObjectBase*>(object));
    if (ddo == nullptr) badMember(function, "not a data object");
    const DKPid& pid = ddo->getPid();
    const DKString id = pid.getIdStringCount() > 0 ? pid.getIdString(0) : DKString();
    char* end = nullptr;
    const long n = std::strtol(id.c_str(), &end, 10);
    if (pid.getDatastoreType() != kPidType || pid.getDatastoreName() != repositoryName_.c_str() || id.length() == 0 ||
        *end != '\0' || n <= 0)
        badMember(function, DKString("not stored: ") + pid.pidString());
    std::shared_ptr<PEntity> e = entity(pid.getObjectType().c_str(), function);
    if (!stored) return {e->name, n};
    sqlite3_stmt* s = cached(e->existsSql, function);
    PResetOnExit r{s};
    sqlite3_bind_int64(s, 1, n);
    const int rc = sqlite3_step(s);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) throwSqlite(db_, rc, kSource, function, "reading the item");
    if (rc == SQLITE_DONE) badMember(function, DKString("not stored: ") + pid.pidString());
    return {e->name, n};
}

void DKDatastoreSQLITE::newMembers(DKDDOBase& ddo, PEntity& e) {
    for (const PMemberItem& m : kMemberItems) {
        if ((e.type & m.kind) == 0) continue;
        std::unique_ptr<dkCollection> c(newCollection(m.kind, e));
        ddo.setData(ddo.dataId(m.name), DKAny(c.get()));
        c.release();   // the DDO owns it now
    }
    newChildren(ddo, e);
}

void DKDatastoreSQLITE::readMembers(DKDDOBase& ddo, PEntity& e, long rowId, const char* function) {
    for (const PMemberItem& m : kMemberItems) {
        const unsigned short id = (e.type & m.kind) != 0 ? ddo.dataId(m.name) : 0;
        if (id == 0) continue;
        std::unique_ptr<dkCollection> c(newCollection(m.kind, e));
        // Filled with tracking off, so that what is stored is not written again by the next update.
        setTracking(m.kind, c.get(), 0);
        auto addObject = [&c](dkDataObjectBase* o) {
            std::unique_ptr<dkDataObjectBase> owned(o);
            c->addElement(DKAny(owned.get()));
            owned.release();
        };
        if (m.kind == kMemberParts && contentTables_ && e.segmented() && childTables_) {
            readSegments(*c, e, rowId, function);
        } else if (m.kind == kMemberParts && contentTables_) {
            auto* store = static_cast<PContentStore*>(contentExtension(function));
            sqlite3_stmt* s = cached("SELECT part, kind FROM dk_content WHERE entity = ?1 AND item = ?2 ORDER BY part", function);
            eachItemRow(db_, s, e.name, rowId, kSource, function, "reading the parts", [&] {
                const DKPidXDO pid = store->pidOf(e.name.c_str(), rowId, static_cast<long>(sqlite3_column_int64(s, 0)));
                // The parts hold no bytes until they are asked for their content.
                if (sqlite3_column_int(s, 1) == 1) addObject(store->createClob(pid));
                else addObject(store->createBlob(pid));
            });
        } else if (m.kind == kMemberFolder && memberTables_) {
            sqlite3_stmt* s = cached("SELECT member_entity, member FROM dk_members WHERE folder_entity = ?1 AND folder = ?2"
                                     " ORDER BY rowid",
                                     function);
            eachItemRow(db_, s, e.name, rowId, kSource, function, "reading the folder", [&] {
                std::shared_ptr<PEntity> me = entity(textColumn(s, 0).c_str(), function);
                const long member = static_cast<long>(sqlite3_column_int64(s, 1));
                // A folder lists only the members its reader may read.
                if (readable({me->name, member}, function)) addObject(newDDO(*me, member));
            });
        } else if (m.kind == kMemberLinks && memberTables_) {
            // A repository older than format 5 opened read-only has no link items.
            sqlite3_stmt* s = cached(std::string("SELECT source_entity, source, target_entity, target, type, ") +
                                         (childTables_ ? "item_entity, item" : "NULL, NULL") +
                                         " FROM dk_links WHERE (source_entity = ?1 AND source = ?2)"
                                         " OR (target_entity = ?1 AND target = ?2) ORDER BY rowid",
                                     function);
            eachItemRow(db_, s, e.name, rowId, kSource, function, "reading the links", [&] {
                // The end that is this item is the DDO itself, shared; the other end (and the
                // link item) a new DDO the link owns.
                auto end = [&](int col) -> std::pair<dkDataObject*, int> {
                    if (sqlite3_column_type(s, col) == SQLITE_NULL) return {nullptr, 0};
                    const long id = static_cast<long>(sqlite3_column_int64(s, col + 1));
                    std::shared_ptr<PEntity> ee = entity(textColumn(s, col).c_str(), function);
                    if (ee->name == e.name && id == rowId) return {&ddo, 1};
                    return {newDDO(*ee, id), 0};
                };
                auto source = end(0);
                std::unique_ptr<dkDataObject> ownedSource(source.second ? nullptr : source.first);
                auto target = end(2);
                std::unique_ptr<dkDataObject> ownedTarget(target.second ? nullptr : target.first);
                auto item = end(5);
                std::unique_ptr<dkDataObject> ownedItem(item.second ? nullptr : item.first);
                std::unique_ptr<DKLink> link(new DKLink(textColumn(s, 4).c_str(), source.first, target.first, item.first,
                                                        source.second, target.second, item.second));
                ownedSource.release();
                ownedTarget.release();
                ownedItem.release();
                c->addElement(DKAny(static_cast<void*>(link.get())));
                link.release();
            });
        }
        setTracking(m.kind, c.get(), 1);
        ddo.setData(id, DKAny(c.get()));
        c.release();
    }
    readChildren(ddo, e, rowId, function);
}

bool DKDatastoreSQLITE::pendingMembers(DKDDOBase& ddo, const char* function) {
    const std::shared_ptr<PEntity>& e = entity(ddo.getObjectType().c_str(), function);
    if (PMemberKit::pending(ddo, e->type)) return true;   // segmented parts at every write
    for (const std::string& child : e->children) {
        auto* c = dynamic_cast<DKChildCollection*>(heldCollection(ddo, child.c_str(), kChildNameSpace));
        if (c != nullptr && c->listTracking()->cardinality() > 0) return true;
    }
    return false;
}

// Every track list is read, whatever the item's change flags say: a collection changes without
// its DDO knowing. The records are net changes already (an addition and a removal of one object
// cancel), so each is applied as it stands; the lists are cleared only once the item is stored.
void DKDatastoreSQLITE::writeMembers(DKDDOBase& ddo, PEntity& e, long rowId, const char* function) {
    if (e.memberItemCount() == 0) return;
    const PItemRef self{e.name, rowId};
    bool writeSegmentsAfter = false;
    for (const PMemberItem& m : kMemberItems) {
        dkCollection* c = (e.type & m.kind) != 0 ? heldCollection(ddo, m.name) : nullptr;
        if (c == nullptr) continue;
        dkCollection* tracks = trackListOf(m.kind, c);
        if (tracks == nullptr) badMember(function, DKString(m.name) + " holds a collection of another kind");
        if (m.kind == kMemberParts && e.segmented()) writeSegmentsAfter = true;
        if (tracks->cardinality() == 0) continue;
        auto* members = static_cast<PMembers*>(memberExtension(function));
        std::unique_ptr<dkIterator> it(tracks->createIterator());
        while (it->more()) {
            const auto* record = static_cast<const PTrackRecord*>(it->next()->value());
            const bool add = record->action == 'a';
            if (m.kind == kMemberFolder) {
                const PItemRef member = storedItem(static_cast<const dkDataObjectBase*>(record->object), function, add);
                if (add) members->file(self, member, function);
                else members->unfile(self, member, function);
            } else if (m.kind == kMemberLinks) {
                const auto* link = static_cast<const DKLink*>(record->object);
                if (add) members->link(*link, &self, function);
                else members->unlink(*link, function);
            } else {
                auto* o = static_cast<dkDataObjectBase*>(record->object);
                if (o == nullptr || o->protocol() != DKProtocolXDO) badMember(function, "a part that is not a content object");
                if (add) members->storePart(self, *static_cast<dkXDO*>(o), function);
                else members->dropPart(self, *static_cast<dkXDO*>(o), function);
            }
        }
    }
    if (writeSegmentsAfter) writeSegments(ddo, e, rowId, function);
    for (const std::string& child : e.children) {
        dkCollection* c = heldCollection(ddo, child.c_str(), kChildNameSpace);
        if (c == nullptr) continue;
        auto* children = dynamic_cast<DKChildCollection*>(c);
        if (children == nullptr) badMember(function, DKString(child.c_str()) + " holds a collection of another kind");
        std::unique_ptr<dkIterator> it(children->listTracking()->createIterator());
        while (it->more()) {
            const auto* record = static_cast<const PTrackRecord*>(it->next()->value());
            writeChild(e, rowId, record->action == 'a', static_cast<dkDataObjectBase*>(record->object), function);
        }
    }
}

void DKDatastoreSQLITE::clearTracks(DKDDOBase& ddo) noexcept {
    PMemberKit::clearTracks(ddo);   // the child collections' too
}

void DKDatastoreSQLITE::dropMembers(const std::string& entityName, long rowId, const char* function) {
    if (!memberTables_) return;
    // A folder's members stay stored: only the memberships go, in both directions.
    for (const char* sql : {"DELETE FROM dk_members WHERE (folder_entity = ?1 AND (?2 = 0 OR folder = ?2))"
                            " OR (member_entity = ?1 AND (?2 = 0 OR member = ?2))",
                            "DELETE FROM dk_links WHERE (source_entity = ?1 AND (?2 = 0 OR source = ?2))"
                            " OR (target_entity = ?1 AND (?2 = 0 OR target = ?2))"}) {
        sqlite3_stmt* s = cached(sql, function);
        PResetOnExit r{s};
        bindText(s, 1, entityName);
        sqlite3_bind_int64(s, 2, rowId);
        stepDone(db_, s, kSource, function, "dropping the memberships");
    }
    if (!childTables_) return;
    // A link the item carried stays, carried by nothing.
    for (const char* sql : {"DELETE FROM dk_children WHERE (parent_entity = ?1 AND (?2 = 0 OR parent = ?2))"
                            " OR (child_entity = ?1 AND (?2 = 0 OR child = ?2))",
                            "DELETE FROM dk_segments WHERE entity = ?1 AND (?2 = 0 OR item = ?2)",
                            "UPDATE dk_links SET item_entity = NULL, item = NULL WHERE item_entity = ?1 AND (?2 = 0 OR item = ?2)"}) {
        sqlite3_stmt* s = cached(sql, function);
        PResetOnExit r{s};
        bindText(s, 1, entityName);
        sqlite3_bind_int64(s, 2, rowId);
        stepDone(db_, s, kSource, function, "dropping the memberships");
    }
}

// ---------------------------------------------------------------------------------------------
// The extension

PMembers::PMembers(DKDatastoreSQLITE* ds) : ds_(ds) { setName(kExtensionName); }
PMembers::~PMembers() = default;

int PMembers::isSupported(const char* function) {
    if (function == nullptr) return 0;
    for (const char* f : kFunctions)
        if (std::strcmp(f, function) == 0) return 1;
    return 0;
}

// Check-out and passwords belong to the rights of the datastore (DKDatastoreSQLITERights.cpp).
int PMembers::isCheckedOut(dkDataObject* object) {
    return ds_->checkedOutBy(object, "dkDatastoreExt::isCheckedOut").empty() ? 0 : 1;
}
DKString PMembers::checkedOutUserid(dkDataObject* object) {
    return ds_->checkedOutBy(object, "dkDatastoreExt::checkedOutUserid").c_str();
}
void PMembers::unlockCheckedOut(dkDataObject* object) { ds_->checkOut(object, DKDatastoreSQLITE::PCheckOut::kUnlock, "dkDatastoreExt::unlockCheckedOut"); }
void PMembers::checkOut(dkDataObject* object) { ds_->checkOut(object, DKDatastoreSQLITE::PCheckOut::kOut, "dkDatastoreExt::checkOut"); }
void PMembers::checkIn(dkDataObject* object) { ds_->checkOut(object, DKDatastoreSQLITE::PCheckOut::kIn, "dkDatastoreExt::checkIn"); }
void PMembers::changePassword(const char* userId, const char* oldPassword, const char* newPassword) {
    ds_->changePassword(userId, oldPassword, newPassword, "dkDatastoreExt::changePassword");
}

DKCommonPrivilege* PMembers::getCommonPrivilege(dkDataObject* object) {
    return ds_->commonPrivilege(object, "dkDatastoreExt::getCommonPrivilege(dkDataObject)");
}
DKCommonPrivilege* PMembers::getCommonPrivilege() { return ds_->commonPrivilege(nullptr, "dkDatastoreExt::getCommonPrivilege"); }
DKCommonPrivilege* PMembers::getCommonItemPrivilege(dkDataObject* object) {
    return ds_->commonPrivilege(object, "dkDatastoreExt::getCommonItemPrivilege(dkDataObject)");
}

DKString* PMembers::listFunctions(long& count) {
    count = static_cast<long>(sizeof kFunctions / sizeof kFunctions[0]);
    auto* names = new DKString[count];
    for (long i = 0; i < count; ++i) names[i] = kFunctions[i];
    return names;
}

void PMembers::file(const PItemRef& folder, const PItemRef& member, const char* function) {
    ds_->requireChange(folder, DKAdminSQLITE::kMembership, function);
    sqlite3_stmt* s = ds_->cached("INSERT OR IGNORE INTO dk_members VALUES (?1, ?2, ?3, ?4)", function);
    PResetOnExit r{s};
    bindText(s, 1, folder.first);
    sqlite3_bind_int64(s, 2, folder.second);
    bindText(s, 3, member.first);
    sqlite3_bind_int64(s, 4, member.second);
    stepDone(ds_->db_, s, kSource, function, "filing the member");
}

bool PMembers::unfile(const PItemRef& folder, const PItemRef& member, const char* function) {
    ds_->requireChange(folder, DKAdminSQLITE::kMembership, function);
    sqlite3_stmt* s = ds_->cached("DELETE FROM dk_members WHERE folder_entity = ?1 AND folder = ?2 AND member_entity = ?3"
                                  " AND member = ?4",
                                  function);
    PResetOnExit r{s};
    bindText(s, 1, folder.first);
    sqlite3_bind_int64(s, 2, folder.second);
    bindText(s, 3, member.first);
    sqlite3_bind_int64(s, 4, member.second);
    stepDone(ds_->db_, s, kSource, function, "unfiling the member");
    return sqlite3_changes(ds_->db_) > 0;
}

PMembers::PLinkRow PMembers::linkRow(const DKLink* link, bool stored, const char* function) {
    if (link == nullptr) badMember(function, "no link");
    PLinkRow row{ds_->storedItem(link->getSource(), function, stored),
                 ds_->storedItem(link->getTarget(), function, stored), link->getTypeName().c_str(), {}};
    if (link->getLinkItem() != nullptr) row.item = ds_->storedItem(link->getLinkItem(), function, stored);
    return row;
}

void PMembers::link(const DKLink& link, const PItemRef* owner, const char* function) {
    const PLinkRow row = linkRow(&link, true, function);
    if (owner != nullptr && row.source != *owner && row.target != *owner)
        badMember(function, "a link that does not end at its item");
    ds_->requireChange(row.source, DKAdminSQLITE::kMembership, function);
    // The same link stored again takes the item it carries now.
    sqlite3_stmt* s = ds_->cached(ds_->childTables_ ? "INSERT INTO dk_links VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7) ON CONFLICT"
                                                      " DO UPDATE SET item_entity = excluded.item_entity, item = excluded.item"
                                                    : "INSERT OR IGNORE INTO dk_links VALUES (?1, ?2, ?3, ?4, ?5)",
                                  function);
    PResetOnExit r{s};
    bindText(s, 1, row.source.first);
    sqlite3_bind_int64(s, 2, row.source.second);
    bindText(s, 3, row.target.first);
    sqlite3_bind_int64(s, 4, row.target.second);
    bindText(s, 5, row.type);
    if (ds_->childTables_ && !row.item.first.empty()) {
        bindText(s, 6, row.item.first);
        sqlite3_bind_int64(s, 7, row.item.second);
    } else if (ds_->childTables_) {
        sqlite3_bind_null(s, 6);
        sqlite3_bind_null(s, 7);
    }
    stepDone(ds_->db_, s, kSource, function, "storing the link");
}

bool PMembers::unlink(const DKLink& link, const char* function) {
    const PLinkRow row = linkRow(&link, false, function);
    ds_->requireChange(row.source, DKAdminSQLITE::kMembership, function);
    sqlite3_stmt* s = ds_->cached("DELETE FROM dk_links WHERE source_entity = ?1 AND source = ?2 AND target_entity = ?3"
                                  " AND target = ?4 AND type = ?5",
                                  function);
    PResetOnExit r{s};
    bindText(s, 1, row.source.first);
    sqlite3_bind_int64(s, 2, row.source.second);
    bindText(s, 3, row.target.first);
    sqlite3_bind_int64(s, 4, row.target.second);
    bindText(s, 5, row.type);
    stepDone(ds_->db_, s, kSource, function, "dropping the link");
    return sqlite3_changes(ds_->db_) > 0;
}

void PMembers::storePart(const PItemRef& item, dkXDO& part, const char* function) {
    PContentKit::writePartChange(*static_cast<PContentStore*>(ds_->contentExtension(function)), PPartName{item.first, item.second, 0},
                                 part, true, kMsgBadMember, kSource, function);
}

bool PMembers::dropPart(const PItemRef& item, dkXDO& part, const char* function) {
    return PContentKit::writePartChange(*static_cast<PContentStore*>(ds_->contentExtension(function)),
                                        PPartName{item.first, item.second, 0}, part, false, kMsgBadMember, kSource, function);
}

PItemRef PMembers::folderOf(dkDataObject* folder, const char* function) {
    PItemRef ref = ds_->storedItem(folder, function);
    if ((ds_->entity(ref.first.c_str(), function)->type & kMemberFolder) == 0)
        badMember(function, DKString("not a folder: ") + ref.first.c_str());
    return ref;
}

PItemRef PMembers::partItem(dkDataObject* item, const char* function) {
    PItemRef ref = ds_->storedItem(item, function);
    if ((ds_->entity(ref.first.c_str(), function)->type & kMemberParts) == 0)
        badMember(function, DKString("not a document: ") + ref.first.c_str());
    return ref;
}

void PMembers::addToFolder(dkDataObject* folder, dkDataObject* member) {
    static const char* const fn = "DKDatastoreSQLITE::addToFolder";
    DKDatastoreSQLITE::PWriteScope scope(*ds_, fn);
    file(folderOf(folder, fn), ds_->storedItem(member, fn), fn);
    scope.commit();
}

void PMembers::removeFromFolder(dkDataObject* folder, dkDataObject* member) {
    static const char* const fn = "DKDatastoreSQLITE::removeFromFolder";
    DKDatastoreSQLITE::PWriteScope scope(*ds_, fn);
    if (!unfile(folderOf(folder, fn), ds_->storedItem(member, fn, false), fn))
        dkThrow<DKDataObjectNotFound>(kMsgNoItem, kSource, fn, DKString("not in the folder"));
    scope.commit();
}

void PMembers::addLink(DKLink* l) {
    static const char* const fn = "DKDatastoreSQLITE::addLink";
    DKDatastoreSQLITE::PWriteScope scope(*ds_, fn);
    if (l == nullptr) badMember(fn, "no link");
    link(*l, nullptr, fn);
    scope.commit();
}

void PMembers::removeLink(DKLink* l) {
    static const char* const fn = "DKDatastoreSQLITE::removeLink";
    DKDatastoreSQLITE::PWriteScope scope(*ds_, fn);
    if (l == nullptr) badMember(fn, "no link");
    if (!unlink(*l, fn)) dkThrow<DKDataObjectNotFound>(kMsgNoItem, kSource, fn, DKString("no such link"));
    scope.commit();
}

void PMembers::removeLinks(dkCollection* links) {
    static const char* const fn = "DKDatastoreSQLITE::removeLinks";
    if (links == nullptr) badMember(fn, "no links");
    DKDatastoreSQLITE::PWriteScope scope(*ds_, fn);
    std::unique_ptr<dkIterator> it(links->createIterator());
    while (it->more()) {
        const DKAny* e = it->next();
        if (e == nullptr || e->typeCode() != DKAny::tc_voidptr || e->value() == nullptr) badMember(fn, "an element that is no link");
        unlink(*static_cast<const DKLink*>(e->value()), fn);
    }
    scope.commit();
}

void PMembers::addPart(dkDataObject* item, dkXDO* part) {
    static const char* const fn = "DKDatastoreSQLITE::addPart";
    if (part == nullptr) badMember(fn, "no part");
    DKDatastoreSQLITE::PWriteScope scope(*ds_, fn);
    storePart(partItem(item, fn), *part, fn);
    scope.commit();
}

void PMembers::removePart(dkDataObject* item, dkXDO* part) {
    static const char* const fn = "DKDatastoreSQLITE::removePart";
    if (part == nullptr) badMember(fn, "no part");
    DKDatastoreSQLITE::PWriteScope scope(*ds_, fn);
    if (!dropPart(partItem(item, fn), *part, fn))
        dkThrow<DKDataObjectNotFound>(kMsgNoPart, kSource, fn, part->getPidObject()->pidString());
    scope.commit();
}
