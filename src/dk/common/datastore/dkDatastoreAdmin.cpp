// src/dk/common/datastore/dkDatastoreAdmin.cpp
//
// The base of a datastore's administration entry point: it keeps the datastore and rejects
// every administration interface until a connector provides it.

#include <dk/dkDatastoreDef.hpp>

#include <dk/dkThrow.hpp>

namespace {

constexpr const char* kSource = "dk/common/dkDatastoreAdmin";

[[noreturn]] void reject(const char* name, unsigned long line = __builtin_LINE()) {
    dkThrow<DKUsageError>(341, kSource, name, DKString(name), line);
}

}  // namespace

dkDatastoreAdmin::dkDatastoreAdmin() : datastore_(nullptr) {}

dkDatastoreAdmin::~dkDatastoreAdmin() = default;

dkDatastore* dkDatastoreAdmin::getDatastore() {
    return datastore_;
}

void dkDatastoreAdmin::setDatastore(dkDatastore* datastore) {
    datastore_ = datastore;
}

dkAccessControl* dkDatastoreAdmin::accessControl() { reject("dkDatastoreAdmin::accessControl"); }
dkAuthorizationMgmt* dkDatastoreAdmin::authorizationMgmt() { reject("dkDatastoreAdmin::authorizationMgmt"); }
dkConfigurationMgmt* dkDatastoreAdmin::configurationManagement() { reject("dkDatastoreAdmin::configurationManagement"); }
dkUserManagement* dkDatastoreAdmin::userManagement() { reject("dkDatastoreAdmin::userManagement"); }
dkWorkFlowMgmt* dkDatastoreAdmin::workFlowManagement() { reject("dkDatastoreAdmin::workFlowManagement"); }
void dkDatastoreAdmin::clearCache() { reject("dkDatastoreAdmin::clearCache"); }
