// src/dk/common/content/dkResource.cpp
//
// The object that is a DDO and a content object at once. Every operation both bases know is
// answered here once, with the data-object half, so the object looks the same through either
// base; the content operations are refused. Also the one helper that turns a pointer of
// protocol 13 into the resource, which nothing else casts.

#include <dk/dkResource.hpp>

#include "dk/common/content/dkContentReject.hpp"
#include "dk/common/model/dkResourceAccess.hpp"

namespace {
constexpr const char* kSource = "dk/common/dkResource";
}  // namespace

dkResource::dkResource() : resourceRank(-1) {}

dkResource::dkResource(const char* objectType, unsigned short size)
    : DKDDO(objectType, size), resourceRank(-1) {}

dkResource::dkResource(dkDatastore* ds, const char* objectType, unsigned short size)
    : DKDDO(ds, objectType, size), resourceRank(-1) {}

dkResource::~dkResource() = default;

short dkResource::protocol() const { return DKProtocolResource; }
DKString dkResource::getObjectType() const { return DKDDO::getObjectType(); }
dkDataObjectBase* dkResource::getParent() const { return DKDDO::getParent(); }
void dkResource::setParent(dkDataObjectBase* newParent) { DKDDO::setParent(newParent); }
dkDataObjectBase* dkResource::getRootObject() const { return DKDDO::getRootObject(); }
void dkResource::setRootObject(dkDataObjectBase* newRoot) { DKDDO::setRootObject(newRoot); }
const DKPid* dkResource::getPidObject() const { return DKDDO::getPidObject(); }
void dkResource::setPidObject(const DKPid* p) { DKDDO::setPidObject(p); }
void dkResource::setDatastore(dkDatastore* ds) { DKDDO::setDatastore(ds); }
dkDatastore* dkResource::getDatastore() const { return DKDDO::getDatastore(); }
dkDataObjectBase& dkResource::add() { return DKDDO::add(); }
dkDataObjectBase& dkResource::retrieve() { return DKDDO::retrieve(); }
dkDataObjectBase& dkResource::update() { return DKDDO::update(); }
dkDataObjectBase& dkResource::del() { return DKDDO::del(); }

DKPid* dkResource::getPid() { return &ownPid(); }
void dkResource::setPid(const DKPid* p) { DKDDO::setPidObject(p); }
dkXDOBase& dkResource::operator=(const dkDataObjectBase&) { return *this; }
long dkResource::getRank() const { return resourceRank; }
void dkResource::setRank(long r) { resourceRank = r; }
DKString dkResource::getClassName() const { return className; }

dkDataObjectBase& dkResource::add(const char*) { dkRejectContent(kSource, "add(fn)"); }
dkDataObjectBase& dkResource::retrieve(const char*) { dkRejectContent(kSource, "retrieve(fn)"); }
dkDataObjectBase& dkResource::update(const char*) { dkRejectContent(kSource, "update(fn)"); }
dkDataObjectBase& dkResource::del(int) { dkRejectContent(kSource, "del(flush)"); }
int dkResource::compareData(const dkXDO&) const { dkRejectContent(kSource, "compareData()"); }
long dkResource::length() const { dkRejectContent(kSource, "length()"); }
long dkResource::size() const { dkRejectContent(kSource, "size()"); }
void dkResource::setAffiliatedType(unsigned long) { dkRejectContent(kSource, "setAffiliatedType()"); }
void dkResource::setMimeType(const char*) { dkRejectContent(kSource, "setMimeType()"); }
void dkResource::setContentType(const char*) { dkRejectContent(kSource, "setContentType()"); }
void dkResource::getOption(long, DKAny&) { dkRejectContent(kSource, "getOption()"); }
void dkResource::setOption(long, DKAny&) { dkRejectContent(kSource, "setOption()"); }
void dkResource::addExtension(const char*, dkExtension*) { dkRejectContent(kSource, "addExtension"); }
void dkResource::removeExtension(const char*) { dkRejectContent(kSource, "removeExtension"); }
dkExtension* dkResource::getExtension(const char*) { dkRejectContent(kSource, "getExtension"); }
void dkResource::setKeyValues(const DKNVPair*, long) { dkRejectContent(kSource, "setKeyValues"); }

// ---------------------------------------------------------------------------------------------
// The cast helper. A dkDataObjectBase* of protocol 13 is the DKDDO half by the rule of
// dkResource.hpp, so the way down goes through DKDDO; the dkXDO half comes down its own line.

dkResource* dkAsResource(dkDataObjectBase* ddoHalf) noexcept {
    if (ddoHalf == nullptr || ddoHalf->protocol() != DKProtocolResource) return nullptr;
    return static_cast<dkResource*>(static_cast<DKDDO*>(ddoHalf));
}

const dkResource* dkAsResource(const dkDataObjectBase* ddoHalf) noexcept {
    return dkAsResource(const_cast<dkDataObjectBase*>(ddoHalf));
}

dkResource* dkAsResource(dkXDOBase* xdoHalf) noexcept {
    if (xdoHalf == nullptr || xdoHalf->protocol() != DKProtocolResource) return nullptr;
    return static_cast<dkResource*>(static_cast<dkXDO*>(xdoHalf));
}

const dkDataObject* dkResourceDataObject(const dkDataObjectBase* ddoHalf) noexcept { return dkAsResource(ddoHalf); }
