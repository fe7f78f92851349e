// src/dk/common/datastore/dkDatastoreExt.cpp
//
// The base of the datastore extension. It keeps the datastore it works for and rejects every
// repository operation with 341; three message names carry their parameters and one keeps its
// historical spelling, while the locations always name the operation itself.

#include <dk/dkDatastoreExt.hpp>

#include <dk/dkThrow.hpp>

namespace {

constexpr const char* kSource = "dk/common/dkDatastoreExt";

[[noreturn]] void reject(const char* messageName, const char* locationName,
                         unsigned long line = __builtin_LINE()) {
    dkThrow<DKUsageError>(341, kSource, locationName, DKString(messageName), line);
}

[[noreturn]] void reject(const char* name, unsigned long line = __builtin_LINE()) {
    reject(name, name, line);
}

}  // namespace

dkDatastoreExt::dkDatastoreExt() : datastore_(nullptr) {}
dkDatastoreExt::dkDatastoreExt(const dkDatastoreExt& other) = default;
dkDatastoreExt& dkDatastoreExt::operator=(const dkDatastoreExt& other) = default;
dkDatastoreExt::~dkDatastoreExt() = default;

dkDatastore* dkDatastoreExt::getDatastore() {
    return datastore_;
}

void dkDatastoreExt::setDatastore(dkDatastore* datastore) {
    datastore_ = datastore;
}

int dkDatastoreExt::isSupported(const char*) {
    return 0;
}

DKString* dkDatastoreExt::listFunctions(long&) {
    return nullptr;
}

void dkDatastoreExt::addToFolder(dkDataObject*, dkDataObject*) { reject("dkDatastoreExt::addToFolder"); }
void dkDatastoreExt::removeFromFolder(dkDataObject*, dkDataObject*) { reject("dkDatastoreExt::removeFromFolder"); }
void dkDatastoreExt::addChild(dkDataObject*, dkDataObject*) { reject("dkDatastoreExt::addChild"); }
void dkDatastoreExt::removeChild(dkDataObject*, dkDataObject*) { reject("dkDatastoreExt::removeChild"); }
void dkDatastoreExt::addLink(DKLink*) { reject("dkDatastoreExt::addLink"); }
void dkDatastoreExt::removeLink(DKLink*) { reject("dkDatastoreExt::removeLink"); }
void dkDatastoreExt::removeLinks(dkCollection*) { reject("dkDatastoreExt::removeLinks"); }
int dkDatastoreExt::isCheckedOut(dkDataObject*) { reject("dkDatastoreExt::isCheckedOut"); }
DKString dkDatastoreExt::checkedOutUserid(dkDataObject*) { reject("dkDatastoreExt::checkedOutUserid"); }
void dkDatastoreExt::unlockCheckedOut(dkDataObject*) { reject("dkDatastoreExt::unlockCheckedOut"); }
void dkDatastoreExt::checkOut(dkDataObject*) { reject("dkDatastoreExt::checkOut"); }
void dkDatastoreExt::checkIn(dkDataObject*) { reject("dkDatastoreExt::checkIn"); }

DKCommonPrivilege* dkDatastoreExt::getCommonPrivilege(dkDataObject*) {
    reject("dkDatastoreExt::getCommonPrivilege(dkDataObject)", "dkDatastoreExt::getCommonPrivilege");
}

DKCommonPrivilege* dkDatastoreExt::getCommonPrivilege() { reject("dkDatastoreExt::getCommonPrivilege"); }

DKCommonPrivilege* dkDatastoreExt::getCommonItemPrivilege(dkDataObject*) {
    reject("dkDatastoreExt::getCommonItemPrivilege(dkDataObject)", "dkDatastoreExt::getCommonItemPrivilege");
}

dkXDO* dkDatastoreExt::retrieveFormOverlay(const char*) {
    reject("dkDatastoreExt::retrieveFromOverlay", "dkDatastoreExt::retrieveFormOverlay");
}

void dkDatastoreExt::moveObject(dkDataObject*, dkDataObject*, long) {
    reject("dkDatastoreExt::moveObject(dkDataObject,dkDataObject,long)", "dkDatastoreExt::moveObject");
}

void dkDatastoreExt::moveObject(dkDataObject*, const char*) { reject("dkDatastoreExt::moveObject"); }
void dkDatastoreExt::changePassword(const char*, const char*, const char*) { reject("dkDatastoreExt::changePassword"); }
void dkDatastoreExt::addPart(dkDataObject*, dkXDO*) { reject("dkDatastoreExt::addPart"); }
void dkDatastoreExt::removePart(dkDataObject*, dkXDO*) { reject("dkDatastoreExt::removePart"); }
