// src/dk/common/query/dkSearchTemplate.cpp
//
// The base of the connectors' search templates: the name, description, id and entity it keeps,
// and the rejection (341) of every slot a connector leaves out, so that a template class needs
// only createCQExpr to be run by a datastore. Also the two calls through which the datastore's
// search-template forms, which sit below the query model, build and delete a template's expression.

#include <dk/dkSearchTemplate.hpp>

#include <dk/DKException.hpp>
#include <dk/DKQExpr.hpp>
#include <dk/dkThrow.hpp>

#include "dk/common/datastore/dkTemplateAccess.hpp"

namespace {
constexpr const char* kSource = "dk/common/dkSearchTemplate";

[[noreturn]] void reject(const char* operation, unsigned long line = __builtin_LINE()) {
    dkThrow<DKUsageError>(341, kSource, operation, DKString(operation), line);
}
}  // namespace

DKCQExpr* dkCreateTemplateExpr(dkSearchTemplate& searchTemplate) { return searchTemplate.createCQExpr(); }
void dkDeleteTemplateExpr(DKCQExpr* expression) { delete expression; }

dkSearchTemplate::dkSearchTemplate() : id_(0), datastore_(nullptr) {}
dkSearchTemplate::dkSearchTemplate(dkDatastore* datastore) : id_(0), datastore_(datastore) {}
dkSearchTemplate::~dkSearchTemplate() = default;

short dkSearchTemplate::getId() const { return id_; }
void dkSearchTemplate::setId(short id) { id_ = id; }
dkDatastore* dkSearchTemplate::getDatastore() const { return datastore_; }
void dkSearchTemplate::setDatastore(dkDatastore* datastore) { datastore_ = datastore; }

long dkSearchTemplate::numberOfCriteria() { reject("dkSearchTemplate::numberOfCriteria"); }
dkCollection* dkSearchTemplate::listCriteria() { reject("dkSearchTemplate::listCriteria"); }
DKString* dkSearchTemplate::listCriteriaNames(long&) { reject("dkSearchTemplate::listCriteriaNames"); }
DKSearchCriteria* dkSearchTemplate::getCriteria(const char*) { reject("dkSearchTemplate::getCriteria"); }
void dkSearchTemplate::addCriteria(DKSearchCriteria*) { reject("dkSearchTemplate::addCriteria"); }
void dkSearchTemplate::removeCriteria(const char*) { reject("dkSearchTemplate::removeCriteria"); }
DKString* dkSearchTemplate::getDisplayAttrNames(long&) { reject("dkSearchTemplate::getDisplayAttrNames"); }
void dkSearchTemplate::setDisplayAttrNames(const DKString*, long) { reject("dkSearchTemplate::setDisplayAttrNames"); }
long dkSearchTemplate::getMaxResults() { reject("dkSearchTemplate::getMaxResults"); }
void dkSearchTemplate::setMaxResults(long) { reject("dkSearchTemplate::setMaxResults"); }
void dkSearchTemplate::setOperator(const char*, short) { reject("dkSearchTemplate::setOperator"); }
short dkSearchTemplate::getOperator(const char*) { reject("dkSearchTemplate::getOperator"); }
void dkSearchTemplate::setValue(const char*, const char*) { reject("dkSearchTemplate::setValue"); }
void dkSearchTemplate::setValues(const char*, const DKString*, long) { reject("dkSearchTemplate::setValues"); }
DKString* dkSearchTemplate::getValues(const char*, long&) { reject("dkSearchTemplate::getValues"); }
void dkSearchTemplate::clearValues(const char*) { reject("dkSearchTemplate::clearValues"); }
void dkSearchTemplate::clearAllValues() { reject("dkSearchTemplate::clearAllValues"); }
int dkSearchTemplate::isComplete() { reject("dkSearchTemplate::isComplete"); }
void dkSearchTemplate::retrieve() { reject("dkSearchTemplate::retrieve"); }
void dkSearchTemplate::add() { reject("dkSearchTemplate::add"); }
void dkSearchTemplate::update() { reject("dkSearchTemplate::update"); }
void dkSearchTemplate::del() { reject("dkSearchTemplate::del"); }
int dkSearchTemplate::exists() { reject("dkSearchTemplate::exists"); }
DKString dkSearchTemplate::getOwner() { reject("dkSearchTemplate::getOwner"); }
void dkSearchTemplate::setOwner(const char*) { reject("dkSearchTemplate::setOwner"); }
void dkSearchTemplate::clearCache() { reject("dkSearchTemplate::clearCache()"); }

DKString dkSearchTemplate::getName() const { return name_; }
void dkSearchTemplate::setName(const char* name) { name_ = name; }
DKString dkSearchTemplate::getDescription() const { return description_; }
void dkSearchTemplate::setDescription(const char* description) { description_ = description; }
DKString dkSearchTemplate::getEntityName() const { return entityName_; }
void dkSearchTemplate::setEntityName(const char* name) { entityName_ = name; }
