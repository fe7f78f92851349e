// connectors/postgres/PPgConfig.hpp
#pragma once

// The connector's configuration: the configuration string of createObjectWithConfig, the connect
// string of connect, and the datastore name, which names a database on a server. Unknown keys and
// bad values are errors, so a typo never goes unnoticed. Internal to libdkdspg.

#include <string>

namespace dkpg {

// What the configuration string sets (createObjectWithConfig), with the defaults of createObject.
struct PSettings {
    long queryTimeoutMs = 60000;   // statement_timeout of queries; 0: no limit
    long fetchRows = 1000;         // rows a cursor reads from the server at a time
};
// "key=value" pairs (';' or ',' between them, blanks ignored, keys without case); unknown keys and
// bad values give DKUsageError kMsgBadConfig.
PSettings parseConfig(const char* config);

// What the connect string asks for (DKUsageError kMsgBadConnect for anything else).
struct PConnectOptions {
    bool create = false;       // create=1: create the database when it does not exist
    int connectTimeout = 10;   // seconds to reach the server and log on (libpq counts at least 2)
    bool readOnly = false;     // readonly=1: every transaction of the session is read-only
};
PConnectOptions parseConnect(const char* connect);

// A datastore name read: a database name, a postgresql:// or postgres:// URI, or a conninfo
// string ("host=... dbname=..."). The last two may name the server but never a credential
// (user, password, passfile, service, ...): those are refused with kMsgBadConnect, so the role
// and password of connect are the only ones libpq ever uses.
struct PTarget {
    std::string name;       // as given; handed to libpq as its dbname (expanded when not plain)
    std::string database;   // the database it names
    bool plain = true;      // a bare database name, which libpq takes as it is
};
PTarget parseName(const char* datastoreName);

}  // namespace dkpg
