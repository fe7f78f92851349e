// include/dk/dkCollection.hpp
#pragma once
#include <dk/DKAny.hpp>
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

class dkIterator;
class dkDataObjectBase;

// The interface of every group of values: a named collection of DKAny elements walked with a
// dkIterator. A collection owns copies of its elements; what an element points to (a data object,
// another collection) stays with whoever made it, unless ownsElements() says the collection frees
// it. Collections are not copyable and do not lock: one thread at a time.
class DK_API dkCollection {
public:
    dkCollection() = default;
    dkCollection(const dkCollection&) = delete;
    dkCollection& operator=(const dkCollection&) = delete;

    virtual ~dkCollection();
    virtual unsigned long cardinality() const = 0;
    // A pointer to the element inside the collection, not a copy.
    virtual DKAny* retrieveElementAt(dkIterator& it) = 0;
    // A new iterator on this collection; the caller deletes it, before the collection.
    virtual dkIterator* createIterator() const = 0;
    virtual void addElement(const DKAny& element) = 0;
    virtual void insertElementAt(const DKAny& element, dkIterator& it) = 0;
    virtual void replaceElementAt(const DKAny& element, dkIterator& it) = 0;
    virtual void removeElementAt(dkIterator& it) = 0;
    virtual void removeAllElements() = 0;
    // Calls fn on every element in iteration order; a null fn does nothing.
    virtual void apply(void (*fn)(DKAny&));
    virtual DKString getName() const;
    virtual void setName(const char* newName);
    // The data object whose attribute this collection is (not owned), and that attribute's name.
    virtual void setOwner(dkDataObjectBase* newOwner) = 0;
    virtual dkDataObjectBase* getOwner() const = 0;
    virtual void setAssociatedAttrName(const char* attrName) = 0;
    virtual DKString getAssociatedAttrName() const = 0;
    // 1 when destroying this collection also deletes the objects its elements point to (query
    // results own their data objects; a federated collection owns its members). A holder of
    // collections that frees what they point to asks this first, so nothing is deleted twice.
    virtual int ownsElements() const;

protected:
    DKString name;
};

// A cursor over a dkCollection. It refers to its collection without owning it and must not
// outlive it. Moves and results are defined by each concrete iterator. Not copy-assignable.
class DK_API dkIterator {
public:
    explicit dkIterator(const dkCollection& coll);
    dkIterator(const dkIterator& other);
    dkIterator& operator=(const dkIterator&) = delete;

    virtual ~dkIterator();
    // The next element (a pointer into the collection) or null at the end.
    virtual DKAny* next() = 0;
    virtual void reset() = 0;
    // 1 when a following next() is expected to give an element.
    virtual int more() = 0;
    virtual int getType() const;   // 1 sequential, 2 federated

    dkCollection* getCollection() const { return collection; }

protected:
    dkCollection* collection;   // not owned
    int type;
};
