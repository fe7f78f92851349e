// tests/dk/coll/DKResults_test.cpp
//
// Query results: evaluation through their datastore, ownership of the data objects they hold
// (alone and as members of a federated collection, checked under AddressSanitizer), and the
// sorters that order data objects by id, id and part, and rank.

#include <dk/DKDDO.hpp>
#include <dk/DKException.hpp>
#include <dk/DKFederatedCollection.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/DKResults.hpp>
#include <dk/dkSort.hpp>

#include "dkFakeDatastore.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

struct CountedDDO : DKDDO {
    static int alive;
    CountedDDO() { ++alive; }
    ~CountedDDO() override { --alive; }
};
int CountedDDO::alive = 0;

using dktest::FakeDatastore;

DKAny element(dkDataObjectBase* o) { return DKAny(o); }

DKDDO* withId(const char* id) {
    auto* d = new DKDDO;
    DKPid pid;
    pid.setPrimaryId(id);
    d->setPid(pid);
    return d;
}

// A data object marked by its primary id, with the given items.
DKDDO* withItems(const char* mark, const std::vector<std::pair<const char*, DKAny>>& items) {
    DKDDO* d = withId(mark);
    for (const auto& item : items) d->addData(item.first, item.second);
    return d;
}

// The primary ids of a collection's data objects, in order ("?" for other elements).
std::string ids(const dkCollection& c) {
    std::string out;
    std::unique_ptr<dkIterator> it(c.createIterator());
    while (it->more()) {
        const DKAny* e = it->next();
        auto* o = e->typeCode() == DKAny::tc_dobase ? dynamic_cast<DKDDOBase*>(static_cast<dkDataObjectBase*>(*e)) : nullptr;
        out += o ? o->getPid().getPrimaryId().c_str() : "?";
        out += ' ';
    }
    return out;
}

}  // namespace

TEST(DKResults, EvaluateGoesToTheDatastoreUnlessEmpty) {
    FakeDatastore ds;
    DKResults r(ds);
    EXPECT_EQ(1, r.ownsElements());
    DKNVPair opts[1] = {DKNVPair("x")};
    EXPECT_TRUE(r.evaluate("q", 4, opts).isNull());
    EXPECT_EQ(0, ds.evaluations);

    r.addElement(element(new DKDDO));
    DKAny a = r.evaluate("q", 4, opts);
    EXPECT_EQ(DKString("answer to q"), static_cast<DKString>(a));
    EXPECT_EQ(1, ds.evaluations);
    EXPECT_EQ(4, ds.lastQueryType);
    EXPECT_EQ(opts, ds.lastQueryParams);
}

TEST(DKResults, OwnsItsDataObjectsButNotThoseTakenOut) {
    FakeDatastore ds;
    CountedDDO::alive = 0;
    DKDDO* taken = nullptr;
    {
        DKResults r(ds);
        for (int i = 0; i < 3; ++i) r.addElement(element(new CountedDDO));
        // An element removed through an iterator goes with the caller.
        std::unique_ptr<dkIterator> it(r.createIterator());
        taken = static_cast<DKDDO*>(static_cast<dkDataObjectBase*>(*it->next()));
        r.removeElementAt(*it);
        EXPECT_EQ(2UL, r.cardinality());
        EXPECT_EQ(3, CountedDDO::alive);
        r.removeAllElements();
        EXPECT_EQ(1, CountedDDO::alive);
        r.addElement(element(new CountedDDO));
        r.addElement(DKAny());   // a null element is skipped, not freed
    }
    EXPECT_EQ(1, CountedDDO::alive);
    delete taken;
    EXPECT_EQ(0, CountedDDO::alive);
}

TEST(DKResults, FederatedCollectionFreesEveryObjectOnce) {
    FakeDatastore ds;
    CountedDDO::alive = 0;
    {
        DKFederatedCollection fed;
        for (int m = 0; m < 2; ++m) {
            auto* r = new DKResults(ds);
            for (int i = 0; i < 3; ++i) r->addElement(element(new CountedDDO));
            fed.addElement(DKAny(static_cast<dkCollection*>(r)));
        }
        // A plain member does not own its objects; the federated collection frees them for it.
        auto* plain = new DKSequentialCollection;
        plain->addElement(element(new CountedDDO));
        fed.addElement(DKAny(static_cast<dkCollection*>(plain)));
        EXPECT_EQ(7UL, fed.cardinality());
        EXPECT_EQ(7, CountedDDO::alive);
        fed.removeAllElements();
        EXPECT_EQ(0, CountedDDO::alive);

        auto* again = new DKResults(ds);
        again->addElement(element(new CountedDDO));
        fed.addElement(DKAny(static_cast<dkCollection*>(again)));
    }
    EXPECT_EQ(0, CountedDDO::alive);
}

TEST(DKSortDataObjects, ByPrimaryId) {
    FakeDatastore ds;
    DKResults r(ds);
    for (const char* id : {"b", "c", "a"}) r.addElement(element(withId(id)));
    DKSortDDOId byId;
    r.sort(&byId, 1);
    EXPECT_EQ("a b c ", ids(r));
    r.sort(&byId, 0);
    EXPECT_EQ("c b a ", ids(r));

    // A DKDDOBase (protocol 1) has a key too; other elements have none.
    DKDDOBase base;
    DKPid pid;
    pid.setPrimaryId("m");
    base.setPid(pid);
    DKAny baseElement(static_cast<dkDataObjectBase*>(&base));
    EXPECT_EQ(DKString("m"), static_cast<DKString>(byId.getKey(&baseElement)));
    DKAny text("m");
    EXPECT_THROW(byId.getKey(&text), DKUsageError);
    DKDDO noIds;
    noIds.setPid(DKPid(0L));   // no id strings at all: no key, and no crash
    DKAny noIdsElement(static_cast<dkDataObjectBase*>(&noIds));
    EXPECT_THROW(byId.getKey(&noIdsElement), DKUsageError);
}

TEST(DKSortDataObjects, ByIdAndPartFailsBeforeMoving) {
    FakeDatastore ds;
    DKResults r(ds);
    r.addElement(element(withItems("p2", {{"DKRQItemId", DKAny("A")}, {"DKPartNo", DKAny(2L)}})));
    r.addElement(element(withItems("b0", {{"DKRQItemId", DKAny("B")}, {"DKPartNo", DKAny(0L)}})));
    r.addElement(element(withItems("p1", {{"DKRQItemId", DKAny("A")}, {"DKPartNo", DKAny("1")}})));
    DKSortDDOIdPart byPart;
    r.sort(&byPart, 1);
    EXPECT_EQ("p1 p2 b0 ", ids(r));

    // A part number of another type, or a missing one, has no key: the order stays.
    r.addElement(element(withItems("bad", {{"DKRQItemId", DKAny("0")}, {"DKPartNo", DKAny(1.5)}})));
    EXPECT_THROW(r.sort(&byPart, 0), DKException);
    EXPECT_EQ("p1 p2 b0 bad ", ids(r));
    DKAny missing(static_cast<dkDataObjectBase*>(withItems("m", {{"DKRQItemId", DKAny("A")}})));
    EXPECT_THROW(byPart.getKey(&missing), DKUsageError);
    delete static_cast<dkDataObjectBase*>(missing);
}

TEST(DKSortDataObjects, ByRankWithMissingRanksAsZero) {
    FakeDatastore ds;
    DKResults r(ds);
    r.addElement(element(withItems("five", {{"DKRank", DKAny(5L)}})));
    r.addElement(element(withItems("none", {})));
    r.addElement(element(withItems("minus", {{"DKRank", DKAny(-1L)}})));
    auto* unset = withItems("null", {});
    unset->addData("DKRank");   // present but null
    r.addElement(element(unset));
    r.addElement(DKAny("not a data object"));
    r.addElement(element(withItems("two", {{"DKRank", DKAny(static_cast<short>(2))}})));
    DKSortDDORank byRank;
    r.sort(&byRank, 1);
    const std::string order = ids(r);
    EXPECT_EQ(0U, order.find("minus "));
    EXPECT_EQ(order.size() - std::string("two five ").size(), order.find("two five "));
    r.sort(&byRank, 0);
    EXPECT_EQ(0U, ids(r).find("five two "));
    DKAny none(static_cast<dkDataObjectBase*>(unset));
    EXPECT_EQ(0L, static_cast<long>(byRank.getKey(&none)));
}
