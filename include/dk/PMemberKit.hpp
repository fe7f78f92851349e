// include/dk/PMemberKit.hpp
#pragma once
#include <dk/DKAny.hpp>
#include <dk/DKChildCollection.hpp>
#include <dk/DKDDO.hpp>
#include <dk/DKFolder.hpp>
#include <dk/DKLinkCollection.hpp>
#include <dk/DKParts.hpp>
#include <dk/DKSegmentedParts.hpp>
#include <dk/PConnectorKit.hpp>
#include <dk/dkCollection.hpp>

#include <cstddef>
#include <cstring>
#include <memory>

// What connectors that keep membership share between an entity's type bits and its DDOs: the
// data items the bits add after the attributes, the collection each item holds, and their track
// lists. A connector keeps the rows; the kit only knows the DDO side. Static operations, no
// state; the collections are the DDO's, as setData makes them.
struct PMemberKit {
    // The entity type bits that give an entity's items membership: a document holds its content
    // parts (DKParts), a folder its members (DKFolder), a linked item its links
    // (DKLinkCollection, under "DKLinks"). Type 0 adds nothing.
    enum Kind : short { parts = 1, folder = 2, links = 4 };
    // Bit 8 beside bit 1: the document's "DKParts" holds a DKSegmentedParts, its parts kept in
    // numbered slots, empty ones too (PContentKit's segments). Without bit 1 it adds nothing.
    static constexpr short segmentedParts = 8;
    static constexpr bool segmented(short type) { return (type & parts) != 0 && (type & segmentedParts) != 0; }
    struct Item {
        Kind kind;
        const char* name;      // of the data item
        unsigned short type;   // its "type" property: a value of that type makes the DDO the collection's owner
    };
    static constexpr Item items[] = {{parts, "DKParts", 1024}, {folder, "DKFolder", 1071}, {links, "DKLinks", 1073}};

    // How many items the type bits add.
    static std::size_t count(short type) {
        std::size_t n = 0;
        for (const Item& m : items) n += (type & m.kind) != 0 ? 1 : 0;
        return n;
    }
    // The membership item of that name the type bits give, or null.
    static const Item* item(short type, const char* name) {
        for (const Item& m : items)
            if ((type & m.kind) != 0 && name != nullptr && std::strcmp(m.name, name) == 0) return &m;
        return nullptr;
    }
    // Adds the items of the type bits to shape, after what it holds.
    static void addItems(PEntityShape& shape, short type) {
        for (const Item& m : items) {
            if ((type & m.kind) == 0) continue;
            const unsigned short id = shape.addData(m.name);
            shape.addDataProperty(id, "type", DKAny(m.type));
        }
    }
    // The collection the item name of ddo holds, or null when it holds none.
    static dkCollection* held(const DKDDOBase& ddo, const char* name) {
        const unsigned short id = ddo.dataId(name);
        if (id == 0 || !ddo.isDataSet(id)) return nullptr;
        const DKAny v = ddo.getData(id);
        return v.typeCode() == DKAny::tc_collection ? static_cast<dkCollection*>(v.value()) : nullptr;
    }
    // A new, empty collection of kind for an entity of type (the caller's until given to a DDO).
    static dkCollection* newCollection(Kind kind, short type = 0) {
        switch (kind) {
        case parts: return segmented(type) ? new DKSegmentedParts : new DKParts;
        case folder: return new DKFolder;
        case links: return new DKLinkCollection;
        }
        return nullptr;
    }
    // The track list of c when it is a collection of kind's class, else null.
    static dkCollection* trackList(Kind kind, dkCollection* c) {
        if (auto* p = dynamic_cast<DKParts*>(c); p && kind == parts) return p->listTracking();
        if (auto* f = dynamic_cast<DKFolder*>(c); f && kind == folder) return f->listTracking();
        if (auto* l = dynamic_cast<DKLinkCollection*>(c); l && kind == links) return l->listTracking();
        return nullptr;
    }
    static void setTracking(Kind kind, dkCollection* c, int on) {
        if (auto* p = dynamic_cast<DKParts*>(c); p && kind == parts) p->setTracking(on);
        if (auto* f = dynamic_cast<DKFolder*>(c); f && kind == folder) f->setTracking(on);
        if (auto* l = dynamic_cast<DKLinkCollection*>(c); l && kind == links) l->setTracking(on);
    }
    // Whether any membership collection of ddo has changes to write. Segmented parts always
    // have: their slots are written whole at every write of the item.
    static bool pending(const DKDDOBase& ddo, short type) {
        for (const Item& m : items) {
            dkCollection* c = (type & m.kind) != 0 ? held(ddo, m.name) : nullptr;
            dkCollection* tracks = c != nullptr ? trackList(m.kind, c) : nullptr;
            if (tracks != nullptr && tracks->cardinality() > 0) return true;
            if (m.kind == parts && segmented(type) && dynamic_cast<DKSegmentedParts*>(c) != nullptr) return true;
        }
        return false;
    }
    // The children of a sub-entity's items: the parent's DDO holds a DKChildCollection in the data
    // item of namespace "CHILD" named like the sub-entity, its "type" property 1072.
    static constexpr const char* childNameSpace = "CHILD";
    static constexpr unsigned short childItemType = 1072;
    // Adds one child item per sub-entity name to shape, after what it holds.
    template <class Names>
    static void addChildItems(PEntityShape& shape, const Names& subEntities) {
        for (const auto& name : subEntities) {
            const unsigned short id = shape.addData(childNameSpace, name.c_str());
            shape.addDataProperty(id, "type", DKAny(childItemType));
        }
    }
    // The child collection the child item name of ddo holds, or null.
    static DKChildCollection* children(const DKDDOBase& ddo, const char* name) {
        const unsigned short id = ddo.dataId(childNameSpace, name);
        if (id == 0 || !ddo.isDataSet(id) || ddo.getData(id).typeCode() != DKAny::tc_collection) return nullptr;
        return dynamic_cast<DKChildCollection*>(static_cast<dkCollection*>(ddo.getData(id).value()));
    }
    // Whether any child collection of ddo has changes to write.
    static bool childrenPending(const DKDDOBase& ddo) {
        long n = 0;
        std::unique_ptr<unsigned short[]> ids(ddo.dataIdsByNameSpace(childNameSpace, n));
        for (long i = 0; i < n; ++i) {
            DKChildCollection* c = children(ddo, ddo.getDataName(ids[i]).c_str());
            if (c != nullptr && c->listTracking()->cardinality() > 0) return true;
        }
        return false;
    }
    // Empties every track list of ddo, once what they held is stored.
    static void clearTracks(DKDDOBase& ddo) noexcept {
        long n = 0;
        std::unique_ptr<unsigned short[]> ids(ddo.dataIdsByNameSpace(childNameSpace, n));
        for (long i = 0; i < n; ++i)
            if (DKChildCollection* c = children(ddo, ddo.getDataName(ids[i]).c_str())) c->_deleteItemList();
        for (const Item& m : items) {
            dkCollection* c = held(ddo, m.name);
            if (auto* p = dynamic_cast<DKParts*>(c); p && m.kind == parts) p->_deleteItemList();
            if (auto* f = dynamic_cast<DKFolder*>(c); f && m.kind == folder) f->_deleteItemList();
            if (auto* l = dynamic_cast<DKLinkCollection*>(c); l && m.kind == links) l->_deleteItemList();
        }
    }
};
