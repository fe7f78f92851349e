// connectors/sqlite/DKDatastoreDefSQLITE.cpp
//
// The schema objects of the SQLite connector: the datastore definition (entities), entity
// definitions and attribute definitions, filled from the repository's catalogue tables and
// written back through the datastore, which keeps the catalogue and the entity tables in step.
// The connector adds its messages, its name rules and its classes to the kit's objects.

#include "DKDatastoreDefSQLITE.hpp"
#include "DKDatastoreSQLITE.hpp"
#include "PSqliteValues.hpp"

using namespace dksqlite;

namespace {

constexpr const char* kSource = "connectors/sqlite/DKDatastoreDefSQLITE";

// The catalogue keeps the positions of the attributes after a dropped one.
const PSchemaRules kRules{{kSource, kMsgNoAttr, kMsgAttrExists, kMsgBadName, kMsgBadType, isValidName, isStorableType},
                         {kSource, kMsgNoEntity, kMsgEntityExists, kMsgBadName, kMsgBadObject, isValidName},
                         "DKDatastoreDefSQLITE",
                         "DKEntityDefSQLITE",
                         "DKAttrDefSQLITE",
                         false};

}  // namespace

DKDatastoreDefSQLITE::DKDatastoreDefSQLITE(DKDatastoreSQLITE* ds) : PDatastoreDefBase(ds, kRules) {
    setDatastoreAdmin(ds->datastoreAdminObject());   // kept by the datastore
}
DKDatastoreDefSQLITE::~DKDatastoreDefSQLITE() = default;

std::unique_ptr<PEntityDefBase> DKDatastoreDefSQLITE::newEntity() const {
    return std::make_unique<DKEntityDefSQLITE>(static_cast<DKDatastoreSQLITE*>(getDatastore()));
}

std::unique_ptr<dkAttrDef> DKDatastoreDefSQLITE::newAttr() const {
    return std::make_unique<DKAttrDefSQLITE>(static_cast<DKDatastoreSQLITE*>(getDatastore()), nullptr);
}

DKEntityDefSQLITE::DKEntityDefSQLITE(DKDatastoreSQLITE* ds) : PEntityDefBase(ds, kRules) {}
DKEntityDefSQLITE::~DKEntityDefSQLITE() = default;

std::unique_ptr<PEntityDefTree> DKEntityDefSQLITE::blank() const {
    return std::make_unique<DKEntityDefSQLITE>(static_cast<DKDatastoreSQLITE*>(getDatastore()));
}

std::unique_ptr<dkAttrDef> DKEntityDefSQLITE::newAttr(dkEntityDef* entity) const {
    return std::make_unique<DKAttrDefSQLITE>(static_cast<DKDatastoreSQLITE*>(getDatastore()), entity);
}

DKAttrDefSQLITE::DKAttrDefSQLITE(DKDatastoreSQLITE* ds, dkEntityDef* entity) : PAttrDefBase(ds, entity, kRules) {}
DKAttrDefSQLITE::~DKAttrDefSQLITE() = default;
