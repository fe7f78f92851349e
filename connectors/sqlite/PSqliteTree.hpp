// connectors/sqlite/PSqliteTree.hpp
#pragma once

// Query trees (DKCQExpr) as SQL statements, one per entity table searched: the tree's structure becomes
// the WHERE clause, every value a bound parameter read as its attribute's type. Internal to
// libdkdssqlite.

#include "PCatalogue.hpp"

#include <dk/PTemplateKit.hpp>

#include <dk/DKAny.hpp>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class DKCQExpr;
struct sqlite3_stmt;

namespace dksqlite {

// One value of a tree, ready to bind: a typed value, or a text bound as it stands (patterns of
// LIKE, and the stored text forms of dates, times and timestamps).
struct PTreeValue {
    DKAny value;
    unsigned short type = 0;
    std::string text;
    bool asText = false;
    std::string textEntity;   // set for FTS5 query text matched in that entity's text table
};

// The statement of a tree: SELECT * over the entity's table, values as ?1, ?2 ...
struct PTreeQuery {
    std::shared_ptr<PEntity> entity;
    std::string sql;
    std::vector<PTreeValue> values;
};

// The entity of a name, or the datastore's DKUsageError kMsgNoEntity.
using PEntityLookup = std::function<std::shared_ptr<PEntity>(const std::string& name)>;

// The native names of a mapping (the connector kit's); it refuses (throws for) one that does not
// exist or cannot be translated.
using PMappingLookup = std::function<PMappingNames(const std::string& name)>;

// The statements of tree, one per entity it searches. A sub-query that names a mapping (or asks
// for translation) names the mapped entity and mapped attributes, which become the native ones. Leaves are parametric (type 3, or unset in
// both the leaf and the compound); each sub-query's entities are searched with its term, and a
// leaf matches the union of them. AND and NOT join conditions of one entity, OR any. Text leaves (type 1) are read
// the same way; CONTAINS_TEXT matches FTS5 query text in a text-searchable attribute (no name: in any of
// them). Refusals: DKUsageError 303 (shape, operators, values, parameters, attributes that are not
// text-searchable), kMsgBadQueryLanguage (other leaf types, text in content),
// kMsgNoEntity, kMsgNoAttr, kMsgValueMismatch. Nothing of a value reaches the SQL text.
std::vector<PTreeQuery> compileTree(const DKCQExpr& tree, const PEntityLookup& lookup, const char* source,
                                    const char* function, const PMappingLookup& mappings = nullptr);
void bindTree(sqlite3_stmt* stmt, const PTreeQuery& query, const char* source, const char* function);

}  // namespace dksqlite
