// src/dk/common/admin/dkAccessControlList.cpp
//
// The access-control list: its name and description work in the base, its entries are rejected
// until a connector provides them.

#include <dk/dkAuthorizationMgmt.hpp>

#include "dk/common/admin/dkAdminReject.hpp"

namespace {
constexpr const char* kSource = "dk/common/dkAccessControlList";
}

dkAccessControlList::dkAccessControlList(dkDatastore* datastore) : datastore_(datastore) {}
dkAccessControlList::~dkAccessControlList() = default;

dkCollection* dkAccessControlList::listACLData() { dkRejectAdmin(kSource, "dkAccessControlList::listACLData"); }
DKString* dkAccessControlList::listUsrGrps(long&) { dkRejectAdmin(kSource, "dkAccessControlList::listUsrGrps"); }
DKString* dkAccessControlList::listUsers(long&) { dkRejectAdmin(kSource, "dkAccessControlList::listUsers"); }
DKString* dkAccessControlList::listGroups(long&) { dkRejectAdmin(kSource, "dkAccessControlList::listGroups"); }
void dkAccessControlList::addACLData(DKACLData*) { dkRejectAdmin(kSource, "dkAccessControlList::addACLData"); }
void dkAccessControlList::removeACLData(DKACLData*) { dkRejectAdmin(kSource, "dkAccessControlList::removeACLData"); }
void dkAccessControlList::clearCache() { dkRejectAdmin(kSource, "dkAccessControlList::clearCache"); }
