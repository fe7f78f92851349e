// tests/dk/logtool/pConfigMgmt_test.cpp
//
// The configuration file editor on real files in private folders: what a rewrite keeps byte for
// byte, which values each key takes, and what a failure at each step leaves behind.
// dk-threaded-suite: writers and a reader share one file.

#include <dk/DKException.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/DKSequentialCollection.hpp>
#include <dk/PTraceLogMgmtAPI.hpp>
#include <dk/pConfigMgmt.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <ctime>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace fs = std::filesystem;

namespace {

using dktest::failureOf;
using dktest::withoutInsertBlank;

// A log configuration editor on a file of the test's own.
struct Editor {
    PTraceLogMgmtAPI api;
    explicit Editor(const fs::path& file) { api.initialize(DKString(file.string())); }
};

std::set<std::string> namesIn(const fs::path& dir) {
    std::set<std::string> names;
    for (auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

std::map<std::string, std::string> pairsOf(const dkCollection& c) {
    std::map<std::string, std::string> m;
    std::unique_ptr<dkIterator> it(c.createIterator());
    while (it->more()) {
        DKNVPair p = *it->next();
        m[p.getName().str()] = static_cast<DKString>(p.getValue()).str();
    }
    return m;
}

}  // namespace

TEST(PConfigMgmtFileFormat, UnchangedLinesSurviveARewriteByteForByte) {
    dktest::TempDir dir;
    fs::path file = dir / "vtxlogconfig.properties";
    const std::string longLine(600, 'x');
    const std::string head = "# comment DKLogPriority = DEBUG\n\n  \nab\n   # indented = comment\n" + longLine +
                             "\nOrphan =\nBare\n" + std::string("with\0nul = 1\n", 13);
    const std::string tail = "after = 2\nno end at all = 3";
    dktest::writeFile(file, head + "DKLogPriority=INFO\n" + tail);
    Editor e(file);

    e.api.setLogProperty(" DKLogPriority ", " error ");   // any case; stored as the file's name
    EXPECT_EQ(head + "DKLogPriority = ERROR\n" + tail, dktest::readFile(file));
    EXPECT_EQ(head + "DKLogPriority=INFO\n" + tail, dktest::readFile(fs::path(file.string() + ".bak")));

    // A new key: the unfinished last line is ended first, nothing else moves.
    e.api.setLogProperty("log4j.appender.apiAppender.File", "/var/log/api log.txt");
    EXPECT_EQ(head + "DKLogPriority = ERROR\n" + tail + "\nlog4j.appender.apiAppender.File = /var/log/api log.txt\n",
              dktest::readFile(file));
    auto all = pairsOf(e.api.getAllLogProperties());
    EXPECT_EQ((std::map<std::string, std::string>{{"DKLogPriority", "ERROR"},
                                                  {"Orphan", ""},
                                                  {"with", "1"},   // a pair's name is a C string
                                                  {"after", "2"},
                                                  {"no end at all", "3"},
                                                  {"log4j.appender.apiAppender.File", "/var/log/api log.txt"}}),
              all);
    EXPECT_EQ(std::set<std::string>({"vtxlogconfig.properties", "vtxlogconfig.properties.bak"}), namesIn(dir.path()))
        << "no temporary file is left";

    // Windows line ends: kept on unchanged lines, taken by a changed line and by an appended one.
    dktest::writeFile(file, "# crlf\r\nDKLogOutputFileSave=1\r\nx\r\n");
    e.api.setLogProperty("DKLogOutputFileSave", "4");
    e.api.setLogProperty("DKAdminLogLevel", "TRACE_FULL");
    EXPECT_EQ("# crlf\r\nDKLogOutputFileSave = 4\r\nx\r\nDKAdminLogLevel = TRACE\r\n", dktest::readFile(file));
    EXPECT_EQ("4", e.api.getLogProperty("DKLogOutputFileSave").str());
    EXPECT_EQ("TRACE_FULL", e.api.getLogProperty("DKAdminLogLevel").str());

    // A line is read in pieces of 255 characters: a key after 255 others is a line of its own.
    dktest::writeFile(file, std::string(255, 'a') + "DKLogPriority=INFO\n");
    EXPECT_EQ("WARNING", e.api.getLogProperty("DKLogPriority").str()) << "INFO in the file reads as WARNING";
    // An empty file gets its first line; the generic editor takes its own delimiter.
    dktest::writeFile(file, "");
    e.api.setLogProperty("DKLogPriority", "performance");
    EXPECT_EQ("DKLogPriority = PERF\n", dktest::readFile(file));
    EXPECT_EQ("PERFORMANCE", e.api.getLogProperty("DKLogPriority").str());
    PConfigMgmtFile colon;
    colon.initialize(DKString(file.string()), DKString(":"));
    dktest::writeFile(file, "a: 1\n#b: 2\nc = 3\n");
    EXPECT_EQ("1", colon.getLogProperty("a").str());
    EXPECT_EQ("2", colon.getLogProperty("#b").str()) << "comments are a log configuration rule only";
    colon.setLogProperty("c = 3", "4");   // "c = 3" has no ":", so it is no property line
    colon.setLogProperty("a", "5");
    EXPECT_EQ("a : 5\n#b: 2\nc = 3\nc = 3 : 4\n", dktest::readFile(file));
    EXPECT_EQ(702, failureOf([&] { colon.setLogProperty("a:b", "1"); }).id);
}

TEST(PTraceLogMgmtAPIValues, EveryKeyTakesOnlyItsValues) {
    dktest::TempDir dir;
    fs::path file = dir / "vtxlogconfig.properties";
    const std::string before = "DKLogPriority=ERROR\nDKLogOutputFileSize=5\n";
    dktest::writeFile(file, before);
    Editor e(file);
    auto rejected = [&](const char* key, const std::string& value) {
        return failureOf([&] { e.api.setLogProperty(key, DKString(value)); });
    };
    // Accepted, then one row per way a value is refused: 702 for a value the key does not take or
    // that could not be read back as written (a line break, a delimiter in the key, a comment
    // key, a line longer than the read buffer: 253 characters and a CR LF fill it exactly).
    const std::pair<const char*, std::string> taken[] = {
        {"log4j.appender.ldapAppender.MaxFileSize", "10 KB"}, {"log4j.appender.ldapAppender.MaxFileSize", "7\tGB"},
        {"log4j.appender.ldapAppender.MaxFileSize", "12"},
        {"DKBeansLogLevel", "Trace_Entry_Exit"}, {"anything.else", "is = taken"}, {"k", std::string(253 - 4, 'v')}};
    for (const auto& t : taken) EXPECT_FALSE(rejected(t.first, t.second).thrown()) << t.first << " " << t.second;
    EXPECT_EQ(std::string(253 - 4, 'v'), e.api.getLogProperty("k").str());
    const std::tuple<const char*, std::string, long> refused[] = {
        {"log4j.appender.beansAppender.MaxFileSize", "10mb", 702}, {"log4j.appender.beansAppender.MaxFileSize", "MB", 702},
        {"log4j.appender.beansAppender.MaxFileSize", "1.5MB", 702}, {"DKLogOutputFileSave", "three", 702},
        {"DKBeansLogLevel", "PERF", 702},   // the file's names are not the interface's
        {"DKLogOutputFileName", "a\nDKLogPriority = DEBUG", 702}, {"a=b", "1", 702}, {"#x", "1", 702},
        {"k", std::string(253 - 3, 'v'), 702}, {"  ", "1", 700}, {"DKLogPriority", "   ", 701}};
    for (const auto& [key, value, id] : refused) EXPECT_EQ(id, rejected(key, value).id) << key << " " << value;
    EXPECT_EQ("The value 10MB does not suit the log configuration key DKLogOutputFileSize.",
              withoutInsertBlank(rejected("DKLogOutputFileSize", "10MB").text));
    EXPECT_EQ("The log configuration key DKLogPriority has an empty value.", withoutInsertBlank(rejected("DKLogPriority", "").text));

    // Pairs of a collection are all checked before the file is touched.
    std::string now = dktest::readFile(file);
    DKSequentialCollection pairs;
    pairs.addElement(DKAny(DKNVPair("DKLogPriority", DKAny("TRACE_FULL"))));
    pairs.addElement(DKAny(DKNVPair("DKLogOutputFileSave", DKAny("many"))));
    EXPECT_EQ(702, failureOf([&] { e.api.setAllLogProperties(pairs); }).id);
    EXPECT_EQ(now, dktest::readFile(file));
}

TEST(PTraceLogMgmtAPIRewrite, SetSeveralReadAllAndSupportedKeys) {
    dktest::TempDir dir;
    fs::path file = dir / "vtxlogconfig.properties";
    dktest::writeFile(file, "DKLogPriority=INFO\nDKLogOutputFileSave = 1\nDKLogPriority = ERROR\nEmpty =\nx\n");
    Editor e(file);

    DKSequentialCollection pairs;
    pairs.addElement(DKAny(DKNVPair("DKLogPriority", DKAny("TRACE_FULL"))));
    pairs.addElement(DKAny(DKNVPair("DKLogOutputFileSave", DKAny(3L))));
    pairs.addElement(DKAny(DKNVPair("New.Key", DKAny("v1"))));
    pairs.addElement(DKAny(DKNVPair("New.Key", DKAny("v2"))));   // the first of a key decides
    e.api.setAllLogProperties(pairs);
    EXPECT_EQ("DKLogPriority = TRACE\nDKLogOutputFileSave = 3\nDKLogPriority = TRACE\nEmpty =\nx\nNew.Key = v1\n",
              dktest::readFile(file));

    const dkCollection& all = e.api.getAllLogProperties();
    EXPECT_EQ(5u, all.cardinality()) << "every property line, duplicates too";
    EXPECT_EQ(&all, &e.api.getAllLogProperties()) << "the same owned collection, rebuilt";
    EXPECT_EQ("TRACE_FULL", pairsOf(all)["DKLogPriority"]);

    EXPECT_EQ(1, e.api.isLogPropertySupported("DKBeansLogLevel")) << "supported though absent";
    EXPECT_EQ(1, e.api.isLogPropertySupported(" New.Key "));
    EXPECT_EQ(0, e.api.isLogPropertySupported("Empty"));
    dktest::Failure f = failureOf([&] { e.api.getLogProperty("DKBeansLogLevel"); });
    EXPECT_EQ(703, f.id);
    EXPECT_EQ("The log configuration key DKBeansLogLevel was not found in " + file.string() + ".", withoutInsertBlank(f.text));
    EXPECT_EQ(700, failureOf([&] { e.api.getLogProperty(""); }).id);
}

TEST(PConfigMgmtFileFaults, EveryFailureLeavesTheFileWhole) {
    dktest::TempDir dir;
    const std::string content = "DKLogPriority = ERROR\n";
    {
        // No file, a folder in its place, a path below a regular file.
        dktest::writeFile(dir / "plain.txt", "x");
        fs::create_directories(dir / "folder");
        for (fs::path p : {dir / "missing", dir / "folder", dir / "plain.txt" / "vtxlogconfig.properties"}) {
            Editor e(p);
            dktest::Failure f = failureOf([&] { e.api.setLogProperty("DKLogPriority", "INFO"); });
            EXPECT_EQ(705, f.id) << p;
            EXPECT_EQ("The log configuration file " + p.string() + " does not exist.", withoutInsertBlank(f.text));
            EXPECT_EQ(705, failureOf([&] { e.api.getLogProperty("DKLogPriority"); }).id);
        }
        EXPECT_EQ(std::set<std::string>({"plain.txt", "folder"}), namesIn(dir.path()));
        EXPECT_TRUE(fs::is_empty(dir / "folder"));
        PConfigMgmtFile none;
        EXPECT_EQ(486, failureOf([&] { none.getLogProperty("a"); }).id);
        EXPECT_EQ(486, failureOf([&] { none.initialize(""); }).id);
    }
    {
        // The temporary name does not fit the folder (longer than a file name may be).
        dktest::TempDir d;
        fs::path file = d / std::string(240, 'n');
        dktest::writeFile(file, content);
        Editor e(file);
        dktest::Failure f = failureOf([&] { e.api.setLogProperty("DKLogPriority", "INFO"); });
        EXPECT_EQ(360, f.id);
        EXPECT_NE(std::string::npos, f.text.find("system error RC = ")) << f.text;
        EXPECT_EQ(content, dktest::readFile(file));
        EXPECT_EQ(std::set<std::string>({file.filename().string()}), namesIn(d.path()));
    }
    {
        // The backup's name is taken by a folder that cannot be removed: nothing changes.
        dktest::TempDir d;
        fs::path file = d / "vtxlogconfig.properties";
        dktest::writeFile(file, content);
        fs::create_directories(d / "vtxlogconfig.properties.bak" / "inside");
        Editor e(file);
        EXPECT_EQ(360, failureOf([&] { e.api.setLogProperty("DKLogPriority", "INFO"); }).id);
        EXPECT_EQ(content, dktest::readFile(file));
        EXPECT_EQ(std::set<std::string>({"vtxlogconfig.properties", "vtxlogconfig.properties.bak"}),
                  namesIn(d.path()));
    }
    {
        // Names another writer already holds (this second and the next two) are left alone.
        dktest::TempDir d;
        fs::path file = d / "vtxlogconfig.properties";
        dktest::writeFile(file, content);
        std::vector<fs::path> taken;
        std::time_t now = std::time(nullptr);
        for (int s = 0; s < 3; ++s) {
            std::time_t t = now + s;
            std::tm local{};
            localtime_r(&t, &local);
            char stamp[64];
            std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H.%M.%S.000000", &local);
            taken.push_back(file.string() + "." + stamp + "." + std::to_string(getpid()));
            dktest::writeFile(taken.back(), "another writer's");
        }
        Editor e(file);
        e.api.setLogProperty("DKLogPriority", "INFO");
        EXPECT_EQ("DKLogPriority = INFO\n", dktest::readFile(file));
        for (auto& p : taken) EXPECT_EQ("another writer's", dktest::readFile(p));
        EXPECT_EQ(5u, namesIn(d.path()).size()) << "the file, its backup and the three taken names";
    }
}

TEST(PConfigMgmtFileThreads, ReadersAlwaysFindAWholeFile) {
    dktest::TempDir dir;
    fs::path file = dir / "vtxlogconfig.properties";
    dktest::writeFile(file, "# shared\nDKLogPriority = ERROR\n");
    std::atomic<bool> done{false};
    std::atomic<int> failures{0};
    // Until the writers are done, the reader must never find the file missing or empty.
    auto writer = [&](const char* key) {
        Editor e(file);
        for (int i = 0; i < 25; ++i) {
            dktest::Failure f = failureOf([&] { e.api.setLogProperty(key, DKString(i)); });
            if (f.thrown() && failures++ == 0) ADD_FAILURE() << f.id << " " << f.text;
        }
    };
    std::thread reader([&] {
        Editor e(file);
        while (!done.load()) {
            unsigned long n = 0;
            dktest::Failure f = failureOf([&] { n = e.api.getAllLogProperties().cardinality(); });
            if (f.thrown() || n < 1) {
                if (failures++ == 0) ADD_FAILURE() << f.id << " " << f.text << " with " << n << " properties";
            }
        }
    });
    std::thread a(writer, "DKLogOutputFileSave"), b(writer, "log4j.appender.apiAppender.MaxBackupIndex");
    a.join();
    b.join();
    done = true;
    reader.join();
    EXPECT_EQ(0, failures.load());
    EXPECT_EQ(std::set<std::string>({"vtxlogconfig.properties", "vtxlogconfig.properties.bak"}), namesIn(dir.path()));
    Editor e(file);
    EXPECT_EQ("ERROR", e.api.getLogProperty("DKLogPriority").str());
}
