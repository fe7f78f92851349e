// connectors/sqlite/PSqliteText.cpp
//
// The text index of the SQLite connector: the SQL of an entity's FTS5 table (made, filled, dropped),
// of the two writes that keep it in step with one row, and of the searches that read it. The
// index is external-content: removing a row's entry needs the texts it was indexed with, so the
// connector removes it before the row changes and adds it again after, both read from the row.

#include "PSqliteText.hpp"
#include "PSqliteConfig.hpp"
#include "PSqliteError.hpp"
#include "PSqliteStatement.hpp"
#include "PSqliteValues.hpp"

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <sqlite3.h>

#include <cstring>

namespace dksqlite {

namespace {

// The entity's name between these: the suffix keeps every text table's name apart from the
// tables FTS5 makes beside another one ("<table>_data", "<table>_idx" ...).
constexpr const char* kPrefix = "dk_text_";
constexpr const char* kSuffix = "_fts";

// The quoted names of the text-searchable attributes, joined by sep, each after prefix.
std::string textColumns(const std::vector<PAttr>& attrs, const std::string& prefix, const char* sep = ", ") {
    std::string out;
    for (const PAttr& a : attrs)
        if (a.textSearchable) out += (out.empty() ? "" : sep) + prefix + quoteIdent(a.name);
    return out;
}

}  // namespace

std::string textTableOf(const std::string& entity) { return kPrefix + lowerName(entity.c_str()) + kSuffix; }

bool hasTextAttrs(const std::vector<PAttr>& attrs) {
    for (const PAttr& a : attrs)
        if (a.textSearchable) return true;
    return false;
}

void dropTextTable(sqlite3* db, const std::string& entity, const char* source, const char* function) {
    exec(db, ("DROP TABLE IF EXISTS " + quoteIdent(textTableOf(entity))).c_str(), source, function);
}

void rebuildTextTable(sqlite3* db, const std::string& entity, const std::vector<PAttr>& attrs, const char* source,
                      const char* function) {
    dropTextTable(db, entity, source, function);
    if (!hasTextAttrs(attrs)) return;
    // Entity names are checked identifiers (letters, digits, _), so they may stand in the
    // options' quotes as they are.
    const std::string table = quoteIdent(textTableOf(entity));
    exec(db,
         ("CREATE VIRTUAL TABLE " + table + " USING fts5(" + textColumns(attrs, "") + ", content='" + entity +
          "', content_rowid='dk_id'); INSERT INTO " + table + "(" + table + ") VALUES('rebuild')")
             .c_str(),
         source, function);
}

void setTextSql(PEntity& e) {
    e.textDeleteSql.clear();
    e.textInsertSql.clear();
    if (!hasTextAttrs(e.attrs)) return;
    const std::string table = quoteIdent(textTableOf(e.name));
    const std::string from = " FROM main." + quoteIdent(e.name) + " WHERE dk_id = ?1";
    e.textDeleteSql = "INSERT INTO " + table + "(" + table + ", rowid, " + textColumns(e.attrs, "") +
                      ") SELECT 'delete', dk_id, " + textColumns(e.attrs, "") + from;
    e.textInsertSql = "INSERT INTO " + table + "(rowid, " + textColumns(e.attrs, "") + ") SELECT dk_id, " +
                      textColumns(e.attrs, "") + from;
}

bool isTextIndexTable(const std::string& name, const std::map<std::string, std::shared_ptr<PEntity>>& entities) {
    const size_t prefix = std::strlen(kPrefix), suffix = std::strlen(kSuffix);
    if (name.size() <= prefix + suffix || name.compare(0, prefix, kPrefix) != 0 ||
        name.compare(name.size() - suffix, suffix, kSuffix) != 0)
        return false;
    auto it = entities.find(name.substr(prefix, name.size() - prefix - suffix));
    return it != entities.end() && hasTextAttrs(it->second->attrs);
}

std::string textSearchSql(const PEntity& e) {
    const std::string table = quoteIdent(textTableOf(e.name));
    return "SELECT d.* FROM " + table + " JOIN " + quoteIdent(e.name) + " d ON d.dk_id = " + table + ".rowid WHERE " +
           table + " MATCH ?1 ORDER BY " + table + ".rank";
}

std::string containsTextSql(const PEntity& e, const PAttr* attr, const std::string& param) {
    // A column on the left of MATCH restricts the whole query text to that column, whatever
    // the text holds.
    const std::string table = quoteIdent(textTableOf(e.name));
    return "dk_id IN (SELECT rowid FROM " + table + " WHERE " + (attr ? quoteIdent(attr->name) : table) + " MATCH " +
           param + ")";
}

std::string textProbeSql(const std::string& entity) {
    const std::string table = quoteIdent(textTableOf(entity));
    return "SELECT 1 FROM " + table + " WHERE " + table + " MATCH ?1 AND rowid = 0";
}

void checkTextQuery(sqlite3* db, sqlite3_stmt* probe, const std::string& query, const char* source,
                    const char* function) {
    PResetOnExit r{probe};
    bindText(probe, 1, query);
    // The row id 0 is never an item's, so FTS5 reads the query and stops at its first match.
    const int rc = sqlite3_step(probe);
    if (rc == SQLITE_ROW || rc == SQLITE_DONE) return;
    refuseUnreadText(db, rc, query, source, function);
    throwSqlite(db, rc, source, function, "reading the text query");
}

void refuseUnreadText(sqlite3* db, int rc, const std::string& query, const char* source, const char* function) {
    if ((rc & 0xff) == SQLITE_ERROR)
        dkThrowServer<DKUsageError>(kMsgBadTextQuery, source, function,
                                    DKString(sqlite3_errmsg(db)) + ": " + DKString(query.c_str(), query.size()) + " ",
                                    "", sqlite3_extended_errcode(db));
}

}  // namespace dksqlite
