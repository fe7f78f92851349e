// include/dk/dkDatastoreDef.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

// The schema classes: what a datastore holds, as a connector reads it from its repository's
// catalogue. The bases keep the common fields and reject the catalogue operations with
// DKUsageError 341; a connector derives from them and overrides what it supports. The virtual
// operations of each class are in slot order. Pointers to the datastore, to the owning entity and
// to the administration object are never owned. Objects returned by create..., retrieve... and
// list... belong to the caller (arrays are delete[]d). A connector that overrides one overload of
// a name (listEntities, add, del ...) adds `using dkDatastoreDef::listEntities;` (and the like)
// to keep the others callable through its own type. One thread at a time.

class DKNVPair;
class dkAccessControl;
class dkAttrDef;
class dkAuthorizationMgmt;
class dkCollection;
class dkConfigurationMgmt;
class dkDatastore;
class dkDatastoreAdmin;
class dkEntityDef;
class dkUserManagement;
class dkWorkFlowMgmt;

// The datastore as a whole: its entities, search templates and administration entry point.
class DK_API dkDatastoreDef {
public:
    virtual ~dkDatastoreDef();

    dkDatastore* getDatastore() const { return datastore_; }
    void setDatastore(dkDatastore* datastore) { datastore_ = datastore; }
    // The datastore's own name and type; empty without a datastore.
    DKString datastoreName() const;
    DKString datastoreType() const;

    virtual dkEntityDef* createEntity();
    virtual dkEntityDef* getEntity(const char* name);
    virtual dkEntityDef* retrieveEntity(const char* name);
    virtual dkCollection* listEntities(const DKNVPair* options, long count);
    virtual dkCollection* listEntities(long flags);
    virtual dkCollection* listEntities();
    virtual DKString* listEntityNames(const DKNVPair* options, long optionCount, long& count);
    virtual DKString* listEntityNames(long flags, long& count);
    virtual DKString* listEntityNames(long& count);
    // Each returns the listEntities / listEntityNames form with the same arguments.
    virtual dkCollection* listSearchableEntities(const DKNVPair* options, long count);
    virtual dkCollection* listSearchableEntities(long flags);
    virtual dkCollection* listSearchableEntities();
    virtual DKString* listSearchableEntityNames(const DKNVPair* options, long optionCount, long& count);
    virtual DKString* listSearchableEntityNames(long flags, long& count);
    virtual DKString* listSearchableEntityNames(long& count);
    virtual dkCollection* listEntityAttrs(const char* entity);
    virtual DKString* listEntityAttrNames(const char* entity, long& count);
    virtual dkCollection* listSearchTemplates();
    virtual DKString* listSearchTemplateNames(long& count);
    virtual void add(dkEntityDef* entity);
    virtual void del(dkEntityDef* entity);
    virtual void deleteEntity(const char* name);
    // The administration object the connector set; DKUsageError 341 while there is none.
    virtual dkDatastoreAdmin* datastoreAdmin();
    virtual void clearCache();

protected:
    explicit dkDatastoreDef(dkDatastore* datastore);
    dkDatastoreDef(const dkDatastoreDef&) = delete;
    dkDatastoreDef& operator=(const dkDatastoreDef&) = delete;

    void setDatastoreAdmin(dkDatastoreAdmin* admin) { admin_ = admin; }

private:
    dkDatastoreAdmin* admin_;   // not owned, null until the connector sets it
    dkDatastore* datastore_;    // not owned
};

// An entity (item type) of a datastore, with its attributes and sub-entities.
class DK_API dkEntityDef {
public:
    dkEntityDef();
    explicit dkEntityDef(dkDatastore* datastore);
    virtual ~dkEntityDef();

    dkDatastore* getDatastore() const { return datastore_; }
    void setDatastore(dkDatastore* datastore) { datastore_ = datastore; }
    DKString datastoreName() const;   // the datastore's; empty without one
    DKString datastoreType() const;
    DKString getName() const { return name_; }
    void setName(const char* name) { name_ = name; }
    short getType() const { return type_; }
    void setType(short type) { type_ = type; }
    DKString getDescription() const { return description_; }
    void setDescription(const char* description) { description_ = description; }

    virtual short getId();
    virtual void setId(short id);
    virtual int hasSubEntities();   // 0 in the base
    virtual dkEntityDef* createSubEntity();
    virtual dkEntityDef* getSubEntity(const char* subEntityName);
    virtual dkEntityDef* retrieveSubEntity(const char* subEntityName);
    virtual dkCollection* listSubEntities();
    virtual DKString* listSubEntityNames(long& arraySize);
    virtual int isSearchable();     // 1 in the base
    virtual void add(dkAttrDef* attrDef);
    virtual void add();
    virtual void add(dkEntityDef* subEntityDef);
    virtual void del(dkAttrDef* attrDef);
    virtual void del();
    virtual void del(dkEntityDef* subEntityDef);
    virtual void deleteSubEntity(const char* subEntityName);
    virtual void addSubEntity(dkEntityDef* subEntityDef);
    virtual dkEntityDef* removeSubEntity(const char* subEntityName);   // the removed one
    virtual dkAttrDef* createAttr();
    virtual dkAttrDef* getAttr(const char* attrName);
    virtual dkAttrDef* retrieveAttr(const char* attrName);
    virtual dkCollection* listAttrs();
    virtual DKString* listAttrNames(long& arraySize);
    virtual void deleteAttr(const char* attrName);
    virtual void addAttr(dkAttrDef* attrDef);
    virtual dkAttrDef* removeAttr(const char* attrName);   // the removed one
    virtual DKString getParentEntityName();
    virtual void setParentEntityName(const char* parentEntityName);
    virtual void clearCache();
    virtual int isTextSearchable();
    virtual void setTextSearchable(int textSearchable);

private:
    dkDatastore* datastore_;   // not owned
    DKString name_;
    short type_;
    short id_;
    DKString description_;
    DKString parentEntityName_;
    int textSearchable_;
};

// An attribute of an entity. A new one is nullable, updatable and queryable, not text searchable,
// and has type, size and limits 0. Without an entity name of its own it answers its entity's
// name; setting its entity name renames the entity too.
class DK_API dkAttrDef {
public:
    dkAttrDef();
    explicit dkAttrDef(dkDatastore* datastore);
    virtual ~dkAttrDef();

    virtual dkDatastore* getDatastore();
    virtual void setDatastore(dkDatastore* datastore);
    virtual dkEntityDef* getEntity();
    virtual void setEntity(dkEntityDef* entity);
    virtual DKString datastoreName() const;   // the datastore's; empty without one
    virtual DKString datastoreType() const;
    virtual DKString getEntityName();
    virtual void setEntityName(const char* entityName);
    virtual DKString getName();
    virtual void setName(const char* name);
    virtual DKString getDescription();
    virtual void setDescription(const char* description);
    virtual unsigned short getType();   // a DKAny type code
    virtual void setType(unsigned short type);
    virtual long getSize();
    virtual void setSize(long size);
    virtual short getId();
    virtual void setId(short id);
    virtual int isNullable();
    virtual void setNullable(int nullable);
    virtual long getPrecision();
    virtual void setPrecision(long precision);
    virtual long getScale();
    virtual void setScale(long scale);
    virtual long getMax();
    virtual void setMax(long maximum);
    virtual long getMin();
    virtual void setMin(long minimum);
    virtual long getStringType();
    virtual void setStringType(long stringType);
    virtual int isUpdatable();
    virtual void setUpdatable(int updatable);
    virtual int isQueryable();
    virtual void setQueryable(int queryable);
    virtual void add();
    virtual void del();
    virtual int isTextSearchable();
    virtual void setTextSearchable(int textSearchable);
    virtual DKString getQualifiedName();   // getName()
    virtual void setQualifiedName(const char* qualifiedName);   // setName()
    // A new one-element array holding the name as given, count 1; the caller delete[]s it.
    virtual DKString* parsedQualifiedName(const char* qualifiedName, long& count);

protected:
    dkAttrDef(dkDatastore* datastore, dkEntityDef* entity);

private:
    dkDatastore* datastore_;   // not owned
    dkEntityDef* entity_;      // not owned
    DKString entityName_;
    DKString name_;
    unsigned short type_;
    long size_;
    short id_;
    long min_;
    long max_;
    long scale_;
    long precision_;
    long stringType_;
    int nullable_;
    int updatable_;
    int queryable_;
    int textSearchable_;
    DKString description_;
};

// A server of a datastore.
class DK_API dkServerDef {
public:
    virtual ~dkServerDef();

    virtual dkDatastore* datastore();
    virtual dkDatastore* getDatastore();
    virtual void setDatastore(dkDatastore* datastore);
    virtual DKString getName();
    virtual void setName(const char* name);
    virtual DKString datastoreType() const;   // the datastore's; empty without one

protected:
    explicit dkServerDef(dkDatastore* datastore);

private:
    dkDatastore* datastore_;   // not owned
    DKString name_;
};

// The entry point to a datastore's administration interfaces; each rejects with 341 until a
// connector overrides it.
class DK_API dkDatastoreAdmin {
public:
    dkDatastoreAdmin();
    virtual ~dkDatastoreAdmin();

    virtual dkDatastore* getDatastore();
    virtual void setDatastore(dkDatastore* datastore);
    virtual dkAccessControl* accessControl();
    virtual dkAuthorizationMgmt* authorizationMgmt();
    virtual dkConfigurationMgmt* configurationManagement();
    virtual dkUserManagement* userManagement();
    virtual dkWorkFlowMgmt* workFlowManagement();
    virtual void clearCache();

private:
    dkDatastore* datastore_;   // not owned
};

// An attribute of a mapped (federated) entity: it carries the name and type of the datastore it
// comes from instead of pointing at one.
class DK_API DKAttrMapDef : public dkAttrDef {
public:
    DKAttrMapDef();
    ~DKAttrMapDef() override;

    void setDatastoreName(const char* datastoreName) { datastoreName_ = datastoreName; }
    void setDatastoreType(const char* datastoreType) { datastoreType_ = datastoreType; }
    DKString datastoreName() const override;
    DKString datastoreType() const override;

private:
    DKString datastoreName_;
    DKString datastoreType_;
};
