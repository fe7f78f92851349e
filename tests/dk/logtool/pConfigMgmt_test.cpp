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

// The message number and text (without the insert blank) of what f throws; kNothingThrown and
// "" when it returns.
using Text = std::pair<long, std::string>;
template <class F>
Text failure(F f) {
    const dktest::Failure r = failureOf(f);
    return {r.id, r.id > 0 ? withoutInsertBlank(r.text) : ""};
}

// A private folder, the configuration file `name` in it holding text, and an editor on that file.
struct Fixture {
    dktest::TempDir dir;
    fs::path file;
    PTraceLogMgmtAPI api;
    explicit Fixture(const std::string& text, const std::string& name = "vtxlogconfig.properties") : file(dir / name) {
        if (!text.empty()) dktest::writeFile(file, text);
        api.initialize(DKString(file.string()));
    }
    std::string now() const { return dktest::readFile(file); }
    Text set(const char* key, const std::string& value) { return failure([&] { api.setLogProperty(key, DKString(value)); }); }
};

std::set<std::string> namesIn(const fs::path& dir) {
    std::set<std::string> names;
    for (auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

std::unique_ptr<DKSequentialCollection> pairsFrom(const std::vector<std::pair<const char*, DKAny>>& pairs) {
    auto c = std::make_unique<DKSequentialCollection>();
    for (const auto& p : pairs) c->addElement(DKAny(DKNVPair(p.first, p.second)));
    return c;
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
    const std::string head = "# comment DKLogPriority = DEBUG\n\n  \nab\n   # indented = comment\n" + std::string(600, 'x') +
                             "\nOrphan =\nBare\n" + std::string("with\0nul = 1\n", 13);
    const std::string tail = "after = 2\nno end at all = 3";
    Fixture e(head + "DKLogPriority=INFO\n" + tail);
    const fs::path& file = e.file;
    e.api.setLogProperty(" DKLogPriority ", " error ");   // any case; stored as the file's name
    EXPECT_EQ(head + "DKLogPriority = ERROR\n" + tail, e.now());
    EXPECT_EQ(head + "DKLogPriority=INFO\n" + tail, dktest::readFile(fs::path(file.string() + ".bak")));

    // A new key: the unfinished last line is ended first, nothing else moves.
    e.api.setLogProperty("log4j.appender.apiAppender.File", "/var/log/api log.txt");
    EXPECT_EQ(head + "DKLogPriority = ERROR\n" + tail + "\nlog4j.appender.apiAppender.File = /var/log/api log.txt\n", e.now());
    // A pair's name is a C string: "with".
    EXPECT_EQ((std::map<std::string, std::string>{{"DKLogPriority", "ERROR"}, {"Orphan", ""}, {"with", "1"}, {"after", "2"},
                                                  {"no end at all", "3"}, {"log4j.appender.apiAppender.File", "/var/log/api log.txt"}}),
              pairsOf(e.api.getAllLogProperties()));
    EXPECT_EQ(std::set<std::string>({"vtxlogconfig.properties", "vtxlogconfig.properties.bak"}), namesIn(e.dir.path()))
        << "no temporary file is left";

    // Windows line ends: kept on unchanged lines, taken by a changed line and by an appended one.
    dktest::writeFile(file, "# crlf\r\nDKLogOutputFileSave=1\r\nx\r\n");
    e.api.setLogProperty("DKLogOutputFileSave", "4");
    e.api.setLogProperty("DKAdminLogLevel", "TRACE_FULL");
    EXPECT_EQ("# crlf\r\nDKLogOutputFileSave = 4\r\nx\r\nDKAdminLogLevel = TRACE\r\n", e.now());
    EXPECT_EQ("4 TRACE_FULL", (e.api.getLogProperty("DKLogOutputFileSave") + " " + e.api.getLogProperty("DKAdminLogLevel")).str());

    // A line is read in pieces of 255 characters: a key after 255 others is a line of its own.
    dktest::writeFile(file, std::string(255, 'a') + "DKLogPriority=INFO\n");
    EXPECT_EQ("WARNING", e.api.getLogProperty("DKLogPriority").str()) << "INFO in the file reads as WARNING";
    // An empty file gets its first line; the generic editor takes its own delimiter.
    dktest::writeFile(file, "");
    e.api.setLogProperty("DKLogPriority", "performance");
    EXPECT_EQ("DKLogPriority = PERF\n", e.now());
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
    Fixture e("DKLogPriority=ERROR\nDKLogOutputFileSize=5\n");
    // Accepted, then one row per way a value is refused: 702 for a value the key does not take or
    // that could not be read back as written (a line break, a delimiter in the key, a comment
    // key, a line longer than the read buffer: 253 characters and a CR LF fill it exactly).
    const std::pair<const char*, std::string> taken[] = {
        {"log4j.appender.ldapAppender.MaxFileSize", "10 KB"}, {"log4j.appender.ldapAppender.MaxFileSize", "7\tGB"},
        {"log4j.appender.ldapAppender.MaxFileSize", "12"},
        {"DKBeansLogLevel", "Trace_Entry_Exit"}, {"anything.else", "is = taken"}, {"k", std::string(253 - 4, 'v')}};
    for (const auto& t : taken) EXPECT_EQ(dktest::kNothingThrown, e.set(t.first, t.second).first) << t.first << " " << t.second;
    EXPECT_EQ(std::string(253 - 4, 'v'), e.api.getLogProperty("k").str());
    const std::tuple<const char*, std::string, long> refused[] = {
        {"log4j.appender.beansAppender.MaxFileSize", "10mb", 702}, {"log4j.appender.beansAppender.MaxFileSize", "MB", 702},
        {"log4j.appender.beansAppender.MaxFileSize", "1.5MB", 702}, {"DKLogOutputFileSave", "three", 702},
        {"DKBeansLogLevel", "PERF", 702},   // the file's names are not the interface's
        {"DKLogOutputFileName", "a\nDKLogPriority = DEBUG", 702}, {"a=b", "1", 702}, {"#x", "1", 702},
        {"k", std::string(253 - 3, 'v'), 702}, {"  ", "1", 700}, {"DKLogPriority", "   ", 701}};
    for (const auto& [key, value, id] : refused) EXPECT_EQ(id, e.set(key, value).first) << key << " " << value;
    EXPECT_EQ("The value 10MB does not suit the log configuration key DKLogOutputFileSize.", e.set("DKLogOutputFileSize", "10MB").second);
    EXPECT_EQ("The log configuration key DKLogPriority has an empty value.", e.set("DKLogPriority", "").second);

    // Pairs of a collection are all checked before the file is touched.
    const std::string now = e.now();
    const auto pairs = pairsFrom({{"DKLogPriority", DKAny("TRACE_FULL")}, {"DKLogOutputFileSave", DKAny("many")}});
    EXPECT_EQ(702, failureOf([&] { e.api.setAllLogProperties(*pairs); }).id);
    EXPECT_EQ(now, e.now());
}

TEST(PTraceLogMgmtAPIRewrite, SetSeveralReadAllAndSupportedKeys) {
    Fixture e("DKLogPriority=INFO\nDKLogOutputFileSave = 1\nDKLogPriority = ERROR\nEmpty =\nx\n");

    // The first pair of a key decides.
    e.api.setAllLogProperties(*pairsFrom({{"DKLogPriority", DKAny("TRACE_FULL")}, {"DKLogOutputFileSave", DKAny(3L)},
                                          {"New.Key", DKAny("v1")}, {"New.Key", DKAny("v2")}}));
    EXPECT_EQ("DKLogPriority = TRACE\nDKLogOutputFileSave = 3\nDKLogPriority = TRACE\nEmpty =\nx\nNew.Key = v1\n", e.now());

    const dkCollection& all = e.api.getAllLogProperties();
    EXPECT_EQ(5u, all.cardinality()) << "every property line, duplicates too";
    EXPECT_EQ(&all, &e.api.getAllLogProperties()) << "the same owned collection, rebuilt";
    EXPECT_EQ("TRACE_FULL", pairsOf(all)["DKLogPriority"]);

    // A supported key may be absent from the file; an absent one is no supported key.
    EXPECT_EQ((std::vector<int>{1, 1, 0}), (std::vector<int>{e.api.isLogPropertySupported("DKBeansLogLevel"),
                                                             e.api.isLogPropertySupported(" New.Key "), e.api.isLogPropertySupported("Empty")}));
    EXPECT_EQ(Text(703, "The log configuration key DKBeansLogLevel was not found in " + e.file.string() + "."),
              failure([&] { e.api.getLogProperty("DKBeansLogLevel"); }));
    EXPECT_EQ(700, failure([&] { e.api.getLogProperty(""); }).first);
}

TEST(PConfigMgmtFileFaults, EveryFailureLeavesTheFileWhole) {
    {
        // No file, a folder in its place, a path below a regular file.
        dktest::TempDir dir;
        dktest::writeFile(dir / "plain.txt", "x");
        fs::create_directories(dir / "folder");
        for (fs::path p : {dir / "missing", dir / "folder", dir / "plain.txt" / "vtxlogconfig.properties"}) {
            Editor e(p);
            EXPECT_EQ(Text(705, "The log configuration file " + p.string() + " does not exist."),
                      failure([&] { e.api.setLogProperty("DKLogPriority", "INFO"); }));
            EXPECT_EQ(705, failure([&] { e.api.getLogProperty("DKLogPriority"); }).first);
        }
        EXPECT_EQ(std::set<std::string>({"plain.txt", "folder"}), namesIn(dir.path()));
        EXPECT_TRUE(fs::is_empty(dir / "folder"));
        PConfigMgmtFile none;
        EXPECT_EQ(486, failureOf([&] { none.getLogProperty("a"); }).id);
        EXPECT_EQ(486, failureOf([&] { none.initialize(""); }).id);
    }
    const std::string content = "DKLogPriority = ERROR\n";
    {
        // The temporary name does not fit the folder (longer than a file name may be).
        Fixture x(content, std::string(240, 'n'));
        const auto failure = x.set("DKLogPriority", "INFO");
        EXPECT_EQ(360, failure.first);
        EXPECT_NE(std::string::npos, failure.second.find("system error RC = ")) << failure.second;
        EXPECT_EQ(content, x.now());
        EXPECT_EQ(std::set<std::string>({x.file.filename().string()}), namesIn(x.dir.path()));
    }
    {
        // The backup's name is taken by a folder that cannot be removed: nothing changes.
        Fixture x(content);
        fs::create_directories(x.dir / "vtxlogconfig.properties.bak" / "inside");
        EXPECT_EQ(360, x.set("DKLogPriority", "INFO").first);
        EXPECT_EQ(content, x.now());
        EXPECT_EQ(std::set<std::string>({"vtxlogconfig.properties", "vtxlogconfig.properties.bak"}), namesIn(x.dir.path()));
    }
    {
        // Names another writer already holds (this second and the next two) are left alone.
        Fixture x(content);
        std::vector<fs::path> taken;
        for (std::time_t t = std::time(nullptr), end = t + 3; t < end; ++t) {
            std::tm local{};
            localtime_r(&t, &local);
            char stamp[64];
            std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H.%M.%S.000000", &local);
            taken.push_back(x.file.string() + "." + stamp + "." + std::to_string(getpid()));
            dktest::writeFile(taken.back(), "another writer's");
        }
        x.api.setLogProperty("DKLogPriority", "INFO");
        EXPECT_EQ("DKLogPriority = INFO\n", x.now());
        for (auto& p : taken) EXPECT_EQ("another writer's", dktest::readFile(p));
        EXPECT_EQ(5u, namesIn(x.dir.path()).size()) << "the file, its backup and the three taken names";
    }
}

TEST(PConfigMgmtFileThreads, ReadersAlwaysFindAWholeFile) {
    Fixture x("# shared\nDKLogPriority = ERROR\n");
    const fs::path& file = x.file;
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
            if ((f.thrown() || n < 1) && failures++ == 0) ADD_FAILURE() << f.id << " " << f.text << " with " << n << " properties";
        }
    });
    std::thread a(writer, "DKLogOutputFileSave"), b(writer, "log4j.appender.apiAppender.MaxBackupIndex");
    a.join();
    b.join();
    done = true;
    reader.join();
    EXPECT_EQ(0, failures.load());
    EXPECT_EQ(std::set<std::string>({"vtxlogconfig.properties", "vtxlogconfig.properties.bak"}), namesIn(x.dir.path()));
    EXPECT_EQ("ERROR", x.api.getLogProperty("DKLogPriority").str());
}
