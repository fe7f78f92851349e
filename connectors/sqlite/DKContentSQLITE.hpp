// connectors/sqlite/DKContentSQLITE.hpp
#pragma once

// The content interface of an SQLite repository, for programs that load the connector at run
// time: every operation is pure virtual and every body inline, so a program calls it through the
// pointer a connected datastore hands out without linking libdkdssqlite.so:
//
//     auto* c = static_cast<DKContentSQLITE*>(ds->getExtension(DKContentSQLITE::kName));
//     std::unique_ptr<dkBlob> b(c->createBlob(c->pidOf("document", 12, 1)));
//     b->add("/tmp/report.pdf");
//
// A content part is named by a DKPidXDO: datastore type "SQLITE", the repository name, the item's
// entity as object type, and two id strings, the item's row id and the part number (from 1). The
// objects made here are dkBlob and dkClob objects of the connector; the caller owns them, and
// they use the datastore while they live (delete them before the datastore). The datastore owns
// this extension (made on the first getExtension, valid while the datastore lives). Used by the
// datastore's thread only.
//
// What the content objects do, beyond dkXDO's contract:
// - add(fn), retrieve(fn), update(fn) stream a file into or out of the part in chunks, never
//   holding the whole content; add(), retrieve(), update() do the same with the content held in
//   memory (setContent, getContent, the editing operations). del() drops the stored part.
//   A replacement is one transaction; a reader reads in one read transaction, so it sees the
//   old or the new content, never a mix.
// - length() is the number of bytes held in memory, size() the number stored (read from the
//   repository, nothing loaded), -1 while the part is not stored.
// - Editing (operator+=, indexOf, subString, remove, insert, readBytes, writeBytes) works on the
//   held content, loaded from the repository first when the object holds none; positions count
//   from 1 as in DKString (indexOf gives 0 when absent), insert's position counts the bytes
//   kept before the inserted ones, as DKString::insert does. update() stores the edits.
// - MIME type, content type and affiliated type are stored with the part; the content type is
//   free text ("" when unset); the affiliated type is the application's number (0 when unset),
//   for parts collections to group by. getContentDef gives them as id (affiliated type), type
//   and MIME type.
// - setOption/getOption option kOptionChunkSize: the size of the chunks the next store writes,
//   a long between kMinChunkSize and kMaxChunkSize bytes.
// File failures are DKXDOError 358 (cannot read the file), 360 (cannot create it), 362 (not all
// written), with the file name in parentheses; SQLite failures DKDatastoreError.

#include <dk/PRepositoryContent.hpp>

class DK_API DKContentSQLITE : public PRepositoryContent {
public:
    // The name the datastore hands the extension out under.
    static constexpr const char* kName = "SQLITE_CONTENT";
    static constexpr long kOptionChunkSize = 1;
    static constexpr long kDefaultChunkSize = 1L << 20;
    static constexpr long kMinChunkSize = 512;
    static constexpr long kMaxChunkSize = 64L << 20;

    ~DKContentSQLITE() override {}
    // pidOf, createBlob and createClob are PRepositoryContent's; a pid of another repository, or
    // one that names no part, is DKUsageError 9060.

protected:
    DKContentSQLITE() {}
};
