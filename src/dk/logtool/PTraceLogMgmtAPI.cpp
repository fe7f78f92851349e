// src/dk/logtool/PTraceLogMgmtAPI.cpp
//
// The log configuration file as a program edits it: where it is (found like the log manager
// finds it), which keys are known, what values each kind of key takes, and the translation
// between the level names callers use and the priority names the log manager reads.

#include <dk/DKLogMessageInserts.hpp>
#include <dk/PTraceLogMgmtAPI.hpp>
#include <dk/dkThrow.hpp>

#include "dk/logtool/PLogConfiguration.hpp"

#include <cstring>
#include <string>

namespace {

constexpr const char* kSource = "dk/logtool/PTraceLogMgmtAPI";

template <std::size_t N>
bool inTable(const char* const (&table)[N], const DKString& key) {
    for (const char* name : table)
        if (key == name) return true;
    return false;
}

bool equalsIgnoringCase(const char* a, const DKString& b) {
    const std::size_t n = std::strlen(a);
    if (n != b.length()) return false;
    const char* p = b.c_str();
    for (std::size_t i = 0; i < n; ++i) {
        char x = a[i], y = p[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool allDigits(const std::string& v) {
    if (v.empty()) return false;
    for (char c : v)
        if (!isDigit(c)) return false;
    return true;
}

// Digits, then optionally blanks and one unit "MB", "KB" or "GB" ending the value.
bool isSizeWithUnit(const std::string& v) {
    std::size_t i = 0;
    while (i < v.size() && isDigit(v[i])) ++i;
    if (i == 0) return false;
    if (i == v.size()) return true;
    while (i < v.size() && (v[i] == ' ' || v[i] == '\t')) ++i;
    const std::string unit = v.substr(i);
    return unit == "MB" || unit == "KB" || unit == "GB";
}

}  // namespace

const char* const PTraceLogMgmtAPI::levelKeys[5] = {"DKLogPriority", "DKAPIJavaLogLevel", "DKAdminLogLevel",
                                                    "DKLDAPLogLevel", "DKBeansLogLevel"};

const char* const PTraceLogMgmtAPI::sizeKeys[5] = {
    "DKLogOutputFileSize", "log4j.appender.apiAppender.MaxFileSize", "log4j.appender.adminAppender.MaxFileSize",
    "log4j.appender.ldapAppender.MaxFileSize", "log4j.appender.beansAppender.MaxFileSize"};

const char* const PTraceLogMgmtAPI::saveCountKeys[5] = {
    "DKLogOutputFileSave", "log4j.appender.apiAppender.MaxBackupIndex",
    "log4j.appender.adminAppender.MaxBackupIndex", "log4j.appender.ldapAppender.MaxBackupIndex",
    "log4j.appender.beansAppender.MaxBackupIndex"};

const char* const PTraceLogMgmtAPI::supportedKeys[20] = {
    "DKLogOutputFileName",
    "DKLogOutputFileSize",
    "DKLogOutputFileSave",
    "DKLogPriority",
    "log4j.appender.apiAppender.File",
    "log4j.appender.apiAppender.MaxFileSize",
    "log4j.appender.apiAppender.MaxBackupIndex",
    "DKAPIJavaLogLevel",
    "log4j.appender.adminAppender.File",
    "log4j.appender.adminAppender.MaxFileSize",
    "log4j.appender.adminAppender.MaxBackupIndex",
    "DKAdminLogLevel",
    "log4j.appender.ldapAppender.File",
    "log4j.appender.ldapAppender.MaxFileSize",
    "log4j.appender.ldapAppender.MaxBackupIndex",
    "DKLDAPLogLevel",
    "log4j.appender.beansAppender.File",
    "log4j.appender.beansAppender.MaxFileSize",
    "log4j.appender.beansAppender.MaxBackupIndex",
    "DKBeansLogLevel"};

const PTraceLogMgmtAPI::LevelName PTraceLogMgmtAPI::levelNames[6] = {
    {"ERROR", "ERROR"}, {"PERFORMANCE", "PERF"},
    {"WARNING", "INFO"}, {"INFO", "INFO"},
    {"TRACE_ENTRY_EXIT", "TRACE_ENTRY_EXIT"}, {"TRACE_FULL", "TRACE"}};

PTraceLogMgmtAPI::PTraceLogMgmtAPI() {
    const std::string dir = plog::findConfigDirectory(nullptr);
    if (dir.empty()) dkThrow<DKException>(486, kSource, "PTraceLogMgmtAPI::PTraceLogMgmtAPI");
    initialize(DKString(dir + kFileName));
}

PTraceLogMgmtAPI::~PTraceLogMgmtAPI() {}

void PTraceLogMgmtAPI::mapKeyToActualKey(const DKString& key, DKString& actualKey) const { actualKey = key; }

void PTraceLogMgmtAPI::mapActualKeyToKey(const DKString& actualKey, DKString& key) const { key = actualKey; }

bool PTraceLogMgmtAPI::isLevelKey(const DKString& key) { return inTable(levelKeys, key); }
bool PTraceLogMgmtAPI::isSizeKey(const DKString& key) { return inTable(sizeKeys, key); }
bool PTraceLogMgmtAPI::isSaveCountKey(const DKString& key) { return inTable(saveCountKeys, key); }

DKString PTraceLogMgmtAPI::levelFromFile(const DKString& fileValue) {
    for (const LevelName& level : levelNames)
        if (fileValue == level.fileValue) return DKString(level.name);
    return fileValue;
}

const char* PTraceLogMgmtAPI::levelToFile(const DKString& name) {
    for (const LevelName& level : levelNames)
        if (equalsIgnoringCase(level.name, name)) return level.fileValue;
    return nullptr;
}

int PTraceLogMgmtAPI::isLineValid(DKString& line) const {
    if (!PConfigMgmtFile::isLineValid(line)) return 0;
    DKString text(line);
    text.strip();
    return text.length() != 0 && text.c_str()[0] == '#' ? 0 : 1;
}

void PTraceLogMgmtAPI::getKeyAndValue(const DKString& line, DKString& key, DKString& value) const {
    DKString actualKey;
    PConfigMgmtFile::getKeyAndValue(line, actualKey, value);
    mapActualKeyToKey(actualKey, key);
    if (isLevelKey(key)) value = levelFromFile(value);
}

int PTraceLogMgmtAPI::getValue(const DKString& line, const DKString& key, DKString& value) const {
    if (!PConfigMgmtFile::getValue(line, key, value)) return 0;
    if (isLevelKey(key)) value = levelFromFile(value);
    return 1;
}

void PTraceLogMgmtAPI::getLineToWrite(const DKString& key, const DKString& value, DKString& line) const {
    DKString actualKey;
    mapKeyToActualKey(key, actualKey);
    const char* fileValue = isLevelKey(key) ? levelToFile(value) : nullptr;
    PConfigMgmtFile::getLineToWrite(actualKey, fileValue != nullptr ? DKString(fileValue) : value, line);
}

int PTraceLogMgmtAPI::doesKeyMatch(const DKString& line, const DKString& key) const {
    DKString actualKey;
    mapKeyToActualKey(key, actualKey);
    return PConfigMgmtFile::doesKeyMatch(line, actualKey);
}

void PTraceLogMgmtAPI::checkKeyAndValue(const DKString& key, const DKString& value) const {
    static const char* const function = "PTraceLogMgmtAPI::checkKeyAndValue";
    PConfigMgmtFile::checkKeyAndValue(key, value);
    if (value.length() == 0) {
        DKLogMessageInserts inserts;
        inserts.insert(key);
        dkThrow<DKException>(701, inserts, kSource, function);
    }
    const std::string v = value.str();
    bool suits = true;
    if (isSaveCountKey(key))
        suits = allDigits(v);
    else if (isSizeKey(key))
        suits = key.indexOf(DKString("log4j")) != 0 ? isSizeWithUnit(v) : allDigits(v);
    else if (isLevelKey(key))
        suits = levelToFile(value) != nullptr;
    // A key written as a comment would never be read back.
    if (key.c_str()[0] == '#') suits = false;
    if (!suits) {
        DKLogMessageInserts inserts;
        inserts.insert(key);
        inserts.insert(value);
        dkThrow<DKException>(702, inserts, kSource, function);
    }
}

int PTraceLogMgmtAPI::isLogPropertySupported(const DKString& key) const {
    const DKString k = [&] {
        DKString s(key);
        s.strip();
        return s;
    }();
    if (inTable(supportedKeys, k)) return 1;
    checkKey(k);
    DKString value;
    return lookUp(k, value, "PTraceLogMgmtAPI::isLogPropertySupported") && value.length() != 0 ? 1 : 0;
}
