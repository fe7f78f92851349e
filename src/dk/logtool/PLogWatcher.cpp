// src/dk/logtool/PLogWatcher.cpp
//
// The configuration watcher: one detached thread that looks at the modification time of the
// configuration file every watcher delay and configures the log again when the time has moved
// forward. It ends when it wakes to a delay of 0 or less.

#include "dk/logtool/PLogWatcher.hpp"

#include "dk/logtool/PLogConfiguration.hpp"
#include "dk/logtool/PLogErrorHandler.hpp"
#include "platform/os/PSystem.hpp"

#include <string>
#include <thread>

namespace {

// The time is taken in nanoseconds, so that two changes within one second are both seen.
void watch() {
    const std::string path = plog::configurationFile();
    for (;;) {
        if (plog::isNewerConfiguration(PSystem::modificationTimeNs(path))) plog::reconfigure();
        int delay = plog::watcherDelay();
        if (delay <= 0) return;
        PSystem::sleepMillis(delay);
    }
}

}  // namespace

namespace plog {

bool startWatcher() {
    try {
        std::thread(watch).detach();   // never joined: it may sleep while the process exits
        return true;
    } catch (...) {
        reportCaught(Failure::watcher, "cannot start the watcher of the log configuration; changes to it are not seen");
        return false;
    }
}

}  // namespace plog
