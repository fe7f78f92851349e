// connectors/sqlite/DKResultSetCursorSQLITE.cpp
//
// The cursor over one query of the SQLite connector. It reads rows as they are fetched and turns
// each into a new DDO: rows of one entity become items of that entity (shaped by it, with their
// pid), other rows become DDOs whose items are the result columns. Every row of one open comes
// from one read snapshot of the file, and the size of the result is counted in it on demand. At
// the end of the rows the statements are reset at once, so a finished cursor holds no read
// snapshot. A query with a time limit is interrupted inside SQLite once the limit has passed.

#include "DKResultSetCursorSQLITE.hpp"
#include "DKDatastoreSQLITE.hpp"
#include "PSqliteStatement.hpp"
#include "PSqliteValues.hpp"

#include <dk/DKException.hpp>
#include <dk/DKPid.hpp>
#include <dk/dkCollection.hpp>
#include <dk/dkThrow.hpp>

#include <sqlite3.h>

#include <cctype>
#include <cstring>
#include <set>

using namespace dksqlite;

namespace {
constexpr const char* kSource = "connectors/sqlite/DKResultSetCursorSQLITE";

[[noreturn]] void unsupported(const char* function) {
    dkThrow<DKUsageError>(341, kSource, function, DKString(function));
}
}  // namespace

DKResultSetCursorSQLITE::DKResultSetCursorSQLITE(DKDatastoreSQLITE* ds, sqlite3_stmt* stmt, std::shared_ptr<PEntity> entity,
                                                 const PBinding& binding)
    : ds_(ds),
      stmt_(stmt),
      entity_(std::move(entity)),
      open_(!binding.prepared),
      paramsMissing_(!binding.complete),
      onRow_(false),
      atEnd_(false),
      position_(0),
      invalidated_(false),
      timed_(false),
      idColumn_(-1) {
    ds_->registerCursor(this);
    describe();
    startClock();
}

void DKResultSetCursorSQLITE::startClock() {
    const long ms = ds_->settings_.queryTimeoutMs;
    timed_ = ms > 0;
    if (timed_) deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

DKResultSetCursorSQLITE::~DKResultSetCursorSQLITE() { destroy(); }

void DKResultSetCursorSQLITE::describe() {
    const int n = sqlite3_column_count(stmt_);
    columnItem_.assign(static_cast<size_t>(n), 0);
    columnType_.assign(static_cast<size_t>(n), 0);
    if (!entity_) shape_ = std::make_unique<PEntityShape>();
    std::set<std::string> used;
    for (int c = 0; c < n; ++c) {
        // The attribute a column comes from gives its type, in entity rows and plain rows alike.
        const char* table = sqlite3_column_table_name(stmt_, c);
        const char* origin = sqlite3_column_origin_name(stmt_, c);
        std::shared_ptr<PEntity> e = table ? ds_->entityByTable(table) : nullptr;
        const PAttr* a = e && origin ? e->find(origin) : nullptr;
        if (a) columnType_[static_cast<size_t>(c)] = a->type;
        if (entity_) {
            if (origin && lowerName(origin) == kIdColumn) idColumn_ = c;
            else if (a) columnItem_[static_cast<size_t>(c)] = static_cast<unsigned short>(a - e->attrs.data() + 1);
            continue;
        }
        // Plain rows: one item per column, named as SQLite names the column; a repeated name gets
        // "_2", "_3" ... so that every column has an item.
        const char* raw = sqlite3_column_name(stmt_, c);
        std::string name = raw ? raw : "";
        if (name.empty()) name = "column" + std::to_string(c + 1);
        std::string unique = name;
        for (int k = 2; !used.insert(lowerName(unique.c_str())).second; ++k) unique = name + "_" + std::to_string(k);
        unsigned short id = shape_->addData(unique.c_str());
        if (a) shape_->addDataProperty(id, "type", DKAny(static_cast<unsigned short>(a->type)));
        columnItem_[static_cast<size_t>(c)] = id;
    }
    if (entity_)
        unfilled_ = PConnectorKit::unfilledItems(columnItem_, static_cast<unsigned short>(entity_->attrs.size()));
}

void DKResultSetCursorSQLITE::keepValues(std::vector<PTreeQuery> parts, unsigned reach) {
    ownValues_ = true;
    treeParts_ = std::move(parts);
    reach_ = reach;
}

void DKResultSetCursorSQLITE::keepParams(const DKNVPair* params) {
    params_.clear();
    for (const DKNVPair* p = params; p != nullptr && p->getName().length() != 0 && p->getName() != kEndMark; ++p)
        params_.push_back(*p);
    params_.emplace_back("");
}

void DKResultSetCursorSQLITE::addPart(sqlite3_stmt* stmt, std::shared_ptr<PEntity> entity) {
    if (parts_.empty()) parts_.push_back({stmt_, entity_});
    parts_.push_back({stmt, std::move(entity)});
}

void DKResultSetCursorSQLITE::usePart(size_t part) {
    if (parts_.empty() || part == part_) return;
    part_ = part;
    stmt_ = parts_[part].stmt;
    entity_ = parts_[part].entity;
    idColumn_ = -1;
    unfilled_.clear();
    describe();
}

void DKResultSetCursorSQLITE::finalizeAll() noexcept {
    sqlite3_finalize(snapshot_);
    snapshot_ = nullptr;
    if (parts_.empty()) {
        if (stmt_) sqlite3_finalize(stmt_);
    } else {
        for (Part& p : parts_) sqlite3_finalize(p.stmt);
        parts_.clear();
    }
    stmt_ = nullptr;
}

void DKResultSetCursorSQLITE::invalidate() noexcept {
    finalizeAll();
    ds_ = nullptr;
    invalidated_ = true;
    open_ = onRow_ = false;
}

void DKResultSetCursorSQLITE::checkUsable(const char* function) const {
    if (stmt_ == nullptr)
        dkThrow<DKDatastoreError>(kMsgCursorClosed, kSource, function,
                                  DKString(invalidated_ ? "the datastore was disconnected" : "the cursor was destroyed"));
}

int DKResultSetCursorSQLITE::stepTimed(sqlite3_stmt* s) { return ds_->stepQuery(s, timed_ ? &deadline_ : nullptr); }

void DKResultSetCursorSQLITE::checkStep(int rc, sqlite3_stmt* s, const char* function) {
    if (rc == SQLITE_INTERRUPT && timed_ && std::chrono::steady_clock::now() >= deadline_)
        dkThrowServer<DKDatastoreError>(kMsgQueryTimeout, kSource, function,
                                        DKString(ds_->settings_.queryTimeoutMs) + " ms ", "", rc);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) throwSqlite(sqlite3_db_handle(s), rc, kSource, function, "reading the next row");
}

void DKResultSetCursorSQLITE::holdSnapshot(const char* function) {
    // Inside a transaction the transaction is the snapshot.
    if ((snapshot_ != nullptr && sqlite3_stmt_busy(snapshot_)) || ds_->inTransaction_) return;
    if (snapshot_ == nullptr)
        snapshot_ = prepare(sqlite3_db_handle(stmt_), "SELECT count(*) FROM dk_repository", kSource, function).release();
    const int rc = sqlite3_step(snapshot_);
    if (rc != SQLITE_ROW) {
        sqlite3_reset(snapshot_);
        checkStep(rc == SQLITE_DONE ? SQLITE_ERROR : rc, snapshot_, function);
    }
}

void DKResultSetCursorSQLITE::releaseSnapshot() noexcept {
    if (snapshot_ != nullptr) sqlite3_reset(snapshot_);
}

void DKResultSetCursorSQLITE::bindLike(sqlite3_stmt* s, size_t part, const char* function) {
    if (!treeParts_.empty()) bindTree(s, treeParts_[part], kSource, function);
    else if (!params_.empty()) bindParams(s, params_.data(), kSource, function);
}

unsigned long DKResultSetCursorSQLITE::countRows(const char* function) {
    holdSnapshot(function);
    unsigned long total = 0;
    const size_t n = parts_.empty() ? 1 : parts_.size();
    for (size_t p = 0; p < n; ++p) {
        std::string sql = sqlite3_sql(parts_.empty() ? stmt_ : parts_[p].stmt);
        while (!sql.empty() && (std::isspace(static_cast<unsigned char>(sql.back())) || sql.back() == ';')) sql.pop_back();
        // The statement as a sub-query of count(*); the line break ends a trailing -- comment.
        // Where SQLite cannot read it so (a trailing unclosed /* comment), its rows are stepped.
        PStmt c;
        bool wrapped = true;
        try {
            c = PStmt(ds_->prepareGuarded(("SELECT count(*) FROM (" + sql + "\n)").c_str(), function, reach_));
        } catch (const DKUsageError&) {
            c = PStmt(ds_->prepareGuarded(sql.c_str(), function, reach_));
            wrapped = false;
        }
        bindLike(c.get(), p, function);
        int rc = stepTimed(c.get());
        if (wrapped && rc == SQLITE_ROW) total += static_cast<unsigned long>(sqlite3_column_int64(c.get(), 0));
        for (; !wrapped && rc == SQLITE_ROW; rc = stepTimed(c.get())) ++total;
        checkStep(rc, c.get(), function);
    }
    return total;
}

unsigned long DKResultSetCursorSQLITE::cardinality() {
    static const char* const fn = "DKResultSetCursorSQLITE::cardinality";
    if (stmt_ == nullptr || !open_ || atEnd_) return static_cast<unsigned long>(position_);
    if (count_ < 0) count_ = static_cast<long>(countRows(fn));
    return static_cast<unsigned long>(count_);
}

bool DKResultSetCursorSQLITE::step(const char* function) {
    checkUsable(function);
    if (!open_ || atEnd_) return false;
    if (position_ == 0 && parts_.size() > 1) holdSnapshot(function);
    int rc = ahead_ ? aheadRc_ : stepTimed(stmt_);
    ahead_ = false;
    // The end of one part of a chain is the start of the next.
    while (rc == SQLITE_DONE && part_ + 1 < parts_.size()) {
        sqlite3_reset(stmt_);
        usePart(part_ + 1);
        rc = stepTimed(stmt_);
    }
    if (rc == SQLITE_ROW) {
        onRow_ = true;
        ++position_;
        return true;
    }
    onRow_ = false;
    atEnd_ = true;
    sqlite3_reset(stmt_);   // releases the read snapshot now, not when the cursor is deleted
    releaseSnapshot();
    checkStep(rc, stmt_, function);
    return false;
}

int DKResultSetCursorSQLITE::readAhead() {
    // The parts after the first are read in the snapshot this first step is taken in.
    if (parts_.size() > 1) holdSnapshot("DKResultSetCursorSQLITE::readAhead");
    aheadRc_ = stepTimed(stmt_);
    ahead_ = true;
    return aheadRc_;
}

DKDDO* DKResultSetCursorSQLITE::rowObject(const char* function) {
    checkUsable(function);
    if (!onRow_) return nullptr;
    // The object, its values and its pid in one allocation.
    std::unique_ptr<DKDDO> d(PConnectorKit::newRowObject(rowShape(), rowPid(), ds_));
    fillValues(*d, function);
    return d.release();
}

DKDDODef* DKResultSetCursorSQLITE::rowShape() const {
    // A DDO may add items of its own to an entity's shared shape; the entity then hands out a
    // fresh one, so a reused row always has exactly the entity's items.
    return entity_ ? entity_->shapeDefinition() : shape_->definition();
}

const DKPid& DKResultSetCursorSQLITE::rowPid() {
    if (!entity_) return noPid_;
    const long id = idColumn_ >= 0 ? static_cast<long>(sqlite3_column_int64(stmt_, idColumn_)) : 0;
    return entity_->pidFor(ds_->repositoryName(), id);
}

void DKResultSetCursorSQLITE::fillRow(DKDDO& row, const char* function) {
    PConnectorKit::refillRow(row, rowShape(), rowPid(), nullptr, ds_, unfilled_);
    fillValues(row, function);
}

void DKResultSetCursorSQLITE::fillValues(DKDDO& row, const char* function) {
    const int n = static_cast<int>(columnItem_.size());
    for (int c = 0; c < n; ++c) {
        const unsigned short item = columnItem_[static_cast<size_t>(c)];
        if (item == 0) continue;
        readInto(stmt_, c, columnType_[static_cast<size_t>(c)], PConnectorKit::fill(row, item), &scratch_, kSource,
                 function);
    }
}

void DKResultSetCursorSQLITE::setPosition(long position, const DKAny&) {
    static const char* const fn = "DKResultSetCursorSQLITE::setPosition";
    checkUsable(fn);
    if (position < position_) unsupported(fn);   // forward only
    while (position_ < position && step(fn)) {
    }
}

void DKResultSetCursorSQLITE::setToNext() { step("DKResultSetCursorSQLITE::setToNext"); }

DKDDO* DKResultSetCursorSQLITE::fetchObject() { return rowObject("DKResultSetCursorSQLITE::fetchObject"); }

DKDDO* DKResultSetCursorSQLITE::fetchNext() {
    static const char* const fn = "DKResultSetCursorSQLITE::fetchNext";
    return step(fn) ? rowObject(fn) : nullptr;
}

int DKResultSetCursorSQLITE::fetchNext(DKDDO& row) {
    static const char* const fn = "DKResultSetCursorSQLITE::fetchNext";
    if (!step(fn)) return 0;
    try {
        fillRow(row, fn);
    } catch (...) {
        row.reset(nullptr);   // no half of a row
        throw;
    }
    return 1;
}

int DKResultSetCursorSQLITE::fetchNextN(long howMany, dkCollection& into) {
    static const char* const fn = "DKResultSetCursorSQLITE::fetchNextN";
    int got = 0;
    while (got < howMany && step(fn)) {
        std::unique_ptr<DKDDO> d(rowObject(fn));
        into.addElement(DKAny(static_cast<dkDataObjectBase*>(d.get())));
        d.release();
        ++got;
    }
    return got;
}

int DKResultSetCursorSQLITE::columnOf(const char* name, const char* function) const {
    const int n = sqlite3_column_count(stmt_);
    const std::string wanted = lowerName(name);
    for (int c = 0; c < n; ++c) {
        const char* col = sqlite3_column_name(stmt_, c);
        if (col && lowerName(col) == wanted) return c;
    }
    dkThrow<DKUsageError>(kMsgNoAttr, kSource, function, DKString(name ? name : ""));
}

DKAny DKResultSetCursorSQLITE::fetchObjectByName(const char* name) {
    static const char* const fn = "DKResultSetCursorSQLITE::fetchObjectByName";
    checkUsable(fn);
    const int c = columnOf(name, fn);
    if (!onRow_) return DKAny();
    return columnValue(stmt_, c, columnType_[static_cast<size_t>(c)], kSource, fn);
}

DKAny DKResultSetCursorSQLITE::fetchNextByName(const char* name) {
    static const char* const fn = "DKResultSetCursorSQLITE::fetchNextByName";
    checkUsable(fn);
    const int c = columnOf(name, fn);
    if (!step(fn)) return DKAny();
    return columnValue(stmt_, c, columnType_[static_cast<size_t>(c)], kSource, fn);
}

int DKResultSetCursorSQLITE::fetchNextNByName(const char* name, long howMany, DKAny* values, long arraySize) {
    static const char* const fn = "DKResultSetCursorSQLITE::fetchNextNByName";
    checkUsable(fn);
    const int c = columnOf(name, fn);
    const long limit = howMany < arraySize ? howMany : arraySize;
    int got = 0;
    while (values != nullptr && got < limit && step(fn))
        values[got++] = columnValue(stmt_, c, columnType_[static_cast<size_t>(c)], kSource, fn);
    return got;
}

DKDDO* DKResultSetCursorSQLITE::findObject(long, const char*) { unsupported("DKResultSetCursorSQLITE::findObject"); }
void DKResultSetCursorSQLITE::deleteObject() { unsupported("DKResultSetCursorSQLITE::deleteObject"); }
void DKResultSetCursorSQLITE::updateObject(DKDDO*) { unsupported("DKResultSetCursorSQLITE::updateObject"); }
DKDDO* DKResultSetCursorSQLITE::newObject() { unsupported("DKResultSetCursorSQLITE::newObject"); }
void DKResultSetCursorSQLITE::addObject(DKDDO*) { unsupported("DKResultSetCursorSQLITE::addObject"); }

void DKResultSetCursorSQLITE::open(const DKNVPair* params) {
    static const char* const fn = "DKResultSetCursorSQLITE::open";
    checkUsable(fn);
    if (ownValues_)
        dkThrow<DKUsageError>(kMsgBadParams, kSource, fn, DKString("the cursor of a tree takes no parameters; open() runs it again"));
    sqlite3_reset(stmt_);
    releaseSnapshot();
    sqlite3_clear_bindings(stmt_);
    open_ = onRow_ = atEnd_ = ahead_ = false;
    position_ = 0;
    count_ = -1;
    bindParams(stmt_, params, kSource, fn);
    keepParams(params);
    paramsMissing_ = false;
    open_ = true;
    startClock();
}

void DKResultSetCursorSQLITE::open() {
    static const char* const fn = "DKResultSetCursorSQLITE::open";
    checkUsable(fn);
    if (paramsMissing_)
        dkThrow<DKUsageError>(kMsgBadParams, kSource, fn,
                              DKString("the query was prepared without all its parameters; open it with them"));
    // Runs the query again from its first row, with the parameters it has.
    sqlite3_reset(stmt_);
    releaseSnapshot();
    usePart(0);
    onRow_ = atEnd_ = ahead_ = false;
    position_ = 0;
    count_ = -1;
    open_ = true;
    startClock();
}

void DKResultSetCursorSQLITE::close() {
    if (stmt_) sqlite3_reset(stmt_);
    releaseSnapshot();
    open_ = onRow_ = ahead_ = false;
    count_ = -1;
}

void DKResultSetCursorSQLITE::destroy() {
    if (ds_) ds_->unregisterCursor(this);
    ds_ = nullptr;
    finalizeAll();
    open_ = onRow_ = false;
}

DKString DKResultSetCursorSQLITE::datastoreName() const { return ds_ ? ds_->datastoreName() : DKString(); }

DKString DKResultSetCursorSQLITE::datastoreType() const { return "SQLITE"; }
