// bench/dkSqliteBenchSupport.hpp
#pragma once

// What the SQLite connector's benchmarks share: the connector loaded once by name, as an
// application loads it, and new datastores made through its factory with a cheap password
// hash, so that connecting does not dominate short measures.

#include <dk/PDynamicLoader.hpp>
#include <dk/dkDatastore.hpp>

#include <memory>

namespace dkbench {

// A new, unconnected SQLite datastore. The loader stays open for the life of the program.
inline std::unique_ptr<dkDatastore> newSqliteDatastore() {
    static PDynamicLoader* loader = [] {
        auto* l = new PDynamicLoader("dkdssqlite");
        l->open();
        return l;
    }();
    using Create = dkDatastore* (*)(const char*, const char*);
    auto create = reinterpret_cast<Create>(loader->getProcAddress("createObjectWithConfig"));
    return std::unique_ptr<dkDatastore>(create("DKDatastoreSQLITE", "pbkdf2_iterations=1000"));
}

}  // namespace dkbench
