// src/dk/common/datastore/dkStorageManageInfo.cpp
//
// The storage-management extension connectors derive from; it adds nothing to the extension.

#include <dk/dkStorageManageInfo.hpp>

dkStorageManageInfo::dkStorageManageInfo() = default;
dkStorageManageInfo::dkStorageManageInfo(const dkStorageManageInfo& other) = default;
dkStorageManageInfo& dkStorageManageInfo::operator=(const dkStorageManageInfo& other) = default;
dkStorageManageInfo::~dkStorageManageInfo() = default;
