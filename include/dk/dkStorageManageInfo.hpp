// include/dk/dkStorageManageInfo.hpp
#pragma once
#include <dk/dkExport.hpp>
#include <dk/dkExtension.hpp>

// The extension through which a connector describes how its content is stored; connectors add
// what they store. Only subclasses are made. One thread at a time.
class DK_API dkStorageManageInfo : public dkExtension {
public:
    ~dkStorageManageInfo() override;

protected:
    dkStorageManageInfo();
    dkStorageManageInfo(const dkStorageManageInfo& other);
    dkStorageManageInfo& operator=(const dkStorageManageInfo& other);
};
