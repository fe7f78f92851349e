// src/dk/coll/dkSort.cpp
//
// The sort functions of the collections. Every sorter first reads each element's key once into an
// array beside the element pointers, so a bad element fails before anything moves, and then runs
// one quicksort (middle pivot, not stable) over keys and pointers together, which hands ranges
// it keeps splitting badly to heapsort so that no input takes quadratic time.

#include <dk/dkSort.hpp>
#include <dk/dkProtocol.hpp>
#include <dk/dkThrow.hpp>

#include "dk/coll/dkDataObjectAccess.hpp"

#include <cstring>
#include <utility>
#include <vector>

namespace {
constexpr const char* kSource = "dk/coll/dkSort";

// Heapsort of lo..hi, for ranges the quicksort below keeps splitting badly.
template <class Ops>
void heapSort(Ops& ops, long lo, long hi, bool ascending) {
    const long n = hi - lo + 1;
    const auto before = [&](long a, long b) {
        const int c = ops.cmpAt(lo + a, lo + b);
        return ascending ? c < 0 : c > 0;
    };
    const auto sift = [&](long root, long end) {   // end is exclusive
        for (;;) {
            long child = 2 * root + 1;
            if (child >= end) return;
            if (child + 1 < end && before(child, child + 1)) ++child;
            if (!before(root, child)) return;
            ops.swap(lo + root, lo + child);
            root = child;
        }
    };
    for (long i = n / 2 - 1; i >= 0; --i) sift(i, n);
    for (long last = n - 1; last > 0; --last) {
        ops.swap(lo, lo + last);
        sift(0, last);
    }
}

// Hoare partition around a copy of the middle key. Ops gives key(i) (a copy), cmp(i, pivot),
// cmpAt(i, j) and swap(i, j). The smaller part is sorted by recursion and the larger one by the
// loop, so the depth stays below log2(count). The scans are bounded by the range, so even a
// comparison that contradicts itself cannot run off the array. Inputs that defeat the middle
// pivot (an ascending run followed by a descending one) would take quadratic time; once a range
// has been split more than about 2 log2(count) times it is finished with heapsort instead.
template <class Ops>
void quickSort(Ops& ops, long lo, long hi, bool ascending, int budget) {
    while (lo < hi) {
        if (budget-- <= 0) {
            heapSort(ops, lo, hi, ascending);
            return;
        }
        // A copy, because the partition moves the slot the pivot came from.
        const auto pivot = ops.key(lo + (hi - lo) / 2);
        long i = lo, j = hi;
        while (i <= j) {
            if (ascending) {
                while (i < hi && ops.cmp(i, pivot) < 0) ++i;
                while (j > lo && ops.cmp(j, pivot) > 0) --j;
            } else {
                while (i < hi && ops.cmp(i, pivot) > 0) ++i;
                while (j > lo && ops.cmp(j, pivot) < 0) --j;
            }
            if (i <= j) {
                ops.swap(i, j);
                ++i;
                --j;
            }
        }
        if (j - lo < hi - i) {
            if (lo < j) quickSort(ops, lo, j, ascending, budget);
            lo = i;
        } else {
            if (i < hi) quickSort(ops, i, hi, ascending, budget);
            hi = j;
        }
    }
}

int splitBudget(long count) {
    int log2 = 0;
    while (count > 1) {
        count >>= 1;
        ++log2;
    }
    return 2 * log2 + 8;
}

// Keys of type K beside the element pointers, ordered by Cmp (negative, 0, positive).
template <class K, class Cmp>
struct KeyedOps {
    struct Entry {
        K key;
        DKAny* element;
    };
    std::vector<Entry> entries;
    Cmp compare;

    K key(long i) const { return entries[static_cast<std::size_t>(i)].key; }
    int cmp(long i, const K& pivot) const { return compare(entries[static_cast<std::size_t>(i)].key, pivot); }
    int cmpAt(long i, long j) const {
        return compare(entries[static_cast<std::size_t>(i)].key, entries[static_cast<std::size_t>(j)].key);
    }
    void swap(long i, long j) { std::swap(entries[static_cast<std::size_t>(i)], entries[static_cast<std::size_t>(j)]); }
};

struct CompareText {
    int operator()(const char* a, const char* b) const { return std::strcmp(a, b); }
};
struct CompareString {
    int operator()(const DKString& a, const DKString& b) const { return std::strcmp(a.c_str(), b.c_str()); }
};
struct CompareLong {
    int operator()(long a, long b) const { return a < b ? -1 : (a > b ? 1 : 0); }
};

// Reads every key with keyOf (which throws on a bad element), then sorts and writes the element
// pointers back in their new order.
template <class K, class Cmp, class KeyOf>
void sortByKeys(DKAny** elements, int count, int ascending, KeyOf keyOf) {
    if (elements == nullptr || count < 2) return;
    KeyedOps<K, Cmp> ops;
    ops.entries.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) ops.entries.push_back({keyOf(elements[i]), elements[i]});
    quickSort(ops, 0, count - 1, ascending != 0, splitBudget(count));
    for (int i = 0; i < count; ++i) elements[i] = ops.entries[static_cast<std::size_t>(i)].element;
}

// The data object an element points to when it is one the data-object sorters read (protocol 5
// or 1), else null.
const dkDataObjectBase* sortableObject(const DKAny* element) {
    if (element == nullptr || element->typeCode() != DKAny::tc_dobase) return nullptr;
    const auto* object = static_cast<const dkDataObjectBase*>(element->value());
    if (object == nullptr) return nullptr;
    const short protocol = dkDataObjectProtocol(object);
    return protocol == DKProtocolDDO || protocol == DKProtocolDDOBase ? object : nullptr;
}

// The string of a tc_string element, or null.
const DKString* stringOf(const DKAny* element) {
    if (element == nullptr || element->typeCode() != DKAny::tc_string) return nullptr;
    return static_cast<const DKString*>(element->value());
}

const char* textKey(const DKAny* element) {
    const DKString* s = stringOf(element);
    if (s == nullptr) dkThrow<DKUsageError>(400, kSource, "DKSortString::getKey", ", DKSortString::getKey() ");
    return s->c_str();
}

DKString idKey(const DKAny* element) {
    DKString id;
    const dkDataObjectBase* object = sortableObject(element);
    if (object == nullptr || !dkDataObjectPrimaryId(object, id))
        dkThrow<DKUsageError>(400, kSource, "DKSortDDOId::getKey", " DKSortDDOId::getKey() ");
    return id;
}

[[noreturn]] void failIdPart(unsigned long line = __builtin_LINE()) {
    dkThrow<DKUsageError>(400, kSource, "DKSortDDOIdPart::getKey", " DKSortDDOIdPart::getKey() ", line);
}

DKString idPartKey(const DKAny* element) {
    const dkDataObjectBase* object = sortableObject(element);
    if (object == nullptr) failIdPart();
    DKAny itemId, partNo;
    if (!dkDataObjectItem(object, "DKRQItemId", itemId) || !dkDataObjectItem(object, "DKPartNo", partNo)) failIdPart();
    const DKString* id = stringOf(&itemId);
    if (id == nullptr) failIdPart();
    if (partNo.typeCode() == DKAny::tc_long) return *id + DKString(static_cast<long>(partNo));
    const DKString* part = stringOf(&partNo);
    if (part == nullptr) failIdPart();
    return *id + *part;
}

long rankKey(const DKAny* element) {
    const dkDataObjectBase* object = sortableObject(element);
    DKAny rank;
    if (object == nullptr || !dkDataObjectItem(object, "DKRank", rank)) return 0;
    switch (rank.typeCode()) {
    case DKAny::tc_long:
    case DKAny::tc_ulong:
    case DKAny::tc_short:
    case DKAny::tc_ushort:
        return static_cast<long>(rank);
    default:
        return 0;   // null, or a value that is no number
    }
}
}  // namespace

// ---------------------------------------------------------------------------------------------

dkSort::~dkSort() = default;

int dkSort::lessThan(const DKAny* a, const DKAny* b) const { return compare(a, b) < 0 ? 1 : 0; }

int dkSort::greaterThan(const DKAny* a, const DKAny* b) const { return compare(a, b) > 0 ? 1 : 0; }

int dkSort::equals(const DKAny* a, const DKAny* b) const { return compare(a, b) == 0 ? 1 : 0; }

// ---------------------------------------------------------------------------------------------

DKSortString::~DKSortString() = default;

DKAny DKSortString::getKey(const DKAny* element) const { return DKAny(DKString(textKey(element))); }

int DKSortString::compare(const DKAny* a, const DKAny* b) const {
    const char* ka = textKey(a);
    return std::strcmp(ka, textKey(b));
}

void DKSortString::sort(DKAny** elements, int count, int ascending) {
    // The key is a pointer into the element's own string, which stays put while pointers move.
    sortByKeys<const char*, CompareText>(elements, count, ascending, textKey);
}

// ---------------------------------------------------------------------------------------------

DKSortDDOId::~DKSortDDOId() = default;

DKAny DKSortDDOId::getKey(const DKAny* element) const { return DKAny(idKey(element)); }

int DKSortDDOId::compare(const DKAny* a, const DKAny* b) const {
    const DKString ka = idKey(a);
    return std::strcmp(ka.c_str(), idKey(b).c_str());
}

void DKSortDDOId::sort(DKAny** elements, int count, int ascending) {
    sortByKeys<DKString, CompareString>(elements, count, ascending, idKey);
}

// ---------------------------------------------------------------------------------------------

DKSortDDOIdPart::~DKSortDDOIdPart() = default;

DKAny DKSortDDOIdPart::getKey(const DKAny* element) const { return DKAny(idPartKey(element)); }

int DKSortDDOIdPart::compare(const DKAny* a, const DKAny* b) const {
    const DKString ka = idPartKey(a);
    return std::strcmp(ka.c_str(), idPartKey(b).c_str());
}

void DKSortDDOIdPart::sort(DKAny** elements, int count, int ascending) {
    sortByKeys<DKString, CompareString>(elements, count, ascending, idPartKey);
}

// ---------------------------------------------------------------------------------------------

DKSortDDORank::~DKSortDDORank() = default;

DKAny DKSortDDORank::getKey(const DKAny* element) const { return DKAny(rankKey(element)); }

int DKSortDDORank::compare(const DKAny* a, const DKAny* b) const { return CompareLong()(rankKey(a), rankKey(b)); }

void DKSortDDORank::sort(DKAny** elements, int count, int ascending) {
    sortByKeys<long, CompareLong>(elements, count, ascending, rankKey);
}
