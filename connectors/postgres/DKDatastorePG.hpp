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
// (PPgStatement.cpp), query markers (PPgMarkers.cpp), query trees and text search
// (DKDatastorePGSearch.cpp, PPgTree.cpp, PPgText.cpp), errors (PPgError.cpp) and the factory
// (dkdspg.cpp).

#include "PPgCatalogue.hpp"
#include "PPgConfig.hpp"
#include "PPgError.hpp"
#include "PPgMarkers.hpp"
#include "PPgMembers.hpp"
#include "PPgStatement.hpp"
#include "PPgTree.hpp"
#include "PPgStatementCache.hpp"
#include "PPgQueryCache.hpp"
#include "PPgValues.hpp"

#include <dk/DKTrace.hpp>
#include <dk/PConnectorKit.hpp>
#include <dk/PContentKit.hpp>
#include <dk/dkExtension.hpp>

#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

struct pg_conn;
class DKDatastoreDefPG;
class dkDatastoreAdmin;
class DKResultSetCursorPG;
namespace dkpg {
class PContentStorePG;
class PSearchTemplatePG;
class PTemplatesPG;
class PAclsPG;
}
class dkSchemaMapping;
struct PMappingNames;
class PRightsPG;

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
class DKDatastorePG : public PConnectorDatastore, public PSchemaCatalogue {
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
    // Cursors opened in the transaction end with it; startTransaction is refused while cursors
    // opened outside one are still reading (kMsgCursorHoldsSession).
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
    // not valid. Language 1 is a text query (executeText).
    dkResultSetCursor* execute(const char* query, short qlType, const DKNVPair* params) override;
    DKAny evaluate(const char* query, short qlType, const DKNVPair* params) override;
    // Query trees (DKDatastorePGSearch.cpp), run like the SQL queries; query objects of this
    // datastore run through them.
    using dkDatastore::createQuery;
    dkResultSetCursor* execute(DKCQExpr* expression) override;
    DKAny evaluate(DKCQExpr* expression) override;
    dkQuery* createQuery(DKCQExpr* expression) override;
    dkResultSetCursor* execute(dkQuery* query) override;
    DKAny evaluate(dkQuery* query) override;
    DKDDO* createDDO(const char* entity, long flags) override;
    // Forgets the catalogue (read again when next needed) and the schema object's entities.
    void clearCache() override;
    void clearCache(long) override { clearCache(); }

    // The extensions, made on first use and kept by the datastore: "DATASTORE_EXTENSION", folder
    // members and links changed at once (DKDatastorePGMembers.cpp); "PG_CONTENT" (DKContentPG.hpp),
    // the content parts of items; "PG_ADMIN" (DKAdminPG.hpp), users as server roles. Null for
    // other names.
    dkExtension* getExtension(const char* name) override;
    DKString* listExtensionNames(long& count) override;

    // Search templates and schema mappings, kept in the repository (DKDatastorePGTemplates.cpp),
    // as on SQLite: the templates come in a collection that owns them (sub-type 3:
    // dkSearchTemplate*); registerMapping takes pairs "name", "entity" (native), "mappedEntity"
    // and "attr" (MAPPED=NATIVE); getMapping's object stays with the datastore (until
    // unRegisterMapping, clearCache or disconnect; null for an unknown name). Trees whose
    // sub-queries name a mapping run on the native names, where every attribute mapping is one
    // to one without conversion. The extension "PG_TEMPLATES" (DKTemplatesPG.hpp) makes templates.
    dkCollection* listSearchTemplates() override;
    DKString* listSearchTemplateNames(long& count) override;
    DKString registerMapping(DKNVPair* source) override;
    void unRegisterMapping(const char* name) override;
    DKString* listMappingNames(long& count) override;
    dkSchemaMapping* getMapping(const char* name) override;

    // The repository name kept in the catalogue (the database name it was made in).
    const std::string& repositoryName() const { return repositoryName_; }

private:
    friend class DKDatastoreDefPG;
    friend class DKResultSetCursorPG;
    friend class dkpg::PMembersPG;
    friend class dkpg::PContentStorePG;
    friend class PRightsPG;
    friend class dkpg::PSearchTemplatePG;
    friend class dkpg::PTemplatesPG;
    friend class dkpg::PAclsPG;

    // The unit of one operation: a transaction of its own, or a savepoint in the caller's open
    // transaction. Unless commit() was reached, the destructor undoes everything, so a failure
    // leaves nothing half-written and the caller's transaction goes on with what it had. A
    // read-only unit refuses writes (25006); in the caller's transaction it is undone even when
    // committed, which takes the read-only setting back. While cursors share their read-only
    // transaction, a unit is a savepoint in it, and one that would write is refused at once.
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
    // The catalogue as the schema objects (the connector kit's) read and change it; the server
    // keeps it in step with other sessions, so nothing is refreshed before a read.
    std::shared_ptr<const PCatalogueEntity> schemaEntity(const char* name, const char* function) override;
    std::vector<std::shared_ptr<const PCatalogueEntity>> schemaEntities(const char* function) override;
    // Makes the entities in order (a parent before its sub-entities), all or none.
    void storeEntities(const std::vector<dkpg::PNewEntity>& entities, const char* function) override;
    // Drops the entity with its sub-entities, their items and tables.
    void dropEntity(const char* name, const char* function) override;
    void createEntity(pg_conn* c, const dkpg::PNewEntity& e, const char* function);
    // The parent of e as the catalogue spells it; an unknown parent, or one whose attribute e's
    // name would stand for in the parent's items, is refused.
    static std::string parentName(pg_conn* c, const dkpg::PNewEntity& e, const char* function);
    void storeAttr(const char* entity, const dkpg::PAttr& attr, const char* function) override;
    void dropAttr(const char* entity, const char* attr, const char* function) override;
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
    // Queries (DKDatastorePGQuery.cpp): the session's prepared query of sql, null when a cursor
    // of the same text is using it. On its first use the server checks it: a rewritten query it
    // cannot prepare or that gives no rows is refused; guarded, in a savepoint of the transaction
    // that is open.
    dkpg::PQuery* preparedQuery(const std::string& sql, dkpg::PParams& params, bool guarded, const char* function);
    // The entity whose table has the oid, or null.
    std::shared_ptr<dkpg::PEntity> entityByTable(unsigned int oid, const char* function);
    // Trees and text (DKDatastorePGSearch.cpp): every row of the cursor as a collection; a query
    // object of this datastore, or DKUsageError 303.
    dkQuery* checkedQuery(dkQuery* query, const char* function);
    // The cursor of parts (their SQL and parameters taken), open.
    dkResultSetCursor* cursorOver(std::vector<dkpg::PTreeQuery>& parts);
    // A text query (language 1): its text matched in every entity with text-searchable attributes,
    // or in the one the option "Entity" names.
    dkResultSetCursor* executeText(const char* query, const DKNVPair* params, const char* function);
    // Runs sql with params_ as its parameters.
    dkpg::PResult exec(const std::string& sql, const char* function, const char* what);

    // Membership (DKDatastorePGMembers.cpp). The tables are made in c's open transaction when
    // the repository lacks them; every entity table has the delete trigger that keeps dk_items
    // in step.
    static void ensureMemberTables(pg_conn* c, const char* function);
    static void itemTrigger(pg_conn* c, const std::string& entityId, const std::string& table, const char* function);
    // The stored item object names (DKUsageError kMsgBadMember otherwise), with lock its row
    // locked against deletion and named in dk_items; lockItem answers whether the row is there.
    dkpg::PItemRef storedItem(const dkDataObjectBase* object, const char* function, bool lock = true);
    bool lockItem(const dkpg::PEntity& e, long rowId, const char* function);
    std::shared_ptr<dkpg::PEntity> entityById(short id, const char* function);
    DKDDO* itemDDO(dkpg::PEntity& e, long rowId);   // a DDO of the stored item, values not read
    // The membership collections of a new DDO (empty), of a retrieved one (read), and the
    // changes their track lists hold (written, in the caller's transaction).
    void newMembers(DKDDOBase& ddo, dkpg::PEntity& e);
    void readMembers(DKDDOBase& ddo, dkpg::PEntity& e, long rowId, const char* function);
    void writeMembers(DKDDOBase& ddo, dkpg::PEntity& e, long rowId, const char* function);
    // The stored parts of a document item into parts, as content objects holding no bytes yet.
    void readParts(dkCollection& parts, dkpg::PEntity& e, long rowId, const char* function);
    // Children (DKDatastorePGChildren.cpp): the statements of dk_children (null-terminated); the
    // "CHILD" collections of a new DDO (empty) and of a retrieved one (read); their track lists
    // written in the caller's transaction. New children stored by a write get their pids once it
    // has committed (finishChildren). writeChild answers whether a removed child was there.
    static const char* const kChildTables[];
    // dk_children and dk_segments, made in c's open transaction when missing
    // (DKDatastorePGUpgrade.cpp).
    static void ensureChildTables(pg_conn* c, const char* function);
    void newChildren(DKDDOBase& ddo, dkpg::PEntity& e);
    void readChildren(DKDDOBase& ddo, dkpg::PEntity& e, long rowId, const char* function);
    void writeChildren(DKDDOBase& ddo, dkpg::PEntity& e, long rowId, const char* function);
    bool writeChild(const dkpg::PEntity& parent, long parentRow, bool add, dkDataObjectBase* child, const char* function);
    void finishChildren();
    struct PAddedChild {
        DKDDOBase* ddo;
        std::shared_ptr<dkpg::PEntity> entity;
        long rowId;
    };
    // Segmented parts (DKDatastorePGSegments.cpp): the statements of dk_segments
    // (null-terminated); an item's slot rows and stored parts, which the connector kit
    // (PContentKit) reads into its DKSegmentedParts and writes whole at every write of the item,
    // in the caller's transaction.
    static const char* const kSegmentTables[];
    std::vector<PSegmentRow> segmentRows(const dkpg::PEntity& e, long rowId, const char* function);
    void readSegments(dkCollection& parts, dkpg::PEntity& e, long rowId, const char* function);
    void writeSegments(DKDDOBase& ddo, dkpg::PEntity& e, long rowId, const char* function);
    // Content (DKDatastorePGContent.cpp): the parts' table, made in a repository that lacks it.
    void ensureContentTable(pg_conn* c, const char* function);
    // Each extension, made on its first use (DKUsageError 310 while not connected).
    dkExtension* contentExtension(const char* function);
    dkExtension* memberExtension(const char* function);
    dkExtension* rightsExtension(const char* function);
    // Templates and mappings (DKDatastorePGTemplates.cpp): their tables, made in c's open
    // transaction when missing; the native names of a mapping for a tree; the extension.
    void ensureTemplateTables(pg_conn* c, const char* function);
    PMappingNames nativeNames(const std::string& mapping, const char* function);
    dkExtension* templatesExtension(const char* function);
    // An older repository's text attributes get their words' index, and its catalogue the
    // entities' parents, in c's open transaction (DKDatastorePGUpgrade.cpp).
    void ensureTextIndexes(pg_conn* c, const char* function);
    static void ensureEntityParents(pg_conn* c, const char* function);
    // The managers datastoreDef()->datastoreAdmin() hands out, over the PG_ADMIN extension.
    dkDatastoreAdmin* datastoreAdminObject();

    // DKUsageError kMsgCursorHoldsSession: a write while cursors share a READ ONLY transaction.
    [[noreturn]] void refuseWrite(const char* function) const;
    // The connection, or DKDatastoreError 310 while not connected.
    pg_conn* conn(const char* function);
    void closeConnection() noexcept;
    // Reads the catalogue of a new session (making it with create), giving the repository name.
    std::string openCatalogue(pg_conn* c, const std::string& database, bool create);
    // Users and rights (DKDatastorePGRights.cpp): the repository's roles and the functions that
    // change them, made inside openCatalogue's transaction when missing and the role may.
    void openRights(pg_conn* c, const char* function);

    dkpg::PSettings settings_;
    pg_conn* conn_;
    std::string repositoryName_;
    bool inTransaction_ = false;
    bool entitiesLoaded_ = false;
    std::map<std::string, std::shared_ptr<dkpg::PEntity>> entities_;   // by lower-case name
    dkpg::PParams params_;                                              // of the statement being run
    dkpg::PStatementCache statements_;                                  // the items' statements, prepared
    dkpg::PQueryCache queries_;                                          // the queries, prepared
    // The text of the last query run and its markers rewritten: a text run again is not read again.
    std::string lastQuery_;
    dkpg::PMarkers lastMarkers_;
    // The ROLLBACK that ended the cursors' shared transaction was sent and not yet answered; the
    // next use of the connection reads its answer (conn()), so a query waits for the server once.
    bool ending_ = false;
    std::unique_ptr<DKDatastoreDefPG> def_;
    std::set<DKResultSetCursorPG*> cursors_;   // open cursors, not owned: detached at disconnect
    std::shared_ptr<dkpg::PContentStorePG> content_;   // made on the first getExtension
    // Cursors opened outside the caller's transaction share one READ ONLY transaction, begun by
    // the first and ended by the last; while it is open, writes are refused (kMsgCursorHoldsSession).
    int sharedCursors_ = 0;
    unsigned long portals_ = 0;                // names the session's portals
    DKTrace trace_;
    std::unique_ptr<dkpg::PMembersPG> members_;   // made by the first getExtension
    std::vector<PAddedChild> addedChildren_;      // stored by the write under way, not finished yet
    std::unique_ptr<dkExtension> rights_;   // the PG_ADMIN extension (a PRightsPG), made on first use
    std::unique_ptr<dkExtension> templates_;   // the PG_TEMPLATES extension, made on first use
    std::map<std::string, std::shared_ptr<dkSchemaMapping>> mappings_;   // getMapping's, by lower-case name
    std::shared_ptr<dkDatastoreAdmin> datastoreAdmin_;   // the managers over rights_, made with the schema object
};
