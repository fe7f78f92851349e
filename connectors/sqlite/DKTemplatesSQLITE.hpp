// connectors/sqlite/DKTemplatesSQLITE.hpp
#pragma once

// The search templates of an SQLite repository under the connector's own extension name:
//
//     auto* t = static_cast<DKTemplatesSQLITE*>(ds->getExtension(DKTemplatesSQLITE::kName));
//
// PRepositoryTemplates.hpp says what it does, who owns it and its thread rules.

#include <dk/PRepositoryTemplates.hpp>

class DK_API DKTemplatesSQLITE : public PRepositoryTemplates {
public:
    // The name the datastore hands the extension out under.
    static constexpr const char* kName = "SQLITE_TEMPLATES";

    ~DKTemplatesSQLITE() override {}

protected:
    DKTemplatesSQLITE() {}
};
