// tests/platform/os/PMutex_test.cpp
//
// The recursive mutex and its counting scoped lock: exclusion between threads, re-entry by the
// owner, the exact texts written to standard output, and that a wrapper releases all it took.
// dk-threaded-suite

#include <dk/PMutex.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Another thread that takes the mutex once and lets it go. A contender that stays blocked is
// left behind with its own reference to the mutex, so a failing case cannot hang the suite.
class Contender {
public:
    explicit Contender(std::shared_ptr<PMutex> m)
        : done_(std::make_shared<std::atomic<bool>>(false)), thread_([m, done = done_] {
              m->lock();
              m->unlock();
              done->store(true);
          }) {}
    ~Contender() { finishesWithin(2s) ? thread_.join() : thread_.detach(); }
    bool finishesWithin(std::chrono::milliseconds limit) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (!done_->load() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(5ms);
        return done_->load();
    }

private:
    std::shared_ptr<std::atomic<bool>> done_;
    std::thread thread_;
};

bool otherThreadCanLock(const std::shared_ptr<PMutex>& m) { return Contender(m).finishesWithin(2s); }

}  // namespace

TEST(PMutexExclusion, ThreadsNeverInterleaveInsideTheLockAndTheOwnerMayReenter) {
    auto m = std::make_shared<PMutex>();
    long counter = 0;   // guarded by m only: a broken lock loses increments (and TSan says so)
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                PMutexWrapper outer(m.get());
                PMutexWrapper inner(m.get());   // the owner takes it again without blocking
                long seen = counter;
                counter = seen + 1;
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(8000, counter);
    EXPECT_TRUE(otherThreadCanLock(m));
}

TEST(PMutexWrapperCounting, ReleasesExactlyWhatItHolds) {
    auto m = std::make_shared<PMutex>();
    {
        std::unique_ptr<Contender> waiting;
        {
            PMutexWrapper w(m.get(), 0);   // 0: does not lock
            EXPECT_EQ(0, w.lockCount());
            EXPECT_TRUE(otherThreadCanLock(m));
            w.lock();
            w.lock();
            w.lock();
            w.unlock();
            waiting = std::make_unique<Contender>(m);
            EXPECT_FALSE(waiting->finishesWithin(200ms)) << "two of three locks are still held";
        }
        // The destructor gave back the two remaining locks, so the waiting thread gets through.
        EXPECT_TRUE(waiting->finishesWithin(2s));
    }

    // A wrapper over a mutex the owner already holds gives back only its own lock.
    m->lock();
    {
        Contender waiting(m);
        {
            PMutexWrapper w(m.get());
            EXPECT_EQ(1, w.lockCount());
        }
        EXPECT_FALSE(waiting.finishesWithin(200ms)) << "the owner's own lock must survive the wrapper";
        m->unlock();
        EXPECT_TRUE(waiting.finishesWithin(2s));
    }
}

TEST(PMutexWrapperMisuse, WritesTheDocumentedTextsAndChangesNothing) {
    auto m = std::make_shared<PMutex>();
    testing::internal::CaptureStdout();
    {
        PMutexWrapper w(m.get(), 0);
        w.unlock();   // holds nothing
        w.lock();
        w.unlock();
        w.unlock();   // one too many
        EXPECT_EQ(0, w.lockCount());
    }
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ("ERROR: tried to unlock a mutex that wasn't locked\n"
              "ERROR: tried to unlock a mutex that wasn't locked\n",
              out);
    EXPECT_TRUE(otherThreadCanLock(m));

    testing::internal::CaptureStdout();
    {
        PMutexWrapper none(nullptr);   // would lock; there is nothing to lock
        none.lock();
        EXPECT_EQ(0, none.lockCount());
        none.unlock();
    }
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ("ERROR: invalid mutex passed to PMutexWrapper"
              "ERROR: tried to unlock a mutex that wasn't locked\n",
              out);
}

#if !defined(__SANITIZE_THREAD__)
// The system refuses to unlock a recursive mutex the caller does not own (EPERM). Not run under
// ThreadSanitizer, which reports the refused unlock itself.
TEST(PMutexErrors, ARefusedUnlockIsPrintedWithTheSystemCode) {
    auto m = std::make_shared<PMutex>();
    testing::internal::CaptureStdout();
    m->unlock();
    EXPECT_EQ("error unlocking mutex. rc: 1\n", testing::internal::GetCapturedStdout());
    EXPECT_TRUE(otherThreadCanLock(m));
}
#endif
