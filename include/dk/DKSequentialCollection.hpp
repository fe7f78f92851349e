// include/dk/DKSequentialCollection.hpp
#pragma once
#include <dk/DKAny.hpp>
#include <dk/DKString.hpp>
#include <dk/dkCollection.hpp>
#include <dk/dkExport.hpp>

class dkSort;
class DKSequentialIterator;

// The default collection: a doubly linked list of nodes, each owning a copy of one DKAny element.
// The collection owns its nodes, their elements and its sort function; objects the elements point
// to (data objects, collections) are not freed. Sorting moves the element pointers between the
// nodes, never the nodes. Not copyable; one thread at a time.
class DK_API DKSequentialCollection : public dkCollection {
public:
    // A list node. value is owned by the collection and is null only for a node whose element
    // was never set.
    struct PNode {
        PNode* next;
        PNode* prev;
        DKAny* value;
    };

    DKSequentialCollection();
    ~DKSequentialCollection() override;

    unsigned long cardinality() const override { return count; }
    // The element operations take a DKSequentialIterator of this collection standing on an
    // element; any other iterator, or one with no current element, gives DKUsageError 382.
    DKAny* retrieveElementAt(dkIterator& it) override;
    dkIterator* createIterator() const override;
    void addElement(const DKAny& element) override;
    // Inserts a copy after the iterator's element and moves the iterator to it.
    void insertElementAt(const DKAny& element, dkIterator& it) override;
    void replaceElementAt(const DKAny& element, dkIterator& it) override;
    // Deletes the iterator's element and moves it to the following one (none after the last).
    // Other iterators standing on that element must not be used again.
    void removeElementAt(dkIterator& it) override;
    void removeAllElements() override;
    void setOwner(dkDataObjectBase* newOwner) override { owner = newOwner; }
    dkDataObjectBase* getOwner() const override { return owner; }
    void setAssociatedAttrName(const char* attrName) override;
    DKString getAssociatedAttrName() const override { return associatedAttrName; }

    // Orders the elements with s (the sort function when s is null); ascending unless the flag
    // is 0. Fewer than 2 elements are never sorted. No sorter at all gives DKUsageError 416. When
    // the sorter fails with a DKException, it is rethrown as a DKException located here and the
    // collection keeps its order.
    virtual void sort(dkSort* s, int ascending);
    // With the sort function when one is set; else by string when the first element is a string
    // (nothing when it is null); any other first element gives DKUsageError 416.
    virtual void sort(int ascending);
    // Takes ownership of s and deletes the previous sort function.
    virtual void setSortFunction(dkSort* s);
    virtual dkSort* getSortFunction() const;

protected:
    // The node an iterator of this collection stands on (null when none).
    static PNode* nodeOf(const DKSequentialIterator& it);
    // it as an iterator of this collection standing on a node, else DKUsageError 382 located at
    // function.
    DKSequentialIterator& checkedIterator(dkIterator& it, const char* function) const;
    void appendNode(const DKAny& element);
    void freeAll() noexcept;

    dkSort* sortFunction;          // owned
    dkDataObjectBase* owner;       // not owned
    DKString associatedAttrName;
    unsigned long count;
    PNode* head;
    PNode* tail;

    friend class DKSequentialIterator;
};

// A cursor over a DKSequentialCollection. It stands on one node, or before the first element
// (new or reset), or on nothing after running past either end; the int results are 1 or 0 and the
// element results are pointers into the collection or null. The usual loop is
// "while (it->more()) e = it->next();". Must not outlive its collection; one thread at a time.
class DK_API DKSequentialIterator : public dkIterator {
public:
    explicit DKSequentialIterator(const DKSequentialCollection& coll);
    DKSequentialIterator(const DKSequentialIterator& other);
    ~DKSequentialIterator() override;

    // From no current element: the first element; else the following one. Null past the end,
    // after which the iterator stands on nothing, so a further next() starts at the first again.
    DKAny* next() override;
    void reset() override;
    int more() override;
    // The preceding element; null when there is no current element or when it moves before the
    // first (the iterator then stands before the first).
    virtual DKAny* previous();
    virtual int setToFirst();
    virtual int setToLast();
    virtual int setToNext();
    virtual int setToPrevious();
    virtual DKAny* at();

protected:
    DKSequentialCollection::PNode* getCurrentNode() const { return currentNode; }
    void setCurrentNode(DKSequentialCollection::PNode* node) { currentNode = node; }
    const DKSequentialCollection& list() const {
        return *static_cast<const DKSequentialCollection*>(collection);
    }

    DKSequentialCollection::PNode* currentNode;
    int beforeFirst;

    friend class DKSequentialCollection;
    friend class DKFederatedCollection;
    friend class DKFederatedIterator;
};
