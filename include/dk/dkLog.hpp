// include/dk/dkLog.hpp
#pragma once
#include <dk/dkExport.hpp>

class dkLogException;

// The log interface every class writes through. One process-wide priority decides what is
// written; all managers share one output. Implementations are owned by their factory and live
// until the process ends: callers never delete a dkLog*, hence the protected destructor.
// Every operation may be called from any thread and never throws.
class DK_API dkLog {
public:
    virtual void fatal(const dkLogException& e) = 0;
    virtual void fatal(const char* message) = 0;
    virtual void error(const dkLogException& e) = 0;
    virtual void error(const char* message) = 0;
    virtual void perf(const char* message) = 0;
    virtual void info(const dkLogException& e) = 0;
    virtual void info(const char* message) = 0;
    virtual void trace_native_api(const dkLogException& e) = 0;
    virtual void trace_native_api(const char* message) = 0;
    virtual void trace_entry_exit(const dkLogException& e) = 0;
    virtual void trace_entry_exit(const char* message) = 0;
    virtual void trace(const dkLogException& e) = 0;
    virtual void trace(const char* message) = 0;
    virtual void debug(const dkLogException& e) = 0;
    virtual void debug(const char* message) = 0;
    virtual bool isEnabled_logging() = 0;
    virtual bool isEnabled_fatal() = 0;
    virtual bool isEnabled_error() = 0;
    virtual bool isEnabled_perf() = 0;
    virtual bool isEnabled_info() = 0;
    virtual bool isEnabled_trace_native_api() = 0;
    virtual bool isEnabled_trace_entry_exit() = 0;
    virtual bool isEnabled_trace() = 0;
    virtual bool isEnabled_debug() = 0;
    // Writes a line with the letter of the given priority value whenever logging is enabled at
    // all, whether or not that level is; an unknown value writes nothing.
    virtual void forcedLog(int priority, const char* message) = 0;

protected:
    ~dkLog() = default;
};

// A priority value with its name. A level is enabled when the current priority is at most the
// level's value; DISABLE turns every level off. The name is one of the ..._STR constants and is
// not owned. A plain value; not shared between threads.
class DK_API DKLogPriority_default {
public:
    static constexpr int DISABLE_INT = 90000;
    static constexpr int FATAL_INT = 50000;
    static constexpr int ERROR_INT = 40000;
    static constexpr int PERF_INT = 30000;
    static constexpr int INFO_INT = 20000;
    static constexpr int TRACE_NATIVE_API_INT = 18000;
    static constexpr int TRACE_ENTRY_EXIT_INT = 17000;
    static constexpr int TRACE_INT = 15000;
    static constexpr int DEBUG_INT = 10000;

    static constexpr const char* const DISABLE_STR = "DISABLE";
    static constexpr const char* const FATAL_STR = "FATAL";
    static constexpr const char* const ERROR_STR = "ERROR";
    static constexpr const char* const PERF_STR = "PERF";
    static constexpr const char* const INFO_STR = "INFO";
    static constexpr const char* const TRACE_NATIVE_API_STR = "TRACE_NATIVE_API";
    static constexpr const char* const TRACE_ENTRY_EXIT_STR = "TRACE_ENTRY_EXIT";
    static constexpr const char* const TRACE_STR = "TRACE";
    static constexpr const char* const DEBUG_STR = "DEBUG";

    DKLogPriority_default(int priority, const char* name) : priority_(priority), name_(name) {}

    void setPriority(int priority, const char* name) {
        priority_ = priority;
        name_ = name;
    }
    int getPriorityInt() const { return priority_; }
    const char* toString() const { return name_; }

private:
    int priority_;
    const char* name_;
};

// Makes log managers: one process-wide unnamed manager and one manager per name. The managers
// it hands out stay valid for the life of the process.
class DK_API dkLogManagerFactory {
public:
    virtual ~dkLogManagerFactory();
    virtual dkLog* makeLogManager(const char* name) = 0;
    virtual dkLog* makeLogManager() = 0;
};

// The way into logging: the current factory and the current (unnamed) log manager, both
// process-wide. All members are static and safe to call from any thread.
class DK_API DKLogAccessor {
public:
    // The current log manager, made by the current factory (a default one when none is set).
    static dkLog* getInstance();
    // The factory's manager for a class name; the same name gives the same object.
    static dkLog* getInstance(const char* name);
    static void setLogManager(dkLog* manager);
    // Makes the factory current and forgets the current manager; the factory is not owned.
    static void setLogManagerFactory(dkLogManagerFactory* factory);
    // Option 1 is the performance threshold: a value read as a signed number that is 0 or more
    // is stored and returned; anything else stores nothing and returns 0.
    static int setOptionValue(void* option, void* value);
    // Option 1: the performance threshold as a pointer-sized number; other options: null.
    static void* getOptionValue(void* option);

    DKLogAccessor() = delete;
};
