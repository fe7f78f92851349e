// connectors/postgres/DKDatastorePGSearch.cpp
//
// Query trees, text queries and query objects of DKDatastorePG. A tree becomes one statement per
// entity it searches (PPgTree.hpp), a text query one per entity with text-searchable attributes
// (PPgText.hpp), their values bound as parameters; each runs on the same READ ONLY path under
// statement_timeout as the SQL queries, through the same cursor, and the cursors of several
// entities are read one after the other.

#include "DKDatastorePG.hpp"
#include "DKResultSetCursorPG.hpp"
#include "DKResultSetCursorPGParts.hpp"
#include "PPgText.hpp"
#include "PPgTree.hpp"

#include <dk/DKException.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/dkQuery.hpp>
#include <dk/dkThrow.hpp>

using namespace dkpg;

namespace {
constexpr const char* kSource = kDatastoreSource;
}  // namespace

dkResultSetCursor* DKDatastorePG::cursorOver(std::vector<PTreeQuery>& parts) {
    std::vector<std::unique_ptr<dkResultSetCursor>> cursors;
    for (PTreeQuery& q : parts) {
        cursors.push_back(std::make_unique<DKResultSetCursorPG>(this, std::move(q.sql), std::move(q.params)));
        cursors.back()->open();
    }
    if (cursors.size() == 1) return cursors.front().release();
    return new DKResultSetCursorPGParts(std::move(cursors));
}

dkResultSetCursor* DKDatastorePG::execute(DKCQExpr* expression) {
    static const char* const fn = "DKDatastorePG::execute";
    DKTraceScope t(trace_, fn, this);
    if (expression == nullptr) dkThrow<DKUsageError>(303, kSource, fn, DKString("no tree"));
    conn(fn);
    std::vector<PTreeQuery> parts =
        compileTree(*expression, [&](const std::string& name) { return entity(name.c_str(), fn); }, kSource, fn,
                    [&](const std::string& mapping) { return nativeNames(mapping, fn); });
    return cursorOver(parts);
}

dkResultSetCursor* DKDatastorePG::executeText(const char* query, const DKNVPair* params, const char* function) {
    conn(function);
    if (query == nullptr) dkThrow<DKUsageError>(kMsgBadTextQuery, kSource, function, DKString("no query"));
    const std::string only = PConnectorKit::textQueryEntity(params, kMsgBadParams, kSource, function);
    std::vector<std::shared_ptr<PEntity>> searched;
    if (!only.empty()) {
        searched.push_back(entity(only.c_str(), function));
    } else {
        for (const auto& e : entitiesInOrder(function))
            if (hasTextAttrs(*e)) searched.push_back(e);
    }
    std::vector<PTreeQuery> parts;
    PValueMarks marks;
    for (const auto& e : searched) {
        const PTextMatch m = textMatch(query, *e, nullptr, marks, kSource, function);
        parts.emplace_back();
        parts.back().entity = e;
        marks.number("SELECT * FROM public." + quoteIdent(lowerName(e->name.c_str())) + " WHERE " + m.condition +
                         " ORDER BY " + m.rank + " DESC, " + kIdColumn,
                     parts.back());
    }
    // A repository without text-searchable attributes finds nothing.
    if (parts.empty()) {
        parts.emplace_back();
        parts.back().sql = "SELECT NULL WHERE false";
    }
    return cursorOver(parts);
}

DKAny DKDatastorePG::evaluate(DKCQExpr* expression) { return PConnectorKit::readAll(execute(expression), *this); }

dkQuery* DKDatastorePG::createQuery(DKCQExpr* expression) {
    static const char* const fn = "DKDatastorePG::createQuery";
    DKTraceScope t(trace_, fn, this);
    if (expression == nullptr) dkThrow<DKUsageError>(303, kSource, fn, DKString("no tree"));
    return new DKParametricQuery(this, expression);
}

dkQuery* DKDatastorePG::checkedQuery(dkQuery* query, const char* function) {
    if (query == nullptr || query->datastore() != this)
        dkThrow<DKUsageError>(303, kSource, function, DKString("not a query of this datastore"));
    return query;
}

dkResultSetCursor* DKDatastorePG::execute(dkQuery* query) {
    checkedQuery(query, "DKDatastorePG::execute")->execute(nullptr);
    return query->resultSetCursor();
}

DKAny DKDatastorePG::evaluate(dkQuery* query) {
    checkedQuery(query, "DKDatastorePG::evaluate")->execute(nullptr);
    return query->result(1);
}
