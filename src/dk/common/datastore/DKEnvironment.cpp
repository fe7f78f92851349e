// src/dk/common/datastore/DKEnvironment.cpp
//
// The application's process-wide switches. Only the subsystem number carries state; it is an
// atomic so that message texts made on any thread may read it while the application sets it.

#include <dk/DKEnvironment.hpp>

#include <atomic>

namespace {
std::atomic<long> subSystemNumber{0};
}  // namespace

DKEnvironment::~DKEnvironment() = default;

void DKEnvironment::setSubSystem(long subSystem) { subSystemNumber.store(subSystem, std::memory_order_relaxed); }

long DKEnvironment::getSubSystem() { return subSystemNumber.load(std::memory_order_relaxed); }

void DKEnvironment::setLocale() {}
void DKEnvironment::lockLocale() {}
void DKEnvironment::unlockLocale() {}
void DKEnvironment::lockDBCS() {}
void DKEnvironment::unlockDBCS() {}
void DKEnvironment::lockString() {}
void DKEnvironment::unlockString() {}
