// include/dk/DKEnvironment.hpp
#pragma once
#include <dk/dkExport.hpp>

// Process-wide switches an application sets once. The subsystem number (0 until set; 1 marks a
// console program) may be written and read from any thread. The locale, double-byte and string
// lock switches exist for source compatibility and do nothing: the library takes its locale per
// call and locks what it shares on its own.
class DK_API DKEnvironment {
public:
    virtual ~DKEnvironment();

    static void setSubSystem(long subSystem);
    static long getSubSystem();

    static void setLocale();
    static void lockLocale();
    static void unlockLocale();
    static void lockDBCS();
    static void unlockDBCS();
    static void lockString();
    static void unlockString();
};
