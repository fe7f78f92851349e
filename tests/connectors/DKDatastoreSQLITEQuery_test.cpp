// tests/connectors/DKDatastoreSQLITEQuery_test.cpp
//
// The SQLite connector's query objects and callbacks: parameter lists with their end and prepare
// marks, query objects made by the datastore and run through it, foreign query objects, rows
// handed to a callback in batches, and what query trees are refused for. The connector is loaded from libdkdssqlite.so.

#include "dkConnectorSupport.hpp"
#include "dkSqliteTestSupport.hpp"

#include <dk/DKOpCode.hpp>
#include <dk/dkCallback.hpp>
#include <dk/dkQuery.hpp>

using namespace dkconf;
using namespace dksqlitetest;

namespace {

// A repository with Doc(n long, title string, price decimal) holding n = 1..5.
struct Repo {
    dktest::TempDir dir;
    std::unique_ptr<dkDatastore> ds;
    Repo() {
        ds = open((dir / "q.db").string(), "create=1");
        defineEntity(*ds, "Doc", {{"n", DKAny::tc_long}, {"title", DKAny::tc_string}, {"price", DKAny::tc_decimal}});
        for (long n = 1; n <= 5; ++n) addedItem(*ds, "Doc", {{"n", DKAny(n)}, {"title", DKAny(n % 2 ? "odd" : "even")}});
    }
};

// The values of n in a collection of Doc rows, in order.
std::vector<long> numbers(dkCollection& rows) {
    std::vector<long> out;
    std::unique_ptr<dkIterator> it(rows.createIterator());
    while (it->more()) {
        auto* row = dynamic_cast<DKDDO*>(static_cast<dkDataObjectBase*>(*it->next()));
        out.push_back(row != nullptr ? static_cast<long>(row->getDataByName("n")) : -1);
    }
    return out;
}

std::vector<long> numbers(dkResultSetCursor& c) {
    std::vector<long> out;
    while (std::unique_ptr<DKDDO> d{c.fetchNext()}) out.push_back(static_cast<long>(d->getDataByName("n")));
    return out;
}

// Records each batch (its n values and last flag) and each exception; stops after stopAfter
// batches when that is positive.
class Recorder : public dkCallback {
public:
    explicit Recorder(long threshold, int stopAfter = 0) : threshold_(threshold), stopAfter_(stopAfter) {}
    long getThreshold() override { return threshold_; }
    int dataCallback(dkCollection* results, int last) override {
        batches.push_back({numbers(*results), last});
        return stopAfter_ > 0 && static_cast<int>(batches.size()) >= stopAfter_ ? 0 : 1;
    }
    void reportException(DKException* e) override {
        errors.push_back({static_cast<long>(e->errorMessageId()), e->name()});
        delete e;
    }
    std::vector<std::pair<std::vector<long>, int>> batches;
    std::vector<std::pair<long, std::string>> errors;

private:
    long threshold_;
    int stopAfter_;
};

}  // namespace

TEST(DKDatastoreSQLITEQueryObjects, ParameterListsEndAtTheirMarkAndMayWaitForOpen) {
    Repo r;
    const char* sql = "SELECT * FROM Doc WHERE n >= ? AND n <= ? ORDER BY n";
    // "End" ends a list like an empty name: what follows it is never read.
    DKNVPair ended[] = {DKNVPair("lo", DKAny(2L)), DKNVPair("hi", DKAny(3L)), DKNVPair("End"), DKNVPair("x", DKAny(9L))};
    std::unique_ptr<dkResultSetCursor> c(r.ds->execute(sql, 4, ended));
    EXPECT_EQ((std::vector<long>{2, 3}), numbers(*c));
    // The prepare mark binds nothing: the values around it keep their places.
    DKNVPair marked[] = {DKNVPair("lo", DKAny(4L)), DKNVPair("Prepare Query"), DKNVPair("hi", DKAny(5L)), DKNVPair("End")};
    c.reset(r.ds->execute(sql, 4, marked));
    EXPECT_EQ(0, c->isOpen());   // a prepared cursor waits for its open
    c->open();
    EXPECT_EQ((std::vector<long>{4, 5}), numbers(*c));
    // Prepared without values, it runs only once they come.
    DKNVPair bare[] = {DKNVPair("Prepare Query"), DKNVPair("End")};
    c.reset(r.ds->execute(sql, 4, bare));
    EXPECT_EQ(nullptr, std::unique_ptr<DKDDO>(c->fetchNext()));
    EXPECT_EQ(9017L, errorOf<DKUsageError>([&] { c->open(); }));
    DKNVPair later[] = {DKNVPair("lo", DKAny(1L)), DKNVPair("hi", DKAny(2L)), DKNVPair("")};
    c->open(later);
    EXPECT_EQ((std::vector<long>{1, 2}), numbers(*c));
    c->open();   // the values stay bound
    EXPECT_EQ((std::vector<long>{1, 2}), numbers(*c));
    // Without the mark, every parameter needs its value; one too many is refused.
    DKNVPair one[] = {DKNVPair("lo", DKAny(1L)), DKNVPair("End")};
    EXPECT_EQ(9017L, errorOf<DKUsageError>([&] { r.ds->execute(sql, 4, one); }));
    DKNVPair three[] = {DKNVPair("a", DKAny(1L)), DKNVPair("b", DKAny(1L)), DKNVPair("c", DKAny(1L)), DKNVPair("End")};
    EXPECT_EQ(9017L, errorOf<DKUsageError>([&] { r.ds->execute(sql, 4, three); }));
}

TEST(DKDatastoreSQLITEQueryObjects, CreatedQueriesRunPreparedOrNotAndHandTheirResultsOver) {
    Repo r;
    std::unique_ptr<dkQuery> q(r.ds->createQuery("SELECT * FROM Doc WHERE n > ? ORDER BY n", 4, nullptr));
    ASSERT_NE(nullptr, dynamic_cast<DKSQLQuery*>(q.get()));
    EXPECT_EQ(4, q->qlType());
    EXPECT_EQ(r.ds.get(), q->datastore());
    // prepare, then execute with the values: the same statement is opened with them.
    q->prepare(nullptr);
    DKNVPair three[] = {DKNVPair("n", DKAny(3L)), DKNVPair("End")};
    q->execute(three);
    std::unique_ptr<dkCollection> rows(static_cast<dkCollection*>(q->result(1)));
    EXPECT_EQ((std::vector<long>{4, 5}), numbers(*rows));

    // Through the datastore: execute hands the query's cursor over, evaluate its collection.
    DKNVPair endOnly[] = {DKNVPair("End")};
    std::unique_ptr<dkQuery> all(r.ds->createQuery("SELECT * FROM Doc ORDER BY n DESC", 4, endOnly));
    std::unique_ptr<dkResultSetCursor> c(r.ds->execute(all.get()));
    ASSERT_NE(nullptr, c);
    EXPECT_EQ((std::vector<long>{5, 4, 3, 2, 1}), numbers(*c));
    EXPECT_EQ(nullptr, all->resultSetCursor());   // handed over, not kept
    DKAny value = r.ds->evaluate(all.get());
    ASSERT_EQ(DKAny::tc_collection, value.typeCode());
    rows.reset(static_cast<dkCollection*>(value));
    EXPECT_EQ(5u, rows->cardinality());

    // Languages other than SQL and text, a missing query, parameters given too early.
    for (short type : {0, 2, 3, 5})
        EXPECT_EQ(9014L, errorOf<DKUsageError>([&] { delete r.ds->createQuery("SELECT * FROM Doc", type, nullptr); }))
            << type;
    EXPECT_EQ(9015L, errorOf<DKUsageError>([&] { delete r.ds->createQuery(nullptr, 4, nullptr); }));
    DKNVPair early[] = {DKNVPair("n", DKAny(1L)), DKNVPair("End")};
    EXPECT_EQ(9017L, errorOf<DKUsageError>([&] { delete r.ds->createQuery("SELECT * FROM Doc WHERE n = ?", 4, early); }));
}

TEST(DKDatastoreSQLITEQueryObjects, ForeignAndMissingQueriesAreRefusedBeforeTheyRun) {
    Repo r;
    Repo other;
    std::unique_ptr<dkQuery> theirs(other.ds->createQuery("SELECT * FROM Doc", 4, nullptr));
    Recorder cb(0);
    EXPECT_EQ(9030L, errorOf<DKUsageError>([&] { delete r.ds->execute(theirs.get()); }));
    EXPECT_EQ(9030L, errorOf<DKUsageError>([&] { r.ds->evaluate(theirs.get()); }));
    EXPECT_EQ(9030L, errorOf<DKUsageError>([&] { r.ds->executeWithCallback(theirs.get(), &cb); }));
    EXPECT_EQ(DKQueryIdle, theirs->status());   // never run
    dkQuery* none = nullptr;
    EXPECT_EQ(303L, errorOf<DKUsageError>([&] { delete r.ds->execute(none); }));
    EXPECT_EQ(303L, errorOf<DKUsageError>([&] { r.ds->evaluate(none); }));
    EXPECT_EQ(303L, errorOf<DKUsageError>([&] { r.ds->executeWithCallback("SELECT * FROM Doc", 4, nullptr, nullptr); }));
    EXPECT_TRUE(cb.batches.empty());
}

TEST(DKDatastoreSQLITECallbacks, RowsComeInThresholdBatchesUntilTheLastOrAStopAndFailuresAsTheirClass) {
    Repo r;
    using B = std::pair<std::vector<long>, int>;
    using E = std::pair<long, std::string>;
    const char* all = "SELECT * FROM Doc ORDER BY n";
    struct Case {
        long threshold;
        int stopAfter;   // dataCallback answers 0 after so many batches
        const char* sql;
        std::vector<B> batches;
        std::vector<E> errors;
    };
    const Case cases[] = {
        {2, 0, all, {{{1, 2}, 0}, {{3, 4}, 0}, {{5}, 1}}, {}},
        {5, 0, all, {{{1, 2, 3, 4, 5}, 1}}, {}},   // a threshold that divides the rows: no empty batch after
        {0, 0, all, {{{1, 2, 3, 4, 5}, 1}}, {}},   // 0: everything at once
        {1, 2, all, {{{1}, 0}, {{2}, 0}}, {}},
        {3, 0, "SELECT * FROM Doc WHERE n > 99", {{{}, 1}}, {}},   // no rows: one empty last batch
        {2, 0, "SELECT * FROM Nowhere", {}, {{9016, "DKUsageError"}}},
        {2, 0, "DELETE FROM Doc", {}, {{9015, "DKUsageError"}}}};
    for (const Case& k : cases) {
        Recorder cb(k.threshold, k.stopAfter);
        r.ds->executeWithCallback(k.sql, 4, nullptr, &cb);
        EXPECT_EQ(k.batches, cb.batches) << k.sql << " " << k.threshold;
        EXPECT_EQ(k.errors, cb.errors) << k.sql;
    }
    Recorder whole(0);   // a query object and a tree the same way
    std::unique_ptr<dkQuery> q(r.ds->createQuery(all, 4, nullptr));
    r.ds->executeWithCallback(q.get(), &whole);
    std::unique_ptr<DKCQExpr> big(treeOf("Doc", new DKQTerm("n", DKOpCode::opGreater, "1")));
    r.ds->executeWithCallback(big.get(), &whole);
    EXPECT_EQ((std::vector<B>{{{1, 2, 3, 4, 5}, 1}, {{2, 3, 4, 5}, 1}}), whole.batches);
    EXPECT_EQ(5L, countRows(*r.ds, "Doc"));
    // A failure while reading: the batches before it stay delivered, then the exception comes.
    ASSERT_TRUE(rawExec((r.dir / "q.db").string(), "UPDATE Doc SET price = 'not a number' WHERE n = 4"));
    Recorder broken(2);
    r.ds->executeWithCallback("SELECT * FROM Doc ORDER BY dk_id", 4, nullptr, &broken);
    ASSERT_EQ(1u, broken.batches.size());
    EXPECT_EQ((std::vector<E>{{9023, "DKDatastoreError"}}), broken.errors);
    // Not connected: the failure is the query's too.
    r.ds->disconnect();
    Recorder offline(1);
    r.ds->executeWithCallback("SELECT * FROM Doc", 4, nullptr, &offline);
    EXPECT_EQ((std::vector<E>{{310, "DKDatastoreError"}}), offline.errors);
}

TEST(DKDatastoreSQLITETrees, JoinsKeepTheirEntityAndGroupingAndLongChainsFailBeforeSQLite) {
    Repo r;
    defineEntity(*r.ds, "Note", {{"n", DKAny::tc_long}});
    dkDatastore& d = *r.ds;
    auto named = [](const char* entity, const char* name, short op, const char* value) {
        return takeLeaf(treeOf(entity, new DKQTerm(name, op, value)));
    };
    auto leaf = [&](const char* entity, short op, const char* value) { return named(entity, "n", op, value); };
    auto refused = [&](DKQExpr* tree) { return errorOf<DKUsageError>([&] { countTree(d, new DKCQExpr(tree)); }); };
    EXPECT_EQ(9008L, refused(named("Nowhere", "n", DKOpCode::opEqual, "1")));
    EXPECT_EQ(9010L, refused(named("Doc", "nothing", DKOpCode::opEqual, "1")));
    EXPECT_EQ(9013L, refused(leaf("Doc", DKOpCode::opEqual, "'one'")));
    EXPECT_EQ(9013L, refused(named("Doc", "price", DKOpCode::opEqual, "1.2.3")));
    EXPECT_EQ(303L, refused(named("Doc", "title", DKOpCode::opEqual, ":missing")));
    // Image leaves and text in content are not searched; CONTAINS_TEXT needs a text-searchable attribute.
    DKQExpr* image = named("Doc", "title", DKOpCode::opEqual, "'x'");
    image->setQLType(2);
    EXPECT_EQ(9014L, refused(image));
    EXPECT_EQ(9014L, refused(named("Doc", "title", DKOpCode::opContainsTextInContent, "'x'")));
    EXPECT_EQ(303L, refused(named("Doc", "title", DKOpCode::opContainsText, "'x'")));
    // AND and NOT stay within one entity.
    EXPECT_EQ(303L, refused(leaf("Doc", DKOpCode::opEqual, "1")->and_(leaf("Note", DKOpCode::opEqual, "1"))));
    EXPECT_EQ(303L, refused(new DKQExpr(nullptr, DKOpCode::opNot,
                                        leaf("Note", DKOpCode::opGreater, "0")->or_(leaf("Doc", DKOpCode::opEqual, "2")))));
    // OR may join entities: their items come entity by entity, each in row id order, counted
    // and opened again from the first part.
    for (long n : {7L, 1L}) addedItem(*r.ds, "Note", {{"n", DKAny(n)}});
    std::unique_ptr<DKCQExpr> acrossTree(new DKCQExpr(leaf("Note", DKOpCode::opGreater, "0")->or_(leaf("Doc", DKOpCode::opEqual, "2"))));
    std::unique_ptr<dkResultSetCursor> across(r.ds->execute(acrossTree.get()));
    auto entities = [&] {
        std::vector<std::string> seen;
        while (std::unique_ptr<DKDDO> row{across->fetchNext()})
            seen.push_back(std::string(row->getPid().getObjectType().c_str()) + ":" +
                           std::to_string(static_cast<long>(row->getDataByName("n"))));
        return seen;
    };
    EXPECT_EQ((std::vector<std::string>{"Doc:2", "Note:7", "Note:1"}), entities());
    EXPECT_EQ(3UL, across->cardinality());
    across->open();
    EXPECT_EQ((std::vector<std::string>{"Doc:2", "Note:7", "Note:1"}), entities());
    DKNVPair none[] = {DKNVPair("")};
    EXPECT_EQ(9017L, errorOf<DKUsageError>([&] { across->open(none); }));
    // 5,000 chained ANDs in a term are refused before SQLite meets its depth limit; 500 run, and
    // so do 300 leaves joined by AND, without nesting parentheses.
    for (int n : {500, 5000}) {
        DKQTerm* chain = new DKQTerm("n", DKOpCode::opGreaterEqual, "1");
        for (int i = 1; i < n; ++i) chain = chain->and_(new DKQTerm("n", DKOpCode::opGreaterEqual, "1"));
        EXPECT_EQ(n == 500 ? -1L : 303L, errorOf<DKUsageError>([&] { EXPECT_EQ(5UL, countTree(d, treeOf("Doc", chain))); }));
    }
    DKQExpr* leaves = leaf("Doc", DKOpCode::opGreaterEqual, "2");
    for (int i = 0; i < 300; ++i) leaves = leaves->and_(leaf("Doc", DKOpCode::opLessEqual, "4"));
    EXPECT_EQ(3UL, countTree(d, new DKCQExpr(leaves)));
    auto grouping = [&](bool outerAnd, bool innerAnd) {   // (n = 1 inner n = 2) outer n > 1
        DKQExpr* in = leaf("Doc", DKOpCode::opEqual, "1");
        in = innerAnd ? in->and_(leaf("Doc", DKOpCode::opEqual, "2")) : in->or_(leaf("Doc", DKOpCode::opEqual, "2"));
        DKQExpr* last = leaf("Doc", DKOpCode::opGreater, "1");
        return countTree(d, new DKCQExpr(outerAnd ? in->and_(last) : in->or_(last)));
    };
    EXPECT_EQ(1UL, grouping(true, false));
    EXPECT_EQ(4UL, grouping(false, true));
    EXPECT_EQ(3UL, countTree(d, new DKCQExpr(new DKQExpr(nullptr, DKOpCode::opNot,
                                                         leaf("Doc", DKOpCode::opEqual, "1")->or_(leaf("Doc", DKOpCode::opEqual, "2"))))));
    // A parametric query object: the tree's values stay its own, parameters cannot replace them.
    std::unique_ptr<dkQuery> q(r.ds->createQuery(treeOf("Doc", new DKQTerm("n", DKOpCode::opLess, "3"))));
    EXPECT_EQ(3, q->qlType());
    std::unique_ptr<dkResultSetCursor> c(r.ds->execute(q.get()));
    EXPECT_EQ((std::vector<long>{1, 2}), numbers(*c));
    DKNVPair other[] = {DKNVPair("v", DKAny(99L)), DKNVPair("")};
    EXPECT_EQ(9017L, errorOf<DKUsageError>([&] { c->open(other); }));
    c->open();
    EXPECT_EQ((std::vector<long>{1, 2}), numbers(*c));
}

TEST(DKDatastoreSQLITEValues, StoredDatesTimesAndDecimalsReadBackOrAreDamaged) {
    dktest::TempDir dir;
    const std::string file = (dir / "v.db").string();
    auto ds = open(file, "create=1");
    defineEntity(*ds, "Val", {{"day", DKAny::tc_date}, {"clock", DKAny::tc_time}, {"price", DKAny::tc_decimal}});
    std::unique_ptr<DKDDO>(ds->createDDO("Val", 0))->add();
    struct Case {
        const char* column;
        const char* stored;
        const char* read;   // null: a damaged value
    };
    const Case cases[] = {{"day", "2024-02-29", "2024-02-29"}, {"day", "0000002024-03-01", "2024-03-01"},
                          {"day", "2024-3-1", "2024-03-01"},   {"day", "2024-02", nullptr},
                          {"day", "2024-0x-01", nullptr},      {"day", "-", nullptr},
                          {"day", "99999999999-01-01", nullptr},   // beyond an int
                          {"clock", "23:59:07", "23.59.07"},   {"clock", "23:59", nullptr},
                          {"price", "-12.340", "-12.340"},     {"price", "1.5e2", "150"},
                          {"price", "12a", nullptr}};
    for (const Case& k : cases) {
        ASSERT_TRUE(rawExec(file, std::string("UPDATE Val SET ") + k.column + " = '" + k.stored + "'"));
        std::unique_ptr<dkResultSetCursor> c(ds->execute("SELECT * FROM Val", 4, nullptr));
        if (k.read == nullptr) {
            EXPECT_EQ(9023L, errorOf<DKDatastoreError>([&] { std::unique_ptr<DKDDO> d(c->fetchNext()); })) << k.stored;
        } else {
            std::unique_ptr<DKDDO> d(c->fetchNext());
            const DKAny v = d->getDataByName(k.column);
            const DKString text = v.typeCode() == DKAny::tc_decimal ? static_cast<DKDecimal>(v).toString()
                                  : v.typeCode() == DKAny::tc_date  ? static_cast<DKDate>(v).asString()
                                                                    : static_cast<DKTime>(v).asString();
            EXPECT_EQ(DKString(k.read), text) << k.stored;
        }
        ASSERT_TRUE(rawExec(file, std::string("UPDATE Val SET ") + k.column + " = NULL"));
    }
}
