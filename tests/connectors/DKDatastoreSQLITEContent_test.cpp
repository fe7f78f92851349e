// tests/connectors/DKDatastoreSQLITEContent_test.cpp
//
// The SQLite connector's content parts beyond the conformance suite: files streamed in and out
// across chunk sizes, byte ranges, readers during an update, a writer killed mid-update or
// stopped by a full file, bad files and foreign pids, and repositories older than the content
// tables.

#include "dkSqliteTestSupport.hpp"

#include <dk/DKAny.hpp>
#include <dk/dkContentDef.hpp>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace dksqlitetest;
using dktest::readFile;
using dktest::errorOf;
using dktest::writeFile;

namespace {

struct Repo {
    dktest::TempDir dir;
    std::string path = (dir / "c.db").string();
    std::unique_ptr<dkDatastore> ds = open(path, "create=1");
    long id = 0;
    Repo() {
        dkconf::defineEntity(*ds, "Doc", {{"title", DKAny::tc_string}});
        id = std::strtol(dkconf::addedItem(*ds, "Doc")->getPid().getPrimaryId().c_str(), nullptr, 10);
    }
    DKContentSQLITE& content(dkDatastore* on = nullptr) {
        return *static_cast<DKContentSQLITE*>((on ? on : ds.get())->getExtension(DKContentSQLITE::kName));
    }
    std::unique_ptr<dkBlob> part(long n = 1, dkDatastore* on = nullptr) {
        return std::unique_ptr<dkBlob>(content(on).createBlob(content(on).pidOf("Doc", id, n)));
    }
    std::string stored(dkDatastore* on = nullptr) {
        const fs::path out = dir / "out";
        part(1, on)->retrieve(out.c_str());
        return readFile(out);
    }
};

std::string pattern(std::size_t n, unsigned seed) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 131 + seed);   // 256 in a row: every byte
    return s;
}

}  // namespace

TEST(DKDatastoreSQLITEContent, FilesRoundTripAcrossChunkSizesAndRangesReadWithoutLoading) {
    Repo r;
    const std::string all = pattern(256, 0);
    const fs::path in = r.dir / "in";
    for (long chunk : {512L, 65536L, 1L << 20}) {
        for (const std::string& bytes : {std::string(), std::string("\n"), all, pattern((5 << 20) + 7, chunk)}) {
            writeFile(in, bytes);
            auto b = r.part();
            DKAny size(chunk);
            b->setOption(DKContentSQLITE::kOptionChunkSize, size);
            if (b->size() < 0) b->add(in.c_str());
            else b->update(in.c_str());
            EXPECT_EQ(static_cast<long>(bytes.size()), b->size());
            EXPECT_EQ(0L, b->length()) << "nothing was loaded";
            ASSERT_EQ(bytes, r.stored()) << "chunk " << chunk << ", " << bytes.size() << " bytes";
            std::string range(1500, '\0');
            const long n = b->readBytes(range.data(), static_cast<long>(bytes.size() / 2), 1500);
            EXPECT_EQ(bytes.substr(bytes.size() / 2, 1500), range.substr(0, n));
        }
    }
    r.ds.reset();
    EXPECT_EQ(pattern((5 << 20) + 7, 1 << 20), r.stored(open(r.path, "readonly=1").get()));
}

TEST(DKDatastoreSQLITEContent, BadFilesForeignPidsAndMisusedPartsAreRefused) {
    Repo r;
    const fs::path locked = r.dir / "locked";
    writeFile(locked, "x");
    writeFile(r.dir / "ok", "x");
    chmod(locked.c_str(), 0);
    auto b = r.part();
    DKAny tiny(10L);
    const std::vector<std::pair<long, std::function<void()>>> cases = {
        {358, [&] { b->add((r.dir / "missing").c_str()); }}, {358, [&] { b->add(r.dir.str().c_str()); }},
        {geteuid() == 0 ? 0 : 358, [&] { if (geteuid() != 0) b->add(locked.c_str()); }},
        {9061, [&] { b->update((r.dir / "ok").c_str()); }},
        {9063, [&] { b->setOption(DKContentSQLITE::kOptionChunkSize, tiny); }},
        {9063, [&] { b->getOption(2, tiny); }}, {9063, [&] { b->subString(1, -1); }},
        {9063, [&] { b->insert(DKString("x"), 99); }}, {9063, [&] { b->readBytes(nullptr, 0, 1); }},
        {303, [&] { b->setPid(nullptr); }},
        {9060, [&] { r.content().createBlob(r.content().pidOf("Doc", r.id, 0)); }},
        {9060, [&] { DKPidXDO p = r.content().pidOf("Doc", r.id, 1); p.setDatastoreName("other"); r.content().createClob(p); }},
        {9019, [&] { std::unique_ptr<dkBlob>(r.content().createBlob(r.content().pidOf("Doc", 99, 1)))->add(); }},
    };
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(cases[i].first, cases[i].first ? dktest::failureOf<DKException>(cases[i].second).id : 0) << "case " << i;
    b->setContent(DKByteArray(const_cast<char*>("abc"), 3, 0));
    b->add();
    EXPECT_EQ(9062L, errorOf<DKDataObjectAlreadyExists>([&] { b->add(); }));
    b->del();
    EXPECT_EQ(-1L, b->size());
    b->add();
    EXPECT_EQ(360L, errorOf<DKXDOError>([&] { b->retrieve((r.dir / "no" / "such").c_str()); }));
    EXPECT_EQ(362L, errorOf<DKXDOError>([&] { b->retrieve("/dev/full"); }));
    EXPECT_NE(std::string::npos, dktest::failureOf<DKXDOError>([&] { b->add("/nowhere/x"); }).text.find("(/nowhere/x)"));
    EXPECT_EQ(9120L, errorOf<DKDatastoreError>([&] { r.part(1, open(r.path, "readonly=1").get())->update(); }));
}

// A character part: copies, its types, ranges and edits of held content, all kept by add.
TEST(DKDatastoreSQLITEContent, ClobCopiesTypesAndHeldRangesRoundTrip) {
    Repo r;
    const DKPidXDO pid = r.content().pidOf("Doc", r.id, 4);
    std::unique_ptr<dkClob> c(r.content().createClob(pid)), back(r.content().createClob(pid));
    c->setContent(DKByteArray(const_cast<char*>("hello"), 5, 0));
    *c += *std::unique_ptr<dkClob>(static_cast<dkClob*>(c->clone()));
    c->insert(*back, 0).writeBytes("H", 0, 1);
    dkContentDef def;
    def.setId(7);
    def.setType("note");
    def.setMimeType("text/plain");
    c->setContentDef(def);
    c->add();
    back->retrieve();
    std::unique_ptr<dkContentDef> got(back->getContentDef());
    char range[8] = {};
    const long n = back->readBytes(range, 7, 8);
    EXPECT_EQ(std::make_tuple(7L, std::string("note text/plain"), 4L, 0, 6L, 3L, std::string("llo")),
              std::make_tuple(got->getId(), std::string(got->getType().c_str()) + " " + got->getMimeType().c_str(),
                              back->getPartId(), back->compareData(*c), back->indexOf(*c, 1) + 5, n,
                              std::string(range)));
}

// A reader in one read transaction keeps the version it began with while another connection
// replaces the part; its next read sees the new one.
TEST(DKDatastoreSQLITEContent, ReaderSeesTheOldOrTheNewContentNeverAMix) {
    Repo r;
    const fs::path in = r.dir / "in";
    writeFile(in, std::string(3 << 20, 'a'));
    r.part()->add(in.c_str());
    auto reader = open(r.path, "readonly=1");   // its transaction is a snapshot, not a write lock
    auto old = r.part(1, reader.get());
    reader->startTransaction();
    std::string got(3 << 20, '\0');
    long n = old->readBytes(got.data(), 0, 1 << 20);
    writeFile(in, std::string(3 << 20, 'b'));
    r.part()->update(in.c_str());
    n += old->readBytes(got.data() + n, n, 2 << 20);
    reader->rollback();
    EXPECT_EQ(std::string(3 << 20, 'a'), got.substr(0, n));
    EXPECT_EQ(std::string(3 << 20, 'b'), r.stored(reader.get()));
}

// The child half: replaces part 1 from the FIFO named in DKTEST_FIFO until it is killed.
TEST(DKDatastoreSQLITEContent, DISABLED_UpdateFromFifo) {
    std::unique_ptr<dkBlob>(sqliteContext().contentOf(*open(std::getenv("DKTEST_REPO"), ""), "Doc", 1, 1))->update(std::getenv("DKTEST_FIFO"));
}

TEST(DKDatastoreSQLITEContent, KilledOrFullWritersLeaveTheOldContentWhole) {
    Repo r;   // its item is Doc:1, which the child replaces
    const std::string old = pattern(2 << 20, 5);
    writeFile(r.dir / "in", old);
    r.part()->add((r.dir / "in").c_str());
    r.ds.reset();
    // Killed while the FIFO stalls after 3 MiB.
    const std::string fifo = (r.dir / "fifo").string();
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    std::atomic<bool> done{false};
    std::thread feeder([&] {
        int fd = -1;
        while (fd < 0 && !done) fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd < 0) return;
        fcntl(fd, F_SETFL, 0);
        for (int i = 0; i < 3; ++i) (void)!write(fd, std::string(1 << 20, 'z').data(), 1 << 20);
        while (!done) std::this_thread::yield();
        close(fd);
    });
    const dktest::ChildOptions o{{}, {}, 2};   // killed after 2 seconds
    const dktest::ChildRun run = dktest::runSelf("*DISABLED_UpdateFromFifo", {"DKTEST_REPO=" + r.path, "DKTEST_FIFO=" + fifo, "DKTEST_KEEP_NVLVTROOT=1"}, o);
    done = true;
    feeder.join();
    EXPECT_EQ(-1, run.status) << "the child was killed mid-update";
    EXPECT_EQ(old, r.stored(open(r.path, "").get()));
    // A file that may not grow past 1 MiB stops the next update.
    writeFile(r.dir / "in", pattern(8 << 20, 9));
    auto ds = open(r.path, "");
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit small{1 << 20, saved.rlim_max};
    auto previous = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    const long id = dktest::failureOf<DKDatastoreError>([&] { r.part(1, ds.get())->update((r.dir / "in").c_str()); }).id;
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previous);
    EXPECT_NE(0L, id);
    ds.reset();
    EXPECT_EQ(old, r.stored(open(r.path, "").get()));
    EXPECT_EQ("ok", rawQuery(r.path, "PRAGMA integrity_check"));
}

TEST(DKDatastoreSQLITEContent, OlderRepositoriesGetTheTablesWhenConnectedForWriting) {
    Repo r;
    r.ds.reset();
    ASSERT_TRUE(rawExec(r.path, "DROP TABLE dk_content; DROP TABLE dk_content_chunks;"
                                " UPDATE dk_repository SET value = '2' WHERE key = 'format'"));
    EXPECT_EQ(-1L, r.part(1, open(r.path, "readonly=1").get())->size());
    EXPECT_EQ("2", rawQuery(r.path, "SELECT value FROM dk_repository WHERE key = 'format'"));
    r.ds = open(r.path, "");
    EXPECT_EQ("6", rawQuery(r.path, "SELECT value FROM dk_repository WHERE key = 'format'"));
    EXPECT_EQ(-1L, r.part()->size());
}
