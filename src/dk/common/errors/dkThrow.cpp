// src/dk/common/errors/dkThrow.cpp
//
// The part of every throw that does not depend on the exception's class: mark it thrown, record
// where it arose and log it once, before the caller throws its copy.

#include <dk/dkLog.hpp>
#include <dk/dkThrow.hpp>

void dkThrowPrepare(DKExceptionBase& e, const char* source, const char* function, unsigned long line) {
    DKExceptionBase::setThrown(1);
    e.addLocation(DKExceptionLocation(source, function, line));
    if (dkLog* log = DKLogAccessor::getInstance()) log->error(e);
}
