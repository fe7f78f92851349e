// bench/DKDatastorePGThreads_bench.cpp
//
// Adding and querying items on a PostgreSQL server from 1, 2, 4 and 8 client threads, each with
// a datastore of one connection pool, against the same work on raw libpq with prepared
// statements, in the same run. Adding: one item (a text, a whole number and a number) a
// statement. Querying: pages of kPage items by row id, every value read, into a new DDO per row
// and into one DDO filled again for every row. Figures are per item, so their inverse is items
// per second; ours may take at most 1.5 times the peer's time at every thread count. The growth
// with threads (per-item time at N threads against one thread) is only reported: the server
// shares the machine's cores with the clients. The program starts a throwaway server of its own
// with tools/pgserver.sh and stops it at exit. Our queries read their rows in the server's binary
// forms (every column here has one); the peer reads text, as a program on raw libpq usually does.

#include "dkBenchSupport.hpp"
#include "dkPgBenchSupport.hpp"

#include <benchmark/benchmark.h>

#include <dk/DKDDO.hpp>
#include <dk/DKDatastorePool.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkDatastoreDef.hpp>
#include <dk/dkResultSetCursor.hpp>

#include <libpq-fe.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using dkpgbench::server;

constexpr const char* kDatabase = "dkbench_threads";
constexpr long kPage = 100;        // items a query reads
constexpr long kStored = 20000;    // items stored before the first measure, for the queries
constexpr int kMaxThreads = 8;
constexpr const char* kAddSql = "INSERT INTO item (title, size, price) VALUES ($1, $2, $3) RETURNING dk_id";
constexpr const char* kPageSql = "SELECT * FROM item WHERE dk_id > ? ORDER BY dk_id LIMIT 100";
constexpr const char* kPeerPageSql = "SELECT * FROM item WHERE dk_id > $1 ORDER BY dk_id LIMIT 100";

// The pool every thread of ours takes its datastore from; made in main, before any thread.
DKDatastorePool* pool = nullptr;

// A datastore of the pool for the life of one benchmark thread.
class Lease {
public:
    Lease() : ds_(pool->getConnection(server().user.c_str(), server().password.c_str())) {}
    ~Lease() { pool->returnConnection(ds_); }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    dkDatastore* operator->() { return ds_; }

private:
    dkDatastore* ds_;
};

// The peer's connection of one thread with its two statements prepared.
class PeerConnection {
public:
    PeerConnection() {
        const char* const keys[] = {"dbname", "user", "password", nullptr};
        const char* const values[] = {kDatabase, server().user.c_str(), server().password.c_str(), nullptr};
        c_ = PQconnectdbParams(keys, values, 0);
        if (PQstatus(c_) != CONNECTION_OK) throw std::runtime_error(PQerrorMessage(c_));
        expect(PQprepare(c_, "add", kAddSql, 3, nullptr), PGRES_COMMAND_OK);
        expect(PQprepare(c_, "page", kPeerPageSql, 1, nullptr), PGRES_COMMAND_OK);
    }
    ~PeerConnection() { PQfinish(c_); }
    PeerConnection(const PeerConnection&) = delete;
    PeerConnection& operator=(const PeerConnection&) = delete;

    // Runs a prepared statement, its rows in format (0 text, 1 binary); the result is the caller's.
    PGresult* run(const char* name, int count, const char* const* values, ExecStatusType status, int format = 0) {
        return expect(PQexecPrepared(c_, name, count, values, nullptr, nullptr, format), status);
    }

private:
    PGresult* expect(PGresult* r, ExecStatusType status) {
        if (PQresultStatus(r) != status) {
            const std::string why = PQerrorMessage(c_);
            PQclear(r);
            throw std::runtime_error(why);
        }
        return r;
    }
    PGconn* c_ = nullptr;
};

// A row id to start a page at: spread over the stored items, different per thread and round.
long pageStart(long round, int thread) { return (round * 7919 + thread * 2503) % (kStored - kPage); }

// One value of each kind a row keeps, read as a program would: the text copied, numbers parsed.
struct ItemValues {
    std::string title;
    long size = 0;
    double price = 0;
};

void BM_Add_Ours(benchmark::State& st) {
    Lease ds;
    long n = 0;
    for (auto _ : st) {
        std::unique_ptr<DKDDO> d(ds->createDDO("Item", 0));
        d->setData(d->dataId("title"), DKAny(DKString(("item " + std::to_string(n)).c_str())));
        d->setData(d->dataId("size"), DKAny(n));
        d->setData(d->dataId("price"), DKAny(n * 0.5));
        d->add();
        ++n;
    }
    st.SetItemsProcessed(st.iterations());
}

void BM_Add_Libpq(benchmark::State& st) {
    PeerConnection c;
    long n = 0;
    for (auto _ : st) {
        const std::string title = "item " + std::to_string(n), size = std::to_string(n), price = std::to_string(n * 0.5);
        const char* const values[] = {title.c_str(), size.c_str(), price.c_str()};
        PGresult* r = c.run("add", 3, values, PGRES_TUPLES_OK);
        benchmark::DoNotOptimize(std::strtol(PQgetvalue(r, 0, 0), nullptr, 10));
        PQclear(r);
        ++n;
    }
    st.SetItemsProcessed(st.iterations());
}

// Our side of the page queries: next(cursor) gives each row's DDO in turn, then null.
template <class Next>
void queryOurs(benchmark::State& st, Next next) {
    Lease ds;
    DKNVPair params[] = {DKNVPair("start", DKAny(0L)), DKNVPair("End")};   // an empty name would end the list
    long round = 0, items = 0;
    for (auto _ : st) {
        params[0].setValue(DKAny(pageStart(round++, st.thread_index())));
        std::unique_ptr<dkResultSetCursor> c(ds->execute(kPageSql, 4, params));
        // The items' ids are looked up once per result, as the peer looks up its column numbers.
        unsigned short title = 0, size = 0, price = 0;
        while (DKDDO* item = next(*c)) {
            if (title == 0) {
                title = item->dataId("title");
                size = item->dataId("size");
                price = item->dataId("price");
            }
            ItemValues v;
            v.title = static_cast<DKString>(item->getData(title)).c_str();
            v.size = static_cast<long>(item->getData(size));
            v.price = static_cast<double>(item->getData(price));
            benchmark::DoNotOptimize(v);
            ++items;
        }
        c->close();
    }
    if (items != st.iterations() * kPage) st.SkipWithError("a page came back short");
    st.SetItemsProcessed(items);
}

// A new DDO per row, the caller's to delete.
void BM_Query_Ours(benchmark::State& st) {
    std::unique_ptr<DKDDO> item;
    queryOurs(st, [&](dkResultSetCursor& c) {
        item.reset(c.fetchNext());
        return item.get();
    });
}

// One DDO the cursor fills again for every row.
void BM_QueryRefill_Ours(benchmark::State& st) {
    DKDDO row;
    queryOurs(st, [&](dkResultSetCursor& c) { return c.fetchNext(row) == 1 ? &row : nullptr; });
}

void BM_Query_Libpq(benchmark::State& st) {
    PeerConnection c;
    long round = 0, items = 0;
    for (auto _ : st) {
        const std::string start = std::to_string(pageStart(round++, st.thread_index()));
        const char* const values[] = {start.c_str()};
        PGresult* r = c.run("page", 1, values, PGRES_TUPLES_OK);
        const int title = PQfnumber(r, "title"), size = PQfnumber(r, "size"), price = PQfnumber(r, "price");
        for (int row = 0; row < PQntuples(r); ++row) {
            ItemValues v;
            v.title = PQgetvalue(r, row, title);
            v.size = std::strtol(PQgetvalue(r, row, size), nullptr, 10);
            v.price = std::strtod(PQgetvalue(r, row, price), nullptr);
            benchmark::DoNotOptimize(v);
            ++items;
        }
        PQclear(r);
    }
    if (items != st.iterations() * kPage) st.SkipWithError("a page came back short");
    st.SetItemsProcessed(items);
}

// The same pages in the server's binary forms, read as a program on raw libpq would: the text
// copied, the numbers' bytes put in the machine's order.
void BM_QueryBinary_Libpq(benchmark::State& st) {
    PeerConnection c;
    long round = 0, items = 0;
    const auto bigEndian = [](const char* p) {
        std::uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v = v << 8 | static_cast<unsigned char>(p[i]);
        return v;
    };
    for (auto _ : st) {
        const std::string start = std::to_string(pageStart(round++, st.thread_index()));
        const char* const values[] = {start.c_str()};
        PGresult* r = c.run("page", 1, values, PGRES_TUPLES_OK, 1);
        const int title = PQfnumber(r, "title"), size = PQfnumber(r, "size"), price = PQfnumber(r, "price");
        for (int row = 0; row < PQntuples(r); ++row) {
            ItemValues v;
            v.title.assign(PQgetvalue(r, row, title), static_cast<std::size_t>(PQgetlength(r, row, title)));
            v.size = static_cast<long>(bigEndian(PQgetvalue(r, row, size)));
            const std::uint64_t bits = bigEndian(PQgetvalue(r, row, price));
            std::memcpy(&v.price, &bits, sizeof v.price);
            benchmark::DoNotOptimize(v);
            ++items;
        }
        PQclear(r);
    }
    if (items != st.iterations() * kPage) st.SkipWithError("a page came back short");
    st.SetItemsProcessed(items);
}

// Wall-clock time: with threads, the figure is the time per item of all threads together. The
// query's argument is its page size, so the figures are per item.
BENCHMARK(BM_Add_Ours)->ThreadRange(1, kMaxThreads)->UseRealTime();
BENCHMARK(BM_Add_Libpq)->ThreadRange(1, kMaxThreads)->UseRealTime();
BENCHMARK(BM_Query_Ours)->Arg(kPage)->ThreadRange(1, kMaxThreads)->UseRealTime();
BENCHMARK(BM_QueryRefill_Ours)->Arg(kPage)->ThreadRange(1, kMaxThreads)->UseRealTime();
BENCHMARK(BM_Query_Libpq)->Arg(kPage)->ThreadRange(1, kMaxThreads)->UseRealTime();
BENCHMARK(BM_QueryBinary_Libpq)->Arg(kPage)->ThreadRange(1, kMaxThreads)->UseRealTime();

// The item entity, made through the schema interface, and the stored items, written by SQL.
void prepareRepository() {
    std::unique_ptr<dkDatastore> ds = dkpgbench::newDatastore();
    ds->connect(kDatabase, server().user.c_str(), server().password.c_str(), "create=1");
    std::unique_ptr<dkEntityDef> entity(ds->datastoreDef()->createEntity());
    entity->setName("Item");
    for (const auto& [name, type] : {std::pair<const char*, unsigned short>{"title", DKAny::tc_string},
                                     {"size", DKAny::tc_long},
                                     {"price", DKAny::tc_double}}) {
        std::unique_ptr<dkAttrDef> attr(entity->createAttr());
        attr->setName(name);
        attr->setType(type);
        entity->addAttr(attr.get());   // the entity keeps it
        attr.release();
    }
    entity->add();
    ds->disconnect();
    const char* const keys[] = {"dbname", "user", "password", nullptr};
    const char* const values[] = {kDatabase, server().user.c_str(), server().password.c_str(), nullptr};
    std::unique_ptr<PGconn, void (*)(PGconn*)> c(PQconnectdbParams(keys, values, 0), PQfinish);
    const std::string fill = "INSERT INTO item (title, size, price) SELECT 'item ' || g, g, g * 0.5 "
                             "FROM generate_series(1, " + std::to_string(kStored) + ") g; ANALYZE item";
    std::unique_ptr<PGresult, void (*)(PGresult*)> r(PQexec(c.get(), fill.c_str()), PQclear);
    if (PQresultStatus(r.get()) != PGRES_COMMAND_OK) throw std::runtime_error(PQerrorMessage(c.get()));
}

std::string threads(int n) { return "/real_time/threads:" + std::to_string(n); }

}  // namespace

int main(int argc, char** argv) {
    // The server, the repository and the pool's connections are made before the first measure.
    prepareRepository();
    pool = new DKDatastorePool("PG", "dkdspg");
    pool->setDatastoreName(kDatabase);
    pool->initConnections(server().user.c_str(), server().password.c_str(), kMaxThreads);
    std::vector<dkbench::Pair> pairs;
    for (int n = 1; n <= kMaxThreads; n *= 2) {
        const std::string t = threads(n), label = " (PostgreSQL, " + std::to_string(n) + (n == 1 ? " thread)" : " threads)");
        pairs.push_back({"add items" + label, "BM_Add_Ours" + t, "BM_Add_Libpq" + t, "<=1.5x"});
        pairs.push_back({"query items" + label, "BM_Query_Ours/100" + t, "BM_Query_Libpq/100" + t, "<=1.5x"});
        pairs.push_back({"query items, one DDO filled again" + label, "BM_QueryRefill_Ours/100" + t,
                         "BM_Query_Libpq/100" + t, "<=1.5x"});
        pairs.push_back({"query items, against libpq reading binary" + label, "BM_Query_Ours/100" + t,
                         "BM_QueryBinary_Libpq/100" + t, "-"});
    }
    // Growth: per-item time at N threads against one thread, each side; below 1.0x is faster.
    for (int n = 2; n <= kMaxThreads; n *= 2)
        for (const char* side : {"Ours", "Libpq"}) {
            const std::string growth = std::string(side) == "Ours" ? "ours" : "libpq";
            pairs.push_back({"add items, " + growth + ", " + std::to_string(n) + " threads against 1",
                             std::string("BM_Add_") + side + threads(n), std::string("BM_Add_") + side + threads(1), "-"});
            pairs.push_back({"query items, " + growth + ", " + std::to_string(n) + " threads against 1",
                             std::string("BM_Query_") + side + "/100" + threads(n),
                             std::string("BM_Query_") + side + "/100" + threads(1), "-"});
        }
    // Each measure runs half a second unless the command line says otherwise: at the usual tenth,
    // the clients' and the server's turns on the two cores swing the 2-thread figures by a third
    // from run to run.
    std::vector<char*> args(argv, argv + argc);
    std::string longer = "--benchmark_min_time=0.5";
    if (std::none_of(args.begin(), args.end(), [](const char* a) { return std::strncmp(a, "--benchmark_min_time", 20) == 0; }))
        args.push_back(longer.data());
    return dkbench::runAndCompare(static_cast<int>(args.size()), args.data(), pairs, "DKDatastorePG", "libpq");
}
