// connectors/postgres/PPgTemplates.hpp
#pragma once

// Search templates kept in the repository's tables dk_templates and dk_template_criteria.
// Internal to libdkdspg.

#include "DKTemplatesPG.hpp"

#include <dk/PTemplateKit.hpp>

#include <string>

class DKDatastorePG;
struct pg_result;

namespace dkpg {

// A search template of one repository (the kit's PSearchTemplateBase): add(), update() and del()
// change the stored template at once, each in one transaction (a savepoint in the caller's). The
// datastore is not owned: a template outliving its datastore's connection fails its storage
// operations with DKDatastoreError 310. One thread at a time, the datastore's.
class PSearchTemplatePG : public PSearchTemplateBase {
public:
    PSearchTemplatePG(DKDatastorePG* ds, const char* name, const char* entity);

    void retrieve() override;   // the stored criteria again (chosen values are cleared)
    void add() override;        // stores a new template; 303 when the name is taken
    void update() override;     // replaces the stored template of this name; 303 when there is none
    void del() override;
    int exists() override;

    // Criteria from the rows (attr, operators) of a result, in order.
    void load(const pg_result* rows);

protected:
    std::string repositoryName() override;

private:
    void store(bool replace, const char* function);

    DKDatastorePG* ds_;   // not owned
};

// The templates extension of one datastore (DKTemplatesPG.hpp): owned by it; the templates it
// makes are the caller's. One thread at a time, the datastore's.
class PTemplatesPG : public DKTemplatesPG {
public:
    explicit PTemplatesPG(DKDatastorePG* ds) : ds_(ds) { setName(kName); }
    dkSearchTemplate* createSearchTemplate(const char* name, const char* entity) override;

private:
    DKDatastorePG* ds_;   // not owned: the owner
};

}  // namespace dkpg
