// src/dk/logtool/DKLogManager.cpp
//
// The log manager and its default factory. A manager checks the process-wide priority, has its
// line built and hands it to the writer; it adds only its name. What they share lives in the
// pieces beside this file: the configuration (and its watcher), the writer with its rollover,
// the formatting of lines, error blocks and header, the repeat suppression, and the error handler
// that a log call which fails on an exception reports to instead of throwing.

#include <dk/DKException.hpp>
#include <dk/DKLogManager.hpp>

#include "dk/logtool/PLogConfiguration.hpp"
#include "dk/logtool/PLogErrorHandler.hpp"
#include "dk/logtool/PLogFormat.hpp"
#include "dk/logtool/PLogSuppression.hpp"
#include "dk/logtool/PLogWriter.hpp"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

using P = DKLogPriority_default;
using plog::logPriority;

// The unnamed manager this thread is building, handed out if the build asks for it again.
thread_local DKLogManager_default* tl_unnamedInProgress = nullptr;
thread_local bool tl_buildingUnnamed = false;

std::atomic<DKLogManager_default*> g_unnamed{nullptr};

PMutex& unnamedMutex() {
    static PMutex* mutex = new PMutex;   // never freed: managers may be asked for during exit
    return *mutex;
}

void writeStandard(char letter, const char* text) {
    std::string line = plog::standardLine(letter, text);
    plog::PLogWriter::instance().writeLine(line);
}

void writeErrorBlock(const char* exceptionName, const DKString& managerName, const std::string& message) {
    std::string block = plog::errorBlock(exceptionName, managerName, message);
    plog::PLogWriter::instance().writeLine(block);
}

std::string textOf(const dkLogException& e) {
    DKString t = e.toString();
    return std::string(t.c_str(), t.length());
}

inline bool enabledAt(int level) { return logPriority.load(std::memory_order_relaxed) <= level; }

void logAt(int level, char letter, const char* message) {
    if (!enabledAt(level)) return;
    try {
        writeStandard(letter, message);
    } catch (...) {
        plog::reportCaught(plog::Failure::call, "a log line was lost");
    }
}

void logAt(int level, char letter, const dkLogException& e) {
    if (!enabledAt(level)) return;
    try {
        writeStandard(letter, textOf(e).c_str());
    } catch (...) {
        plog::reportCaught(plog::Failure::call, "a log line was lost");
    }
}

char letterOf(int priority) {
    switch (priority) {
    case P::FATAL_INT: return 'F';
    case P::ERROR_INT: return 'E';
    case P::PERF_INT: return 'P';
    case P::INFO_INT: return 'I';
    case P::TRACE_NATIVE_API_INT: return 'N';
    case P::TRACE_ENTRY_EXIT_INT: return 'X';
    case P::TRACE_INT: return 'T';
    case P::DEBUG_INT: return 'D';
    default: return 0;
    }
}

std::size_t bucketOf(const char* name) {
    std::uint32_t h = 2166136261u;   // FNV-1a
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p) h = (h ^ *p) * 16777619u;
    return h % DKLogManagerFactory_default::BUCKETS;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

DKLogManager_default::DKLogManager_default() {
    if (tl_buildingUnnamed) tl_unnamedInProgress = this;
    plog::configure();
}

DKLogManager_default::DKLogManager_default(const char* name) : name_(name) { plog::configure(); }

DKLogManager_default::~DKLogManager_default() = default;

DKString DKLogManager_default::getName() const { return name_; }

void DKLogManager_default::fatal(const dkLogException& e) { logAt(P::FATAL_INT, 'F', e); }
void DKLogManager_default::fatal(const char* message) { logAt(P::FATAL_INT, 'F', message); }
void DKLogManager_default::perf(const char* message) { logAt(P::PERF_INT, 'P', message); }
void DKLogManager_default::info(const dkLogException& e) { logAt(P::INFO_INT, 'I', e); }
void DKLogManager_default::info(const char* message) { logAt(P::INFO_INT, 'I', message); }
void DKLogManager_default::trace_native_api(const dkLogException& e) { logAt(P::TRACE_NATIVE_API_INT, 'N', e); }
void DKLogManager_default::trace_native_api(const char* message) { logAt(P::TRACE_NATIVE_API_INT, 'N', message); }
void DKLogManager_default::trace_entry_exit(const dkLogException& e) { logAt(P::TRACE_ENTRY_EXIT_INT, 'X', e); }
void DKLogManager_default::trace_entry_exit(const char* message) { logAt(P::TRACE_ENTRY_EXIT_INT, 'X', message); }
void DKLogManager_default::trace(const dkLogException& e) { logAt(P::TRACE_INT, 'T', e); }
void DKLogManager_default::trace(const char* message) { logAt(P::TRACE_INT, 'T', message); }
void DKLogManager_default::debug(const dkLogException& e) { logAt(P::DEBUG_INT, 'D', e); }
void DKLogManager_default::debug(const char* message) { logAt(P::DEBUG_INT, 'D', message); }

void DKLogManager_default::error(const char* message) {
    if (!enabledAt(P::ERROR_INT)) return;
    try {
        writeErrorBlock("", name_, std::string("[MSG]: ") + (message ? message : ""));
    } catch (...) {
        plog::reportCaught(plog::Failure::call, "a log line was lost");
    }
}

void DKLogManager_default::error(const dkLogException& e) {
    if (!enabledAt(P::ERROR_INT)) return;
    try {
        if (!plog::suppressException(e.errorMessageId())) writeErrorBlock(e.name(), name_, textOf(e));
    } catch (...) {
        plog::reportCaught(plog::Failure::call, "a log line was lost");
    }
}

bool DKLogManager_default::isEnabled_logging() {
    return logPriority.load(std::memory_order_relaxed) < P::DISABLE_INT;
}
bool DKLogManager_default::isEnabled_fatal() { return enabledAt(P::FATAL_INT); }
bool DKLogManager_default::isEnabled_error() { return enabledAt(P::ERROR_INT); }
bool DKLogManager_default::isEnabled_perf() { return enabledAt(P::PERF_INT); }
bool DKLogManager_default::isEnabled_info() { return enabledAt(P::INFO_INT); }
bool DKLogManager_default::isEnabled_trace_native_api() { return enabledAt(P::TRACE_NATIVE_API_INT); }
bool DKLogManager_default::isEnabled_trace_entry_exit() { return enabledAt(P::TRACE_ENTRY_EXIT_INT); }
bool DKLogManager_default::isEnabled_trace() { return enabledAt(P::TRACE_INT); }
bool DKLogManager_default::isEnabled_debug() { return enabledAt(P::DEBUG_INT); }

void DKLogManager_default::forcedLog(int priority, const char* message) {
    if (logPriority.load(std::memory_order_relaxed) >= P::DISABLE_INT) return;
    char letter = letterOf(priority);
    if (!letter) return;
    try {
        writeStandard(letter, message);
    } catch (...) {
        plog::reportCaught(plog::Failure::call, "a log line was lost");
    }
}

// ---------------------------------------------------------------------------------------------

DKLogManagerFactory_default::DKLogManagerFactory_default() {
    for (Entry*& e : table_) e = nullptr;
}

DKLogManagerFactory_default::~DKLogManagerFactory_default() {
    for (Entry*& head : table_) {
        while (head) {
            Entry* e = head;
            head = e->next;
            delete e->log;
            delete e;
        }
    }
}

dkLog* DKLogManagerFactory_default::makeLogManager() {
    if (DKLogManager_default* m = g_unnamed.load(std::memory_order_acquire)) return m;
    if (tl_unnamedInProgress) return tl_unnamedInProgress;
    PMutexWrapper lock(&unnamedMutex());
    if (DKLogManager_default* m = g_unnamed.load(std::memory_order_acquire)) return m;
    tl_buildingUnnamed = true;
    DKLogManager_default* made = nullptr;
    try {
        made = new DKLogManager_default();
    } catch (...) {
        tl_buildingUnnamed = false;
        tl_unnamedInProgress = nullptr;
        throw;
    }
    tl_buildingUnnamed = false;
    tl_unnamedInProgress = nullptr;
    g_unnamed.store(made, std::memory_order_release);
    return made;
}

dkLog* DKLogManagerFactory_default::makeLogManager(const char* name) {
    if (!name) name = "";
    PMutexWrapper lock(&tableMutex_);
    Entry*& head = table_[bucketOf(name)];
    for (Entry* e = head; e; e = e->next)
        if (std::strcmp(e->name.c_str(), name) == 0) return e->log;
    auto* made = new DKLogManager_default(name);
    head = new Entry{DKString(name), made, head};
    return made;
}
