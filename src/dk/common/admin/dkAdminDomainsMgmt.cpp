// src/dk/common/admin/dkAdminDomainsMgmt.cpp
//
// The administrative domain manager, which rejects every operation until a connector provides it.

#include <dk/dkAdminDomainsMgmt.hpp>

#include "dk/common/admin/dkAdminReject.hpp"

namespace {
constexpr const char* kSource = "dk/common/dkAdminDomainsMgmt";
}

dkAdminDomainsMgmt::dkAdminDomainsMgmt(dkDatastore* datastore) : datastore_(datastore) {}
dkAdminDomainsMgmt::~dkAdminDomainsMgmt() = default;

dkAdminDomainDef* dkAdminDomainsMgmt::createAdminDomain() { dkRejectAdmin(kSource, "dkAdminDomainsMgmt::createAdminDomain"); }
long dkAdminDomainsMgmt::getIDfromName(const char*) { dkRejectAdmin(kSource, "dkAdminDomainsMgmt::getIDfromName"); }
dkAdminDomainDef* dkAdminDomainsMgmt::retrieve(const char*) { dkRejectAdmin(kSource, "dkAdminDomainsMgmt::retrieve"); }
void dkAdminDomainsMgmt::retrieve(dkAdminDomainDef*) { dkRejectAdmin(kSource, "dkAdminDomainsMgmt::retrieve"); }
dkCollection* dkAdminDomainsMgmt::listAdminDomains() { dkRejectAdmin(kSource, "dkAdminDomainsMgmt::listAdminDomains"); }
DKString* dkAdminDomainsMgmt::listAdminDomainNames(long&) { dkRejectAdmin(kSource, "dkAdminDomainsMgmt::listAdminDomainNames"); }
DKString* dkAdminDomainsMgmt::listACLNames(const char*, long&) { dkRejectAdmin(kSource, "dkAdminDomainsMgmt::listACLNames"); }
DKString* dkAdminDomainsMgmt::listGroupNames(const char*, long&) { dkRejectAdmin(kSource, "dkAdminDomainsMgmt::listGroupNames"); }
DKString* dkAdminDomainsMgmt::listPrivSetNames(const char*, long&) { dkRejectAdmin(kSource, "dkAdminDomainsMgmt::listPrivSetNames"); }
DKString* dkAdminDomainsMgmt::listResourceMgrNames(const char*, long&) { dkRejectAdmin(kSource, "dkAdminDomainsMgmt::listResourceMgrNames"); }
DKString* dkAdminDomainsMgmt::listSMSCollectionNames(const char*, long&) { dkRejectAdmin(kSource, "dkAdminDomainsMgmt::listSMSCollectionNames"); }
DKString* dkAdminDomainsMgmt::listUserNames(const char*, long&) { dkRejectAdmin(kSource, "dkAdminDomainsMgmt::listUserNames"); }
void dkAdminDomainsMgmt::addACLNames(const char*, const DKString*, long) { dkRejectAdmin(kSource, "dkAdminDomainsMgmt::addACLNames"); }
void dkAdminDomainsMgmt::addGroupNames(const char*, const DKString*, long) { dkRejectAdmin(kSource, "dkAdminDomainsMgmt::addGroupNames"); }
void dkAdminDomainsMgmt::addPrivSetNames(const char*, const DKString*, long) { dkRejectAdmin(kSource, "dkAdminDomainsMgmt::addPrivSetNames"); }
void dkAdminDomainsMgmt::addResourceMgrNames(const char*, const DKString*, long) { dkRejectAdmin(kSource, "dkAdminDomainsMgmt::addResourceMgrNames"); }
void dkAdminDomainsMgmt::addSMSCollectionNames(const char*, const DKString*, long) { dkRejectAdmin(kSource, "dkAdminDomainsMgmt::addSMSCollectionNames"); }
void dkAdminDomainsMgmt::addUserNames(const char*, const DKString*, long) { dkRejectAdmin(kSource, "dkAdminDomainsMgmt::addUserNames"); }
void dkAdminDomainsMgmt::removeACLNames(const char*, const DKString*, long) { dkRejectAdmin(kSource, "dkAdminDomainsMgmt::removeACLNames"); }
void dkAdminDomainsMgmt::removeGroupNames(const char*, const DKString*, long) { dkRejectAdmin(kSource, "dkAdminDomainsMgmt::removeGroupNames"); }
void dkAdminDomainsMgmt::removePrivSetNames(const char*, const DKString*, long) { dkRejectAdmin(kSource, "dkAdminDomainsMgmt::removePrivSetNames"); }
void dkAdminDomainsMgmt::removeResourceMgrNames(const char*, const DKString*, long) { dkRejectAdmin(kSource, "dkAdminDomainsMgmt::removeResourceMgrNames"); }
void dkAdminDomainsMgmt::removeSMSCollectionNames(const char*, const DKString*, long) { dkRejectAdmin(kSource, "dkAdminDomainsMgmt::removeSMSCollectionNames"); }
void dkAdminDomainsMgmt::removeUserNames(const char*, const DKString*, long) { dkRejectAdmin(kSource, "dkAdminDomainsMgmt::removeUserNames"); }
void dkAdminDomainsMgmt::add(dkAdminDomainDef*) { dkRejectAdmin(kSource, "dkAdminDomainsMgmt::add"); }
void dkAdminDomainsMgmt::del(dkAdminDomainDef*) { dkRejectAdmin(kSource, "dkAdminDomainsMgmt::del"); }
void dkAdminDomainsMgmt::del(const char*) { dkRejectAdmin(kSource, "dkAdminDomainsMgmt::del"); }
void dkAdminDomainsMgmt::update(dkAdminDomainDef*) { dkRejectAdmin(kSource, "dkAdminDomainsMgmt::update"); }
