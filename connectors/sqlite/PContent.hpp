// connectors/sqlite/PContent.hpp
#pragma once

// Where the content of an SQLite repository lives: one row per part in dk_content (its item,
// part number, kind, types and size) and its bytes in dk_content_chunks, cut into rows of at most
// the writer's chunk size (kept by start position), so a part of any size is written and read a
// chunk at a time and no single SQLite value comes near SQLite's 10^9-byte limit. The tables come
// with repository format 3 (made at a writing connect when missing). Character parts do not feed
// the entity's text index: that index is an external-content FTS5 table that reads its texts back
// from the entity's own row, so text kept here would need an index holding a copy of its own.
// Internal to libdkdssqlite.

#include "DKContentSQLITE.hpp"

#include <dk/PContentKit.hpp>

#include <string>

class DKDatastoreSQLITE;
struct sqlite3;

namespace dksqlite {

inline constexpr const char* kContentSource = "connectors/sqlite/DKContentSQLITE";

using ::PChunkSink;
using ::PChunkSource;
using ::PPartInfo;
using ::PPartName;

// The datastore's content extension and the store its content objects write through. Owned by
// the datastore, made by its first getExtension or first delete of an item; content objects
// keep a pointer to it and use it on the datastore's thread.
class PContentStore : public DKContentSQLITE, public PContentStoreBase {
public:
    explicit PContentStore(DKDatastoreSQLITE* ds);
    ~PContentStore() override;

    DKPidXDO pidOf(const char* entity, long itemId, long part) override;
    dkBlob* createBlob(const DKPidXDO& pid) override;
    dkClob* createClob(const DKPidXDO& pid) override;

    DKDatastoreSQLITE* datastore() const { return ds_; }
    const PContentRules& contentRules() const override;
    dkDatastore* contentDatastore() const override;
    // The part pid names in this repository (DKUsageError kMsgBadContentPid otherwise).
    PPartName checkedPart(const DKPid& pid, const char* function) override;
    // The stored part's info; false when the part is not stored.
    bool find(const PPartName& p, PPartInfo& info, const char* function) override;
    // Stores the part in one write scope: replace false adds it (DKDataObjectAlreadyExists
    // kMsgPartExists when stored), true replaces it (DKDataObjectNotFound kMsgNoPart when not).
    // Without a source only the info changes and the bytes stay.
    void store(const PPartName& p, const PPartInfo& info, const PChunkSource* source, bool replace,
               const char* function) override;
    // Hands the info and then every chunk in order to sink, in one read transaction
    // (DKDataObjectNotFound kMsgNoPart when not stored).
    void load(const PPartName& p, PPartInfo& info, const PChunkSink& sink, const char* function) override;
    // Copies up to length bytes from offset of the stored part into buffer; the count copied.
    long readRange(const PPartName& p, char* buffer, long offset, long length, const char* function) override;
    void drop(const PPartName& p, const char* function) override;   // kMsgNoPart when not stored
    // Drops every part of the item (item 0: of every item of the entity), inside the caller's
    // write scope.
    void dropItem(const std::string& entity, long item, const char* function);

private:
    sqlite3* connection(const char* function);
    long partRow(const PPartName& p, const char* function);   // 0 when not stored

    DKDatastoreSQLITE* ds_;   // not owned: the owner
};

}  // namespace dksqlite
