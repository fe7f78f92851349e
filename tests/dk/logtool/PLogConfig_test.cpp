// tests/dk/logtool/PLogConfig_test.cpp
//
// The reader of the log configuration on its own: how lines are cut and matched and what each
// key's value means, including the values that must change nothing.

#include "dk/logtool/PLogConfig.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
plogconfig::Settings parse(const std::string& text) { return plogconfig::parse(text.data(), text.size()); }
}  // namespace

TEST(PLogConfigLines, KeysMatchExactlyAfterStripping) {
    auto s = parse("\n   \n# DKLogPriority=DEBUG\n  DKLogPriority \t=  TRACE_ENTRY_EXIT \r\ndklogpriority=DEBUG\n"
                   "DKLogPriority\nDKLogPriority==INFO\nDKLogOutputFileName = a=b \n");
    ASSERT_TRUE(s.hasPriority);
    EXPECT_EQ(DKLogPriority_default::TRACE_ENTRY_EXIT_INT, s.priority);
    EXPECT_STREQ("TRACE_ENTRY_EXIT", s.priorityName);
    EXPECT_EQ("a=b", s.fileName) << "only the first '=' separates";

    // Later lines override earlier ones; an empty value changes nothing.
    s = parse("DKLogPriority=INFO\nDKLogPriority=DEBUG\nDKLogPriority=\nDKLogPriority=Trace");
    EXPECT_EQ(DKLogPriority_default::DEBUG_INT, s.priority);
}

TEST(PLogConfigValues, EachKeyKeepsItsRules) {
    // output (when set), perf threshold (when set), suppression off, files saved
    auto s = parse("DKLogOutputSetting=4\nPERF_LOG_THRESHOLD=-1\nMAX_EXCEPTION_COUNT=off\nDKLogOutputFileSave=0\n");
    using L = std::vector<long>;
    EXPECT_EQ((L{0, 0, 0, 1}), (L{s.hasOutput, s.hasPerfThreshold, s.suppressionOff, s.saved}));
    s = parse("DKLogOutputSetting= 2x\nPERF_LOG_THRESHOLD=0\nMAX_EXCEPTION_COUNT=OFF\nDKLogOutputFileSave=7\n");
    EXPECT_EQ((L{1, 2, 1, 0, 1, 7}),
              (L{s.hasOutput, s.output, s.hasPerfThreshold, s.perfThreshold, s.suppressionOff, s.saved}));

    const std::pair<const char*, std::uint64_t> sizes[] = {{"0", 0}, {"3", 3u << 20}, {"lots", 5u << 20}, {"00", 5u << 20},
                                                           {"-2", 5u << 20}, {"99999999999999999999", UINT64_MAX}};
    for (auto& c : sizes) EXPECT_EQ(c.second, parse(std::string("DKLogOutputFileSize=") + c.first).sizeLimit) << c.first;
    const std::pair<const char*, int> delays[] = {{"0", 0}, {"50", 50}, {"soon", 300000}, {"-5", -5}};
    for (auto& c : delays) EXPECT_EQ(c.second, parse(std::string("DKLogConfigWatcherDelay=") + c.first).watcherDelay) << c.first;
}

TEST(PLogConfigValues, FileNameExpansionAndFolders) {
    EXPECT_EQ("/home/u/logs/joe.log", plogconfig::expandFileName("${user.home}\\logs\\${user.name}.log", "joe", "/home/u"));
    EXPECT_EQ("joe-${user.name}.log", plogconfig::expandFileName("${user.name}-${user.name}.log", "joe", "/h"))
        << "only the first of each is replaced";
    EXPECT_EQ("/logs/x|C:/root/|/opt/root/", plogconfig::expandFileName("${user.home}/logs/x", "joe", "") + "|" +
                                                 plogconfig::withSeparator("C:\\root\\") + "|" +
                                                 plogconfig::withSeparator("/opt/root"));

    const std::string toolkit = "#NVLVTWorkingDirectory=/wrong\nNVLVTWorkingDirectory=\n NVLVTWorkingDirectory = /w \n"
                                "NVLVTWorkingDirectory=/later\n";
    std::size_t pos = 0;
    auto next = [&] { return pos < toolkit.size() ? static_cast<unsigned char>(toolkit[pos++]) : EOF; };
    EXPECT_EQ("/w", plogconfig::findValue(next, "NVLVTWorkingDirectory"));
}
