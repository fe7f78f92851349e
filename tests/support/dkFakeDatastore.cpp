// tests/support/dkFakeDatastore.cpp
//
// The bodies of the suites' stand-in repository: connecting by name, the entity list, the echoing
// evaluate and the recorded data-object calls with their injected failures.

#include "dkFakeDatastore.hpp"

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <stdexcept>

namespace dktest {

void FakeDatastore::connect(const char* name, const char* user, const char*, const char*) {
    setDatastoreName(name);
    setUserName(user);
    connected = 1;
}

DKString* FakeDatastore::listEntityNames(long& count) {
    count = 2;
    DKString* names = new DKString[2];
    names[0] = "Claims";
    names[1] = "Policies";
    return names;
}

DKAny FakeDatastore::evaluate(const char* query, short qlType, const DKNVPair* params) {
    ++evaluations;
    lastQueryType = qlType;
    lastQueryParams = params;
    return DKAny(DKString("answer to ") + query);
}

void FakeDatastore::note(const char* op, dkDataObject* o, const DKNVPair* p, long f) {
    calls.push_back({op, o, p, f});
    if (o != failAt) return;
    switch (failure) {
    case Failure::none:
        break;
    case Failure::notFound:
        throw DKDataObjectNotFound("not found", 376, "02000", 100);
    case Failure::refused:
        dkThrowText<DKUsageError>(DKString("repository refused"), 303, "test/FakeDatastore", op);
    case Failure::standard:
        throw std::runtime_error("backend gone");
    }
}

}  // namespace dktest
