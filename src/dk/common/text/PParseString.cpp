// src/dk/common/text/PParseString.cpp
//
// The scanners of the toolkit's little languages: configuration lines, query terms, operator
// expressions. They read text that comes from files and users, so every scan is bounded by the
// text's length (a quote or lead byte at the very end never makes a scanner read past it), and
// every malformed text ends in the one usage error 303.

#include <dk/PParseString.hpp>

#include <dk/DKException.hpp>
#include <dk/PLeadByteTable.hpp>
#include <dk/dkThrow.hpp>

#include <cstring>

namespace {
constexpr const char* kSource = "dk/common/PParseString";

bool isWhite(char c) { return c == ' ' || c == '\r' || c == '\n'; }
bool isQuote(char c) { return c == '"' || c == '\''; }

// The text being scanned (never null) with the lead-byte table when the locale has lead bytes.
struct Text {
    const char* s;
    unsigned long n;
    const PLeadByteTable* lead;   // null: no byte is a lead byte

    Text(const char* text, const PLeadByteTable* table)
        : s(text != nullptr ? text : ""), n(std::strlen(s)), lead(table) {}
    Text(const char* text, unsigned long length, const PLeadByteTable* table) : s(text), n(length), lead(table) {}

    // The part [b, e) as a text of its own: no scan of it reaches past e.
    Text sub(unsigned long b, unsigned long e) const { return Text(s + b, e - b, lead); }

    bool isLead(unsigned long i) const {
        return lead != nullptr && lead->isLeadByte(static_cast<unsigned char>(s[i])) != 0;
    }
    // The index after the character at i: a lead byte takes the next byte with it, unless it ends
    // the text.
    unsigned long step(unsigned long i) const { return (isLead(i) && i + 1 < n) ? i + 2 : i + 1; }

    unsigned long skipWhite(unsigned long i, unsigned long end) const {
        while (i < end && isWhite(s[i])) ++i;
        return i;
    }

    // The index after the quoted string that starts at i, closing quote included; end when the
    // quote is never closed (closed then says so).
    unsigned long skipQuoted(unsigned long i, unsigned long end, bool& closed) const {
        const char quote = s[i];
        unsigned long j = i + 1;
        while (j < end) {
            if (isLead(j)) {
                j = step(j);
                continue;
            }
            if (s[j] == quote) {
                if (j + 1 < end && s[j + 1] == quote) {
                    j += 2;
                    continue;
                }
                closed = true;
                return j + 1;
            }
            ++j;
        }
        closed = false;
        return end;
    }

    // The range [b, e) without leading and trailing white space, as a string.
    DKString stripped(unsigned long b, unsigned long e) const {
        while (b < e && isWhite(s[b])) ++b;
        while (e > b && isWhite(s[e - 1])) --e;
        return DKString(s + b, e - b);
    }
    // The text without leading and trailing white space.
    Text stripped() const {
        unsigned long b = 0, e = n;
        while (b < e && isWhite(s[b])) ++b;
        while (e > b && isWhite(s[e - 1])) --e;
        return sub(b, e);
    }
};

// Builds the lead-byte table of the caller's locale and tells whether any byte is a lead byte.
const PLeadByteTable* leadTable(int& dbcs) {
    const PLeadByteTable& table = PLeadByteTable::refresh();
    dbcs = table.hasLeadBytes();
    return dbcs ? &table : nullptr;
}

[[noreturn]] void badText(const char* function) { dkThrow<DKUsageError>(303, kSource, function); }

void freePieces(PCollection& pieces) {
    for (unsigned long k = 0; k < pieces.numberOfElements(); ++k) delete static_cast<DKString*>(pieces[k]);
    pieces.removeAll();
}

DKString pieceAt(const PCollection& pieces, unsigned long i, const char* function) {
    if (i == 0 || i > pieces.numberOfElements()) badText(function);
    return *static_cast<const DKString*>(pieces[i - 1]);
}

unsigned long findTerm(const PCollection& pieces, const char* name) {
    if (name == nullptr) return 0;
    for (unsigned long k = 0; k < pieces.numberOfElements(); ++k) {
        PParseTokenString term(*static_cast<const DKString*>(pieces[k]));
        if (term.name() == name) return k + 1;
    }
    return 0;
}

// The operator forms of a term, each to be followed by a blank, in the order they are tried:
// so "AND" wins over "AND NOT", and "<" over "<=" only when a blank follows the "<".
constexpr const char* kWordForms[] = {
    "&", "|", "^", ">", "<", "=",
    "OR", "<=", "EQ", "LT", "GT", "IN", ">=", "==", "!=", "<>",
    "AND", "NOR", "LEQ", "GEQ", "NEQ",
    "NEAR", "NAND", "LIKE",
    "NOTIN",
    "NOTLIKE", "BETWEEN", "AND NOT",
    "NOTBETWEEN",
    "CONTAINS_TEXT",
};
// Operators written against the name, without a blank before them.
constexpr const char* kAttachedForms[] = {"==", "<>", "<=", ">=", "=", "<", ">"};

constexpr const char* kContainsInContent = "CONTAINS_TEXT_IN_CONTENT";

}  // namespace

// ---------------------------------------------------------------------------------------------
// PParseTokenString

PParseTokenString::PParseTokenString() : dbcs_(0) {}

PParseTokenString::PParseTokenString(const char* text) : dbcs_(0) {
    if (text != nullptr && *text != '\0') parse(text);
}

PParseTokenString::PParseTokenString(const PParseTokenString& other)
    : name_(other.name_), value_(other.value_), op_(other.op_), dbcs_(other.dbcs_) {}

PParseTokenString& PParseTokenString::operator=(const PParseTokenString& other) {
    name_ = other.name_;
    value_ = other.value_;
    op_ = other.op_;
    return *this;
}

PParseTokenString::~PParseTokenString() = default;

void PParseTokenString::setString(const char* text) {
    name_ = DKString();
    value_ = DKString();
    op_ = DKString();
    if (text != nullptr && *text != '\0') parse(text);
}

void PParseTokenString::parse(const char* text) {
    const Text t(text, leadTable(dbcs_));
    unsigned long i = t.skipWhite(0, t.n);

    // The name: a quoted string, or up to white space or a comparison character.
    const unsigned long nameStart = i;
    bool nameEndsInPair = false;   // the name's last byte is the second of a double-byte character
    if (i < t.n && isQuote(t.s[i])) {
        bool closed = false;
        i = t.skipQuoted(i, t.n, closed);
        if (!closed) badText("PParseTokenString::setString");
    } else {
        while (i < t.n && !isWhite(t.s[i]) && t.s[i] != '=' && t.s[i] != '<' && t.s[i] != '>') {
            const unsigned long next = t.step(i);
            nameEndsInPair = next == i + 2;
            i = next;
        }
    }
    DKString name = t.stripped(nameStart, i);

    if (name == kContainsInContent) {
        name_ = name;
        op_ = name;
        value_ = t.stripped(i, t.n);
        return;
    }

    // The operator: the first position, up to the end of the line, where a form matches. What
    // lies between the name and the operator is passed over.
    unsigned long p = t.skipWhite(i, t.n);
    bool afterTrail = p == i && nameEndsInPair;   // the byte before p ends a double-byte character
    const char* op = nullptr;
    unsigned long valueStart = 0;
    while (p < t.n && t.s[p] != '\r' && t.s[p] != '\n') {
        if (t.isLead(p)) {
            afterTrail = p + 1 < t.n;
            p = t.step(p);
            continue;
        }
        const unsigned long left = t.n - p;
        if (p > 0 && t.s[p - 1] == ' ' && !afterTrail) {
            for (const char* form : kWordForms) {
                const unsigned long len = std::strlen(form);
                if (len < left && std::memcmp(t.s + p, form, len) == 0 && t.s[p + len] == ' ') {
                    op = form;
                    valueStart = p + len;
                    break;
                }
            }
        } else {
            for (const char* form : kAttachedForms) {
                const unsigned long len = std::strlen(form);
                if (len <= left && std::memcmp(t.s + p, form, len) == 0) {
                    op = form;
                    valueStart = p + len;
                    break;
                }
            }
        }
        if (op != nullptr) break;
        afterTrail = false;
        ++p;
    }

    if (op != nullptr) {
        name_ = name;
        op_ = op;
        value_ = t.stripped(valueStart, t.n);
    } else {
        name_ = t.stripped(0, t.n);
    }
}

// ---------------------------------------------------------------------------------------------
// PParseSeparatedString

PParseSeparatedString::PParseSeparatedString(const char* text, char separator, int rejectEmpty)
    : text_(text), separator_(separator), dbcs_(0) {
    try {
        const Text t = Text(text, leadTable(dbcs_)).stripped();
        const unsigned long e = t.n;
        unsigned long i = 0;
        while (i < e) {
            i = t.skipWhite(i, e);
            if (i >= e) break;
            const unsigned long start = i;
            long depth = 0;
            while (i < e) {
                const char c = t.s[i];
                if (t.isLead(i)) {
                    i = t.step(i);
                    continue;
                }
                if (c == separator_ && depth == 0) break;
                if (c == '\r' || c == '\n') break;
                if (isQuote(c)) {
                    bool closed = false;
                    i = t.skipQuoted(i, e, closed);   // an open quote runs to the end
                    continue;
                }
                if (c == '(') ++depth;
                else if (c == ')') --depth;
                ++i;
            }
            if (depth != 0) badText("PParseSeparatedString::PParseSeparatedString");
            DKString piece = t.stripped(start, i);
            if (piece.length() == 0 && rejectEmpty == 1) badText("PParseSeparatedString::PParseSeparatedString");
            pieces_.add(new DKString(piece));
            if (i < e && t.s[i] == separator_) ++i;
        }
    } catch (...) {
        freePieces(pieces_);
        throw;
    }
}

PParseSeparatedString::~PParseSeparatedString() { freePieces(pieces_); }

DKString PParseSeparatedString::string(unsigned long i) const {
    return pieceAt(pieces_, i, "PParseSeparatedString::string");
}

PParseTokenString PParseSeparatedString::tokenString(unsigned long i) const {
    return PParseTokenString(pieceAt(pieces_, i, "PParseSeparatedString::tokenString"));
}

unsigned long PParseSeparatedString::tokenStringNumber(const char* name) const { return findTerm(pieces_, name); }

// ---------------------------------------------------------------------------------------------
// PParseSeparatedToken

namespace {
// The index after the group opened at i, up to its matching close (nesting of the same pair
// counted, quotes not recognised); end when it never closes.
unsigned long skipGroup(const Text& t, unsigned long i, unsigned long end, char open, char close, bool& closed) {
    long depth = 0;
    while (i < end) {
        if (t.isLead(i)) {
            i = t.step(i);
            continue;
        }
        if (t.s[i] == open) {
            ++depth;
        } else if (t.s[i] == close && --depth == 0) {
            closed = true;
            return i + 1;
        }
        ++i;
    }
    closed = false;
    return end;
}
}  // namespace

PParseSeparatedToken::PParseSeparatedToken(const char* text, int rejectEmpty) : text_(text), dbcs_(0) {
    static const char* const kFunction = "PParseSeparatedToken::PParseSeparatedToken";
    try {
        const Text t = Text(text, leadTable(dbcs_)).stripped();
        const unsigned long e = t.n;
        unsigned long i = 0;
        while (i < e) {
            i = t.skipWhite(i, e);
            if (i >= e) break;
            const unsigned long start = i;
            const char c = t.s[i];
            bool closed = true;
            if (c == '(') {
                i = skipGroup(t, i, e, '(', ')', closed);
            } else if (c == '{') {
                i = skipGroup(t, i, e, '{', '}', closed);
            } else if (c == '[') {
                i = skipGroup(t, i, e, '[', ']', closed);
            } else if (isQuote(c)) {
                i = t.skipQuoted(i, e, closed);
            } else if (c == '$') {
                // A variable runs to the next "$" (kept), a blank or a carriage return; a quoted
                // value right after "=" is taken whole, and may run to the end.
                ++i;
                while (i < e) {
                    if (t.isLead(i)) {
                        i = t.step(i);
                        continue;
                    }
                    const char d = t.s[i];
                    if (d == '$') {
                        ++i;
                        break;
                    }
                    if (d == ' ' || d == '\r') break;
                    if (d == '=' && i + 1 < e && isQuote(t.s[i + 1])) {
                        bool valueClosed = false;
                        i = t.skipQuoted(i + 1, e, valueClosed);
                        continue;
                    }
                    ++i;
                }
            } else {
                while (i < e && t.s[i] != ' ' && t.s[i] != '\r') i = t.step(i);
            }
            if (!closed) badText(kFunction);
            DKString token = t.stripped(start, i);
            if (token.length() == 0 && rejectEmpty == 1) badText(kFunction);
            pieces_.add(new DKString(token));
        }
    } catch (...) {
        freePieces(pieces_);
        throw;
    }
}

PParseSeparatedToken::~PParseSeparatedToken() { freePieces(pieces_); }

DKString PParseSeparatedToken::string(unsigned long i) const {
    return pieceAt(pieces_, i, "PParseSeparatedToken::string");
}

// ---------------------------------------------------------------------------------------------
// PParseSeparatedParen

namespace {
// The index of the parenthesis that closes the one at i (quoted strings passed over), or end when
// none does. With stopAtReturn a carriage return outside quotes also ends the search.
unsigned long matchParen(const Text& t, unsigned long i, unsigned long end, bool stopAtReturn) {
    long depth = 0;
    while (i < end) {
        const char c = t.s[i];
        if (t.isLead(i)) {
            i = t.step(i);
            continue;
        }
        if (stopAtReturn && c == '\r') return end;
        if (isQuote(c)) {
            bool closed = false;
            i = t.skipQuoted(i, end, closed);
            continue;
        }
        if (c == '(') {
            ++depth;
        } else if (c == ')' && --depth == 0) {
            return i;
        }
        ++i;
    }
    return end;
}
}  // namespace

PParseSeparatedParen::PParseSeparatedParen(const char* text, int rejectEmpty)
    : text_(text), enclosed_(0), dbcs_(0) {
    static const char* const kFunction = "PParseSeparatedParen::PParseSeparatedParen";
    try {
        Text t = Text(text, leadTable(dbcs_)).stripped();
        if (t.n > 0 && t.s[0] == '(' && matchParen(t, 0, t.n, false) == t.n - 1) {
            enclosed_ = 1;
            t = t.sub(1, t.n - 1);
        }
        const unsigned long e = t.n;
        unsigned long i = 0;
        while (i < e) {
            i = t.skipWhite(i, e);
            if (i >= e) break;
            const unsigned long start = i;
            if (t.s[i] == '(') {
                const unsigned long close = matchParen(t, i, e, true);
                if (close >= e) badText(kFunction);
                i = close + 1;
            } else {
                while (i < e) {
                    const char c = t.s[i];
                    if (t.isLead(i)) {
                        i = t.step(i);
                        continue;
                    }
                    if (c == '(' || c == '\r') break;
                    if (isQuote(c)) {
                        bool closed = false;
                        i = t.skipQuoted(i, e, closed);
                        continue;
                    }
                    ++i;
                }
            }
            DKString piece = t.stripped(start, i);
            if (piece.length() == 0 && rejectEmpty == 1) badText(kFunction);
            pieces_.add(new DKString(piece));
        }
    } catch (...) {
        freePieces(pieces_);
        throw;
    }
}

PParseSeparatedParen::~PParseSeparatedParen() { freePieces(pieces_); }

DKString PParseSeparatedParen::string(unsigned long i) const {
    return pieceAt(pieces_, i, "PParseSeparatedParen::string");
}

// ---------------------------------------------------------------------------------------------
// PParseSeparatedExpr

namespace {
// What may stand right before and right after an operator word.
bool opensWord(char c) { return c == ' ' || c == '"' || c == '\'' || c == ')' || c == '}' || c == ']'; }
bool closesWord(char c) { return c == ' ' || c == '"' || c == '\'' || c == '(' || c == '{' || c == '['; }
}  // namespace

PParseSeparatedExpr::PParseSeparatedExpr(const char* text, const char** operators, unsigned long operatorCount,
                                         int rejectEmpty)
    : text_(text), operators_(nullptr), operatorCount_(0), dbcs_(0) {
    static const char* const kFunction = "PParseSeparatedExpr::PParseSeparatedExpr";
    try {
        const PLeadByteTable* table = leadTable(dbcs_);
        if (operatorCount == 0 || operators == nullptr) {
            pieces_.add(new DKString(text_));
            separators_.add(new DKString());
            return;
        }
        operators_ = new DKString[operatorCount];
        operatorCount_ = operatorCount;
        for (unsigned long k = 0; k < operatorCount; ++k) operators_[k] = DKString(operators[k]);

        const Text t = Text(text, table).stripped();
        const unsigned long e = t.n;
        unsigned long i = 0;
        while (i < e) {
            i = t.skipWhite(i, e);
            if (i >= e) break;
            const unsigned long start = i;
            long depth = 0;
            bool afterTrail = false;
            const DKString* match = nullptr;
            while (i < e) {
                // An operator word starts here when it stands between delimiters, at depth 0,
                // not at the first character and not reaching the last one.
                if (depth == 0 && i > 0 && !afterTrail && opensWord(t.s[i - 1])) {
                    for (unsigned long k = 0; k < operatorCount_; ++k) {
                        const unsigned long len = operators_[k].length();
                        if (len == 0 || len >= e - i) continue;
                        if (std::memcmp(t.s + i, operators_[k].c_str(), len) == 0 && closesWord(t.s[i + len])) {
                            match = &operators_[k];
                            break;
                        }
                    }
                    if (match != nullptr) break;
                }
                const char c = t.s[i];
                if (t.isLead(i)) {
                    afterTrail = i + 1 < e;
                    i = t.step(i);
                    continue;
                }
                afterTrail = false;
                if (isQuote(c)) {
                    bool closed = false;
                    i = t.skipQuoted(i, e, closed);
                    continue;
                }
                if (c == '(') ++depth;
                else if (c == ')') --depth;
                ++i;
            }
            if (depth != 0) badText(kFunction);
            DKString piece = t.stripped(start, i);
            if (piece.length() == 0 && rejectEmpty != 0) badText(kFunction);
            pieces_.add(new DKString(piece));
            separators_.add(new DKString(match != nullptr ? *match : DKString()));
            if (match != nullptr) i += match->length();
        }
    } catch (...) {
        freePieces(pieces_);
        freePieces(separators_);
        delete[] operators_;
        throw;
    }
}

PParseSeparatedExpr::~PParseSeparatedExpr() {
    freePieces(pieces_);
    freePieces(separators_);
    delete[] operators_;
}

DKString PParseSeparatedExpr::string(unsigned long i) const {
    return pieceAt(pieces_, i, "PParseSeparatedExpr::string");
}

DKString PParseSeparatedExpr::seperator(unsigned long i) const {
    return pieceAt(separators_, i, "PParseSeparatedExpr::seperator");
}

PParseTokenString PParseSeparatedExpr::tokenString(unsigned long i) const {
    return PParseTokenString(pieceAt(pieces_, i, "PParseSeparatedExpr::tokenString"));
}

unsigned long PParseSeparatedExpr::tokenStringNumber(const char* name) const { return findTerm(pieces_, name); }

// ---------------------------------------------------------------------------------------------
// PParseQuoteString

PParseQuoteString::PParseQuoteString() : PParseQuoteString('\'') {}

PParseQuoteString::PParseQuoteString(char quote) : dbcs_(0), quote_(quote) { leadTable(dbcs_); }

PParseQuoteString::~PParseQuoteString() = default;

DKString PParseQuoteString::parseString(const char* text) const {
    const Text t(text, dbcs_ ? &PLeadByteTable::current() : nullptr);
    DKString result;
    unsigned long i = t.skipWhite(0, t.n);
    unsigned long from = i;   // start of the run not yet copied
    while (i < t.n) {
        if (t.isLead(i)) {
            i = t.step(i);
            continue;
        }
        const char c = t.s[i];
        if (c == '\r' || c == '\n') {
            ++i;
            break;
        }
        if (c == quote_ && i + 1 < t.n && t.s[i + 1] == quote_) {
            // Copy through the first quote and drop the second.
            result += DKString(t.s + from, i + 1 - from);
            i += 2;
            from = i;
            continue;
        }
        ++i;
    }
    result += DKString(t.s + from, i - from);
    return result;
}
