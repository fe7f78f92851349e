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

using namespace dktest;
using V = Texts;

namespace {
DKAny held(FakePart* p) { return DKAny(static_cast<dkDataObjectBase*>(p)); }
std::string at(const DKAny* e) {
    if (e == nullptr) return "-";
    return e->typeCode() == DKAny::tc_string ? e->toString().str() : idOf(static_cast<dkDataObjectBase*>(e->value()));
}
// The segments in order, "-" for an empty slot.
std::string ids(DKSegmentedParts& s) {
    std::string out;
    std::unique_ptr<dkIterator> it(s.createIterator());
    while (it->more()) out += at(it->next());
    return out;
}
}  // namespace

TEST(DKSegmentedPartsSlots, PositionsAndRangesKeepEmptySlotsAndRefuseWhatLiesOutside) {
    DKSegmentedParts s;
    s.setSegmentCount(3);
    long count = 0;
    std::unique_ptr<dkXDO*[]> range(s.getSegmentRange(0, 3, count));
    EXPECT_EQ(V({"3", "0", "---"}), V({str(count), str(range[0] != nullptr || range[2] != nullptr), ids(s)}));
    FakePart* parts[] = {new FakePart("a"), new FakePart("b")};
    auto** xdos = reinterpret_cast<dkXDO**>(parts);
    const std::pair<std::function<void()>, std::string> refused[] = {
        {[&] { s.getSegment(3); }, "getSegment"}, {[&] { s.getSegment(-1); }, "getSegment"},
        {[&] { s.setSegment(3, parts[0]); }, "setSegment"}, {[&] { s.getSegmentRange(0, -1, count); }, "getSegmentRange"},
        {[&] { s.setSegmentRange(0, nullptr, 1); }, "setSegmentRange"}, {[&] { s.setSegmentRange(2, xdos, 2); }, "setSegmentRange"},
        {[&] { s.setSegmentCount(-1); }, "setSegmentCount"}};
    for (const auto& r : refused) EXPECT_EQ(msg(303, ": DKSegmentedParts::" + r.second + "() "), failureOf(r.first).text);
    EXPECT_EQ("/", tracks(s)) << "nothing changed";
    s.setSegmentRange(1, xdos, 2);
    s.setSegment(1, parts[0]);            // the object it holds: kept
    s.setSegment(2, new FakePart("c"));   // b is deleted, its pending addition cancelled
    EXPECT_EQ(V({"-ac", "ac/"}), V({ids(s), tracks(s)}));
    s.setSegmentCount(2);   // c goes with its addition
    s.setSegmentCount(4);
    EXPECT_EQ(V({"-a--", "a/"}), V({ids(s), tracks(s)}));
}

TEST(DKSegmentedPartsIterator, MovesWithinTheSegmentsAndGoesStaleWithTheArray) {
    DKSegmentedParts s;
    s.setTracking(0);   // strings are no parts to track
    s.addElement(DKAny("x"));
    std::unique_ptr<dkIterator> it(s.createIterator());
    auto& seg = static_cast<DKSegmentedPartsIterator&>(*it);
    EXPECT_EQ(V({"383", "1", "x", "0", "383"}), V({str(usageError([&] { seg.at(); })), str(seg.more()), at(seg.next()),
                                                   str(seg.more()), str(usageError([&] { seg.next(); }))}));
    EXPECT_EQ(V({"1", "0", "0", "1", "0", "1", "1", "383"}),
              V({str(seg.setToPrevious()), str(seg.setToPrevious()), str(seg.setToPrevious()), str(seg.setToNext()),
                 str(seg.setToNext()), str(seg.setToLast()), str(seg.setToFirst()), str(usageError([&] { seg.previous(); }))}));
    seg.reset();
    seg.next();
    s.insertElementAt(DKAny("z"), *it);   // after the iterator, which follows to the new array
    s.insertElementAt(DKAny("y"), *it);
    const std::string inserted = at(s.retrieveElementAt(*it));
    s.addElement(DKAny("w"));
    EXPECT_EQ(V({"xzyw", "y", "382", "382"}), V({ids(s), inserted, str(usageError([&] { s.retrieveElementAt(*it); })),
                                                str(usageError([&] { it->next(); }))}));
    s.sort(0);
    std::unique_ptr<dkIterator> fresh(s.createIterator());
    fresh->next();
    s.removeElementAt(*fresh);
    const std::string removed = ids(s) + at(s.retrieveElementAt(*fresh));
    s.setSortFunction(new DKSortString);
    s.sort(1);
    EXPECT_EQ(V({"yxwy", "wxy"}), V({removed, ids(s)}));
}

TEST(DKSegmentedPartsTracking, SegmentsKeepTheirOwnSetAndOwnWhatTheyHold) {
    FakeDatastore ds;
    DKDDO item(&ds, "doc", 10);
    auto* s = new DKSegmentedParts;
    item.addData("DKParts", DKAny(static_cast<dkCollection*>(s)));
    FakePart *p = new FakePart("p"), *q = new FakePart("q");
    EXPECT_EQ(msg(303, ": DKSegmentedParts::removeMember() "), failureOf([&] { s->removeMember(&item, nullptr); }).text);
    s->addMember(&item, p);   // tracked, unlike DKParts
    load(*s, held(q));
    load(*s, held(new FakePart("r")));
    EXPECT_EQ(V({"400", "416"}), V({str(usageError([&] { s->addElement(DKAny("text")); })), str(usageError([&] { s->sort(1); }))}));
    s->removeMember(&item, p);   // cancels; p back to the caller
    std::unique_ptr<dkIterator> it(s->createIterator());
    it->next();
    s->removeElementAt(*it);   // q recorded, left to the caller
    EXPECT_EQ(V({"r", "/q"}), V({ids(*s), tracks(*s)}));
    s->setTracking(0);
    s->removeElementAt(*it);   // r deleted
    FakePart other("o");
    EXPECT_EQ(419, usageError([&] { s->removeMember(&item, &other); }));
    EXPECT_EQ(V({"addPart  p", "removePart  p"}), ds.membership.calls);
    DKSequentialCollection more;
    for (FakePart* x : {new FakePart("t", 7), new FakePart("u")}) more.addElement(held(x));
    s->addAllElements(&more);
    s->setSegmentCount(3);
    std::unique_ptr<DKSequentialCollection> typed(s->getAffiliatedTypes(7));
    EXPECT_EQ(V({"tu-", "1", "u"}), V({ids(*s), str(typed->cardinality()), idOf(s->getSegment(1))}));
    for (FakePart* x : {p, q}) delete x;
}
