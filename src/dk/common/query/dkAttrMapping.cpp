// src/dk/common/query/dkAttrMapping.cpp
//
// The attribute-level part of a schema mapping: the mapped and map-to attributes it owns, the
// conversion functions it names and the check whether it can be used at all. Map-to attributes
// are known by qualified names, which a connector's attribute may fail to give; such a failure
// only makes that attribute unnamed.

#include <dk/dkSchemaMapping.hpp>

#include <dk/DKException.hpp>
#include <dk/dkDatastoreDef.hpp>
#include <dk/dkThrow.hpp>

#include <memory>

namespace {
constexpr const char* kSource = "dk/common/dkAttrMapping";

DKString plainName(dkAttrDef* a) { return a->getName(); }

// The qualified name; false when the attribute cannot give it.
bool qualifiedName(dkAttrDef* a, DKString& name) {
    try {
        name = a->getQualifiedName();
        return true;
    } catch (DKException&) {
        return false;
    }
}

DKString qualifiedNameOrEmpty(dkAttrDef* a) {
    DKString name;
    return qualifiedName(a, name) ? name : DKString();
}

dkAttrDef* at(const std::vector<dkAttrDef*>& attrs, short index) {
    if (index < 1 || static_cast<size_t>(index) > attrs.size()) return nullptr;
    return attrs[static_cast<size_t>(index - 1)];
}

void add(std::vector<dkAttrDef*>& attrs, dkAttrDef* attr, DKString (*nameOf)(dkAttrDef*), const char* function) {
    if (attr == nullptr) dkThrow<DKUsageError>(303, kSource, function);
    const DKString name = nameOf(attr);
    for (dkAttrDef* held : attrs) {
        if (nameOf(held) == name) dkThrow<DKUsageError>(433, kSource, function, name);
    }
    attrs.push_back(attr);
}

DKString* names(const std::vector<dkAttrDef*>& attrs, DKString (*nameOf)(dkAttrDef*), long& count) {
    count = 0;
    if (attrs.empty()) return nullptr;
    auto* list = new DKString[attrs.size()];
    for (size_t i = 0; i < attrs.size(); ++i) list[i] = nameOf(attrs[i]);
    count = static_cast<long>(attrs.size());
    return list;
}

bool named(const DKString& s) { return s.length() > 0 && s != "null"; }
}  // namespace

dkAttrMapping::dkAttrMapping() : schemaMapping_(nullptr) {}
dkAttrMapping::dkAttrMapping(dkSchemaMapping* schemaMapping) : schemaMapping_(schemaMapping) {}

dkAttrMapping::~dkAttrMapping() {
    for (dkAttrDef* a : mappedAttrs_) delete a;
    for (dkAttrDef* a : mapToAttrs_) delete a;
}

DKString dkAttrMapping::getName() {
    if (!mappedAttrs_.empty()) name_ = mappedAttrs_.front()->getName();
    return name_;
}

void dkAttrMapping::setName(const char* name) { name_ = name; }

void dkAttrMapping::addMappedAttr(dkAttrDef* attr) {
    add(mappedAttrs_, attr, plainName, "dkAttrMapping::addMappedAttr");
}

void dkAttrMapping::removeMappedAttr(const char* name) {
    const DKString wanted(name);
    for (auto it = mappedAttrs_.begin(); it != mappedAttrs_.end(); ++it) {
        if ((*it)->getName() == wanted) {
            delete *it;
            mappedAttrs_.erase(it);
            return;
        }
    }
}

short dkAttrMapping::numberOfMappedAttr() const { return static_cast<short>(mappedAttrs_.size()); }
dkAttrDef* dkAttrMapping::getMappedAttr(short index) const { return at(mappedAttrs_, index); }
dkAttrDef* dkAttrMapping::getMappedAttr() const { return at(mappedAttrs_, 1); }

DKString dkAttrMapping::getMappedAttrName(short index) const {
    dkAttrDef* a = at(mappedAttrs_, index);
    return a != nullptr ? a->getName() : DKString();
}

DKString dkAttrMapping::getMappedAttrName() const { return getMappedAttrName(1); }
DKString* dkAttrMapping::listMappedAttrNames(long& count) const { return names(mappedAttrs_, plainName, count); }

void dkAttrMapping::addMapToAttr(dkAttrDef* attr) {
    add(mapToAttrs_, attr, qualifiedNameOrEmpty, "dkAttrMapping::addMapToAttr");
}

void dkAttrMapping::removeMapToAttr(const char* name) {
    const DKString wanted(name);
    for (auto it = mapToAttrs_.begin(); it != mapToAttrs_.end(); ++it) {
        DKString held;
        if (!qualifiedName(*it, held)) return;   // an unreadable name ends the search
        if (held == wanted) {
            delete *it;
            mapToAttrs_.erase(it);
            return;
        }
    }
}

short dkAttrMapping::numberOfMapToAttr() const { return static_cast<short>(mapToAttrs_.size()); }
dkAttrDef* dkAttrMapping::getMapToAttr(short index) const { return at(mapToAttrs_, index); }
dkAttrDef* dkAttrMapping::getMapToAttr() const { return at(mapToAttrs_, 1); }

DKString dkAttrMapping::getMapToAttrName(short index) const {
    dkAttrDef* a = at(mapToAttrs_, index);
    return a != nullptr ? qualifiedNameOrEmpty(a) : DKString();
}

DKString dkAttrMapping::getMapToAttrName() const { return getMapToAttrName(1); }
DKString* dkAttrMapping::listMapToAttrNames(long& count) const { return names(mapToAttrs_, qualifiedNameOrEmpty, count); }

void dkAttrMapping::setToNative(const char* function) { toNative_ = function; }
DKString dkAttrMapping::getToNative() const { return toNative_; }
void dkAttrMapping::setFromNative(const char* function) { fromNative_ = function; }
DKString dkAttrMapping::getFromNative() const { return fromNative_; }
void dkAttrMapping::setToDLLName(const char* library) { toDLLName_ = library; }
DKString dkAttrMapping::getToDLLName() const { return toDLLName_; }
void dkAttrMapping::setFromDLLName(const char* library) { fromDLLName_ = library; }
DKString dkAttrMapping::getFromDLLName() const { return fromDLLName_; }

short dkAttrMapping::checkConversion() const {
    const size_t m = mappedAttrs_.size(), t = mapToAttrs_.size();
    const bool noFunction = (toNative_.length() == 0 && fromNative_.length() == 0) ||
                            (toNative_ == "null" && fromNative_ == "null");
    if (m == 1 && t == 1 && noFunction) return 0;
    if (named(toNative_) && named(fromNative_)) {
        if (m == 1 && t == 1) return 1;
        if (m == 1 && t > 1) return 2;
        if (m > 1 && t == 1) return 3;
    }
    return -1;
}

void dkAttrMapping::setSchemaMapping(dkSchemaMapping* schemaMapping) { schemaMapping_ = schemaMapping; }
dkSchemaMapping* dkAttrMapping::getSchemaMapping() const { return schemaMapping_; }
