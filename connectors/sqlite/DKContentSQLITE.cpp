// connectors/sqlite/DKContentSQLITE.cpp
//
// The real content of the SQLite connector: the content store behind the extension
// "SQLITE_CONTENT" (tables, streaming writes and reads, the drop of an item's parts). The content
// objects it hands out are the connector kit's (PContentKit), which cross files and held content
// into the store a chunk at a time.

#include "DKDatastoreSQLITE.hpp"
#include "PContent.hpp"
#include "PSqliteStatement.hpp"
#include "PSqliteValues.hpp"

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

using namespace dksqlite;

namespace {

constexpr const char* kSource = kContentSource;

constexpr const char* kCreateTables =
    "CREATE TABLE IF NOT EXISTS dk_content(id INTEGER PRIMARY KEY, entity TEXT NOT NULL COLLATE NOCASE,"
    " item INTEGER NOT NULL, part INTEGER NOT NULL, kind INTEGER NOT NULL, mimetype TEXT NOT NULL,"
    " contenttype TEXT NOT NULL, affiliated INTEGER NOT NULL, size INTEGER NOT NULL, UNIQUE(entity, item, part));"
    "CREATE TABLE IF NOT EXISTS dk_content_chunks(content INTEGER NOT NULL, pos INTEGER NOT NULL, data BLOB NOT NULL,"
    " PRIMARY KEY(content, pos));"
    "UPDATE dk_repository SET value = '3' WHERE key = 'format' AND CAST(value AS INTEGER) < 3";

constexpr const char* kPartSql =
    "SELECT id, kind, mimetype, contenttype, affiliated, size FROM dk_content WHERE entity = ?1 AND item = ?2 AND part = ?3";

}  // namespace

namespace dksqlite {

// ---------------------------------------------------------------------------------------------
// The store

PContentStore::PContentStore(DKDatastoreSQLITE* ds) : ds_(ds) { setName(kName); }
PContentStore::~PContentStore() = default;

DKPidXDO PContentStore::pidOf(const char* entity, long itemId, long part) {
    return PContentKit::pidOf(kPidType, ds_->repositoryName(), entity, itemId, part);
}

const PContentRules& PContentStore::contentRules() const {
    static const PContentRules rules{kSource, kMsgBadContentArg, kOptionChunkSize, kMinChunkSize, kMaxChunkSize,
                                     kDefaultChunkSize};
    return rules;
}

dkDatastore* PContentStore::contentDatastore() const { return ds_; }

dkBlob* PContentStore::createBlob(const DKPidXDO& pid) {
    checkedPart(pid, "DKContentSQLITE::createBlob");
    return PContentKit::newBlob(this, pid, "DKBlobSQLITE");
}

dkClob* PContentStore::createClob(const DKPidXDO& pid) {
    checkedPart(pid, "DKContentSQLITE::createClob");
    return PContentKit::newClob(this, pid, "DKClobSQLITE");
}

sqlite3* PContentStore::connection(const char* function) { return ds_->db(function); }

PPartName PContentStore::checkedPart(const DKPid& pid, const char* function) {
    connection(function);
    long item = 0, part = 0;
    if (!PContentKit::partOf(pid, kPidType, ds_->repositoryName(), item, part))
        dkThrow<DKUsageError>(kMsgBadContentPid, kSource, function, pid.pidString());
    return PPartName{ds_->entity(pid.getObjectType().c_str(), function)->name, item, part};
}

long PContentStore::partRow(const PPartName& p, const char* function) {
    sqlite3* db = connection(function);
    sqlite3_stmt* s = ds_->cached(kPartSql, function);
    PResetOnExit r{s};
    bindText(s, 1, p.entity);
    sqlite3_bind_int64(s, 2, p.item);
    sqlite3_bind_int64(s, 3, p.part);
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) return static_cast<long>(sqlite3_column_int64(s, 0));
    if (rc != SQLITE_DONE) throwSqlite(db, rc, kSource, function, "reading a content part");
    return 0;
}

bool PContentStore::find(const PPartName& p, PPartInfo& info, const char* function) {
    sqlite3* db = connection(function);
    ds_->requirePrivilege({p.entity, p.item}, DKAdminSQLITE::kRead, function);
    if (!ds_->contentTables_) return false;
    sqlite3_stmt* s = ds_->cached(kPartSql, function);
    PResetOnExit r{s};
    bindText(s, 1, p.entity);
    sqlite3_bind_int64(s, 2, p.item);
    sqlite3_bind_int64(s, 3, p.part);
    const int rc = sqlite3_step(s);
    if (rc != SQLITE_ROW) {
        if (rc != SQLITE_DONE) throwSqlite(db, rc, kSource, function, "reading a content part");
        return false;
    }
    info.kind = sqlite3_column_int(s, 1);
    info.mimeType = textColumn(s, 2);
    info.contentType = textColumn(s, 3);
    info.affiliatedType = static_cast<unsigned long>(sqlite3_column_int64(s, 4));
    info.size = static_cast<long>(sqlite3_column_int64(s, 5));
    return true;
}

void PContentStore::store(const PPartName& p, const PPartInfo& info, const PChunkSource* source, bool replace,
                          const char* function) {
    DKDatastoreSQLITE::PWriteScope scope(*ds_, function);
    sqlite3* db = connection(function);
    ds_->requireChange({p.entity, p.item}, DKAdminSQLITE::kUpdate, function);
    {
        const auto& e = ds_->entity(p.entity.c_str(), function);
        sqlite3_stmt* s = ds_->cached(e->existsSql, function);
        PResetOnExit r{s};
        sqlite3_bind_int64(s, 1, p.item);
        if (stepCount(db, s, kSource, function, "reading the item") == 0)
            dkThrow<DKDataObjectNotFound>(kMsgNoItem, kSource, function, DKString((p.entity + ":" + std::to_string(p.item)).c_str()));
    }
    long id = partRow(p, function);
    const DKString name = DKString((p.entity + ":" + std::to_string(p.item) + " part " + std::to_string(p.part)).c_str());
    if (id != 0 && !replace) dkThrow<DKDataObjectAlreadyExists>(kMsgPartExists, kSource, function, name);
    if (id == 0 && replace) dkThrow<DKDataObjectNotFound>(kMsgNoPart, kSource, function, name);
    {
        sqlite3_stmt* s = ds_->cached(id == 0 ? "INSERT INTO dk_content(kind, mimetype, contenttype, affiliated, entity, item, part, size)"
                                                " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, 0)"
                                              : "UPDATE dk_content SET kind = ?1, mimetype = ?2, contenttype = ?3,"
                                                " affiliated = ?4 WHERE id = ?8",
                                      function);
        PResetOnExit r{s};
        sqlite3_bind_int(s, 1, info.kind);
        bindText(s, 2, info.mimeType);
        bindText(s, 3, info.contentType);
        sqlite3_bind_int64(s, 4, static_cast<sqlite3_int64>(info.affiliatedType));
        if (id == 0) {
            bindText(s, 5, p.entity);
            sqlite3_bind_int64(s, 6, p.item);
            sqlite3_bind_int64(s, 7, p.part);
        } else {
            sqlite3_bind_int64(s, 8, id);
        }
        stepDone(db, s, kSource, function, "storing a content part");
        if (id == 0) id = static_cast<long>(sqlite3_last_insert_rowid(db));
    }
    if (source != nullptr) {
        sqlite3_stmt* clear = ds_->cached("DELETE FROM dk_content_chunks WHERE content = ?1", function);
        {
            PResetOnExit r{clear};
            sqlite3_bind_int64(clear, 1, id);
            stepDone(db, clear, kSource, function, "replacing a content part");
        }
        sqlite3_stmt* put = ds_->cached("INSERT INTO dk_content_chunks(content, pos, data) VALUES (?1, ?2, ?3)", function);
        PResetOnExit r{put};
        sqlite3_int64 pos = 0;
        for (;;) {
            const auto [data, n] = (*source)();
            if (data == nullptr || n == 0) break;
            sqlite3_reset(put);
            sqlite3_bind_int64(put, 1, id);
            sqlite3_bind_int64(put, 2, pos);
            sqlite3_bind_blob64(put, 3, data, n, SQLITE_STATIC);
            stepDone(db, put, kSource, function, "storing a content part");
            pos += static_cast<sqlite3_int64>(n);
        }
        sqlite3_stmt* size = ds_->cached("UPDATE dk_content SET size = ?2 WHERE id = ?1", function);
        PResetOnExit rs{size};
        sqlite3_bind_int64(size, 1, id);
        sqlite3_bind_int64(size, 2, pos);
        stepDone(db, size, kSource, function, "storing a content part");
    }
    scope.commit();
}

void PContentStore::load(const PPartName& p, PPartInfo& info, const PChunkSink& sink, const char* function) {
    sqlite3* db = connection(function);
    PReadScope read(db, ds_->inTransaction_, kSource, function);
    PPartInfo stored;
    if (!find(p, stored, function))
        dkThrow<DKDataObjectNotFound>(kMsgNoPart, kSource, function,
                                      DKString((p.entity + ":" + std::to_string(p.item) + " part " + std::to_string(p.part)).c_str()));
    info = stored;
    // Each chunk is read with SQLite's incremental BLOB I/O straight into one buffer, which
    // spares the copy a column value would make of every chunk.
    sqlite3_stmt* s = ds_->cached("SELECT c.rowid FROM dk_content_chunks c, dk_content p WHERE p.entity = ?1"
                                  " AND p.item = ?2 AND p.part = ?3 AND c.content = p.id ORDER BY c.pos",
                                  function);
    PResetOnExit r{s};
    bindText(s, 1, p.entity);
    sqlite3_bind_int64(s, 2, p.item);
    sqlite3_bind_int64(s, 3, p.part);
    struct PBlob {
        sqlite3_blob* b = nullptr;
        ~PBlob() { sqlite3_blob_close(b); }
    } blob;
    std::unique_ptr<char[]> buffer;
    int capacity = 0, rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        const sqlite3_int64 row = sqlite3_column_int64(s, 0);
        int brc = blob.b != nullptr ? sqlite3_blob_reopen(blob.b, row)
                                    : sqlite3_blob_open(db, "main", "dk_content_chunks", "data", row, 0, &blob.b);
        const int n = brc == SQLITE_OK ? sqlite3_blob_bytes(blob.b) : 0;
        if (brc == SQLITE_OK && n > capacity) buffer.reset(new char[static_cast<std::size_t>(capacity = n)]);
        if (brc == SQLITE_OK) brc = sqlite3_blob_read(blob.b, buffer.get(), n, 0);
        if (brc != SQLITE_OK) throwSqlite(db, brc, kSource, function, "reading a content part");
        sink(buffer.get(), static_cast<std::size_t>(n));
    }
    if (rc != SQLITE_DONE) throwSqlite(db, rc, kSource, function, "reading a content part");
}

long PContentStore::readRange(const PPartName& p, char* buffer, long offset, long length, const char* function) {
    sqlite3* db = connection(function);
    PReadScope read(db, ds_->inTransaction_, kSource, function);
    ds_->requirePrivilege({p.entity, p.item}, DKAdminSQLITE::kRead, function);
    const long id = ds_->contentTables_ ? partRow(p, function) : 0;
    if (id == 0)
        dkThrow<DKDataObjectNotFound>(kMsgNoPart, kSource, function,
                                      DKString((p.entity + ":" + std::to_string(p.item) + " part " + std::to_string(p.part)).c_str()));
    sqlite3_stmt* s = ds_->cached("SELECT pos, data FROM dk_content_chunks WHERE content = ?1 AND pos < ?2 + ?3"
                                  " AND pos >= coalesce((SELECT max(pos) FROM dk_content_chunks WHERE content = ?1"
                                  " AND pos <= ?2), 0) ORDER BY pos",
                                  function);
    PResetOnExit r{s};
    sqlite3_bind_int64(s, 1, id);
    sqlite3_bind_int64(s, 2, offset);
    sqlite3_bind_int64(s, 3, length);
    long copied = 0;
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        const long pos = static_cast<long>(sqlite3_column_int64(s, 0));
        const char* data = static_cast<const char*>(sqlite3_column_blob(s, 1));
        const long n = sqlite3_column_bytes(s, 1);
        const long from = std::max(offset + copied, pos);
        const long to = std::min(offset + length, pos + n);
        if (to <= from) continue;
        std::memcpy(buffer + (from - offset), data + (from - pos), static_cast<std::size_t>(to - from));
        copied = to - offset;
    }
    if (rc != SQLITE_DONE) throwSqlite(db, rc, kSource, function, "reading a content part");
    return copied;
}

void PContentStore::drop(const PPartName& p, const char* function) {
    DKDatastoreSQLITE::PWriteScope scope(*ds_, function);
    sqlite3* db = connection(function);
    ds_->requireChange({p.entity, p.item}, DKAdminSQLITE::kUpdate, function);
    const long id = partRow(p, function);
    if (id == 0)
        dkThrow<DKDataObjectNotFound>(kMsgNoPart, kSource, function,
                                      DKString((p.entity + ":" + std::to_string(p.item) + " part " + std::to_string(p.part)).c_str()));
    for (const char* sql : {"DELETE FROM dk_content_chunks WHERE content = ?1", "DELETE FROM dk_content WHERE id = ?1"}) {
        sqlite3_stmt* s = ds_->cached(sql, function);
        PResetOnExit r{s};
        sqlite3_bind_int64(s, 1, id);
        stepDone(db, s, kSource, function, "dropping a content part");
    }
    scope.commit();
}

void PContentStore::dropItem(const std::string& entity, long item, const char* function) {
    sqlite3* db = connection(function);
    for (const char* sql : {"DELETE FROM dk_content_chunks WHERE content IN"
                            " (SELECT id FROM dk_content WHERE entity = ?1 AND (?2 = 0 OR item = ?2))",
                            "DELETE FROM dk_content WHERE entity = ?1 AND (?2 = 0 OR item = ?2)"}) {
        sqlite3_stmt* s = ds_->cached(sql, function);
        PResetOnExit r{s};
        bindText(s, 1, entity);
        sqlite3_bind_int64(s, 2, item);
        stepDone(db, s, kSource, function, "dropping the item's content");
    }
}

}  // namespace dksqlite

// ---------------------------------------------------------------------------------------------
// The datastore's side: the tables at connect, the extension, an item's content on delete

void DKDatastoreSQLITE::ensureContentTables(const char* function) {
    const auto [tables, current] = tableState({"dk_content", "dk_content_chunks"}, 3, function);
    contentTables_ = tables;
    if (current || readOnly_) return;
    PWriteScope scope(*this, function);
    exec(db_, kCreateTables, kSource, function);
    scope.commit();
    contentTables_ = true;
}

dkExtension* DKDatastoreSQLITE::contentExtension(const char* function) {
    db(function);
    if (!content_) content_ = std::make_shared<PContentStore>(this);
    return content_.get();
}

void DKDatastoreSQLITE::dropContent(const std::string& entity, long rowId, const char* function) {
    if (!contentTables_) return;
    static_cast<PContentStore*>(contentExtension(function))->dropItem(entity, rowId, function);
}
