// include/dk/DKParts.hpp
#pragma once
#include <dk/DKFolder.hpp>
#include <dk/dkExport.hpp>

class DKDDO;
class dkXDO;

// The log context of a parts collection: PFolder_Extra for the component "DKParts".
class DK_API PParts_Extra : public PFolder_Extra {
public:
    PParts_Extra() : PFolder_Extra("DKParts") {}
};

// The content parts of a document item: content objects (dkXDO, protocol 12, or resources, 13)
// held as the value of its data item "DKParts". Changes go at once to the repository (addMember,
// removeMember, through the datastore extension "DATASTORE_EXTENSION") or, with tracking on, into
// the track list, whose removal records keep clone()s of the parts; an element without an object
// is refused (DKUsageError 400). Ownership: the collection owns its parts; destroying it and
// removeAllElements delete them; removeElementAt and replaceElementAt leave the old part to the
// caller; addMember hands the part over and removeMember gives it back. A pending addition points
// at the live part. Trace and debug lines follow the "DKParts" log as it was when the collection
// was made. Not copyable; one thread at a time.
class DK_API DKParts : public PTrackedCollection {
public:
    DKParts();
    ~DKParts() override;

    // Adds part in the repository, then here. DKUsageError 303 for a null argument, 420 when
    // item's "DKParts" item does not hold this collection, 422 without a datastore, 459 when the
    // extension cannot add parts; nothing changes before.
    virtual void addMember(DKDDO* item, dkXDO* part);
    // Takes part itself out, then removes it in the repository; part returns to the caller. 303,
    // 420, 422 as addMember; 419 when part is not here; 459 (part taken out).
    virtual void removeMember(DKDDO* item, dkXDO* part);
    // A new collection (the caller's) of the elements whose content object (protocol 12) has the
    // affiliated type; the objects stay owned by this collection.
    virtual DKSequentialCollection* getAffiliatedTypes(unsigned long type);
    virtual int isTracking() const { return tracker.tracking; }
    virtual void setTracking(int on) { tracker.tracking = on; }
    virtual void _deleteItemList() { tracker.clear(); }
    virtual dkCollection* listTracking() { return tracker.trackList; }
    virtual void** listAddedTracks(long& n) { return tracker.list('a', n); }
    virtual void** listRemovedTracks(long& n) { return tracker.list('r', n); }

protected:
    DKParts(PTracker::Kind kind, const char* className);   // for DKSegmentedParts
    // The checks both parts collections make before an immediate change (303 with nullText,
    // 420, 422); gives the datastore.
    dkDatastore* memberDatastore(DKDDO* item, dkXDO* part, const char* source, const char* function,
                                 const char* nullText);
    // The elements of c whose object is a content object of the affiliated type, into a new
    // collection.
    static DKSequentialCollection* affiliated(dkCollection& c, unsigned long type);

    PParts_Extra* extra;   // owned
};
