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

// An entity definition. Attributes given to addAttr are kept (and owned) here until the entity
// is stored with add(), which stores them and its sub-entities (PEntityDefTree) with it in one
// transaction; one addAttr refuses (bad name or type, repeated name) stays the caller's.
// add(dkAttrDef*) and deleteAttr change a stored entity at once. A sub-entity's items are the
// children of its parent's items.
class DKEntityDefSQLITE : public PEntityDefTree {
public:
    explicit DKEntityDefSQLITE(DKDatastoreSQLITE* ds);
    ~DKEntityDefSQLITE() override;

    using PEntityDefTree::add;
    using PEntityDefTree::del;

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

    // Fills this object from the catalogue entry (attributes and sub-entities included).
    void load(const dksqlite::PEntity& e);
    const PAttrDefList::Defs& attrs() const { return attrs_.defs(); }

private:
    std::unique_ptr<PEntityDefTree> blank() const override;
    void copyAttrsTo(PEntityDefTree& other) const override;
    DKDatastoreSQLITE* sqlite() const;
    PAttrDefList attrs_;
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
