// tests/tools/dkToolLog_test.cpp
//
// The log of the dk tool on its own: rollover into a fixed number of generations, and failures
// (no folder, a full device) that warn once and never stop the caller.

#include "dkTestSupport.hpp"
#include "dkToolLog.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>

namespace fs = std::filesystem;

namespace {

// What a log in folder (generations of at most size bytes, `saved` of them kept) warns about
// while use writes to it; the log is closed before its warnings are read.
std::string warningsWhile(const fs::path& folder, std::uint64_t size, int saved, const std::function<void(dkcli::ToolLog&)>& use) {
    std::FILE* warnings = std::tmpfile();
    {
        dkcli::ToolLog log(folder, size, saved, warnings);
        log.install("dk test banner");
        use(log);
    }
    std::rewind(warnings);
    std::string text;
    char buf[512];
    while (std::fgets(buf, sizeof buf, warnings)) text += buf;
    std::fclose(warnings);
    return text;
}

}  // namespace

TEST(DkToolLog, RollsOverIntoAFixedNumberOfGenerations) {
    dktest::TempDir dir;
    EXPECT_EQ("", warningsWhile(dir.path(), 300, 2, [](dkcli::ToolLog& log) {
        for (int i = 0; i < 40; ++i) log.error(("line " + std::to_string(i) + "\nsecond part").c_str());
        EXPECT_TRUE(log.isOpen());
    }));
    const fs::path file = dir / "dklog.log";
    for (const fs::path& p : {file, fs::path(file.string() + ".sav1"), fs::path(file.string() + ".sav2")}) {
        ASSERT_TRUE(fs::exists(p)) << p;
        EXPECT_LE(fs::file_size(p), 300u) << p;
    }
    EXPECT_FALSE(fs::exists(file.string() + ".sav3"));
    const std::string last = dktest::readFile(file);
    EXPECT_NE(std::string::npos, last.find("[E] line 39 | second part\n")) << "one event, one line: " << last;
}

TEST(DkToolLog, FailuresWarnOnceAndTheCallerGoesOn) {
    dktest::TempDir dir;
    // The log folder is a plain file: nothing can be made there.
    dktest::writeFile(dir / "notafolder", "");
    std::string text = warningsWhile(dir / "notafolder", 1 << 20, 1, [](dkcli::ToolLog& log) {
        log.error("an error nobody will read");
        log.fatal("and another");
        EXPECT_FALSE(log.isOpen());
    });
    EXPECT_EQ(1, std::count(text.begin(), text.end(), '\n')) << text;
    EXPECT_NE(std::string::npos, text.find("going on without a log")) << text;

    // A full device: the first write fails, one warning, later writes are dropped.
    fs::create_directories(dir / "full");
    fs::create_symlink("/dev/full", dir / "full" / "dklog.log");
    text = warningsWhile(dir / "full", 1 << 20, 1, [](dkcli::ToolLog& log) {
        for (int i = 0; i < 3; ++i) log.error("lost");
    });
    EXPECT_EQ(1, std::count(text.begin(), text.end(), '\n')) << text;
    EXPECT_NE(std::string::npos, text.find("No space left")) << text;
}
