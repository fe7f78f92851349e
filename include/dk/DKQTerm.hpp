// include/dk/DKQTerm.hpp
#pragma once
#include <dk/DKNVPair.hpp>
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

#include <string>
#include <vector>

// One condition of a query: a leaf compares an attribute with one or more values, a logical term
// combines terms with AND, OR or NOT, and a string term carries ready-made query text (with
// options) that takes the place of everything else. A term owns its values, options and both
// operands; setLeft and setRight delete a different previous operand, and and_, or_ and not_
// return a new node that owns both this term and the argument. Rendering, cloning and deleting
// walk the tree without recursion, so a tree of any depth is safe. One thread at a time.
class DK_API DKQTerm {
public:
    DKQTerm();
    explicit DKQTerm(const char* stringTerm);
    DKQTerm(const char* stringTerm, const DKNVPair* options, long count);
    // A single-value leaf; the operator must not be 6, 7, 8, 10 or 15 (else DKUsageError 303).
    DKQTerm(const char* name, short op, const char* value);
    // A multi-value leaf; the operator must be 10, 11, 12 or 15 (else 303).
    DKQTerm(const char* name, short op, const DKString* values, long count);
    // A logical node over two operands it then owns: 6 and 7 need both, 8 only the right one
    // (the one negated). On a 303 the operands stay with the caller.
    DKQTerm(DKQTerm* left, short op, DKQTerm* right);
    DKQTerm(const DKQTerm&) = delete;
    DKQTerm& operator=(const DKQTerm&) = delete;
    virtual ~DKQTerm();

    virtual short getOpCode() const;
    virtual void setOpCode(short op);
    virtual DKQTerm* getLeft() const;
    virtual void setLeft(DKQTerm* left);
    virtual DKQTerm* getRight() const;
    virtual void setRight(DKQTerm* right);
    virtual DKQTerm* and_(DKQTerm* other);
    virtual DKQTerm* or_(DKQTerm* other);
    virtual DKQTerm* not_();
    virtual int isNotTerm() const;
    virtual int isLeaf() const;
    virtual DKString getStringTerm() const;
    virtual void setStringTerm(const char* stringTerm);
    virtual DKString getName() const;
    virtual void setName(const char* name);
    virtual DKString getValue() const;   // the first value, or ""
    virtual void setValue(const char* value);
    virtual DKString* getValues(long& count) const;   // a new array (null when empty)
    virtual void setValues(const DKString* values, long count);
    virtual int hasMultiValues() const;
    virtual DKNVPair* getOptions(long& count) const;   // a new array (null when empty)
    virtual void setOptions(const DKNVPair* options, long count);
    virtual DKString toString() const;   // the query-text form
    virtual DKQTerm* clone() const;      // a deep copy that renders the same
    virtual DKString toSQL() const;      // the SQL form; a string term gives ""

    // The query-text and SQL forms appended to out, for callers that build longer texts.
    void appendString(std::string& out) const;
    void appendSQL(std::string& out) const;

    // Quote helpers; a null text gives an empty string.
    static DKString duplicateSingleQuote(const char* s);
    static DKString unDuplicateSingleQuote(const char* s);
    static DKString formatWithSingleQuotes(const char* s);
    static DKString formatWithDoubleQuotes(const char* s);
    static DKString formatWithoutSingleQuotes(const char* s);
    static DKString formatWithoutDoubleQuotes(const char* s);
    static DKString convertSingleQuotesFormatToDouble(const char* s);

private:
    void render(std::string& out, bool sql) const;
    void copyFieldsFrom(const DKQTerm& other);   // everything but the operands

    short op_;
    DKString name_;
    std::vector<DKString> values_;
    DKQTerm* left_;
    DKQTerm* right_;
    DKString stringTerm_;
    std::vector<DKNVPair> options_;
};
