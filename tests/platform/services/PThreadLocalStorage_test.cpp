// tests/platform/services/PThreadLocalStorage_test.cpp
//
// Per-thread slots: each thread sees only its own value, a slot made after another was destroyed
// starts empty everywhere, and the failures are made real by using up the process's keys.
// dk-threaded-suite

#include <dk/PThreadLocalStorage.hpp>

#include "dkTestSupport.hpp"
#include "dkTestThreads.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using dktest::systemError;
using Text = std::pair<long, std::string>;

TEST(PThreadLocalStorageThreads, EachThreadSeesOnlyItsOwnValueAndANewSlotStartsEmpty) {
    PThreadLocalStorage* slot = PThreadLocalStorage::createInstance();
    int mine = 0, values[8];
    slot->set(&mine);
    std::atomic<int> wrong{0};
    dktest::onThreads(8, [&](int t) {
        if (slot->get() != nullptr) ++wrong;   // a new thread starts empty
        for (int i = 0; i < 1000; ++i) {
            slot->set(&values[(t + i) % 8]);
            std::this_thread::yield();
            if (slot->get() != &values[(t + i) % 8]) ++wrong;
        }
        slot->set(nullptr);
    });
    EXPECT_EQ(0, wrong.load());
    EXPECT_EQ(&mine, slot->get()) << "other threads must not change this thread's value";
    PThreadLocalStorage::destroyInstance(slot);
    PThreadLocalStorage::destroyInstance(nullptr);   // nothing to do
    // The system may hand out the same key again; the old value must not show through it.
    PThreadLocalStorage* next = PThreadLocalStorage::createInstance();
    EXPECT_EQ(nullptr, next->get());
    PThreadLocalStorage::destroyInstance(next);
}

TEST(PThreadLocalStorageErrors, UsingUpTheKeysGivesEachDocumentedFailure) {
    // Take keys until the system has none left; whatever else the process holds counts too.
    std::vector<std::unique_ptr<PThreadLocalStoragePosix>> taken;
    dktest::Failure full;
    while (!full.thrown() && taken.size() < 100000)
        full = dktest::failureOf<DKSystemError>([&] { taken.push_back(std::make_unique<PThreadLocalStoragePosix>()); });
    EXPECT_EQ(302, full.id);
    EXPECT_EQ("Create TLS failed, system error RC = " + std::to_string(EAGAIN), dktest::withoutInsertBlank(full.text));
    EXPECT_EQ(Text(302L, "TLS instantiation failed"), systemError([] { PThreadLocalStorage::createInstance(); }));

    PThreadLocalStoragePosix broken{PThreadLocalStoragePosix::NoThrow{}};
    EXPECT_FALSE(broken.isValid());
    EXPECT_EQ(EAGAIN, broken.createError());
    int value = 0;
    EXPECT_EQ("Invalid TLS object", systemError([&] { broken.set(&value); }).second);
    EXPECT_EQ("Get TLS failed", systemError([&] { broken.get(); }).second);

    // Giving one key back makes room for exactly one more slot.
    taken.pop_back();
    PThreadLocalStorage* again = PThreadLocalStorage::createInstance();
    again->set(&value);
    EXPECT_EQ(&value, again->get());
    EXPECT_EQ("TLS instantiation failed", systemError([] { PThreadLocalStorage::createInstance(); }).second);
    PThreadLocalStorage::destroyInstance(again);
    taken.clear();
}
