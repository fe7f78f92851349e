// src/platform/os/PStringManager.hpp
#pragma once
#include <dk/dkExport.hpp>

#include <atomic>
#include <cstddef>

// One of the 32 heaps that hold the buffers of DKString. Each thread takes one manager for its
// whole life, round robin, so threads that build strings at the same time rarely meet on one heap.
// A manager keeps freed blocks in size classes (16-byte steps for short buffers, powers of two
// above) behind its own short lock, and each thread keeps a few blocks of its manager at hand
// without locking. Any thread may free a block: it goes back to the manager that gave it out. The
// table and its managers live until the process ends; a thread's spare blocks go back to its
// manager when the thread ends.
class DK_API PStringManager {
public:
    static constexpr int kCount = 32;

    // The manager of the calling thread; the first call on a thread picks it.
    static PStringManager* current();
    // The manager at a table index (0..kCount-1); builds the table on first use.
    static PStringManager* at(int index);

    int index() const { return index_; }
    // Blocks this manager has given out and not yet taken back, spare blocks of threads included.
    long liveBlocks();
    // Blocks held by strings over the whole table. Exact when no thread but the caller keeps
    // spare blocks, that is when the other threads that made strings have ended.
    static long totalLiveBlocks();

    // The calling thread's manager, for the library's own hot paths.
    DK_LOCAL static PStringManager* mine();
    // A block of at least `bytes` bytes from the calling thread's manager; `bytes` is raised to
    // the size granted and `owner` names the manager, both to be handed back to deallocate.
    DK_LOCAL static void* allocate(std::size_t& bytes, PStringManager*& owner);
    DK_LOCAL static void deallocate(void* block, std::size_t bytes, PStringManager* owner);

    PStringManager(const PStringManager&) = delete;
    PStringManager& operator=(const PStringManager&) = delete;

    struct FreeBlock {
        FreeBlock* next;
    };
    static constexpr int kClasses = 22;   // blocks of 56 bytes up to 64 KiB; larger go to the system

private:
    explicit PStringManager(int index) : index_(index) {}
    static PStringManager* pickForThisThread();
    void lock();
    void unlock() { busy_.store(false, std::memory_order_release); }
    void* take(int sizeClass, std::size_t bytes);
    void give(void* block, int sizeClass, std::size_t bytes);
    friend struct PStringThreadCache;

    const int index_;
    std::atomic<bool> busy_{false};   // a spin lock: the critical sections are a few moves
    FreeBlock* free_[kClasses] = {};  // guarded by busy_
    std::size_t cachedBytes_ = 0;     // guarded by busy_: bytes waiting in free_
    long live_ = 0;                   // guarded by busy_
};
