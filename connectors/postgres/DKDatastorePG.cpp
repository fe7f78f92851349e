// connectors/postgres/DKDatastorePG.cpp
//
// The datastore object of the PostgreSQL connector: its construction and destruction, the
// connection it hands to its parts, refused while not connected, and the transaction of one
// operation.

#include "DKDatastorePG.hpp"
#include "DKAdminPG.hpp"
#include "DKContentPG.hpp"
#include "DKDatastoreDefPG.hpp"
#include "DKResultSetCursorPG.hpp"
#include "DKTemplatesPG.hpp"

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <libpq-fe.h>

#include <cstring>

using namespace dkpg;

namespace {
constexpr const char* kSource = kDatastoreSource;
// The datastore's extensions, in the order listExtensionNames gives them.
const char* const kExtensionNames[] = {"DATASTORE_EXTENSION", DKContentPG::kName, DKAdminPG::kName,
                                       DKTemplatesPG::kName};
}  // namespace

dkExtension* DKDatastorePG::getExtension(const char* name) {
    static const char* const fn = "DKDatastorePG::getExtension";
    if (name != nullptr && std::strcmp(name, kExtensionNames[0]) == 0) return memberExtension(fn);
    if (name != nullptr && std::strcmp(name, kExtensionNames[1]) == 0) return contentExtension(fn);
    if (name != nullptr && std::strcmp(name, kExtensionNames[2]) == 0) return rightsExtension(fn);
    if (name != nullptr && std::strcmp(name, kExtensionNames[3]) == 0) return templatesExtension(fn);
    return nullptr;
}

DKString* DKDatastorePG::listExtensionNames(long& count) {
    count = static_cast<long>(sizeof kExtensionNames / sizeof kExtensionNames[0]);
    auto* names = new DKString[static_cast<size_t>(count)];
    for (long i = 0; i < count; ++i) names[i] = kExtensionNames[i];
    return names;
}

DKDatastorePG::DKDatastorePG(const PSettings& settings)
    : PConnectorDatastore("PG", ""), settings_(settings), conn_(nullptr), trace_("DKDatastorePG") {}

DKDatastorePG::~DKDatastorePG() { closeConnection(); }

pg_conn* DKDatastorePG::conn(const char* function) {
    if (conn_ == nullptr) dkThrow<DKDatastoreError>(310, kSource, function, DKString(function));
    if (ending_) {
        ending_ = false;
        while (PGresult* r = PQgetResult(conn_)) PQclear(r);
    }
    return conn_;
}

int DKDatastorePG::isConnected() { return conn_ != nullptr ? 1 : 0; }

void DKDatastorePG::closeConnection() noexcept {
    if (conn_ != nullptr) PQfinish(conn_);
    conn_ = nullptr;
    ending_ = false;
    inTransaction_ = false;   // the server rolls back what the session left open
    for (DKResultSetCursorPG* c : cursors_) c->detach();
    cursors_.clear();
    sharedCursors_ = 0;
    entities_.clear();   // another connect may open another repository
    mappings_.clear();
    entitiesLoaded_ = false;
    statements_.clear();   // the server forgot them with the session
    queries_.clear();
    if (def_) def_->clearCache();
}

DKDatastorePG::PTransaction::PTransaction(DKDatastorePG& ds, const char* function, bool readOnly)
    // A unit inside another one (a part stored with its item's update) is a savepoint of it, so
    // it never commits the outer unit's writes early.
    : ds_(ds), function_(function),
      savepoint_(ds.inTransaction_ || ds.sharedCursors_ > 0 ||
                 (ds.conn_ != nullptr && PQtransactionStatus(ds.conn_) != PQTRANS_IDLE)),
      readOnly_(readOnly),
      active_(false) {
    PGconn* c = ds.conn(function);
    if (!readOnly && !ds.inTransaction_ && ds.sharedCursors_ > 0) ds.refuseWrite(function);
    if (!savepoint_) {
        // A read-only unit reads from one snapshot, whatever commits meanwhile.
        run(c, readOnly ? "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY" : "BEGIN", {}, kSource, function,
            "starting a transaction");
    } else {
        run(c, "SAVEPOINT dk_unit", {}, kSource, function, "starting a savepoint");
        if (readOnly) run(c, "SET LOCAL transaction_read_only = on", {}, kSource, function, "starting a savepoint");
    }
    active_ = true;
}

DKDatastorePG::PTransaction::~PTransaction() {
    // On a lost connection there is nothing to undo.
    if (!active_ || ds_.conn_ == nullptr) return;
    PQclear(PQexec(ds_.conn_, savepoint_ ? "ROLLBACK TO SAVEPOINT dk_unit; RELEASE SAVEPOINT dk_unit" : "ROLLBACK"));
    ds_.entitiesLoaded_ = false;   // it may have been read inside what was undone
}

void DKDatastorePG::PTransaction::commit() {
    PGconn* c = ds_.conn(function_);
    if (!savepoint_) run(c, "COMMIT", {}, kSource, function_, "committing");
    if (savepoint_ && readOnly_) run(c, "ROLLBACK TO SAVEPOINT dk_unit", {}, kSource, function_, "ending a savepoint");
    if (savepoint_) run(c, "RELEASE SAVEPOINT dk_unit", {}, kSource, function_, "ending a savepoint");
    active_ = false;
}

void DKDatastorePG::refuseWrite(const char* function) const {
    dkThrow<DKUsageError>(kMsgCursorHoldsSession, kSource, function,
                          DKString(static_cast<long>(sharedCursors_)) + " cursor(s) still reading");
}

void DKDatastorePG::startTransaction() {
    static const char* const fn = "DKDatastorePG::startTransaction";
    if (inTransaction_) dkThrow<DKUsageError>(kMsgTransactionOpen, kSource, fn, DKString(fn));
    if (sharedCursors_ > 0) refuseWrite(fn);
    run(conn(fn), "BEGIN", {}, kSource, fn, "starting a transaction");
    inTransaction_ = true;
}

void DKDatastorePG::commit() {
    static const char* const fn = "DKDatastorePG::commit";
    if (!inTransaction_) dkThrow<DKUsageError>(kMsgNoTransaction, kSource, fn, DKString(fn));
    inTransaction_ = false;
    for (DKResultSetCursorPG* c : cursors_) c->transactionEnded();
    // A transaction that cannot commit (40001) is rolled back by the server.
    PResult r = run(conn(fn), "COMMIT", {}, kSource, fn, "committing");
    if (std::string(PQcmdStatus(r.get())) == "ROLLBACK")
        dkThrowServer<DKDatastoreError>(kMsgPgFailed, kSource, fn, DKString("the transaction was rolled back"), "25P02", 0);
}

void DKDatastorePG::rollback() {
    static const char* const fn = "DKDatastorePG::rollback";
    if (!inTransaction_) dkThrow<DKUsageError>(kMsgNoTransaction, kSource, fn, DKString(fn));
    inTransaction_ = false;
    for (DKResultSetCursorPG* c : cursors_) c->transactionEnded();
    entitiesLoaded_ = false;   // schema changes may be undone
    run(conn(fn), "ROLLBACK", {}, kSource, fn, "rolling back");
}
