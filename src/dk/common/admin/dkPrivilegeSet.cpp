// src/dk/common/admin/dkPrivilegeSet.cpp
//
// The privilege set: its name and description work in the base, its privileges and privilege
// groups are rejected until a connector provides them.

#include <dk/dkAuthorizationMgmt.hpp>

#include "dk/common/admin/dkAdminReject.hpp"

namespace {
constexpr const char* kSource = "dk/common/dkPrivilegeSet";
}

dkPrivilegeSet::dkPrivilegeSet(dkDatastore* datastore) : datastore_(datastore) {}
dkPrivilegeSet::~dkPrivilegeSet() = default;

dkCollection* dkPrivilegeSet::listPrivileges() { dkRejectAdmin(kSource, "dkPrivilegeSet::listPrivileges"); }
DKString* dkPrivilegeSet::listPrivilegeNames(long&) { dkRejectAdmin(kSource, "dkPrivilegeSet::listPrivilegeNames"); }
void dkPrivilegeSet::addPrivilege(dkPrivilege*) { dkRejectAdmin(kSource, "dkPrivilegeSet::addPrivilege"); }
void dkPrivilegeSet::removePrivilege(const char*) { dkRejectAdmin(kSource, "dkPrivilegeSet::removePrivilege"); }
void dkPrivilegeSet::clearCache() { dkRejectAdmin(kSource, "dkPrivilegeSet::clearCache"); }
void dkPrivilegeSet::addPrivilegeGroup(dkPrivilegeGroup*) { dkRejectAdmin(kSource, "dkPrivilegeSet::addPrivilegeGroup"); }
