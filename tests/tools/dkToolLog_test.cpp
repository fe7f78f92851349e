// tests/tools/dkToolLog_test.cpp
//
// The log of the dk tool on its own: rollover into a fixed number of generations, and failures
// (no folder, a full device) that warn once and never stop the caller.

#include "dkTestSupport.hpp"
#include "dkToolLog.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::string warningsOf(std::FILE* f) {
    std::rewind(f);
    std::string text;
    char buf[512];
    while (std::fgets(buf, sizeof buf, f)) text += buf;
    return text;
}

}  // namespace

TEST(DkToolLog, RollsOverIntoAFixedNumberOfGenerations) {
    dktest::TempDir dir;
    std::FILE* warnings = std::tmpfile();
    {
        dkcli::ToolLog log(dir.path(), 300, 2, warnings);
        log.install("dk test banner");
        for (int i = 0; i < 40; ++i) log.error(("line " + std::to_string(i) + "\nsecond part").c_str());
        EXPECT_TRUE(log.isOpen());
    }
    const fs::path file = dir / "dklog.log";
    for (const fs::path& p : {file, fs::path(file.string() + ".sav1"), fs::path(file.string() + ".sav2")}) {
        ASSERT_TRUE(fs::exists(p)) << p;
        EXPECT_LE(fs::file_size(p), 300u) << p;
    }
    EXPECT_FALSE(fs::exists(file.string() + ".sav3"));
    const std::string last = dktest::readFile(file);
    EXPECT_NE(std::string::npos, last.find("[E] line 39 | second part\n")) << "one event, one line: " << last;
    EXPECT_EQ("", warningsOf(warnings));
    std::fclose(warnings);
}

TEST(DkToolLog, FailuresWarnOnceAndTheCallerGoesOn) {
    dktest::TempDir dir;
    // The log folder is a plain file: nothing can be made there.
    dktest::writeFile(dir / "notafolder", "");
    std::FILE* warnings = std::tmpfile();
    {
        dkcli::ToolLog log(dir / "notafolder", 1 << 20, 1, warnings);
        log.install("banner");
        log.error("an error nobody will read");
        log.fatal("and another");
        EXPECT_FALSE(log.isOpen());
    }
    std::string text = warningsOf(warnings);
    EXPECT_EQ(1, std::count(text.begin(), text.end(), '\n')) << text;
    EXPECT_NE(std::string::npos, text.find("going on without a log")) << text;
    std::fclose(warnings);

    // A full device: the first write fails, one warning, later writes are dropped.
    fs::create_directories(dir / "full");
    fs::create_symlink("/dev/full", dir / "full" / "dklog.log");
    warnings = std::tmpfile();
    {
        dkcli::ToolLog log(dir / "full", 1 << 20, 1, warnings);
        log.install("banner");
        for (int i = 0; i < 3; ++i) log.error("lost");
    }
    text = warningsOf(warnings);
    EXPECT_EQ(1, std::count(text.begin(), text.end(), '\n')) << text;
    EXPECT_NE(std::string::npos, text.find("No space left")) << text;
    std::fclose(warnings);
}
