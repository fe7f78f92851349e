// tests/dk/logtool/dkTraceLogMgmt_test.cpp
//
// The exported log configuration interface: on the run's configuration, without a configuration
// folder, and beside a running log manager whose watcher must see a rewrite (in a child process,
// as the configuration is read once per process).

#include <dk/DKException.hpp>
#include <dk/DKLogManager.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/DKSequentialCollection.hpp>
#include <dk/dkLog.hpp>
#include <dk/dkTraceLogMgmt.hpp>

#include "dkLogChild.hpp"
#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

// The message number of what constructing the interface throws with NVLVTROOT set to value (unset
// for null); kNothingThrown when it is made. The run's value is put back.
long constructWithRoot(const char* value) {
    const std::string run = std::getenv("NVLVTROOT");
    if (value) setenv("NVLVTROOT", value, 1);
    else unsetenv("NVLVTROOT");
    const long id = dktest::errorOf([] { DKTraceLogMgmtAPI api; });
    setenv("NVLVTROOT", run.c_str(), 1);
    return id;
}

}  // namespace

// Child half: runs in its own process, configured from its own folder.
TEST(TraceLogChild, WatcherSeesRewrite) {
    if (!dklogtest::inChild()) GTEST_SKIP();
    dkLog* log = DKLogAccessor::getInstance();
    ASSERT_FALSE(log->isEnabled_info());
    auto waitFor = [&](bool (dkLog::*enabled)()) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (!(log->*enabled)() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return (log->*enabled)();
    };
    // A modification time in the same clock tick as the first reading would not count as newer.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    DKTraceLogMgmtAPI api;
    api.setLogProperty("DKLogPriority", "WARNING");
    EXPECT_TRUE(waitFor(&dkLog::isEnabled_info));
    EXPECT_FALSE(log->isEnabled_trace());
    // Two changes within one second: both are seen.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    api.setLogProperty("DKLogPriority", "TRACE_FULL");
    EXPECT_TRUE(waitFor(&dkLog::isEnabled_trace));
    log->info("seen the rewrite");
    // The process ends with the watcher still running; it must neither hang nor crash.
}

TEST(DKTraceLogMgmtAPIWatcher, RunningLogManagerPicksUpARewrite) {
    dklogtest::run({"Watcher", "WatcherSeesRewrite",
                    "# watched\nDKLogConfigWatcherDelay = 50\nDKLogOutputFileName = $ROOT/dklog.log\n", {}, nullptr,
                    [](const dklogtest::Child& c) {
                        EXPECT_EQ("# watched\nDKLogConfigWatcherDelay = 50\nDKLogOutputFileName = " +
                                      (c.root / "dklog.log").string() + "\nDKLogPriority = TRACE\n",
                                  c.file("vtgmt/connectors/vtxlogconfig.properties"));
                        const std::string log = c.file("dklog.log");
                        EXPECT_NE(std::string::npos, log.find(" I: seen the rewrite\n"));
                        const std::string header = ">>>>> C++ connector logging started ";
                        EXPECT_NE(log.find(header), log.rfind(header)) << "a new reading writes the header again";
                    }},
                   "TraceLogChild");
}

// In this process.
TEST(DKTraceLogMgmtAPI, WorksOnTheConfigurationTheRootNames) {
    fs::path file = dktest::runRoot() / "vtgmt" / "connectors" / "vtxlogconfig.properties";
    const std::string before = dktest::readFile(file);
    ASSERT_FALSE(before.empty());
    DKTraceLogMgmtAPI api;
    dkTraceLogMgmt& mgmt = api;
    EXPECT_EQ(1, mgmt.isComponentAvailable());
    EXPECT_EQ((dktest::runRoot() / "dklog.log").string(), mgmt.getLogProperty("DKLogOutputFileName").str());

    DKSequentialCollection pairs;
    pairs.addElement(DKAny(DKNVPair("DKAPIJavaLogLevel", DKAny("WARNING"))));
    pairs.addElement(DKAny(DKNVPair("log4j.appender.apiAppender.MaxFileSize", DKAny("2 MB"))));
    mgmt.setAllLogProperties(pairs);
    EXPECT_EQ(before + "DKAPIJavaLogLevel = INFO\nlog4j.appender.apiAppender.MaxFileSize = 2 MB\n",
              dktest::readFile(file));
    EXPECT_EQ("WARNING", mgmt.getLogProperty("DKAPIJavaLogLevel").str());
    EXPECT_EQ(3u, mgmt.getAllLogProperties().cardinality());
    EXPECT_EQ(1, mgmt.isLogPropertySupported("DKLDAPLogLevel"));
    EXPECT_EQ(702, dktest::errorOf([&] { mgmt.setLogProperty("DKLDAPLogLevel", "LOUD"); }));
    // Put the run's configuration back as it was.
    dktest::writeFile(file, before);
}

TEST(DKTraceLogMgmtAPI, NoConfigurationFolderGives486) {
    DKLogAccessor::getInstance();   // the log is configured before NVLVTROOT moves
    dktest::TempDir dir;
    EXPECT_EQ(486, constructWithRoot(nullptr));
    EXPECT_EQ(486, constructWithRoot(dir.str().c_str())) << "no toolkit properties file";
    fs::create_directories(dir / "vtgmt");
    dktest::writeFile(dir / "vtgmt" / "nvlvtconfig.properties", "# no working folder\nNVLVTWorkingDirectory =\n");
    EXPECT_EQ(486, constructWithRoot(dir.str().c_str()));
    // A working folder without a configuration file: the object is made, its operations give 705.
    fs::remove(dklogtest::layout(dir.path(), ""));
    EXPECT_EQ(dktest::kNothingThrown, constructWithRoot(dir.str().c_str()));
}
