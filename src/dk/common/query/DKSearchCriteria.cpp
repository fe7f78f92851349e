// src/dk/common/query/DKSearchCriteria.cpp
//
// One criterion of a search template and the predefined value lists offered for an attribute.
// Every check runs before any field changes, so a rejected call leaves the criterion as it was.

#include <dk/dkSearchTemplate.hpp>

#include <dk/DKException.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/PVector.hpp>
#include <dk/dkThrow.hpp>

#include "dk/common/query/dkQueryLists.hpp"

#include <memory>

namespace {
constexpr const char* kSource = "dk/common/DKSearchCriteria";

void require(bool valid, const char* function, unsigned long line = __builtin_LINE()) {
    if (!valid) dkThrow<DKUsageError>(303, kSource, function, DKString(), line);
}

// Calls f on the pointer held by every element of a collection.
template <class F>
void eachHeld(const dkCollection& c, F f) {
    std::unique_ptr<dkIterator> it(c.createIterator());
    while (it->more()) f(it->next()->value());
}

DKSequentialCollection* copyEntries(const dkCollection& c) {
    auto copy = std::make_unique<DKSequentialCollection>();
    eachHeld(c, [&copy](void* p) { copy->addElement(DKAny(p)); });
    return copy.release();
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// DKPredefinedValues

DKPredefinedValues::DKPredefinedValues() : serverId_(0), pairs_(nullptr) {}

DKPredefinedValues::DKPredefinedValues(const char* entityName, const char* attrName)
    : entityName_(entityName), attrName_(attrName), serverId_(0), pairs_(nullptr) {}

DKPredefinedValues::~DKPredefinedValues() { dkq::pairsFree(pairs_); }

DKString DKPredefinedValues::getEntityName() const { return entityName_; }
void DKPredefinedValues::setEntityName(const char* name) { entityName_ = name; }
DKString DKPredefinedValues::getAttrName() const { return attrName_; }
void DKPredefinedValues::setAttrName(const char* name) { attrName_ = name; }
DKString DKPredefinedValues::getServerName() const { return serverName_; }
void DKPredefinedValues::setServerName(const char* name) { serverName_ = name; }
int DKPredefinedValues::getServerId() const { return serverId_; }
void DKPredefinedValues::setServerId(int id) { serverId_ = id; }
long DKPredefinedValues::valuePairCount() const { return dkq::pairCount(pairs_); }

void DKPredefinedValues::addValuePair(const char* name, const char* value) {
    if (pairs_ == nullptr) pairs_ = new PVector(10);
    auto pair = std::make_unique<DKNVPair>(name, DKAny(value));
    pairs_->addLast(pair.get());
    pair.release();
}

void DKPredefinedValues::removeValuePair(const char* name, const char* value) {
    const DKString wantedName(name), wantedValue(value);
    for (long i = valuePairCount() - 1; i >= 0; --i) {
        auto* pair = static_cast<DKNVPair*>((*pairs_)[static_cast<unsigned long>(i)]);
        if (pair->getName() == wantedName && pair->getValue().toString() == wantedValue) {
            dkq::pairRemove(pairs_, i);
            return;
        }
    }
}

dkCollection* DKPredefinedValues::getValuePairs() const {
    auto c = std::make_unique<DKSequentialCollection>();
    for (long i = 0; i < valuePairCount(); ++i) c->addElement(DKAny((*pairs_)[static_cast<unsigned long>(i)]));
    return c.release();
}

// ---------------------------------------------------------------------------------------------
// DKSearchCriteria

DKSearchCriteria::DKSearchCriteria()
    : id_(0), entityId_(0), attrId_(0), displayPosition_(0), displayWidth_(0), criteriaPosition_(0), operator_(0),
      defaultOperator_(1), queryable_(1), displayable_(1), type_(1), valueSet_(0), dataType_(1) {}

DKSearchCriteria::DKSearchCriteria(const char* entityName, const char* attrName) : DKSearchCriteria() {
    entityName_ = entityName;
    attrName_ = attrName;
    require(entityName != nullptr && attrName != nullptr, "DKSearchCriteria::DKSearchCriteria");
}

DKSearchCriteria::~DKSearchCriteria() { removePredefinedValues(); }

DKString DKSearchCriteria::getName() const { return name_; }
void DKSearchCriteria::setName(const char* name) { name_ = name; }
DKString DKSearchCriteria::getDisplayName() const { return displayName_; }

void DKSearchCriteria::setDisplayName(const char* name) {
    require(name != nullptr, "DKSearchCriteria::setDisplayName");
    displayName_ = name;
}

short DKSearchCriteria::getId() const { return static_cast<short>(id_); }
void DKSearchCriteria::setId(short id) { id_ = id; }
long DKSearchCriteria::getIntId() const { return id_; }
void DKSearchCriteria::setIntId(long id) { id_ = id; }
DKString DKSearchCriteria::getEntityName() const { return entityName_; }
void DKSearchCriteria::setEntityName(const char* name) { entityName_ = name; }
DKString DKSearchCriteria::getAssociatedEntityName() const { return associatedEntityName_; }
void DKSearchCriteria::setAssociatedEntityName(const char* name) { associatedEntityName_ = name; }
DKString DKSearchCriteria::getAttrName() const { return attrName_; }
void DKSearchCriteria::setAttrName(const char* name) { attrName_ = name; }
short DKSearchCriteria::getDefaultOperator() const { return defaultOperator_; }
void DKSearchCriteria::setDefaultOperator(short op) { defaultOperator_ = op; }
short DKSearchCriteria::getOperator() const { return operator_; }
void DKSearchCriteria::setOperator(short op) { operator_ = op; }
short DKSearchCriteria::getDisplayPosition() const { return displayPosition_; }
void DKSearchCriteria::setDisplayPosition(short position) { displayPosition_ = position; }
short DKSearchCriteria::getDisplayWidth() const { return displayWidth_; }
void DKSearchCriteria::setDisplayWidth(short width) { displayWidth_ = width; }
short DKSearchCriteria::getCriteriaPosition() const { return criteriaPosition_; }
void DKSearchCriteria::setCriteriaPosition(short position) { criteriaPosition_ = position; }
int DKSearchCriteria::isDisplayable() const { return displayable_; }
void DKSearchCriteria::setDisplayable(int displayable) { displayable_ = displayable; }
int DKSearchCriteria::isQueryable() const { return queryable_; }
void DKSearchCriteria::setQueryable(int queryable) { queryable_ = queryable; }
short DKSearchCriteria::getType() const { return type_; }
void DKSearchCriteria::setType(short type) { type_ = type; }
short DKSearchCriteria::getAttrId() const { return static_cast<short>(attrId_); }
void DKSearchCriteria::setAttrId(short id) { attrId_ = id; }
long DKSearchCriteria::getAttrIntId() const { return attrId_; }
void DKSearchCriteria::setAttrIntId(long id) { attrId_ = id; }
short DKSearchCriteria::getEntityId() const { return static_cast<short>(entityId_); }
void DKSearchCriteria::setEntityId(short id) { entityId_ = id; }
long DKSearchCriteria::getEntityIntId() const { return entityId_; }
void DKSearchCriteria::setEntityIntId(long id) { entityId_ = id; }
short DKSearchCriteria::getDataType() const { return dataType_; }
void DKSearchCriteria::setDataType(short type) { dataType_ = type; }

void DKSearchCriteria::setValidOperators(const short* ops, long count) {
    require(ops != nullptr && count >= 0, "DKSearchCriteria::setValidOperators");
    validOperators_.assign(ops, ops + count);
}

short* DKSearchCriteria::getValidOperators(long& count) const {
    count = 0;
    if (validOperators_.empty()) return nullptr;
    auto* copy = new short[validOperators_.size()];
    std::copy(validOperators_.begin(), validOperators_.end(), copy);
    count = static_cast<long>(validOperators_.size());
    return copy;
}

void DKSearchCriteria::setDefaultValues(const DKString* values, long count) {
    require(values != nullptr && count >= 0, "DKSearchCriteria::setDefaultValues");
    dkq::assignStrings(defaultValues_, values, count);
}

DKString* DKSearchCriteria::getDefaultValues(long& count) const { return dkq::copyStrings(defaultValues_, count); }

void DKSearchCriteria::setValue(const char* value) {
    require(value != nullptr, "DKSearchCriteria::setValue");
    std::vector<DKString> one(1, DKString(value));
    values_.swap(one);
    valueSet_ = 1;
}

void DKSearchCriteria::setValues(const DKString* values, long count) {
    require(values != nullptr && count > 0, "DKSearchCriteria::setValues");
    dkq::assignStrings(values_, values, count);
    valueSet_ = 1;
}

DKString DKSearchCriteria::getValue() const { return values_.empty() ? DKString() : values_.front(); }
DKString* DKSearchCriteria::getValues(long& count) const { return dkq::copyStrings(values_, count); }
int DKSearchCriteria::hasMultiValues() const { return values_.size() > 1 ? 1 : 0; }
int DKSearchCriteria::isSet() const { return operator_ != 0 && valueSet_ == 1 ? 1 : 0; }

int DKSearchCriteria::isQuoteNeeded() const {
    switch (dataType_) {
        case 1: case 2: case 7: case 8: case 9: return 1;
        default: return 0;
    }
}

void DKSearchCriteria::addPredefinedValues(DKPredefinedValues* pv) {
    require(pv != nullptr && pv->getEntityName().length() > 0 && pv->getAttrName().length() > 0 &&
                pv->valuePairCount() > 0,
            "DKSearchCriteria::addPredefinedValues");
    predefinedValues_.addElement(DKAny(static_cast<void*>(pv)));
}

dkCollection* DKSearchCriteria::getPredefinedValues() const { return copyEntries(predefinedValues_); }
DKSequentialCollection* DKSearchCriteria::getPredefinedValuesI() { return &predefinedValues_; }

void DKSearchCriteria::removePredefinedValues() {
    eachHeld(predefinedValues_, [](void* p) { delete static_cast<DKPredefinedValues*>(p); });
    predefinedValues_.removeAllElements();
}
