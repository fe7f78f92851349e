// connectors/postgres/DKDatastorePGQuery.cpp
//
// Queries of DKDatastorePG: the portable markers rewritten for the server (PPgMarkers.hpp), the
// parameters bound, never pasted, and the statement checked here, then read by its cursor
// (DKResultSetCursorPG.cpp) in read-only batches under the configuration's statement_timeout, so
// that no query writes whatever its text, and none runs for ever. A statement that gives no rows
// (PQdescribePrepared) is refused before it runs. The session checks a text once and keeps the
// cursor's declaration prepared (PPgQueryCache.hpp), so a query run again sends only its values.

#include "DKDatastorePG.hpp"
#include "DKResultSetCursorPG.hpp"
#include "PPgMarkers.hpp"

#include <dk/DKException.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/DKResults.hpp>
#include <dk/dkThrow.hpp>

#include <libpq-fe.h>

#include <cctype>

using namespace dkpg;

namespace {

constexpr const char* kSource = kDatastoreSource;

// The values of params for the markers: entries in order to the markers not yet bound,
// an entry whose name starts with ':' to its :name marker, up to an entry named "End" or with an
// empty name. Every marker gets exactly one value.
PParams bindMarkers(const PMarkers& markers, const DKNVPair* params, const char* function) {
    const std::size_t count = markers.names.size();
    std::vector<DKAny> values(count);
    std::vector<bool> given(count, false);
    std::size_t next = 0;
    for (const DKNVPair* p = params; p != nullptr; ++p) {
        const DKString name = p->getName();
        if (name.length() == 0 || name == "End") break;
        std::size_t k = count;
        if (name.c_str()[0] == ':') {
            const std::string wanted = lowerName(name.c_str() + 1);
            for (std::size_t i = 0; i < count && k == count; ++i)
                if (lowerName(markers.names[i].c_str()) == wanted) k = i;
        } else {
            while (next < count && given[next]) ++next;
            k = next;
        }
        if (k >= count || given[k])
            dkThrow<DKUsageError>(kMsgBadParams, kSource, function, DKString("no marker left for ") + name);
        values[k] = p->getValue();
        given[k] = true;
    }
    PParams bound;
    for (std::size_t k = 0; k < count; ++k) {
        if (!given[k])
            dkThrow<DKUsageError>(kMsgBadParams, kSource, function,
                                  DKString("parameter ") + DKString(static_cast<long>(k + 1)) + " has no value");
        addValue(bound, values[k], 0, markers.names[k].c_str(), kSource, function);
    }
    return bound;
}

}  // namespace

PQuery* DKDatastorePG::preparedQuery(const std::string& sql, PParams& params, bool guarded, const char* function) {
    PGconn* c = conn(function);
    queries_.release(c, guarded);
    if (PQuery* known = queries_.find(sql)) return known->busy ? nullptr : known;
    PQuery* q = queries_.add(sql);
    // In a transaction that goes on, a statement the server refuses must not end it.
    if (guarded) run(c, "SAVEPOINT dk_check", {}, kSource, function, "preparing the query");
    PResult prepared(PQprepare(c, "", sql.c_str(), params.count(), nullptr), PQclear);
    PResult described(nullptr, PQclear), declared(nullptr, PQclear);
    if (PQresultStatus(prepared.get()) == PGRES_COMMAND_OK) described.reset(PQdescribePrepared(c, ""));
    const bool rows = described && PQresultStatus(described.get()) == PGRES_COMMAND_OK && PQnfields(described.get()) > 0;
    if (rows)
        declared.reset(PQprepare(c, q->statement.c_str(), ("DECLARE " + q->cursor + " NO SCROLL CURSOR FOR " + sql).c_str(),
                                 params.count(), nullptr));
    const PGresult* failure = PQresultStatus(prepared.get()) != PGRES_COMMAND_OK    ? prepared.get()
                              : PQresultStatus(described.get()) != PGRES_COMMAND_OK ? described.get()
                              : rows && PQresultStatus(declared.get()) != PGRES_COMMAND_OK ? declared.get()
                                                                                           : nullptr;
    // Prepared statements outlive the savepoint, which only takes back a failure.
    if (guarded && PQstatus(c) == CONNECTION_OK)
        PQclear(PQexec(c, "ROLLBACK TO SAVEPOINT dk_check; RELEASE SAVEPOINT dk_check"));
    if (failure != nullptr || !rows) queries_.forget(sql);
    if (failure != nullptr) throwPg(c, failure, kSource, function, DKString("preparing the query"));
    if (!rows) dkThrow<DKUsageError>(kMsgQueryRefused, kSource, function, DKString(sql.c_str()));
    q->prepared = true;
    // The text inside a subquery, on lines of its own so that a trailing line comment ends there.
    // A text the server cannot take so runs through the portal only; trailing semicolons go.
    std::string text = sql;
    while (!text.empty() && (std::isspace(static_cast<unsigned char>(text.back())) != 0 || text.back() == ';')) text.pop_back();
    const std::string limited = "SELECT * FROM (\n" + text + "\n) dk_rows LIMIT " + std::to_string(settings_.fetchRows);
    if (guarded) run(c, "SAVEPOINT dk_check", {}, kSource, function, "preparing the query");
    PResult wrapped(PQprepare(c, (q->statement + "l").c_str(), limited.c_str(), params.count(), nullptr), PQclear);
    const bool taken = PQresultStatus(wrapped.get()) == PGRES_COMMAND_OK;
    if (guarded && PQstatus(c) == CONNECTION_OK)
        PQclear(PQexec(c, taken ? "RELEASE SAVEPOINT dk_check" : "ROLLBACK TO SAVEPOINT dk_check; RELEASE SAVEPOINT dk_check"));
    if (taken) q->limited = q->statement + "l";
    // Its rows come in binary when every column reads so to the same value as in text.
    const PGresult* columns = described.get();
    bool binary = true;
    for (int k = 0; binary && k < PQnfields(columns); ++k) binary = readsBinary(PQftype(columns, k));
    q->format = binary ? 1 : 0;
    return q;
}

dkResultSetCursor* DKDatastorePG::execute(const char* query, short qlType, const DKNVPair* params) {
    static const char* const fn = "DKDatastorePG::execute";
    DKTraceScope t(trace_, fn, this);
    conn(fn);
    if (qlType == 1) return executeText(query, params, fn);
    if (qlType != 4) dkThrow<DKUsageError>(kMsgBadQueryLanguage, kSource, fn, DKString(static_cast<long>(qlType)));
    if (query == nullptr) query = "";
    if (lastQuery_ != query) {
        lastMarkers_ = rewriteMarkers(query);   // a text it refuses leaves the last one as it was
        lastQuery_ = query;
    }
    const PMarkers& markers = lastMarkers_;
    auto cursor = std::make_unique<DKResultSetCursorPG>(this, markers.sql, bindMarkers(markers, params, fn));
    cursor->open();
    return cursor.release();
}

DKAny DKDatastorePG::evaluate(const char* query, short qlType, const DKNVPair* params) {
    return PConnectorKit::readAll(execute(query, qlType, params), *this);
}
