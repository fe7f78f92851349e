// tests/dk/common/strings/DKStringFastPath_test.cpp
// dk-threaded-suite: copies returned by += are held and dropped on other threads.
//
// The copy += returns when it appends in place: it must stay the value of that moment while the
// original grows on, is changed through char*, or is shared with and appended on other threads.

#include <dk/DKString.hpp>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

static const std::string kLong(100, 'a');   // beyond the object's own room

TEST(DKStringFastPath, ReturnedCopiesKeepTheirValueWhileTheOriginalGrows) {
    DKString s(kLong.c_str());
    std::vector<DKString> copies;
    std::string expected = kLong;
    for (int i = 0; i < 300; ++i) {   // in place and through regrowths
        copies.push_back(s += static_cast<char>('b' + i % 20));
        expected += static_cast<char>('b' + i % 20);
    }
    DKString doubled = s += s;   // the text appended lies in the string's own buffer
    EXPECT_EQ(expected + expected, doubled.str());
    for (std::size_t i = 0; i < copies.size(); ++i) {
        ASSERT_EQ(kLong.size() + i + 1, std::strlen(copies[i].c_str()));   // still zero-terminated
        EXPECT_EQ(expected.substr(0, kLong.size() + i + 1), copies[i].str());
    }
    copies.back().upperCase();
    EXPECT_EQ(expected + expected, s.str());
}

TEST(DKStringFastPath, APinnedBufferIsNeverSharedByTheReturnedCopy) {
    DKString s(kLong.c_str());
    s += 'x';
    char* raw = s;   // handed out: writes through it change s alone
    DKString copy = s += 'y';
    raw[0] = 'Z';
    EXPECT_EQ(kLong + "xy", copy.str());
    EXPECT_EQ('Z', s[1]);
}

TEST(DKStringFastPath, CopiesHeldOrAppendedOnOtherThreadsStayApart) {
    for (int round = 0; round < 50; ++round) {
        DKString s(kLong.c_str());
        DKString held = s += '1';
        DKString seen;
        std::thread other([&] {
            DKString mine = held;   // counted on this thread while the builder appends on
            DKString grown = mine += '2';
            seen = grown;
        });
        DKString after = s += '3';
        other.join();
        EXPECT_EQ(kLong + "1", held.str());
        EXPECT_EQ(kLong + "12", seen.str());
        EXPECT_EQ(kLong + "13", after.str());
        std::thread([moved = std::move(s)]() mutable {   // appended on a thread that did not build it
            DKString r = moved += '4';
            EXPECT_EQ(kLong + "134", r.str());
        }).join();
    }
}

TEST(DKStringFastPath, BuffersOfEverySizeClassHoldTheirTextAndGrowAcrossClasses) {
    // Lengths at and beside the class edges (16-byte steps up to 264 bytes with the header, then
    // powers of two up to 64 KiB, then the system's blocks), built whole and grown one byte at a time.
    std::string grown;
    DKString built;
    for (size_t len : {16, 23, 24, 25, 39, 40, 71, 72, 231, 232, 233, 479, 480, 481, 65503, 65504, 65505, 70000}) {
        const std::string text(len, static_cast<char>('a' + len % 26));
        DKString whole(text.c_str()), copy(whole);
        EXPECT_EQ(text, whole.str());
        EXPECT_TRUE(copy == whole);
        while (grown.size() < len) {
            const char c = static_cast<char>('A' + grown.size() % 26);
            grown += c;
            built += c;
        }
        EXPECT_EQ(grown, built.str()) << len;
    }
}
