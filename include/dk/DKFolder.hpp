// include/dk/DKFolder.hpp
#pragma once
#include <dk/DKAny.hpp>
#include <dk/DKSequentialCollection.hpp>
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

#include <functional>

class DKDDO;
class dkDatastore;
class dkLog;

// One pending membership change of a tracked collection, as its track list holds it (a DKAny of
// tc_voidptr pointing to the record). action is 'a' for an addition, 'r' for a removal. object is
// what the element held (the dkDataObjectBase* of a data or content object, a DKLink* in link
// collections): for 'a' the live object itself, not owned; for 'r' a copy owned by the record.
struct DK_API PTrackRecord {
    DKString pidString;
    char action;
    void* object;
};

// The change tracking every membership collection carries: the tracking flag, the two counts and
// the owned track list, in that order, then what kind of element the collection takes. A change
// is recorded before the collection changes, so an element it rejects (DKUsageError 400) changes
// nothing. Records are found by the identity of their object: an addition and a removal of the
// same object cancel, a repeated one is recorded once. Turning tracking off keeps the records,
// so a pending addition may point at an object the caller has deleted since. One thread at a
// time.
class DK_API PTracker {
public:
    enum Kind : short { folder, parts, child, link, segments };

    PTracker(Kind kind, const char* className);
    ~PTracker();
    PTracker(const PTracker&) = delete;
    PTracker& operator=(const PTracker&) = delete;

    // DKUsageError 400 unless the element is one this collection tracks; owner is the
    // collection's (a link's far end is taken against it).
    void check(const DKAny& element, const dkDataObjectBase* owner) const;
    // Checks, then records the change (action 'a' or 'r').
    void record(const DKAny& element, char action, const dkDataObjectBase* owner);
    // Deletes what the element points to (a data object, or a link in link collections) and
    // nulls the element.
    void release(DKAny& element) const noexcept;
    // Drops the pending addition of object, which is about to be deleted.
    void forget(const void* object) noexcept;
    // Deletes every record with the copy it owns; both counts 0.
    void clear() noexcept;
    // A new array (the caller's, array delete) of the objects of the action's records in track
    // order, count set to their number; null and 0 when there are none.
    void** list(char action, long& n) const;

    int tracking;
    long addedCount;
    long removedCount;
    DKSequentialCollection* trackList;   // owned, with its records

private:
    const void* objectOf(const DKAny& element, const dkDataObjectBase* owner, DKString* pidString) const;

    Kind kind;
    const char* className;   // names the source and the location of a rejection
};

// The element operations of the sequential membership collections: each records the change
// when tracking, then does the plain list operation. The collection owns the objects its
// elements hold; destroying it and removeAllElements delete them, while removeElementAt and
// replaceElementAt leave the old object to the caller. A data object sits in one owning
// collection only. Not copyable; one thread at a time.
class DK_API PTrackedCollection : public DKSequentialCollection {
public:
    ~PTrackedCollection() override;

    void addElement(const DKAny& element) override;
    void insertElementAt(const DKAny& element, dkIterator& it) override;
    void replaceElementAt(const DKAny& element, dkIterator& it) override;
    void removeElementAt(dkIterator& it) override;
    void removeAllElements() override;
    int ownsElements() const override { return 1; }

protected:
    PTrackedCollection(PTracker::Kind kind, const char* className);
    // Deletes the objects of all elements, empties the list and the track list.
    void releaseAll() noexcept;
    // Takes the first element for which match is true out of the list, untracked, and returns
    // what it held; DKUsageError 419 located at function of source when none matches.
    DKAny takeFirst(const std::function<bool(const DKAny&)>& match, const char* source, const char* function);

    PTracker tracker;
};

// The log context of a folder or a parts collection: the log of its component, and whether
// trace entry/exit and debug lines are written, read once when the collection is made. The log
// is the log manager's, not owned.
class DK_API PFolder_Extra {
public:
    explicit PFolder_Extra(const char* component = "DKFolder");
    // text, then the collection's address as a decimal number, when the flag allows it.
    void trace(const char* text, const void* collection) const;
    void debug(const DKString& text) const;

    dkLog* log;
    int debugEnabled;
    int traceEnabled;
};

// A folder's membership: the DDOs (protocols 1, 5, 13) a folder item holds, as the value of its
// data item "DKFolder". Changes go either at once to the repository (addMember, removeMember,
// through the datastore extension "DATASTORE_EXTENSION") or, with tracking on, into the track
// list that the connector applies when the folder is updated and then clears (_deleteItemList).
// Ownership: the folder owns its members; destroying it and removeAllElements delete them;
// removeElementAt and replaceElementAt leave the old member to the caller; addMember hands the
// member to the folder; removeMember gives it back when it is the member passed, and deletes an
// element found by its pid string otherwise. A pending addition points at the live member.
// Trace and debug lines follow the "DKFolder" log as it was when the folder was made. Not
// copyable; one thread at a time.
class DK_API DKFolder : public PTrackedCollection {
public:
    DKFolder();
    ~DKFolder() override;

    // Adds member to the repository's folder, then to this collection. DKUsageError 303 for a
    // null argument, 417 when folder's "DKFolder" item does not hold this collection, 422 without
    // a datastore, 459 when the extension cannot add to folders; nothing changes before.
    virtual void addMember(DKDDO* folder, DKDDO* member);
    // Takes the first element with member's pid string out, then removes it from the repository's
    // folder. 303, 417, 422 as addMember; 419 when no element matches; 459 (element taken out).
    virtual void removeMember(DKDDO* folder, DKDDO* member);
    virtual int isTracking() const { return tracker.tracking; }
    virtual void setTracking(int on) { tracker.tracking = on; }
    virtual void _deleteItemList() { tracker.clear(); }
    // The track list itself, kept by the collection.
    virtual dkCollection* listTracking() { return tracker.trackList; }
    virtual void** listAddedTracks(long& n) { return tracker.list('a', n); }
    virtual void** listRemovedTracks(long& n) { return tracker.list('r', n); }

protected:
    PFolder_Extra* extra;   // owned
};
