// connectors/postgres/DKAdminPG.hpp
#pragma once

// The administration interface of a PostgreSQL repository, reached without linking libdkdspg.so:
//
//     auto* a = static_cast<DKAdminPG*>(ds->getExtension(DKAdminPG::kName));
//
// The operations and their rules are the connector-neutral PRepositoryAdmin's. A user is a
// server role, a member of the repository's own role; the server keeps its password (only as a
// SCRAM verifier) and checks it at logon. Users are made, changed and dropped by functions of the
// repository that run with its rights, so no user ever holds CREATEROLE. A group is a role of the
// repository that its members are granted; the administrators group is the repository's
// administrators role. Privilege sets, privilege groups and ACLs are rows of the repository's
// tables, readable by its users and written by its administrators alone.

#include <dk/PRepositoryAdmin.hpp>

class DK_API DKAdminPG : public PRepositoryAdmin {
public:
    static constexpr const char* kName = "PG_ADMIN";
    ~DKAdminPG() override {}

protected:
    DKAdminPG() {}
};
