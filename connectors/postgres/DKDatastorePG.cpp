// connectors/postgres/DKDatastorePG.cpp
//
// The datastore object of the PostgreSQL connector: its construction and destruction, the
// connection it hands to its parts, refused while not connected, and the transaction of one
// operation.

#include "DKDatastorePG.hpp"
#include "DKDatastoreDefPG.hpp"
#include "DKResultSetCursorPG.hpp"

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <libpq-fe.h>

using namespace dkpg;

namespace {
constexpr const char* kSource = kDatastoreSource;
}  // namespace

DKDatastorePG::DKDatastorePG(const PSettings& settings)
    : dkDatastore("PG", ""), settings_(settings), conn_(nullptr), trace_("DKDatastorePG") {}

DKDatastorePG::~DKDatastorePG() { closeConnection(); }

pg_conn* DKDatastorePG::conn(const char* function) {
    if (conn_ == nullptr) dkThrow<DKDatastoreError>(310, kSource, function, DKString(function));
    return conn_;
}

int DKDatastorePG::isConnected() { return conn_ != nullptr ? 1 : 0; }

void DKDatastorePG::closeConnection() noexcept {
    if (conn_ != nullptr) PQfinish(conn_);
    conn_ = nullptr;
    for (DKResultSetCursorPG* c : cursors_) c->detach();
    cursors_.clear();
    entities_.clear();   // another connect may open another repository
    entitiesLoaded_ = false;
    if (def_) def_->clearCache();
}

DKDatastorePG::PTransaction::PTransaction(DKDatastorePG& ds, const char* function, const char* begin)
    : ds_(ds), function_(function), active_(false) {
    run(ds.conn(function), begin, {}, kSource, function, "starting a transaction");
    active_ = true;
}

DKDatastorePG::PTransaction::~PTransaction() {
    // ROLLBACK also ends a transaction that failed; on a lost connection there is nothing to undo.
    if (active_ && ds_.conn_ != nullptr) PQclear(PQexec(ds_.conn_, "ROLLBACK"));
}

void DKDatastorePG::PTransaction::commit() {
    run(ds_.conn(function_), "COMMIT", {}, kSource, function_, "committing");
    active_ = false;
}
