// connectors/sqlite/DKDatastoreDefSQLITE.hpp
#pragma once

// The schema objects of the SQLite connector. Internal to libdkdssqlite: applications reach them
// through dkDatastoreDef, dkEntityDef and dkAttrDef. What they do is the connector kit's
// (PDatastoreDefBase, PEntityDefBase, PAttrDefBase); the catalogue they work on is the
// datastore's (its PSchemaCatalogue).

#include "PCatalogue.hpp"

#include <dk/PConnectorKit.hpp>

#include <memory>

class DKDatastoreSQLITE;

// The schema of one repository: its entities. Kept by the datastore (datastoreDef()); the
// collections and name arrays its lists return belong to the caller, with the definitions in them.
// One thread at a time, as its datastore.
class DKDatastoreDefSQLITE : public PDatastoreDefBase {
public:
    explicit DKDatastoreDefSQLITE(DKDatastoreSQLITE* ds);
    ~DKDatastoreDefSQLITE() override;

private:
    std::unique_ptr<PEntityDefBase> newEntity() const override;
    std::unique_ptr<dkAttrDef> newAttr() const override;
};

// An entity definition: attributes and sub-entities kept until add() stores them in one
// transaction (PEntityDefBase). A sub-entity's items are the children of its parent's items.
class DKEntityDefSQLITE : public PEntityDefBase {
public:
    explicit DKEntityDefSQLITE(DKDatastoreSQLITE* ds);
    ~DKEntityDefSQLITE() override;

private:
    std::unique_ptr<PEntityDefTree> blank() const override;
    std::unique_ptr<dkAttrDef> newAttr(dkEntityDef* entity) const override;
};

// An attribute definition; add() and del() store or drop it in its entity at once.
class DKAttrDefSQLITE : public PAttrDefBase {
public:
    DKAttrDefSQLITE(DKDatastoreSQLITE* ds, dkEntityDef* entity);
    ~DKAttrDefSQLITE() override;
};
