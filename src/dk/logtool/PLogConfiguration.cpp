// src/dk/logtool/PLogConfiguration.cpp
//
// Configuring the log: the configuration folder is found once from NVLVTROOT, then each reading
// of vtxlogconfig.properties sets the priority, the output, the log file and its rollover, the
// suppression switch and the watcher delay, reopens the log and writes the log header. Keys that
// are absent keep their current settings, also on a re-reading.
//
// Lock order: configuration mutex, then the writer's output mutex.

#include "dk/logtool/PLogConfiguration.hpp"

#include <dk/PMutex.hpp>
#include <dk/dkLog.hpp>

#include "dk/logtool/PLogConfig.hpp"
#include "dk/logtool/PLogErrorHandler.hpp"
#include "dk/logtool/PLogFormat.hpp"
#include "dk/logtool/PLogSuppression.hpp"
#include "dk/logtool/PLogWatcher.hpp"
#include "dk/logtool/PLogWriter.hpp"
#include "platform/os/PSystem.hpp"

#include <cstdio>
#include <cstring>

namespace plog {

std::atomic<int> logPriority{DKLogPriority_default::ERROR_INT};

namespace {

std::atomic<bool> g_configured{false};

// Set while this thread configures: a log call made meanwhile (for instance by an exception
// thrown on the way) must not start the configuration again.
thread_local bool tl_configuring = false;

struct ConfiguringScope {
    ConfiguringScope() { tl_configuring = true; }
    ~ConfiguringScope() { tl_configuring = false; }
};

struct Configuration {
    PMutex mutex;
    // Under the mutex (the watcher reads the atomics without it).
    std::atomic<int> watcherDelay{0};
    std::atomic<std::int64_t> timeNs{0};
    std::string dir;
    std::string shownPath;
    unsigned warnings = 0;
    bool firstTimeDone = false;
    bool watcherStarted = false;
};

Configuration& configuration() {
    static Configuration* c = new Configuration;   // never freed: the watcher may outlive main
    return *c;
}

void applySettings(Configuration& c, const plogconfig::Settings& s) {
    PLogWriter& writer = PLogWriter::instance();
    if (s.suppressionOff) turnSuppressionOff();
    if (s.hasPerfThreshold)
        DKLogAccessor::setOptionValue(reinterpret_cast<void*>(std::intptr_t(1)),
                                      reinterpret_cast<void*>(static_cast<std::intptr_t>(s.perfThreshold)));
    if (s.hasOutput) writer.setOutput(s.output);
    if (s.hasPriority) logPriority.store(s.priority, std::memory_order_relaxed);
    if (s.hasFileName) {
        std::string name = plogconfig::expandFileName(s.fileName, userName(), PSystem::userProfile());
        if (name.size() <= plogconfig::kNameLimit) {
            PSystem::makeParentDirectories(name);
            writer.setFileName(name);
        } else {
            reportFailure(Failure::setting, "the log file name %.40s... has %zu characters, more than %zu; it is "
                          "not used", name.c_str(), name.size(), plogconfig::kNameLimit);
        }
    }
    if (s.hasSizeLimit) writer.setSizeLimit(s.sizeLimit);
    if (s.hasWatcherDelay) c.watcherDelay.store(s.watcherDelay, std::memory_order_relaxed);
    if (s.hasSaved) writer.setSaved(s.saved);
}

// Reads the configuration file into the settings; false when it cannot be opened or read.
bool readConfiguration(Configuration& c) {
    std::string path = c.dir + plogconfig::kConfigFileName;
    std::FILE* in = std::fopen(path.c_str(), "r");
    if (!in) return false;
    c.timeNs.store(PSystem::modificationTimeNs(path), std::memory_order_relaxed);
    plogconfig::Settings s;
    plogconfig::readPairs(in, [&s](const std::string& key, const std::string& value) {
        plogconfig::applyPair(s, key, value);
        return true;
    });
    bool failed = std::ferror(in) != 0;   // a folder opens but cannot be read
    std::fclose(in);
    if (failed) return false;
    applySettings(c, s);
    return true;
}

}  // namespace

std::string findConfigDirectory(std::string* shownPath) {
    std::string root = PSystem::environment("NVLVTROOT");
    if (root.empty()) return std::string();
    root = plogconfig::withSeparator(root);
    std::string toolkit = root + "vtgmt/nvlvtconfig.properties";
    if (shownPath) *shownPath = toolkit;
    std::FILE* in = std::fopen(toolkit.c_str(), "r");
    if (!in) return std::string();
    std::string work = plogconfig::findValue(in, "NVLVTWorkingDirectory");
    std::fclose(in);
    if (work.empty()) return std::string();
    std::string dir = plogconfig::withSeparator(work) + "vtgmt/connectors/";
    if (dir.size() + std::strlen(plogconfig::kConfigFileName) > plogconfig::kNameLimit) return std::string();
    if (shownPath) *shownPath = dir + plogconfig::kConfigFileName;
    return dir;
}

std::string configurationFile() {
    Configuration& c = configuration();
    PMutexWrapper lock(&c.mutex);
    return c.dir + plogconfig::kConfigFileName;
}

bool isNewerConfiguration(std::int64_t seen) {
    Configuration& c = configuration();
    if (seen <= c.timeNs.load(std::memory_order_relaxed)) return false;
    c.timeNs.store(seen, std::memory_order_relaxed);
    return true;
}

int watcherDelay() { return configuration().watcherDelay.load(std::memory_order_relaxed); }

void reconfigure() {
    g_configured.store(false, std::memory_order_release);
    configure();
}

namespace {

// Configures unless configured; configure() below keeps its failures away from the caller.
void configureOnce() {
    if (g_configured.load(std::memory_order_acquire) || tl_configuring) return;
    ConfiguringScope scope;
    Configuration& c = configuration();
    PMutexWrapper configLock(&c.mutex);
    if (g_configured.load(std::memory_order_acquire)) return;
    PLogWriter& writer = PLogWriter::instance();
    PMutexWrapper outputLock(&writer.outputMutex());
    if (!c.firstTimeDone) {
        c.dir = findConfigDirectory(&c.shownPath);
        writer.setFileName(kDefaultLogName);
        c.firstTimeDone = true;
    }
    writer.closeFile();
    if (!readConfiguration(c)) c.warnings |= kWarnConfig;
    bool enabled = logPriority.load(std::memory_order_relaxed) < DKLogPriority_default::DISABLE_INT;
    if (enabled && writer.output() == 1 && !writer.openFile()) c.warnings |= kWarnOutput;
    if (c.watcherDelay.load(std::memory_order_relaxed) > 0 && !c.watcherStarted) c.watcherStarted = startWatcher();
    g_configured.store(true, std::memory_order_release);
    if (enabled) {
        std::string text = "[ INFO]\n" + logHeader(c.warnings, c.shownPath) + "\n\n";
        writer.writeLine(text);
    }
}

}  // namespace

void configure() {
    try {
        configureOnce();
    } catch (...) {
        // The configured flag stays clear, so the next log manager made tries again.
        reportCaught(Failure::call, "the log configuration could not be read");
    }
}

}  // namespace plog
