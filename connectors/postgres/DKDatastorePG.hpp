// connectors/postgres/DKDatastorePG.hpp
#pragma once

// The PostgreSQL connector: a repository is one database on a PostgreSQL server, and the roles
// of the server are its users. Applications never include this header; they load libdkdspg.so
// (createObject("DKDatastorePG"), or DKDatastorePool("PG", "dkdspg")) and use the objects
// through dkDatastore. See README.md beside it for the datastore name, the connect and
// configuration strings.
//
// The connector is cut by what each part does: the session (DKDatastorePGSession.cpp: connect,
// logon, creating the database and its catalogue, validation), the schema and catalogue
// (DKDatastorePGCatalogue.cpp, DKDatastoreDefPG.cpp), the items (DKDatastorePGItems.cpp), names
// and values (PPgValues.cpp), configuration (PPgConfig.cpp), the connector's own statements
// (PPgStatement.cpp), query markers (PPgMarkers.cpp), errors (PPgError.cpp) and the factory
// (dkdspg.cpp).

#include "PPgCatalogue.hpp"
#include "PPgConfig.hpp"
#include "PPgError.hpp"
#include "PPgStatement.hpp"
#include "PPgStatementCache.hpp"
#include "PPgValues.hpp"

#include <dk/DKTrace.hpp>
#include <dk/PConnectorKit.hpp>

#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

struct pg_conn;
class DKDatastoreDefPG;
class DKResultSetCursorPG;

namespace dkpg {
// The location source of the datastore's operations, whichever file holds them.
inline constexpr const char* kDatastoreSource = "connectors/postgres/DKDatastorePG";
}  // namespace dkpg

// The datastore. connect logs on to the database the datastore name gives (creating it with
// create=1 in the connect string), the server checking the role's password, and reads the
// repository's catalogue there (making it in a new or empty database with create=1); libpq's
// other sources of credentials are never used.
//
// Entities are tables of the database, named by the entity's name in lower case (so plain SQL
// names them without quotes), items are their rows, and a pid carries the row id. Every
// single-object write is one statement, which the server applies whole or not at all; writers of
// the same row wait for each other on its row lock. A deadlock or serialisation failure (40P01,
// 40001) rolls back and is a DKDatastoreError carrying the SQLSTATE.
//
// Owns its libpq connection, its catalogue cache and its schema object (datastoreDef()). Every
// object this library made must be deleted before the library is unloaded; DDOs are the common
// library's and may outlive it. One datastore object is used by one thread at a time; several
// objects work from several threads and processes, each with its own server session.
class DKDatastorePG : public PConnectorDatastore {
public:
    explicit DKDatastorePG(const dkpg::PSettings& settings);
    ~DKDatastorePG() override;

    void connect(const char* datastoreName, const char* userId, const char* password,
                 const char* connectString) override;
    void disconnect() override;
    int isConnected() override;
    // One transaction over several operations; queries in it see its writes. A failed operation
    // in it is undone alone, the transaction going on. A disconnect rolls it back.
    void startTransaction() override;
    void commit() override;
    void rollback() override;
    // 0 when the server answers on the connection, 2 when the connection was lost (the server
    // ended the session or went away: connect again), 1 when not connected.
    short validateConnection() override;

    using PConnectorDatastore::addObject;
    using PConnectorDatastore::addObjects;
    using dkDatastore::clearCache;
    using PConnectorDatastore::deleteObject;
    using dkDatastore::evaluate;
    using dkDatastore::execute;
    using PConnectorDatastore::deleteObjects;
    using PConnectorDatastore::retrieveObject;
    using PConnectorDatastore::updateObject;
    using PConnectorDatastore::updateObjects;

    void addObject(dkDataObject* object, const DKNVPair* options, long flags) override;
    void addObjects(dkCollection* objects, const DKNVPair* options, long flags) override;
    void deleteObject(dkDataObject* object, const DKNVPair* options, long flags) override;
    void deleteObjects(dkCollection* objects, const DKNVPair* options, long flags) override;
    void retrieveObject(dkDataObject* object, const DKNVPair* options, long flags) override;
    void updateObject(dkDataObject* object, const DKNVPair* options, long flags) override;
    void updateObjects(dkCollection* objects, const DKNVPair* options, long flags) override;

    dkCollection* listEntities() override;
    DKString* listEntityNames(long& count) override;
    dkCollection* listEntityAttrs(const char* entity) override;
    DKString* listEntityAttrNames(const char* entity, long& count) override;
    dkDatastoreDef* datastoreDef() override;
    // Queries of language 4: one SQL statement that gives rows, with ? or :name markers bound to
    // params in order (a name starting with ':' binds to its marker), run in a READ ONLY
    // transaction under the configuration's statement_timeout. A statement without result
    // columns is refused before it runs. The cursor belongs to the caller; a disconnect leaves it
    // not valid.
    dkResultSetCursor* execute(const char* query, short qlType, const DKNVPair* params) override;
    DKAny evaluate(const char* query, short qlType, const DKNVPair* params) override;
    DKDDO* createDDO(const char* entity, long flags) override;
    // Forgets the catalogue (read again when next needed) and the schema object's entities.
    void clearCache() override;
    void clearCache(long) override { clearCache(); }

    // The repository name kept in the catalogue (the database name it was made in).
    const std::string& repositoryName() const { return repositoryName_; }

private:
    friend class DKDatastoreDefPG;
    friend class DKEntityDefPG;
    friend class DKAttrDefPG;
    friend class DKResultSetCursorPG;

    // The unit of one operation: a transaction of its own, or a savepoint in the caller's open
    // transaction. Unless commit() was reached, the destructor undoes everything, so a failure
    // leaves nothing half-written and the caller's transaction goes on with what it had. A
    // read-only unit refuses writes (25006); in the caller's transaction it is undone even when
    // committed, which takes the read-only setting back.
    class PTransaction {
    public:
        PTransaction(DKDatastorePG& ds, const char* function, bool readOnly = false);
        PTransaction(const PTransaction&) = delete;
        PTransaction& operator=(const PTransaction&) = delete;
        PTransaction(PTransaction&& other) noexcept
            : ds_(other.ds_), function_(other.function_), savepoint_(other.savepoint_), readOnly_(other.readOnly_),
              active_(other.active_) {
            other.active_ = false;
        }
        ~PTransaction();
        void commit();

    private:
        DKDatastorePG& ds_;
        const char* function_;
        bool savepoint_, readOnly_;
        bool active_;
    };

    // Catalogue (DKDatastorePGCatalogue.cpp)
    // The entity of name (DKUsageError kMsgNoEntity when none), read again from the catalogue when
    // the cache does not know it (another session may have made it).
    std::shared_ptr<dkpg::PEntity> entity(const char* name, const char* function);
    void loadEntities(const char* function);
    std::vector<std::shared_ptr<dkpg::PEntity>> entitiesInOrder(const char* function);
    void storeEntity(const std::string& name, short type, const std::string& description,
                     const std::vector<dkpg::PAttr>& attrs, const char* function);
    void dropEntity(const char* name, const char* function);
    void storeAttr(const char* entity, const dkpg::PAttr& attr, const char* function);
    void dropAttr(const char* entity, const char* attr, const char* function);
    // The parts of a schema change every one does: the transaction, the catalogue's lock, and the
    // cache forgotten whatever the outcome.
    PTransaction schemaChange(const char* function);

    // Items (DKDatastorePGItems.cpp)
    DKDDOBase& checkedObject(dkDataObject* object, const char* function, long* rowId);
    long rowIdOf(const DKDDOBase& ddo, const char* function) const;
    long addOne(DKDDOBase& ddo, std::shared_ptr<dkpg::PEntity>& e, const char* function);
    void retrieveOne(DKDDOBase& ddo, long rowId, const char* function);
    void updateOne(DKDDOBase& ddo, long rowId, const char* function);
    void deleteOne(DKDDOBase& ddo, long rowId, const char* function);
    using WriteOne = void (DKDatastorePG::*)(DKDDOBase&, long, const char*);
    void writeEach(dkCollection* objects, const char* function, WriteOne write);
    void finishAdd(DKDDOBase& ddo, dkpg::PEntity& e, long rowId);
    // Queries (DKDatastorePGQuery.cpp): the rows of a checked, rewritten query with its
    // parameters, read in one READ ONLY transaction.
    dkpg::PResult runQuery(const std::string& sql, dkpg::PParams& params, const char* function);
    // The entity whose table has the oid, or null.
    std::shared_ptr<dkpg::PEntity> entityByTable(unsigned int oid, const char* function);
    // Runs sql with params_ as its parameters.
    dkpg::PResult exec(const std::string& sql, const char* function, const char* what);

    // The connection, or DKDatastoreError 310 while not connected.
    pg_conn* conn(const char* function);
    void closeConnection() noexcept;
    // Reads the catalogue of a new session (making it with create), giving the repository name.
    std::string openCatalogue(pg_conn* c, const std::string& database, bool create);

    dkpg::PSettings settings_;
    pg_conn* conn_;
    std::string repositoryName_;
    bool inTransaction_ = false;
    bool entitiesLoaded_ = false;
    std::map<std::string, std::shared_ptr<dkpg::PEntity>> entities_;   // by lower-case name
    dkpg::PParams params_;                                              // of the statement being run
    dkpg::PStatementCache statements_;                                  // the items' statements, prepared
    std::unique_ptr<DKDatastoreDefPG> def_;
    std::set<DKResultSetCursorPG*> cursors_;   // open cursors, not owned: detached at disconnect
    DKTrace trace_;
};
