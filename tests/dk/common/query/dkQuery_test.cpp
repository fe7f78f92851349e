// tests/dk/common/query/dkQuery_test.cpp
//
// Query objects against a connector of the test's own: what the datastore is asked (the prepare
// list, the expression form), the reopen after prepare, who owns the cursor and the collection at
// each step, and copies that share one expression.

#include <dk/DKDDO.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/DKQExpr.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkQuery.hpp>
#include <dk/dkResultSetCursor.hpp>

#include "dkTestSupport.hpp"

#include <memory>

namespace {

int cursorsAlive = 0;

// A cursor over `rows` new data objects; it counts its opens and closes.
class RowCursor : public dkResultSetCursor {
public:
    explicit RowCursor(dkDatastore* ds, int rows) : ds_(ds), rows_(rows) { ++cursorsAlive; }
    ~RowCursor() override { --cursorsAlive; }
    int isValid() const override { return next_ < rows_; }
    int isOpen() const override { return open_; }
    DKDDO* fetchNext() override { return next_ < rows_ ? (++next_, new DKDDO(ds_, "row", 2)) : nullptr; }
    void open() override { open_ = 1, ++opens, next_ = 0; }
    void open(const DKNVPair* params) override { open(), openedWith = params; }
    void close() override { open_ = 0, ++closes; }
    unsigned long cardinality() override { return static_cast<unsigned long>(rows_); }

    int opens = 0, closes = 0;
    const DKNVPair* openedWith = nullptr;

private:
    dkDatastore* ds_;
    int rows_, next_ = 0, open_ = 1;
};

// Records what it is asked and answers with a RowCursor of three rows.
class RecordingDatastore : public dkDatastore {
public:
    using dkDatastore::execute;
    dkResultSetCursor* execute(const char* query, short qlType, const DKNVPair* params) override {
        calls.push_back("string " + std::string(query) + " " + std::to_string(qlType));
        lastNames.clear();
        for (const DKNVPair* p = params; p != nullptr; ++p) {
            lastNames.push_back(p->getName().str());
            if (p->getName() == "End") break;
        }
        return last = new RowCursor(this, 3);
    }
    dkResultSetCursor* execute(DKCQExpr* e) override {
        calls.push_back("expression");
        lastExpression = e;
        return last = new RowCursor(this, 2);
    }
    std::vector<std::string> calls, lastNames;
    DKCQExpr* lastExpression = nullptr;
    RowCursor* last = nullptr;
};

unsigned long sizeOf(const DKAny& a) {
    return a.typeCode() == DKAny::tc_collection ? static_cast<dkCollection*>(a.value())->cardinality() : 0;
}

}  // namespace

TEST(dkQueryPrepare, TheDatastoreGetsThePairsBeforeEndThenPrepareQueryAndEnd) {
    RecordingDatastore ds;
    DKParametricQuery q(&ds, "x > 1");
    EXPECT_EQ(3, q.qlType());
    q.prepare(nullptr);
    EXPECT_EQ((std::vector<std::string>{"Prepare Query", "End"}), ds.lastNames);
    DKNVPair params[] = {DKNVPair("A"), DKNVPair("B"), DKNVPair("End"), DKNVPair("After")};
    q.prepare(params);
    EXPECT_EQ((std::vector<std::string>{"A", "B", "Prepare Query", "End"}), ds.lastNames);
    EXPECT_EQ(1, cursorsAlive);   // the first prepared cursor was deleted
    EXPECT_EQ(2u, ds.calls.size());

    // execute reopens the prepared cursor (closing it first) instead of asking again.
    RowCursor* prepared = ds.last;
    q.execute(params);
    EXPECT_EQ(2u, ds.calls.size());
    EXPECT_EQ(1, prepared->closes);
    EXPECT_EQ(params, prepared->openedWith);
    EXPECT_EQ(DKQueryRun, q.status());
    EXPECT_EQ(3UL, q.numberOfResults());
}

TEST(dkQueryResults, KeptCollectionsHandOverAndDieWithTheQuery) {
    RecordingDatastore ds;
    auto q = std::make_unique<DKTextQuery>(&ds, "words");
    EXPECT_TRUE(q->result(0).isNull());          // nothing run yet
    EXPECT_EQ(nullptr, q->resultSetCursor());
    q->execute(nullptr);
    EXPECT_EQ((std::vector<std::string>{"string words 1"}), ds.calls);
    const DKAny first = q->result(0);
    EXPECT_EQ(3UL, sizeOf(first));
    EXPECT_EQ(0, cursorsAlive);
    EXPECT_EQ(DKQueryIdle, q->status());
    EXPECT_EQ(0UL, q->numberOfResults());
    EXPECT_EQ(first.value(), q->result(0).value());   // the same collection again

    q->execute(nullptr);   // a newer result replaces (and deletes) the kept one
    const DKAny second = q->result(1);
    EXPECT_NE(nullptr, second.value());
    EXPECT_TRUE(q->result(1).isNull());
    std::unique_ptr<dkCollection> owned(static_cast<dkCollection*>(second.value()));
    EXPECT_EQ(3UL, owned->cardinality());

    q->execute(nullptr);   // results left in the query die with it (a leak otherwise)
    q->result(0);
    q.reset();
}

TEST(dkQueryResults, TheCursorIsHandedOverOnce) {
    RecordingDatastore ds;
    DKImageQuery q(&ds, "img");
    q.execute(nullptr);
    std::unique_ptr<dkResultSetCursor> cursor(q.resultSetCursor());
    ASSERT_NE(nullptr, cursor);
    EXPECT_EQ(nullptr, q.resultSetCursor());
    EXPECT_TRUE(q.result(0).isNull());   // the stored value, still empty
    EXPECT_EQ(DKQueryIdle, q.status());
}

TEST(dkQueryResults, AnSQLQueryKeepsNothing) {
    RecordingDatastore ds;
    DKSQLQuery q(&ds, "select 1");
    q.execute(nullptr);
    const DKAny once = q.result(0);
    std::unique_ptr<dkCollection> owned(static_cast<dkCollection*>(once.value()));
    EXPECT_EQ(3UL, owned->cardinality());
    EXPECT_TRUE(q.result(0).isNull());
}

TEST(dkQueryExpression, RunsTheExpressionFormAndCopiesShareIt) {
    RecordingDatastore ds;
    auto* expression = new DKCQExpr(new DKQExpr);
    auto original = std::make_unique<DKParametricQuery>(&ds, expression);
    original->prepare(nullptr);
    original->execute(nullptr);
    EXPECT_EQ((std::vector<std::string>{"expression"}), ds.calls);
    EXPECT_EQ(2UL, original->numberOfResults());

    DKParametricQuery copy(*original);   // shares the expression; starts idle with no cursor
    EXPECT_EQ(DKQueryIdle, copy.status());
    EXPECT_EQ(nullptr, copy.resultSetCursor());
    original.reset();                    // the copy's expression lives on
    copy.execute(nullptr);
    EXPECT_EQ(expression, ds.lastExpression);
    EXPECT_EQ(2UL, sizeOf(copy.result(0)));
}
