// src/dk/common/values/DKNVPair.cpp
//
// The name/value pair of option and property lists: a name and a DKAny, both held by copy.

#include <dk/DKNVPair.hpp>

#include <utility>

DKNVPair::DKNVPair(const char* name) : name(name) {}

DKNVPair::DKNVPair(const char* name, const DKAny& value) : name(name), value(value) {}

DKNVPair::DKNVPair(const DKNVPair& other) = default;

DKNVPair& DKNVPair::operator=(const DKNVPair& other) = default;

DKNVPair::~DKNVPair() = default;

void DKNVPair::setName(const char* newName) { name = newName; }

void DKNVPair::setValue(const DKAny& newValue) { value = newValue; }

void DKNVPair::set(const char* newName, const DKAny& newValue) {
    // Both are copied before either field changes, so a pair may be set from its own parts.
    DKString n(newName);
    DKAny v(newValue);
    name = std::move(n);
    value = std::move(v);
}
