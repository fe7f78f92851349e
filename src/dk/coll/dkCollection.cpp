// src/dk/coll/dkCollection.cpp
//
// The two interfaces every collection and iterator of the library implements, with the little
// behaviour they share: the collection's name and applying a function to every element.

#include <dk/dkCollection.hpp>

#include <memory>

dkCollection::~dkCollection() = default;

void dkCollection::apply(void (*fn)(DKAny&)) {
    if (fn == nullptr) return;
    std::unique_ptr<dkIterator> it(createIterator());
    while (it->more()) {
        // A walk may yield null where a following part turns out empty; that is not an element.
        if (DKAny* element = it->next()) fn(*element);
    }
}

DKString dkCollection::getName() const { return name; }

void dkCollection::setName(const char* newName) { name = newName; }

int dkCollection::ownsElements() const { return 0; }

dkIterator::dkIterator(const dkCollection& coll)
    // Iterators hand out writable elements of the collection they walk, whatever the constness
    // of the reference they were built from.
    : collection(const_cast<dkCollection*>(&coll)), type(0) {}

dkIterator::dkIterator(const dkIterator& other) = default;

dkIterator::~dkIterator() = default;

int dkIterator::getType() const { return type; }
