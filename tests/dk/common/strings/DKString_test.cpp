// tests/dk/common/strings/DKString_test.cpp
//
// dk-threaded-suite: the storage cases below free strings on threads other than their makers'.

#include <dk/DKString.hpp>

#include "platform/os/PStringManager.hpp"

#include "dkTestSupport.hpp"
#include "dkTestThreads.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cstdio>
#include <atomic>
#include <cstring>
#include <future>
#include <sstream>
#include <thread>
#include <vector>

namespace {

const char* const kLong = "a text long enough to leave the object for a shared buffer";

std::string bytes(const DKString& s) {
    return std::string(s.c_str(), s.length());
}

}  // namespace

TEST(DKStringConstruction, NumbersNullsAndZeroBytes) {
    char dmax[400];
    std::snprintf(dmax, sizeof dmax, "%f", DBL_MAX);
    DKString z("a\0b\0", 4), s("ab");
    s += '\0';   // the character 0 adds nothing
    const std::pair<DKString, std::string> made[] = {
        {DKString(3000000000u), "3000000000"}, {DKString(INT_MIN), "-2147483648"},
        {DKString(LONG_MIN), "-9223372036854775808"}, {DKString(ULONG_MAX), "18446744073709551615"},
        {DKString(static_cast<unsigned short>(65535)), "65535"}, {DKString(-0.0000005001), "-0.000001"},
        {DKString(DBL_MAX), dmax}, {DKString(static_cast<size_t>(7)), "7"}, {DKString('\0'), ""},
        {DKString(static_cast<const char*>(nullptr)), ""}, {DKString(nullptr, 5), ""}, {s + '\0', "ab"},
        {z + z, std::string("a\0b\0a\0b\0", 8)}};
    for (const auto& m : made) EXPECT_EQ(m.second, bytes(m.first));
    EXPECT_EQ('b', z[3]);
    EXPECT_EQ(41UL, DKString(std::string(40, '\0') + "x").indexOf('x'));
    // A zero byte ends the text for a zero-terminated peer, but not for a sized one.
    EXPECT_TRUE(z != "a" && z == std::string("a\0b\0", 4));
    std::ostringstream out;
    out << z << '|';
    EXPECT_EQ("a|", out.str());
    s = '\0';
    EXPECT_EQ(0UL, s.length());
}

TEST(DKStringPositions, OutOfRangeGivesTheDocumentedResult) {
    const DKString s("abcdef"), t("abcabc");
    const std::pair<DKString, std::string> cut[] = {
        {s.subString(5, 10), "ef"}, {s.subString(6, ULONG_MAX), "f"}, {s.subString(7, 1), ""},
        {DKString(s).remove(2, 3), "aef"}, {DKString(s).remove(5, 3), "abcdef"},
        {DKString(s).remove(2, ULONG_MAX), "abcdef"}, {DKString(s).remove(1, 6), ""},
        {DKString("abc").insert("X", 0), "Xabc"}, {DKString("abc").insert("X", 5), "abc  X"},
        {DKString("abc").leftJustify(5), "abc  "}, {DKString(s).leftJustify(2), "ab"},
        {DKString(kLong).leftJustify(100), std::string(kLong) + std::string(100 - std::strlen(kLong), ' ')}};
    for (const auto& c : cut) EXPECT_EQ(c.second, bytes(c.first));
    const std::pair<unsigned long, unsigned long> found[] = {
        {t.indexOf('c', 4), 6}, {t.indexOf('x'), 0}, {t.indexOf('a', 0), 1}, {t.indexOf("abc", 2), 4},
        {t.indexOf("abc", 5), 0}, {t.indexOf("", 3), 3}, {t.indexOf("", 7), 0}};
    for (const auto& f : found) EXPECT_EQ(f.second, f.first);
    EXPECT_TRUE(t[0] == '\0' && t[7] == '\0' && t[-1] == '\0');
}

TEST(DKStringText, CaseBlanksDigitsNumbersAndOrder) {
    DKString u("abz{`@AZ\xe9\xff");
    EXPECT_EQ("ABZ{`@AZ\xe9\xff", bytes(u.upperCase()));
    EXPECT_EQ("a b", bytes(DKString(" \t\r\n\v\fa b \n").strip()));
    EXPECT_EQ("", bytes(DKString(" \t ").strip()));
    EXPECT_EQ("\xa0x", bytes(DKString("\xa0x ").strip()));   // only the "C" locale's blanks
    EXPECT_EQ(1, DKString("").isDigits());
    EXPECT_EQ(0, DKString("1\0" "2", 3).isDigits() + DKString("12a").isDigits());
    // The value is atol's, so text beyond LONG_MAX stops there even as unsigned.
    const DKString huge("99999999999999999999999");
    EXPECT_EQ((std::vector<long>{42, 0, LONG_MAX}),
              (std::vector<long>{DKString(" 42x").asInt(), DKString("- 1").asInt(), huge.asInt()}));
    EXPECT_EQ(static_cast<unsigned long>(LONG_MAX), DKString(ULONG_MAX).asUnsigned());
    EXPECT_EQ(ULONG_MAX, DKString("-1").asUnsigned());
    EXPECT_TRUE(DKString("ab") < DKString("ab\0", 3));
    EXPECT_TRUE(DKString("\x7f") < DKString("\x80"));   // bytes order as unsigned
    EXPECT_FALSE(DKString("abc") == static_cast<const char*>(nullptr));
    EXPECT_TRUE(DKString() == static_cast<char*>(nullptr));
    // The everyday spellings pick the obvious overload.
    const DKString abc("abc");
    EXPECT_EQ("abca", (std::string{abc[1UL], abc[2L], abc[3u], abc[1LL]}));
    EXPECT_EQ("xabcq", bytes("x" + abc + std::string("q")));
    EXPECT_TRUE(DKString('c') == 'c' && abc != 'a' && abc == std::string("abc") && abc.str() == "abc");
    // += and = return the new value, not the target itself.
    DKString t("a");
    DKString r = (t += "b");
    r += "z";
    EXPECT_EQ("ab", bytes(t));
    EXPECT_EQ("new", bytes(t = std::string("new")));
}

TEST(DKStringStreams, InputHonoursWidthAndSetsNoState) {
    // Width - 1 characters are taken; reaching the end while taking characters sets nothing;
    // nothing left, or white space first with no skipping, leaves the target empty.
    const std::string big(1000, 'q');
    const struct { const char* in; int width; bool skip; int reads; std::string got; bool good; } rows[] = {
        {"  abcdef\tj", 4, true, 1, "abc", true}, {"  abcdef\tj", 4, true, 3, "j", true},
        {"  abcdef\tj", 4, true, 4, "", false}, {"xyz", 1, true, 1, "", true}, {"  ab", 0, false, 1, "", true},
        {nullptr, 0, true, 1, big, true}};
    for (const auto& r : rows) {
        std::istringstream in(r.in ? r.in : big + " tail");
        DKString s("old");
        in.width(r.width);
        if (!r.skip) in >> std::noskipws;
        for (int i = 0; i < r.reads; ++i) in >> s;
        EXPECT_EQ(r.got, bytes(s)) << (r.in ? r.in : "long");
        EXPECT_EQ(r.good, in.good()) << (r.in ? r.in : "long");
    }
}

TEST(DKStringSharing, CopiesNeverChangeEachOther) {
    for (const char* text : {"short", kLong}) {
        DKString original(text);
        DKString a(original), b(original), c(original), d(original), g(original), h(original);
        a += "!";
        b.upperCase();
        c.remove(1, 2);
        d.insert("X", 1);
        static_cast<char*>(g)[0] = 'Z';
        EXPECT_EQ('Z', g[1]);
        // A pointer handed out keeps writing to its own string only, even after later copies.
        char* hp = h;
        DKString later(h);
        hp[1] = '#';
        EXPECT_EQ(text, bytes(later));
        EXPECT_EQ(text, bytes(original));
    }
    // Long copies made on one thread share the characters; that is the point of the managers.
    DKString a(kLong), b(a);
    EXPECT_EQ(a.c_str(), b.c_str());
    EXPECT_EQ(a.c_str(), a.subString(1, a.length()).c_str());
}

TEST(DKStringSharing, OperationsOnThemselves) {
    for (const char* text : {"abc", kLong}) {
        std::string model = text;
        DKString s(text);
        s += s;
        s += s.c_str() + 1;
        s.insert(s, 2);
        s = s.c_str() + 3;
        dktest::assignToItself(s);
        model += model;
        model += model.substr(1);
        model.insert(2, model);
        model = model.substr(3);
        DKString m(std::move(s));
        s = std::move(m);
        EXPECT_EQ(model, bytes(s));
    }
    DKString g;   // growth by appends keeps every character
    std::string model;
    for (int i = 0; i < 5000; ++i) {
        model += static_cast<char>('a' + i % 26);
        g += model.back();
    }
    EXPECT_EQ(model, bytes(g));
}

namespace {

// Runs f on a new thread that uses the string manager m (threads take managers round robin, so
// at most kCount threads are started to find one).
template <class F>
void onManager(PStringManager* m, F f) {
    for (int i = 0; i < 2 * PStringManager::kCount; ++i) {
        bool ran = false;
        std::thread([&] {
            if (PStringManager::current() != m) return;
            f();
            ran = true;
        }).join();
        if (ran) return;
    }
    FAIL() << "no thread took manager " << m->index();
}

DKString numbered(int i) { return DKString(kLong) + DKString(i); }

std::vector<DKString> numbered(int from, int to) {
    std::vector<DKString> v;
    for (int i = from; i < to; ++i) v.push_back(numbered(i));
    return v;
}

}  // namespace

TEST(DKStringStorage, ThreadsTakeManagersRoundRobinAndCopyAcrossThem) {
    std::vector<int> picked;   // threads started one after another take consecutive managers
    for (int i = 0; i < PStringManager::kCount + 2; ++i) {
        std::thread([&] {
            const DKString s(kLong);   // the thread's first buffer picks its manager
            picked.push_back(PStringManager::current()->index());
        }).join();
    }
    for (size_t i = 1; i < picked.size(); ++i) EXPECT_EQ((picked[i - 1] + 1) % PStringManager::kCount, picked[i]) << i;
    // A copy made on a thread of another manager gets its own characters.
    const DKString here(kLong);
    PStringManager* mine = PStringManager::current();
    std::thread([&] {
        const DKString there(here);
        EXPECT_EQ(PStringManager::current() == mine, here.c_str() == there.c_str());
        EXPECT_EQ(here, there);
    }).join();
}

TEST(DKStringStorage, StringsFreedOnOtherThreadsReturnToTheirManagers) {
    // More threads than managers, so managers are shared; every thread makes strings, the next
    // one keeps copies of them and frees the originals.
    constexpr int kThreads = PStringManager::kCount + 8, kStrings = 200;
    const long before = PStringManager::totalLiveBlocks();
    std::vector<std::vector<DKString>> made(kThreads);
    dktest::onThreads(kThreads, [&](int t) {
        const std::vector<DKString> mine = numbered(0, kStrings);
        made[t] = mine;   // copies that share the buffers; the originals die with the thread
    });
    dktest::onThreads(kThreads, [&](int t) {
        std::vector<DKString> taken;
        taken.swap(made[(t + 1) % kThreads]);
        std::vector<DKString> copies(taken.begin(), taken.end());
        taken.clear();
        for (int i = 0; i < kStrings; ++i) EXPECT_EQ(numbered(i), copies[i]);
        copies[0].upperCase();
    });
    EXPECT_EQ(before, PStringManager::totalLiveBlocks());
}

// ---------------------------------------------------------------------------------------------
// Hand-over between threads: the building thread counts its copies without atomics, every other
// thread atomically, and a buffer whose last reference dies away from its builder goes back to
// the builder.

TEST(DKStringHandOver, BuffersDroppedElsewhereGoBackWhileTheBuilderLives) {
    std::promise<std::vector<DKString>> handed;
    std::promise<void> dropped;
    std::thread builder([&] {
        const long before = PStringManager::totalLiveBlocks();
        std::vector<DKString> v = numbered(0, 100);
        handed.set_value(v);   // copies: two references each, both the builder's
        dropped.get_future().wait();
        v.clear();
        DKString fresh(kLong);   // the next new buffer takes back what the other thread let go of
        EXPECT_EQ(before + 1, PStringManager::totalLiveBlocks());
    });
    {
        // Read and dropped here without making a buffer of this thread's own, so that the
        // blocks counted on the builder are the builder's alone.
        const std::vector<DKString> taken = handed.get_future().get();
        for (int i = 0; i < 100; ++i) EXPECT_EQ(std::string(kLong) + std::to_string(i), bytes(taken[i]));
    }
    dropped.set_value();
    builder.join();
}

TEST(DKStringHandOver, CountsOfBothKindsMeetWhicheverThreadEndsFirst) {
    const long before = PStringManager::totalLiveBlocks();
    std::vector<DKString> kept;
    std::thread([&] {
        const std::vector<DKString> v = numbered(0, 200);
        // A thread of the same manager shares the builder's buffers, counting atomically, and
        // keeps a quarter of them past the builder's end.
        onManager(PStringManager::current(), [&] {
            const std::vector<DKString> shares(v.begin(), v.end());
            for (int i = 0; i < 200; ++i) EXPECT_EQ(v[i].c_str(), shares[i].c_str()) << "shared, not copied";
            kept.assign(shares.begin(), shares.begin() + 50);
        });
        for (int round = 0; round < 3; ++round) {
            std::vector<DKString> again(v.begin(), v.end());
            again[round] += "!";
            EXPECT_EQ(numbered(round), v[round]);
        }
    }).join();
    for (int i = 0; i < 50; ++i) EXPECT_EQ(numbered(i), kept[i]);
    kept.clear();
    EXPECT_EQ(before, PStringManager::totalLiveBlocks());
}

TEST(DKStringHandOver, BuilderAndAnotherThreadCountTheSameBuffersAtOnce) {
    const long before = PStringManager::totalLiveBlocks();
    std::atomic<PStringManager*> m{nullptr};
    std::atomic<bool> go{false};
    std::vector<DKString> handed;
    std::thread builder([&] {
        const DKString s(kLong);
        handed.assign(1000, s);
        m = PStringManager::current();
        while (!go) std::this_thread::yield();
        // Copies and drops on the builder while the other thread drops the handed references.
        for (int i = 0; i < 20000; ++i) {
            DKString t(s);
            EXPECT_EQ(std::strlen(kLong) + 1, DKString(t += "x").length());
        }
        EXPECT_EQ(kLong, bytes(s));
    });
    while (m == nullptr) std::this_thread::yield();
    onManager(m.load(), [&] {
        std::vector<DKString> mine;
        mine.swap(handed);
        go = true;
        for (int round = 0; round < 20; ++round) {
            // Shares of up to 500 of the references left, then 45 of them dropped: 100 remain.
            std::vector<DKString> shares(mine.begin(), mine.begin() + std::min<size_t>(500, mine.size()));
            mine.erase(mine.begin(), mine.begin() + 45);
        }
        for (const DKString& s : mine) EXPECT_EQ(kLong, bytes(s));
    });
    builder.join();
    EXPECT_EQ(before, PStringManager::totalLiveBlocks());
}

TEST(DKStringHandOver, AStringMovedToAnotherThreadGrowsThereInPlace) {
    const DKString original(kLong);
    DKString moved(original);
    std::thread([&] {
        DKString s(std::move(moved));
        s += "a";   // the builder may still count the buffer: the first write copies it
        EXPECT_NE(original.c_str(), s.c_str());
        const char* own = s.c_str();
        for (int i = 0; i < 10; ++i) s += "b";   // now this thread's buffer, with room to grow
        EXPECT_EQ(own, s.c_str());
        EXPECT_EQ(std::string(kLong) + "a" + std::string(10, 'b'), bytes(s));
    }).join();
    EXPECT_EQ(kLong, bytes(original));
}

namespace {

// A thread-local string made before the thread's first buffer is destroyed after the thread's
// counting has closed; a string made in a later thread-exit step is born counted atomically.
thread_local DKString tLate;

struct MadeAtExit {
    ~MadeAtExit() {
        DKString s(kLong), t(s);
        EXPECT_EQ(std::string(kLong) + "!", bytes(t += "!"));
    }
};
thread_local MadeAtExit tMadeAtExit;

}  // namespace

TEST(DKStringHandOver, ThreadExitInAnyOrderFreesEverything) {
    const long before = PStringManager::totalLiveBlocks();
    DKString keep;
    std::thread([&] {
        (void)&tMadeAtExit;   // registered first, destroyed last
        tLate = DKString();    // registered before the thread's first buffer
        tLate = kLong;
        keep = tLate;
        tLate += "x";
    }).join();
    EXPECT_EQ(kLong, bytes(keep));
    keep = DKString();
    EXPECT_EQ(before, PStringManager::totalLiveBlocks());
}
