// src/dk/logtool/DKTrace.cpp
//
// The entry and exit lines of traced member functions. The text is built only when the object's
// cached trace flag is on, so an untraced call never formats anything. A line that cannot be
// built or written is reported to the error handler of the log, never to the traced caller.

#include <dk/DKTrace.hpp>

#include "dk/logtool/PLogErrorHandler.hpp"

#include <cstdint>
#include <string>

namespace {
void writeMark(dkLog* log, const char* mark, const char* operation, const void* object) {
    std::string text = mark;
    text += operation ? operation : "";
    text += ' ';
    text += std::to_string(reinterpret_cast<std::uintptr_t>(object));
    log->trace_entry_exit(text.c_str());
}
}  // namespace

DKTrace::DKTrace(const char* className)
    : log_(DKLogAccessor::getInstance(className)),
      trace_(log_->isEnabled_trace_entry_exit()),
      debug_(log_->isEnabled_debug()) {}

void DKTrace::entry(const char* operation, const void* object) const {
    try {
        writeMark(log_, "+ ", operation, object);
    } catch (...) {
        plog::reportCaught(plog::Failure::call, "a trace line was lost");
    }
}

void DKTrace::exit(const char* operation, const void* object) const {
    try {
        writeMark(log_, "- ", operation, object);
    } catch (...) {
        plog::reportCaught(plog::Failure::call, "a trace line was lost");
    }
}
