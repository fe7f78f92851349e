// connectors/postgres/DKResultSetCursorPG.hpp
#pragma once

// The cursor of the PostgreSQL connector's queries. Internal to libdkdspg: applications use it
// through dkResultSetCursor.

#include "PPgCatalogue.hpp"
#include "PPgPortal.hpp"
#include "PPgStatement.hpp"
#include "PPgValues.hpp"

#include <dk/DKPid.hpp>
#include <dk/dkResultSetCursor.hpp>

#include <memory>
#include <string>
#include <vector>

class DKDatastorePG;

// A forward-only cursor over the rows of one query. A row whose columns include the row id of an
// entity's table is an item of that entity: a DDO of the entity's shape with its pid, the
// entity's columns in it read as their attributes' types. Any other row is a DDO with one item
// per column, named after it, typed by the column's type, without a pid. open() runs the query
// again with the same parameters.
//
// The rows stay on the server in a portal (PPgPortal.hpp) and arrive in batches of the
// configuration's fetch_rows, so the client holds one batch whatever the size of the result. The
// portal lives in a transaction: the caller's when one is open (the cursor then ends with it), else
// a REPEATABLE READ, READ ONLY one that the datastore's open cursors share, ended when the last of
// them is read to its end, closed or deleted. In the shared one, the datastore's other reads run
// in savepoints and see the cursors' snapshot; its writes are refused (9226) until then.
//
// Holds one batch of rows and the query's parameters; not the datastore, which detaches its
// cursors when it disconnects or is deleted (the cursor then reports not valid). One thread at a
// time, as its datastore.
class DKResultSetCursorPG : public dkResultSetCursor {
public:
    DKResultSetCursorPG(DKDatastorePG* ds, std::string sql, dkpg::PParams params);
    ~DKResultSetCursorPG() override;

    int isScrollable() const override { return 0; }
    int isUpdatable() const override { return 0; }
    int isValid() const override { return ds_ != nullptr ? 1 : 0; }
    int isOpen() const override { return ds_ != nullptr && open_ ? 1 : 0; }
    int isBegin() const override { return isOpen() && position_ == 0 && !atEnd_ ? 1 : 0; }
    int isEnd() const override { return isOpen() && atEnd_ ? 1 : 0; }
    int isInBetween() const override { return isOpen() && position_ > 0 && !atEnd_ ? 1 : 0; }
    long getPosition() const override { return position_; }
    DKDDO* fetchNext() override;
    int fetchNext(DKDDO& row) override;
    int fetchNextN(long howMany, dkCollection& into) override;
    void open(const DKNVPair* params) override;
    void open() override;
    void close() override;
    DKString datastoreName() const override;
    DKString datastoreType() const override { return "PG"; }
    unsigned long cardinality() override;
    DKString objectType() override { return "DKResultSetCursorPG"; }

    // The datastore is going away or disconnecting: the rows go and the cursor is not valid.
    void detach() noexcept;
    // The caller's transaction the cursor was opened in has ended, and its portal with it.
    void transactionEnded() noexcept;

private:
    DKDatastorePG* ds(const char* function) const;   // DKDatastoreError kMsgCursorClosed when detached
    void layOut(const char* function);               // the shape of the rows of rows_
    void nextBatch(const char* function);            // rows_ from the portal; the portal let go after the last
    void letGo() noexcept;                           // the portal closed, the shared transaction left
    void dropPortal() noexcept;                      // the portal forgotten, its prepared query free again
    void openOnce(DKDatastorePG* d, const char* function);   // open() without its one retry
    [[noreturn]] void failed(const char* function);  // after a failed batch: at the end, rethrown

    DKDatastorePG* ds_;
    std::string sql_;
    dkpg::PParams params_;
    dkpg::PResult rows_;                 // the current batch
    int row_ = 0;                        // the next row of it
    long position_ = 0;
    bool open_ = false;
    bool atEnd_ = false;
    bool ended_ = false;                 // its transaction ended under it (9227 until opened again)
    std::unique_ptr<dkpg::PPortal> portal_;   // while rows are left on the server
    bool prepared_ = false;              // the portal is the one of the session's prepared query
    bool sharesTransaction_ = false;     // holds the datastore's shared READ ONLY transaction
    long count_ = -1;                    // cardinality, once counted
    const DKPid& pidOf(const char* function);   // the pid of item row row_
    // The row id of item row row_ as the server wrote it, when that is plain digits (the pid's own
    // form of it; written into idText_ for a binary result); null otherwise.
    const char* idDigits() const;
    long rowId() const;   // the row id of item row row_ as a number
    mutable char idText_[24] = {};
    bool onNextRow(const char* function);       // row_ is the next row; false at the end
    template <class Row>
    void readRow(Row& row, const char* function);   // the values of row row_ into row, then on to the next

    // How a row becomes a DDO, worked out once per result by layOut.
    std::shared_ptr<dkpg::PEntity> entity_;   // of item rows; null for other rows
    int idColumn_ = -1;
    bool binary_ = false;                // rows_ holds values in binary form (readBinaryInto)
    std::vector<unsigned short> itemOf_;       // per value read: the DDO's item
    std::vector<int> columnOf_;                // per value read: its column
    std::vector<unsigned short> typeOf_;       // per value read: the type it is read as
    std::vector<unsigned short> unfilled_;     // the entity's items no column fills
    std::unique_ptr<dkpg::PEntityShape> plainShape_;   // of rows that are no items
    // The pid of item rows, stamped with each row's id: a copy made once per result, so that
    // only its id changes per row. Rows that are no items get noPid_.
    DKPid rowPid_;
    DKPid noPid_;
};
