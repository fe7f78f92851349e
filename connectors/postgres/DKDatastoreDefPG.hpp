// connectors/postgres/DKDatastoreDefPG.hpp
#pragma once

// The schema objects of the PostgreSQL connector. Internal to libdkdspg: applications reach them
// through dkDatastoreDef, dkEntityDef and dkAttrDef. What they do is the connector kit's
// (PDatastoreDefBase, PEntityDefBase, PAttrDefBase); the catalogue they work on is the
// datastore's (its PSchemaCatalogue).

#include "PPgCatalogue.hpp"

#include <dk/PConnectorKit.hpp>

#include <memory>

class DKDatastorePG;

// The schema of one repository: its entities. Kept by the datastore (datastoreDef()); the
// collections and name arrays its lists return belong to the caller, with the definitions in them.
// One thread at a time, as its datastore.
class DKDatastoreDefPG : public PDatastoreDefBase {
public:
    explicit DKDatastoreDefPG(DKDatastorePG* ds);
    ~DKDatastoreDefPG() override;

private:
    std::unique_ptr<PEntityDefBase> newEntity() const override;
    std::unique_ptr<dkAttrDef> newAttr() const override;
};

// An entity definition: attributes and sub-entities kept until add() stores them in one
// transaction (PEntityDefBase).
class DKEntityDefPG : public PEntityDefBase {
public:
    explicit DKEntityDefPG(DKDatastorePG* ds);
    ~DKEntityDefPG() override;

private:
    std::unique_ptr<PEntityDefTree> blank() const override;
    std::unique_ptr<dkAttrDef> newAttr(dkEntityDef* entity) const override;
};

// An attribute definition; add() and del() store or drop it in its entity at once.
class DKAttrDefPG : public PAttrDefBase {
public:
    DKAttrDefPG(DKDatastorePG* ds, dkEntityDef* entity);
    ~DKAttrDefPG() override;
};
