// src/dk/common/datastore/dkAttrDef.cpp
//
// Attribute definitions: the plain attribute of an entity and its mapped form, which names the
// datastore it comes from instead of pointing at one. Only adding and deleting the attribute
// itself needs the repository and is rejected here.

#include <dk/dkDatastoreDef.hpp>

#include <dk/dkDatastore.hpp>
#include <dk/dkThrow.hpp>

namespace {

constexpr const char* kSource = "dk/common/dkAttrDef";

}  // namespace

dkAttrDef::dkAttrDef() : dkAttrDef(nullptr) {}

dkAttrDef::dkAttrDef(dkDatastore* datastore)
    : datastore_(datastore),
      entity_(nullptr),
      type_(0),
      size_(0),
      id_(0),
      min_(0),
      max_(0),
      scale_(0),
      precision_(0),
      stringType_(0),
      nullable_(1),
      updatable_(1),
      queryable_(1),
      textSearchable_(0) {}

dkAttrDef::dkAttrDef(dkDatastore* datastore, dkEntityDef* entity) : dkAttrDef(datastore) {
    setEntity(entity);
}

dkAttrDef::~dkAttrDef() = default;

dkDatastore* dkAttrDef::getDatastore() { return datastore_; }
void dkAttrDef::setDatastore(dkDatastore* datastore) { datastore_ = datastore; }
dkEntityDef* dkAttrDef::getEntity() { return entity_; }
void dkAttrDef::setEntity(dkEntityDef* entity) { entity_ = entity; }

DKString dkAttrDef::datastoreName() const {
    return datastore_ != nullptr ? datastore_->datastoreName() : DKString();
}

DKString dkAttrDef::datastoreType() const {
    return datastore_ != nullptr ? datastore_->datastoreType() : DKString();
}

DKString dkAttrDef::getEntityName() {
    if (entityName_.length() == 0 && entity_ != nullptr) return entity_->getName();
    return entityName_;
}

// The attribute's entity is the one it names, so renaming one renames the other.
void dkAttrDef::setEntityName(const char* entityName) {
    entityName_ = entityName;
    if (entity_ != nullptr) entity_->setName(entityName);
}

DKString dkAttrDef::getName() { return name_; }
void dkAttrDef::setName(const char* name) { name_ = name; }
DKString dkAttrDef::getDescription() { return description_; }
void dkAttrDef::setDescription(const char* description) { description_ = description; }
unsigned short dkAttrDef::getType() { return type_; }
void dkAttrDef::setType(unsigned short type) { type_ = type; }
long dkAttrDef::getSize() { return size_; }
void dkAttrDef::setSize(long size) { size_ = size; }
short dkAttrDef::getId() { return id_; }
void dkAttrDef::setId(short id) { id_ = id; }
int dkAttrDef::isNullable() { return nullable_; }
void dkAttrDef::setNullable(int nullable) { nullable_ = nullable; }
long dkAttrDef::getPrecision() { return precision_; }
void dkAttrDef::setPrecision(long precision) { precision_ = precision; }
long dkAttrDef::getScale() { return scale_; }
void dkAttrDef::setScale(long scale) { scale_ = scale; }
long dkAttrDef::getMax() { return max_; }
void dkAttrDef::setMax(long maximum) { max_ = maximum; }
long dkAttrDef::getMin() { return min_; }
void dkAttrDef::setMin(long minimum) { min_ = minimum; }
long dkAttrDef::getStringType() { return stringType_; }
void dkAttrDef::setStringType(long stringType) { stringType_ = stringType; }
int dkAttrDef::isUpdatable() { return updatable_; }
void dkAttrDef::setUpdatable(int updatable) { updatable_ = updatable; }
int dkAttrDef::isQueryable() { return queryable_; }
void dkAttrDef::setQueryable(int queryable) { queryable_ = queryable; }

// The message names keep the leading blank that connectors' logs have always shown.
void dkAttrDef::add() {
    dkThrow<DKUsageError>(341, kSource, "dkAttrDef::add", DKString(" dkAttrDef::add()"));
}

void dkAttrDef::del() {
    dkThrow<DKUsageError>(341, kSource, "dkAttrDef::del", DKString(" dkAttrDef::del()"));
}

int dkAttrDef::isTextSearchable() { return textSearchable_; }
void dkAttrDef::setTextSearchable(int textSearchable) { textSearchable_ = textSearchable; }

DKString dkAttrDef::getQualifiedName() {
    return getName();
}

void dkAttrDef::setQualifiedName(const char* qualifiedName) {
    setName(qualifiedName);
}

DKString* dkAttrDef::parsedQualifiedName(const char* qualifiedName, long& count) {
    DKString* parts = new DKString[1];
    parts[0] = qualifiedName;
    count = 1;
    return parts;
}

DKAttrMapDef::DKAttrMapDef() : dkAttrDef(nullptr) {}

DKAttrMapDef::~DKAttrMapDef() = default;

DKString DKAttrMapDef::datastoreName() const {
    return datastoreName_;
}

DKString DKAttrMapDef::datastoreType() const {
    return datastoreType_;
}
