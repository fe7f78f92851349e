// src/dk/coll/dkDataObjectAccess.hpp
#pragma once
#include <dk/DKAny.hpp>
#include <dk/DKString.hpp>

class DKNVPair;
class dkDataObjectBase;
class dkDatastore;

// What the collections need to know of data objects and of the datastore query results come
// from. The collections sit below both, so the sort functions, the federated collection and the
// results reach them only through these library-internal functions, which the data object and
// datastore sources define (src/dk/common/model/dkDataObject.cpp, src/dk/common/datastore/
// dkDatastore.cpp). There are no stand-ins: a declaration here and a definition there that drift
// apart fail to link.

// The object's protocol() code; -1 for a null object.
short dkDataObjectProtocol(const dkDataObjectBase* object);
// The primary id of the object's persistent identifier (getPidObject()->getPrimaryId()); false
// when the object is not of protocol 1 or 5 or has no pid.
bool dkDataObjectPrimaryId(const dkDataObjectBase* object, DKString& id);
// The value of the data item named name (dataId(name) above 0, then getData(id)) of an object of
// protocol 1 or 5; false when the item is absent.
bool dkDataObjectItem(const dkDataObjectBase* object, const char* name, DKAny& value);
// Deletes the object through its virtual destructor.
void dkDeleteDataObject(dkDataObjectBase* object) noexcept;

// The datastore's own evaluate(query, queryType, options), which DKResults::evaluate hands on.
DKAny dkDatastoreEvaluate(dkDatastore& datastore, const char* query, short queryType, const DKNVPair* options);
