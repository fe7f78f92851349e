// connectors/sqlite/PSqliteError.cpp
//
// SQLite's failures as the library's exceptions: the class follows what went wrong (a file that
// cannot be opened, a damaged file, a file that cannot be written, memory, a duplicate key), the
// text names what the connector was doing, and SQLite's extended result code is kept.

#include "PSqliteError.hpp"

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <sqlite3.h>

#include <cstring>

namespace dksqlite {

void throwSqlite(sqlite3* db, int rc, const char* source, const char* function, const DKString& what,
                 long msgId) {
    const int ext = db ? sqlite3_extended_errcode(db) : rc;
    const int code = (ext & 0xff) == (rc & 0xff) ? ext : rc;
    DKString detail = what;
    detail += ": ";
    detail += db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    detail += " ";
    switch (code & 0xff) {
        case SQLITE_READONLY: {
            // SQLite's own text does not say which file; the full path does.
            const char* file = db ? sqlite3_db_filename(db, "main") : nullptr;
            if (file == nullptr || *file == '\0' || std::strstr(what.c_str(), file) != nullptr)
                dkThrowServer<DKDatastoreError>(kMsgCannotWrite, source, function, detail, "", code);
            dkThrowServer<DKDatastoreError>(kMsgCannotWrite, source, function, DKString(file) + ": " + detail, "", code);
        }
        case SQLITE_NOMEM: {
            const sqlite3_int64 limit = sqlite3_hard_heap_limit64(-1);
            if (limit > 0) detail += DKString("(heap limit ") + DKString(static_cast<long>(limit)) + " bytes) ";
            dkThrowServer<DKDatastoreError>(kMsgOutOfMemory, source, function, detail, "", code);
        }
        case SQLITE_CANTOPEN:
            dkThrowServer<DKServerNotAvailable>(msgId == kMsgSqliteFailed ? kMsgOpenFailed : msgId, source, function,
                                                detail, "", code);
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
            dkThrowServer<DKDatastoreError>(kMsgNotRepository, source, function, detail, "", code);
        case SQLITE_CONSTRAINT:
            if (code == SQLITE_CONSTRAINT_UNIQUE || code == SQLITE_CONSTRAINT_PRIMARYKEY)
                dkThrowServer<DKDataObjectAlreadyExists>(msgId, source, function, detail, "", code);
            dkThrowServer<DKDatastoreError>(msgId, source, function, detail, "", code);
        default:
            dkThrowServer<DKDatastoreError>(msgId, source, function, detail, "", code);
    }
}

}  // namespace dksqlite
