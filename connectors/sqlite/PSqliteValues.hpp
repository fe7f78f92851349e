// connectors/sqlite/PSqliteValues.hpp
#pragma once

// The value codec of the connector: DKAny values into SQLite (binding, PSqliteUse.cpp) and out of
// it (reading columns, PSqliteInto.cpp), with the stored forms of every attribute type. A value
// that does not fit its attribute is refused, never stored half. Internal to libdkdssqlite.

#include <dk/DKAny.hpp>

#include <cstddef>
#include <deque>
#include <string>

class DKNVPair;
struct sqlite3_stmt;

namespace dksqlite {

// The attribute types the connector stores, and their SQLite column types.
bool isStorableType(unsigned short type);
const char* columnTypeOf(unsigned short type);
const char* typeName(unsigned short type);   // "string", "long" ... for messages

// Texts made while binding the values of one statement (decimals, dates, times, timestamps),
// kept until the statement has run so that SQLite uses them in place. Reused from one statement
// to the next (reset() before binding the next); its buffers never move while in use.
class PBoundTexts {
public:
    std::string& next();   // a buffer for one more text
    void reset() { used_ = 0; }

private:
    std::deque<std::string> texts_;
    std::size_t used_ = 0;
};

// Binds value to parameter i as a value of the attribute type (0: the value's own type, for
// query parameters). A value that does not fit gives DKUsageError kMsgValueMismatch naming what.
// With kept, value and kept outlive the statement's run, and nothing is copied: texts and bytes
// are bound in place. Without it SQLite copies them.
void bindValue(sqlite3_stmt* stmt, int i, const DKAny& value, unsigned short type, const char* what,
               const char* source, const char* function, PBoundTexts* kept = nullptr);
// Reads column col as a value of the attribute type (0: SQLite's own type of the value).
DKAny columnValue(sqlite3_stmt* stmt, int col, unsigned short type, const char* source,
                  const char* function);

// Reads column col into into, in place where into already holds an object of the value's type
// (assigned, not made again: a string's buffer is reused through scratch when it is long enough).
// A stored text that does not read back as its type is DKDatastoreError kMsgBadValue, into then
// unchanged.
void readInto(sqlite3_stmt* stmt, int col, unsigned short type, DKAny& into, std::string* scratch,
              const char* source, const char* function);

// The stored text forms, appended to out: fixed width, so they sort in time order (years 0 to
// 9999), and readable by SQLite's date functions.
void appendDate(std::string& out, const DKAny& date);       // "YYYY-MM-DD"
void appendTime(std::string& out, const DKAny& time);       // "HH:MM:SS"
void appendTimestamp(std::string& out, const DKAny& ts);    // "YYYY-MM-DD HH:MM:SS.nnnnnnnnn" [+ separator]

void bindText(sqlite3_stmt* s, int i, const std::string& text);

// The marks of a parameter list: "End" ends it (as an entry with an empty name does), and
// "Prepare Query", which the query objects add to prepare, binds nothing.
inline constexpr const char* kEndMark = "End";
inline constexpr const char* kPrepareMark = "Prepare Query";

// What binding a parameter list did: whether it carried the prepare mark, and whether every
// parameter of the statement got a value.
struct PBinding {
    bool prepared = false;
    bool complete = true;
};

// Binds a query's parameters: entries in order to the statement's parameters 1, 2, ... up to the
// end of the list (an entry named "End" or with an empty name); an entry whose name starts with
// ':', '@' or '$' binds to the named parameter instead. Every parameter must be bound exactly
// once, except that a list with the prepare mark may leave parameters for open(params); at most
// one entry past the statement's parameter count is read (it must end the list). DKUsageError
// kMsgBadParams.
PBinding bindParams(sqlite3_stmt* stmt, const DKNVPair* params, const char* source, const char* function);
}  // namespace dksqlite
