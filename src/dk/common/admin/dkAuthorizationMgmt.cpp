// src/dk/common/admin/dkAuthorizationMgmt.cpp
//
// The authorization classes that work in the base (the privilege record and the access-control
// entry, which owns its privilege set) and the authorization manager, which rejects every
// operation until a connector provides it.

#include <dk/dkAuthorizationMgmt.hpp>

#include "dk/common/admin/dkAdminReject.hpp"

namespace {
constexpr const char* kSource = "dk/common/dkAuthorizationMgmt";
}

dkPrivilege::dkPrivilege(dkDatastore* datastore) : datastore_(datastore) {}
dkPrivilege::~dkPrivilege() = default;

DKACLData::DKACLData() : privilegeSet_(nullptr), patronType_(kUser) {}

DKACLData::DKACLData(dkPrivilegeSet* privilegeSet, const char* userGroupName, short patronType)
    : userGroupName_(userGroupName), privilegeSet_(privilegeSet), patronType_(patronType) {}

DKACLData::~DKACLData() {
    delete privilegeSet_;
}

void DKACLData::setPrivilegeSet(dkPrivilegeSet* privilegeSet) {
    // Setting the held set again must not free it under the caller.
    if (privilegeSet != privilegeSet_)
        delete privilegeSet_;
    privilegeSet_ = privilegeSet;
}

DKString DKACLData::getPrivilegeSetName() const {
    return privilegeSet_ != nullptr ? privilegeSet_->getName() : DKString();
}

dkAuthorizationMgmt::dkAuthorizationMgmt(dkDatastore* datastore) : datastore_(datastore) {}
dkAuthorizationMgmt::~dkAuthorizationMgmt() = default;

dkCollection* dkAuthorizationMgmt::listPrivilegeSets() { dkRejectAdmin(kSource, "dkAuthorizationMgmt::listPrivilegeSets"); }
DKString* dkAuthorizationMgmt::listPrivilegeSetNames(long&) { dkRejectAdmin(kSource, "dkAuthorizationMgmt::listPrivilegeSetNames"); }
dkPrivilegeSet* dkAuthorizationMgmt::createPrivilegeSet() { dkRejectAdmin(kSource, "dkAuthorizationMgmt::createPrivilegeSet"); }
void dkAuthorizationMgmt::add(dkPrivilegeSet*) { dkRejectAdmin(kSource, "dkAuthorizationMgmt::add"); }
void dkAuthorizationMgmt::del(dkPrivilegeSet*) { dkRejectAdmin(kSource, "dkAuthorizationMgmt::del"); }
void dkAuthorizationMgmt::deletePrivilegeSet(const char*) { dkRejectAdmin(kSource, "dkAuthorizationMgmt::deletePrivilegeSet"); }
void dkAuthorizationMgmt::update(dkPrivilegeSet*) { dkRejectAdmin(kSource, "dkAuthorizationMgmt::update"); }
dkPrivilegeSet* dkAuthorizationMgmt::retrievePrivilegeSet(const char*) { dkRejectAdmin(kSource, "dkAuthorizationMgmt::retrievePrivilegeSet"); }
dkCollection* dkAuthorizationMgmt::listPrivileges() { dkRejectAdmin(kSource, "dkAuthorizationMgmt::listPrivileges"); }
DKString* dkAuthorizationMgmt::listPrivilegeNames(long&) { dkRejectAdmin(kSource, "dkAuthorizationMgmt::listPrivilegeNames"); }
dkPrivilege* dkAuthorizationMgmt::createPrivilege() { dkRejectAdmin(kSource, "dkAuthorizationMgmt::createPrivilege"); }
void dkAuthorizationMgmt::add(dkPrivilege*) { dkRejectAdmin(kSource, "dkAuthorizationMgmt::add"); }
void dkAuthorizationMgmt::del(dkPrivilege*) { dkRejectAdmin(kSource, "dkAuthorizationMgmt::del"); }
void dkAuthorizationMgmt::deletePrivilege(const char*) { dkRejectAdmin(kSource, "dkAuthorizationMgmt::deletePrivilege"); }
void dkAuthorizationMgmt::update(dkPrivilege*) { dkRejectAdmin(kSource, "dkAuthorizationMgmt::update"); }
dkPrivilege* dkAuthorizationMgmt::retrievePrivilege(const char*) { dkRejectAdmin(kSource, "dkAuthorizationMgmt::retrievePrivilege"); }
dkCollection* dkAuthorizationMgmt::listPrivilegeGroups() { dkRejectAdmin(kSource, "dkAuthorizationMgmt::listPrivilegeGroups"); }
DKString* dkAuthorizationMgmt::listPrivilegeGroupNames(long&) { dkRejectAdmin(kSource, "dkAuthorizationMgmt::listPrivilegeGroupNames"); }
dkPrivilegeGroup* dkAuthorizationMgmt::createPrivilegeGroup() { dkRejectAdmin(kSource, "dkAuthorizationMgmt::createPrivilegeGroup"); }
void dkAuthorizationMgmt::add(dkPrivilegeGroup*) { dkRejectAdmin(kSource, "dkAuthorizationMgmt::add"); }
void dkAuthorizationMgmt::del(dkPrivilegeGroup*) { dkRejectAdmin(kSource, "dkAuthorizationMgmt::del"); }
void dkAuthorizationMgmt::deletePrivilegeGroup(const char*) { dkRejectAdmin(kSource, "dkAuthorizationMgmt::deletePrivilegeGroup"); }
void dkAuthorizationMgmt::update(dkPrivilegeGroup*) { dkRejectAdmin(kSource, "dkAuthorizationMgmt::update"); }
dkPrivilegeGroup* dkAuthorizationMgmt::retrievePrivilegeGroup(const char*) { dkRejectAdmin(kSource, "dkAuthorizationMgmt::retrievePrivilegeGroup"); }
dkCollection* dkAuthorizationMgmt::listAccessControlLists() { dkRejectAdmin(kSource, "dkAuthorizationMgmt::listAccessControlLists"); }
DKString* dkAuthorizationMgmt::listAccessControlListNames(long&) { dkRejectAdmin(kSource, "dkAuthorizationMgmt::listAccessControlListNames"); }
dkAccessControlList* dkAuthorizationMgmt::createAccessControlList() { dkRejectAdmin(kSource, "dkAuthorizationMgmt::createAccessControlList"); }
void dkAuthorizationMgmt::add(dkAccessControlList*) { dkRejectAdmin(kSource, "dkAuthorizationMgmt::add"); }
void dkAuthorizationMgmt::del(dkAccessControlList*) { dkRejectAdmin(kSource, "dkAuthorizationMgmt::del"); }
void dkAuthorizationMgmt::deleteAccessControlList(const char*) { dkRejectAdmin(kSource, "dkAuthorizationMgmt::deleteAccessControlList"); }
void dkAuthorizationMgmt::update(dkAccessControlList*) { dkRejectAdmin(kSource, "dkAuthorizationMgmt::update"); }
dkAccessControlList* dkAuthorizationMgmt::retrieveAccessControlList(const char*) { dkRejectAdmin(kSource, "dkAuthorizationMgmt::retrieveAccessControlList"); }
dkPrivilegeSet* dkAuthorizationMgmt::retrieveUserPrivilegeSet(const char*) { dkRejectAdmin(kSource, "dkAuthorizationMgmt::retrieveUserPrivilegeSet"); }
dkPrivilegeSet* dkAuthorizationMgmt::retrieveUserGroupPrivilegeSet(const char*) { dkRejectAdmin(kSource, "dkAuthorizationMgmt::retrieveUserGroupPrivilegeSet"); }
void dkAuthorizationMgmt::clearCache() { dkRejectAdmin(kSource, "dkAuthorizationMgmt::clearCache"); }
