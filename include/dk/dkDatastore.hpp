// include/dk/dkDatastore.hpp
#pragma once
#include <dk/DKAny.hpp>
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

#include <dk/DKResults.hpp>   // dkQueryEvaluator, the root of the query interfaces

class DKNVPair;
class DKHandle;
class DKDDO;
class PMessageText;
class dkCallback;
class dkCollection;
class dkDataObject;
class dkDatastoreDef;
class dkExtension;
class dkResultSetCursor;
class dkServiceMgr;
// The query model's classes; the datastore only passes them on.
class DKCQExpr;
class dkQuery;
class dkSchemaMapping;
class dkSearchTemplate;

// The query interface a datastore offers besides evaluate: making a query object from text in a
// query language (qlType 1 text, 2 image, 3 parametric, 4 SQL). No state.
class DK_API dkQueryManager : public dkQueryEvaluator {
public:
    ~dkQueryManager() override;

    // A new query the caller owns.
    virtual dkQuery* createQuery(const char* query, short qlType, const DKNVPair* params) = 0;
};

// The abstract connector: connecting, queries and the data-object operations of one repository.
// Every operation has a base body; those that need a repository throw DKUsageError 341 with the
// operation's name after the catalogue text, and a connector overrides what its repository
// supports. The collection forms (addObjects ...), the search-template forms and the
// listSearchable... operations are built on the others and need no override.
//
// The virtual operations below are the interface connectors are built against: their order is
// the slot order and never changes. A connector that overrides one overload of a name hides the
// others; it adds `using dkDatastore::addObject;` (and the like for evaluate, execute,
// executeWithCallback, createQuery, deleteObject, retrieveObject, updateObject, clearCache) to keep
// them callable through its own type.
//
// Owns its message text and its service manager; never disconnects on destruction. Results of
// list..., create..., execute and fetch belong to the caller (arrays are delete[]d); datastoreDef,
// getMapping, getExtension and serviceMgr results stay with the datastore. One thread at a time.
class DK_API dkDatastore : public dkQueryManager {
public:
    dkDatastore();
    dkDatastore(const char* datastoreType, const char* datastoreName);
    dkDatastore(const dkDatastore&) = delete;
    dkDatastore& operator=(const dkDatastore&) = delete;
    ~dkDatastore() override;

    DKAny evaluate(const char* query, short qlType, const DKNVPair* params) override;
    dkQuery* createQuery(const char* query, short qlType, const DKNVPair* params) override;
    virtual void connect(const char* datastoreName, const char* userId, const char* password,
                         const char* connectString);
    virtual void disconnect();
    virtual void getOption(long option, DKAny& value);
    virtual void setOption(long option, DKAny& value);
    // The search-template forms: a null template is DKUsageError 303; otherwise the template's
    // createCQExpr() runs through the DKCQExpr form of the same operation and is deleted after it,
    // also when it throws. Connectors override the DKCQExpr form, not these.
    virtual DKAny evaluate(dkSearchTemplate* searchTemplate);
    virtual DKAny evaluate(DKCQExpr* expression);
    virtual DKAny evaluate(dkQuery* query);
    virtual dkResultSetCursor* execute(dkSearchTemplate* searchTemplate);
    virtual dkResultSetCursor* execute(DKCQExpr* expression);
    virtual dkResultSetCursor* execute(dkQuery* query);
    virtual dkResultSetCursor* execute(const char* query, short qlType, const DKNVPair* params);
    virtual void executeWithCallback(dkSearchTemplate* searchTemplate, dkCallback* callback);
    virtual void executeWithCallback(DKCQExpr* expression, dkCallback* callback);
    virtual void executeWithCallback(dkQuery* query, dkCallback* callback);
    virtual void executeWithCallback(const char* query, short qlType, const DKNVPair* params,
                                     dkCallback* callback);
    virtual dkQuery* createQuery(DKCQExpr* expression);

    // The data-object operations; DKDDO::add, retrieve, update and del call them with the object.
    // The ...Objects forms call the single-object form once per element, in order, with the same
    // extra arguments; a null collection does nothing. Every element must hold a data object of
    // the dkDataObject family (DKDDOBase, DKDDO, dkResource); any other element is DKUsageError
    // 303 before it is passed on. A DKException from an element ends the loop and leaves with the
    // collection operation's location added; elements before it stay processed.
    virtual void addObject(dkDataObject* object, const DKNVPair* options, long flags);
    virtual void addObject(dkDataObject* object, long flags);
    virtual void addObject(dkDataObject* object);
    virtual void addObjects(dkCollection* objects, const DKNVPair* options, long flags);
    virtual void addObjects(dkCollection* objects, long flags);
    virtual void addObjects(dkCollection* objects);
    virtual void deleteObject(dkDataObject* object, const DKNVPair* options, long flags);
    virtual void deleteObject(dkDataObject* object, long flags);
    virtual void deleteObject(dkDataObject* object);
    virtual void deleteObjects(dkCollection* objects, const DKNVPair* options, long flags);
    virtual void deleteObjects(dkCollection* objects, long flags);
    virtual void deleteObjects(dkCollection* objects);
    virtual void retrieveObject(dkDataObject* object, const DKNVPair* options, long flags);
    virtual void retrieveObject(dkDataObject* object, long flags);
    virtual void retrieveObject(dkDataObject* object);
    virtual void retrieveObjects(dkCollection* objects, const DKNVPair* options, long flags);
    virtual void retrieveObjects(dkCollection* objects, long flags);
    virtual void retrieveObjects(dkCollection* objects);
    virtual void updateObject(dkDataObject* object, const DKNVPair* options, long flags);
    virtual void updateObject(dkDataObject* object, long flags);
    virtual void updateObject(dkDataObject* object);
    virtual void updateObjects(dkCollection* objects, const DKNVPair* options, long flags);
    virtual void updateObjects(dkCollection* objects, long flags);
    virtual void updateObjects(dkCollection* objects);

    virtual void startTransaction();
    virtual void commit();
    virtual void rollback();
    virtual int isConnected();   // 0 in the base
    virtual DKString datastoreName() const;
    virtual DKString datastoreType() const;
    virtual DKString userName() const;
    virtual DKHandle* connection();
    virtual DKHandle* handle(const char* type);
    virtual dkCollection* listDataSources();
    virtual DKString* listDataSourceNames(long& count);
    virtual DKAny listServers();
    virtual DKAny listSchema();
    virtual DKAny listSchemaAttributes(const char* entity);
    virtual dkCollection* listSearchableEntities();   // listEntities()
    virtual dkCollection* listEntities();
    virtual DKString* listEntityNames(long& count);
    virtual DKString* listSearchableEntityNames(long& count);   // listEntityNames(count)
    virtual dkCollection* listEntityAttrs(const char* entity);
    virtual DKString* listEntityAttrNames(const char* entity, long& count);
    virtual dkCollection* listSearchTemplates();
    virtual DKString* listSearchTemplateNames(long& count);
    virtual dkDatastoreDef* datastoreDef();
    virtual DKString registerMapping(DKNVPair* source);   // the mapping's name
    virtual void unRegisterMapping(const char* name);
    virtual DKString* listMappingNames(long& count);
    virtual dkSchemaMapping* getMapping(const char* name);
    virtual dkExtension* getExtension(const char* name);
    virtual void addExtension(const char* name, dkExtension* extension);
    virtual void removeExtension(const char* name);
    virtual DKString* listExtensionNames(long& count);
    virtual DKDDO* createDDO(const char* entity, long flags);
    virtual void clearCache(long flags);
    virtual void clearCache();
    // The registry of services beside this datastore, made on first use and kept by the
    // datastore; DKDatastoreError 310 while not connected.
    virtual dkServiceMgr* serviceMgr();
    virtual DKString* listAvailableServices(long& count);
    virtual int setLocaleAndCodePage(char* locale, char* codePage);
    virtual void getLocaleAndCodePage(DKString& locale, DKString& codePage);
    // What the connection pool reads before handing the datastore out: 0 the connection is good,
    // 1 it is dead, 2 it must be made again, 3 the datastore cannot tell (the base answer).
    virtual short validateConnection();

protected:
    virtual void setDatastoreName(const char* datastoreName);
    virtual void setUserName(const char* userName);

    // The catalogue text of message 300, kept for connectors' own messages.
    PMessageText* messageText() const { return messageText_; }

private:
    DKString datastoreName_;
    DKString datastoreType_;
    DKString userName_;
    PMessageText* messageText_;   // owned
    dkServiceMgr* serviceMgr_;    // owned, made by serviceMgr()
};
