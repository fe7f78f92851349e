// connectors/postgres/DKDatastorePGContent.cpp
//
// The content parts of DKDatastorePG: the store behind the extension "PG_CONTENT" and the table
// it keeps the parts in. A part is rows of public.dk_content keyed by the item's entity, row id
// and part number: a head row (pos -1) with the part's kind, types and size, and bytea chunk rows
// by start position. Chunks are written one statement each and read back in single-row mode, so
// neither the client nor one server row holds more than a chunk. The content objects are the
// connector kit's (PContentKit).

#include "DKContentPG.hpp"
#include "DKDatastorePG.hpp"

#include <dk/DKException.hpp>
#include <dk/PContentKit.hpp>
#include <dk/dkThrow.hpp>

#include <libpq-fe.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

using namespace dkpg;

namespace {

constexpr const char* kSource = "connectors/postgres/DKContentPG";

// The chunks are stored uncompressed (EXTERNAL), which lets a range read fetch the slices it
// needs of a chunk instead of the whole value, and spares compressing what mostly does not
// compress (images, archives). The entity column follows the catalogue: an entity dropped takes
// its parts with it.
constexpr const char* kCreateTable =
    "CREATE TABLE public.dk_content (entity integer NOT NULL REFERENCES public.dk_entities ON DELETE CASCADE, "
    "item bigint NOT NULL, part bigint NOT NULL, pos bigint NOT NULL, data bytea NOT NULL, kind smallint, "
    "mimetype text, contenttype text, affiliated bigint, size bigint, PRIMARY KEY (entity, item, part, pos), "
    "CHECK ((pos = -1) = (size IS NOT NULL)));"
    "ALTER TABLE public.dk_content ALTER COLUMN data SET STORAGE EXTERNAL;"
    // What an item's delete calls for its parts. A volatile function reads with a snapshot of its
    // own, taken after the delete waited for a part being stored, so that part goes too.
    "CREATE OR REPLACE FUNCTION public.dk_drop_parts(e integer, i bigint) RETURNS void LANGUAGE sql VOLATILE AS "
    "'DELETE FROM public.dk_content WHERE entity = e AND item = i'";

constexpr const char* kKey = "entity = $1 AND item = $2 AND part = $3";

std::string partText(const PPartName& p) {
    return p.entity + ":" + std::to_string(p.item) + " part " + std::to_string(p.part);
}

// Reads the rows of one statement one at a time (libpq's single-row mode), handing each to a
// callback; whatever the callback throws, the rest of the answer is read and dropped, so the
// connection is ready for the next statement.
class PRowStream {
public:
    PRowStream(PGconn* c, const char* sql, const std::vector<std::string>& params, const char* function)
        : c_(c), function_(function) {
        std::vector<const char*> values;
        for (const std::string& p : params) values.push_back(p.c_str());
        // Results in binary: bytea arrives as its bytes, and every other column is cast to text.
        if (!PQsendQueryParams(c, sql, static_cast<int>(values.size()), nullptr, values.data(), nullptr, nullptr, 1))
            throwPg(c, nullptr, kSource, function, DKString("reading a content part"));
        if (!PQsetSingleRowMode(c)) {
            drain();
            throwPg(c, nullptr, kSource, function, DKString("reading a content part"));
        }
    }
    PRowStream(const PRowStream&) = delete;
    PRowStream& operator=(const PRowStream&) = delete;
    ~PRowStream() { drain(); }

    // Calls row(result) for each row in order.
    template <class Row>
    void each(Row row) {
        while (PGresult* r = PQgetResult(c_)) {
            PResult owned(r, PQclear);
            const ExecStatusType status = PQresultStatus(r);
            if (status == PGRES_SINGLE_TUPLE) row(r);
            else if (status != PGRES_TUPLES_OK) failed_ = std::move(owned);
        }
        if (failed_) throwPg(c_, failed_.get(), kSource, function_, DKString("reading a content part"));
    }

private:
    void drain() noexcept {
        while (PGresult* r = PQgetResult(c_)) PQclear(r);
    }

    PGconn* c_;
    const char* function_;
    PResult failed_{nullptr, PQclear};
};

}  // namespace

namespace dkpg {

// The datastore's content extension and the store its content objects write through. Owned by
// the datastore; content objects keep a pointer to it and use it on the datastore's thread.
class PContentStorePG final : public DKContentPG, public PContentStoreBase {
public:
    explicit PContentStorePG(DKDatastorePG* ds) : ds_(ds) { setName(kName); }

    DKPidXDO pidOf(const char* entity, long itemId, long part) override {
        return PContentKit::pidOf(kPidType, ds_->repositoryName(), entity, itemId, part);
    }
    dkBlob* createBlob(const DKPidXDO& pid) override {
        checkedPart(pid, "DKContentPG::createBlob");
        return PContentKit::newBlob(this, pid, "DKBlobPG");
    }
    dkClob* createClob(const DKPidXDO& pid) override {
        checkedPart(pid, "DKContentPG::createClob");
        return PContentKit::newClob(this, pid, "DKClobPG");
    }

    const PContentRules& contentRules() const override {
        static const PContentRules rules{kSource, kMsgBadContentArg, kOptionChunkSize, kMinChunkSize, kMaxChunkSize,
                                         kDefaultChunkSize};
        return rules;
    }
    dkDatastore* contentDatastore() const override { return ds_; }

    PPartName checkedPart(const DKPid& pid, const char* function) override {
        ds_->conn(function);
        long item = 0, part = 0;
        if (!PContentKit::partOf(pid, kPidType, ds_->repositoryName(), item, part))
            dkThrow<DKUsageError>(kMsgBadContentPid, kSource, function, pid.pidString());
        return PPartName{ds_->entity(pid.getObjectType().c_str(), function)->name, item, part};
    }

    bool find(const PPartName& p, PPartInfo& info, const char* function) override {
        auto unit = readUnit(function);
        PResult r = run(ds_->conn(function),
                        (std::string("SELECT kind, mimetype, contenttype, affiliated, size FROM public.dk_content WHERE ") +
                         kKey + " AND pos = -1").c_str(),
                        keyOf(p, function), kSource, function, "reading a content part");
        if (PQntuples(r.get()) == 0) return false;
        info.kind = std::atoi(PQgetvalue(r.get(), 0, 0));
        info.mimeType = PQgetvalue(r.get(), 0, 1);
        info.contentType = PQgetvalue(r.get(), 0, 2);
        info.affiliatedType = static_cast<unsigned long>(std::strtoll(PQgetvalue(r.get(), 0, 3), nullptr, 10));
        info.size = std::strtol(PQgetvalue(r.get(), 0, 4), nullptr, 10);
        return true;
    }

    void store(const PPartName& p, const PPartInfo& info, const PChunkSource* source, bool replace,
               const char* function) override {
        DKDatastorePG::PTransaction unit(*ds_, function);
        PGconn* c = ds_->conn(function);
        const auto e = ds_->entity(p.entity.c_str(), function);
        // The item's row is held until the part is stored, so the item cannot go meanwhile.
        PResult item = run(c, ("SELECT 1 FROM public." + quoteIdent(lowerName(e->name.c_str())) + " WHERE " + kIdColumn +
                               " = $1 FOR KEY SHARE").c_str(),
                           {std::to_string(p.item)}, kSource, function, "reading the item");
        if (PQntuples(item.get()) == 0)
            dkThrow<DKDataObjectNotFound>(kMsgNoItem, kSource, function, DKString((p.entity + ":" + std::to_string(p.item)).c_str()));
        const std::initializer_list<std::string> head = {std::to_string(e->id),
                                                         std::to_string(p.item),
                                                         std::to_string(p.part),
                                                         std::to_string(info.kind),
                                                         info.mimeType,
                                                         info.contentType,
                                                         std::to_string(static_cast<long long>(info.affiliatedType))};
        // A part another session adds meanwhile makes the insert wait for it, then do nothing.
        PResult written = run(c,
                              replace ? "UPDATE public.dk_content SET kind = $4, mimetype = $5, contenttype = $6, affiliated = $7"
                                        " WHERE entity = $1 AND item = $2 AND part = $3 AND pos = -1"
                                      : "INSERT INTO public.dk_content (entity, item, part, pos, data, kind, mimetype, contenttype,"
                                        " affiliated, size) VALUES ($1, $2, $3, -1, '', $4, $5, $6, $7, 0) ON CONFLICT DO NOTHING",
                              head, kSource, function, "storing a content part");
        if (std::strcmp(PQcmdTuples(written.get()), "0") == 0) {
            if (replace) dkThrow<DKDataObjectNotFound>(kMsgNoPart, kSource, function, DKString(partText(p).c_str()));
            dkThrow<DKDataObjectAlreadyExists>(kMsgPartExists, kSource, function, DKString(partText(p).c_str()));
        }
        if (source != nullptr) {
            const std::vector<std::string> key = keyOf(p, function);
            run(c, (std::string("DELETE FROM public.dk_content WHERE ") + kKey + " AND pos >= 0").c_str(), {key[0], key[1], key[2]},
                kSource, function, "replacing a content part");
            long long pos = 0;
            for (;;) {
                const auto [data, n] = (*source)();
                if (data == nullptr || n == 0) break;
                putChunk(c, key, pos, data, n, function);
                pos += static_cast<long long>(n);
            }
            run(c, (std::string("UPDATE public.dk_content SET size = $4 WHERE ") + kKey + " AND pos = -1").c_str(),
                {key[0], key[1], key[2], std::to_string(pos)}, kSource, function, "storing a content part");
        }
        unit.commit();
    }

    void load(const PPartName& p, PPartInfo& info, const PChunkSink& sink, const char* function) override {
        auto unit = readUnit(function);
        // One statement, so the head row and the chunks come from one snapshot; the head row
        // (pos -1) comes first. The position's text is named apart, so ORDER BY sorts numbers.
        PRowStream rows(ds_->conn(function),
                        (std::string("SELECT pos::text AS at, data, kind::text, mimetype, contenttype, affiliated::text, size::text"
                                     " FROM public.dk_content WHERE ") +
                         kKey + " ORDER BY pos").c_str(),
                        keyOf(p, function), function);
        bool found = false;
        rows.each([&](const PGresult* r) {
            if (!found) {
                found = true;
                PPartInfo stored;
                stored.kind = std::atoi(PQgetvalue(r, 0, 2));
                stored.mimeType.assign(PQgetvalue(r, 0, 3), static_cast<std::size_t>(PQgetlength(r, 0, 3)));
                stored.contentType.assign(PQgetvalue(r, 0, 4), static_cast<std::size_t>(PQgetlength(r, 0, 4)));
                stored.affiliatedType = static_cast<unsigned long>(std::strtoll(PQgetvalue(r, 0, 5), nullptr, 10));
                stored.size = std::strtol(PQgetvalue(r, 0, 6), nullptr, 10);
                info = stored;
                return;
            }
            sink(PQgetvalue(r, 0, 1), static_cast<std::size_t>(PQgetlength(r, 0, 1)));
        });
        if (!found) dkThrow<DKDataObjectNotFound>(kMsgNoPart, kSource, function, DKString(partText(p).c_str()));
        if (unit) unit->commit();
    }

    long readRange(const PPartName& p, char* buffer, long offset, long length, const char* function) override {
        auto unit = readUnit(function);
        length = std::min(length, LONG_MAX - offset);   // a range past the largest offset ends there
        // The server cuts each chunk to the range; the head row tells that the part is stored.
        std::vector<std::string> params = keyOf(p, function);
        params.push_back(std::to_string(offset));
        params.push_back(std::to_string(length));
        PRowStream rows(ds_->conn(function),
                        (std::string("SELECT pos::text AS at, CASE WHEN pos < 0 THEN ''::bytea ELSE substring(data FROM "
                                     "(greatest($4::bigint - pos, 0) + 1)::int FOR (least($4::bigint + $5::bigint, "
                                     "pos + octet_length(data)) - greatest($4::bigint, pos))::int) END FROM public.dk_content WHERE ") +
                         kKey + " AND (pos = -1 OR (pos < $4::bigint + $5::bigint AND pos + octet_length(data) > $4::bigint))"
                                " ORDER BY pos").c_str(),
                        params, function);
        bool found = false;
        long copied = 0;
        rows.each([&](const PGresult* r) {
            const long pos = std::strtol(PQgetvalue(r, 0, 0), nullptr, 10);
            if (pos < 0) {
                found = true;
                return;
            }
            const long n = PQgetlength(r, 0, 1);
            const long from = std::max(pos, offset);
            std::memcpy(buffer + (from - offset), PQgetvalue(r, 0, 1), static_cast<std::size_t>(n));
            copied = from - offset + n;
        });
        if (!found) dkThrow<DKDataObjectNotFound>(kMsgNoPart, kSource, function, DKString(partText(p).c_str()));
        if (unit) unit->commit();
        return copied;
    }

    void drop(const PPartName& p, const char* function) override {
        DKDatastorePG::PTransaction unit(*ds_, function);
        PResult r = run(ds_->conn(function), (std::string("DELETE FROM public.dk_content WHERE ") + kKey).c_str(),
                        keyOf(p, function), kSource, function, "dropping a content part");
        if (std::strcmp(PQcmdTuples(r.get()), "0") == 0)
            dkThrow<DKDataObjectNotFound>(kMsgNoPart, kSource, function, DKString(partText(p).c_str()));
        unit.commit();
    }

private:
    // The entity's id, the item and the part, as the statements' first three parameters.
    std::vector<std::string> keyOf(const PPartName& p, const char* function) {
        return {std::to_string(ds_->entity(p.entity.c_str(), function)->id), std::to_string(p.item), std::to_string(p.part)};
    }
    static PResult run(PGconn* c, const char* sql, const std::vector<std::string>& params, const char* source,
                       const char* function, const char* what) {
        std::vector<const char*> values;
        for (const std::string& s : params) values.push_back(s.c_str());
        PResult r(PQexecParams(c, sql, static_cast<int>(values.size()), nullptr, values.data(), nullptr, nullptr, 0), PQclear);
        const ExecStatusType status = PQresultStatus(r.get());
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) throwPg(c, r.get(), source, function, DKString(what));
        return r;
    }
    static PResult run(PGconn* c, const char* sql, std::initializer_list<std::string> params, const char* source,
                       const char* function, const char* what) {
        return dkpg::run(c, sql, params, source, function, what);
    }
    // One chunk, sent in binary straight from the caller's bytes.
    static void putChunk(PGconn* c, const std::vector<std::string>& key, long long pos, const char* data, std::size_t n,
                         const char* function) {
        const std::string at = std::to_string(pos);
        const char* values[] = {key[0].c_str(), key[1].c_str(), key[2].c_str(), at.c_str(), data};
        const int lengths[] = {0, 0, 0, 0, static_cast<int>(n)};
        const int formats[] = {0, 0, 0, 0, 1};
        PResult r(PQexecParams(c, "INSERT INTO public.dk_content (entity, item, part, pos, data) VALUES ($1, $2, $3, $4, $5)",
                               5, nullptr, values, lengths, formats, 0),
                  PQclear);
        if (PQresultStatus(r.get()) != PGRES_COMMAND_OK)
            throwPg(c, r.get(), kSource, function, DKString("storing a content part"));
    }
    // Reads run in a read-only savepoint inside the datastore's open transaction, so a failed
    // read leaves that transaction usable; outside one, the statement is its own transaction.
    std::optional<DKDatastorePG::PTransaction> readUnit(const char* function) {
        std::optional<DKDatastorePG::PTransaction> unit;
        if (ds_->inTransaction_) unit.emplace(*ds_, function, true);
        return unit;
    }

    DKDatastorePG* ds_;   // not owned: the owner
};

}  // namespace dkpg

// ---------------------------------------------------------------------------------------------
// The datastore's side: the table at connect and the extension

void DKDatastorePG::ensureContentTable(pg_conn* c, const char* function) {
    PResult found = run(c, "SELECT to_regclass('public.dk_content') IS NULL", {}, kDatastoreSource, function,
                        "reading the catalogue");
    if (std::strcmp(PQgetvalue(found.get(), 0, 0), "t") != 0) return;
    // A role that may not create tables still opens a repository made before parts were kept;
    // its content operations then fail on the missing table.
    run(c, "SAVEPOINT dk_content", {}, kDatastoreSource, function, "creating the content table");
    PResult made(PQexec(c, kCreateTable), PQclear);
    const char* state = PQresultErrorField(made.get(), PG_DIAG_SQLSTATE);
    if (PQresultStatus(made.get()) != PGRES_COMMAND_OK && !(state && std::strcmp(state, "42501") == 0))
        throwPg(c, made.get(), kDatastoreSource, function, DKString("creating the content table"));
    run(c, PQresultStatus(made.get()) == PGRES_COMMAND_OK ? "RELEASE SAVEPOINT dk_content" : "ROLLBACK TO SAVEPOINT dk_content",
        {}, kDatastoreSource, function, "creating the content table");
}

dkExtension* DKDatastorePG::contentExtension(const char* function) {
    conn(function);
    if (!content_) content_ = std::make_shared<PContentStorePG>(this);
    return content_.get();
}
