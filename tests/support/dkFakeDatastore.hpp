// tests/support/dkFakeDatastore.hpp
#pragma once
#include <dk/dkDatastore.hpp>
#include <dk/dkDatastoreExt.hpp>
#include <dk/dkXDO.hpp>

#include "dkTestSupport.hpp"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

class DKDDO;
class DKLink;

namespace dktest {

// The primary id of a data or content object's pid ("-" for null or no pid); a link's as
// "<source>><target>".
std::string idOf(dkDataObjectBase* object);
std::string idOf(DKLink* link);
// A new DKDDO of ds whose pid has the primary id `id`.
DKDDO* namedDDO(const char* id, dkDatastore* ds = nullptr);
// Adds element to a tracking collection as a connector loads it: with tracking off.
template <class C>
void load(C& c, const DKAny& element) {
    c.setTracking(0);
    c.addElement(element);
    c.setTracking(1);
}
// The pending changes of a tracking collection: the ids of the additions, "/", of the removals.
template <class C>
std::string tracks(C& c) {
    long added = 0, removed = 0;
    std::unique_ptr<void*[]> a(c.listAddedTracks(added)), r(c.listRemovedTracks(removed));
    std::string out;
    for (long i = 0; i < added; ++i) out += idOf(static_cast<dkDataObjectBase*>(a[i]));
    out += "/";
    for (long i = 0; i < removed; ++i) out += idOf(static_cast<dkDataObjectBase*>(r[i]));
    return out;
}

// The membership extension of the fake ("DATASTORE_EXTENSION"): it supports every membership
// function but those in `unsupported` and records each call as "<function> <owner> <member>" by
// idOf, a link collection by its size. The function named failOn throws DKUsageError 303
// "repository refused" after recording. It owns nothing it is handed.
class FakeMembership : public dkDatastoreExt {
public:
    FakeMembership() { setName("DATASTORE_EXTENSION"); }
    int isSupported(const char* f) override { return std::count(unsupported.begin(), unsupported.end(), f) == 0; }
    void addToFolder(dkDataObject* folder, dkDataObject* m) override { note("addToFolder", idOf(folder), idOf(m)); }
    void removeFromFolder(dkDataObject* folder, dkDataObject* m) override { note("removeFromFolder", idOf(folder), idOf(m)); }
    void addChild(dkDataObject* parent, dkDataObject* child) override { note("addChild", idOf(parent), idOf(child)); }
    void removeChild(dkDataObject* parent, dkDataObject* child) override { note("removeChild", idOf(parent), idOf(child)); }
    void addLink(DKLink* link) override { note("addLink", idOf(link)); }
    void removeLink(DKLink* link) override { note("removeLink", idOf(link)); }
    void removeLinks(dkCollection* links) override { note("removeLinks", std::to_string(links->cardinality())); }
    void addPart(dkDataObject* item, dkXDO* part) override { note("addPart", idOf(item), idOf(part)); }
    void removePart(dkDataObject* item, dkXDO* part) override { note("removePart", idOf(item), idOf(part)); }

    std::vector<std::string> unsupported;
    std::vector<std::string> calls;
    std::string failOn;

private:
    void note(const std::string& function, const std::string& first, const std::string& second = "");
};

// The one stand-in for a repository, for suites of what sits on a datastore (data objects, query
// results, the datastore's own collection forms). It records every single-object call in each of
// its three forms ("add3", "add2", "add1", "retrieve3" ... "delete1"), connects by name, lists
// the entities Claims and Policies, and answers evaluate with "answer to <query>". A call on
// failAt throws what `failure` says. Its "DATASTORE_EXTENSION" is `membership`, or none (null,
// or the base's refusal) as `extension` says. It owns nothing it is handed; one thread at a time. A suite
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
    // "DATASTORE_EXTENSION" gives `membership` (as extension says); any other name null.
    dkExtension* getExtension(const char* name) override;

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
    enum class Extension { membership, none, base };   // ours, null, or the base's DKUsageError 341
    Extension extension = Extension::membership;
    FakeMembership membership;
    dkDataObject* failAt = nullptr;
    Failure failure = Failure::none;
    int connected = 0;
    int evaluations = 0;
    short lastQueryType = 0;
    const DKNVPair* lastQueryParams = nullptr;

private:
    void note(const char* op, dkDataObject* o, const DKNVPair* p, long f);
};

// A content object of the fake repository: its own pid (primary id `id`), an affiliated type and
// clone().
class FakePart : public dkXDO {
public:
    explicit FakePart(const char* id = "p", unsigned long type = 0) : own(1L), type(type) { own.setPrimaryId(id); }
    FakePart(const FakePart& other) : dkXDO(other), own(other.own), type(other.type) {}
    DKPid* getPid() override { return &own; }
    dkXDO* clone() const override { return new FakePart(*this); }
    unsigned long getAffiliatedType() const override { return type; }
    DKPid own;
    unsigned long type;
};

}  // namespace dktest
