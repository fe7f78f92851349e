// include/dk/DKByteArray.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

#include <iosfwd>

// An owned block of raw bytes with its length. The array frees its block with delete[]; mode 1 of
// the constructor adopts the caller's block instead of copying it. Not shared between threads
// without outside locking.
class DK_API DKByteArray {
public:
    DKByteArray();
    // Mode 0 copies len bytes, mode 1 adopts data (allocated with new[]; the caller must not free
    // it), any other mode gives an empty array. Null data or a length outside 1..INT_MAX gives an
    // empty array that adopts nothing.
    DKByteArray(char* data, long len, short mode);
    DKByteArray(const DKByteArray& other);
    // Takes the other's block; the other is left empty.
    DKByteArray(DKByteArray&& other) noexcept : length_(other.length_), data_(other.data_) {
        other.length_ = 0;
        other.data_ = nullptr;
    }
    virtual ~DKByteArray();

    DKByteArray& operator=(const DKByteArray& other);   // safe on itself
    DKByteArray& operator=(DKByteArray&& other) noexcept;
    bool operator==(const DKByteArray& other) const;
    bool operator!=(const DKByteArray& other) const { return !(*this == other); }
    DKByteArray& operator+=(const DKByteArray& other);  // unchanged if the sum exceeds INT_MAX

    long length() const { return length_; }
    char* getData() const { return data_; }   // the owned block itself; null when empty
    void setData(char* data, long len);        // copies; data may lie in this array's own block
    DKString asString() const;                 // exactly length() bytes

private:
    int length_;   // bytes in data_
    char* data_;   // owned, new[]; null when empty
};

DK_API std::ostream& operator<<(std::ostream& os, const DKByteArray& a);
