// tests/dk/common/errors/dkThrow_test.cpp
//
// The throw helper: the text, class, location and log record of a throw, thrown here and from a
// separately built library loaded with dlopen (as connectors are), whose throws must be caught
// by the library's classes in this program; and the location text each source gives its throws,
// checked here once instead of in the suite of each class.

#include <dk/DKAny.hpp>
#include <dk/DKDate.hpp>
#include <dk/DKDecimal.hpp>
#include <dk/DKFederatedCollection.hpp>
#include <dk/DKQueryException.hpp>
#include <dk/DKSequentialCollection.hpp>
#include <dk/PBigInteger.hpp>
#include <dk/PMessageText.hpp>
#include <dk/dkSort.hpp>
#include <dk/dkThrow.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <functional>
#include <memory>
#include <string>

namespace {

std::string logText() { return dktest::readFile(dktest::runRoot() / "dklog.log"); }

}  // namespace

TEST(dkThrowHere, TextLocationLogAndServerInformation) {
    DKExceptionBase::setThrown(0);
    unsigned long line = 0;
    try {
        line = __LINE__ + 1;
        dkThrow<DKUsageError>(392, "dk/test/here", "Here::index", DKString(" 17"));
    } catch (DKUsageError& e) {
        // Read in this order: reading the text clears the thrown flag.
        EXPECT_EQ((dktest::Texts{"1", "DKUsageError", "392", "0", "1", dktest::msg(392, " 17"), "0"}),
                  (dktest::Texts{dktest::str(DKExceptionBase::isThrown()), e.name(), dktest::str(e.errorId()),
                                 dktest::str(e.errorProvided()), dktest::str(e.locationCount()), e.text(0),
                                 dktest::str(DKExceptionBase::isThrown())}));
        EXPECT_EQ(line, e.locationCount() == 0 ? 0 : e.locationAtIndex(0)->lineNumber());
        // A handler may add its own place and words before passing it on.
        e.addLocation(DKExceptionLocation("dk/test/handler", "Handler::run", 1));
        e.appendText(" (retried)");
    }
    // The log got the error block as the exception stood when it was thrown.
    const std::string log = logText();
    EXPECT_NE(std::string::npos, log.find("[LOC]: (dk/test/here:Here::index):" + std::to_string(line) + "\n")) << log;
    EXPECT_TRUE(log.find("(retried)") == std::string::npos && log.find("dk/test/handler") == std::string::npos) << log;

    DKLogMessageInserts ins;
    ins.insert("Folder");
    const dktest::Failure inserted = dktest::failureOf([&] { dkThrow<DKNotExistException>(376, ins, "dk/t", "T::f"); });
    EXPECT_EQ("DKNotExistException", inserted.name);
    EXPECT_NE(std::string::npos, inserted.text.find(" [ADDITONAL INFO]: Folder"));
    try {
        dkThrowServer<DKDatastoreError>(370, "dk/test/here", "Here::call", DKString(" SQL"), "", -911);
    } catch (const DKDatastoreError& e) {
        EXPECT_EQ(-911, e.errorCode());
        EXPECT_EQ(PClsEnv::portalMsg(370).str() + " SQL (SERVER RC) : -911", std::string(e.what()));
    }
}

// Handlers here match what a library built apart, with hidden visibility, throws.
TEST(dkThrowAcrossLibraries, HandlersHereMatchThrowsFromALoadedLibrary) {
    void* handle = dlopen(DK_THROW_HELPER, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, handle) << dlerror();
    const auto throwKind = reinterpret_cast<void (*)(int)>(dlsym(handle, "dkThrowHelperThrow"));
    const auto line = reinterpret_cast<unsigned long (*)()>(dlsym(handle, "dkThrowHelperLine"));
    ASSERT_TRUE(throwKind && line);

    EXPECT_EQ(dktest::kOtherThrown, dktest::errorOf<DKInvalidParameterException>([&] { throwKind(1); }));
    const dktest::Failure usage = dktest::failureOf<DKUsageError>([&] { throwKind(1); });
    EXPECT_EQ("dk/test/dkThrowHelper", usage.source);
    EXPECT_EQ("dkThrowHelper::usage", usage.function);
    EXPECT_EQ(dktest::msg(303, " helper-usage"), usage.text);
    EXPECT_EQ("DKInvalidParameterException", dktest::failureOf<DKUsageError>([&] { throwKind(2); }).name);
    EXPECT_EQ("DKDataObjectNotFound", dktest::failureOf<DKDatastoreAccessError>([&] { throwKind(3); }).name);
    EXPECT_EQ("helper query text ", dktest::failureOf<DKQueryException>([&] { throwKind(4); }).text);
    const std::string log = logText();
    EXPECT_NE(std::string::npos, log.find("[LOC]: (dk/test/dkThrowHelper:dkThrowHelper::query):" +
                                          std::to_string(line()))) << log;
}

// A source's location text is part of the library's output and stays when the file moves: one
// throw from each source whose suite does not check it.
TEST(dkThrowLocations, EverySourceNamesItselfAndTheFunction) {
    DKSequentialCollection list;
    std::unique_ptr<dkIterator> before(list.createIterator());
    DKFederatedCollection federated;
    DKSortString byString;
    const DKAny number(1L);
    const struct { const char* source; const char* function; std::function<void()> call; } rows[] = {
        {"dk/coll/DKSequentialCollection", "DKSequentialCollection::removeElementAt",
         [&] { list.removeElementAt(*before); }},
        {"dk/coll/DKFederatedCollection", "DKFederatedCollection::getSortFunction", [&] { federated.getSortFunction(); }},
        {"dk/coll/dkSort", "DKSortString::getKey", [&] { byString.getKey(&number); }},
        {"dk/common/DKAny", "DKAny::operator`short'", [&] { (void)short(number); }},
        {"dk/common/DKDate", "DKTimestamp::fromString", [] { DKTimestamp::fromString("2004-01-02"); }},
        {"dk/common/DKDecimal", "DKDecimal::lookForSign", [] { DKDecimal d("+"); }},
        {"dk/common/DKDecimal", "DKDecimal::bkDigitStr", [] { DKDecimal d("1.2.3"); }},
        {"dk/common/PBigInteger", "PBigInteger::operator`/'", [] { PBigInteger(1) / PBigInteger(0); }}};
    for (const auto& r : rows) {
        const dktest::Failure f = dktest::failureOf(r.call);
        EXPECT_EQ(r.source, f.source) << r.function;
        EXPECT_EQ(r.function, f.function);
    }
}
