// include/dk/DKResults.hpp
#pragma once
#include <dk/DKAny.hpp>
#include <dk/DKSequentialCollection.hpp>
#include <dk/dkExport.hpp>

class DKNVPair;
class dkDatastore;

// Anything that runs a query given as text: the datastore, and the collections that hand a
// query on to their datastore. It has no state; the result belongs to the caller.
class DK_API dkQueryEvaluator {
public:
    virtual ~dkQueryEvaluator();
    // query in the language named by queryType (1 text, 2 image, 3 parametric, 4 SQL); options
    // is an array of name/value options or null.
    virtual DKAny evaluate(const char* query, short queryType, const DKNVPair* options) = 0;
};

// A sequential collection bound to the datastore it came from, which evaluates queries over it.
// The datastore is not owned and must outlive the collection. Not copyable; one thread at a
// time.
class DK_API dkQueryableCollection : public DKSequentialCollection, public dkQueryEvaluator {
public:
    explicit dkQueryableCollection(const dkDatastore& ds);
    ~dkQueryableCollection() override;

    dkIterator* createIterator() const override;   // a DKSequentialIterator

protected:
    dkDatastore* datastore;   // not owned
};

// The collection query results come back in: tc_dobase elements, each pointing to a data
// object that the results own. The destructor and removeAllElements() delete every data object
// held (and ownsElements() says so, so a federated collection holding these results leaves them
// alone). An element taken out with removeElementAt() or overwritten with replaceElementAt()
// goes with the caller, who then owns its object. Elements must be data object pointers (other
// kinds are dropped without being freed), and one data object must not be held twice. Not
// copyable; one thread at a time.
class DK_API DKResults : public dkQueryableCollection {
public:
    explicit DKResults(const dkDatastore& ds);
    ~DKResults() override;

    // A null DKAny when the collection is empty; otherwise what the datastore's own evaluate
    // answers for the same arguments.
    DKAny evaluate(const char* query, short queryType, const DKNVPair* options) override;
    dkIterator* createIterator() const override;
    void removeAllElements() override;
    int ownsElements() const override { return 1; }

protected:
    void deleteDataObjects() noexcept;
};
