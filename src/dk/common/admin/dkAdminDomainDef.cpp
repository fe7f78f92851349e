// src/dk/common/admin/dkAdminDomainDef.cpp
//
// The administrative domain definition: name, description, id and language work in the base,
// the name lists it holds are rejected until a connector provides them.

#include <dk/dkAdminDomainsMgmt.hpp>

#include "dk/common/admin/dkAdminReject.hpp"

namespace {
constexpr const char* kSource = "dk/common/dkAdminDomainDef";
}

dkAdminDomainDef::dkAdminDomainDef(dkDatastore* datastore) : datastore_(datastore), id_(0) {}
dkAdminDomainDef::~dkAdminDomainDef() = default;

DKString* dkAdminDomainDef::getUserNames(long&) { dkRejectAdmin(kSource, "dkAdminDomainDef::getUserNames"); }
void dkAdminDomainDef::setUserNames(const DKString*, long) { dkRejectAdmin(kSource, "dkAdminDomainDef::setUserNames"); }
DKString* dkAdminDomainDef::getUserGroupNames(long&) { dkRejectAdmin(kSource, "dkAdminDomainDef::getUserGroupNames"); }
void dkAdminDomainDef::setUserGroupNames(const DKString*, long) { dkRejectAdmin(kSource, "dkAdminDomainDef::setUserGroupNames"); }
DKString* dkAdminDomainDef::getPrivSetNames(long&) { dkRejectAdmin(kSource, "dkAdminDomainDef::getPrivSetNames"); }
void dkAdminDomainDef::setPrivSetNames(const DKString*, long) { dkRejectAdmin(kSource, "dkAdminDomainDef::setPrivSetNames"); }
DKString* dkAdminDomainDef::getACLNames(long&) { dkRejectAdmin(kSource, "dkAdminDomainDef::getACLNames"); }
void dkAdminDomainDef::setACLNames(const DKString*, long) { dkRejectAdmin(kSource, "dkAdminDomainDef::setACLNames"); }
DKString* dkAdminDomainDef::getResourceMgrNames(long&) { dkRejectAdmin(kSource, "dkAdminDomainDef::getResourceMgrNames"); }
void dkAdminDomainDef::setResourceMgrNames(const DKString*, long) { dkRejectAdmin(kSource, "dkAdminDomainDef::setResourceMgrNames"); }
DKString* dkAdminDomainDef::getSMSCollectionNames(long&) { dkRejectAdmin(kSource, "dkAdminDomainDef::getSMSCollectionNames"); }
void dkAdminDomainDef::setSMSCollectionNames(const DKString*, long) { dkRejectAdmin(kSource, "dkAdminDomainDef::setSMSCollectionNames"); }
