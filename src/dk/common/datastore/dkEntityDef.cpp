// src/dk/common/datastore/dkEntityDef.cpp
//
// The base of an entity (item type) description. It keeps the entity's own fields; reading and
// changing its attributes and sub-entities is the connector's and rejected here, each with the
// operation written out with its parameters in the message.

#include <dk/dkDatastoreDef.hpp>

#include <dk/dkDatastore.hpp>
#include <dk/dkThrow.hpp>

namespace {

constexpr const char* kSource = "dk/common/dkEntityDef";

[[noreturn]] void reject(const char* messageName, const char* locationName,
                         unsigned long line = __builtin_LINE()) {
    dkThrow<DKUsageError>(341, kSource, locationName, DKString(messageName), line);
}

}  // namespace

dkEntityDef::dkEntityDef() : dkEntityDef(nullptr) {}

dkEntityDef::dkEntityDef(dkDatastore* datastore)
    : datastore_(datastore), type_(0), id_(0), textSearchable_(0) {}

dkEntityDef::~dkEntityDef() = default;

DKString dkEntityDef::datastoreName() const {
    return datastore_ != nullptr ? datastore_->datastoreName() : DKString();
}

DKString dkEntityDef::datastoreType() const {
    return datastore_ != nullptr ? datastore_->datastoreType() : DKString();
}

short dkEntityDef::getId() {
    return id_;
}

void dkEntityDef::setId(short id) {
    id_ = id;
}

int dkEntityDef::hasSubEntities() {
    return 0;
}

dkEntityDef* dkEntityDef::createSubEntity() {
    reject("dkEntityDef::createSubEntity()", "dkEntityDef::createSubEntity");
}

dkEntityDef* dkEntityDef::getSubEntity(const char*) {
    reject("dkEntityDef::getSubEntity(const char* subEntityName)", "dkEntityDef::getSubEntity");
}

dkEntityDef* dkEntityDef::retrieveSubEntity(const char*) {
    reject("dkEntityDef::retrieveSubEntity(const char* subEntityName)", "dkEntityDef::retrieveSubEntity");
}

dkCollection* dkEntityDef::listSubEntities() {
    reject("dkEntityDef::listSubEntities()", "dkEntityDef::listSubEntities");
}

DKString* dkEntityDef::listSubEntityNames(long&) {
    reject("dkEntityDef::listSubEntityNames(long& arraySize)", "dkEntityDef::listSubEntityNames");
}

int dkEntityDef::isSearchable() {
    return 1;
}

void dkEntityDef::add(dkAttrDef*) { reject("dkEntityDef::add(dkAttrDef* attrDef)", "dkEntityDef::add"); }
void dkEntityDef::add() { reject("dkEntityDef::add()", "dkEntityDef::add"); }
void dkEntityDef::add(dkEntityDef*) { reject("dkEntityDef::add(dkEntityDef* subEntityDef)", "dkEntityDef::add"); }
void dkEntityDef::del(dkAttrDef*) { reject("dkEntityDef::del(dkAttrDef* attrDef)", "dkEntityDef::del"); }
void dkEntityDef::del() { reject("dkEntityDef::del()", "dkEntityDef::del"); }
void dkEntityDef::del(dkEntityDef*) { reject("dkEntityDef::del(dkEntityDef* subEntityDef)", "dkEntityDef::del"); }

void dkEntityDef::deleteSubEntity(const char*) {
    reject("dkEntityDef::deleteSubEntity(const char* subEntityName)", "dkEntityDef::deleteSubEntity");
}

void dkEntityDef::addSubEntity(dkEntityDef*) {
    reject("dkEntityDef::addSubEntity(dkEntityDef* subEntityDef)", "dkEntityDef::addSubEntity");
}

dkEntityDef* dkEntityDef::removeSubEntity(const char*) {
    reject("dkEntityDef::removeSubEntity(const char* subEntityName)", "dkEntityDef::removeSubEntity");
}

dkAttrDef* dkEntityDef::createAttr() { reject("dkEntityDef::createAttr()", "dkEntityDef::createAttr"); }

dkAttrDef* dkEntityDef::getAttr(const char*) {
    reject("dkEntityDef::getAttr(const char* attrName)", "dkEntityDef::getAttr");
}

dkAttrDef* dkEntityDef::retrieveAttr(const char*) {
    reject("dkEntityDef::retrieveAttr(const char* attrName)", "dkEntityDef::retrieveAttr");
}

dkCollection* dkEntityDef::listAttrs() { reject("dkEntityDef::listAttrs()", "dkEntityDef::listAttrs"); }

DKString* dkEntityDef::listAttrNames(long&) {
    reject("dkEntityDef::listAttrNames(long& arraySize)", "dkEntityDef::listAttrNames");
}

void dkEntityDef::deleteAttr(const char*) {
    reject("dkEntityDef::deleteAttr(const char* attrName)", "dkEntityDef::deleteAttr");
}

void dkEntityDef::addAttr(dkAttrDef*) { reject("dkEntityDef::addAttr(dkAttrDef* attrDef)", "dkEntityDef::addAttr"); }

dkAttrDef* dkEntityDef::removeAttr(const char*) {
    reject("dkEntityDef::removeAttr(const char* attrName)", "dkEntityDef::removeAttr");
}

DKString dkEntityDef::getParentEntityName() {
    return parentEntityName_;
}

void dkEntityDef::setParentEntityName(const char* parentEntityName) {
    parentEntityName_ = parentEntityName;
}

void dkEntityDef::clearCache() { reject("dkEntityDef::clearCache()", "dkEntityDef::clearCache"); }

int dkEntityDef::isTextSearchable() {
    return textSearchable_;
}

void dkEntityDef::setTextSearchable(int textSearchable) {
    textSearchable_ = textSearchable;
}
