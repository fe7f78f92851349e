// tests/connectors/DKDatastorePGTemplates_test.cpp
//
// Search templates and schema mappings of the PostgreSQL connector where sessions meet: two
// sessions storing one name at once; repositories made before the tables and before text
// indexes. What templates and mappings mean runs through the conformance suite. The fixture's
// server; every test a database of its own. dk-threaded-suite: the sessions run on threads.

#include "dkConnectorSupport.hpp"
#include "dkPgTestSupport.hpp"

#include <DKTemplatesPG.hpp>

#include <dk/DKOpCode.hpp>
#include <dk/dkSearchTemplate.hpp>

#include <atomic>
#include <functional>
#include <thread>

using dkpgtest::adminSql;
using dktest::errorOf;

namespace {

// A repository with the entity Doc(n, title), and the role that made it.
struct Repo {
    std::string db = dkpgtest::uniqueName("dktmpl");
    std::unique_ptr<dkDatastore> open(const char* connect = "") const {
        static const std::string role = dkpgtest::creatorRole("dktrole");
        return dkpgtest::session(db, role, role, connect);
    }
    Repo() { dkconf::defineEntity(*open("create=1"), "Doc", {{"n", DKAny::tc_long}, {"title", DKAny::tc_string}}); }
    std::string sql(const std::string& s) const { return adminSql(s, db); }
};

std::unique_ptr<dkSearchTemplate> newTemplate(dkDatastore& ds, const char* name) {
    auto* ext = static_cast<DKTemplatesPG*>(ds.getExtension(DKTemplatesPG::kName));
    std::unique_ptr<dkSearchTemplate> t(ext->createSearchTemplate(name, "Doc"));
    auto c = std::make_unique<DKSearchCriteria>("Doc", "n");
    short ops[] = {DKOpCode::opEqual};
    c->setValidOperators(ops, 1);
    t->addCriteria(c.release());
    return t;
}

}  // namespace

// Sessions storing the same template or mapping name (in any case) at once: one stores it, the
// others are refused, and exactly one copy of its rows is kept.
TEST(DKDatastorePGTemplates, SessionsStoringOneNameAtOnceStoreItOnce) {
    Repo r;
    constexpr int kSessions = 4;
    std::vector<std::unique_ptr<dkDatastore>> sessions;
    for (int i = 0; i < kSessions; ++i) sessions.push_back(r.open());
    std::atomic<int> stored{0}, refused{0}, other{0}, ready{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kSessions; ++i)
        threads.emplace_back([&, i] {
            dkDatastore& ds = *sessions[static_cast<size_t>(i)];
            auto t = newTemplate(ds, i % 2 ? "Same" : "SAME");
            DKNVPair pairs[] = {DKNVPair("name", DKAny(i % 2 ? "m" : "M")), DKNVPair("entity", DKAny("Doc")),
                                DKNVPair("mappedEntity", DKAny("Paper")), DKNVPair("attr", DKAny("number=n")),
                                DKNVPair("End")};
            ++ready;
            while (ready < kSessions) std::this_thread::yield();
            const std::function<void()> stores[] = {[&] { t->add(); }, [&] { ds.registerMapping(pairs); }};
            for (const auto& store : stores) {
                const long id = errorOf<DKUsageError>(store);
                ++(id == -1 ? stored : id == 303 ? refused : other);
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(2, stored.load());
    EXPECT_EQ(2 * kSessions - 2, refused.load());
    EXPECT_EQ(0, other.load());
    EXPECT_EQ("1|1|1", r.sql("SELECT (SELECT count(*) FROM dk_template_criteria) || '|' || (SELECT count(*) FROM dk_mapping_attrs)"
                             " || '|' || (SELECT count(*) FROM dk_templates)"));
}

// A repository made before templates were kept gains their tables at the next connect; text
// attributes made before text search had indexes get them, one each and only once however often it
// connects; a catalogue made before sub-entities gets their parents and the table of their children.
TEST(DKDatastorePGTemplates, OlderRepositoriesGetTheirTablesAndIndexesAtConnect) {
    Repo r;
    dkconf::defineEntity(*r.open(), "Note", {{"title", DKAny::tc_string, 1}, {"body", DKAny::tc_string, 1},
                                             {"tag", DKAny::tc_string}});
    const std::string count = "SELECT count(*) FROM pg_indexes WHERE tablename = 'note' AND indexdef LIKE '%gin%'";
    ASSERT_EQ("2", r.sql(count));
    r.sql("DROP TABLE dk_template_criteria, dk_templates, dk_mapping_attrs, dk_mappings");
    r.sql("DO $$ DECLARE i text; BEGIN FOR i IN SELECT indexname FROM pg_indexes WHERE tablename = 'note' AND "
          "indexdef LIKE '%gin%' LOOP EXECUTE format('DROP INDEX %I', i); END LOOP; END $$");
    r.sql("CREATE INDEX ON note USING btree (title)");   // an index that holds no words is no text index
    r.sql("ALTER TABLE dk_entities DROP COLUMN parent; DROP TABLE dk_children");
    auto first = r.open();
    auto second = r.open();
    EXPECT_EQ("4", r.sql("SELECT count(*) FROM pg_tables WHERE tablename IN ('dk_templates', 'dk_template_criteria', "
                         "'dk_mappings', 'dk_mapping_attrs')"));
    EXPECT_EQ("2", r.sql(count));
    EXPECT_EQ("1|true", r.sql("SELECT count(*) || '|' || (to_regclass('dk_children') IS NOT NULL) FROM pg_attribute "
                           "WHERE attrelid = 'dk_entities'::regclass AND attname = 'parent'"));
    EXPECT_NE(std::string::npos, r.sql("SELECT string_agg(indexdef, ' ') FROM pg_indexes WHERE tablename = 'note' AND "
                                       "indexdef LIKE '%gin%'").find("body"));
    newTemplate(*first, "T")->add();
    long n = 0;
    std::unique_ptr<DKString[]> names(r.open()->listSearchTemplateNames(n));
    ASSERT_EQ(1L, n);
    EXPECT_EQ(DKString("T"), names[0]);
}
