// connectors/sqlite/PSqliteTemplates.hpp
#pragma once

// Search templates and schema mappings kept in the repository's dk_templates,
// dk_template_criteria, dk_mappings and dk_mapping_attrs tables. Internal to libdkdssqlite.

#include "DKTemplatesSQLITE.hpp"

#include <dk/PTemplateKit.hpp>

#include <memory>
#include <string>
#include <vector>

class DKDatastoreSQLITE;
struct sqlite3_stmt;

namespace dksqlite {

// A search template of one repository (the kit's PSearchTemplateBase), stored in dk_templates and
// dk_template_criteria: add(), update() and del() change the stored template at once. The
// datastore is not owned: a template outliving its datastore's connection fails its storage
// operations with DKDatastoreError 310. One thread at a time, the datastore's.
class PSearchTemplate : public PSearchTemplateBase {
public:
    PSearchTemplate(DKDatastoreSQLITE* ds, const char* name, const char* entity);

    void retrieve() override;    // the stored criteria again (chosen values are cleared)
    void add() override;         // stores a new template; 303 when the name is taken
    void update() override;      // replaces the stored template of this name
    void del() override;
    int exists() override;

    void load(sqlite3_stmt* criteriaRows);   // criteria from rows of (attr, operators)

protected:
    std::string repositoryName() override;

private:
    void store(bool replace, const char* function);

    DKDatastoreSQLITE* ds_;   // not owned
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
