// src/dk/common/model/dkDataObject.cpp
//
// The two roots of the data object family: the parent and root links every data object has,
// and the owned persistent identifier of the objects that name a repository item. Also the
// answers the collections need about data objects (protocol, primary id, one data item, delete),
// which the collection sources can only declare because they are built below this layer.

#include <dk/DKDDO.hpp>
#include <dk/DKPid.hpp>
#include <dk/dkDataObject.hpp>

#include "dk/coll/dkDataObjectAccess.hpp"
#include "dk/common/model/dkResourceAccess.hpp"

// ---------------------------------------------------------------------------------------------
// dkDataObjectBase

dkDataObjectBase::dkDataObjectBase() : parent(nullptr), rootObject(nullptr) {}

dkDataObjectBase::~dkDataObjectBase() = default;

short dkDataObjectBase::protocol() const { return DKProtocolDataObjectBase; }

DKString dkDataObjectBase::getObjectType() const { return DKString(); }

dkDataObjectBase* dkDataObjectBase::getParent() const { return parent; }

void dkDataObjectBase::setParent(dkDataObjectBase* newParent) { parent = newParent; }

dkDataObjectBase* dkDataObjectBase::getRootObject() const { return rootObject; }

void dkDataObjectBase::setRootObject(dkDataObjectBase* newRoot) { rootObject = newRoot; }

// ---------------------------------------------------------------------------------------------
// dkDataObject

// Most data objects are filled by a connector that sets their pid anyway, so the default pid is
// made only when someone asks for it.
dkDataObject::dkDataObject() : pid(nullptr) {}

dkDataObject::dkDataObject(const DKPid& p) : pid(p.clone()) {}

dkDataObject::~dkDataObject() { dropPid(); }

void dkDataObject::dropPid() noexcept {
    if (pidInBlock)
        pid->~DKPid();
    else
        delete pid;
    pidInBlock = false;
}

DKPid& dkDataObject::ownPid() const {
    if (pid == nullptr) pid = new DKPid();
    return *pid;
}

const DKPid& dkDataObject::getPid() const { return ownPid(); }

void dkDataObject::setPid(const DKPid& p) {
    if (&p == pid) return;
    DKPid* copy = p.clone();
    dropPid();
    pid = copy;
}

const DKPid* dkDataObject::getPidObject() const { return &ownPid(); }

void dkDataObject::setPidObject(const DKPid* p) {
    // The copy is made before the old pid goes, so a pid that lives inside the old one (or a
    // clone that throws) cannot leave this object without one.
    if (p == pid) return;
    DKPid* copy = p->clone();
    dropPid();
    pid = copy;
}

// ---------------------------------------------------------------------------------------------
// What the collections ask of data objects (declared in dk/coll/dkDataObjectAccess.hpp).

short dkDataObjectProtocol(const dkDataObjectBase* object) { return object ? object->protocol() : -1; }

bool dkDataObjectPrimaryId(const dkDataObjectBase* object, DKString& id) {
    // Content objects have no pid of the dkDataObject kind to read; a resource has its DDO's.
    const short protocol = dkDataObjectProtocol(object);
    const dkDataObject* named = protocol == DKProtocolDDOBase || protocol == DKProtocolDDO
                                    ? static_cast<const DKDDOBase*>(object)
                                    : dkResourceDataObject(object);
    if (named == nullptr) return false;
    const DKPid* p = named->getPidObject();
    if (p == nullptr || p->getIdStringCount() < 1) return false;
    id = p->getPrimaryId();
    return true;
}

bool dkDataObjectItem(const dkDataObjectBase* object, const char* name, DKAny& value) {
    if (object == nullptr) return false;
    const short protocol = object->protocol();
    if (protocol != DKProtocolDDOBase && protocol != DKProtocolDDO) return false;
    const auto* ddo = static_cast<const DKDDOBase*>(object);
    const unsigned short id = ddo->dataId(name);
    if (id == 0) return false;
    value = ddo->getData(id);
    return true;
}

void dkDeleteDataObject(dkDataObjectBase* object) noexcept { delete object; }
