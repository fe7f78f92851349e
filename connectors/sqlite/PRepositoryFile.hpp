// connectors/sqlite/PRepositoryFile.hpp
#pragma once

// How a repository name reaches SQLite and how the file is opened for a connect. A repository
// name is always a file path, never a URI or one of SQLite's special names. A read-write connect
// refuses a file or folder this user cannot write before SQLite has made anything beside the
// file; a read-only connect of a WAL repository in a folder that cannot be written opens the file
// immutable through a URI built here. Internal to libdkdssqlite.

#include "PSqliteConfig.hpp"

#include <string>

struct sqlite3;

namespace dksqlite {

// The name given to sqlite3_open_v2 for a repository name: an absolute name as it is, any other
// prefixed with "./", so that "file:..." (a URI where SQLite has URI names switched on) and
// ":memory:" are plain file names in the current folder.
std::string sqliteFileName(const std::string& name);

// "file:" + the absolute path with every byte but letters, digits, "-._~/" percent-encoded +
// "?mode=ro&immutable=1".
std::string immutableUri(const std::string& absolutePath);

// The switches every connection of the connector gets: extended result codes, defensive mode, no
// trust in functions named by the schema, and neither extension loading nor the two-argument
// fts3_tokenizer (which registers any pointer as a tokenizer).
void hardenConnection(sqlite3* db);

// A repository file opened for connect; the caller owns db (sqlite3_close_v2).
struct POpenFile {
    sqlite3* db = nullptr;
    std::string path;          // the absolute path SQLite opened
    bool immutable = false;    // opened read-only as a file that nothing changes
};

// Opens the file named by a connect: read-only when options.readOnly, else read-write (created
// when options.create and the file is missing), hardened, with the busy timeout set, and read
// once so that a file SQLite cannot read fails here. Throws DKServerNotAvailable kMsgNoRepository for a missing file without
// create, DKDatastoreError kMsgCannotWrite when a read-write connect meets a file or folder this
// user cannot write, kMsgWalUnreadable when a read-only folder holds a -wal file SQLite cannot
// read consistently, and what throwSqlite gives for anything else.
POpenFile openRepositoryFile(const std::string& name, const PConnectOptions& options, int busyTimeoutMs,
                             const char* source, const char* function);

}  // namespace dksqlite
