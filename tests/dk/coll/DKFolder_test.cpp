// tests/dk/coll/DKFolder_test.cpp
//
// Folders, parts and child collections: the change tracking they share with the segmented parts
// (add, remove, replace, remove all, cancel, repeat, rejected), the immediate changes through the fake datastore's recording
// extension with their checks in order, copies of removed children, trace lines, and DDOs deleted
// holding full collections (ownership is checked under AddressSanitizer).

#include <dk/DKChildCollection.hpp>
#include <dk/DKDDO.hpp>
#include <dk/DKLogManager.hpp>
#include <dk/DKParts.hpp>
#include <dk/DKSegmentedParts.hpp>

#include "dkFakeDatastore.hpp"
#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <memory>

using namespace dktest;
using V = Texts;

namespace {
DKAny el(dkDataObjectBase* o) { return DKAny(o); }
dkDataObjectBase* ddo(const char* id) { return namedDDO(id); }
dkDataObjectBase* part(const char* id) { return new FakePart(id); }

template <class C>
void trackingSequence(dkDataObjectBase* (*make)(const char*), const std::vector<DKAny>& rejected) {
    C c;
    dkDataObjectBase *a = make("a"), *b = make("b");
    c.addElement(el(a));
    load(c, el(b));
    std::unique_ptr<dkIterator> it(c.createIterator());
    it->next();
    c.insertElementAt(el(a), *it);   // a repeat is recorded once
    for (const DKAny& r : rejected) EXPECT_EQ(400, usageError([&] { c.addElement(r); }));
    const std::string first = tracks(c) + str(c.cardinality());
    c.removeElementAt(*it);   // cancels the addition of a; the iterator moves on to b
    const std::string cancelled = tracks(c) + str(c.listTracking()->cardinality());
    c.replaceElementAt(el(make("e")), *it);   // b leaves with a copy recorded, e comes
    delete b;
    const std::string replaced = tracks(c);
    c.removeAllElements();   // a is recorded, e cancels; both are deleted
    EXPECT_EQ(V({"a/3", "/0", "e/b", "/ba"}), V({first, cancelled, replaced, tracks(c)}));
    c.addElement(el(make("k")));
    c.setTracking(0);
    c._deleteItemList();
    EXPECT_EQ("/0", tracks(c) + str(c.isTracking()));
}

struct RecordingLog : DKLogManager_default {
    using DKLogManager_default::DKLogManager_default;
    bool isEnabled_trace_entry_exit() override { return true; }
    bool isEnabled_debug() override { return true; }
    void trace_entry_exit(const char* m) override { lines.push_back(std::string("T ") + m); }
    void debug(const char* m) override { lines.push_back(std::string("D ") + m); }
    std::vector<std::string> lines;
};

// Gives the recording log to every named log asked for while it is current.
struct RecordingFactory : DKLogManagerFactory_default {
    using DKLogManagerFactory_default::makeLogManager;
    dkLog* makeLogManager(const char*) override { return &log; }
    RecordingLog log{"recording"};
};
}  // namespace

TEST(DKFolderTracking, SequencesOverFoldersChildrenAndParts) {
    const DKAny text("text"), none, content(part("x")), data(ddo("d"));
    trackingSequence<DKFolder>(ddo, {text, none, content});
    trackingSequence<DKChildCollection>(ddo, {text, content});
    trackingSequence<DKParts>(part, {none, data, text});
    trackingSequence<DKSegmentedParts>(part, {none, data, text});
    // The folder names what it refused; a removal copy keeps the pid and the object properties.
    DKFolder f;
    EXPECT_EQ(msg(400, ": DKFolder element "), failureOf([&] { f.addElement(text); }).text);
    auto* loaded = static_cast<DKDDO*>(ddo("L"));
    loaded->addProperty("kind", DKAny("memo"));
    load(f, el(loaded));
    f.removeAllElements();
    long count = 0;
    std::unique_ptr<void*[]> removed(f.listRemovedTracks(count));
    auto* copy = static_cast<DKDDO*>(static_cast<dkDataObjectBase*>(removed[0]));
    EXPECT_EQ(V({"L", "memo"}), V({idOf(copy), copy->getPropertyByName("kind").toString().str()}));
    delete static_cast<dkDataObjectBase*>(content.value());
    delete static_cast<dkDataObjectBase*>(data.value());
}

TEST(DKFolderMembers, ChecksComeInOrderBeforeAnyChangeAndTheExtensionIsCalled) {
    FakeDatastore ds;
    DKDDO *folder = namedDDO("F", &ds), *bare = namedDDO("B", &ds), *m = namedDDO("M"), *same = namedDDO("M");
    auto* f = new DKFolder;
    folder->addData("DKFolder", DKAny(static_cast<dkCollection*>(f)));
    auto add = [&](DKDDO* owner) { return str(usageError([&] { f->addMember(owner, m); })); };
    EXPECT_EQ(msg(303, ": DKFolder::addMember() "), failureOf([&] { f->addMember(folder, nullptr); }).text);
    std::string codes = add(bare);
    folder->setDatastore(nullptr);
    codes += add(folder);
    folder->setDatastore(&ds);
    ds.membership.unsupported = {"addToFolder"};
    for (auto mode : {FakeDatastore::Extension::none, FakeDatastore::Extension::base, FakeDatastore::Extension::membership}) {
        ds.extension = mode;
        codes += add(folder);
    }
    ds.membership.unsupported = {"removeFromFolder"};
    EXPECT_EQ(V({"417422459459459", "0"}), V({codes, str(f->cardinality() + ds.membership.calls.size())}));
    f->addMember(folder, m);
    EXPECT_EQ(V({"addToFolder F M", "1", "/"}), V({ds.membership.calls[0], str(f->cardinality()), tracks(*f)}));
    // Found by pid string, the element is deleted (a pending addition with it) unless it is the
    // member passed, even when the extension refuses (459) or fails.
    f->addElement(el(ddo("M")));
    EXPECT_EQ(msg(303, ": DKFolder::removeMember() "), failureOf([&] { f->removeMember(nullptr, same); }).text);
    std::string refused = str(usageError([&] { f->removeMember(folder, same); }));
    refused += str(usageError([&] { f->removeMember(folder, same); }));
    const std::string absent = str(usageError([&] { f->removeMember(folder, same); })) + tracks(*f);
    ds.membership.unsupported.clear();
    f->addMember(folder, same);
    f->removeMember(folder, same);
    ds.membership.failOn = "removeFromFolder";
    f->addMember(folder, same);
    const std::string failed = str(usageError([&] { f->removeMember(folder, same); }));
    EXPECT_EQ(V({"459459", "419/", "303", "0"}), V({refused, absent, failed, str(f->cardinality())}));
    // A folder DDO deleted with members and pending records frees them all.
    f->addElement(el(ddo("N")));
    load(*f, el(ddo("O")));
    for (DKDDO* d : {folder, bare, same}) delete d;
}

TEST(DKPartsAndChildrenMembers, MatchByIdentityOrPidAndCopyChildrenDeeply) {
    FakeDatastore ds;
    DKDDO* item = namedDDO("I", &ds);
    auto* parts = new DKParts;
    item->addData("DKParts", DKAny(static_cast<dkCollection*>(parts)));
    auto* p = new FakePart("p");
    FakePart twin("p");
    EXPECT_EQ(420, usageError([&] { DKParts().addMember(item, p); }));
    parts->addMember(item, p);
    EXPECT_EQ(419, usageError([&] { parts->removeMember(item, &twin); })) << "parts match by identity";
    parts->removeMember(item, p);
    parts->addElement(el(p));
    parts->addElement(el(new FakePart("q", 7)));
    std::unique_ptr<DKSequentialCollection> typed(parts->getAffiliatedTypes(7));
    EXPECT_EQ(1u, typed->cardinality());
    // Children: the owner is the parent whose "CHILD" item of type 1072 holds the collection.
    auto* children = new DKChildCollection;
    const unsigned short id = item->addData("CHILD", "kids");
    item->addDataProperty(id, "type", DKAny(static_cast<unsigned short>(1072)));
    item->setData(id, DKAny(static_cast<dkCollection*>(children)));
    DKDDO *c = namedDDO("C", &ds), *twinC = namedDDO("C", &ds), *orphan = namedDDO("X");
    EXPECT_EQ(msg(303, ": DKChildCollection::addMember() "), failureOf([&] { children->addMember(nullptr); }).text);
    EXPECT_EQ(422, usageError([&] { children->addMember(orphan); }));
    children->addMember(twinC);
    children->removeMember(c);   // twinC, found by its pid string, is deleted
    EXPECT_EQ(V({"addPart I p", "removePart I p", "addChild I C", "removeChild I C"}), ds.membership.calls);
    // A removed child is copied with its children: a new collection of its DDO children's copies
    // under a "CHILD" item of type 1072; elements of other kinds are left out.
    auto* grand = new DKChildCollection;
    for (dkDataObjectBase* g : {ddo("g1"), part("px"), ddo("g2")}) load(*grand, el(g));
    const unsigned short gid = c->addData("CHILD", "sub");
    c->addDataProperty(gid, "type", DKAny(static_cast<unsigned short>(1072)));
    c->setData(gid, DKAny(static_cast<dkCollection*>(grand)));
    load(*children, el(c));
    children->removeAllElements();
    long count = 0;
    std::unique_ptr<void*[]> removed(children->listRemovedTracks(count));
    auto* copy = static_cast<DKDDO*>(static_cast<dkDataObjectBase*>(removed[0]));
    std::unique_ptr<dkIterator> copies(static_cast<dkCollection*>(copy->getDataByName("CHILD", "sub").value())->createIterator());
    std::string ids = idOf(copy) + ":";
    while (copies->more()) ids += idOf(static_cast<dkDataObjectBase*>(copies->next()->value()));
    EXPECT_EQ(V({"C:g1g2", "1072"}), V({ids, copy->getDataPropertyByName("CHILD", "sub", "type").toString().str()}));
    delete item;
    delete orphan;
}

TEST(DKFolderTrace, LinesFollowTheLogAsItWasWhenTheCollectionWasMade) {
    DKFolder before;
    RecordingFactory factory;
    DKLogAccessor::setLogManagerFactory(&factory);
    std::string at;
    {
        DKFolder f;
        DKSegmentedParts quiet;   // writes nothing
        at = DKString(reinterpret_cast<long>(&f)).str();
        EXPECT_EQ(303, usageError([&] { f.addMember(nullptr, nullptr); }));
        EXPECT_EQ(303, usageError([&] { before.addMember(nullptr, nullptr); }));
    }
    DKLogAccessor::setLogManagerFactory(new DKLogManagerFactory_default);   // left for the rest of the run
    EXPECT_EQ(V({"T + DKFolder::DKFolder() " + at, "T - DKFolder::DKFolder() " + at, "T + DKFolder::addMember(DKDDO,DKDDO) " + at,
                 "D DKFolder::addMember(DKDDO,DKDDO) folder: 0 member: 0" + at, "T + DKFolder::~DKFolder() " + at,
                 "T - DKFolder::~DKFolder() " + at}),
              factory.log.lines);
}
