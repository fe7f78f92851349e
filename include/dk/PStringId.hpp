// include/dk/PStringId.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/PCollection.hpp>
#include <dk/dkExport.hpp>

// A list of strings with a length-prefixed text form: for each string its length in decimal, one
// blank and the string itself, with nothing between items ("3 abc5 hello"; the empty text is the
// empty list). Any strings (blanks, digits, empty ones) survive the round trip through the text
// form. Text that does not follow the form throws 303 with the insert "[" text "]". The list owns
// its strings. Used by one thread at a time.
class DK_API PStringId {
public:
    PStringId();
    PStringId(const char* text);   // parses text; null is the empty list
    PStringId(const PStringId& other);
    PStringId& operator=(const PStringId& other);
    virtual ~PStringId();

    void addString(const char* text);       // appends a copy; null appends an empty string
    void addString(const DKString& text);   // appends a copy, embedded zero bytes included
    unsigned long numElements() const { return strings_.numberOfElements(); }
    DKString operator[](unsigned long k) const;   // 0-based; 303 when k is not below numElements()
    DKString totalString() const;                 // the text form
    int operator==(const PStringId& other) const;
    int operator!=(const PStringId& other) const { return (*this == other) ? 0 : 1; }

    // 1 when every character is a decimal digit (also for the empty text), else 0; null gives 0.
    static int isDigits(const char* text);

private:
    void parse(const char* text);
    void clear();

    PCollection strings_;   // owned DKString*
};
