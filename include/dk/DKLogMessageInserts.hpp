// include/dk/DKLogMessageInserts.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

#include <string>

// The numbered texts that fill the placeholders %1, %2 ... of a catalogue message. Insert 0
// names the reporting component ("program" until addFirst changes it); the inserts a caller
// adds are numbered from 1. The list owns copies of its texts. Every list's table is guarded by
// one process-wide mutex, so a list may be read and changed from several threads at once.
class DK_API DKLogMessageInserts {
public:
    DKLogMessageInserts();
    DKLogMessageInserts(const DKLogMessageInserts& other);
    DKLogMessageInserts& operator=(const DKLogMessageInserts& other);
    virtual ~DKLogMessageInserts();

    void insert(const DKString& text);   // stored under the next number
    void insert(const char* text);       // null is stored as an empty text
    void addFirst(const DKString& text); // replaces insert 0
    void addFirst(const char* text);
    DKString get(int i) const;           // empty when there is no insert i
    int size() const;                    // the next number, so a new list has size 1
    void clear();                        // back to the single insert 0 = "program"

    // The one shared list that holds nothing but insert 0, for every exception built without
    // inserts. Built on first use (thread-safe) and never changed.
    static const DKLogMessageInserts& emptyList();

    // Fills the placeholders of a message template with these inserts (see the source file for
    // the rules). Serialised process-wide by its own mutex, which it holds while reading the list.
    DKString substitute(const char* templateText) const;

    static constexpr int kBuckets = 10;

private:
    struct Entry;
    void reset();                                  // caller holds the table mutex
    void freeAll();                                // caller holds the table mutex
    void put(const std::string& key, const char* value, unsigned long n);   // the same
    const Entry* find(const std::string& key) const;                      // the same

    Entry* buckets_[kBuckets];   // owned chains, keyed by the decimal insert number
    int count_;
};
