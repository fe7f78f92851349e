// src/dk/common/datastore/dkServiceMgr.cpp
//
// The registry of services a datastore hands out: services kept by id in a keyed collection, so
// every list comes back in ascending id order. The registry only points at the services.

#include <dk/dkService.hpp>

#include <dk/dkThrow.hpp>

#include <vector>

namespace {

constexpr const char* kSource = "dk/common/dkServiceMgr";

// The id as the keyed collection holds it: a null text is the empty id.
DKString idOf(const char* serviceId) {
    return DKString(serviceId);
}

}  // namespace

dkServiceMgr::dkServiceMgr() = default;

dkServiceMgr::~dkServiceMgr() = default;

DKString dkServiceMgr::registerService(dkService* service) {
    if (service == nullptr) dkThrow<DKUsageError>(303, kSource, "dkServiceMgr::registerService");
    const DKString id = service->serviceId();
    if (services_.containsKey(id)) dkThrow<DKUsageError>(541, kSource, "dkServiceMgr::registerService", id);
    services_.add(id, service);
    return id;
}

void dkServiceMgr::unregisterService(const char* serviceId) {
    const DKString id = idOf(serviceId);
    if (!services_.containsKey(id)) dkThrow<DKUsageError>(542, kSource, "dkServiceMgr::unregisterService", id);
    services_.removeElementWithKey(id);
}

dkService* dkServiceMgr::getService(const char* serviceId) {
    const DKString id = idOf(serviceId);
    if (!services_.containsKey(id)) dkThrow<DKUsageError>(542, kSource, "dkServiceMgr::getService", id);
    return static_cast<dkService*>(services_.elementWithKey(id));
}

DKString* dkServiceMgr::listIds(DKString (dkService::*getter)() const, const char* value, long& count) {
    const DKString wanted(value);
    std::vector<DKString> ids;
    PKeyStringCollection::Cursor cursor(&services_);
    for (int valid = cursor.setToFirst(); valid; valid = cursor.setToNext()) {
        KeyObjectString* entry = cursor.element();
        const dkService* service = static_cast<const dkService*>(entry->getObj());
        if (getter == nullptr || (service->*getter)() == wanted) ids.push_back(entry->getKey());
    }
    count = static_cast<long>(ids.size());
    if (ids.empty()) return nullptr;
    DKString* result = new DKString[ids.size()];
    for (std::size_t i = 0; i < ids.size(); ++i) result[i] = ids[i];
    return result;
}

DKString* dkServiceMgr::listServiceIds(long& count) {
    return listIds(nullptr, nullptr, count);
}

DKString* dkServiceMgr::listServiceIdsByCategory(const char* category, long& count) {
    return listIds(&dkService::serviceCategory, category, count);
}

DKString* dkServiceMgr::listServiceIdsByType(const char* type, long& count) {
    return listIds(&dkService::serviceType, type, count);
}

DKString* dkServiceMgr::listServiceIdsByServer(const char* serverName, long& count) {
    return listIds(&dkService::serviceName, serverName, count);
}

DKServiceMgrImp::DKServiceMgrImp() = default;

DKServiceMgrImp::~DKServiceMgrImp() = default;
