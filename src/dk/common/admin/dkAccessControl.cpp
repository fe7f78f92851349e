// src/dk/common/admin/dkAccessControl.cpp
//
// The base access-control view: it keeps its type and name, and its changes and lists do nothing,
// so that a connector without access control can answer with it.

#include <dk/dkAccessControl.hpp>

dkAccessControl::dkAccessControl(const char* type, const char* name) : type_(type), name_(name) {}
dkAccessControl::~dkAccessControl() = default;

void dkAccessControl::addAccessControlList(const char*, const char*, dkCollection*) {}
void dkAccessControl::updateAccessControlList(const char*, const char*, dkCollection*) {}
void dkAccessControl::deleteAccessControlList(const char*) {}
dkCollection* dkAccessControl::listAccessControlLists() { return nullptr; }
dkCollection* dkAccessControl::listPrivileges() { return nullptr; }
dkCollection* dkAccessControl::listUsers() { return nullptr; }
dkCollection* dkAccessControl::listGroups() { return nullptr; }
DKString dkAccessControl::listPrivilegeString(const char*) { return DKString(); }
