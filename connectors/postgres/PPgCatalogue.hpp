// connectors/postgres/PPgCatalogue.hpp
#pragma once

// The repository's catalogue as the PostgreSQL connector keeps it in memory: entities with their
// attributes, the DDO shape every item of an entity shares, and the SQL of the item operations.
// Read from the tables dk_entities and dk_attrs (DKDatastorePGCatalogue.cpp). Internal to
// libdkdspg.

#include <dk/DKDDO.hpp>
#include <dk/DKPid.hpp>
#include <dk/PConnectorKit.hpp>

#include <memory>
#include <string>
#include <vector>

namespace dkpg {

inline constexpr const char* kPidType = "PG";       // the datastore type of every pid
inline constexpr const char* kIdColumn = "dk_id";   // the row id column of every entity table

// One attribute as the catalogue holds it. Its column is its name in lower case.
using PAttr = PCatalogueAttr;
using ::PEntityShape;   // the DDO shape every item of an entity shares

// An entity to be made: what the schema objects hand the catalogue (DKDatastorePG::storeEntities).
using ::PNewEntity;

// One entity as the catalogue holds it (the kit's entry), with its DDO shape and the SQL of its
// operations. Its table is its name in lower case. Shared (by shared_ptr) between the datastore's
// cache and whoever uses it, so an operation keeps working when the cache is cleared meanwhile.
struct PEntity : PCatalogueEntity {
    unsigned int table = 0;   // the oid of its table
    std::unique_ptr<PEntityShape> shape;
    // $1.. the attributes, RETURNING the row id; $1 the row id (its columns after dk_id); $1 the row id.
    std::string insertSql, selectSql, deleteSql;

    // Whether the item id of ddo is the "CHILD" item of one of the sub-entities.
    bool hasChild(const DKDDOBase& ddo, unsigned short id) const;
    DKDDODef* shapeDefinition();   // rebuilt when a DDO added items of its own to the shared one
    // The pid of the item rowId (none for 0) of this entity in the named repository. The pid is
    // kept and changed on the next call: callers copy it (DKDDO and setPid take clones).
    const DKPid& pidFor(const std::string& repository, long rowId);
    // Fills names and the SQL from attrs (after attrs changed).
    void prepare();

private:
    PItemPid pid_;
};

}  // namespace dkpg
