// src/dk/common/strings/DKLocale.cpp
//
// The locale lock points: no-ops, since nothing the library does with locales needs a lock.

#include <dk/DKLocale.hpp>

DKLocale::~DKLocale() = default;
void DKLocale::lockLocale() {}
void DKLocale::unlockLocale() {}
void DKLocale::lockDBCS() {}
void DKLocale::unlockDBCS() {}
void DKLocale::lockString() {}
void DKLocale::unlockString() {}
