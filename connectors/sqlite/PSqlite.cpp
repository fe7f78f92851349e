// connectors/sqlite/PSqlite.cpp
//
// The SQLite layer of the connector: statements, the mapping of SQLite failures onto the
// library's exceptions, the configuration and connect strings, password hashing and the value
// codec. Values cross into SQLite by binding only, never by pasting text into SQL.

#include "PSqlite.hpp"

#include <dk/DKByteArray.hpp>
#include <dk/DKDate.hpp>
#include <dk/DKDecimal.hpp>
#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sqlite3.h>

#include <cctype>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>

namespace dksqlite {

namespace {

constexpr const char* kSource = "connectors/sqlite/PSqlite";
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

[[noreturn]] void mismatch(const char* what, unsigned short type, const DKAny& value, const char* source,
                           const char* function) {
    DKString detail(what ? what : "");
    detail += " (";
    detail += typeName(type);
    detail += ", given type code ";
    detail += DKString(static_cast<long>(value.typeCode()));
    detail += ")";
    dkThrow<DKUsageError>(kMsgValueMismatch, source, function, detail);
}

// Reads "int sep int sep int ..." fields from a stored text form; false when the text differs.
bool readFields(const char* text, size_t len, const char* seps, int* fields, int count, size_t& used) {
    const char* p = text;
    const char* end = text + len;
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            if (p == end || *p != seps[i - 1]) return false;
            ++p;
        }
        auto r = std::from_chars(p, end, fields[i]);
        if (r.ec != std::errc()) return false;
        p = r.ptr;
    }
    used = static_cast<size_t>(p - text);
    return true;
}

// A variant that takes the new object itself instead of copying it (one allocation less per
// value read).
DKAny adopt(DKAny::TypeCode tc, void* object) { return DKAny(tc, object, 0); }

[[noreturn]] void badStored(const char* kind, const char* text, const char* source, const char* function) {
    DKString detail(kind);
    detail += ": ";
    detail += text ? text : "";
    dkThrow<DKDatastoreError>(kMsgBadValue, source, function, detail);
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

std::string lowerName(const char* name) {
    std::string s(name ? name : "");
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// ---------------------------------------------------------------------------------------------
// Failures and statements

void throwSqlite(sqlite3* db, int rc, const char* source, const char* function, const DKString& what,
                 long msgId) {
    const int ext = db ? sqlite3_extended_errcode(db) : rc;
    const int code = (ext & 0xff) == (rc & 0xff) ? ext : rc;
    DKString detail = what;
    detail += ": ";
    detail += db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    detail += " ";
    switch (code & 0xff) {
        case SQLITE_READONLY: {
            // SQLite's own text does not say which file; the full path does.
            const char* file = db ? sqlite3_db_filename(db, "main") : nullptr;
            if (file == nullptr || *file == '\0' || std::strstr(what.c_str(), file) != nullptr)
                dkThrowServer<DKDatastoreError>(kMsgCannotWrite, source, function, detail, "", code);
            dkThrowServer<DKDatastoreError>(kMsgCannotWrite, source, function, DKString(file) + ": " + detail, "", code);
        }
        case SQLITE_NOMEM: {
            const sqlite3_int64 limit = sqlite3_hard_heap_limit64(-1);
            if (limit > 0) detail += DKString("(heap limit ") + DKString(static_cast<long>(limit)) + " bytes) ";
            dkThrowServer<DKDatastoreError>(kMsgOutOfMemory, source, function, detail, "", code);
        }
        case SQLITE_CANTOPEN:
            dkThrowServer<DKServerNotAvailable>(msgId == kMsgSqliteFailed ? kMsgOpenFailed : msgId, source, function,
                                                detail, "", code);
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
            dkThrowServer<DKDatastoreError>(kMsgNotRepository, source, function, detail, "", code);
        case SQLITE_CONSTRAINT:
            if (code == SQLITE_CONSTRAINT_UNIQUE || code == SQLITE_CONSTRAINT_PRIMARYKEY)
                dkThrowServer<DKDataObjectAlreadyExists>(msgId, source, function, detail, "", code);
            dkThrowServer<DKDatastoreError>(msgId, source, function, detail, "", code);
        default:
            dkThrowServer<DKDatastoreError>(msgId, source, function, detail, "", code);
    }
}

void PCloseDb::operator()(sqlite3* db) const { sqlite3_close_v2(db); }

PStmt& PStmt::operator=(PStmt&& o) noexcept {
    if (this != &o) {
        reset();
        stmt_ = o.stmt_;
        o.stmt_ = nullptr;
    }
    return *this;
}

PStmt::~PStmt() { reset(); }

void PStmt::reset() {
    if (stmt_) sqlite3_finalize(stmt_);
    stmt_ = nullptr;
}

PStmt prepare(sqlite3* db, const std::string& sql, const char* source, const char* function) {
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &s, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(s);
        throwSqlite(db, rc, source, function, DKString("preparing ") + sql.c_str());
    }
    return PStmt(s);
}

void exec(sqlite3* db, const char* sql, const char* source, const char* function) {
    int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) throwSqlite(db, rc, source, function, DKString(sql));
}

long stepCount(sqlite3* db, sqlite3_stmt* s, const char* source, const char* function, const char* what) {
    int rc = sqlite3_step(s);
    const long n = rc == SQLITE_ROW ? static_cast<long>(sqlite3_column_int64(s, 0)) : 0;
    sqlite3_reset(s);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) throwSqlite(db, rc, source, function, DKString(what));
    return n;
}

void stepDone(sqlite3* db, sqlite3_stmt* s, const char* source, const char* function, const char* what) {
    int rc = sqlite3_step(s);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) throwSqlite(db, rc, source, function, DKString(what));
}

std::string textColumn(sqlite3_stmt* s, int col) {
    const unsigned char* t = sqlite3_column_text(s, col);
    return t ? std::string(reinterpret_cast<const char*>(t), static_cast<size_t>(sqlite3_column_bytes(s, col)))
             : std::string();
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

// ---------------------------------------------------------------------------------------------
// Passwords

namespace {

std::vector<unsigned char> pbkdf2(const char* password, const std::vector<unsigned char>& salt, long iterations) {
    std::vector<unsigned char> out(32);
    const char* p = password ? password : "";
    if (iterations < 1 || iterations > INT_MAX ||
        PKCS5_PBKDF2_HMAC(p, static_cast<int>(std::strlen(p)), salt.data(), static_cast<int>(salt.size()),
                          static_cast<int>(iterations), EVP_sha256(), static_cast<int>(out.size()), out.data()) != 1)
        dkThrow<DKSystemError>(kMsgSqliteFailed, kSource, "DKDatastoreSQLITE::hashPassword",
                               DKString("PBKDF2-HMAC-SHA256 failed"));
    return out;
}

}  // namespace

PPasswordHash hashPassword(const char* password, long iterations) {
    PPasswordHash h;
    h.salt.resize(16);
    if (RAND_bytes(h.salt.data(), static_cast<int>(h.salt.size())) != 1)
        dkThrow<DKSystemError>(kMsgSqliteFailed, kSource, "DKDatastoreSQLITE::hashPassword",
                               DKString("no random bytes for the salt"));
    h.iterations = iterations;
    h.hash = pbkdf2(password, h.salt, iterations);
    return h;
}

bool verifyPassword(const char* password, const PPasswordHash& stored) {
    if (stored.hash.size() != 32 || stored.salt.empty()) return false;
    std::vector<unsigned char> h = pbkdf2(password, stored.salt, stored.iterations);
    return CRYPTO_memcmp(h.data(), stored.hash.data(), h.size()) == 0;
}

// ---------------------------------------------------------------------------------------------
// Types and values

bool isStorableType(unsigned short type) {
    switch (type) {
        case DKAny::tc_short: case DKAny::tc_long: case DKAny::tc_double: case DKAny::tc_string:
        case DKAny::tc_decimal: case DKAny::tc_date: case DKAny::tc_time: case DKAny::tc_timestamp:
        case DKAny::tc_bytearray:
            return true;
        default:
            return false;
    }
}

const char* columnTypeOf(unsigned short type) {
    switch (type) {
        case DKAny::tc_short: case DKAny::tc_long: return "INTEGER";
        case DKAny::tc_double: return "REAL";
        case DKAny::tc_bytearray: return "BLOB";
        default: return "TEXT";   // strings, and the exact text forms of decimals and dates
    }
}

const char* typeName(unsigned short type) {
    switch (type) {
        case DKAny::tc_null: return "null";
        case DKAny::tc_ushort: return "unsigned short";
        case DKAny::tc_short: return "short";
        case DKAny::tc_ulong: return "unsigned long";
        case DKAny::tc_long: return "long";
        case DKAny::tc_double: return "double";
        case DKAny::tc_boolean: return "boolean";
        case DKAny::tc_char: return "char";
        case DKAny::tc_string: return "string";
        case DKAny::tc_decimal: return "decimal";
        case DKAny::tc_date: return "date";
        case DKAny::tc_time: return "time";
        case DKAny::tc_timestamp: return "timestamp";
        case DKAny::tc_bytearray: return "byte array";
        case DKAny::tc_float: return "float";
        default: return "unsupported type";
    }
}

namespace {

// n written with at least width digits (a '-' first when negative), as "%0*d" would.
void appendNumber(std::string& out, long n, int width) {
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, n < 0 ? -n : n);
    if (n < 0) out += '-';
    for (long pad = width - (r.ptr - digits) - (n < 0 ? 1 : 0); pad > 0; --pad) out += '0';
    out.append(digits, r.ptr);
}

}  // namespace

std::string dateText(const DKAny& v) {
    const DKDate& d = *static_cast<const DKDate*>(v.value());
    std::string s;
    s.reserve(12);
    appendNumber(s, d.getYear(), 4);
    s += '-';
    appendNumber(s, d.getMonth(), 2);
    s += '-';
    appendNumber(s, d.getDay(), 2);
    return s;
}

std::string timeText(const DKAny& v) {
    const DKTime& t = *static_cast<const DKTime*>(v.value());
    std::string s;
    s.reserve(10);
    appendNumber(s, t.getHours(), 2);
    s += ':';
    appendNumber(s, t.getMinutes(), 2);
    s += ':';
    appendNumber(s, t.getSeconds(), 2);
    return s;
}

std::string timestampText(const DKAny& v) {
    DKTimestamp t = v;
    char buf[96];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%09d", t.getYear(), t.getMonth(), t.getDay(),
                  t.getHours(), t.getMinutes(), t.getSeconds(), t.getNanos());
    std::string s(buf);
    // The separator is kept only when it is not the usual '-', after the fixed-width part, so
    // the text still sorts in time order.
    if (t.getDateTimeSeparator() != '-') s += t.getDateTimeSeparator();
    return s;
}

namespace {

bool integerOf(const DKAny& v, long& out) {
    switch (v.typeCode()) {
        case DKAny::tc_short: out = static_cast<short>(v); return true;
        case DKAny::tc_ushort: out = static_cast<unsigned short>(v); return true;
        case DKAny::tc_long: out = static_cast<long>(v); return true;
        case DKAny::tc_ulong: {
            unsigned long u = static_cast<unsigned long>(v);
            if (u > static_cast<unsigned long>(LONG_MAX)) return false;
            out = static_cast<long>(u);
            return true;
        }
        default: return false;
    }
}

}  // namespace

namespace {

// A value SQLite could not take (too big, or no memory for its copy) would otherwise be stored as NULL.
void bound(int rc, const char* what, const char* source, const char* function) {
    if (rc != SQLITE_OK) throwSqlite(nullptr, rc, source, function, DKString("binding ") + (what ? what : "a value"));
}

// Text and bytes are bound with their 64-bit lengths: what SQLite cannot hold fails (too big)
// instead of being cut.
void bindString(sqlite3_stmt* stmt, int i, const char* text, size_t length, const char* what, const char* source,
                const char* function) {
    bound(sqlite3_bind_text64(stmt, i, text, length, SQLITE_TRANSIENT, SQLITE_UTF8), what, source, function);
}

}  // namespace

void bindText(sqlite3_stmt* stmt, int i, const std::string& s) {
    bindString(stmt, i, s.data(), s.size(), "a text", kSource, "dksqlite::bindText");
}

void bindValue(sqlite3_stmt* stmt, int i, const DKAny& v, unsigned short type, const char* what, const char* source,
               const char* function) {
    const DKAny::TypeCode tc = v.typeCode();
    const bool missingObject = (tc == DKAny::tc_decimal || tc == DKAny::tc_date || tc == DKAny::tc_time ||
                                tc == DKAny::tc_timestamp) && v.value() == nullptr;
    if (tc == DKAny::tc_null || missingObject) {
        bound(sqlite3_bind_null(stmt, i), what, source, function);
        return;
    }
    if (type == 0) {
        // A query parameter: the value's own type decides.
        switch (tc) {
            case DKAny::tc_short: case DKAny::tc_ushort: case DKAny::tc_long: case DKAny::tc_ulong: type = DKAny::tc_long; break;
            case DKAny::tc_boolean: bound(sqlite3_bind_int(stmt, i, static_cast<int>(v)), what, source, function); return;
            case DKAny::tc_float: bound(sqlite3_bind_double(stmt, i, static_cast<float>(v)), what, source, function); return;
            case DKAny::tc_char: {
                DKString s = v.toString();
                bindString(stmt, i, s.c_str(), s.length(), what, source, function);
                return;
            }
            default: type = static_cast<unsigned short>(tc); break;
        }
    }
    long n = 0;
    switch (type) {
        case DKAny::tc_short:
            if (!integerOf(v, n) || n < SHRT_MIN || n > SHRT_MAX) mismatch(what, type, v, source, function);
            bound(sqlite3_bind_int64(stmt, i, n), what, source, function);
            return;
        case DKAny::tc_long:
            if (!integerOf(v, n)) mismatch(what, type, v, source, function);
            bound(sqlite3_bind_int64(stmt, i, n), what, source, function);
            return;
        case DKAny::tc_double:
            if (tc == DKAny::tc_double) bound(sqlite3_bind_double(stmt, i, static_cast<double>(v)), what, source, function);
            else if (tc == DKAny::tc_float) bound(sqlite3_bind_double(stmt, i, static_cast<float>(v)), what, source, function);
            else if (integerOf(v, n)) bound(sqlite3_bind_double(stmt, i, static_cast<double>(n)), what, source, function);
            else mismatch(what, type, v, source, function);
            return;
        case DKAny::tc_string:
            if (tc == DKAny::tc_string) {
                // The string's own buffer stays valid until the statement is stepped: v is the
                // caller's value, alive for the whole operation. Bound with its length, so
                // embedded zero bytes survive.
                const DKString* s = static_cast<const DKString*>(v.value());
                if (s) bindString(stmt, i, s->c_str(), s->length(), what, source, function);
                else bindString(stmt, i, "", 0, what, source, function);
            } else if (tc == DKAny::tc_char) {
                DKString s = v.toString();
                bindString(stmt, i, s.c_str(), s.length(), what, source, function);
            } else {
                mismatch(what, type, v, source, function);
            }
            return;
        case DKAny::tc_decimal:
            if (tc == DKAny::tc_decimal) {
                const DKString s = static_cast<const DKDecimal*>(v.value())->toString();
                bindString(stmt, i, s.c_str(), s.length(), what, source, function);
            } else if (integerOf(v, n)) {
                bindText(stmt, i, std::to_string(n));
            } else {
                mismatch(what, type, v, source, function);
            }
            return;
        case DKAny::tc_date:
            if (tc != DKAny::tc_date) mismatch(what, type, v, source, function);
            bindText(stmt, i, dateText(v));
            return;
        case DKAny::tc_time:
            if (tc != DKAny::tc_time) mismatch(what, type, v, source, function);
            bindText(stmt, i, timeText(v));
            return;
        case DKAny::tc_timestamp: {
            if (tc != DKAny::tc_timestamp) mismatch(what, type, v, source, function);
            DKTimestamp t = v;
            if (t.getNanos() < 0 || t.getNanos() > 999999999) mismatch(what, type, v, source, function);
            bindText(stmt, i, timestampText(v));
            return;
        }
        case DKAny::tc_bytearray: {
            if (tc != DKAny::tc_bytearray) mismatch(what, type, v, source, function);
            const DKByteArray* b = static_cast<const DKByteArray*>(v.value());
            // An empty array is an empty blob, not NULL: a null data pointer would bind NULL.
            if (b == nullptr || b->length() == 0) bound(sqlite3_bind_zeroblob(stmt, i, 0), what, source, function);
            else bound(sqlite3_bind_blob64(stmt, i, b->getData(), static_cast<sqlite3_uint64>(b->length()), SQLITE_TRANSIENT),
                       what, source, function);
            return;
        }
        default:
            mismatch(what, type, v, source, function);
    }
}

DKAny columnValue(sqlite3_stmt* stmt, int col, unsigned short type, const char* source, const char* function) {
    const int ct = sqlite3_column_type(stmt, col);
    if (ct == SQLITE_NULL) return DKAny();
    if (type == 0) {
        switch (ct) {
            case SQLITE_INTEGER: return DKAny(static_cast<long>(sqlite3_column_int64(stmt, col)));
            case SQLITE_FLOAT: return DKAny(sqlite3_column_double(stmt, col));
            case SQLITE_BLOB: type = DKAny::tc_bytearray; break;
            default: type = DKAny::tc_string; break;
        }
    }
    switch (type) {
        case DKAny::tc_short: return DKAny(static_cast<short>(sqlite3_column_int64(stmt, col)));
        case DKAny::tc_long: return DKAny(static_cast<long>(sqlite3_column_int64(stmt, col)));
        case DKAny::tc_double: return DKAny(sqlite3_column_double(stmt, col));
        case DKAny::tc_bytearray: {
            const void* p = sqlite3_column_blob(stmt, col);
            int n = sqlite3_column_bytes(stmt, col);
            if (p == nullptr || n == 0) return DKAny(DKByteArray());
            return DKAny(DKByteArray(static_cast<char*>(const_cast<void*>(p)), n, 0));
        }
        default: break;
    }
    const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, col));
    const size_t len = static_cast<size_t>(sqlite3_column_bytes(stmt, col));
    if (text == nullptr) {
        // A value that is not NULL has a text unless SQLite could not allocate it.
        sqlite3* db = sqlite3_db_handle(stmt);
        if (sqlite3_errcode(db) == SQLITE_NOMEM) throwSqlite(db, SQLITE_NOMEM, source, function, "reading a value");
        text = "";
    }
    int f[7] = {0, 0, 0, 0, 0, 0, 0};
    size_t used = 0;
    switch (type) {
        case DKAny::tc_string: return adopt(DKAny::tc_string, new DKString(text, len));
        case DKAny::tc_decimal: {
            if (len == 0 || len > DKDecimal::kMaxText) badStored("decimal", text, source, function);
            try {
                return adopt(DKAny::tc_decimal, new DKDecimal(text));
            } catch (const DKException&) {
                badStored("decimal", text, source, function);
            }
        }
        case DKAny::tc_date:
            if (!readFields(text, len, "--", f, 3, used) || used != len) badStored("date", text, source, function);
            return adopt(DKAny::tc_date, new DKDate(f[0], f[1], f[2]));
        case DKAny::tc_time:
            if (!readFields(text, len, "::", f, 3, used) || used != len) badStored("time", text, source, function);
            return adopt(DKAny::tc_time, new DKTime(f[0], f[1], f[2]));
        case DKAny::tc_timestamp: {
            // The nanoseconds are exactly nine digits, so any separator character may follow.
            if (!readFields(text, len, "-- ::", f, 6, used) || len - used < 10 || len - used > 11 || text[used] != '.')
                badStored("timestamp", text, source, function);
            for (size_t k = used + 1; k < used + 10; ++k) {
                if (text[k] < '0' || text[k] > '9') badStored("timestamp", text, source, function);
                f[6] = f[6] * 10 + (text[k] - '0');
            }
            used += 10;
            char sep = used < len ? text[used] : '-';
            return adopt(DKAny::tc_timestamp, new DKTimestamp(f[0], f[1], f[2], f[3], f[4], f[5], f[6], -1, sep));
        }
        default:
            return adopt(DKAny::tc_string, new DKString(text, len));
    }
}

}  // namespace dksqlite

#include <dk/DKNVPair.hpp>

namespace dksqlite {

void bindParams(sqlite3_stmt* stmt, const DKNVPair* params, const char* source, const char* function) {
    const int count = sqlite3_bind_parameter_count(stmt);
    std::vector<bool> bound(static_cast<size_t>(count) + 1, false);
    int next = 1;
    for (long k = 0; params != nullptr; ++k) {
        const DKNVPair& p = params[k];
        const DKString name = p.getName();
        if (name.length() == 0) break;
        if (k >= count)
            dkThrow<DKUsageError>(kMsgBadParams, source, function,
                                  DKString("more parameters than the statement has (") + DKString(static_cast<long>(count)) +
                                      "); the list ends with an entry whose name is empty");
        int index = 0;
        const char c = name.c_str()[0];
        if (c == ':' || c == '@' || c == '$') {
            index = sqlite3_bind_parameter_index(stmt, name.c_str());
            if (index == 0) dkThrow<DKUsageError>(kMsgBadParams, source, function, DKString("no parameter ") + name);
        } else {
            while (next <= count && bound[static_cast<size_t>(next)]) ++next;
            index = next;
        }
        if (index > count || bound[static_cast<size_t>(index)])
            dkThrow<DKUsageError>(kMsgBadParams, source, function, DKString("parameter bound twice: ") + name);
        bindValue(stmt, index, p.getValue(), 0, name.c_str(), source, function);
        bound[static_cast<size_t>(index)] = true;
    }
    for (int i = 1; i <= count; ++i)
        if (!bound[static_cast<size_t>(i)])
            dkThrow<DKUsageError>(kMsgBadParams, source, function,
                                  DKString("parameter ") + DKString(static_cast<long>(i)) + " has no value");
}

}  // namespace dksqlite
