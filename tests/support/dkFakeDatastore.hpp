// tests/support/dkFakeDatastore.hpp
#pragma once
#include <dk/dkDatastore.hpp>

#include <string>
#include <vector>

namespace dktest {

// The one stand-in for a repository, for suites of what sits on a datastore (data objects, query
// results, the datastore's own collection forms). It records every single-object call in each of
// its three forms ("add3", "add2", "add1", "retrieve3" ... "delete1"), connects by name, lists
// the entities Claims and Policies, and answers evaluate with "answer to <query>". A call on
// failAt throws what `failure` says. It owns nothing it is handed; one thread at a time. A suite
// that needs the base class's own answers uses a plain dkDatastore instead.
class FakeDatastore : public dkDatastore {
public:
    enum class Failure {
        none,
        notFound,     // DKDataObjectNotFound 376, as a repository reports a missing object
        refused,      // DKUsageError 303 through dkThrowText, text "repository refused"
        standard,     // std::runtime_error "backend gone": no exception of the library at all
    };

    struct Call {
        std::string op;
        dkDataObject* object;
        const DKNVPair* options;
        long flags;   // 0 for the one-argument forms
    };

    using dkDatastore::addObject;
    using dkDatastore::deleteObject;
    using dkDatastore::evaluate;
    using dkDatastore::retrieveObject;
    using dkDatastore::updateObject;

    FakeDatastore(const char* type = "FAKE", const char* server = "fakeServer") : dkDatastore(type, server) {}

    void connect(const char* name, const char* user, const char* password, const char* connectString) override;
    void disconnect() override { connected = 0; }
    int isConnected() override { return connected; }
    DKString* listEntityNames(long& count) override;
    DKAny evaluate(const char* query, short qlType, const DKNVPair* params) override;

    void addObject(dkDataObject* o, const DKNVPair* p, long f) override { note("add3", o, p, f); }
    void addObject(dkDataObject* o, long f) override { note("add2", o, nullptr, f); }
    void addObject(dkDataObject* o) override { note("add1", o, nullptr, 0); }
    void retrieveObject(dkDataObject* o, const DKNVPair* p, long f) override { note("retrieve3", o, p, f); }
    void retrieveObject(dkDataObject* o, long f) override { note("retrieve2", o, nullptr, f); }
    void retrieveObject(dkDataObject* o) override { note("retrieve1", o, nullptr, 0); }
    void updateObject(dkDataObject* o, const DKNVPair* p, long f) override { note("update3", o, p, f); }
    void updateObject(dkDataObject* o, long f) override { note("update2", o, nullptr, f); }
    void updateObject(dkDataObject* o) override { note("update1", o, nullptr, 0); }
    void deleteObject(dkDataObject* o, const DKNVPair* p, long f) override { note("delete3", o, p, f); }
    void deleteObject(dkDataObject* o, long f) override { note("delete2", o, nullptr, f); }
    void deleteObject(dkDataObject* o) override { note("delete1", o, nullptr, 0); }

    std::vector<Call> calls;
    dkDataObject* failAt = nullptr;
    Failure failure = Failure::none;
    int connected = 0;
    int evaluations = 0;
    short lastQueryType = 0;
    const DKNVPair* lastQueryParams = nullptr;

private:
    void note(const char* op, dkDataObject* o, const DKNVPair* p, long f);
};

}  // namespace dktest
