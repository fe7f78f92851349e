// src/dk/coll/DKResults.cpp
//
// The collections that query results come back in. They remember the datastore that made them so
// that a further query can be evaluated over them, and the results own the data objects they hold:
// whoever holds the results (a federated collection among others) frees them by deleting the
// results, never the objects inside.

#include <dk/DKResults.hpp>

#include "dk/coll/dkDataObjectAccess.hpp"

dkQueryEvaluator::~dkQueryEvaluator() = default;

// ---------------------------------------------------------------------------------------------
// dkQueryableCollection

dkQueryableCollection::dkQueryableCollection(const dkDatastore& ds)
    // Evaluating changes the datastore's state (cursors, connection), whatever the constness of
    // the reference the collection was made with.
    : datastore(const_cast<dkDatastore*>(&ds)) {}

dkQueryableCollection::~dkQueryableCollection() = default;

dkIterator* dkQueryableCollection::createIterator() const { return new DKSequentialIterator(*this); }

// ---------------------------------------------------------------------------------------------
// DKResults

DKResults::DKResults(const dkDatastore& ds) : dkQueryableCollection(ds) { name = "DKResults"; }

DKResults::~DKResults() { deleteDataObjects(); }

void DKResults::deleteDataObjects() noexcept {
    for (PNode* node = head; node != nullptr; node = node->next) {
        DKAny* element = node->value;
        if (element == nullptr || element->typeCode() != DKAny::tc_dobase) continue;
        dkDeleteDataObject(static_cast<dkDataObjectBase*>(element->value()));
        element->setNull();
    }
}

void DKResults::removeAllElements() {
    deleteDataObjects();
    DKSequentialCollection::removeAllElements();
}

DKAny DKResults::evaluate(const char* query, short queryType, const DKNVPair* options) {
    if (count == 0) return DKAny();
    return dkDatastoreEvaluate(*datastore, query, queryType, options);
}

dkIterator* DKResults::createIterator() const { return new DKSequentialIterator(*this); }
