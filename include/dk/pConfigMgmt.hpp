// include/dk/pConfigMgmt.hpp
#pragma once
#include <dk/DKSequentialCollection.hpp>
#include <dk/DKString.hpp>
#include <dk/dkCollection.hpp>
#include <dk/dkExport.hpp>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

// The interface of a store of configuration properties (key and text value) that a program reads
// and changes. Internal: applications use dkTraceLogMgmt. Not copyable; one thread at a time.
class DK_API pConfigMgmt {
public:
    pConfigMgmt() = default;
    pConfigMgmt(const pConfigMgmt&) = delete;
    pConfigMgmt& operator=(const pConfigMgmt&) = delete;

    virtual void setLogProperty(const DKString& key, const DKString& value) = 0;
    virtual void setAllLogProperties(const dkCollection& pairs) = 0;
    virtual DKString getLogProperty(const DKString& key) const = 0;
    virtual const dkCollection& getAllLogProperties() const = 0;
    virtual int isLogPropertySupported(const DKString& key) const = 0;
    virtual ~pConfigMgmt();
};

// An editor of a text file of "key <delimiter> value" lines. Lines are read with a buffer of
// kLineBuffer characters (a longer line is read as several lines); a line of fewer than three
// characters, or without the delimiter, is not a property line. A change rewrites the whole file
// through an exclusively created temporary file beside it, keeps the previous version as
// <path>.bak and swaps the new file in with one rename, so the file is at every moment either the
// old or the new version; lines not changed are copied byte for byte. Every operation opens and
// closes the file itself. The object owns the collection getAllLogProperties returns (rebuilt at
// each call). One thread at a time; several objects (or processes) may rewrite the same file, the
// last rename wins.
class DK_API PConfigMgmtFile : public pConfigMgmt {
public:
    PConfigMgmtFile();   // no path yet: every file operation throws 486 until initialize
    ~PConfigMgmtFile() override;

    // Strips both, checks them (checkKeyAndValue) and rewrites the file: every property line of
    // the key is replaced, or a line is appended when there is none.
    void setLogProperty(const DKString& key, const DKString& value) override;
    // The same for a collection of DKAny values holding DKNVPairs (name = key, value = the text)
    // in one rewrite. Every pair is checked before the file is touched.
    void setAllLogProperties(const dkCollection& pairs) override;
    // The value of the first property line of the key; 703 when there is none, 705 when the
    // file does not exist.
    DKString getLogProperty(const DKString& key) const override;
    // Every property line of the file as a DKAny holding a DKNVPair (value: a DKAny string).
    const dkCollection& getAllLogProperties() const override;
    int isLogPropertySupported(const DKString& key) const override;   // always 1

    // An empty path throws 486.
    virtual void initialize(const DKString& path, const DKString& delimiter);
    virtual void initialize(const DKString& path);
    virtual DKString delimiter() const;

    DKString getPath() const { return path; }

    // The read buffer: a line is at most kLineBuffer - 1 characters, its line end included.
    static constexpr unsigned long kLineBuffer = 256;

protected:
    // 1 when the line (without its line end) is a property line: more than 2 characters.
    virtual int isLineValid(DKString& line) const;
    // Splits at the first delimiter, both parts stripped; an empty key when there is none.
    virtual void getKeyAndValue(const DKString& line, DKString& key, DKString& value) const;
    // key + " " + delimiter + " " + value (so "key = value" for the default delimiter).
    virtual void getLineToWrite(const DKString& key, const DKString& value, DKString& line) const;
    // 1 with the stripped value when the line's stripped key is `key`; else 0.
    virtual int getValue(const DKString& line, const DKString& key, DKString& value) const;
    // An empty key throws 700.
    virtual void checkKey(const DKString& key) const;
    // An empty key throws 700. A key holding the delimiter or a line break, a value holding a
    // line break, or a pair whose line would not fit the read buffer throws 702: such a line
    // could not be read back as written.
    virtual void checkKeyAndValue(const DKString& key, const DKString& value) const;
    // 1 when the line has the delimiter and the stripped text before it is `key`.
    virtual int doesKeyMatch(const DKString& line, const DKString& key) const;

    // The value of the key's first property line; false when there is none (705 when the file
    // does not exist). The key is used as given.
    bool lookUp(const DKString& key, DKString& value, const char* function) const;

private:
    // When the line is a property line of the key, replaces it with the line to write and gives 1.
    virtual int checkAndChangeLine(DKString& line, const DKString& key, const DKString& value) const;

    // Throws 702 with the key and value ("NULL" for an empty value) as inserts.
    [[noreturn]] static void throwUnsuitable(const DKString& key, const DKString& value, const char* function);

    using Pairs = std::vector<std::pair<DKString, DKString>>;
    // Reads the next line of fileRead into raw (line end included); false at the end.
    bool readLine(std::string& raw) const;
    void openForReading(const char* function) const;
    void closeFiles() const;
    void rewrite(const Pairs& pairs, const char* function);
    // The backup where the file system has no hard links.
    void copyFile(const std::string& from, const std::string& to, unsigned mode, const char* function) const;

    DKString path;
    DKString delim;
    mutable DKSequentialCollection properties;   // what getAllLogProperties returns
    mutable std::FILE* fileRead;                 // open only during an operation
    mutable std::FILE* fileWritten;
    mutable std::string tempPath;                // the temporary file while it exists
};
