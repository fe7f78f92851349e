// connectors/sqlite/DKDatastoreSQLITEText.cpp
//
// Text search in DKDatastoreSQLITE: queries of language 1, FTS5 query text matched against the
// text index of every entity that has one (or of the entity the option "Entity" names), and the
// repository format that brings the index: a format 1 repository gets the text-searchable column
// of dk_attrs at its first writing connect, and an entity whose text table is missing gets it made
// and filled from its rows.

#include "DKDatastoreSQLITE.hpp"
#include "DKResultSetCursorSQLITE.hpp"
#include "PSqliteStatement.hpp"
#include "PSqliteText.hpp"
#include "PSqliteValues.hpp"

#include <dk/DKException.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/dkThrow.hpp>

#include <sqlite3.h>

#include <cstring>

using namespace dksqlite;

namespace {
constexpr const char* kSource = kDatastoreSource;   // every operation of the datastore is located there

// The entities with a text table that none of them has yet (their names as created).
constexpr const char* kMissingTables =
    "SELECT e.name FROM dk_entities e WHERE EXISTS (SELECT 1 FROM dk_attrs a WHERE a.entity = e.name AND"
    " a.textsearch <> 0) AND NOT EXISTS (SELECT 1 FROM sqlite_schema t WHERE t.name = 'dk_text_' || lower(e.name) || '_fts')";
}  // namespace

void DKDatastoreSQLITE::upgradeRepository(const std::string& format, const char* function) {
    textColumn_ = format != "1";
    if (readOnly_) return;
    // Nothing is locked or written while the repository is as it should be.
    if (textColumn_) {
        PStmt s = prepare(db_, std::string("SELECT count(*) FROM (") + kMissingTables + ")", kSource, function);
        if (stepCount(db_, s.get(), kSource, function, "reading the text tables") == 0) return;
    }
    PWriteScope scope(*this, function);
    PStmt current = prepare(db_, "SELECT count(*) FROM dk_repository WHERE key = 'format' AND value = '1'", kSource, function);
    // Another connection may have upgraded it while this one waited for the lock.
    if (stepCount(db_, current.get(), kSource, function, "reading the format") != 0) {
        exec(db_,
             "ALTER TABLE dk_attrs ADD COLUMN textsearch INTEGER NOT NULL DEFAULT 0;"
             "UPDATE dk_repository SET value = '2' WHERE key = 'format'",
             kSource, function);
    }
    textColumn_ = true;
    schemaChanged();
    loadEntities(function);
    std::vector<std::string> missing;
    {
        PStmt s = prepare(db_, kMissingTables, kSource, function);
        while (sqlite3_step(s.get()) == SQLITE_ROW) missing.push_back(textColumn(s.get(), 0));
    }
    for (const std::string& name : missing) rebuildTextTable(db_, name, entity(name.c_str(), function)->attrs, kSource, function);
    scope.commit();
    schemaChanged();
}

dkResultSetCursor* DKDatastoreSQLITE::executeText(const char* query, const DKNVPair* params, const char* function) {
    sqlite3* d = db(function);
    if (query == nullptr) dkThrow<DKUsageError>(kMsgQueryRefused, kSource, function, DKString("no query"));
    if (!inTransaction_) refreshIfSchemaChanged(function);
    loadEntities(function);
    const std::string only = PConnectorKit::textQueryEntity(params, kMsgBadParams, kSource, function);
    std::vector<std::shared_ptr<PEntity>> searched;
    if (!only.empty()) {
        searched.push_back(entity(only.c_str(), function));
        if (searched[0]->textInsertSql.empty())
            dkThrow<DKUsageError>(kMsgNoAttr, kSource, function, DKString((only + " has no text-searchable attribute").c_str()));
    } else {
        for (auto& [key, e] : entities_)
            if (!e->textInsertSql.empty()) searched.push_back(e);
    }
    const std::string text(query, std::strlen(query));
    std::vector<PStmt> statements;
    std::vector<PTreeQuery> parts;   // each statement's one value, the query text, for cardinality()
    for (const auto& e : searched) {
        // FTS5 reads the query text only when a statement runs. The first entity's statement
        // takes its first step here; the others are read once by a probe that stops at once.
        sqlite3_stmt* probe = cached(textProbeSql(e->name), function);
        if (!statements.empty()) checkTextQuery(d, probe, text, kSource, function);
        std::string sql = textSearchSql(*e);
        statements.emplace_back(prepareGuarded(sql.c_str(), function, kReadTextIndex));
        bindText(statements.back().get(), 1, text);
        PTreeValue value;
        value.text = text;
        value.asText = true;
        parts.push_back(PTreeQuery{e, std::move(sql), {std::move(value)}});
    }
    // A repository without a text index finds nothing.
    if (statements.empty()) return new DKResultSetCursorSQLITE(this, prepareGuarded("SELECT NULL WHERE 0", function), nullptr, PBinding{});
    std::unique_ptr<DKResultSetCursorSQLITE> cursor(new DKResultSetCursorSQLITE(this, statements[0].release(), searched[0], PBinding{}));
    for (size_t i = 1; i < searched.size(); ++i) cursor->addPart(statements[i].release(), searched[i]);
    cursor->keepValues(std::move(parts), kReadTextIndex);
    // Other failures of that step (a time limit, a damaged file) come with the first fetch.
    refuseUnreadText(d, cursor->readAhead(), text, kSource, function);
    return cursor.release();
}
