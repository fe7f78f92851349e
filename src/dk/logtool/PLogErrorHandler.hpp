// src/dk/logtool/PLogErrorHandler.hpp
#pragma once

// The one place the log manager's own failures go (see DKLogErrorHandler in DKLogManager.hpp):
// each is counted and kept as the latest failure text, and the first of each kind is reported
// once on standard error.

namespace plog {

enum class Failure {
    write,      // a line the log file or a standard stream did not take
    open,       // the log file could not be opened when the configuration was read
    rollover,   // a saved generation or the log file could not be removed or renamed
    reopen,     // the log file could not be opened again after a rollover
    replaced,   // the log file was removed or replaced under the writer
    watcher,    // the configuration watcher could not be started
    setting,    // a configuration value that cannot be used
    call,       // a log call or a configuration that failed on an exception
};

// Counts one failure of `kind` and keeps the printf-style text as the latest; the first failure
// of a kind is also written to standard error as "dk log: " + text. Never throws, never takes a
// lock of the log manager: callable under the writer's output mutex and from any thread.
void reportFailure(Failure kind, const char* format, ...) noexcept __attribute__((format(printf, 2, 3)));

// Reports the exception being handled as a failure of `kind`: `what` happened, then the
// exception's text. Call it only inside a catch block.
void reportCaught(Failure kind, const char* what) noexcept;

// The system's text for an errno value; "no error number" for 0.
const char* systemText(int err) noexcept;

}  // namespace plog
