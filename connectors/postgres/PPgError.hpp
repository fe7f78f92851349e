// connectors/postgres/PPgError.hpp
#pragma once

// How the PostgreSQL connector fails: its message numbers and the one way a server error becomes
// an exception of the library, its SQLSTATE kept as the exception's error state. Internal to
// libdkdspg; nothing here is exported.

#include <dk/DKString.hpp>

struct pg_conn;
struct pg_result;

namespace dkpg {

// The location source of the connector's server layer (connections, statements, errors).
inline constexpr const char* kPgSource = "connectors/postgres/PPg";

// Message numbers of the connector (the catalogue's range 9200-9299).
enum Msg : long {
    kMsgServerDown = 9200,       // the server could not be reached in time
    kMsgLogonFailed = 9201,      // the server refused the role or password
    kMsgNoDatabase = 9202,       // the database does not exist and creation was not asked for
    kMsgBadConnect = 9203,       // connect string, datastore name or connect arguments
    kMsgPasswordUnchecked = 9204,// the server let the role in without asking for its password
    kMsgPgFailed = 9205,         // any other server failure
    kMsgBadConfig = 9206,        // configuration string
    kMsgBadQueryText = 9207,     // a query text whose literals, names or comments do not close
    kMsgNotRepository = 9208,    // a database that holds no repository of this connector
    kMsgBadName = 9209,          // entity or attribute name
    kMsgNoEntity = 9210,
    kMsgEntityExists = 9211,
    kMsgNoAttr = 9212,
    kMsgAttrExists = 9213,
    kMsgBadType = 9214,          // attribute type code not supported
    kMsgValueMismatch = 9215,    // a value that does not fit its attribute's type
    kMsgValueRefused = 9216,     // a value the server would store differently from what was given
    kMsgBadObject = 9217,        // not a data object of this repository
    kMsgNoItem = 9218,           // the item named by the pid does not exist
    kMsgBadValue = 9219,         // a stored value that does not read back as its attribute's type
    kMsgBadQueryLanguage = 9220,
    kMsgBadParams = 9221,        // query parameters that do not match the statement's markers
    kMsgQueryRefused = 9222,     // a statement that gives no rows
    kMsgCursorClosed = 9223,     // the cursor lost its connection (disconnect)
    kMsgTransactionOpen = 9224,
    kMsgNoTransaction = 9225,
    kMsgCursorHoldsSession = 9226,   // a write while cursors hold the session's read-only transaction
    kMsgCursorTransactionEnded = 9227,  // the caller's transaction a cursor was opened in has ended
    // Content parts (9240-9249)
    kMsgBadContentPid = 9240,    // a content pid that names no part of an item of this repository
    kMsgNoPart = 9241,           // the content part is not stored
    kMsgPartExists = 9242,       // the content part is stored already
    kMsgBadContentArg = 9243,    // a content position, length or option out of range
    kMsgBadMember = 9250,        // an object that cannot take part in that membership
    kMsgNotAuthorized = 9273,    // the user lacks the privilege on the item (a row policy refused a row)
    kMsgCheckedOut = 9274,       // the item is checked out by another user
    kMsgNotCheckedOut = 9275
};

// Throws the exception that fits the SQLSTATE of result (or, without one, the state of conn):
// DKDatastoreAccessError 9273 for a row that a row-level-security policy keeps out (42501);
// DKNotCheckedOutException 9274 for a change to an item another user holds checked out (DK100);
// DKUsageError for classes 42 (syntax, names, rights), 22 (data), 0A (not supported) and 25006
// (a write in a read-only transaction); DKLogonFailure for class 28; DKServerNotAvailable for a
// connection that is gone (class 08, 57P01 and the like, or no result at all); DKDatastoreError
// (msgId) for everything else. The text carries what the connector was doing and the server's
// primary message, never a value bound to the statement.
[[noreturn]] void throwPg(pg_conn* conn, const pg_result* result, const char* source, const char* function,
                          const DKString& what, long msgId = kMsgPgFailed);

}  // namespace dkpg
