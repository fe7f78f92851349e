// include/dk/PStringBuffer.hpp
#pragma once
#include <dk/dkExport.hpp>

#include <atomic>
#include <cstddef>

struct PStringOwner;

// The header of a DKString buffer longer than the object's own room; the characters follow it.
// The block comes from the string manager of the thread that built it and goes back there
// whichever thread frees it.
//
// References are counted in two parts (biased reference counting). The building thread, the
// owner, counts its copies and drops in `biased` with plain loads and stores; every other thread
// counts in `shared` with atomic instructions, and its drops may take `shared` below zero. The
// sum of both is the number of references. When the owner's part reaches zero it merges: from
// then on `shared` alone is the count. A drop on another thread that takes an unmerged count
// below zero may have been the last reference, which only the owner can tell; that thread hands
// the buffer back to the owner, which merges and frees it at its next allocation of a buffer or
// when it ends, and once the owner has ended the thread merges it itself.
// Only the owner reads or writes `biased`, except for that last merge after the owner ended.
// Internal to DKString, whose inline copies, drops and appends use the fast paths below.
struct DK_API PStringBuffer {
    PStringOwner* owner;            // the building thread's token; it outlives the thread
    std::atomic<long> shared;       // other threads' references times kOne, plus kMerged, kHandedBack
    PStringBuffer* nextHandedBack;  // link in the owner's hand-back list
    int biased;                     // owner's references; 0 once merged
    unsigned int blockWords;        // size granted by the manager, in 8-byte words

    static constexpr long kMerged = 1;       // `shared` is the whole count
    static constexpr long kHandedBack = 2;   // in the owner's hand-back list, or on its way there
    static constexpr long kOne = 4;
    // The owner's part stops below this; further copies on the owner count in `shared`.
    static constexpr int kBiasedLimit = 0x7fffffff;

    char* chars() { return reinterpret_cast<char*>(this + 1); }
    std::size_t blockBytes() const { return static_cast<std::size_t>(blockWords) * 8; }
    unsigned long capacity() const { return blockBytes() - sizeof(PStringBuffer) - 1; }

    // A buffer for at least `capacity` characters, counted once, owned by the calling thread.
    static PStringBuffer* make(unsigned long capacity);
    // Counts one more reference held on the calling thread and returns true when this thread
    // may share the buffer: its owner, or a thread of the same string manager. Otherwise counts
    // nothing and returns false; the caller copies the characters.
    bool share() {
        // One test for 1 <= biased < kBiasedLimit: 0 (merged) wraps to the top.
        if (owner == tStringOwner && static_cast<unsigned>(biased) - 1U < kBiasedLimit - 1U) {
            ++biased;
            return true;
        }
        return shareElsewhere();
    }
    // Drops one reference held on the calling thread; the last one frees the block.
    void release() noexcept {
        if (owner == tStringOwner && biased > 1)
            --biased;
        else
            releaseElsewhere();
    }
    // Whether the caller's reference is the only one, so that the characters may be written in
    // place. Another thread than the owner sees an unmerged buffer as shared.
    bool isUnique() const {
        long s = shared.load(std::memory_order_acquire);
        if (owner == tStringOwner) return biased + (s >> 2) == 1;
        return (s & kMerged) != 0 && (s >> 2) == 1;
    }

    // The calling thread's token (null before its first buffer); read on every copy and drop.
    static __thread PStringOwner* tStringOwner __attribute__((tls_model("initial-exec")));

private:
    bool shareElsewhere();
    void releaseElsewhere() noexcept;
};

static_assert(sizeof(PStringBuffer) == 32, "a buffer header is four words");
