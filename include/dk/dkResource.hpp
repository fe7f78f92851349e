// include/dk/dkResource.hpp
#pragma once
#include <dk/DKDDO.hpp>
#include <dk/dkExport.hpp>
#include <dk/dkXDO.hpp>

// An object that is a dynamic data object and a content object at once: DKDDO is its first base,
// dkXDO its second, and it answers protocol 13 through both. Whichever base a call comes through,
// it answers with the data-object half: one pid (the owned pid of dkDataObject, also what
// getPid() of dkXDO gives), one datastore (DKDDO's), one parent and root object, and add(),
// retrieve(), update(), del() delegated to the datastore as DKDDO does. Its rank is its own
// (-1 at construction); getClassName gives the class name as it is, with no fallback; assignment
// through dkXDO copies nothing. The content operations throw DKUsageError 341
// ("dkResource::length()", "dkResource::add(fn)").
//
// Wherever a resource is held as a dkDataObjectBase* (a DKAny, a collection, a data item), that
// pointer is its DKDDO half: DKAny(static_cast<DKDDO*>(r)). dkAsResource below turns it back.
// Ownership is DKDDO's; a data item that holds a resource deletes it through that half. Not
// copyable; one thread at a time.
class DK_API dkResource : public DKDDO, public dkXDO {
public:
    dkResource(const char* objectType, unsigned short size);
    dkResource(dkDatastore* ds, const char* objectType, unsigned short size);
    ~dkResource() override;

    // The operations both bases have, answered once.
    short protocol() const override;   // DKProtocolResource
    DKString getObjectType() const override;
    dkDataObjectBase* getParent() const override;
    void setParent(dkDataObjectBase* newParent) override;
    dkDataObjectBase* getRootObject() const override;
    void setRootObject(dkDataObjectBase* newRoot) override;
    const DKPid* getPidObject() const override;
    void setPidObject(const DKPid* pid) override;
    void setDatastore(dkDatastore* ds) override;
    dkDatastore* getDatastore() const override;
    dkDataObjectBase& add() override;
    dkDataObjectBase& retrieve() override;
    dkDataObjectBase& update() override;
    dkDataObjectBase& del() override;

    // dkXDO's, answered with the data-object half or the own rank and class name.
    using DKDDO::getPid;
    DKPid* getPid() override;
    using DKDDO::setPid;
    void setPid(const DKPid* pid) override;   // as setPidObject
    dkXDOBase& operator=(const dkDataObjectBase& other) override;   // copies nothing
    long getRank() const override;
    void setRank(long rank) override;
    DKString getClassName() const override;

    // Not supported here (DKUsageError 341).
    using DKDDO::add;
    using DKDDO::retrieve;
    using DKDDO::update;
    using DKDDO::del;
    dkDataObjectBase& add(const char* fileName) override;
    dkDataObjectBase& retrieve(const char* fileName) override;
    dkDataObjectBase& update(const char* fileName) override;
    dkDataObjectBase& del(int flush) override;
    int compareData(const dkXDO& other) const override;
    long length() const override;
    long size() const override;
    void setAffiliatedType(unsigned long type) override;
    void setMimeType(const char* type) override;
    void setContentType(const char* type) override;
    void getOption(long option, DKAny& value) override;
    void setOption(long option, DKAny& value) override;
    void addExtension(const char* name, dkExtension* extension) override;
    void removeExtension(const char* name) override;
    dkExtension* getExtension(const char* name) override;
    void setKeyValues(const DKNVPair* values, long count) override;

protected:
    dkResource();

    long resourceRank;
};

// The one way from a data object of protocol 13 to its halves: given the DKDDO half as held in a
// DKAny or a collection, or the dkXDO half, the resource (whose DKDDO* and dkXDO* follow without a
// cast); null when the object is null or of another protocol. A dkDataObjectBase* of protocol 13
// that is not the DKDDO half of a dkResource breaks the rule above (UndefinedBehaviorSanitizer
// names it).
DK_API dkResource* dkAsResource(dkDataObjectBase* ddoHalf) noexcept;
DK_API const dkResource* dkAsResource(const dkDataObjectBase* ddoHalf) noexcept;
DK_API dkResource* dkAsResource(dkXDOBase* xdoHalf) noexcept;
