// connectors/sqlite/dkdssqlite.cpp
//
// The factory entry points of libdkdssqlite.so, as the connection pool and applications load
// them with PDynamicLoader: createObject and createObjectWithConfig make a new, unconnected
// DKDatastoreSQLITE for the class name "DKDatastoreSQLITE" and return null for any other name.
// destroyObject deletes one (the virtual destructor does the same); everything the library made
// must be gone before the library is unloaded.

#include "DKDatastoreSQLITE.hpp"
#include "PSqliteConfig.hpp"

#include <cstring>

namespace {
constexpr const char* kClassName = "DKDatastoreSQLITE";
}  // namespace

extern "C" __attribute__((visibility("default"))) dkDatastore* createObjectWithConfig(const char* className,
                                                                                     const char* config) {
    if (className == nullptr || std::strcmp(className, kClassName) != 0) return nullptr;
    // A bad configuration string throws DKUsageError 9005: the caller learns what is wrong
    // instead of getting a null it cannot tell from an unknown class name.
    return new DKDatastoreSQLITE(dksqlite::parseConfig(config));
}

extern "C" __attribute__((visibility("default"))) dkDatastore* createObject(const char* className) {
    return createObjectWithConfig(className, nullptr);
}

extern "C" __attribute__((visibility("default"))) void destroyObject(dkDatastore* datastore) { delete datastore; }
