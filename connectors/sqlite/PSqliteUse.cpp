// connectors/sqlite/PSqliteUse.cpp
//
// Values into SQLite: every DKAny an item or a query parameter holds is bound, never pasted into
// SQL, in the stored form of its attribute type (fixed-width texts for dates and times, exact
// text for decimals, 64-bit lengths for texts and bytes). A value that does not fit is refused
// before the statement runs.

#include "PSqliteError.hpp"
#include "PSqliteValues.hpp"

#include <dk/DKByteArray.hpp>
#include <dk/DKDate.hpp>
#include <dk/DKDecimal.hpp>
#include <dk/DKException.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/PConnectorKit.hpp>
#include <dk/dkThrow.hpp>

#include <sqlite3.h>

#include <charconv>
#include <climits>
#include <vector>

namespace dksqlite {

namespace {

constexpr const char* kSource = kSqliteSource;

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

// n written with at least width digits (a '-' first when negative), as "%0*d" would.
void appendNumber(std::string& out, long n, int width) {
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, n < 0 ? -n : n);
    if (n < 0) out += '-';
    for (long pad = width - (r.ptr - digits) - (n < 0 ? 1 : 0); pad > 0; --pad) out += '0';
    out.append(digits, r.ptr);
}

// A value SQLite could not take (too big, or no memory for its copy) would otherwise be stored as NULL.
void bound(int rc, const char* what, const char* source, const char* function) {
    if (rc != SQLITE_OK) throwSqlite(nullptr, rc, source, function, DKString("binding ") + (what ? what : "a value"));
}

// Text and bytes are bound with their 64-bit lengths: what SQLite cannot hold fails (too big)
// instead of being cut. Texts that outlive the statement's run are bound without a copy.
void bindString(sqlite3_stmt* stmt, int i, const char* text, size_t length, bool lasting, const char* what,
                const char* source, const char* function) {
    bound(sqlite3_bind_text64(stmt, i, text, length, lasting ? SQLITE_STATIC : SQLITE_TRANSIENT, SQLITE_UTF8), what,
          source, function);
}

// The text form of a value made while binding: into a kept buffer when there is one, so the
// statement can use it in place, else into scratch and copied by SQLite.
class PTextOut {
public:
    PTextOut(PBoundTexts* kept, std::string& scratch) : text_(kept != nullptr ? kept->next() : scratch), lasting_(kept) {
        text_.clear();
    }
    std::string& text() { return text_; }
    void bind(sqlite3_stmt* stmt, int i, const char* what, const char* source, const char* function) {
        bindString(stmt, i, text_.data(), text_.size(), lasting_, what, source, function);
    }

private:
    std::string& text_;
    bool lasting_;
};

}  // namespace

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
// Digits of 0 <= n < 10^width, zero-padded, at out.
void putDigits(char* out, int n, int width) {
    for (int i = width - 1; i >= 0; --i, n /= 10) out[i] = static_cast<char>('0' + n % 10);
}
}  // namespace

void appendDate(std::string& out, const DKAny& v) {
    int ymd[3];
    static_cast<const DKDate*>(v.value())->getFields(ymd);
    if (ymd[0] >= 0 && ymd[0] <= 9999) {   // the usual years: written whole, in one append
        char text[] = "9999-99-99";
        putDigits(text, ymd[0], 4);
        putDigits(text + 5, ymd[1], 2);
        putDigits(text + 8, ymd[2], 2);
        out.append(text, sizeof text - 1);
        return;
    }
    appendNumber(out, ymd[0], 4);
    out += '-';
    appendNumber(out, ymd[1], 2);
    out += '-';
    appendNumber(out, ymd[2], 2);
}

void appendTime(std::string& out, const DKAny& v) {
    const DKTime& t = *static_cast<const DKTime*>(v.value());
    char text[] = "99:99:99";
    putDigits(text, t.getHours(), 2);
    putDigits(text + 3, t.getMinutes(), 2);
    putDigits(text + 6, t.getSeconds(), 2);
    out.append(text, sizeof text - 1);
}

void appendTimestamp(std::string& out, const DKAny& v) {
    const DKTimestamp& t = *static_cast<const DKTimestamp*>(v.value());
    int f[6];
    t.getFields(f);
    appendNumber(out, f[0], 4);
    out += '-';
    appendNumber(out, f[1], 2);
    out += '-';
    appendNumber(out, f[2], 2);
    out += ' ';
    appendNumber(out, f[3], 2);
    out += ':';
    appendNumber(out, f[4], 2);
    out += ':';
    appendNumber(out, f[5], 2);
    out += '.';
    appendNumber(out, t.getNanos(), 9);
    // The separator is kept only when it is not the usual '-', after the fixed-width part, so
    // the text still sorts in time order.
    if (t.getDateTimeSeparator() != '-') out += t.getDateTimeSeparator();
}

std::string& PBoundTexts::next() {
    if (used_ == texts_.size()) texts_.emplace_back();
    return texts_[used_++];
}

void bindText(sqlite3_stmt* stmt, int i, const std::string& s) {
    bindString(stmt, i, s.data(), s.size(), false, "a text", kSource, "dksqlite::bindText");
}

void bindValue(sqlite3_stmt* stmt, int i, const DKAny& v, unsigned short type, const char* what, const char* source,
               const char* function, PBoundTexts* kept) {
    const bool lasting = kept != nullptr;
    std::string scratch;   // a text made here for a statement that copies it (short: no allocation)
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
                bindString(stmt, i, s.c_str(), s.length(), false, what, source, function);
                return;
            }
            default: type = static_cast<unsigned short>(tc); break;
        }
    }
    long n = 0;
    switch (type) {
        case DKAny::tc_short:
            if (!PConnectorKit::integerOf(v, n) || n < SHRT_MIN || n > SHRT_MAX) mismatch(what, type, v, source, function);
            bound(sqlite3_bind_int64(stmt, i, n), what, source, function);
            return;
        case DKAny::tc_long:
            if (!PConnectorKit::integerOf(v, n)) mismatch(what, type, v, source, function);
            bound(sqlite3_bind_int64(stmt, i, n), what, source, function);
            return;
        case DKAny::tc_double:
            if (tc == DKAny::tc_double) bound(sqlite3_bind_double(stmt, i, static_cast<double>(v)), what, source, function);
            else if (tc == DKAny::tc_float) bound(sqlite3_bind_double(stmt, i, static_cast<float>(v)), what, source, function);
            else if (PConnectorKit::integerOf(v, n)) bound(sqlite3_bind_double(stmt, i, static_cast<double>(n)), what, source, function);
            else mismatch(what, type, v, source, function);
            return;
        case DKAny::tc_string:
            if (tc == DKAny::tc_string) {
                // Bound with its length, so embedded zero bytes survive.
                const DKString* s = static_cast<const DKString*>(v.value());
                if (s) bindString(stmt, i, s->c_str(), s->length(), lasting, what, source, function);
                else bindString(stmt, i, "", 0, true, what, source, function);
            } else if (tc == DKAny::tc_char) {
                PTextOut out(kept, scratch);
                out.text() = v.toString().c_str();
                out.bind(stmt, i, what, source, function);
            } else {
                mismatch(what, type, v, source, function);
            }
            return;
        case DKAny::tc_decimal: {
            PTextOut out(kept, scratch);
            if (tc == DKAny::tc_decimal) {
                const DKString text = static_cast<const DKDecimal*>(v.value())->toString();
                out.text().assign(text.c_str(), text.length());
            } else if (PConnectorKit::integerOf(v, n)) {
                char digits[24];
                out.text().assign(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
            } else {
                mismatch(what, type, v, source, function);
            }
            out.bind(stmt, i, what, source, function);
            return;
        }
        case DKAny::tc_date: {
            if (tc != DKAny::tc_date) mismatch(what, type, v, source, function);
            PTextOut out(kept, scratch);
            appendDate(out.text(), v);
            out.bind(stmt, i, what, source, function);
            return;
        }
        case DKAny::tc_time: {
            if (tc != DKAny::tc_time) mismatch(what, type, v, source, function);
            PTextOut out(kept, scratch);
            appendTime(out.text(), v);
            out.bind(stmt, i, what, source, function);
            return;
        }
        case DKAny::tc_timestamp: {
            if (tc != DKAny::tc_timestamp) mismatch(what, type, v, source, function);
            const int nanos = static_cast<const DKTimestamp*>(v.value())->getNanos();
            if (nanos < 0 || nanos > 999999999) mismatch(what, type, v, source, function);
            PTextOut out(kept, scratch);
            appendTimestamp(out.text(), v);
            out.bind(stmt, i, what, source, function);
            return;
        }
        case DKAny::tc_bytearray: {
            if (tc != DKAny::tc_bytearray) mismatch(what, type, v, source, function);
            const DKByteArray* b = static_cast<const DKByteArray*>(v.value());
            // An empty array is an empty blob, not NULL: a null data pointer would bind NULL.
            if (b == nullptr || b->length() == 0) bound(sqlite3_bind_zeroblob(stmt, i, 0), what, source, function);
            else bound(sqlite3_bind_blob64(stmt, i, b->getData(), static_cast<sqlite3_uint64>(b->length()),
                                           lasting ? SQLITE_STATIC : SQLITE_TRANSIENT),
                       what, source, function);
            return;
        }
        default:
            mismatch(what, type, v, source, function);
    }
}

PBinding bindParams(sqlite3_stmt* stmt, const DKNVPair* params, const char* source, const char* function) {
    const int count = sqlite3_bind_parameter_count(stmt);
    std::vector<bool> bound(static_cast<size_t>(count) + 1, false);
    PBinding result;
    int next = 1;
    int given = 0;
    for (const DKNVPair* p = params; p != nullptr; ++p) {
        const DKString name = p->getName();
        if (name.length() == 0 || name == kEndMark) break;
        if (name == kPrepareMark) {   // a mark for the connector, no value of the statement
            result.prepared = true;
            continue;
        }
        if (given++ >= count)
            dkThrow<DKUsageError>(kMsgBadParams, source, function,
                                  DKString("more parameters than the statement has (") + DKString(static_cast<long>(count)) +
                                      "); the list ends with an entry named End or with an empty name");
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
        bindValue(stmt, index, p->getValue(), 0, name.c_str(), source, function);
        bound[static_cast<size_t>(index)] = true;
    }
    for (int i = 1; i <= count; ++i) {
        if (bound[static_cast<size_t>(i)]) continue;
        // A prepared query's parameters may come with open(params).
        if (result.prepared) {
            result.complete = false;
            break;
        }
        dkThrow<DKUsageError>(kMsgBadParams, source, function,
                              DKString("parameter ") + DKString(static_cast<long>(i)) + " has no value");
    }
    return result;
}

}  // namespace dksqlite
