// tools/dk/dkToolLog.hpp
#pragma once

// The log of `dk`. The tool installs its own log manager in the library, so a run writes one
// banner line, one line per error the library reports, and nothing about the environment. The
// file rolls over past a size limit. Log trouble never stops a command: the first failure is
// reported once on standard error and the run goes on without a log.

#include <dk/dkLog.hpp>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>

namespace dkcli {

// The one log manager of the process: every name the library asks for gets this same object.
// Writes "YYYY-MM-DDTHH:MM:SSZ [L] text" lines (L: F error fatal, E error, I info, P perf).
// Owns its file; the destructor hands logging back to the library's own log manager, but objects
// the library made meanwhile may keep this one, so the tool keeps it for the whole process.
// Safe to call from any thread (one mutex around every write).
class ToolLog : public dkLog, public dkLogManagerFactory {
public:
    static constexpr const char* kFileName = "dklog.log";

    // The log file is folder/dklog.log; it rolls over to dklog.log.sav1 .. .savN when a line
    // would take it past maxBytes. warnings receives the one warning (normally stderr).
    ToolLog(std::filesystem::path folder, std::uint64_t maxBytes = 1 << 20, int generations = 2,
            std::FILE* warnings = stderr);
    ~ToolLog() override;
    ToolLog(const ToolLog&) = delete;
    ToolLog& operator=(const ToolLog&) = delete;

    // Makes this the library's log manager and writes the banner line. A log that cannot be
    // opened is reported and left off.
    void install(const std::string& banner);
    const std::filesystem::path& file() const { return file_; }
    bool isOpen() const;

    // dkLogManagerFactory
    dkLog* makeLogManager(const char*) override { return this; }
    dkLog* makeLogManager() override { return this; }

    // dkLog
    void fatal(const dkLogException& e) override { write('F', describe(e)); }
    void fatal(const char* message) override { write('F', message); }
    void error(const dkLogException& e) override { write('E', describe(e)); }
    void error(const char* message) override { write('E', message); }
    void perf(const char* message) override { write('P', message); }
    void info(const dkLogException& e) override { write('I', describe(e)); }
    void info(const char* message) override { write('I', message); }
    void trace_native_api(const dkLogException&) override {}
    void trace_native_api(const char*) override {}
    void trace_entry_exit(const dkLogException&) override {}
    void trace_entry_exit(const char*) override {}
    void trace(const dkLogException&) override {}
    void trace(const char*) override {}
    void debug(const dkLogException&) override {}
    void debug(const char*) override {}
    bool isEnabled_logging() override { return true; }
    bool isEnabled_fatal() override { return true; }
    bool isEnabled_error() override { return true; }
    bool isEnabled_perf() override { return false; }
    bool isEnabled_info() override { return true; }
    bool isEnabled_trace_native_api() override { return false; }
    bool isEnabled_trace_entry_exit() override { return false; }
    bool isEnabled_trace() override { return false; }
    bool isEnabled_debug() override { return false; }
    void forcedLog(int priority, const char* message) override;

private:
    static std::string describe(const dkLogException& e);
    void write(char level, const std::string& text);
    void writeLocked(char level, const std::string& text);
    bool openLocked();
    void rollOverLocked();
    void failLocked(const std::string& what, int err);

    std::filesystem::path folder_;
    std::filesystem::path file_;
    std::uint64_t maxBytes_;
    int generations_;
    std::FILE* warnings_;
    std::mutex mutex_;
    std::FILE* out_ = nullptr;   // owned
    std::uint64_t size_ = 0;
    bool failed_ = false;        // warned once; no more writing
    bool installed_ = false;     // the library's current log manager
};

}  // namespace dkcli
