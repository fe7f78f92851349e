// tests/platform/os/PMutex_test.cpp
//
// The recursive mutex and its counting scoped lock: exclusion between threads, re-entry by the
// owner, the exact texts written to standard output, and that a wrapper releases all it took.
// dk-threaded-suite

#include <dk/PMutex.hpp>

#include "dkTestThreads.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Another thread that takes the mutex once and lets it go; the flag says when it got through.
// It is detached with its own reference to the mutex, so a contender that stays blocked cannot
// hang the suite.
using Flag = std::shared_ptr<std::atomic<bool>>;
Flag contend(std::shared_ptr<PMutex> m) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread([m, done] {
        m->lock();
        m->unlock();
        done->store(true);
    }).detach();
    return done;
}

bool within(const Flag& done, std::chrono::milliseconds limit) {
    for (auto end = std::chrono::steady_clock::now() + limit; !done->load() && std::chrono::steady_clock::now() < end;)
        std::this_thread::sleep_for(5ms);
    return done->load();
}

bool otherThreadCanLock(const std::shared_ptr<PMutex>& m) { return within(contend(m), 2s); }

}  // namespace

TEST(PMutexExclusion, ThreadsNeverInterleaveInsideTheLockAndTheOwnerMayReenter) {
    auto m = std::make_shared<PMutex>();
    long counter = 0;   // guarded by m only: a broken lock loses increments (and TSan says so)
    dktest::onThreads(4, [&](int) {
        for (int i = 0; i < 2000; ++i) {
            PMutexWrapper outer(m.get());
            PMutexWrapper inner(m.get());   // the owner takes it again without blocking
            long seen = counter;
            counter = seen + 1;
        }
    });
    EXPECT_EQ(8000, counter);
    EXPECT_TRUE(otherThreadCanLock(m));
}

TEST(PMutexWrapperCounting, ReleasesExactlyWhatItHolds) {
    auto m = std::make_shared<PMutex>();
    Flag waiting;
    {
        PMutexWrapper w(m.get(), 0);   // 0: does not lock
        EXPECT_EQ(0, w.lockCount());
        EXPECT_TRUE(otherThreadCanLock(m));
        w.lock();
        w.lock();
        w.lock();
        w.unlock();
        waiting = contend(m);
        EXPECT_FALSE(within(waiting, 200ms)) << "two of three locks are still held";
    }
    // The destructor gave back the two remaining locks, so the waiting thread gets through.
    EXPECT_TRUE(within(waiting, 2s));

    // A wrapper over a mutex the owner already holds gives back only its own lock.
    m->lock();
    waiting = contend(m);
    {
        PMutexWrapper w(m.get());
        EXPECT_EQ(1, w.lockCount());
    }
    EXPECT_FALSE(within(waiting, 200ms)) << "the owner's own lock must survive the wrapper";
    m->unlock();
    EXPECT_TRUE(within(waiting, 2s));
}

TEST(PMutexWrapperMisuse, WritesTheDocumentedTextsAndChangesNothing) {
    auto m = std::make_shared<PMutex>();
    testing::internal::CaptureStdout();
    {
        PMutexWrapper w(m.get(), 0), none(nullptr);   // none would lock; there is nothing to lock
        w.unlock();   // holds nothing
        w.lock();
        w.unlock();
        w.unlock();   // one too many
        none.lock();
        none.unlock();
        EXPECT_EQ(0, w.lockCount() + none.lockCount());
    }
    const std::string unlocked = "ERROR: tried to unlock a mutex that wasn't locked\n";
    EXPECT_EQ("ERROR: invalid mutex passed to PMutexWrapper" + unlocked + unlocked + unlocked, testing::internal::GetCapturedStdout());
    EXPECT_TRUE(otherThreadCanLock(m));
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
