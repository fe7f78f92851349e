// src/dk/coll/DKChildCollection.cpp
//
// The child items of a parent DDO: the tracked collection, whose removal records keep deep
// copies (made beside the data objects, see dkMemberCopy), and the immediate changes through the
// datastore extension.

#include <dk/DKChildCollection.hpp>

#include "dk/coll/dkMemberCheck.hpp"

#include <memory>

namespace {
constexpr const char* kSource = "dk/coll/DKChildCollection";
}

DKChildCollection::DKChildCollection() : PTrackedCollection(PTracker::child, "DKChildCollection") {}

DKChildCollection::~DKChildCollection() = default;

void DKChildCollection::addMember(DKDDO* child) {
    if (child == nullptr)
        dkThrow<DKUsageError>(303, kSource, "DKChildCollection::addMember", ": DKChildCollection::addMember() ");
    dkDatastore* datastore = dkMemberDatastoreOrThrow(dkMemberObject(child), kSource, "DKChildCollection::addMember");
    dkMemberRequire(datastore, dkMemberFunction::addChild, kSource, "DKChildCollection::addMember");
    dkMemberApply(datastore, dkMemberFunction::addChild, {owner, dkMemberObject(child)});
    DKSequentialCollection::addElement(DKAny(dkMemberObject(child)));
}

void DKChildCollection::removeMember(DKDDO* child) {
    if (child == nullptr)
        dkThrow<DKUsageError>(303, kSource, "DKChildCollection::removeMember", ": DKChildCollection::removeMember() ");
    dkDataObjectBase* object = dkMemberObject(child);
    dkDatastore* datastore = dkMemberDatastoreOrThrow(object, kSource, "DKChildCollection::removeMember");
    const DKString pid = dkMemberPidString(object);
    const DKAny taken = takeFirst(
        [object, &pid](const DKAny& e) {
            dkDataObjectBase* o = dkMemberElementObject(e);
            return dkMemberIsDataObject(o) && (o == object || dkMemberPidString(o) == pid);
        },
        kSource, "DKChildCollection::removeMember");
    // Another object that stood for the child has no owner once out of the list.
    auto dropRemoved = [this, object](dkDataObjectBase* o) {
        if (o == object) return;
        tracker.forget(o);
        dkDeleteDataObject(o);
    };
    std::unique_ptr<dkDataObjectBase, decltype(dropRemoved)> guard(dkMemberElementObject(taken), dropRemoved);
    dkMemberRequire(datastore, dkMemberFunction::removeChild, kSource, "DKChildCollection::removeMember");
    dkMemberApply(datastore, dkMemberFunction::removeChild, {owner, object});
}
