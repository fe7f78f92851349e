// connectors/postgres/DKTemplatesPG.hpp
#pragma once

// The search templates of a PostgreSQL repository under the connector's own extension name:
//
//     auto* t = static_cast<DKTemplatesPG*>(ds->getExtension(DKTemplatesPG::kName));
//
// PRepositoryTemplates.hpp says what it does, who owns it and its thread rules.

#include <dk/PRepositoryTemplates.hpp>

class DK_API DKTemplatesPG : public PRepositoryTemplates {
public:
    // The name the datastore hands the extension out under.
    static constexpr const char* kName = "PG_TEMPLATES";

    ~DKTemplatesPG() override {}

protected:
    DKTemplatesPG() {}
};
