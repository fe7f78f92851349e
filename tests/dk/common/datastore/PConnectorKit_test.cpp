// tests/dk/common/datastore/PConnectorKit_test.cpp
//
// The connector kit: what the one protocol rule refuses and with which texts, the
// item maps kept on a definition until its items change, the all-or-none loop with its unit of
// work, its refusals and its locations, the filling of DDOs in place (values, owned objects,
// pids) with the reused row every cursor has through it, and the schema objects' attribute lists
// and list collections with what they own.

#include <dk/DKDDO.hpp>
#include <dk/DKException.hpp>
#include <dk/DKSequentialCollection.hpp>
#include <dk/DKPid.hpp>
#include <dk/PConnectorKit.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkDatastoreDef.hpp>
#include <dk/dkResultSetCursor.hpp>
#include <dk/dkThrow.hpp>
#include <dk/dkXDO.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

const PObjectRules kRules{9018, "connectors/test/Kit", "no data object", "not storable", "not a DDO"};

// A content object alone (protocol 12): a data object that carries no data items.
class ContentHalf : public dkXDO {};

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

// A DDO of every kind (a resource through its DDO half too) is stored by the connector suites;
// here, what the rule refuses and the texts it refuses with.
TEST(PConnectorKitRule, OthersAreRefusedWithTheCallersTexts) {
    Plain plain;
    EXPECT_EQ(nullptr, PConnectorKit::storable(static_cast<dkDataObject*>(&plain)));
    // Refusals carry the caller's number, location and texts, and say what the object was.
    ContentHalf content;
    const DKAny contentElement = element(&content), none, null(static_cast<dkDataObjectBase*>(nullptr));
    const std::pair<std::function<void()>, const char*> refused[] = {
        {[&] { PConnectorKit::checkedObject(&plain, kRules, "Kit::addObject"); }, "not a DDO (protocol 0)"},
        {[&] { PConnectorKit::checkedObject(nullptr, kRules, "Kit::addObject"); }, "(protocol -1)"},
        {[&] { PConnectorKit::checkedElement(&contentElement, kRules, "Kit::addObjects"); }, "not storable"},
        {[&] { PConnectorKit::checkedElement(&none, kRules, "Kit::addObjects"); }, "no data object"},
        {[&] { PConnectorKit::checkedElement(&null, kRules, "Kit::addObjects"); }, "no data object"}};
    for (const auto& [call, text] : refused) {
        const dktest::Failure f = dktest::failureOf<DKUsageError>(call);
        EXPECT_EQ(9018, f.id);
        EXPECT_NE(std::string::npos, f.text.find(text)) << f.text;
    }
}

TEST(PConnectorKitItemMap, MadeOncePerDefinitionAndRemadeWhenItsItemsChange) {
    PAttributeNames names, exact(false);
    DKDDOBase shaped, mixed;
    for (const char* n : {"title", "count", "day"}) {
        names.add(n);
        exact.add(n);
        shaped.addData(n);   // shaped like the entity: every item in its place
    }
    const PItemMap& first = PConnectorKit::itemMap(shaped, names);
    EXPECT_EQ(&first, &PConnectorKit::itemMap(shaped, names));   // kept, not made again
    EXPECT_EQ(3, first.itemOf(2));
    EXPECT_EQ(0, first.stranger());

    // Another order, other case, one item of the caller's own.
    for (const char* n : {"DAY", "mine", "Title"}) mixed.addData(n);
    const PItemMap& m = PConnectorKit::itemMap(mixed, names);
    EXPECT_EQ((std::vector<long>{3, 0, 1, 0, 2}),
              (std::vector<long>{m.itemOf(0), m.itemOf(1), m.itemOf(2), m.itemOf(99), m.stranger()}));
    EXPECT_EQ(PItemMap::npos, m.attributeOf(2));
    EXPECT_EQ(0u, m.attributeOf(3));

    // Renaming and adding items make the kept map stale; so does mapping another list.
    mixed.setDataName(2, "count");
    const PItemMap& renamed = PConnectorKit::itemMap(mixed, names);
    EXPECT_EQ(2, renamed.itemOf(1));
    EXPECT_EQ(0, renamed.stranger());
    mixed.addData("extra");
    EXPECT_EQ(4, PConnectorKit::itemMap(mixed, names).stranger());
    exact.add("extra");
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
        EXPECT_STREQ("Kit::updateObjects", e.locationAtIndex(1)->functionName());
    }
    EXPECT_EQ((std::vector<std::string>{"begin", "write", "undo"}), log);
}

namespace {

using CountedCollection = dktest::Counted<DKSequentialCollection>;

// A cursor of the base kind: it hands out new DDOs, each with a collection item, and nothing else.
class NewRowCursor : public dkResultSetCursor {
public:
    NewRowCursor(dkDatastore* ds, int rows) : ds_(ds), rows_(rows) {}
    using dkResultSetCursor::fetchNext;
    DKDDO* fetchNext() override {
        if (rows_-- <= 0) return nullptr;
        auto* d = new DKDDO(ds_, "Row", 2);
        d->addData("n", DKAny(static_cast<long>(rows_)));
        const unsigned short c = d->addData("parts");
        d->addDataProperty(c, "type", DKAny(static_cast<unsigned short>(1072)));
        d->setData(c, DKAny(static_cast<dkCollection*>(new CountedCollection)));
        d->addProperty("fresh", DKAny(1L));
        return d;
    }

private:
    dkDatastore* ds_;
    int rows_;
};

}  // namespace

TEST(PConnectorKitFill, ValuesAreReadInPlaceAndOwnedObjectsDroppedOnce) {
    CountedCollection::alive = 0;
    DKDDO d;
    d.addData("title");
    d.addData("parts");
    d.setData(1, DKAny(DKString(std::string(30, 'a'))));
    DKAny& v = PConnectorKit::fill(d, 1);
    const void* object = v.value();
    *static_cast<DKString*>(v.value()) = std::string(30, 'b');   // the connector's in-place read
    EXPECT_EQ(object, PConnectorKit::setValue(d, 1)->value());
    EXPECT_EQ(DKString(std::string(30, 'b').c_str()), static_cast<DKString>(d.getData(1)));
    EXPECT_TRUE(d.isDataSet(1) && !d.isDataChanged(1));   // as a retrieve leaves it

    // An owned collection is deleted before the entry is handed out, and never again.
    d.setData(2, DKAny(static_cast<dkCollection*>(new CountedCollection)));
    EXPECT_TRUE(PConnectorKit::fill(d, 2).isNull());
    EXPECT_EQ(0, CountedCollection::alive);
    PConnectorKit::fill(d, 2) = DKAny(3L);
    d.setData(2, DKAny(static_cast<dkCollection*>(new CountedCollection)));
    PConnectorKit::unset(d, 2);
    EXPECT_TRUE(CountedCollection::alive == 0 && !d.isDataSet(2) && d.isNull(2));

    // The item's properties are frozen as setData freezes them.
    d.addDataProperty(1, "unit");
    EXPECT_EQ(381L, dktest::errorOf<DKUsageError>([&] { PConnectorKit::fill(d, 1); }));
}

TEST(PConnectorKitFill, PidsAreStampedInPlaceWhenTheirClassesAgree) {
    DKDDO d;
    const DKPid* own = d.getPidObject();
    DKPid stamp;
    stamp.setDatastoreType("SQLITE");
    stamp.setDatastoreName("repo");
    stamp.setObjectType("Doc");
    stamp.setIdString(0, "17");
    PConnectorKit::setPid(d, stamp);
    EXPECT_TRUE(own == d.getPidObject() && stamp.pidString() == d.getPid().pidString());   // no new pid
    stamp.setIdString(0, "18");
    EXPECT_EQ(DKString("17"), d.getPid().getIdString(0));   // a copy, not the stamp itself

    DKPidXDO content;
    content.setObjectType("Doc");
    PConnectorKit::setPid(d, content);
    EXPECT_EQ(DKString("DKPidXDO"), d.getPid().pidType());   // another class: cloned as setPid does
    // A row built without a pid (as cursors build new DDOs) takes one clone of the stamp's class.
    for (const DKPid* s : {static_cast<const DKPid*>(&stamp), static_cast<const DKPid*>(&content)}) {
        DKDDO row(static_cast<unsigned short>(0));
        PConnectorKit::setPid(row, *s);
        EXPECT_TRUE(&row.getPid() != s && row.getPid().pidType() == s->pidType() &&
                    row.getPid().pidString() == s->pidString());
    }
}

TEST(PConnectorKitFill, RefilledRowsTakeOnlyTheIdWhenTheirPidNamesTheSameItems) {
    DKDDODef* def = new DKDDODef();
    def->addData("n");
    DKPid frame;
    frame.setDatastoreType("PG");
    frame.setDatastoreName("repo");
    frame.setObjectType("Doc");
    DKDDO row;
    const std::vector<unsigned short> none;
    PConnectorKit::refillRow(row, def, frame, "17", nullptr, none);
    const DKPid* own = row.getPidObject();
    PConnectorKit::refillRow(row, def, frame, "18", nullptr, none);
    EXPECT_TRUE(own == row.getPidObject() && row.getPid().getIdString(0) == DKString("18"));
    EXPECT_EQ(DKString(""), frame.getIdString(0));   // the frame is never written

    // Other names, another class or no id: the whole pid, then the id.
    frame.setObjectType("Memo");
    PConnectorKit::refillRow(row, def, frame, "19", nullptr, none);
    EXPECT_TRUE(row.getPid().getObjectType() == "Memo" && row.getPid().getIdString(0) == "19");
    row.setPid(DKPidXDO());
    PConnectorKit::refillRow(row, def, frame, "20", nullptr, none);
    EXPECT_TRUE(row.getPid().pidType() == "DKPid" && row.getPid().getIdString(0) == "20");
    PConnectorKit::refillRow(row, def, frame, nullptr, nullptr, none);
    EXPECT_EQ(frame.pidString(), row.getPid().pidString());
    row.reset(nullptr);
    delete def;
}

TEST(PConnectorKitFill, BaseCursorsFillAReusedRowByHandingOverNewOnes) {
    CountedCollection::alive = 0;
    dkDatastore ds;
    NewRowCursor cursor(&ds, 3);
    DKDDO row;
    row.addData("mine", DKAny(1L));
    row.addProperty("old", DKAny(2L));
    long seen = 0;
    while (cursor.fetchNext(row)) {
        ++seen;
        ASSERT_EQ(2, row.dataCount());
        EXPECT_EQ(3 - seen, static_cast<long>(row.getDataByName("n")));
        EXPECT_TRUE(!row.isDataChanged(1) && row.isDataChanged(2));   // flags as the fetched DDO had them
        // The collection moved over and now belongs to the row, which deletes the last one.
        auto* parts = static_cast<dkCollection*>(row.getData(2));
        EXPECT_EQ(static_cast<dkDataObjectBase*>(&row), parts->getOwner());
        EXPECT_EQ(1, CountedCollection::alive);
        ASSERT_EQ(1, row.propertyCount());
        EXPECT_EQ(DKString("fresh"), row.getPropertyName(1));
        EXPECT_TRUE(row.getDatastore() == &ds && row.getObjectType() == DKString("Row"));
    }
    EXPECT_EQ(3, seen);
    EXPECT_EQ(1, CountedCollection::alive);   // the last row's, until the row goes
    row.reset(nullptr);
    EXPECT_EQ(0, CountedCollection::alive);
}

TEST(PConnectorKitFill, RowObjectsInOneBlockLiveAndDieAsAnyDDO) {
    DKDDODef* def = new DKDDODef();
    def->addData("n");
    def->addData("title");
    DKPid stamp;
    stamp.setObjectType("Doc");
    stamp.setIdString(0, "a pid id long enough for a buffer of its own");
    DKPidXDO content;
    content.setObjectType("Doc");
    for (const DKPid* pid : {static_cast<const DKPid*>(&stamp), static_cast<const DKPid*>(&content)}) {
        std::unique_ptr<DKDDO> row(PConnectorKit::newRowObject(def, *pid, nullptr));
        EXPECT_EQ(pid->pidString(), row->getPid().pidString());
        EXPECT_EQ(pid->pidType(), row->getPid().pidType());
        EXPECT_TRUE(row->getDatastore() == nullptr && row->dataCount() == def->dataCount() && !row->isDataSet(1));
        PConnectorKit::fill(*row, 2) = DKAny("a title long enough for a buffer of its own");
        row->setData(1, DKAny(5L));
        row->addData(pid->pidType(), DKAny("grown past the values in the block"));   // the values move out
        EXPECT_EQ(DKString("a title long enough for a buffer of its own"), static_cast<DKString>(row->getData(2)));
        EXPECT_EQ(5L, static_cast<long>(row->getDataByName("n")));
        std::unique_ptr<DKDDO> second(PConnectorKit::newRowObject(def, *pid, nullptr));
        second->setPid(content);   // the pid in the block replaced by a clone
        EXPECT_EQ(DKString("DKPidXDO"), second->getPid().pidType());
        second->reset(nullptr);   // the values in the block dropped, new ones of its own
        second->addData("x", DKAny(1L));
    }
    delete def;
}

namespace {

using CountedAttr = dktest::Counted<dkAttrDef>;

// A new attribute definition that counts among the live ones, so that ownership shows.
CountedAttr* attr(const char* name, unsigned short type = 1) {
    auto* a = new CountedAttr;
    a->setName(name);
    a->setType(type);
    return a;
}

bool validName(const char* name) { return name[0] != '\0' && name[0] != '_'; }
bool storableType(unsigned short type) { return type != 99; }

const PAttrDefRules kAttrRules{"connectors/test/Kit", 1, 2, 3, 4, validName, storableType};

}  // namespace

TEST(PConnectorKitAttrDefs, AdoptChecksInOrderAndRefusedDefinitionsStayTheCallers) {
    {
        PAttrDefList list;
        list.adopt(attr("Title"), kAttrRules, "Kit::addAttr");
        list.adopt(attr("pages"), kAttrRules, "Kit::addAttr");
        EXPECT_EQ(2, list.find("PAGES")->getId());
        const std::unique_ptr<dkAttrDef> badName(attr("_x")), badType(attr("y", 99)), again(attr("TITLE"));
        const std::pair<dkAttrDef*, long> refused[] = {
            {nullptr, 1}, {badName.get(), 3}, {badType.get(), 4}, {again.get(), 2}};
        for (const auto& r : refused)
            EXPECT_EQ(r.second, dktest::failureOf<DKUsageError>([&] { list.adopt(r.first, kAttrRules, "Kit::addAttr"); }).id);
        EXPECT_EQ(2u, list.size());
        EXPECT_EQ(5, CountedAttr::alive);
    }
    EXPECT_EQ(0, CountedAttr::alive);   // the list deleted its own two, the caller its three
}

TEST(PConnectorKitAttrDefs, LookupsIgnoreCaseAndReleaseHandsOwnershipBack) {
    PAttrDefList list;
    for (const char* name : {"a", "Bee", "c"}) list.adopt(attr(name), kAttrRules, "Kit::addAttr");
    EXPECT_EQ("Bee", list.get("BEE", kAttrRules, "Kit::getAttr").getName().str());
    EXPECT_EQ(nullptr, list.find(nullptr));
    EXPECT_EQ(1, dktest::failureOf<DKUsageError>([&] { list.get("d", kAttrRules, "Kit::getAttr"); }).id);
    EXPECT_EQ(1, dktest::failureOf<DKUsageError>([&] { list.release("d", kAttrRules, "Kit::removeAttr"); }).id);
    std::unique_ptr<dkAttrDef> taken(list.release("bee", kAttrRules, "Kit::removeAttr"));
    EXPECT_TRUE(list.erase("A") && !list.erase("a"));
    long count = -1;
    std::unique_ptr<DKString[]> names(list.names(count));
    EXPECT_EQ(dktest::Texts{"c"}, dktest::Texts(names.get(), names.get() + count));
    list.clear();
    EXPECT_EQ(1, CountedAttr::alive);   // the released one only
    taken.reset();
    std::unique_ptr<DKString[]> none(list.names(count));
    EXPECT_EQ(0, count);
}

TEST(PConnectorKitAttrDefs, DefinitionCollectionsDeleteWhatTheyHold) {
    auto coll = std::make_unique<PDefCollection>();
    coll->addAttr(attr("a"));
    coll->addAttr(attr("b"));
    coll->removeAllElements();
    EXPECT_EQ(0, CountedAttr::alive);
    coll->addAttr(attr("c"));
    coll.reset();
    EXPECT_EQ(0, CountedAttr::alive);
}

TEST(PConnectorKitCatalogue, AttributeEntriesRoundTripAndItemPidsAreRestampedPerRowAndRepository) {
    dkAttrDef from;
    from.setName("Pages");
    from.setType(3);
    from.setId(2);
    from.setNullable(0);
    from.setSize(9);
    from.setDescription("count");
    from.setTextSearchable(1);
    const PCatalogueAttr entry = PCatalogueAttr::of(from);
    dkAttrDef to;
    entry.applyTo(to, "Book");
    EXPECT_EQ(entry.name + "/3/2/0/9/count/1/Book",
              to.getName().str() + "/" + std::to_string(to.getType()) + "/" + std::to_string(to.getId()) + "/" +
                  std::to_string(to.isNullable()) + "/" + std::to_string(to.getSize()) + "/" +
                  to.getDescription().str() + "/" + std::to_string(to.isTextSearchable()) + "/" +
                  to.getEntityName().str());

    PItemPid pids;
    EXPECT_EQ((dktest::Texts{"41", "", "two", "Book"}),
              (dktest::Texts{pids.pidFor("T", "one", "Book", 41).getIdString(0).str(),
                             pids.pidFor("T", "one", "Book", 0).getIdString(0).str(),
                             pids.pidFor("T", "two", "Book", 7).getDatastoreName().str(),
                             pids.pidFor("T", "two", "Book", 8).getObjectType().str()}));
}

TEST(PConnectorKitRowId, OnlyAPositiveIdOfTheSameTypeAndRepositoryIsARow) {
    const auto rowOf = [](const char* type, const char* repository, long row, const char* idText) {
        DKPid pid = PItemPid().pidFor(type, repository, "Book", row);
        if (idText != nullptr) pid.setIdString(0, idText);
        DKDDO ddo(pid, 1);
        return PConnectorKit::rowIdOf(ddo, "T", "one", kRules, "Kit::retrieveObject");
    };
    EXPECT_EQ(12, rowOf("T", "one", 12, nullptr));
    const std::pair<const char*, const char*> others[] = {{"U", "one"}, {"T", "two"}};   // type, repository
    for (const auto& o : others)
        EXPECT_EQ(9018, dktest::failureOf<DKUsageError>([&] { rowOf(o.first, o.second, 12, nullptr); }).id);
    for (const char* idText : {"", "0", "-3", "12x"})
        EXPECT_EQ(9018, dktest::failureOf<DKUsageError>([&] { rowOf("T", "one", 1, idText); }).id) << idText;
}

TEST(PConnectorKitValues, IntegersReadAsLongUpToLongMax) {
    long n = 0;
    EXPECT_TRUE(PConnectorKit::integerOf(DKAny(static_cast<unsigned long>(LONG_MAX)), n) && n == LONG_MAX);
    EXPECT_TRUE(PConnectorKit::integerOf(DKAny(static_cast<short>(-7)), n) && n == -7);
    EXPECT_FALSE(PConnectorKit::integerOf(DKAny(static_cast<unsigned long>(LONG_MAX) + 1UL), n) ||
                 PConnectorKit::integerOf(DKAny(1.5), n));
}
