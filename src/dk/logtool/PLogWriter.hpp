// src/dk/logtool/PLogWriter.hpp
#pragma once

// The one output of the process's log: the log file, with its rollover into saved generations and
// the count of bytes written that triggers it, or standard error, or standard output.

#include <dk/PMutex.hpp>

#include <atomic>
#include <cstdint>
#include <string>

namespace plog {

// The name the log falls back to, in the current folder, and the first log file name.
extern const char* const kDefaultLogName;

// The process's log output; one instance (instance()), never freed, so that logging keeps
// working while the process exits. writeLine takes the output mutex, then the size mutex. The
// configuration changes the settings below while it holds the output mutex (taken after its own).
class PLogWriter {
public:
    static PLogWriter& instance();

    // Writes one line and its line end to the chosen output and flushes it; over the size limit
    // the log file rolls over. `line` gets its line end appended.
    void writeLine(std::string& line);

    PMutex& outputMutex() { return outputMutex_; }

    // Under the output mutex.
    void closeFile();
    // Opens the log file for appending and counts its size as written. When it cannot be opened,
    // falls back to kDefaultLogName and then to standard error; false after such a fallback.
    bool openFile();
    void setFileName(const std::string& name) { fileName_ = name; }
    void setOutput(int output) { output_.store(output, std::memory_order_relaxed); }
    int output() const { return output_.load(std::memory_order_relaxed); }
    void setSaved(int saved);
    void setSizeLimit(std::uint64_t bytes);

private:
    PLogWriter() = default;
    void rollover();

    PMutex outputMutex_, sizeMutex_;

    // Under the output mutex. The log file is written with one system call per line, which is
    // also its flush.
    int file_ = -1;
    std::string fileName_ = kDefaultLogName;
    std::atomic<int> output_{1};   // 1 file, 2 standard error, 3 standard output
    int saved_ = 1;

    // Under the size mutex.
    std::uint64_t sizeLimit_ = std::uint64_t(5) << 20;
    std::uint64_t written_ = 0;
};

}  // namespace plog
