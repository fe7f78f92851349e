// bench/DKDatastoreSQLITEText_bench.cpp
//
// Text search of the SQLite connector against the same search written directly on SQLite's C
// interface, on the same repository file, at 1,000 and 100,000 items. Our side runs a text query
// (language 1) through the connector and reads every item found into one reused DDO; the peer
// prepares the FTS5 statement the connector's index answers to (MATCH, best first by rank), binds
// the query, and reads every row's columns into C++ values. A search is one item of the figures.
// The items are made of words of a fixed vocabulary, so a word is found in about one item in
// fifty at either size. Both sides must find the same number of items, or the program fails.

#include "dkBenchSupport.hpp"
#include "dkSqliteBenchSupport.hpp"

#include <dk/DKDDO.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkDatastoreDef.hpp>
#include <dk/dkResultSetCursor.hpp>

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* kQuery = "w7 OR w13";   // each word in about one item in fifty
constexpr const char* kPeerSql =
    "SELECT d.* FROM dk_text_doc_fts JOIN Doc d ON d.dk_id = dk_text_doc_fts.rowid WHERE dk_text_doc_fts MATCH ?1"
    " ORDER BY dk_text_doc_fts.rank";

// One repository per size, made once: the entity Doc (title and body text-searchable, n) with
// n items whose texts are drawn from 400 words.
struct Corpus {
    fs::path file;
    std::unique_ptr<dkDatastore> ds;
    sqlite3* peer = nullptr;
    ~Corpus() { sqlite3_close(peer); }
};

std::map<long, Corpus>& corpora() {
    static std::map<long, Corpus> made;
    return made;
}

Corpus& corpus(long n) {
    Corpus& c = corpora()[n];
    if (c.ds) return c;
    const fs::path dir = fs::temp_directory_path() / ("dkbench-text-" + std::to_string(getpid()));
    fs::create_directories(dir);
    c.file = dir / ("text" + std::to_string(n) + ".db");
    c.ds = dkbench::newSqliteDatastore();
    c.ds->connect(c.file.c_str(), "bench", "bench", "create=1");
    dkDatastoreDef* def = c.ds->datastoreDef();
    std::unique_ptr<dkEntityDef> e(def->createEntity());
    e->setName("Doc");
    const std::pair<const char*, unsigned short> attrs[] = {{"title", DKAny::tc_string}, {"body", DKAny::tc_string}, {"n", DKAny::tc_long}};
    for (const auto& [name, type] : attrs) {
        dkAttrDef* a = e->createAttr();
        a->setName(name);
        a->setType(type);
        a->setTextSearchable(type == DKAny::tc_string ? 1 : 0);
        e->addAttr(a);
    }
    def->add(e.get());
    std::mt19937 random(42);
    std::uniform_int_distribution<int> word(0, 399);
    auto words = [&](int count) {
        std::string text;
        for (int i = 0; i < count; ++i) text += (i ? " w" : "w") + std::to_string(word(random));
        return text;
    };
    c.ds->startTransaction();
    for (long i = 0; i < n; ++i) {
        std::unique_ptr<DKDDO> d(c.ds->createDDO("Doc", 0));
        d->setData(1, DKAny(words(3).c_str()));
        d->setData(2, DKAny(words(5).c_str()));
        d->setData(3, DKAny(i));
        d->add();
    }
    c.ds->commit();
    sqlite3_open_v2(c.file.c_str(), &c.peer, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    return c;
}

long searchOurs(dkDatastore& ds) {
    static const DKNVPair options[] = {DKNVPair("Entity", DKAny("Doc")), DKNVPair("")};
    std::unique_ptr<dkResultSetCursor> cursor(ds.execute(kQuery, 1, options));
    DKDDO row;
    long found = 0;
    while (cursor->fetchNext(row)) ++found;
    return found;
}

long searchPeer(sqlite3* db) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, kPeerSql, -1, &s, nullptr) != SQLITE_OK) return -1;
    sqlite3_bind_text(s, 1, kQuery, -1, SQLITE_STATIC);
    long found = 0;
    std::string title, body;
    long id = 0, n = 0;
    while (sqlite3_step(s) == SQLITE_ROW) {
        id = sqlite3_column_int64(s, 0);
        title.assign(reinterpret_cast<const char*>(sqlite3_column_text(s, 1)), static_cast<size_t>(sqlite3_column_bytes(s, 1)));
        body.assign(reinterpret_cast<const char*>(sqlite3_column_text(s, 2)), static_cast<size_t>(sqlite3_column_bytes(s, 2)));
        n = sqlite3_column_int64(s, 3);
        ++found;
    }
    benchmark::DoNotOptimize(id + n + static_cast<long>(title.size() + body.size()));
    sqlite3_finalize(s);
    return found;
}

void registerSize(std::vector<dkbench::Pair>& pairs, long n) {
    const std::string size = dkbench::sizeText(n);
    const std::string ours = "BM_TextSearch_DK_" + size, peer = "BM_TextSearch_C_" + size;
    benchmark::RegisterBenchmark(ours.c_str(), [n](benchmark::State& st) {
        Corpus& c = corpus(n);
        const long expected = searchPeer(c.peer);
        if (expected <= 0 || searchOurs(*c.ds) != expected) st.SkipWithError("the sides find different items");
        for (auto _ : st) benchmark::DoNotOptimize(searchOurs(*c.ds));
    });
    benchmark::RegisterBenchmark(peer.c_str(), [n](benchmark::State& st) {
        Corpus& c = corpus(n);
        for (auto _ : st) benchmark::DoNotOptimize(searchPeer(c.peer));
    });
    pairs.push_back({"DKDatastoreSQLITE text search, one query (" + size + " items)", ours, peer, "<=1.5x"});
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<dkbench::Pair> pairs;
    registerSize(pairs, dkbench::kSmall);
    registerSize(pairs, dkbench::kLarge);
    const int rc = dkbench::runAndCompare(argc, argv, pairs, "DKDatastoreSQLITE", "SQLite C API");
    corpora().clear();   // the datastores close before their files go
    std::error_code ec;
    fs::remove_all(fs::temp_directory_path() / ("dkbench-text-" + std::to_string(getpid())), ec);
    return rc;
}
