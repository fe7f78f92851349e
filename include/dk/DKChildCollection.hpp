// include/dk/DKChildCollection.hpp
#pragma once
#include <dk/DKFolder.hpp>
#include <dk/dkExport.hpp>

class DKDDO;

// The child items of a parent DDO (the collection's owner), held as the value of a "CHILD" data
// item whose "type" is 1072. Changes go at once to the repository (addMember, removeMember,
// through the datastore extension "DATASTORE_EXTENSION") or, with tracking on, into the track
// list; a removal record keeps a copy of the child with its own "CHILD" collections copied in
// turn. Ownership: the collection owns its children; destroying it and removeAllElements delete
// them; removeElementAt and replaceElementAt leave the old child to the caller; addMember hands
// the child over; removeMember gives the child passed back and deletes another object found in
// its place by pid string. A pending addition points at the live child. Not copyable; one thread
// at a time.
class DK_API DKChildCollection : public PTrackedCollection {
public:
    DKChildCollection();
    ~DKChildCollection() override;

    // Adds child under the owner in the repository, then here. DKUsageError 303 for a null child,
    // 422 when it has no datastore, 459 when the extension cannot add children; nothing changes
    // before.
    void addMember(DKDDO* child);
    // Takes out the first element that is child or has its pid string, then removes it in the
    // repository. 303, 422 as addMember; 419 when none matches; 459 (the element taken out).
    void removeMember(DKDDO* child);

    virtual int isTracking() const { return tracker.tracking; }
    virtual void setTracking(int on) { tracker.tracking = on; }
    virtual void _deleteItemList() { tracker.clear(); }
    virtual dkCollection* listTracking() { return tracker.trackList; }
    virtual void** listAddedTracks(long& n) { return tracker.list('a', n); }
    virtual void** listRemovedTracks(long& n) { return tracker.list('r', n); }
};
