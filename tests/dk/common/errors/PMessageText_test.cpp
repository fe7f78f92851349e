// tests/dk/common/errors/PMessageText_test.cpp
//
// Message texts from real catalogues compiled with gencat: the library's own catalogue, the
// fallback texts when a file or a number is missing, the cut and line-end rules, the lookup order
// (NLSPATH, then beside the installed library) in child processes, and concurrent first use.
// dk-threaded-suite

#include <dk/DKEnvironment.hpp>
#include <dk/PDynamicLoader.hpp>
#include <dk/PMessageText.hpp>

#include "dkTestSupport.hpp"
#include "dkTestThreads.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Compiles a catalogue from message lines ("<n> <quoted text>") into path; true on success.
bool makeCatalog(const fs::path& path, const std::string& lines) {
    fs::create_directories(path.parent_path());
    const fs::path source = path.string() + ".msg";
    dktest::writeFile(source, "$quote \"\n$set 1\n" + lines);
    return std::system(("gencat '" + path.string() + "' '" + source.string() + "'").c_str()) == 0;
}

const char* env(const char* name) { return std::getenv(name) ? std::getenv(name) : ""; }

const DKString k341("The operation is not supported by this base class: ");

}  // namespace

TEST(PMessageTextCatalog, EveryNumberTheLibraryUsesHasItsOwnLine) {
    for (int n : {300, 301, 302, 303, 306, 309, 310, 341, 358, 360, 362, 370, 376, 377, 378, 379, 380, 381, 382, 383,
                  392, 400, 416, 417, 418, 419, 420, 422, 428, 433, 459, 464, 474, 482, 486, 541, 542, 552, 553, 554,
                  700, 701, 702, 703, 705}) {
        const std::string s = PClsEnv::portalMsg(n).str();
        EXPECT_GT(s.size(), 10u) << n;
        for (const char* wrong : {"[ID =", "load error", "\r", "\n"}) EXPECT_EQ(std::string::npos, s.find(wrong)) << s;
    }
    EXPECT_EQ(k341, PClsEnv::portalMsg(341));   // its trailing blank survives gencat
    // A number outside the catalogue gets the text of 300 and names the number asked for.
    EXPECT_EQ(PClsEnv::portalMsg(300) + " [ID = 9600]", PClsEnv::portalMsg(9600));
    EXPECT_STREQ(k341.c_str(), static_cast<const char*>(PMessageText(341, dkMessageFile, 300)));
    // No console code page to convert to; the number is process-wide: one thread sets, another reads.
    std::thread([] { DKEnvironment::setSubSystem(1); }).join();
    EXPECT_EQ(1, DKEnvironment::getSubSystem());
    EXPECT_EQ(k341, PClsEnv::portalMsg(341));
    DKEnvironment::setSubSystem(0);
}

TEST(PMessageTextFallbacks, MissingFilesNumbersAndTheCutRules) {
    EXPECT_EQ(DKString("Message file  load error. [MessageNumber = 5]"), PMessageText(5, nullptr, 300).text());
    dktest::TempDir dir;
    const std::string missing = (dir / "absent.cat").string(), garbage = (dir / "garbage.cat").string();
    EXPECT_EQ(DKString("Message file " + missing + " load error. [MessageNumber = 7, system error RC = " +
                       std::to_string(ENOENT) + "]"),
              PMessageText(7, missing.c_str(), 300).text());
    // A file that is not a catalogue fails to load with the system's reason.
    dktest::writeFile(garbage, "this is not a message catalogue\n");
    const std::string g = PMessageText(8, garbage.c_str(), 300).text().str();
    EXPECT_EQ(0u, g.rfind("Message file " + garbage + " load error. [MessageNumber = 8, system error RC = ", 0));
    EXPECT_EQ(std::string::npos, g.find("RC = 0]"));

    // Texts are cut at 512 bytes and lose their line ends at the end only.
    const fs::path cat = dir / "own.cat";
    const std::string x700(700, 'x'), y511(511, 'y');
    ASSERT_TRUE(makeCatalog(cat, "1 \"ends with a line end\\r\\n\"\n2 \"" + x700 + "\"\n3 \"two line ends\\n\\n\"\n"
                                 "4 \"inner\\r\\nkept\"\n5 \"" + y511 + "\\n\"\n6 \"trailing blanks  \"\n"));
    const std::string rows[] = {"ends with a line end", std::string(512, 'x'), "two line ends", "inner\r\nkept", y511,
                                "trailing blanks  "};
    for (long n = 1; n <= 6; ++n) EXPECT_EQ(DKString(rows[n - 1]), PMessageText(n, cat.c_str(), 300).text()) << n;
    // The alternate's text is cut the same way before the number is added; neither: not found.
    EXPECT_EQ(DKString(std::string(512, 'x') + " [ID = 77]"), PMessageText(77, cat.c_str(), 2).text());
    const DKString notFound("Message text not found. [MessageNumber = 9, system error RC = " + std::to_string(ENOMSG) +
                            "]");
    EXPECT_EQ(notFound, PMessageText(9, cat.c_str(), 8).text());
    EXPECT_EQ(notFound, PMessageText(9, cat.c_str(), -1).text());
}

TEST(PMessageTextThreads, ConcurrentFirstUseOfACatalogueGivesEveryThreadItsText) {
    dktest::TempDir dir;
    const fs::path cat = dir / "shared.cat";
    std::string lines;
    for (int n = 1; n <= 50; ++n) lines += std::to_string(n) + " \"text " + std::to_string(n) + "\"\n";
    ASSERT_TRUE(makeCatalog(cat, lines));
    std::vector<int> wrong(8, 0);
    dktest::onThreads(8, [&](int t) {
        for (int i = 0; i < 300; ++i) {
            const int n = 1 + (i * 7 + t) % 50;
            if (PMessageText(n, cat.c_str(), 300).text() != DKString("text " + std::to_string(n))) ++wrong[t];
            if (PClsEnv::portalMsg(341) != k341) ++wrong[t];
        }
    });
    for (int t = 0; t < 8; ++t) EXPECT_EQ(0, wrong[t]) << "thread " << t;
}

// Lookup order, each in a fresh process because a catalogue stays open once found.
TEST(PMessageTextLookup, NlspathComesFirstThenTheFolderBesideTheLibrary) {
    dktest::TempDir dir;
    const std::string child = "PMessageTextChild.DISABLED_Text303";
    std::string out;
    ASSERT_TRUE(makeCatalog(dir / "nls" / dkMessageFile, "303 \"found through NLSPATH\"\n"));
    EXPECT_TRUE(dktest::childPasses(child, {"NLSPATH=" + dir.str() + "/nls/%N", "DKTEST_EXPECT=found through NLSPATH"}, out))
        << out;
    // An installed layout: the library in <prefix>/<libdir>, its catalogue in <prefix>/<datadir>/dk,
    // as the build is configured. An NLSPATH that finds nothing falls through to it. The library
    // alone, without its data folder, finds nothing: it holds no path of the build tree.
    const fs::path lib = dir / "prefix" / DK_TEST_INSTALL_LIBDIR, bare = dir / "bare" / "lib";
    for (const fs::path& to : {lib, bare}) {
        fs::create_directories(to);
        fs::copy_file(fs::path(PDynamicLoader::libraryFolder().str()) / "libdkcommon.so.1", to / "libdkcommon.so.1");
    }
    ASSERT_TRUE(makeCatalog(dir / "prefix" / DK_TEST_INSTALL_DATADIR / "dk" / dkMessageFile,
                            "303 \"found beside the library\"\n"));
    for (const std::string& nlspath : {std::string(), dir.str() + "/empty/%N"}) {
        EXPECT_TRUE(dktest::childPasses(child, {"LD_LIBRARY_PATH=" + lib.string(), "NLSPATH=" + nlspath,
                                                "DKTEST_EXPECT=found beside the library",
                                                "DKTEST_EXPECT_FOLDER=" + fs::canonical(lib).string()}, out))
            << out;
    }
    EXPECT_TRUE(dktest::childPasses(child, {"LD_LIBRARY_PATH=" + bare.string(), "NLSPATH=",
                                            "DKTEST_EXPECT=Message file vtxmsg8171d.cat load error. "
                                            "[MessageNumber = 303, system error RC = 2]"}, out))
        << out;
}

// Run only as a child of the test above.
TEST(PMessageTextChild, DISABLED_Text303) {
    if (*env("DKTEST_EXPECT_FOLDER")) {
        EXPECT_EQ(DKString(env("DKTEST_EXPECT_FOLDER")), PDynamicLoader::libraryFolder());
    }
    EXPECT_EQ(DKString(env("DKTEST_EXPECT")), PClsEnv::portalMsg(303));
}
