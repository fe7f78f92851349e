// tests/dk/common/errors/DKException_test.cpp
//
// The exception family: message text with server information, texts and locations with their
// limits, deep copies, the class tree with the names and ids every class reports, and the query
// exception's constructors.

#include <dk/DKException.hpp>
#include <dk/DKQueryException.hpp>
#include <dk/PMessageText.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

std::string str(const char* s) { return s ? s : "<null>"; }

}  // namespace

TEST(DKExceptionText, ServerStateOrCodeIsAppended) {
    DKException plain("Boom", 10, DKSeverityError, 0, "");
    EXPECT_EQ("Boom ", str(plain.text(0)));
    EXPECT_EQ(0, plain.errorProvided());

    DKException code("Boom", 10, DKSeverityError, -1, nullptr);
    EXPECT_EQ("Boom (SERVER RC) : -1", str(code.text(0)));
    EXPECT_EQ(1, code.errorProvided());

    // The state wins over the code in the text; both are kept. Form 2 takes the state first.
    DKException state("Boom", 10, "42S02", 7);
    EXPECT_EQ("Boom  (STATE) : 42S02", str(state.text(0)));
    EXPECT_STREQ("42S02", state.errorState());
    EXPECT_EQ(7, state.errorCode());

    DKException onlyState(nullptr, 11, "S1", 0);
    EXPECT_EQ("  (STATE) : S1", str(onlyState.text(0)));
    EXPECT_EQ(1, onlyState.errorProvided());
}

TEST(DKExceptionText, TextsAreNumberedNewestFirstAndGrow) {
    DKException e("first", 1, DKSeverityError, 0, "");
    e.appendText("+more");
    e.setText(nullptr);
    e.appendText(nullptr);
    ASSERT_EQ(1UL, e.textCount());
    EXPECT_EQ("first +more", str(e.text(0)));

    // Past the first capacity (5) and past one growth step (15).
    for (int i = 1; i <= 20; ++i) e.setText(("t" + std::to_string(i)).c_str());
    ASSERT_EQ(21UL, e.textCount());
    EXPECT_EQ("t1", str(e.text(19)));
    EXPECT_EQ("first +more", str(e.text(20)));
    EXPECT_EQ(nullptr, e.text(21));
    e.appendText("!");
    EXPECT_EQ("t20!", str(e.text(0)));
    EXPECT_STREQ("t20!", e.what());

    // appendText on an exception without texts starts the first one.
    DKException none("##", 1, DKSeverityError, 0, "");
    ASSERT_EQ(0UL, none.textCount());
    none.appendText("late");
    EXPECT_EQ("late", str(none.text(0)));

    // Reading a text or the count clears the thrown flag; what() does not.
    DKExceptionBase::setThrown(1);
    (void)e.what();
    EXPECT_EQ(1, DKExceptionBase::isThrown());
    (void)e.text(99);
    EXPECT_EQ(0, DKExceptionBase::isThrown());
    DKExceptionBase::setThrown(1);
    (void)static_cast<const DKException&>(e).textCount();
    EXPECT_EQ(0, DKExceptionBase::isThrown());
}

TEST(DKExceptionLocations, FiveAreKeptAndTheLastIsReplaced) {
    DKException e("x", 1, DKSeverityError, 0, "");
    EXPECT_EQ(nullptr, e.locationAtIndex(0));
    for (unsigned long i = 1; i <= 7; ++i)
        e.addLocation(DKExceptionLocation(("f" + std::to_string(i)).c_str(), "fn", i));
    ASSERT_EQ(5UL, e.locationCount());
    for (unsigned long i = 0; i < 4; ++i) EXPECT_EQ(i + 1, e.locationAtIndex(i)->lineNumber());
    EXPECT_STREQ("f7", e.locationAtIndex(4)->fileName());
    EXPECT_EQ(nullptr, e.locationAtIndex(5));

    DKExceptionLocation nulls(nullptr, nullptr, 3);
    EXPECT_STREQ("", nulls.fileName());
    nulls = DKExceptionLocation("dk/common/X", "X::y", 9);
    dktest::assignToItself(nulls);
    EXPECT_STREQ("X::y", nulls.functionName());
}

TEST(DKExceptionCopies, CopiesShareNothing) {
    auto original = std::make_unique<DKUsageError>("base", 303, "ST", 5);
    original->addLocation(DKExceptionLocation("dk/a", "a::b", 1));
    DKUsageError copy(*original);
    original->appendText("-changed");
    original->setText("newer");
    original->addLocation(DKExceptionLocation("dk/c", "c::d", 2));
    EXPECT_EQ(1UL, copy.locationCount());
    EXPECT_EQ(1UL, copy.textCount());

    DKUsageError assigned("other", 1, DKSeverityError, 0, "");
    assigned.setText("dropped");
    assigned = *original;
    original.reset();   // everything the copies show must survive the original
    EXPECT_EQ("base  (STATE) : ST", str(copy.text(0)));
    EXPECT_STREQ("dk/a", copy.locationAtIndex(0)->fileName());
    EXPECT_STREQ("ST", copy.errorState());
    ASSERT_EQ(2UL, assigned.textCount());
    EXPECT_EQ("newer", str(assigned.text(0)));
    EXPECT_EQ("base  (STATE) : ST-changed", str(assigned.text(1)));
    EXPECT_EQ(2UL, assigned.locationCount());
    EXPECT_EQ(303UL, assigned.errorId());
    dktest::assignToItself(assigned);
    EXPECT_EQ(2UL, assigned.textCount());
}

TEST(DKExceptionClasses, NamesIdsAndBases) {
    struct Row {
        std::unique_ptr<DKException> e;
        const char* name;
        long id;
    };
#define ROW(C, id) Row{std::make_unique<C>("t", 1, DKSeverityError, 0, ""), #C, id}
    Row rows[] = {ROW(DKException, 1), ROW(DKDatastoreError, 2), ROW(DKSystemError, 3),
                  ROW(DKUsageError, 4), ROW(DKNotExistException, 4), ROW(DKAlreadyExistException, 4),
                  ROW(DKXDOError, 5), ROW(DKDatastoreAccessError, 6), ROW(DKXDOAccessError, 7),
                  ROW(DKDataObjectNotFound, 8), ROW(DKDataObjectAlreadyExists, 9),
                  ROW(DKDataObjectNotUnique, 10), ROW(DKLogonFailure, 11), ROW(DKLogonPromptException, 12),
                  ROW(DKServerNotAvailable, 13), ROW(DKDatabaseLogonFailure, 16),
                  ROW(DKPasswordExpiredException, 19), ROW(DKNotCheckedOutException, 4),
                  ROW(DKInvalidParameterException, 4), ROW(DKQueryException, 1)};
#undef ROW
    for (const Row& r : rows) {
        EXPECT_STREQ(r.name, r.e->name());
        EXPECT_EQ(r.id, r.e->exceptionId()) << r.name;
    }
    // Handlers for the intermediate bases match their subclasses.
    EXPECT_NE(nullptr, dynamic_cast<DKLogonFailure*>(rows[16].e.get()));
    EXPECT_NE(nullptr, dynamic_cast<DKDatastoreAccessError*>(rows[15].e.get()));
    EXPECT_NE(nullptr, dynamic_cast<DKUsageError*>(rows[18].e.get()));
    EXPECT_EQ(nullptr, dynamic_cast<DKUsageError*>(rows[4].e.get()));
}

TEST(DKQueryExceptionForms, LiteralZeroPicksTheNumberForms) {
    const std::string catalogue5 = PClsEnv::portalMsg(5).str();

    DKQueryException id(0);
    EXPECT_EQ(0, id.reason());

    DKQueryException reason(5, 0);   // message and reason, not a null text
    EXPECT_EQ(0, reason.reason());
    EXPECT_EQ(catalogue5 + " ", str(reason.text(0)));

    DKQueryException positions(5, 1, 2);
    EXPECT_EQ(2, positions.rightPosition());
    EXPECT_EQ(0, positions.reason());
    DKQueryException zeroFirst(0, 1, 2);   // a number, not a null exception pointer
    EXPECT_EQ(2, zeroFirst.rightPosition());
}

TEST(DKQueryExceptionForms, TextsInsertsPositionsAndCopies) {
    DKLogMessageInserts ins;
    ins.insert("ITEM");

    DKQueryException t1(7, "bad %1");
    EXPECT_EQ("bad  ", str(t1.text(0)));   // insert 1 is missing from the shared empty list
    DKQueryException t2(7, ins, "bad %1");
    EXPECT_EQ("bad ITEM ", str(t2.text(0)));
    DKQueryException t4(7, 4L, ins, "why %1");
    EXPECT_EQ("why ITEM ", str(t4.text(0)));
    EXPECT_EQ(4, t4.reason());
    DKQueryException t6(7, ins, 3, 9, "at %1");
    EXPECT_EQ("at ITEM ", str(t6.text(0)));
    EXPECT_EQ(9, t6.rightPosition());
    DKQueryException t8("text %1", 7, ins, 2, 4);
    EXPECT_EQ("text ITEM ", str(t8.text(0)));
    DKString dk("from a DKString");
    DKQueryException t9(7, dk);
    EXPECT_EQ("from a DKString ", str(t9.text(0)));
    DKQueryException t10(7, static_cast<const char*>(nullptr));
    EXPECT_EQ(" ", str(t10.text(0)));

    // Without a text of its own: the catalogue text, then the inserts.
    const std::string catalogue = PClsEnv::portalMsg(303).str();
    DKQueryException c1(303, ins);
    EXPECT_EQ(0u, std::string(c1.text(0)).rfind(catalogue, 0));

    // Copy of another exception with new positions: its texts and locations come along.
    DKUsageError usage("usage", 12, "S", 1);
    usage.addLocation(DKExceptionLocation("dk/x", "x::y", 3));
    DKQueryException wrapped(&usage, 10, 20);
    EXPECT_EQ("usage  (STATE) : S", str(wrapped.text(0)));
    EXPECT_EQ(1UL, wrapped.locationCount());
    EXPECT_EQ(12UL, wrapped.errorId());
    EXPECT_EQ(10, wrapped.leftPosition());
    EXPECT_STREQ("DKQueryException", wrapped.name());

    wrapped.setQueryString("SELECT 1");
    DKQueryException copy(wrapped);
    wrapped.setQueryString(nullptr);
    EXPECT_EQ(DKString("SELECT 1"), copy.queryString());
    EXPECT_EQ(DKString(""), wrapped.queryString());
}
