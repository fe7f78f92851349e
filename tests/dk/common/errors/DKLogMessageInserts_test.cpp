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

// What an exception makes of a template and inserts (no server information).
std::string messageOf(const char* templ, const DKLogMessageInserts& inserts) {
    DKException e(templ, 1, DKSeverityError, 0, "", inserts);
    const char* t = e.text(0);
    return t ? t : "<no text>";
}

}  // namespace

TEST(DKLogMessageInsertsList, NumberingReplacementAndClear) {
    DKLogMessageInserts l;
    EXPECT_EQ(1, l.size());
    EXPECT_EQ(DKString("program"), l.get(0));
    EXPECT_EQ(DKString(""), l.get(1));
    EXPECT_EQ(DKString(""), l.get(-1));

    l.insert("A");
    l.insert(DKString("B"));
    l.insert(static_cast<const char*>(nullptr));
    EXPECT_EQ(4, l.size());
    EXPECT_EQ(DKString("B"), l.get(2));

    l.addFirst("reporter");
    EXPECT_EQ(4, l.size());   // addFirst never moves the count
    EXPECT_EQ(DKString("reporter"), l.get(0));

    // More inserts than buckets: every one stays reachable by its number.
    for (int i = 4; i < 40; ++i) l.insert(DKString(i));
    EXPECT_EQ(40, l.size());
    for (int i = 4; i < 40; ++i) EXPECT_EQ(DKString(i), l.get(i)) << i;

    l.clear();
    EXPECT_EQ(1, l.size());
    EXPECT_EQ(DKString("program"), l.get(0));
    EXPECT_EQ(DKString(""), l.get(1));
}

TEST(DKLogMessageInsertsList, CopiesAreIndependentAndTheSharedListStaysEmpty) {
    DKLogMessageInserts a = listOf({"A", "B"});
    DKLogMessageInserts b(a);
    a.insert("C");
    a.addFirst("other");
    EXPECT_EQ(3, b.size());
    EXPECT_EQ(DKString("program"), b.get(0));
    EXPECT_EQ(DKString(""), b.get(3));

    DKLogMessageInserts c;
    c = a;
    a.clear();
    EXPECT_EQ(4, c.size());
    EXPECT_EQ(DKString("C"), c.get(3));
    dktest::assignToItself(c);

    EXPECT_EQ(&DKLogMessageInserts::emptyList(), &DKLogMessageInserts::emptyList());
}

TEST(DKLogMessageInsertsSubstitution, PlaceholdersAndMissingInserts) {
    EXPECT_EQ("Item A not found in B ", messageOf("Item %1 not found in %2", listOf({"A", "B"})));
    // Insert 2 is exactly one past the last: it adds nothing.
    EXPECT_EQ("Item A not found in  ", messageOf("Item %1 not found in %2", listOf({"A"})));
    // Further past the end: a single blank, and A is lost because 9 is above it.
    EXPECT_EQ("x   ", messageOf("x %9", listOf({"A"})));
    // A number too large for any integer is just as absent.
    EXPECT_EQ("   ", messageOf("%99999999999999999999999999 ", listOf({"A"})));
    EXPECT_EQ("A%2 ", messageOf("%01%02", listOf({"A", "2"})));
    EXPECT_EQ("program ", messageOf("%0", DKLogMessageInserts()));
    DKLogMessageInserts renamed;
    renamed.addFirst("DKAny");
    EXPECT_EQ("in DKAny ", messageOf("in %0", renamed));
}

TEST(DKLogMessageInsertsSubstitution, PercentAndHashQuirks) {
    const DKLogMessageInserts ab = listOf({"A", "B"});
    // Inserts the template does not use are kept as additional information.
    EXPECT_EQ("Use A  [ADDITONAL INFO]: B", messageOf("Use %1", ab));
    EXPECT_EQ("Done  [ADDITONAL INFO]: A B", messageOf("Done ## rest %1", ab));
    EXPECT_EQ("Done", messageOf("Done##", DKLogMessageInserts()));
    // The '%' that ends a number is kept, the next one starts a placeholder.
    EXPECT_EQ("A%B ", messageOf("%1%2", ab));
    // '#' followed by '%' starts a number at once; with no digits it is insert 0.
    EXPECT_EQ("#programx  [ADDITONAL INFO]: A B", messageOf("#%x", ab));
    // A '#' ending a number is not copied at once: it may start the stop mark.
    EXPECT_EQ("A", messageOf("%1##tail", listOf({"A"})));
    EXPECT_EQ("A#x ", messageOf("%1#x", listOf({"A"})));
    // A '%' without digits is dropped; a lone '#' is kept.
    EXPECT_EQ("50 ", messageOf("50%", DKLogMessageInserts()));
    EXPECT_EQ("% ", messageOf("%%", DKLogMessageInserts()));
    EXPECT_EQ("a#b # ", messageOf("a#b #", DKLogMessageInserts()));
    // Empty and null templates still get the extra blank.
    EXPECT_EQ(" ", messageOf("", DKLogMessageInserts()));
    EXPECT_EQ(" ", messageOf(nullptr, DKLogMessageInserts()));
    // A template that stops at once leaves no text at all.
    DKException e("##", 1, DKSeverityError, 0, "", DKLogMessageInserts());
    EXPECT_EQ(0UL, e.textCount());
    EXPECT_STREQ("", e.what());
}

// Several threads build messages from one shared list while another keeps clearing and
// refilling it. The results vary, but nothing may deadlock, crash or race, and every message
// is one of the shapes the list can take.
TEST(DKLogMessageInsertsThreads, BuildersAndAWriterShareOneList) {
    DKLogMessageInserts shared = listOf({"A", "B"});
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};

    std::thread writer([&] {
        for (int round = 0; round < 2000; ++round) {
            shared.clear();
            shared.insert("A");
            shared.insert("B");
            shared.addFirst(round % 2 ? "odd" : "even");
            DKLogMessageInserts copy(shared);
            copy.insert("C");
        }
        stop = true;
    });
    std::vector<std::thread> builders;
    for (int t = 0; t < 4; ++t) {
        builders.emplace_back([&] {
            DKLogMessageInserts own = listOf({"x"});
            do {
                DKException mine("own %1", 2, DKSeverityError, 0, "", own);
                if (std::string(mine.text(0)) != "own x ") ++bad;
                DKException e("got %1 and %2", 3, DKSeverityError, 0, "", shared);
                const std::string t = e.text(0);
                if (t.rfind("got ", 0) != 0) ++bad;
            } while (!stop);
        });
    }
    writer.join();
    for (auto& b : builders) b.join();
    EXPECT_EQ(0, bad.load());
    EXPECT_EQ(3, shared.size());
}
