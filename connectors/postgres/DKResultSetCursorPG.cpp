// connectors/postgres/DKResultSetCursorPG.cpp
//
// The cursor of the PostgreSQL connector: the rows of a query as DDOs. The server says which
// table and column each result column comes from (PQftable, PQftablecol), so an entity's items
// are told from other rows without reading the SQL.

#include "DKResultSetCursorPG.hpp"
#include "DKDatastorePG.hpp"

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <libpq-fe.h>

using namespace dkpg;

namespace {

constexpr const char* kSource = "connectors/postgres/DKResultSetCursorPG";

// The type a column of another row is read as, by the server's type oid.
unsigned short typeOfColumn(Oid type) {
    switch (type) {
        case 21: return DKAny::tc_short;             // int2
        case 20: case 23: return DKAny::tc_long;     // int8, int4
        case 700: case 701: return DKAny::tc_double; // float4, float8
        case 1700: return DKAny::tc_decimal;         // numeric
        case 1082: return DKAny::tc_date;
        case 1083: return DKAny::tc_time;
        case 1114: return DKAny::tc_timestamp;
        case 17: return DKAny::tc_bytearray;
        default: return DKAny::tc_string;            // text and the text form of the rest
    }
}

}  // namespace

DKResultSetCursorPG::DKResultSetCursorPG(DKDatastorePG* ds, std::string sql, PParams params)
    : ds_(ds), sql_(std::move(sql)), params_(std::move(params)), rows_(nullptr, PQclear) {
    ds_->cursors_.insert(this);
}

DKResultSetCursorPG::~DKResultSetCursorPG() {
    if (ds_ != nullptr) ds_->cursors_.erase(this);
}

void DKResultSetCursorPG::detach() noexcept {
    ds_ = nullptr;
    rows_.reset();
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
    rows_.reset();
    rows_ = d->runQuery(sql_, params_, fn);
    position_ = 0;
    atEnd_ = false;
    layOut(fn);
}

void DKResultSetCursorPG::close() {
    rows_.reset();
    position_ = 0;
    atEnd_ = false;
}

unsigned long DKResultSetCursorPG::cardinality() { return rows_ ? static_cast<unsigned long>(PQntuples(rows_.get())) : 0; }

void DKResultSetCursorPG::layOut(const char* function) {
    const PGresult* r = rows_.get();
    const int columns = PQnfields(r);
    entity_.reset();
    idColumn_ = -1;
    // An item row holds the row id of an entity's table (its first column, dk_id).
    for (int c = 0; c < columns && !entity_; ++c) {
        if (PQftable(r, c) == InvalidOid || PQftablecol(r, c) != 1) continue;
        entity_ = ds_->entityByTable(PQftable(r, c), function);
        if (entity_) idColumn_ = c;
    }
    attrOf_.assign(static_cast<std::size_t>(columns), PItemMap::npos);
    typeOf_.assign(static_cast<std::size_t>(columns), DKAny::tc_string);
    plainShape_ = std::make_unique<PEntityShape>();
    for (int c = 0; c < columns; ++c) {
        const auto k = static_cast<std::size_t>(c);
        if (entity_) {
            // The entity's own columns, by name; a column of another table or an expression is left out.
            if (PQftable(r, c) != entity_->table) continue;
            attrOf_[k] = entity_->names.find(PQfname(r, c));
            if (attrOf_[k] != PItemMap::npos) typeOf_[k] = entity_->attrs[attrOf_[k]].type;
        } else {
            typeOf_[k] = typeOfColumn(PQftype(r, c));
            const unsigned short id = plainShape_->addData(PQfname(r, c));
            plainShape_->addDataProperty(id, "type", DKAny(typeOf_[k]));
        }
    }
}

DKDDO* DKResultSetCursorPG::fetchNext() {
    static const char* const fn = "DKResultSetCursorPG::fetchNext";
    DKDatastorePG* d = ds(fn);
    if (!rows_) open();
    const PGresult* r = rows_.get();
    if (position_ >= PQntuples(r)) {
        atEnd_ = true;
        return nullptr;
    }
    const int row = position_;
    std::unique_ptr<DKDDO> ddo;
    if (entity_) {
        const long id = std::strtol(PQgetvalue(r, row, idColumn_), nullptr, 10);
        ddo.reset(PConnectorKit::newRowObject(entity_->shapeDefinition(), entity_->pidFor(d->repositoryName(), id), d));
        for (std::size_t c = 0; c < attrOf_.size(); ++c)
            if (attrOf_[c] != PItemMap::npos)
                PConnectorKit::fill(*ddo, static_cast<unsigned short>(attrOf_[c] + 1)) =
                    readValue(r, row, static_cast<int>(c), typeOf_[c], kSource, fn);
    } else {
        ddo.reset(PConnectorKit::newRowObject(plainShape_->definition(), DKPid(), d));
        for (std::size_t c = 0; c < typeOf_.size(); ++c)
            PConnectorKit::fill(*ddo, static_cast<unsigned short>(c + 1)) =
                readValue(r, row, static_cast<int>(c), typeOf_[c], kSource, fn);
    }
    ++position_;
    return ddo.release();
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
