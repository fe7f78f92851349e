// connectors/sqlite/DKResultSetCursorSQLITE.hpp
#pragma once

// The cursor of the SQLite connector's queries. Internal to libdkdssqlite: applications reach it
// through dkResultSetCursor.

#include "PCatalogue.hpp"
#include "PSqliteTree.hpp"

#include <dk/DKNVPair.hpp>
#include <dk/dkResultSetCursor.hpp>

#include <chrono>
#include <memory>
#include <vector>

struct sqlite3_stmt;
class DKDatastoreSQLITE;
namespace dksqlite {
struct PBinding;
}

// A forward-only, read-only cursor over one query (or over the parts of a tree, one statement per
// entity, read one after the other). It is open when returned; rows are read as
// they are fetched, all from one read snapshot of the file. cardinality() is the size of the
// whole result in that snapshot: counted once per open with a count(*) over the same statement
// and bindings, which then holds the snapshot until the last row, so it always equals the rows
// fetched, whatever other connections write meanwhile. fetchNext and fetchNextN give new DDOs the caller
// owns; fetchNext(row) fills the caller's DDO instead, reusing what it holds (the shape, the
// value objects, a string's buffer), so reading a large result makes no DDO per row. After
// disconnect the cursor is not valid: fetches throw DKDatastoreError kMsgCursorClosed.
// With query_timeout set, the time from execute (or open) across all fetches is limited. The
// cursor of a query prepared by a query object ("Prepare Query" among its parameters) starts
// closed; the query object opens it, with open(params) when parameters were left unbound.
// One thread at a time, the thread of its datastore.
class DKResultSetCursorSQLITE : public dkResultSetCursor {
public:
    DKResultSetCursorSQLITE(DKDatastoreSQLITE* ds, sqlite3_stmt* stmt, std::shared_ptr<dksqlite::PEntity> entity,
                            const dksqlite::PBinding& binding);
    ~DKResultSetCursorSQLITE() override;

    int isScrollable() const override { return 0; }
    int isUpdatable() const override { return 0; }
    int isValid() const override { return stmt_ != nullptr ? 1 : 0; }
    int isOpen() const override { return stmt_ != nullptr && open_ ? 1 : 0; }
    int isBegin() const override { return isOpen() && position_ == 0 && !atEnd_ ? 1 : 0; }
    int isEnd() const override { return isOpen() && atEnd_ ? 1 : 0; }
    int isInBetween() const override { return isOpen() && position_ > 0 && !atEnd_ ? 1 : 0; }
    long getPosition() const override { return position_; }
    void setPosition(long position, const DKAny& value) override;
    void setToNext() override;
    DKDDO* fetchObject() override;
    DKDDO* fetchNext() override;
    int fetchNextN(long howMany, dkCollection& into) override;
    DKAny fetchObjectByName(const char* name) override;
    DKAny fetchNextByName(const char* name) override;
    int fetchNextNByName(const char* name, long howMany, DKAny* values, long arraySize) override;
    DKDDO* findObject(long position, const char* predicate) override;
    void deleteObject() override;
    void updateObject(DKDDO* object) override;
    DKDDO* newObject() override;
    void addObject(DKDDO* object) override;
    void open(const DKNVPair* params) override;
    void open() override;
    void close() override;
    void destroy() override;
    DKString datastoreName() const override;
    DKString datastoreType() const override;
    unsigned long cardinality() override;
    DKString objectType() override { return "DKResultSetCursorSQLITE"; }
    // When reading the row fails, row is left without values (reset to no definition).
    int fetchNext(DKDDO& row) override;

    // Called by the datastore when its connection goes: the statement is finalised.
    void invalidate() noexcept;
    // The statement's values are its own (a tree's or a text search's parts): open(params) is
    // refused instead of replacing them, and cardinality() binds its count statements with them
    // and prepares them with reach (the datastore's GuardReach flags the parts were prepared with).
    void keepValues(std::vector<dksqlite::PTreeQuery> parts, unsigned reach);
    // The parameters the statement was bound with (an SQL query's), kept for cardinality().
    void keepParams(const DKNVPair* params);
    // Another statement (owned from now on) whose rows follow those of the ones before, rows of
    // entity: a tree over several entities reads one after the other.
    void addPart(sqlite3_stmt* stmt, std::shared_ptr<dksqlite::PEntity> entity);
    // Steps the open cursor's statement once now, within its time limit, and returns SQLite's
    // result code: a failure that SQLite reports only when a statement runs (the text of a full-text
    // query) can then be thrown by execute. The next fetch takes that row, or reports that failure.
    int readAhead();

private:
    void checkUsable(const char* function) const;
    void startClock();                 // the query's time limit counts from now
    bool step(const char* function);   // moves to the next row; false at the end
    DKDDO* rowObject(const char* function);
    // The row the statement is on, into row: its shape (made again only when row has another
    // one, or object properties), pid, datastore and values, read in place.
    void fillRow(DKDDO& row, const char* function);
    DKDDODef* rowShape() const;   // the definition rows of this cursor share
    const DKPid& rowPid();        // the pid of the row the statement is on
    void fillValues(DKDDO& row, const char* function);   // the row's values, into row's own
    int columnOf(const char* name, const char* function) const;
    void describe();
    void usePart(size_t part);        // makes part the current statement
    void finalizeAll() noexcept;
    // The read snapshot of this open: held by a statement of the connection's that stays on a
    // row (SQLite keeps one read transaction while any statement of a connection is active), so
    // the parts of a tree and the count are read in the same state of the file.
    void holdSnapshot(const char* function);
    void releaseSnapshot() noexcept;
    unsigned long countRows(const char* function);
    void bindLike(sqlite3_stmt* s, size_t part, const char* function);   // binds as the part was
    int stepTimed(sqlite3_stmt* s);
    void checkStep(int rc, sqlite3_stmt* s, const char* function);   // throws for a failed step

    struct Part {
        sqlite3_stmt* stmt;   // owned
        std::shared_ptr<dksqlite::PEntity> entity;
    };
    std::vector<Part> parts_;   // empty for one statement; else every part, stmt_ being one of them
    size_t part_ = 0;
    bool ownValues_ = false;
    bool ahead_ = false;   // readAhead stepped: aheadRc_ is the next step's result
    int aheadRc_ = 0;
    std::vector<dksqlite::PTreeQuery> treeParts_;   // a tree's or a text search's values, part by part
    unsigned reach_ = 0;                            // what its count statements may read (GuardReach)
    std::vector<DKNVPair> params_;                  // an SQL query's parameters, ended by an empty name
    sqlite3_stmt* snapshot_ = nullptr;              // owned; on a row while the snapshot is held
    long count_ = -1;                               // the result's size in this open, once counted

    DKDatastoreSQLITE* ds_;   // not owned; null after invalidate
    sqlite3_stmt* stmt_;      // owned
    std::shared_ptr<dksqlite::PEntity> entity_;   // set when rows are items of one entity
    bool open_;
    bool paramsMissing_;   // prepared with parameters left for open(params)
    bool onRow_;
    bool atEnd_;
    long position_;
    bool invalidated_;
    bool timed_;                                      // query_timeout applies
    std::chrono::steady_clock::time_point deadline_;  // when it runs out
    // For entity rows: the column holding the row id, and each column's data id (0: none).
    int idColumn_;
    std::vector<unsigned short> columnItem_;
    std::vector<unsigned short> columnType_;
    // For entity rows: the entity's items that no column fills (unset in a reused row).
    std::vector<unsigned short> unfilled_;
    // For other rows: a shape of the result columns, shared by every DDO of this cursor.
    std::unique_ptr<dksqlite::PEntityShape> shape_;
    DKPid noPid_;          // the pid of other rows
    std::string scratch_;  // text on its way into a string value
};
