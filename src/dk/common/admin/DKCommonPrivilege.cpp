// src/dk/common/admin/DKCommonPrivilege.cpp
//
// The privilege table a connector fills for a user or an item: one value per privilege id,
// checked on every read and write so that a bad id or value never lands in the table.

#include <dk/DKCommonPrivilege.hpp>

#include <dk/dkThrow.hpp>

#include <algorithm>
#include <iterator>

namespace {

constexpr const char* kSource = "dk/common/DKCommonPrivilege";

constexpr long kAdminPrivilege = 800;            // administers the repository
constexpr long kFirstAdminPrivilege = 101;       // 101..109: the administration privileges
constexpr long kLastAdminPrivilege = 109;
constexpr short kGrantable = 2;                   // granted with the right to grant

void checkId(long privilegeId, const char* function, unsigned long line = __builtin_LINE()) {
    if (privilegeId < DKCommonPrivilege::kFirstId || privilegeId > DKCommonPrivilege::kLastId)
        dkThrow<DKUsageError>(303, kSource, function, DKString(), line);
}

}  // namespace

DKCommonPrivilege::DKCommonPrivilege() {
    std::fill(std::begin(values_), std::end(values_), static_cast<short>(0));
}

DKCommonPrivilege::~DKCommonPrivilege() = default;

void DKCommonPrivilege::setAuthorization(long privilegeId, short value) {
    checkId(privilegeId, "DKCommonPrivilege::setAuthorization");
    if (value < 0 || value > kGrantable)
        dkThrow<DKUsageError>(303, kSource, "DKCommonPrivilege::setAuthorization");
    values_[privilegeId - 1] = value;
}

short DKCommonPrivilege::checkAuthorization(long privilegeId) const {
    checkId(privilegeId, "DKCommonPrivilege::checkAuthorization");
    return values_[privilegeId - 1];
}

int DKCommonPrivilege::hasAdminPrivilege() const {
    if (values_[kAdminPrivilege - 1] == kGrantable)
        return 1;
    for (long id = kFirstAdminPrivilege; id <= kLastAdminPrivilege; ++id)
        if (values_[id - 1] == kGrantable)
            return 1;
    return 0;
}
