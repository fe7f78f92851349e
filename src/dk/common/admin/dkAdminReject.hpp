// src/dk/common/admin/dkAdminReject.hpp
#pragma once

// The refusal of every administration operation a connector has not provided: DKUsageError 341
// whose text is the catalogue text followed by `operation` ("dkUserManagement::addUser"),
// located at `source` ("dk/common/dkUserManagement") under the same operation name.
[[noreturn]] void dkRejectAdmin(const char* source, const char* operation,
                                unsigned long line = __builtin_LINE());
