// src/dk/common/model/DKDDOBase.cpp
//
// The values and object properties of a dynamic data object, and its share of a definition.
// Values follow the definition's items by position: whenever the definition has gained items
// (through any object sharing it) the values grow with unset entries, and when its items were
// replaced wholesale the old values are dropped, so no object ever reads a value that belongs to
// another item. Collection and data-object values are owned and deleted when replaced.

#include <dk/DKDDO.hpp>

#include <dk/DKException.hpp>
#include <dk/PVector.hpp>
#include <dk/dkCollection.hpp>
#include <dk/dkThrow.hpp>

#include <climits>
#include <new>
#include <utility>

namespace {
constexpr const char* kSource = "dk/common/DKDDOBase";

DKString nameDetail(const char* name) { return DKString(": ") + DKString(name); }

// The object a value owns: a collection or a data object, or null.
void* ownedObject(const DKAny& v) {
    const DKAny::TypeCode tc = v.typeCode();
    return tc == DKAny::tc_collection || tc == DKAny::tc_dobase ? v.value() : nullptr;
}

void deleteOwned(const DKAny& v) noexcept {
    void* object = ownedObject(v);
    if (object == nullptr) return;
    if (v.typeCode() == DKAny::tc_collection)
        delete static_cast<dkCollection*>(object);
    else
        delete static_cast<dkDataObjectBase*>(object);
}

bool isAttachedCollectionType(const DKAny& type) {
    // The "type" property is read as an unsigned short; any other kind of value (the value is
    // already stored by then) simply names no collection type.
    if (type.typeCode() != DKAny::tc_ushort && type.typeCode() != DKAny::tc_short) return false;
    const unsigned short code = static_cast<unsigned short>(type);
    return code == 1024 || code == 1071 || code == 1072 || code == 1073;
}

// Definitions are never changed through this one: it stands for the private definition of an
// object that has not needed one yet. Never freed, so objects destroyed late still find it.
const DKDDODef& emptyDefinition() {
    static const DKDDODef* empty = new DKDDODef(0);
    return *empty;
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction and release. Nothing is allocated until it is needed: the private definition, the
// values and the object properties all start absent, which keeps a data object that is reset to
// a shared definition (the usual case for a result set) at one allocation for its values.

DKDDOBase::DKDDOBase(unsigned short size)
    : def(nullptr), isUpdatable(1), values(nullptr), valueCount(0), valueCapacity(0), valuesInBlock(false),
      properties(nullptr), defSize(size), defGeneration(0) {}

DKDDOBase::DKDDOBase(const char* objectType, unsigned short size) : DKDDOBase(size) { ownPid().setObjectType(objectType); }

DKDDOBase::DKDDOBase(const DKPid& p, unsigned short size)
    : dkDataObject(p), def(nullptr), isUpdatable(1), values(nullptr), valueCount(0), valueCapacity(0),
      valuesInBlock(false), properties(nullptr), defSize(size), defGeneration(0) {}

DKDDOBase::DKDDOBase(DKDDODef* shared) : DKDDOBase(static_cast<unsigned short>(10)) {
    if (shared == nullptr) dkThrow<DKUsageError>(303, kSource, "DKDDOBase::DKDDOBase");
    ++shared->referenceCount;
    def = shared;
    if (def->modifiable()) def->setNotModifiable();
    defGeneration = def->generation;
    syncValues();   // should it fail, the delegated constructor's object is destroyed normally
}

DKDDOBase::~DKDDOBase() { releaseAll(); }

void DKDDOBase::dropValues() const noexcept {
    for (unsigned short i = 0; i < valueCount; ++i) deleteOwned(values[i].value);
    freeValues();
    values = nullptr;
    valueCount = 0;
    valueCapacity = 0;
}

void DKDDOBase::freeValues() const noexcept {
    if (!valuesInBlock) {
        delete[] values;
        return;
    }
    for (unsigned short i = 0; i < valueCapacity; ++i) values[i].~PDataValue();
    valuesInBlock = false;
}

void DKDDOBase::releaseAll() noexcept {
    dropValues();
    delete properties;
    properties = nullptr;
    if (def != nullptr && --def->referenceCount == 0) delete def;
    def = nullptr;
}

void DKDDOBase::reset(DKDDODef* shared) {
    // The new count is taken before the old one goes, so handing back the definition this
    // object holds (perhaps its only count) cannot free it in between.
    if (shared != nullptr) ++shared->referenceCount;
    releaseAll();
    isUpdatable = 1;
    defSize = 10;
    def = shared;
    if (def == nullptr) return;   // a private definition of capacity 10 is made when first needed
    if (def->modifiable()) def->setNotModifiable();
    defGeneration = def->generation;
    syncValues();
}

// ---------------------------------------------------------------------------------------------
// The definition and the values that follow it

const DKDDODef& DKDDOBase::readDef() const { return def != nullptr ? *def : emptyDefinition(); }

DKDDODef& DKDDOBase::makeDef() {
    def = new DKDDODef(defSize);
    defGeneration = def->generation;
    return *def;
}

void DKDDOBase::syncValues() const {
    if (valuesCurrent()) return;
    const unsigned long items = def->dataItems->size();
    if (defGeneration != def->generation || valueCount > items) {
        dropValues();
        defGeneration = def->generation;
    }
    if (items > valueCapacity) {
        // Room for the items at once, with some to spare when the definition is still growing.
        unsigned long capacity = valueCapacity == 0 ? items : 2UL * valueCapacity;
        if (capacity < items) capacity = items;
        if (capacity > USHRT_MAX) capacity = USHRT_MAX;
        auto* grown = new PDataValue[capacity];
        for (unsigned short i = 0; i < valueCount; ++i) {
            grown[i].value = std::move(values[i].value);
            grown[i].set = values[i].set;
            grown[i].changed = values[i].changed;
        }
        freeValues();
        values = grown;
        valueCapacity = static_cast<unsigned short>(capacity);
    }
    // Entries beyond the count were never used or were cleared when they were dropped.
    valueCount = static_cast<unsigned short>(items);
}

void DKDDOBase::badId(unsigned short id, const char* function) const {
    if (id == 0 && function != nullptr) dkThrow<DKUsageError>(376, kSource, function);
    // The same report as the vector access of every other id in this family.
    DKString detail(" : ");
    detail += DKString(static_cast<unsigned long>(id));
    if (id == 0)
        detail += " < 1 ";
    else
        detail += DKString(" > ") + DKString(static_cast<unsigned long>(valueCount));
    dkThrow<DKUsageError>(392, kSource, "DKDDOBase::value", detail);
}

// ---------------------------------------------------------------------------------------------
// Identity

short DKDDOBase::protocol() const { return DKProtocolDDOBase; }

DKString DKDDOBase::getObjectType() const { return pid != nullptr ? pid->getObjectType() : DKString(); }

void DKDDOBase::setObjectType(const char* type) { ownPid().setObjectType(type); }

int DKDDOBase::updatable() const { return isUpdatable; }

void DKDDOBase::setUpdatable(int) { isUpdatable = 1; }

int DKDDOBase::isXDO(unsigned short) const { return 1; }

DKString DKDDOBase::getDefObjectType() const { return readDef().getObjectType(); }

void DKDDOBase::setDefObjectType(const char* type) { writeDef().setObjectType(type); }

// ---------------------------------------------------------------------------------------------
// Data items and their definitions

unsigned short DKDDOBase::addData(const char* nameSpace, const char* name) {
    const unsigned short id = writeDef().addData(nameSpace, name);
    syncValues();
    return id;
}

unsigned short DKDDOBase::addData(const char* name, const DKAny& v) {
    DKAny copy(v);
    const unsigned short id = writeDef().addData(name);
    PDataValue& entry = value(id, nullptr);
    entry.value = std::move(copy);
    entry.set = 1;
    entry.changed = 0;
    return id;
}

unsigned short DKDDOBase::addData(const char* name) {
    const unsigned short id = writeDef().addData(name);
    syncValues();
    return id;
}

unsigned short DKDDOBase::addDataProperty(unsigned short id, const char* name, const DKAny& v) {
    return writeDef().addDataProperty(id, name, v);
}

unsigned short DKDDOBase::addDataProperty(unsigned short id, const char* name) {
    return writeDef().addDataProperty(id, name);
}

unsigned short DKDDOBase::dataCount() const {
    syncValues();
    return valueCount;
}

unsigned short DKDDOBase::dataPropertyCount(unsigned short id) const { return readDef().dataPropertyCount(id); }

void DKDDOBase::setDataProperty(unsigned short id, unsigned short propertyId, const DKAny& v) {
    writeDef().setDataProperty(id, propertyId, v);
}

DKAny DKDDOBase::getDataProperty(unsigned short id, unsigned short propertyId) const {
    return readDef().getDataProperty(id, propertyId);
}

void DKDDOBase::setDataPropertyName(unsigned short id, unsigned short propertyId, const char* name) {
    writeDef().setDataPropertyName(id, propertyId, name);
}

DKString DKDDOBase::getDataPropertyName(unsigned short id, unsigned short propertyId) const {
    return readDef().getDataPropertyName(id, propertyId);
}

void DKDDOBase::setData(unsigned short id, const DKAny& v) {
    // The copy is made before anything changes, so a failed copy leaves the entry as it was.
    DKAny copy(v);
    storeValue(id, copy);
}

void DKDDOBase::setData(unsigned short id, DKAny&& v) { storeValue(id, v); }

void DKDDOBase::storeValue(unsigned short id, DKAny& fresh) {
    DKDDODef& d = writeDef();
    d.freezeDataProperties(id);
    PDataValue& entry = value(id, nullptr);
    // The new value is stored before the object the old one owned is deleted; fresh is taken
    // only once nothing can fail any more.
    const DKAny::TypeCode heldType = entry.value.typeCode();
    void* held = ownedObject(entry.value);
    // Replacing in place with the non-throwing move is the cheap way to store the value; this
    // runs for every attribute a connector fills.
    entry.value.~DKAny();
    new (&entry.value) DKAny(std::move(fresh));
    entry.set = 1;
    entry.changed = 1;
    if (held != nullptr && !(heldType == entry.value.typeCode() && held == entry.value.value())) {
        if (heldType == DKAny::tc_collection)
            delete static_cast<dkCollection*>(held);
        else
            delete static_cast<dkDataObjectBase*>(held);
    }

    if (entry.value.typeCode() != DKAny::tc_collection || entry.value.value() == nullptr) return;
    const PDataItemProperty& item = d.item(id);
    const unsigned short typeId = item.propertyId("type");
    if (typeId == 0 || !isAttachedCollectionType(item.property(typeId).value)) return;
    auto* collection = static_cast<dkCollection*>(entry.value.value());
    collection->setAssociatedAttrName(item.name.c_str());
    collection->setOwner(this);
}

DKAny DKDDOBase::getData(unsigned short id) const { return value(id, "DKDDOBase::getData").value; }

void DKDDOBase::setDataName(unsigned short id, const char* nameSpace, const char* name) {
    writeDef().setDataName(id, nameSpace, name);
}

void DKDDOBase::setDataName(unsigned short id, const char* name) { writeDef().setDataName(id, name); }

DKString DKDDOBase::getDataName(unsigned short id) const { return readDef().getDataName(id); }

unsigned short DKDDOBase::dataId(const char* nameSpace, const char* name) const {
    return readDef().dataId(nameSpace, name);
}

unsigned short DKDDOBase::dataId(const char* name) const { return readDef().dataId(name); }

unsigned short DKDDOBase::dataPropertyId(unsigned short id, const char* name) const {
    return readDef().dataPropertyId(id, name);
}

DKAny DKDDOBase::getDataByName(const char* nameSpace, const char* name) const {
    const unsigned short id = readDef().dataId(nameSpace, name);
    if (id == 0) dkThrow<DKUsageError>(376, kSource, "DKDDOBase::getDataByName", nameDetail(name));
    return value(id, nullptr).value;
}

DKAny DKDDOBase::getDataByName(const char* name) const {
    const unsigned short id = readDef().dataId(name);
    if (id == 0) dkThrow<DKUsageError>(376, kSource, "DKDDOBase::getDataByName", nameDetail(name));
    return value(id, nullptr).value;
}

DKAny DKDDOBase::getDataPropertyByName(const char* nameSpace, const char* dataName, const char* propertyName) const {
    return readDef().getDataPropertyByName(nameSpace, dataName, propertyName);
}

DKAny DKDDOBase::getDataPropertyByName(const char* dataName, const char* propertyName) const {
    return readDef().getDataPropertyByName(dataName, propertyName);
}

DKAny DKDDOBase::getDataPropertyByName(unsigned short id, const char* propertyName) const {
    return readDef().getDataPropertyByName(id, propertyName);
}

void DKDDOBase::setNull(unsigned short id) {
    PDataValue& entry = value(id, "DKDDOBase::setNull");
    deleteOwned(entry.value);
    entry.value.setNull();
    entry.set = 1;
    entry.changed = 1;
}

int DKDDOBase::isNull(unsigned short id) const { return value(id, "DKDDOBase::isNull").value.isNull(); }

int DKDDOBase::isDataSet(unsigned short id) const { return value(id, "DKDDOBase::isDataSet").set; }

int DKDDOBase::isDataChanged(unsigned short id) const { return value(id, "DKDDOBase::isDataChanged").changed; }

void DKDDOBase::resetData(unsigned short id) {
    PDataValue& entry = value(id, "DKDDOBase::resetData");
    entry.value.setNull();   // whatever it held now belongs to whoever kept the pointer
    entry.set = 1;
    entry.changed = 1;
}

void DKDDOBase::resetDataChanged() {
    syncValues();
    for (unsigned short i = 0; i < valueCount; ++i) values[i].changed = 0;
}

int DKDDOBase::isDataPropertySet(unsigned short id, unsigned short propertyId) const {
    return readDef().isDataPropertySet(id, propertyId);
}

unsigned short DKDDOBase::dataNameSpaceCount() const { return readDef().dataNameSpaceCount(); }

unsigned short* DKDDOBase::dataIdsByNameSpace(const char* nameSpace, long& count) const {
    return readDef().dataIdsByNameSpace(nameSpace, count);
}

void DKDDOBase::setDataNameSpace(unsigned short id, const char* nameSpace) { writeDef().setDataNameSpace(id, nameSpace); }

DKString DKDDOBase::getDataNameSpace(unsigned short id) const { return readDef().getDataNameSpace(id); }

void DKDDOBase::resetDataPropertyChanged() {
    if (def != nullptr) def->resetDataPropertyChanged();
}

int DKDDOBase::isDataPropertyChanged(unsigned short id, unsigned short propertyId) const {
    return readDef().isDataPropertyChanged(id, propertyId);
}

// ---------------------------------------------------------------------------------------------
// Object properties (the list is made on first use)

namespace {
PPropertyVector& made(PPropertyVector*& list) {
    if (list == nullptr) list = new PPropertyVector();
    return *list;
}

// Reads on an object without properties go through an empty list, so a bad id gets the same
// vector error as on any other list. Never freed, like the empty definition.
const PPropertyVector& readable(const PPropertyVector* list) {
    static const PPropertyVector* none = new PPropertyVector();
    return list != nullptr ? *list : *none;
}
}  // namespace

unsigned short DKDDOBase::addProperty(const char* name, const DKAny& v) { return made(properties).addProperty(name, v); }

unsigned short DKDDOBase::addProperty(const char* name) { return made(properties).addProperty(name); }

unsigned short DKDDOBase::propertyCount() const { return properties != nullptr ? properties->propertyCount() : 0; }

void DKDDOBase::setProperty(unsigned short id, const DKAny& v) {
    PProperty& p = made(properties).property(id);
    p.value = v;
    p.set = 1;
    p.changed = 1;
}

DKAny DKDDOBase::getProperty(unsigned short id) const {
    return readable(properties).property(id).value;
}

void DKDDOBase::setPropertyName(unsigned short id, const char* name) {
    PProperty& p = made(properties).property(id);
    const unsigned short j = properties->propertyId(name);
    if (j == id) return;
    if (j != 0) dkThrow<DKUsageError>(379, kSource, "DKDDOBase::setPropertyName", nameDetail(name));
    p.name = name;
}

DKString DKDDOBase::getPropertyName(unsigned short id) const {
    return readable(properties).property(id).name;
}

unsigned short DKDDOBase::propertyId(const char* name) const {
    return properties != nullptr ? properties->propertyId(name) : 0;
}

DKAny DKDDOBase::getPropertyByName(const char* name) const {
    const unsigned short id = propertyId(name);
    if (id == 0) dkThrow<DKUsageError>(377, kSource, "DKDDOBase::getPropertyByName", nameDetail(name));
    return properties->property(id).value;
}

int DKDDOBase::isPropertySet(unsigned short id) const {
    return readable(properties).property(id).set;
}

int DKDDOBase::isPropertyChanged(unsigned short id) const {
    return readable(properties).property(id).changed;
}

void DKDDOBase::resetPropertyChanged() {
    const unsigned short n = propertyCount();
    for (unsigned short k = 1; k <= n; ++k) properties->property(k).changed = 0;
}
