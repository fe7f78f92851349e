// connectors/postgres/DKDatastorePGSegments.cpp
//
// Segmented parts on PostgreSQL: a document entity with bit 8 gives its DDOs a DKSegmentedParts,
// whose numbered slots (empty ones too) are rows of dk_segments beside the parts in dk_content.
// The connector kit (PContentKit) turns the rows into the collection and the collection into the
// slots to write; this file keeps the SQL. The slots refer to dk_items, so an item leaving it
// (its row deleted by whoever deletes it) takes its slots in the deleting transaction.

#include "DKContentPG.hpp"
#include "DKDatastorePG.hpp"

#include <dk/DKSegmentedParts.hpp>
#include <dk/PContentKit.hpp>
#include <dk/PMemberKit.hpp>

#include <libpq-fe.h>

#include <cstdlib>
#include <string>
#include <vector>

using namespace dkpg;

namespace {

constexpr const char* kSource = kDatastoreSource;

long number(const PGresult* r, int row, int col) { return std::strtol(PQgetvalue(r, row, col), nullptr, 10); }

}  // namespace

// The table, made with the catalogue and at connect in a repository made before it (after
// dk_items). part is the part number in dk_content, NULL for an empty slot.
const char* const DKDatastorePG::kSegmentTables[] = {
    "CREATE TABLE public.dk_segments (entity integer NOT NULL, item bigint NOT NULL, slot bigint NOT NULL, part bigint, "
    "PRIMARY KEY (entity, item, slot), FOREIGN KEY (entity, item) REFERENCES public.dk_items ON DELETE CASCADE)",
    nullptr};

std::vector<PSegmentRow> DKDatastorePG::segmentRows(const PEntity& e, long rowId, const char* function) {
    // The slots and the parts' head rows in one statement, so both come from one snapshot; the
    // row policies leave out both for an item the session may not read.
    PResult r = run(conn(function),
                    "SELECT slot, coalesce(part, 0), 0 FROM public.dk_segments WHERE entity = $1 AND item = $2 "
                    "UNION ALL SELECT -1, part, kind FROM public.dk_content WHERE entity = $1 AND item = $2 AND pos = -1",
                    {std::to_string(e.id), std::to_string(rowId)}, kSource, function, "reading the segments");
    std::vector<PSegmentRow> rows;
    for (int row = 0; row < PQntuples(r.get()); ++row)
        rows.push_back({number(r.get(), row, 0), number(r.get(), row, 1), static_cast<int>(number(r.get(), row, 2))});
    return rows;
}

void DKDatastorePG::readSegments(dkCollection& parts, PEntity& e, long rowId, const char* function) {
    PContentKit::readSegments(static_cast<DKSegmentedParts&>(parts), *static_cast<DKContentPG*>(contentExtension(function)),
                              PPartName{e.name, rowId, 0}, segmentRows(e, rowId, function));
}

// The slots are written whole at every write of the item: moving or emptying a slot, or changing
// the count, leaves no track record. The track list's changes were applied before.
void DKDatastorePG::writeSegments(DKDDOBase& ddo, PEntity& e, long rowId, const char* function) {
    auto* segments = dynamic_cast<DKSegmentedParts*>(PMemberKit::held(ddo, "DKParts"));
    if (segments == nullptr) return;
    auto* store = dynamic_cast<PContentStoreBase*>(contentExtension(function));
    const std::vector<long> slots = PContentKit::writeSegments(*store, PPartName{e.name, rowId, 0}, *segments,
                                                               segmentRows(e, rowId, function), kMsgBadMember, kSource, function);
    const std::string entity = std::to_string(e.id), item = std::to_string(rowId);
    run(conn(function), "DELETE FROM public.dk_segments WHERE entity = $1 AND item = $2", {entity, item}, kSource, function,
        "writing the segments");
    // The new slots in one statement, their parts as an array (0: empty).
    std::string parts = "{";
    for (std::size_t k = 0; k < slots.size(); ++k) parts += (k ? "," : "") + std::to_string(slots[k]);
    run(conn(function),
        "INSERT INTO public.dk_segments (entity, item, slot, part) "
        "SELECT $1, $2, s.n - 1, nullif(s.part, 0) FROM unnest($3::bigint[]) WITH ORDINALITY AS s(part, n)",
        {entity, item, parts + "}"}, kSource, function, "writing the segments");
}
