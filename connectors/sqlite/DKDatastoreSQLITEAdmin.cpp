// connectors/sqlite/DKDatastoreSQLITEAdmin.cpp
//
// The library's administration managers on an SQLite repository, reached as
// datastoreDef()->datastoreAdmin(): the connector kit's managers (<dk/PRepositoryManagers.hpp>)
// over the datastore's administration extension (DKAdminSQLITE), so every rule is kept in one
// place; configuration and workflow management keep the base's refusals.

#include "DKDatastoreSQLITE.hpp"

#include <dk/PRepositoryManagers.hpp>

#include <memory>

using namespace dksqlite;

namespace {

// The managers' own refusals, with this connector's numbers.
constexpr PManagerMessages kManagerMessages{kDatastoreSource, kMsgBadPrivilege,   kMsgBadPrincipal,    kMsgNoPrincipal,
                                            kMsgExists,       kMsgNoPrivilegeSet, kMsgNoPrivilegeGroup};

}  // namespace

dkDatastoreAdmin* DKDatastoreSQLITE::datastoreAdminObject() {
    if (!admin_) admin_ = newAdminExtension();
    if (!datastoreAdmin_)
        datastoreAdmin_ = PRepositoryManagers::create(this, *static_cast<DKAdminSQLITE*>(admin_.get()), kManagerMessages, "SQLITE");
    return datastoreAdmin_.get();
}
