// include/dk/dkPool.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

class DKHandle;

// The base of pools of raw connection handles: the settings and two counters. The handle
// operations are not supported here (341) and a subclass that pools handles overrides them; the
// base has no pure virtual, so an empty subclass is a working object. One thread at a time.
class DK_API dkPool {
public:
    dkPool();
    virtual ~dkPool();
    virtual DKString getServerName();
    virtual void setServerName(const char* name);
    virtual DKString getConfigurationString();
    virtual void setConfigurationString(const char* configuration);
    virtual int getMaxPoolSize();
    virtual void setMaxPoolSize(int size);
    virtual int getMinPoolSize();
    virtual void setMinPoolSize(int size);
    virtual int getTimeOut();
    virtual void setTimeOut(int minutes);
    virtual DKHandle* getConnection(const char* userId, const char* password);
    virtual void returnConnection(DKHandle* connection);
    virtual void initConnections(const char* userId, const char* password, int count);
    virtual DKString poolConnectType();

protected:
    // The counters a subclass keeps; while either is not 0 the settings cannot change (552).
    int usedConnections_ = 0;
    int freeConnections_ = 0;

private:
    void checkUnchanged(bool same, const char* function) const;

    int maxPoolSize_ = 0;
    int minPoolSize_ = 0;
    int timeOut_ = 0;
    DKString serverName_;
    DKString configurationString_;
};

// One free handle of a handle pool and whether an idle sweep has seen it free. Owns nothing.
class DK_API PConnectionTimed {
public:
    explicit PConnectionTimed(void* connection) : connection_(connection) {}
    virtual ~PConnectionTimed();
    void* connection() const { return connection_; }
    int seenIdle() const { return seenIdle_; }
    void setSeenIdle(int flag) { seenIdle_ = flag; }

private:
    void* connection_;
    int seenIdle_ = 0;
};
