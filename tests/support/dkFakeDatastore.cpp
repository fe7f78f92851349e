// tests/support/dkFakeDatastore.cpp
//
// The bodies of the suites' stand-in repository: connecting by name, the entity list, the echoing
// evaluate, the recorded data-object calls with their injected failures, and the membership
// extension that records what the membership collections hand it.

#include "dkFakeDatastore.hpp"

#include <dk/DKDDO.hpp>
#include <dk/DKException.hpp>
#include <dk/DKLinkCollection.hpp>
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

dkExtension* FakeDatastore::getExtension(const char* name) {
    if (extension == Extension::base) return dkDatastore::getExtension(name);
    return extension == Extension::membership && DKString(name) == "DATASTORE_EXTENSION" ? &membership : nullptr;
}

std::string idOf(dkDataObjectBase* object) {
    auto* x = dynamic_cast<dkXDO*>(object);
    auto* o = dynamic_cast<dkDataObject*>(object);
    const DKPid* pid = x != nullptr ? x->getPid() : o != nullptr ? o->getPidObject() : nullptr;
    return pid == nullptr || pid->getIdStringCount() < 1 ? "-" : pid->getPrimaryId().str();
}

std::string idOf(DKLink* link) { return idOf(link->getSource()) + ">" + idOf(link->getTarget()); }

DKDDO* namedDDO(const char* id, dkDatastore* ds) {
    auto* d = new DKDDO;
    DKPid pid(1L);
    pid.setPrimaryId(id);
    d->setPid(pid);
    d->setDatastore(ds);
    return d;
}

void FakeMembership::note(const std::string& function, const std::string& first, const std::string& second) {
    calls.push_back(function + " " + first + (second.empty() ? "" : " " + second));
    if (function == failOn)
        dkThrowText<DKUsageError>(DKString("repository refused"), 303, "test/FakeMembership", function.c_str());
}

}  // namespace dktest
