// tests/dk/coll/DKResults_test.cpp
//
// Query results: evaluation through their datastore, ownership of the data objects they hold
// (alone and as members of a federated collection, checked under AddressSanitizer), and the
// sorters that order data objects by id, id and part, and rank.

#include <dk/DKDDO.hpp>
#include <dk/DKFederatedCollection.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/DKResults.hpp>
#include <dk/dkSort.hpp>

#include "dkFakeDatastore.hpp"
#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using dktest::FakeDatastore;
using CountedDDO = dktest::Counted<DKDDO>;

// A data object marked by its primary id, with the given items, as an element.
DKAny object(const char* mark, const std::vector<std::pair<const char*, DKAny>>& items = {}) {
    DKDDO* d = dktest::namedDDO(mark);
    for (const auto& item : items) d->addData(item.first, item.second);
    return DKAny(static_cast<dkDataObjectBase*>(d));
}

// New results of ds holding n new counted data objects.
DKResults* countedResults(const dkDatastore& ds, int n) {
    auto* r = new DKResults(ds);
    for (int i = 0; i < n; ++i) r->addElement(DKAny(static_cast<dkDataObjectBase*>(new CountedDDO)));
    return r;
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
    DKNVPair opts[1] = {DKNVPair("x")};
    EXPECT_TRUE(r.evaluate("q", 4, opts).isNull());
    EXPECT_EQ(0, ds.evaluations);
    r.addElement(object("a"));
    EXPECT_EQ(DKString("answer to q"), static_cast<DKString>(r.evaluate("q", 4, opts)));
    EXPECT_TRUE(ds.lastQueryType == 4 && ds.lastQueryParams == opts);
}

TEST(DKResults, OwnsItsDataObjectsButNotThoseTakenOut) {
    FakeDatastore ds;
    DKDDO* taken = nullptr;
    {
        std::unique_ptr<DKResults> r(countedResults(ds, 3));
        // An element removed through an iterator goes with the caller.
        std::unique_ptr<dkIterator> it(r->createIterator());
        taken = static_cast<DKDDO*>(static_cast<dkDataObjectBase*>(*it->next()));
        r->removeElementAt(*it);
        r->removeAllElements();
        EXPECT_EQ(1, CountedDDO::alive);
        r->addElement(DKAny(static_cast<dkDataObjectBase*>(new CountedDDO)));
        r->addElement(DKAny());   // a null element is skipped, not freed
    }
    EXPECT_EQ(1, CountedDDO::alive);
    delete taken;
}

TEST(DKResults, FederatedCollectionFreesEveryObjectOnce) {
    FakeDatastore ds;
    {
        DKFederatedCollection fed;
        fed.addElement(DKAny(countedResults(ds, 3)));
        fed.addElement(DKAny(countedResults(ds, 3)));
        // A plain member does not own its objects; the federated collection frees them for it.
        auto* plain = new DKSequentialCollection;
        plain->addElement(DKAny(static_cast<dkDataObjectBase*>(new CountedDDO)));
        fed.addElement(DKAny(static_cast<dkCollection*>(plain)));
        EXPECT_EQ(7, CountedDDO::alive);
        fed.removeAllElements();
        EXPECT_EQ(0, CountedDDO::alive);
        fed.addElement(DKAny(countedResults(ds, 1)));
    }
    EXPECT_EQ(0, CountedDDO::alive);
}

// By primary id (a DKDDOBase has one too), by item id and part number, by rank (missing or null
// ranks count as 0); an element without a key fails the sort before anything moves.
TEST(DKSortDataObjects, ByIdByPartAndByRank) {
    FakeDatastore ds;
    DKResults r(ds);
    for (const char* id : {"b", "c", "a"}) r.addElement(object(id));
    DKSortDDOId byId;
    r.sort(&byId, 1);
    const std::string ascending = ids(r);
    r.sort(&byId, 0);
    EXPECT_EQ("a b c | c b a ", ascending + "| " + ids(r));
    DKDDOBase base;
    DKPid pid;
    pid.setPrimaryId("m");
    base.setPid(pid);
    const DKAny baseElement(static_cast<dkDataObjectBase*>(&base));
    EXPECT_EQ(DKString("m"), static_cast<DKString>(byId.getKey(&baseElement)));
    DKDDO noIds;
    noIds.setPid(DKPid(0L));   // no id strings at all: no key, and no crash
    const DKAny noIdsElement(static_cast<dkDataObjectBase*>(&noIds));
    EXPECT_THROW(byId.getKey(&noIdsElement), DKUsageError);

    DKResults parts(ds);
    parts.addElement(object("p2", {{"DKRQItemId", DKAny("A")}, {"DKPartNo", DKAny(2L)}}));
    parts.addElement(object("b0", {{"DKRQItemId", DKAny("B")}, {"DKPartNo", DKAny(0L)}}));
    parts.addElement(object("p1", {{"DKRQItemId", DKAny("A")}, {"DKPartNo", DKAny("1")}}));
    DKSortDDOIdPart byPart;
    parts.sort(&byPart, 1);
    EXPECT_EQ("p1 p2 b0 ", ids(parts));
    parts.addElement(object("bad", {{"DKRQItemId", DKAny("0")}, {"DKPartNo", DKAny(1.5)}}));
    EXPECT_THROW(parts.sort(&byPart, 0), DKException);
    EXPECT_EQ("p1 p2 b0 bad ", ids(parts));
    const DKAny missing = object("m", {{"DKRQItemId", DKAny("A")}});
    EXPECT_THROW(byPart.getKey(&missing), DKUsageError);
    delete static_cast<dkDataObjectBase*>(missing);

    DKResults ranked(ds);
    const DKAny unset = object("null");
    static_cast<DKDDO*>(static_cast<dkDataObjectBase*>(unset))->addData("DKRank");   // present but null
    for (const DKAny& e : {object("five", {{"DKRank", DKAny(5L)}}), object("none"), object("minus", {{"DKRank", DKAny(-1L)}}),
                           unset, DKAny("not a data object"), object("two", {{"DKRank", DKAny(static_cast<short>(2))}})})
        ranked.addElement(e);
    DKSortDDORank byRank;
    ranked.sort(&byRank, 1);
    const std::string order = ids(ranked);
    EXPECT_EQ(0U, order.find("minus "));
    EXPECT_EQ(order.size() - std::string("two five ").size(), order.find("two five "));
    ranked.sort(&byRank, 0);
    EXPECT_EQ(0U, ids(ranked).find("five two "));
}
