// src/dk/common/datastore/PConnectorKit.cpp
//
// The connector kit: the protocol rule by which every datastore knows what it stores, the checks
// and locations of the collection forms, and the item maps that tell a connector which data item
// holds which attribute. An item map is worked out once per definition and attribute list and
// kept on the definition itself, which drops it as soon as its items change. Also the schema
// objects' shared pieces: the owning list collection and an entity's list of attribute definitions,
// and the catalogue's: attribute entries, the DDO shape of an entity and the pid of its items.

#include <dk/PConnectorKit.hpp>
#include <dk/dkResource.hpp>

#include <dk/DKDDO.hpp>
#include <dk/DKException.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/DKPid.hpp>
#include <dk/DKResults.hpp>
#include <dk/PVector.hpp>
#include <dk/dkCollection.hpp>
#include <dk/dkDataObject.hpp>
#include <dk/dkDatastoreDef.hpp>
#include <dk/dkResultSetCursor.hpp>
#include <dk/dkThrow.hpp>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <typeinfo>
#include <utility>

namespace {

// Every attribute list and every change of one gets a number of its own; 0 is never given, so an
// empty map made for no list is never taken for a real one.
unsigned long nextSerial() {
    static std::atomic<unsigned long> counter{0};
    return counter.fetch_add(1, std::memory_order_relaxed) + 1;
}

bool equalNoCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
    return *a == *b;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// PAttributeNames

PAttributeNames::PAttributeNames(bool ignoreCase) : ignoreCase_(ignoreCase), serial_(nextSerial()) {}

std::string PAttributeNames::keyOf(const char* name) const {
    std::string key(name != nullptr ? name : "");
    if (ignoreCase_)
        for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

void PAttributeNames::add(const char* name) {
    names_.emplace_back(name != nullptr ? name : "");
    positions_.emplace(keyOf(name), names_.size() - 1);   // a repeated name keeps its first position
    serial_ = nextSerial();
}

std::size_t PAttributeNames::find(const char* name) const {
    const auto it = positions_.find(keyOf(name));
    return it == positions_.end() ? npos : it->second;
}

bool PAttributeNames::matches(std::size_t position, const char* name) const {
    if (position >= names_.size() || name == nullptr) return false;
    return ignoreCase_ ? equalNoCase(names_[position].c_str(), name) : names_[position] == name;
}

// ---------------------------------------------------------------------------------------------
// PItemMap

PItemMap::PItemMap(const DKDDODef* def, const PAttributeNames& names)
    : serial_(def != nullptr ? names.serial() : 0), items_(names.size(), 0), stranger_(0) {
    const unsigned short count = def != nullptr ? def->dataCount() : 0;
    positions_.assign(count, npos);
    for (unsigned short id = 1; id <= count; ++id) {
        const DKString itemName = def->getDataName(id);
        const char* name = itemName.c_str();
        // DDOs made for an entity hold its attributes in its order, so the item's own position
        // is tried before the names are searched.
        std::size_t position = static_cast<std::size_t>(id - 1U);
        if (!names.matches(position, name)) position = names.find(name);
        positions_[id - 1U] = position;
        if (position == npos) {
            if (stranger_ == 0) stranger_ = id;
        } else {
            items_[position] = id;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The protocol rule and the refusals

void PConnectorKit::refuse(const PObjectRules& rules, const char* detail, const char* function, unsigned long line) {
    dkThrow<DKUsageError>(rules.messageId, rules.source, function, DKString(detail != nullptr ? detail : ""), line);
}

DKDDOBase* PConnectorKit::storable(dkDataObjectBase* object) {
    if (object == nullptr) return nullptr;
    const short protocol = object->protocol();
    if (protocol == DKProtocolDDOBase || protocol == DKProtocolDDO) return static_cast<DKDDOBase*>(object);
    // A resource is held by its DDO half; dkAsResource checks that and gives the whole object.
    if (protocol == DKProtocolResource) {
        dkResource* resource = dkAsResource(object);
        return resource != nullptr ? static_cast<DKDDO*>(resource) : nullptr;
    }
    return nullptr;
}

DKDDOBase* PConnectorKit::storable(dkDataObject* object) {
    return object != nullptr && isStorable(object->protocol()) ? static_cast<DKDDOBase*>(object) : nullptr;
}

DKDDOBase& PConnectorKit::checkedObject(dkDataObject* object, const PObjectRules& rules, const char* function,
                                        unsigned long line) {
    if (DKDDOBase* ddo = storable(object)) return *ddo;
    DKString detail(rules.objectNotStorable != nullptr ? rules.objectNotStorable : "");
    detail += " (protocol ";
    detail += DKString(static_cast<long>(object != nullptr ? object->protocol() : -1));
    detail += ")";
    dkThrow<DKUsageError>(rules.messageId, rules.source, function, detail, line);
}

DKDDOBase& PConnectorKit::checkedElement(const DKAny* element, const PObjectRules& rules, const char* operation,
                                         unsigned long line) {
    if (element == nullptr || element->typeCode() != DKAny::tc_dobase || element->value() == nullptr)
        refuse(rules, rules.noDataObject, operation, line);
    DKDDOBase* ddo = storable(static_cast<dkDataObjectBase*>(element->value()));
    if (ddo == nullptr) refuse(rules, rules.notStorable, operation, line);
    return *ddo;
}

std::vector<DKDDOBase*> PConnectorKit::checkedElements(dkCollection* objects, const PObjectRules& rules,
                                                       const char* operation, unsigned long line) {
    std::vector<DKDDOBase*> all;
    if (objects == nullptr) return all;
    std::unique_ptr<dkIterator> it(objects->createIterator());
    while (it->more()) all.push_back(&checkedElement(it->next(), rules, operation, line));
    return all;
}

void PConnectorKit::locate(DKException& e, const PObjectRules& rules, const char* operation, unsigned long line) {
    e.addLocation(DKExceptionLocation(rules.source, operation, line));
}

// ---------------------------------------------------------------------------------------------
// Item maps and values

const PItemMap& PConnectorKit::itemMap(const DKDDOBase& ddo, const PAttributeNames& attributes) {
    const DKDDODef* def = ddo.def;
    if (def == nullptr) {
        // No definition, no items: the one empty map serves every list.
        static const PItemMap* empty = new PItemMap(nullptr, PAttributeNames());
        return *empty;
    }
    auto* kept = static_cast<PItemMap*>(def->note);
    if (kept != nullptr && kept->serial_ == attributes.serial() && kept->itemCount() == def->dataCount())
        return *kept;
    auto* made = new PItemMap(def, attributes);
    def->dropNote();
    def->note = made;
    return *made;
}

const DKAny* PConnectorKit::setValue(const DKDDOBase& ddo, unsigned short id) {
    const DKDDOBase::PDataValue& entry = ddo.value(id, "DKDDOBase::getData");
    return entry.set ? &entry.value : nullptr;
}

bool PConnectorKit::changed(const DKDDOBase& ddo, unsigned short id) {
    return ddo.value(id, "DKDDOBase::isDataChanged").changed != 0;
}

// ---------------------------------------------------------------------------------------------
// Filling DDOs

const DKDDODef* PConnectorKit::definition(const DKDDOBase& ddo) { return ddo.def; }

void PConnectorKit::dropOwned(DKAny& v) noexcept {
    if (v.typeCode() == DKAny::tc_collection)
        delete static_cast<dkCollection*>(v.value());
    else if (v.typeCode() == DKAny::tc_dobase)
        delete static_cast<dkDataObjectBase*>(v.value());
    else
        return;
    v.setNull();
}

DKAny& PConnectorKit::fill(DKDDOBase& ddo, unsigned short id) {
    DKAny* filled = nullptr;
    fillRow(ddo, &id, 1, [&](std::size_t, DKAny& value) { filled = &value; });
    return *filled;
}

void PConnectorKit::unset(DKDDOBase& ddo, unsigned short id) {
    DKDDOBase::PDataValue& entry = ddo.value(id, nullptr);
    dropOwned(entry.value);
    entry.value.setNull();
    entry.set = 0;
    entry.changed = 0;
}

void PConnectorKit::setPid(DKDDOBase& ddo, const DKPid& pid) {
    if (ddo.pid == nullptr) {   // a DDO built without a pid: one copy, no default pid first
        ddo.pid = pid.clone();
        return;
    }
    DKPid& own = *ddo.pid;
    if (&own == &pid) return;
    if (typeid(own) == typeid(pid))
        own = pid;
    else
        ddo.setPid(pid);
}

DKDDO* PConnectorKit::newRowObject(DKDDODef* def, const DKPid& pid, dkDatastore* ds) {
    return newRowObject(def, pid, nullptr, ds);
}

DKDDO* PConnectorKit::newRowObject(DKDDODef* def, const DKPid& pid, const char* id, dkDatastore* ds) {
    using Value = DKDDOBase::PDataValue;
    auto roundUp = [](std::size_t n, std::size_t to) { return (n + to - 1) / to * to; };
    const unsigned short items = static_cast<unsigned short>(def->dataItems->size());
    const std::size_t valuesAt = roundUp(sizeof(DKDDO), alignof(Value));
    const std::size_t pidAt = roundUp(valuesAt + items * sizeof(Value), alignof(DKPid));
    const bool pidInside = typeid(pid) == typeid(DKPid);
    char* block = static_cast<char*>(::operator new(pidAt + (pidInside ? sizeof(DKPid) : 0)));
    // From here the object owns the block: deleting it destroys what was built and frees it.
    auto* d = new (block) DKDDO(static_cast<unsigned short>(0));   // allocates nothing
    DKDDOBase& b = *d;
    auto* values = reinterpret_cast<Value*>(block + valuesAt);
    for (unsigned short i = 0; i < items; ++i) new (values + i) Value();
    b.values = values;
    b.valueCount = items;
    b.valueCapacity = items;
    b.valuesInBlock = true;
    ++def->referenceCount;
    b.def = def;
    if (def->modifiable()) def->setNotModifiable();
    b.defGeneration = def->generation;
    d->setDatastore(ds);
    try {
        if (pidInside) {
            b.pid = new (block + pidAt) DKPid(pid);
            b.pidInBlock = true;
        } else {
            b.pid = pid.clone();
        }
        if (id == nullptr) return d;
        if (pidInside && b.pid->idStringCount_ == 1)
            b.pid->idStrings_[0].assign(id, std::strlen(id));   // the copy's own id, without a call
        else
            b.pid->setIdString(0, id);
    } catch (...) {
        delete d;
        throw;
    }
    return d;
}

std::vector<unsigned short> PConnectorKit::unfilledItems(const std::vector<unsigned short>& filled,
                                                         unsigned short items) {
    std::vector<bool> named(std::size_t{items} + 1, false);
    for (unsigned short item : filled)
        if (item <= items) named[item] = true;
    std::vector<unsigned short> unfilled;
    for (unsigned short item = 1; item <= items; ++item)
        if (!named[item]) unfilled.push_back(item);
    return unfilled;
}

void PConnectorKit::refillRow(DKDDO& row, DKDDODef* def, const DKPid& pid, const char* id, dkDatastore* ds,
                              const std::vector<unsigned short>& unfilled) {
    if (row.def == def && row.propertyCount() == 0) {
        for (unsigned short item : unfilled) unset(row, item);
    } else {
        row.reset(def);
    }
    row.setDatastore(ds);
    DKPid* own = row.pid;
    // The row's pid from the row before names the same item type: only its id changes. Anything
    // else about it (another class, other names, several id strings) takes the whole pid.
    if (id != nullptr && own != nullptr && own != &pid && typeid(*own) == typeid(DKPid) &&
        typeid(pid) == typeid(DKPid) && own->idStringCount_ == 1 && pid.idStringCount_ == 1 &&
        own->objectType_ == pid.objectType_ && own->datastoreName_ == pid.datastoreName_ &&
        own->datastoreType_ == pid.datastoreType_) {
        own->idStrings_[0] = id;
        return;
    }
    setPid(row, pid);
    if (id != nullptr) row.pid->setIdString(0, id);
}

void PConnectorKit::handOver(DKDDOBase& from, DKDDOBase& into) {
    if (&from == &into) return;
    from.syncValues();
    into.reset(from.def);
    setPid(into, from.getPid());
    for (unsigned short i = 0; i < from.valueCount; ++i) {
        DKDDOBase::PDataValue& source = from.values[i];
        if (!source.set) continue;
        const auto id = static_cast<unsigned short>(i + 1);
        // setData tells a collection its new owner; the flags are then those the value had.
        into.setData(id, std::move(source.value));
        DKDDOBase::PDataValue& target = into.value(id, nullptr);
        target.changed = source.changed;
    }
    std::swap(into.properties, from.properties);
    from.dropValues();
}

// ---------------------------------------------------------------------------------------------
// PDefCollection

PDefCollection::~PDefCollection() { freeDefs(); }

void PDefCollection::removeAllElements() {
    freeDefs();
    DKSequentialCollection::removeAllElements();
}

void PDefCollection::addEntity(dkEntityDef* entity) {
    addElement(DKAny(DKAny::tc_voidptr, static_cast<void*>(entity), 1));
}

void PDefCollection::addAttr(dkAttrDef* attr) { addElement(DKAny(DKAny::tc_voidptr, static_cast<void*>(attr), 2)); }

void PDefCollection::freeDefs() noexcept {
    for (PNode* n = head; n != nullptr; n = n->next) {
        if (n->value == nullptr || n->value->typeCode() != DKAny::tc_voidptr) continue;
        void* p = n->value->value();
        if (n->value->getSubType() == 1) delete static_cast<dkEntityDef*>(p);
        else if (n->value->getSubType() == 2) delete static_cast<dkAttrDef*>(p);
        *n->value = DKAny();
    }
}

// ---------------------------------------------------------------------------------------------
// PAttrDefList

namespace {

bool sameName(const DKString& a, const char* b) {
    const char* x = a.c_str();
    for (; *x != '\0' && *b != '\0'; ++x, ++b)
        if (std::tolower(static_cast<unsigned char>(*x)) != std::tolower(static_cast<unsigned char>(*b))) return false;
    return *x == *b;
}

}  // namespace

PAttrDefList::PAttrDefList() = default;
PAttrDefList::~PAttrDefList() = default;

void PAttrDefList::clear() { defs_.clear(); }

void PAttrDefList::append(std::unique_ptr<dkAttrDef> def) { defs_.push_back(std::move(def)); }

PAttrDefList::Defs::const_iterator PAttrDefList::position(const char* name) const {
    if (name == nullptr) return defs_.end();
    for (auto it = defs_.begin(); it != defs_.end(); ++it)
        if (sameName((*it)->getName(), name)) return it;
    return defs_.end();
}

dkAttrDef* PAttrDefList::find(const char* name) const {
    auto it = position(name);
    return it == defs_.end() ? nullptr : it->get();
}

dkAttrDef& PAttrDefList::get(const char* name, const PAttrDefRules& rules, const char* function,
                             unsigned long line) const {
    dkAttrDef* def = find(name);
    if (def == nullptr) dkThrow<DKUsageError>(rules.noAttr, rules.source, function, DKString(name ? name : ""), line);
    return *def;
}

void PAttrDefList::adopt(dkAttrDef* def, const PAttrDefRules& rules, const char* function, unsigned long line) {
    if (def == nullptr) dkThrow<DKUsageError>(rules.noAttr, rules.source, function, DKString("no attribute"), line);
    const DKString name = def->getName();
    if (!rules.validName(name.c_str())) dkThrow<DKUsageError>(rules.badName, rules.source, function, name, line);
    if (!rules.storableType(def->getType()))
        dkThrow<DKUsageError>(rules.badType, rules.source, function,
                              name + ": type code " + DKString(static_cast<long>(def->getType())), line);
    if (find(name.c_str()) != nullptr) dkThrow<DKUsageError>(rules.attrExists, rules.source, function, name, line);
    def->setId(static_cast<short>(defs_.size() + 1));
    defs_.emplace_back(def);
}

dkAttrDef* PAttrDefList::release(const char* name, const PAttrDefRules& rules, const char* function,
                                 unsigned long line) {
    auto it = position(name);
    if (it == defs_.end()) dkThrow<DKUsageError>(rules.noAttr, rules.source, function, DKString(name ? name : ""), line);
    auto mine = defs_.begin() + (it - defs_.begin());
    dkAttrDef* def = mine->release();
    defs_.erase(mine);
    return def;
}

bool PAttrDefList::erase(const char* name) {
    const std::size_t before = defs_.size();
    if (name != nullptr)
        defs_.erase(std::remove_if(defs_.begin(), defs_.end(),
                                   [&](const std::unique_ptr<dkAttrDef>& d) { return sameName(d->getName(), name); }),
                    defs_.end());
    return defs_.size() != before;
}

DKString* PAttrDefList::names(long& count) const {
    return PNameArray(defs_.size(), count, [&](std::size_t i) { return defs_[i]->getName(); });
}

// ---------------------------------------------------------------------------------------------
// Entity definitions with sub-entities

PEntityDefTree::PEntityDefTree(dkDatastore* ds, const PEntityDefRules& rules) : dkEntityDef(ds), rules_(rules) {}
PEntityDefTree::~PEntityDefTree() = default;

PEntityDefTree* PEntityDefTree::mine(dkEntityDef* def, const char* function) const {
    // Only a definition of the very class of this one: another connector's stores elsewhere.
    if (def == nullptr || typeid(*def) != typeid(*this))
        dkThrow<DKUsageError>(rules_.badObject, rules_.source, function,
                              DKString("not an entity definition of this connector"));
    return static_cast<PEntityDefTree*>(def);
}

PEntityDefTree::Subs::iterator PEntityDefTree::findSub(const char* name) {
    return std::find_if(subs_.begin(), subs_.end(),
                        [&](const auto& s) { return sameName(s->getName(), name ? name : ""); });
}

std::unique_ptr<PEntityDefTree> PEntityDefTree::copy() const {
    std::unique_ptr<PEntityDefTree> c = blank();
    auto& self = const_cast<PEntityDefTree&>(*this);   // the accessors of dkEntityDef are not const
    c->setName(self.getName().c_str());
    c->setType(self.getType());
    c->setDescription(self.getDescription().c_str());
    c->setParentEntityName(self.getParentEntityName().c_str());
    copyAttrsTo(*c);
    for (const auto& sub : subs_) c->subs_.push_back(sub->copy());
    return c;
}

dkEntityDef* PEntityDefTree::createSubEntity() {
    std::unique_ptr<PEntityDefTree> sub = blank();
    sub->setParentEntityName(getName().c_str());
    return sub.release();
}

dkEntityDef* PEntityDefTree::getSubEntity(const char* subEntityName) {
    auto it = findSub(subEntityName);
    if (it == subs_.end())
        dkThrow<DKUsageError>(rules_.noEntity, rules_.source, "dkEntityDef::getSubEntity",
                              DKString(subEntityName ? subEntityName : ""));
    return it->get();
}

dkEntityDef* PEntityDefTree::retrieveSubEntity(const char* subEntityName) {
    std::unique_ptr<dkEntityDef> e(getDatastore()->datastoreDef()->retrieveEntity(subEntityName));
    if (!sameName(e->getParentEntityName(), getName().c_str()))
        dkThrow<DKUsageError>(rules_.noEntity, rules_.source, "dkEntityDef::retrieveSubEntity",
                              DKString(subEntityName) + ": not a sub-entity of " + getName());
    return e.release();
}

dkCollection* PEntityDefTree::listSubEntities() {
    auto coll = std::make_unique<PDefCollection>();
    for (const auto& sub : subs_) coll->addEntity(sub->copy().release());
    return coll.release();
}

DKString* PEntityDefTree::listSubEntityNames(long& arraySize) {
    return PNameArray(subs_.size(), arraySize, [&](std::size_t i) { return subs_[i]->getName(); });
}

void PEntityDefTree::add(dkEntityDef* subEntityDef) {
    PEntityDefTree* sub = mine(subEntityDef, "dkEntityDef::add(dkEntityDef)");
    sub->setParentEntityName(getName().c_str());
    getDatastore()->datastoreDef()->add(sub);
    subs_.push_back(sub->copy());
}

void PEntityDefTree::del(dkEntityDef* subEntityDef) {
    if (subEntityDef == nullptr)
        dkThrow<DKUsageError>(rules_.noEntity, rules_.source, "dkEntityDef::del(dkEntityDef)", DKString("no entity"));
    deleteSubEntity(subEntityDef->getName().c_str());
}

void PEntityDefTree::deleteSubEntity(const char* subEntityName) {
    // Only a sub-entity of this one, as the catalogue has it.
    std::unique_ptr<dkEntityDef> stored(retrieveSubEntity(subEntityName));
    getDatastore()->datastoreDef()->deleteEntity(stored->getName().c_str());
    auto it = findSub(subEntityName);
    if (it != subs_.end()) subs_.erase(it);
}

void PEntityDefTree::addSubEntity(dkEntityDef* subEntityDef) {
    static const char* const fn = "dkEntityDef::addSubEntity";
    PEntityDefTree* sub = mine(subEntityDef, fn);
    const DKString name = sub->getName();
    if (!rules_.validName(name.c_str())) dkThrow<DKUsageError>(rules_.badName, rules_.source, fn, name);
    if (findSub(name.c_str()) != subs_.end() || sameName(name, getName().c_str()))
        dkThrow<DKUsageError>(rules_.entityExists, rules_.source, fn, name);
    sub->setParentEntityName(getName().c_str());
    subs_.emplace_back(sub);   // adopted
}

dkEntityDef* PEntityDefTree::removeSubEntity(const char* subEntityName) {
    auto it = findSub(subEntityName);
    if (it == subs_.end())
        dkThrow<DKUsageError>(rules_.noEntity, rules_.source, "dkEntityDef::removeSubEntity",
                              DKString(subEntityName ? subEntityName : ""));
    dkEntityDef* sub = it->release();
    subs_.erase(it);
    return sub;
}

// ---------------------------------------------------------------------------------------------
// The catalogue's pieces

PCatalogueAttr PCatalogueAttr::of(dkAttrDef& def) {
    PCatalogueAttr p;
    p.name = def.getName().str();
    p.type = def.getType();
    p.id = def.getId();
    p.nullable = def.isNullable();
    p.size = def.getSize();
    p.precision = def.getPrecision();
    p.scale = def.getScale();
    p.description = def.getDescription().str();
    p.textSearchable = def.isTextSearchable() != 0 ? 1 : 0;
    return p;
}

void PCatalogueAttr::applyTo(dkAttrDef& def, const char* entityName) const {
    def.setName(name.c_str());
    def.setType(type);
    def.setId(id);
    def.setNullable(nullable);
    def.setSize(size);
    def.setPrecision(precision);
    def.setScale(scale);
    def.setDescription(description.c_str());
    def.setTextSearchable(textSearchable);
    if (def.getEntity() == nullptr) def.setEntityName(entityName);
}

void PEntityShape::addAttrs(const std::vector<PCatalogueAttr>& attrs) {
    for (const PCatalogueAttr& a : attrs) {
        const unsigned short id = addData(a.name.c_str());
        addDataProperty(id, "type", DKAny(static_cast<unsigned short>(a.type)));
    }
}

const DKPid& PItemPid::pidFor(const char* datastoreType, const std::string& repository, const std::string& objectType,
                              long rowId) {
    if (!pid_ || repository_ != repository) {
        pid_ = std::make_unique<DKPid>();
        pid_->setDatastoreType(datastoreType);
        pid_->setDatastoreName(repository.c_str());
        pid_->setObjectType(objectType.c_str());
        repository_ = repository;
    }
    char id[24];
    const auto r = std::to_chars(id, id + sizeof id - 1, rowId);
    *r.ptr = '\0';
    // The pid always has one id string; replacing it in place costs far less than setPrimaryId,
    // which builds and parses the id-string form.
    pid_->setIdString(0, rowId > 0 ? id : "");
    return *pid_;
}

// ---------------------------------------------------------------------------------------------
// Stored items

long PConnectorKit::rowIdOf(const DKDDOBase& ddo, const char* pidType, const std::string& repository,
                            const PObjectRules& rules, const char* function, unsigned long line) {
    const DKPid& pid = ddo.getPid();
    const DKString id = pid.getIdStringCount() > 0 ? pid.getIdString(0) : DKString();
    char* end = nullptr;
    const long n = std::strtol(id.c_str(), &end, 10);
    if (pid.getDatastoreType() != pidType || pid.getDatastoreName() != repository.c_str() || id.length() == 0 ||
        *end != '\0' || n <= 0)
        dkThrow<DKUsageError>(rules.messageId, rules.source, function, DKString("pid ") + pid.pidString(), line);
    return n;
}

void PConnectorKit::finishAdd(DKDDOBase& ddo, const DKPid& pid, dkDatastore* datastore) {
    setPid(ddo, pid);
    ddo.resetDataChanged();
    if (ddo.protocol() != DKProtocolDDOBase) {
        auto& bound = static_cast<DKDDO&>(ddo);
        if (bound.getDatastore() == nullptr) bound.setDatastore(datastore);
    }
}

bool PConnectorKit::integerOf(const DKAny& v, long& out) {
    switch (v.typeCode()) {
        case DKAny::tc_short: out = static_cast<short>(v); return true;
        case DKAny::tc_ushort: out = static_cast<unsigned short>(v); return true;
        case DKAny::tc_long: out = static_cast<long>(v); return true;
        case DKAny::tc_ulong: {
            const unsigned long u = static_cast<unsigned long>(v);
            if (u > static_cast<unsigned long>(LONG_MAX)) return false;
            out = static_cast<long>(u);
            return true;
        }
        default: return false;
    }
}

// ---------------------------------------------------------------------------------------------
// The schema objects over a connector's catalogue

namespace {

std::string lowerKey(const char* name) {
    std::string key = name != nullptr ? name : "";
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

// The catalogue of ds: the connector's datastore implements it beside dkDatastore.
PSchemaCatalogue* catalogueOf(dkDatastore* ds) { return dynamic_cast<PSchemaCatalogue*>(ds); }

std::string functionText(const char* className, const char* operation) {
    return std::string(className) + "::" + operation;
}

}  // namespace

const PCatalogueAttr* PCatalogueEntity::find(const char* attrName) const {
    const std::size_t position = names.find(attrName);
    return position == PAttributeNames::npos ? nullptr : &attrs[position];
}

PSchemaCatalogue::~PSchemaCatalogue() = default;

void PSchemaCatalogue::refreshSchema(const char*) {}

// PAttrDefBase

PAttrDefBase::PAttrDefBase(dkDatastore* ds, dkEntityDef* entity, const PSchemaRules& rules)
    : dkAttrDef(ds, entity), rules_(rules) {}
PAttrDefBase::~PAttrDefBase() = default;

void PAttrDefBase::add() {
    const std::string fn = functionText(rules_.attrDefClass, "add");
    PSchemaCatalogue* cat = catalogueOf(getDatastore());
    if (cat == nullptr) dkThrow<DKUsageError>(rules_.entities.noEntity, rules_.attrs.source, fn.c_str(), DKString("no datastore"));
    auto* e = dynamic_cast<PEntityDefBase*>(getEntity());
    if (e != nullptr && &e->schemaRules() == &rules_) return e->add(this);
    cat->storeAttr(getEntityName().c_str(), PCatalogueAttr::of(*this), fn.c_str());
}

void PAttrDefBase::del() {
    const std::string fn = functionText(rules_.attrDefClass, "del");
    PSchemaCatalogue* cat = catalogueOf(getDatastore());
    if (cat == nullptr) dkThrow<DKUsageError>(rules_.entities.noEntity, rules_.attrs.source, fn.c_str(), DKString("no datastore"));
    auto* e = dynamic_cast<PEntityDefBase*>(getEntity());
    if (e != nullptr && &e->schemaRules() == &rules_) return e->deleteAttr(getName().c_str());
    cat->dropAttr(getEntityName().c_str(), getName().c_str(), fn.c_str());
}

// PEntityDefBase

PEntityDefBase::PEntityDefBase(dkDatastore* ds, const PSchemaRules& rules)
    : PEntityDefTree(ds, rules.entities), rules_(rules) {}
PEntityDefBase::~PEntityDefBase() = default;

std::string PEntityDefBase::function(const char* operation) const {
    return functionText(rules_.entityDefClass, operation);
}

void PEntityDefBase::load(const PCatalogueEntity& e) {
    setName(e.name.c_str());
    setParentEntityName(e.parent.c_str());
    clearSubs();
    PSchemaCatalogue& cat = *catalogueOf(getDatastore());
    for (const std::string& name : e.children) {
        std::unique_ptr<PEntityDefTree> def = blank();
        static_cast<PEntityDefBase&>(*def).load(*cat.schemaEntity(name.c_str(), function("load").c_str()));
        appendSub(std::move(def));
    }
    setType(e.type);
    setId(e.id);
    setDescription(e.description.c_str());
    int text = 0;
    attrs_.clear();
    for (const PCatalogueAttr& a : e.attrs) {
        text |= a.textSearchable;
        std::unique_ptr<dkAttrDef> def = newAttr(this);
        a.applyTo(*def, e.name.c_str());
        attrs_.append(std::move(def));
    }
    setTextSearchable(text);
}

void PEntityDefBase::add() { getDatastore()->datastoreDef()->add(this); }

void PEntityDefBase::del() { getDatastore()->datastoreDef()->deleteEntity(getName().c_str()); }

void PEntityDefBase::add(dkAttrDef* attrDef) {
    const std::string fn = function("add");
    if (attrDef == nullptr) dkThrow<DKUsageError>(rules_.attrs.noAttr, rules_.attrs.source, fn.c_str(), DKString("no attribute"));
    PCatalogueAttr a = PCatalogueAttr::of(*attrDef);
    catalogueOf(getDatastore())->storeAttr(getName().c_str(), a, fn.c_str());
    std::unique_ptr<dkAttrDef> copy = newAttr(this);
    a.id = static_cast<short>(attrs_.size() + 1);
    a.applyTo(*copy, getName().c_str());
    attrs_.append(std::move(copy));
}

void PEntityDefBase::del(dkAttrDef* attrDef) {
    if (attrDef == nullptr)
        dkThrow<DKUsageError>(rules_.attrs.noAttr, rules_.attrs.source, function("del").c_str(), DKString("no attribute"));
    deleteAttr(attrDef->getName().c_str());
}

void PEntityDefBase::deleteAttr(const char* attrName) {
    catalogueOf(getDatastore())->dropAttr(getName().c_str(), attrName, function("deleteAttr").c_str());
    attrs_.erase(attrName);
    if (rules_.renumbersAttrs)
        for (std::size_t i = 0; i < attrs_.size(); ++i) attrs_.defs()[i]->setId(static_cast<short>(i + 1));
}

dkAttrDef* PEntityDefBase::createAttr() { return newAttr(this).release(); }

dkAttrDef* PEntityDefBase::getAttr(const char* attrName) {
    return &attrs_.get(attrName, rules_.attrs, function("getAttr").c_str());
}

dkAttrDef* PEntityDefBase::retrieveAttr(const char* attrName) {
    const std::string fn = function("retrieveAttr");
    PSchemaCatalogue& cat = *catalogueOf(getDatastore());
    cat.refreshSchema(fn.c_str());
    std::shared_ptr<const PCatalogueEntity> e = cat.schemaEntity(getName().c_str(), fn.c_str());
    const PCatalogueAttr* a = e->find(attrName);
    if (a == nullptr) dkThrow<DKUsageError>(rules_.attrs.noAttr, rules_.attrs.source, fn.c_str(), DKString(attrName ? attrName : ""));
    std::unique_ptr<dkAttrDef> def = newAttr(nullptr);
    a->applyTo(*def, e->name.c_str());
    return def.release();
}

dkCollection* PEntityDefBase::listAttrs() {
    auto coll = std::make_unique<PDefCollection>();
    for (const auto& a : attrs_.defs()) {
        std::unique_ptr<dkAttrDef> def = newAttr(nullptr);
        PCatalogueAttr::of(*a).applyTo(*def, getName().c_str());
        coll->addAttr(def.release());
    }
    return coll.release();
}

DKString* PEntityDefBase::listAttrNames(long& arraySize) { return attrs_.names(arraySize); }

void PEntityDefBase::addAttr(dkAttrDef* attrDef) { attrs_.adopt(attrDef, rules_.attrs, function("addAttr").c_str()); }

dkAttrDef* PEntityDefBase::removeAttr(const char* attrName) {
    return attrs_.release(attrName, rules_.attrs, function("removeAttr").c_str());
}

void PEntityDefBase::copyAttrsTo(PEntityDefTree& other) const {
    auto& c = static_cast<PEntityDefBase&>(other);
    auto& self = const_cast<PEntityDefBase&>(*this);   // the accessors of dkEntityDef are not const
    for (const auto& a : attrs_.defs()) {
        std::unique_ptr<dkAttrDef> attr = newAttr(&c);
        PCatalogueAttr::of(*a).applyTo(*attr, self.getName().c_str());
        c.attrs_.append(std::move(attr));
    }
}

// PDatastoreDefBase

PDatastoreDefBase::PDatastoreDefBase(dkDatastore* ds, const PSchemaRules& rules) : dkDatastoreDef(ds), rules_(rules) {}
PDatastoreDefBase::~PDatastoreDefBase() = default;

std::string PDatastoreDefBase::function(const char* operation) const {
    return functionText(rules_.datastoreDefClass, operation);
}

PSchemaCatalogue& PDatastoreDefBase::catalogue() const { return *catalogueOf(getDatastore()); }

dkEntityDef* PDatastoreDefBase::createEntity() { return newEntity().release(); }

dkEntityDef* PDatastoreDefBase::retrieveEntity(const char* name) {
    const std::string fn = function("retrieveEntity");
    catalogue().refreshSchema(fn.c_str());
    std::shared_ptr<const PCatalogueEntity> e = catalogue().schemaEntity(name, fn.c_str());
    std::unique_ptr<PEntityDefBase> def = newEntity();
    def->load(*e);
    return def.release();
}

dkEntityDef* PDatastoreDefBase::getEntity(const char* name) {
    const std::string key = lowerKey(name);
    auto it = kept_.find(key);
    if (it != kept_.end()) return it->second.get();
    dkEntityDef* e = retrieveEntity(name);
    kept_[key].reset(e);
    return e;
}

dkCollection* PDatastoreDefBase::listEntities() {
    const std::string fn = function("listEntities");
    catalogue().refreshSchema(fn.c_str());
    auto coll = std::make_unique<PDefCollection>();
    for (const auto& e : catalogue().schemaEntities(fn.c_str())) {
        std::unique_ptr<PEntityDefBase> def = newEntity();
        def->load(*e);
        coll->addEntity(def.release());
    }
    return coll.release();
}

DKString* PDatastoreDefBase::listEntityNames(long& count) {
    const std::string fn = function("listEntityNames");
    catalogue().refreshSchema(fn.c_str());
    const auto all = catalogue().schemaEntities(fn.c_str());
    return PNameArray(all.size(), count, [&](std::size_t i) { return DKString(all[i]->name.c_str()); });
}

dkCollection* PDatastoreDefBase::listEntityAttrs(const char* entity) {
    const std::string fn = function("listEntityAttrs");
    catalogue().refreshSchema(fn.c_str());
    std::shared_ptr<const PCatalogueEntity> e = catalogue().schemaEntity(entity, fn.c_str());
    auto coll = std::make_unique<PDefCollection>();
    for (const PCatalogueAttr& a : e->attrs) {
        std::unique_ptr<dkAttrDef> def = newAttr();
        a.applyTo(*def, e->name.c_str());
        coll->addAttr(def.release());
    }
    return coll.release();
}

DKString* PDatastoreDefBase::listEntityAttrNames(const char* entity, long& count) {
    const std::string fn = function("listEntityAttrNames");
    catalogue().refreshSchema(fn.c_str());
    std::shared_ptr<const PCatalogueEntity> e = catalogue().schemaEntity(entity, fn.c_str());
    return PNameArray(e->attrs.size(), count, [&](std::size_t i) { return DKString(e->attrs[i].name.c_str()); });
}

void PDatastoreDefBase::add(dkEntityDef* entity) {
    const std::string fn = function("add");
    auto* mine = dynamic_cast<PEntityDefBase*>(entity);
    if (mine == nullptr || &mine->schemaRules() != &rules_)
        dkThrow<DKUsageError>(rules_.entities.badObject, rules_.entities.source, fn.c_str(),
                              DKString("not an entity definition of this connector"));
    std::vector<PNewEntity> tree;
    flatten(*mine, mine->getParentEntityName().str(), tree);
    catalogue().storeEntities(tree, fn.c_str());
    for (const PNewEntity& e : tree) kept_.erase(lowerKey(e.name.c_str()));
}

void PDatastoreDefBase::flatten(PEntityDefBase& entity, const std::string& parent, std::vector<PNewEntity>& out) {
    PNewEntity e;
    e.name = entity.getName().str();
    e.type = entity.getType();
    e.description = entity.getDescription().str();
    e.parent = parent;
    for (const auto& a : entity.attrs()) e.attrs.push_back(PCatalogueAttr::of(*a));
    out.push_back(std::move(e));
    for (const auto& sub : entity.subEntities()) {
        sub->setParentEntityName(entity.getName().c_str());
        flatten(static_cast<PEntityDefBase&>(*sub), entity.getName().str(), out);
    }
}

void PDatastoreDefBase::del(dkEntityDef* entity) {
    if (entity == nullptr)
        dkThrow<DKUsageError>(rules_.entities.noEntity, rules_.entities.source, function("del").c_str(), DKString("no entity"));
    deleteEntity(entity->getName().c_str());
}

void PDatastoreDefBase::deleteEntity(const char* name) {
    catalogue().dropEntity(name, function("deleteEntity").c_str());
    kept_.erase(lowerKey(name));
}

void PDatastoreDefBase::clearCache() { kept_.clear(); }

// ---------------------------------------------------------------------------------------------
// Results and options of queries

DKAny PConnectorKit::readAll(dkResultSetCursor* cursor, const dkDatastore& datastore) {
    std::unique_ptr<dkResultSetCursor> owned(cursor);
    std::unique_ptr<DKResults> results(new DKResults(datastore));
    while (DKDDO* d = owned->fetchNext()) results->addElement(DKAny(static_cast<dkDataObjectBase*>(d)));
    return DKAny(static_cast<dkCollection*>(results.release()));
}

std::string PConnectorKit::textQueryEntity(const DKNVPair* options, long badParams, const char* source,
                                           const char* function) {
    std::string only;
    for (const DKNVPair* p = options; p != nullptr && p->getName().length() != 0 && p->getName() != "End"; ++p) {
        if (p->getName() == "Prepare Query") continue;   // a query object's prepare
        if (p->getName() != "Entity")
            dkThrow<DKUsageError>(badParams, source, function,
                                  DKString("a text query takes only the option Entity, not ") + p->getName());
        only = static_cast<DKString>(p->getValue()).str();
    }
    return only;
}

void PConnectorKit::refuseItem(const DKDDOBase& ddo, const std::string& entity, unsigned short id, long noAttr,
                               const char* source, const char* function, unsigned long line) {
    dkThrow<DKUsageError>(noAttr, source, function, DKString(entity.c_str()) + "." + ddo.getDataName(id), line);
}
