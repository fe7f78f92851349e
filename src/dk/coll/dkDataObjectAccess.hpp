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

// ---------------------------------------------------------------------------------------------
// What the membership collections (DKFolder, DKParts, DKChildCollection, DKLinkCollection,
// DKSegmentedParts) ask of the log, of data and content objects and of the datastore extension.
// Defined in src/dk/common/datastore/dkMemberAccess.cpp, the lowest layer that sees all four.

class DKDDO;
class DKLink;
class dkCollection;
class dkDataObject;
class dkLog;
class dkXDO;

// The log of a component (DKLogAccessor::getInstance(component)), with its trace entry/exit and
// debug flags as they are now.
dkLog* dkMemberLog(const char* component, int& trace, int& debug);
// Writes text through the log's trace_entry_exit, or its debug when debugLine is set.
void dkMemberLogWrite(dkLog* log, bool debugLine, const DKString& text);

// The pointer a collection element holds for the object (DKAny's tc_dobase): the object itself,
// for a resource its DKDDO half; null for null.
dkDataObjectBase* dkMemberObject(DKDDO* object) noexcept;
dkDataObjectBase* dkMemberObject(dkDataObject* object) noexcept;
dkDataObjectBase* dkMemberObject(dkXDO* object) noexcept;
// The content object (dkXDO half) of an element's object of protocol 12 or 13; null otherwise.
dkXDO* dkMemberContent(dkDataObjectBase* object) noexcept;
// pidString() of the object's pid: the data-object pid for protocols 1, 5 and 13, the content
// object's for 12 (empty when it has none); empty for null and other objects.
DKString dkMemberPidString(const dkDataObjectBase* object);
DKString dkMemberObjectType(const dkDataObjectBase* object);   // getObjectType(); empty for null
// The copy a removal record keeps, the caller's: clone() of a content object or resource; for a
// DKDDO (DKDDOBase) a new one of capacity 10 with the pid, the object properties in order and (a
// DKDDO) the datastore. withChildren also copies, item by item in id order, every "CHILD"
// collection into a new DKChildCollection of copies (by this same rule) of its DKDDO elements,
// under a "CHILD" item of the same name with "type" 1072. Null for any other object.
dkDataObjectBase* dkMemberCopy(const dkDataObjectBase* object, bool withChildren);
// A link end copied by the rule of dkMemberCopy (no children), as a link holds it.
dkDataObject* dkMemberEndCopy(dkDataObject* end);
// The datastore of a DKDDO or resource; null for null and other objects.
dkDatastore* dkMemberDatastore(const dkDataObjectBase* object);
// Whether owner has a data item itemName whose value holds this very collection.
bool dkMemberItemHolds(DKDDO* owner, const char* itemName, const dkCollection* collection);
// getAffiliatedType() of a content object of protocol 12; false for every other object.
bool dkMemberAffiliatedType(const dkDataObjectBase* object, unsigned long& type);

// The membership functions of the extension "DATASTORE_EXTENSION", as isSupported names them.
enum class dkMemberFunction { addToFolder, removeFromFolder, addChild, removeChild, addLink, removeLink, removeLinks, addPart, removePart };
// What one call hands on: owner and member for the folder, child and part functions (elements'
// pointers, as dkMemberObject gives them), link for addLink and removeLink, links for removeLinks.
struct dkMemberCall {
    dkDataObjectBase* owner = nullptr;
    dkDataObjectBase* member = nullptr;
    DKLink* link = nullptr;
    dkCollection* links = nullptr;
};
// Whether the datastore's extension supports the function: false when it has no extension (a
// null one, a base datastore's DKUsageError 341, or an extension of another kind).
bool dkMemberSupported(dkDatastore* datastore, dkMemberFunction function);
// Calls the function on the datastore's extension (dkMemberSupported said yes).
void dkMemberApply(dkDatastore* datastore, dkMemberFunction function, const dkMemberCall& call);
