// connectors/sqlite/DKDatastoreDefSQLITE.hpp
#pragma once

// The schema objects of the SQLite connector. Internal to libdkdssqlite: applications reach them
// through dkDatastoreDef, dkEntityDef and dkAttrDef.

#include "PCatalogue.hpp"

#include <dk/dkDatastoreDef.hpp>

#include <map>
#include <memory>
#include <string>
#include <vector>

class DKDatastoreSQLITE;
class DKEntityDefSQLITE;

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
    // Stores entity under parent (empty: none), then its sub-entities under it.
    void storeTree(DKEntityDefSQLITE& entity, const std::string& parent, const char* function);
    std::map<std::string, std::unique_ptr<dkEntityDef>> kept_;   // getEntity's, by lower-case name
};

// An entity definition. Attributes given to addAttr and sub-entities given to addSubEntity are
// kept (and owned) here until the entity is stored with add(), which stores them with it in one
// transaction; one addAttr or addSubEntity refuses (bad name or type, repeated name) stays the
// caller's. add(dkAttrDef*), deleteAttr, add(dkEntityDef*) and deleteSubEntity change a stored
// entity at once. A sub-entity's items are the children of its parent's items.
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

    // Sub-entities: getSubEntity's stay here; createSubEntity, retrieveSubEntity, removeSubEntity
    // and the list results are the caller's (the collection owns its definitions). An unknown
    // name is DKUsageError kMsgNoEntity.
    int hasSubEntities() override { return subs_.empty() ? 0 : 1; }
    dkEntityDef* createSubEntity() override;   // parent name set to this entity's
    dkEntityDef* getSubEntity(const char* subEntityName) override;
    dkEntityDef* retrieveSubEntity(const char* subEntityName) override;
    dkCollection* listSubEntities() override;
    DKString* listSubEntityNames(long& arraySize) override;
    void add(dkEntityDef* subEntityDef) override;   // stores it now under this stored entity
    void del(dkEntityDef* subEntityDef) override;
    void deleteSubEntity(const char* subEntityName) override;   // drops it, its items and its sub-entities
    void addSubEntity(dkEntityDef* subEntityDef) override;
    dkEntityDef* removeSubEntity(const char* subEntityName) override;
    // Fills this object from the catalogue entry (attributes included).
    void load(const dksqlite::PEntity& e);
    const PAttrDefList::Defs& attrs() const { return attrs_.defs(); }
    const std::vector<std::unique_ptr<DKEntityDefSQLITE>>& subEntities() const { return subs_; }
    std::unique_ptr<DKEntityDefSQLITE> copy() const;   // with copies of its attributes and sub-entities

private:
    DKDatastoreSQLITE* sqlite() const;
    std::vector<std::unique_ptr<DKEntityDefSQLITE>>::iterator findSub(const char* name);
    PAttrDefList attrs_;
    std::vector<std::unique_ptr<DKEntityDefSQLITE>> subs_;
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
