// src/dk/common/admin/dkImportDataSources.cpp
//
// The user exit that imports data sources; its lists are rejected until an exit provides them and
// it keeps no configuration.

#include <dk/dkImportUsers.hpp>

#include "dk/common/admin/dkAdminReject.hpp"

namespace {
constexpr const char* kSource = "dk/common/dkImportDataSources";
}

dkImportDataSources::dkImportDataSources() = default;
dkImportDataSources::~dkImportDataSources() = default;

void dkImportDataSources::setConfiguration(const char*) {}

dkCollection* dkImportDataSources::listDataSources() { dkRejectAdmin(kSource, "dkImportDataSources::listDataSources"); }
DKString* dkImportDataSources::listDataSourceNames(long&) { dkRejectAdmin(kSource, "dkImportDataSources::listDataSourceNames"); }
