// include/dk/PVector.hpp
#pragma once
#include <dk/dkExport.hpp>

// A growable array of untyped pointers, indexed from 0. The vector never owns the objects behind
// its elements. When full it grows by the growth step, or by the initial capacity when the step
// is 0, or by 10 when both are 0. Used by one thread at a time.
class DK_API PVector {
public:
    explicit PVector(unsigned long initialCapacity = 10, unsigned long growth = 0);
    PVector(const PVector&) = delete;
    PVector& operator=(const PVector&) = delete;
    virtual ~PVector();

    unsigned long size() const { return size_; }
    unsigned long maxSize() const { return capacity_; }   // slots allocated
    void resize(unsigned long capacity);                  // grows the slots; never shrinks
    unsigned long addLast(void* element);                 // returns the new size

    // Index errors throw 392 with the text " : " and the 1-based index, then " < 1 " when that
    // index is below 1, otherwise " > " and the size.
    void* operator[](unsigned long k) const;
    void* remove(unsigned long k);          // shifts the following elements; returns the one taken
    void replace(void* element, long k);

private:
    unsigned long size_;
    unsigned long capacity_;
    unsigned long growth_;
    unsigned long initial_;
    void** elements_;
};
