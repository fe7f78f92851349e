// tests/dk/common/text/PCollection_test.cpp
//
// The positional list: order under insertion and removal, the maximum,
// and cursors: invalidated by every change, leaving when they die, detached when their
// collection dies (AddressSanitizer catches any touch of a dead one).

#include <dk/PCollection.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace {

int slot[100];

using dktest::str;
using dktest::usageError;
using V = dktest::Texts;

std::vector<void*> contents(PCollection& c) {
    std::vector<void*> out;
    PCollection::Cursor cur(&c);
    for (int ok = cur.setToFirst(); ok; ok = cur.setToNext()) out.push_back(cur.element());
    return out;
}

}  // namespace

TEST(PCollection, OrderUnderInsertAndRemoveAndTheMaximum) {
    PCollection c;
    c.add(&slot[0]);
    c.add(&slot[2]);
    PCollection::Cursor cur(&c);
    ASSERT_EQ(1, c.setToPosition(2, cur));
    c.add(&slot[1], cur);   // before the cursor's element
    EXPECT_EQ((std::vector<void*>{&slot[0], &slot[1], &slot[2]}), contents(c));
    EXPECT_EQ(&slot[1], c[1]);

    ASSERT_EQ(1, cur.setToLast());
    EXPECT_EQ(&slot[2], c.elementAt(cur));
    ASSERT_EQ(1, cur.setToPrevious());
    c.updateAt(cur, &slot[5]);
    ASSERT_EQ(1, c.setToPosition(1, cur));
    EXPECT_EQ(&slot[0], c.removeAt(cur));
    EXPECT_EQ(0, cur.isValid());
    EXPECT_EQ((std::vector<void*>{&slot[5], &slot[2]}), contents(c));
    // Walking off either end leaves the cursor invalid.
    cur.setToFirst();
    EXPECT_EQ((V{"0", "0", "0"}), (V{str(cur.setToPrevious()), str(cur.setToNext()), str(c.setToPosition(3, cur))}));
    PCollection other, full(1);
    other.add(&slot[9]);
    full.add(&slot[9]);
    PCollection::Cursor foreign(&other);
    foreign.setToFirst();
    const std::pair<long, std::function<void()>> refusals[] = {
        {303, [&] { c.setToPosition(0, cur); }}, {303, [&] { c[2]; }}, {303, [&] { full.add(&slot[2]); }},
        {382, [&] { c.elementAt(cur); }}, {382, [&] { c.removeAt(cur); }}, {382, [&] { c.add(nullptr, cur); }},
        {382, [&] { cur.element(); }}, {382, [&] { c.removeAt(foreign); }},   // a cursor of another collection
    };
    for (const auto& r : refusals) EXPECT_EQ(r.first, usageError(r.second));
    EXPECT_EQ((V{"1", "1", "0"}), (V{str(other.numberOfElements()), str(full.isFull()), str(other.isFull())}));
    c.removeAll();
    EXPECT_EQ((V{"1", "0"}), (V{str(c.isEmpty()), str(cur.setToFirst())}));
}

TEST(PCollection, CursorsAreInvalidatedAndOutliveNothing) {
    PCollection c;
    c.add(&slot[0]);
    c.add(&slot[1]);
    PCollection::Cursor a(&c), b(&c);
    a.setToFirst();
    b.setToLast();
    PCollection::Cursor copy(b);
    EXPECT_EQ(&slot[1], copy.element());
    c.add(&slot[2]);
    EXPECT_EQ((V{"0", "0", "0"}), (V{str(a.isValid()), str(b.isValid()), str(copy.isValid())})) << "a copy registers too";

    // Cursors that die first leave the collection: later changes must not touch them.
    for (int i = 0; i < 10; ++i) {
        auto temp = std::make_unique<PCollection::Cursor>(&c);
        temp->setToFirst();
        PCollection::Cursor assigned(nullptr);
        assigned = *temp;
        EXPECT_EQ(1, assigned.isValid());
    }
    c.add(&slot[3]);
    a.setToFirst();
    c.removeAt(a);
    EXPECT_EQ(3UL, c.numberOfElements());

    // A collection that dies first detaches its cursors.
    auto dying = std::make_unique<PCollection>();
    dying->add(&slot[0]);
    PCollection::Cursor orphan(dying.get());
    orphan.setToFirst();
    dying.reset();
    EXPECT_EQ((V{"1", "0"}), (V{str(orphan.collection() == nullptr), str(orphan.isValid())}));
    EXPECT_EQ(382, usageError([&] { orphan.element(); }));

    // setToPosition takes over a cursor of another collection.
    PCollection::Cursor moved(&c);
    PCollection d;
    d.add(&slot[7]);
    ASSERT_EQ(1, d.setToPosition(1, moved));
    EXPECT_EQ(&d, moved.collection());
    c.add(&slot[8]);
    EXPECT_EQ(1, moved.isValid()) << "no longer registered with the first collection";
}
