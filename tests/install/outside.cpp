// tests/install/outside.cpp
//
// A program outside the source tree: built against an installed prefix only, it throws and catches
// a usage error and checks that the text came from the installed message catalogue, then loads the
// SQLite connector by its bare name and makes a datastore through its factory.

#include <dk/dk.hpp>

#include <cstdio>
#include <cstring>

namespace {

int catalogueText() {
    DKString op("dkDatastore::connect");
    try {
        dkThrow<DKUsageError>(341, "outside", "main", op);
    } catch (DKUsageError& e) {
        const char* text = e.text(0);
        std::printf("caught %s %lu: %s\n", e.name(), static_cast<unsigned long>(e.errorId()), text ? text : "(null)");
        if (!text || std::strstr(text, "Message file") || std::strstr(text, "not found")) return 2;
        if (!std::strstr(text, "dkDatastore::connect")) return 3;
        return static_cast<unsigned long>(e.errorId()) == 341 ? 0 : 4;
    }
    return 1;
}

int connectorByName() {
    try {
        PDynamicLoader loader("dkdssqlite");
        loader.open();
        auto create = reinterpret_cast<dkDatastore* (*)(const char*)>(loader.getProcAddress("createObject"));
        auto destroy = reinterpret_cast<void (*)(dkDatastore*)>(loader.getProcAddress("destroyObject"));
        dkDatastore* ds = create("DKDatastoreSQLITE");
        if (ds == nullptr) return 6;
        std::printf("connector %s: %s\n", loader.path().c_str(), ds->datastoreType().c_str());
        destroy(ds);
        return 0;
    } catch (DKException& e) {
        std::printf("connector: %s\n", e.text(0));
        return 5;
    }
}

}  // namespace

int main() {
    const int rc = catalogueText();
    return rc != 0 ? rc : connectorByName();
}
