// tests/dk/coll/DKSegmentedParts_test.cpp
//
// Segmented parts: positions and ranges with empty slots, the iterator and the stale iterator
// after a reallocation, insertion after the iterator, tracking of the segments, sorting, and the
// immediate changes (ownership is checked under AddressSanitizer).

#include <dk/DKDDO.hpp>
#include <dk/DKSegmentedParts.hpp>
#include <dk/dkSort.hpp>

#include "dkFakeDatastore.hpp"
#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using dktest::FakeDatastore;
using dktest::FakePart;
using dktest::usageError;
using V = dktest::Texts;

namespace {
DKAny held(FakePart* p) { return DKAny(static_cast<dkDataObjectBase*>(p)); }
std::string idOf(const DKAny* e) {
    if (e == nullptr) return "-";
    if (e->typeCode() == DKAny::tc_string) return e->toString().str();
    return static_cast<FakePart*>(static_cast<dkXDO*>(static_cast<dkDataObjectBase*>(e->value())))->getPid()->getPrimaryId().str();
}
std::string ids(DKSegmentedParts& s) {
    std::string out;
    std::unique_ptr<dkIterator> it(s.createIterator());
    while (it->more()) out += idOf(it->next());
    return out;
}
template <class C>
std::string tracks(C& c) {
    long a = 0, r = 0;
    std::unique_ptr<void*[]> added(c.listAddedTracks(a)), removed(c.listRemovedTracks(r));
    return std::to_string(a) + "/" + std::to_string(r);
}
std::string n(long v) { return std::to_string(v); }
}  // namespace

TEST(DKSegmentedPartsSlots, PositionsAndRangesKeepEmptySlotsAndRefuseWhatLiesOutside) {
    const int alive0 = FakePart::alive;
    DKSegmentedParts s;
    s.setSegmentCount(3);
    long count = 0;
    std::unique_ptr<dkXDO*[]> range(s.getSegmentRange(0, 3, count));
    EXPECT_EQ(V({"3", "0", "0", "0", "3"}), V({n(count), n(range[0] != nullptr), n(range[2] != nullptr),
                                              n(s.getSegment(2) != nullptr), n(s.cardinality())}));
    FakePart* parts[] = {new FakePart("a"), new FakePart("b")};
    const std::pair<std::function<void()>, std::string> refused[] = {
        {[&] { s.getSegment(3); }, ": DKSegmentedParts::getSegment() "},
        {[&] { s.getSegment(-1); }, ": DKSegmentedParts::getSegment() "},
        {[&] { s.setSegment(3, parts[0]); }, ": DKSegmentedParts::setSegment() "},
        {[&] { s.getSegmentRange(1, 3, count); }, ": DKSegmentedParts::getSegmentRange() "},
        {[&] { s.getSegmentRange(0, -1, count); }, ": DKSegmentedParts::getSegmentRange() "},
        {[&] { s.setSegmentRange(0, nullptr, 1); }, ": DKSegmentedParts::setSegmentRange() "},
        {[&] { s.setSegmentRange(2, reinterpret_cast<dkXDO**>(parts), 2); }, ": DKSegmentedParts::setSegmentRange() "},
        {[&] { s.setSegmentCount(-1); }, ": DKSegmentedParts::setSegmentCount() "}};
    for (const auto& r : refused) EXPECT_EQ(dktest::msg(303, r.second), dktest::failureOf(r.first).text) << r.second;
    EXPECT_EQ("0/0", tracks(s)) << "nothing changed";
    s.setSegmentRange(1, reinterpret_cast<dkXDO**>(parts), 2);
    s.setSegment(1, parts[0]);   // the object it holds: kept
    s.setSegment(2, new FakePart("c"));   // b is deleted, its pending addition cancelled
    EXPECT_EQ(V({"-ac", "2/0", "2"}), V({ids(s), tracks(s), n(FakePart::alive - alive0)}));
    s.setSegmentCount(2);   // c goes with its addition
    s.setSegmentCount(4);
    EXPECT_EQ(V({"-a--", "1/0"}), V({ids(s), tracks(s)}));
}

TEST(DKSegmentedPartsIterator, MovesWithinTheSegmentsAndGoesStaleWithTheArray) {
    DKSegmentedParts s;
    s.setTracking(0);   // strings are no parts to track
    s.addElement(DKAny("x"));
    std::unique_ptr<dkIterator> it(s.createIterator());
    auto& seg = static_cast<DKSegmentedPartsIterator&>(*it);
    EXPECT_EQ(383, usageError([&] { seg.at(); }));
    EXPECT_EQ(V({"1", "x", "0"}), V({n(seg.more()), idOf(seg.next()), n(seg.more())}));
    EXPECT_EQ(383, usageError([&] { seg.next(); }));
    EXPECT_EQ(V({"1", "0", "0", "1", "0", "1", "1"}),
              V({n(seg.setToPrevious()), n(seg.setToPrevious()), n(seg.setToPrevious()), n(seg.setToNext()),
                 n(seg.setToNext()), n(seg.setToLast()), n(seg.setToFirst())}));
    EXPECT_EQ(383, usageError([&] { seg.previous(); }));
    seg.reset();
    seg.next();
    s.insertElementAt(DKAny("z"), *it);   // after the iterator, which follows to the new array
    s.insertElementAt(DKAny("y"), *it);
    EXPECT_EQ(V({"xzy", "y"}), V({ids(s), idOf(s.retrieveElementAt(*it))}));
    std::unique_ptr<dkIterator> old(s.createIterator());
    old->next();
    s.addElement(DKAny("w"));
    EXPECT_EQ(V({"382", "382"}), V({n(usageError([&] { s.retrieveElementAt(*old); })), n(usageError([&] { old->next(); }))}));
    s.sort(0);
    std::unique_ptr<dkIterator> fresh(s.createIterator());
    fresh->next();
    s.removeElementAt(*fresh);
    EXPECT_EQ(V({"yxw", "y"}), V({ids(s), idOf(s.retrieveElementAt(*fresh))}));
}

TEST(DKSegmentedPartsTracking, SegmentsKeepTheirOwnSetAndOwnWhatTheyHold) {
    const int alive = FakePart::alive;
    FakeDatastore ds;
    DKDDO item(&ds, "doc", 10);
    auto* s = new DKSegmentedParts;
    item.addData("DKParts", DKAny(static_cast<dkCollection*>(s)));
    FakePart* p = new FakePart("p");
    EXPECT_EQ(420, usageError([&] { DKSegmentedParts().addMember(&item, p); }));
    EXPECT_EQ(dktest::msg(303, ": DKSegmentedParts::removeMember() "), dktest::failureOf([&] { s->removeMember(&item, nullptr); }).text);
    s->addMember(&item, p);   // tracked, unlike DKParts
    s->setTracking(0);
    FakePart* q = new FakePart("q");
    s->addElement(held(q));
    s->addElement(held(new FakePart("r")));
    s->setTracking(1);
    EXPECT_EQ(400, usageError([&] { s->addElement(DKAny("text")); }));
    EXPECT_EQ(416, usageError([&] { s->sort(1); }));
    s->removeMember(&item, p);   // cancels; p back to the caller
    delete p;
    std::unique_ptr<dkIterator> it(s->createIterator());
    it->next();
    s->removeElementAt(*it);   // q recorded, left to the caller
    delete q;
    EXPECT_EQ(V({"r", "0/1"}), V({ids(*s), tracks(*s)}));
    s->setTracking(0);
    s->removeElementAt(*it);   // r deleted
    EXPECT_EQ(419, usageError([&] {
        FakePart other("o");
        s->removeMember(&item, &other);
    }));
    EXPECT_EQ(V({"addPart  p", "removePart  p"}), ds.membership.calls);
    s->addElement(held(new FakePart("t")));
    s->setSegmentCount(3);
    EXPECT_EQ(alive + 2, FakePart::alive) << "t and the copy of q";
}
