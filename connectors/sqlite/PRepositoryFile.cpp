// connectors/sqlite/PRepositoryFile.cpp
//
// Opening a repository file. SQLite reads some names as URIs or in-memory databases and quietly
// falls back to read-only when a file cannot be written; the rules here make a name always a file,
// make a read-write connect fail with a clear error before anything appears beside the file, and
// let a read-only connect read a WAL repository from a folder where SQLite cannot make its -shm.

#include "PRepositoryFile.hpp"
#include "PSqliteStatement.hpp"

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <sqlite3.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace dksqlite {

namespace {

// Whether this user may create and write files in the folder, asked through SQLite's own file
// layer (the same access test SQLite's unix layer makes).
bool folderWritable(const fs::path& folder) {
    sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
    int ok = 0;
    return vfs != nullptr && vfs->xAccess(vfs, folder.c_str(), SQLITE_ACCESS_READWRITE, &ok) == SQLITE_OK && ok != 0;
}

// Bytes 18 and 19 of the header are 2 when the file is in WAL mode.
bool headerSaysWal(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    char header[20] = {};
    if (!in.read(header, sizeof header)) return false;
    return header[18] == 2 || header[19] == 2;
}

bool present(const fs::path& p) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(p, ec));
}

// The path SQLite will use: symbolic links resolved as far as the path exists, since SQLite keeps
// its -journal, -wal and -shm files beside the file a link points to.
fs::path realPath(const std::string& name) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::absolute(name, ec), ec);
    return ec ? fs::absolute(name, ec) : p;
}

[[noreturn]] void cannotWrite(const fs::path& path, const char* why, const char* source, const char* function) {
    dkThrow<DKDatastoreError>(kMsgCannotWrite, source, function,
                              DKString(path.c_str()) + " (" + why + "; connect with readonly=1 to read it)");
}

// SQLite's answer to the first read of a file opened read-only whose folder holds a -wal file it
// cannot use: it can make no -shm index there (CANTOPEN), or cannot build one (READONLY_...).
bool walStopsReading(int rc, const POpenFile& f) {
    const int primary = rc & 0xff;
    return (primary == SQLITE_CANTOPEN || primary == SQLITE_READONLY) && present(f.path + "-wal");
}

}  // namespace

std::string sqliteFileName(const std::string& name) {
    if (!name.empty() && name[0] == '/') return name;
    return "./" + name;
}

std::string immutableUri(const std::string& absolutePath) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string uri = "file:";
    for (unsigned char c : absolutePath) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '.' || c == '_' || c == '~' || c == '/';
        if (plain) {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 0xf];
        }
    }
    return uri + "?mode=ro&immutable=1";
}

void hardenConnection(sqlite3* db) {
    sqlite3_extended_result_codes(db, 1);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_FTS3_TOKENIZER, 0, nullptr);
}

POpenFile openRepositoryFile(const std::string& name, const PConnectOptions& options, int busyTimeoutMs,
                             const char* source, const char* function) {
    POpenFile f;
    const fs::path real = realPath(name);
    f.path = real.string();
    const bool found = present(real);
    if (!found && (options.readOnly || !options.create))
        dkThrow<DKServerNotAvailable>(kMsgNoRepository, source, function, DKString(name.c_str()));

    std::string sqliteName = sqliteFileName(name);
    int flags = SQLITE_OPEN_NOMUTEX;
    if (options.readOnly) {
        flags |= SQLITE_OPEN_READONLY;
        // SQLite cannot make the -shm index of a WAL file in a folder it cannot write. With no
        // -wal file there is no writer either (a writer would need one), so the file is read as
        // one that does not change, through the only URI the connector ever opens.
        if (!folderWritable(real.parent_path()) && !present(f.path + "-wal") && headerSaysWal(real)) {
            sqliteName = immutableUri(f.path);
            flags |= SQLITE_OPEN_URI;
            f.immutable = true;
        }
    } else {
        // SQLite writes its journal, -wal and -shm beside the file; without a writable folder every
        // write would fail later, and a reader might leave such files behind for their owner.
        std::error_code ec;
        if (fs::is_directory(real.parent_path(), ec) && !folderWritable(real.parent_path()))
            cannotWrite(real, "its folder cannot be written", source, function);
        flags |= SQLITE_OPEN_READWRITE | (options.create ? SQLITE_OPEN_CREATE : 0);
    }

    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(sqliteName.c_str(), &raw, flags, nullptr);
    POwnedDb db(raw);
    if (rc != SQLITE_OK) throwSqlite(db.get(), rc, source, function, DKString(name.c_str()), kMsgOpenFailed);
    // SQLite opens a file it may not write read-only without a word; nothing has been read yet, so
    // nothing has been made beside it.
    if (!options.readOnly && sqlite3_db_readonly(db.get(), "main") == 1)
        cannotWrite(real, "the file cannot be written", source, function);
    hardenConnection(db.get());
    // Even the first read may wait: for a writer's lock, or for another connection rebuilding the
    // -shm index of a WAL file.
    sqlite3_busy_timeout(db.get(), busyTimeoutMs);

    // The first read: a damaged file, or a -wal file SQLite cannot use, fails here.
    sqlite3_stmt* probe = nullptr;
    int read = sqlite3_prepare_v2(db.get(), "SELECT count(*) FROM sqlite_schema", -1, &probe, nullptr);
    if (read == SQLITE_OK) read = sqlite3_step(probe);
    sqlite3_finalize(probe);
    if (read != SQLITE_ROW && read != SQLITE_DONE) {
        if (options.readOnly && walStopsReading(read, f))
            dkThrowServer<DKDatastoreError>(kMsgWalUnreadable, source, function,
                                            DKString(f.path.c_str()) + "-wal: " + sqlite3_errmsg(db.get()) + " ",
                                            "", sqlite3_extended_errcode(db.get()));
        throwSqlite(db.get(), read, source, function, DKString(name.c_str()), kMsgOpenFailed);
    }
    f.db = db.release();
    return f;
}

}  // namespace dksqlite
