// connectors/postgres/DKDatastorePGChildren.cpp
//
// Child items of sub-entities on PostgreSQL: tied to their parent item in dk_children and held by
// the parent's DDO in one "CHILD" collection per sub-entity (the connector kit's PMemberKit). A
// child lives only under its parent: a child taken out of its parent is deleted, and deleting a
// parent deletes its children, their children and their content, in the deleting transaction
// whoever deletes it: the parent's row leaving dk_items takes its dk_children rows (a foreign
// key), and the trigger on dk_children deletes the child's row, which goes on down the tree.

#include "DKDatastorePG.hpp"

#include <dk/DKChildCollection.hpp>
#include <dk/DKException.hpp>
#include <dk/PMemberKit.hpp>
#include <dk/dkThrow.hpp>

#include <libpq-fe.h>

#include <cstdlib>
#include <memory>
#include <vector>

using namespace dkpg;

namespace {

constexpr const char* kSource = kDatastoreSource;

[[noreturn]] void badChild(const char* function, const DKString& what) {
    dkThrow<DKUsageError>(kMsgBadMember, kSource, function, what);
}

// A DDO made by createDDO and not stored yet: its pid has no row id.
bool isNewItem(const DKPid& pid) { return pid.getIdStringCount() == 0 || pid.getIdString(0).length() == 0; }

std::string text(long n) { return std::to_string(n); }

}  // namespace

// The table and its trigger, made with the catalogue and at connect in a repository made before
// them (after dk_items, which both ends refer to).
const char* const DKDatastorePG::kChildTables[] = {
    "CREATE TABLE public.dk_children (parent_entity integer NOT NULL, parent bigint NOT NULL, "
    "child_entity integer NOT NULL, child bigint NOT NULL, seq bigserial NOT NULL, PRIMARY KEY (child_entity, child), "
    "FOREIGN KEY (parent_entity, parent) REFERENCES public.dk_items ON DELETE CASCADE, "
    "FOREIGN KEY (child_entity, child) REFERENCES public.dk_items ON DELETE CASCADE)",
    "CREATE INDEX dk_children_parent ON public.dk_children (parent_entity, parent)",
    // A child's table is found through the catalogue; an entity being dropped has none left.
    "CREATE OR REPLACE FUNCTION public.dk_child_gone() RETURNS trigger LANGUAGE plpgsql AS $f$ DECLARE t text; BEGIN "
    "SELECT lname INTO t FROM public.dk_entities WHERE id = OLD.child_entity; "
    "IF t IS NOT NULL AND to_regclass('public.' || quote_ident(t)) IS NOT NULL THEN "
    "EXECUTE format('DELETE FROM public.%I WHERE dk_id = $1', t) USING OLD.child; "
    "PERFORM public.dk_drop_parts(OLD.child_entity, OLD.child); END IF; RETURN NULL; END $f$",
    "CREATE TRIGGER dk_child_gone AFTER DELETE ON public.dk_children FOR EACH ROW EXECUTE FUNCTION public.dk_child_gone()",
    nullptr};

bool PEntity::hasChild(const DKDDOBase& ddo, unsigned short id) const {
    if (ddo.getDataNameSpace(id) != DKString(PMemberKit::childNameSpace)) return false;
    const DKString name = ddo.getDataName(id);
    for (const std::string& c : children)
        if (c == name.c_str()) return true;
    return false;
}

void DKDatastorePG::newChildren(DKDDOBase& ddo, PEntity& e) {
    for (const std::string& c : e.children) {
        std::unique_ptr<dkCollection> children(new DKChildCollection);
        ddo.setData(ddo.dataId(PMemberKit::childNameSpace, c.c_str()), DKAny(children.get()));
        children.release();   // the DDO owns it now
    }
}

void DKDatastorePG::readChildren(DKDDOBase& ddo, PEntity& e, long rowId, const char* function) {
    for (const std::string& c : e.children) {
        const unsigned short id = ddo.dataId(PMemberKit::childNameSpace, c.c_str());
        if (id == 0) continue;
        std::shared_ptr<PEntity> sub = entity(c.c_str(), function);
        // The ids first: each child is read with statements of its own.
        std::vector<long> rows;
        {
            PResult r = run(conn(function),
                            "SELECT child FROM public.dk_children WHERE parent_entity = $1 AND parent = $2 "
                            "AND child_entity = $3 ORDER BY seq",
                            {text(e.id), text(rowId), text(sub->id)}, kSource, function, "reading the children");
            for (int row = 0; row < PQntuples(r.get()); ++row) rows.push_back(std::strtol(PQgetvalue(r.get(), row, 0), nullptr, 10));
        }
        auto children = std::make_unique<DKChildCollection>();
        children->setTracking(0);   // what is read is not written again by the next update
        for (long row : rows) {
            std::unique_ptr<DKDDO> child(itemDDO(*sub, row));
            retrieveOne(*child, row, function);   // with its own collections and children
            children->addElement(DKAny(static_cast<dkDataObjectBase*>(child.get())));
            child.release();
        }
        children->setTracking(1);
        ddo.setData(id, DKAny(static_cast<dkCollection*>(children.get())));
        children.release();
    }
}

void DKDatastorePG::writeChildren(DKDDOBase& ddo, PEntity& e, long rowId, const char* function) {
    for (const std::string& c : e.children) {
        const unsigned short id = ddo.dataId(PMemberKit::childNameSpace, c.c_str());
        if (id == 0 || !ddo.isDataSet(id)) continue;
        DKChildCollection* children = PMemberKit::children(ddo, c.c_str());
        if (children == nullptr) badChild(function, DKString(c.c_str()) + " holds no child collection");
        std::unique_ptr<dkIterator> it(children->listTracking()->createIterator());
        while (it->more()) {
            const auto* record = static_cast<const PTrackRecord*>(it->next()->value());
            writeChild(e, rowId, record->action == 'a', static_cast<dkDataObjectBase*>(record->object), function);
        }
    }
}

bool DKDatastorePG::writeChild(const PEntity& parent, long parentRow, bool add, dkDataObjectBase* child,
                               const char* function) {
    DKDDOBase* ddo = PConnectorKit::storable(child);
    if (ddo == nullptr) badChild(function, "a child that is not a data object");
    const DKString type = ddo->getPid().getObjectType();
    bool known = false;
    for (const std::string& c : parent.children) known = known || lowerName(c.c_str()) == lowerName(type.c_str());
    if (!known) badChild(function, DKString("not a sub-entity of ") + parent.name.c_str() + ": " + type);
    if (!add) {
        // The tie goes, and with it (the trigger) the child and what is under it.
        const PItemRef ref = storedItem(child, function, false);
        PResult r = run(conn(function),
                        "DELETE FROM public.dk_children WHERE parent_entity = $1 AND parent = $2 AND child_entity = $3 "
                        "AND child = $4",
                        {text(parent.id), text(parentRow), text(ref.entity), text(ref.id)}, kSource, function,
                        "untying the child");
        return std::string(PQcmdTuples(r.get())) != "0";
    }
    PItemRef ref;
    if (isNewItem(ddo->getPid())) {   // stored with its parent, given its pid once the write commits
        std::shared_ptr<PEntity> sub;
        const long row = addOne(*ddo, sub, function);
        lockItem(*sub, row, function);
        addedChildren_.push_back({ddo, sub, row});
        ref = {sub->id, row};
    } else {
        ref = storedItem(child, function);
    }
    // A child has one parent: tying it here unties it from any other.
    run(conn(function),
        "INSERT INTO public.dk_children (parent_entity, parent, child_entity, child) VALUES ($1, $2, $3, $4) "
        "ON CONFLICT (child_entity, child) DO UPDATE SET parent_entity = excluded.parent_entity, parent = excluded.parent",
        {text(parent.id), text(parentRow), text(ref.entity), text(ref.id)}, kSource, function, "tying the child");
    return true;
}

void DKDatastorePG::finishChildren() {
    std::vector<PAddedChild> added;
    added.swap(addedChildren_);
    for (PAddedChild& a : added) finishAdd(*a.ddo, *a.entity, a.rowId);
}

// ---------------------------------------------------------------------------------------------
// The extension's children

void PMembersPG::addChild(dkDataObject* parent, dkDataObject* child) { changeChild(parent, child, true); }

void PMembersPG::removeChild(dkDataObject* parent, dkDataObject* child) { changeChild(parent, child, false); }

void PMembersPG::changeChild(dkDataObject* parent, dkDataObject* child, bool add) {
    const char* const fn = add ? "DKDatastorePG::addChild" : "DKDatastorePG::removeChild";
    if (child == nullptr) badChild(fn, "no child");
    ds_->addedChildren_.clear();
    DKDatastorePG::PTransaction unit(*ds_, fn);
    const PItemRef p = ds_->storedItem(parent, fn);
    const std::shared_ptr<PEntity> e = ds_->entityById(p.entity, fn);
    if (!ds_->writeChild(*e, p.id, add, child, fn))
        dkThrow<DKDataObjectNotFound>(kMsgNoItem, kSource, fn, DKString("not a child of the item"));
    unit.commit();
    ds_->finishChildren();
}
