// src/dk/coll/DKSequentialCollection.cpp
//
// The default collection of the library, a doubly linked list of owned DKAny copies, and its
// cursor. Sorting hands an array of the element pointers to a dkSort and writes the sorted
// pointers back into the nodes, so nodes never move and a failed sort changes nothing.

#include <dk/DKSequentialCollection.hpp>
#include <dk/dkSort.hpp>
#include <dk/dkThrow.hpp>

#include <climits>
#include <memory>
#include <vector>

namespace {
constexpr const char* kSource = "dk/coll/DKSequentialCollection";
}

// ---------------------------------------------------------------------------------------------
// DKSequentialCollection

DKSequentialCollection::DKSequentialCollection()
    : sortFunction(nullptr), owner(nullptr), count(0), head(nullptr), tail(nullptr) {
    name = "DKSequentialCollection";
}

DKSequentialCollection::~DKSequentialCollection() {
    freeAll();
    delete sortFunction;
}

void DKSequentialCollection::freeAll() noexcept {
    PNode* node = head;
    while (node != nullptr) {
        PNode* following = node->next;
        delete node->value;
        delete node;
        node = following;
    }
    head = tail = nullptr;
    count = 0;
}

DKSequentialCollection::PNode* DKSequentialCollection::nodeOf(const DKSequentialIterator& it) {
    return it.currentNode;
}

DKSequentialIterator& DKSequentialCollection::checkedIterator(dkIterator& it, const char* function) const {
    // An iterator of another collection would splice foreign nodes into this list.
    auto* seq = dynamic_cast<DKSequentialIterator*>(&it);
    if (seq == nullptr || seq->getCollection() != this || seq->currentNode == nullptr)
        dkThrow<DKUsageError>(382, kSource, function);
    return *seq;
}

void DKSequentialCollection::appendNode(const DKAny& element) {
    std::unique_ptr<DKAny> value(new DKAny(element));
    PNode* node = new PNode{nullptr, tail, value.release()};
    if (tail != nullptr)
        tail->next = node;
    else
        head = node;
    tail = node;
    ++count;
}

dkIterator* DKSequentialCollection::createIterator() const { return new DKSequentialIterator(*this); }

void DKSequentialCollection::addElement(const DKAny& element) { appendNode(element); }

DKAny* DKSequentialCollection::retrieveElementAt(dkIterator& it) {
    return checkedIterator(it, "DKSequentialCollection::retrieveElementAt").currentNode->value;
}

void DKSequentialCollection::insertElementAt(const DKAny& element, dkIterator& it) {
    DKSequentialIterator& seq = checkedIterator(it, "DKSequentialCollection::insertElementAt");
    PNode* at = seq.currentNode;
    std::unique_ptr<DKAny> value(new DKAny(element));
    PNode* node = new PNode{at->next, at, value.release()};
    if (at->next != nullptr)
        at->next->prev = node;
    else
        tail = node;
    at->next = node;
    ++count;
    seq.currentNode = node;
    seq.beforeFirst = 0;
}

void DKSequentialCollection::replaceElementAt(const DKAny& element, dkIterator& it) {
    PNode* node = checkedIterator(it, "DKSequentialCollection::replaceElementAt").currentNode;
    if (node->value != nullptr)
        *node->value = element;
    else
        node->value = new DKAny(element);
}

void DKSequentialCollection::removeElementAt(dkIterator& it) {
    DKSequentialIterator& seq = checkedIterator(it, "DKSequentialCollection::removeElementAt");
    PNode* node = seq.currentNode;
    if (node->prev != nullptr)
        node->prev->next = node->next;
    else
        head = node->next;
    if (node->next != nullptr)
        node->next->prev = node->prev;
    else
        tail = node->prev;
    seq.currentNode = node->next;
    --count;
    delete node->value;
    delete node;
}

void DKSequentialCollection::removeAllElements() { freeAll(); }

void DKSequentialCollection::setAssociatedAttrName(const char* attrName) { associatedAttrName = attrName; }

void DKSequentialCollection::sort(dkSort* s, int ascending) {
    if (count < 2) return;
    dkSort* sorter = s != nullptr ? s : sortFunction;
    if (sorter == nullptr) dkThrow<DKUsageError>(416, kSource, "DKSequentialCollection::sort");
    if (count > static_cast<unsigned long>(INT_MAX))   // the sorter counts in int
        dkThrow<DKUsageError>(416, kSource, "DKSequentialCollection::sort");

    std::vector<DKAny*> elements;
    elements.reserve(count);
    for (PNode* node = head; node != nullptr; node = node->next) elements.push_back(node->value);
    try {
        sorter->sort(elements.data(), static_cast<int>(elements.size()), ascending);
    } catch (const DKException& e) {
        // The nodes still hold the old order; only the array was reordered.
        DKException rethrown(e);
        dkThrowPrepare(rethrown, kSource, "DKSequentialCollection::sort", __LINE__);
        throw rethrown;
    }
    std::size_t i = 0;
    for (PNode* node = head; node != nullptr; node = node->next) node->value = elements[i++];
}

void DKSequentialCollection::sort(int ascending) {
    if (count < 2) return;
    if (sortFunction != nullptr) {
        sort(sortFunction, ascending);
        return;
    }
    const DKAny* first = head->value;
    if (first == nullptr || first->typeCode() == DKAny::tc_null) return;
    if (first->typeCode() != DKAny::tc_string) dkThrow<DKUsageError>(416, kSource, "DKSequentialCollection::sort");
    DKSortString byString;
    sort(&byString, ascending);
}

void DKSequentialCollection::setSortFunction(dkSort* s) {
    if (s == sortFunction) return;
    delete sortFunction;
    sortFunction = s;
}

dkSort* DKSequentialCollection::getSortFunction() const { return sortFunction; }

// ---------------------------------------------------------------------------------------------
// DKSequentialIterator

DKSequentialIterator::DKSequentialIterator(const DKSequentialCollection& coll)
    : dkIterator(coll), currentNode(nullptr), beforeFirst(1) {
    type = 1;
}

DKSequentialIterator::DKSequentialIterator(const DKSequentialIterator& other) = default;

DKSequentialIterator::~DKSequentialIterator() = default;

DKAny* DKSequentialIterator::next() {
    currentNode = currentNode == nullptr ? list().head : currentNode->next;
    beforeFirst = 0;
    return currentNode != nullptr ? currentNode->value : nullptr;
}

void DKSequentialIterator::reset() {
    currentNode = nullptr;
    beforeFirst = 1;
}

int DKSequentialIterator::more() {
    if (beforeFirst) return list().count != 0 ? 1 : 0;
    return currentNode != nullptr && currentNode->next != nullptr ? 1 : 0;
}

DKAny* DKSequentialIterator::previous() {
    if (currentNode == nullptr) return nullptr;
    currentNode = currentNode->prev;
    if (currentNode == nullptr) {
        beforeFirst = 1;
        return nullptr;
    }
    return currentNode->value;
}

int DKSequentialIterator::setToFirst() {
    currentNode = list().head;
    beforeFirst = 0;
    return currentNode != nullptr ? 1 : 0;
}

int DKSequentialIterator::setToLast() {
    currentNode = list().tail;
    beforeFirst = 0;
    return currentNode != nullptr ? 1 : 0;
}

int DKSequentialIterator::setToNext() {
    if (beforeFirst) {
        currentNode = list().head;
        beforeFirst = 0;
    } else if (currentNode != nullptr) {
        currentNode = currentNode->next;
    }
    return currentNode != nullptr ? 1 : 0;
}

int DKSequentialIterator::setToPrevious() {
    if (currentNode == nullptr) return 0;
    currentNode = currentNode->prev;
    if (currentNode == nullptr) {
        beforeFirst = 1;
        return 0;
    }
    return 1;
}

DKAny* DKSequentialIterator::at() { return currentNode != nullptr ? currentNode->value : nullptr; }
