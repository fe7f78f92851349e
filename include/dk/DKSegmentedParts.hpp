// include/dk/DKSegmentedParts.hpp
#pragma once
#include <dk/DKParts.hpp>
#include <dk/DKSequentialCollection.hpp>
#include <dk/dkExport.hpp>

class DKDDO;
class dkSort;
class dkXDO;

// The parts of an item kept in numbered segments instead of a list: an array of slots, each
// empty (null) or an owned DKAny holder of a content object (protocol 12 or 13), with positional
// access from 0. The segments keep their own tracking set; the one inherited from DKParts stays
// unused. Growing the array (addElement, addAllElements, insertElementAt, a larger count) makes
// the iterators made before stale (DKUsageError 382 when used), except the one insertElementAt
// was given, which follows the new array. Negative positions and lengths are refused (303).
// Ownership: the collection owns its slots' holders and objects; destroying it, removeAllElements,
// lowering the segment count (the slots above are emptied) and setSegment over a filled slot
// delete them (a replaced segment is recorded as removed when tracking). removeElementAt deletes
// the object when not tracking and leaves it to the caller when tracking; replaceElementAt leaves
// the old object to the caller; addMember hands the part over and removeMember gives it back.
// Writes no trace or debug lines. Not copyable; one thread at a time.
class DK_API DKSegmentedParts : public DKParts {
public:
    DKSegmentedParts();
    ~DKSegmentedParts() override;

    unsigned long cardinality() const override { return static_cast<unsigned long>(segmentCount); }
    // The element operations take an iterator made by this collection over its current array
    // (382 otherwise) standing on a segment.
    DKAny* retrieveElementAt(dkIterator& it) override;   // the holder, null for an empty slot
    dkIterator* createIterator() const override;         // a DKSegmentedPartsIterator
    void addElement(const DKAny& element) override;
    // Inserts a copy after the iterator's segment and moves the iterator to it.
    void insertElementAt(const DKAny& element, dkIterator& it) override;
    void replaceElementAt(const DKAny& element, dkIterator& it) override;
    // Removes the segment and moves the later ones down; the iterator then stands on the next.
    void removeElementAt(dkIterator& it) override;
    void removeAllElements() override;
    // With fewer than 2 segments nothing happens; the sort function, or strings when the first
    // non-empty segment is one (416 otherwise). A failing sort leaves the order as it was.
    void sort(dkSort* s, int ascending) override;
    void sort(int ascending) override;

    // As DKParts, with ": DKSegmentedParts::addMember() " and ": DKSegmentedParts::removeMember() "
    // for a null argument; the part is appended with addElement, so it is tracked.
    void addMember(DKDDO* item, dkXDO* part) override;
    void removeMember(DKDDO* item, dkXDO* part) override;
    DKSequentialCollection* getAffiliatedTypes(unsigned long type) override;
    int isTracking() const override { return segmentTracker.tracking; }
    void setTracking(int on) override { segmentTracker.tracking = on; }
    void _deleteItemList() override { segmentTracker.clear(); }
    dkCollection* listTracking() override { return segmentTracker.trackList; }
    void** listAddedTracks(long& n) override { return segmentTracker.list('a', n); }
    void** listRemovedTracks(long& n) override { return segmentTracker.list('r', n); }

    // The content object of slot i, null for an empty slot; 303 outside the segments.
    virtual dkXDO* getSegment(long i);
    // Puts part into slot i (303 outside the segments), deleting the object it replaces.
    virtual void setSegment(long i, dkXDO* part);
    // A new array (the caller's, array delete; never the objects) of the content objects of
    // slots start to start + length - 1, count set to length; 303 outside the segments.
    virtual dkXDO** getSegmentRange(long start, long length, long& count);
    // setSegment for each of parts[0 .. length - 1] from slot start; 303 for a null array or a
    // range outside the segments, before any change.
    virtual void setSegmentRange(long start, dkXDO** parts, long length);
    virtual long getSegmentCount() const { return segmentCount; }
    // More slots are added empty; fewer empty the slots above n, as removeAllElements does.
    virtual void setSegmentCount(long n);
    // Appends a copy of each of c's elements in c's order, growing the array once.
    virtual void addAllElements(dkCollection* c);

protected:
    // Copies length pointers from source[sourcePos] to dest[destPos]; nothing when either is null.
    static void arraycopy(DKAny** source, long sourcePos, DKAny** dest, long destPos, long length);
    // A new array of n slots holding the first segmentCount ones; the old array is freed.
    void reallocate(long n);
    // The segment index of an iterator over the current array standing on a segment, else 382.
    long indexOf(dkIterator& it, const char* function) const;
    // Empties slot i: records a removal when tracking, deletes holder and object.
    void releaseSlot(long i);
    // Takes the holder at i out, moving the later slots down.
    DKAny* takeSlot(long i);
    // 303 with ": DKSegmentedParts::<what>() " unless 0 <= start, 0 <= length, start + length <= count.
    void checkRange(long start, long length, const char* what) const;

    DKAny** segments;   // owned, with the holders and their objects
    long segmentCount;
    long capacity;
    PTracker segmentTracker;

    friend class DKSegmentedPartsIterator;
};

// A cursor over the segments of a DKSegmentedParts as they were when it was made; the
// collection refuses it (382) once its array has been reallocated. Moves out of the segments
// give DKUsageError 383. Must not outlive its collection; one thread at a time.
class DK_API DKSegmentedPartsIterator : public DKSequentialIterator {
public:
    DKSegmentedPartsIterator(DKAny** segments, long count, const DKSegmentedParts& parts);
    DKSegmentedPartsIterator(const DKSegmentedPartsIterator& other);
    ~DKSegmentedPartsIterator() override;

    DKAny* next() override;
    DKAny* previous() override;
    DKAny* at() override;
    int more() override;
    void reset() override;
    int setToFirst() override;
    int setToLast() override;
    int setToNext() override;
    int setToPrevious() override;

protected:
    DKAny* holderAt(const char* function) const;

    long index;   // -1 before the first segment
    long count;
    DKAny** segments;   // the array it was made over, not owned

    friend class DKSegmentedParts;
};
