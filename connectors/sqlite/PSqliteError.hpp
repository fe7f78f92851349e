// connectors/sqlite/PSqliteError.hpp
#pragma once

// How the connector fails: its message numbers and the one way an SQLite result code becomes an
// exception of the library. Internal to libdkdssqlite; nothing here is exported.

#include <dk/DKString.hpp>

struct sqlite3;

namespace dksqlite {

// The location source of the connector's SQLite layer (statements, strings, values, passwords).
inline constexpr const char* kSqliteSource = "connectors/sqlite/PSqlite";

// Message numbers of the connector (the catalogue's range 9000-9499 for connectors).
enum Msg : long {
    kMsgOpenFailed = 9000,        // the file could not be opened as a database
    kMsgNotRepository = 9001,     // damaged file, or a database that is not a repository
    kMsgLogonFailed = 9002,       // unknown user or wrong password
    kMsgNoRepository = 9003,      // the file does not exist (and creation was not asked for)
    kMsgSqliteFailed = 9004,      // any other SQLite failure
    kMsgBadConfig = 9005,         // configuration string
    kMsgBadConnect = 9006,        // connect string or connect arguments
    kMsgBadName = 9007,           // entity or attribute name
    kMsgNoEntity = 9008,
    kMsgEntityExists = 9009,
    kMsgNoAttr = 9010,
    kMsgAttrExists = 9011,
    kMsgBadType = 9012,           // attribute type code not supported
    kMsgValueMismatch = 9013,     // value does not fit the attribute's type
    kMsgBadQueryLanguage = 9014,
    kMsgQueryRefused = 9015,      // not exactly one read-only SELECT, or reads a protected table
    kMsgBadQuery = 9016,          // SQLite could not prepare the query
    kMsgBadParams = 9017,         // parameters do not match the statement
    kMsgBadObject = 9018,         // not a data object of this repository
    kMsgNoItem = 9019,            // the item named by the pid does not exist
    kMsgTransactionOpen = 9020,
    kMsgNoTransaction = 9021,
    kMsgCursorClosed = 9022,      // the cursor lost its connection (disconnect)
    kMsgBadValue = 9023,          // a stored value cannot be read back
    kMsgForeignQuery = 9030,      // a query object of another datastore
    kMsgBadTextQuery = 9031,      // FTS5 cannot read the text query
    kMsgBadContentPid = 9060,     // a content pid that names no part of an item of this repository
    kMsgNoPart = 9061,            // the content part is not stored
    kMsgPartExists = 9062,        // the content part is stored already
    kMsgBadContentArg = 9063,     // a content position, length or option out of range
    kMsgBadMember = 9064,         // a folder member, part or link end not stored here, or not taken
    kMsgNotAuthorized = 9090,     // the user lacks the privilege on the item
    kMsgNotAdmin = 9091,          // only an administrator may do this
    kMsgNoPrincipal = 9092,       // no such user or group (or not a member)
    kMsgExists = 9093,            // a user, group or ACL of this name exists already
    kMsgLastAdmin = 9094,         // the administrators group would be empty or gone
    kMsgBadPrincipal = 9095,      // a user, group, set or ACL name, or a password, not valid
    kMsgNoACL = 9096,
    kMsgNoPrivilegeSet = 9097,
    kMsgBadPrivilege = 9098,      // a privilege text not valid
    kMsgInUse = 9099,             // an ACL or set still named, or the default ACL
    kMsgCheckedOut = 9100,        // the item is checked out by another user
    kMsgNotCheckedOut = 9101,     // the item is not checked out
    kMsgSessionEnded = 9102,      // the user was deleted or its password changed
    kMsgNoPrivilegeGroup = 9103,  // no such privilege group
    kMsgReadOnly = 9120,          // a write on a connection made with readonly=1
    kMsgCannotWrite = 9121,       // the file or its folder cannot be written by this user
    kMsgWalUnreadable = 9122,     // a -wal file in a read-only folder that cannot be read consistently
    kMsgQueryTimeout = 9123,      // a query ran longer than query_timeout
    kMsgOutOfMemory = 9124,       // SQLite could not allocate (heap_limit, or the machine)
    kMsgBadCheckLevel = 9125,     // maintenance check level
    kMsgBackupExists = 9126,      // the backup file exists already
    kMsgBackupFailed = 9127       // the backup could not be made
};

// Throws the exception that fits rc (a result code of db): DKServerNotAvailable for a file that
// cannot be opened, DKDataObjectAlreadyExists for a unique constraint, DKDatastoreError for
// everything else: a damaged file (kMsgNotRepository), a file or folder that cannot be written
// (kMsgCannotWrite, naming the file), memory SQLite could not get (kMsgOutOfMemory), any other
// failure (msgId). The text carries what the connector was doing and SQLite's message; the error
// code is SQLite's extended result code.
[[noreturn]] void throwSqlite(sqlite3* db, int rc, const char* source, const char* function,
                              const DKString& what, long msgId = kMsgSqliteFailed);

}  // namespace dksqlite
