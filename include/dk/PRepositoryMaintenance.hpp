// include/dk/PRepositoryMaintenance.hpp
#pragma once

// The maintenance interface of a repository (an integrity check and an online copy), for
// programs that load a connector at run time: every operation is pure virtual, so a program calls
// it through the pointer a connected datastore hands out without linking the connector. A
// connector whose repository is kept by a server that checks and copies its own pages offers
// none. The datastore owns the object; each operation needs the datastore connected. Used by
// the datastore's thread only.

#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>
#include <dk/dkExtension.hpp>

class DK_API PRepositoryMaintenance : public dkExtension {
public:
    ~PRepositoryMaintenance() override {}

    // Checks the repository, level 0 quickly, level 1 in full. Returns a new array of problem
    // texts (delete[] by the caller) and their number in count; null and 0 when it is sound.
    virtual DKString* check(short level, long& count) = 0;
    // Copies the repository, as committed at one moment, into a new file; a failure leaves none.
    virtual void backup(const char* file) = 0;

protected:
    PRepositoryMaintenance() {}
};
