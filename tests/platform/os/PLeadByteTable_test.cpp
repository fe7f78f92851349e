// tests/platform/os/PLeadByteTable_test.cpp
//
// The lead-byte table per LC_CTYPE: none in single-byte and UTF-8 locales, exactly the GBK lead
// bytes in a GBK locale (made with localedef into a private LOCPATH and tested in a child process,
// since the locale is set for the whole child), and threads that switch locales while others read
// never see a table half built.
// dk-threaded-suite

#include <dk/PLeadByteTable.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <locale.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

using dktest::childPasses;

// Uses a locale on the calling thread only, for as long as the object lives: the named one, or
// (for a null name) a copy of the process locale.
struct ThreadLocale {
    const locale_t loc, previous;
    explicit ThreadLocale(const char* name)
        : loc(name ? newlocale(LC_CTYPE_MASK, name, locale_t{}) : duplocale(LC_GLOBAL_LOCALE)),
          previous(loc ? uselocale(loc) : locale_t{}) {}
    ~ThreadLocale() {
        if (!loc) return;
        uselocale(previous);
        freelocale(loc);
    }
};

int leadByteCount(const PLeadByteTable& t) {
    int n = 0;
    for (int b = 0; b < 256; ++b) n += t.isLeadByte(static_cast<unsigned char>(b));
    return n;
}

}  // namespace

TEST(PLeadByteTableSingleByte, CAndUtf8LocalesHaveNoLeadBytes) {
    for (const char* name : {"C", "C.UTF-8"}) {
        ThreadLocale use(name);
        ASSERT_TRUE(use.loc) << name;
        const PLeadByteTable& t = PLeadByteTable::refresh();
        EXPECT_EQ(0, t.hasLeadBytes() + leadByteCount(t)) << name;
        EXPECT_EQ(&t, &PLeadByteTable::current()) << "refresh publishes the caller's table";
        EXPECT_EQ(&t, &PLeadByteTable::refresh()) << "one table per locale name";
    }
}

TEST(PLeadByteTableGbk, LeadBytesOfAGbkLocaleInAChildProcess) {
    const dktest::BuiltLocale& gbk = dktest::buildLocale("zh_CN.GBK");
    if (gbk.toolMissing) GTEST_SKIP() << "localedef is not installed, so no GBK locale can be made";
    ASSERT_FALSE(gbk.locpath.empty()) << gbk.why;
    std::string out;
    EXPECT_TRUE(childPasses("PLeadByteTableChild.DISABLED_GbkProcess", {"LOCPATH=" + gbk.locpath.string()}, out)) << out;
}

// Run only as a child of the test above, with LOCPATH naming the folder that holds zh_CN.GBK.
TEST(PLeadByteTableChild, DISABLED_GbkProcess) {
    ASSERT_NE(nullptr, setlocale(LC_CTYPE, "zh_CN.GBK"));

    // The process locale, read before any thread starts.
    const PLeadByteTable& gbk = PLeadByteTable::refresh();
    EXPECT_EQ("zh_CN.GBK 1", std::string(gbk.localeName()) + " " + std::to_string(gbk.hasLeadBytes()));
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(b >= 0x81 && b <= 0xFE ? 1 : 0, gbk.isLeadByte(static_cast<unsigned char>(b))) << b;
    // 0x81 is negative where char is signed.
    EXPECT_EQ((std::vector<int>{1, 1, 0, 0}), (std::vector<int>{isdbcs('\x81'), isdbcs('\xFE'), isdbcs('\xFF'), isdbcs('a')}));

    // Threads switch between GBK and C on their own while readers use the published table.
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> switchers;
    for (int t = 0; t < 6; ++t) {
        switchers.emplace_back([&, t] {
            // GBK threads copy the process locale: newlocale with LOCPATH leaks in the C library.
            ThreadLocale use(t % 2 ? "C" : nullptr);
            if (!use.loc) ++wrong;
            const int expected = t % 2 ? 0 : 1;
            for (int i = 0; i < 300; ++i) {
                const PLeadByteTable& mine = PLeadByteTable::refresh();
                if (mine.hasLeadBytes() != expected || leadByteCount(mine) != (expected ? 126 : 0)) ++wrong;
                if (expected && &mine != &gbk) ++wrong;   // built once per name, never again
            }
        });
    }
    std::vector<std::thread> readers;
    for (int t = 0; t < 2; ++t) {
        readers.emplace_back([&] {
            while (!stop.load()) {
                const PLeadByteTable& seen = PLeadByteTable::current();
                if (leadByteCount(seen) != (seen.hasLeadBytes() ? 126 : 0)) ++wrong;   // half-built or mixed
                if (static_cast<unsigned>(isdbcs('\x81')) > 1) ++wrong;
            }
        });
    }
    for (auto& t : switchers) t.join();
    stop.store(true);
    for (auto& t : readers) t.join();
    EXPECT_EQ(0, wrong.load());

    // Back on this thread, the process locale decides again.
    EXPECT_EQ(&gbk, &PLeadByteTable::refresh());
    EXPECT_EQ(1, isdbcs('\x81'));
}
