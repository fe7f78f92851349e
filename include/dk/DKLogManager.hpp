// include/dk/DKLogManager.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/PMutex.hpp>
#include <dk/dkExport.hpp>
#include <dk/dkLog.hpp>

// The library's log manager. Every manager writes to the one process-wide output with the one
// process-wide priority; a manager adds only its name, shown in error blocks. The first manager
// built reads the log configuration, opens the log and writes the header. Managers belong to the
// factory that made them and live until the process ends. Safe to use from any thread.
class DK_API DKLogManager_default : public dkLog {
public:
    DKLogManager_default();
    explicit DKLogManager_default(const char* name);
    virtual ~DKLogManager_default();
    DKLogManager_default(const DKLogManager_default&) = delete;
    DKLogManager_default& operator=(const DKLogManager_default&) = delete;

    void fatal(const dkLogException& e) override;
    void fatal(const char* message) override;
    void error(const dkLogException& e) override;
    void error(const char* message) override;
    void perf(const char* message) override;
    void info(const dkLogException& e) override;
    void info(const char* message) override;
    void trace_native_api(const dkLogException& e) override;
    void trace_native_api(const char* message) override;
    void trace_entry_exit(const dkLogException& e) override;
    void trace_entry_exit(const char* message) override;
    void trace(const dkLogException& e) override;
    void trace(const char* message) override;
    void debug(const dkLogException& e) override;
    void debug(const char* message) override;
    bool isEnabled_logging() override;
    bool isEnabled_fatal() override;
    bool isEnabled_error() override;
    bool isEnabled_perf() override;
    bool isEnabled_info() override;
    bool isEnabled_trace_native_api() override;
    bool isEnabled_trace_entry_exit() override;
    bool isEnabled_trace() override;
    bool isEnabled_debug() override;
    void forcedLog(int priority, const char* message) override;

    DKString getName() const;

private:
    DKString name_;   // empty for the unnamed manager
};

// The default factory: one manager per exact (case-sensitive) name in a table of 100 chained
// buckets, and the one process-wide unnamed manager shared by all factories. The table is
// guarded by its own mutex; the factory owns the named managers it made.
class DK_API DKLogManagerFactory_default : public dkLogManagerFactory {
public:
    DKLogManagerFactory_default();
    // Frees the named managers this factory made; the shared unnamed manager stays.
    ~DKLogManagerFactory_default() override;
    DKLogManagerFactory_default(const DKLogManagerFactory_default&) = delete;
    DKLogManagerFactory_default& operator=(const DKLogManagerFactory_default&) = delete;

    dkLog* makeLogManager(const char* name) override;
    dkLog* makeLogManager() override;

    static constexpr int BUCKETS = 100;

private:
    struct Entry {
        DKString name;
        DKLogManager_default* log;
        Entry* next;
    };
    Entry* table_[BUCKETS];
    PMutex tableMutex_;
};

// What the log manager could not do. A log call never throws and never stops its caller; when
// the log manager fails on its own (a line the log file does not take, a rollover that cannot
// remove or rename, a log file that cannot be opened, reopened or that was removed or replaced
// under it, a watcher that cannot start, a line that cannot be built), the failure is counted
// here and the first failure of each kind is reported once on standard error, as one line
// beginning "dk log: ". All members are static and safe to call from any thread.
class DK_API DKLogErrorHandler {
public:
    // How many failures the log manager has met since the process started.
    static unsigned long getFailureCount();
    // The text of the latest failure, without "dk log: "; empty while there was none.
    static DKString getLastFailure();

    DKLogErrorHandler() = delete;
};
