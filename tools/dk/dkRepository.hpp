// tools/dk/dkRepository.hpp
#pragma once

// The repository side of `dk`: a connector loaded by name from its factory library (SQLite for a
// repository file, PostgreSQL for a postgresql:// or postgres:// URI), connected to one
// repository, and the naming of items on the command line.

#include <dk/DKAny.hpp>
#include <dk/DKPid.hpp>
#include <dk/DKDatastorePool.hpp>

#include <memory>
#include <string>
#include <utility>
#include <vector>

class dkDatastore;
class DKDDO;
class PRepositoryAdmin;
class PRepositoryContent;
class PRepositoryTemplates;
class PRepositoryMaintenance;

namespace dkcli {

// How a repository is opened.
struct OpenMode {
    bool create = false;         // make the file or database (a file must not exist yet)
    bool readOnly = false;       // open it read-only: nothing in it changes (a read-only session on a server)
    long queryTimeoutMs = 0;     // a query running longer ends with an error; 0 none
    long heapLimitBytes = 0;     // SQLite may use at most this much memory; 0 no limit (a file only)
};

// Whether name is a repository on a PostgreSQL server (a postgresql:// or postgres:// URI)
// rather than a repository file.
bool isServerName(const std::string& name);

// One connected datastore, taken from a pool of its own that loads the connector by name: the
// SQLite connector for a file, the PostgreSQL connector for a server URI. The factory library
// stays loaded for the life of the process (the datastore's code lives there); the pool
// disconnects and deletes the datastore when the repository goes. One thread.
class Repository {
public:
    // Loads the connector and connects to the repository as user. For a file: with create the
    // file is made, with its schema and user, and must not exist yet; otherwise it must exist
    // (std::runtime_error when not, before the library is asked). For a server URI: with create
    // the database is made when missing, the server's role being the user. DKException for
    // everything the connector refuses.
    Repository(const std::string& file, const std::string& user, const std::string& password, const OpenMode& mode);
    ~Repository();
    Repository(const Repository&) = delete;
    Repository& operator=(const Repository&) = delete;

    dkDatastore& datastore() { return *ds_; }
    const std::string& file() const { return file_; }   // the file or URI as given
    bool readOnly() const { return mode_.readOnly; }
    bool onServer() const { return onServer_; }

    // The connector's extensions, found by their shared interface whatever the connector names
    // them; they stay with the datastore. A connector that keeps none of a kind is a
    // std::runtime_error saying so (exit code 2).
    PRepositoryContent& content();
    PRepositoryAdmin& admin();
    PRepositoryMaintenance& maintenance();   // integrity check and online backup
    PRepositoryMaintenance* maintenanceIfKept();   // null when the connector keeps none
    PRepositoryTemplates& templates();

    // A data object naming the item "ENTITY:ID" or a full pid string, bound to this datastore
    // and not yet retrieved. UsageError when the text is neither; DKException when the entity
    // is unknown.
    std::unique_ptr<DKDDO> itemOf(const std::string& text);
    // A data object of the entity with the given row id, not yet retrieved.
    std::unique_ptr<DKDDO> itemOf(const std::string& entity, const std::string& id);
    // "ENTITY:ID" for a pid of this repository's kind.
    static std::string shortName(const DKPid& pid);

private:
    std::string file_;
    OpenMode mode_;
    bool onServer_;
    std::unique_ptr<DKDatastorePool> pool_;
    dkDatastore* ds_ = nullptr;   // the pool's, handed out for the life of the repository
};

// The attributes of an entity with their types, in the entity's order.
std::vector<std::pair<std::string, unsigned short>> attributesOf(dkDatastore& ds, const std::string& entity);

}  // namespace dkcli
