// include/dk/DKLinkCollection.hpp
#pragma once
#include <dk/DKFolder.hpp>
#include <dk/DKSequentialCollection.hpp>
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

class dkDataObject;
class dkDataObjectBase;
class DKLinkIterator;

// A typed link from a source item to a target item, optionally carried by a link item. Each end
// is owned by the link unless its shared flag is 1: the destructor deletes the owned ends, and
// setting an owned end to another object deletes the old one first (setting it to the object it
// holds keeps it). A link whose end is the owner of its collection should hold that end shared.
// Not copyable; one thread at a time.
class DK_API DKLink {
public:
    DKLink();
    DKLink(const char* typeName, dkDataObject* source, dkDataObject* target, int sourceShared, int targetShared);
    DKLink(const char* typeName, dkDataObject* source, dkDataObject* target, dkDataObject* linkItem,
           int sourceShared, int targetShared, int linkItemShared);
    DKLink(const DKLink&) = delete;
    DKLink& operator=(const DKLink&) = delete;

    virtual ~DKLink();
    virtual DKString getTypeName() const { return typeName; }
    virtual void setTypeName(const char* name);
    virtual dkDataObject* getSource() const { return source; }
    virtual void setSource(dkDataObject* object, int shared);
    virtual dkDataObject* getTarget() const { return target; }
    virtual void setTarget(dkDataObject* object, int shared);
    virtual dkDataObject* getLinkItem() const { return linkItem; }
    virtual void setLinkItem(dkDataObject* object, int shared);
    virtual int isSourceShared() const { return sourceShared; }
    virtual int isTargetShared() const { return targetShared; }
    virtual int isLinkItemShared() const { return linkItemShared; }

    void setSourceShared(int shared) { sourceShared = shared; }
    void setTargetShared(int shared) { targetShared = shared; }
    void setLinkItemShared(int shared) { linkItemShared = shared; }

protected:
    DKString typeName;
    dkDataObject* source;     // owned unless sourceShared
    dkDataObject* target;     // owned unless targetShared
    dkDataObject* linkItem;   // owned unless linkItemShared
    int sourceShared;
    int targetShared;
    int linkItemShared;
};

// The links of an item (the collection's owner), each element a DKAny holding a DKLink* (the
// void* form). Changes go at once to the repository (addMember, removeMember, removeAllMembers,
// through the datastore extension "DATASTORE_EXTENSION") or, with tracking on, into the track
// list; a removal record keeps a new link with unshared copies of the ends. With an owner, a
// tracked link's far end (the source, or the target when the source is the owner) must be a DDO
// of protocol 1, 5 or 13, and its pid string is the record's.
// Ownership: the collection owns its links; destroying it and removeAllElements delete them;
// removeElementAt and replaceElementAt leave the old link to the caller; addMember hands the link
// over; removeMember gives the link passed back and deletes an equal one found in its place. An
// end that is the owner is shared, so the owner is never deleted through its links. Not
// copyable; one thread at a time.
class DK_API DKLinkCollection : public PTrackedCollection {
public:
    DKLinkCollection();
    ~DKLinkCollection() override;

    // Appends link, then adds it in the repository: DKUsageError 303 for a null link or one
    // without source, 422 when the source has no datastore, 459 when the extension cannot add
    // links (all before any change). A failing addLink leaves the link in the collection.
    void addMember(DKLink* link);
    // Takes out the first link with link's source and target pid strings, then removes it in the
    // repository. 303, 422 as addMember, 419 when none matches, 459 (the link taken out).
    void removeMember(DKLink* link);
    // Removes every link in the repository at once, then deletes them here. An empty collection
    // does nothing; else the first link's source names the datastore (303 without source, 422,
    // 459 before any change).
    void removeAllMembers();
    // New iterators (the caller's) over the links whose source (outbound) or target (inbound)
    // is the owner.
    DKLinkIterator* createOutboundIterator() const;
    DKLinkIterator* createInboundIterator() const;

    virtual int isTracking() const { return tracker.tracking; }
    virtual void setTracking(int on) { tracker.tracking = on; }
    virtual void _deleteItemList() { tracker.clear(); }
    virtual dkCollection* listTracking() { return tracker.trackList; }
    virtual void** listAddedTracks(long& n) { return tracker.list('a', n); }
    virtual void** listRemovedTracks(long& n) { return tracker.list('r', n); }

    friend class DKLinkIterator;
};

// A cursor over the links of a DKLinkCollection that point away from its owner (direction 0) or
// to it (direction 1); a link matches when its source (or target) has the owner's pid string,
// empty without an owner, a null end counting as empty. Every move skips the links that do not
// match. Must not outlive its collection; one thread at a time.
class DK_API DKLinkIterator : public DKSequentialIterator {
public:
    DKLinkIterator(const DKLinkCollection& links, short direction, const dkDataObjectBase* owner);
    DKLinkIterator(const DKLinkIterator& other);
    ~DKLinkIterator() override;

    DKAny* next() override;
    void reset() override;
    int more() override;
    DKAny* previous() override;
    int setToFirst() override;
    int setToLast() override;
    int setToNext() override;
    int setToPrevious() override;
    DKAny* at() override;   // the current link when it matches, else null

protected:
    // The first matching node from node on, walking forward (or backward); null when none.
    const DKLinkCollection& links() const { return *static_cast<const DKLinkCollection*>(collection); }
    DKSequentialCollection::PNode* matchFrom(DKSequentialCollection::PNode* node, bool forward) const;

    short direction;
    const dkDataObjectBase* owner;   // not owned
};
