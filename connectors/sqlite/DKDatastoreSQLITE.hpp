// connectors/sqlite/DKDatastoreSQLITE.hpp
#pragma once

// The reference connector: a repository is one SQLite database file. Applications never include
// this header; they load libdkdssqlite.so (createObject("DKDatastoreSQLITE")) and use the objects
// through dkDatastore, dkResultSetCursor and the schema classes. See README.md beside it for the
// configuration string, the connect string, query parameters and the cursor's cardinality.
//
// The connector is cut by what each part does: the session (DKDatastoreSQLITESession.cpp:
// connect, users, repository format, transactions), the schema and catalogue
// (DKDatastoreSQLITECatalogue.cpp, DKDatastoreDefSQLITE.cpp), the items
// (DKDatastoreSQLITEItems.cpp), queries and their cursor (DKDatastoreSQLITEQuery.cpp,
// DKResultSetCursorSQLITE.cpp), the value codec (PSqliteUse.cpp in, PSqliteInto.cpp out), errors
// (PSqliteError.cpp), statements (PSqliteStatement.cpp), configuration (PSqliteConfig.cpp),
// files (PRepositoryFile.cpp), maintenance (DKMaintenanceSQLITE.cpp) and the factory
// (dkdssqlite.cpp).

#include "PCatalogue.hpp"
#include "PRights.hpp"
#include "PSqliteError.hpp"
#include "PSqliteConfig.hpp"
#include "PSqliteValues.hpp"

#include <dk/PConnectorKit.hpp>
#include <dk/PContentKit.hpp>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;
class DKDatastoreDefSQLITE;
class dkDatastoreAdmin;
class DKCommonPrivilege;
class DKResultSetCursorSQLITE;

namespace dksqlite {

// The location source of the datastore's operations, whichever file holds them.
inline constexpr const char* kDatastoreSource = "connectors/sqlite/DKDatastoreSQLITE";
inline constexpr const char* kPidType = "SQLITE";   // the datastore type of every pid
inline constexpr const char* kIdColumn = "dk_id";   // the row id column of every entity table
// The newest repository format: a connector refuses a file of a newer one, and upgrades an older
// one at a writing connect.
inline constexpr int kNewestFormat = 6;
inline bool knownFormat(const std::string& format) {
    return format.size() == 1 && format[0] >= '1' && format[0] <= '0' + kNewestFormat;
}

class PContentStore;  // the content extension and store (PContent.hpp)
class PMembers;       // the membership extension (PMembers.hpp)
class PMaintenance;   // the maintenance extension (PMaintenance.hpp)
class PAdmin;         // the administration extension (DKDatastoreSQLITERights.cpp)
class PSearchTemplate;
class PTemplates;     // the templates extension (PSqliteTemplates.hpp)
}  // namespace dksqlite
struct PMappingNames;

// The datastore. connect opens (or, with create=1 in the connect string, creates) the repository
// file, reads its catalogue and checks the user's password; entities are tables, items are rows,
// and queries are single read-only SELECT statements with bound parameters. With readonly=1 in
// the connect string the file is opened read-only and every write is refused.
//
// Owns its SQLite connection, its statement cache, its catalogue cache, its schema object
// (datastoreDef()) and its maintenance extension (getExtension). Cursors it returns belong to
// the caller; disconnect, reconnect and the destructor finalise their statements, after which
// they report not valid. Every object this
// library made (datastore, cursors, schema objects, their collections) must be deleted before the
// library is unloaded; DDOs are the common library's and may outlive it.
//
// One datastore object is used by one thread at a time. Several objects on the same file work
// from several threads and processes (SQLite's locking, WAL mode and a busy timeout).
class DKDatastoreSQLITE : public PConnectorDatastore, public PSchemaCatalogue {
public:
    explicit DKDatastoreSQLITE(const dksqlite::PSettings& settings);
    ~DKDatastoreSQLITE() override;

    using PConnectorDatastore::addObject;
    using PConnectorDatastore::addObjects;
    using dkDatastore::clearCache;
    using dkDatastore::createQuery;
    using PConnectorDatastore::deleteObject;
    using PConnectorDatastore::deleteObjects;
    using dkDatastore::evaluate;
    using dkDatastore::execute;
    using dkDatastore::executeWithCallback;
    using PConnectorDatastore::retrieveObject;
    using dkDatastore::retrieveObjects;
    using PConnectorDatastore::updateObject;
    using PConnectorDatastore::updateObjects;

    DKAny evaluate(const char* query, short qlType, const DKNVPair* params) override;
    void connect(const char* datastoreName, const char* userId, const char* password,
                 const char* connectString) override;
    void disconnect() override;
    dkResultSetCursor* execute(const char* query, short qlType, const DKNVPair* params) override;
    // A query object of this datastore for an SQL string (DKSQLQuery) or a text query
    // (DKTextQuery); the caller owns it. Its parameters go to its prepare or execute.
    dkQuery* createQuery(const char* query, short qlType, const DKNVPair* params) override;
    // A query object of this datastore: run with execute(nullptr), its cursor or result(1) handed
    // over. A null query is DKUsageError 303, one of another datastore kMsgForeignQuery.
    DKAny evaluate(dkQuery* query) override;
    dkResultSetCursor* execute(dkQuery* query) override;
    // The rows in batches of callback->getThreshold() rows (0 or less: all in one), on the
    // caller's thread, until the last batch or until dataCallback answers 0. Each batch is a
    // DKResults that owns its DDOs and is deleted when dataCallback returns. A DKException of the
    // query goes to reportException and ends it; bad arguments (a null callback or query, a
    // query of another datastore) are thrown.
    void executeWithCallback(const char* query, short qlType, const DKNVPair* params, dkCallback* callback) override;
    void executeWithCallback(dkQuery* query, dkCallback* callback) override;
    // Trees run whole, one SELECT per entity searched (PSqliteTree.hpp): the items whose rows
    // match, each once, entity by entity (by name, without case), in row id order. A null tree
    // is DKUsageError 303.
    dkResultSetCursor* execute(DKCQExpr* expression) override;
    DKAny evaluate(DKCQExpr* expression) override;
    void executeWithCallback(DKCQExpr* expression, dkCallback* callback) override;
    // A DKParametricQuery of this datastore that takes the tree (the caller no longer deletes it).
    dkQuery* createQuery(DKCQExpr* expression) override;

    void addObject(dkDataObject* object, const DKNVPair* options, long flags) override;
    void addObjects(dkCollection* objects, const DKNVPair* options, long flags) override;
    void deleteObject(dkDataObject* object, const DKNVPair* options, long flags) override;
    void deleteObjects(dkCollection* objects, const DKNVPair* options, long flags) override;
    void retrieveObject(dkDataObject* object, const DKNVPair* options, long flags) override;
    void updateObject(dkDataObject* object, const DKNVPair* options, long flags) override;
    void updateObjects(dkCollection* objects, const DKNVPair* options, long flags) override;

    void startTransaction() override;
    void commit() override;
    void rollback() override;
    int isConnected() override;
    dkCollection* listEntities() override;
    DKString* listEntityNames(long& count) override;
    dkCollection* listEntityAttrs(const char* entity) override;
    DKString* listEntityAttrNames(const char* entity, long& count) override;
    dkDatastoreDef* datastoreDef() override;
    DKDDO* createDDO(const char* entity, long flags) override;
    void clearCache() override;
    void clearCache(long flags) override { clearCache(); }
    short validateConnection() override;
    // "SQLITE_MAINTENANCE" gives the datastore's DKMaintenanceSQLITE (DKDatastoreError 310 while
    // not connected); any other name gives null.
    dkExtension* getExtension(const char* name) override;
    DKString* listExtensionNames(long& count) override;

    // Search templates and schema mappings, kept in the repository (PSqliteTemplates.cpp). The
    // templates come in a collection that owns them, as listEntities' definitions do (sub-type
    // 3: dkSearchTemplate*). registerMapping takes pairs "name", "entity" (native),
    // "mappedEntity" and one "attr" MAPPED=NATIVE per attribute, up to an "End" or empty name;
    // getMapping's object stays with the datastore (until unRegisterMapping, clearCache or
    // disconnect; null for an unknown name). Trees whose sub-queries name a mapping are run on
    // the native names, where every attribute mapping is one to one without conversion.
    dkCollection* listSearchTemplates() override;
    DKString* listSearchTemplateNames(long& count) override;
    DKString registerMapping(DKNVPair* source) override;
    void unRegisterMapping(const char* name) override;
    DKString* listMappingNames(long& count) override;
    dkSchemaMapping* getMapping(const char* name) override;

    // The repository name stored in the file (the datastore name of every pid).
    const std::string& repositoryName() const { return repositoryName_; }

private:
    friend class dksqlite::PContentStore;
    friend class dksqlite::PMaintenance;
    friend class dksqlite::PMembers;
    friend class dksqlite::PAdmin;
    friend class dksqlite::PSearchTemplate;
    friend class dksqlite::PTemplates;
    friend class DKResultSetCursorSQLITE;
    friend class DKDatastoreDefSQLITE;
    // A transaction of one operation (BEGIN IMMEDIATE ... COMMIT), or a savepoint when the
    // caller has a transaction open. Unless commit() was reached, the destructor undoes
    // everything and forgets the catalogue, which may describe what was undone.
    class PWriteScope {
    public:
        PWriteScope(DKDatastoreSQLITE& ds, const char* function);
        PWriteScope(const PWriteScope&) = delete;
        PWriteScope& operator=(const PWriteScope&) = delete;
        ~PWriteScope();
        void commit();

    private:
        DKDatastoreSQLITE& ds_;
        sqlite3* db_;
        bool savepoint_;
        bool active_ = false;
        const char* function_ = "";
    };

    sqlite3* db(const char* function);   // the connection; DKDatastoreError 310 when not connected
    // The connection for an operation that writes; DKDatastoreError kMsgReadOnly on a read-only one.
    sqlite3* writable(const char* function);
    sqlite3_stmt* cached(const std::string& sql, const char* function);
    // The same, kept in slot as well, so the next call needs no lookup of the SQL.
    sqlite3_stmt* cached(sqlite3_stmt*& slot, const std::string& sql, const char* function) {
        return slot != nullptr ? slot : (slot = cached(sql, function));
    }
    void dropStatements() noexcept;
    void closeConnection() noexcept;
    void createCatalogue(const char* userId, const char* password, const std::string& name);
    void checkUser(const char* userId, const char* password);
    std::string setJournalMode(const std::string& mode, const char* function);   // the mode SQLite reports
    void applyJournalMode(const std::string& recorded, const char* function);
    // The progress handler of a connection with a query time limit: interrupts the statement
    // being stepped once queryDeadline_ has passed.
    static int onProgress(void* self);
    // Steps a query's statement, interrupted at deadline when one is given.
    int stepQuery(sqlite3_stmt* s, const std::chrono::steady_clock::time_point* deadline);
    void refreshIfSchemaChanged(const char* function);
    // Templates and mappings: their tables, made at a writing connect when missing; whether
    // they are there (a read-only connect of an older repository has none); the native names
    // of a mapping for a tree.
    void ensureTemplateTables(const char* function);
    bool hasTemplateTables(const char* function);
    // Whether all the named tables are there, and whether they are and the repository is of
    // format or newer: what each part's ensure...Tables asks before it makes what is missing.
    struct PTableState {
        bool tables;
        bool current;
    };
    PTableState tableState(std::initializer_list<const char*> names, int format, const char* function);
    PMappingNames nativeNames(const std::string& mapping, const char* function);
    dkExtension* templatesExtension(const char* function);
    // Content (DKContentSQLITE.cpp): its tables, made at a writing connect when missing (format
    // 3); the extension; the parts of an item being deleted (rowId 0: of the whole entity), in
    // the caller's write scope.
    void ensureContentTables(const char* function);
    dkExtension* contentExtension(const char* function);
    void dropContent(const std::string& entity, long rowId, const char* function);
    // Membership (DKDatastoreSQLITEMembers.cpp): folder members and links in their tables (format
    // 4, made at a writing connect when missing); the collections of a DDO's membership items
    // (empty for a new DDO, read for a retrieved one, their track lists written with the item and
    // cleared once it is stored); an item's memberships and links dropped with it (rowId 0: of
    // the whole entity), in the caller's write scope.
    void ensureMemberTables(const char* function);
    dkExtension* memberExtension(const char* function);
    void newMembers(DKDDOBase& ddo, dksqlite::PEntity& e);
    void readMembers(DKDDOBase& ddo, dksqlite::PEntity& e, long rowId, const char* function);
    bool pendingMembers(DKDDOBase& ddo, const char* function);   // a track list holds a change
    void writeMembers(DKDDOBase& ddo, dksqlite::PEntity& e, long rowId, const char* function);
    void clearTracks(DKDDOBase& ddo) noexcept;
    void dropMembers(const std::string& entity, long rowId, const char* function);
    // Children (DKDatastoreSQLITEChildren.cpp): sub-entities and the ties of child items to their
    // parents, segment slots and link items (format 5, made at a writing connect when missing).
    // A child added with its parent gets its pid only once the write has committed
    // (finishChildren); a failed write forgets it (forgetChildren).
    void ensureChildTables(const char* function);
    void newChildren(DKDDOBase& ddo, dksqlite::PEntity& e);
    void readChildren(DKDDOBase& ddo, dksqlite::PEntity& e, long rowId, const char* function);
    // One change of a "CHILD" item: an added child stored (when new) and tied to its parent, a
    // removed one deleted with everything under it; answers whether a removed one was tied there.
    bool writeChild(const dksqlite::PEntity& parent, long parentRow, bool add, dkDataObjectBase* child,
                    const char* function);
    // The slots of a segmented item: its dk_segments rows and its stored parts, which the
    // connector kit (PContentKit) reads into the collection and writes whole at every write.
    std::vector<PSegmentRow> segmentRows(const dksqlite::PEntity& e, long rowId, const char* function);
    void writeSegments(DKDDOBase& ddo, dksqlite::PEntity& e, long rowId, const char* function);
    void readSegments(dkCollection& parts, dksqlite::PEntity& e, long rowId, const char* function);
    void finishChildren();
    void forgetChildren() noexcept { addedChildren_.clear(); }
    // An item's row with its index entry, content, memberships and children, in the caller's
    // write scope; answers whether the row was there.
    bool eraseItem(dksqlite::PEntity& e, long rowId, const char* function);
    void dropChildren(const std::string& entity, long rowId, const char* function);
    // The entity (as the catalogue spells it) and row id of the stored item of this repository
    // that object is; DKUsageError kMsgBadMember for anything else. Without stored, the row need
    // not exist any more (what is taken out may have been deleted since).
    std::pair<std::string, long> storedItem(const dkDataObjectBase* object, const char* function, bool stored = true);

    // Users and rights (DKDatastoreSQLITERights.cpp): the tables of format 6, made at a writing
    // connect when missing; the session of the connected user, checked again by db() once another
    // connection has committed (a deleted user or a changed password ends it: DKLogonFailure);
    // the rights version moved on by every change of users, groups or ACLs; the one password rule
    // of the extensions; the ACL and rights of an item (row 0: a new item, the default ACL).
    bool ensureRightsTables(const char* function);   // whether the tables are there
    void startSession(const char* userId, bool tables, const char* function);
    void checkSession(const char* function);
    void reloadSession(const char* function);
    void rightsChanged(const char* function);
    void changePassword(const char* user, const char* oldPassword, const char* newPassword, const char* function);
    dkExtension* adminExtension(const char* function);
    std::shared_ptr<dkExtension> newAdminExtension();
    // The managers datastoreDef()->datastoreAdmin() hands out (DKDatastoreSQLITEAdmin.cpp).
    dkDatastoreAdmin* datastoreAdminObject();
    std::string itemACL(const std::pair<std::string, long>& item, const char* function);
    dksqlite::PRightsRow rightsOn(const std::pair<std::string, long>& item, const char* function);
    dksqlite::PRightsRow aclRights(const std::string& acl, const char* function);   // the user's, cached
    const dksqlite::PRightsRow& everywhere(const char* function);   // the lowest value over every ACL
    // Check-out: who holds object ("" when nobody); checking it out, in, or unlocking another's;
    // DKNotCheckedOutException kMsgCheckedOut when another user holds item.
    enum class PCheckOut { kOut, kIn, kUnlock };
    std::string checkedOutBy(dkDataObject* object, const char* function);
    void checkOut(dkDataObject* object, PCheckOut what, const char* function);
    void requireHolder(const std::pair<std::string, long>& item, const char* function);
    // DKDatastoreAccessError kMsgNotAuthorized unless the user holds privilege (an id of the catalogue).
    void requirePrivilege(const std::pair<std::string, long>& item, long privilege, const char* function);
    // The ACL a new item of entity asks for (kACLProperty; empty for the default), once the user is
    // found to hold the add privilege under it.
    std::string newItemACL(const DKDDOBase& ddo, const std::string& entity, const char* function);
    DKCommonPrivilege* commonPrivilege(dkDataObject* item, const char* function);   // null: a new item
    // A change of item: the privilege, and no other user holding it checked out.
    void requireChange(const std::pair<std::string, long>& item, long privilege, const char* function);
    bool readable(const std::pair<std::string, long>& item, const char* function);
    // The item's ACL and check-out go with it (rowId 0: of the whole entity), in the caller's scope.
    void dropRights(const std::string& entity, long rowId, const char* function);
    // Refuses schema changes to all but administrators.
    void requireAdmin(const char* function);
    // The per-connection views that show a restricted user only the rows it may read, under the
    // entity names, made again once rights or entities changed; and whether the SQL of a query
    // names a schema ("main." or "temp."), which would reach past them.
    void refreshViews(const char* function);

    // Catalogue
    // The entity of name (DKUsageError kMsgNoEntity when none); the reference holds until the
    // catalogue changes, so callers that keep the entity copy the pointer.
    const std::shared_ptr<dksqlite::PEntity>& entity(const char* name, const char* function);
    std::shared_ptr<dksqlite::PEntity> entityByTable(const char* table);   // null when none
    void loadEntities(const char* function);
    void schemaChanged();   // after this object changed the schema
    void storeEntity(const std::string& name, short type, const std::string& description,
                     const std::vector<dksqlite::PAttr>& attrs, const char* function, const std::string& parent = {});
    // The catalogue as the schema objects (the connector kit's) read and change it: every read
    // outside a transaction first sees other connections' schema changes; several entities are
    // stored in one write scope.
    void refreshSchema(const char* function) override;
    std::shared_ptr<const PCatalogueEntity> schemaEntity(const char* name, const char* function) override;
    std::vector<std::shared_ptr<const PCatalogueEntity>> schemaEntities(const char* function) override;
    void storeEntities(const std::vector<PNewEntity>& entities, const char* function) override;
    void dropEntity(const char* name, const char* function) override;
    void storeAttr(const char* entity, const dksqlite::PAttr& attr, const char* function) override;
    void dropAttr(const char* entity, const char* attr, const char* function) override;

    // Data objects
    // The DDO of object under the connector kit's rule, with its row id when rowId is given.
    DKDDOBase& checkedObject(dkDataObject* object, const char* function, long* rowId);
    long rowIdOf(const DKDDOBase& ddo, const char* function) const;   // of a pid of this repository
    long addOne(DKDDOBase& ddo, std::shared_ptr<dksqlite::PEntity>& e, const char* function);
    void retrieveOne(DKDDOBase& ddo, long rowId, const char* function);
    void updateOne(DKDDOBase& ddo, long rowId, const char* function);
    void deleteOne(DKDDOBase& ddo, long rowId, const char* function);
    using WriteOne = void (DKDatastoreSQLITE::*)(DKDDOBase&, long, const char*);
    void writeAlone(dkDataObject* object, WriteOne write, const char* function);   // update/deleteObject
    // The collection forms of update and delete: every object checked, then all written in one
    // savepoint (or the open transaction), and their change flags reset only after it commits.
    void writeEach(dkCollection* objects, const char* function,
                   void (DKDatastoreSQLITE::*writeOne)(DKDDOBase&, long, const char*));
    void finishAdd(DKDDOBase& ddo, dksqlite::PEntity& e, long rowId);
    DKDDO* newDDO(dksqlite::PEntity& e, long rowId);

    // Queries
    // The checked, bound statement of an SQL query; binding tells whether parameters wait for open.
    sqlite3_stmt* prepareQuery(const char* query, short qlType, const DKNVPair* params, const char* function,
                               dksqlite::PBinding& binding);
    // What the guard lets the connector's own statements read beyond the entity tables: a search
    // it rendered itself reads the entities' text tables, a tree's long IN lists read json_each.
    // A tree may hold text leaves as well as long lists, so its statements take both.
    enum GuardReach : unsigned { kReadEntities = 0, kReadTextIndex = 1, kReadJsonEach = 2, kReadTreeTables = 3 };
    // The statement of query under the guard (authorizer, one read-only SELECT), unbound; reach
    // is a set of GuardReach flags.
    sqlite3_stmt* prepareGuarded(const char* query, const char* function, unsigned reach = kReadEntities);
    dkQuery* checkedQuery(dkQuery* query, const char* function);   // refuses null and foreign queries
    void deliver(const std::function<dkResultSetCursor*()>& run, dkCallback* callback, const char* function);
    // Text search (DKDatastoreSQLITEText.cpp): a query of language 1, FTS5 text over every
    // entity with text-searchable attributes or the one of the option "Entity".
    dkResultSetCursor* executeText(const char* query, const DKNVPair* params, const char* function);
    // At connect, once the user is known: a format 1 repository gets the text-searchable column
    // and every entity its missing text table (a read-only connect reads format 1 as it is).
    void upgradeRepository(const std::string& format, const char* function);
    bool textIndexed(const DKDDOBase& ddo, const char* function);   // its entity has a text table
    void writeText(const std::string& sql, long rowId, const char* function);   // one row's index entry
    void registerCursor(DKResultSetCursorSQLITE* c) { cursors_.insert(c); }
    void unregisterCursor(DKResultSetCursorSQLITE* c) { cursors_.erase(c); }

    dksqlite::PSettings settings_;
    sqlite3* db_;
    std::string path_;             // the absolute path SQLite opened
    std::string repositoryName_;
    bool readOnly_;
    const std::chrono::steady_clock::time_point* queryDeadline_;   // set while a query steps
    bool inTransaction_;
    bool textColumn_ = false;   // dk_attrs has the text-searchable column (repository format 2)
    bool contentTables_ = false;   // the content tables are there (repository format 3)
    bool memberTables_ = false;    // the membership tables are there (repository format 4)
    bool childTables_ = false;     // sub-entities, children, segments, link items (format 5)
    // Children stored by the write under way, given their pids once it has committed.
    struct PAddedChild {
        DKDDOBase* ddo;
        std::shared_ptr<dksqlite::PEntity> entity;
        long rowId;
    };
    std::vector<PAddedChild> addedChildren_;
    int schemaVersion_;
    bool entitiesLoaded_;
    std::map<std::string, std::shared_ptr<dksqlite::PEntity>> entities_;   // by lower-case name
    std::shared_ptr<dksqlite::PEntity> lastEntity_;   // the one entity() gave last, while it is current
    dksqlite::PBoundTexts boundTexts_;                // texts of the item being written
    std::unordered_map<std::string, sqlite3_stmt*> statements_;            // owned, by SQL text
    std::set<DKResultSetCursorSQLITE*> cursors_;                            // not owned
    std::unique_ptr<DKDatastoreDefSQLITE> def_;
    std::unique_ptr<dksqlite::PMaintenance> maintenance_;   // made by the first getExtension
    std::shared_ptr<dksqlite::PTemplates> templates_;       // made by the first getExtension
    std::shared_ptr<dksqlite::PContentStore> content_;      // made by the first getExtension
    std::shared_ptr<dksqlite::PMembers> members_;           // made by the first getExtension
    std::map<std::string, std::shared_ptr<dkSchemaMapping>> mappings_;   // getMapping's, by lower-case name
    std::shared_ptr<dksqlite::PSession> session_;   // of the connected user
    bool checkingSession_ = false;                   // checkSession is running
    std::shared_ptr<dkExtension> admin_;            // made by the first getExtension
    std::shared_ptr<dkDatastoreAdmin> datastoreAdmin_;   // made with the schema object
    DKTrace trace_;
};
