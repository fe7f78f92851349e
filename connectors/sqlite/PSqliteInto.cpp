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
#include <dk/PConnectorKit.hpp>
#include <dk/dkThrow.hpp>

#include <sqlite3.h>

#include <charconv>
#include <string>
#include <type_traits>
#include <utility>

namespace dksqlite {

namespace {

// One int field as std::from_chars reads it (an optional '-', then digits); null when there is
// none. Fields of up to nine digits, all the stored forms hold, are read here without the call.
const char* readField(const char* p, const char* end, int& field) {
    const char* q = p != end && *p == '-' ? p + 1 : p;
    const char* digits = q;
    int v = 0;
    while (q != end && q - digits < 9 && static_cast<unsigned>(*q - '0') < 10U) v = v * 10 + (*q++ - '0');
    if (q == digits) return nullptr;
    if (q != end && static_cast<unsigned>(*q - '0') < 10U) {   // longer: range checked by from_chars
        auto r = std::from_chars(p, end, field);
        return r.ec == std::errc() ? r.ptr : nullptr;
    }
    field = digits != p ? -v : v;
    return q;
}

// Reads a text of exactly the shape the connector writes ('9' a digit, any other character
// itself, as in "9999-99-99") into the fields its digit runs make; false for any other text,
// which readFields then reads.
template <size_t N>
bool readShape(const char* text, size_t len, const char (&shape)[N], int* fields) {
    if (len != N - 1) return false;
    int k = 0;
    int v = 0;
    for (size_t i = 0; i < N - 1; ++i) {
        if (shape[i] == '9') {
            const unsigned d = static_cast<unsigned>(text[i] - '0');
            if (d > 9) return false;
            v = v * 10 + static_cast<int>(d);
        } else {
            if (text[i] != shape[i]) return false;
            fields[k++] = v;
            v = 0;
        }
    }
    fields[k] = v;
    return true;
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
        p = readField(p, end, fields[i]);
        if (p == nullptr) return false;
    }
    used = static_cast<size_t>(p - text);
    return true;
}

void putText(DKAny& into, const char* text, size_t len, std::string* scratch) {
    DKString* object = into.typeCode() == DKAny::tc_string ? static_cast<DKString*>(into.value()) : nullptr;
    if (object == nullptr || scratch == nullptr) {
        into = DKAny(DKString(text, len));
        return;
    }
    scratch->assign(text, len);
    *object = *scratch;   // into the string's own buffer when it is its only holder and long enough
}

[[noreturn]] void badStored(const char* kind, const char* text, const char* source, const char* function) {
    DKString detail(kind);
    detail += ": ";
    detail += text ? text : "";
    dkThrow<DKDatastoreError>(kMsgBadValue, source, function, detail);
}

// A value stored as text, read as type; text is what sqlite3_column_text gave for it.
void readText(sqlite3_stmt* stmt, int col, unsigned short type, const char* text, DKAny& into, std::string* scratch,
              const char* source, const char* function) {
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
        case DKAny::tc_decimal: {
            if (len == 0 || len > DKDecimal::kMaxText) badStored("decimal", text, source, function);
            try {
                PConnectorKit::put<DKDecimal>(into, DKAny::tc_decimal, text);
            } catch (const DKException&) {
                badStored("decimal", text, source, function);
            }
            return;
        }
        case DKAny::tc_date:
            if (!readShape(text, len, "9999-99-99", f) && (!readFields(text, len, "--", f, 3, used) || used != len))
                badStored("date", text, source, function);
            PConnectorKit::put<DKDate>(into, DKAny::tc_date, f[0], f[1], f[2]);
            return;
        case DKAny::tc_time:
            if (!readShape(text, len, "99:99:99", f) && (!readFields(text, len, "::", f, 3, used) || used != len))
                badStored("time", text, source, function);
            PConnectorKit::put<DKTime>(into, DKAny::tc_time, f[0], f[1], f[2]);
            return;
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
            PConnectorKit::put<DKTimestamp>(into, DKAny::tc_timestamp, f[0], f[1], f[2], f[3], f[4], f[5], f[6], -1,
                                            sep);
            return;
        }
        default:   // strings, and text SQLite holds where no attribute says otherwise
            putText(into, text, len, scratch);
            return;
    }
}

}  // namespace

void readInto(sqlite3_stmt* stmt, int col, unsigned short type, DKAny& into, std::string* scratch,
              const char* source, const char* function) {
    // Texts (the stored form of strings, decimals, dates and times) are asked for at once: a null
    // pointer then tells NULL (or a failure) apart, one call less per value.
    const bool textForm = type == DKAny::tc_string || type == DKAny::tc_decimal || type == DKAny::tc_date ||
                          type == DKAny::tc_time || type == DKAny::tc_timestamp;
    if (textForm) {
        const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, col));
        if (text != nullptr || sqlite3_column_type(stmt, col) != SQLITE_NULL) {
            readText(stmt, col, type, text, into, scratch, source, function);
            return;
        }
    }
    const int ct = textForm ? SQLITE_NULL : sqlite3_column_type(stmt, col);
    if (ct == SQLITE_NULL) {
        into.setNull();
        return;
    }
    if (type == 0) {
        switch (ct) {
            case SQLITE_INTEGER: into = static_cast<long>(sqlite3_column_int64(stmt, col)); return;
            case SQLITE_FLOAT: into = sqlite3_column_double(stmt, col); return;
            case SQLITE_BLOB: type = DKAny::tc_bytearray; break;
            default: type = DKAny::tc_string; break;
        }
    }
    switch (type) {
        case DKAny::tc_short: into = static_cast<short>(sqlite3_column_int64(stmt, col)); return;
        case DKAny::tc_long: into = static_cast<long>(sqlite3_column_int64(stmt, col)); return;
        case DKAny::tc_double: into = sqlite3_column_double(stmt, col); return;
        case DKAny::tc_bytearray: {
            const void* p = sqlite3_column_blob(stmt, col);
            int n = sqlite3_column_bytes(stmt, col);
            if (p == nullptr || n == 0)
                PConnectorKit::put<DKByteArray>(into, DKAny::tc_bytearray);
            else
                PConnectorKit::put<DKByteArray>(into, DKAny::tc_bytearray, static_cast<char*>(const_cast<void*>(p)), n,
                                                short(0));
            return;
        }
        default: break;
    }
    readText(stmt, col, type, reinterpret_cast<const char*>(sqlite3_column_text(stmt, col)), into, scratch, source,
             function);
}

DKAny columnValue(sqlite3_stmt* stmt, int col, unsigned short type, const char* source, const char* function) {
    DKAny v;
    readInto(stmt, col, type, v, nullptr, source, function);
    return v;
}

}  // namespace dksqlite
