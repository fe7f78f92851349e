// tests/dk/common/errors/DKLogMessageInserts_test.cpp
//
// Insert lists and the substitution of message templates, including its odd corners, and many
// threads building messages while another thread rewrites a shared list (dk-threaded-suite).

#include <dk/DKException.hpp>
#include <dk/DKLogMessageInserts.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

DKLogMessageInserts listOf(std::initializer_list<const char*> texts) {
    DKLogMessageInserts l;
    for (const char* t : texts) l.insert(t);
    return l;
}

}  // namespace

TEST(DKLogMessageInsertsList, NumberingCopiesAndClear) {
    DKLogMessageInserts l = listOf({"A", nullptr}), assigned;
    l.insert(DKString("B"));
    l.addFirst("reporter");   // addFirst never moves the count
    EXPECT_EQ(4, l.size());
    EXPECT_EQ("reporter|B|", (l.get(0) + "|" + l.get(3) + "|" + l.get(-1)).str());
    // More inserts than buckets: every one stays reachable by its number.
    for (int i = 4; i < 40; ++i) l.insert(DKString(i));
    for (int i = 4; i < 40; ++i) EXPECT_EQ(DKString(i), l.get(i)) << i;
    DKLogMessageInserts copy(l);
    assigned = l;
    l.clear();
    l.addFirst(DKString("other"));
    EXPECT_EQ("1||40|reporter", std::to_string(l.size()) + "|" + l.get(1).str() + "|" + std::to_string(copy.size()) + "|" +
                                    copy.get(0).str());
    dktest::assignToItself(assigned);
    EXPECT_EQ(DKString("39"), assigned.get(39));
}

// Placeholders past the end, numbers too large for any integer, the stop mark "##", and the
// inserts a template leaves out, kept as additional information.
TEST(DKLogMessageInsertsSubstitution, PlaceholdersAndQuirks) {
    const DKLogMessageInserts none, a = listOf({"A"}), ab = listOf({"A", "B"}), a2 = listOf({"A", "2"});
    DKLogMessageInserts renamed;
    renamed.addFirst("DKAny");
    const struct { const char* templ; const DKLogMessageInserts& inserts; const char* text; } rows[] = {
        {"Item %1 not found in %2", ab, "Item A not found in B "},
        {"Item %1 not found in %2", a, "Item A not found in  "},   // one past the last adds nothing
        {"x %9", a, "x   "},                                        // further past: one blank, A lost
        {"%99999999999999999999999999 ", a, "   "}, {"%01%02", a2, "A%2 "}, {"in %0", renamed, "in DKAny "},
        {"Use %1", ab, "Use A  [ADDITONAL INFO]: B"}, {"Done ## rest %1", ab, "Done  [ADDITONAL INFO]: A B"},
        {"Done##", none, "Done"}, {"%1%2", ab, "A%B "},   // the '%' ending a number is kept
        {"#%x", ab, "#programx  [ADDITONAL INFO]: A B"},   // no digits: insert 0
        {"%1##tail", a, "A"}, {"%1#x", a, "A#x "}, {"50%", none, "50 "}, {"%%", none, "% "}, {"a#b #", none, "a#b # "},
        {"", none, " "}, {nullptr, none, " "}};
    for (const auto& r : rows) {
        DKException e(r.templ, 1, DKSeverityError, 0, "", r.inserts);
        EXPECT_STREQ(r.text, e.what()) << (r.templ ? r.templ : "<null>");
    }
    DKException stopped("##", 1, DKSeverityError, 0, "", none);   // no text at all
    EXPECT_TRUE(stopped.textCount() == 0 && std::string(stopped.what()).empty());
}

// Several threads build messages from one shared list while another keeps clearing and
// refilling it. The results vary, but nothing may deadlock, crash or race, and every message
// is one of the shapes the list can take.
TEST(DKLogMessageInsertsThreads, BuildersAndAWriterShareOneList) {
    DKLogMessageInserts shared = listOf({"A", "B"});
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            const DKLogMessageInserts own = listOf({"x"});
            do {
                DKException mine("own %1", 2, DKSeverityError, 0, "", own);
                DKException e("got %1 and %2", 3, DKSeverityError, 0, "", shared);
                if (std::string(mine.what()) != "own x " || std::string(e.what()).rfind("got ", 0) != 0) ++bad;
            } while (!stop);
        });
    }
    for (int round = 0; round < 2000; ++round) {
        shared.clear();
        shared.insert("A");
        shared.insert("B");
        shared.addFirst(round % 2 ? "odd" : "even");
        DKLogMessageInserts copy(shared);
        copy.insert("C");
    }
    stop = true;
    for (auto& b : threads) b.join();
    EXPECT_EQ(0, bad.load());
    EXPECT_EQ(3, shared.size());
}
