// src/dk/logtool/DKLogManager.cpp
//
// The log manager and its default factory, with the state they all share: the priority, the
// output (file, standard error or standard output), the file's rollover into saved generations,
// the repeat suppression of exceptions, the configuration read from vtxlogconfig.properties and
// the watcher thread that re-reads it. The state is allocated once and never freed, so logging
// and the watcher keep working while the process exits.
//
// Lock order: configuration mutex, then output mutex, then size mutex. Message texts are built
// outside the output mutex; only the write and a rollover it triggers hold it.

#include <dk/DKException.hpp>
#include <dk/DKLogManager.hpp>

#include "dk/logtool/PLogConfig.hpp"
#include "platform/os/PSystem.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#ifndef DK_VERSION_TEXT
#define DK_VERSION_TEXT "dkcommon"
#endif

namespace {

using P = DKLogPriority_default;

// Read on every log call without a lock; constant-initialised, so valid before any constructor.
std::atomic<int> g_priority{P::ERROR_INT};
std::atomic<bool> g_configured{false};

// Set while this thread configures: a log call made meanwhile (for instance by an exception
// thrown on the way) must not start the configuration again.
thread_local bool tl_configuring = false;
// The unnamed manager this thread is building, handed out if the build asks for it again.
thread_local DKLogManager_default* tl_unnamedInProgress = nullptr;
thread_local bool tl_buildingUnnamed = false;

std::atomic<DKLogManager_default*> g_unnamed{nullptr};

constexpr unsigned kWarnConfig = 1;
constexpr unsigned kWarnOutput = 4;
constexpr int kMaxSaved = 9999;   // more generations than this would make one rollover take minutes
const char* const kDefaultName = "dklog.log";
const char* const kConfigName = "vtxlogconfig.properties";

struct LogState {
    PMutex configMutex, outputMutex, sizeMutex, suppressionMutex, errorBlockMutex, unnamedMutex;

    // Under the output mutex. The log file is written with one system call per line, which is
    // also its flush.
    int file = -1;
    std::string fileName = kDefaultName;
    std::atomic<int> output{1};   // 1 file, 2 standard error, 3 standard output
    int saved = 1;

    // Under the size mutex.
    std::uint64_t sizeLimit = std::uint64_t(5) << 20;
    std::uint64_t written = 0;

    // Under the configuration mutex (the watcher reads the atomics without it).
    std::atomic<int> watcherDelay{0};
    std::atomic<std::int64_t> configTimeNs{0};
    std::string configDir;
    std::string shownPath;
    unsigned warnings = 0;
    bool firstTimeDone = false;
    bool watcherStarted = false;

    // Under the suppression mutex.
    bool suppression = true;
    std::uint16_t counters[10000] = {};
};

LogState& state() {
    static LogState* s = new LogState;   // never freed; see the top of the file
    return *s;
}

// Host, address and user are taken once, on first need, so that a host name that does not
// resolve delays only the first error block and never the start of the process.
struct Identity {
    std::string host, ip;
};
const Identity& identity() {
    static const Identity* id = [] {
        auto* i = new Identity;
        i->host = PSystem::hostName();
        i->ip = PSystem::ipAddress(i->host);
        return i;
    }();
    return *id;
}
const std::string& userName() {
    static const std::string* user = new std::string(PSystem::userName());
    return *user;
}

// The thread id as "%8x", formatted once per thread.
const char* threadText() {
    thread_local char text[24] = "";
    if (!text[0]) std::snprintf(text, sizeof text, "%8lx", PSystem::threadId());
    return text;
}

// Appends "%m/%d/%Y %H:%M:%S.mmm" in UTC. The text of the second is kept per thread, so most
// lines only add their milliseconds.
void appendTimestamp(std::string& out) {
    thread_local std::int64_t cachedSecond = INT64_MIN;
    thread_local char cached[40];
    thread_local std::size_t cachedLength = 0;
    std::int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
    std::int64_t second = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
    int milli = static_cast<int>(ms - second * 1000);
    if (second != cachedSecond) {
        cachedLength = PSystem::formatUtc(cached, sizeof cached, "%m/%d/%Y %H:%M:%S", static_cast<std::time_t>(second));
        cachedSecond = second;
    }
    out.append(cached, cachedLength);
    char frac[4] = {'.', static_cast<char>('0' + milli / 100), static_cast<char>('0' + milli / 10 % 10),
                    static_cast<char>('0' + milli % 10)};
    out.append(frac, 4);
}

bool canOpen(const std::string& name) {
    // Opening in read-and-append mode creates a missing generation, as the rollover expects.
    std::FILE* f = std::fopen(name.c_str(), "a+");
    if (!f) return false;
    std::fclose(f);
    return true;
}

std::string generation(const std::string& base, int i) { return base + ".sav" + std::to_string(i); }

// Moves F to F.sav1 and each F.savI to F.sav(I+1), dropping the oldest. Runs under the output
// mutex. Any failed remove or rename stops it with the current file left open.
void rollover(LogState& st) {
    const std::string& f = st.fileName;
    for (int i = st.saved; i >= 2; --i) {
        std::string newer = generation(f, i), older = generation(f, i - 1);
        if (canOpen(newer) && std::remove(newer.c_str()) != 0) return;
        if (canOpen(older) && std::rename(older.c_str(), newer.c_str()) != 0) return;
    }
    std::string first = generation(f, 1);
    if (canOpen(first) && std::remove(first.c_str()) != 0) return;

    PSystem::closeFile(st.file);
    st.file = -1;
    if (std::rename(f.c_str(), first.c_str()) != 0) {
        st.file = PSystem::openAppend(f);
        if (st.file < 0) st.output.store(2, std::memory_order_relaxed);
        return;
    }
    st.file = PSystem::openAppend(f);
    for (int attempt = 0; st.file < 0 && attempt < 10; ++attempt) st.file = PSystem::openAppend(f);
    if (st.file < 0) {
        std::fputs("2\n", stderr);
        std::fflush(stderr);
        st.output.store(2, std::memory_order_relaxed);
        return;
    }
    PMutexWrapper size(&st.sizeMutex);
    st.written = 0;
}

// Writes one line and its line end to the chosen output and flushes it. A line the log file does
// not take goes to standard error, so nothing is lost silently.
void writeLine(std::string& line) {
    std::size_t length = line.size();
    line.push_back('\n');
    LogState& st = state();
    PMutexWrapper lock(&st.outputMutex);
    int output = st.output.load(std::memory_order_relaxed);
    if (output == 1) {
        if (st.file >= 0 && PSystem::writeAll(st.file, line.data(), line.size())) {
            bool full;
            {
                PMutexWrapper size(&st.sizeMutex);
                st.written += length;
                full = st.sizeLimit != 0 && st.written > st.sizeLimit;
            }
            if (full) rollover(st);
            return;
        }
    }
    std::FILE* out = output == 3 ? stdout : stderr;
    std::fwrite(line.data(), 1, line.size(), out);
    std::fflush(out);
}

void writeStandard(char letter, const char* text) {
    std::string line;
    line.reserve(64 + (text ? std::strlen(text) : 0));
    line.push_back('[');
    appendTimestamp(line);
    line += "] ";
    line += threadText();
    line.push_back(' ');
    line.push_back(letter);
    line += ": ";
    if (text) line += text;
    writeLine(line);
}

std::string textOf(const dkLogException& e) {
    DKString t = e.toString();
    return std::string(t.c_str(), t.length());
}

void writeErrorBlock(const char* exceptionName, const DKString& managerName, const std::string& message) {
    LogState& st = state();
    std::string block;
    {
        PMutexWrapper lock(&st.errorBlockMutex);
        const Identity& id = identity();
        char numbers[64];
        block = "\n[EXC]: ";
        appendTimestamp(block);
        block += " @ " + id.host + " (" + id.ip + "); ";
        block += exceptionName ? exceptionName : "";
        block += " # ";
        block.append(managerName.c_str(), managerName.length());
        block += "\n[USR]: " + userName() + " (" + PSystem::userProfile() + ") @ " + PSystem::currentDirectory();
        std::snprintf(numbers, sizeof numbers, "\n[THD]: %s\n[PRS]: %8lx\n", threadText(), PSystem::processId());
        block += numbers;
    }
    block += message;
    writeLine(block);
}

std::string logHeader(const LogState& st) {
    char when[64];
    PSystem::formatUtc(when, sizeof when, "%m/%d/%Y at %H:%M:%S GMT", std::time(nullptr));
    std::string h = ">>>>> C++ connector logging started ";
    h += when;
    h += "\n";
    h += "\nCODEBASE        : " DK_VERSION_TEXT " ";
    h += "\nOS version      : " + PSystem::osText();
    h += "\nVTCOMMON        : " + PSystem::environment("VTCOMMON");
    h += "\nVTXROOT         : " + PSystem::environment("VTXROOT");
    h += "\nNVTROOT         : " + PSystem::environment("NVTROOT");
    h += "\nNVLVTROOT       : " + PSystem::environment("NVLVTROOT");
    h += "\nPATH            : " + PSystem::environment("PATH");
    if (!(st.warnings & kWarnConfig)) h += "\nLog Config      : " + st.shownPath + "\n";
    h += "\n";
    if (st.warnings & kWarnConfig) {
        h += "\n";
        h += "\n[ WARN] ";
        h += kConfigName;
        h += " (the log configuration file) can not be found or an error was encountered while it was being read.";
        h += " (" + st.shownPath + ")";
        h += "\n";
    }
    if (st.warnings & kWarnOutput) {
        h += "\n";
        h += "\n[ WARN] The log output setting in the log configuration file is invalid.";
        h += "\n";
    }
    h += "\n\n";
    return h;
}

// The folder of the log configuration, found once: NVLVTROOT names the install root, whose
// vtgmt/nvlvtconfig.properties names the working folder that holds vtgmt/connectors/.
void findConfigDirectory(LogState& st) {
    st.configDir.clear();
    std::string root = PSystem::environment("NVLVTROOT");
    if (root.empty()) return;
    root = plogconfig::withSeparator(root);
    st.shownPath = root + "vtgmt/nvlvtconfig.properties";
    std::FILE* in = std::fopen(st.shownPath.c_str(), "r");
    if (!in) return;
    std::string work = plogconfig::findValue(in, "NVLVTWorkingDirectory");
    std::fclose(in);
    if (work.empty()) return;
    std::string dir = plogconfig::withSeparator(work) + "vtgmt/connectors/";
    if (dir.size() + std::strlen(kConfigName) > plogconfig::kNameLimit) return;
    st.configDir = dir;
    st.shownPath = dir + kConfigName;
}

void applySettings(LogState& st, const plogconfig::Settings& s) {
    if (s.suppressionOff) {
        PMutexWrapper lock(&st.suppressionMutex);
        st.suppression = false;
    }
    if (s.hasPerfThreshold)
        DKLogAccessor::setOptionValue(reinterpret_cast<void*>(std::intptr_t(1)),
                                      reinterpret_cast<void*>(static_cast<std::intptr_t>(s.perfThreshold)));
    if (s.hasOutput) st.output.store(s.output, std::memory_order_relaxed);
    if (s.hasPriority) {
        g_priority.store(s.priority, std::memory_order_relaxed);
    }
    if (s.hasFileName) {
        std::string name = plogconfig::expandFileName(s.fileName, userName(), PSystem::userProfile());
        if (name.size() <= plogconfig::kNameLimit) {
            PSystem::makeParentDirectories(name);
            st.fileName = name;
        }
    }
    if (s.hasSizeLimit) {
        PMutexWrapper size(&st.sizeMutex);
        st.sizeLimit = s.sizeLimit;
    }
    if (s.hasWatcherDelay) st.watcherDelay.store(s.watcherDelay, std::memory_order_relaxed);
    if (s.hasSaved) st.saved = s.saved > kMaxSaved ? kMaxSaved : s.saved;
}

// Reads the configuration file into the state; false when it cannot be opened or read.
bool readConfiguration(LogState& st) {
    std::string path = st.configDir + kConfigName;
    std::FILE* in = std::fopen(path.c_str(), "r");
    if (!in) return false;
    st.configTimeNs.store(PSystem::modificationTimeNs(path), std::memory_order_relaxed);
    plogconfig::Settings s;
    plogconfig::readPairs(in, [&s](const std::string& key, const std::string& value) {
        plogconfig::applyPair(s, key, value);
        return true;
    });
    bool failed = std::ferror(in) != 0;   // a folder opens but cannot be read
    std::fclose(in);
    if (failed) return false;
    applySettings(st, s);
    return true;
}

void openLogFile(LogState& st) {
    st.file = PSystem::openAppend(st.fileName);
    if (st.file < 0) {
        st.warnings |= kWarnOutput;
        if (st.fileName != kDefaultName) st.file = PSystem::openAppend(kDefaultName);
        if (st.file < 0) {
            st.output.store(2, std::memory_order_relaxed);
            return;
        }
        st.fileName = kDefaultName;
    }
    std::int64_t size = PSystem::fileSize(st.fileName);
    PMutexWrapper lock(&st.sizeMutex);
    st.written = size > 0 ? static_cast<std::uint64_t>(size) : 0;
}

void configure();

// Re-reads the configuration whenever its modification time (in nanoseconds, so that two
// changes within one second are both seen) moves forward. Ends when the delay is 0 or less.
void watch() {
    LogState& st = state();
    std::string path;
    {
        PMutexWrapper lock(&st.configMutex);
        path = st.configDir + kConfigName;
    }
    for (;;) {
        std::int64_t t = PSystem::modificationTimeNs(path);
        if (t > st.configTimeNs.load(std::memory_order_relaxed)) {
            st.configTimeNs.store(t, std::memory_order_relaxed);
            g_configured.store(false, std::memory_order_release);
            configure();
        }
        int delay = st.watcherDelay.load(std::memory_order_relaxed);
        if (delay <= 0) return;
        PSystem::sleepMillis(delay);
    }
}

struct ConfiguringScope {
    ConfiguringScope() { tl_configuring = true; }
    ~ConfiguringScope() { tl_configuring = false; }
};

void configure() {
    if (g_configured.load(std::memory_order_acquire) || tl_configuring) return;
    ConfiguringScope scope;
    LogState& st = state();
    PMutexWrapper configLock(&st.configMutex);
    if (g_configured.load(std::memory_order_acquire)) return;
    PMutexWrapper outputLock(&st.outputMutex);
    if (!st.firstTimeDone) {
        findConfigDirectory(st);
        st.fileName = kDefaultName;
        st.firstTimeDone = true;
    }
    PSystem::closeFile(st.file);
    st.file = -1;
    if (!readConfiguration(st)) st.warnings |= kWarnConfig;
    bool enabled = g_priority.load(std::memory_order_relaxed) < P::DISABLE_INT;
    if (enabled && st.output.load(std::memory_order_relaxed) == 1) openLogFile(st);
    if (st.watcherDelay.load(std::memory_order_relaxed) > 0 && !st.watcherStarted) {
        st.watcherStarted = true;
        try {
            std::thread(watch).detach();   // never joined: it may sleep while the process exits
        } catch (...) {
            st.watcherStarted = false;
        }
    }
    g_configured.store(true, std::memory_order_release);
    if (enabled) {
        std::string text = "[ INFO]\n" + logHeader(st) + "\n\n";
        writeLine(text);
    }
}

inline bool enabledAt(int level) { return g_priority.load(std::memory_order_relaxed) <= level; }

void logAt(int level, char letter, const char* message) {
    if (!enabledAt(level)) return;
    try {
        writeStandard(letter, message);
    } catch (...) {
    }
}

void logAt(int level, char letter, const dkLogException& e) {
    if (!enabledAt(level)) return;
    try {
        writeStandard(letter, textOf(e).c_str());
    } catch (...) {
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
    configure();
}

DKLogManager_default::DKLogManager_default(const char* name) : name_(name) { configure(); }

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
    }
}

void DKLogManager_default::error(const dkLogException& e) {
    if (!enabledAt(P::ERROR_INT)) return;
    try {
        LogState& st = state();
        long n = e.errorMessageId();
        bool counted = n >= 1 && n <= 9999;
        bool suppressed;
        {
            PMutexWrapper lock(&st.suppressionMutex);
            if (counted && st.counters[n] < 6) ++st.counters[n];
            suppressed = st.suppression && counted && st.counters[n] >= 6;
        }
        if (!suppressed) writeErrorBlock(e.name(), name_, textOf(e));
    } catch (...) {
    }
}

bool DKLogManager_default::isEnabled_logging() {
    return g_priority.load(std::memory_order_relaxed) < P::DISABLE_INT;
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
    if (g_priority.load(std::memory_order_relaxed) >= P::DISABLE_INT) return;
    char letter = letterOf(priority);
    if (!letter) return;
    try {
        writeStandard(letter, message);
    } catch (...) {
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
    PMutexWrapper lock(&state().unnamedMutex);
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
