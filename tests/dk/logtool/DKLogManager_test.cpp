// tests/dk/logtool/DKLogManager_test.cpp
//
// The log manager as a process meets it. The configuration is read once per process, so each
// configuration case is a row of one table: the runner of dkLogChild.hpp runs its LogChild half in
// a child with its own NVLVTROOT, and the row checks the files it left. dk-threaded-suite: the
// rollover case writes from several threads.

#include <dk/DKException.hpp>
#include <dk/DKLogManager.hpp>
#include <dk/DKTrace.hpp>
#include <dk/dkLog.hpp>

#include "dkLogChild.hpp"
#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <set>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using P = DKLogPriority_default;
using dklogtest::inChild;
using V = std::vector<std::string>;

namespace {

class TestException : public dkLogException {
public:
    explicit TestException(long id) : dkLogException(id) {}
    DKString toString() const override { return DKString("TestException #") + DKString(errorMessageId()) + "#"; }
    const char* name() const override { return "TestException"; }
};

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

// Every "L t i" line of F and its generations, checked whole; how often each was seen. Lines
// that hold a piece of one without matching whole are counted in broken.
std::map<std::pair<int, int>, int> numberedLines(const fs::path& base, int generations, int& broken) {
    std::map<std::pair<int, int>, int> seen;
    static const std::regex whole(R"(^\[\d\d/\d\d/\d{4} \d\d:\d\d:\d\d\.\d{3}\] [ 0-9a-f]{8} F: L (\d+) (\d+) x{60}$)");
    for (int g = 0; g <= generations; ++g) {
        std::istringstream in(dktest::readFile(g == 0 ? base : fs::path(base.string() + ".sav" + std::to_string(g))));
        std::smatch m;
        for (std::string line; std::getline(in, line);) {
            if (std::regex_match(line, m, whole))
                ++seen[{std::stoi(m[1]), std::stoi(m[2])}];
            else if (dktest::contains(line, "L ") || dktest::contains(line, "xxxx"))
                ++broken;
        }
    }
    return seen;
}

// The numbered lines of the files and their generations, together: n lines, each exactly once,
// and none broken.
void expectEachOnce(const std::vector<fs::path>& files, int generations, std::size_t n) {
    std::map<std::pair<int, int>, int> all;
    int broken = 0;
    for (const fs::path& f : files)
        for (const auto& kv : numberedLines(f, generations, broken)) all[kv.first] += kv.second;
    EXPECT_EQ(0, broken);
    EXPECT_EQ(n, all.size());
    EXPECT_TRUE(std::all_of(all.begin(), all.end(), [](const auto& kv) { return kv.second == 1; }));
}

// text holds every one of present and none of absent.
void expectParts(const std::string& text, const V& present, const V& absent = {}) {
    for (const std::string& p : present) EXPECT_TRUE(dktest::contains(text, p)) << p << " in\n" << text;
    for (const std::string& a : absent) EXPECT_FALSE(dktest::contains(text, a)) << a << " in\n" << text;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Child halves: each runs in its own process, configured from its own folder.

TEST(LogChild, Levels) {
    if (!inChild()) GTEST_SKIP();
    dkLog* log = DKLogAccessor::getInstance("DKFolder");
    EXPECT_TRUE(log->isEnabled_trace_entry_exit());
    EXPECT_FALSE(log->isEnabled_trace());
    log->forcedLog(P::DEBUG_INT, "forced debug");
    log->forcedLog(12345, "forced nothing");
    log->info(TestException(3));
    for (int i = 0; i < 7; ++i)
        for (const long id : {7L, 0L, 10000L}) log->error(TestException(id));
    struct Folder {
        DKTrace trace{"DKFolder"};
        void addMember() { DKTraceScope t(trace, "DKFolder::addMember(DKDDO,DKDDO)", this); }
    } folder;
    folder.addMember();
    std::printf("FOLDER=%lu\n", static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(&folder)));
}

TEST(LogChild, Writer) {
    // Prints what the configuration enabled (logging, fatal, error, perf, info, debug) and the
    // performance threshold; writes a fatal line naming the thread, an error, two lines below the
    // default level and a forced fatal line; with EXCEPTIONS set, a forced error, an error, seven
    // errors and three fatal lines of one exception. Then round by round: the line "round R",
    // LOG_FAULT done to the log file LOG_FILE, and THREADS threads each writing LINES numbered
    // lines "L R*THREADS+T I" (the parent finds each exactly once). Last, what the error handler
    // counted.
    if (!inChild()) GTEST_SKIP();
    const std::string fault = std::getenv("LOG_FAULT") ? std::getenv("LOG_FAULT") : "none";
    const fs::path file = std::getenv("LOG_FILE") ? std::getenv("LOG_FILE") : "";
    auto number = [](const char* name, int otherwise) { return std::getenv(name) ? std::atoi(std::getenv(name)) : otherwise; };
    const int rounds = number("ROUNDS", 1), threads = number("THREADS", 1), lines = number("LINES", 0);
    dkLog* log = DKLogAccessor::getInstance();
    std::printf("ENABLED=%d%d%d%d%d%d\nPERF=%ld\n", log->isEnabled_logging(), log->isEnabled_fatal(), log->isEnabled_error(),
                log->isEnabled_perf(), log->isEnabled_info(), log->isEnabled_debug(),
                reinterpret_cast<long>(DKLogAccessor::getOptionValue(reinterpret_cast<void*>(1))));
    log->fatal(("fatal from " + hex8(syscall(SYS_gettid))).c_str());
    log->error("plain error");
    log->info("not written");
    log->trace("not written");
    log->forcedLog(P::FATAL_INT, "forced fatal");
    if (std::getenv("EXCEPTIONS")) {
        log->forcedLog(P::ERROR_INT, "forced error");
        log->error("hidden error");
        for (int i = 0; i < 7; ++i) log->error(TestException(7));
        for (int i = 0; i < 3; ++i) log->fatal(TestException(7));
    }
    for (int r = 0; r < rounds; ++r) {
        log->fatal(("round " + std::to_string(r)).c_str());
        if (fault == "remove-folder") {
            fs::remove_all(file.parent_path());
        } else if (fault == "replace-file") {
            fs::rename(file, file.string() + ".moved" + std::to_string(r));
            dktest::writeFile(file, "put here " + std::to_string(r) + "\n");
        }
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t)
            workers.emplace_back([log, lines, id = std::to_string(r * threads + t)] {
                for (int i = 0; i < lines; ++i) log->fatal(("L " + id + " " + std::to_string(i) + " " + std::string(60, 'x')).c_str());
            });
        for (auto& w : workers) w.join();
    }
    std::printf("FAILURES=%lu\nLAST=%s\n", DKLogErrorHandler::getFailureCount(), DKLogErrorHandler::getLastFailure().c_str());
}

// ---------------------------------------------------------------------------------------------
// Parent halves, one row each.

namespace {

// A log of at most 1 MB per generation (lines past it roll the file over), FATAL lines only.
#define ROLLING(saved, file) "DKLogPriority=FATAL\nDKLogOutputFileSize=1\nDKLogOutputFileSave=" saved "\nDKLogOutputFileName=" file "\n"

const dklogtest::Case kCases[] = {
    {"DefaultsWithoutConfigurationFile", "Writer", nullptr, {{"TZ", "America/New_York"}, {"USERPROFILE", "/profile/of/test"}},
     nullptr,
     [](const dklogtest::Child& c) {
         const std::string log = c.file("dklog.log");
         ASSERT_FALSE(log.empty()) << "the default log is dklog.log in the current folder";
         EXPECT_EQ("111000", c.printed("ENABLED"));
         EXPECT_EQ(0u, log.find("[ INFO]\n>>>>> C++ connector logging started "));
         utsname u{};
         uname(&u);
         expectParts(log, {"\nCODEBASE        : dkcommon", "\nNVLVTROOT       : " + c.root.string() + "\n",
                           std::string("\nOS version      : ") + u.sysname + " " + u.release + " " + u.version + " " + u.machine + "\n",
                           "\n[ WARN] vtxlogconfig.properties (the log configuration file) can not be found or an error was "
                           "encountered while it was being read. (" + c.root.string() + "/vtgmt/nvlvtconfig.properties)\n"},
                     {"Log Config      :", "not written"});

         // One standard line: the thread id is the kernel's, as %8x, and the time UTC whatever TZ says.
         static const std::regex line(R"(\n\[\d\d/\d\d/\d{4} \d\d:\d\d:\d\d\.\d{3}\] ([ 0-9a-f]{8}) F: fatal from (.*)\n)");
         std::smatch m;
         ASSERT_TRUE(std::regex_search(log, m, line)) << log;
         EXPECT_EQ(m[1].str(), m[2].str());
         std::tm t{};
         ASSERT_NE(nullptr, strptime(m[0].str().c_str() + 2, "%m/%d/%Y %H:%M:%S", &t));
         EXPECT_LT(std::llabs(static_cast<long long>(timegm(&t) - std::time(nullptr))), 120);

         // The error block: exception name empty, manager name empty for the unnamed manager.
         char host[256] = "";
         gethostname(host, sizeof host);
         std::regex block("\n\\[EXC\\]: \\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d\\.\\d{3} @ " + std::string(host) +
                          " \\([^)]*\\);  # \n\\[USR\\]: " + getpwuid(geteuid())->pw_name + " \\(/profile/of/test\\) @ " +
                          c.root.string() + "\n\\[THD\\]: [ 0-9a-f]{8}\n\\[PRS\\]: " + hex8(c.pid) + "\n\\[MSG\\]: plain error\n");
         EXPECT_TRUE(std::regex_search(log, block)) << log;
     }},
    {"LevelsForcedLinesSuppressionAndTracing", "Levels",
     "  DKLogPriority =  TRACE_ENTRY_EXIT \n#DKLogPriority=DEBUG\ndklogpriority=DEBUG\nNoEquals\n", {}, nullptr,
     [](const dklogtest::Child& c) {
         const std::string log = c.file("dklog.log"), address = c.printed("FOLDER");
         ASSERT_NE("", address);
         expectParts(log, {"Log Config      : " + c.root.string() + "/vtgmt/connectors/vtxlogconfig.properties\n",
                           " D: forced debug\n", " I: TestException #3#\n", " X: + DKFolder::addMember(DKDDO,DKDDO) " + address + "\n",
                           " X: - DKFolder::addMember(DKDDO,DKDDO) " + address + "\n"},
                     {"[ WARN]", "forced nothing"});
         // Suppressed after five; numbers 0 and 10000 are never suppressed.
         EXPECT_EQ((std::vector<int>{5 + 7 + 7, 5, 7, 7}),
                   (std::vector<int>{count(log, "; TestException # DKFolder\n"), count(log, "TestException #7#"),
                                     count(log, "TestException #0#"), count(log, "TestException #10000#")}));
     }},
    {"FatalOnlyToStandardOutput", "Writer", "DKLogPriority=FATAL\nDKLogOutputSetting=3\n", {{"EXCEPTIONS", "1"}}, nullptr,
     [](const dklogtest::Child& c) {
         EXPECT_EQ("110000", c.printed("ENABLED"));
         expectParts(c.out, {"logging started", " E: forced error\n"}, {"hidden error"});
         EXPECT_EQ(3, count(c.out, " F: TestException #7#\n")) << "fatal lines are never suppressed";
         EXPECT_FALSE(fs::exists(c.root / "dklog.log"));
     }},
    // Seven errors and three fatal lines of one exception: none suppressed.
    {"SuppressionSwitchedOffToStandardError", "Writer", "MAX_EXCEPTION_COUNT = OFF\nDKLogOutputSetting=2\n", {{"EXCEPTIONS", "1"}},
     nullptr, [](const dklogtest::Child& c) { EXPECT_EQ(10, count(c.err, "TestException #7#")); }},
    {"DisableOpensNoFile", "Writer", "DKLogPriority=DISABLE\nDKLogOutputFileName=$ROOT/never.log\n", {}, nullptr,
     [](const dklogtest::Child& c) {
         EXPECT_EQ("000000", c.printed("ENABLED"));
         EXPECT_FALSE(fs::exists(c.root / "never.log") || fs::exists(c.root / "dklog.log"));
         EXPECT_EQ("", c.err);
     }},
    // "-5" is refused; "abc" after the 1023-character comment reads as 0 and is taken; the INFO
    // after the over-long line is never read.
    {"BadValuesAndTheLineLimit", "Writer", nullptr, {},
     [](const fs::path& root) {
         dklogtest::layout(root, "DKLogOutputSetting=7\nDKLogPriority=Debug\nDKLogPriority=\nPERF_LOG_THRESHOLD=-5\n"
                                 "DKLogOutputFileSize=lots\nDKLogOutputFileSave=-3\nDKLogConfigWatcherDelay=0\n"
                                 "MAX_EXCEPTION_COUNT=off\n#" + std::string(1022, 'c') + "\nPERF_LOG_THRESHOLD=abc\n" +
                                     std::string(1024, 'l') + "\nDKLogPriority=INFO\n");
     },
     [](const dklogtest::Child& c) {
         EXPECT_EQ((V{"111000", "0"}), (V{c.printed("ENABLED"), c.printed("PERF")}));
         expectParts(c.file("dklog.log"), {" F: round 0\n"});
     }},
    {"AFolderAsTheFileNameFallsBackToTheDefaultFile", "Writer", "DKLogOutputFileName=$ROOT/afolder\n", {},
     [](const fs::path& root) { fs::create_directories(root / "afolder"); },
     [](const dklogtest::Child& c) {
         expectParts(c.file("dklog.log"), {" F: round 0\n", "\n\n[ WARN] The log output setting in the log configuration file is invalid.\n"});
         expectParts(c.onlyReport(), {"cannot open the log file " + c.root.string() + "/afolder: Is a directory; the log goes to dklog.log"});
     }},
    {"NeitherFileOpensSoTheLogGoesToStandardError", "Writer", "DKLogOutputFileName=$ROOT/plain.txt/sub/x.log\n", {},
     [](const fs::path& root) {
         // A folder below a regular file cannot exist, even for root; and dklog.log is a folder.
         dktest::writeFile(root / "plain.txt", "x");
         fs::create_directories(root / "dklog.log");
     },
     [](const dklogtest::Child& c) {
         expectParts(c.err, {"[ WARN] The log output setting", " F: round 0\n"});
         expectParts(c.onlyReport(), {", nor dklog.log: Is a directory; the log goes to standard error"});
     }},
    {"ConcurrentWritersLoseNoLineAcrossRollovers", "Writer", ROLLING("12", "$ROOT/roll.log"),
     {{"THREADS", "3"}, {"LINES", "12000"}},   // about 3.7 MB: three or more rollovers
     nullptr,
     [](const dklogtest::Child& c) {
         EXPECT_TRUE(fs::exists(c.root / "roll.log.sav3"));
         // The limit counts characters without line ends, so a generation is a little above 1 MB.
         EXPECT_LE(fs::file_size(c.root / "roll.log.sav1"), (1u << 20) / 100 * 102);
         EXPECT_GT(fs::file_size(c.root / "roll.log.sav1"), 1u << 20);
         expectEachOnce({c.root / "roll.log"}, 12, 3 * 12000);
         EXPECT_FALSE(dktest::contains(c.err, " F: L "));
         EXPECT_EQ("0", c.printed("FAILURES")) << "healthy rollovers report nothing";
         EXPECT_TRUE(c.reports().empty());
     }},
    {"BlockedGenerationKeepsLoggingInTheCurrentFile", "Writer", ROLLING("3", "$ROOT/roll.log"), {{"LINES", "14000"}},
     [](const fs::path& root) { fs::create_directories(root / "roll.log.sav2" / "inside"); },   // cannot be renamed over
     [](const dklogtest::Child& c) {
         EXPECT_GT(fs::file_size(c.root / "roll.log"), 1u << 20) << "the rollover stopped; the file grows";
         EXPECT_TRUE(fs::is_directory(c.root / "roll.log.sav2" / "inside"));
         expectEachOnce({c.root / "roll.log"}, 0, 14000);
         // Every line past the limit tries the rollover again and fails again: counted each
         // time, reported once.
         EXPECT_GT(std::stoul("0" + c.printed("FAILURES")), 1000u);
         const std::string root = c.root.string();
         expectParts(c.onlyReport(), {"cannot rename " + root + "/roll.log.sav1 to " + root + "/roll.log.sav2: "});
     }},
    // Faults done to the log file under a writer that goes on writing: the child must end
    // normally, and the handler report each kind of failure once, whatever it counted.
    {"FullDeviceSendsEveryLineToStandardErrorAndReportsOnce", "Writer", ROLLING("3", "$ROOT/full.log"),
     {{"ROUNDS", "2"}, {"LINES", "500"}},
     [](const fs::path& root) { fs::create_symlink("/dev/full", root / "full.log"); },
     [](const dklogtest::Child& c) {
         EXPECT_EQ("1005", c.printed("FAILURES")) << "the header and every line";
         const std::string report = c.onlyReport(), last = c.printed("LAST");
         expectParts(report, {"cannot write to the log file " + c.root.string() + "/full.log: "});
         EXPECT_EQ(report.substr(8, last.size()), last) << "the latest failure is the same kind";
         expectEachOnce({c.root / "stderr.txt"}, 0, 1000);   // no line is lost
     }},
    {"FolderRemovedUnderTheWriterTurnsTheLogToStandardError", "Writer", ROLLING("3", "$ROOT/logs/roll.log"),
     {{"LOG_FAULT", "remove-folder"}, {"LOG_FILE", "$ROOT/logs/roll.log"}, {"LINES", "12000"}},
     [](const fs::path& root) { fs::create_directories(root / "logs"); },
     [](const dklogtest::Child& c) {
         // At the rollover: the file is gone, F cannot become F.sav1, and F cannot be opened again.
         const std::string f = (c.root / "logs" / "roll.log").string();
         const auto reports = c.reports();
         ASSERT_EQ(3u, reports.size());
         expectParts(reports[0], {"the log file " + f + " was renamed or removed"});
         expectParts(reports[1], {"cannot rename " + f + " to " + f + ".sav1: No such file"});
         expectParts(reports[2], {"cannot open the log file " + f + " again: No such file"});
         EXPECT_EQ("3", c.printed("FAILURES"));
         EXPECT_FALSE(fs::exists(c.root / "logs"));
         int broken = 0;
         EXPECT_EQ(1u, numberedLines(c.root / "stderr.txt", 0, broken).count({0, 11999}))
             << "the lines after the rollover go to standard error";
     }},
    {"FileReplacedUnderTheWriterIsReportedOnceAndRolledOver", "Writer", ROLLING("3", "$ROOT/roll.log"),
     // Each round replaces the file, then writes past the limit once: two replacements seen.
     {{"LOG_FAULT", "replace-file"}, {"LOG_FILE", "$ROOT/roll.log"}, {"ROUNDS", "2"}, {"LINES", "12000"}},
     nullptr,
     [](const dklogtest::Child& c) {
         const std::string f = (c.root / "roll.log").string();
         EXPECT_EQ("2", c.printed("FAILURES"));
         expectParts(c.onlyReport(), {"the log file " + f + " was replaced by another file"});
         // Nothing is lost: the lines are in the moved files, the log and its generations.
         expectEachOnce({f + ".moved0", f + ".moved1", f}, 3, 24000);
         // The file put in its place was rolled over like the log.
         expectParts(c.file("roll.log.sav1") + c.file("roll.log.sav2"), {"put here 1\n"});
     }},
};

#undef ROLLING

class DKLogManagerInAChild : public testing::TestWithParam<dklogtest::Case> {};

TEST_P(DKLogManagerInAChild, Case) { dklogtest::run(GetParam(), "LogChild"); }

INSTANTIATE_TEST_SUITE_P(Config, DKLogManagerInAChild, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<dklogtest::Case>& info) { return info.param.name; });

}  // namespace

// ---------------------------------------------------------------------------------------------
// In this process (configured by the shared test main).

TEST(DKLogFactory, NamedManagersAccessorAndOptions) {
    dkLog* folder = DKLogAccessor::getInstance("DKFolder");
    EXPECT_NE(folder, DKLogAccessor::getInstance("dkfolder"));
    EXPECT_EQ(DKString("DKFolder"), static_cast<DKLogManager_default*>(folder)->getName());
    // Many names share 100 buckets; each keeps its own manager.
    std::set<dkLog*> made;
    for (int pass = 0; pass < 2; ++pass)
        for (int i = 0; i < 300; ++i) made.insert(DKLogAccessor::getInstance(("Class" + std::to_string(i)).c_str()));
    EXPECT_EQ(300u, made.size());
    // Another factory shares the unnamed manager but has its own named ones.
    dkLog* original = DKLogAccessor::getInstance();
    auto* other = new DKLogManagerFactory_default;
    EXPECT_EQ(original, other->makeLogManager());
    EXPECT_NE(folder, other->makeLogManager("DKFolder"));
    delete other;
    EXPECT_TRUE(original->isEnabled_error()) << "the shared manager outlives the factory";

    DKLogManager_default mine("mine");
    DKLogAccessor::setLogManager(&mine);
    EXPECT_EQ(&mine, DKLogAccessor::getInstance());
    DKLogAccessor::setLogManagerFactory(new DKLogManagerFactory_default);   // left for the rest of the run
    EXPECT_EQ(original, DKLogAccessor::getInstance()) << "the new factory gives the shared unnamed manager";
    // Option 1, the performance threshold, takes values from 0; there is no option 2.
    auto set = [](long option, long value) { return DKLogAccessor::setOptionValue(reinterpret_cast<void*>(option), reinterpret_cast<void*>(value)); };
    auto get = [](long option) { return reinterpret_cast<long>(DKLogAccessor::getOptionValue(reinterpret_cast<void*>(option))); };
    EXPECT_EQ((std::vector<long>{250, 0, 0, 250, 0}), (std::vector<long>{set(1, 250), set(1, -1), set(2, 5), get(1), get(2)}));
    set(1, 100);
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
