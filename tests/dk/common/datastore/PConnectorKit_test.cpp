// tests/dk/common/datastore/PConnectorKit_test.cpp
//
// The connector kit: the one protocol rule (a DDO that is also a content object included), the
// item maps kept on a definition until its items change, and the all-or-none loop with its
// unit of work, its refusals and its locations.

#include <dk/DKDDO.hpp>
#include <dk/DKException.hpp>
#include <dk/DKSequentialCollection.hpp>
#include <dk/PConnectorKit.hpp>
#include <dk/dkThrow.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const PObjectRules kRules{9018, "connectors/test/Kit", "no data object", "not storable", "not a DDO"};

// A second data-object base, as a content object brings one: a DDO and a content object at once
// answers protocol 13 through both halves.
class ContentHalf : public dkDataObjectBase {
public:
    short protocol() const override { return DKProtocolResource; }
};
class Resource : public DKDDO, public ContentHalf {
public:
    short protocol() const override { return DKProtocolResource; }
};

class Plain : public dkDataObject {};

void fill(DKSequentialCollection& c, const std::vector<DKAny>& elements) {
    for (const DKAny& e : elements) c.addElement(e);
}

DKAny element(dkDataObjectBase* o) { return DKAny(o); }

// The unit of work of a test connector: records what happened to it.
struct Unit {
    std::vector<std::string>* log;
    bool committed = false;
    explicit Unit(std::vector<std::string>* l) : log(l) { log->push_back("begin"); }
    Unit(const Unit&) = delete;
    void commit() {
        committed = true;
        log->push_back("commit");
    }
    ~Unit() {
        if (!committed) log->push_back("undo");
    }
};

}  // namespace

TEST(PConnectorKitRule, DDOsOfEveryKindAreStoredAndOthersRefusedWithTheCallersTexts) {
    DKDDOBase base;
    DKDDO ddo;
    Resource resource;
    Plain plain;
    EXPECT_EQ(&base, PConnectorKit::storable(static_cast<dkDataObject*>(&base)));
    EXPECT_EQ(&ddo, PConnectorKit::storable(static_cast<dkDataObject*>(&ddo)));
    EXPECT_EQ(static_cast<DKDDOBase*>(&resource), PConnectorKit::storable(static_cast<dkDataObject*>(&resource)));
    // An element may point at either half of a resource; the rule finds its DDO from both.
    for (dkDataObjectBase* half : {static_cast<dkDataObjectBase*>(static_cast<DKDDO*>(&resource)),
                                   static_cast<dkDataObjectBase*>(static_cast<ContentHalf*>(&resource))}) {
        const DKAny e = element(half);
        EXPECT_EQ(static_cast<DKDDOBase*>(&resource), &PConnectorKit::checkedElement(&e, kRules, "Kit::addObjects"));
    }
    EXPECT_EQ(nullptr, PConnectorKit::storable(static_cast<dkDataObject*>(&plain)));
    EXPECT_EQ(nullptr, PConnectorKit::storable(static_cast<dkDataObject*>(nullptr)));

    const std::string text = dktest::expectThrownAt<DKUsageError>(
        [&] { PConnectorKit::checkedObject(&plain, kRules, "Kit::addObject"); }, 9018, "connectors/test/Kit",
        "Kit::addObject", 1);
    EXPECT_NE(std::string::npos, text.find("not a DDO (protocol 0)")) << text;
    const std::string none = dktest::expectThrownAt<DKUsageError>(
        [&] { PConnectorKit::checkedObject(nullptr, kRules, "Kit::addObject"); }, 9018, "connectors/test/Kit",
        "Kit::addObject", 1);
    EXPECT_NE(std::string::npos, none.find("(protocol -1)")) << none;

    ContentHalf content;   // a content object alone carries no data items
    for (const DKAny& bad : {DKAny(), DKAny(5L), DKAny(static_cast<dkDataObjectBase*>(nullptr))}) {
        const std::string t = dktest::expectThrownAt<DKUsageError>(
            [&] { PConnectorKit::checkedElement(&bad, kRules, "Kit::addObjects"); }, 9018, "connectors/test/Kit",
            "Kit::addObjects", 1);
        EXPECT_NE(std::string::npos, t.find("no data object")) << t;
    }
    const DKAny contentElement = element(&content);
    const std::string t = dktest::expectThrownAt<DKUsageError>(
        [&] { PConnectorKit::checkedElement(&contentElement, kRules, "Kit::addObjects"); }, 9018,
        "connectors/test/Kit", "Kit::addObjects", 1);
    EXPECT_NE(std::string::npos, t.find("not storable")) << t;
}

TEST(PConnectorKitItemMap, MadeOncePerDefinitionAndRemadeWhenItsItemsChange) {
    PAttributeNames names;
    for (const char* n : {"title", "count", "day"}) names.add(n);
    // Shaped like the entity: every item in its place.
    DKDDOBase shaped;
    for (const char* n : {"title", "count", "day"}) shaped.addData(n);
    const PItemMap& first = PConnectorKit::itemMap(shaped, names);
    EXPECT_EQ(&first, &PConnectorKit::itemMap(shaped, names));   // kept, not made again
    EXPECT_EQ(3, first.itemOf(2));
    EXPECT_EQ(0, first.stranger());

    // Another order, other case, one item of the caller's own.
    DKDDOBase mixed;
    for (const char* n : {"DAY", "mine", "Title"}) mixed.addData(n);
    const PItemMap& m = PConnectorKit::itemMap(mixed, names);
    EXPECT_EQ(3, m.itemOf(0));
    EXPECT_EQ(0, m.itemOf(1));
    EXPECT_EQ(1, m.itemOf(2));
    EXPECT_EQ(PItemMap::npos, m.attributeOf(2));
    EXPECT_EQ(0u, m.attributeOf(3));
    EXPECT_EQ(2, m.stranger());
    EXPECT_EQ(0, m.itemOf(99));

    // Renaming and adding items make the kept map stale; so does mapping another list.
    mixed.setDataName(2, "count");
    const PItemMap& renamed = PConnectorKit::itemMap(mixed, names);
    EXPECT_EQ(2, renamed.itemOf(1));
    EXPECT_EQ(0, renamed.stranger());
    mixed.addData("extra");
    EXPECT_EQ(4, PConnectorKit::itemMap(mixed, names).stranger());
    PAttributeNames exact(false);
    for (const char* n : {"title", "count", "day", "extra"}) exact.add(n);
    const PItemMap& other = PConnectorKit::itemMap(mixed, exact);
    EXPECT_EQ(0, other.itemOf(0));   // "DAY" is not "day" when case counts
    EXPECT_EQ(4, other.itemOf(3));

    // Sharers of one definition share its map; a DDO without a definition maps nothing.
    DKDDODef* def = new DKDDODef();
    def->addData("count");
    {
        DKDDOBase a(def), b(def);
        def->addData("title");   // after sharing: both sharers see it
        EXPECT_EQ(&PConnectorKit::itemMap(a, names), &PConnectorKit::itemMap(b, names));
        EXPECT_EQ(2, PConnectorKit::itemMap(b, names).itemOf(0));
    }
    delete def;   // the creator's count, and the map with the definition (a leak checker sees it)
    DKDDOBase empty;
    EXPECT_EQ(0, PConnectorKit::itemMap(empty, names).itemCount());
    EXPECT_EQ(0, PConnectorKit::itemMap(empty, names).itemOf(0));
}

TEST(PConnectorKitItemMap, ValuesAreReadInPlace) {
    DKDDOBase d;
    d.addData("title");
    d.addData("count");
    d.setData(1, DKAny("text"));
    const DKAny* v = PConnectorKit::setValue(d, 1);
    ASSERT_NE(nullptr, v);
    EXPECT_EQ(v, PConnectorKit::setValue(d, 1));   // the DDO's own value, not a copy
    EXPECT_EQ(DKString("text"), static_cast<DKString>(*v));
    EXPECT_EQ(nullptr, PConnectorKit::setValue(d, 2));
    EXPECT_TRUE(PConnectorKit::changed(d, 1));
    d.resetDataChanged();
    EXPECT_FALSE(PConnectorKit::changed(d, 1));
    EXPECT_EQ(376L, dktest::errorOf<DKUsageError>([&] { PConnectorKit::setValue(d, 0); }));
    EXPECT_EQ(392L, dktest::errorOf<DKUsageError>([&] { PConnectorKit::setValue(d, 3); }));
}

TEST(PConnectorKitLoop, AllOrNoneChecksEveryElementFirstAndFinishesOnlyAfterCommit) {
    DKDDO a, b, c;
    Plain plain;
    std::vector<std::string> log;
    auto run = [&](dkCollection* objects, const DKDDO* failAt) {
        PConnectorKit::allOrNone(
            objects, kRules, "Kit::updateObjects", [&] { return Unit(&log); },
            [&](DKDDOBase& o) {
                if (&o == failAt) dkThrow<DKDataObjectNotFound>(9019, "connectors/test/Kit", "Kit::updateObject");
                log.push_back("write");
                return static_cast<int>(log.size());
            },
            [&](DKDDOBase&, int written) { log.push_back("finish " + std::to_string(written)); });
    };

    run(nullptr, nullptr);
    DKSequentialCollection empty;
    run(&empty, nullptr);
    EXPECT_TRUE(log.empty());   // nothing to write opens no unit

    DKSequentialCollection all;
    fill(all, {element(&a), element(&b), element(&c)});
    run(&all, nullptr);
    EXPECT_EQ((std::vector<std::string>{"begin", "write", "write", "write", "commit", "finish 2", "finish 3",
                                        "finish 4"}),
              log);

    // A refused element is found before the unit opens.
    log.clear();
    DKSequentialCollection withPlain;
    fill(withPlain, {element(&a), element(&plain)});
    EXPECT_EQ(9018L, dktest::errorOf<DKUsageError>([&] { run(&withPlain, nullptr); }));
    EXPECT_TRUE(log.empty());

    // A failed write undoes the unit, finishes nothing and keeps its class, with the collection
    // operation's location after the write's own.
    log.clear();
    try {
        run(&all, &b);
        ADD_FAILURE() << "no exception";
    } catch (DKDataObjectNotFound& e) {
        EXPECT_EQ(9019UL, e.errorId());
        ASSERT_EQ(2UL, e.locationCount());
        EXPECT_STREQ("Kit::updateObject", e.locationAtIndex(0)->functionName());
        EXPECT_STREQ("Kit::updateObjects", e.locationAtIndex(1)->functionName());
        EXPECT_STREQ("connectors/test/Kit", e.locationAtIndex(1)->fileName());
    }
    EXPECT_EQ((std::vector<std::string>{"begin", "write", "undo"}), log);
}
