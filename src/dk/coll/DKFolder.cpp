// src/dk/coll/DKFolder.cpp
//
// The change tracking that every membership collection shares (the tracker and the tracked
// sequential collection), and the folder built on it. Data objects, the log and the datastore
// extension sit in higher layers and are reached through dk/coll/dkDataObjectAccess.hpp.

#include <dk/DKFolder.hpp>
#include <dk/DKLinkCollection.hpp>

#include "dk/coll/dkMemberCheck.hpp"

#include <memory>

namespace {
constexpr const char* kSource = "dk/coll/DKFolder";
}

// ---------------------------------------------------------------------------------------------
// PTracker

PTracker::PTracker(Kind k, const char* cls)
    : tracking(1), addedCount(0), removedCount(0), trackList(new DKSequentialCollection), kind(k), className(cls) {}

PTracker::~PTracker() {
    clear();
    delete trackList;
}

const void* PTracker::objectOf(const DKAny& element, const dkDataObjectBase* owner, DKString* pidString) const {
    auto reject = [this](const DKString& detail) {
        const DKString source = DKString("dk/coll/") + className, function = DKString(className) + "::_updateItemList";
        dkThrow<DKUsageError>(400, source.c_str(), function.c_str(), detail);
    };
    if (kind == link) {
        auto* l = element.typeCode() == DKAny::tc_voidptr ? static_cast<DKLink*>(element.value()) : nullptr;
        DKString pid;
        if (l != nullptr && owner != nullptr) {
            // The far end is the one that is not the owner.
            const DKString ownerPid = dkMemberPidString(owner);
            dkDataObject* far = dkMemberEndPid(l->getSource()) == ownerPid ? l->getTarget() : l->getSource();
            if (!dkMemberIsDataObject(dkMemberObject(far))) l = nullptr;
            else pid = dkMemberEndPid(far);
        }
        if (l == nullptr) reject(DKString());
        if (pidString != nullptr) *pidString = pid;
        return l;
    }
    dkDataObjectBase* object = dkMemberElementObject(element);
    const short protocol = dkDataObjectProtocol(object);
    const bool content = kind == parts || kind == segments;
    if (content ? protocol != DKProtocolXDO && protocol != DKProtocolResource : !dkMemberIsDataObject(object)) {
        DKString detail;
        if (kind == folder)
            detail = object == nullptr ? DKString(": DKFolder element ")
                                       : ": " + dkMemberObjectType(object) + ", protocol : " + DKString(static_cast<long>(protocol));
        reject(detail);
    }
    if (pidString != nullptr) *pidString = dkMemberPidString(object);
    return object;
}

void PTracker::check(const DKAny& element, const dkDataObjectBase* owner) const { objectOf(element, owner, nullptr); }

namespace {

// Deletes what a tracker of kind holds through an untyped pointer.
void deleteHeld(PTracker::Kind kind, void* object) noexcept {
    if (kind == PTracker::link) delete static_cast<DKLink*>(object);
    else dkDeleteDataObject(static_cast<dkDataObjectBase*>(object));
}

}  // namespace

void PTracker::record(const DKAny& element, char action, const dkDataObjectBase* owner) {
    DKString pid;
    const void* object = objectOf(element, owner, &pid);
    DKSequentialIterator it(*trackList);
    while (DKAny* entry = it.next()) {
        auto* r = static_cast<PTrackRecord*>(entry->value());
        if (r->object != object) continue;
        if (r->action != action) {   // an addition and a removal of one object cancel
            --(r->action == 'a' ? addedCount : removedCount);
            if (r->action == 'r') deleteHeld(kind, r->object);
            delete r;
            trackList->removeElementAt(it);
        }
        return;
    }
    // A removal keeps a copy: the element's object may be deleted right after.
    void* held = const_cast<void*>(object);
    if (action == 'r') {
        if (kind == link) {
            auto* l = static_cast<const DKLink*>(object);
            std::unique_ptr<DKLink> copy(new DKLink(l->getTypeName().c_str(), nullptr, nullptr, 0, 0));
            copy->setSource(dkMemberEndCopy(l->getSource()), 0);
            copy->setTarget(dkMemberEndCopy(l->getTarget()), 0);
            copy->setLinkItem(dkMemberEndCopy(l->getLinkItem()), 0);
            held = copy.release();
        } else {
            held = dkMemberCopy(static_cast<const dkDataObjectBase*>(object), kind == child);
        }
    }
    auto dropHeld = [this, action](void* p) { if (action == 'r') deleteHeld(kind, p); };
    std::unique_ptr<void, decltype(dropHeld)> guard(held, dropHeld);
    std::unique_ptr<PTrackRecord> r(new PTrackRecord{pid, action, held});
    trackList->addElement(DKAny(static_cast<void*>(r.get())));
    r.release();
    guard.release();
    ++(action == 'a' ? addedCount : removedCount);
}

void PTracker::forget(const void* object) noexcept {
    DKSequentialIterator it(*trackList);
    while (DKAny* entry = it.next()) {
        auto* r = static_cast<PTrackRecord*>(entry->value());
        if (r->action != 'a' || r->object != object) continue;
        delete r;
        trackList->removeElementAt(it);
        --addedCount;
        return;
    }
}

void PTracker::release(DKAny& element) const noexcept {
    const DKAny::TypeCode held = kind == link ? DKAny::tc_voidptr : DKAny::tc_dobase;
    if (element.typeCode() != held) return;
    if (void* object = element.value()) deleteHeld(kind, object);
    element.setNull();
}

void PTracker::clear() noexcept {
    DKSequentialIterator it(*trackList);
    while (DKAny* entry = it.next()) {
        auto* r = static_cast<PTrackRecord*>(entry->value());
        if (r->action == 'r') deleteHeld(kind, r->object);
        delete r;
    }
    trackList->removeAllElements();
    addedCount = removedCount = 0;
}

void** PTracker::list(char action, long& n) const {
    const long wanted = action == 'a' ? addedCount : removedCount;
    n = 0;
    if (wanted < 1) return nullptr;
    void** objects = new void*[wanted];
    DKSequentialIterator it(*trackList);
    while (DKAny* entry = it.next()) {
        auto* r = static_cast<PTrackRecord*>(entry->value());
        if (r->action == action && n < wanted) objects[n++] = r->object;
    }
    return objects;
}

// ---------------------------------------------------------------------------------------------
// PTrackedCollection

PTrackedCollection::PTrackedCollection(PTracker::Kind kind, const char* className) : tracker(kind, className) {
    name = className;
}

PTrackedCollection::~PTrackedCollection() { releaseAll(); }

void PTrackedCollection::releaseAll() noexcept {
    for (PNode* node = head; node != nullptr; node = node->next)
        if (node->value != nullptr) tracker.release(*node->value);
    DKSequentialCollection::removeAllElements();
    tracker.clear();
}

void PTrackedCollection::addElement(const DKAny& element) {
    if (tracker.tracking) tracker.record(element, 'a', owner);
    DKSequentialCollection::addElement(element);
}

void PTrackedCollection::insertElementAt(const DKAny& element, dkIterator& it) {
    if (tracker.tracking) {
        checkedIterator(it, "DKSequentialCollection::insertElementAt");   // nothing recorded for a bad iterator
        tracker.record(element, 'a', owner);
    }
    DKSequentialCollection::insertElementAt(element, it);
}

void PTrackedCollection::replaceElementAt(const DKAny& element, dkIterator& it) {
    if (tracker.tracking) {
        const DKAny* old = retrieveElementAt(it);
        tracker.check(element, owner);
        if (old != nullptr) tracker.record(*old, 'r', owner);
        tracker.record(element, 'a', owner);
    }
    DKSequentialCollection::replaceElementAt(element, it);
}

void PTrackedCollection::removeElementAt(dkIterator& it) {
    if (tracker.tracking) {
        if (const DKAny* old = retrieveElementAt(it)) tracker.record(*old, 'r', owner);
    }
    DKSequentialCollection::removeElementAt(it);
}

void PTrackedCollection::removeAllElements() {
    if (tracker.tracking)   // every element is checked first, so a rejected one changes nothing
        for (PNode* node = head; node != nullptr; node = node->next)
            if (node->value != nullptr) tracker.check(*node->value, owner);
    for (PNode* node = head; node != nullptr; node = node->next) {
        if (node->value == nullptr) continue;
        if (tracker.tracking) tracker.record(*node->value, 'r', owner);
        tracker.release(*node->value);
    }
    DKSequentialCollection::removeAllElements();
}

DKAny PTrackedCollection::takeFirst(const std::function<bool(const DKAny&)>& match, const char* source,
                                    const char* function) {
    DKSequentialIterator it(*this);
    while (DKAny* element = it.next()) {
        if (!match(*element)) continue;
        DKAny taken(*element);
        DKSequentialCollection::removeElementAt(it);
        return taken;
    }
    dkThrow<DKUsageError>(419, source, function);
}

// ---------------------------------------------------------------------------------------------
// PFolder_Extra

PFolder_Extra::PFolder_Extra(const char* component) : log(nullptr), debugEnabled(0), traceEnabled(0) {
    log = dkMemberLog(component, traceEnabled, debugEnabled);
}

void PFolder_Extra::trace(const char* text, const void* collection) const {
    if (traceEnabled) dkMemberLogWrite(log, false, DKString(text) + dkMemberAddress(collection));
}

void PFolder_Extra::debug(const DKString& text) const {
    if (debugEnabled) dkMemberLogWrite(log, true, text);
}

// ---------------------------------------------------------------------------------------------
// DKFolder

DKFolder::DKFolder() : PTrackedCollection(PTracker::folder, "DKFolder"), extra(new PFolder_Extra("DKFolder")) {
    extra->trace("+ DKFolder::DKFolder() ", this);
    extra->trace("- DKFolder::DKFolder() ", this);
}

DKFolder::~DKFolder() {
    extra->trace("+ DKFolder::~DKFolder() ", this);
    releaseAll();
    extra->trace("- DKFolder::~DKFolder() ", this);
    delete extra;
}

void DKFolder::addMember(DKDDO* folder, DKDDO* member) {
    extra->trace("+ DKFolder::addMember(DKDDO,DKDDO) ", this);
    extra->debug("DKFolder::addMember(DKDDO,DKDDO) folder: " + dkMemberAddress(folder) + " member: " +
                 dkMemberAddress(member) + dkMemberAddress(this));
    if (folder == nullptr || member == nullptr)
        dkThrow<DKUsageError>(303, kSource, "DKFolder::addMember", ": DKFolder::addMember() ");
    if (!dkMemberItemHolds(folder, "DKFolder", this)) dkThrow<DKUsageError>(417, kSource, "DKFolder::addMember");
    dkDatastore* datastore = dkMemberDatastoreOrThrow(dkMemberObject(folder), kSource, "DKFolder::addMember");
    dkMemberRequire(datastore, dkMemberFunction::addToFolder, kSource, "DKFolder::addMember");
    dkMemberApply(datastore, dkMemberFunction::addToFolder, {dkMemberObject(folder), dkMemberObject(member)});
    DKSequentialCollection::addElement(DKAny(dkMemberObject(member)));
    extra->trace("- DKFolder::addMember(DKDDO,DKDDO) ", this);
}

void DKFolder::removeMember(DKDDO* folder, DKDDO* member) {
    extra->trace("+ DKFolder::removeMember(DKDDO,DKDDO) ", this);
    extra->debug("DKFolder::removeMember(DKDDO,DKDDO) folder: " + dkMemberAddress(folder) + " member: " +
                 dkMemberAddress(member) + dkMemberAddress(this));
    if (folder == nullptr || member == nullptr)
        dkThrow<DKUsageError>(303, kSource, "DKFolder::removeMember", ": DKFolder::removeMember() ");
    if (!dkMemberItemHolds(folder, "DKFolder", this)) dkThrow<DKUsageError>(417, kSource, "DKFolder::removeMember");
    dkDatastore* datastore = dkMemberDatastoreOrThrow(dkMemberObject(folder), kSource, "DKFolder::removeMember");
    dkDataObjectBase* memberObject = dkMemberObject(member);
    const DKString pid = dkMemberPidString(memberObject);
    const DKAny taken = takeFirst(
        [&pid](const DKAny& e) {
            dkDataObjectBase* o = dkMemberElementObject(e);
            return dkMemberIsDataObject(o) && dkMemberPidString(o) == pid;
        },
        kSource, "DKFolder::removeMember");
    // The element is out of the list: unless it is the member the caller holds, it goes now,
    // whether the repository call succeeds or not.
    dkDataObjectBase* removed = dkMemberElementObject(taken);
    auto dropRemoved = [this, memberObject](dkDataObjectBase* o) {
        if (o == memberObject) return;
        tracker.forget(o);
        dkDeleteDataObject(o);
    };
    std::unique_ptr<dkDataObjectBase, decltype(dropRemoved)> guard(removed, dropRemoved);
    dkMemberRequire(datastore, dkMemberFunction::removeFromFolder, kSource, "DKFolder::removeMember");
    dkMemberApply(datastore, dkMemberFunction::removeFromFolder, {dkMemberObject(folder), memberObject});
    guard.reset();
    extra->trace("- DKFolder::removeMember(DKDDO,DKDDO) ", this);
}
