// src/dk/common/workflow/dkWorkFlowDiagram.cpp
//
// The base of workflow diagrams: the fields of a diagram and its text in memory and in files.
// The text is kept as a C string, so it ends at its first zero byte wherever it came from. Every
// repository operation rejects until a connector overrides it.

#include <dk/dkWorkFlowAction.hpp>

#include <dk/dkThrow.hpp>

#include "dk/common/workflow/dkWorkFlowData.hpp"

#include <cstring>

namespace {

constexpr const char* kSource = "dk/common/dkWorkFlowDiagram";

[[noreturn]] void reject(const char* name, unsigned long line = __builtin_LINE()) {
    dkThrow<DKUsageError>(341, kSource, name, DKString(name), line);
}

}  // namespace

dkWorkFlowDiagram::dkWorkFlowDiagram() : dkWorkFlowDiagram(nullptr) {}

dkWorkFlowDiagram::dkWorkFlowDiagram(dkDatastore* datastore) : datastore_(datastore) {}

dkWorkFlowDiagram::dkWorkFlowDiagram(dkDatastore* datastore, const char* name,
                                     const char* description)
    : datastore_(datastore), description_(description), name_(name) {}

dkWorkFlowDiagram::~dkWorkFlowDiagram() = default;

void dkWorkFlowDiagram::checkin() { reject("dkWorkFlowDiagram::checkin"); }
void dkWorkFlowDiagram::checkout() { reject("dkWorkFlowDiagram::checkout"); }
void dkWorkFlowDiagram::unlockCheckedOut() { reject("dkWorkFlowDiagram::unlockCheckedOut"); }
DKString dkWorkFlowDiagram::getCheckedOutUserid() { reject("dkWorkFlowDiagram::getCheckedOutUserid"); }

DKString dkWorkFlowDiagram::getItemId() { return itemId_; }
void dkWorkFlowDiagram::setItemId(const char* itemId) { itemId_ = itemId; }
DKString dkWorkFlowDiagram::getCompId() { return compId_; }
void dkWorkFlowDiagram::setCompId(const char* compId) { compId_ = compId; }
DKString dkWorkFlowDiagram::getACLName() { return aclName_; }
void dkWorkFlowDiagram::setACLName(const char* aclName) { aclName_ = aclName; }

DKString dkWorkFlowDiagram::getData() const {
    return DKString(data_.get());
}

void dkWorkFlowDiagram::setData(const char* data) {
    const std::size_t length = data == nullptr ? 0 : std::strlen(data);
    if (length == 0)
        data_.reset();
    else
        data_.assign(data, static_cast<long>(length));
}

void dkWorkFlowDiagram::getDataToFile(const char* fileName) const {
    const std::size_t length = static_cast<std::size_t>(data_.size());
    dkWorkFlowWriteFile(fileName, "w+", data_.get(), length, length, kSource,
                        "dkWorkFlowDiagram::getDataToFile");
}

void dkWorkFlowDiagram::setDataFromFile(const char* fileName) {
    setData(dkWorkFlowReadFile(fileName, "r", kSource, "dkWorkFlowDiagram::setDataFromFile").c_str());
}

void dkWorkFlowDiagram::add() { reject("dkWorkFlowDiagram::add"); }
void dkWorkFlowDiagram::del() { reject("dkWorkFlowDiagram::del"); }
void dkWorkFlowDiagram::update() { reject("dkWorkFlowDiagram::update"); }
void dkWorkFlowDiagram::retrieve() { reject("dkWorkFlowDiagram::retrieve"); }

dkDatastore* dkWorkFlowDiagram::getDatastore() { return datastore_; }
void dkWorkFlowDiagram::setDatastore(dkDatastore* datastore) { datastore_ = datastore; }
DKString dkWorkFlowDiagram::getDescription() { return description_; }
void dkWorkFlowDiagram::setDescription(const char* description) { description_ = description; }
DKString dkWorkFlowDiagram::getName() { return name_; }
void dkWorkFlowDiagram::setName(const char* name) { name_ = name; }
