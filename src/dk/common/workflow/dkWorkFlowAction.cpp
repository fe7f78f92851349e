// src/dk/common/workflow/dkWorkFlowAction.cpp
//
// The base of workflow actions: the fields of an action, its icon in memory and in files, and
// the rejection of every repository operation, which a connector overrides. Also the
// destructor of the checkable-object root.

#include <dk/dkWorkFlowAction.hpp>

#include <dk/dkThrow.hpp>

#include "dk/common/workflow/dkWorkFlowData.hpp"

#include <algorithm>

namespace {

constexpr const char* kSource = "dk/common/dkWorkFlowAction";

[[noreturn]] void reject(const char* name, unsigned long line = __builtin_LINE()) {
    dkThrow<DKUsageError>(341, kSource, name, DKString(name), line);
}

}  // namespace

dkCheckableObject::~dkCheckableObject() = default;

dkWorkFlowAction::dkWorkFlowAction() : dkWorkFlowAction(nullptr) {}

dkWorkFlowAction::dkWorkFlowAction(dkDatastore* datastore) : datastore_(datastore) {}

dkWorkFlowAction::dkWorkFlowAction(dkDatastore* datastore, const char* name, const char* description)
    : description_(description), name_(name), datastore_(datastore) {}

dkWorkFlowAction::~dkWorkFlowAction() = default;

void dkWorkFlowAction::checkin() { reject("dkWorkFlowAction::checkin"); }
void dkWorkFlowAction::checkout() { reject("dkWorkFlowAction::checkout"); }
void dkWorkFlowAction::unlockCheckedOut() { reject("dkWorkFlowAction::unlockCheckedOut"); }
DKString dkWorkFlowAction::getCheckedOutUserid() { reject("dkWorkFlowAction::getCheckedOutUserid"); }

DKString dkWorkFlowAction::getItemId() { return itemId_; }
void dkWorkFlowAction::setItemId(const char* itemId) { itemId_ = itemId; }
DKString dkWorkFlowAction::getCompId() { return compId_; }
void dkWorkFlowAction::setCompId(const char* compId) { compId_ = compId; }

void dkWorkFlowAction::setIconDataFromFile(const char* fileName) {
    const std::string bytes =
        dkWorkFlowReadFile(fileName, "rb", kSource, "dkWorkFlowAction::setIconDataFromFile");
    const long size = static_cast<long>(bytes.size());
    if (size != 0) iconData_.assign(bytes.data(), size);
    iconDataLen_ = size;
}

void dkWorkFlowAction::getIconDataToFile(const char* fileName) const {
    const long present = std::min(iconDataLen_, iconData_.size());
    dkWorkFlowWriteFile(fileName, "wb+", iconData_.get(), static_cast<std::size_t>(present),
                        static_cast<std::size_t>(iconDataLen_), kSource,
                        "dkWorkFlowAction::getIconDataToFile");
}

void dkWorkFlowAction::setIconDataLen(long length) {
    if (length < 0) dkThrow<DKUsageError>(303, kSource, "dkWorkFlowAction::setIconDataLen");
    iconDataLen_ = length;
}

long dkWorkFlowAction::getIconDataLen() { return iconDataLen_; }

const char* dkWorkFlowAction::getIconData() { return iconData_.get(); }

void dkWorkFlowAction::setIconData(const char* data) {
    if (data == nullptr)
        iconData_.reset();
    else
        iconData_.assign(data, iconDataLen_);
}

long dkWorkFlowAction::getWFUserExitFlag() { return wfUserExitFlag_; }
void dkWorkFlowAction::setWFUserExitFlag(long flag) { wfUserExitFlag_ = flag; }
DKString dkWorkFlowAction::getWFUserExitClassName() { return wfUserExitClassName_; }
void dkWorkFlowAction::setWFUserExitClassName(const char* className) { wfUserExitClassName_ = className; }
DKString dkWorkFlowAction::getWFUserExitFunction() { return wfUserExitFunction_; }
void dkWorkFlowAction::setWFUserExitFunction(const char* function) { wfUserExitFunction_ = function; }
DKString dkWorkFlowAction::getWFUserExitDLL() { return wfUserExitDLL_; }
void dkWorkFlowAction::setWFUserExitDLL(const char* library) { wfUserExitDLL_ = library; }
DKString dkWorkFlowAction::getCommand() { return command_; }
void dkWorkFlowAction::setCommand(const char* command) { command_ = command; }
DKString dkWorkFlowAction::getWFUserExitURL() { return wfUserExitURL_; }
void dkWorkFlowAction::setWFUserExitURL(const char* url) { wfUserExitURL_ = url; }
DKString dkWorkFlowAction::getPrompt() { return prompt_; }
void dkWorkFlowAction::setPrompt(const char* prompt) { prompt_ = prompt; }
DKString dkWorkFlowAction::getShortcut() { return shortcut_; }
void dkWorkFlowAction::setShortcut(const char* shortcut) { shortcut_ = shortcut; }

DKString dkWorkFlowAction::getAction() { reject("dkWorkFlowAction::getAction"); }
void dkWorkFlowAction::setAction(const char*) { reject("dkWorkFlowAction::setAction"); }

int dkWorkFlowAction::isPredefined() { return predefined_; }
void dkWorkFlowAction::setPredefined(int predefined) { predefined_ = predefined; }

void dkWorkFlowAction::add() { reject("dkWorkFlowAction::add"); }
void dkWorkFlowAction::del() { reject("dkWorkFlowAction::del"); }
void dkWorkFlowAction::update() { reject("dkWorkFlowAction::update"); }
void dkWorkFlowAction::retrieve() { reject("dkWorkFlowAction::retrieve"); }

DKString dkWorkFlowAction::getDescription() { return description_; }
DKString dkWorkFlowAction::getName() { return name_; }
void dkWorkFlowAction::setDescription(const char* description) { description_ = description; }
void dkWorkFlowAction::setName(const char* name) { name_ = name; }
void dkWorkFlowAction::setDatastore(dkDatastore* datastore) { datastore_ = datastore; }
dkDatastore* dkWorkFlowAction::getDatastore() { return datastore_; }
