// src/dk/common/datastore/dkService.cpp
//
// The base of the services that live beside a repository. It keeps the names that make up the
// service id; connecting and extensions are left to concrete services and rejected here.

#include <dk/dkService.hpp>

#include <dk/dkThrow.hpp>

namespace {

constexpr const char* kSource = "dk/common/dkService";

[[noreturn]] void reject(const char* name, unsigned long line = __builtin_LINE()) {
    dkThrow<DKUsageError>(341, kSource, name, DKString(name), line);
}

}  // namespace

dkService::dkService() = default;

dkService::dkService(const char* serviceType, const char* serviceName)
    : serviceName_(serviceName), serviceType_(serviceType) {}

dkService::~dkService() = default;

void dkService::connect(const char*, const char*, const char*, const char*) { reject("dkService::connect"); }
void dkService::disconnect() { reject("dkService::disconnect"); }

int dkService::isConnected() {
    return 0;
}

DKString dkService::serviceName() const {
    return serviceName_;
}

DKString dkService::serviceType() const {
    return serviceType_;
}

DKString dkService::serviceId() const {
    return serviceCategory() + ":" + serviceType() + ":" + serviceName();
}

DKString dkService::serviceCategory() const {
    return DKString();
}

DKString dkService::userName() const {
    return userName_;
}

DKHandle* dkService::connection() { reject("dkService::connection"); }
dkExtension* dkService::getExtension(const char*) { reject("dkService::getExtension"); }
void dkService::addExtension(const char*, dkExtension*) { reject("dkService::addExtension"); }
void dkService::removeExtension(const char*) { reject("dkService::removeExtension"); }
DKString* dkService::listExtensionNames(long&) { reject("dkService::listExtensionNames"); }

void dkService::setServiceName(const char* serviceName) {
    serviceName_ = serviceName;
}

void dkService::setUserName(const char* userName) {
    userName_ = userName;
}
