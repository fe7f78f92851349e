// connectors/sqlite/DKDatastoreDefSQLITE.cpp
//
// The schema objects of the SQLite connector: the datastore definition (entities), entity
// definitions and attribute definitions, filled from the repository's catalogue tables and
// written back through the datastore, which keeps the catalogue and the entity tables in step.

#include "DKDatastoreDefSQLITE.hpp"
#include "DKDatastoreSQLITE.hpp"
#include "PSqliteValues.hpp"

#include <dk/DKException.hpp>
#include <dk/DKSequentialCollection.hpp>
#include <dk/dkThrow.hpp>

#include <algorithm>
#include <optional>

using namespace dksqlite;

namespace {
constexpr const char* kSource = "connectors/sqlite/DKDatastoreDefSQLITE";
const PAttrDefRules kAttrRules{kSource, kMsgNoAttr, kMsgAttrExists, kMsgBadName, kMsgBadType, isValidName, isStorableType};
const PEntityDefRules kEntityRules{kSource, kMsgNoEntity, kMsgEntityExists, kMsgBadName, kMsgBadObject, isValidName};
}  // namespace

namespace {

PAttr attrOf(dkAttrDef* a) { return PAttr::of(*a); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// DKDatastoreDefSQLITE

DKDatastoreDefSQLITE::DKDatastoreDefSQLITE(DKDatastoreSQLITE* ds) : dkDatastoreDef(ds) {
    setDatastoreAdmin(ds->datastoreAdminObject());   // kept by the datastore
}

DKDatastoreDefSQLITE::~DKDatastoreDefSQLITE() = default;

DKDatastoreSQLITE* DKDatastoreDefSQLITE::sqlite() const { return static_cast<DKDatastoreSQLITE*>(getDatastore()); }

dkEntityDef* DKDatastoreDefSQLITE::createEntity() { return new DKEntityDefSQLITE(sqlite()); }

dkEntityDef* DKDatastoreDefSQLITE::retrieveEntity(const char* name) {
    static const char* const fn = "DKDatastoreDefSQLITE::retrieveEntity";
    DKDatastoreSQLITE* ds = sqlite();
    if (!ds->inTransaction_) ds->refreshIfSchemaChanged(fn);
    std::shared_ptr<PEntity> e = ds->entity(name, fn);
    auto def = std::make_unique<DKEntityDefSQLITE>(ds);
    def->load(*e);
    return def.release();
}

dkEntityDef* DKDatastoreDefSQLITE::getEntity(const char* name) {
    const std::string key = lowerName(name);
    auto it = kept_.find(key);
    if (it != kept_.end()) return it->second.get();
    dkEntityDef* e = retrieveEntity(name);
    kept_[key].reset(e);
    return e;
}

dkCollection* DKDatastoreDefSQLITE::listEntities() {
    static const char* const fn = "DKDatastoreDefSQLITE::listEntities";
    DKDatastoreSQLITE* ds = sqlite();
    if (!ds->inTransaction_) ds->refreshIfSchemaChanged(fn);
    ds->loadEntities(fn);
    std::vector<std::shared_ptr<PEntity>> all;
    for (auto& [key, e] : ds->entities_) all.push_back(e);
    std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a->id < b->id; });
    auto coll = std::make_unique<PDefCollection>();
    for (auto& e : all) {
        auto def = std::make_unique<DKEntityDefSQLITE>(ds);
        def->load(*e);
        coll->addEntity(def.release());
    }
    return coll.release();
}

DKString* DKDatastoreDefSQLITE::listEntityNames(long& count) {
    static const char* const fn = "DKDatastoreDefSQLITE::listEntityNames";
    DKDatastoreSQLITE* ds = sqlite();
    if (!ds->inTransaction_) ds->refreshIfSchemaChanged(fn);
    ds->loadEntities(fn);
    std::vector<std::shared_ptr<PEntity>> all;
    for (auto& [key, e] : ds->entities_) all.push_back(e);
    std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a->id < b->id; });
    return PNameArray(all.size(), count, [&](std::size_t i) { return DKString(all[i]->name.c_str()); });
}

dkCollection* DKDatastoreDefSQLITE::listEntityAttrs(const char* entity) {
    static const char* const fn = "DKDatastoreDefSQLITE::listEntityAttrs";
    DKDatastoreSQLITE* ds = sqlite();
    if (!ds->inTransaction_) ds->refreshIfSchemaChanged(fn);
    std::shared_ptr<PEntity> e = ds->entity(entity, fn);
    auto coll = std::make_unique<PDefCollection>();
    for (const PAttr& a : e->attrs) {
        auto def = std::make_unique<DKAttrDefSQLITE>(ds, nullptr);
        def->load(a, e->name.c_str());
        coll->addAttr(def.release());
    }
    return coll.release();
}

DKString* DKDatastoreDefSQLITE::listEntityAttrNames(const char* entity, long& count) {
    static const char* const fn = "DKDatastoreDefSQLITE::listEntityAttrNames";
    DKDatastoreSQLITE* ds = sqlite();
    if (!ds->inTransaction_) ds->refreshIfSchemaChanged(fn);
    std::shared_ptr<PEntity> e = ds->entity(entity, fn);
    return PNameArray(e->attrs.size(), count, [&](std::size_t i) { return DKString(e->attrs[i].name.c_str()); });
}

void DKDatastoreDefSQLITE::add(dkEntityDef* entity) {
    static const char* const fn = "DKDatastoreDefSQLITE::add";
    auto* mine = dynamic_cast<DKEntityDefSQLITE*>(entity);
    if (mine == nullptr)
        dkThrow<DKUsageError>(kMsgBadObject, kSource, fn, DKString("not an entity definition of this connector"));
    // The entity and the sub-entities it holds are stored together or not at all.
    std::optional<DKDatastoreSQLITE::PWriteScope> scope;
    if (!mine->subEntities().empty()) scope.emplace(*sqlite(), fn);
    storeTree(*mine, mine->getParentEntityName().str(), fn);
    if (scope) scope->commit();
}

void DKDatastoreDefSQLITE::storeTree(DKEntityDefSQLITE& entity, const std::string& parent, const char* function) {
    std::vector<PAttr> attrs;
    for (const auto& a : entity.attrs()) attrs.push_back(attrOf(a.get()));
    sqlite()->storeEntity(entity.getName().str(), entity.getType(), entity.getDescription().str(), attrs, function,
                          parent);
    kept_.erase(lowerName(entity.getName().c_str()));
    for (const auto& sub : entity.subEntities()) {
        sub->setParentEntityName(entity.getName().c_str());
        storeTree(static_cast<DKEntityDefSQLITE&>(*sub), entity.getName().str(), function);
    }
}

void DKDatastoreDefSQLITE::del(dkEntityDef* entity) {
    if (entity == nullptr)
        dkThrow<DKUsageError>(kMsgNoEntity, kSource, "DKDatastoreDefSQLITE::del", DKString("no entity"));
    deleteEntity(entity->getName().c_str());
}

void DKDatastoreDefSQLITE::deleteEntity(const char* name) {
    const std::string key = lowerName(name);
    sqlite()->dropEntity(name, "DKDatastoreDefSQLITE::deleteEntity");
    kept_.erase(key);
}

void DKDatastoreDefSQLITE::clearCache() { kept_.clear(); }

// ---------------------------------------------------------------------------------------------
// DKEntityDefSQLITE

DKEntityDefSQLITE::DKEntityDefSQLITE(DKDatastoreSQLITE* ds) : PEntityDefTree(ds, kEntityRules) {}

DKEntityDefSQLITE::~DKEntityDefSQLITE() = default;

DKDatastoreSQLITE* DKEntityDefSQLITE::sqlite() const { return static_cast<DKDatastoreSQLITE*>(getDatastore()); }

void DKEntityDefSQLITE::load(const PEntity& e) {
    static const char* const fn = "DKEntityDefSQLITE::load";
    setName(e.name.c_str());
    setParentEntityName(e.parent.c_str());
    clearSubs();
    for (const std::string& name : e.children) {
        const std::shared_ptr<PEntity> child = sqlite()->entity(name.c_str(), fn);
        auto def = std::make_unique<DKEntityDefSQLITE>(sqlite());
        def->load(*child);
        appendSub(std::move(def));
    }
    setType(e.type);
    setId(e.id);
    setDescription(e.description.c_str());
    int text = 0;
    attrs_.clear();
    for (const PAttr& a : e.attrs) {
        text |= a.textSearchable;
        auto def = std::make_unique<DKAttrDefSQLITE>(sqlite(), this);
        def->load(a, e.name.c_str());
        attrs_.append(std::move(def));
    }
    setTextSearchable(text);
}

void DKEntityDefSQLITE::add() { sqlite()->datastoreDef()->add(this); }

void DKEntityDefSQLITE::del() { sqlite()->datastoreDef()->deleteEntity(getName().c_str()); }

void DKEntityDefSQLITE::add(dkAttrDef* attrDef) {
    static const char* const fn = "DKEntityDefSQLITE::add";
    if (attrDef == nullptr) dkThrow<DKUsageError>(kMsgNoAttr, kSource, fn, DKString("no attribute"));
    PAttr a = attrOf(attrDef);
    sqlite()->storeAttr(getName().c_str(), a, fn);
    auto copy = std::make_unique<DKAttrDefSQLITE>(sqlite(), this);
    a.id = static_cast<short>(attrs_.size() + 1);
    copy->load(a, getName().c_str());
    attrs_.append(std::move(copy));
}

void DKEntityDefSQLITE::del(dkAttrDef* attrDef) {
    if (attrDef == nullptr) dkThrow<DKUsageError>(kMsgNoAttr, kSource, "DKEntityDefSQLITE::del", DKString("no attribute"));
    deleteAttr(attrDef->getName().c_str());
}

void DKEntityDefSQLITE::deleteAttr(const char* attrName) {
    sqlite()->dropAttr(getName().c_str(), attrName, "DKEntityDefSQLITE::deleteAttr");
    attrs_.erase(attrName);
}

dkAttrDef* DKEntityDefSQLITE::createAttr() { return new DKAttrDefSQLITE(sqlite(), this); }

dkAttrDef* DKEntityDefSQLITE::getAttr(const char* attrName) {
    return &attrs_.get(attrName, kAttrRules, "DKEntityDefSQLITE::getAttr");
}

dkAttrDef* DKEntityDefSQLITE::retrieveAttr(const char* attrName) {
    static const char* const fn = "DKEntityDefSQLITE::retrieveAttr";
    DKDatastoreSQLITE* ds = sqlite();
    if (!ds->inTransaction_) ds->refreshIfSchemaChanged(fn);
    std::shared_ptr<PEntity> e = ds->entity(getName().c_str(), fn);
    const PAttr* a = e->find(attrName);
    if (a == nullptr) dkThrow<DKUsageError>(kMsgNoAttr, kSource, fn, DKString(attrName ? attrName : ""));
    auto def = std::make_unique<DKAttrDefSQLITE>(ds, nullptr);
    def->load(*a, e->name.c_str());
    return def.release();
}

dkCollection* DKEntityDefSQLITE::listAttrs() {
    auto coll = std::make_unique<PDefCollection>();
    for (const auto& a : attrs_.defs()) {
        auto def = std::make_unique<DKAttrDefSQLITE>(sqlite(), nullptr);
        def->load(attrOf(a.get()), getName().c_str());
        coll->addAttr(def.release());
    }
    return coll.release();
}

DKString* DKEntityDefSQLITE::listAttrNames(long& arraySize) {
    return attrs_.names(arraySize);
}

void DKEntityDefSQLITE::addAttr(dkAttrDef* attrDef) { attrs_.adopt(attrDef, kAttrRules, "DKEntityDefSQLITE::addAttr"); }

dkAttrDef* DKEntityDefSQLITE::removeAttr(const char* attrName) {
    return attrs_.release(attrName, kAttrRules, "DKEntityDefSQLITE::removeAttr");
}

// ---------------------------------------------------------------------------------------------
// DKAttrDefSQLITE

DKAttrDefSQLITE::DKAttrDefSQLITE(DKDatastoreSQLITE* ds, dkEntityDef* entity) : dkAttrDef(ds, entity) {}

DKAttrDefSQLITE::~DKAttrDefSQLITE() = default;

void DKAttrDefSQLITE::load(const PAttr& a, const char* entityName) {
    a.applyTo(*this, entityName);
}

void DKAttrDefSQLITE::add() {
    static const char* const fn = "DKAttrDefSQLITE::add";
    auto* ds = static_cast<DKDatastoreSQLITE*>(getDatastore());
    if (ds == nullptr) dkThrow<DKUsageError>(kMsgNoEntity, kSource, fn, DKString("no datastore"));
    if (auto* e = dynamic_cast<DKEntityDefSQLITE*>(getEntity())) {
        e->add(this);
        return;
    }
    ds->storeAttr(getEntityName().c_str(), attrOf(this), fn);
}

void DKAttrDefSQLITE::del() {
    static const char* const fn = "DKAttrDefSQLITE::del";
    auto* ds = static_cast<DKDatastoreSQLITE*>(getDatastore());
    if (ds == nullptr) dkThrow<DKUsageError>(kMsgNoEntity, kSource, fn, DKString("no datastore"));
    if (auto* e = dynamic_cast<DKEntityDefSQLITE*>(getEntity())) {
        e->deleteAttr(getName().c_str());
        return;
    }
    ds->dropAttr(getEntityName().c_str(), getName().c_str(), fn);
}

// ---------------------------------------------------------------------------------------------
// Sub-entities

std::unique_ptr<PEntityDefTree> DKEntityDefSQLITE::blank() const { return std::make_unique<DKEntityDefSQLITE>(sqlite()); }

void DKEntityDefSQLITE::copyAttrsTo(PEntityDefTree& other) const {
    auto& c = static_cast<DKEntityDefSQLITE&>(other);
    for (const auto& a : attrs_.defs()) {
        auto attr = std::make_unique<DKAttrDefSQLITE>(sqlite(), &c);
        attr->load(attrOf(a.get()), getName().c_str());
        c.attrs_.append(std::move(attr));
    }
}
