// src/dk/logtool/PLogFormat.cpp
//
// Formatting of what the log manager writes: the timestamp and thread id of the standard line,
// the error block with the host, user, thread and process it names, and the log header. The
// identity of the process is looked up once and kept until the process ends.

#include "dk/logtool/PLogFormat.hpp"

#include <dk/PMutex.hpp>

#include "dk/logtool/PLogConfig.hpp"
#include "platform/os/PSystem.hpp"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>

#ifndef DK_VERSION_TEXT
#define DK_VERSION_TEXT "dkcommon"
#endif

namespace {

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

PMutex& errorBlockMutex() {
    static PMutex* mutex = new PMutex;   // never freed: error blocks may be written during exit
    return *mutex;
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

}  // namespace

namespace plog {

const std::string& userName() {
    static const std::string* user = new std::string(PSystem::userName());
    return *user;
}

std::string standardLine(char letter, const char* text) {
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
    return line;
}

std::string errorBlock(const char* exceptionName, const DKString& managerName, const std::string& message) {
    std::string block;
    {
        PMutexWrapper lock(&errorBlockMutex());
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
    return block;
}

std::string logHeader(unsigned warnings, const std::string& shownPath) {
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
    if (!(warnings & kWarnConfig)) h += "\nLog Config      : " + shownPath + "\n";
    h += "\n";
    if (warnings & kWarnConfig) {
        h += "\n";
        h += "\n[ WARN] ";
        h += plogconfig::kConfigFileName;
        h += " (the log configuration file) can not be found or an error was encountered while it was being read.";
        h += " (" + shownPath + ")";
        h += "\n";
    }
    if (warnings & kWarnOutput) {
        h += "\n";
        h += "\n[ WARN] The log output setting in the log configuration file is invalid.";
        h += "\n";
    }
    h += "\n\n";
    return h;
}

}  // namespace plog
