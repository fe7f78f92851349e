// include/dk/PParseSQLString.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

class dkCollection;

// A look at the text of an SQL SELECT statement without parsing it: the tables of its FROM
// clause and the statement that counts its rows. Double-byte characters of the locale in force
// when it is made stay whole. The analyser keeps a copy of the statement; one thread at a time.
class DK_API PParseSQLString {
public:
    explicit PParseSQLString(const char* statement);
    PParseSQLString(const PParseSQLString&) = delete;
    PParseSQLString& operator=(const PParseSQLString&) = delete;
    virtual ~PParseSQLString();

    int isdbcs(char c) const;   // 1 when c is a lead byte of the published lead-byte table
    // "SELECT count(*) " and the statement from its first FROM on; "" for a statement that is no
    // SELECT or has no FROM. Computed once.
    DKString countSelectString();
    // A new collection of void-pointer DKAny entries, each pointing at a new DKString: the upper-
    // case pieces between commas of the FROM clause, up to WHERE, GROUP or HAVING. The caller
    // deletes the strings and the collection. Empty without FROM; an empty piece throws 303.
    dkCollection* listTables();
    // The text between two double quotes that enclose it and contain no other; else s unchanged.
    static DKString unDoubleQuoteString(const char* s);

private:
    DKString statement_;
    int countComputed_;
    DKString countStatement_;
    int doubleByte_;
};
