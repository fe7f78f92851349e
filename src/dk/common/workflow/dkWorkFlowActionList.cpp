// src/dk/common/workflow/dkWorkFlowActionList.cpp
//
// The base of workflow action lists: names and ids only. The actions of a list live in the
// repository, so every operation on them, like every repository operation, rejects until a
// connector overrides it.

#include <dk/dkWorkFlowAction.hpp>

#include <dk/dkThrow.hpp>

namespace {

constexpr const char* kSource = "dk/common/dkWorkFlowActionList";

[[noreturn]] void reject(const char* name, unsigned long line = __builtin_LINE()) {
    dkThrow<DKUsageError>(341, kSource, name, DKString(name), line);
}

}  // namespace

dkWorkFlowActionList::dkWorkFlowActionList() : dkWorkFlowActionList(nullptr) {}

dkWorkFlowActionList::dkWorkFlowActionList(dkDatastore* datastore) : datastore_(datastore) {}

dkWorkFlowActionList::dkWorkFlowActionList(dkDatastore* datastore, const char* name,
                                           const char* description)
    : datastore_(datastore), name_(name), description_(description) {}

dkWorkFlowActionList::~dkWorkFlowActionList() = default;

void dkWorkFlowActionList::checkin() { reject("dkWorkFlowActionList::checkin"); }
void dkWorkFlowActionList::checkout() { reject("dkWorkFlowActionList::checkout"); }
void dkWorkFlowActionList::unlockCheckedOut() { reject("dkWorkFlowActionList::unlockCheckedOut"); }
DKString dkWorkFlowActionList::getCheckedOutUserid() { reject("dkWorkFlowActionList::getCheckedOutUserid"); }

DKString dkWorkFlowActionList::getItemId() { return itemId_; }
void dkWorkFlowActionList::setItemId(const char* itemId) { itemId_ = itemId; }
DKString dkWorkFlowActionList::getCompId() { return compId_; }
void dkWorkFlowActionList::setCompId(const char* compId) { compId_ = compId; }

dkCollection* dkWorkFlowActionList::getWorkFlowActions() { reject("dkWorkFlowActionList::getWorkFlowActions"); }
void dkWorkFlowActionList::addWorkFlowAction(dkWorkFlowAction*) { reject("dkWorkFlowActionList::addWorkFlowAction"); }
DKString* dkWorkFlowActionList::listWorkFlowActionNames(long&) { reject("dkWorkFlowActionList::listWorkFlowActionNames"); }
void dkWorkFlowActionList::removeAllWorkFlowActions() { reject("dkWorkFlowActionList::removeAllWorkFlowActions"); }
void dkWorkFlowActionList::removeWorkFlowAction(const char*) { reject("dkWorkFlowActionList::removeWorkFlowAction"); }
void dkWorkFlowActionList::setWorkFlowActions(dkCollection*) { reject("dkWorkFlowActionList::setWorkFlowActions"); }
void dkWorkFlowActionList::add() { reject("dkWorkFlowActionList::add"); }
void dkWorkFlowActionList::del() { reject("dkWorkFlowActionList::del"); }
void dkWorkFlowActionList::update() { reject("dkWorkFlowActionList::update"); }
void dkWorkFlowActionList::retrieve() { reject("dkWorkFlowActionList::retrieve"); }

void dkWorkFlowActionList::setDatastore(dkDatastore* datastore) { datastore_ = datastore; }
dkDatastore* dkWorkFlowActionList::getDatastore() { return datastore_; }
DKString dkWorkFlowActionList::getDescription() { return description_; }
DKString dkWorkFlowActionList::getName() { return name_; }
void dkWorkFlowActionList::setDescription(const char* description) { description_ = description; }
void dkWorkFlowActionList::setName(const char* name) { name_ = name; }
