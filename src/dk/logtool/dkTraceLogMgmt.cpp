// src/dk/logtool/dkTraceLogMgmt.cpp
//
// The exported face of the log configuration editor: DKTraceLogMgmtAPI keeps the internal
// PTraceLogMgmtAPI out of its callers' sight and hands every operation on to it.

#include <dk/PTraceLogMgmtAPI.hpp>
#include <dk/dkTraceLogMgmt.hpp>

dkTraceLogMgmt::~dkTraceLogMgmt() {}

DKTraceLogMgmtAPI::DKTraceLogMgmtAPI() : impl(new PTraceLogMgmtAPI()) {}

DKTraceLogMgmtAPI::~DKTraceLogMgmtAPI() { delete impl; }

void DKTraceLogMgmtAPI::setLogProperty(const DKString& key, const DKString& value) {
    impl->setLogProperty(key, value);
}

void DKTraceLogMgmtAPI::setAllLogProperties(const dkCollection& pairs) { impl->setAllLogProperties(pairs); }

DKString DKTraceLogMgmtAPI::getLogProperty(const DKString& key) const { return impl->getLogProperty(key); }

const dkCollection& DKTraceLogMgmtAPI::getAllLogProperties() const { return impl->getAllLogProperties(); }

int DKTraceLogMgmtAPI::isLogPropertySupported(const DKString& key) const {
    return impl->isLogPropertySupported(key);
}

int DKTraceLogMgmtAPI::isComponentAvailable() const { return 1; }
