// connectors/postgres/DKContentPG.hpp
#pragma once

// The content interface of a PostgreSQL repository, for programs that load the connector at run
// time: every operation is pure virtual and every body inline, so a program calls it through the
// pointer a connected datastore hands out without linking libdkdspg.so:
//
//     auto* c = static_cast<DKContentPG*>(ds->getExtension(DKContentPG::kName));
//     std::unique_ptr<dkBlob> b(c->createBlob(c->pidOf("document", 12, 1)));
//     b->add("/tmp/report.pdf");
//
// A content part is named by a DKPidXDO: datastore type "PG", the repository name, the item's
// entity as object type, and two id strings, the item's row id and the part number (from 1). The
// objects made here are the connector kit's dkBlob and dkClob objects (PContentKit.hpp says what
// they do); the caller owns them, and they use the datastore while they live (delete them before
// the datastore). The datastore owns this extension (made on the first getExtension, valid while
// the datastore is connected to the same repository). Used by the datastore's thread only.
//
// Parts are stored in bytea rows of at most the chunk size (option kOptionChunkSize of a content
// object, kDefaultChunkSize unless set), written and read a chunk at a time: neither the client
// nor one server row ever holds a whole part larger than that. A store is one transaction, or a
// savepoint in the datastore's open transaction, so it lands whole with the caller's other
// writes or not at all; a reader reads in one statement and sees the old or the new content,
// never a mix. File failures are DKXDOError 358 (cannot read the file), 360 (cannot create it),
// 362 (not all written), with the file name in parentheses; server failures DKDatastoreError.

#include <dk/PRepositoryContent.hpp>

class DK_API DKContentPG : public PRepositoryContent {
public:
    // The name the datastore hands the extension out under.
    static constexpr const char* kName = "PG_CONTENT";
    static constexpr long kOptionChunkSize = 1;
    static constexpr long kDefaultChunkSize = 1L << 20;
    static constexpr long kMinChunkSize = 512;
    static constexpr long kMaxChunkSize = 64L << 20;

    ~DKContentPG() override {}
    // pidOf, createBlob and createClob are PRepositoryContent's; a pid of another repository, or
    // one that names no part, is DKUsageError 9240.

protected:
    DKContentPG() {}
};
