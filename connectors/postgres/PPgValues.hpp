// connectors/postgres/PPgValues.hpp
#pragma once

// Names and values of the PostgreSQL connector: which entity and attribute names it takes and how
// they become SQL identifiers, the attribute types and their columns, DKAny values into statement
// parameters and result values back into DKAny. A value the server would store differently from
// what was given (finer timestamps, a separator, zero bytes in text) is refused, never changed.
// Internal to libdkdspg.

#include <dk/DKAny.hpp>

#include <deque>
#include <string>
#include <vector>

struct pg_result;

namespace dkpg {

// Entity and attribute names: an ASCII letter, then letters, digits and '_', at most 63 (the
// server's identifier length), not starting with "dk_" or "pg_" (the catalogue's and the server's).
bool isValidName(const char* name);
std::string lowerName(const char* name);         // ASCII lower case: the column or table of a name
std::string quoteIdent(const std::string& name); // "name", quotes doubled

// The attribute types the connector stores, and their column types.
bool isStorableType(unsigned short type);
const char* columnTypeOf(unsigned short type);

// The parameters of one statement: texts (and bytes, sent in binary) with their lengths, kept
// until the statement has run. Values are copied into it, so the DDO may change afterwards.
class PParams {
public:
    void clear() { used_ = 0; }
    void addNull();
    void addText(const std::string& text);
    void addBytes(const char* data, std::size_t length);
    int count() const { return static_cast<int>(used_); }
    const char* const* values();
    const int* lengths() { return lengths_.data(); }
    const int* formats() { return formats_.data(); }

private:
    std::string& slot(bool null, int format);

    std::deque<std::string> texts_;   // never moves a text once made
    std::vector<const char*> values_;
    std::vector<int> lengths_, formats_;
    std::vector<bool> nulls_;
    std::size_t used_ = 0;
};

// Adds value as a parameter of the attribute type (0: the value's own type, for query parameters). A value that does not fit gives DKUsageError
// kMsgValueMismatch naming what; one the server would change, kMsgValueRefused.
void addValue(PParams& params, const DKAny& value, unsigned short type, const char* what, const char* source,
              const char* function);

// A whole number in the server's zero-terminated text form, without a locale or a copy; a text
// of another form reads as strtol reads it.
long readWhole(const char* text);

// Reads the text-format value at row, col of result as a value of the attribute type into into,
// in place where into holds an object of that type already (a string's buffer reused); a stored
// text that does not read back as its type is DKDatastoreError kMsgBadValue.
void readInto(const pg_result* result, int row, int col, unsigned short type, DKAny& into, const char* source,
              const char* function);
// The same, as a new value.
DKAny readValue(const pg_result* result, int row, int col, unsigned short type, const char* source,
                const char* function);

// The value type of a result column of server type oid (a type without its own: a string).
unsigned short typeOfColumn(unsigned int oid);
// True when a column of server type oid reads in binary form to the same value as in text form,
// so that a query whose every column does may ask for its rows in binary.
bool readsBinary(unsigned int oid);
// readInto for a value in binary form, of a column for which readsBinary holds and whose value
// type is type or typeOfColumn of its server type (a whole number of 2, 4 or 8 bytes for either
// whole type).
void readBinaryInto(const pg_result* result, int row, int col, unsigned short type, DKAny& into, const char* source,
                    const char* function);

}  // namespace dkpg
