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

using namespace dktest;
using V = Texts;

namespace {
DKAny held(DKLink* l) { return DKAny(static_cast<void*>(l)); }
std::string at(const DKAny* e) { return e == nullptr ? "none" : idOf(static_cast<DKLink*>(e->value())); }
}  // namespace

TEST(DKLinkCollection, IteratorsPickOutboundAndInboundLinks) {
    DKDDO* p = namedDDO("P");
    DKLinkCollection links;
    links.setOwner(p);
    for (DKLink* l : {new DKLink("t", p, namedDDO("X"), 1, 0), new DKLink("t", namedDDO("Y"), namedDDO("Z"), 0, 0),
                      new DKLink("t", namedDDO("X"), p, 0, 1), new DKLink("t", p, namedDDO("W"), 1, 0)})
        links.addElement(held(l));
    std::unique_ptr<DKLinkIterator> out(links.createOutboundIterator()), in(links.createInboundIterator());
    V walked;
    while (out->more()) walked.push_back(at(out->next()));
    EXPECT_EQ(V({"P>X", "P>W", "none", "P>X"}), V({walked[0], walked[1], at(out->next()), at(out->next())}));
    EXPECT_EQ(V({"1", "P>W", "P>X", "0", "X>P", "none", "1", "X>P", "0", "1"}),
              V({str(out->setToLast()), at(out->at()), at(out->previous()), str(out->setToPrevious()), at(in->next()),
                 at(in->next()), str(in->setToFirst()), at(in->at()), str(in->more()), str(in->setToLast())}));
    delete p;
}

TEST(DKLinkCollection, EndsAndTrackedLinksKeepWhatTheyOwn) {
    DKDDO* p = namedDDO("P");
    {
        DKLink link("cites", p, namedDDO("T"), 1, 0);
        link.setTarget(link.getTarget(), 0);   // the object it holds: kept
        link.setTarget(namedDDO("U"), 0);      // the old owned target goes
        link.setLinkItem(namedDDO("I"), 0);
        EXPECT_EQ(V({"cites", "P>U"}), V({link.getTypeName().str(), idOf(&link)}));
        DKLinkCollection links;
        links.setOwner(p);
        link.setTarget(nullptr, 0);   // a far end that is no DDO
        EXPECT_EQ(V({"400", "400"}), V({str(usageError([&] { links.addElement(held(&link)); })),
                                        str(usageError([&] { links.addElement(DKAny("link")); }))}));
        load(links, held(new DKLink("t", namedDDO("X"), p, 0, 1)));
        links.removeAllElements();   // the link and its owned source go; a copy is kept
        std::unique_ptr<dkIterator> it(links.listTracking()->createIterator());
        auto* track = static_cast<PTrackRecord*>(it->next()->value());
        auto* copy = static_cast<DKLink*>(track->object);
        EXPECT_EQ(V({"r", copy->getSource()->getPid().pidString().str(), "X>P", "00"}),
                  V({std::string(1, track->action), track->pidString.str(), idOf(copy),
                     str(copy->isSourceShared()) + str(copy->isTargetShared())}));
    }
    delete p;   // the shared owner, left by the links
}

TEST(DKLinkCollection, MembersGoToTheRepositoryAfterTheirChecks) {
    FakeDatastore ds;
    DKDDO* p = namedDDO("P", &ds);
    DKLinkCollection links;
    links.removeAllMembers();   // empty: needs no datastore
    DKLink sourceless("t", nullptr, p, 0, 1), orphan("t", namedDDO("O"), p, 0, 1);
    EXPECT_EQ(V({"303", "303", "422"}), V({str(usageError([&] { links.addMember(nullptr); })),
                                          str(usageError([&] { links.addMember(&sourceless); })),
                                          str(usageError([&] { links.addMember(&orphan); }))}));
    ds.membership.unsupported = {"addLink"};
    auto* link = new DKLink("t", p, namedDDO("X"), 1, 0);
    EXPECT_EQ(459, usageError([&] { links.addMember(link); }));
    ds.membership.unsupported.clear();
    ds.membership.failOn = "addLink";
    EXPECT_EQ(303, usageError([&] { links.addMember(link); })) << "the link stays, added before the call";
    ds.membership.failOn.clear();
    DKLink equal("t", p, namedDDO("X"), 1, 0);   // another object with the same ends
    links.removeMember(&equal);                  // the held link goes, deleted
    EXPECT_EQ(419, usageError([&] { links.removeMember(&equal); }));
    links.addMember(new DKLink("t", p, namedDDO("Y"), 1, 0));
    links.addMember(new DKLink("t", p, namedDDO("Z"), 1, 0));
    links.removeAllMembers();
    EXPECT_EQ(V({"addLink P>X", "removeLink P>X", "addLink P>Y", "addLink P>Z", "removeLinks 2"}), ds.membership.calls);
    EXPECT_EQ(0u, links.cardinality() + links.listTracking()->cardinality());
    delete p;
}
