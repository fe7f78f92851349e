// include/dk/DKFederatedCollection.hpp
#pragma once
#include <dk/DKSequentialCollection.hpp>
#include <dk/dkExport.hpp>

#include <vector>

class DKFederatedIterator;

// A collection of collections: each member is normally a tc_collection element pointing to a
// sub-collection (the results of one datastore). A DKFederatedIterator walks the leaves (elements
// that are not collections) of all members depth first; createMemberIterator() walks the members.
//
// Ownership: the federated collection owns its member collections. removeAllElements() and the
// destructor release every member that is a collection: when the member owns what its elements
// point to (ownsElements() is 1, as query results and federated collections do) it is simply
// deleted; otherwise the data objects its elements point to are deleted first, nested collections
// among its elements are released by the same rule, and then the member is deleted. So a data
// object is freed by exactly one holder. Members that are not collections, and data objects
// added directly as members, stay with the caller; so does a member taken out with
// removeElementAt through a member iterator. A collection must not be a member twice, nor contain
// itself. Sorting is not supported (DKUsageError 482). Not copyable; one thread at a time.
class DK_API DKFederatedCollection : public DKSequentialCollection {
public:
    DKFederatedCollection();
    ~DKFederatedCollection() override;

    // The number of leaves, counted by a walk; also kept in elementCount.
    unsigned long cardinality() const override;
    // With a member iterator (type 1) these act on the member list; with a federated iterator
    // (type 2) on the leaf it stands on, inside the collection that holds it. No current element
    // (member or leaf) gives DKUsageError 382.
    DKAny* retrieveElementAt(dkIterator& it) override;
    dkIterator* createIterator() const override;   // a DKFederatedIterator
    void addElement(const DKAny& member) override;
    void insertElementAt(const DKAny& element, dkIterator& it) override;
    void replaceElementAt(const DKAny& element, dkIterator& it) override;
    void removeElementAt(dkIterator& it) override;
    void removeAllElements() override;
    int ownsElements() const override { return 1; }

    // Every sort operation throws DKUsageError 482; setSortFunction deletes s first, as it
    // would have owned it.
    void sort(dkSort* s, int ascending) override;
    void sort(int ascending) override;
    void setSortFunction(dkSort* s) override;
    dkSort* getSortFunction() const override;

    // The number of members; also kept in memberCount.
    virtual unsigned long memberCardinality() const;
    // A DKSequentialIterator over the members; the caller deletes it.
    virtual dkIterator* createMemberIterator() const;

protected:
    void releaseMembers() noexcept;
    // The iterator standing on the element an operation acts on: the top of a federated
    // iterator's stack (holder is the collection that holds the leaf) or a member iterator
    // (holder is null). No current element gives DKUsageError 382 located at function.
    DKSequentialIterator& elementTarget(dkIterator& it, const char* function, dkCollection*& holder) const;

    mutable unsigned long elementCount;   // the last count of cardinality()
    mutable unsigned long memberCount;    // the last count of memberCardinality()
};

// Walks the leaves of a DKFederatedCollection as one list, depth first, descending into every
// element that is a collection and skipping empty ones, in both directions. It keeps a stack of
// iterators, one per level; the bottom is the member iterator, which stays until the federated
// iterator dies; the top stands on the current leaf. All iterators on the stack are owned.
//
// The member-level moves place the iterator on a collection element (at() is then null); the
// next setToNext() or setToPrevious() enters that collection at its first or last leaf. Must not
// outlive its collection; one thread at a time.
class DK_API DKFederatedIterator : public DKSequentialIterator {
public:
    explicit DKFederatedIterator(DKFederatedCollection& coll);
    // Stands where other stands, with iterators of its own.
    DKFederatedIterator(const DKFederatedIterator& other);
    ~DKFederatedIterator() override;

    // next() and previous() move to the following or preceding leaf and return it; null when the
    // walk is over in that direction. As with a sequential iterator, a walk that ran off the end
    // stays there, and one that ran before the first leaf starts again with next().
    DKAny* next() override;
    // Back before the first member; every level above the members is dropped.
    void reset() override;
    // 1 when some level of the walk has an element after the current one (a following member may
    // still turn out empty, and next() then gives null).
    int more() override;
    DKAny* previous() override;
    int setToFirst() override;
    int setToLast() override;
    int setToNext() override;
    int setToPrevious() override;
    DKAny* at() override;   // the current leaf, or null

    // Moves at the level of the collection holding the current leaf (the member level when the
    // iterator stands on a member): onto the first, last, following or preceding element there
    // that is a collection. 1 when one was found.
    virtual int setToFirstCollection();
    virtual int setToLastCollection();
    virtual int setToNextCollection();
    virtual int setToPreviousCollection();

protected:
    DKSequentialIterator* top() const { return stack.back(); }
    void push(DKSequentialIterator* it);   // takes it, also when pushing fails
    void pop() noexcept;
    void popAboveMembers() noexcept;
    // From the element the top stands on, down to a leaf (1) or out of elements (0).
    int descend(bool forward);
    int memberMove(bool forward, bool restart);
    // The leaf the top stands on, or null (also while entering a collection is pending).
    DKAny* currentLeaf() const;

    std::vector<DKSequentialIterator*> stack;   // owned; stack.front() is memberIterator
    DKSequentialIterator* memberIterator;
    bool enterPending;   // the top stands on a collection that the next move enters

    friend class DKFederatedCollection;
};
