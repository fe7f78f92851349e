// connectors/postgres/DKDatastoreDefPG.hpp
#pragma once

// The schema objects of the PostgreSQL connector. Internal to libdkdspg: applications reach them
// through dkDatastoreDef, dkEntityDef and dkAttrDef.

#include "PPgCatalogue.hpp"

#include <dk/dkDatastoreDef.hpp>

#include <map>
#include <memory>
#include <string>
#include <vector>

class DKDatastorePG;
class DKEntityDefPG;

// The schema of one repository: its entities. Kept by the datastore (datastoreDef()); the
// collections and name arrays its lists return belong to the caller, with the definitions in them.
// getEntity's definitions stay here until clearCache, or until their entity is stored or deleted
// through this object. One thread at a time, as its datastore.
class DKDatastoreDefPG : public dkDatastoreDef {
public:
    explicit DKDatastoreDefPG(DKDatastorePG* ds);
    ~DKDatastoreDefPG() override;

    using dkDatastoreDef::listEntities;
    using dkDatastoreDef::listEntityNames;

    dkEntityDef* createEntity() override;
    dkEntityDef* getEntity(const char* name) override;
    dkEntityDef* retrieveEntity(const char* name) override;
    dkCollection* listEntities(const DKNVPair*, long) override { return listEntities(); }
    dkCollection* listEntities(long) override { return listEntities(); }
    dkCollection* listEntities() override;
    DKString* listEntityNames(const DKNVPair*, long, long& count) override { return listEntityNames(count); }
    DKString* listEntityNames(long, long& count) override { return listEntityNames(count); }
    DKString* listEntityNames(long& count) override;
    dkCollection* listEntityAttrs(const char* entity) override;
    DKString* listEntityAttrNames(const char* entity, long& count) override;
    void add(dkEntityDef* entity) override;
    void del(dkEntityDef* entity) override;
    void deleteEntity(const char* name) override;
    void clearCache() override;

private:
    DKDatastorePG* pg() const;
    // entity and the sub-entities under it, parents first.
    static void flatten(DKEntityDefPG& entity, const std::string& parent, std::vector<dkpg::PNewEntity>& out);
    std::map<std::string, std::unique_ptr<dkEntityDef>> kept_;   // getEntity's, by lower-case name
};

// An entity definition. Attributes given to addAttr are kept (and owned) here until the entity
// is stored with add(), which stores them and its sub-entities (PEntityDefTree) with it in one
// transaction; an attribute addAttr refuses (bad name or type, repeated name) stays the caller's.
// add(dkAttrDef*) and deleteAttr change a stored entity at once.
class DKEntityDefPG : public PEntityDefTree {
public:
    explicit DKEntityDefPG(DKDatastorePG* ds);
    ~DKEntityDefPG() override;

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
    void load(const dkpg::PEntity& e);
    const PAttrDefList::Defs& attrs() const { return attrs_.defs(); }

private:
    std::unique_ptr<PEntityDefTree> blank() const override;
    void copyAttrsTo(PEntityDefTree& other) const override;
    DKDatastorePG* pg() const;
    PAttrDefList attrs_;
};

// An attribute definition; add() and del() store or drop it in its entity at once.
class DKAttrDefPG : public dkAttrDef {
public:
    DKAttrDefPG(DKDatastorePG* ds, dkEntityDef* entity);
    ~DKAttrDefPG() override;

    void add() override;
    void del() override;

    void load(const dkpg::PAttr& a, const char* entityName);
};
