// include/dk/dkConfigurationMgmt.hpp
#pragma once
#include <dk/dkExport.hpp>

class dkDatastore;

// The configuration of a repository. The base only rejects with 341; a connector overrides what
// it can change. The datastore is not owned. One thread at a time.
class DK_API dkConfigurationMgmt {
public:
    explicit dkConfigurationMgmt(dkDatastore* datastore = nullptr);
    virtual ~dkConfigurationMgmt();

    dkDatastore* getDatastore() const { return datastore_; }
    void setDatastore(dkDatastore* datastore) { datastore_ = datastore; }

    virtual void clearCache();

private:
    dkDatastore* datastore_;   // not owned
};
