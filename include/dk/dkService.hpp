// include/dk/dkService.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/PKeyStringCollection.hpp>
#include <dk/dkExport.hpp>

class DKHandle;
class dkExtension;

// A named, typed service a client connects to beside a repository (a search or media server).
// Its id is "category:type:name", each part taken through the virtual getters, so a subclass
// that answers a category changes its id. The base holds the names only: connecting and the
// extension operations throw DKUsageError 341 until a concrete service overrides them.
// Used by one thread at a time.
class DK_API dkService {
public:
    dkService(const char* serviceType, const char* serviceName);
    virtual ~dkService();

    // The meaning of the four texts is the concrete service's.
    virtual void connect(const char* serviceName, const char* userId, const char* password,
                         const char* connectString);
    virtual void disconnect();
    virtual int isConnected();   // 0 in the base
    virtual DKString serviceName() const;
    virtual DKString serviceType() const;
    virtual DKString serviceId() const;
    virtual DKString serviceCategory() const;   // empty in the base
    virtual DKString userName() const;
    virtual DKHandle* connection();
    virtual dkExtension* getExtension(const char* name);
    virtual void addExtension(const char* name, dkExtension* extension);
    virtual void removeExtension(const char* name);
    virtual DKString* listExtensionNames(long& count);
    virtual void setServiceName(const char* serviceName);
    virtual void setUserName(const char* userName);

protected:
    dkService();
    dkService(const dkService&) = delete;
    dkService& operator=(const dkService&) = delete;

private:
    DKString serviceName_;
    DKString serviceType_;
    DKString userName_;
};

// A registry of services keyed by their service id, walked in ascending id order (byte order).
// The registry never owns its services: unregistering one or destroying the registry leaves
// every service alive. An id is read once, at registration; a service whose id changes later is
// still found under the old one. Used by one thread at a time.
class DK_API dkServiceMgr {
public:
    dkServiceMgr();
    dkServiceMgr(const dkServiceMgr&) = delete;
    dkServiceMgr& operator=(const dkServiceMgr&) = delete;
    virtual ~dkServiceMgr();

    // Returns the id the service is kept under; DKUsageError 541 when that id is taken (the
    // registry is then unchanged) and 303 for a null service.
    virtual DKString registerService(dkService* service);
    // DKUsageError 542 when the id is not registered.
    virtual void unregisterService(const char* serviceId);
    virtual dkService* getService(const char* serviceId);
    // A new array of ids (delete[] it) and its length in count; null and 0 when there are none.
    virtual DKString* listServiceIds(long& count);
    virtual DKString* listServiceIdsByCategory(const char* category, long& count);
    virtual DKString* listServiceIdsByType(const char* type, long& count);
    virtual DKString* listServiceIdsByServer(const char* serverName, long& count);

private:
    // The ids of the services whose getter answers value (all services for a null getter).
    DKString* listIds(DKString (dkService::*getter)() const, const char* value, long& count);

    PKeyStringCollection services_;   // service id -> dkService*, not owned
};

// The registry a datastore hands out from serviceMgr().
class DK_API DKServiceMgrImp : public dkServiceMgr {
public:
    DKServiceMgrImp();
    ~DKServiceMgrImp() override;
};
