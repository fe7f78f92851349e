// connectors/postgres/PPgConfig.cpp
//
// Reading the configuration and connect strings ("key=value" pairs, keys without case) and the
// datastore name. A URI or conninfo name is read by libpq's own parser, so that what is checked
// here is exactly what libpq will use.

#include "PPgConfig.hpp"
#include "PPgError.hpp"

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <libpq-fe.h>

#include <cctype>
#include <charconv>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace dkpg {

namespace {

constexpr const char* kSource = "connectors/postgres/PPgConfig";

std::string trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// Splits "k=v;k=v" (';' or ',') into trimmed pairs with lower-case keys; a pair without '=' or
// with an empty key is refused with msgId.
std::vector<std::pair<std::string, std::string>> splitPairs(const char* text, long msgId, const char* function) {
    std::vector<std::pair<std::string, std::string>> out;
    const std::string s = text ? text : "";
    for (size_t pos = 0; pos <= s.size();) {
        size_t end = s.find_first_of(";,", pos);
        if (end == std::string::npos) end = s.size();
        const std::string item = trim(s.substr(pos, end - pos));
        pos = end + 1;
        if (item.empty()) continue;
        const size_t eq = item.find('=');
        std::string key = eq == std::string::npos ? std::string() : trim(item.substr(0, eq));
        if (key.empty()) dkThrow<DKUsageError>(msgId, kSource, function, DKString(item.c_str()));
        for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        out.emplace_back(key, trim(item.substr(eq + 1)));
    }
    return out;
}

bool parseLong(const std::string& s, long lo, long hi, long& out) {
    const char* b = s.data();
    const char* e = b + s.size();
    const auto r = std::from_chars(b, e, out);
    return r.ec == std::errc() && r.ptr == e && b != e && out >= lo && out <= hi;
}

bool parseBool(std::string v, bool& out) {
    for (char& c : v) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (v == "1" || v == "yes" || v == "true" || v == "on") out = true;
    else if (v == "0" || v == "no" || v == "false" || v == "off") out = false;
    else return false;
    return true;
}

[[noreturn]] void bad(long msgId, const char* function, const std::string& key, const std::string& value) {
    dkThrow<DKUsageError>(msgId, kSource, function, DKString((key + "=" + value).c_str()));
}

}  // namespace

PSettings parseConfig(const char* config) {
    static const char* const fn = "dkpg::parseConfig";
    PSettings s;
    for (const auto& [key, value] : splitPairs(config, kMsgBadConfig, fn)) {
        if (key == "query_timeout" && parseLong(value, 0, 2147483647L, s.queryTimeoutMs)) continue;
        if (key == "fetch_rows" && parseLong(value, 1, 100000, s.fetchRows)) continue;
        bad(kMsgBadConfig, fn, key, value);
    }
    return s;
}

PConnectOptions parseConnect(const char* connect) {
    static const char* const fn = "dkpg::parseConnect";
    PConnectOptions o;
    for (const auto& [key, value] : splitPairs(connect, kMsgBadConnect, fn)) {
        long n = 0;
        if (key == "create" && parseBool(value, o.create)) continue;
        if (key == "readonly" && parseBool(value, o.readOnly)) continue;
        if (key == "connect_timeout" && parseLong(value, 1, 3600, n)) {
            o.connectTimeout = static_cast<int>(n);
            continue;
        }
        bad(kMsgBadConnect, fn, key, value);
    }
    return o;
}

PTarget parseName(const char* datastoreName) {
    static const char* const fn = "dkpg::parseName";
    PTarget t;
    t.name = datastoreName ? datastoreName : "";
    if (t.name.empty()) dkThrow<DKUsageError>(kMsgBadConnect, kSource, fn, DKString("no database name"));
    // libpq's own rule for a name that is a connection string rather than a database.
    t.plain = t.name.find('=') == std::string::npos && t.name.rfind("postgresql://", 0) != 0 &&
              t.name.rfind("postgres://", 0) != 0;
    if (t.plain) {
        t.database = t.name;
        return t;
    }
    char* error = nullptr;
    std::unique_ptr<PQconninfoOption, void (*)(PQconninfoOption*)> options(PQconninfoParse(t.name.c_str(), &error),
                                                                           PQconninfoFree);
    if (!options) {
        // libpq's message names the fault; the name itself is not repeated, as it may hold a secret.
        std::string why = error ? error : "out of memory";
        PQfreemem(error);
        while (!why.empty() && why.back() == '\n') why.pop_back();
        dkThrow<DKUsageError>(kMsgBadConnect, kSource, fn, DKString(why.c_str()));
    }
    static const char* const credentials[] = {"user", "password", "passfile", "service", "sslpassword", "sslkey"};
    for (const PQconninfoOption* o = options.get(); o->keyword; ++o) {
        if (o->val == nullptr) continue;
        for (const char* c : credentials)
            if (std::strcmp(o->keyword, c) == 0)
                dkThrow<DKUsageError>(kMsgBadConnect, kSource, fn,
                                      DKString("the datastore name may not give ") + c + "; connect takes the role and password");
        if (std::strcmp(o->keyword, "dbname") == 0) t.database = o->val;
    }
    if (t.database.empty()) dkThrow<DKUsageError>(kMsgBadConnect, kSource, fn, DKString("the name gives no database"));
    return t;
}

}  // namespace dkpg
