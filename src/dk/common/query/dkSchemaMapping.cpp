// src/dk/common/query/dkSchemaMapping.cpp
//
// The entity-level part of a schema mapping: the names that tie a mapped entity to a native
// one, the attribute mappings it owns and the lookups over them. Storing a mapping is the
// connector's; the base keeps state only.

#include <dk/dkSchemaMapping.hpp>

#include <dk/DKException.hpp>
#include <dk/DKSequentialCollection.hpp>
#include <dk/dkThrow.hpp>

#include <memory>

namespace {
constexpr const char* kSource = "dk/common/dkSchemaMapping";

// True when the list holds the name.
bool holds(const DKString* list, long count, const DKString& name) {
    std::unique_ptr<const DKString[]> owned(list);
    for (long i = 0; i < count; ++i) {
        if (list[i] == name) return true;
    }
    return false;
}
}  // namespace

dkSchemaMapping::dkSchemaMapping() : mappedEntityType_(0), assocEntityTextSearchable_(0) {}

dkSchemaMapping::~dkSchemaMapping() {
    for (dkAttrMapping* m : attrMappings_) delete m;
}

DKString dkSchemaMapping::getName() {
    if (name_.length() == 0) name_ = mappedEntityName_ + ";" + serverName_ + ";" + entityName_;
    return name_;
}

void dkSchemaMapping::setName(const char* name) { name_ = name; }
DKString dkSchemaMapping::getServerName() const { return serverName_; }
void dkSchemaMapping::setServerName(const char* name) { serverName_ = name; }
DKString dkSchemaMapping::getServerType() const { return serverType_; }
void dkSchemaMapping::setServerType(const char* type) { serverType_ = type; }
DKString dkSchemaMapping::getEntityName() const { return entityName_; }
void dkSchemaMapping::setEntityName(const char* name) { entityName_ = name; }
DKString dkSchemaMapping::getMappedEntityName() const { return mappedEntityName_; }
void dkSchemaMapping::setMappedEntityName(const char* name) { mappedEntityName_ = name; }
short dkSchemaMapping::getMappedEntityType() const { return mappedEntityType_; }
void dkSchemaMapping::setMappedEntityType(short type) { mappedEntityType_ = type; }
DKString dkSchemaMapping::getAssocMappedEntityName() const { return assocMappedEntityName_; }
void dkSchemaMapping::setAssocMappedEntityName(const char* name) { assocMappedEntityName_ = name; }
DKString dkSchemaMapping::getAssocEntityName() const { return assocEntityName_; }
void dkSchemaMapping::setAssocEntityName(const char* name) { assocEntityName_ = name; }
DKString dkSchemaMapping::getAssocServerName() const { return assocServerName_; }
void dkSchemaMapping::setAssocServerName(const char* name) { assocServerName_ = name; }

long dkSchemaMapping::indexOf(const char* name) {
    const DKString wanted(name);
    for (size_t i = 0; i < attrMappings_.size(); ++i) {
        if (attrMappings_[i]->getName() == wanted) return static_cast<long>(i);
    }
    return -1;
}

void dkSchemaMapping::addAttrMapping(dkAttrMapping* mapping) {
    if (mapping == nullptr) dkThrow<DKUsageError>(303, kSource, "dkSchemaMapping::addAttrMapping");
    const DKString name = mapping->getName();
    if (indexOf(name.c_str()) >= 0) dkThrow<DKUsageError>(433, kSource, "dkSchemaMapping::addAttrMapping", name);
    attrMappings_.push_back(mapping);
}

void dkSchemaMapping::removeAttrMapping(const char* name) {
    const long i = indexOf(name);
    if (i < 0) return;
    delete attrMappings_[static_cast<size_t>(i)];
    attrMappings_.erase(attrMappings_.begin() + i);
}

dkAttrMapping* dkSchemaMapping::getAttrMapping(const char* name) {
    const long i = indexOf(name);
    return i < 0 ? nullptr : attrMappings_[static_cast<size_t>(i)];
}

dkCollection* dkSchemaMapping::listAttrMappings() {
    auto list = std::make_unique<DKSequentialCollection>();
    for (dkAttrMapping* m : attrMappings_) list->addElement(DKAny(static_cast<void*>(m)));
    return list.release();
}

DKString* dkSchemaMapping::listAttrMappingNames(long& count) {
    count = 0;
    if (attrMappings_.empty()) return nullptr;
    auto* names = new DKString[attrMappings_.size()];
    for (size_t i = 0; i < attrMappings_.size(); ++i) names[i] = attrMappings_[i]->getName();
    count = static_cast<long>(attrMappings_.size());
    return names;
}

void dkSchemaMapping::retrieve() {}
void dkSchemaMapping::update() {}
void dkSchemaMapping::add() {}
void dkSchemaMapping::del() {}

dkAttrMapping* dkSchemaMapping::getAttrMappingByMappedName(const char* name) {
    const DKString wanted(name);
    for (dkAttrMapping* m : attrMappings_) {
        long n = 0;
        const DKString* list = m->listMappedAttrNames(n);
        if (holds(list, n, wanted)) return m;
    }
    return nullptr;
}

dkAttrMapping* dkSchemaMapping::getAttrMappingByMapToName(const char* name) {
    const DKString wanted(name);
    for (dkAttrMapping* m : attrMappings_) {
        long n = 0;
        const DKString* list = m->listMapToAttrNames(n);
        if (holds(list, n, wanted)) return m;
    }
    return nullptr;
}

int dkSchemaMapping::isAssocEntityTextSearchable() const { return assocEntityTextSearchable_; }
void dkSchemaMapping::setAssocEntityTextSearchable(int textSearchable) { assocEntityTextSearchable_ = textSearchable; }

void dkSchemaMapping::clearCache() {
    dkThrow<DKUsageError>(341, kSource, "dkSchemaMapping::clearCache", DKString("dkSchemaMapping::clearCache"));
}
