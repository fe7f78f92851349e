// include/dk/PRepositoryContent.hpp
#pragma once

// The content interface of a repository, the same on every connector that keeps content parts,
// for programs that load a connector at run time: every operation is pure virtual, so a program
// calls it through the pointer a connected datastore hands out without linking the connector.
// Each connector hands it out under its own extension name; a program that knows no connector
// finds it among listExtensionNames by its class.
//
// A content part is named by a DKPidXDO: the connector's datastore type, the repository name, the
// item's entity as object type, and two id strings, the item's row id and the part number (from
// 1). The objects made here are the connector's dkBlob and dkClob objects (PContentKit.hpp says
// what they do); the caller owns them, and they use the datastore while they live (delete them
// before the datastore). The datastore owns this extension. Used by the datastore's thread only.

#include <dk/DKPid.hpp>
#include <dk/dkBlob.hpp>
#include <dk/dkExport.hpp>
#include <dk/dkExtension.hpp>

class DK_API PRepositoryContent : public dkExtension {
public:
    ~PRepositoryContent() override {}

    // The pid of part number part of the item itemId of entity in this repository.
    virtual DKPidXDO pidOf(const char* entity, long itemId, long part) = 0;
    // A new binary or character content object for the part pid names (nothing is read yet); a
    // pid of another repository, or one that names no part, is the connector's DKUsageError.
    virtual dkBlob* createBlob(const DKPidXDO& pid) = 0;
    virtual dkClob* createClob(const DKPidXDO& pid) = 0;

protected:
    PRepositoryContent() {}
};
