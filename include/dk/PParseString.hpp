// include/dk/PParseString.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/PCollection.hpp>
#include <dk/dkExport.hpp>

// The scanners of the toolkit's small text languages: a term of name, operator and value
// (PParseTokenString), lists cut at a separator (PParseSeparatedString), blank-separated tokens
// with bracketed and quoted groups (PParseSeparatedToken), parenthesised groups
// (PParseSeparatedParen), expressions cut at operator words (PParseSeparatedExpr) and quote
// doubling (PParseQuoteString).
//
// Rules shared by all of them: white space is blank, carriage return and line feed; a quoted
// string runs from a double or single quote to the same quote, a doubled quote inside standing
// for one, and is kept in the pieces unchanged; pieces are stripped of white space. When the
// locale's character set has lead bytes (see PLeadByteTable), the byte after a lead byte is
// ordinary text, never a delimiter or quote; a lead byte that ends the text stands alone.
// Positions count from 1. Every error throws DKUsageError 303 from the constructor (or
// setString); no partial result is kept. Each scanner owns its pieces; an object is used by one
// thread at a time, but any number of scanners may work at once.

// A term: a name, an operator and a value ("TITLE = 'x'", "A<=5", "X BETWEEN 1 AND 5").
class DK_API PParseTokenString {
public:
    PParseTokenString();
    PParseTokenString(const char* text);   // parses text when it is not empty
    PParseTokenString(const PParseTokenString& other);
    PParseTokenString& operator=(const PParseTokenString& other);   // copies name, value, op
    virtual ~PParseTokenString();

    void setString(const char* text);   // clears the term, then parses text when it is not empty
    DKString name() const { return name_; }
    DKString value() const { return value_; }
    DKString op() const { return op_; }

private:
    void parse(const char* text);

    DKString name_;
    DKString value_;
    DKString op_;
    int dbcs_;
};

// Pieces of a text cut at a separator character, outside quoted strings and parentheses; a line
// break also ends a piece. An empty piece is kept as an empty string, or throws 303 when the
// reject-empty flag is 1.
class DK_API PParseSeparatedString {
public:
    PParseSeparatedString(const char* text, char separator, int rejectEmpty);
    PParseSeparatedString(const PParseSeparatedString&) = delete;
    PParseSeparatedString& operator=(const PParseSeparatedString&) = delete;
    virtual ~PParseSeparatedString();

    unsigned long numberOfStrings() const { return pieces_.numberOfElements(); }
    DKString string(unsigned long i) const;                 // 1-based; 303 outside 1 .. count
    PParseTokenString tokenString(unsigned long i) const;   // piece i parsed as a term
    // The 1-based number of the first piece whose term name equals name exactly, 0 when none.
    unsigned long tokenStringNumber(const char* name) const;

private:
    DKString text_;
    char separator_;
    PCollection pieces_;   // owned DKString*
    int dbcs_;
};

// Blank-separated tokens; "(...)", "{...}" and "[...]" groups (nesting counted), quoted strings
// and "$...$" variables are each one token.
class DK_API PParseSeparatedToken {
public:
    PParseSeparatedToken(const char* text, int rejectEmpty);
    PParseSeparatedToken(const PParseSeparatedToken&) = delete;
    PParseSeparatedToken& operator=(const PParseSeparatedToken&) = delete;
    virtual ~PParseSeparatedToken();

    unsigned long numberOfStrings() const { return pieces_.numberOfElements(); }
    DKString string(unsigned long i) const;   // 1-based; 303 outside 1 .. count

private:
    DKString text_;
    PCollection pieces_;   // owned DKString*
    int dbcs_;
};

// Parenthesised groups and the text between them: "A AND (B OR C) AND D" gives "A AND",
// "(B OR C)", "AND D". An outer pair around the whole text is removed first.
class DK_API PParseSeparatedParen {
public:
    PParseSeparatedParen(const char* text, int rejectEmpty);
    PParseSeparatedParen(const PParseSeparatedParen&) = delete;
    PParseSeparatedParen& operator=(const PParseSeparatedParen&) = delete;
    virtual ~PParseSeparatedParen();

    unsigned long numberOfStrings() const { return pieces_.numberOfElements(); }
    DKString string(unsigned long i) const;   // 1-based; 303 outside 1 .. count
    int isEnclosedInParen() const { return enclosed_; }   // 1 when the outer pair was removed

private:
    DKString text_;
    PCollection pieces_;   // owned DKString*
    int enclosed_;
    int dbcs_;
};

// An expression cut at the caller's operator words (tried in the caller's order) outside quoted
// strings and parentheses; each piece remembers the operator that follows it.
class DK_API PParseSeparatedExpr {
public:
    PParseSeparatedExpr(const char* text, const char** operators, unsigned long operatorCount, int rejectEmpty);
    PParseSeparatedExpr(const PParseSeparatedExpr&) = delete;
    PParseSeparatedExpr& operator=(const PParseSeparatedExpr&) = delete;
    virtual ~PParseSeparatedExpr();

    unsigned long numberOfStrings() const { return pieces_.numberOfElements(); }
    DKString string(unsigned long i) const;      // 1-based; 303 outside 1 .. count
    DKString seperator(unsigned long i) const;   // the operator after piece i; empty after the last
    PParseTokenString tokenString(unsigned long i) const;
    unsigned long tokenStringNumber(const char* name) const;

private:
    DKString text_;
    DKString* operators_;   // owned copies of the operator words
    unsigned long operatorCount_;
    PCollection pieces_;       // owned DKString*
    PCollection separators_;   // owned DKString*, one per piece
    int dbcs_;
};

// Undoubles quotes: "'it''s'" becomes "'it's'". Reads from the first non-white character up to
// and including the first line break.
class DK_API PParseQuoteString {
public:
    PParseQuoteString();                      // the single quote
    explicit PParseQuoteString(char quote);
    virtual ~PParseQuoteString();

    DKString parseString(const char* text) const;

private:
    int dbcs_;
    char quote_;
};
