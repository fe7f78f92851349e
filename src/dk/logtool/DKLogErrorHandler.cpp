// src/dk/logtool/DKLogErrorHandler.cpp
//
// The error handler of the log manager. A log call must not throw and must not stop its caller,
// yet a log that silently stops writing is worse than one that says so: every failure inside the
// log manager comes here, is counted, and the first of each kind is reported on standard error.
// Its state is constant-initialised and needs no allocation, so it works before any constructor,
// during exit and when memory has run out.

#include <dk/DKLogManager.hpp>

#include "dk/logtool/PLogErrorHandler.hpp"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>

namespace {

constexpr int kKinds = static_cast<int>(plog::Failure::call) + 1;
constexpr std::size_t kTextSize = 1024;

std::atomic<unsigned long> g_count{0};
std::atomic<bool> g_reported[kKinds] = {};
std::mutex g_lastMutex;   // guards g_last
char g_last[kTextSize] = "";

}  // namespace

namespace plog {

void reportFailure(Failure kind, const char* format, ...) noexcept {
    char text[kTextSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    g_count.fetch_add(1, std::memory_order_relaxed);
    {
        std::lock_guard<std::mutex> lock(g_lastMutex);
        std::memcpy(g_last, text, sizeof text);
    }
    if (!g_reported[static_cast<int>(kind)].exchange(true, std::memory_order_relaxed)) {
        std::fprintf(stderr, "dk log: %s (failures like this one are counted, not shown again)\n", text);
        std::fflush(stderr);
    }
}

void reportCaught(Failure kind, const char* what) noexcept {
    try {
        throw;
    } catch (const std::exception& e) {
        reportFailure(kind, "%s: %s", what, e.what());
    } catch (...) {
        reportFailure(kind, "%s: an exception of unknown type", what);
    }
}

const char* systemText(int err) noexcept { return err ? std::strerror(err) : "no error number"; }

}  // namespace plog

unsigned long DKLogErrorHandler::getFailureCount() { return g_count.load(std::memory_order_relaxed); }

DKString DKLogErrorHandler::getLastFailure() {
    char copy[kTextSize];
    {
        std::lock_guard<std::mutex> lock(g_lastMutex);
        std::memcpy(copy, g_last, sizeof copy);
    }
    return DKString(copy);
}
