// include/dk/PRepositoryManagers.hpp
#pragma once

// The library's administration managers (datastoreDef()->datastoreAdmin()) for a connector that
// keeps users and rights behind a PRepositoryAdmin: user management, authorization management
// and the base access control, each working through that interface. The connector keeps the
// object its schema object hands out and the PRepositoryAdmin it is made on, which must outlive
// it; the datastore's thread only, as the datastore.

#include <dk/PRepositoryAdmin.hpp>
#include <dk/dkDatastoreDef.hpp>
#include <dk/dkExport.hpp>

#include <memory>

class dkDatastore;

// The connector's message numbers for the managers' own refusals, and the source they carry.
struct PManagerMessages {
    const char* source;
    long badPrivilege;       // a privilege not of the catalogue, or a privilege text not valid
    long badPrincipal;       // a definition or entry not valid, or not made by these managers
    long noPrincipal;        // no such user or group
    long exists;             // a privilege set or group of the name is stored already
    long noPrivilegeSet;
    long noPrivilegeGroup;
};

struct DK_API PRepositoryManagers {
    // The managers of ds over admin; type names the access control ("SQLITE", "PG").
    static std::shared_ptr<dkDatastoreAdmin> create(dkDatastore* ds, PRepositoryAdmin& admin, const PManagerMessages& messages,
                                                    const char* type);
};
