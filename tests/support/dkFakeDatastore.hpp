// tests/support/dkFakeDatastore.hpp
#pragma once
#include <dk/dkDatastore.hpp>
#include <dk/dkDatastoreExt.hpp>
#include <dk/dkXDO.hpp>

#include <string>
#include <vector>

namespace dktest {

// The membership extension of the fake ("DATASTORE_EXTENSION"): it supports the functions in
// `supported` (the nine membership functions at first) and records each call as "<function>
// <owner> <member>", an object by its pid's primary id ("-" for null), a link as "<source>><target>",
// a link collection by its size. The function named failOn throws DKUsageError 303 "repository
// refused" after recording. It owns nothing it is handed.
class FakeMembership : public dkDatastoreExt {
public:
    FakeMembership();
    int isSupported(const char* function) override;
    void addToFolder(dkDataObject* folder, dkDataObject* member) override { note("addToFolder", pair(folder, member)); }
    void removeFromFolder(dkDataObject* folder, dkDataObject* member) override { note("removeFromFolder", pair(folder, member)); }
    void addChild(dkDataObject* parent, dkDataObject* child) override { note("addChild", pair(parent, child)); }
    void removeChild(dkDataObject* parent, dkDataObject* child) override { note("removeChild", pair(parent, child)); }
    void addLink(DKLink* link) override;
    void removeLink(DKLink* link) override;
    void removeLinks(dkCollection* links) override;
    void addPart(dkDataObject* item, dkXDO* part) override;
    void removePart(dkDataObject* item, dkXDO* part) override;

    std::vector<std::string> supported;
    std::vector<std::string> calls;
    std::string failOn;

private:
    static std::string pair(dkDataObject* owner, dkDataObject* member);
    void note(const std::string& function, const std::string& what);
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
// clone(); `alive` counts the parts in existence.
class FakePart : public dkXDO {
public:
    explicit FakePart(const char* id = "p", unsigned long type = 0) : own(1L), type(type) { own.setPrimaryId(id); ++alive; }
    FakePart(const FakePart& other) : dkXDO(other), own(other.own), type(other.type) { ++alive; }
    ~FakePart() override { --alive; }
    DKPid* getPid() override { return &own; }
    dkXDO* clone() const override { return new FakePart(*this); }
    unsigned long getAffiliatedType() const override { return type; }
    static inline int alive = 0;

private:
    DKPid own;
    unsigned long type;
};

}  // namespace dktest
