// src/dk/common/admin/dkConfigurationMgmt.cpp
//
// The configuration manager, which rejects its one operation until a connector provides it.

#include <dk/dkConfigurationMgmt.hpp>

#include "dk/common/admin/dkAdminReject.hpp"

namespace {
constexpr const char* kSource = "dk/common/dkConfigurationMgmt";
}

dkConfigurationMgmt::dkConfigurationMgmt(dkDatastore* datastore) : datastore_(datastore) {}
dkConfigurationMgmt::~dkConfigurationMgmt() = default;

void dkConfigurationMgmt::clearCache() { dkRejectAdmin(kSource, "dkConfigurationMgmt::clearCache"); }
