// tests/dk/common/datastore/dkResultSetCursor_test.cpp
//
// The placeholder answers of the cursors, the callback and the user exit that connectors
// replace: a caller written against them must see exactly these.

#include <dk/DKException.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/DKSequentialCollection.hpp>
#include <dk/dkCallback.hpp>
#include <dk/dkResultSetCursor.hpp>

#include <gtest/gtest.h>

#include <vector>

namespace {

class Cursor : public dkResultSetCursorScrollable {};
class Callback : public dkCallback {};
class Exit : public dkUserExit {};

int exceptionsAlive = 0;

class CountedError : public DKException {
public:
    CountedError() : DKException("boom", 303, DKSeverityError, 0, "") { ++exceptionsAlive; }
    ~CountedError() override { --exceptionsAlive; }
};

}  // namespace

TEST(dkResultSetCursorBase, AnswersOfTheBaseCursor) {
    Cursor c;
    const dkResultSetCursor& base = c;
    EXPECT_EQ((std::vector<long>{1, 1, 1, 1, 1, 1, 1, 0}),
              (std::vector<long>{base.isScrollable(), base.isUpdatable(), base.isValid(), base.isOpen(), base.isBegin(),
                                 base.isEnd(), base.isInBetween(), base.getPosition()}));
    EXPECT_EQ(DKString("dkResultSetCursor"), c.objectType());
    EXPECT_EQ(nullptr, c.fetchNext());
    EXPECT_EQ(nullptr, c.fetchLast());
    DKSequentialCollection into;
    EXPECT_EQ(0, c.fetchNextN(5, into));
    EXPECT_EQ(0, c.fetchPreviousN(5, into));
    EXPECT_EQ(0UL, into.cardinality());   // nothing added
    EXPECT_TRUE(c.fetchNextByName("x").isNull());
    EXPECT_EQ(nullptr, c.handle(1L));
    EXPECT_EQ(0UL, c.cardinality());
}

TEST(dkCallbackBase, TakesOwnershipOfExceptionsAndGoesOn) {
    Callback cb;
    cb.setThreshold(50);
    EXPECT_EQ(0L, cb.getThreshold());
    DKSequentialCollection batch;
    batch.addElement(DKAny(1L));
    EXPECT_EQ(1, cb.dataCallback(&batch, 0));
    EXPECT_EQ(1, cb.dataCallback(nullptr, 1));
    EXPECT_EQ(1UL, batch.cardinality());
    cb.reportException(new CountedError());
    EXPECT_EQ(0, exceptionsAlive);
    cb.reportException(nullptr);

    Exit exit;
    DKNVPair params[1] = {DKNVPair("P", DKAny(1L))};
    long rc = 99;
    EXPECT_EQ(nullptr, exit.preCondition(params, 1, rc));
    EXPECT_EQ(0L, rc);
    rc = -1;
    EXPECT_EQ(nullptr, exit.postCondition(params, 1, rc));
    EXPECT_EQ(0L, rc);
}
