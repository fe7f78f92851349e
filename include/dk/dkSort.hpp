// include/dk/dkSort.hpp
#pragma once
#include <dk/DKAny.hpp>
#include <dk/dkExport.hpp>

// An ordering of collection elements, as DKSequentialCollection::sort uses it. sort() reorders an
// array of element pointers in place (quicksort, not stable; ascending unless the flag is 0) and
// never changes the elements themselves; when an element has no key it throws before any pointer
// moves. A sorter holds no state between calls; it may be shared by threads that sort different
// arrays.
class DK_API dkSort {
public:
    dkSort() = default;
    virtual ~dkSort();
    // The value an element is ordered by.
    virtual DKAny getKey(const DKAny* element) const = 0;
    // Negative, 0 or positive as a orders before, with or after b.
    virtual int compare(const DKAny* a, const DKAny* b) const = 0;
    virtual int lessThan(const DKAny* a, const DKAny* b) const;
    virtual int greaterThan(const DKAny* a, const DKAny* b) const;
    virtual int equals(const DKAny* a, const DKAny* b) const;
    virtual void sort(DKAny** elements, int count, int ascending) = 0;
};

// Orders tc_string elements by their bytes (as strcmp). Any other element, or a string element
// with no string, gives DKUsageError 400. sort() reads each element's string once before it
// moves anything and orders by those bytes; a subclass that orders differently overrides sort()
// as well as compare().
class DK_API DKSortString : public dkSort {
public:
    DKSortString() = default;
    ~DKSortString() override;
    DKAny getKey(const DKAny* element) const override;   // a copy of the string element
    int compare(const DKAny* a, const DKAny* b) const override;
    void sort(DKAny** elements, int count, int ascending) override;
};

// The data-object sorters read their keys from tc_dobase elements whose data object has protocol
// 5 (DKDDO) or 1 (DKDDOBase). Each computes every key once before the quicksort, so a bad
// element fails before anything moves.

// Orders data objects by the primary id of their persistent identifier (strcmp). Any other
// element gives DKUsageError 400.
class DK_API DKSortDDOId : public dkSort {
public:
    DKSortDDOId() = default;
    ~DKSortDDOId() override;
    DKAny getKey(const DKAny* element) const override;   // a tc_string
    int compare(const DKAny* a, const DKAny* b) const override;
    void sort(DKAny** elements, int count, int ascending) override;
};

// Orders data objects by their data item "DKRQItemId" (a string) followed by "DKPartNo" (a long
// in decimal, or a string). Any other element, a missing item or a part number of another type
// gives DKUsageError 400.
class DK_API DKSortDDOIdPart : public dkSort {
public:
    DKSortDDOIdPart() = default;
    ~DKSortDDOIdPart() override;
    DKAny getKey(const DKAny* element) const override;   // a tc_string
    int compare(const DKAny* a, const DKAny* b) const override;
    void sort(DKAny** elements, int count, int ascending) override;
};

// Orders data objects by their data item "DKRank" read as a long. An element that is not such a
// data object, has no "DKRank" or a null (or non-numeric) one ranks 0; nothing is ever rejected.
class DK_API DKSortDDORank : public dkSort {
public:
    DKSortDDORank() = default;
    ~DKSortDDORank() override;
    DKAny getKey(const DKAny* element) const override;   // a tc_long
    int compare(const DKAny* a, const DKAny* b) const override;   // -1, 0 or 1
    void sort(DKAny** elements, int count, int ascending) override;
};
