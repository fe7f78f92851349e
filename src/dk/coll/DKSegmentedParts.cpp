// src/dk/coll/DKSegmentedParts.cpp
//
// Parts kept in numbered segments: an array of owned holders with empty slots, its own tracking
// set, positional access, and the iterator that stays bound to the array it was made over so
// that a reallocation is caught instead of read through.

#include <dk/DKSegmentedParts.hpp>
#include <dk/dkSort.hpp>

#include "dk/coll/dkMemberCheck.hpp"

#include <memory>
#include <vector>

namespace {

constexpr const char* kSource = "dk/coll/DKSegmentedParts";
constexpr const char* kIteratorSource = "dk/coll/DKSegmentedPartsIterator";

[[noreturn]] void badPosition(const char* what) {
    dkThrow<DKUsageError>(303, kSource, (DKString("DKSegmentedParts::") + what).c_str(),
                          DKString(": DKSegmentedParts::") + what + "() ");
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// DKSegmentedParts

DKSegmentedParts::DKSegmentedParts()
    : DKParts(PTracker::segments, "DKSegmentedParts"), segments(nullptr), segmentCount(0), capacity(0),
      segmentTracker(PTracker::segments, "DKSegmentedParts") {}

DKSegmentedParts::~DKSegmentedParts() {
    for (long i = 0; i < capacity; ++i) {
        if (segments[i] == nullptr) continue;
        segmentTracker.release(*segments[i]);
        delete segments[i];
    }
    delete[] segments;
}

void DKSegmentedParts::arraycopy(DKAny** source, long sourcePos, DKAny** dest, long destPos, long length) {
    if (source == nullptr || dest == nullptr) return;
    for (long k = 0; k < length; ++k) dest[destPos + k] = source[sourcePos + k];
}

void DKSegmentedParts::reallocate(long n) {
    // Slots from segmentCount on are always empty here, so only the visible ones move.
    DKAny** grown = new DKAny*[n]();
    arraycopy(segments, 0, grown, 0, segmentCount);
    delete[] segments;
    segments = grown;
    capacity = n;
}

void DKSegmentedParts::checkRange(long start, long length, const char* what) const {
    if (start < 0 || length < 0 || start > segmentCount - length) badPosition(what);
}

long DKSegmentedParts::indexOf(dkIterator& it, const char* function) const {
    auto* seg = dynamic_cast<DKSegmentedPartsIterator*>(&it);
    if (seg == nullptr || seg->getCollection() != this || seg->segments != segments || seg->index < 0 ||
        seg->index >= segmentCount)
        dkThrow<DKUsageError>(382, kSource, function);
    return seg->index;
}

void DKSegmentedParts::releaseSlot(long i) {
    DKAny* holder = segments[i];
    if (holder == nullptr) return;
    if (segmentTracker.tracking) segmentTracker.record(*holder, 'r', owner);
    segmentTracker.release(*holder);
    delete holder;
    segments[i] = nullptr;
}

DKAny* DKSegmentedParts::takeSlot(long i) {
    DKAny* holder = segments[i];
    arraycopy(segments, i + 1, segments, i, segmentCount - i - 1);
    segments[--segmentCount] = nullptr;
    return holder;
}

dkIterator* DKSegmentedParts::createIterator() const {
    return new DKSegmentedPartsIterator(segments, segmentCount, *this);
}

DKAny* DKSegmentedParts::retrieveElementAt(dkIterator& it) {
    return segments[indexOf(it, "DKSegmentedParts::retrieveElementAt")];
}

void DKSegmentedParts::addElement(const DKAny& element) {
    std::unique_ptr<DKAny> holder(new DKAny(element));
    if (segmentTracker.tracking) segmentTracker.check(element, owner);
    reallocate(segmentCount + 1);
    if (segmentTracker.tracking) segmentTracker.record(element, 'a', owner);
    segments[segmentCount++] = holder.release();
}

void DKSegmentedParts::addAllElements(dkCollection* c) {
    if (c == nullptr || c->cardinality() == 0) return;
    std::vector<std::unique_ptr<DKAny>> copies;
    std::unique_ptr<dkIterator> it(c->createIterator());
    while (it->more()) {
        const DKAny* e = it->next();
        copies.emplace_back(new DKAny(e != nullptr ? *e : DKAny()));
        if (segmentTracker.tracking) segmentTracker.check(*copies.back(), owner);
    }
    reallocate(segmentCount + static_cast<long>(copies.size()));
    for (auto& copy : copies) {
        if (segmentTracker.tracking) segmentTracker.record(*copy, 'a', owner);
        segments[segmentCount++] = copy.release();
    }
}

void DKSegmentedParts::insertElementAt(const DKAny& element, dkIterator& it) {
    const long at = indexOf(it, "DKSegmentedParts::insertElementAt") + 1;
    std::unique_ptr<DKAny> holder(new DKAny(element));
    if (segmentTracker.tracking) segmentTracker.record(element, 'a', owner);
    DKAny** grown = new DKAny*[segmentCount + 1]();
    arraycopy(segments, 0, grown, 0, at);
    arraycopy(segments, at, grown, at + 1, segmentCount - at);
    grown[at] = holder.release();
    delete[] segments;
    segments = grown;
    capacity = ++segmentCount;
    auto& seg = static_cast<DKSegmentedPartsIterator&>(it);
    seg.segments = segments;
    seg.count = segmentCount;
    seg.index = at;
}

void DKSegmentedParts::replaceElementAt(const DKAny& element, dkIterator& it) {
    const long i = indexOf(it, "DKSegmentedParts::replaceElementAt");
    if (segmentTracker.tracking) {
        segmentTracker.check(element, owner);
        if (segments[i] != nullptr) segmentTracker.record(*segments[i], 'r', owner);
        segmentTracker.record(element, 'a', owner);
    }
    if (segments[i] != nullptr) *segments[i] = element;
    else segments[i] = new DKAny(element);
}

void DKSegmentedParts::removeElementAt(dkIterator& it) {
    const long i = indexOf(it, "DKSegmentedParts::removeElementAt");
    if (segments[i] != nullptr && segmentTracker.tracking) segmentTracker.record(*segments[i], 'r', owner);
    std::unique_ptr<DKAny> holder(takeSlot(i));
    if (holder != nullptr && !segmentTracker.tracking) segmentTracker.release(*holder);
    static_cast<DKSegmentedPartsIterator&>(it).count = segmentCount;
}

void DKSegmentedParts::removeAllElements() {
    if (segmentTracker.tracking)   // every segment is checked first, so a rejected one changes nothing
        for (long i = 0; i < segmentCount; ++i)
            if (segments[i] != nullptr) segmentTracker.check(*segments[i], owner);
    for (long i = 0; i < segmentCount; ++i) releaseSlot(i);
    segmentCount = 0;
}

void DKSegmentedParts::sort(dkSort* s, int ascending) {
    if (segmentCount < 2) return;
    dkSort* sorter = s != nullptr ? s : sortFunction;
    if (sorter == nullptr) dkThrow<DKUsageError>(416, kSource, "DKSegmentedParts::sort");
    // The sorter works on a copy of the slots, so one that fails leaves the order as it was.
    std::vector<DKAny*> sorted(segments, segments + segmentCount);
    sorter->sort(sorted.data(), static_cast<int>(sorted.size()), ascending);
    arraycopy(sorted.data(), 0, segments, 0, segmentCount);
}

void DKSegmentedParts::sort(int ascending) {
    if (segmentCount < 2) return;
    if (sortFunction != nullptr) {
        sort(sortFunction, ascending);
        return;
    }
    long first = 0;
    while (first < segmentCount && segments[first] == nullptr) ++first;
    if (first == segmentCount || segments[first]->typeCode() != DKAny::tc_string)
        dkThrow<DKUsageError>(416, kSource, "DKSegmentedParts::sort");
    DKSortString byString;
    sort(&byString, ascending);
}

dkXDO* DKSegmentedParts::getSegment(long i) {
    checkRange(i, 1, "getSegment");
    return segments[i] != nullptr ? dkMemberContent(dkMemberElementObject(*segments[i])) : nullptr;
}

void DKSegmentedParts::setSegment(long i, dkXDO* part) {
    checkRange(i, 1, "setSegment");
    const DKAny element(dkMemberObject(part));
    if (segmentTracker.tracking) segmentTracker.check(element, owner);
    if (segments[i] != nullptr && dkMemberElementObject(*segments[i]) != dkMemberObject(part)) releaseSlot(i);
    if (segmentTracker.tracking) segmentTracker.record(element, 'a', owner);
    if (segments[i] != nullptr) *segments[i] = element;
    else segments[i] = new DKAny(element);
}

dkXDO** DKSegmentedParts::getSegmentRange(long start, long length, long& n) {
    checkRange(start, length, "getSegmentRange");
    dkXDO** parts = new dkXDO*[length]();
    for (long k = 0; k < length; ++k)
        if (DKAny* holder = segments[start + k]) parts[k] = dkMemberContent(dkMemberElementObject(*holder));
    n = length;
    return parts;
}

void DKSegmentedParts::setSegmentRange(long start, dkXDO** parts, long length) {
    if (parts == nullptr) badPosition("setSegmentRange");
    checkRange(start, length, "setSegmentRange");
    if (segmentTracker.tracking)
        for (long k = 0; k < length; ++k) segmentTracker.check(DKAny(dkMemberObject(parts[k])), owner);
    for (long k = 0; k < length; ++k) setSegment(start + k, parts[k]);
}

void DKSegmentedParts::setSegmentCount(long n) {
    if (n < 0) badPosition("setSegmentCount");
    if (n > segmentCount) {
        reallocate(n);
    } else {
        for (long i = n; i < segmentCount; ++i) releaseSlot(i);
    }
    segmentCount = n;
}

void DKSegmentedParts::addMember(DKDDO* item, dkXDO* part) {
    dkDatastore* datastore =
        memberDatastore(item, part, kSource, "DKSegmentedParts::addMember", ": DKSegmentedParts::addMember() ");
    dkMemberRequire(datastore, dkMemberFunction::addPart, kSource, "DKSegmentedParts::addMember");
    dkMemberApply(datastore, dkMemberFunction::addPart, {dkMemberObject(item), dkMemberObject(part)});
    addElement(DKAny(dkMemberObject(part)));
}

void DKSegmentedParts::removeMember(DKDDO* item, dkXDO* part) {
    dkDatastore* datastore =
        memberDatastore(item, part, kSource, "DKSegmentedParts::removeMember", ": DKSegmentedParts::removeMember() ");
    dkDataObjectBase* object = dkMemberObject(part);
    long i = 0;
    while (i < segmentCount && (segments[i] == nullptr || dkMemberElementObject(*segments[i]) != object)) ++i;
    if (i == segmentCount) dkThrow<DKUsageError>(419, kSource, "DKSegmentedParts::removeMember");
    if (segmentTracker.tracking) segmentTracker.record(*segments[i], 'r', owner);
    delete takeSlot(i);   // the holder only: part returns to the caller
    dkMemberRequire(datastore, dkMemberFunction::removePart, kSource, "DKSegmentedParts::removeMember");
    dkMemberApply(datastore, dkMemberFunction::removePart, {dkMemberObject(item), object});
}

DKSequentialCollection* DKSegmentedParts::getAffiliatedTypes(unsigned long type) { return affiliated(*this, type); }

// ---------------------------------------------------------------------------------------------
// DKSegmentedPartsIterator

DKSegmentedPartsIterator::DKSegmentedPartsIterator(DKAny** s, long n, const DKSegmentedParts& parts)
    : DKSequentialIterator(parts), index(-1), count(n), segments(s) {}

DKSegmentedPartsIterator::DKSegmentedPartsIterator(const DKSegmentedPartsIterator& other) = default;

DKSegmentedPartsIterator::~DKSegmentedPartsIterator() = default;

DKAny* DKSegmentedPartsIterator::holderAt(const char* function) const {
    // The array of a stale iterator is gone: it is refused, never read.
    if (static_cast<const DKSegmentedParts*>(collection)->segments != segments)
        dkThrow<DKUsageError>(382, kIteratorSource, function);
    if (index < 0 || index >= count) dkThrow<DKUsageError>(383, kIteratorSource, function);
    return segments[index];
}

DKAny* DKSegmentedPartsIterator::next() {
    ++index;
    return holderAt("DKSegmentedPartsIterator::next");
}

DKAny* DKSegmentedPartsIterator::previous() {
    --index;
    return holderAt("DKSegmentedPartsIterator::previous");
}

DKAny* DKSegmentedPartsIterator::at() { return holderAt("DKSegmentedPartsIterator::at"); }

int DKSegmentedPartsIterator::more() { return index + 1 < count ? 1 : 0; }

void DKSegmentedPartsIterator::reset() { index = -1; }

int DKSegmentedPartsIterator::setToFirst() {
    index = 0;
    return count > 0 ? 1 : 0;
}

int DKSegmentedPartsIterator::setToLast() {
    index = count - 1;
    return count > 0 ? 1 : 0;
}

int DKSegmentedPartsIterator::setToNext() {
    if (index < count) ++index;
    return index < count ? 1 : 0;
}

int DKSegmentedPartsIterator::setToPrevious() {
    if (index >= count) index = count - 1;
    else if (index >= 0) --index;
    return index >= 0 && index < count ? 1 : 0;
}
