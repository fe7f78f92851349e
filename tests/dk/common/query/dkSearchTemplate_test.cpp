// tests/dk/common/query/dkSearchTemplate_test.cpp
//
// Search criteria, predefined values and the template base: rejections that leave everything as
// it was, ids read as shorts and longs, who owns predefined values, and the 341 of the slots a
// connector leaves out.

#include <dk/DKNVPair.hpp>
#include <dk/DKQExpr.hpp>
#include <dk/dkSearchTemplate.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <memory>

namespace {
class OnlyExpression : public dkSearchTemplate {
public:
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
    EXPECT_EQ(1, c.getDefaultOperator());
    EXPECT_EQ(1, c.getType());
    EXPECT_EQ(1, c.getDataType());
    EXPECT_EQ(1, c.isQueryable());
    EXPECT_EQ(1, c.isDisplayable());
    EXPECT_EQ(0, c.isSet());
    c.setValue("x");
    EXPECT_EQ(0, c.isSet());   // a value without an operator
    c.setOperator(5);
    EXPECT_EQ(1, c.isSet());

    c.setId(7);
    EXPECT_EQ(7L, c.getIntId());
    c.setIntId(70000);
    EXPECT_EQ(static_cast<short>(70000), c.getId());
    c.setAttrId(-2);
    EXPECT_EQ(-2L, c.getAttrIntId());

    for (short type = 0; type <= 20; ++type) {
        c.setDataType(type);
        const bool quoted = type == 1 || type == 2 || type == 7 || type == 8 || type == 9;
        EXPECT_EQ(quoted ? 1 : 0, c.isQuoteNeeded()) << type;
    }
}

TEST(DKSearchCriteria, RejectionsComeBeforeAnyChange) {
    EXPECT_EQ(303, dktest::usageError([] { DKSearchCriteria("E", nullptr); }));
    EXPECT_EQ(303, dktest::usageError([] { DKSearchCriteria(nullptr, "a"); }));
    DKSearchCriteria c("E", "a");
    DKString two[] = {"1", "2"};
    c.setValues(two, 2);
    EXPECT_EQ(1, c.hasMultiValues());
    dktest::expectThrownAt<DKUsageError>([&] { c.setValues(two, 0); }, 303, "dk/common/DKSearchCriteria",
                                         "DKSearchCriteria::setValues");
    EXPECT_EQ(303, dktest::usageError([&] { c.setValues(nullptr, 2); }));
    EXPECT_EQ(303, dktest::usageError([&] { c.setValue(nullptr); }));
    long n = 0;
    std::unique_ptr<DKString[]> values(c.getValues(n));
    EXPECT_EQ(2, n);
    EXPECT_EQ(DKString("1"), c.getValue());

    c.setDisplayName("shown");
    EXPECT_EQ(303, dktest::usageError([&] { c.setDisplayName(nullptr); }));
    EXPECT_EQ(DKString("shown"), c.getDisplayName());

    const short ops[] = {1, 5};
    c.setValidOperators(ops, 2);
    EXPECT_EQ(303, dktest::usageError([&] { c.setValidOperators(nullptr, 1); }));
    EXPECT_EQ(303, dktest::usageError([&] { c.setValidOperators(ops, -1); }));
    std::unique_ptr<short[]> kept(c.getValidOperators(n));
    ASSERT_EQ(2, n);
    EXPECT_EQ(5, kept[1]);
    c.setValidOperators(ops, 0);
    EXPECT_EQ(nullptr, c.getValidOperators(n));
    EXPECT_EQ(0, n);

    EXPECT_EQ(303, dktest::usageError([&] { c.setDefaultValues(nullptr, 0); }));
    c.setDefaultValues(two, 1);
    std::unique_ptr<DKString[]> defaults(c.getDefaultValues(n));
    EXPECT_EQ(1, n);
}

TEST(DKSearchCriteria, PredefinedValuesAreOwnedOnlyOnceAccepted) {
    DKSearchCriteria c("E", "colour");
    auto noPairs = std::make_unique<DKPredefinedValues>("E", "colour");
    dktest::expectThrownAt<DKUsageError>([&] { c.addPredefinedValues(noPairs.get()); }, 303,
                                         "dk/common/DKSearchCriteria", "DKSearchCriteria::addPredefinedValues");
    auto noEntity = std::make_unique<DKPredefinedValues>("", "colour");
    noEntity->addValuePair("a", "b");
    EXPECT_EQ(303, dktest::usageError([&] { c.addPredefinedValues(noEntity.get()); }));
    EXPECT_EQ(303, dktest::usageError([&] { c.addPredefinedValues(nullptr); }));

    c.addPredefinedValues(colours());
    c.addPredefinedValues(colours());
    std::unique_ptr<dkCollection> view(c.getPredefinedValues());   // the entries, not the lists
    EXPECT_EQ(2UL, view->cardinality());
    EXPECT_EQ(2UL, c.getPredefinedValuesI()->cardinality());
    view.reset();
    c.removePredefinedValues();   // deletes both lists (AddressSanitizer: a leak otherwise)
    EXPECT_EQ(0UL, c.getPredefinedValuesI()->cardinality());
    c.addPredefinedValues(colours());   // and this one dies with the criterion
}

TEST(DKPredefinedValues, PairsAreRemovedByNameAndValueFromTheEnd) {
    DKPredefinedValues pv("E", "a");
    pv.removeValuePair("x", "1");   // no list yet
    pv.addValuePair("x", "1");
    pv.addValuePair("x", "2");
    pv.addValuePair("x", "1");
    pv.removeValuePair("x", "9");
    pv.removeValuePair("x", "1");
    std::unique_ptr<dkCollection> pairs(pv.getValuePairs());
    ASSERT_EQ(2UL, pairs->cardinality());
    std::unique_ptr<dkIterator> it(pairs->createIterator());
    it->next();
    auto* second = static_cast<DKNVPair*>(it->next()->value());
    EXPECT_EQ(DKString("2"), second->getValue().toString());   // the last "x"="1" went
}

TEST(dkSearchTemplate, SlotsALeftOutConnectorRejectsWith341) {
    OnlyExpression t;
    std::unique_ptr<DKCQExpr> e(t.createCQExpr());
    std::string text = dktest::expectThrownAt<DKUsageError>([&] { t.clearCache(); }, 341, "dk/common/dkSearchTemplate",
                                                            "dkSearchTemplate::clearCache()");
    EXPECT_NE(std::string::npos, text.find("dkSearchTemplate::clearCache()"));
    long n = 0;
    EXPECT_EQ(341, dktest::usageError([&] { t.listCriteriaNames(n); }));
    EXPECT_EQ(341, dktest::usageError([&] { t.retrieve(); }));
    t.setId(4);
    t.setName("find");
    EXPECT_EQ(4, t.getId());
    EXPECT_EQ(DKString("find"), t.getName());
    EXPECT_EQ(nullptr, t.getDatastore());
}
