// tools/dk/dkToolLog.cpp
//
// The tool's own log: one line per event, size-based rollover, and failures that only warn. The
// library hands every exception it throws to the current log manager; here that is one line with
// the exception's name, number and text, line ends folded, so a log of many runs stays readable.

#include "dkToolLog.hpp"

#include <dk/DKException.hpp>
#include <dk/DKString.hpp>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <system_error>

namespace fs = std::filesystem;

namespace dkcli {

ToolLog::ToolLog(fs::path folder, std::uint64_t maxBytes, int generations, std::FILE* warnings)
    : folder_(std::move(folder)),
      file_(folder_ / kFileName),
      maxBytes_(maxBytes),
      generations_(generations < 1 ? 1 : generations),
      warnings_(warnings) {}

ToolLog::~ToolLog() {
    if (installed_) {
        DKLogAccessor::setLogManagerFactory(nullptr);   // back to the library's own log
        installed_ = false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (out_) std::fclose(out_);
    out_ = nullptr;
}

void ToolLog::install(const std::string& banner) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        openLocked();
    }
    DKLogAccessor::setLogManagerFactory(this);
    DKLogAccessor::setLogManager(this);
    installed_ = true;
    write('I', banner);
}

bool ToolLog::isOpen() const { return out_ != nullptr; }

void ToolLog::forcedLog(int priority, const char* message) {
    char level = 0;
    if (priority >= DKLogPriority_default::FATAL_INT && priority < DKLogPriority_default::DISABLE_INT) level = 'F';
    else if (priority >= DKLogPriority_default::ERROR_INT) level = 'E';
    else if (priority >= DKLogPriority_default::PERF_INT) level = 'P';
    else if (priority >= DKLogPriority_default::DEBUG_INT) level = 'I';
    if (level != 0 && priority < DKLogPriority_default::DISABLE_INT) write(level, message ? message : "");
}

std::string ToolLog::describe(const dkLogException& e) {
    std::string text = std::string(e.name()) + " " + std::to_string(e.errorMessageId()) + ": ";
    try {
        text += e.toString().c_str();
    } catch (...) {
        text += "(no text)";   // describing must never throw out of a log call
    }
    return text;
}

void ToolLog::write(char level, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    writeLocked(level, text);
}

void ToolLog::writeLocked(char level, const std::string& text) {
    if (failed_ || !out_) return;
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &tm);
    std::string line = std::string(stamp) + " [" + level + "] ";
    // One event, one line: line ends inside the text are folded.
    for (char c : text) {
        if (c == '\n') line += " | ";
        else if (c != '\r') line += c;
    }
    while (line.size() > 3 && line.compare(line.size() - 3, 3, " | ") == 0) line.resize(line.size() - 3);
    line += '\n';
    if (maxBytes_ > 0 && size_ > 0 && size_ + line.size() > maxBytes_) rollOverLocked();
    if (!out_) return;
    if (std::fwrite(line.data(), 1, line.size(), out_) != line.size() || std::fflush(out_) != 0) {
        failLocked("cannot write the log " + file_.string(), errno);
        return;
    }
    size_ += line.size();
}

bool ToolLog::openLocked() {
    std::error_code ec;
    fs::create_directories(folder_, ec);
    if (ec) {
        failLocked("cannot make the log folder " + folder_.string(), ec.value());
        return false;
    }
    out_ = std::fopen(file_.c_str(), "ae");
    if (!out_) {
        failLocked("cannot open the log " + file_.string(), errno);
        return false;
    }
    const long end = std::ftell(out_);
    size_ = end > 0 ? static_cast<std::uint64_t>(end) : 0;
    return true;
}

void ToolLog::rollOverLocked() {
    std::fclose(out_);
    out_ = nullptr;
    // dklog.log.sav(N-1) -> .savN, ..., dklog.log -> .sav1; the oldest generation goes.
    std::error_code ec;
    const std::string base = file_.string() + ".sav";
    fs::remove(base + std::to_string(generations_), ec);
    for (int i = generations_ - 1; i >= 1; --i) {
        if (fs::exists(base + std::to_string(i), ec)) fs::rename(base + std::to_string(i), base + std::to_string(i + 1), ec);
    }
    fs::rename(file_, base + "1", ec);
    if (ec) {
        failLocked("cannot roll the log " + file_.string() + " over", ec.value());
        return;
    }
    openLocked();
}

void ToolLog::failLocked(const std::string& what, int err) {
    if (out_) std::fclose(out_);
    out_ = nullptr;
    if (failed_) return;
    failed_ = true;
    if (warnings_)
        std::fprintf(warnings_, "dk: warning: %s: %s; going on without a log\n", what.c_str(),
                     std::strerror(err != 0 ? err : EIO));
}

}  // namespace dkcli
