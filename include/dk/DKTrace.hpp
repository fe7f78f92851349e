// include/dk/DKTrace.hpp
#pragma once
#include <dk/dkExport.hpp>
#include <dk/dkLog.hpp>

// The tracing every class does: a DKTrace member takes the log manager for its class name once,
// when the object is built, and caches whether entry/exit tracing and debugging are on (the
// cached flags do not follow a later change of the configuration). A DKTraceScope in a member
// function writes "+ Class::op(args) <address>" on entry and "- ..." on exit; when tracing is
// off it costs one test of a cached flag. A DKTrace belongs to its object; the log manager it
// points to belongs to the factory. Used by the object's own thread.
class DK_API DKTrace {
public:
    explicit DKTrace(const char* className);

    dkLog* log() const { return log_; }
    bool traceOn() const { return trace_; }
    bool debugOn() const { return debug_; }

    // "+ " / "- " followed by the qualified operation name, a blank and the object's address
    // in decimal, written at the entry/exit level.
    void entry(const char* operation, const void* object) const;
    void exit(const char* operation, const void* object) const;

private:
    dkLog* log_;
    bool trace_;
    bool debug_;
};

// Writes the entry line when built and the exit line when destroyed, if the trace was on.
class DKTraceScope {
public:
    DKTraceScope(const DKTrace& trace, const char* operation, const void* object)
        : trace_(trace.traceOn() ? &trace : nullptr), operation_(operation), object_(object) {
        if (trace_) trace_->entry(operation_, object_);
    }
    ~DKTraceScope() {
        if (trace_) trace_->exit(operation_, object_);
    }
    DKTraceScope(const DKTraceScope&) = delete;
    DKTraceScope& operator=(const DKTraceScope&) = delete;

private:
    const DKTrace* trace_;
    const char* operation_;
    const void* object_;
};
