// src/dk/coll/DKLinkCollection.cpp
//
// Links between items: the link with its owned or shared ends, the tracked collection of an
// item's links with the immediate changes through the datastore extension, and the iterator that
// picks the links pointing away from the owner or to it.

#include <dk/DKLinkCollection.hpp>

#include "dk/coll/dkMemberCheck.hpp"

#include <memory>

namespace {

constexpr const char* kSource = "dk/coll/DKLinkCollection";

// Stores object in an end, deleting the end's old object when the end owns it and it changes.
void setEnd(dkDataObject*& end, int& endShared, dkDataObject* object, int shared) {
    if (end != nullptr && !endShared && end != object) dkDeleteDataObject(dkMemberObject(end));
    end = object;
    endShared = shared;
}

DKLink* linkOf(const DKAny* element) {
    return element != nullptr && element->typeCode() == DKAny::tc_voidptr ? static_cast<DKLink*>(element->value()) : nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// DKLink

DKLink::DKLink() : DKLink("", nullptr, nullptr, nullptr, 0, 0, 0) {}

DKLink::DKLink(const char* name, dkDataObject* s, dkDataObject* t, int sShared, int tShared)
    : DKLink(name, s, t, nullptr, sShared, tShared, 0) {}

DKLink::DKLink(const char* name, dkDataObject* s, dkDataObject* t, dkDataObject* item, int sShared, int tShared,
               int itemShared)
    : typeName(name), source(s), target(t), linkItem(item), sourceShared(sShared), targetShared(tShared),
      linkItemShared(itemShared) {}

DKLink::~DKLink() {
    setEnd(source, sourceShared, nullptr, 0);
    setEnd(target, targetShared, nullptr, 0);
    setEnd(linkItem, linkItemShared, nullptr, 0);
}

void DKLink::setTypeName(const char* name) { typeName = name; }
void DKLink::setSource(dkDataObject* object, int shared) { setEnd(source, sourceShared, object, shared); }
void DKLink::setTarget(dkDataObject* object, int shared) { setEnd(target, targetShared, object, shared); }
void DKLink::setLinkItem(dkDataObject* object, int shared) { setEnd(linkItem, linkItemShared, object, shared); }

// ---------------------------------------------------------------------------------------------
// DKLinkCollection

DKLinkCollection::DKLinkCollection() : PTrackedCollection(PTracker::link, "DKLinkCollection") {}

DKLinkCollection::~DKLinkCollection() = default;

void DKLinkCollection::addMember(DKLink* link) {
    if (link == nullptr || link->getSource() == nullptr)
        dkThrow<DKUsageError>(303, kSource, "DKLinkCollection::addMember");
    dkDatastore* datastore =
        dkMemberDatastoreOrThrow(dkMemberObject(link->getSource()), kSource, "DKLinkCollection::addMember");
    dkMemberRequire(datastore, dkMemberFunction::addLink, kSource, "DKLinkCollection::addMember");
    DKSequentialCollection::addElement(DKAny(static_cast<void*>(link)));
    dkMemberCall call;
    call.link = link;
    dkMemberApply(datastore, dkMemberFunction::addLink, call);
}

void DKLinkCollection::removeMember(DKLink* link) {
    if (link == nullptr || link->getSource() == nullptr)
        dkThrow<DKUsageError>(303, kSource, "DKLinkCollection::removeMember");
    dkDatastore* datastore =
        dkMemberDatastoreOrThrow(dkMemberObject(link->getSource()), kSource, "DKLinkCollection::removeMember");
    const DKString sourcePid = dkMemberEndPid(link->getSource());
    const DKString targetPid = dkMemberEndPid(link->getTarget());
    const DKAny taken = takeFirst(
        [&](const DKAny& e) {
            const DKLink* l = linkOf(&e);
            return l != nullptr && dkMemberEndPid(l->getSource()) == sourcePid && dkMemberEndPid(l->getTarget()) == targetPid;
        },
        kSource, "DKLinkCollection::removeMember");
    // An equal link found in place of the one passed has no owner once out of the list.
    std::unique_ptr<DKLink> other(linkOf(&taken) != link ? linkOf(&taken) : nullptr);
    tracker.forget(other.get());
    dkMemberRequire(datastore, dkMemberFunction::removeLink, kSource, "DKLinkCollection::removeMember");
    dkMemberCall call;
    call.link = link;
    dkMemberApply(datastore, dkMemberFunction::removeLink, call);
}

void DKLinkCollection::removeAllMembers() {
    if (count == 0) return;
    const DKLink* first = linkOf(head->value);
    if (first == nullptr || first->getSource() == nullptr)
        dkThrow<DKUsageError>(303, kSource, "DKLinkCollection::removeAllMembers");
    dkDatastore* datastore =
        dkMemberDatastoreOrThrow(dkMemberObject(first->getSource()), kSource, "DKLinkCollection::removeAllMembers");
    dkMemberRequire(datastore, dkMemberFunction::removeLinks, kSource, "DKLinkCollection::removeAllMembers");
    dkMemberCall call;
    call.links = this;
    dkMemberApply(datastore, dkMemberFunction::removeLinks, call);
    for (PNode* node = head; node != nullptr; node = node->next) {
        if (node->value == nullptr) continue;
        tracker.forget(linkOf(node->value));
        tracker.release(*node->value);
    }
    DKSequentialCollection::removeAllElements();
}

DKLinkIterator* DKLinkCollection::createOutboundIterator() const { return new DKLinkIterator(*this, 0, owner); }

DKLinkIterator* DKLinkCollection::createInboundIterator() const { return new DKLinkIterator(*this, 1, owner); }

// ---------------------------------------------------------------------------------------------
// DKLinkIterator

DKLinkIterator::DKLinkIterator(const DKLinkCollection& links, short d, const dkDataObjectBase* o)
    : DKSequentialIterator(links), direction(d), owner(o) {}

DKLinkIterator::DKLinkIterator(const DKLinkIterator& other) = default;

DKLinkIterator::~DKLinkIterator() = default;

DKSequentialCollection::PNode* DKLinkIterator::matchFrom(DKSequentialCollection::PNode* node, bool forward) const {
    const DKString ownerPid = dkMemberPidString(owner);
    for (; node != nullptr; node = forward ? node->next : node->prev) {
        const DKLink* l = linkOf(node->value);
        if (l != nullptr && dkMemberEndPid(direction == 0 ? l->getSource() : l->getTarget()) == ownerPid) return node;
    }
    return nullptr;
}

int DKLinkIterator::setToNext() {
    DKSequentialCollection::PNode* from = beforeFirst ? links().head : currentNode != nullptr ? currentNode->next : nullptr;
    beforeFirst = 0;
    currentNode = matchFrom(from, true);
    return currentNode != nullptr ? 1 : 0;
}

int DKLinkIterator::setToPrevious() {
    if (currentNode == nullptr) return 0;
    currentNode = matchFrom(currentNode->prev, false);
    if (currentNode == nullptr) beforeFirst = 1;
    return currentNode != nullptr ? 1 : 0;
}

DKAny* DKLinkIterator::next() {
    // Past the end the iterator stands on nothing, and the next call starts again at the first.
    if (!beforeFirst && currentNode == nullptr) beforeFirst = 1;
    return setToNext() ? currentNode->value : nullptr;
}

DKAny* DKLinkIterator::previous() { return setToPrevious() ? currentNode->value : nullptr; }

void DKLinkIterator::reset() { DKSequentialIterator::reset(); }

int DKLinkIterator::more() {
    DKSequentialCollection::PNode* from = beforeFirst || currentNode == nullptr ? links().head : currentNode->next;
    return matchFrom(from, true) != nullptr ? 1 : 0;
}

int DKLinkIterator::setToFirst() {
    reset();
    return setToNext();
}

int DKLinkIterator::setToLast() {
    currentNode = links().tail;
    beforeFirst = 0;
    if (currentNode == nullptr || matchFrom(currentNode, false) == currentNode) return currentNode != nullptr ? 1 : 0;
    return setToPrevious();
}

DKAny* DKLinkIterator::at() {
    return currentNode != nullptr && matchFrom(currentNode, true) == currentNode ? currentNode->value : nullptr;
}
