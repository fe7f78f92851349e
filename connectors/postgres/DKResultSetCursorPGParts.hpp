// connectors/postgres/DKResultSetCursorPGParts.hpp
#pragma once

// The cursor of a search over several entities. Internal to libdkdspg: applications use it through
// dkResultSetCursor.

#include <dk/dkResultSetCursor.hpp>

#include <memory>
#include <vector>

// A forward-only cursor over the rows of several cursors, one after the other: the items a tree or
// a text query finds in several entities, each entity's rows in its own statement. Owns its part
// cursors, which are detached with their datastore. One thread at a time, as its datastore.
class DKResultSetCursorPGParts : public dkResultSetCursor {
public:
    explicit DKResultSetCursorPGParts(std::vector<std::unique_ptr<dkResultSetCursor>> parts);

    int isScrollable() const override { return 0; }
    int isUpdatable() const override { return 0; }
    int isValid() const override { return parts_.front()->isValid(); }
    int isOpen() const override { return parts_.front()->isOpen(); }
    int isBegin() const override { return isOpen() && position_ == 0 && !atEnd_ ? 1 : 0; }
    int isEnd() const override { return isOpen() && atEnd_ ? 1 : 0; }
    int isInBetween() const override { return isOpen() && position_ > 0 && !atEnd_ ? 1 : 0; }
    long getPosition() const override { return position_; }
    DKDDO* fetchNext() override;
    int fetchNext(DKDDO& row) override;
    int fetchNextN(long howMany, dkCollection& into) override;
    void open(const DKNVPair*) override { open(); }
    void open() override;
    void close() override;
    DKString datastoreName() const override { return parts_.front()->datastoreName(); }
    DKString datastoreType() const override { return "PG"; }
    unsigned long cardinality() override;
    DKString objectType() override { return "DKResultSetCursorPG"; }

private:
    std::vector<std::unique_ptr<dkResultSetCursor>> parts_;   // never empty
    std::size_t current_ = 0;
    long position_ = 0;
    bool atEnd_ = false;
};
