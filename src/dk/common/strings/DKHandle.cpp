// src/dk/common/strings/DKHandle.cpp
//
// A platform handle paired with the name of its kind, passed through interfaces that must not
// know the handle's type. The handle is only carried, never closed.

#include <dk/DKHandle.hpp>

DKHandle::DKHandle() : handle_(nullptr) {}

DKHandle::DKHandle(void* handle, const char* type) : handle_(handle), type_(type) {}

DKHandle::DKHandle(const DKHandle& other) = default;

DKHandle& DKHandle::operator=(const DKHandle& other) {
    handle_ = other.handle_;
    type_ = other.type_;
    return *this;
}

DKHandle::~DKHandle() = default;

void* DKHandle::handle() const {
    return handle_;
}

DKString DKHandle::type() const {
    return type_;
}
