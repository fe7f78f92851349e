// src/platform/os/PStringManager.cpp
//
// The private heaps of the strings. The table of 32 managers is built once, under one mutex with a
// double check, and never freed; a thread is given the manager that a single atomic counter names
// (new value minus 1, modulo 32). Freed blocks wait in per-size free lists for reuse, up to a cap
// per manager, and each thread keeps a small stock of its manager's blocks so that building and
// dropping strings on one thread takes no lock at all. AddressSanitizer builds hand every block
// straight to the system allocator instead, so that it sees each one; ThreadSanitizer builds keep
// the pools, whose locking is what it should check.

#include "platform/os/PStringManager.hpp"

#include <mutex>
#include <new>
#include <thread>

#if defined(DK_SANITIZED) && defined(__SANITIZE_ADDRESS__)
#define DK_PLAIN_BLOCKS 1
#elif defined(DK_SANITIZED) && defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DK_PLAIN_BLOCKS 1
#endif
#endif

namespace {

#ifdef DK_PLAIN_BLOCKS
constexpr bool kPooled = false;
#else
constexpr bool kPooled = true;
#endif

std::atomic<PStringManager**> gTable{nullptr};
std::mutex gTableMutex;
std::atomic<unsigned long> gThreadCounter{0};

constexpr std::size_t kMaxCachedBytes = 8u << 20;      // free-list bytes kept per manager
constexpr std::size_t kMaxThreadBytes = 256u << 10;    // spare bytes kept per thread

// Short buffers, the most common, come in steps of 16 bytes from 56 to 264 (one step is the
// malloc granule, and 16k + 8 bytes fill a malloc chunk exactly); longer ones in powers of two
// from 512 up to 64 KiB.
constexpr std::size_t kFineFirst = 56;
constexpr int kFine = 14;
constexpr std::size_t kFineLast = kFineFirst + 16 * (kFine - 1);

int classOf(std::size_t bytes) {
    if (bytes <= kFineFirst) return 0;
    if (bytes <= kFineLast) return static_cast<int>((bytes - kFineFirst + 15) / 16);
    return kFine + (64 - __builtin_clzl(bytes - 1)) - 9;   // log2 of the next power of two, minus log2(512)
}

std::size_t classBytes(int sizeClass) {
    return sizeClass < kFine ? kFineFirst + 16 * static_cast<std::size_t>(sizeClass)
                             : std::size_t{512} << (sizeClass - kFine);
}

static_assert(kFineLast < 512 && kFine + 8 == PStringManager::kClasses, "the classes end at 64 KiB");

}  // namespace

// The calling thread's manager and its spare blocks. Trivially destructible, so it stays usable
// while other thread-local objects (strings among them) are destroyed at thread exit; the flusher
// below hands the spares back first and closes the stock.
struct PStringThreadCache {
    PStringManager* manager;
    bool closed;
    std::size_t bytes;
    long count;
    PStringManager::FreeBlock* spare[PStringManager::kClasses];

    void flush() {
        if (manager == nullptr) return;
        for (int c = 0; c < PStringManager::kClasses; ++c) {
            while (spare[c] != nullptr) {
                PStringManager::FreeBlock* b = spare[c];
                spare[c] = b->next;
                manager->give(b, c, classBytes(c));
            }
        }
        bytes = 0;
        count = 0;
    }
};

namespace {

thread_local PStringThreadCache tCache;
// One pointer of static thread storage keeps the per-string lookup a single load.
__attribute__((tls_model("initial-exec"))) thread_local PStringThreadCache* tMine = nullptr;

struct Flusher {
    bool armed = false;
    ~Flusher() {
        tCache.flush();
        tCache.closed = true;
    }
};
thread_local Flusher tFlusher;

}  // namespace

PStringManager* PStringManager::at(int index) {
    PStringManager** table = gTable.load(std::memory_order_acquire);
    if (table == nullptr) {
        std::lock_guard<std::mutex> guard(gTableMutex);
        table = gTable.load(std::memory_order_relaxed);
        if (table == nullptr) {
            table = new PStringManager*[kCount];
            for (int i = 0; i < kCount; ++i) table[i] = new PStringManager(i);
            gTable.store(table, std::memory_order_release);
        }
    }
    return table[index];
}

PStringManager* PStringManager::pickForThisThread() {
    unsigned long ticket = gThreadCounter.fetch_add(1, std::memory_order_relaxed) + 1;
    PStringThreadCache* c = &tCache;
    c->manager = at(static_cast<int>((ticket - 1) % kCount));
    tFlusher.armed = true;   // the first use registers the hand-back at thread exit
    tMine = c;
    return c->manager;
}

PStringManager* PStringManager::mine() {
    PStringThreadCache* c = tMine;
    return c != nullptr ? c->manager : pickForThisThread();
}

PStringManager* PStringManager::current() {
    return mine();
}

long PStringManager::liveBlocks() {
    lock();
    long n = live_;
    unlock();
    return n;
}

long PStringManager::totalLiveBlocks() {
    long total = 0;
    for (int i = 0; i < kCount; ++i) total += at(i)->liveBlocks();
    PStringThreadCache* c = tMine;
    return c != nullptr ? total - c->count : total;
}

void PStringManager::lock() {
    for (int spins = 0; busy_.exchange(true, std::memory_order_acquire); ++spins) {
        while (busy_.load(std::memory_order_relaxed)) {
            if (++spins > 64) {
                std::this_thread::yield();
                spins = 0;
            }
        }
    }
}

void* PStringManager::take(int sizeClass, std::size_t bytes) {
    lock();
    ++live_;
    if (kPooled && sizeClass < kClasses && free_[sizeClass] != nullptr) {
        FreeBlock* b = free_[sizeClass];
        free_[sizeClass] = b->next;
        cachedBytes_ -= bytes;
        unlock();
        return b;
    }
    unlock();
    return ::operator new(bytes);
}

void PStringManager::give(void* block, int sizeClass, std::size_t bytes) {
    lock();
    --live_;
    if (kPooled && sizeClass < kClasses && cachedBytes_ + bytes <= kMaxCachedBytes) {
        FreeBlock* b = static_cast<FreeBlock*>(block);
        b->next = free_[sizeClass];
        free_[sizeClass] = b;
        cachedBytes_ += bytes;
        unlock();
        return;
    }
    unlock();
    ::operator delete(block);
}

void* PStringManager::allocate(std::size_t& bytes, PStringManager*& owner) {
    PStringThreadCache* c = tMine;
    if (c == nullptr) {
        pickForThisThread();
        c = tMine;
    }
    owner = c->manager;
    int sc = classOf(bytes);
    if (sc < kClasses) bytes = classBytes(sc);
    if (kPooled && sc < kClasses && c->spare[sc] != nullptr) {
        FreeBlock* b = c->spare[sc];
        c->spare[sc] = b->next;
        c->bytes -= bytes;
        --c->count;
        return b;
    }
    return owner->take(sc, bytes);
}

void PStringManager::deallocate(void* block, std::size_t bytes, PStringManager* owner) {
    int sc = classOf(bytes);
    PStringThreadCache* c = tMine;
    if (kPooled && c != nullptr && c->manager == owner && !c->closed && sc < kClasses &&
        c->bytes + bytes <= kMaxThreadBytes) {
        FreeBlock* b = static_cast<FreeBlock*>(block);
        b->next = c->spare[sc];
        c->spare[sc] = b;
        c->bytes += bytes;
        ++c->count;
        return;
    }
    owner->give(block, sc, bytes);
}
