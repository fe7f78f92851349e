// connectors/sqlite/DKMaintenanceSQLITE.hpp
#pragma once

// The maintenance interface of an SQLite repository, for programs that load the connector at run
// time: every operation is pure virtual and every body inline, so a program calls it through the
// pointer a connected datastore hands out without linking libdkdssqlite.so:
//
//     auto* m = static_cast<DKMaintenanceSQLITE*>(ds->getExtension(DKMaintenanceSQLITE::kName));
//
// The datastore owns the object (made on the first getExtension, valid while the datastore
// lives); each operation needs the datastore connected (DKDatastoreError 310 otherwise). Used by
// the datastore's thread only.

#include <dk/PRepositoryMaintenance.hpp>

class DK_API DKMaintenanceSQLITE : public PRepositoryMaintenance {
public:
    // The name the datastore hands the extension out under.
    static constexpr const char* kName = "SQLITE_MAINTENANCE";

    ~DKMaintenanceSQLITE() override {}

    // Checks the repository: level 0 runs SQLite's quick check, level 1 its full integrity check,
    // and both then compare the catalogue with the tables (every entity has its table, every
    // attribute its column of the type it stores, every other table an entity, the repository
    // its format and name). Returns a new array of problem texts (delete[] by the caller) and
    // their number in count; null and 0 when the repository is sound. Works on a read-only
    // connection and inside an open transaction, whose own writes it then sees. Another level
    // is DKUsageError 9125.
    DKString* check(short level, long& count) override = 0;

    // Copies the repository, as committed at one moment, into a new file with SQLite's online
    // backup while other connections go on writing. The copy is written under a temporary name
    // beside file and renamed at the end, so a failure leaves nothing. A file that exists is
    // DKUsageError 9126; an open transaction on this datastore is DKUsageError 9020; other
    // failures are DKDatastoreError 9127.
    void backup(const char* file) override = 0;

protected:
    DKMaintenanceSQLITE() {}
};
