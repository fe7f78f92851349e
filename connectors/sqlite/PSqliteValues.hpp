// connectors/sqlite/PSqliteValues.hpp
#pragma once

// The value codec of the connector: DKAny values into SQLite (binding, PSqliteUse.cpp) and out of
// it (reading columns, PSqliteInto.cpp), with the stored forms of every attribute type. A value
// that does not fit its attribute is refused, never stored half. Internal to libdkdssqlite.

#include <dk/DKAny.hpp>

#include <string>

class DKNVPair;
struct sqlite3_stmt;

namespace dksqlite {

// The attribute types the connector stores, and their SQLite column types.
bool isStorableType(unsigned short type);
const char* columnTypeOf(unsigned short type);
const char* typeName(unsigned short type);   // "string", "long" ... for messages

// Binds value to parameter i as a value of the attribute type (0: the value's own type, for
// query parameters). A value that does not fit gives DKUsageError kMsgValueMismatch naming what.
void bindValue(sqlite3_stmt* stmt, int i, const DKAny& value, unsigned short type, const char* what,
               const char* source, const char* function);
// Reads column col as a value of the attribute type (0: SQLite's own type of the value).
DKAny columnValue(sqlite3_stmt* stmt, int col, unsigned short type, const char* source,
                  const char* function);

// The stored text forms: fixed width, so they sort in time order (years 0 to 9999), and readable
// by SQLite's date functions.
std::string dateText(const DKAny& date);        // "YYYY-MM-DD"
std::string timeText(const DKAny& time);        // "HH:MM:SS"
std::string timestampText(const DKAny& ts);     // "YYYY-MM-DD HH:MM:SS.nnnnnnnnn" [+ separator]

void bindText(sqlite3_stmt* s, int i, const std::string& text);

// Binds a query's parameters: entries in order to the statement's parameters 1, 2, ... up to the
// entry with an empty name; an entry whose name starts with ':', '@' or '$' binds to the named
// parameter instead. Every parameter must be bound exactly once; at most one entry past the
// statement's parameter count is read (it must be the end mark). DKUsageError kMsgBadParams.
void bindParams(sqlite3_stmt* stmt, const DKNVPair* params, const char* source, const char* function);
}  // namespace dksqlite
