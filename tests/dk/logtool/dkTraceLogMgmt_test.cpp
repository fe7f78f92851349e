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

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const kChildFlag = "DKTEST_TRACELOG_CHILD";

bool inChild() { return std::getenv(kChildFlag) != nullptr; }

// The message number of the DKException f throws; 0 when it throws nothing (-2 for another type).
long failureOf(const std::function<void()>& f) {
    const long id = dktest::errorOf<DKException>(f);
    return id == -1 ? 0 : id;
}

// <root>/vtgmt/nvlvtconfig.properties names <root> as the working folder; the log configuration
// beside it holds `config`.
fs::path layout(const fs::path& root, const std::string& config) {
    fs::create_directories(root / "vtgmt" / "connectors");
    dktest::writeFile(root / "vtgmt" / "nvlvtconfig.properties", "NVLVTWorkingDirectory = " + root.string() + "\n");
    fs::path file = root / "vtgmt" / "connectors" / "vtxlogconfig.properties";
    dktest::writeFile(file, config);
    return file;
}

// Runs TraceLogChild.<name> in a fresh process with NVLVTROOT=root; its output goes to
// root/stdout.txt. Gives up (and kills it) after 60 seconds. The exit status, -1 when it failed.
int runChild(const std::string& name, const fs::path& root) {
    dktest::ChildOptions options;
    options.output = root / "stdout.txt";
    options.timeoutSeconds = 60;
    return dktest::runSelf("TraceLogChild." + name,
                           {"NVLVTROOT=" + root.string(), "DKTEST_KEEP_NVLVTROOT=1", std::string(kChildFlag) + "=1"},
                           options)
        .status;
}

// NVLVTROOT for one construction; the run's value is put back.
long constructWithRoot(const char* value) {
    const std::string run = std::getenv("NVLVTROOT");
    if (value) setenv("NVLVTROOT", value, 1);
    else unsetenv("NVLVTROOT");
    long id = failureOf([] { DKTraceLogMgmtAPI api; });
    setenv("NVLVTROOT", run.c_str(), 1);
    return id;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Child half: runs in its own process, configured from its own folder.

TEST(TraceLogChild, WatcherSeesRewrite) {
    if (!inChild()) GTEST_SKIP();
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
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    api.setLogProperty("DKLogPriority", "TRACE_FULL");
    EXPECT_TRUE(waitFor(&dkLog::isEnabled_trace));
    log->info("seen the rewrite");
}

TEST(DKTraceLogMgmtAPIWatcher, RunningLogManagerPicksUpARewrite) {
    dktest::TempDir dir;
    fs::path file = layout(dir.path(), "# watched\nDKLogConfigWatcherDelay = 50\nDKLogOutputFileName = " +
                                           (dir / "dklog.log").string() + "\n");
    ASSERT_EQ(0, runChild("WatcherSeesRewrite", dir.path())) << dktest::readFile(dir / "stdout.txt");
    EXPECT_EQ("# watched\nDKLogConfigWatcherDelay = 50\nDKLogOutputFileName = " + (dir / "dklog.log").string() +
                  "\nDKLogPriority = TRACE\n",
              dktest::readFile(file));
    EXPECT_NE(std::string::npos, dktest::readFile(dir / "dklog.log").find(" I: seen the rewrite\n"));
}

// ---------------------------------------------------------------------------------------------
// In this process.

TEST(DKTraceLogMgmtAPI, WorksOnTheConfigurationTheRootNames) {
    if (inChild()) GTEST_SKIP();
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
    EXPECT_EQ(702, failureOf([&] { mgmt.setLogProperty("DKLDAPLogLevel", "LOUD"); }));
    // Put the run's configuration back as it was.
    dktest::writeFile(file, before);
}

TEST(DKTraceLogMgmtAPI, NoConfigurationFolderGives486) {
    if (inChild()) GTEST_SKIP();
    DKLogAccessor::getInstance();   // the log is configured before NVLVTROOT moves
    dktest::TempDir dir;
    EXPECT_EQ(486, constructWithRoot(nullptr));
    EXPECT_EQ(486, constructWithRoot(dir.str().c_str())) << "no toolkit properties file";
    fs::create_directories(dir / "vtgmt");
    dktest::writeFile(dir / "vtgmt" / "nvlvtconfig.properties", "# no working folder\nNVLVTWorkingDirectory =\n");
    EXPECT_EQ(486, constructWithRoot(dir.str().c_str()));
    // A working folder without a configuration file: the object is made, its operations give 705.
    fs::remove(layout(dir.path(), ""));
    EXPECT_EQ(0, constructWithRoot(dir.str().c_str()));
}
