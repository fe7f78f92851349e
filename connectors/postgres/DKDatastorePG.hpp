// connectors/postgres/DKDatastorePG.hpp
#pragma once

// The PostgreSQL connector: a repository is one database on a PostgreSQL server, and the roles
// of the server are its users. Applications never include this header; they load libdkdspg.so
// (createObject("DKDatastorePG"), or DKDatastorePool("PG", "dkdspg")) and use the objects
// through dkDatastore. See README.md beside it for the datastore name, the connect and
// configuration strings.
//
// The connector is cut by what each part does: the session (DKDatastorePGSession.cpp: connect,
// logon, creating the database and its catalogue, validation), configuration and names
// (PPgConfig.cpp), the connector's own statements (PPgStatement.cpp), query markers
// (PPgMarkers.cpp), errors (PPgError.cpp) and the factory (dkdspg.cpp).

#include "PPgConfig.hpp"
#include "PPgError.hpp"

#include <dk/DKTrace.hpp>
#include <dk/dkDatastore.hpp>

#include <string>

struct pg_conn;

namespace dkpg {
// The location source of the datastore's operations, whichever file holds them.
inline constexpr const char* kDatastoreSource = "connectors/postgres/DKDatastorePG";
}  // namespace dkpg

// The datastore. connect logs on to the database the datastore name gives (creating it with
// create=1 in the connect string), the server checking the role's password, and reads the
// repository's catalogue there (making it in a new or empty database with create=1); libpq's
// other sources of credentials are never used.
//
// Owns its libpq connection. One datastore object is used by one thread at a time; several
// objects work from several threads and processes, each with its own server session.
class DKDatastorePG : public dkDatastore {
public:
    explicit DKDatastorePG(const dkpg::PSettings& settings);
    ~DKDatastorePG() override;

    void connect(const char* datastoreName, const char* userId, const char* password,
                 const char* connectString) override;
    void disconnect() override;
    int isConnected() override;
    // 0 when the server answers on the connection, 2 when the connection was lost (the server
    // ended the session or went away: connect again), 1 when not connected.
    short validateConnection() override;

    // The repository name kept in the catalogue (the database name it was made in).
    const std::string& repositoryName() const { return repositoryName_; }

private:
    // The connection, or DKDatastoreError 310 while not connected.
    pg_conn* conn(const char* function);
    void closeConnection() noexcept;
    // Reads the catalogue of a new session (making it with create), giving the repository name.
    std::string openCatalogue(pg_conn* c, const std::string& database, bool create);

    dkpg::PSettings settings_;
    pg_conn* conn_;
    std::string repositoryName_;
    DKTrace trace_;
};
