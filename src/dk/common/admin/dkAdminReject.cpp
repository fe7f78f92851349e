// src/dk/common/admin/dkAdminReject.cpp
//
// The one refusal shared by the administration base classes, so that each of their sources only
// names its location and its operations.

#include "dk/common/admin/dkAdminReject.hpp"

#include <dk/dkThrow.hpp>

void dkRejectAdmin(const char* source, const char* operation, unsigned long line) {
    dkThrow<DKUsageError>(341, source, operation, DKString(operation), line);
}
