// bench/DKDatastoreSQLITERights_bench.cpp
//
// What rights cost on the SQLite connector: the same work done by a restricted user (no
// administrator: every item's ACL is looked up, queries read the entity through its filtering
// view) and by an administrator (no checks), in the same run on the same repository of 100,000
// items. Half the items have a named ACL, so the view's filter reads a real dk_item_acls; the
// restricted user may read every item (through its group), so both sides see the same rows.
// Measures: retrieving every item by its pid into one reused DDO, and a query reading every row;
// each twice, once with every ACL granting the user read and once beside an ACL ("hidden", named
// by no item) that denies it, so that the user's rights are no longer the same everywhere: each
// item's ACL is then looked up and the query reads through the filtering view.
// Both sides must see the same number of items, or the program fails.

#include "dkBenchSupport.hpp"
#include "dkSqliteBenchSupport.hpp"

#include <DKAdminSQLITE.hpp>

#include <dk/DKDDO.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkDatastoreDef.hpp>
#include <dk/dkResultSetCursor.hpp>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr long kItems = dkbench::kLarge;

struct Repository {
    fs::path dir = fs::temp_directory_path() / ("dkbench-rights-" + std::to_string(getpid()));
    std::unique_ptr<dkDatastore> admin, reader;
    std::vector<DKPid> pids;

    Repository() {
        fs::create_directories(dir);
        const std::string file = (dir / "rights.db").string();
        admin = dkbench::newSqliteDatastore();
        admin->connect(file.c_str(), "bench", "bench", "create=1");
        dkDatastoreDef* def = admin->datastoreDef();
        std::unique_ptr<dkEntityDef> e(def->createEntity());
        e->setName("Doc");
        for (const char* name : {"title", "body"}) {
            dkAttrDef* a = e->createAttr();
            a->setName(name);
            a->setType(DKAny::tc_string);
            e->addAttr(a);
        }
        def->add(e.get());
        auto* rights = static_cast<DKAdminSQLITE*>(admin->getExtension(DKAdminSQLITE::kName));
        rights->addUser("reader", "reader");
        rights->addGroup("readers");
        rights->addGroupMember("readers", "reader");
        rights->setACLEntry(DKAdminSQLITE::kDefaultACL, "readers", "reader");
        rights->createACL("shared");
        rights->setACLEntry("shared", "readers", "reader");
        admin->startTransaction();
        for (long i = 0; i < kItems; ++i) {
            std::unique_ptr<DKDDO> d(admin->createDDO("Doc", 0));
            d->setData(1, DKAny(("title " + std::to_string(i)).c_str()));
            d->setData(2, DKAny(("a body of some words, item " + std::to_string(i)).c_str()));
            d->add();
            if (i % 2 == 0) rights->setItemACL(d.get(), "shared");
            pids.push_back(d->getPid());
        }
        admin->commit();
        reader = dkbench::newSqliteDatastore();
        reader->connect(file.c_str(), "reader", "reader", "");
    }
    ~Repository() {
        admin.reset();
        reader.reset();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

Repository& repository() {
    static Repository r;
    return r;
}

// Makes or drops the ACL that denies the restricted user read.
void denying(Repository& r, bool deny) {
    auto* rights = static_cast<DKAdminSQLITE*>(r.admin->getExtension(DKAdminSQLITE::kName));
    long n = 0;
    std::unique_ptr<DKString[]> acls(rights->listACLs(n));
    bool exists = false;
    for (long i = 0; i < n; ++i) exists = exists || acls[i] == "hidden";
    if (deny && !exists) rights->createACL("hidden");
    if (!deny && exists) rights->deleteACL("hidden");
}

long retrieveAll(dkDatastore& ds) {
    long n = 0;
    for (const DKPid& pid : repository().pids) {
        DKDDO d(&ds, pid, 2);
        d.retrieve();
        ++n;
    }
    return n;
}

long queryAll(dkDatastore& ds) {
    std::unique_ptr<dkResultSetCursor> c(ds.execute("SELECT * FROM Doc", 4, nullptr));
    DKDDO row;
    long n = 0;
    while (c->fetchNext(row)) ++n;
    return n;
}

void registerPair(std::vector<dkbench::Pair>& pairs, const char* what, long (*run)(dkDatastore&), bool deny) {
    const std::string name = std::string("BM_") + what + (deny ? "_Denying" : "");
    const std::string ours = name + "_Restricted", peer = name + "_Admin";
    benchmark::RegisterBenchmark(ours.c_str(), [run, deny](benchmark::State& st) {
        Repository& r = repository();
        denying(r, deny);
        if (run(*r.reader) != kItems) st.SkipWithError("the restricted user sees other items");
        for (auto _ : st) benchmark::DoNotOptimize(run(*r.reader));
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(peer.c_str(), [run, deny](benchmark::State& st) {
        Repository& r = repository();
        denying(r, deny);
        if (run(*r.admin) != kItems) st.SkipWithError("the administrator sees other items");
        for (auto _ : st) benchmark::DoNotOptimize(run(*r.admin));
    })->Unit(benchmark::kMillisecond);
    pairs.push_back({std::string("vs administrator, SQLite rights") + (deny ? " beside a denying ACL: " : ": ") +
                         what + " 100k items",
                     ours, peer, "<=1.3x"});
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<dkbench::Pair> pairs;
    for (bool deny : {false, true}) {
        registerPair(pairs, "Retrieve", retrieveAll, deny);
        registerPair(pairs, "Query", queryAll, deny);
    }
    return dkbench::runAndCompare(argc, argv, pairs, "restricted user", "administrator");
}
