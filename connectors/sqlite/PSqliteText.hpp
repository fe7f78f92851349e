// connectors/sqlite/PSqliteText.hpp
#pragma once

// The text index of the SQLite connector: one FTS5 table per entity that has text-searchable
// attributes, named "dk_text_<the entity's lower-case name>_fts", with one column per such attribute.
// The table is an external-content index of the entity table (content_rowid dk_id): it keeps only
// the index and reads the texts from the entity's rows when it needs them, so nothing is stored
// twice and 'rebuild' fills it from the rows. The connector writes it itself, in the write scope
// of the row (SQLite refuses FTS5 tables in triggers while the schema is not trusted), and makes
// it again whenever the entity's text-searchable attributes change. Searches bind the FTS5 query
// text to MATCH, so it never reaches the SQL. Internal to libdkdssqlite.

#include "PCatalogue.hpp"

#include <map>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace dksqlite {

// The dk_attrs column that marks a text-searchable attribute (repository format 2).
inline constexpr const char* kTextSearchColumn = "textsearch";

std::string textTableOf(const std::string& entity);
bool hasTextAttrs(const std::vector<PAttr>& attrs);

// Drops the entity's text table and, when attrs has text-searchable attributes, makes it again
// for them and fills it from the entity's rows. Runs inside the caller's write scope.
void rebuildTextTable(sqlite3* db, const std::string& entity, const std::vector<PAttr>& attrs, const char* source,
                      const char* function);
void dropTextTable(sqlite3* db, const std::string& entity, const char* source, const char* function);
// Sets e.textDeleteSql and e.textInsertSql from its attributes.
void setTextSql(PEntity& e);

// Whether a search the connector renders may read the table name (lower case): a text table of
// one of the entities, or the one table FTS5 reads while such a search is prepared.
bool isTextIndexTable(const std::string& name, const std::map<std::string, std::shared_ptr<PEntity>>& entities);

// The search of entity e for the FTS5 query ?1: its items best first (FTS5's bm25 rank).
std::string textSearchSql(const PEntity& e);
// A condition of a tree over e: the row's text matches ?param in attr (null: in any
// text-searchable attribute).
std::string containsTextSql(const PEntity& e, const PAttr* attr, const std::string& param);
// Reads the FTS5 query text once against the text table of entity, so that a query FTS5 cannot
// read is refused (DKUsageError kMsgBadTextQuery) before any row is fetched.
void checkTextQuery(sqlite3* db, sqlite3_stmt* probe, const std::string& query, const char* source,
                    const char* function);
// The same refusal for rc, the result of a statement that matched query: FTS5 reports text it
// cannot read as SQLITE_ERROR when the statement runs. Other results pass.
void refuseUnreadText(sqlite3* db, int rc, const std::string& query, const char* source, const char* function);
// The probe's SQL. Preparing it also makes the connection open the text table (FTS5 reads its
// settings then), which the guard of a search would refuse.
std::string textProbeSql(const std::string& entity);

}  // namespace dksqlite
