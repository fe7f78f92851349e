// connectors/postgres/DKDatastoreDefPG.cpp
//
// The schema objects of the PostgreSQL connector: the datastore definition (entities), entity
// definitions and attribute definitions, filled from the datastore's catalogue cache and written
// back through the datastore, which changes the catalogue and the entity tables together.

#include "DKDatastoreDefPG.hpp"
#include "DKDatastorePG.hpp"

#include <dk/DKException.hpp>
#include <dk/DKSequentialCollection.hpp>
#include <dk/dkThrow.hpp>

using namespace dkpg;

namespace {

constexpr const char* kSource = "connectors/postgres/DKDatastoreDefPG";

const PAttrDefRules kAttrRules{kSource, kMsgNoAttr, kMsgAttrExists, kMsgBadName, kMsgBadType, isValidName, isStorableType};
const PEntityDefRules kEntityRules{kSource, kMsgNoEntity, kMsgEntityExists, kMsgBadName, kMsgBadObject, isValidName};

PAttr attrOf(dkAttrDef* a) { return PAttr::of(*a); }

PDefCollection* attrCollection(DKDatastorePG* ds, const std::vector<PAttr>& attrs, const std::string& entity) {
    auto coll = std::make_unique<PDefCollection>();
    for (const PAttr& a : attrs) {
        auto def = std::make_unique<DKAttrDefPG>(ds, nullptr);
        def->load(a, entity.c_str());
        coll->addAttr(def.release());
    }
    return coll.release();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// DKDatastoreDefPG

DKDatastoreDefPG::DKDatastoreDefPG(DKDatastorePG* ds) : dkDatastoreDef(ds) {
    setDatastoreAdmin(ds->datastoreAdminObject());   // kept by the datastore
}
DKDatastoreDefPG::~DKDatastoreDefPG() = default;

DKDatastorePG* DKDatastoreDefPG::pg() const { return static_cast<DKDatastorePG*>(getDatastore()); }

dkEntityDef* DKDatastoreDefPG::createEntity() { return new DKEntityDefPG(pg()); }

dkEntityDef* DKDatastoreDefPG::retrieveEntity(const char* name) {
    std::shared_ptr<PEntity> e = pg()->entity(name, "DKDatastoreDefPG::retrieveEntity");
    auto def = std::make_unique<DKEntityDefPG>(pg());
    def->load(*e);
    return def.release();
}

dkEntityDef* DKDatastoreDefPG::getEntity(const char* name) {
    std::unique_ptr<dkEntityDef>& kept = kept_[lowerName(name)];
    if (!kept) {
        try {
            kept.reset(retrieveEntity(name));
        } catch (...) {
            kept_.erase(lowerName(name));
            throw;
        }
    }
    return kept.get();
}

dkCollection* DKDatastoreDefPG::listEntities() {
    auto coll = std::make_unique<PDefCollection>();
    for (auto& e : pg()->entitiesInOrder("DKDatastoreDefPG::listEntities")) {
        auto def = std::make_unique<DKEntityDefPG>(pg());
        def->load(*e);
        coll->addEntity(def.release());
    }
    return coll.release();
}

DKString* DKDatastoreDefPG::listEntityNames(long& count) {
    const auto all = pg()->entitiesInOrder("DKDatastoreDefPG::listEntityNames");
    return PNameArray(all.size(), count, [&](std::size_t i) { return DKString(all[i]->name.c_str()); });
}

dkCollection* DKDatastoreDefPG::listEntityAttrs(const char* entity) {
    std::shared_ptr<PEntity> e = pg()->entity(entity, "DKDatastoreDefPG::listEntityAttrs");
    return attrCollection(pg(), e->attrs, e->name);
}

DKString* DKDatastoreDefPG::listEntityAttrNames(const char* entity, long& count) {
    std::shared_ptr<PEntity> e = pg()->entity(entity, "DKDatastoreDefPG::listEntityAttrNames");
    return PNameArray(e->attrs.size(), count, [&](std::size_t i) { return DKString(e->attrs[i].name.c_str()); });
}

void DKDatastoreDefPG::add(dkEntityDef* entity) {
    static const char* const fn = "DKDatastoreDefPG::add";
    auto* mine = dynamic_cast<DKEntityDefPG*>(entity);
    if (mine == nullptr) dkThrow<DKUsageError>(kMsgBadObject, kSource, fn, DKString("not an entity definition of this connector"));
    // The entity and the sub-entities it holds are stored together or not at all.
    std::vector<PNewEntity> tree;
    flatten(*mine, mine->getParentEntityName().str(), tree);
    pg()->storeEntities(tree, fn);
    for (const PNewEntity& e : tree) kept_.erase(lowerName(e.name.c_str()));
}

void DKDatastoreDefPG::flatten(DKEntityDefPG& entity, const std::string& parent, std::vector<PNewEntity>& out) {
    PNewEntity e;
    e.name = entity.getName().str();
    e.type = entity.getType();
    e.description = entity.getDescription().str();
    e.parent = parent;
    for (const auto& a : entity.attrs()) e.attrs.push_back(attrOf(a.get()));
    out.push_back(std::move(e));
    for (const auto& sub : entity.subEntities()) {
        sub->setParentEntityName(entity.getName().c_str());
        flatten(static_cast<DKEntityDefPG&>(*sub), entity.getName().str(), out);
    }
}

void DKDatastoreDefPG::del(dkEntityDef* entity) {
    if (entity == nullptr) dkThrow<DKUsageError>(kMsgNoEntity, kSource, "DKDatastoreDefPG::del", DKString("no entity"));
    deleteEntity(entity->getName().c_str());
}

void DKDatastoreDefPG::deleteEntity(const char* name) {
    pg()->dropEntity(name, "DKDatastoreDefPG::deleteEntity");
    kept_.erase(lowerName(name));
}

void DKDatastoreDefPG::clearCache() { kept_.clear(); }

// ---------------------------------------------------------------------------------------------
// DKEntityDefPG

DKEntityDefPG::DKEntityDefPG(DKDatastorePG* ds) : PEntityDefTree(ds, kEntityRules) {}
DKEntityDefPG::~DKEntityDefPG() = default;

DKDatastorePG* DKEntityDefPG::pg() const { return static_cast<DKDatastorePG*>(getDatastore()); }

void DKEntityDefPG::load(const PEntity& e) {
    setName(e.name.c_str());
    setParentEntityName(e.parent.c_str());
    clearSubs();
    for (const std::string& name : e.children) {
        auto def = std::make_unique<DKEntityDefPG>(pg());
        def->load(*pg()->entity(name.c_str(), "DKEntityDefPG::load"));
        appendSub(std::move(def));
    }
    setType(e.type);
    setId(e.id);
    setDescription(e.description.c_str());
    int text = 0;
    attrs_.clear();
    for (const PAttr& a : e.attrs) {
        text |= a.textSearchable;
        auto def = std::make_unique<DKAttrDefPG>(pg(), this);
        def->load(a, e.name.c_str());
        attrs_.append(std::move(def));
    }
    setTextSearchable(text);
}

void DKEntityDefPG::add() { pg()->datastoreDef()->add(this); }

void DKEntityDefPG::del() { pg()->datastoreDef()->deleteEntity(getName().c_str()); }

void DKEntityDefPG::add(dkAttrDef* attrDef) {
    static const char* const fn = "DKEntityDefPG::add";
    if (attrDef == nullptr) dkThrow<DKUsageError>(kMsgNoAttr, kSource, fn, DKString("no attribute"));
    PAttr a = attrOf(attrDef);
    pg()->storeAttr(getName().c_str(), a, fn);
    auto copy = std::make_unique<DKAttrDefPG>(pg(), this);
    a.id = static_cast<short>(attrs_.size() + 1);
    copy->load(a, getName().c_str());
    attrs_.append(std::move(copy));
}

void DKEntityDefPG::del(dkAttrDef* attrDef) {
    if (attrDef == nullptr) dkThrow<DKUsageError>(kMsgNoAttr, kSource, "DKEntityDefPG::del", DKString("no attribute"));
    deleteAttr(attrDef->getName().c_str());
}

void DKEntityDefPG::deleteAttr(const char* attrName) {
    pg()->dropAttr(getName().c_str(), attrName, "DKEntityDefPG::deleteAttr");
    attrs_.erase(attrName);
    for (std::size_t i = 0; i < attrs_.size(); ++i) attrs_.defs()[i]->setId(static_cast<short>(i + 1));
}

dkAttrDef* DKEntityDefPG::createAttr() { return new DKAttrDefPG(pg(), this); }

dkAttrDef* DKEntityDefPG::getAttr(const char* attrName) {
    return &attrs_.get(attrName, kAttrRules, "DKEntityDefPG::getAttr");
}

dkAttrDef* DKEntityDefPG::retrieveAttr(const char* attrName) {
    static const char* const fn = "DKEntityDefPG::retrieveAttr";
    std::shared_ptr<PEntity> e = pg()->entity(getName().c_str(), fn);
    const PAttr* a = e->find(attrName);
    if (a == nullptr) dkThrow<DKUsageError>(kMsgNoAttr, kSource, fn, DKString(attrName ? attrName : ""));
    auto def = std::make_unique<DKAttrDefPG>(pg(), nullptr);
    def->load(*a, e->name.c_str());
    return def.release();
}

dkCollection* DKEntityDefPG::listAttrs() {
    std::vector<PAttr> attrs;
    for (const auto& a : attrs_.defs()) attrs.push_back(attrOf(a.get()));
    return attrCollection(pg(), attrs, getName().str());
}

DKString* DKEntityDefPG::listAttrNames(long& arraySize) {
    return attrs_.names(arraySize);
}

void DKEntityDefPG::addAttr(dkAttrDef* attrDef) { attrs_.adopt(attrDef, kAttrRules, "DKEntityDefPG::addAttr"); }

dkAttrDef* DKEntityDefPG::removeAttr(const char* attrName) {
    return attrs_.release(attrName, kAttrRules, "DKEntityDefPG::removeAttr");
}

std::unique_ptr<PEntityDefTree> DKEntityDefPG::blank() const { return std::make_unique<DKEntityDefPG>(pg()); }

void DKEntityDefPG::copyAttrsTo(PEntityDefTree& other) const {
    auto& c = static_cast<DKEntityDefPG&>(other);
    for (const auto& a : attrs_.defs()) {
        auto attr = std::make_unique<DKAttrDefPG>(pg(), &c);
        attr->load(attrOf(a.get()), getName().c_str());
        c.attrs_.append(std::move(attr));
    }
}

// ---------------------------------------------------------------------------------------------
// DKAttrDefPG

DKAttrDefPG::DKAttrDefPG(DKDatastorePG* ds, dkEntityDef* entity) : dkAttrDef(ds, entity) {}
DKAttrDefPG::~DKAttrDefPG() = default;

void DKAttrDefPG::load(const PAttr& a, const char* entityName) {
    a.applyTo(*this, entityName);
}

void DKAttrDefPG::add() {
    static const char* const fn = "DKAttrDefPG::add";
    auto* ds = static_cast<DKDatastorePG*>(getDatastore());
    if (ds == nullptr) dkThrow<DKUsageError>(kMsgNoEntity, kSource, fn, DKString("no datastore"));
    if (auto* e = dynamic_cast<DKEntityDefPG*>(getEntity())) return e->add(this);
    ds->storeAttr(getEntityName().c_str(), attrOf(this), fn);
}

void DKAttrDefPG::del() {
    static const char* const fn = "DKAttrDefPG::del";
    auto* ds = static_cast<DKDatastorePG*>(getDatastore());
    if (ds == nullptr) dkThrow<DKUsageError>(kMsgNoEntity, kSource, fn, DKString("no datastore"));
    if (auto* e = dynamic_cast<DKEntityDefPG*>(getEntity())) return e->deleteAttr(getName().c_str());
    ds->dropAttr(getEntityName().c_str(), getName().c_str(), fn);
}
