// include/dk/dkSchemaMapping.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

#include <vector>

class dkAttrDef;
class dkCollection;
class dkSchemaMapping;

// How one or more mapped attributes (as the application sees them) map to one or more native
// attributes of a server, with the optional conversion functions named by function and library.
// A connector derives from it. The mapping owns the attributes it accepted (a refused one stays
// with the caller); returned attributes stay owned here; the schema mapping is not owned. Indexes
// count from 1. One thread at a time.
class DK_API dkAttrMapping {
public:
    dkAttrMapping(const dkAttrMapping&) = delete;
    dkAttrMapping& operator=(const dkAttrMapping&) = delete;
    virtual ~dkAttrMapping();

    virtual DKString getName();   // becomes the first mapped attribute's name when there is one
    virtual void setName(const char* name);
    virtual void addMappedAttr(dkAttrDef* attr);   // takes it; 433 when the name is held already
    virtual void removeMappedAttr(const char* name);
    virtual short numberOfMappedAttr() const;
    virtual dkAttrDef* getMappedAttr(short index) const;
    virtual dkAttrDef* getMappedAttr() const;
    virtual DKString getMappedAttrName(short index) const;
    virtual DKString getMappedAttrName() const;
    virtual DKString* listMappedAttrNames(long& count) const;
    // The map-to attributes are known by their qualified names; a name that cannot be read counts
    // as empty.
    virtual void addMapToAttr(dkAttrDef* attr);
    virtual void removeMapToAttr(const char* name);
    virtual short numberOfMapToAttr() const;
    virtual dkAttrDef* getMapToAttr(short index) const;
    virtual dkAttrDef* getMapToAttr() const;
    virtual DKString getMapToAttrName(short index) const;
    virtual DKString getMapToAttrName() const;
    virtual DKString* listMapToAttrNames(long& count) const;
    virtual void setToNative(const char* function);
    virtual DKString getToNative() const;
    virtual void setFromNative(const char* function);
    virtual DKString getFromNative() const;
    virtual void setToDLLName(const char* library);
    virtual DKString getToDLLName() const;
    virtual void setFromDLLName(const char* library);
    virtual DKString getFromDLLName() const;
    // 0 one to one without conversion, 1 one to one, 2 one to many, 3 many to one (each with both
    // conversion functions named), -1 unusable.
    virtual short checkConversion() const;

    void setSchemaMapping(dkSchemaMapping* schemaMapping);
    dkSchemaMapping* getSchemaMapping() const;

protected:
    dkAttrMapping();
    explicit dkAttrMapping(dkSchemaMapping* schemaMapping);

private:
    DKString name_;
    DKString fromNative_;
    DKString toNative_;
    DKString fromDLLName_;
    DKString toDLLName_;
    std::vector<dkAttrDef*> mappedAttrs_;   // owned
    std::vector<dkAttrDef*> mapToAttrs_;    // owned
    dkSchemaMapping* schemaMapping_;
};

// How an entity as the application sees it (the mapped entity) ties to a native entity of one
// server, with its attribute mappings. A connector derives from it and stores it. The schema
// mapping owns the attribute mappings it accepted; lookups return them still owned, and
// listAttrMappings() a new collection of void pointers to them (the caller deletes the collection
// only). One thread at a time.
class DK_API dkSchemaMapping {
public:
    dkSchemaMapping(const dkSchemaMapping&) = delete;
    dkSchemaMapping& operator=(const dkSchemaMapping&) = delete;
    virtual ~dkSchemaMapping();

    virtual DKString getName();   // "mapped entity;server;entity" while no name is set
    virtual void setName(const char* name);
    virtual DKString getServerName() const;
    virtual void setServerName(const char* name);
    virtual DKString getServerType() const;
    virtual void setServerType(const char* type);
    virtual DKString getEntityName() const;
    virtual void setEntityName(const char* name);
    virtual DKString getMappedEntityName() const;
    virtual void setMappedEntityName(const char* name);
    virtual short getMappedEntityType() const;
    virtual void setMappedEntityType(short type);
    virtual DKString getAssocMappedEntityName() const;
    virtual void setAssocMappedEntityName(const char* name);
    virtual DKString getAssocEntityName() const;
    virtual void setAssocEntityName(const char* name);
    virtual DKString getAssocServerName() const;
    virtual void setAssocServerName(const char* name);
    virtual void addAttrMapping(dkAttrMapping* mapping);   // takes it; 433 when the name is held
    virtual void removeAttrMapping(const char* name);      // deletes it
    virtual dkAttrMapping* getAttrMapping(const char* name);
    virtual dkCollection* listAttrMappings();
    virtual DKString* listAttrMappingNames(long& count);
    virtual void retrieve();
    virtual void update();
    virtual void add();
    virtual void del();
    virtual dkAttrMapping* getAttrMappingByMappedName(const char* name);
    virtual dkAttrMapping* getAttrMappingByMapToName(const char* name);
    virtual int isAssocEntityTextSearchable() const;
    virtual void setAssocEntityTextSearchable(int textSearchable);
    virtual void clearCache();   // 341 in the base

protected:
    dkSchemaMapping();

private:
    long indexOf(const char* name);   // of the attribute mapping of that name, or -1

    DKString name_;
    DKString serverName_;
    DKString serverType_;
    DKString entityName_;
    DKString mappedEntityName_;
    std::vector<dkAttrMapping*> attrMappings_;   // owned
    short mappedEntityType_;
    DKString assocMappedEntityName_;
    DKString assocEntityName_;
    DKString assocServerName_;
    int assocEntityTextSearchable_;
};
