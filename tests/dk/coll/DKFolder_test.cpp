// tests/dk/coll/DKFolder_test.cpp
//
// Folders, parts and child collections: the shared change tracking (add, remove, replace, remove
// all, cancel, repeat, rejected), the immediate changes through the fake datastore's recording
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

#include <functional>
#include <memory>

using dktest::FakeDatastore;
using dktest::FakePart;
using dktest::msg;
using dktest::usageError;
using V = dktest::Texts;

namespace {
using CountedDDO = dktest::Counted<DKDDO>;

// A new counted DDO with primary id `id` on ds.
DKDDO* ddo(const char* id, dkDatastore* ds = nullptr) {
    auto* d = new CountedDDO;
    DKPid pid(1L);
    pid.setPrimaryId(id);
    d->setPid(pid);
    d->setDatastore(ds);
    return d;
}
dkDataObjectBase* part(const char* id) { return new FakePart(id); }

// The primary id of what a track record or element points to.
std::string idOf(void* o) {
    auto* base = static_cast<dkDataObjectBase*>(o);
    if (auto* x = dynamic_cast<dkXDO*>(base)) return x->getPid()->getPrimaryId().str();
    return dynamic_cast<dkDataObject*>(base)->getPid().getPrimaryId().str();
}

// "added ids / removed ids" of the track list.
template <class C>
std::string tracks(C& c) {
    std::string out;
    for (char action : {'a', 'r'}) {
        long n = -1;
        std::unique_ptr<void*[]> objects(action == 'a' ? c.listAddedTracks(n) : c.listRemovedTracks(n));
        for (long i = 0; i < n; ++i) out += idOf(objects[i]);
        out += action == 'a' ? "/" : "";
    }
    return out;
}

template <class C>
void trackingSequence(const std::function<dkDataObjectBase*(const char*)>& make, int& alive, const std::vector<DKAny>& rejected) {
    const int before = alive;
    {
        C c;
        dkDataObjectBase *a = make("a"), *b = make("b"), *e = make("e");
        c.addElement(DKAny(a));
        c.addElement(DKAny(a));   // a repeat is recorded once
        c.setTracking(0);
        c.addElement(DKAny(b));   // as a connector loads it
        c.setTracking(1);
        EXPECT_EQ("a/", tracks(c));
        for (const DKAny& r : rejected) EXPECT_EQ(400, usageError([&] { c.addElement(r); }));
        EXPECT_EQ(3u, c.cardinality());
        std::unique_ptr<dkIterator> it(c.createIterator());
        it->next();
        c.removeElementAt(*it);   // cancels the addition of a
        EXPECT_EQ(V({"/", "0"}), V({tracks(c), std::to_string(c.listTracking()->cardinality())}));
        c.replaceElementAt(DKAny(e), *it);   // a leaves with a copy recorded, e comes
        delete a;                            // the caller's again
        EXPECT_EQ("e/a", tracks(c));
        c.removeAllElements();   // e cancels, b is recorded; both deleted
        EXPECT_EQ(V({"/ab", "0"}), V({tracks(c), std::to_string(c.cardinality())}));
        c.addElement(DKAny(make("k")));
        c.setTracking(0);
        c._deleteItemList();
        EXPECT_EQ(V({"/", "0"}), V({tracks(c), std::to_string(c.isTracking())}));
    }
    EXPECT_EQ(before, alive) << "the collection deletes its elements and its copies";
}

struct RecordingLog : DKLogManager_default {
    using DKLogManager_default::DKLogManager_default;
    bool isEnabled_trace_entry_exit() override { return true; }
    bool isEnabled_debug() override { return true; }
    void trace_entry_exit(const char* m) override { lines.push_back(std::string("T ") + m); }
    void debug(const char* m) override { lines.push_back(std::string("D ") + m); }
    std::vector<std::string> lines;
};

struct RecordingFactory : DKLogManagerFactory_default {
    using DKLogManagerFactory_default::makeLogManager;
    dkLog* makeLogManager(const char* name) override {
        if (std::string(name) == "DKFolder" || std::string(name) == "DKParts") return &log;
        return DKLogManagerFactory_default::makeLogManager(name);
    }
    RecordingLog log{"recording"};
};
}  // namespace

TEST(DKFolderTracking, SequencesOverFoldersChildrenAndParts) {
    const DKAny text("text"), none, content(part("x")), data(static_cast<dkDataObjectBase*>(new DKDDO));
    trackingSequence<DKFolder>([](const char* id) { return ddo(id); }, CountedDDO::alive, {text, none, content});
    trackingSequence<DKChildCollection>([](const char* id) { return ddo(id); }, CountedDDO::alive, {text, content});
    trackingSequence<DKParts>(part, FakePart::alive, {none, data, text});
    // The folder names what it refused; a removal copy keeps the pid and the object properties.
    DKFolder f;
    EXPECT_EQ(msg(400, ": DKFolder element "), dktest::failureOf([&] { f.addElement(text); }).text);
    EXPECT_NE(std::string::npos, dktest::failureOf([&] { f.addElement(content); }).text.find(", protocol : 12"));
    DKDDO* loaded = ddo("L");
    loaded->addProperty("kind", DKAny("memo"));
    f.setTracking(0);
    f.addElement(DKAny(static_cast<dkDataObjectBase*>(loaded)));
    f.setTracking(1);
    f.removeAllElements();
    long n = 0;
    std::unique_ptr<void*[]> removed(f.listRemovedTracks(n));
    auto* copy = static_cast<DKDDO*>(static_cast<dkDataObjectBase*>(removed[0]));
    EXPECT_EQ(V({"L", "memo"}), V({idOf(copy), copy->getPropertyByName("kind").toString().str()}));
    delete static_cast<dkDataObjectBase*>(content.value());
    delete static_cast<dkDataObjectBase*>(data.value());
}

TEST(DKFolderMembers, ChecksComeInOrderBeforeAnyChangeAndTheExtensionIsCalled) {
    const int start = CountedDDO::alive;
    FakeDatastore ds;
    auto& calls = ds.membership.calls;
    DKDDO* folder = ddo("F", &ds);
    auto* f = new DKFolder;
    folder->addData("DKFolder", DKAny(static_cast<dkCollection*>(f)));
    DKDDO* bare = ddo("B", &ds);   // no "DKFolder" item
    DKDDO* m = ddo("M");
    const int alive = CountedDDO::alive;
    auto add = [&](DKDDO* owner) { return usageError([&] { f->addMember(owner, m); }); };
    EXPECT_EQ(msg(303, ": DKFolder::addMember() "), dktest::failureOf([&] { f->addMember(folder, nullptr); }).text);
    EXPECT_EQ(417, add(bare));
    folder->setDatastore(nullptr);
    EXPECT_EQ(422, add(folder));
    folder->setDatastore(&ds);
    for (auto mode : {FakeDatastore::Extension::none, FakeDatastore::Extension::base}) {
        ds.extension = mode;
        EXPECT_EQ(459, add(folder));
    }
    ds.extension = FakeDatastore::Extension::membership;
    ds.membership.supported = {"removeFromFolder"};
    EXPECT_EQ(459, add(folder));
    EXPECT_EQ(0u, f->cardinality() + calls.size()) << "nothing changed";
    ds.membership.supported = {"addToFolder"};
    f->addMember(folder, m);
    EXPECT_EQ(V({"addToFolder F M", "1", "/"}), V({calls[0], std::to_string(f->cardinality()), tracks(*f)}));
    // Removal by pid string: the element found is deleted unless it is the member passed, even
    // when the extension refuses (459) or fails.
    DKDDO* same = ddo("M");
    EXPECT_EQ(msg(303, ": DKFolder::removeMember() "), dktest::failureOf([&] { f->removeMember(nullptr, same); }).text);
    EXPECT_EQ(459, usageError([&] { f->removeMember(folder, same); }));
    EXPECT_EQ(V({"0", std::to_string(alive)}), V({std::to_string(f->cardinality()), std::to_string(CountedDDO::alive)}));
    EXPECT_EQ(419, usageError([&] { f->removeMember(folder, same); }));
    ds.membership.supported = {"addToFolder", "removeFromFolder"};
    ds.membership.failOn = "removeFromFolder";
    f->addMember(folder, same);
    EXPECT_EQ(303, usageError([&] { f->removeMember(folder, same); })) << "the repository's refusal passes out";
    EXPECT_EQ(V({"0", std::to_string(alive)}), V({std::to_string(f->cardinality()), std::to_string(CountedDDO::alive)}));
    // A folder DDO deleted with members and pending records frees them all.
    DKDDO* n = ddo("N");
    f->addElement(DKAny(static_cast<dkDataObjectBase*>(n)));
    f->setTracking(0);
    f->addElement(DKAny(static_cast<dkDataObjectBase*>(ddo("O"))));
    f->setTracking(1);
    std::unique_ptr<dkIterator> it(f->createIterator());
    it->next();
    f->replaceElementAt(DKAny(static_cast<dkDataObjectBase*>(ddo("P"))), *it);
    delete n;   // the replacement gave it back
    delete folder;
    delete bare;
    delete same;
    EXPECT_EQ(start, CountedDDO::alive);
}

TEST(DKPartsAndChildrenMembers, MatchByIdentityOrPidAndKeepTheirOwnTexts) {
    const int parts0 = FakePart::alive;
    FakeDatastore ds;
    DKDDO* item = ddo("I", &ds);
    auto* parts = new DKParts;
    item->addData("DKParts", DKAny(static_cast<dkCollection*>(parts)));
    auto* p = new FakePart("p");
    FakePart twin("p");
    EXPECT_EQ(msg(303, ": DKParts::removeMember() "), dktest::failureOf([&] { parts->removeMember(item, nullptr); }).text);
    EXPECT_EQ(420, usageError([&] { DKParts().addMember(item, p); }));
    parts->addMember(item, p);
    EXPECT_EQ(419, usageError([&] { parts->removeMember(item, &twin); })) << "parts match by identity";
    parts->removeMember(item, p);
    EXPECT_EQ(V({"addPart I p", "removePart I p"}), ds.membership.calls);
    parts->addElement(DKAny(static_cast<dkDataObjectBase*>(p)));
    parts->addElement(DKAny(static_cast<dkDataObjectBase*>(new FakePart("q", 7))));
    std::unique_ptr<DKSequentialCollection> typed(parts->getAffiliatedTypes(7));
    EXPECT_EQ(V({"1", "0"}), V({std::to_string(typed->cardinality()),
                                std::to_string(std::unique_ptr<DKSequentialCollection>(parts->getAffiliatedTypes(3))->cardinality())}));

    // Children: the owner comes from the parent's "CHILD" item of type 1072.
    ds.membership.calls.clear();
    auto* children = new DKChildCollection;
    const unsigned short id = item->addData("CHILD", "kids");
    item->addDataProperty(id, "type", DKAny(static_cast<unsigned short>(1072)));
    item->setData(id, DKAny(static_cast<dkCollection*>(children)));
    DKDDO *c = ddo("C", &ds), *orphan = ddo("X");
    EXPECT_EQ(msg(303, ": DKChildCollection::addMember() "), dktest::failureOf([&] { children->addMember(nullptr); }).text);
    EXPECT_EQ(422, usageError([&] { children->addMember(orphan); }));
    children->addMember(c);
    children->removeMember(c);
    EXPECT_EQ(V({"addChild I C", "removeChild I C"}), ds.membership.calls);
    // A removed child is copied with its own children: a new collection of DDO copies under a
    // "CHILD" item of type 1072; other elements are left out.
    auto* grand = new DKChildCollection;
    grand->setTracking(0);
    for (dkDataObjectBase* g : {static_cast<dkDataObjectBase*>(ddo("g1")), part("px"), static_cast<dkDataObjectBase*>(ddo("g2"))})
        grand->addElement(DKAny(g));
    const unsigned short gid = c->addData("CHILD", "sub");
    c->addDataProperty(gid, "type", DKAny(static_cast<unsigned short>(1072)));
    c->setData(gid, DKAny(static_cast<dkCollection*>(grand)));
    children->setTracking(0);
    children->addElement(DKAny(static_cast<dkDataObjectBase*>(c)));
    children->setTracking(1);
    std::unique_ptr<dkIterator> it(children->createIterator());
    it->next();
    children->removeElementAt(*it);
    delete c;
    long n = 0;
    std::unique_ptr<void*[]> removed(children->listRemovedTracks(n));
    auto* copy = static_cast<DKDDO*>(static_cast<dkDataObjectBase*>(removed[0]));
    const DKAny sub = copy->getDataByName("CHILD", "sub");
    std::unique_ptr<dkIterator> copies(static_cast<dkCollection*>(sub.value())->createIterator());
    std::string ids;
    while (copies->more()) ids += idOf(copies->next()->value());
    EXPECT_EQ(V({"g1g2", "1072", "C"}),
              V({ids, copy->getDataPropertyByName("CHILD", "sub", "type").toString().str(), idOf(copy)}));
    delete item;
    delete orphan;
    EXPECT_EQ(parts0 + 1, FakePart::alive) << "the twin alone";
}

TEST(DKFolderTrace, LinesFollowTheLogAsItWasWhenTheCollectionWasMade) {
    DKFolder before;
    RecordingFactory factory;
    DKLogAccessor::setLogManagerFactory(&factory);
    std::vector<std::string> expected;
    {
        DKFolder f;
        DKSegmentedParts quiet;   // a segmented parts collection writes nothing
        const std::string at = DKString(reinterpret_cast<long>(&f)).str();
        EXPECT_EQ(303, usageError([&] { f.addMember(nullptr, nullptr); }));
        EXPECT_EQ(303, usageError([&] { before.addMember(nullptr, nullptr); }));
        expected = {"T + DKFolder::DKFolder() " + at, "T - DKFolder::DKFolder() " + at,
                    "T + DKFolder::addMember(DKDDO,DKDDO) " + at,
                    "D DKFolder::addMember(DKDDO,DKDDO) folder: 0 member: 0" + at,
                    "T + DKFolder::~DKFolder() " + at, "T - DKFolder::~DKFolder() " + at};
    }
    DKLogAccessor::setLogManagerFactory(new DKLogManagerFactory_default);   // left for the rest of the run
    EXPECT_EQ(expected, factory.log.lines);
}
