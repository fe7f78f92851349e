// connectors/sqlite/PCatalogue.hpp
#pragma once

// The repository's catalogue as the connector keeps it in memory: entities with their attributes,
// the DDO shape every item of an entity shares, and the SQL of the item operations. Read from the
// tables dk_entities and dk_attrs by the datastore (DKDatastoreSQLITECatalogue.cpp). Internal to
// libdkdssqlite.

#include <dk/DKDDO.hpp>
#include <dk/DKPid.hpp>
#include <dk/PConnectorKit.hpp>
#include <dk/PMemberKit.hpp>

#include <memory>
#include <string>
#include <vector>

struct sqlite3_stmt;

namespace dksqlite {

// One attribute as the catalogue holds it; a text-searchable one is indexed in the entity's text
// table (PSqliteText.hpp).
using PAttr = PCatalogueAttr;
using ::PEntityShape;   // the DDO shape every item of an entity shares

// The entity type bits that give an entity's items membership, and the data item each adds to its
// DDOs after the attributes: the connector kit's (PMemberKit), which the other connectors share.
using PMemberKind = PMemberKit::Kind;
using PMemberItem = PMemberKit::Item;
inline constexpr PMemberKind kMemberParts = PMemberKit::parts, kMemberFolder = PMemberKit::folder,
                             kMemberLinks = PMemberKit::links;
inline constexpr const auto& kMemberItems = PMemberKit::items;
// A parent entity's DDOs hold, after the membership items, one item per sub-entity in the
// namespace "CHILD", named like the sub-entity, holding a DKChildCollection.
inline constexpr const char* kChildNameSpace = "CHILD";
inline constexpr unsigned short kChildItemType = 1072;

// One entity as the catalogue holds it (the kit's entry, its sub-entities in id order: the DDOs'
// "CHILD" items), with its DDO shape and the SQL of its operations. Shared (by shared_ptr) between the datastore's cache and the cursors reading it, so a cursor
// keeps working after the cache was cleared.
struct PEntity : PCatalogueEntity {
    std::unique_ptr<PEntityShape> shape;
    std::string insertSql, selectSql, deleteSql, existsSql;
    // The text index's writes of one row (?1 its row id): empty when no attribute is
    // text-searchable (PSqliteText.hpp).
    std::string textDeleteSql, textInsertSql;
    // Their statements, prepared once per connection: held by the datastore's statement cache,
    // which clears these when it finalises them.
    sqlite3_stmt* insertStmt = nullptr;
    sqlite3_stmt* selectStmt = nullptr;
    sqlite3_stmt* deleteStmt = nullptr;

    // The items its type bits and sub-entities give after the attributes.
    std::size_t memberItemCount() const;
    bool segmented() const { return PMemberKit::segmented(type); }
    bool childItem(const char* name) const;   // a sub-entity's item
    // The membership item of kind name, or null when the entity has no such item.
    const PMemberItem* memberItem(const char* name) const;
    DKDDODef* shapeDefinition();   // rebuilt when a DDO added items of its own to the shared one
    // The pid of the item rowId (none for 0) of this entity in the named repository. The pid is
    // kept and changed on the next call: callers copy it (DKDDO and setPid take clones).
    const DKPid& pidFor(const std::string& repository, long rowId);

private:
    PItemPid pid_;
};

}  // namespace dksqlite
