// include/dk/DKCommonPrivilege.hpp
#pragma once
#include <dk/dkExport.hpp>

// The privileges a user holds, as one value per privilege id from 1 to 2000: 0 none, 1 granted,
// 2 granted with the right to grant. A new object holds 0 everywhere. What each id means is the
// connector's; the library knows only the administration test. A plain value, copyable; one
// thread at a time.
class DK_API DKCommonPrivilege {
public:
    static constexpr long kFirstId = 1;
    static constexpr long kLastId = 2000;

    DKCommonPrivilege();
    virtual ~DKCommonPrivilege();

    // Both throw DKUsageError 303 for an id outside 1..2000, and setAuthorization for a value
    // other than 0, 1 or 2; nothing is stored then.
    void setAuthorization(long privilegeId, short value);
    short checkAuthorization(long privilegeId) const;
    // 1 when privilege 800, or any of 101 to 109, holds 2 (granted with the right to grant).
    int hasAdminPrivilege() const;

private:
    short values_[kLastId];   // values_[id - 1]
};
