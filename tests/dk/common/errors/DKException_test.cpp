// tests/dk/common/errors/DKException_test.cpp
//
// The exception family: server information in the text, texts and locations past their first
// capacity, deep copies, the names and ids the log writes for each class, and the query
// exception's constructors.

#include <dk/DKException.hpp>
#include <dk/DKQueryException.hpp>
#include <dk/PMessageText.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>

namespace {

std::string str(const char* s) { return s ? s : "<null>"; }

}  // namespace

TEST(DKExceptionText, ServerInformationTextsAndLocations) {
    DKException code("Boom", 10, DKSeverityError, -1, nullptr), onlyState(nullptr, 11, "S1", 0);
    DKException state("Boom", 10, "42S02", 7);   // form 2 takes the state first; the state wins
    EXPECT_EQ("Boom (SERVER RC) : -1|Boom  (STATE) : 42S02|  (STATE) : S1",
              str(code.text(0)) + "|" + str(state.text(0)) + "|" + str(onlyState.text(0)));
    EXPECT_TRUE(state.errorCode() == 7 && onlyState.errorProvided() == 1);

    // Texts: past the first capacity (5) and one growth step (15), numbered newest first;
    // appendText starts the first text when there is none.
    DKException e("first", 1, DKSeverityError, 0, ""), none("##", 1, DKSeverityError, 0, "");
    e.appendText("+more");
    e.setText(nullptr);
    e.appendText(nullptr);
    for (int i = 1; i <= 20; ++i) e.setText(("t" + std::to_string(i)).c_str());
    e.appendText("!");
    none.appendText("late");
    ASSERT_EQ(21UL, e.textCount());
    EXPECT_EQ("t1|first +more|<null>|late", str(e.text(19)) + "|" + str(e.text(20)) + "|" + str(e.text(21)) + "|" +
                                                str(none.text(0)));
    EXPECT_STREQ("t20!", e.what());
    // Reading the count clears the thrown flag, as reading a text does (the throw helper's suite).
    DKExceptionBase::setThrown(1);
    (void)static_cast<const DKException&>(e).textCount();
    EXPECT_EQ(0, DKExceptionBase::isThrown());

    // Locations: the first four are kept, the fifth place takes the latest.
    EXPECT_EQ(nullptr, e.locationAtIndex(0));
    for (unsigned long i = 1; i <= 7; ++i) e.addLocation(DKExceptionLocation(("f" + std::to_string(i)).c_str(), "", i));
    ASSERT_EQ(5UL, e.locationCount());
    EXPECT_EQ(4UL, e.locationAtIndex(3)->lineNumber());
    EXPECT_TRUE(str(e.locationAtIndex(4)->fileName()) == "f7" && e.locationAtIndex(5) == nullptr);
    DKExceptionLocation nulls(nullptr, nullptr, 3);
    EXPECT_STREQ("", nulls.fileName());
    nulls = DKExceptionLocation("dk/common/X", "X::y", 9);
    dktest::assignToItself(nulls);
    EXPECT_STREQ("X::y", nulls.functionName());
}

TEST(DKExceptionCopies, CopiesShareNothing) {
    auto original = std::make_unique<DKUsageError>("base", 303, "ST", 5);
    original->addLocation(DKExceptionLocation("dk/a", "a::b", 1));
    DKUsageError copy(*original), assigned("other", 1, DKSeverityError, 0, "");
    original->appendText("-changed");
    original->setText("newer");
    original->addLocation(DKExceptionLocation("dk/c", "c::d", 2));
    assigned.setText("dropped");
    assigned = *original;
    original.reset();   // everything the copies show must survive the original
    EXPECT_TRUE(copy.textCount() == 1 && str(copy.errorState()) == "ST");
    EXPECT_EQ("base  (STATE) : ST|dk/a", str(copy.text(0)) + "|" + copy.locationAtIndex(0)->fileName());
    ASSERT_EQ(2UL, assigned.textCount());
    EXPECT_EQ("base  (STATE) : ST-changed", str(assigned.text(1)));
    EXPECT_TRUE(assigned.locationCount() == 2 && assigned.errorId() == 303);
    dktest::assignToItself(assigned);
    EXPECT_EQ("newer", str(assigned.text(0)));
}

// The names and ids the log writes; nothing else reaches the ids.
TEST(DKExceptionClasses, NamesIdsAndBases) {
#define ROW(C, id) {std::make_unique<C>("t", 1, DKSeverityError, 0, ""), #C, id}
    const struct { std::unique_ptr<DKException> e; const char* name; long id; } rows[] = {
        ROW(DKException, 1), ROW(DKDatastoreError, 2), ROW(DKSystemError, 3), ROW(DKUsageError, 4),
        ROW(DKNotExistException, 4), ROW(DKAlreadyExistException, 4), ROW(DKXDOError, 5),
        ROW(DKDatastoreAccessError, 6), ROW(DKXDOAccessError, 7), ROW(DKDataObjectNotFound, 8),
        ROW(DKDataObjectAlreadyExists, 9), ROW(DKDataObjectNotUnique, 10), ROW(DKLogonFailure, 11),
        ROW(DKLogonPromptException, 12), ROW(DKServerNotAvailable, 13), ROW(DKDatabaseLogonFailure, 16),
        ROW(DKPasswordExpiredException, 19), ROW(DKNotCheckedOutException, 4),
        ROW(DKInvalidParameterException, 4), ROW(DKQueryException, 1)};
#undef ROW
    for (const auto& r : rows) {
        EXPECT_STREQ(r.name, r.e->name());
        EXPECT_EQ(r.id, r.e->exceptionId()) << r.name;
    }
    EXPECT_NE(nullptr, dynamic_cast<DKLogonFailure*>(rows[16].e.get()));   // intermediate bases match
    EXPECT_EQ(nullptr, dynamic_cast<DKUsageError*>(rows[4].e.get()));
}

// Every constructor: a literal 0 is a number, never a null text; without a text of its own the
// catalogue text of the number is used; a copy of another exception keeps its texts.
TEST(DKQueryExceptionForms, EveryFormKeepsItsTextReasonAndPositions) {
    DKLogMessageInserts ins;
    ins.insert("ITEM");
    const std::string cat5 = PClsEnv::portalMsg(5).str(), cat0 = PClsEnv::portalMsg(0).str();
    DKUsageError usage("usage", 12, "S", 1);
    usage.addLocation(DKExceptionLocation("dk/x", "x::y", 3));
    const struct { DKQueryException e; std::string text; long reason, left, right; } rows[] = {
        {DKQueryException(5), cat5 + " ", 0, 0, 0}, {DKQueryException(5, ins), cat5, 0, 0, 0},
        {DKQueryException(5, 0), cat5 + " ", 0, 0, 0}, {DKQueryException(5, 4L, ins), cat5, 4, 0, 0},
        {DKQueryException(0, 1, 2), cat0, 0, 1, 2}, {DKQueryException(5, ins, 1, 2), cat5, 0, 1, 2},
        {DKQueryException("text %1", 7, 2, 4), "text  ", 0, 2, 4},
        {DKQueryException("text %1", 7, ins, 2, 4), "text ITEM ", 0, 2, 4},
        {DKQueryException(7, "bad %1"), "bad  ", 0, 0, 0}, {DKQueryException(7, ins, "bad %1"), "bad ITEM ", 0, 0, 0},
        {DKQueryException(7, 4L, "why"), "why ", 4, 0, 0},
        {DKQueryException(7, 4L, ins, "why %1"), "why ITEM ", 4, 0, 0},
        {DKQueryException(7, 3, 9, "at"), "at ", 0, 3, 9},
        {DKQueryException(7, ins, 3, 9, DKString("at %1")), "at ITEM ", 0, 3, 9},
        {DKQueryException(7, static_cast<const char*>(nullptr)), " ", 0, 0, 0},
        {DKQueryException(&usage, 10, 20), "usage  (STATE) : S", 0, 10, 20}};
    for (const auto& r : rows) {
        EXPECT_EQ(0u, std::string(r.e.what()).rfind(r.text, 0)) << r.e.what() << " / " << r.text;
        EXPECT_EQ(std::make_tuple(r.reason, r.left, r.right),
                  std::make_tuple(r.e.reason(), r.e.leftPosition(), r.e.rightPosition())) << r.text;
    }
    DKQueryException wrapped = rows[15].e;
    EXPECT_EQ("1 12 DKQueryException",
              std::to_string(wrapped.locationCount()) + " " + std::to_string(wrapped.errorId()) + " " + wrapped.name());
    wrapped.setQueryString("SELECT 1");
    DKQueryException copy(wrapped);
    wrapped.setQueryString(nullptr);
    EXPECT_EQ(DKString("SELECT 1|"), copy.queryString() + "|" + wrapped.queryString());
}
