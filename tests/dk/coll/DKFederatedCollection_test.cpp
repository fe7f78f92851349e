// tests/dk/coll/DKFederatedCollection_test.cpp
//
// The federated walk over nested and empty members both ways, member-level moves, element
// operations through both iterators, and who frees what (counts and AddressSanitizer).

#include <dk/DKFederatedCollection.hpp>
#include <dk/dkSort.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using dktest::usageError;
using Counted = dktest::Counted<DKSequentialCollection>;

// A member that frees the collections its elements point to itself, as query results free their
// data objects: the federated collection must leave those alone.
class Owning : public Counted {
public:
    ~Owning() override {
        std::unique_ptr<dkIterator> it(createIterator());
        while (it->more())
            if (DKAny* e = it->next(); e->typeCode() == DKAny::tc_collection) delete static_cast<dkCollection*>(e->value());
    }
    int ownsElements() const override { return 1; }
};

// A new collection of longs (a value below 0 stands for the next nested collection), as an element.
DKAny list(std::initializer_list<long> values, std::vector<DKAny> nested = {}) {
    auto* c = new Counted;
    std::size_t n = 0;
    for (long v : values) c->addElement(v < 0 ? nested.at(n++) : DKAny(v));
    return DKAny(static_cast<dkCollection*>(c));
}

// c with one element added, as an element.
DKAny member(dkCollection* c, const DKAny& element) {
    c->addElement(element);
    return DKAny(c);
}

using V = dktest::Texts;
using dktest::str;


// The leaves walked forwards, then backwards from the last; both walks end where they must.
std::string walk(DKFederatedCollection& f) {
    std::string out;
    DKFederatedIterator it(f);
    while (it.more())
        if (DKAny* e = it.next()) out += str(e) + " ";
    EXPECT_EQ(0, it.setToNext());
    EXPECT_EQ(nullptr, it.next());
    out += "|";
    if (it.setToLast()) {
        out += " " + str(it.at());
        while (DKAny* e = it.previous()) out += " " + str(e);
    }
    EXPECT_EQ(0, it.setToPrevious());
    return out;
}

}  // namespace

TEST(DKFederatedWalk, LeavesInBothDirectionsAndTheEnds) {
    {
        DKFederatedCollection f;
        DKFederatedIterator empty(f);
        // A federated iterator (2), not a sequential one (1); nothing to walk.
        EXPECT_EQ((V{"2", "0", "0", "-"}), (V{str(empty.getType()), str(empty.more()), str(empty.setToLast()), str(empty.next())}));
        f.addElement(list({1, 2}));
        f.addElement(list({3}));
        EXPECT_EQ("1 2 3 | 3 2 1", walk(f));
        DKFederatedIterator it(f);
        while (it.next() != nullptr) {
        }
        // After the end it starts again; before the first leaf it stands on nothing. reset()
        // mid-walk drops the levels below the members: the next walk starts afresh.
        EXPECT_EQ((V{"1", "0", "-", "1", "2"}),
                  (V{str(it.setToFirst()), str(it.setToPrevious()), str(it.at()), str(it.next()), str(it.next())}));
        it.reset();
        EXPECT_EQ((V{"1", "2"}), (V{str(it.next()), str(it.next())}));
        // A copy stands on the same leaf with iterators of its own.
        DKFederatedIterator copy(it);
        EXPECT_EQ((V{"3", "2", "1"}), (V{str(copy.next()), str(it.at()), str(it.previous())}));
    }
    EXPECT_EQ(0, Counted::alive);
}

TEST(DKFederatedWalk, EmptyMembersAnywhereAreSkipped) {
    // Every placement of empty members (and of a member holding only empty collections) before,
    // between and after A = (1, 2) and B = (3).
    for (unsigned mask = 0; mask < 64; ++mask) {
        DKFederatedCollection f;
        auto addEmpty = [&](unsigned slot) {
            if (mask & (1u << slot)) f.addElement(list({}));
            if (mask & (8u << slot)) f.addElement(list({-1, -1}, {list({}), list({})}));
        };
        addEmpty(0);
        f.addElement(list({1, 2}));
        addEmpty(1);
        f.addElement(list({3}));
        addEmpty(2);
        EXPECT_EQ((V{"1 2 3 | 3 2 1", "3"}), (V{walk(f), str(f.cardinality())})) << mask;
    }
    // Only empty members, a null one among them: nothing to walk.
    DKFederatedCollection f;
    f.addElement(list({}));
    f.addElement(DKAny(static_cast<dkCollection*>(nullptr)));
    EXPECT_EQ((V{"|", "0", "2"}), (V{walk(f), str(f.cardinality()), str(f.memberCardinality())}));
}

TEST(DKFederatedWalk, MemberLevelMoves) {
    DKFederatedCollection f;
    for (const DKAny& member : {list({1, 2}), DKAny(9L), list({}), list({3, 4})}) f.addElement(member);
    DKFederatedIterator it(f);
    // On the first collection itself (nothing current), then into it; the next collection skips
    // the leaf member 9 and lands on the empty one, which entering skips. Backwards, the last
    // collection is entered from its end.
    EXPECT_EQ((V{"1", "-", "1", "1", "1", "3", "0", "1", "4", "1", "1", "2", "0"}),
              (V{str(it.setToFirstCollection()), str(it.at()), str(it.more()), str(it.next()), str(it.setToNextCollection()),
                 str(it.next()), str(it.setToNextCollection()), str(it.setToLastCollection()), str(it.previous()),
                 str(it.setToPreviousCollection()), str(it.setToPreviousCollection()), str(it.previous()),
                 str(it.setToPreviousCollection())}));
}

TEST(DKFederatedElements, OperationsActOnLeavesOrMembersAndSortingIsRefused) {
    DKFederatedCollection f, other;
    const DKAny a = list({1, 2});
    f.addElement(a);
    f.addElement(list({3}));
    other.addElement(DKAny(1L));
    DKFederatedIterator it(f), foreign(other);
    foreign.next();
    // Before the first leaf, and with an iterator of another collection, nothing is current.
    for (DKFederatedIterator* at : {&it, &foreign}) {
        EXPECT_EQ(382, usageError([&] { f.retrieveElementAt(*at); }));
        EXPECT_EQ(382, usageError([&] { f.replaceElementAt(DKAny(0L), *at); }));
        EXPECT_EQ(382, usageError([&] { f.removeElementAt(*at); }));
    }
    it.next();
    it.next();   // on 2, inside a
    EXPECT_EQ(it.at(), f.retrieveElementAt(it));
    f.replaceElementAt(DKAny(20L), it);
    f.insertElementAt(DKAny(25L), it);   // after 20 inside a, and the iterator moves there
    EXPECT_EQ((V{"25", "1 20 25 3 | 3 25 20 1"}), (V{str(it.at()), walk(f)}));
    f.removeElementAt(it);   // the last of a: nothing current, the walk goes on into b
    EXPECT_EQ((V{"-", "3"}), (V{str(it.at()), str(it.next())}));
    f.removeElementAt(it);
    EXPECT_EQ("1 20 | 20 1", walk(f));
    // A member iterator acts on the member list; a member taken out goes back to the caller.
    std::unique_ptr<dkIterator> members(f.createMemberIterator());
    members->next();
    EXPECT_EQ(a, *f.retrieveElementAt(*members));
    f.removeElementAt(*members);
    delete static_cast<dkCollection*>(a.value());
    EXPECT_EQ("|", walk(f));
    // A federated collection cannot be sorted.
    f.addElement(list({2, 1}));
    DKSortString by;
    for (const std::function<void()>& sort : std::vector<std::function<void()>>{
             [&] { f.sort(1); }, [&] { f.sort(&by, 0); }, [&] { f.setSortFunction(new DKSortString); },
             [&] { f.getSortFunction(); }})
        EXPECT_EQ(482, usageError(sort));
    EXPECT_EQ("2 1 | 1 2", walk(f));
}

TEST(DKFederatedOwnership, MembersAndWhatTheyHoldAreFreedExactlyOnce) {
    ASSERT_EQ(0, Counted::alive);
    {
        DKFederatedCollection f;
        auto* inner = new DKFederatedCollection;
        // A plain member: the federated collection frees it and the collections inside it. A
        // member that frees its own elements: only the member itself is deleted here, so nothing
        // is freed twice. A federated member owns its members in turn.
        f.addElement(list({1, -1}, {list({2})}));
        f.addElement(member(new Owning, list({3})));
        f.addElement(member(inner, list({4})));
        EXPECT_EQ((V{"1", "5", "1 2 3 4 | 4 3 2 1"}), (V{str(inner->ownsElements()), str(Counted::alive), walk(f)}));
        f.removeAllElements();
        EXPECT_EQ((V{"0", "0", "0"}), (V{str(Counted::alive), str(f.memberCardinality()), str(f.cardinality())}));
        // Usable again; the destructor frees the same way.
        f.addElement(list({5}));
        f.addElement(member(new Owning, list({6})));
        EXPECT_EQ("5 6 | 6 5", walk(f));
    }
    EXPECT_EQ(0, Counted::alive);
}
