// src/dk/common/pool/dkPool.cpp
//
// The base of handle pools: settings that stay fixed while the pool holds handles, and the
// handle operations a subclass must supply, rejected here.

#include <dk/dkPool.hpp>

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

namespace {
constexpr const char* kSource = "dk/common/dkPool";

[[noreturn]] void unsupported(const char* function) {
    dkThrow<DKUsageError>(341, kSource, function, DKString(function));
}
}  // namespace

dkPool::dkPool() = default;
dkPool::~dkPool() = default;
PConnectionTimed::~PConnectionTimed() = default;

void dkPool::checkUnchanged(bool same, const char* function) const {
    if (!same && (usedConnections_ != 0 || freeConnections_ != 0))
        dkThrow<DKUsageError>(552, kSource, function, DKString(function));
}

DKString dkPool::getServerName() { return serverName_; }
void dkPool::setServerName(const char* name) {
    checkUnchanged(serverName_ == DKString(name), "dkPool::setServerName()");
    serverName_ = name;
}
DKString dkPool::getConfigurationString() { return configurationString_; }
void dkPool::setConfigurationString(const char* configuration) {
    checkUnchanged(configurationString_ == DKString(configuration), "dkPool::setConfigurationString()");
    configurationString_ = configuration;
}
int dkPool::getMaxPoolSize() { return maxPoolSize_; }
void dkPool::setMaxPoolSize(int size) {
    checkUnchanged(maxPoolSize_ == size, "dkPool::setMaxPoolSize()");
    maxPoolSize_ = size;
}
int dkPool::getMinPoolSize() { return minPoolSize_; }
void dkPool::setMinPoolSize(int size) {
    checkUnchanged(minPoolSize_ == size, "dkPool::setMinPoolSize()");
    minPoolSize_ = size;
}
int dkPool::getTimeOut() { return timeOut_; }
void dkPool::setTimeOut(int minutes) {
    checkUnchanged(timeOut_ == minutes, "dkPool::setTimeOut()");
    timeOut_ = minutes;
}

DKHandle* dkPool::getConnection(const char*, const char*) { unsupported("dkPool::getConnection()"); }
void dkPool::returnConnection(DKHandle*) { unsupported("dkPool::returnConnection()"); }
void dkPool::initConnections(const char*, const char*, int) { unsupported("dkPool::initConnections()"); }
DKString dkPool::poolConnectType() { unsupported("dkPool::poolConnectType()"); }
