// tests/dk/common/datastore/dkResultSetCursor_test.cpp
//
// The placeholder answers of the cursors, the callback and the user exit that connectors
// replace: a caller written against them must see exactly these, and the callback takes over the
// exceptions it is handed.

#include <dk/DKException.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/DKSequentialCollection.hpp>
#include <dk/dkCallback.hpp>
#include <dk/dkResultSetCursor.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace {

class Cursor : public dkResultSetCursorScrollable {};
class Callback : public dkCallback {};
class Exit : public dkUserExit {};

using CountedError = dktest::Counted<DKException>;
int& exceptionsAlive = CountedError::alive;

}  // namespace

TEST(dkResultSetCursorBase, AnswersOfTheBaseCursorCallbackAndUserExit) {
    Cursor c;
    const dkResultSetCursor& base = c;
    DKSequentialCollection into;
    EXPECT_EQ((std::vector<long>{1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 1, 0}),
              (std::vector<long>{base.isScrollable(), base.isUpdatable(), base.isValid(), base.isOpen(), base.isBegin(),
                                 base.isEnd(), base.isInBetween(), base.getPosition(), c.fetchNextN(5, into),
                                 c.fetchPreviousN(5, into), static_cast<long>(into.cardinality()),
                                 c.fetchNextByName("x").isNull(), static_cast<long>(c.cardinality())}));
    EXPECT_EQ(DKString("dkResultSetCursor"), c.objectType());
    EXPECT_TRUE(c.fetchNext() == nullptr && c.fetchLast() == nullptr && c.handle(1L) == nullptr);

    Callback cb;
    cb.setThreshold(50);
    into.addElement(DKAny(1L));
    EXPECT_EQ((std::vector<long>{0, 1, 1, 1}),
              (std::vector<long>{cb.getThreshold(), cb.dataCallback(&into, 0), cb.dataCallback(nullptr, 1),
                                 static_cast<long>(into.cardinality())}));
    cb.reportException(new CountedError("boom", 303, DKSeverityError, 0, ""));   // taken over and deleted
    EXPECT_EQ(0, exceptionsAlive);
    cb.reportException(nullptr);

    Exit exit;
    DKNVPair params[1] = {DKNVPair("P", DKAny(1L))};
    long rc = 99, rc2 = -1;
    EXPECT_TRUE(exit.preCondition(params, 1, rc) == nullptr && exit.postCondition(params, 1, rc2) == nullptr);
    EXPECT_TRUE(rc == 0 && rc2 == 0) << rc << " " << rc2;
}
