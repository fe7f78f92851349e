// tests/connectors/DKDatastorePGContent_test.cpp
//
// The PostgreSQL connector's content parts beyond the conformance suite: a large part streamed in
// and out while the process's memory stays bounded, a store cut short by a failed statement, parts
// in the datastore's transaction, byte ranges, refusals, a repository made before parts were kept,
// and two sessions on one part or item. Runs against the fixture's server (DKPG_SERVER).
// dk-threaded-suite: the two sessions run on threads.

#include "dkConnectorSupport.hpp"
#include "dkPgTestSupport.hpp"

#include <DKContentPG.hpp>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>
#include <tuple>

using dktest::errorOf;

namespace {

// A new repository of its own, as the server's administrator, with one item of "Doc".
struct Repo {
    std::string db = dkpgtest::uniqueName("dkcontent");
    std::unique_ptr<dkDatastore> ds = open("create=1");
    DKPid pid = (dkconf::defineEntity(*ds, "Doc", {}), item(*ds));
    long id = std::strtol(pid.getPrimaryId().c_str(), nullptr, 10);

    std::unique_ptr<dkDatastore> open(const char* connect = "") const {
        return dkpgtest::session(db, dkpgtest::server().at("DKPG_USER"), dkpgtest::server().at("DKPG_PASSWORD"), connect);
    }
    static DKPid item(dkDatastore& on) { return dkconf::addedItem(on, "Doc")->getPid(); }
    std::unique_ptr<dkBlob> part(long n = 1, dkDatastore* on = nullptr, long of = 0) {
        auto* c = static_cast<DKContentPG*>((on ? on : ds.get())->getExtension(DKContentPG::kName));
        return std::unique_ptr<dkBlob>(c->createBlob(c->pidOf("Doc", of ? of : id, n)));
    }
    std::string sql(const std::string& q) const { return dkpgtest::adminSql(q, db); }
};

dkXDO& set(dkXDO& x, std::string s, long chunk = DKContentPG::kDefaultChunkSize) {
    DKAny v(chunk);
    x.setOption(DKContentPG::kOptionChunkSize, v);
    x.setContent(DKByteArray(s.data(), static_cast<long>(s.size()), 0));
    return x;
}

long peakKiB() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line) && line.rfind("VmHWM:", 0) != 0) {}
    return std::strtol(line.c_str() + 6, nullptr, 10);
}

}  // namespace

TEST(DKDatastorePGContent, ALargePartStreamsInAndOutInBoundedMemory) {
    Repo r;
    dktest::TempDir dir;
    const std::string in = (dir / "in").string(), out = (dir / "out").string();
    // Where no sanitizer runs the process's peak is checked and the part is well past the bound;
    // under a sanitizer (no bound to check, every byte slower) a smaller part still streams.
#ifndef DK_SANITIZED
    constexpr int kMiB = 1 << 20, kBlocks = 64;
#else
    constexpr int kMiB = 1 << 20, kBlocks = 8;
#endif
    std::ofstream file(in, std::ios::binary);
    for (int i = 0; i < kBlocks; ++i) file << static_cast<char>(i) << std::string(kMiB - 2, 'x') << static_cast<char>(i);
    file.close();
    std::ofstream("/proc/self/clear_refs") << "5";   // the peak starts again from here
    const long before = peakKiB();
    r.part()->add(in.c_str());
    r.part()->retrieve(out.c_str());
#ifndef DK_SANITIZED   // the address sanitizer's quarantine keeps every freed chunk
    EXPECT_LT(peakKiB() - before, 16L * 1024) << "the part was held whole";
#else
    (void)before;
#endif
    std::ifstream a(in, std::ios::binary), b(out, std::ios::binary);
    EXPECT_TRUE(std::equal(std::istreambuf_iterator<char>(a), {}, std::istreambuf_iterator<char>(b), {}));
    EXPECT_EQ(std::to_string(kBlocks + 1) + "|1048576", r.sql("SELECT count(*) || '|' || max(octet_length(data)) FROM dk_content"));
}

TEST(DKDatastorePGContent, FailuresLeaveNothingHalfWrittenRangesComeFromTheServerRefusalsAreClear) {
    Repo r;
    auto p = r.part();
    set(*p, std::string(700, 'o')).add();
    r.sql("ALTER TABLE dk_content ADD CONSTRAINT cut CHECK (pos < 1536)");   // the fourth chunk fails
    set(*p, std::string(2000, 'n'), 512);
    EXPECT_EQ(9205L, errorOf<DKDatastoreError>([&] { p->update(); }));
    // A rollback takes an item and its parts.
    r.ds->startTransaction();
    const long gone = std::strtol(Repo::item(*r.ds).getPrimaryId().c_str(), nullptr, 10);
    set(*r.part(1, nullptr, gone), "gone").add();
    r.ds->rollback();
    EXPECT_EQ(std::string(700, 'o'), r.sql("SELECT convert_from(data, 'UTF8') FROM dk_content WHERE pos >= 0"));
    EXPECT_EQ("0", r.sql("SELECT count(*) FROM dk_content WHERE item = " + std::to_string(gone)));

    // Ranges come from the server, cut to what is stored.
    std::string all;
    for (int i = 0; i < 2000; ++i) all += static_cast<char>(i * 7);
    set(*r.part(2), all, 1000).add();
    std::vector<char> buf(all.size());
    for (const auto& [offset, length, n] : {std::tuple<long, long, long>{990, 30, 30}, {0, 600, 600}, {1990, 100, 10},
                                            {2000, 5, 0}, {5000, 5, 0}, {1, LONG_MAX, 1999}}) {
        EXPECT_EQ(n, r.part(2)->readBytes(buf.data(), offset, length)) << offset;
        EXPECT_EQ(all.substr(static_cast<std::size_t>(std::min(offset, 2000L)), static_cast<std::size_t>(n)), std::string(buf.data(), static_cast<std::size_t>(n)));
    }
    auto* c = static_cast<DKContentPG*>(r.ds->getExtension(DKContentPG::kName));
    DKPidXDO foreign = c->pidOf("Doc", r.id, 1);
    foreign.setDatastoreName("elsewhere");
    for (const DKPidXDO& pid : {foreign, c->pidOf("Doc", r.id, 0), c->pidOf("Doc", -1, 1)})
        EXPECT_EQ(9240L, errorOf<DKUsageError>([&] { delete c->createBlob(pid); })) << pid.pidString().c_str();
    EXPECT_EQ(9242L, errorOf<DKDataObjectAlreadyExists>([&] { r.part()->add(); }));
    for (auto op : {+[](dkBlob& b) { b.retrieve(); }, +[](dkBlob& b) { b.update(); }, +[](dkBlob& b) { b.del(); }})
        EXPECT_EQ(9241L, errorOf<DKDataObjectNotFound>([&] { op(*r.part(4)); }));
    EXPECT_EQ(9218L, errorOf<DKDataObjectNotFound>([&] { r.part(1, nullptr, r.id + 100)->add(); }));
    // A character part keeps its affiliated type, all 64 bits of it.
    std::unique_ptr<dkClob> text(c->createClob(c->pidOf("Doc", r.id, 3)));
    text->setAffiliatedType(ULONG_MAX);
    text->add();
    text.reset(c->createClob(c->pidOf("Doc", r.id, 3)));
    EXPECT_EQ(ULONG_MAX, (text->retrieve(), text->getAffiliatedType()));
    r.ds->datastoreDef()->deleteEntity("Doc");
    EXPECT_EQ("0", r.sql("SELECT count(*) FROM dk_content"));
}

TEST(DKDatastorePGContent, OldRepositoriesGainTheTableAndTwoSessionsMeetOnOnePartOrItem) {
    Repo r;
    r.ds.reset();   // a repository made before parts were kept opens and gets the table
    r.sql("DROP TABLE dk_content");
    r.ds = r.open();
    auto other = r.open();
    dktest::Failure f;
    for (int round = 0; round < 2; ++round) {
        // Round 0: a second add of the part waits for the first and is refused. Round 1: the item
        // deleted while a part is added goes with that part once it is stored.
        r.ds->startTransaction();
        set(*r.part(round + 1), "first").add();
        std::thread t([&] {
            if (round == 0) f = dktest::failureOf<DKDataObjectAlreadyExists>([&] { set(*r.part(1, other.get()), "second").add(); });
            if (round == 1) other->deleteObject(std::unique_ptr<DKDDO>(new DKDDO(other.get(), r.pid, 10)).get());
        });
        while (r.sql("SELECT count(*) FROM pg_stat_activity WHERE datname = current_database() AND wait_event_type = 'Lock'") == "0")
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        r.ds->commit();
        t.join();
    }
    EXPECT_EQ(9242L, f.id);
    EXPECT_EQ("0", r.sql("SELECT count(*) FROM dk_content"));
}
