// include/dk/DKLocale.hpp
#pragma once
#include <dk/dkExport.hpp>

// The lock points around locale, double-byte and string handling. Every one does nothing: the
// library reads locales per thread (uselocale) and publishes its lead-byte tables atomically, so
// there is nothing left to lock. Kept so that callers written against them build and run.
class DK_API DKLocale {
public:
    virtual ~DKLocale();
    static void lockLocale();
    static void unlockLocale();
    static void lockDBCS();
    static void unlockDBCS();
    static void lockString();
    static void unlockString();
};
