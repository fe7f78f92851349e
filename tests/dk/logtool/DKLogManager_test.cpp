// tests/dk/logtool/DKLogManager_test.cpp
//
// The log manager as a process meets it. The configuration is read once per process, so each
// configuration case runs a LogChild test in a child with its own NVLVTROOT and checks the files
// it leaves. dk-threaded-suite: the rollover case writes from several threads.

#include <dk/DKException.hpp>
#include <dk/DKLogManager.hpp>
#include <dk/DKTrace.hpp>
#include <dk/dkLog.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using P = DKLogPriority_default;

namespace {

const char* const kChildFlag = "DKTEST_LOG_CHILD";

bool inChild() { return std::getenv(kChildFlag) != nullptr; }

class TestException : public dkLogException {
public:
    explicit TestException(long id) : dkLogException(id) {}
    DKString toString() const override { return DKString("TestException #") + DKString(errorMessageId()) + "#"; }
    const char* name() const override { return "TestException"; }
};

// The case folder: <root>/vtgmt/nvlvtconfig.properties names <root> as the working folder, and
// the log configuration holds `config` (none at all when `config` is null).
void layout(const fs::path& root, const char* config) {
    if (!config) return;
    fs::create_directories(root / "vtgmt" / "connectors");
    dktest::writeFile(root / "vtgmt" / "nvlvtconfig.properties", "# toolkit\nNVLVTWorkingDirectory = " + root.string() + "\\\n");
    dktest::writeFile(root / "vtgmt" / "connectors" / "vtxlogconfig.properties", config);
}

fs::path configFile(const fs::path& root) { return root / "vtgmt" / "connectors" / "vtxlogconfig.properties"; }

// Runs LogChild.<name> in a fresh process with NVLVTROOT=root; its standard output and error go
// to root/stdout.txt and root/stderr.txt. Gives up (and kills it) after 60 seconds.
dktest::ChildRun runChild(const std::string& name, const fs::path& root, std::map<std::string, std::string> env = {}) {
    env["NVLVTROOT"] = root.string();
    env["DKTEST_KEEP_NVLVTROOT"] = "1";
    env[kChildFlag] = "1";
    std::vector<std::string> vars;
    for (auto& kv : env) vars.push_back(kv.first + "=" + kv.second);
    dktest::ChildOptions options;
    options.output = root / "stdout.txt";
    options.errorOutput = root / "stderr.txt";
    options.timeoutSeconds = 60;
    return dktest::runSelf("LogChild." + name, vars, options);
}

int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

std::string hex8(unsigned long v) {
    char b[32];
    std::snprintf(b, sizeof b, "%8lx", v);
    return b;
}

const std::regex kLine(R"(^\[(\d\d)/(\d\d)/(\d{4}) (\d\d):(\d\d):(\d\d)\.\d{3}\] ([ 0-9a-f]{8}) ([FEPINXTD]): (.*)$)");

// The standard lines of a log, by their text.
std::map<std::string, std::smatch> linesOf(const std::string& log, std::vector<std::string>& keep) {
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line)) keep.push_back(line);
    std::map<std::string, std::smatch> byText;
    for (auto& l : keep) {
        std::smatch m;
        if (std::regex_match(l, m, kLine)) byText[m[9]] = m;
    }
    return byText;
}

// What a child printed as NAME=value on a line of its own ("" when it did not).
std::string printed(const fs::path& root, const std::string& name) {
    const std::string out = "\n" + dktest::readFile(root / "stdout.txt");
    auto at = out.find("\n" + name + "=");
    if (at == std::string::npos) return "";
    at += name.size() + 2;
    return out.substr(at, out.find('\n', at) - at);
}

// The error handler's reports on a child's standard error, one per line.
std::vector<std::string> reportsOf(const fs::path& root) {
    std::istringstream in(dktest::readFile(root / "stderr.txt"));
    std::vector<std::string> reports;
    for (std::string line; std::getline(in, line);)
        if (line.rfind("dk log: ", 0) == 0) reports.push_back(line);
    return reports;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Child halves: each runs in its own process, configured from its own folder.

TEST(LogChild, Defaults) {
    if (!inChild()) GTEST_SKIP();
    dkLog* log = DKLogAccessor::getInstance();
    EXPECT_TRUE(log->isEnabled_logging());
    EXPECT_TRUE(log->isEnabled_fatal() && log->isEnabled_error());
    EXPECT_FALSE(log->isEnabled_perf() || log->isEnabled_info() || log->isEnabled_debug());
    log->fatal(("fatal from " + hex8(syscall(SYS_gettid))).c_str());
    log->error("plain error");
    log->info("not written");
    log->trace("not written");
}

TEST(LogChild, Levels) {
    if (!inChild()) GTEST_SKIP();
    dkLog* log = DKLogAccessor::getInstance("DKFolder");
    EXPECT_TRUE(log->isEnabled_trace_entry_exit());
    EXPECT_FALSE(log->isEnabled_trace());
    log->forcedLog(P::DEBUG_INT, "forced debug");
    log->forcedLog(12345, "forced nothing");
    log->info(TestException(3));
    for (int i = 0; i < 7; ++i) {
        log->error(TestException(7));
        log->error(TestException(0));
        log->error(TestException(10000));
    }
    struct Folder {
        DKTrace trace{"DKFolder"};
        void addMember() { DKTraceScope t(trace, "DKFolder::addMember(DKDDO,DKDDO)", this); }
    } folder;
    folder.addMember();
    std::printf("FOLDER=%lu\n", static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(&folder)));
}

TEST(LogChild, FatalOnlyToStdout) {
    if (!inChild()) GTEST_SKIP();
    dkLog* log = DKLogAccessor::getInstance();
    EXPECT_FALSE(log->isEnabled_error());
    log->forcedLog(P::ERROR_INT, "forced error");
    log->error("hidden error");
    for (int i = 0; i < 3; ++i) log->fatal(TestException(7));
}

TEST(LogChild, Unsuppressed) {
    if (!inChild()) GTEST_SKIP();
    for (int i = 0; i < 7; ++i) DKLogAccessor::getInstance()->error(TestException(7));
}

TEST(LogChild, Disabled) {
    if (!inChild()) GTEST_SKIP();
    dkLog* log = DKLogAccessor::getInstance();
    EXPECT_FALSE(log->isEnabled_logging() || log->isEnabled_fatal() || log->isEnabled_debug());
    log->forcedLog(P::FATAL_INT, "never");
    log->fatal("never");
}

TEST(LogChild, BadValues) {
    if (!inChild()) GTEST_SKIP();
    dkLog* log = DKLogAccessor::getInstance();
    EXPECT_TRUE(log->isEnabled_error());
    EXPECT_FALSE(log->isEnabled_info());   // the INFO after the over-long line is never read
    // "-5" is refused; "abc" after the 1023-character comment reads as 0 and is taken.
    EXPECT_EQ(nullptr, DKLogAccessor::getOptionValue(reinterpret_cast<void*>(1)));
    log->fatal("bad values survived");
}

TEST(LogChild, Write) {
    if (!inChild()) GTEST_SKIP();
    DKLogAccessor::getInstance()->fatal("written");
}

TEST(LogChild, Lines) {
    // Writes numbered lines from several threads; the parent finds every one exactly once.
    if (!inChild()) GTEST_SKIP();
    int threads = std::atoi(std::getenv("LINES_THREADS")), perThread = std::atoi(std::getenv("LINES_COUNT"));
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([t, perThread] {
            dkLog* log = DKLogAccessor::getInstance();
            std::string pad(60, 'x');
            for (int i = 0; i < perThread; ++i) log->fatal(("L " + std::to_string(t) + " " + std::to_string(i) + " " + pad).c_str());
        });
    for (auto& w : workers) w.join();
    std::printf("FAILURES=%lu\n", DKLogErrorHandler::getFailureCount());
}

TEST(LogChild, Faults) {
    // Round by round: one line, then LOG_FAULT done to the log file LOG_FILE, then LINES_COUNT
    // numbered lines "L round i". Prints what the error handler counted.
    if (!inChild()) GTEST_SKIP();
    const std::string fault = std::getenv("LOG_FAULT");
    const fs::path file = std::getenv("LOG_FILE");
    const int rounds = std::atoi(std::getenv("ROUNDS")), lines = std::atoi(std::getenv("LINES_COUNT"));
    dkLog* log = DKLogAccessor::getInstance();
    const std::string pad(60, 'x');
    for (int r = 0; r < rounds; ++r) {
        log->fatal(("round " + std::to_string(r)).c_str());
        if (fault == "remove-folder") {
            fs::remove_all(file.parent_path());
        } else if (fault == "replace-file") {
            fs::rename(file, file.string() + ".moved" + std::to_string(r));
            dktest::writeFile(file, "put here " + std::to_string(r) + "\n");
        }
        for (int i = 0; i < lines; ++i)
            log->fatal(("L " + std::to_string(r) + " " + std::to_string(i) + " " + pad).c_str());
    }
    std::printf("FAILURES=%lu\nLAST=%s\n", DKLogErrorHandler::getFailureCount(),
                DKLogErrorHandler::getLastFailure().c_str());
}

TEST(LogChild, Watcher) {
    if (!inChild()) GTEST_SKIP();
    dkLog* log = DKLogAccessor::getInstance();
    fs::path config = configFile(std::getenv("NVLVTROOT"));
    auto waitFor = [&](bool (dkLog::*enabled)(), bool want) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while ((log->*enabled)() != want && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return (log->*enabled)() == want;
    };
    // Replaced whole, so that the watcher never reads a half-written file.
    auto replace = [&](const std::string& text) {
        dktest::writeFile(config.string() + ".new", text);
        fs::rename(config.string() + ".new", config);
    };
    ASSERT_FALSE(log->isEnabled_info());
    // Two changes within one second: both are seen.
    replace("DKLogConfigWatcherDelay=50\nDKLogPriority=INFO\n");
    EXPECT_TRUE(waitFor(&dkLog::isEnabled_info, true));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    replace("DKLogConfigWatcherDelay=50\nDKLogPriority=TRACE\n");
    EXPECT_TRUE(waitFor(&dkLog::isEnabled_trace, true));
    log->info("after the change");
    // The process ends with the watcher still running; it must neither hang nor crash.
}
// ---------------------------------------------------------------------------------------------
// Parent halves.

TEST(DKLogManagerConfig, DefaultsWithoutConfigurationFile) {
    dktest::TempDir dir;
    dktest::ChildRun c = runChild("Defaults", dir.path(), {{"TZ", "America/New_York"}, {"USERPROFILE", "/profile/of/test"}});
    ASSERT_EQ(0, c.status) << dktest::readFile(dir / "stdout.txt");
    std::string log = dktest::readFile(dir / "dklog.log");
    ASSERT_FALSE(log.empty()) << "the default log is dklog.log in the current folder";

    EXPECT_EQ(0u, log.find("[ INFO]\n>>>>> C++ connector logging started "));
    EXPECT_NE(std::string::npos, log.find("\nCODEBASE        : dkcommon"));
    utsname u{};
    uname(&u);
    EXPECT_NE(std::string::npos, log.find(std::string("\nOS version      : ") + u.sysname + " " + u.release + " " +
                                          u.version + " " + u.machine + "\n"));
    EXPECT_NE(std::string::npos, log.find("\nNVLVTROOT       : " + dir.str() + "\n"));
    EXPECT_NE(std::string::npos,
              log.find("\n[ WARN] vtxlogconfig.properties (the log configuration file) can not be found or an error "
                       "was encountered while it was being read. (" +
                       dir.str() + "/vtgmt/nvlvtconfig.properties)\n"));
    EXPECT_EQ(std::string::npos, log.find("Log Config      :"));
    EXPECT_EQ(std::string::npos, log.find("not written"));

    std::vector<std::string> keep;
    auto lines = linesOf(log, keep);
    ASSERT_EQ(1u, lines.size());
    const std::smatch& fatal = lines.begin()->second;
    EXPECT_EQ("F", fatal[8].str());
    EXPECT_EQ("fatal from " + fatal[7].str(), fatal[9].str()) << "the thread id is the kernel's, as %8x";
    // The time is UTC whatever TZ says.
    std::tm t{};
    t.tm_mon = std::stoi(fatal[1]) - 1;
    t.tm_mday = std::stoi(fatal[2]);
    t.tm_year = std::stoi(fatal[3]) - 1900;
    t.tm_hour = std::stoi(fatal[4]);
    t.tm_min = std::stoi(fatal[5]);
    t.tm_sec = std::stoi(fatal[6]);
    EXPECT_LT(std::llabs(static_cast<long long>(timegm(&t) - std::time(nullptr))), 120);

    // The error block: exception name empty, manager name empty for the unnamed manager.
    passwd* pw = getpwuid(geteuid());
    char host[256] = "";
    gethostname(host, sizeof host);
    std::regex block("\n\\[EXC\\]: \\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d\\.\\d{3} @ " + std::string(host) +
                     " \\([^)]*\\);  # \n\\[USR\\]: " + pw->pw_name + " \\(/profile/of/test\\) @ " + dir.str() +
                     "\n\\[THD\\]: [ 0-9a-f]{8}\n\\[PRS\\]: " + hex8(c.pid) + "\n\\[MSG\\]: plain error\n");
    EXPECT_TRUE(std::regex_search(log, block)) << log;
}

TEST(DKLogManagerConfig, LevelsForcedLinesSuppressionAndTracing) {
    dktest::TempDir dir;
    layout(dir.path(), "  DKLogPriority =  TRACE_ENTRY_EXIT \n#DKLogPriority=DEBUG\ndklogpriority=DEBUG\nNoEquals\n");
    dktest::ChildRun c = runChild("Levels", dir.path());
    ASSERT_EQ(0, c.status) << dktest::readFile(dir / "stdout.txt");
    std::string log = dktest::readFile(dir / "dklog.log");
    EXPECT_NE(std::string::npos, log.find("Log Config      : " + dir.str() + "/vtgmt/connectors/vtxlogconfig.properties\n"));
    EXPECT_EQ(std::string::npos, log.find("[ WARN]"));
    EXPECT_NE(std::string::npos, log.find(" D: forced debug\n"));
    EXPECT_EQ(std::string::npos, log.find("forced nothing"));
    EXPECT_NE(std::string::npos, log.find(" I: TestException #3#\n"));
    EXPECT_EQ(5 + 7 + 7, count(log, "; TestException # DKFolder\n"));
    EXPECT_EQ(5, count(log, "TestException #7#"));
    EXPECT_EQ(7, count(log, "TestException #0#"));
    EXPECT_EQ(7, count(log, "TestException #10000#"));

    std::string out = dktest::readFile(dir / "stdout.txt");
    auto at = out.find("FOLDER=");
    ASSERT_NE(std::string::npos, at);
    std::string address = out.substr(at + 7, out.find('\n', at) - at - 7);
    EXPECT_NE(std::string::npos, log.find(" X: + DKFolder::addMember(DKDDO,DKDDO) " + address + "\n"));
    EXPECT_NE(std::string::npos, log.find(" X: - DKFolder::addMember(DKDDO,DKDDO) " + address + "\n"));
}

TEST(DKLogManagerConfig, OutputsAndSuppressionSwitch) {
    {
        dktest::TempDir dir;
        layout(dir.path(), "DKLogPriority=FATAL\nDKLogOutputSetting=3\n");
        dktest::ChildRun c = runChild("FatalOnlyToStdout", dir.path());
        ASSERT_EQ(0, c.status);
        std::string out = dktest::readFile(dir / "stdout.txt");
        EXPECT_NE(std::string::npos, out.find("logging started"));
        EXPECT_NE(std::string::npos, out.find(" E: forced error\n"));
        EXPECT_EQ(std::string::npos, out.find("hidden error"));
        EXPECT_EQ(3, count(out, " F: TestException #7#\n")) << "fatal lines are never suppressed";
        EXPECT_FALSE(fs::exists(dir / "dklog.log"));
    }
    {
        dktest::TempDir dir;
        layout(dir.path(), "MAX_EXCEPTION_COUNT = OFF\nDKLogOutputSetting=2\n");
        dktest::ChildRun c = runChild("Unsuppressed", dir.path());
        ASSERT_EQ(0, c.status);
        EXPECT_EQ(7, count(dktest::readFile(dir / "stderr.txt"), "TestException #7#"));
    }
}

TEST(DKLogManagerConfig, DisableOpensNoFile) {
    dktest::TempDir dir;
    layout(dir.path(), ("DKLogPriority=DISABLE\nDKLogOutputFileName=" + dir.str() + "/never.log\n").c_str());
    dktest::ChildRun c = runChild("Disabled", dir.path());
    ASSERT_EQ(0, c.status);
    EXPECT_FALSE(fs::exists(dir / "never.log"));
    EXPECT_FALSE(fs::exists(dir / "dklog.log"));
    EXPECT_EQ("", dktest::readFile(dir / "stderr.txt"));
}

TEST(DKLogManagerConfig, BadValuesAndTheLineLimit) {
    dktest::TempDir dir;
    std::string config = "DKLogOutputSetting=7\nDKLogPriority=Debug\nDKLogPriority=\nPERF_LOG_THRESHOLD=-5\n"
                         "DKLogOutputFileSize=lots\nDKLogOutputFileSave=-3\nDKLogConfigWatcherDelay=0\n"
                         "MAX_EXCEPTION_COUNT=off\n#" +
                         std::string(1022, 'c') + "\nPERF_LOG_THRESHOLD=abc\n" + std::string(1024, 'l') +
                         "\nDKLogPriority=INFO\n";
    layout(dir.path(), config.c_str());
    dktest::ChildRun c = runChild("BadValues", dir.path());
    ASSERT_EQ(0, c.status) << dktest::readFile(dir / "stdout.txt");
    EXPECT_NE(std::string::npos, dktest::readFile(dir / "dklog.log").find(" F: bad values survived\n"));
}

TEST(DKLogManagerConfig, UserNameAndHomeInTheFileName) {
    dktest::TempDir dir;
    layout(dir.path(), "DKLogOutputFileName=${user.home}\\logs\\deep/${user.name}.log\n");
    fs::create_directories(dir / "home");
    dktest::ChildRun c = runChild("Write", dir.path(), {{"USERPROFILE", (dir / "home").string()}});
    ASSERT_EQ(0, c.status);
    fs::path expected = dir / "home" / "logs" / "deep" / (std::string(getpwuid(geteuid())->pw_name) + ".log");
    EXPECT_NE(std::string::npos, dktest::readFile(expected).find(" F: written\n")) << expected;
    EXPECT_FALSE(fs::exists(dir / "dklog.log"));
}

TEST(DKLogManagerConfig, UnopenableFileFallsBackToDefaultThenStandardError) {
    {
        // The configured name is a folder: the log goes to dklog.log in the current folder.
        dktest::TempDir dir;
        fs::create_directories(dir / "afolder");
        layout(dir.path(), ("DKLogOutputFileName=" + dir.str() + "/afolder\n").c_str());
        ASSERT_EQ(0, runChild("Write", dir.path()).status);
        std::string log = dktest::readFile(dir / "dklog.log");
        EXPECT_NE(std::string::npos, log.find(" F: written\n"));
        EXPECT_NE(std::string::npos, log.find("\n\n[ WARN] The log output setting in the log configuration file is invalid.\n"));
        auto reports = reportsOf(dir.path());
        ASSERT_EQ(1u, reports.size());
        EXPECT_NE(std::string::npos, reports[0].find("cannot open the log file " + dir.str() +
                                                     "/afolder: Is a directory; the log goes to dklog.log"));
    }
    {
        // A folder below a regular file cannot exist, even for root; and dklog.log is a folder.
        dktest::TempDir dir;
        dktest::writeFile(dir / "plain.txt", "x");
        fs::create_directories(dir / "dklog.log");
        layout(dir.path(), ("DKLogOutputFileName=" + dir.str() + "/plain.txt/sub/x.log\n").c_str());
        ASSERT_EQ(0, runChild("Write", dir.path()).status);
        std::string err = dktest::readFile(dir / "stderr.txt");
        EXPECT_NE(std::string::npos, err.find("[ WARN] The log output setting"));
        EXPECT_NE(std::string::npos, err.find(" F: written\n"));
        auto reports = reportsOf(dir.path());
        ASSERT_EQ(1u, reports.size());
        EXPECT_NE(std::string::npos,
                  reports[0].find(", nor dklog.log: Is a directory; the log goes to standard error"));
    }
}

namespace {
// Every "L t i" line of F and its generations, checked whole; returns how often each was seen.
std::map<std::pair<int, int>, int> numberedLines(const fs::path& base, int generations, int& broken) {
    std::map<std::pair<int, int>, int> seen;
    static const std::regex whole(R"(^\[\d\d/\d\d/\d{4} \d\d:\d\d:\d\d\.\d{3}\] [ 0-9a-f]{8} F: L (\d+) (\d+) x{60}$)");
    broken = 0;
    for (int g = 0; g <= generations; ++g) {
        fs::path p = g == 0 ? base : fs::path(base.string() + ".sav" + std::to_string(g));
        std::istringstream in(dktest::readFile(p));
        std::string line;
        std::smatch m;
        while (std::getline(in, line)) {
            if (std::regex_match(line, m, whole))
                ++seen[{std::stoi(m[1]), std::stoi(m[2])}];
            else if (line.find("L ") != std::string::npos || line.find("xxxx") != std::string::npos)
                ++broken;
        }
    }
    return seen;
}

// A fault done to the log file under a writer that goes on writing (LogChild.Faults): the child
// must end normally, and the handler report each kind of failure once, whatever it counted.
struct FaultRun {
    int status = -1;
    unsigned long failures = 0;
    std::string last;
    std::vector<std::string> reports;
};

FaultRun runFault(const fs::path& root, const fs::path& logFile, const char* fault, int rounds, int lines) {
    layout(root, ("DKLogPriority=FATAL\nDKLogOutputFileSize=1\nDKLogOutputFileSave=3\nDKLogOutputFileName=" +
                  logFile.string() + "\n").c_str());
    FaultRun run;
    run.status = runChild("Faults", root, {{"LOG_FAULT", fault}, {"LOG_FILE", logFile.string()},
                                           {"ROUNDS", std::to_string(rounds)}, {"LINES_COUNT", std::to_string(lines)}})
                     .status;
    run.failures = std::stoul("0" + printed(root, "FAILURES"));
    run.last = printed(root, "LAST");
    run.reports = reportsOf(root);
    return run;
}
}  // namespace

TEST(DKLogManagerRollover, ConcurrentWritersLoseNoLineAcrossRollovers) {
    dktest::TempDir dir;
    layout(dir.path(), ("DKLogPriority=FATAL\nDKLogOutputFileSize=1\nDKLogOutputFileSave=12\nDKLogOutputFileName=" +
                        dir.str() + "/roll.log\n").c_str());
    const int threads = 3, perThread = 12000;   // about 3.7 MB: three or more rollovers
    dktest::ChildRun c = runChild("Lines", dir.path(), {{"LINES_THREADS", std::to_string(threads)}, {"LINES_COUNT", std::to_string(perThread)}});
    ASSERT_EQ(0, c.status) << dktest::readFile(dir / "stderr.txt");
    EXPECT_TRUE(fs::exists(dir / "roll.log.sav3"));
    // The limit counts characters without line ends, so a generation is a little above 1 MB.
    EXPECT_LE(fs::file_size(dir / "roll.log.sav1"), (1u << 20) / 100 * 102);
    EXPECT_GT(fs::file_size(dir / "roll.log.sav1"), 1u << 20);
    int broken = 0;
    auto seen = numberedLines(dir / "roll.log", 12, broken);
    EXPECT_EQ(0, broken);
    int missing = 0, twice = 0;
    for (int t = 0; t < threads; ++t)
        for (int i = 0; i < perThread; ++i) {
            auto it = seen.find({t, i});
            if (it == seen.end()) ++missing;
            else if (it->second != 1) ++twice;
        }
    EXPECT_EQ(0, missing);
    EXPECT_EQ(0, twice);
    EXPECT_EQ(std::string::npos, dktest::readFile(dir / "stderr.txt").find(" F: L "));
    EXPECT_EQ("0", printed(dir.path(), "FAILURES")) << "healthy rollovers report nothing";
    EXPECT_TRUE(reportsOf(dir.path()).empty());
}

TEST(DKLogManagerRollover, BlockedGenerationKeepsLoggingInTheCurrentFile) {
    dktest::TempDir dir;
    layout(dir.path(), ("DKLogPriority=FATAL\nDKLogOutputFileSize=1\nDKLogOutputFileSave=3\nDKLogOutputFileName=" +
                        dir.str() + "/roll.log\n").c_str());
    fs::create_directories(dir / "roll.log.sav2" / "inside");   // cannot be replaced by a rename
    dktest::ChildRun c = runChild("Lines", dir.path(), {{"LINES_THREADS", "1"}, {"LINES_COUNT", "14000"}});
    ASSERT_EQ(0, c.status);
    EXPECT_GT(fs::file_size(dir / "roll.log"), 1u << 20) << "the rollover stopped; the file grows";
    EXPECT_TRUE(fs::is_directory(dir / "roll.log.sav2" / "inside"));
    int broken = 0;
    auto seen = numberedLines(dir / "roll.log", 0, broken);
    EXPECT_EQ(14000u, seen.size());
    EXPECT_EQ(0, broken);
    // Every line past the limit tries the rollover again and fails again: counted each time,
    // reported once.
    EXPECT_GT(std::stoul("0" + printed(dir.path(), "FAILURES")), 1000u);
    auto reports = reportsOf(dir.path());
    ASSERT_EQ(1u, reports.size());
    EXPECT_NE(std::string::npos, reports[0].find("cannot rename " + dir.str() + "/roll.log.sav1 to " + dir.str() +
                                                 "/roll.log.sav2: "))
        << reports[0];
}

TEST(DKLogManagerFaults, FullDeviceSendsEveryLineToStandardErrorAndReportsOnce) {
    dktest::TempDir dir;
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    fs::create_symlink("/dev/full", dir / "full.log");
    FaultRun run = runFault(dir.path(), dir / "full.log", "none", 2, 500);
    ASSERT_EQ(0, run.status);
    EXPECT_EQ(1u + 2 * 501, run.failures) << "the header and every line";
    ASSERT_EQ(1u, run.reports.size());
    EXPECT_NE(std::string::npos, run.reports[0].find("cannot write to the log file " + dir.str() + "/full.log: "));
    EXPECT_EQ(run.reports[0].substr(8, run.last.size()), run.last) << "the latest failure is the same kind";
    int broken = 0;
    auto seen = numberedLines(dir / "stderr.txt", 0, broken);
    EXPECT_EQ(1000u, seen.size()) << "no line is lost";
}

TEST(DKLogManagerFaults, FolderRemovedUnderTheWriterTurnsTheLogToStandardError) {
    dktest::TempDir dir;
    fs::create_directories(dir / "logs");
    FaultRun run = runFault(dir.path(), dir / "logs" / "roll.log", "remove-folder", 1, 12000);
    ASSERT_EQ(0, run.status);
    // At the rollover: the file is gone, F cannot become F.sav1, and F cannot be opened again.
    const std::string f = (dir / "logs" / "roll.log").string();
    ASSERT_EQ(3u, run.reports.size());
    EXPECT_NE(std::string::npos, run.reports[0].find("the log file " + f + " was renamed or removed"));
    EXPECT_NE(std::string::npos, run.reports[1].find("cannot rename " + f + " to " + f + ".sav1: No such file"));
    EXPECT_NE(std::string::npos, run.reports[2].find("cannot open the log file " + f + " again: No such file"));
    EXPECT_EQ(3u, run.failures);
    EXPECT_FALSE(fs::exists(dir / "logs"));
    int broken = 0;
    auto seen = numberedLines(dir / "stderr.txt", 0, broken);
    EXPECT_EQ(1u, seen.count({0, 11999})) << "the lines after the rollover go to standard error";
}

TEST(DKLogManagerFaults, FileReplacedUnderTheWriterIsReportedOnceAndRolledOver) {
    dktest::TempDir dir;
    const fs::path f = dir / "roll.log";
    // Each round replaces the file, then writes past the limit once: two replacements seen.
    FaultRun run = runFault(dir.path(), f, "replace-file", 2, 12000);
    ASSERT_EQ(0, run.status);
    EXPECT_EQ(2u, run.failures);
    ASSERT_EQ(1u, run.reports.size());
    EXPECT_NE(std::string::npos, run.reports[0].find("the log file " + f.string() + " was replaced by another file"));
    // Nothing is lost: the lines are in the moved files, the log and its generations.
    std::map<std::pair<int, int>, int> all;
    int broken = 0;
    for (const fs::path& p : {fs::path(f.string() + ".moved0"), fs::path(f.string() + ".moved1")})
        for (auto& kv : numberedLines(p, 0, broken)) all[kv.first] += kv.second;
    for (auto& kv : numberedLines(f, 3, broken)) all[kv.first] += kv.second;
    EXPECT_EQ(0, broken);
    EXPECT_EQ(24000u, all.size());
    EXPECT_TRUE(std::all_of(all.begin(), all.end(), [](const auto& kv) { return kv.second == 1; }));
    EXPECT_NE(std::string::npos, (dktest::readFile(f.string() + ".sav1") + dktest::readFile(f.string() + ".sav2"))
                                     .find("put here 1\n"))
        << "the file put in its place was rolled over like the log";
}

TEST(DKLogManagerConfig, WatcherAppliesChangesWithinItsDelay) {
    dktest::TempDir dir;
    layout(dir.path(), "DKLogConfigWatcherDelay=50\n");
    dktest::ChildRun c = runChild("Watcher", dir.path());
    ASSERT_EQ(0, c.status) << dktest::readFile(dir / "stdout.txt");
    std::string log = dktest::readFile(dir / "dklog.log");
    EXPECT_EQ(3, count(log, ">>>>> C++ connector logging started ")) << "one header per reading";
    EXPECT_NE(std::string::npos, log.find(" I: after the change\n"));
}

// ---------------------------------------------------------------------------------------------
// In this process (configured by the shared test main).

TEST(DKLogFactory, NamedManagersAreSharedPerExactName) {
    dkLog* folder = DKLogAccessor::getInstance("DKFolder");
    EXPECT_EQ(folder, DKLogAccessor::getInstance("DKFolder"));
    EXPECT_NE(folder, DKLogAccessor::getInstance("dkfolder"));
    EXPECT_EQ(DKString("DKFolder"), static_cast<DKLogManager_default*>(folder)->getName());

    // Many names share 100 buckets; each keeps its own manager.
    std::vector<dkLog*> made;
    for (int i = 0; i < 300; ++i) made.push_back(DKLogAccessor::getInstance(("Class" + std::to_string(i)).c_str()));
    for (int i = 0; i < 300; ++i) EXPECT_EQ(made[i], DKLogAccessor::getInstance(("Class" + std::to_string(i)).c_str()));
    std::sort(made.begin(), made.end());
    EXPECT_EQ(made.end(), std::unique(made.begin(), made.end()));

    // Another factory shares the unnamed manager but has its own named ones.
    auto* other = new DKLogManagerFactory_default;
    EXPECT_EQ(DKLogAccessor::getInstance(), other->makeLogManager());
    EXPECT_NE(folder, other->makeLogManager("DKFolder"));
    delete other;
    EXPECT_TRUE(DKLogAccessor::getInstance()->isEnabled_error()) << "the shared manager outlives the factory";
}

TEST(DKLogFactory, AccessorSwitchesManagersAndOptions) {
    dkLog* original = DKLogAccessor::getInstance();
    DKLogManager_default mine("mine");
    DKLogAccessor::setLogManager(&mine);
    EXPECT_EQ(&mine, DKLogAccessor::getInstance());
    DKLogManagerFactory_default factory;
    DKLogAccessor::setLogManagerFactory(&factory);
    EXPECT_EQ(original, DKLogAccessor::getInstance()) << "the new factory gives the shared unnamed manager";
    DKLogManagerFactory_default* fresh = new DKLogManagerFactory_default;   // left for the rest of the run
    DKLogAccessor::setLogManagerFactory(fresh);

    void* perf = reinterpret_cast<void*>(1);
    EXPECT_EQ(250, DKLogAccessor::setOptionValue(perf, reinterpret_cast<void*>(250)));
    EXPECT_EQ(reinterpret_cast<void*>(250), DKLogAccessor::getOptionValue(perf));
    EXPECT_EQ(0, DKLogAccessor::setOptionValue(perf, reinterpret_cast<void*>(-1)));
    EXPECT_EQ(0, DKLogAccessor::setOptionValue(reinterpret_cast<void*>(2), reinterpret_cast<void*>(5)));
    EXPECT_EQ(reinterpret_cast<void*>(250), DKLogAccessor::getOptionValue(perf));
    EXPECT_EQ(nullptr, DKLogAccessor::getOptionValue(reinterpret_cast<void*>(2)));
    DKLogAccessor::setOptionValue(perf, reinterpret_cast<void*>(100));
}

TEST(DKLogFactory, ErrorBlockCarriesExceptionAndManagerName) {
    fs::path logPath = dktest::runRoot() / "dklog.log";
    DKLogAccessor::getInstance("DKPool")->error(TestException(4321));
    std::string log = dktest::readFile(logPath);
    EXPECT_TRUE(std::regex_search(log, std::regex(R"(\n\[EXC\]: [^\n]* @ [^\n]* \([^)]*\); TestException # DKPool\n)"
                                                  R"(\[USR\]: [^\n]*\n\[THD\]: [ 0-9a-f]{8}\n\[PRS\]: [ 0-9a-f]{8}\n)"
                                                  R"(TestException #4321#\n)")));
}

TEST(DKLogFactory, ALogCallThatFailsIsCountedNotThrown) {
    // An exception whose text cannot be built: the call returns, the handler has the reason.
    class Unprintable : public dkLogException {
    public:
        Unprintable() : dkLogException(8) {}
        DKString toString() const override { throw std::runtime_error("no text for #8"); }
        const char* name() const override { return "Unprintable"; }
    };
    dkLog* log = DKLogAccessor::getInstance("DKPool");
    const unsigned long before = DKLogErrorHandler::getFailureCount();
    EXPECT_NO_THROW(log->fatal(Unprintable()));
    EXPECT_NO_THROW(log->error(Unprintable()));
    EXPECT_EQ(before + 2, DKLogErrorHandler::getFailureCount());
    EXPECT_EQ(DKString("a log line was lost: no text for #8"), DKLogErrorHandler::getLastFailure());
}
