// connectors/postgres/DKDatastoreDefPG.cpp
//
// The schema objects of the PostgreSQL connector: the datastore definition (entities), entity
// definitions and attribute definitions, filled from the datastore's catalogue cache and written
// back through the datastore, which changes the catalogue and the entity tables together. The
// connector adds its messages, its name rules and its classes to the kit's objects.

#include "DKDatastoreDefPG.hpp"
#include "DKDatastorePG.hpp"

using namespace dkpg;

namespace {

constexpr const char* kSource = "connectors/postgres/DKDatastoreDefPG";

// The catalogue moves the attributes after a dropped one up one place.
const PSchemaRules kRules{{kSource, kMsgNoAttr, kMsgAttrExists, kMsgBadName, kMsgBadType, isValidName, isStorableType},
                         {kSource, kMsgNoEntity, kMsgEntityExists, kMsgBadName, kMsgBadObject, isValidName},
                         "DKDatastoreDefPG",
                         "DKEntityDefPG",
                         "DKAttrDefPG",
                         true};

}  // namespace

DKDatastoreDefPG::DKDatastoreDefPG(DKDatastorePG* ds) : PDatastoreDefBase(ds, kRules) {
    setDatastoreAdmin(ds->datastoreAdminObject());   // kept by the datastore
}
DKDatastoreDefPG::~DKDatastoreDefPG() = default;

std::unique_ptr<PEntityDefBase> DKDatastoreDefPG::newEntity() const {
    return std::make_unique<DKEntityDefPG>(static_cast<DKDatastorePG*>(getDatastore()));
}

std::unique_ptr<dkAttrDef> DKDatastoreDefPG::newAttr() const {
    return std::make_unique<DKAttrDefPG>(static_cast<DKDatastorePG*>(getDatastore()), nullptr);
}

DKEntityDefPG::DKEntityDefPG(DKDatastorePG* ds) : PEntityDefBase(ds, kRules) {}
DKEntityDefPG::~DKEntityDefPG() = default;

std::unique_ptr<PEntityDefTree> DKEntityDefPG::blank() const {
    return std::make_unique<DKEntityDefPG>(static_cast<DKDatastorePG*>(getDatastore()));
}

std::unique_ptr<dkAttrDef> DKEntityDefPG::newAttr(dkEntityDef* entity) const {
    return std::make_unique<DKAttrDefPG>(static_cast<DKDatastorePG*>(getDatastore()), entity);
}

DKAttrDefPG::DKAttrDefPG(DKDatastorePG* ds, dkEntityDef* entity) : PAttrDefBase(ds, entity, kRules) {}
DKAttrDefPG::~DKAttrDefPG() = default;
