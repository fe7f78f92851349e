// include/dk/PLeadByteTable.hpp
#pragma once
#include <dk/dkExport.hpp>

#include <string>

// Which bytes start a two-byte character in the current LC_CTYPE (the calling thread's locale:
// the one set with uselocale, else the process locale). A byte is a lead byte when the locale's
// longest character has two bytes and mbrlen finds the byte alone incomplete; UTF-8 and
// single-byte locales have none. One table is built per locale name, kept for the life of the
// process and never changed; refresh() publishes the table of the caller's locale for isdbcs.
// Any thread may call any of these at any time.
class DK_API PLeadByteTable {
public:
    virtual ~PLeadByteTable();
    PLeadByteTable(const PLeadByteTable&) = delete;
    PLeadByteTable& operator=(const PLeadByteTable&) = delete;

    // The table of the calling thread's LC_CTYPE (built the first time its name is seen), which
    // becomes the published one. Scanners call it when they are made.
    static const PLeadByteTable& refresh();
    // The published table; the first call in a process publishes the caller's.
    static const PLeadByteTable& current();

    int isLeadByte(unsigned char byte) const { return lead_[byte]; }
    int hasLeadBytes() const { return any_; }
    const std::string& localeName() const { return name_; }

private:
    PLeadByteTable(const std::string& name, void* locale);   // locale: the locale_t to read

    std::string name_;
    unsigned char lead_[256];
    int any_;
};

// 1 when c (taken as a byte, also where char is signed) is a lead byte of the published table,
// else 0.
DK_API int isdbcs(char c);
