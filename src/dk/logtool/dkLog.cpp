// src/dk/logtool/dkLog.cpp
//
// The accessor every class reaches the log through: it keeps the current factory and the current
// log manager of the process and the performance threshold option. The current manager is read
// without a lock on the fast path (an atomic pointer); it is only changed under the accessor mutex.

#include <dk/DKLogManager.hpp>
#include <dk/PMutex.hpp>
#include <dk/dkLog.hpp>

#include <atomic>
#include <climits>
#include <cstdint>

namespace {

PMutex& accessorMutex() {
    static PMutex* mutex = new PMutex;   // never freed: logging may run during process exit
    return *mutex;
}

std::atomic<dkLogManagerFactory*> g_factory{nullptr};
std::atomic<dkLog*> g_current{nullptr};
std::atomic<int> g_perfThreshold{100};

constexpr std::intptr_t kPerfThresholdOption = 1;

dkLogManagerFactory* currentFactory() {
    PMutexWrapper lock(&accessorMutex());
    dkLogManagerFactory* f = g_factory.load(std::memory_order_acquire);
    if (!f) {
        // One default factory per process, made on first need and kept (reachable) until the
        // process ends, also after another factory has replaced it.
        static DKLogManagerFactory_default* defaultFactory = new DKLogManagerFactory_default;
        f = defaultFactory;
        g_factory.store(f, std::memory_order_release);
    }
    return f;
}

}  // namespace

dkLogManagerFactory::~dkLogManagerFactory() = default;

dkLog* DKLogAccessor::getInstance() {
    if (dkLog* current = g_current.load(std::memory_order_acquire)) return current;
    dkLog* made = currentFactory()->makeLogManager();
    PMutexWrapper lock(&accessorMutex());
    if (dkLog* current = g_current.load(std::memory_order_acquire)) return current;
    g_current.store(made, std::memory_order_release);
    return made;
}

dkLog* DKLogAccessor::getInstance(const char* name) { return currentFactory()->makeLogManager(name); }

void DKLogAccessor::setLogManager(dkLog* manager) {
    PMutexWrapper lock(&accessorMutex());
    g_current.store(manager, std::memory_order_release);
}

void DKLogAccessor::setLogManagerFactory(dkLogManagerFactory* factory) {
    PMutexWrapper lock(&accessorMutex());
    g_factory.store(factory, std::memory_order_release);
    g_current.store(nullptr, std::memory_order_release);
}

int DKLogAccessor::setOptionValue(void* option, void* value) {
    if (reinterpret_cast<std::intptr_t>(option) != kPerfThresholdOption) return 0;
    std::intptr_t v = reinterpret_cast<std::intptr_t>(value);
    if (v < 0 || v > INT_MAX) return 0;   // the threshold is an int
    g_perfThreshold.store(static_cast<int>(v), std::memory_order_relaxed);
    return static_cast<int>(v);
}

void* DKLogAccessor::getOptionValue(void* option) {
    if (reinterpret_cast<std::intptr_t>(option) != kPerfThresholdOption) return nullptr;
    return reinterpret_cast<void*>(static_cast<std::intptr_t>(g_perfThreshold.load(std::memory_order_relaxed)));
}
