// connectors/postgres/DKTemplatesPG.hpp
#pragma once

// The search templates of a PostgreSQL repository, for programs that load the connector at run
// time: every operation is pure virtual and every body inline, so a program calls it through the
// pointer a connected datastore hands out without linking libdkdspg.so:
//
//     auto* t = static_cast<DKTemplatesPG*>(ds->getExtension(DKTemplatesPG::kName));
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

class DK_API DKTemplatesPG : public dkExtension {
public:
    // The name the datastore hands the extension out under.
    static constexpr const char* kName = "PG_TEMPLATES";

    ~DKTemplatesPG() override {}

    // A new template of this repository (the caller's), named name, over entity, without
    // criteria: addCriteria gives it its criteria, add() stores it. Nothing is stored before add();
    // the names are checked there.
    virtual dkSearchTemplate* createSearchTemplate(const char* name, const char* entity) = 0;

protected:
    DKTemplatesPG() {}
};
