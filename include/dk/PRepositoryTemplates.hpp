// include/dk/PRepositoryTemplates.hpp
#pragma once

// The search templates of a repository, the same on every connector that keeps them, for
// programs that load a connector at run time: every operation is pure virtual and every body
// inline, so a program calls it through the pointer a connected datastore hands out without
// linking the connector. Each connector hands it out under its own extension name
// (DKTemplatesSQLITE::kName, DKTemplatesPG::kName); a program that knows no connector finds it
// among listExtensionNames by its class:
//
//     std::unique_ptr<dkSearchTemplate> tpl(t->createSearchTemplate("ByTitle", "Doc"));
//     auto* c = new DKSearchCriteria("Doc", "title");
//     short ops[] = {DKOpCode::opEqual, DKOpCode::opLike};
//     c->setValidOperators(ops, 2);
//     tpl->addCriteria(c);
//     tpl->add();                                   // stored in the repository
//
// The datastore owns the extension (made on the first getExtension, valid while the datastore
// lives); each operation needs the datastore connected (DKDatastoreError 310 otherwise). Used by
// the datastore's thread only.

#include <dk/dkExport.hpp>
#include <dk/dkExtension.hpp>

class dkSearchTemplate;

class DK_API PRepositoryTemplates : public dkExtension {
public:
    ~PRepositoryTemplates() override {}

    // A new template of this repository (the caller's), named name, over entity, without
    // criteria: addCriteria gives it its criteria, add() stores it. Nothing is stored before add();
    // the names are checked there.
    virtual dkSearchTemplate* createSearchTemplate(const char* name, const char* entity) = 0;

protected:
    PRepositoryTemplates() {}
};
