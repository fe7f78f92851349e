// tests/dk/common/query/dkSearchTemplate_test.cpp
//
// Search criteria, predefined values and the template base: rejections that leave everything as
// it was, ids read as shorts and longs, who owns predefined values, and the 341 of the slots a
// connector leaves out.

#include <dk/DKNVPair.hpp>
#include <dk/DKQExpr.hpp>
#include <dk/dkSearchTemplate.hpp>

#include "dkTestSupport.hpp"

#include <functional>
#include <memory>
#include <tuple>

namespace {
struct OnlyExpression : dkSearchTemplate {
    DKCQExpr* createCQExpr() override { return new DKCQExpr; }
};

DKPredefinedValues* colours() {
    auto* pv = new DKPredefinedValues("E", "colour");
    pv->addValuePair("red", "1");
    pv->addValuePair("blue", "2");
    return pv;
}
}  // namespace

TEST(DKSearchCriteria, DefaultsAndWhenItCountsAsSet) {
    DKSearchCriteria c;
    EXPECT_EQ((dktest::Texts{"1", "1", "1", "1", "1", "0"}),
              (dktest::Texts{dktest::str(c.getDefaultOperator()), dktest::str(c.getType()), dktest::str(c.getDataType()),
                             dktest::str(c.isQueryable()), dktest::str(c.isDisplayable()), dktest::str(c.isSet())}));
    c.setValue("x");
    const int valueOnly = c.isSet();   // a value without an operator is not set
    c.setOperator(5);
    EXPECT_EQ(std::make_pair(0, 1), std::make_pair(valueOnly, c.isSet()));

    c.setId(7);
    EXPECT_EQ(7L, c.getIntId());
    c.setIntId(70000);
    EXPECT_EQ(static_cast<short>(70000), c.getId());
    c.setAttrId(-2);
    EXPECT_EQ(-2L, c.getAttrIntId());

    for (short type = 0; type <= 20; ++type) {
        c.setDataType(type);
        EXPECT_EQ(type == 1 || type == 2 || type == 7 || type == 8 || type == 9 ? 1 : 0, c.isQuoteNeeded()) << type;
    }
}

TEST(DKSearchCriteria, RejectionsComeBeforeAnyChange) {
    DKSearchCriteria c("E", "a");
    DKString two[] = {"1", "2"};
    c.setValues(two, 2);
    EXPECT_EQ(1, c.hasMultiValues());
    c.setDisplayName("shown");
    const short ops[] = {1, 5};
    c.setValidOperators(ops, 2);
    const std::function<void()> refusals[] = {
        [] { DKSearchCriteria("E", nullptr); }, [] { DKSearchCriteria(nullptr, "a"); }, [&] { c.setValues(two, 0); },
        [&] { c.setValues(nullptr, 2); }, [&] { c.setValue(nullptr); }, [&] { c.setDisplayName(nullptr); },
        [&] { c.setValidOperators(nullptr, 1); }, [&] { c.setValidOperators(ops, -1); },
        [&] { c.setDefaultValues(nullptr, 0); }};
    for (const auto& f : refusals) EXPECT_EQ(303, dktest::usageError(f));
    long n = 0, ops2 = 0;
    std::unique_ptr<DKString[]> values(c.getValues(n));
    std::unique_ptr<short[]> kept(c.getValidOperators(ops2));
    EXPECT_EQ("2 1 shown 2", std::to_string(n) + " " + c.getValue().str() + " " + c.getDisplayName().str() + " " +
                                 std::to_string(ops2));   // everything as it was before the refusals
    EXPECT_EQ(5, kept[1]);
    c.setValidOperators(ops, 0);
    c.setDefaultValues(two, 1);
    const bool noOps = c.getValidOperators(ops2) == nullptr;
    std::unique_ptr<DKString[]> defaults(c.getDefaultValues(n));
    EXPECT_EQ(std::make_tuple(true, 0L, 1L), std::make_tuple(noOps, ops2, n));
}

TEST(DKSearchCriteria, PredefinedValuesAreOwnedOnlyOnceAccepted) {
    DKSearchCriteria c("E", "colour");
    auto noPairs = std::make_unique<DKPredefinedValues>("E", "colour");
    auto noEntity = std::make_unique<DKPredefinedValues>("", "colour");
    noEntity->addValuePair("a", "b");
    for (DKPredefinedValues* refused : {noPairs.get(), noEntity.get(), static_cast<DKPredefinedValues*>(nullptr)})
        EXPECT_EQ(303, dktest::usageError([&] { c.addPredefinedValues(refused); }));

    c.addPredefinedValues(colours());
    c.addPredefinedValues(colours());
    std::unique_ptr<dkCollection> view(c.getPredefinedValues());   // the entries, not the lists
    EXPECT_EQ(std::make_pair(2UL, 2UL), std::make_pair(view->cardinality(), c.getPredefinedValuesI()->cardinality()));
    view.reset();
    c.removePredefinedValues();   // deletes both lists (AddressSanitizer: a leak otherwise)
    EXPECT_EQ(0UL, c.getPredefinedValuesI()->cardinality());
    c.addPredefinedValues(colours());   // and this one dies with the criterion
}

TEST(DKPredefinedValues, PairsAreRemovedByNameAndValueFromTheEnd) {
    DKPredefinedValues pv("E", "a");
    pv.removeValuePair("x", "1");   // no list yet
    for (const char* v : {"1", "2", "1"}) pv.addValuePair("x", v);
    for (const char* v : {"9", "1"}) pv.removeValuePair("x", v);
    std::unique_ptr<dkCollection> pairs(pv.getValuePairs());
    ASSERT_EQ(2UL, pairs->cardinality());
    std::unique_ptr<dkIterator> it(pairs->createIterator());
    it->next();
    EXPECT_EQ(DKString("2"), static_cast<DKNVPair*>(it->next()->value())->getValue().toString());   // the last "1" went
}

TEST(dkSearchTemplate, SlotsALeftOutConnectorRejectsWith341) {
    OnlyExpression t;
    const std::string text = dktest::failureOf<DKUsageError>([&] { t.clearCache(); }).text;
    EXPECT_NE(std::string::npos, text.find("dkSearchTemplate::clearCache()"));   // the slot is named
    t.setId(4);
    t.setName("find");
    EXPECT_EQ("4 find", std::to_string(t.getId()) + " " + t.getName().str());
    EXPECT_EQ(nullptr, t.getDatastore());
}
