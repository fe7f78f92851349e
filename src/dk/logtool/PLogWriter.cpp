// src/dk/logtool/PLogWriter.cpp
//
// The writer of the log: each line goes whole, with one system call, to the log file, standard
// error or standard output. The log file's bytes are counted as they are written; past the size
// limit the file rolls over into its saved generations F.sav1 ... F.savN. What fails on the way
// keeps the steps the log manager prescribes (the line goes to standard error, the rollover
// stops, the output turns to standard error) and is reported to the error handler.

#include "dk/logtool/PLogWriter.hpp"

#include "dk/logtool/PLogErrorHandler.hpp"
#include "platform/os/PSystem.hpp"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace plog {

const char* const kDefaultLogName = "dklog.log";

namespace {

constexpr int kMaxSaved = 9999;   // more generations than this would make one rollover take minutes

bool canOpen(const std::string& name) {
    // Opening in read-and-append mode creates a missing generation, as the rollover expects.
    std::FILE* f = std::fopen(name.c_str(), "a+");
    if (!f) return false;
    std::fclose(f);
    return true;
}

std::string generation(const std::string& base, int i) { return base + ".sav" + std::to_string(i); }

// Tells the error handler when the open log file no longer has its name: renamed away (perhaps
// with another file put in its place) or removed, it still takes lines that nobody finds under
// the name, and the rollover would save a file it never wrote. The descriptor's entry under
// /proc/self/fd names the open file even after it lost its name; without /proc nothing is said.
void checkStillNamed(int file, const std::string& name) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path own = "/proc/self/fd/" + std::to_string(file);
    if (!fs::exists(own, ec) || ec) return;
    const bool named = fs::exists(name, ec);
    if (ec) return;
    if (!named)
        reportFailure(Failure::replaced, "the log file %s was renamed or removed while it was written; the lines "
                      "since then are not in it", name.c_str());
    else if (!fs::equivalent(own, name, ec) && !ec)
        reportFailure(Failure::replaced, "the log file %s was replaced by another file while it was written; the "
                      "lines since then are not in it", name.c_str());
}

}  // namespace

PLogWriter& PLogWriter::instance() {
    static PLogWriter* writer = new PLogWriter;   // never freed; see the class comment
    return *writer;
}

void PLogWriter::setSaved(int saved) { saved_ = saved > kMaxSaved ? kMaxSaved : saved; }

void PLogWriter::setSizeLimit(std::uint64_t bytes) {
    PMutexWrapper size(&sizeMutex_);
    sizeLimit_ = bytes;
}

void PLogWriter::closeFile() {
    PSystem::closeFile(file_);
    file_ = -1;
}

bool PLogWriter::openFile() {
    file_ = PSystem::openAppend(fileName_);
    const bool asConfigured = file_ >= 0;
    if (!asConfigured) {
        const int err = errno;
        if (fileName_ == kDefaultLogName) {
            reportFailure(Failure::open, "cannot open the log file %s: %s; the log goes to standard error",
                          fileName_.c_str(), systemText(err));
        } else if ((file_ = PSystem::openAppend(kDefaultLogName)) < 0) {
            const int fallbackErr = errno;
            reportFailure(Failure::open, "cannot open the log file %s: %s, nor %s: %s; the log goes to standard error",
                          fileName_.c_str(), systemText(err), kDefaultLogName, systemText(fallbackErr));
        } else {
            reportFailure(Failure::open, "cannot open the log file %s: %s; the log goes to %s in the current folder",
                          fileName_.c_str(), systemText(err), kDefaultLogName);
            fileName_ = kDefaultLogName;
        }
        if (file_ < 0) {
            setOutput(2);
            return false;
        }
    }
    std::int64_t size = PSystem::fileSize(fileName_);
    PMutexWrapper lock(&sizeMutex_);
    written_ = size > 0 ? static_cast<std::uint64_t>(size) : 0;
    return asConfigured;
}

// Moves F to F.sav1 and each F.savI to F.sav(I+1), dropping the oldest. Runs under the output
// mutex. Any failed remove or rename stops it with the current file left open.
void PLogWriter::rollover() {
    const std::string& f = fileName_;
    checkStillNamed(file_, f);
    // Reports a remove or rename that failed with `err`, after which the log goes on in F.
    auto stopped = [&f](const char* step, const std::string& name, const char* to, int err) {
        reportFailure(Failure::rollover, "cannot %s %s%s%s: %s; the rollover stopped and the log goes on in %s", step,
                      name.c_str(), *to ? " to " : "", to, systemText(err), f.c_str());
    };
    for (int i = saved_; i >= 2; --i) {
        std::string newer = generation(f, i), older = generation(f, i - 1);
        if (canOpen(newer) && std::remove(newer.c_str()) != 0) return stopped("remove", newer, "", errno);
        if (canOpen(older) && std::rename(older.c_str(), newer.c_str()) != 0)
            return stopped("rename", older, newer.c_str(), errno);
    }
    std::string first = generation(f, 1);
    if (canOpen(first) && std::remove(first.c_str()) != 0) return stopped("remove", first, "", errno);

    closeFile();
    if (std::rename(f.c_str(), first.c_str()) != 0) {
        const int err = errno;
        file_ = PSystem::openAppend(f);
        if (file_ >= 0) return stopped("rename", f, first.c_str(), err);
        const int reopenErr = errno;
        reportFailure(Failure::rollover, "cannot rename %s to %s: %s", f.c_str(), first.c_str(), systemText(err));
        reportFailure(Failure::reopen, "cannot open the log file %s again: %s; the log goes to standard error",
                      f.c_str(), systemText(reopenErr));
        setOutput(2);
        return;
    }
    file_ = PSystem::openAppend(f);
    for (int attempt = 0; file_ < 0 && attempt < 10; ++attempt) file_ = PSystem::openAppend(f);
    if (file_ < 0) {
        const int err = errno;
        std::fputs("2\n", stderr);
        std::fflush(stderr);
        reportFailure(Failure::reopen,
                      "cannot open a new log file %s after the rollover: %s; the log goes to standard error", f.c_str(),
                      systemText(err));
        setOutput(2);
        return;
    }
    PMutexWrapper size(&sizeMutex_);
    written_ = 0;
}

// A line the log file does not take goes to standard error, so nothing is lost silently.
void PLogWriter::writeLine(std::string& line) {
    std::size_t length = line.size();
    line.push_back('\n');
    PMutexWrapper lock(&outputMutex_);
    int out = output();
    if (out == 1) {
        errno = 0;
        if (file_ >= 0 && PSystem::writeAll(file_, line.data(), line.size())) {
            bool full;
            {
                PMutexWrapper size(&sizeMutex_);
                written_ += length;
                full = sizeLimit_ != 0 && written_ > sizeLimit_;
            }
            if (full) rollover();
            return;
        }
        if (file_ < 0)
            reportFailure(Failure::write, "the log file %s is not open; the line went to standard error",
                          fileName_.c_str());
        else
            reportFailure(Failure::write, "cannot write to the log file %s: %s; the line went to standard error",
                          fileName_.c_str(), systemText(errno));
    }
    std::FILE* stream = out == 3 ? stdout : stderr;
    if (std::fwrite(line.data(), 1, line.size(), stream) != line.size() || std::fflush(stream) != 0)
        reportFailure(Failure::write, "cannot write to standard %s: %s", out == 3 ? "output" : "error",
                      systemText(errno));
}

}  // namespace plog
