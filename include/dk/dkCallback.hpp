// include/dk/dkCallback.hpp
#pragma once
#include <dk/dkExport.hpp>

class DKException;
class DKNVPair;
class dkCollection;

// What dkDatastore::executeWithCallback reports to: the results as they arrive, in batches of
// about the threshold, then the last one, or the exception that ended the query. The callback
// owns every exception handed to it. It is called on whatever thread the connector delivers on.
class DK_API dkCallback {
public:
    virtual ~dkCallback();

    virtual void setThreshold(long threshold);   // the base keeps nothing
    virtual long getThreshold();                 // 0 in the base
    virtual void cancelQuery();
    // One batch of results; last is 1 for the final one. The base leaves the collection alone
    // and answers 1 (go on).
    virtual int dataCallback(dkCollection* results, int last);
    // Takes ownership of e; the base deletes it.
    virtual void reportException(DKException* e);

protected:
    dkCallback();
};

// Hooks a connector calls before and after an operation, with its parameters. Each returns new
// parameters for the operation (null: keep them) and a return code; the base answers null and 0.
class DK_API dkUserExit {
public:
    virtual ~dkUserExit();

    virtual DKNVPair* preCondition(DKNVPair* params, long count, long& returnCode);
    virtual DKNVPair* postCondition(DKNVPair* params, long count, long& returnCode);

protected:
    dkUserExit();
};
