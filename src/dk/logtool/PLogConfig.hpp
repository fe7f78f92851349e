// src/dk/logtool/PLogConfig.hpp
#pragma once

// The reader of the log's properties files ("key = value" lines, "#" comments): how a file is cut
// into lines, which lines count, and what each key's value means. Kept apart from the log state
// and header-only so that the fuzz target and the tests run exactly this code. Pure functions;
// nothing here touches the file system or any shared state.

#include <dk/dkLog.hpp>

#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace plogconfig {

// A line of this many characters or more ends the reading of a file.
constexpr std::size_t kLineLimit = 1024;
// Longest log file name (and configuration path) kept.
constexpr std::size_t kNameLimit = 1023;
// The log configuration file, in the configuration folder.
constexpr const char* kConfigFileName = "vtxlogconfig.properties";

inline std::string strip(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

// Reads lines from nextChar() (a character as unsigned char, or EOF) and calls
// onPair(key, value) for every line that has an "=" and is not a comment, both stripped.
// onPair returns false to stop. A line of kLineLimit characters or more stops the reading.
template <class NextChar, class OnPair>
void readPairs(NextChar nextChar, OnPair onPair) {
    std::string line;
    for (;;) {
        line.clear();
        int c;
        while ((c = nextChar()) != EOF && c != '\n') {
            line.push_back(static_cast<char>(c));
            if (line.size() >= kLineLimit) return;
        }
        if (line.empty() && c == EOF) return;
        std::string text = strip(line);
        if (!text.empty() && text[0] != '#') {
            std::size_t eq = text.find('=');
            if (eq != std::string::npos && !onPair(strip(text.substr(0, eq)), strip(text.substr(eq + 1)))) return;
        }
        if (c == EOF) return;
    }
}

template <class OnPair>
void readPairs(std::FILE* in, OnPair onPair) {
    readPairs([in] { return std::getc(in); }, onPair);
}

template <class OnPair>
void readPairs(const char* data, std::size_t size, OnPair onPair) {
    std::size_t pos = 0;
    readPairs([&] { return pos < size ? static_cast<unsigned char>(data[pos++]) : EOF; }, onPair);
}

// What one log configuration file asks for. A has-flag stays false for a key that is absent or
// whose value changes nothing, so a re-reading leaves those settings as they were.
struct Settings {
    bool suppressionOff = false;
    bool hasPerfThreshold = false;
    int perfThreshold = 0;
    bool hasOutput = false;
    int output = 0;
    bool hasPriority = false;
    int priority = 0;
    const char* priorityName = nullptr;
    bool hasFileName = false;
    std::string fileName;          // as written in the file; see expandFileName
    bool hasSizeLimit = false;
    std::uint64_t sizeLimit = 0;   // bytes; 0 = no limit
    bool hasWatcherDelay = false;
    int watcherDelay = 0;          // milliseconds
    bool hasSaved = false;
    int saved = 1;
};

inline int clampToInt(long v) { return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v); }

// Looks a priority name up among the nine; false when it is none of them (exact match).
inline bool priorityByName(const std::string& name, int& value, const char*& constName) {
    using P = DKLogPriority_default;
    static const struct { const char* name; int value; } table[] = {
        {P::DISABLE_STR, P::DISABLE_INT}, {P::FATAL_STR, P::FATAL_INT},
        {P::ERROR_STR, P::ERROR_INT},     {P::PERF_STR, P::PERF_INT},
        {P::INFO_STR, P::INFO_INT},       {P::TRACE_NATIVE_API_STR, P::TRACE_NATIVE_API_INT},
        {P::TRACE_ENTRY_EXIT_STR, P::TRACE_ENTRY_EXIT_INT}, {P::TRACE_STR, P::TRACE_INT},
        {P::DEBUG_STR, P::DEBUG_INT}};
    for (const auto& p : table)
        if (name == p.name) {
            value = p.value;
            constName = p.name;
            return true;
        }
    return false;
}

// Applies one key and its value to the settings; unknown keys and empty values change nothing.
inline void applyPair(Settings& s, const std::string& key, const std::string& value) {
    if (value.empty()) return;
    const char* v = value.c_str();
    if (key == "MAX_EXCEPTION_COUNT") {
        if (value == "OFF") s.suppressionOff = true;
    } else if (key == "PERF_LOG_THRESHOLD") {
        int n = clampToInt(std::strtol(v, nullptr, 10));
        if (n >= 0) {
            s.hasPerfThreshold = true;
            s.perfThreshold = n;
        }
    } else if (key == "DKLogOutputSetting") {
        int n = clampToInt(std::strtol(v, nullptr, 10));
        if (n >= 1 && n <= 3) {
            s.hasOutput = true;
            s.output = n;
        }
    } else if (key == "DKLogPriority") {
        if (priorityByName(value, s.priority, s.priorityName)) s.hasPriority = true;
    } else if (key == "DKLogOutputFileName") {
        s.hasFileName = true;
        s.fileName = value;
    } else if (key == "DKLogOutputFileSize") {
        long n = std::strtol(v, nullptr, 10);
        s.hasSizeLimit = true;
        if (value == "0")
            s.sizeLimit = 0;
        else if (n <= 0)   // a word, or a size below zero: the default
            s.sizeLimit = std::uint64_t(5) << 20;
        else if (static_cast<std::uint64_t>(n) > (UINT64_MAX >> 20))
            s.sizeLimit = UINT64_MAX;
        else
            s.sizeLimit = static_cast<std::uint64_t>(n) << 20;
    } else if (key == "DKLogConfigWatcherDelay") {
        int n = clampToInt(std::strtol(v, nullptr, 10));
        s.hasWatcherDelay = true;
        s.watcherDelay = value == "0" ? 0 : n == 0 ? 300000 : n;
    } else if (key == "DKLogOutputFileSave") {
        int n = clampToInt(std::strtol(v, nullptr, 10));
        s.hasSaved = true;
        s.saved = n < 1 ? 1 : n;
    }
}

inline Settings parse(const char* data, std::size_t size) {
    Settings s;
    readPairs(data, size, [&s](const std::string& k, const std::string& v) {
        applyPair(s, k, v);
        return true;
    });
    return s;
}

// The value of the first line whose key is `key` and whose value is not empty; empty when none.
template <class Source>
std::string findValue(Source&& source, const char* key) {
    std::string found;
    readPairs(source, [&](const std::string& k, const std::string& v) {
        if (k == key && !v.empty()) {
            found = v;
            return false;
        }
        return true;
    });
    return found;
}

// Replaces the first "${user.name}", then the first "${user.home}", and writes every '\' as '/'.
inline std::string expandFileName(std::string name, const std::string& user, const std::string& home) {
    static const std::string userKey = "${user.name}", homeKey = "${user.home}";
    std::size_t at = name.find(userKey);
    if (at != std::string::npos) name.replace(at, userKey.size(), user);
    at = name.find(homeKey);
    if (at != std::string::npos) name.replace(at, homeKey.size(), home);
    for (char& c : name)
        if (c == '\\') c = '/';
    return name;
}

// A folder name with every '\' written as '/' and a '/' at the end.
inline std::string withSeparator(std::string dir) {
    for (char& c : dir)
        if (c == '\\') c = '/';
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

}  // namespace plogconfig
