// src/dk/coll/dkMemberCheck.hpp
#pragma once
#include <dk/dkProtocol.hpp>
#include <dk/dkThrow.hpp>

#include "dk/coll/dkDataObjectAccess.hpp"

#include <cstdint>

// The checks every immediate membership change makes before it changes anything, shared by the
// membership collections of this folder.

// The datastore behind object; DKUsageError 422 located at function of source when it has none.
inline dkDatastore* dkMemberDatastoreOrThrow(const dkDataObjectBase* object, const char* source, const char* function) {
    dkDatastore* datastore = dkMemberDatastore(object);
    if (datastore == nullptr) dkThrow<DKUsageError>(422, source, function);
    return datastore;
}

// DKUsageError 459 unless the datastore's extension supports the membership function.
inline void dkMemberRequire(dkDatastore* datastore, dkMemberFunction function, const char* source, const char* where) {
    if (!dkMemberSupported(datastore, function)) dkThrow<DKUsageError>(459, source, where);
}

// True for the data objects membership collections of DDOs hold: protocols 1, 5 and 13.
inline bool dkMemberIsDataObject(const dkDataObjectBase* object) {
    const short protocol = dkDataObjectProtocol(object);
    return protocol == DKProtocolDDOBase || protocol == DKProtocolDDO || protocol == DKProtocolResource;
}

// The data object an element holds (tc_dobase), else null.
inline dkDataObjectBase* dkMemberElementObject(const DKAny& element) {
    return element.typeCode() == DKAny::tc_dobase ? static_cast<dkDataObjectBase*>(element.value()) : nullptr;
}

// The pid string of a link end (empty for a null end).
inline DKString dkMemberEndPid(dkDataObject* end) { return dkMemberPidString(dkMemberObject(end)); }

// The address of an object as the decimal number trace and debug lines show.
inline DKString dkMemberAddress(const void* p) { return DKString(static_cast<long>(reinterpret_cast<std::intptr_t>(p))); }
