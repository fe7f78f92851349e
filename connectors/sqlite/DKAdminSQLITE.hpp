// connectors/sqlite/DKAdminSQLITE.hpp
#pragma once

// The administration interface of an SQLite repository, reached without linking libdkdssqlite.so:
//
//     auto* a = static_cast<DKAdminSQLITE*>(ds->getExtension(DKAdminSQLITE::kName));
//
// The operations and their rules are the connector-neutral PRepositoryAdmin's; the SQLite
// connector keeps the passwords of its users as salted hashes in the repository.

#include <dk/PRepositoryAdmin.hpp>

class DK_API DKAdminSQLITE : public PRepositoryAdmin {
public:
    static constexpr const char* kName = "SQLITE_ADMIN";
    ~DKAdminSQLITE() override {}

protected:
    DKAdminSQLITE() {}
};
