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
#include <tuple>

namespace {

int cursorsAlive = 0;

// A cursor over `rows` new data objects; it counts its closes and remembers what it was opened with.
struct RowCursor : dkResultSetCursor {
    RowCursor(dkDatastore* store, int n) : ds(store), rows(n) { ++cursorsAlive; }
    ~RowCursor() override { --cursorsAlive; }
    int isValid() const override { return next < rows; }
    int isOpen() const override { return opened; }
    DKDDO* fetchNext() override { return next < rows ? (++next, new DKDDO(ds, "row", 2)) : nullptr; }
    void open() override { opened = 1, next = 0; }
    void open(const DKNVPair* params) override { open(), openedWith = params; }
    void close() override { opened = 0, ++closes; }
    unsigned long cardinality() override { return static_cast<unsigned long>(rows); }
    dkDatastore* ds;
    int rows, next = 0, opened = 1, closes = 0;
    const DKNVPair* openedWith = nullptr;
};

// Records what it is asked and answers with a RowCursor of three rows.
struct RecordingDatastore : dkDatastore {
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
    EXPECT_EQ(std::make_pair(1, size_t(2)), std::make_pair(cursorsAlive, ds.calls.size()));   // the first was deleted

    // execute reopens the prepared cursor (closing it first) instead of asking again.
    RowCursor* prepared = ds.last;
    q.execute(params);
    EXPECT_EQ(std::make_tuple(size_t(2), 1, static_cast<const DKNVPair*>(params), DKQueryRun, 3UL),
              std::make_tuple(ds.calls.size(), prepared->closes, prepared->openedWith, q.status(), q.numberOfResults()));
}

TEST(dkQueryResults, KeptCollectionsHandOverAndDieWithTheQuery) {
    RecordingDatastore ds;
    auto q = std::make_unique<DKTextQuery>(&ds, "words");
    EXPECT_TRUE(q->result(0).isNull() && q->resultSetCursor() == nullptr);   // nothing run yet
    q->execute(nullptr);
    EXPECT_EQ((std::vector<std::string>{"string words 1"}), ds.calls);
    const DKAny first = q->result(0);
    EXPECT_EQ(std::make_tuple(3UL, 0, DKQueryIdle, 0UL),
              std::make_tuple(sizeOf(first), cursorsAlive, q->status(), q->numberOfResults()));
    EXPECT_EQ(first.value(), q->result(0).value());   // the same collection again

    q->execute(nullptr);   // a newer result replaces (and deletes) the kept one
    std::unique_ptr<dkCollection> owned(static_cast<dkCollection*>(q->result(1).value()));
    ASSERT_NE(nullptr, owned);
    EXPECT_TRUE(q->result(1).isNull());
    EXPECT_EQ(3UL, owned->cardinality());

    q->execute(nullptr);   // results left in the query die with it (a leak otherwise)
    q->result(0);
    q.reset();
}

TEST(dkQueryResults, TheCursorAndAnSQLResultAreHandedOverOnce) {
    RecordingDatastore ds;
    DKImageQuery q(&ds, "img");
    q.execute(nullptr);
    std::unique_ptr<dkResultSetCursor> cursor(q.resultSetCursor());
    ASSERT_NE(nullptr, cursor);
    EXPECT_EQ(nullptr, q.resultSetCursor());
    EXPECT_TRUE(q.result(0).isNull() && q.status() == DKQueryIdle);   // the stored value, still empty

    DKSQLQuery sql(&ds, "select 1");   // keeps nothing: its one result is the caller's
    sql.execute(nullptr);
    std::unique_ptr<dkCollection> owned(static_cast<dkCollection*>(sql.result(0).value()));
    EXPECT_EQ(3UL, owned->cardinality());
    EXPECT_TRUE(sql.result(0).isNull());
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
    EXPECT_TRUE(copy.status() == DKQueryIdle && copy.resultSetCursor() == nullptr);
    original.reset();                    // the copy's expression lives on
    copy.execute(nullptr);
    EXPECT_EQ(expression, ds.lastExpression);
    EXPECT_EQ(2UL, sizeOf(copy.result(0)));
}
