// connectors/sqlite/PSqliteConfig.cpp
//
// Reading the configuration and connect strings ("key=value" pairs, keys without case) and the
// names the connector accepts for entities and attributes.

#include "PSqliteConfig.hpp"
#include "PSqliteError.hpp"

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <cctype>
#include <charconv>
#include <climits>
#include <utility>
#include <vector>

namespace dksqlite {

namespace {

constexpr const char* kSource = kSqliteSource;
constexpr long kMinHeapLimit = 1L << 20;

bool startsWithNoCase(const char* s, const char* prefix) {
    for (; *prefix; ++s, ++prefix)
        if (std::tolower(static_cast<unsigned char>(*s)) != *prefix) return false;
    return true;
}

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool parseLong(const std::string& s, long& out) {
    const char* b = s.data();
    const char* e = b + s.size();
    if (b != e && *b == '+') ++b;
    auto r = std::from_chars(b, e, out);
    return r.ec == std::errc() && r.ptr == e && b != e;
}

// Splits "k=v;k=v" (';' or ',') into trimmed pairs with lower-case keys; a pair without '=' or
// with an empty key fails.
bool splitPairs(const char* text, std::vector<std::pair<std::string, std::string>>& out, std::string& bad) {
    if (text == nullptr) return true;
    std::string s(text);
    size_t pos = 0;
    while (pos <= s.size()) {
        size_t end = s.find_first_of(";,", pos);
        if (end == std::string::npos) end = s.size();
        std::string item = trim(s.substr(pos, end - pos));
        pos = end + 1;
        if (item.empty()) continue;
        size_t eq = item.find('=');
        std::string key = eq == std::string::npos ? std::string() : trim(item.substr(0, eq));
        if (key.empty()) {
            bad = item;
            return false;
        }
        for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        out.emplace_back(key, trim(item.substr(eq + 1)));
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Names

bool isValidName(const char* name) {
    if (name == nullptr || !std::isalpha(static_cast<unsigned char>(name[0]))) return false;
    size_t n = 0;
    for (const char* p = name; *p; ++p, ++n) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c >= 0x80 || !(std::isalnum(c) || c == '_')) return false;
    }
    if (n > 64) return false;
    return !startsWithNoCase(name, "dk_") && !startsWithNoCase(name, "sqlite_");
}

std::string quoteIdent(const std::string& name) {
    std::string q = "\"";
    for (char c : name) {
        if (c == '"') q += '"';
        q += c;
    }
    q += '"';
    return q;
}

std::string upperName(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool sameName(const char* a, const char* b) {
    if (a == nullptr) a = "";
    if (b == nullptr) b = "";
    // ASCII only, whatever the locale: names are looked up for every item written or read.
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
        if (*a != *b && fold(*a) != fold(*b)) return false;
    return *a == *b;
}

std::string lowerName(const char* name) {
    std::string s(name ? name : "");
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// ---------------------------------------------------------------------------------------------
// Configuration and connect strings

PSettings parseConfig(const char* config) {
    static const char* const kFunction = "DKDatastoreSQLITE::configure";
    std::vector<std::pair<std::string, std::string>> pairs;
    std::string bad;
    if (!splitPairs(config, pairs, bad)) dkThrow<DKUsageError>(kMsgBadConfig, kSource, kFunction, DKString(bad.c_str()));
    PSettings s;
    for (const auto& [key, value] : pairs) {
        long n = 0;
        const DKString item = DKString((key + "=" + value).c_str());
        if (key == "busy_timeout") {
            if (!parseLong(value, n) || n < 0 || n > INT_MAX) dkThrow<DKUsageError>(kMsgBadConfig, kSource, kFunction, item);
            s.busyTimeoutMs = static_cast<int>(n);
        } else if (key == "journal_mode") {
            std::string v = upperName(value);
            if (v != "WAL" && v != "DELETE" && v != "TRUNCATE" && v != "PERSIST")
                dkThrow<DKUsageError>(kMsgBadConfig, kSource, kFunction, item);
            s.journalMode = v;
            s.journalModeGiven = true;
        } else if (key == "synchronous") {
            std::string v = upperName(value);
            if (v != "OFF" && v != "NORMAL" && v != "FULL" && v != "EXTRA")
                dkThrow<DKUsageError>(kMsgBadConfig, kSource, kFunction, item);
            s.synchronous = v;
        } else if (key == "cache_size") {
            if (!parseLong(value, n) || n < -1000000000L || n > 1000000000L)
                dkThrow<DKUsageError>(kMsgBadConfig, kSource, kFunction, item);
            s.cacheSize = n;
        } else if (key == "pbkdf2_iterations") {
            if (!parseLong(value, n) || n < 1000 || n > 100000000L)
                dkThrow<DKUsageError>(kMsgBadConfig, kSource, kFunction, item);
            s.pbkdf2Iterations = n;
        } else if (key == "query_timeout") {
            if (!parseLong(value, n) || n < 0 || n > INT_MAX) dkThrow<DKUsageError>(kMsgBadConfig, kSource, kFunction, item);
            s.queryTimeoutMs = n;
        } else if (key == "heap_limit") {
            // Below a mebibyte SQLite cannot even hold its page cache; such a limit is a typo.
            if (!parseLong(value, n) || (n != 0 && n < kMinHeapLimit)) dkThrow<DKUsageError>(kMsgBadConfig, kSource, kFunction, item);
            s.heapLimit = n;
            s.heapLimitGiven = true;
        } else {
            dkThrow<DKUsageError>(kMsgBadConfig, kSource, kFunction, DKString("unknown key ") + key.c_str());
        }
    }
    return s;
}

PConnectOptions parseConnect(const char* connect) {
    static const char* const kFunction = "DKDatastoreSQLITE::connect";
    std::vector<std::pair<std::string, std::string>> pairs;
    std::string bad;
    if (!splitPairs(connect, pairs, bad)) dkThrow<DKUsageError>(kMsgBadConnect, kSource, kFunction, DKString(bad.c_str()));
    PConnectOptions o;
    for (const auto& [key, value] : pairs) {
        const DKString item = DKString((key + "=" + value).c_str());
        if (key == "create" || key == "readonly") {
            bool& flag = key == "create" ? o.create : o.readOnly;
            if (value == "1" || upperName(value) == "YES" || upperName(value) == "TRUE") flag = true;
            else if (value == "0" || upperName(value) == "NO" || upperName(value) == "FALSE") flag = false;
            else dkThrow<DKUsageError>(kMsgBadConnect, kSource, kFunction, item);
        } else if (key == "name") {
            if (value.empty() || value.size() > 256) dkThrow<DKUsageError>(kMsgBadConnect, kSource, kFunction, item);
            o.name = value;
        } else {
            dkThrow<DKUsageError>(kMsgBadConnect, kSource, kFunction, DKString("unknown key ") + key.c_str());
        }
    }
    if (o.readOnly && o.create)
        dkThrow<DKUsageError>(kMsgBadConnect, kSource, kFunction, DKString("readonly=1 cannot be combined with create=1"));
    return o;
}

}  // namespace dksqlite
