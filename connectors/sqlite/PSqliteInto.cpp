// connectors/sqlite/PSqliteInto.cpp
//
// Values out of SQLite: a column read as a value of its attribute's type (or of SQLite's own type
// where no attribute stands behind it). Stored text that does not read back as its type is a
// damaged value (kMsgBadValue), never a wrong one.

#include "PSqliteError.hpp"
#include "PSqliteValues.hpp"

#include <dk/DKByteArray.hpp>
#include <dk/DKDate.hpp>
#include <dk/DKDecimal.hpp>
#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <sqlite3.h>

#include <charconv>

namespace dksqlite {

namespace {

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
