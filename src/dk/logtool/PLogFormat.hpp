// src/dk/logtool/PLogFormat.hpp
#pragma once

// The texts the log manager writes: the standard line, the error block and the log header, and
// the identity of the process they name (host, address, user). Only builds text; writing it is
// the writer's job. Safe on any thread.

#include <dk/DKString.hpp>

#include <string>

namespace plog {

// Warning flags of the log header. Set by the configuration, never cleared.
constexpr unsigned kWarnConfig = 1;   // the configuration file was not found or not readable
constexpr unsigned kWarnOutput = 4;   // the configured log file could not be opened

// "[" timestamp "] " thread " " letter ": " text, without a line end. A null text counts as empty.
std::string standardLine(char letter, const char* text);

// The four lines "[EXC]" "[USR]" "[THD]" "[PRS]" for an exception name and a manager name,
// followed directly by the message. Built under the error-block mutex.
std::string errorBlock(const char* exceptionName, const DKString& managerName, const std::string& message);

// The header written at every reading of the configuration: the start time, the build, the
// system, the environment, the configuration path and the warnings the flags ask for.
std::string logHeader(unsigned warnings, const std::string& shownPath);

// The effective user's name, taken once.
const std::string& userName();

}  // namespace plog
