// src/dk/coll/DKParts.cpp
//
// The parts collection of a document item: the tracked collection of content objects, and the
// immediate changes that go to the repository through the datastore extension. Content objects
// and the extension are reached through dk/coll/dkDataObjectAccess.hpp.

#include <dk/DKParts.hpp>

#include "dk/coll/dkMemberCheck.hpp"

#include <memory>

namespace {
constexpr const char* kSource = "dk/coll/DKParts";
}

DKParts::DKParts() : DKParts(PTracker::parts, "DKParts") {}

DKParts::DKParts(PTracker::Kind kind, const char* className)
    : PTrackedCollection(kind, className), extra(new PParts_Extra) {
    // Only the parts collection itself traces; a segmented one writes no lines.
    if (kind != PTracker::parts) extra->traceEnabled = extra->debugEnabled = 0;
    extra->trace("+ DKParts::DKParts() ", this);
    extra->trace("- DKParts::DKParts() ", this);
}

DKParts::~DKParts() {
    extra->trace("+ DKParts::~DKParts() ", this);
    releaseAll();
    extra->trace("- DKParts::~DKParts() ", this);
    delete extra;
}

dkDatastore* DKParts::memberDatastore(DKDDO* item, dkXDO* part, const char* source, const char* function,
                                      const char* nullText) {
    if (item == nullptr || part == nullptr) dkThrow<DKUsageError>(303, source, function, nullText);
    if (!dkMemberItemHolds(item, "DKParts", this)) dkThrow<DKUsageError>(420, source, function);
    return dkMemberDatastoreOrThrow(dkMemberObject(item), source, function);
}

void DKParts::addMember(DKDDO* item, dkXDO* part) {
    extra->trace("+ DKParts::addMember(DKDDO,dkXDO) ", this);
    extra->debug("DKParts::addMember(DKDDO,dkXDO) item: " + dkMemberAddress(item) + " part: " +
                 dkMemberAddress(part) + dkMemberAddress(this));
    dkDatastore* datastore = memberDatastore(item, part, kSource, "DKParts::addMember", ": DKParts::addMember() ");
    dkMemberRequire(datastore, dkMemberFunction::addPart, kSource, "DKParts::addMember");
    dkMemberApply(datastore, dkMemberFunction::addPart, {dkMemberObject(item), dkMemberObject(part)});
    DKSequentialCollection::addElement(DKAny(dkMemberObject(part)));
    extra->trace("- DKParts::addMember(DKDDO,dkXDO) ", this);
}

void DKParts::removeMember(DKDDO* item, dkXDO* part) {
    extra->trace("+ DKParts::removeMember(DKDDO,dkXDO) ", this);
    extra->debug("DKParts::removeMember(DKDDO,dkXDO) item: " + dkMemberAddress(item) + " part: " +
                 dkMemberAddress(part) + dkMemberAddress(this));
    dkDatastore* datastore = memberDatastore(item, part, kSource, "DKParts::removeMember", ": DKParts::removeMember() ");
    dkDataObjectBase* object = dkMemberObject(part);
    takeFirst([object](const DKAny& e) { return dkMemberElementObject(e) == object; }, kSource, "DKParts::removeMember");
    dkMemberRequire(datastore, dkMemberFunction::removePart, kSource, "DKParts::removeMember");
    dkMemberApply(datastore, dkMemberFunction::removePart, {dkMemberObject(item), object});
    extra->trace("- DKParts::removeMember(DKDDO,dkXDO) ", this);
}

DKSequentialCollection* DKParts::affiliated(dkCollection& c, unsigned long type) {
    std::unique_ptr<DKSequentialCollection> found(new DKSequentialCollection);
    std::unique_ptr<dkIterator> it(c.createIterator());
    while (it->more()) {
        const DKAny* e = it->next();
        unsigned long t = 0;
        if (e != nullptr && dkMemberAffiliatedType(dkMemberElementObject(*e), t) && t == type) found->addElement(*e);
    }
    return found.release();
}

DKSequentialCollection* DKParts::getAffiliatedTypes(unsigned long type) { return affiliated(*this, type); }
