// src/dk/common/admin/dkUserGroupDef.cpp
//
// The user group definition: its name and description work in the base, its membership is
// rejected until a connector provides it.

#include <dk/dkUserManagement.hpp>

#include <dk/dkDatastore.hpp>

#include "dk/common/admin/dkAdminReject.hpp"

namespace {
constexpr const char* kSource = "dk/common/dkUserGroupDef";
}

dkUserGroupDef::dkUserGroupDef(dkDatastore* datastore) : datastore_(datastore) {}
dkUserGroupDef::~dkUserGroupDef() = default;

DKString dkUserGroupDef::datastoreType() const {
    return datastore_ != nullptr ? datastore_->datastoreType() : DKString();
}

dkCollection* dkUserGroupDef::listUsers() { dkRejectAdmin(kSource, "dkUserGroupDef::listUsers"); }
DKString* dkUserGroupDef::listUserNames(long&) { dkRejectAdmin(kSource, "dkUserGroupDef::listUserNames"); }
void dkUserGroupDef::addUser(dkUserDef*) { dkRejectAdmin(kSource, "dkUserGroupDef::addUser"); }
void dkUserGroupDef::removeUser(const char*) { dkRejectAdmin(kSource, "dkUserGroupDef::removeUser"); }
void dkUserGroupDef::clearCache() { dkRejectAdmin(kSource, "dkUserGroupDef::clearCache"); }
