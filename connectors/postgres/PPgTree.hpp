// connectors/postgres/PPgTree.hpp
#pragma once

// Query trees (DKCQExpr) as statements of the server, one per entity table searched: the tree's
// structure becomes the WHERE clause, every value a parameter $n cast to its attribute's column
// type. Internal to libdkdspg.

#include "PPgCatalogue.hpp"
#include "PPgValues.hpp"

#include <dk/PTemplateKit.hpp>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class DKCQExpr;

namespace dkpg {

// Message numbers of trees and text search (the connector's range 9230-9239).
inline constexpr long kMsgTreeLanguage = 9230;   // a leaf of a language trees do not take

// The statement of one entity of a tree: SELECT * over its table, in row id order, with the
// values of its parameters $1, $2 ... in order.
struct PTreeQuery {
    std::shared_ptr<PEntity> entity;
    std::string sql;
    PParams params;
};

// The values of statements being written: mark() stands for a value in the SQL until number()
// makes the SQL a statement whose parameters $1, $2 ... are the marked values in order of
// appearance (a value marked once and written twice is bound twice). One thread at a time.
class PValueMarks {
public:
    std::string mark(std::string value);
    void number(const std::string& sql, PTreeQuery& into) const;

private:
    std::vector<std::string> values_;   // by mark number
};

// The entity of a name, or the datastore's DKUsageError kMsgNoEntity.
using PEntityLookup = std::function<std::shared_ptr<PEntity>(const std::string& name)>;

// The native names of a mapping; it refuses (throws for) one that does not exist or cannot be
// translated.
using PMappingLookup = std::function<PMappingNames(const std::string& name)>;

// The statements of tree, one per entity it searches, in the order of the entities' lower-case
// names. Leaves are parametric or text (type 3 or 1, or unset in both the leaf and the compound);
// each sub-query's entities are searched with its term. AND and NOT join conditions of one
// entity, OR any. Values are read as the type of the attribute they are compared with, quoted or
// not; a bare NULL is the null test of == and <>, :NAME a parameter of the sub-query or its leaf.
// CONTAINS_TEXT matches query text (PPgText.hpp) in a text-searchable attribute, or in any of
// them when it names none. Refusals: DKUsageError 303 (shape, operators, values, parameters),
// kMsgTreeLanguage (other leaf types, text in content), kMsgNoEntity, kMsgNoAttr,
// kMsgValueMismatch, kMsgValueRefused, kMsgBadTextQuery. Nothing of a value reaches the SQL text.
// A sub-query that names a mapping (or asks for translation) names the mapped entity and mapped
// attributes, which mappings turns into the native ones; without mappings it is refused.
std::vector<PTreeQuery> compileTree(const DKCQExpr& tree, const PEntityLookup& lookup, const char* source,
                                    const char* function, const PMappingLookup& mappings = nullptr);

}  // namespace dkpg
