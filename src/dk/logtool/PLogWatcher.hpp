// src/dk/logtool/PLogWatcher.hpp
#pragma once

// The watcher of the log configuration: a thread that re-reads the configuration file whenever
// its modification time moves forward.

namespace plog {

// Starts the watcher thread; false when no thread could be started. Called by the configuration,
// under its mutex, at most once per process unless a start failed.
bool startWatcher();

}  // namespace plog
