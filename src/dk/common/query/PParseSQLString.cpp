// src/dk/common/query/PParseSQLString.cpp
//
// The SQL statement analyser that sizes result sets before they are fetched: it derives the
// count statement of a SELECT and lists the tables named after FROM. It scans the text byte by
// byte, keeping a lead byte and the byte after it together when the locale has double-byte
// characters, and never reads past the end of the statement.

#include <dk/PParseSQLString.hpp>

#include <dk/DKSequentialCollection.hpp>
#include <dk/PLeadByteTable.hpp>
#include <dk/PParseString.hpp>

#include <cstring>
#include <memory>

namespace {
bool separator(char c) { return c == '\n' || c == '\r' || c == ' ' || c == '\0'; }

// The upper-case text from `from` on, cut at the first of WHERE, GROUP or HAVING in that order.
DKString cutAtClause(DKString text) {
    for (const char* keyword : {"WHERE", "GROUP", "HAVING"}) {
        const unsigned long at = text.indexOf(keyword);
        if (at != 0) return text.subString(1, at - 1);
    }
    return text;
}
}  // namespace

PParseSQLString::PParseSQLString(const char* statement)
    : statement_(statement), countComputed_(0), doubleByte_(PLeadByteTable::refresh().hasLeadBytes() ? 1 : 0) {}

PParseSQLString::~PParseSQLString() = default;

int PParseSQLString::isdbcs(char c) const { return ::isdbcs(c); }

DKString PParseSQLString::countSelectString() {
    if (countStatement_.length() > 0 || countComputed_ != 0) return countStatement_;
    countComputed_ = 1;

    const char* s = statement_.c_str();
    const unsigned long n = statement_.length();
    unsigned long i = 0;
    // Blanks, line ends and double-byte characters before the first word are passed over.
    while (i < n) {
        if (s[i] == '\n' || s[i] == '\r' || s[i] == ' ') {
            ++i;
        } else if (doubleByte_ != 0 && isdbcs(s[i])) {
            i += i + 1 < n ? 2 : 1;
        } else {
            break;
        }
    }
    const unsigned long start = i;
    while (i < n && !separator(s[i])) i += doubleByte_ != 0 && isdbcs(s[i]) && i + 1 < n ? 2 : 1;
    DKString word = statement_.subString(start + 1, i - start);
    word.strip();
    word.upperCase();
    if (word != "SELECT") return countStatement_;

    DKString upper = statement_;
    upper.upperCase();
    const unsigned long from = upper.indexOf("FROM");
    if (from == 0) return countStatement_;   // nothing to count from
    countStatement_ = DKString("SELECT") + " count(*) " + statement_.subString(from, n - from + 1);
    return countStatement_;
}

dkCollection* PParseSQLString::listTables() {
    auto tables = std::make_unique<DKSequentialCollection>();
    DKString upper = statement_;
    upper.upperCase();
    const unsigned long from = upper.indexOf("FROM");
    if (from == 0) return tables.release();

    DKString rest = upper.subString(from + 4, upper.length());
    rest.strip();
    rest = cutAtClause(rest);
    rest.strip();
    PParseSeparatedString pieces(rest.c_str(), ',', 1);
    try {
        for (unsigned long i = 1; i <= pieces.numberOfStrings(); ++i) {
            auto name = std::make_unique<DKString>(pieces.string(i));
            tables->addElement(DKAny(static_cast<void*>(name.get())));
            name.release();
        }
    } catch (...) {
        std::unique_ptr<dkIterator> it(tables->createIterator());
        while (it->more()) delete static_cast<DKString*>(it->next()->value());
        throw;
    }
    return tables.release();
}

DKString PParseSQLString::unDoubleQuoteString(const char* s) {
    const size_t n = s != nullptr ? std::strlen(s) : 0;
    if (n >= 2 && s[0] == '"' && s[n - 1] == '"' && std::memchr(s + 1, '"', n - 2) == nullptr) {
        return DKString(s + 1, static_cast<unsigned long>(n - 2));
    }
    return DKString(s);
}
