// src/dk/common/datastore/dkResultSetCursor.cpp
//
// The placeholder bodies of the result-set cursors. Connectors replace all of them; the base
// answers as an always-valid cursor with nothing to fetch. Fetching into a caller's DDO is built
// on fetchNext(), so every connector has it; connectors that read rows themselves fill the DDO
// directly instead.

#include <dk/dkResultSetCursor.hpp>

#include <dk/DKDDO.hpp>
#include <dk/PConnectorKit.hpp>

#include <memory>

dkResultSetCursor::dkResultSetCursor() = default;
dkResultSetCursor::~dkResultSetCursor() = default;

int dkResultSetCursor::isScrollable() const { return 1; }
int dkResultSetCursor::isUpdatable() const { return 1; }
int dkResultSetCursor::isValid() const { return 1; }
int dkResultSetCursor::isOpen() const { return 1; }
int dkResultSetCursor::isBegin() const { return 1; }
int dkResultSetCursor::isEnd() const { return 1; }
int dkResultSetCursor::isInBetween() const { return 1; }
long dkResultSetCursor::getPosition() const { return 0; }
void dkResultSetCursor::setPosition(long, const DKAny&) {}
void dkResultSetCursor::setToNext() {}
DKDDO* dkResultSetCursor::fetchObject() { return nullptr; }
DKDDO* dkResultSetCursor::fetchNext() { return nullptr; }
int dkResultSetCursor::fetchNextN(long, dkCollection&) { return 0; }
DKAny dkResultSetCursor::fetchObjectByName(const char*) { return DKAny(); }
DKAny dkResultSetCursor::fetchNextByName(const char*) { return DKAny(); }
int dkResultSetCursor::fetchNextNByName(const char*, long, DKAny*, long) { return 0; }
DKDDO* dkResultSetCursor::findObject(long, const char*) { return nullptr; }
void dkResultSetCursor::deleteObject() {}
void dkResultSetCursor::updateObject(DKDDO*) {}
DKDDO* dkResultSetCursor::newObject() { return nullptr; }
void dkResultSetCursor::addObject(DKDDO*) {}
void dkResultSetCursor::open(const DKNVPair*) {}
void dkResultSetCursor::open() {}
void dkResultSetCursor::close() {}
void dkResultSetCursor::destroy() {}
DKString dkResultSetCursor::datastoreName() const { return DKString(); }
DKString dkResultSetCursor::datastoreType() const { return DKString(); }
DKHandle* dkResultSetCursor::handle(const char*) { return nullptr; }
DKHandle* dkResultSetCursor::handle(long) { return nullptr; }
unsigned long dkResultSetCursor::cardinality() { return 0; }
DKString dkResultSetCursor::objectType() { return DKString("dkResultSetCursor"); }

int dkResultSetCursor::fetchNext(DKDDO& row) {
    std::unique_ptr<DKDDO> next(fetchNext());
    if (!next) return 0;
    PConnectorKit::handOver(*next, row);
    row.setDatastore(next->getDatastore());
    return 1;
}

dkResultSetCursorScrollable::dkResultSetCursorScrollable() = default;
dkResultSetCursorScrollable::~dkResultSetCursorScrollable() = default;

void dkResultSetCursorScrollable::setToPrevious() {}
DKDDO* dkResultSetCursorScrollable::fetchPrevious() { return nullptr; }
DKDDO* dkResultSetCursorScrollable::fetchFirst() { return nullptr; }
DKDDO* dkResultSetCursorScrollable::fetchLast() { return nullptr; }
int dkResultSetCursorScrollable::fetchPreviousN(long, dkCollection&) { return 0; }
DKAny dkResultSetCursorScrollable::fetchPreviousByName(const char*) { return DKAny(); }
int dkResultSetCursorScrollable::fetchPreviousNByName(const char*, long, DKAny*, long) { return 0; }
