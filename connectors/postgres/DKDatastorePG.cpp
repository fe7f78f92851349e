// connectors/postgres/DKDatastorePG.cpp
//
// The datastore object of the PostgreSQL connector: its construction and destruction and the
// connection it hands to its parts, refused while not connected.

#include "DKDatastorePG.hpp"

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
}
