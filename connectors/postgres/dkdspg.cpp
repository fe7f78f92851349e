// connectors/postgres/dkdspg.cpp
//
// The factory entry points of libdkdspg.so, as the connection pool and applications load them
// with PDynamicLoader: createObject and createObjectWithConfig make a new, unconnected
// DKDatastorePG for the class name "DKDatastorePG" and return null for any other name;
// destroyObject deletes one.

#include "DKDatastorePG.hpp"

#include <cstring>

namespace {
constexpr const char* kClassName = "DKDatastorePG";
}  // namespace

extern "C" __attribute__((visibility("default"))) dkDatastore* createObjectWithConfig(const char* className,
                                                                                     const char* config) {
    if (className == nullptr || std::strcmp(className, kClassName) != 0) return nullptr;
    // A bad configuration string throws DKUsageError 9206 rather than giving a null that could not
    // be told from an unknown class name.
    return new DKDatastorePG(dkpg::parseConfig(config));
}

extern "C" __attribute__((visibility("default"))) dkDatastore* createObject(const char* className) {
    return createObjectWithConfig(className, nullptr);
}

extern "C" __attribute__((visibility("default"))) void destroyObject(dkDatastore* datastore) { delete datastore; }
