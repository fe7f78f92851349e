// src/dk/common/strings/DKByteArray.cpp
//
// The owned byte block of content and binary attribute values. Every replacement copies the new
// bytes before it frees the old block, so assigning an array to itself or handing setData the
// array's own block is safe.

#include <dk/DKByteArray.hpp>

#include <climits>
#include <cstring>
#include <ostream>

namespace {

bool usableLength(long len) {
    return len >= 1 && len <= INT_MAX;
}

char* copyOf(const char* data, long len) {
    char* block = new char[static_cast<std::size_t>(len)];
    std::memcpy(block, data, static_cast<std::size_t>(len));
    return block;
}

}  // namespace

DKByteArray::DKByteArray() : length_(0), data_(nullptr) {}

DKByteArray::DKByteArray(char* data, long len, short mode) : length_(0), data_(nullptr) {
    if (data == nullptr || !usableLength(len)) return;
    if (mode == 0)
        data_ = copyOf(data, len);
    else if (mode == 1)
        data_ = data;
    else
        return;
    length_ = static_cast<int>(len);
}

DKByteArray::DKByteArray(const DKByteArray& other) : length_(0), data_(nullptr) {
    if (other.length_ < 1 || other.data_ == nullptr) return;
    data_ = copyOf(other.data_, other.length_);
    length_ = other.length_;
}

DKByteArray::~DKByteArray() {
    delete[] data_;
}

DKByteArray& DKByteArray::operator=(const DKByteArray& other) {
    if (this != &other) setData(other.data_, other.length_);
    return *this;
}

DKByteArray& DKByteArray::operator=(DKByteArray&& other) noexcept {
    if (this != &other) {
        delete[] data_;
        data_ = other.data_;
        length_ = other.length_;
        other.data_ = nullptr;
        other.length_ = 0;
    }
    return *this;
}

bool DKByteArray::operator==(const DKByteArray& other) const {
    return length_ == other.length_ &&
           (length_ == 0 || std::memcmp(data_, other.data_, static_cast<std::size_t>(length_)) == 0);
}

DKByteArray& DKByteArray::operator+=(const DKByteArray& other) {
    if (other.length_ < 1) return *this;
    long total = static_cast<long>(length_) + other.length_;
    if (total > INT_MAX) return *this;
    char* block = new char[static_cast<std::size_t>(total)];
    if (length_ > 0) std::memcpy(block, data_, static_cast<std::size_t>(length_));
    std::memcpy(block + length_, other.data_, static_cast<std::size_t>(other.length_));
    delete[] data_;
    data_ = block;
    length_ = static_cast<int>(total);
    return *this;
}

void DKByteArray::setData(char* data, long len) {
    char* block = (data != nullptr && usableLength(len)) ? copyOf(data, len) : nullptr;
    delete[] data_;
    data_ = block;
    length_ = block != nullptr ? static_cast<int>(len) : 0;
}

DKString DKByteArray::asString() const {
    return DKString(data_, static_cast<unsigned long>(length_));
}

std::ostream& operator<<(std::ostream& os, const DKByteArray& a) {
    return os << a.asString();
}
