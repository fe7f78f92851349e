// src/dk/logtool/PLogConfiguration.hpp
#pragma once

// The configuration of the process's log: the folder that holds vtxlogconfig.properties, the
// reading of that file into the priority, the writer's settings and the suppression switch, and
// the log header written after every reading.

#include <dk/dkExport.hpp>

#include <atomic>
#include <cstdint>
#include <string>

namespace plog {

// The current priority. Read on every log call without a lock; constant-initialised, so valid
// before any constructor runs. Declared hidden so that a check is one load, not a lookup first.
extern DK_LOCAL std::atomic<int> logPriority;

// Reads the configuration, opens the log and writes the header, unless the log is configured
// already. Runs fully once per process and again after reconfigure().
void configure();

// Forgets that the log is configured and configures it again (the watcher's step).
void reconfigure();

// The folder of the log configuration: NVLVTROOT names the install root, whose
// vtgmt/nvlvtconfig.properties names the working folder that holds vtgmt/connectors/. Empty when
// a step gives nothing. `shownPath`, when given, receives the file the search ended at: the
// configuration file when found, else the toolkit's file; it is left alone without NVLVTROOT.
std::string findConfigDirectory(std::string* shownPath);

// The configuration file's path, as configure() reads it.
std::string configurationFile();

// The modification time of the configuration file at its last reading, in nanoseconds. True (and
// recorded) when `seen` is later, so that the caller re-reads it.
bool isNewerConfiguration(std::int64_t seen);

// The watcher delay in milliseconds; 0 or less: no watcher.
int watcherDelay();

}  // namespace plog
