// src/dk/coll/dkDataObjectAccess.cpp
//
// Weak stand-ins for the data object queries the collections make (see dkDataObjectAccess.hpp).
// The data object sources, built in the same library, define these functions for real and the
// linker takes theirs; the stand-ins only keep the collections linkable on their own (without
// data objects there is nothing to read or delete).

#include "dk/coll/dkDataObjectAccess.hpp"

__attribute__((weak)) short dkDataObjectProtocol(const dkDataObjectBase*) { return -1; }

__attribute__((weak)) bool dkDataObjectPrimaryId(const dkDataObjectBase*, DKString&) { return false; }

__attribute__((weak)) bool dkDataObjectItem(const dkDataObjectBase*, const char*, DKAny&) { return false; }

__attribute__((weak)) void dkDeleteDataObject(dkDataObjectBase*) noexcept {}
