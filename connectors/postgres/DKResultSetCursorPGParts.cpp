// connectors/postgres/DKResultSetCursorPGParts.cpp
//
// The rows of several part cursors as one forward-only sequence: each part is read to its end
// before the next one starts, so every entity's items keep their own statement's order.

#include "DKResultSetCursorPGParts.hpp"

#include <dk/DKDDO.hpp>

DKResultSetCursorPGParts::DKResultSetCursorPGParts(std::vector<std::unique_ptr<dkResultSetCursor>> parts)
    : parts_(std::move(parts)) {}

DKDDO* DKResultSetCursorPGParts::fetchNext() {
    for (; current_ < parts_.size(); ++current_) {
        if (DKDDO* d = parts_[current_]->fetchNext()) {
            ++position_;
            return d;
        }
    }
    atEnd_ = true;
    return nullptr;
}

int DKResultSetCursorPGParts::fetchNext(DKDDO& row) {
    for (; current_ < parts_.size(); ++current_) {
        if (parts_[current_]->fetchNext(row) == 1) {
            ++position_;
            return 1;
        }
    }
    atEnd_ = true;
    return 0;
}

int DKResultSetCursorPGParts::fetchNextN(long howMany, dkCollection& into) {
    int got = 0;
    for (; current_ < parts_.size() && got < howMany; ++current_) {
        got += parts_[current_]->fetchNextN(howMany - got, into);
        if (got == howMany) break;
    }
    position_ += got;
    if (got < howMany) atEnd_ = true;
    return got;
}

void DKResultSetCursorPGParts::open() {
    for (auto& p : parts_) p->open();
    current_ = 0;
    position_ = 0;
    atEnd_ = false;
}

void DKResultSetCursorPGParts::close() {
    for (auto& p : parts_) p->close();
    current_ = 0;
    position_ = 0;
    atEnd_ = false;
}

unsigned long DKResultSetCursorPGParts::cardinality() {
    unsigned long n = 0;
    for (auto& p : parts_) n += p->cardinality();
    return n;
}
