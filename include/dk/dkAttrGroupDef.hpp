// include/dk/dkAttrGroupDef.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

class dkAttrDef;
class dkCollection;
class dkDatastore;

// A named group of attribute definitions of a repository. Its membership operations reject with
// 341 until a connector overrides them; lists returned belong to the caller, attributes handed
// in stay the caller's. The datastore is not owned. One thread at a time.
class DK_API dkAttrGroupDef {
public:
    explicit dkAttrGroupDef(dkDatastore* datastore = nullptr);
    virtual ~dkAttrGroupDef();

    dkDatastore* getDatastore() const { return datastore_; }
    void setDatastore(dkDatastore* datastore) { datastore_ = datastore; }
    DKString datastoreType() const;   // the datastore's; empty without one
    DKString getName() const { return name_; }
    void setName(const char* name) { name_ = name; }

    virtual dkCollection* listAttrs();
    virtual DKString* listAttrNames(long& count);
    virtual void addAttr(dkAttrDef* attrDef);
    virtual void removeAttr(const char* attrName);
    virtual void clearCache();

private:
    dkDatastore* datastore_;   // not owned
    DKString name_;
};
