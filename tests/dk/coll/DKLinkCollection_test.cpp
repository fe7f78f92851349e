// tests/dk/coll/DKLinkCollection_test.cpp
//
// Links and link collections: owned and shared ends, the outbound and inbound iterators, tracked
// links with their far ends and removal copies, and the immediate changes through the fake
// datastore's recording extension (ownership is checked under AddressSanitizer).

#include <dk/DKDDO.hpp>
#include <dk/DKLinkCollection.hpp>

#include "dkFakeDatastore.hpp"
#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <memory>

using dktest::FakeDatastore;
using dktest::usageError;
using V = dktest::Texts;

namespace {
using CountedDDO = dktest::Counted<DKDDO>;

DKDDO* ddo(const char* id, dkDatastore* ds = nullptr) {
    auto* d = new CountedDDO;
    DKPid pid(1L);
    pid.setPrimaryId(id);
    d->setPid(pid);
    d->setDatastore(ds);
    return d;
}
std::string idOf(dkDataObject* o) { return o == nullptr ? "-" : o->getPid().getPrimaryId().str(); }
std::string ends(const DKLink* l) { return l == nullptr ? "none" : idOf(l->getSource()) + ">" + idOf(l->getTarget()); }
std::string idOf(const DKAny* e) { return ends(e == nullptr ? nullptr : static_cast<DKLink*>(e->value())); }
DKAny held(DKLink* l) { return DKAny(static_cast<void*>(l)); }
}  // namespace

TEST(DKLink, OwnedEndsAreDeletedSharedOnesNeverAndAnEndSetToItselfStays) {
    const int start = CountedDDO::alive;
    DKDDO* shared = ddo("S");
    {
        DKLink link("cites", shared, ddo("T"), 1, 0);
        dkDataObject* target = link.getTarget();
        link.setTarget(target, 0);   // the same object: kept
        EXPECT_EQ(start + 2, CountedDDO::alive);
        link.setTarget(ddo("U"), 0);   // the old owned target goes
        link.setLinkItem(ddo("I"), 0);
        link.setSource(shared, 1);
        EXPECT_EQ(V({"cites", "U", "1", "0"}), V({link.getTypeName().str(), idOf(link.getTarget()),
                                                   std::to_string(link.isSourceShared()), std::to_string(link.isTargetShared())}));
    }
    EXPECT_EQ(start + 1, CountedDDO::alive) << "only the shared source is left";
    delete shared;
}

TEST(DKLinkCollection, IteratorsPickOutboundAndInboundLinks) {
    DKDDO* p = ddo("P");
    DKLinkCollection links;
    links.setOwner(p);
    links.setTracking(0);
    for (DKLink* l : {new DKLink("t", p, ddo("X"), 1, 0), new DKLink("t", ddo("Y"), ddo("Z"), 0, 0),
                      new DKLink("t", ddo("X"), p, 0, 1), new DKLink("t", p, ddo("W"), 1, 0)})
        links.addElement(held(l));
    std::unique_ptr<DKLinkIterator> out(links.createOutboundIterator()), in(links.createInboundIterator());
    V walked;
    while (out->more()) walked.push_back(idOf(out->next()));
    walked.push_back(idOf(out->next()));   // past the end
    walked.push_back(idOf(out->next()));   // and round to the first again
    EXPECT_EQ(V({"P>X", "P>W", "none", "P>X"}), walked);
    EXPECT_EQ(V({"1", "P>W", "P>X", "0", "X>P", "none", "1", "X>P", "0"}),
              V({std::to_string(out->setToLast()), idOf(out->at()), idOf(out->previous()),
                 std::to_string(out->setToPrevious()), idOf(in->next()), idOf(in->next()),
                 std::to_string(in->setToFirst()), idOf(in->at()), std::to_string(in->more())}));
    DKLinkIterator copy(*in);
    EXPECT_EQ(V({"X>P", "1"}), V({idOf(copy.at()), std::to_string(in->setToLast())}));
    delete p;
}

TEST(DKLinkCollection, TrackedLinksRecordTheFarEndAndKeepUnsharedCopies) {
    DKDDO* p = ddo("P");
    {
        DKLinkCollection links;
        links.setOwner(p);
        DKLink wrong("t", p, nullptr, 1, 0);   // its far end is no DDO
        EXPECT_EQ(400, usageError([&] { links.addElement(held(&wrong)); }));
        EXPECT_EQ(400, usageError([&] { links.addElement(DKAny("link")); }));
        links.setTracking(0);
        links.addElement(held(new DKLink("t", ddo("X"), p, 0, 1)));
        links.setTracking(1);
        links.removeAllElements();   // the link and its owned source go; a copy is kept
        std::unique_ptr<dkIterator> it(links.listTracking()->createIterator());
        auto* track = static_cast<PTrackRecord*>(it->next()->value());
        auto* copy = static_cast<DKLink*>(track->object);
        EXPECT_EQ(V({"r", copy->getSource()->getPid().pidString().str(), "X>P", "00"}),
                  V({std::string(1, track->action), track->pidString.str(), ends(copy),
                     std::to_string(copy->isSourceShared()) + std::to_string(copy->isTargetShared())}));
    }
    delete p;
}

TEST(DKLinkCollection, MembersGoToTheRepositoryAfterTheirChecks) {
    const int start = CountedDDO::alive;
    FakeDatastore ds;
    DKDDO* p = ddo("P", &ds);
    DKLinkCollection links;
    links.removeAllMembers();   // empty: needs no datastore
    DKLink sourceless("t", nullptr, p, 0, 1), orphan("t", ddo("O"), p, 0, 1);
    EXPECT_EQ(V({"303", "303", "422"}), V({std::to_string(usageError([&] { links.addMember(nullptr); })),
                                          std::to_string(usageError([&] { links.addMember(&sourceless); })),
                                          std::to_string(usageError([&] { links.addMember(&orphan); }))}));
    ds.membership.supported = {"removeLink"};
    auto* link = new DKLink("t", p, ddo("X"), 1, 0);
    EXPECT_EQ(459, usageError([&] { links.addMember(link); }));
    ds.membership.supported = {"addLink", "removeLink", "removeLinks"};
    ds.membership.failOn = "addLink";
    EXPECT_EQ(303, usageError([&] { links.addMember(link); })) << "the link stays, added before the call";
    ds.membership.failOn.clear();
    DKLink equal("t", p, ddo("X"), 1, 0);   // another object with the same ends
    links.removeMember(&equal);             // the held link goes, deleted
    EXPECT_EQ(419, usageError([&] { links.removeMember(&equal); }));
    links.addMember(new DKLink("t", p, ddo("Y"), 1, 0));
    links.addMember(new DKLink("t", p, ddo("Z"), 1, 0));
    links.removeAllMembers();
    EXPECT_EQ(V({"addLink P>X", "removeLink P>X", "addLink P>Y", "addLink P>Z", "removeLinks 2"}), ds.membership.calls);
    EXPECT_EQ(0u, links.cardinality() + links.listTracking()->cardinality());
    delete p;
    EXPECT_EQ(start + 2, CountedDDO::alive) << "the ends held by the links on the stack";
}
