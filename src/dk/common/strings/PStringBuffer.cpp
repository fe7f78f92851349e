// src/dk/common/strings/PStringBuffer.cpp
//
// The reference counts of the buffers that DKString copies share, and the per-thread owner
// tokens behind them. A copy or drop on the thread that built a buffer, by far the common case
// (every += and = returns a copy), costs plain loads and stores; other threads count with atomic
// instructions. The protocol is biased reference counting: see PStringBuffer.hpp for the rules
// and the hand-back of a buffer whose last reference may have died away from its owner.

#include <dk/PStringBuffer.hpp>

#include "platform/os/PStringManager.hpp"

#include <mutex>
#include <new>

// A thread's token. Made with the first buffer the thread builds; closed when the thread ends and
// freed once no buffer it owns is left, so that a buffer's owner is never a token that has since
// gone to another thread. Other threads push buffers onto `handedBack`; only the owner drains it.
struct PStringOwner {
    PStringManager* manager = nullptr;                 // the thread's manager, where its blocks return
    std::atomic<PStringBuffer*> handedBack{nullptr};   // closedList() once the owner has ended
    long owned = 0;                 // owner only: buffers it made minus buffers it freed itself
    std::atomic<long> balance{0};   // minus the buffers others freed; plus `owned` once closed
    bool orphan = false;            // for buffers made after a thread's token closed: never freed
};

namespace {

constexpr long kOne = PStringBuffer::kOne;
constexpr long kMerged = PStringBuffer::kMerged;
constexpr long kHandedBack = PStringBuffer::kHandedBack;

char gClosedMark;
PStringBuffer* closedList() { return reinterpret_cast<PStringBuffer*>(&gClosedMark); }

// The calling thread's token is PStringBuffer::tStringOwner; gEnded once it has closed (thread
// exit has begun).
PStringOwner gEnded;

// The token standing for ended threads, one per manager: buffers made on a thread whose token
// has closed are born merged, so nothing ever reads or hands back to it.
std::atomic<PStringOwner*> gOrphans[PStringManager::kCount];
std::mutex gOrphansMutex;

PStringOwner* orphanFor(PStringManager* m) {
    std::atomic<PStringOwner*>& slot = gOrphans[m->index()];
    PStringOwner* o = slot.load(std::memory_order_acquire);
    if (o != nullptr) return o;
    std::lock_guard<std::mutex> guard(gOrphansMutex);
    o = slot.load(std::memory_order_relaxed);
    if (o == nullptr) {
        o = new PStringOwner;
        o->manager = m;
        o->orphan = true;
        o->handedBack.store(closedList(), std::memory_order_relaxed);
        slot.store(o, std::memory_order_release);
    }
    return o;
}

void freeBlock(PStringBuffer* b, bool byOwner) noexcept {
    PStringOwner* o = b->owner;
    PStringManager::deallocate(b, b->blockBytes(), o->manager);
    if (o->orphan) return;
    if (byOwner)
        --o->owned;
    else if (o->balance.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete o;   // its thread has ended and this was its last buffer
}

// Folds the owner's part into `shared` and ends the hand-back; frees the buffer when that leaves
// no reference. Runs on the owner, or on any thread once the owner has ended.
void mergeHandedBack(PStringBuffer* b, bool byOwner) noexcept {
    long part = b->biased;
    b->biased = 0;
    // An owner part of 0 means the owner merged already, when its last reference went.
    long delta = (part != 0 ? part * kOne + kMerged : 0) - kHandedBack;
    long now = b->shared.fetch_add(delta, std::memory_order_acq_rel) + delta;
    if ((now >> 2) == 0) freeBlock(b, byOwner);
}

void drain(PStringBuffer* list) noexcept {
    while (list != nullptr) {
        PStringBuffer* next = list->nextHandedBack;
        mergeHandedBack(list, true);
        list = next;
    }
}

void handBackToOwner(PStringBuffer* b) noexcept {
    PStringOwner* o = b->owner;
    PStringBuffer* head = o->handedBack.load(std::memory_order_acquire);
    for (;;) {
        if (head == closedList()) {
            // The owner has ended: its part can no longer change, and reading `closedList()`
            // with acquire order makes its last writes visible here.
            mergeHandedBack(b, false);
            return;
        }
        b->nextHandedBack = head;
        if (o->handedBack.compare_exchange_weak(head, b, std::memory_order_release, std::memory_order_acquire))
            return;
    }
}

// Closes the thread's token when the thread ends: later drops on this thread count as another
// thread's, buffers handed back from now on are merged by whoever hands them back.
struct OwnerCloser {
    bool armed = false;
    ~OwnerCloser() {
        PStringOwner* o = PStringBuffer::tStringOwner;
        if (o == nullptr || o == &gEnded) return;
        PStringBuffer::tStringOwner = &gEnded;
        drain(o->handedBack.exchange(closedList(), std::memory_order_acq_rel));
        long owned = o->owned;
        if (o->balance.fetch_add(owned, std::memory_order_acq_rel) + owned == 0) delete o;
    }
};
thread_local OwnerCloser tCloser;

PStringOwner* ownerForNewBuffer() {
    PStringOwner* o = PStringBuffer::tStringOwner;
    if (o != nullptr && o != &gEnded) return o;
    if (o == &gEnded) return orphanFor(PStringManager::mine());
    o = new PStringOwner;
    o->manager = PStringManager::mine();
    tCloser.armed = true;   // the first use registers the close at thread exit
    PStringBuffer::tStringOwner = o;
    return o;
}

}  // namespace

__thread PStringOwner* PStringBuffer::tStringOwner = nullptr;

PStringBuffer* PStringBuffer::make(unsigned long capacity) {
    PStringOwner* o = ownerForNewBuffer();
    // Buffers other threads handed back are freed here, before a new block is taken.
    if (!o->orphan && o->handedBack.load(std::memory_order_relaxed) != nullptr)
        drain(o->handedBack.exchange(nullptr, std::memory_order_acquire));
    PStringManager* m;
    // Whole 8-byte words, so that the size fits the header's 32-bit word count (up to 32 GiB).
    constexpr std::size_t kMaxBytes = std::size_t{0xffffffffU} * 8;
    if (capacity >= kMaxBytes - sizeof(PStringBuffer)) throw std::bad_alloc();
    std::size_t bytes = (sizeof(PStringBuffer) + capacity + 1 + 7) & ~std::size_t{7};
    auto* b = static_cast<PStringBuffer*>(PStringManager::allocate(bytes, m));
    b->owner = o;
    b->nextHandedBack = nullptr;
    b->blockWords = static_cast<unsigned int>(bytes / 8);
    if (o->orphan) {
        b->biased = 0;
        new (&b->shared) std::atomic<long>(kOne | kMerged);
    } else {
        b->biased = 1;
        new (&b->shared) std::atomic<long>(0);
        ++o->owned;
    }
    return b;
}

bool PStringBuffer::shareElsewhere() {
    if (owner == tStringOwner) {   // merged or its part full: the owner counts like everyone else
        shared.fetch_add(kOne, std::memory_order_relaxed);
        return true;
    }
    if (owner->manager != PStringManager::mine()) return false;
    shared.fetch_add(kOne, std::memory_order_relaxed);
    return true;
}

void PStringBuffer::releaseElsewhere() noexcept {
    if (owner == tStringOwner && biased != 0) {   // the owner's last counted reference
        biased = 0;
        // The owner's part is used up. With nothing counted elsewhere the buffer is dead, and
        // no other thread can reach it to count it again; otherwise `shared` takes over.
        if (shared.load(std::memory_order_acquire) == 0) {
            freeBlock(this, true);
            return;
        }
        long old = shared.fetch_or(kMerged, std::memory_order_acq_rel);
        if ((old >> 2) == 0 && (old & kHandedBack) == 0) freeBlock(this, true);
        return;
    }
    long old = shared.load(std::memory_order_relaxed);
    for (;;) {
        long now = old - kOne;
        // Below zero before the merge: the owner's part may hold the rest of the references, or
        // none; only the owner can tell, so the buffer goes back to it.
        bool handBack = (old & (kMerged | kHandedBack)) == 0 && (now >> 2) < 0;
        if (handBack) now |= kHandedBack;
        if (shared.compare_exchange_weak(old, now, std::memory_order_acq_rel, std::memory_order_relaxed)) {
            if (handBack)
                handBackToOwner(this);
            else if ((now & (kMerged | kHandedBack)) == kMerged && (now >> 2) == 0)
                freeBlock(this, owner == PStringBuffer::tStringOwner);
            return;
        }
    }
}

