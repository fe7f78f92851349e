// src/dk/common/admin/dkImportUsers.cpp
//
// The user exit that imports users and groups; its lists are rejected until an exit provides them.

#include <dk/dkImportUsers.hpp>

#include "dk/common/admin/dkAdminReject.hpp"

namespace {
constexpr const char* kSource = "dk/common/dkImportUsers";
}

dkImportUsers::dkImportUsers() = default;
dkImportUsers::~dkImportUsers() = default;

DKString* dkImportUsers::listUsers(long&) { dkRejectAdmin(kSource, "dkImportUsers::listUsers"); }
DKString* dkImportUsers::listUserGroups(long&) { dkRejectAdmin(kSource, "dkImportUsers::listUserGroups"); }
dkCollection* dkImportUsers::listUserDefs() { dkRejectAdmin(kSource, "dkImportUsers::listUserDefs"); }
dkCollection* dkImportUsers::listUserGroupDefs() { dkRejectAdmin(kSource, "dkImportUsers::listUserGroupDefs"); }
