// tests/connectors/DKDatastorePGContent_test.cpp
//
// The PostgreSQL connector's content parts beyond the conformance suite: a large part streamed in
// and out while the process's memory stays bounded, a store cut short by a failed statement, parts
// in the datastore's transaction, byte ranges, refusals, two sessions adding one part, and a
// repository made before parts were kept. Runs against the fixture's server (DKPG_SERVER).

#include "dkConnectorSupport.hpp"
#include "dkPgTestSupport.hpp"

#include <DKContentPG.hpp>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>
#include <tuple>

using dkpgtest::adminSql;
using dktest::errorOf;

namespace {

// A new repository of its own, as the server's administrator, with one item of "Doc".
struct Repo {
    std::string db = dkpgtest::uniqueName("dkcontent");
    std::unique_ptr<dkDatastore> ds = open("create=1");
    long id = 0;
    Repo() {
        dkconf::defineEntity(*ds, "Doc", {{"title", DKAny::tc_string}});
        id = addItem(*ds);
    }
    std::unique_ptr<dkDatastore> open(const char* connect = "") const {
        std::unique_ptr<dkDatastore> d(dkconf::factoryFor(DKPG_LIBRARY).create("DKDatastorePG"));
        const auto& s = dkpgtest::server();
        d->connect(db.c_str(), s.at("DKPG_USER").c_str(), s.at("DKPG_PASSWORD").c_str(), connect);
        return d;
    }
    static long addItem(dkDatastore& on) {
        std::unique_ptr<DKDDO> d(on.createDDO("Doc", 0));
        d->add();
        return std::strtol(d->getPid().getPrimaryId().c_str(), nullptr, 10);
    }
    std::unique_ptr<dkBlob> part(long n = 1, dkDatastore* on = nullptr, long item = 0) {
        auto* c = static_cast<DKContentPG*>((on ? on : ds.get())->getExtension(DKContentPG::kName));
        return std::unique_ptr<dkBlob>(c->createBlob(c->pidOf("Doc", item ? item : id, n)));
    }
    std::string sql(const std::string& q) const { return adminSql(q, db); }
};

std::string bytes(dkXDO& x) {
    DKByteArray b = x.getContent();
    return std::string(b.getData() ? b.getData() : "", static_cast<std::size_t>(b.length()));
}
void set(dkXDO& x, std::string s) { x.setContent(DKByteArray(s.data(), static_cast<long>(s.size()), 0)); }
void chunks(dkXDO& x, long size) {
    DKAny v(size);
    x.setOption(DKContentPG::kOptionChunkSize, v);
}

// The peak resident size of the process in KiB.
long peakKiB() {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

}  // namespace

TEST(DKDatastorePGContent, ALargePartStreamsInAndOutInBoundedMemory) {
    Repo r;
    dktest::TempDir dir;
    const std::string in = (dir / "in").string(), out = (dir / "out").string();
    constexpr int kMiB = 1 << 20, kParts = 64;
    {
        std::ofstream f(in, std::ios::binary);
        std::string block(kMiB, '\0');
        for (int i = 0; i < kParts; ++i) {   // every block differs, so misplaced chunks show
            for (std::size_t k = 0; k < block.size(); k += 4096) block[k] = block[k + 4095] = static_cast<char>(i);
            f.write(block.data(), kMiB);
        }
    }
    std::ofstream("/proc/self/clear_refs") << "5";   // the peak starts again from here
    const long before = peakKiB();
    r.part()->add(in.c_str());
    r.part()->retrieve(out.c_str());
    char range[2] = {};
    EXPECT_EQ(2L, r.part()->readBytes(range, 3L * kMiB - 1, 2));   // across a chunk boundary
    EXPECT_EQ("\x02\x03", std::string(range, 2));
    EXPECT_LT(peakKiB() - before, 16L * 1024) << "the part was held whole";
    std::ifstream a(in, std::ios::binary), b(out, std::ios::binary);
    EXPECT_TRUE(std::equal(std::istreambuf_iterator<char>(a), {}, std::istreambuf_iterator<char>(b), {}));
    EXPECT_EQ("65|1048576", r.sql("SELECT count(*) || '|' || max(octet_length(data)) FROM dk_content"));
    EXPECT_EQ(static_cast<long>(kParts) * kMiB, r.part()->size());
}

TEST(DKDatastorePGContent, AFailedStoreLeavesNothingHalfWrittenAndPartsFollowTheTransaction) {
    Repo r;
    auto p = r.part();
    set(*p, std::string(700, 'o'));
    p->add();
    // The third chunk of the next store fails on the server.
    r.sql("ALTER TABLE dk_content ADD CONSTRAINT cut CHECK (pos < 1024)");
    chunks(*p, 512);
    set(*p, std::string(2000, 'n'));
    EXPECT_EQ(9205L, errorOf<DKDatastoreError>([&] { p->update(); }));
    auto other = r.open();
    EXPECT_EQ(std::string(700, 'o'), bytes(*r.part(1, other.get())));
    EXPECT_EQ(700L, r.part(1, other.get())->size());

    // In a transaction the failed store is undone alone; a rollback takes an item and its parts.
    r.ds->startTransaction();
    const long kept = Repo::addItem(*r.ds);
    auto k = r.part(1, nullptr, kept);
    set(*k, "kept");
    k->add();
    EXPECT_EQ(9205L, errorOf<DKDatastoreError>([&] { p->update(); }));
    r.ds->commit();
    r.ds->startTransaction();
    const long gone = Repo::addItem(*r.ds);
    auto g = r.part(1, nullptr, gone);
    set(*g, "gone");
    g->add();
    r.ds->rollback();
    EXPECT_EQ("kept", bytes(*r.part(1, other.get(), kept)));
    EXPECT_EQ("0", r.sql("SELECT count(*) FROM dk_content WHERE item = " + std::to_string(gone)));
    EXPECT_EQ(std::string(700, 'o'), bytes(*r.part(1, other.get())));
}

TEST(DKDatastorePGContent, RangesRefusalsAndEntitiesThatGo) {
    Repo r;
    auto p = r.part();
    chunks(*p, 512);
    std::string all;
    for (int i = 0; i < 2000; ++i) all += static_cast<char>(i * 7);
    set(*p, all);
    p->add();
    std::vector<char> buf(all.size());
    auto fresh = r.part();   // holds nothing: ranges come from the server
    for (const auto& [offset, length, n] : {std::tuple<long, long, long>{500, 30, 30}, {0, 600, 600}, {1990, 100, 10},
                                            {2000, 5, 0}, {5000, 5, 0}, {1, LONG_MAX, 1999}}) {
        const long got = fresh->readBytes(buf.data(), offset, length);
        EXPECT_EQ(n, got) << offset;
        EXPECT_EQ(all.substr(static_cast<std::size_t>(std::min(offset, 2000L)), static_cast<std::size_t>(n)),
                  std::string(buf.data(), static_cast<std::size_t>(std::max(got, 0L))));
    }
    auto* c = static_cast<DKContentPG*>(r.ds->getExtension(DKContentPG::kName));
    DKPidXDO foreign = c->pidOf("Doc", r.id, 1);
    foreign.setDatastoreName("elsewhere");
    for (const DKPidXDO& pid : {foreign, c->pidOf("Doc", r.id, 0), c->pidOf("Doc", -1, 1)})
        EXPECT_EQ(9240L, errorOf<DKUsageError>([&] { delete c->createBlob(pid); })) << pid.pidString().c_str();
    EXPECT_EQ(9242L, errorOf<DKDataObjectAlreadyExists>([&] { r.part()->add(); }));
    for (auto op : {+[](dkBlob& b) { b.retrieve(); }, +[](dkBlob& b) { b.update(); }, +[](dkBlob& b) { b.del(); }})
        EXPECT_EQ(9241L, errorOf<DKDataObjectNotFound>([&] { op(*r.part(2)); }));
    EXPECT_EQ(9218L, errorOf<DKDataObjectNotFound>([&] { r.part(1, nullptr, r.id + 100)->add(); }));
    EXPECT_EQ(-1L, r.part(2)->size());
    // A character part keeps its kind and types.
    std::unique_ptr<dkClob> text(c->createClob(c->pidOf("Doc", r.id, 3)));
    text->setMimeType("text/plain");
    text->setAffiliatedType(ULONG_MAX);
    set(*text, "words");
    text->add();
    std::unique_ptr<dkClob> again(c->createClob(c->pidOf("Doc", r.id, 3)));
    again->retrieve();
    EXPECT_EQ(std::make_tuple(std::string("words"), std::string("text/plain"), ULONG_MAX),
              std::make_tuple(bytes(*again), std::string(again->getMimeType().c_str()), again->getAffiliatedType()));
    r.ds->datastoreDef()->deleteEntity("Doc");
    EXPECT_EQ("0", r.sql("SELECT count(*) FROM dk_content"));
}

TEST(DKDatastorePGContent, OneOfTwoSessionsAddsAPartAndOldRepositoriesGainTheTable) {
    Repo r;
    auto other = r.open();
    r.ds->startTransaction();
    auto first = r.part();
    set(*first, "first");
    first->add();
    dktest::Failure f;
    std::thread second([&] {
        auto p = r.part(1, other.get());
        set(*p, "second");
        f = dktest::failureOf<DKDataObjectAlreadyExists>([&] { p->add(); });
    });
    while (adminSql("SELECT count(*) FROM pg_stat_activity WHERE datname = '" + r.db + "' AND wait_event_type = 'Lock'") == "0")
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    r.ds->commit();
    second.join();
    EXPECT_EQ(9242L, f.id);
    EXPECT_EQ("first", bytes(*r.part(1, other.get())));

    // A repository made before parts were kept opens and gets the table.
    other.reset();
    r.ds.reset();
    r.sql("DROP TABLE dk_content");
    r.ds = r.open();
    auto made = r.part();
    set(*made, "new");
    made->add();
    EXPECT_EQ("new", bytes(*r.part()));
}
