// tests/dk/common/errors/dkThrow_test.cpp
//
// The throw helper: the text, class, location and log record of a throw, thrown here and from a
// separately built library loaded with dlopen (as connectors are), whose throws must be caught
// by the library's classes in this program; and the location text each source gives its throws,
// checked here once instead of in the suite of each class.

#include <dk/DKFederatedCollection.hpp>
#include <dk/DKQueryException.hpp>
#include <dk/DKSequentialCollection.hpp>
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

// The helper library, loaded once for the whole run.
struct Helper {
    void* handle = nullptr;
    void (*throwKind)(int) = nullptr;
    unsigned long (*line)() = nullptr;

    Helper() {
        handle = dlopen(DK_THROW_HELPER, RTLD_NOW | RTLD_LOCAL);
        if (!handle) return;
        throwKind = reinterpret_cast<void (*)(int)>(dlsym(handle, "dkThrowHelperThrow"));
        line = reinterpret_cast<unsigned long (*)()>(dlsym(handle, "dkThrowHelperLine"));
    }
};

Helper& helper() {
    static Helper h;
    return h;
}

}  // namespace

TEST(dkThrowHere, TextLocationCopyAndLog) {
    DKExceptionBase::setThrown(0);
    bool caught = false;
    unsigned long line = 0;
    try {
        line = __LINE__ + 1;
        dkThrow<DKUsageError>(392, "dk/test/here", "Here::index", DKString(" 17"));
    } catch (DKUsageError& e) {
        EXPECT_EQ(1, DKExceptionBase::isThrown());
        caught = true;
        EXPECT_STREQ("DKUsageError", e.name());
        EXPECT_EQ(392UL, e.errorId());
        EXPECT_EQ(0, e.errorProvided());
        ASSERT_EQ(1UL, e.locationCount());
        EXPECT_STREQ("dk/test/here", e.locationAtIndex(0)->fileName());
        EXPECT_STREQ("Here::index", e.locationAtIndex(0)->functionName());
        EXPECT_EQ(line, e.locationAtIndex(0)->lineNumber());
        EXPECT_EQ(PClsEnv::portalMsg(392).str() + " 17 ", std::string(e.text(0)));
        EXPECT_EQ(0, DKExceptionBase::isThrown());
        // A handler may add its own place and words before passing it on.
        e.addLocation(DKExceptionLocation("dk/test/handler", "Handler::run", 1));
        e.appendText(" (retried)");
    }
    ASSERT_TRUE(caught);

    // The log got the error block as the exception stood before it was thrown: one location,
    // no handler text.
    const std::string log = logText();
    const std::string where = "[LOC]: (dk/test/here:Here::index):" + std::to_string(line) + "\n";
    EXPECT_NE(std::string::npos, log.find(where)) << log;
    EXPECT_NE(std::string::npos, log.find("DKUsageError")) << log;
    EXPECT_EQ(std::string::npos, log.find("(retried)")) << log;
    EXPECT_EQ(std::string::npos, log.find("dk/test/handler")) << log;
}

TEST(dkThrowHere, InsertsServerAndOwnText) {
    DKLogMessageInserts ins;
    ins.insert("Folder");
    try {
        dkThrow<DKNotExistException>(376, ins, "dk/test/here", "Here::find");
        FAIL() << "no throw";
    } catch (const DKException& e) {
        EXPECT_STREQ("DKNotExistException", e.name());
        EXPECT_NE(std::string::npos, std::string(e.what()).find(" [ADDITONAL INFO]: Folder"));
    }
    try {
        dkThrowServer<DKDatastoreError>(370, "dk/test/here", "Here::call", DKString(" SQL"), "", -911);
        FAIL() << "no throw";
    } catch (const DKDatastoreError& e) {
        EXPECT_EQ(-911, e.errorCode());
        EXPECT_EQ(1, e.errorProvided());
        EXPECT_EQ(PClsEnv::portalMsg(370).str() + " SQL (SERVER RC) : -911", std::string(e.what()));
    }
    try {
        dkThrowText<DKSystemError>(DKString("TLS instantiation failed"), 302, "platform/PTLS", "PTLS::PTLS");
        FAIL() << "no throw";
    } catch (const dkLogException& e) {
        EXPECT_STREQ("DKSystemError", e.name());
        EXPECT_EQ(302, e.errorMessageId());
        EXPECT_STREQ("TLS instantiation failed ", e.what());
    }
}

TEST(dkThrowAcrossLibraries, HandlersHereMatchThrowsFromALoadedLibrary) {
    Helper& h = helper();
    ASSERT_NE(nullptr, h.handle) << dlerror();
    ASSERT_NE(nullptr, h.throwKind);

    bool caught = false;
    try {
        h.throwKind(1);
    } catch (DKInvalidParameterException&) {
        ADD_FAILURE() << "a usage error is not an invalid-parameter exception";
    } catch (DKUsageError& e) {
        caught = true;
        ASSERT_EQ(1UL, e.locationCount());
        EXPECT_STREQ("dk/test/dkThrowHelper", e.locationAtIndex(0)->fileName());
        EXPECT_STREQ("dkThrowHelper::usage", e.locationAtIndex(0)->functionName());
        EXPECT_EQ(h.line(), e.locationAtIndex(0)->lineNumber());
        EXPECT_EQ(PClsEnv::portalMsg(303).str() + " helper-usage ", std::string(e.text(0)));
    }
    EXPECT_TRUE(caught);

    caught = false;
    try {
        h.throwKind(2);
    } catch (DKUsageError& e) {   // the base class catches the subclass
        caught = dynamic_cast<DKInvalidParameterException*>(&e) != nullptr;
    }
    EXPECT_TRUE(caught);

    caught = false;
    try {
        h.throwKind(3);
    } catch (DKDatastoreAccessError& e) {
        caught = true;
        EXPECT_STREQ("DKDataObjectNotFound", e.name());
        EXPECT_STREQ("02000", e.errorState());
        EXPECT_EQ(100, e.errorCode());
    }
    EXPECT_TRUE(caught);

    caught = false;
    try {
        h.throwKind(4);
    } catch (std::exception& e) {
        caught = true;
        EXPECT_NE(nullptr, dynamic_cast<DKQueryException*>(&e));
        EXPECT_STREQ("helper query text ", e.what());
    }
    EXPECT_TRUE(caught);

    const std::string log = logText();
    EXPECT_NE(std::string::npos,
              log.find("[LOC]: (dk/test/dkThrowHelper:dkThrowHelper::query):" + std::to_string(h.line())))
        << log;
}

// A source's location text is part of the library's output and stays when the file moves: one
// throw from each source whose suite does not check it.
TEST(dkThrowLocations, EverySourceNamesItselfAndTheFunction) {
    DKSequentialCollection list;
    std::unique_ptr<dkIterator> before(list.createIterator());
    DKFederatedCollection federated;
    DKSortString byString;
    const DKAny number(1L);
    const struct {
        const char* source;
        const char* function;
        std::function<void()> call;
    } rows[] = {
        {"dk/coll/DKSequentialCollection", "DKSequentialCollection::removeElementAt", [&] { list.removeElementAt(*before); }},
        {"dk/coll/DKFederatedCollection", "DKFederatedCollection::getSortFunction", [&] { federated.getSortFunction(); }},
        {"dk/coll/dkSort", "DKSortString::getKey", [&] { byString.getKey(&number); }},
    };
    for (const auto& r : rows) {
        const dktest::Failure f = dktest::failureOf(r.call);
        EXPECT_EQ(r.source, f.source) << r.function;
        EXPECT_EQ(r.function, f.function);
    }
}
