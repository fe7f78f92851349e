// src/dk/common/text/PVector.cpp
//
// The pointer array behind the connection pool's free and used lists and the data object's
// item tables. Out-of-range indexes are reported with message 392 and the offending 1-based
// index, so a caller's off-by-one shows in the log.

#include <dk/PVector.hpp>

#include <dk/DKException.hpp>
#include <dk/DKString.hpp>
#include <dk/dkThrow.hpp>

#include <cstring>

namespace {
constexpr const char* kSource = "dk/common/PVector";

// Message 392 with " : ", the 1-based index and either " < 1 " or " > " and the size.
[[noreturn]] void outOfRange(const DKString& oneBased, bool belowOne, unsigned long size, const char* function) {
    DKString detail(" : ");
    detail += oneBased;
    if (belowOne) {
        detail += " < 1 ";
    } else {
        detail += " > ";
        detail += DKString(size);
    }
    dkThrow<DKUsageError>(392, kSource, function, detail);
}

// The 1-based form of an unsigned index; ULONG_MAX wraps to 0, which reads as below 1.
[[noreturn]] void outOfRange(unsigned long k, unsigned long size, const char* function) {
    unsigned long oneBased = k + 1;
    outOfRange(DKString(oneBased), oneBased == 0, size, function);
}
}  // namespace

PVector::PVector(unsigned long initialCapacity, unsigned long growth)
    : size_(0), capacity_(0), growth_(growth), initial_(initialCapacity), elements_(nullptr) {
    if (initialCapacity > 0) resize(initialCapacity);
}

PVector::~PVector() { delete[] elements_; }

void PVector::resize(unsigned long capacity) {
    if (capacity <= capacity_) return;
    void** grown = new void*[capacity];
    if (size_ > 0) std::memcpy(grown, elements_, size_ * sizeof(void*));
    delete[] elements_;
    elements_ = grown;
    capacity_ = capacity;
}

unsigned long PVector::addLast(void* element) {
    if (size_ == capacity_) {
        unsigned long step = growth_ != 0 ? growth_ : (initial_ != 0 ? initial_ : 10);
        resize(capacity_ + step);
    }
    elements_[size_++] = element;
    return size_;
}

void* PVector::operator[](unsigned long k) const {
    if (k >= size_) outOfRange(k, size_, "PVector::operator[]");
    return elements_[k];
}

void* PVector::remove(unsigned long k) {
    if (k >= size_) outOfRange(k, size_, "PVector::remove");
    void* element = elements_[k];
    std::memmove(elements_ + k, elements_ + k + 1, (size_ - k - 1) * sizeof(void*));
    --size_;
    return element;
}

void PVector::replace(void* element, long k) {
    if (k < 0) outOfRange(DKString(k + 1), true, size_, "PVector::replace");
    if (static_cast<unsigned long>(k) >= size_) outOfRange(static_cast<unsigned long>(k), size_, "PVector::replace");
    elements_[k] = element;
}
