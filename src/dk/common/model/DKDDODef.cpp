// src/dk/common/model/DKDDODef.cpp
//
// The definition of a dynamic data object: the ordered data items with their names, namespaces
// and properties, and the property lists shared by items and objects. Duplicate names are
// refused before anything changes, so a failed add or rename leaves the definition as it was.

#include <dk/DKDDODef.hpp>

#include <dk/DKException.hpp>
#include <dk/PVector.hpp>
#include <dk/dkThrow.hpp>

#include <climits>
#include <cstring>
#include <memory>
#include <utility>

namespace {
constexpr const char* kSource = "dk/common/DKDDODef";
constexpr const char* kAttrNameSpace = "ATTR";
constexpr unsigned long kPropertyCapacity = 5;

DKString nameDetail(const char* name) { return DKString(": ") + DKString(name); }

// Index of a 1-based id in a PVector; id 0 wraps past every size, so the vector reports it.
unsigned long slot(unsigned short id) { return static_cast<unsigned long>(id) - 1UL; }

PProperty& propertyIn(const PVector& v, unsigned short id) { return *static_cast<PProperty*>(v[slot(id)]); }

unsigned short idOfProperty(const PVector& v, const char* name) {
    const DKString wanted(name);
    const unsigned long n = v.size();
    for (unsigned long i = 0; i < n; ++i)
        if (static_cast<const PProperty*>(v[i])->name == wanted) return static_cast<unsigned short>(i + 1);
    return 0;
}

// Appends a property after the duplicate test shared by item and object properties.
unsigned short appendProperty(PVector& v, std::unique_ptr<PProperty> p, const char* function) {
    if (p->name.length() != 0 && idOfProperty(v, p->name.c_str()) != 0)
        dkThrow<DKUsageError>(379, kSource, function, nameDetail(p->name.c_str()));
    if (v.size() >= USHRT_MAX) dkThrow<DKUsageError>(392, kSource, function, DKString(" : ") + DKString(v.size() + 1));
    v.addLast(p.get());
    p.release();
    return static_cast<unsigned short>(v.size());
}

void freeProperties(PVector* v) noexcept {
    if (v == nullptr) return;
    for (unsigned long i = 0; i < v->size(); ++i) delete static_cast<PProperty*>((*v)[i]);
    delete v;
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// PProperty

PProperty::PProperty(const char* n) : name(n), set(0), changed(0) {}

PProperty::PProperty(const char* n, const DKAny& v) : name(n), value(v), set(1), changed(1) {}

// ---------------------------------------------------------------------------------------------
// PDataItemProperty

PDataItemProperty::PDataItemProperty(const char* ns, const char* n)
    : name(n), nameSpace(ns), frozen(0), properties(new PVector(kPropertyCapacity)) {}

PDataItemProperty::PDataItemProperty(const PDataItemProperty& other)
    : name(other.name), nameSpace(other.nameSpace), frozen(0), properties(new PVector(kPropertyCapacity)) {
    try {
        for (unsigned long i = 0; i < other.properties->size(); ++i) {
            auto p = std::make_unique<PProperty>(*static_cast<const PProperty*>((*other.properties)[i]));
            properties->addLast(p.get());
            p.release();
        }
    } catch (...) {
        freeProperties(properties);
        throw;
    }
}

PDataItemProperty::~PDataItemProperty() { freeProperties(properties); }

unsigned short PDataItemProperty::addProperty(const char* propertyName) {
    const unsigned short id =
        appendProperty(*properties, std::make_unique<PProperty>(propertyName), "PDataItemProperty::addProperty");
    frozen = 0;   // a property without a value: the next setData checks the item again
    return id;
}

unsigned short PDataItemProperty::addProperty(const char* propertyName, const DKAny& v) {
    return appendProperty(*properties, std::make_unique<PProperty>(propertyName, v), "PDataItemProperty::addProperty");
}

unsigned short PDataItemProperty::propertyCount() const { return static_cast<unsigned short>(properties->size()); }

PProperty& PDataItemProperty::property(unsigned short id) const { return propertyIn(*properties, id); }

unsigned short PDataItemProperty::propertyId(const char* propertyName) const {
    return idOfProperty(*properties, propertyName);
}

// ---------------------------------------------------------------------------------------------
// PPropertyVector

PPropertyVector::PPropertyVector() : properties(new PVector(kPropertyCapacity)) {}

PPropertyVector::~PPropertyVector() { freeProperties(properties); }

unsigned short PPropertyVector::addProperty(const char* propertyName) {
    return appendProperty(*properties, std::make_unique<PProperty>(propertyName), "PPropertyVector::addProperty");
}

unsigned short PPropertyVector::addProperty(const char* propertyName, const DKAny& v) {
    return appendProperty(*properties, std::make_unique<PProperty>(propertyName, v), "PPropertyVector::addProperty");
}

unsigned short PPropertyVector::propertyCount() const { return static_cast<unsigned short>(properties->size()); }

PProperty& PPropertyVector::property(unsigned short id) const { return propertyIn(*properties, id); }

unsigned short PPropertyVector::propertyId(const char* propertyName) const {
    return idOfProperty(*properties, propertyName);
}

// ---------------------------------------------------------------------------------------------
// PDefinitionNote

PDefinitionNote::~PDefinitionNote() = default;

// ---------------------------------------------------------------------------------------------
// DKDDODef

DKDDODef::DKDDODef(unsigned long size)
    : dataItems(new PVector(size)), isModifiable(1), referenceCount(1), generation(0), note(nullptr) {}

DKDDODef::DKDDODef(const DKDDODef& other)
    : dataItems(new PVector(other.dataItems->size() > 0 ? other.dataItems->size() : 10)),
      isModifiable(1),
      referenceCount(1),
      objectType(other.objectType),
      generation(0),
      note(nullptr) {
    try {
        copyItems(other);
    } catch (...) {
        freeItems();
        throw;
    }
}

DKDDODef& DKDDODef::operator=(const DKDDODef& other) {
    if (&other == this) return *this;
    // The copy is made aside first, so a failure leaves this definition as it was.
    DKDDODef fresh(other);
    std::swap(dataItems, fresh.dataItems);   // fresh takes the old items with it
    isModifiable = other.isModifiable;
    ++generation;
    dropNote();
    return *this;
}

int DKDDODef::operator==(const DKDDODef& other) const {
    if (isModifiable != other.isModifiable) return 0;
    const unsigned long n = dataItems->size();
    if (n != other.dataItems->size()) return 0;
    for (unsigned long i = 0; i < n; ++i) {
        const auto* mine = static_cast<const PDataItemProperty*>((*dataItems)[i]);
        const unsigned short j = other.dataId(mine->name.c_str());
        if (j == 0) return 0;
        const PDataItemProperty& theirs = other.item(j);
        if (mine->nameSpace != theirs.nameSpace || mine->name != theirs.name || mine->frozen != theirs.frozen ||
            mine->propertyCount() != theirs.propertyCount())
            return 0;
        for (unsigned short k = 1; k <= mine->propertyCount(); ++k) {
            const PProperty& p = mine->property(k);
            const unsigned short m = theirs.propertyId(p.name.c_str());
            if (m == 0) return 0;
            const PProperty& q = theirs.property(m);
            if (p.name != q.name || !(p.value == q.value) || p.set != q.set || p.changed != q.changed) return 0;
        }
    }
    return 1;
}

DKDDODef::~DKDDODef() {
    dropNote();
    freeItems();
}

void DKDDODef::dropNote() const noexcept {
    delete note;
    note = nullptr;
}

void DKDDODef::copyItems(const DKDDODef& other) {
    for (unsigned long i = 0; i < other.dataItems->size(); ++i) {
        auto copy = std::make_unique<PDataItemProperty>(*static_cast<const PDataItemProperty*>((*other.dataItems)[i]));
        dataItems->addLast(copy.get());
        copy.release();
    }
}

void DKDDODef::freeItems() noexcept {
    for (unsigned long i = 0; i < dataItems->size(); ++i) delete static_cast<PDataItemProperty*>((*dataItems)[i]);
    delete dataItems;
    dataItems = nullptr;
}

PDataItemProperty& DKDDODef::item(unsigned short id) const {
    return *static_cast<PDataItemProperty*>((*dataItems)[slot(id)]);
}

int DKDDODef::modifiable() const { return isModifiable; }

void DKDDODef::setNotModifiable() { isModifiable = 0; }

unsigned short DKDDODef::addData(const char* nameSpace, const char* name) {
    if (dataId(nameSpace, name) != 0) dkThrow<DKUsageError>(378, kSource, "DKDDODef::addData", nameDetail(name));
    if (dataItems->size() >= USHRT_MAX)
        dkThrow<DKUsageError>(392, kSource, "DKDDODef::addData", DKString(" : ") + DKString(dataItems->size() + 1));
    auto entry = std::make_unique<PDataItemProperty>(nameSpace, name);
    dataItems->addLast(entry.get());
    entry.release();
    dropNote();
    return static_cast<unsigned short>(dataItems->size());
}

unsigned short DKDDODef::addData(const char* name) {
    if (dataId(name) != 0) dkThrow<DKUsageError>(378, kSource, "DKDDODef::addData", nameDetail(name));
    return addData(kAttrNameSpace, name);
}

unsigned short DKDDODef::addDataProperty(unsigned short id, const char* name, const DKAny& value) {
    return item(id).addProperty(name, value);
}

unsigned short DKDDODef::addDataProperty(unsigned short id, const char* name) { return item(id).addProperty(name); }

unsigned short DKDDODef::dataCount() const { return static_cast<unsigned short>(dataItems->size()); }

unsigned short DKDDODef::dataPropertyCount(unsigned short id) const { return item(id).propertyCount(); }

void DKDDODef::setDataProperty(unsigned short id, unsigned short propertyId, const DKAny& value) {
    PProperty& p = item(id).property(propertyId);
    p.value = value;
    p.set = 1;
    p.changed = 1;
}

DKAny DKDDODef::getDataProperty(unsigned short id, unsigned short propertyId) const {
    return item(id).property(propertyId).value;
}

void DKDDODef::setDataPropertyName(unsigned short id, unsigned short propertyId, const char* name) {
    PDataItemProperty& entry = item(id);
    PProperty& p = entry.property(propertyId);
    const unsigned short j = entry.propertyId(name);
    if (j == propertyId) return;
    if (j != 0) dkThrow<DKUsageError>(379, kSource, "DKDDODef::setDataPropertyName", nameDetail(name));
    p.name = name;
}

DKString DKDDODef::getDataPropertyName(unsigned short id, unsigned short propertyId) const {
    return item(id).property(propertyId).name;
}

void DKDDODef::setDataName(unsigned short id, const char* nameSpace, const char* name) {
    PDataItemProperty& entry = item(id);
    const unsigned short j = dataId(nameSpace, name);
    if (j == id) return;
    if (j != 0) dkThrow<DKUsageError>(378, kSource, "DKDDODef::setDataName", nameDetail(name));
    entry.name = name;
    dropNote();
}

void DKDDODef::setDataName(unsigned short id, const char* name) {
    PDataItemProperty& entry = item(id);
    const unsigned short j = dataId(name);
    if (j == id) return;
    if (j != 0) dkThrow<DKUsageError>(378, kSource, "DKDDODef::setDataName", nameDetail(name));
    entry.name = name;
    dropNote();
}

DKString DKDDODef::getDataName(unsigned short id) const { return item(id).name; }

unsigned short DKDDODef::dataId(const char* nameSpace, const char* name) const {
    // Compared in place: looking a name up builds no string (rows are read by name per value).
    const unsigned long n = dataItems->size();
    for (unsigned long i = 0; i < n; ++i) {
        const auto* entry = static_cast<const PDataItemProperty*>((*dataItems)[i]);
        if (entry->name == name && entry->nameSpace == nameSpace) return static_cast<unsigned short>(i + 1);
    }
    return 0;
}

unsigned short DKDDODef::dataId(const char* name) const {
    // The name's length is taken once; only an item's name of that length is compared.
    const char* wanted = name != nullptr ? name : "";
    const unsigned long length = std::strlen(wanted);
    const unsigned long n = dataItems->size();
    for (unsigned long i = 0; i < n; ++i) {
        const DKString& itemName = static_cast<const PDataItemProperty*>((*dataItems)[i])->name;
        if (itemName.length() == length && itemName.c_str()[0] == wanted[0] &&
            std::memcmp(itemName.c_str(), wanted, length) == 0)
            return static_cast<unsigned short>(i + 1);
    }
    return 0;
}

unsigned short DKDDODef::dataPropertyId(unsigned short id, const char* name) const {
    return item(id).propertyId(name);
}

DKAny DKDDODef::getDataPropertyByName(const char* nameSpace, const char* dataName, const char* propertyName) const {
    const unsigned short id = dataId(nameSpace, dataName);
    if (id == 0) dkThrow<DKUsageError>(376, kSource, "DKDDODef::getDataPropertyByName", nameDetail(dataName));
    return getDataPropertyByName(id, propertyName);
}

DKAny DKDDODef::getDataPropertyByName(const char* dataName, const char* propertyName) const {
    const unsigned short id = dataId(dataName);
    if (id == 0) dkThrow<DKUsageError>(376, kSource, "DKDDODef::getDataPropertyByName", nameDetail(dataName));
    return getDataPropertyByName(id, propertyName);
}

DKAny DKDDODef::getDataPropertyByName(unsigned short id, const char* propertyName) const {
    const PDataItemProperty& entry = item(id);
    const unsigned short k = entry.propertyId(propertyName);
    if (k == 0) dkThrow<DKUsageError>(380, kSource, "DKDDODef::getDataPropertyByName", nameDetail(propertyName));
    return entry.property(k).value;
}

int DKDDODef::isDataPropertySet(unsigned short id, unsigned short propertyId) const {
    return item(id).property(propertyId).set;
}

DKString DKDDODef::getObjectType() const { return objectType; }

void DKDDODef::setObjectType(const char* type) { objectType = type; }

unsigned short DKDDODef::dataNameSpaceCount() const {
    // Items are few and namespaces fewer; a list searched in order keeps the first-seen order.
    PVector seen(4);
    const unsigned long n = dataItems->size();
    for (unsigned long i = 0; i < n; ++i) {
        const DKString* ns = &static_cast<const PDataItemProperty*>((*dataItems)[i])->nameSpace;
        bool found = false;
        for (unsigned long k = 0; k < seen.size() && !found; ++k) found = *static_cast<const DKString*>(seen[k]) == *ns;
        if (!found) seen.addLast(const_cast<DKString*>(ns));
    }
    return static_cast<unsigned short>(seen.size());
}

unsigned short* DKDDODef::dataIdsByNameSpace(const char* nameSpace, long& count) const {
    const DKString wanted(nameSpace);
    const unsigned long n = dataItems->size();
    long found = 0;
    for (unsigned long i = 0; i < n; ++i)
        if (static_cast<const PDataItemProperty*>((*dataItems)[i])->nameSpace == wanted) ++found;
    count = found;
    if (found == 0) return nullptr;
    auto* ids = new unsigned short[static_cast<unsigned long>(found)];
    long k = 0;
    for (unsigned long i = 0; i < n; ++i)
        if (static_cast<const PDataItemProperty*>((*dataItems)[i])->nameSpace == wanted) ids[k++] = static_cast<unsigned short>(i + 1);
    return ids;
}

void DKDDODef::setDataNameSpace(unsigned short id, const char* nameSpace) {
    item(id).nameSpace = nameSpace;
    dropNote();
}

DKString DKDDODef::getDataNameSpace(unsigned short id) const { return item(id).nameSpace; }

void DKDDODef::resetDataPropertyChanged() {
    const unsigned long n = dataItems->size();
    for (unsigned long i = 0; i < n; ++i) {
        const auto* entry = static_cast<const PDataItemProperty*>((*dataItems)[i]);
        for (unsigned short k = 1; k <= entry->propertyCount(); ++k) entry->property(k).changed = 0;
    }
}

int DKDDODef::isDataPropertyChanged(unsigned short id, unsigned short propertyId) const {
    return item(id).property(propertyId).changed;
}

void DKDDODef::freezeDataProperties(unsigned short id) {
    PDataItemProperty& entry = item(id);
    // A frozen item has every property set: a property added without a value unfreezes it.
    if (entry.frozen) return;
    for (unsigned short k = 1; k <= entry.propertyCount(); ++k)
        if (!entry.property(k).set) dkThrow<DKUsageError>(381, kSource, "DKDDODef::freezeDataProperties");
    entry.frozen = 1;
}

DKDDODef* DKDDODef::clone() const { return new DKDDODef(*this); }
