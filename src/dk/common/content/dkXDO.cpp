// src/dk/common/content/dkXDO.cpp
//
// The content object every connector's content class derives from, and the further content kind
// dkDBClob. The base keeps datastore, pid, rank and class name and answers the descriptions of an
// empty content; storing, reading and describing real content is left to the concrete classes.

#include <dk/dkXDO.hpp>

#include "dk/common/content/dkContentReject.hpp"

namespace {
constexpr const char* kSource = "dk/common/dkXDO";
}  // namespace

dkXDO::dkXDO() : datastore_(nullptr), pid(nullptr), rank(-1) {}

// A copy belongs to no datastore and has no pid or class name of its own yet.
dkXDO::dkXDO(const dkXDO& other) : dkXDOBase(other), datastore_(nullptr), pid(nullptr), rank(other.rank) {}

dkXDO::~dkXDO() = default;

short dkXDO::protocol() const { return DKProtocolXDO; }

dkXDOBase& dkXDO::operator=(const dkDataObjectBase&) { dkRejectContent(kSource, "operator= ", true); }

void dkXDO::setPid(const DKPid*) { dkRejectContent(kSource, "setPid()"); }
DKPid* dkXDO::getPid() { return pid; }
const DKPid* dkXDO::getPidObject() const { dkRejectContent(kSource, "getPidObject()"); }
void dkXDO::setPidObject(const DKPid*) { dkRejectContent(kSource, "setPidObject()"); }
dkDataObjectBase& dkXDO::add(const char*) { dkRejectContent(kSource, "add(fn)"); }
dkDataObjectBase& dkXDO::add() { dkRejectContent(kSource, "add()"); }
dkDataObjectBase& dkXDO::retrieve(const char*) { dkRejectContent(kSource, "retrieve(fn)"); }
dkDataObjectBase& dkXDO::retrieve() { dkRejectContent(kSource, "retrieve()"); }
dkDataObjectBase& dkXDO::update(const char*) { dkRejectContent(kSource, "update(fn)"); }
dkDataObjectBase& dkXDO::update() { dkRejectContent(kSource, "update()"); }
dkDataObjectBase& dkXDO::del(int) { dkRejectContent(kSource, "del(flush)"); }
dkDataObjectBase& dkXDO::del() { dkRejectContent(kSource, "del()"); }
DKByteArray dkXDO::getContent() { dkRejectContent(kSource, "getContent()"); }
void dkXDO::setContent(const DKByteArray&) { dkRejectContent(kSource, "setContent()"); }
int dkXDO::isContentChanged() const { dkRejectContent(kSource, "isContentChanged()"); }
int dkXDO::compareData(const dkXDO&) const { dkRejectContent(kSource, "compareData()"); }

void dkXDO::setDatastore(dkDatastore* ds) { datastore_ = ds; }
dkDatastore* dkXDO::getDatastore() const { return datastore_; }

long dkXDO::getPartId() const { dkRejectContent(kSource, "getPartId()"); }
void dkXDO::setPartId(long) { dkRejectContent(kSource, "setPartId()"); }
long dkXDO::length() const { return 0; }
long dkXDO::size() const { dkRejectContent(kSource, "size()"); }
dkXDO* dkXDO::clone() const { dkRejectContent(kSource, "clone()"); }
unsigned long dkXDO::getAffiliatedType() const { return 0; }
void dkXDO::setAffiliatedType(unsigned long) { dkRejectContent(kSource, "setAffiliatedType()"); }
DKString dkXDO::getMimeType() const { return DKString(); }
void dkXDO::setMimeType(const char*) { dkRejectContent(kSource, "setMimeType()"); }
DKString dkXDO::getContentType() const { return DKString(); }
void dkXDO::setContentType(const char*) { dkRejectContent(kSource, "setContentType()"); }
dkContentDef* dkXDO::getContentDef() const { dkRejectContent(kSource, "getContentDef()"); }
void dkXDO::setContentDef(const dkContentDef&) { dkRejectContent(kSource, "setContentDef()"); }
void dkXDO::getOption(long, DKAny&) { dkRejectContent(kSource, "getOption()"); }
void dkXDO::setOption(long, DKAny&) { dkRejectContent(kSource, "setOption()"); }

long dkXDO::getRank() const { return rank; }
void dkXDO::setRank(long r) { rank = r; }

void dkXDO::addExtension(const char*, dkExtension*) { dkRejectContent(kSource, "addExtension"); }
void dkXDO::removeExtension(const char*) { dkRejectContent(kSource, "removeExtension"); }
dkExtension* dkXDO::getExtension(const char*) { dkRejectContent(kSource, "getExtension"); }
void dkXDO::setKeyValues(const DKNVPair*, long) { dkRejectContent(kSource, "setKeyValues"); }

DKString dkXDO::getClassName() const { return className.length() != 0 ? className : getObjectType(); }
void dkXDO::setClassName(const char* name) { className = DKString(name); }

// ---------------------------------------------------------------------------------------------
// dkDBClob

dkDBClob::dkDBClob() = default;
dkDBClob::dkDBClob(const dkDBClob& other) = default;
dkDBClob::~dkDBClob() = default;
