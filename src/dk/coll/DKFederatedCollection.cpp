// src/dk/coll/DKFederatedCollection.cpp
//
// A collection whose members are collections, typically one result set per datastore, and the
// iterator that walks the leaves of all of them as one list. The iterator keeps one sequential
// iterator per level on a stack; moving means stepping the top level, climbing when a level runs
// out and descending into every element that is a collection, skipping the empty ones.

#include <dk/DKFederatedCollection.hpp>
#include <dk/dkSort.hpp>
#include <dk/dkThrow.hpp>

#include "dk/coll/dkDataObjectAccess.hpp"

#include <memory>

namespace {
constexpr const char* kSource = "dk/coll/DKFederatedCollection";

bool isCollection(const DKAny* element) {
    return element != nullptr && element->typeCode() == DKAny::tc_collection;
}

dkCollection* collectionOf(const DKAny* element) {
    return isCollection(element) ? static_cast<dkCollection*>(element->value()) : nullptr;
}

// An iterator over the elements one level below c, or null when c is null or cannot be walked
// by node (a collection whose iterators are not sequential). A nested federated collection is
// walked by its members, so that every level of the walk is a plain list.
DKSequentialIterator* levelIterator(const dkCollection* c) {
    if (c == nullptr) return nullptr;
    std::unique_ptr<dkIterator> it;
    if (const auto* federated = dynamic_cast<const DKFederatedCollection*>(c))
        it.reset(federated->createMemberIterator());
    else
        it.reset(c->createIterator());
    auto* seq = dynamic_cast<DKSequentialIterator*>(it.get());
    if (seq != nullptr) it.release();
    return seq;
}

// Frees a member collection and, unless it frees them itself, what its elements point to:
// data objects, and nested collections by the same rule.
void releaseCollection(dkCollection* c) noexcept {
    if (!c->ownsElements()) {
        try {
            std::unique_ptr<dkIterator> it(c->createIterator());
            while (it->more()) {
                DKAny* element = it->next();
                if (element == nullptr) continue;
                if (element->typeCode() == DKAny::tc_dobase) {
                    if (auto* object = static_cast<dkDataObjectBase*>(element->value())) dkDeleteDataObject(object);
                    element->setNull();
                } else if (dkCollection* nested = collectionOf(element)) {
                    releaseCollection(nested);
                    element->setNull();
                }
            }
        } catch (...) {
            // Only allocating the iterator can fail; the member itself is still freed below.
        }
    }
    delete c;
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// DKFederatedCollection

DKFederatedCollection::DKFederatedCollection() : elementCount(0), memberCount(0) { name = "DKFederatedCollection"; }

DKFederatedCollection::~DKFederatedCollection() { releaseMembers(); }

void DKFederatedCollection::releaseMembers() noexcept {
    for (PNode* node = head; node != nullptr; node = node->next)
        if (dkCollection* member = collectionOf(node->value)) releaseCollection(member);
    freeAll();
    elementCount = 0;
    memberCount = 0;
}

unsigned long DKFederatedCollection::cardinality() const {
    unsigned long n = 0;
    if (count != 0) {
        DKFederatedIterator it(const_cast<DKFederatedCollection&>(*this));
        for (int more = it.setToFirst(); more; more = it.setToNext()) ++n;
    }
    elementCount = n;
    return n;
}

unsigned long DKFederatedCollection::memberCardinality() const {
    memberCount = count;
    return count;
}

dkIterator* DKFederatedCollection::createIterator() const {
    return new DKFederatedIterator(const_cast<DKFederatedCollection&>(*this));
}

dkIterator* DKFederatedCollection::createMemberIterator() const { return new DKSequentialIterator(*this); }

void DKFederatedCollection::addElement(const DKAny& member) { appendNode(member); }

DKSequentialIterator& DKFederatedCollection::elementTarget(dkIterator& it, const char* function,
                                                           dkCollection*& holder) const {
    if (it.getCollection() == this) {
        if (auto* federated = dynamic_cast<DKFederatedIterator*>(&it)) {
            if (federated->currentLeaf() != nullptr) {
                holder = federated->top()->getCollection();
                return *federated->top();
            }
        } else if (auto* member = dynamic_cast<DKSequentialIterator*>(&it)) {
            if (member->currentNode != nullptr) {
                holder = nullptr;
                return *member;
            }
        }
    }
    dkThrow<DKUsageError>(382, kSource, function);
}

DKAny* DKFederatedCollection::retrieveElementAt(dkIterator& it) {
    dkCollection* holder;
    DKSequentialIterator& at = elementTarget(it, "DKFederatedCollection::retrieveElementAt", holder);
    return holder != nullptr ? holder->retrieveElementAt(at) : DKSequentialCollection::retrieveElementAt(at);
}

void DKFederatedCollection::insertElementAt(const DKAny& element, dkIterator& it) {
    dkCollection* holder;
    DKSequentialIterator& at = elementTarget(it, "DKFederatedCollection::insertElementAt", holder);
    if (holder != nullptr)
        holder->insertElementAt(element, at);
    else
        DKSequentialCollection::insertElementAt(element, at);
}

void DKFederatedCollection::replaceElementAt(const DKAny& element, dkIterator& it) {
    dkCollection* holder;
    DKSequentialIterator& at = elementTarget(it, "DKFederatedCollection::replaceElementAt", holder);
    if (holder != nullptr)
        holder->replaceElementAt(element, at);
    else
        DKSequentialCollection::replaceElementAt(element, at);
}

void DKFederatedCollection::removeElementAt(dkIterator& it) {
    dkCollection* holder;
    DKSequentialIterator& at = elementTarget(it, "DKFederatedCollection::removeElementAt", holder);
    if (holder != nullptr)
        holder->removeElementAt(at);
    else
        DKSequentialCollection::removeElementAt(at);
}

void DKFederatedCollection::removeAllElements() { releaseMembers(); }

void DKFederatedCollection::sort(dkSort*, int) { dkThrow<DKUsageError>(482, kSource, "DKFederatedCollection::sort"); }

void DKFederatedCollection::sort(int) { dkThrow<DKUsageError>(482, kSource, "DKFederatedCollection::sort"); }

void DKFederatedCollection::setSortFunction(dkSort* s) {
    delete s;
    dkThrow<DKUsageError>(482, kSource, "DKFederatedCollection::setSortFunction");
}

dkSort* DKFederatedCollection::getSortFunction() const {
    dkThrow<DKUsageError>(482, kSource, "DKFederatedCollection::getSortFunction");
}

// ---------------------------------------------------------------------------------------------
// DKFederatedIterator

DKFederatedIterator::DKFederatedIterator(DKFederatedCollection& coll)
    : DKSequentialIterator(coll), memberIterator(nullptr), enterPending(false) {
    type = 2;
    stack.reserve(4);
    memberIterator = levelIterator(&coll);
    if (memberIterator == nullptr) memberIterator = new DKSequentialIterator(coll);
    stack.push_back(memberIterator);
}

DKFederatedIterator::DKFederatedIterator(const DKFederatedIterator& other)
    : DKSequentialIterator(other), memberIterator(nullptr), enterPending(other.enterPending) {
    try {
        stack.reserve(other.stack.size());
        for (const DKSequentialIterator* level : other.stack) {
            DKSequentialIterator* copy = levelIterator(level->getCollection());
            if (copy == nullptr) copy = new DKSequentialIterator(*level);
            copy->currentNode = level->currentNode;
            copy->beforeFirst = level->beforeFirst;
            stack.push_back(copy);
        }
    } catch (...) {
        for (DKSequentialIterator* level : stack) delete level;
        throw;
    }
    memberIterator = stack.front();
}

DKFederatedIterator::~DKFederatedIterator() {
    for (DKSequentialIterator* level : stack) delete level;
}

void DKFederatedIterator::push(DKSequentialIterator* it) {
    std::unique_ptr<DKSequentialIterator> owned(it);
    stack.push_back(it);
    owned.release();
}

void DKFederatedIterator::pop() noexcept {
    delete stack.back();
    stack.pop_back();
}

void DKFederatedIterator::popAboveMembers() noexcept {
    while (stack.size() > 1) pop();
}

DKAny* DKFederatedIterator::currentLeaf() const {
    if (enterPending) return nullptr;
    const DKSequentialCollection::PNode* node = top()->currentNode;
    if (node == nullptr || isCollection(node->value)) return nullptr;
    return node->value;
}

int DKFederatedIterator::descend(bool forward) {
    for (;;) {
        DKSequentialIterator* level = top();
        if (level->currentNode == nullptr) {
            // This level ran out: it goes, and the level above moves on instead.
            if (level == memberIterator) return 0;
            pop();
            level = top();
            forward ? level->setToNext() : level->setToPrevious();
            continue;
        }
        DKAny* element = level->currentNode->value;
        if (!isCollection(element)) {
            if (element != nullptr) return 1;
            forward ? level->setToNext() : level->setToPrevious();   // a node never given a value
            continue;
        }
        DKSequentialIterator* below = levelIterator(collectionOf(element));
        if (below == nullptr) {
            // A null collection pointer is an empty collection.
            forward ? level->setToNext() : level->setToPrevious();
            continue;
        }
        push(below);
        forward ? below->setToFirst() : below->setToLast();
    }
}

int DKFederatedIterator::setToFirst() {
    enterPending = false;
    popAboveMembers();
    if (!memberIterator->setToFirst()) return 0;
    return descend(true);
}

int DKFederatedIterator::setToLast() {
    enterPending = false;
    popAboveMembers();
    if (!memberIterator->setToLast()) return 0;
    return descend(false);
}

int DKFederatedIterator::setToNext() {
    if (stack.empty()) return 0;
    if (enterPending) {
        enterPending = false;
        return descend(true);
    }
    while (stack.size() > 1 && top()->currentNode == nullptr) pop();
    // Levels standing on their last element are done. The member iterator is never popped: on
    // its last member it steps past the end like any sequential iterator, and the walk is over.
    while (top() != memberIterator && top()->currentNode != nullptr && top()->currentNode->next == nullptr) pop();
    top()->setToNext();
    return descend(true);
}

int DKFederatedIterator::setToPrevious() {
    if (stack.empty()) return 0;
    if (enterPending) {
        enterPending = false;
        return descend(false);
    }
    while (stack.size() > 1 && top()->currentNode == nullptr) pop();
    // On its first member the member iterator steps before the first, so next() starts again.
    while (top() != memberIterator && top()->currentNode != nullptr && top()->currentNode->prev == nullptr) pop();
    top()->setToPrevious();
    return descend(false);
}

DKAny* DKFederatedIterator::next() { return setToNext() ? currentLeaf() : nullptr; }

DKAny* DKFederatedIterator::previous() { return setToPrevious() ? currentLeaf() : nullptr; }

DKAny* DKFederatedIterator::at() { return currentLeaf(); }

void DKFederatedIterator::reset() {
    enterPending = false;
    popAboveMembers();
    memberIterator->reset();
}

int DKFederatedIterator::more() {
    if (stack.empty()) return 0;
    if (enterPending) {
        const dkCollection* pending = collectionOf(top()->at());
        if (pending != nullptr && pending->cardinality() != 0) return 1;
    }
    for (const DKSequentialIterator* level : stack) {
        if (level->beforeFirst) {
            if (level->list().DKSequentialCollection::cardinality() != 0) return 1;   // elements of that list, not leaves
        } else if (level->currentNode != nullptr && level->currentNode->next != nullptr) {
            return 1;
        }
    }
    return 0;
}

int DKFederatedIterator::memberMove(bool forward, bool restart) {
    if (enterPending)
        enterPending = false;   // already at the level that holds the collection
    else if (stack.size() > 1)
        pop();                  // up to the level holding the collection of the current leaf
    DKSequentialIterator* level = top();
    int moved = restart ? (forward ? level->setToFirst() : level->setToLast())
                        : (forward ? level->setToNext() : level->setToPrevious());
    while (moved) {
        if (isCollection(level->at())) {
            enterPending = true;
            return 1;
        }
        moved = forward ? level->setToNext() : level->setToPrevious();
    }
    return 0;
}

int DKFederatedIterator::setToFirstCollection() { return memberMove(true, true); }

int DKFederatedIterator::setToLastCollection() { return memberMove(false, true); }

int DKFederatedIterator::setToNextCollection() { return memberMove(true, false); }

int DKFederatedIterator::setToPreviousCollection() { return memberMove(false, false); }
