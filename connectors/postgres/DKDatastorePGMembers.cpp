// connectors/postgres/DKDatastorePGMembers.cpp
//
// The membership of PostgreSQL items: content parts, folder members and links, read into the
// collections an entity's type bits give its DDOs (the connector kit's PMemberKit), their track
// lists written with the item when it is added or updated, and the datastore extension that
// changes them at once. A document's parts are the content store's rows (DKDatastorePGContent.cpp),
// a segmented document's slots rows of dk_segments (DKDatastorePGSegments.cpp). Members and link
// ends are named by entity id and row id, so an item is never stored through a membership: only
// stored items are filed or linked. The rows refer to dk_items by foreign keys and an entity
// table's delete trigger keeps dk_items in step, so a deleted item's memberships go in the
// deleting transaction and nothing is left pointing at it. Writers lock the item rows they file
// or link (FOR KEY SHARE), so a concurrent delete waits for them or they find the item gone.

#include "DKContentPG.hpp"
#include "DKDatastorePG.hpp"

#include <dk/DKException.hpp>
#include <dk/DKLinkCollection.hpp>
#include <dk/PContentKit.hpp>
#include <dk/PMemberKit.hpp>
#include <dk/dkThrow.hpp>
#include <dk/dkXDO.hpp>

#include <libpq-fe.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

using namespace dkpg;

namespace {

constexpr const char* kSource = kDatastoreSource;
constexpr const char* kExtensionName = "DATASTORE_EXTENSION";

// The membership tables, made with the catalogue and, in a repository made before them, at the
// first connect. An entity's catalogue entry going takes its dk_items rows, and they their
// memberships; an item that carried a link leaves the link carried by nothing.
constexpr const char* kCreateTables[] = {
    "CREATE TABLE public.dk_items (entity integer NOT NULL REFERENCES public.dk_entities ON DELETE CASCADE, "
    "id bigint NOT NULL, PRIMARY KEY (entity, id))",
    "CREATE TABLE public.dk_members (folder_entity integer NOT NULL, folder bigint NOT NULL, "
    "member_entity integer NOT NULL, member bigint NOT NULL, seq bigserial NOT NULL, "
    "PRIMARY KEY (folder_entity, folder, member_entity, member), "
    "FOREIGN KEY (folder_entity, folder) REFERENCES public.dk_items ON DELETE CASCADE, "
    "FOREIGN KEY (member_entity, member) REFERENCES public.dk_items ON DELETE CASCADE)",
    "CREATE INDEX dk_members_member ON public.dk_members (member_entity, member)",
    "CREATE TABLE public.dk_links (source_entity integer NOT NULL, source bigint NOT NULL, "
    "target_entity integer NOT NULL, target bigint NOT NULL, type text NOT NULL, item_entity integer, item bigint, "
    "seq bigserial NOT NULL, PRIMARY KEY (source_entity, source, target_entity, target, type), "
    "FOREIGN KEY (source_entity, source) REFERENCES public.dk_items ON DELETE CASCADE, "
    "FOREIGN KEY (target_entity, target) REFERENCES public.dk_items ON DELETE CASCADE, "
    "FOREIGN KEY (item_entity, item) REFERENCES public.dk_items ON DELETE SET NULL)",
    "CREATE INDEX dk_links_target ON public.dk_links (target_entity, target)",
    "CREATE INDEX dk_links_item ON public.dk_links (item_entity, item)",
    // One statement-level trigger per entity table, its entity id the argument.
    "CREATE FUNCTION public.dk_items_gone() RETURNS trigger LANGUAGE plpgsql AS $f$ BEGIN "
    "DELETE FROM public.dk_items i USING gone g WHERE i.entity = TG_ARGV[0]::integer AND i.id = g.dk_id; "
    "RETURN NULL; END $f$"};

// The functions of the extension this connector supports, in the extension's slot order.
constexpr const char* kFunctions[] = {"addToFolder",  "removeFromFolder", "addChild",         "removeChild",
                                      "addLink",      "removeLink",       "removeLinks",      "isCheckedOut",
                                      "checkedOutUserid", "unlockCheckedOut", "checkOut",     "checkIn",
                                      "addPart",      "removePart"};

const PObjectRules kMemberRules{kMsgBadMember, kSource, "an element is not a data object",
                                "an element is not a dynamic data object", "not a dynamic data object"};

[[noreturn]] void badMember(const char* function, const DKString& what) {
    dkThrow<DKUsageError>(kMsgBadMember, kSource, function, what);
}

long number(const PGresult* r, int row, int col) { return std::strtol(PQgetvalue(r, row, col), nullptr, 10); }

std::string text(const PItemRef& ref, bool entity) { return std::to_string(entity ? ref.entity : ref.id); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// The datastore's side

void DKDatastorePG::ensureMemberTables(pg_conn* c, const char* function) {
    PResult found = run(c, "SELECT to_regclass('public.dk_items') IS NOT NULL", {}, kSource, function, "reading the catalogue");
    if (std::string(PQgetvalue(found.get(), 0, 0)) == "t") return;
    for (const char* sql : kCreateTables) run(c, sql, {}, kSource, function, "creating the membership tables");
    PResult entities = run(c, "SELECT id, lname FROM public.dk_entities", {}, kSource, function, "reading the catalogue");
    for (int row = 0; row < PQntuples(entities.get()); ++row)
        itemTrigger(c, PQgetvalue(entities.get(), row, 0), PQgetvalue(entities.get(), row, 1), function);
}

void DKDatastorePG::itemTrigger(pg_conn* c, const std::string& entityId, const std::string& table, const char* function) {
    // The id is the catalogue's integer, never a caller's text.
    const std::string sql = "CREATE TRIGGER dk_items_gone AFTER DELETE ON public." + quoteIdent(table) +
                            " REFERENCING OLD TABLE AS gone FOR EACH STATEMENT EXECUTE FUNCTION public.dk_items_gone('" +
                            std::to_string(std::strtol(entityId.c_str(), nullptr, 10)) + "')";
    run(c, sql.c_str(), {}, kSource, function, "creating the entity's table");
}

dkExtension* DKDatastorePG::memberExtension(const char* function) {
    conn(function);
    if (!members_) {
        members_ = std::make_unique<PMembersPG>(this);
        members_->setDatastore(this);
    }
    return members_.get();
}

std::shared_ptr<PEntity> DKDatastorePG::entityById(short id, const char* function) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        loadEntities(function);
        for (auto& [key, e] : entities_)
            if (e->id == id) return e;
        entitiesLoaded_ = false;   // made by another session since the cache was read
    }
    dkThrow<DKUsageError>(kMsgNoEntity, kSource, function, DKString(static_cast<long>(id)));
}

DKDDO* DKDatastorePG::itemDDO(PEntity& e, long rowId) {
    std::unique_ptr<DKDDO> d(new DKDDO(this, e.pidFor(repositoryName_, rowId), static_cast<unsigned short>(0)));
    d->reset(e.shapeDefinition());
    return d.release();
}

PItemRef DKDatastorePG::storedItem(const dkDataObjectBase* object, const char* function, bool lock) {
    const DKDDOBase* ddo = PConnectorKit::storable(const_cast<dkDataObjectBase*>(object));
    if (ddo == nullptr) badMember(function, "not a data object");
    const long rowId = PConnectorKit::rowIdOf(*ddo, kPidType, repositoryName_, kMemberRules, function);
    std::shared_ptr<PEntity> e = entity(ddo->getPid().getObjectType().c_str(), function);
    if (lock && !lockItem(*e, rowId, function)) badMember(function, DKString("not stored: ") + ddo->getPid().pidString());
    return PItemRef{e->id, rowId};
}

bool DKDatastorePG::lockItem(const PEntity& e, long rowId, const char* function) {
    // The row is locked against deletion until the transaction ends, and named in dk_items so
    // that memberships may refer to it.
    const std::string sql = "WITH it AS (SELECT " + std::string(kIdColumn) + " FROM public." +
                            quoteIdent(lowerName(e.name.c_str())) + " WHERE " + kIdColumn + " = $2 FOR KEY SHARE), " +
                            "named AS (INSERT INTO public.dk_items SELECT $1::integer, " + kIdColumn +
                            " FROM it ON CONFLICT DO NOTHING) SELECT count(*) FROM it";
    PResult r = run(conn(function), sql.c_str(), {std::to_string(e.id), std::to_string(rowId)}, kSource, function,
                    "locking the item");
    return number(r.get(), 0, 0) > 0;
}

void DKDatastorePG::newMembers(DKDDOBase& ddo, PEntity& e) {
    for (const PMemberKit::Item& m : PMemberKit::items) {
        if ((e.type & m.kind) == 0) continue;
        std::unique_ptr<dkCollection> c(PMemberKit::newCollection(m.kind, e.type));
        ddo.setData(ddo.dataId(m.name), DKAny(c.get()));
        c.release();   // the DDO owns it now
    }
    newChildren(ddo, e);
}

void DKDatastorePG::readMembers(DKDDOBase& ddo, PEntity& e, long rowId, const char* function) {
    const PItemRef self{e.id, rowId};
    for (const PMemberKit::Item& m : PMemberKit::items) {
        const unsigned short id = (e.type & m.kind) != 0 ? ddo.dataId(m.name) : 0;
        if (id == 0) continue;
        std::unique_ptr<dkCollection> c(PMemberKit::newCollection(m.kind, e.type));
        // Filled with tracking off, so that what is stored is not written again by the next update.
        PMemberKit::setTracking(m.kind, c.get(), 0);
        if (m.kind == PMemberKit::parts && PMemberKit::segmented(e.type)) {
            readSegments(*c, e, rowId, function);
        } else if (m.kind == PMemberKit::parts) {
            readParts(*c, e, rowId, function);
        } else if (m.kind == PMemberKit::folder) {
            PResult r = run(conn(function),
                            "SELECT member_entity, member FROM public.dk_members WHERE folder_entity = $1 AND folder = $2 "
                            "ORDER BY seq",
                            {text(self, true), text(self, false)}, kSource, function, "reading the folder");
            for (int row = 0; row < PQntuples(r.get()); ++row) {
                std::unique_ptr<DKDDO> member(
                    itemDDO(*entityById(static_cast<short>(number(r.get(), row, 0)), function), number(r.get(), row, 1)));
                c->addElement(DKAny(static_cast<dkDataObjectBase*>(member.get())));
                member.release();
            }
        } else {
            PResult r = run(conn(function),
                            "SELECT source_entity, source, target_entity, target, type, item_entity, item FROM public.dk_links "
                            "WHERE (source_entity = $1 AND source = $2) OR (target_entity = $1 AND target = $2) ORDER BY seq",
                            {text(self, true), text(self, false)}, kSource, function, "reading the links");
            for (int row = 0; row < PQntuples(r.get()); ++row) {
                // The end that is this item is the DDO itself, shared; the other end (and the link
                // item) a new DDO the link owns.
                auto end = [&](int col) -> std::unique_ptr<dkDataObject> {
                    if (PQgetisnull(r.get(), row, col)) return nullptr;
                    const PItemRef ref{static_cast<short>(number(r.get(), row, col)), number(r.get(), row, col + 1)};
                    if (ref == self) return nullptr;
                    return std::unique_ptr<dkDataObject>(itemDDO(*entityById(ref.entity, function), ref.id));
                };
                auto source = end(0), target = end(2), item = end(5);
                const bool itemIsSelf = !PQgetisnull(r.get(), row, 5) && !item;
                auto* link = new DKLink(PQgetvalue(r.get(), row, 4), source ? source.get() : &ddo, target ? target.get() : &ddo,
                                        item ? item.get() : (itemIsSelf ? &ddo : nullptr), source ? 0 : 1, target ? 0 : 1,
                                        item ? 0 : 1);
                source.release();
                target.release();
                item.release();
                std::unique_ptr<DKLink> owned(link);
                c->addElement(DKAny(static_cast<void*>(link)));
                owned.release();
            }
        }
        PMemberKit::setTracking(m.kind, c.get(), 1);
        ddo.setData(id, DKAny(c.get()));
        c.release();
    }
    readChildren(ddo, e, rowId, function);
}

void DKDatastorePG::readParts(dkCollection& parts, PEntity& e, long rowId, const char* function) {
    auto* content = static_cast<DKContentPG*>(contentExtension(function));
    // The head rows only: a part's bytes are read when its content is asked for. The table's
    // row rules leave out the rows of an item the session may not read.
    PResult r = run(conn(function),
                    "SELECT part, kind FROM public.dk_content WHERE entity = $1 AND item = $2 AND pos = -1 ORDER BY part",
                    {std::to_string(e.id), std::to_string(rowId)}, kSource, function, "reading the parts");
    for (int row = 0; row < PQntuples(r.get()); ++row) {
        const DKPidXDO pid = content->pidOf(e.name.c_str(), rowId, number(r.get(), row, 0));
        std::unique_ptr<dkXDO> part(number(r.get(), row, 1) == 1 ? static_cast<dkXDO*>(content->createClob(pid))
                                                                 : static_cast<dkXDO*>(content->createBlob(pid)));
        parts.addElement(DKAny(static_cast<dkDataObjectBase*>(part.get())));
        part.release();   // the collection owns it now
    }
}

// Every track list is read, whatever the item's change flags say: a collection changes without
// its DDO knowing. The records are net changes already (an addition and a removal of one object
// cancel), so each is applied as it stands; the lists are cleared only once the item is stored.
void DKDatastorePG::writeMembers(DKDDOBase& ddo, PEntity& e, long rowId, const char* function) {
    if (!PMemberKit::pending(ddo, e.type) && (e.children.empty() || !PMemberKit::childrenPending(ddo))) return;
    auto* members = static_cast<PMembersPG*>(memberExtension(function));
    const PItemRef self{e.id, rowId};
    if (!lockItem(e, rowId, function)) dkThrow<DKDataObjectNotFound>(kMsgNoItem, kSource, function, DKString(ddo.getPid().pidString()));
    writeChildren(ddo, e, rowId, function);
    for (const PMemberKit::Item& m : PMemberKit::items) {
        if ((e.type & m.kind) == 0) continue;
        dkCollection* c = PMemberKit::held(ddo, m.name);
        if (c == nullptr) continue;
        dkCollection* tracks = PMemberKit::trackList(m.kind, c);
        if (tracks == nullptr) badMember(function, DKString(m.name) + " holds a collection of another kind");
        std::unique_ptr<dkIterator> it(tracks->createIterator());
        while (it->more()) {
            const auto* record = static_cast<const PTrackRecord*>(it->next()->value());
            const bool add = record->action == 'a';
            if (m.kind == PMemberKit::parts) {
                auto* o = static_cast<dkDataObjectBase*>(record->object);
                if (o == nullptr || o->protocol() != DKProtocolXDO) badMember(function, "a part that is not a content object");
                members->writePart(self, *static_cast<dkXDO*>(o), add, function);
            } else if (m.kind == PMemberKit::folder) {
                const PItemRef member = storedItem(static_cast<const dkDataObjectBase*>(record->object), function, add);
                if (add) members->file(self, member, function);
                else members->unfile(self, member, function);
            } else {
                const auto* link = static_cast<const DKLink*>(record->object);
                if (add) members->link(*link, &self, function);
                else members->unlink(*link, function);
            }
        }
    }
    if (PMemberKit::segmented(e.type)) writeSegments(ddo, e, rowId, function);   // after the track list's changes
}

// ---------------------------------------------------------------------------------------------
// The extension

PMembersPG::PMembersPG(DKDatastorePG* ds) : ds_(ds) { setName(kExtensionName); }
PMembersPG::~PMembersPG() = default;

int PMembersPG::isSupported(const char* function) {
    if (function == nullptr) return 0;
    for (const char* f : kFunctions)
        if (std::strcmp(f, function) == 0) return 1;
    return 0;
}

DKString* PMembersPG::listFunctions(long& count) {
    return PNameArray(sizeof kFunctions / sizeof kFunctions[0], count, [](std::size_t i) { return DKString(kFunctions[i]); });
}

void PMembersPG::file(const PItemRef& folder, const PItemRef& member, const char* function) {
    run(ds_->conn(function),
        "INSERT INTO public.dk_members (folder_entity, folder, member_entity, member) VALUES ($1, $2, $3, $4) "
        "ON CONFLICT DO NOTHING",
        {text(folder, true), text(folder, false), text(member, true), text(member, false)}, kSource, function,
        "filing the member");
}

bool PMembersPG::unfile(const PItemRef& folder, const PItemRef& member, const char* function) {
    PResult r = run(ds_->conn(function),
                    "DELETE FROM public.dk_members WHERE folder_entity = $1 AND folder = $2 AND member_entity = $3 AND member = $4",
                    {text(folder, true), text(folder, false), text(member, true), text(member, false)}, kSource, function,
                    "unfiling the member");
    return std::string(PQcmdTuples(r.get())) != "0";
}

void PMembersPG::link(const DKLink& link, const PItemRef* owner, const char* function) {
    const PItemRef source = ds_->storedItem(link.getSource(), function), target = ds_->storedItem(link.getTarget(), function);
    if (owner != nullptr && source != *owner && target != *owner) badMember(function, "a link that does not end at its item");
    std::optional<PItemRef> item;
    if (link.getLinkItem() != nullptr) item = ds_->storedItem(link.getLinkItem(), function);
    PParams params;
    for (const PItemRef* ref : {&source, &target}) {
        params.addText(text(*ref, true));
        params.addText(text(*ref, false));
    }
    params.addText(link.getTypeName().c_str());
    if (item) {
        params.addText(text(*item, true));
        params.addText(text(*item, false));
    } else {
        params.addNull();
        params.addNull();
    }
    // The same link stored again takes the item it carries now.
    run(ds_->conn(function),
        "INSERT INTO public.dk_links (source_entity, source, target_entity, target, type, item_entity, item) "
        "VALUES ($1, $2, $3, $4, $5, $6, $7) ON CONFLICT (source_entity, source, target_entity, target, type) "
        "DO UPDATE SET item_entity = excluded.item_entity, item = excluded.item",
        params, kSource, function, "storing the link");
}

bool PMembersPG::unlink(const DKLink& link, const char* function) {
    const PItemRef source = ds_->storedItem(link.getSource(), function, false);
    const PItemRef target = ds_->storedItem(link.getTarget(), function, false);
    PResult r = run(ds_->conn(function),
                    "DELETE FROM public.dk_links WHERE source_entity = $1 AND source = $2 AND target_entity = $3 "
                    "AND target = $4 AND type = $5",
                    {text(source, true), text(source, false), text(target, true), text(target, false),
                     std::string(link.getTypeName().c_str())},
                    kSource, function, "dropping the link");
    return std::string(PQcmdTuples(r.get())) != "0";
}

bool PMembersPG::writePart(const PItemRef& item, dkXDO& part, bool add, const char* function) {
    auto* store = dynamic_cast<PContentStoreBase*>(ds_->contentExtension(function));
    const PPartName owner{ds_->entityById(item.entity, function)->name, item.id, 0};
    return PContentKit::writePartChange(*store, owner, part, add, kMsgBadMember, kSource, function);
}

PItemRef PMembersPG::documentOf(dkDataObject* item, const char* function) {
    const PItemRef ref = ds_->storedItem(item, function);
    if ((ds_->entityById(ref.entity, function)->type & PMemberKit::parts) == 0)
        badMember(function, DKString("not a document: ") + ds_->entityById(ref.entity, function)->name.c_str());
    return ref;
}

PItemRef PMembersPG::folderOf(dkDataObject* folder, const char* function) {
    const PItemRef ref = ds_->storedItem(folder, function);
    if ((ds_->entityById(ref.entity, function)->type & PMemberKit::folder) == 0)
        badMember(function, DKString("not a folder: ") + ds_->entityById(ref.entity, function)->name.c_str());
    return ref;
}

void PMembersPG::addToFolder(dkDataObject* folder, dkDataObject* member) {
    static const char* const fn = "DKDatastorePG::addToFolder";
    DKDatastorePG::PTransaction unit(*ds_, fn);
    file(folderOf(folder, fn), ds_->storedItem(member, fn), fn);
    unit.commit();
}

void PMembersPG::removeFromFolder(dkDataObject* folder, dkDataObject* member) {
    static const char* const fn = "DKDatastorePG::removeFromFolder";
    DKDatastorePG::PTransaction unit(*ds_, fn);
    if (!unfile(folderOf(folder, fn), ds_->storedItem(member, fn, false), fn))
        dkThrow<DKDataObjectNotFound>(kMsgNoItem, kSource, fn, DKString("not in the folder"));
    unit.commit();
}

void PMembersPG::addLink(DKLink* l) {
    static const char* const fn = "DKDatastorePG::addLink";
    if (l == nullptr) badMember(fn, "no link");
    DKDatastorePG::PTransaction unit(*ds_, fn);
    link(*l, nullptr, fn);
    unit.commit();
}

void PMembersPG::removeLink(DKLink* l) {
    static const char* const fn = "DKDatastorePG::removeLink";
    if (l == nullptr) badMember(fn, "no link");
    DKDatastorePG::PTransaction unit(*ds_, fn);
    if (!unlink(*l, fn)) dkThrow<DKDataObjectNotFound>(kMsgNoItem, kSource, fn, DKString("no such link"));
    unit.commit();
}

void PMembersPG::removeLinks(dkCollection* links) {
    static const char* const fn = "DKDatastorePG::removeLinks";
    if (links == nullptr) badMember(fn, "no links");
    DKDatastorePG::PTransaction unit(*ds_, fn);
    std::unique_ptr<dkIterator> it(links->createIterator());
    while (it->more()) {
        const DKAny* e = it->next();
        if (e == nullptr || e->typeCode() != DKAny::tc_voidptr || e->value() == nullptr) badMember(fn, "an element that is no link");
        unlink(*static_cast<const DKLink*>(e->value()), fn);
    }
    unit.commit();
}

void PMembersPG::addPart(dkDataObject* item, dkXDO* part) {
    static const char* const fn = "DKDatastorePG::addPart";
    if (part == nullptr) badMember(fn, "no part");
    DKDatastorePG::PTransaction unit(*ds_, fn);
    writePart(documentOf(item, fn), *part, true, fn);
    unit.commit();
}

void PMembersPG::removePart(dkDataObject* item, dkXDO* part) {
    static const char* const fn = "DKDatastorePG::removePart";
    if (part == nullptr) badMember(fn, "no part");
    DKDatastorePG::PTransaction unit(*ds_, fn);
    if (!writePart(documentOf(item, fn), *part, false, fn))
        dkThrow<DKDataObjectNotFound>(kMsgNoPart, kSource, fn, part->getPidObject()->pidString());
    unit.commit();
}
