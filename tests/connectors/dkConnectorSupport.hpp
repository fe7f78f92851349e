// tests/connectors/dkConnectorSupport.hpp
#pragma once

// What connector suites share: the description of a connector (ConnectorContext), its factory
// loaded as an application loads it (PDynamicLoader and its factory functions), and small helpers
// that define an entity, add and read back items and count rows through dkDatastore. The conformance suite
// (dkConformance.hpp) is built on it.

#include "dkTestSupport.hpp"

#include <dk/DKByteArray.hpp>
#include <dk/DKDDO.hpp>
#include <dk/DKDate.hpp>
#include <dk/DKDecimal.hpp>
#include <dk/DKException.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/DKPid.hpp>
#include <dk/DKQExpr.hpp>
#include <dk/DKResults.hpp>
#include <dk/DKSequentialCollection.hpp>
#include <dk/PDynamicLoader.hpp>
#include <dk/dkBlob.hpp>
#include <dk/dkCollection.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkDatastoreDef.hpp>
#include <dk/dkResultSetCursor.hpp>

#include <gtest/gtest.h>

#include <array>
#include <cfloat>
#include <climits>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class dkSearchTemplate;

namespace dkconf {

struct ConnectorContext {
    std::string library;     // what PDynamicLoader loads (a path or a bare name)
    std::string className;   // "DKDatastore" + the datastore type
    std::string config;      // configuration string; empty: createObject
    std::string user = "admin";
    std::string password = "s3cret";
    // A datastore name for a new repository in dir, and the connect strings that create one and
    // that connect to an existing one.
    std::function<std::string(const std::string& dir)> newRepository;
    std::string createConnect;
    std::string connect;
    // Writes something at path that is not a usable repository (damaged or foreign).
    std::function<void(const std::string& path)> damage;
    // A table or name queries must never read (where passwords or the catalogue live).
    std::string protectedTable;
    // Everything the repository holds, to tell that nothing changed; unset: its files' bytes.
    std::function<std::string(const std::string& repository)> contents;
    // What the repository keeps of a value: fraction digits of a timestamp's seconds, zero bytes
    // in strings, a timestamp's separator. A connector that cannot keep one refuses the value.
    int timestampDigits = 9;
    bool zeroBytes = true;
    bool separator = true;
    // Feature flags.
    bool transactions = true;
    bool sql = true;              // query language 4
    bool secondProcess = true;    // several processes on one repository
    bool parametric = false;      // query trees (DKCQExpr) with parametric leaves
    bool textQuery = false;       // text-searchable attributes, text queries (1), CONTAINS_TEXT in trees
    bool templates = false;       // search templates and schema mappings kept by the repository
    // A new search template (the caller's) named name over entity, from the connector's extension.
    std::function<dkSearchTemplate*(dkDatastore&, const char* name, const char* entity)> templateOf;
    // The connector's refusals of an unknown entity, an unknown attribute and a bad name.
    long noEntityMessage = 9008, noAttrMessage = 9010, badNameMessage = 9007;
    bool content = false;         // content parts of items, made by contentOf
    // Membership kept by the repository, on entities of the type codes below: folder members
    // (the DDO item "DKFolder"), links (the DDO item linksItem).
    bool folders = false;
    bool links = false;
    // Entities of documentType list their stored parts in the DDO item "DKParts" (0: none do), of
    // segmentedType in numbered slots (a DKSegmentedParts).
    short folderType = 0, linkedType = 0, documentType = 0, segmentedType = 0;
    std::string linksItem;
    // The rows of one of the connector's own tables, counted beside the connector, where the
    // object model cannot show that nothing was left behind.
    std::function<long(const std::string& repository, const char* table)> rows;
    // A new binary content object (the caller's) for part `part` of the item entity:id.
    std::function<dkBlob*(dkDatastore&, const char* entity, long id, long part)> contentOf;
};

// Content parts, folders (type 2), linked items (4), documents (1) and segmented documents
// (1 | 8), links in the DDO item DKLinks: what both connectors keep, numbered alike.
inline void keepsMembership(ConnectorContext& c) {
    c.content = c.folders = c.links = true;
    c.folderType = 2;
    c.linkedType = 4;
    c.documentType = 1;
    c.segmentedType = 1 | 8;
    c.linksItem = "DKLinks";
}

// What GoogleTest prints for a parameter.
inline void PrintTo(const ConnectorContext& c, std::ostream* os) { *os << c.className << " from " << c.library; }

// The factory, loaded once per process (a loader's reference keeps the library loaded; every
// object it made is deleted before the process ends).
using CreateObject = dkDatastore* (*)(const char*);
using CreateObjectWithConfig = dkDatastore* (*)(const char*, const char*);

inline PDynamicLoader& loaderFor(const std::string& library) {
    // Made once, whichever thread comes first; its reference keeps the library loaded.
    static PDynamicLoader* loader = [&] {
        auto* l = new PDynamicLoader(library.c_str());
        l->open();
        return l;
    }();
    return *loader;
}

struct Factory {
    CreateObject create;
    CreateObjectWithConfig createWithConfig;
};

inline const Factory& factoryFor(const std::string& library) {
    static const Factory f = [&] {
        PDynamicLoader& l = loaderFor(library);
        return Factory{reinterpret_cast<CreateObject>(l.getProcAddress("createObject")),
                       reinterpret_cast<CreateObjectWithConfig>(l.getProcAddress("createObjectWithConfig"))};
    }();
    return f;
}

inline std::unique_ptr<dkDatastore> newDatastore(const ConnectorContext& c) {
    const Factory& f = factoryFor(c.library);
    if (c.config.empty()) return std::unique_ptr<dkDatastore>(f.create(c.className.c_str()));
    return std::unique_ptr<dkDatastore>(f.createWithConfig(c.className.c_str(), c.config.c_str()));
}

using dktest::errorOf;

// The suite's entity: one attribute of every type a connector stores.
struct Attr {
    const char* name;
    unsigned short type;
    int text = 0;       // text-searchable
    int required = 0;   // not nullable
};
inline const std::vector<Attr>& allTypes() {
    static const std::vector<Attr> a = {
        {"title", DKAny::tc_string},     {"small", DKAny::tc_short},    {"count", DKAny::tc_long},
        {"ratio", DKAny::tc_double},     {"price", DKAny::tc_decimal},  {"day", DKAny::tc_date},
        {"clock", DKAny::tc_time},       {"stamp", DKAny::tc_timestamp}, {"body", DKAny::tc_bytearray}};
    return a;
}

// def (a new entity, attribute, privilege, group or list definition, the caller's) given its name.
template <class T>
T* named(T* def, const char* name) {
    def->setName(name);
    return def;
}

// A new attribute definition of e, the caller's until an entity keeps it.
inline dkAttrDef* newAttr(dkEntityDef& e, const Attr& a) {
    dkAttrDef* attr = e.createAttr();
    attr->setName(a.name);
    attr->setType(a.type);
    attr->setTextSearchable(a.text);
    if (a.required) attr->setNullable(0);
    return attr;
}

inline void defineEntity(dkDatastore& ds, const char* name, const std::vector<Attr>& attrs, short type = 0) {
    dkDatastoreDef* def = ds.datastoreDef();
    std::unique_ptr<dkEntityDef> e(named(def->createEntity(), name));
    e->setType(type);   // the connector's type code (0: a plain entity)
    for (const Attr& a : attrs) {
        std::unique_ptr<dkAttrDef> attr(newAttr(*e, a));
        e->addAttr(attr.get());   // the entity keeps it from now on, unless it refused it
        attr.release();
    }
    def->add(e.get());
}

// A tree of one parametric leaf: term over entity (each given as a new object it takes).
// Doc (defined before) holds Note children, each Note Remark children, each with a string "text";
// stored at once from one definition.
inline void defineChildren(dkDatastore& ds) {
    std::unique_ptr<dkEntityDef> doc(ds.datastoreDef()->retrieveEntity("Doc"));
    std::unique_ptr<dkEntityDef> note(named(doc->createSubEntity(), "Note"));
    std::unique_ptr<dkEntityDef> remark(named(note->createSubEntity(), "Remark"));
    for (dkEntityDef* e : {note.get(), remark.get()}) e->addAttr(newAttr(*e, {"text", DKAny::tc_string}));
    note->addSubEntity(remark.release());
    doc->add(note.get());
}

// The names a list call gives (f(n) returns an array of n, the caller's), separated by blanks.
template <class F>
std::string joinedNames(F f) {
    long n = -1;
    std::unique_ptr<DKString[]> names(f(n));
    std::string out;
    for (long i = 0; i < n; ++i) out += (i ? " " : "") + std::string(names[i].c_str());
    return out;
}

// A new item of entity with the named items set, added; the caller's.
inline std::unique_ptr<DKDDO> addedItem(dkDatastore& ds, const char* entity,
                                        std::initializer_list<std::pair<const char*, DKAny>> values = {}) {
    std::unique_ptr<DKDDO> d(ds.createDDO(entity, 0));
    for (const auto& [name, value] : values) d->setData(d->dataId(name), value);
    d->add();
    return d;
}

// blob (a new content object, the caller's) holding bytes.
inline std::unique_ptr<dkBlob> withContent(dkBlob* blob, const std::string& bytes) {
    std::unique_ptr<dkBlob> b(blob);
    b->setContent(DKByteArray(const_cast<char*>(bytes.data()), static_cast<long>(bytes.size()), 0));
    return b;
}

// A new DDO of pid filled by retrieve (the caller's).
inline std::unique_ptr<DKDDO> retrievedItem(dkDatastore& ds, const DKPid& pid, unsigned short size = 10) {
    auto d = std::make_unique<DKDDO>(&ds, pid, size);
    d->retrieve();
    return d;
}

inline DKDDO* newChild(dkDatastore& ds, const char* entity, const char* text) {
    DKDDO* d = ds.createDDO(entity, 0);
    d->setData(d->dataId("text"), DKAny(DKString(text)));
    return d;
}

inline DKCQExpr* treeOf(const char* entity, DKQTerm* term) {
    auto* sub = new DKQSubExpr;
    sub->setEntityName(entity);
    sub->setQueryTerm(term);
    auto* leaf = new DKQExpr;
    leaf->setQLType(3);
    leaf->addSubQuery(sub);
    auto* tree = new DKCQExpr(leaf);
    tree->setQLType(3);
    return tree;
}

// The leaf of a one-leaf tree, for joining leaves with AND, OR and NOT.
inline DKQExpr* takeLeaf(DKCQExpr* tree) {
    std::unique_ptr<DKCQExpr> owner(tree);
    DKQExpr* leaf = tree->getQueryExpr();
    tree->setQueryExpr(nullptr);   // the tree gives it up without deleting it
    return leaf;
}

// How many items tree finds (the tree is deleted).
inline unsigned long countTree(dkDatastore& ds, DKCQExpr* tree) {
    std::unique_ptr<DKCQExpr> owner(tree);
    std::unique_ptr<dkCollection> found(static_cast<dkCollection*>(ds.evaluate(tree)));
    return found->cardinality();
}

inline long countRows(dkDatastore& ds, const char* entity) {
    std::unique_ptr<dkResultSetCursor> c(ds.execute((std::string("SELECT count(*) AS n FROM ") + entity).c_str(), 4, nullptr));
    std::unique_ptr<DKDDO> d(c->fetchNext());
    return d ? static_cast<long>(d->getDataByName("n")) : -1;
}

// Items of "Note" (title and body text-searchable, tag not) for the text tests.
inline void addNotes(dkDatastore& ds, const std::vector<std::array<const char*, 3>>& notes) {
    defineEntity(ds, "Note", {{"title", DKAny::tc_string, 1}, {"body", DKAny::tc_string, 1}, {"tag", DKAny::tc_string}});
    for (const auto& n : notes) {
        std::unique_ptr<DKDDO> d(ds.createDDO("Note", 0));
        for (unsigned short i = 0; i < 3; ++i) d->setData(static_cast<unsigned short>(i + 1), DKAny(n[i]));
        d->add();
    }
}

// The titles a text query finds, in the order found.
inline std::vector<std::string> textFound(dkDatastore& ds, const char* query, const char* entity = nullptr) {
    DKNVPair options[] = {DKNVPair("Entity", DKAny(entity ? entity : "")), DKNVPair("")};
    std::unique_ptr<dkResultSetCursor> c(ds.execute(query, 1, entity ? options : nullptr));
    std::vector<std::string> titles;
    while (std::unique_ptr<DKDDO> d{c->fetchNext()}) titles.push_back(static_cast<DKString>(d->getDataByName("title")).str());
    return titles;
}

}  // namespace dkconf
