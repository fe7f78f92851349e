// connectors/sqlite/DKDatastoreSQLITEQuery.cpp
//
// The query entry points of DKDatastoreSQLITE: a query is one read-only SELECT on entity tables,
// checked by SQLite's authorizer while it is prepared (no writes, pragmas, attached files, reads
// of the users table, the catalogue or SQLite's own tables, nor functions that reach past the
// data), with its parameters bound, never pasted. execute hands the statement to a cursor;
// evaluate reads all its rows; executeWithCallback hands them to a callback in batches. Query
// objects of this datastore run through the same forms; text queries (language 1) go to
// DKDatastoreSQLITEText.cpp. Queries with a time limit are
// interrupted inside SQLite.

#include "DKDatastoreSQLITE.hpp"
#include "DKResultSetCursorSQLITE.hpp"
#include "PSqliteStatement.hpp"
#include "PSqliteText.hpp"
#include "PSqliteTree.hpp"
#include "PSqliteValues.hpp"

#include <dk/DKException.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/DKResults.hpp>
#include <dk/dkCallback.hpp>
#include <dk/dkQuery.hpp>
#include <dk/dkThrow.hpp>

#include <sqlite3.h>

#include <cctype>
#include <cstring>

using namespace dksqlite;

namespace {

constexpr const char* kSource = kDatastoreSource;   // every operation of the datastore is located there

// The authorizer of user queries: reads of entity tables, selects, functions and recursive common
// table expressions pass; everything else (writes, pragmas, attach, transactions, and reading the
// users table, the catalogue or SQLite's own tables) is denied, and so are the functions that
// reach past the data: load_extension loads code, fts3_tokenizer gives a tokenizer's address
// and registers any address as one, fts5 writes the address of its interface through a pointer.
struct PQueryGuard {
    const std::map<std::string, std::shared_ptr<PEntity>>* entities;
    bool textIndex = false;   // the connector's own statement: the entities' text tables may be read
    bool jsonEach = false;    // the connector's own statement of a tree: json_each reads its lists
    bool denied = false;   // SQLite reports a refused function as a plain error; this tells them apart
    bool restricted = false;   // the user's queries see the entity tables through its views only
};

bool refusedFunction(const char* name) {
    if (name == nullptr) return true;
    const std::string n = lowerName(name);
    return n == "load_extension" || n == "fts3_tokenizer" || n == "fts5";
}

int queryAuthorizer(void* data, int action, const char* a, const char* b, const char* schema, const char* view) {
    auto* guard = static_cast<PQueryGuard*>(data);
    bool allowed = false;
    switch (action) {
        case SQLITE_SELECT:
        case SQLITE_RECURSIVE:
            allowed = true;
            break;
        case SQLITE_READ:
            allowed = a != nullptr && (guard->entities->count(lowerName(a)) != 0 ||
                                       (guard->textIndex && isTextIndexTable(lowerName(a), *guard->entities)) ||
                                       (guard->jsonEach && std::strcmp(a, "json_each") == 0));
            // A restricted user reads an entity table's columns only through its view, which
            // lives in the temp schema (the empty column of a table read for its row count alone
            // comes without the view).
            if (allowed && guard->restricted && view == nullptr && b != nullptr && *b != '\0' &&
                (schema == nullptr || std::strcmp(schema, "temp") != 0) && guard->entities->count(lowerName(a)) != 0)
                allowed = false;
            // The views read which ACL each item has.
            if (guard->restricted && view != nullptr && a != nullptr && std::strcmp(a, "dk_item_acls") == 0) allowed = true;
            break;
        case SQLITE_FUNCTION:
            allowed = !refusedFunction(b);
            break;
        default:
            break;
    }
    if (!allowed) guard->denied = true;
    return allowed ? SQLITE_OK : SQLITE_DENY;
}

// The string forms take SQL; query objects and trees bring parametric conditions.
void checkLanguage(short qlType, const char* function) {
    if (qlType != 4) dkThrow<DKUsageError>(kMsgBadQueryLanguage, kSource, function, DKString(static_cast<long>(qlType)));
}

// A copy of the DKException being handled, of its own class, for a callback that owns it.
DKException* copyOfCaught() {
    try {
        throw;
    } catch (const DKUsageError& e) {
        return new DKUsageError(e);
    } catch (const DKDataObjectNotFound& e) {
        return new DKDataObjectNotFound(e);
    } catch (const DKServerNotAvailable& e) {
        return new DKServerNotAvailable(e);
    } catch (const DKDataObjectAlreadyExists& e) {
        return new DKDataObjectAlreadyExists(e);
    } catch (const DKDatastoreError& e) {
        return new DKDatastoreError(e);
    } catch (const DKException& e) {
        return new DKException(e);
    }
}

bool blank(const char* p) {
    for (; p && *p; ++p)
        if (!std::isspace(static_cast<unsigned char>(*p))) return false;
    return true;
}

}  // namespace

int DKDatastoreSQLITE::onProgress(void* self) {
    const auto* ds = static_cast<const DKDatastoreSQLITE*>(self);
    return ds->queryDeadline_ != nullptr && std::chrono::steady_clock::now() >= *ds->queryDeadline_ ? 1 : 0;
}

int DKDatastoreSQLITE::stepQuery(sqlite3_stmt* s, const std::chrono::steady_clock::time_point* deadline) {
    queryDeadline_ = deadline;
    const int rc = sqlite3_step(s);
    queryDeadline_ = nullptr;
    return rc;
}

// ---------------------------------------------------------------------------------------------
// Queries

sqlite3_stmt* DKDatastoreSQLITE::prepareQuery(const char* query, short qlType, const DKNVPair* params,
                                              const char* function, PBinding& binding) {
    db(function);
    checkLanguage(qlType, function);
    if (query == nullptr) dkThrow<DKUsageError>(kMsgQueryRefused, kSource, function, DKString("no query"));
    PStmt s(prepareGuarded(query, function));
    binding = bindParams(s.get(), params, kSource, function);
    return s.release();
}

sqlite3_stmt* DKDatastoreSQLITE::prepareGuarded(const char* query, const char* function, unsigned reach) {
    sqlite3* d = db(function);
    if (!inTransaction_) refreshIfSchemaChanged(function);
    loadEntities(function);

    const bool jsonEach = (reach & kReadJsonEach) != 0;
    if (jsonEach && std::strstr(query, "json_each") != nullptr) {
        // json_each declares its columns the first time a connection uses it, through a parse
        // the guard would refuse; done here once without the guard, it is only read after.
        sqlite3_stmt* warm = nullptr;
        sqlite3_prepare_v2(d, "SELECT value FROM json_each('[]')", -1, &warm, nullptr);
        sqlite3_finalize(warm);
    }
    const bool restricted = session_ && session_->tables && !session_->admin;
    if (restricted) {
        refreshViews(function);
        if (namesSchema(query))
            dkThrow<DKUsageError>(kMsgQueryRefused, kSource, function,
                                  DKString("a query of a user without every right names no schema"));
    }
    PQueryGuard guard{&entities_, (reach & kReadTextIndex) != 0, jsonEach};
    guard.restricted = restricted;
    sqlite3_set_authorizer(d, queryAuthorizer, &guard);
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(d, query, -1, &raw, &tail);
    sqlite3_set_authorizer(d, nullptr, nullptr);
    PStmt s(raw);
    if ((rc & 0xff) == SQLITE_AUTH || (rc != SQLITE_OK && guard.denied))
        dkThrowServer<DKUsageError>(kMsgQueryRefused, kSource, function, DKString(sqlite3_errmsg(d)) + " ", "", rc);
    // A query SQLite cannot read is the caller's; a file it cannot read (damaged, out of memory) is not.
    if (rc != SQLITE_OK && (rc & 0xff) != SQLITE_ERROR) throwSqlite(d, rc, kSource, function, "preparing the query");
    if (rc != SQLITE_OK)
        dkThrowServer<DKUsageError>(kMsgBadQuery, kSource, function, DKString(sqlite3_errmsg(d)) + " ", "",
                                    sqlite3_extended_errcode(d));
    if (!s) dkThrow<DKUsageError>(kMsgQueryRefused, kSource, function, DKString("the query is empty"));
    if (!blank(tail)) dkThrow<DKUsageError>(kMsgQueryRefused, kSource, function, DKString("more than one statement"));
    if (!sqlite3_stmt_readonly(s.get()) || sqlite3_stmt_isexplain(s.get()) || sqlite3_column_count(s.get()) == 0)
        dkThrow<DKUsageError>(kMsgQueryRefused, kSource, function, DKString("not a read-only SELECT"));
    return s.release();
}

dkResultSetCursor* DKDatastoreSQLITE::execute(const char* query, short qlType, const DKNVPair* params) {
    static const char* const fn = "DKDatastoreSQLITE::execute";
    DKTraceScope t(trace_, fn, this);
    if (qlType == 1) return executeText(query, params, fn);
    PBinding binding;
    PStmt s(prepareQuery(query, qlType, params, fn, binding));
    // Rows are items when every column is a plain column of one entity table and the row id is
    // among them; otherwise they are plain rows.
    std::shared_ptr<PEntity> e;
    bool hasId = false;
    const int n = sqlite3_column_count(s.get());
    for (int c = 0; c < n; ++c) {
        const char* table = sqlite3_column_table_name(s.get(), c);
        const char* dbName = sqlite3_column_database_name(s.get(), c);
        const char* origin = sqlite3_column_origin_name(s.get(), c);
        std::shared_ptr<PEntity> ce = table && dbName && origin && std::strcmp(dbName, "main") == 0 ? entityByTable(table) : nullptr;
        if (!ce || (e && ce != e)) {
            e.reset();
            hasId = false;
            break;
        }
        e = ce;
        if (lowerName(origin) == kIdColumn) hasId = true;
    }
    if (!hasId) e.reset();
    std::unique_ptr<DKResultSetCursorSQLITE> cursor(new DKResultSetCursorSQLITE(this, s.release(), e, binding));
    cursor->keepParams(params);
    return cursor.release();
}

DKAny DKDatastoreSQLITE::evaluate(const char* query, short qlType, const DKNVPair* params) {
    static const char* const fn = "DKDatastoreSQLITE::evaluate";
    DKTraceScope t(trace_, fn, this);
    return PConnectorKit::readAll(execute(query, qlType, params), *this);
}

// ---------------------------------------------------------------------------------------------
// Trees

dkResultSetCursor* DKDatastoreSQLITE::execute(DKCQExpr* expression) {
    static const char* const fn = "DKDatastoreSQLITE::execute";
    DKTraceScope t(trace_, fn, this);
    if (expression == nullptr) dkThrow<DKUsageError>(303, kSource, fn, DKString());
    db(fn);
    if (!inTransaction_) refreshIfSchemaChanged(fn);
    std::vector<PTreeQuery> parts =
        compileTree(*expression, [&](const std::string& name) { return entity(name.c_str(), fn); }, kSource, fn,
                    [&](const std::string& mapping) { return nativeNames(mapping, fn); });
    // Text conditions are read by FTS5 only when rows are fetched: each is read once now, so
    // one it cannot read is refused here.
    for (const PTreeValue& v : parts[0].values) {
        if (v.textEntity.empty()) continue;
        sqlite3_stmt* probe = cached(textProbeSql(v.textEntity), fn);   // also opens the text table
        if (v.asText) checkTextQuery(db_, probe, v.text, kSource, fn);
    }
    std::vector<PStmt> statements;
    for (const PTreeQuery& q : parts) {
        statements.emplace_back(prepareGuarded(q.sql.c_str(), fn, kReadTreeTables));
        bindTree(statements.back().get(), q, kSource, fn);
    }
    std::unique_ptr<DKResultSetCursorSQLITE> cursor(
        new DKResultSetCursorSQLITE(this, statements[0].release(), parts[0].entity, PBinding{}));
    for (size_t i = 1; i < parts.size(); ++i) cursor->addPart(statements[i].release(), parts[i].entity);
    cursor->keepValues(std::move(parts), kReadTreeTables);
    return cursor.release();
}

DKAny DKDatastoreSQLITE::evaluate(DKCQExpr* expression) {
    static const char* const fn = "DKDatastoreSQLITE::evaluate";
    DKTraceScope t(trace_, fn, this);
    return PConnectorKit::readAll(execute(expression), *this);
}

void DKDatastoreSQLITE::executeWithCallback(DKCQExpr* expression, dkCallback* callback) {
    static const char* const fn = "DKDatastoreSQLITE::executeWithCallback";
    DKTraceScope t(trace_, fn, this);
    deliver([&] { return execute(expression); }, callback, fn);
}

dkQuery* DKDatastoreSQLITE::createQuery(DKCQExpr* expression) {
    static const char* const fn = "DKDatastoreSQLITE::createQuery";
    DKTraceScope t(trace_, fn, this);
    if (expression == nullptr) dkThrow<DKUsageError>(303, kSource, fn, DKString());
    return new DKParametricQuery(this, expression);
}

// ---------------------------------------------------------------------------------------------
// Query objects and callbacks

dkQuery* DKDatastoreSQLITE::createQuery(const char* query, short qlType, const DKNVPair* params) {
    static const char* const fn = "DKDatastoreSQLITE::createQuery";
    DKTraceScope t(trace_, fn, this);
    if (qlType != 1) checkLanguage(qlType, fn);
    if (query == nullptr) dkThrow<DKUsageError>(kMsgQueryRefused, kSource, fn, DKString("no query"));
    // A query object keeps no parameters of its own; taking them here and dropping them would
    // run the query with other values than the caller meant.
    if (params != nullptr && params->getName().length() != 0 && params->getName() != kEndMark)
        dkThrow<DKUsageError>(kMsgBadParams, kSource, fn, DKString("give the parameters to the query's prepare or execute"));
    if (qlType == 1) return new DKTextQuery(this, query);
    return new DKSQLQuery(this, query);
}

dkQuery* DKDatastoreSQLITE::checkedQuery(dkQuery* query, const char* function) {
    if (query == nullptr) dkThrow<DKUsageError>(303, kSource, function, DKString());
    if (query->datastore() != this)
        dkThrow<DKUsageError>(kMsgForeignQuery, kSource, function, DKString(query->queryString()));
    return query;
}

dkResultSetCursor* DKDatastoreSQLITE::execute(dkQuery* query) {
    static const char* const fn = "DKDatastoreSQLITE::execute";
    DKTraceScope t(trace_, fn, this);
    checkedQuery(query, fn)->execute(nullptr);
    return query->resultSetCursor();
}

DKAny DKDatastoreSQLITE::evaluate(dkQuery* query) {
    static const char* const fn = "DKDatastoreSQLITE::evaluate";
    DKTraceScope t(trace_, fn, this);
    checkedQuery(query, fn)->execute(nullptr);
    return query->result(1);
}

void DKDatastoreSQLITE::executeWithCallback(const char* query, short qlType, const DKNVPair* params,
                                            dkCallback* callback) {
    static const char* const fn = "DKDatastoreSQLITE::executeWithCallback";
    DKTraceScope t(trace_, fn, this);
    deliver([&] { return execute(query, qlType, params); }, callback, fn);
}

void DKDatastoreSQLITE::executeWithCallback(dkQuery* query, dkCallback* callback) {
    static const char* const fn = "DKDatastoreSQLITE::executeWithCallback";
    DKTraceScope t(trace_, fn, this);
    checkedQuery(query, fn);
    deliver([&] {
        query->execute(nullptr);
        return query->resultSetCursor();
    }, callback, fn);
}

void DKDatastoreSQLITE::deliver(const std::function<dkResultSetCursor*()>& run, dkCallback* callback,
                                const char* function) {
    if (callback == nullptr) dkThrow<DKUsageError>(303, kSource, function, DKString());
    // Only the query's own failures go to the callback; one the callback throws passes out.
    auto guarded = [callback](auto&& step) {
        try {
            step();
            return true;
        } catch (const DKException&) {
            callback->reportException(copyOfCaught());
            return false;
        }
    };
    const long threshold = callback->getThreshold();
    std::unique_ptr<dkResultSetCursor> cursor;
    std::unique_ptr<DKDDO> next;   // read one row ahead, so a batch knows whether it is the last
    auto fetch = [&] { next.reset(cursor != nullptr ? cursor->fetchNext() : nullptr); };
    if (!guarded([&] {
            cursor.reset(run());
            fetch();
        }))
        return;
    for (;;) {
        DKResults batch(*this);
        while (next != nullptr && (threshold <= 0 || static_cast<long>(batch.cardinality()) < threshold)) {
            batch.addElement(DKAny(static_cast<dkDataObjectBase*>(next.release())));
            if (!guarded(fetch)) return;
        }
        const int last = next == nullptr ? 1 : 0;
        if (callback->dataCallback(&batch, last) == 0 || last != 0) return;
    }
}
