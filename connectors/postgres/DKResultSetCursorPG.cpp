// connectors/postgres/DKResultSetCursorPG.cpp
//
// The cursor of the PostgreSQL connector: the rows of a query as DDOs, read from a portal in
// batches. The server says which table and column each result column comes from (PQftable,
// PQftablecol), so an entity's items are told from other rows without reading the SQL.

#include "DKResultSetCursorPG.hpp"
#include "DKDatastorePG.hpp"
#include "PPgBinary.hpp"
#include "PPgQueryCache.hpp"

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <libpq-fe.h>

#include <charconv>

using namespace dkpg;

namespace {

constexpr const char* kSource = "connectors/postgres/DKResultSetCursorPG";

}  // namespace

DKResultSetCursorPG::DKResultSetCursorPG(DKDatastorePG* ds, std::string sql, PParams params)
    : ds_(ds), sql_(std::move(sql)), params_(std::move(params)), rows_(nullptr, PQclear) {
    ds_->cursors_.insert(this);
}

DKResultSetCursorPG::~DKResultSetCursorPG() {
    if (ds_ == nullptr) return;
    letGo();
    ds_->cursors_.erase(this);
}

void DKResultSetCursorPG::detach() noexcept {
    ds_ = nullptr;   // the connection and every portal on it are gone
    dropPortal();
    sharesTransaction_ = false;
    rows_.reset();
    open_ = false;
}

void DKResultSetCursorPG::transactionEnded() noexcept {
    if (!portal_ || sharesTransaction_) return;
    dropPortal();
    rows_.reset();
    open_ = false;
    ended_ = true;
}

void DKResultSetCursorPG::dropPortal() noexcept {
    portal_.reset();
    if (prepared_ && ds_ != nullptr)
        if (PQuery* q = ds_->queries_.find(sql_)) q->busy = false;
    prepared_ = false;
}

void DKResultSetCursorPG::letGo() noexcept {
    if (ds_ == nullptr) return;
    if (sharesTransaction_) {
        sharesTransaction_ = false;
        // The last cursor of the shared transaction ends it, and every portal in it. Its answer
        // is read by the datastore's next use of the connection.
        if (--ds_->sharedCursors_ == 0) {
            PGconn* c = ds_->conn_;
            if (c != nullptr && PQstatus(c) == CONNECTION_OK) {
                ds_->conn("DKResultSetCursorPG::close");   // an answer still due is read first
                if (PQsendQuery(c, "ROLLBACK") != 0)
                    ds_->ending_ = true;
                else
                    PQclear(PQexec(c, "ROLLBACK"));
            }
            dropPortal();
        }
    }
    if (portal_) portal_->close(ds_->conn_);
    dropPortal();
}

DKDatastorePG* DKResultSetCursorPG::ds(const char* function) const {
    if (ds_ == nullptr) dkThrow<DKDatastoreError>(kMsgCursorClosed, kSource, function, DKString(sql_.c_str()));
    return ds_;
}

DKString DKResultSetCursorPG::datastoreName() const {
    return ds_ != nullptr ? ds_->datastoreName() : DKString();
}

void DKResultSetCursorPG::open(const DKNVPair*) { open(); }

void DKResultSetCursorPG::open() {
    static const char* const fn = "DKResultSetCursorPG::open";
    DKDatastorePG* d = ds(fn);
    close();
    try {
        openOnce(d, fn);
    } catch (DKException& e) {
        // The session lost the query's prepared statement (26000), or its plan no longer gives
        // the rows it was prepared for (0A000): checked and prepared again, once.
        const std::string state = e.errorProvided() != 0 ? e.errorState() : "";
        if (state != "26000" && state != "0A000") throw;
        if (state == "26000") d->queries_.forgetFrame();
        close();
        openOnce(d, fn);
    }
    layOut(fn);
}

void DKResultSetCursorPG::openOnce(DKDatastorePG* d, const char* fn) {
    PGconn* c = d->conn(fn);
    // Another transaction goes on around the cursor: the caller's, or the one of other cursors.
    const bool guarded = d->inTransaction_ || d->sharedCursors_ > 0;
    if (!d->inTransaction_) {
        ++d->sharedCursors_;
        sharesTransaction_ = true;
    }
    bool prepared = false;   // dropping the portal forgets prepared_
    try {
        PQuery* q = d->preparedQuery(sql_, params_, guarded, fn);
        prepared = q != nullptr;
        prepared_ = q != nullptr;
        if (q != nullptr) q->busy = true;
        portal_ = std::make_unique<PPortal>(q != nullptr ? q->cursor : "dk_cursor_" + std::to_string(++d->portals_));
        open_ = true;
        ended_ = false;
        // The reads that run beside the cursors are queries' reads as well, under the timeout.
        const std::string begin = "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY";
        const std::string timeout = "SET LOCAL statement_timeout = " + std::to_string(d->settings_.queryTimeoutMs);
        const long batch = d->settings_.fetchRows;
        // The same, prepared once per session, for the openings in one round trip.
        const auto frame = [&]() -> const PQueryCache::PFrame& {
            return d->queries_.frame(c, d->settings_.queryTimeoutMs, kSource, fn);
        };
        // The transaction, its timeout, the cursor and its first batch in one round trip. The
        // batch needs no savepoint of its own: it is alone in its transaction.
        const auto portalInOneTrip = [&] {
            const PQueryCache::PFrame& f = frame();
            try {
                rows_ = runPipelined(c, {{f.begin}, {f.timeout}, {q->statement},
                                         {"FETCH FORWARD " + std::to_string(batch) + " FROM " + q->cursor, false}},
                                     2, 3, params_, kSource, fn, "opening the query");
            } catch (DKException&) {
                failed(fn);
            }
            row_ = 0;
            if (PQntuples(rows_.get()) < batch) letGo();
        };
        if (!guarded && q != nullptr && !q->limited.empty()) {
            // The transaction, its timeout, at most one batch run as a prepared statement and
            // the transaction's end, in one round trip. A whole batch may have more behind it:
            // then its rows are dropped and the portal reads the result from its start in a
            // transaction of its own (a second run need not give unordered rows in the same
            // order, so no row of the first is kept).
            const PQueryCache::PFrame& f = frame();
            try {
                rows_ = runPipelined(c, {{f.begin}, {f.timeout}, {q->limited}, {f.end}}, 2, 2, params_, kSource, fn,
                                     "opening the query", q->format);
            } catch (DKException&) {
                failed(fn);
            }
            row_ = 0;
            if (PQntuples(rows_.get()) < batch) {
                --d->sharedCursors_;   // the transaction has ended
                sharesTransaction_ = false;
                dropPortal();
            } else {
                rows_.reset();
                portalInOneTrip();
            }
        } else if (!guarded && q != nullptr) {
            portalInOneTrip();
        } else {
            if (!guarded) {
                run(c, begin.c_str(), {}, kSource, fn, "starting the query's transaction");
                run(c, timeout.c_str(), {}, kSource, fn, "starting the query's transaction");
            }
            portal_->declare(c, sql_, params_, guarded, kSource, fn, q != nullptr ? q->statement.c_str() : nullptr);
            nextBatch(fn);
        }
        // A table that lost every column since the query was checked gives rows without columns.
        if (PQnfields(rows_.get()) == 0) dkThrow<DKUsageError>(kMsgQueryRefused, kSource, fn, DKString(sql_.c_str()));
    } catch (...) {
        if (prepared) d->queries_.forget(sql_);   // checked and prepared again on the next open
        letGo();
        open_ = false;
        throw;
    }
}

void DKResultSetCursorPG::close() {
    letGo();
    rows_.reset();
    row_ = 0;
    position_ = 0;
    count_ = -1;
    open_ = false;
    atEnd_ = false;
}

void DKResultSetCursorPG::nextBatch(const char* function) {
    const long batch = ds_->settings_.fetchRows;
    rows_.reset();
    row_ = 0;
    try {
        rows_ = portal_->fetch(ds_->conn_, batch, ds_->settings_.queryTimeoutMs, kSource, function);
    } catch (DKException&) {
        failed(function);
    }
    // Fewer rows than asked for: nothing is left on the server, and the session is free again.
    if (PQntuples(rows_.get()) < batch) letGo();
}

void DKResultSetCursorPG::failed(const char* function) {
    atEnd_ = true;
    rows_.reset();
    // The connection went with the batch (the server ended the session or stopped): say so.
    if (PQstatus(ds_->conn_) != CONNECTION_OK) {
        dropPortal();
        letGo();
        try {
            throw;
        } catch (DKException& e) {
            const char* state = e.errorProvided() != 0 ? e.errorState() : "08006";
            dkThrowServer<DKServerNotAvailable>(kMsgCursorClosed, kSource, function, DKString(e.what()), state, 0);
        }
    }
    letGo();
    throw;
}

unsigned long DKResultSetCursorPG::cardinality() {
    static const char* const fn = "DKResultSetCursorPG::cardinality";
    if (!open_ || atEnd_ || !portal_) return static_cast<unsigned long>(position_ + (rows_ ? PQntuples(rows_.get()) - row_ : 0));
    if (count_ < 0) {
        // A second portal of the same query, skipped to its end on the server: in the shared
        // transaction it sees the same snapshot as this one.
        DKDatastorePG* d = ds(fn);
        PPortal counter("dk_cursor_" + std::to_string(++d->portals_));
        counter.declare(d->conn_, sql_, params_, true, kSource, fn);
        unsigned long n = 0;
        try {
            n = counter.skipAll(d->conn_, d->settings_.queryTimeoutMs, kSource, fn);
        } catch (...) {
            counter.close(d->conn_);
            throw;
        }
        counter.close(d->conn_);
        count_ = static_cast<long>(n);
    }
    return static_cast<unsigned long>(count_);
}

void DKResultSetCursorPG::layOut(const char* function) {
    const PGresult* r = rows_.get();
    const int columns = PQnfields(r);
    entity_.reset();
    idColumn_ = -1;
    // Only a result read whole in one round trip comes in binary; a portal's batches, the first
    // included, come as text, so nextBatch never changes the form.
    binary_ = columns > 0 && PQfformat(r, 0) == 1;
    // An item row holds the row id of an entity's table (its first column, dk_id).
    for (int c = 0; c < columns && !entity_; ++c) {
        if (PQftable(r, c) == InvalidOid || PQftablecol(r, c) != 1) continue;
        entity_ = ds_->entityByTable(PQftable(r, c), function);
        if (entity_) idColumn_ = c;
    }
    itemOf_.clear();
    columnOf_.clear();
    typeOf_.clear();
    plainShape_.reset();
    if (!entity_) plainShape_ = std::make_unique<PEntityShape>();
    for (int c = 0; c < columns; ++c) {
        if (entity_) {
            // The entity's own columns, by name; a column of another table or an expression is left out.
            if (PQftable(r, c) != entity_->table) continue;
            const std::size_t k = entity_->names.find(PQfname(r, c));
            if (k == PItemMap::npos) continue;
            itemOf_.push_back(static_cast<unsigned short>(k + 1));
            // A binary value is read by the column's own type: it is the attribute's, unless
            // another session changed the attribute since the catalogue was read.
            const unsigned short own = typeOfColumn(PQftype(r, c));
            typeOf_.push_back(binary_ && own != entity_->attrs[k].type ? own : entity_->attrs[k].type);
        } else {
            const unsigned short type = typeOfColumn(PQftype(r, c));
            const unsigned short id = plainShape_->addData(PQfname(r, c));
            plainShape_->addDataProperty(id, "type", DKAny(type));
            itemOf_.push_back(id);
            typeOf_.push_back(type);
        }
        columnOf_.push_back(c);
    }
    unfilled_.clear();
    if (entity_) {
        rowPid_ = entity_->pidFor(ds_->repositoryName(), 0);
        unfilled_ = PConnectorKit::unfilledItems(itemOf_, static_cast<unsigned short>(entity_->attrs.size()));
    }
}

long DKResultSetCursorPG::rowId() const {
    const PGresult* r = rows_.get();
    const char* id = PQgetvalue(r, row_, idColumn_);
    if (!binary_) return readWhole(id);
    long value = 0;   // stays 0 for bytes of another size
    binaryWhole(reinterpret_cast<const unsigned char*>(id), PQgetlength(r, row_, idColumn_), value);
    return value;
}

const char* DKResultSetCursorPG::idDigits() const {
    if (binary_) {
        const long id = rowId();
        if (id <= 0) return nullptr;
        *std::to_chars(idText_, idText_ + sizeof idText_ - 1, id).ptr = '\0';
        return idText_;
    }
    const char* id = PQgetvalue(rows_.get(), row_, idColumn_);   // zero-terminated
    if (id[0] < '1' || id[0] > '9') return nullptr;
    int i = 1;
    while (i < 19 && id[i] >= '0' && id[i] <= '9') ++i;
    return id[i] == '\0' ? id : nullptr;
}

const DKPid& DKResultSetCursorPG::pidOf(const char* function) {
    // A positive row id in plain digits is taken as it stands. Any other text goes through the
    // number, as the entity's pids are made.
    if (const char* id = idDigits()) {
        rowPid_.setIdString(0, id);
        return rowPid_;
    }
    return entity_->pidFor(ds(function)->repositoryName(), rowId());
}

bool DKResultSetCursorPG::onNextRow(const char* function) {
    ds(function);
    if (ended_) dkThrow<DKDatastoreError>(kMsgCursorTransactionEnded, kSource, function, DKString(sql_.c_str()));
    if (!open_) open();
    if (atEnd_) return false;
    if (row_ >= PQntuples(rows_.get()) && portal_) nextBatch(function);
    if (row_ < PQntuples(rows_.get())) return true;
    atEnd_ = true;
    rows_.reset();
    return false;
}

template <class Row>
void DKResultSetCursorPG::readRow(Row& row, const char* function) {
    const PGresult* r = rows_.get();
    const int at = row_;
    if (binary_)
        PConnectorKit::fillRow(row, itemOf_.data(), itemOf_.size(), [&](std::size_t i, DKAny& value) {
            readBinaryInto(r, at, columnOf_[i], typeOf_[i], value, kSource, function);
        });
    else
        PConnectorKit::fillRow(row, itemOf_.data(), itemOf_.size(), [&](std::size_t i, DKAny& value) {
            readInto(r, at, columnOf_[i], typeOf_[i], value, kSource, function);
        });
    ++row_;
    ++position_;
}

DKDDO* DKResultSetCursorPG::fetchNext() {
    static const char* const fn = "DKResultSetCursorPG::fetchNext";
    if (!onNextRow(fn)) return nullptr;
    std::unique_ptr<DKDDO> ddo;
    if (!entity_)
        ddo.reset(PConnectorKit::newRowObject(plainShape_->definition(), noPid_, ds_));
    else if (const char* id = idDigits())   // rowPid_ names the entity; the row's copy takes the id
        ddo.reset(PConnectorKit::newRowObject(entity_->shapeDefinition(), rowPid_, id, ds_));
    else
        ddo.reset(PConnectorKit::newRowObject(entity_->shapeDefinition(), pidOf(fn), ds_));
    readRow(*ddo, fn);
    return ddo.release();
}

int DKResultSetCursorPG::fetchNext(DKDDO& row) {
    static const char* const fn = "DKResultSetCursorPG::fetchNext";
    if (!onNextRow(fn)) return 0;
    try {
        if (!entity_) {
            PConnectorKit::refillRow(row, plainShape_->definition(), noPid_, nullptr, ds_, unfilled_);
        } else if (const char* id = idDigits()) {
            // rowPid_ names the entity; the row's pid takes only the id when it names it too.
            PConnectorKit::refillRow(row, entity_->shapeDefinition(), rowPid_, id, ds_, unfilled_);
        } else {
            PConnectorKit::refillRow(row, entity_->shapeDefinition(), pidOf(fn), nullptr, ds_, unfilled_);
        }
        readRow(row, fn);
    } catch (...) {
        row.reset(nullptr);   // no half of a row
        throw;
    }
    return 1;
}

int DKResultSetCursorPG::fetchNextN(long howMany, dkCollection& into) {
    int got = 0;
    while (got < howMany) {
        std::unique_ptr<DKDDO> d(fetchNext());
        if (!d) break;
        into.addElement(DKAny(static_cast<dkDataObjectBase*>(d.get())));
        d.release();
        ++got;
    }
    return got;
}
