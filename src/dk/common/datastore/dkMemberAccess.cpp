// src/dk/common/datastore/dkMemberAccess.cpp
//
// What the membership collections of dk/coll (folders, parts, children, links, segments) ask of
// the layers above them: their log, the data and content objects they hold, the copies their
// removal records keep, and the datastore extension that changes memberships at once. The
// declarations are in dk/coll/dkDataObjectAccess.hpp; this is the lowest layer that sees the
// log, the data objects, the content objects and the extension together.

#include <dk/DKChildCollection.hpp>
#include <dk/DKDDO.hpp>
#include <dk/DKException.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkDatastoreExt.hpp>
#include <dk/dkLog.hpp>
#include <dk/dkResource.hpp>
#include <dk/dkXDO.hpp>

#include "dk/coll/dkDataObjectAccess.hpp"

#include <memory>

namespace {

// The dkDataObject of an element's object of protocol 1, 5 or 13; null otherwise.
dkDataObject* dataObjectOf(dkDataObjectBase* object) {
    const short protocol = dkDataObjectProtocol(object);
    if (protocol == DKProtocolDDOBase || protocol == DKProtocolDDO) return static_cast<DKDDOBase*>(object);
    return dkAsResource(object);
}

// A new DKDDO (DKDDOBase) of capacity 10 with the pid, the object properties and, for a DKDDO,
// the datastore of ddo; with children, its "CHILD" collections copied too.
DKDDOBase* copyDDO(const DKDDOBase& ddo, bool isDDO, bool withChildren) {
    std::unique_ptr<DKDDOBase> copy(isDDO ? new DKDDO(static_cast<const DKDDO&>(ddo).getDatastore(), "", 10)
                                          : new DKDDOBase(10));
    copy->setPidObject(ddo.getPidObject());
    for (unsigned short id = 1; id <= ddo.propertyCount(); ++id)
        copy->addProperty(ddo.getPropertyName(id).c_str(), ddo.getProperty(id));
    if (!withChildren) return copy.release();
    for (unsigned short id = 1; id <= ddo.dataCount(); ++id) {
        if (ddo.getDataNameSpace(id) != "CHILD") continue;
        const DKAny value = ddo.getData(id);
        if (value.typeCode() != DKAny::tc_collection || value.value() == nullptr) continue;
        std::unique_ptr<DKChildCollection> children(new DKChildCollection);
        children->setTracking(0);
        std::unique_ptr<dkIterator> it(static_cast<dkCollection*>(value.value())->createIterator());
        while (it->more()) {
            const DKAny* e = it->next();
            auto* o = e != nullptr && e->typeCode() == DKAny::tc_dobase ? static_cast<dkDataObjectBase*>(e->value()) : nullptr;
            if (dkDataObjectProtocol(o) != DKProtocolDDO) continue;
            std::unique_ptr<dkDataObjectBase> child(copyDDO(*static_cast<DKDDO*>(o), true, true));
            children->addElement(DKAny(child.get()));
            child.release();
        }
        children->setTracking(1);
        const unsigned short item = copy->addData("CHILD", ddo.getDataName(id).c_str());
        copy->addDataProperty(item, "type", DKAny(static_cast<unsigned short>(1072)));
        copy->setData(item, DKAny(static_cast<dkCollection*>(children.get())));
        children.release();
    }
    return copy.release();
}

const char* const kFunctionNames[] = {"addToFolder", "removeFromFolder", "addChild", "removeChild", "addLink",
                                      "removeLink", "removeLinks", "addPart", "removePart"};

// The datastore's "DATASTORE_EXTENSION", or null when it has none.
dkDatastoreExt* extensionOf(dkDatastore* datastore) {
    if (datastore == nullptr) return nullptr;
    try {
        return dynamic_cast<dkDatastoreExt*>(datastore->getExtension("DATASTORE_EXTENSION"));
    } catch (const DKUsageError& e) {
        if (e.errorMessageId() == 341) return nullptr;   // the base datastore has no extensions
        throw;
    }
}

}  // namespace

dkLog* dkMemberLog(const char* component, int& trace, int& debug) {
    dkLog* log = DKLogAccessor::getInstance(component);
    trace = log != nullptr && log->isEnabled_trace_entry_exit() ? 1 : 0;
    debug = log != nullptr && log->isEnabled_debug() ? 1 : 0;
    return log;
}

void dkMemberLogWrite(dkLog* log, bool debugLine, const DKString& text) {
    if (log == nullptr) return;
    if (debugLine) log->debug(text.c_str());
    else log->trace_entry_exit(text.c_str());
}

dkDataObjectBase* dkMemberObject(DKDDO* object) noexcept { return object; }

dkDataObjectBase* dkMemberObject(dkDataObject* object) noexcept { return object; }

dkDataObjectBase* dkMemberObject(dkXDO* object) noexcept {
    // A resource is held by its DKDDO half.
    if (dkResource* resource = dkAsResource(object)) return static_cast<DKDDO*>(resource);
    return object;
}

dkXDO* dkMemberContent(dkDataObjectBase* object) noexcept {
    const short protocol = dkDataObjectProtocol(object);
    if (protocol == DKProtocolXDO) return static_cast<dkXDO*>(object);
    return dkAsResource(object);
}

DKString dkMemberPidString(const dkDataObjectBase* object) {
    auto* o = const_cast<dkDataObjectBase*>(object);
    if (const dkDataObject* named = dataObjectOf(o)) return named->getPidObject()->pidString();
    if (dkDataObjectProtocol(o) == DKProtocolXDO) {
        const DKPid* pid = static_cast<dkXDO*>(o)->getPid();
        if (pid != nullptr) return pid->pidString();
    }
    return DKString();
}

DKString dkMemberObjectType(const dkDataObjectBase* object) { return object != nullptr ? object->getObjectType() : DKString(); }

dkDataObjectBase* dkMemberCopy(const dkDataObjectBase* object, bool withChildren) {
    auto* o = const_cast<dkDataObjectBase*>(object);
    switch (dkDataObjectProtocol(o)) {
    case DKProtocolDDO:
    case DKProtocolDDOBase:
        return copyDDO(*static_cast<DKDDOBase*>(o), o->protocol() == DKProtocolDDO, withChildren);
    case DKProtocolXDO:
    case DKProtocolResource:
        return dkMemberObject(dkMemberContent(o)->clone());
    default:
        return nullptr;
    }
}

dkDataObject* dkMemberEndCopy(dkDataObject* end) {
    std::unique_ptr<dkDataObjectBase> copy(dkMemberCopy(end, false));
    dkDataObject* named = dataObjectOf(copy.get());
    if (named != nullptr) copy.release();   // a content object is no link end; it goes
    return named;
}

dkDatastore* dkMemberDatastore(const dkDataObjectBase* object) {
    auto* o = const_cast<dkDataObjectBase*>(object);
    if (dkDataObjectProtocol(o) == DKProtocolDDO) return static_cast<DKDDO*>(o)->getDatastore();
    const dkResource* resource = dkAsResource(o);
    return resource != nullptr ? resource->getDatastore() : nullptr;
}

bool dkMemberItemHolds(DKDDO* owner, const char* itemName, const dkCollection* collection) {
    const unsigned short id = owner->dataId(itemName);
    if (id == 0) return false;
    const DKAny value = owner->getData(id);
    return value.typeCode() == DKAny::tc_collection && value.value() == collection;
}

bool dkMemberAffiliatedType(const dkDataObjectBase* object, unsigned long& type) {
    if (dkDataObjectProtocol(object) != DKProtocolXDO) return false;
    type = static_cast<const dkXDO*>(object)->getAffiliatedType();
    return true;
}

bool dkMemberSupported(dkDatastore* datastore, dkMemberFunction function) {
    dkDatastoreExt* extension = extensionOf(datastore);
    return extension != nullptr && extension->isSupported(kFunctionNames[static_cast<int>(function)]) != 0;
}

void dkMemberApply(dkDatastore* datastore, dkMemberFunction function, const dkMemberCall& call) {
    dkDatastoreExt* extension = extensionOf(datastore);
    dkDataObject* owner = dataObjectOf(call.owner);
    dkDataObject* member = dataObjectOf(call.member);
    switch (function) {
    case dkMemberFunction::addToFolder: extension->addToFolder(owner, member); break;
    case dkMemberFunction::removeFromFolder: extension->removeFromFolder(owner, member); break;
    case dkMemberFunction::addChild: extension->addChild(owner, member); break;
    case dkMemberFunction::removeChild: extension->removeChild(owner, member); break;
    case dkMemberFunction::addLink: extension->addLink(call.link); break;
    case dkMemberFunction::removeLink: extension->removeLink(call.link); break;
    case dkMemberFunction::removeLinks: extension->removeLinks(call.links); break;
    case dkMemberFunction::addPart: extension->addPart(owner, dkMemberContent(call.member)); break;
    case dkMemberFunction::removePart: extension->removePart(owner, dkMemberContent(call.member)); break;
    }
}
