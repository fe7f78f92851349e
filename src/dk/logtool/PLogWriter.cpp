// src/dk/logtool/PLogWriter.cpp
//
// The writer of the log: each line goes whole, with one system call, to the log file, standard
// error or standard output. The log file's bytes are counted as they are written; past the size
// limit the file rolls over into its saved generations F.sav1 ... F.savN.

#include "dk/logtool/PLogWriter.hpp"

#include "platform/os/PSystem.hpp"

#include <cstdio>

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
    bool asConfigured = true;
    file_ = PSystem::openAppend(fileName_);
    if (file_ < 0) {
        asConfigured = false;
        if (fileName_ != kDefaultLogName) file_ = PSystem::openAppend(kDefaultLogName);
        if (file_ < 0) {
            setOutput(2);
            return false;
        }
        fileName_ = kDefaultLogName;
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
    for (int i = saved_; i >= 2; --i) {
        std::string newer = generation(f, i), older = generation(f, i - 1);
        if (canOpen(newer) && std::remove(newer.c_str()) != 0) return;
        if (canOpen(older) && std::rename(older.c_str(), newer.c_str()) != 0) return;
    }
    std::string first = generation(f, 1);
    if (canOpen(first) && std::remove(first.c_str()) != 0) return;

    closeFile();
    if (std::rename(f.c_str(), first.c_str()) != 0) {
        file_ = PSystem::openAppend(f);
        if (file_ < 0) setOutput(2);
        return;
    }
    file_ = PSystem::openAppend(f);
    for (int attempt = 0; file_ < 0 && attempt < 10; ++attempt) file_ = PSystem::openAppend(f);
    if (file_ < 0) {
        std::fputs("2\n", stderr);
        std::fflush(stderr);
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
    }
    std::FILE* stream = out == 3 ? stdout : stderr;
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fflush(stream);
}

}  // namespace plog
