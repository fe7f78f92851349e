// connectors/sqlite/PSqliteTemplates.hpp
#pragma once

// Search templates and schema mappings kept in the repository's dk_templates,
// dk_template_criteria, dk_mappings and dk_mapping_attrs tables. Internal to libdkdssqlite.

#include "DKTemplatesSQLITE.hpp"

#include <dk/dkSchemaMapping.hpp>
#include <dk/dkSearchTemplate.hpp>

#include <memory>
#include <string>
#include <vector>

class DKDatastoreSQLITE;
struct sqlite3_stmt;

namespace dksqlite {

// A search template of one repository: an entity and its criteria (owned), each with the
// operators it allows. The operators and values chosen for a search are the object's own and
// never stored; add(), update() and del() change the stored template at once. createCQExpr ANDs
// the criteria that are set (operator and value) into one parametric leaf over the entity, named
// after the template. The datastore is not owned: a template outliving its datastore's connection
// fails its storage operations with DKDatastoreError 310. One thread at a time, the datastore's.
class PSearchTemplate : public dkSearchTemplate {
public:
    PSearchTemplate(DKDatastoreSQLITE* ds, const char* name, const char* entity);
    ~PSearchTemplate() override;

    long numberOfCriteria() override;
    dkCollection* listCriteria() override;
    DKString* listCriteriaNames(long& count) override;
    DKSearchCriteria* getCriteria(const char* name) override;
    // Takes criteria naming an attribute of the template's entity with at least one operator a
    // tree can run; else 303 and criteria stays with the caller.
    void addCriteria(DKSearchCriteria* criteria) override;
    void removeCriteria(const char* name) override;
    // An operator the criterion does not allow is 303; a value without an operator takes the
    // criterion's first (its default) one.
    void setOperator(const char* criteriaName, short op) override;
    short getOperator(const char* criteriaName) override;
    void setValue(const char* criteriaName, const char* value) override;
    void setValues(const char* criteriaName, const DKString* values, long count) override;
    DKString* getValues(const char* criteriaName, long& count) override;
    void clearValues(const char* criteriaName) override;
    void clearAllValues() override;
    int isComplete() override;   // some criterion is set
    void retrieve() override;    // the stored criteria again (chosen values are cleared)
    void add() override;         // stores a new template; 303 when the name is taken
    void update() override;      // replaces the stored template of this name
    void del() override;
    int exists() override;
    // 303 when no criterion is set.
    DKCQExpr* createCQExpr() override;
    void clearCache() override { clearAllValues(); }

    void load(sqlite3_stmt* criteriaRows);   // criteria from rows of (attr, operators, type)

private:
    DKSearchCriteria& criterion(const char* name, const char* function);
    void store(bool replace, const char* function);

    DKDatastoreSQLITE* ds_;   // not owned
    std::vector<std::unique_ptr<DKSearchCriteria>> criteria_;
};

// The attribute and schema mappings getMapping reads back: the common classes as they are (the
// schema mapping owns its attribute mappings, each its attribute definitions); the datastore keeps
// the schema mapping. One thread at a time, the datastore's.
class PAttrMapping : public dkAttrMapping {
public:
    explicit PAttrMapping(dkSchemaMapping* schema) : dkAttrMapping(schema) {}
};
class PSchemaMapping : public dkSchemaMapping {
public:
    PSchemaMapping() = default;
};

// The templates extension of one datastore (DKTemplatesSQLITE.hpp): owned by it; the templates it
// makes are the caller's. One thread at a time, the datastore's.
class PTemplates : public DKTemplatesSQLITE {
public:
    explicit PTemplates(DKDatastoreSQLITE* ds) : ds_(ds) { setName(kName); }
    dkSearchTemplate* createSearchTemplate(const char* name, const char* entity) override;

private:
    DKDatastoreSQLITE* ds_;   // not owned: the owner
};

}  // namespace dksqlite
