// connectors/sqlite/DKDatastoreSQLITE.hpp
#pragma once

// The reference connector: a repository is one SQLite database file. Applications never include
// this header; they load libdkdssqlite.so (createObject("DKDatastoreSQLITE")) and use the objects
// through dkDatastore, dkResultSetCursor and the schema classes. See README.md beside it for the
// configuration string, the connect string, query parameters and the cursor's cardinality.

#include "DKMaintenanceSQLITE.hpp"
#include "PSqlite.hpp"

#include <dk/DKDDO.hpp>
#include <dk/DKPid.hpp>
#include <dk/PConnectorKit.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkDatastoreDef.hpp>
#include <dk/dkResultSetCursor.hpp>

#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

class DKDatastoreSQLITE;
class DKDatastoreDefSQLITE;
class DKResultSetCursorSQLITE;

namespace dksqlite {

// One attribute as the catalogue holds it.
struct PAttr {
    std::string name;
    unsigned short type = 0;
    short id = 0;       // its position in the entity, from 1
    int nullable = 1;
    long size = 0, precision = 0, scale = 0;
    std::string description;
};

// Holds the one data object definition that every DDO of an entity shares: a DKDDOBase that
// keeps its private definition, which the DDOs then share (so it lives while any of them does).
class PEntityShape : public DKDDOBase {
public:
    DKDDODef* definition() { return &writeDef(); }
};

// One entity as the catalogue holds it, with its DDO shape and the SQL of its operations.
// Shared (by shared_ptr) between the datastore's cache and the cursors reading it, so a cursor
// keeps working after the cache was cleared.
struct PEntity {
    std::string name;   // as created
    short id = 0;
    short type = 0;
    std::string description;
    std::vector<PAttr> attrs;   // in position order
    PAttributeNames names;      // of attrs, matched without case: where a DDO's items go
    std::unique_ptr<PEntityShape> shape;
    std::string insertSql, selectSql, deleteSql, existsSql;

    const PAttr* find(const char* attrName) const;
    DKDDODef* shapeDefinition();   // rebuilt when a DDO added items of its own to the shared one
    // The pid of the item rowId (none for 0) of this entity in the named repository. The pid is
    // kept and changed on the next call: callers copy it (DKDDO and setPid take clones).
    const DKPid& pidFor(const std::string& repository, long rowId);

private:
    std::unique_ptr<DKPid> pid_;
    std::string pidRepository_;   // the repository pid_ names, checked without asking the pid
};

// A collection of schema objects (entity or attribute definitions, held as tc_voidptr) that
// deletes them with itself: the caller of listEntities / listEntityAttrs owns the collection and,
// through it, the definitions.
class PDefCollection;

class PMaintenance;   // the maintenance extension, below

}  // namespace dksqlite

// The datastore. connect opens (or, with create=1 in the connect string, creates) the repository
// file, reads its catalogue and checks the user's password; entities are tables, items are rows,
// and queries are single read-only SELECT statements with bound parameters. With readonly=1 in
// the connect string the file is opened read-only and every write is refused.
//
// Owns its SQLite connection, its statement cache, its catalogue cache, its schema object
// (datastoreDef()) and its maintenance extension (getExtension). Cursors it returns belong to the caller; disconnect, reconnect and the
// destructor finalise their statements, after which they report not valid. Every object this
// library made (datastore, cursors, schema objects, their collections) must be deleted before the
// library is unloaded; DDOs are the common library's and may outlive it.
//
// One datastore object is used by one thread at a time. Several objects on the same file work
// from several threads and processes (SQLite's locking, WAL mode and a busy timeout).
class DKDatastoreSQLITE : public dkDatastore {
public:
    explicit DKDatastoreSQLITE(const dksqlite::PSettings& settings);
    ~DKDatastoreSQLITE() override;

    using dkDatastore::addObject;
    using dkDatastore::addObjects;
    using dkDatastore::clearCache;
    using dkDatastore::deleteObject;
    using dkDatastore::deleteObjects;
    using dkDatastore::evaluate;
    using dkDatastore::execute;
    using dkDatastore::retrieveObject;
    using dkDatastore::retrieveObjects;
    using dkDatastore::updateObject;
    using dkDatastore::updateObjects;

    DKAny evaluate(const char* query, short qlType, const DKNVPair* params) override;
    void connect(const char* datastoreName, const char* userId, const char* password,
                 const char* connectString) override;
    void disconnect() override;
    dkResultSetCursor* execute(const char* query, short qlType, const DKNVPair* params) override;

    void addObject(dkDataObject* object, const DKNVPair* options, long flags) override;
    void addObjects(dkCollection* objects, const DKNVPair* options, long flags) override;
    void deleteObject(dkDataObject* object, const DKNVPair* options, long flags) override;
    void deleteObjects(dkCollection* objects, const DKNVPair* options, long flags) override;
    void retrieveObject(dkDataObject* object, const DKNVPair* options, long flags) override;
    void updateObject(dkDataObject* object, const DKNVPair* options, long flags) override;
    void updateObjects(dkCollection* objects, const DKNVPair* options, long flags) override;
    void addObject(dkDataObject* object, long flags) override { addObject(object, nullptr, flags); }
    void addObject(dkDataObject* object) override { addObject(object, nullptr, 0); }
    void addObjects(dkCollection* objects, long flags) override { addObjects(objects, nullptr, flags); }
    void addObjects(dkCollection* objects) override { addObjects(objects, nullptr, 0); }
    void deleteObject(dkDataObject* object, long flags) override { deleteObject(object, nullptr, flags); }
    void deleteObject(dkDataObject* object) override { deleteObject(object, nullptr, 0); }
    void deleteObjects(dkCollection* objects, long flags) override { deleteObjects(objects, nullptr, flags); }
    void deleteObjects(dkCollection* objects) override { deleteObjects(objects, nullptr, 0); }
    void retrieveObject(dkDataObject* object, long flags) override { retrieveObject(object, nullptr, flags); }
    void retrieveObject(dkDataObject* object) override { retrieveObject(object, nullptr, 0); }
    void updateObject(dkDataObject* object, long flags) override { updateObject(object, nullptr, flags); }
    void updateObject(dkDataObject* object) override { updateObject(object, nullptr, 0); }
    void updateObjects(dkCollection* objects, long flags) override { updateObjects(objects, nullptr, flags); }
    void updateObjects(dkCollection* objects) override { updateObjects(objects, nullptr, 0); }

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

    // The repository name stored in the file (the datastore name of every pid).
    const std::string& repositoryName() const { return repositoryName_; }

private:
    friend class dksqlite::PMaintenance;
    friend class DKResultSetCursorSQLITE;
    friend class DKDatastoreDefSQLITE;
    friend class DKEntityDefSQLITE;
    friend class DKAttrDefSQLITE;
    class PWriteScope;

    sqlite3* db(const char* function);   // the connection; DKDatastoreError 310 when not connected
    // The connection for an operation that writes; DKDatastoreError kMsgReadOnly on a read-only one.
    sqlite3* writable(const char* function);
    sqlite3_stmt* cached(const std::string& sql, const char* function);
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

    // Catalogue
    std::shared_ptr<dksqlite::PEntity> entity(const char* name, const char* function);
    std::shared_ptr<dksqlite::PEntity> entityByTable(const char* table);   // null when none
    void loadEntities(const char* function);
    void schemaChanged();   // after this object changed the schema
    void storeEntity(const std::string& name, short type, const std::string& description,
                     const std::vector<dksqlite::PAttr>& attrs, const char* function);
    void dropEntity(const char* name, const char* function);
    void storeAttr(const char* entity, const dksqlite::PAttr& attr, const char* function);
    void dropAttr(const char* entity, const char* attr, const char* function);

    // Data objects
    // The DDO of object under the connector kit's rule, with its row id when rowId is given.
    DKDDOBase& checkedObject(dkDataObject* object, const char* function, long* rowId);
    long rowIdOf(const DKDDOBase& ddo, const char* function) const;   // of a pid of this repository
    long addOne(DKDDOBase& ddo, std::shared_ptr<dksqlite::PEntity>& e, const char* function);
    void retrieveOne(DKDDOBase& ddo, long rowId, const char* function);
    void updateOne(DKDDOBase& ddo, long rowId, const char* function);
    void deleteOne(DKDDOBase& ddo, long rowId, const char* function);
    // The collection forms of update and delete: every object checked, then all written in one
    // savepoint (or the open transaction), and their change flags reset only after it commits.
    void writeEach(dkCollection* objects, const char* function,
                   void (DKDatastoreSQLITE::*writeOne)(DKDDOBase&, long, const char*));
    void finishAdd(DKDDOBase& ddo, dksqlite::PEntity& e, long rowId);
    DKDDO* newDDO(dksqlite::PEntity& e, long rowId);

    // Queries
    sqlite3_stmt* prepareQuery(const char* query, short qlType, const DKNVPair* params, const char* function);
    void registerCursor(DKResultSetCursorSQLITE* c) { cursors_.insert(c); }
    void unregisterCursor(DKResultSetCursorSQLITE* c) { cursors_.erase(c); }

    dksqlite::PSettings settings_;
    sqlite3* db_;
    std::string path_;             // the absolute path SQLite opened
    std::string repositoryName_;
    bool readOnly_;
    const std::chrono::steady_clock::time_point* queryDeadline_;   // set while a query steps
    bool inTransaction_;
    int schemaVersion_;
    bool entitiesLoaded_;
    std::map<std::string, std::shared_ptr<dksqlite::PEntity>> entities_;   // by lower-case name
    std::unordered_map<std::string, sqlite3_stmt*> statements_;            // owned, by SQL text
    std::set<DKResultSetCursorSQLITE*> cursors_;                            // not owned
    std::unique_ptr<DKDatastoreDefSQLITE> def_;
    std::unique_ptr<dksqlite::PMaintenance> maintenance_;   // made by the first getExtension
    DKTrace trace_;
};

// A forward-only, read-only cursor over one query. It is open when returned; rows are read as
// they are fetched. cardinality() is the number of rows fetched so far (SQLite does not know a
// result's size before it has read it all). fetchNext and fetchNextN give new DDOs the caller
// owns. After disconnect the cursor is not valid: fetches throw DKDatastoreError kMsgCursorClosed.
// With query_timeout set, the time from execute (or open) across all fetches is limited.
// One thread at a time, the thread of its datastore.
class DKResultSetCursorSQLITE : public dkResultSetCursor {
public:
    DKResultSetCursorSQLITE(DKDatastoreSQLITE* ds, sqlite3_stmt* stmt, std::shared_ptr<dksqlite::PEntity> entity);
    ~DKResultSetCursorSQLITE() override;

    int isScrollable() const override { return 0; }
    int isUpdatable() const override { return 0; }
    int isValid() const override { return stmt_ != nullptr ? 1 : 0; }
    int isOpen() const override { return stmt_ != nullptr && open_ ? 1 : 0; }
    int isBegin() const override { return isOpen() && position_ == 0 && !atEnd_ ? 1 : 0; }
    int isEnd() const override { return isOpen() && atEnd_ ? 1 : 0; }
    int isInBetween() const override { return isOpen() && position_ > 0 && !atEnd_ ? 1 : 0; }
    long getPosition() const override { return position_; }
    void setPosition(long position, const DKAny& value) override;
    void setToNext() override;
    DKDDO* fetchObject() override;
    DKDDO* fetchNext() override;
    int fetchNextN(long howMany, dkCollection& into) override;
    DKAny fetchObjectByName(const char* name) override;
    DKAny fetchNextByName(const char* name) override;
    int fetchNextNByName(const char* name, long howMany, DKAny* values, long arraySize) override;
    DKDDO* findObject(long position, const char* predicate) override;
    void deleteObject() override;
    void updateObject(DKDDO* object) override;
    DKDDO* newObject() override;
    void addObject(DKDDO* object) override;
    void open(const DKNVPair* params) override;
    void open() override;
    void close() override;
    void destroy() override;
    DKString datastoreName() const override;
    DKString datastoreType() const override;
    unsigned long cardinality() override { return static_cast<unsigned long>(position_); }
    DKString objectType() override { return "DKResultSetCursorSQLITE"; }

    // Called by the datastore when its connection goes: the statement is finalised.
    void invalidate() noexcept;

private:
    void checkUsable(const char* function) const;
    void startClock();                 // the query's time limit counts from now
    bool step(const char* function);   // moves to the next row; false at the end
    DKDDO* rowObject(const char* function);
    int columnOf(const char* name, const char* function) const;
    void describe();

    DKDatastoreSQLITE* ds_;   // not owned; null after invalidate
    sqlite3_stmt* stmt_;      // owned
    std::shared_ptr<dksqlite::PEntity> entity_;   // set when rows are items of one entity
    bool open_;
    bool onRow_;
    bool atEnd_;
    long position_;
    bool invalidated_;
    bool timed_;                                      // query_timeout applies
    std::chrono::steady_clock::time_point deadline_;  // when it runs out
    // For entity rows: the column holding the row id, and each column's data id (0: none).
    int idColumn_;
    std::vector<unsigned short> columnItem_;
    std::vector<unsigned short> columnType_;
    // For other rows: a shape of the result columns, shared by every DDO of this cursor.
    std::unique_ptr<dksqlite::PEntityShape> shape_;
};

// The schema of one repository: its entities. Kept by the datastore (datastoreDef()).
class DKDatastoreDefSQLITE : public dkDatastoreDef {
public:
    explicit DKDatastoreDefSQLITE(DKDatastoreSQLITE* ds);
    ~DKDatastoreDefSQLITE() override;

    using dkDatastoreDef::listEntities;
    using dkDatastoreDef::listEntityNames;

    dkEntityDef* createEntity() override;
    dkEntityDef* getEntity(const char* name) override;
    dkEntityDef* retrieveEntity(const char* name) override;
    dkCollection* listEntities(const DKNVPair* options, long count) override { return listEntities(); }
    dkCollection* listEntities(long flags) override { return listEntities(); }
    dkCollection* listEntities() override;
    DKString* listEntityNames(const DKNVPair* options, long optionCount, long& count) override {
        return listEntityNames(count);
    }
    DKString* listEntityNames(long flags, long& count) override { return listEntityNames(count); }
    DKString* listEntityNames(long& count) override;
    dkCollection* listEntityAttrs(const char* entity) override;
    DKString* listEntityAttrNames(const char* entity, long& count) override;
    void add(dkEntityDef* entity) override;
    void del(dkEntityDef* entity) override;
    void deleteEntity(const char* name) override;
    void clearCache() override;

private:
    DKDatastoreSQLITE* sqlite() const;
    std::map<std::string, std::unique_ptr<dkEntityDef>> kept_;   // getEntity's, by lower-case name
};

// An entity definition. Attributes given to addAttr are kept (and owned) here until the entity
// is stored with add(); an attribute addAttr refuses (bad name or type, repeated name) stays the
// caller's. add(dkAttrDef*) and deleteAttr change a stored entity at once.
class DKEntityDefSQLITE : public dkEntityDef {
public:
    explicit DKEntityDefSQLITE(DKDatastoreSQLITE* ds);
    ~DKEntityDefSQLITE() override;

    using dkEntityDef::add;
    using dkEntityDef::del;

    void add(dkAttrDef* attrDef) override;
    void add() override;
    void del(dkAttrDef* attrDef) override;
    void del() override;
    dkAttrDef* createAttr() override;
    dkAttrDef* getAttr(const char* attrName) override;
    dkAttrDef* retrieveAttr(const char* attrName) override;
    dkCollection* listAttrs() override;
    DKString* listAttrNames(long& arraySize) override;
    void deleteAttr(const char* attrName) override;
    void addAttr(dkAttrDef* attrDef) override;
    dkAttrDef* removeAttr(const char* attrName) override;
    void clearCache() override {}

    // Fills this object from the catalogue entry (attributes included).
    void load(const dksqlite::PEntity& e);
    const std::vector<std::unique_ptr<dkAttrDef>>& attrs() const { return attrs_; }

private:
    DKDatastoreSQLITE* sqlite() const;
    std::vector<std::unique_ptr<dkAttrDef>> attrs_;
};

// An attribute definition; add() and del() store or drop it in its entity at once.
class DKAttrDefSQLITE : public dkAttrDef {
public:
    DKAttrDefSQLITE(DKDatastoreSQLITE* ds, dkEntityDef* entity);
    ~DKAttrDefSQLITE() override;

    void add() override;
    void del() override;

    void load(const dksqlite::PAttr& a, const char* entityName);
};

namespace dksqlite {

// The maintenance extension of one datastore: made by its first getExtension("SQLITE_MAINTENANCE"),
// owned by it and valid while it lives; every operation needs the datastore connected. Same
// thread rule as the datastore.
class PMaintenance : public DKMaintenanceSQLITE {
public:
    explicit PMaintenance(DKDatastoreSQLITE* ds);
    ~PMaintenance() override;

    DKString* check(short level, long& count) override;
    void backup(const char* file) override;

private:
    void checkCatalogue(std::vector<std::string>& problems, const char* function);

    DKDatastoreSQLITE* ds_;   // not owned: the owner
};

}  // namespace dksqlite
