// include/dk/dkDatastoreExt.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>
#include <dk/dkExtension.hpp>

class DKCommonPrivilege;
class DKLink;
class dkCollection;
class dkDataObject;
class dkDatastore;
class dkXDO;

// The datastore extension ("DATASTORE_EXTENSION"): folder, child and link membership, check-out,
// privileges and moves, done at once on the repository. Whoever makes the extension points it at
// its datastore with setDatastore before use; the pointer is not owned. Every operation after
// listFunctions throws DKUsageError 341 in the base; a connector overrides what it supports and
// says so through isSupported. The virtual operations are in slot order; a connector overriding
// one overload adds `using dkDatastoreExt::moveObject;` (or getCommonPrivilege) to keep the other.
// One thread at a time.
class DK_API dkDatastoreExt : public dkExtension {
public:
    ~dkDatastoreExt() override;

    virtual dkDatastore* getDatastore();
    virtual void setDatastore(dkDatastore* datastore);
    virtual int isSupported(const char* function);      // 0 in the base
    virtual DKString* listFunctions(long& count);      // null in the base, count untouched
    virtual void addToFolder(dkDataObject* folder, dkDataObject* member);
    virtual void removeFromFolder(dkDataObject* folder, dkDataObject* member);
    virtual void addChild(dkDataObject* parent, dkDataObject* child);
    virtual void removeChild(dkDataObject* parent, dkDataObject* child);
    virtual void addLink(DKLink* link);
    virtual void removeLink(DKLink* link);
    virtual void removeLinks(dkCollection* links);
    virtual int isCheckedOut(dkDataObject* object);
    virtual DKString checkedOutUserid(dkDataObject* object);
    virtual void unlockCheckedOut(dkDataObject* object);
    virtual void checkOut(dkDataObject* object);
    virtual void checkIn(dkDataObject* object);
    virtual DKCommonPrivilege* getCommonPrivilege(dkDataObject* object);
    virtual DKCommonPrivilege* getCommonPrivilege();
    virtual DKCommonPrivilege* getCommonItemPrivilege(dkDataObject* object);
    virtual dkXDO* retrieveFormOverlay(const char* name);
    virtual void moveObject(dkDataObject* item, dkDataObject* target, long flags);
    virtual void moveObject(dkDataObject* item, const char* entity);
    virtual void changePassword(const char* userId, const char* oldPassword, const char* newPassword);
    virtual void addPart(dkDataObject* item, dkXDO* part);
    virtual void removePart(dkDataObject* item, dkXDO* part);

protected:
    dkDatastoreExt();
    dkDatastoreExt(const dkDatastoreExt& other);
    dkDatastoreExt& operator=(const dkDatastoreExt& other);

private:
    dkDatastore* datastore_;   // not owned
};
