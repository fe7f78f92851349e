// src/dk/common/admin/dkAttrGroupDef.cpp
//
// The attribute group definition: its name and datastore work in the base, its attributes are
// rejected until a connector provides them.

#include <dk/dkAttrGroupDef.hpp>

#include <dk/dkDatastore.hpp>

#include "dk/common/admin/dkAdminReject.hpp"

namespace {
constexpr const char* kSource = "dk/common/dkAttrGroupDef";
}

dkAttrGroupDef::dkAttrGroupDef(dkDatastore* datastore) : datastore_(datastore) {}
dkAttrGroupDef::~dkAttrGroupDef() = default;

DKString dkAttrGroupDef::datastoreType() const {
    return datastore_ != nullptr ? datastore_->datastoreType() : DKString();
}

dkCollection* dkAttrGroupDef::listAttrs() { dkRejectAdmin(kSource, "dkAttrGroupDef::listAttrs"); }
DKString* dkAttrGroupDef::listAttrNames(long&) { dkRejectAdmin(kSource, "dkAttrGroupDef::listAttrNames"); }
void dkAttrGroupDef::addAttr(dkAttrDef*) { dkRejectAdmin(kSource, "dkAttrGroupDef::addAttr"); }
void dkAttrGroupDef::removeAttr(const char*) { dkRejectAdmin(kSource, "dkAttrGroupDef::removeAttr"); }
void dkAttrGroupDef::clearCache() { dkRejectAdmin(kSource, "dkAttrGroupDef::clearCache"); }
