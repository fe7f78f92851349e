// connectors/sqlite/PMaintenance.hpp
#pragma once

// The datastore's side of the maintenance interface (DKMaintenanceSQLITE.hpp). Internal to
// libdkdssqlite.

#include "DKMaintenanceSQLITE.hpp"

#include <string>
#include <vector>

class DKDatastoreSQLITE;

namespace dksqlite {

// The maintenance extension of one datastore: made by its first getExtension("SQLITE_MAINTENANCE"),
// owned by it and valid while it lives; every operation needs the datastore connected. Same
// thread rule as the datastore.
class PMaintenance : public DKMaintenanceSQLITE {
public:
    explicit PMaintenance(DKDatastoreSQLITE* ds);
    ~PMaintenance() override;

    DKString* check(short level, long& count) override;
    void backup(const char* file) override;

private:
    void checkCatalogue(std::vector<std::string>& problems, const char* function);

    DKDatastoreSQLITE* ds_;   // not owned: the owner
};

}  // namespace dksqlite
