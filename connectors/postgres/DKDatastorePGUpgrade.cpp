// connectors/postgres/DKDatastorePGUpgrade.cpp
//
// What a repository made by an older connector gains at connect, inside the transaction that
// opens the catalogue and under its advisory lock, so two sessions connecting at once do the work
// once: text indexes that attributes made before text search lack, the catalogue's column of
// sub-entities' parents, the table of their children and that of segmented parts' slots.

#include "DKDatastorePG.hpp"
#include "PPgText.hpp"

#include <dk/DKAny.hpp>
#include <dk/DKException.hpp>

#include <libpq-fe.h>

#include <cstring>

using namespace dkpg;

namespace {

constexpr const char* kSource = kDatastoreSource;

// The text attributes whose column no GIN index depends on: the index of an attribute's words is
// an expression over its column, and the server records that dependency.
constexpr const char* kMissingIndexes =
    "SELECT e.lname, a.lname FROM public.dk_entities e JOIN public.dk_attrs a ON a.entity = e.id "
    "JOIN pg_attribute c ON c.attrelid = to_regclass('public.' || quote_ident(e.lname)) AND c.attname = a.lname "
    "WHERE a.text_searchable <> 0 AND a.type = $1::smallint AND NOT EXISTS (SELECT 1 FROM pg_index i "
    "JOIN pg_class x ON x.oid = i.indexrelid JOIN pg_am m ON m.oid = x.relam "
    "JOIN pg_depend d ON d.classid = 'pg_class'::regclass AND d.objid = i.indexrelid "
    "WHERE i.indrelid = c.attrelid AND m.amname = 'gin' AND d.refobjid = c.attrelid AND d.refobjsubid = c.attnum) "
    "ORDER BY e.id, a.position";

// Runs change in a savepoint. Only a table's owner may change it: another role opens the
// repository as it is (its reads do without what the change adds) until the owner connects.
template <class Change>
void asOwner(PGconn* c, const char* function, const char* what, Change change) {
    run(c, "SAVEPOINT dk_upgrade", {}, kSource, function, what);
    try {
        change();
    } catch (const DKException& e) {
        if (e.errorState() == nullptr || std::strcmp(e.errorState(), "42501") != 0) throw;
        run(c, "ROLLBACK TO SAVEPOINT dk_upgrade", {}, kSource, function, what);
        return;
    }
    run(c, "RELEASE SAVEPOINT dk_upgrade", {}, kSource, function, what);
}

}  // namespace

void DKDatastorePG::ensureEntityParents(pg_conn* c, const char* function) {
    PResult found = run(c,
                        "SELECT EXISTS (SELECT 1 FROM pg_attribute WHERE attrelid = 'public.dk_entities'::regclass "
                        "AND attname = 'parent' AND NOT attisdropped)",
                        {}, kSource, function, "reading the catalogue");
    if (std::string(PQgetvalue(found.get(), 0, 0)) == "t") return;
    asOwner(c, function, "adding the entities' parents", [&] {
        run(c, "ALTER TABLE public.dk_entities ADD COLUMN parent text NOT NULL DEFAULT ''", {}, kSource, function,
            "adding the entities' parents");
    });
}

void DKDatastorePG::ensureChildTables(pg_conn* c, const char* function) {
    const struct {
        const char* table;
        const char* const* statements;
        const char* what;
    } tables[] = {{"public.dk_children", kChildTables, "creating the children's table"},
                  {"public.dk_segments", kSegmentTables, "creating the segments' table"}};
    for (const auto& t : tables) {
        PResult found = run(c, "SELECT to_regclass($1) IS NOT NULL", {t.table}, kSource, function, "reading the catalogue");
        if (std::string(PQgetvalue(found.get(), 0, 0)) == "t") continue;
        asOwner(c, function, t.what, [&] {
            for (const char* const* sql = t.statements; *sql != nullptr; ++sql) run(c, *sql, {}, kSource, function, t.what);
        });
    }
}

void DKDatastorePG::ensureTextIndexes(pg_conn* c, const char* function) {
    PResult missing = run(c, kMissingIndexes, {std::to_string(DKAny::tc_string)}, kSource, function, "reading the catalogue");
    for (int row = 0; row < PQntuples(missing.get()); ++row) {
        PAttr a;
        a.name = PQgetvalue(missing.get(), row, 1);
        a.type = DKAny::tc_string;
        a.textSearchable = 1;
        // Text searches read the rows without the index until the owner connects.
        asOwner(c, function, "indexing the attribute's words",
                [&] { addTextIndex(c, PQgetvalue(missing.get(), row, 0), a, kSource, function); });
    }
}
