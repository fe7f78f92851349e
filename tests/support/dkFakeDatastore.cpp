// tests/support/dkFakeDatastore.cpp
//
// The bodies of the suites' stand-in repository: connecting by name, the entity list, the echoing
// evaluate, the recorded data-object calls with their injected failures, and the membership
// extension that records what the membership collections hand it.

#include "dkFakeDatastore.hpp"

#include <dk/DKException.hpp>
#include <dk/DKLinkCollection.hpp>
#include <dk/dkXDO.hpp>
#include <dk/dkThrow.hpp>

#include <algorithm>
#include <cstring>
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
    if (extension == Extension::none || std::strcmp(name, "DATASTORE_EXTENSION") != 0) return nullptr;
    return &membership;
}

namespace {
std::string idOf(const DKPid* pid) { return pid == nullptr || pid->getIdStringCount() < 1 ? "-" : pid->getPrimaryId().str(); }
std::string idOf(dkDataObject* o) { return o == nullptr ? "-" : idOf(o->getPidObject()); }
std::string idOf(DKLink* l) { return l == nullptr ? "-" : idOf(l->getSource()) + ">" + idOf(l->getTarget()); }
}  // namespace

FakeMembership::FakeMembership()
    : supported{"addToFolder", "removeFromFolder", "addChild", "removeChild", "addLink", "removeLink", "removeLinks",
                "addPart", "removePart"} {
    setName("DATASTORE_EXTENSION");
}

int FakeMembership::isSupported(const char* function) {
    return std::find(supported.begin(), supported.end(), function) != supported.end() ? 1 : 0;
}

std::string FakeMembership::pair(dkDataObject* owner, dkDataObject* member) { return idOf(owner) + " " + idOf(member); }

void FakeMembership::note(const std::string& function, const std::string& what) {
    calls.push_back(function + " " + what);
    if (function == failOn)
        dkThrowText<DKUsageError>(DKString("repository refused"), 303, "test/FakeMembership", function.c_str());
}

void FakeMembership::addLink(DKLink* link) { note("addLink", idOf(link)); }
void FakeMembership::removeLink(DKLink* link) { note("removeLink", idOf(link)); }
void FakeMembership::removeLinks(dkCollection* links) { note("removeLinks", std::to_string(links ? links->cardinality() : 0)); }
void FakeMembership::addPart(dkDataObject* item, dkXDO* part) { note("addPart", idOf(item) + " " + idOf(part ? part->getPid() : nullptr)); }
void FakeMembership::removePart(dkDataObject* item, dkXDO* part) {
    note("removePart", idOf(item) + " " + idOf(part ? part->getPid() : nullptr));
}

}  // namespace dktest
