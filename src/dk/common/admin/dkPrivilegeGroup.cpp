// src/dk/common/admin/dkPrivilegeGroup.cpp
//
// The privilege group: its name and description work in the base, its membership is rejected
// until a connector provides it.

#include <dk/dkAuthorizationMgmt.hpp>

#include "dk/common/admin/dkAdminReject.hpp"

namespace {
constexpr const char* kSource = "dk/common/dkPrivilegeGroup";
}

dkPrivilegeGroup::dkPrivilegeGroup(dkDatastore* datastore) : datastore_(datastore) {}
dkPrivilegeGroup::~dkPrivilegeGroup() = default;

dkCollection* dkPrivilegeGroup::listPrivileges() { dkRejectAdmin(kSource, "dkPrivilegeGroup::listPrivileges"); }
DKString* dkPrivilegeGroup::listPrivilegeNames(long&) { dkRejectAdmin(kSource, "dkPrivilegeGroup::listPrivilegeNames"); }
void dkPrivilegeGroup::addPrivilege(dkPrivilege*) { dkRejectAdmin(kSource, "dkPrivilegeGroup::addPrivilege"); }
void dkPrivilegeGroup::removePrivilege(const char*) { dkRejectAdmin(kSource, "dkPrivilegeGroup::removePrivilege"); }
void dkPrivilegeGroup::clearCache() { dkRejectAdmin(kSource, "dkPrivilegeGroup::clearCache"); }
