// src/dk/common/admin/dkUserManagement.cpp
//
// The users of a repository: the user definition and profile, which work in the base, and the
// user manager, which rejects every operation until a connector provides it.

#include <dk/dkUserManagement.hpp>

#include <dk/dkDatastore.hpp>

#include "dk/common/admin/dkAdminReject.hpp"

namespace {
constexpr const char* kSource = "dk/common/dkUserManagement";
}

dkProfile::dkProfile() = default;
dkProfile::~dkProfile() = default;

dkUserDef::dkUserDef(dkDatastore* datastore) : datastore_(datastore) {}
dkUserDef::~dkUserDef() = default;

DKString dkUserDef::datastoreType() const {
    return datastore_ != nullptr ? datastore_->datastoreType() : DKString();
}

void dkUserDef::setPassword(const char* password) {
    password_ = password;
}

void dkUserDef::changePassword(const char*, const char* newPassword) {
    setPassword(newPassword);
}

dkUserManagement::dkUserManagement(dkDatastore* datastore) : datastore_(datastore) {}
dkUserManagement::~dkUserManagement() = default;

dkUserDef* dkUserManagement::retrieveUserDef(const char*) { dkRejectAdmin(kSource, "dkUserManagement::retrieveUserDef"); }
void dkUserManagement::add(dkUserDef*) { dkRejectAdmin(kSource, "dkUserManagement::add"); }
void dkUserManagement::addUser(const char*, const char*) { dkRejectAdmin(kSource, "dkUserManagement::addUser"); }
void dkUserManagement::addUser(const char*, const char*, dkProfile*) { dkRejectAdmin(kSource, "dkUserManagement::addUser"); }
dkUserDef* dkUserManagement::createUserDef() { dkRejectAdmin(kSource, "dkUserManagement::createUserDef"); }
void dkUserManagement::update(dkUserDef*) { dkRejectAdmin(kSource, "dkUserManagement::update"); }
void dkUserManagement::changePassword(const char*, const char*, const char*) { dkRejectAdmin(kSource, "dkUserManagement::changePassword"); }
void dkUserManagement::delUser(const char*) { dkRejectAdmin(kSource, "dkUserManagement::delUser"); }
void dkUserManagement::del(dkUserDef*) { dkRejectAdmin(kSource, "dkUserManagement::del"); }
void dkUserManagement::deleteUserDef(const char*) { dkRejectAdmin(kSource, "dkUserManagement::deleteUserDef"); }
int dkUserManagement::isAdminUser(const char*) { dkRejectAdmin(kSource, "dkUserManagement::isAdminUser"); }
DKString* dkUserManagement::listUsers(long&) { dkRejectAdmin(kSource, "dkUserManagement::listUsers"); }
DKString* dkUserManagement::listUserGroups(long&) { dkRejectAdmin(kSource, "dkUserManagement::listUserGroups"); }
dkCollection* dkUserManagement::listUserDefs() { dkRejectAdmin(kSource, "dkUserManagement::listUserDefs"); }
dkCollection* dkUserManagement::listUserGroupDefs() { dkRejectAdmin(kSource, "dkUserManagement::listUserGroupDefs"); }
dkUserGroupDef* dkUserManagement::createUserGroupDef() { dkRejectAdmin(kSource, "dkUserManagement::createUserGroupDef"); }
dkUserGroupDef* dkUserManagement::retrieveUserGroupDef(const char*) { dkRejectAdmin(kSource, "dkUserManagement::retrieveUserGroupDef"); }
void dkUserManagement::add(dkUserGroupDef*) { dkRejectAdmin(kSource, "dkUserManagement::add"); }
void dkUserManagement::addUserGroup(const char*) { dkRejectAdmin(kSource, "dkUserManagement::addUserGroup"); }
void dkUserManagement::addUserGroup(const char*, dkProfile*) { dkRejectAdmin(kSource, "dkUserManagement::addUserGroup"); }
void dkUserManagement::update(dkUserGroupDef*) { dkRejectAdmin(kSource, "dkUserManagement::update"); }
void dkUserManagement::del(dkUserGroupDef*) { dkRejectAdmin(kSource, "dkUserManagement::del"); }
void dkUserManagement::delUserGroup(const char*) { dkRejectAdmin(kSource, "dkUserManagement::delUserGroup"); }
void dkUserManagement::deleteUserGroupDef(const char*) { dkRejectAdmin(kSource, "dkUserManagement::deleteUserGroupDef"); }
void dkUserManagement::addToGroup(const char*, const char*) { dkRejectAdmin(kSource, "dkUserManagement::addToGroup"); }
void dkUserManagement::removeFromGroup(const char*, const char*) { dkRejectAdmin(kSource, "dkUserManagement::removeFromGroup"); }
void dkUserManagement::clearCache() { dkRejectAdmin(kSource, "dkUserManagement::clearCache"); }
