// include/dk/DKDDO.hpp
#pragma once
#include <dk/DKAny.hpp>
#include <dk/DKDDODef.hpp>
#include <dk/DKString.hpp>
#include <dk/DKTrace.hpp>
#include <dk/PVector.hpp>
#include <dk/dkDataObject.hpp>
#include <dk/dkExport.hpp>

#include <cstddef>
#include <optional>

class DKNVPair;
class DKPid;
class PPropertyVector;
class dkDatastore;

// A data object whose items are defined at run time: values by data id (from 1) with set and
// changed flags, named object properties, and a definition (DKDDODef) that holds the item names,
// namespaces and item properties and may be shared with other objects of the same shape.
//
// Ownership: the object owns its pid, its values and its object properties, and holds one count
// on its definition. A value holding a collection or a data object (tc_collection, tc_dobase)
// owns that object: it is deleted when setData or setNull replaces it by anything but the same
// object, by reset() and by the destructor; resetData() drops it without deleting it. Such an
// object must be held by one value only and must not hold this object in turn.
//
// Sharing: DKDDOBase(def) and reset(def) share def (the definition becomes not modifiable).
// Items added through any sharer belong to the definition, so every sharer has them at once: the
// others see them as unset values. Not copyable; one thread at a time, sharers of one definition
// included.
class DK_API DKDDOBase : public dkDataObject {
public:
    explicit DKDDOBase(unsigned short size = 10);
    DKDDOBase(const char* objectType, unsigned short size);
    DKDDOBase(const DKPid& pid, unsigned short size);
    // Shares def, which must not be null (DKUsageError 303), with one unset value per item.
    explicit DKDDOBase(DKDDODef* def);
    DKDDOBase(const DKDDOBase&) = delete;
    DKDDOBase& operator=(const DKDDOBase&) = delete;
    ~DKDDOBase() override;
    // Without a size: a result row's object shares one larger block with its values and pid.
    // The allocation functions come as a matching pair, the placement form for that block.
    static void* operator new(std::size_t n) { return ::operator new(n); }
    static void* operator new(std::size_t, void* where) noexcept { return where; }
    static void operator delete(void* p) noexcept { ::operator delete(p); }

    short protocol() const override;          // DKProtocolDDOBase
    DKString getObjectType() const override;  // the pid's object type
    virtual void setObjectType(const char* type);
    virtual int updatable() const;
    // Add the item to the definition (DKUsageError 378 on a used name) and return its id. The
    // value form stores a copy of value, set but not changed.
    virtual unsigned short addData(const char* nameSpace, const char* name);
    virtual unsigned short addData(const char* name, const DKAny& value);
    virtual unsigned short addData(const char* name);
    virtual unsigned short addDataProperty(unsigned short id, const char* name, const DKAny& value);
    virtual unsigned short addDataProperty(unsigned short id, const char* name);
    virtual unsigned short dataCount() const;
    virtual unsigned short dataPropertyCount(unsigned short id) const;
    virtual void setDataProperty(unsigned short id, unsigned short propertyId, const DKAny& value);
    virtual DKAny getDataProperty(unsigned short id, unsigned short propertyId) const;
    virtual void setDataPropertyName(unsigned short id, unsigned short propertyId, const char* name);
    virtual DKString getDataPropertyName(unsigned short id, unsigned short propertyId) const;
    // Freezes the item (DKUsageError 381, value unchanged, when one of its properties has no
    // value), stores a copy of value, set and changed. When the item's "type" property is 1024,
    // 1071, 1072 or 1073 and value holds a collection, the collection learns its owner (this
    // object) and attribute name (the item's).
    virtual void setData(unsigned short id, const DKAny& value);
    // The same with value moved in instead of copied (value is left null). When it fails, value
    // is untouched. Not virtual, so the slots stay as they are: it stores as this class does even
    // for a subclass that overrides the copying form (whose own name hides this one).
    void setData(unsigned short id, DKAny&& value);
    virtual DKAny getData(unsigned short id) const;   // a copy; DKUsageError 376 for id 0
    virtual void setDataName(unsigned short id, const char* nameSpace, const char* name);
    virtual void setDataName(unsigned short id, const char* name);
    virtual DKString getDataName(unsigned short id) const;
    virtual unsigned short dataId(const char* nameSpace, const char* name) const;
    virtual unsigned short dataId(const char* name) const;
    virtual unsigned short dataPropertyId(unsigned short id, const char* name) const;
    // DKUsageError 376 with ": " and the name when no item has it.
    virtual DKAny getDataByName(const char* nameSpace, const char* name) const;
    virtual DKAny getDataByName(const char* name) const;
    virtual DKAny getDataPropertyByName(const char* nameSpace, const char* dataName,
                                        const char* propertyName) const;
    virtual DKAny getDataPropertyByName(const char* dataName, const char* propertyName) const;
    virtual DKAny getDataPropertyByName(unsigned short id, const char* propertyName) const;
    virtual void setNull(unsigned short id);
    virtual int isNull(unsigned short id) const;
    virtual int isDataSet(unsigned short id) const;
    virtual int isDataPropertySet(unsigned short id, unsigned short propertyId) const;
    virtual unsigned short addProperty(const char* name, const DKAny& value);
    virtual unsigned short addProperty(const char* name);
    virtual unsigned short propertyCount() const;
    virtual void setProperty(unsigned short id, const DKAny& value);
    virtual DKAny getProperty(unsigned short id) const;
    virtual void setPropertyName(unsigned short id, const char* name);   // DKUsageError 379
    virtual DKString getPropertyName(unsigned short id) const;
    virtual unsigned short propertyId(const char* name) const;
    virtual DKAny getPropertyByName(const char* name) const;   // DKUsageError 377 when absent
    virtual int isPropertySet(unsigned short id) const;
    virtual DKString getDefObjectType() const;
    virtual void setDefObjectType(const char* type);
    // Drops every value (deleting owned objects), every object property and the count on the
    // current definition, then takes def (shared, as the constructor does) or, when def is
    // null, a new private definition. Giving the definition already held is safe.
    virtual void reset(DKDDODef* def);
    virtual void resetDataChanged();
    virtual int isDataChanged(unsigned short id) const;
    virtual unsigned short dataNameSpaceCount() const;
    virtual unsigned short* dataIdsByNameSpace(const char* nameSpace, long& count) const;
    virtual void setDataNameSpace(unsigned short id, const char* nameSpace);
    virtual DKString getDataNameSpace(unsigned short id) const;
    virtual void resetPropertyChanged();
    virtual int isPropertyChanged(unsigned short id) const;
    virtual void resetDataPropertyChanged();
    virtual int isDataPropertyChanged(unsigned short id, unsigned short propertyId) const;

    // The value becomes null, set and changed; an object it held is not deleted (its holder is
    // now the caller).
    void resetData(unsigned short id);

protected:
    void setUpdatable(int flag);   // always 1
    int isXDO(unsigned short id) const;   // 1
    // The common end of both setData forms: the item frozen and fresh stored, set and changed.
    void storeValue(unsigned short id, DKAny& fresh);

    // The value of one data item with its flags.
    struct PDataValue {
        DKAny value;
        int set = 0;
        int changed = 0;
    };

    // The definition for reading: the one held, or an empty one while the private definition has
    // not been needed yet.
    const DKDDODef& readDef() const;
    // The definition for changing: made (private, of the initial capacity) when none is held yet.
    DKDDODef& writeDef() { return def != nullptr ? *def : makeDef(); }
    DKDDODef& makeDef();
    // The value entry of id, after the values were brought in line with the definition. Id 0
    // gives DKUsageError 376 located at function (when not null); other bad ids give 392.
    PDataValue& value(unsigned short id, const char* function) const {
        if (!valuesCurrent()) syncValues();
        // id 0 wraps to the largest unsigned value, so one test covers both ends.
        if (static_cast<unsigned>(id) - 1U < valueCount) return values[id - 1];
        badId(id, function);
    }
    [[noreturn]] void badId(unsigned short id, const char* function) const;
    // 1 when the values match the definition's items (always, while there is no definition).
    bool valuesCurrent() const {
        return def == nullptr || (valueCount == def->dataItems->size() && defGeneration == def->generation);
    }
    // Grows the values to the definition's items (new ones unset); after the items were replaced
    // wholesale, every value is dropped first.
    void syncValues() const;
    void dropValues() const noexcept;   // deletes owned objects and the entries
    void freeValues() const noexcept;   // the entries only: deleted, or destroyed in place
    void releaseAll() noexcept;

    DKDDODef* def;                 // one count held; null until a private definition is needed
    int isUpdatable;
    // One entry per data item, in id order, in one owned block (valueCapacity entries, of which
    // valueCount are in use); they follow the definition, hence mutable.
    mutable PDataValue* values;
    mutable unsigned short valueCount;
    mutable unsigned short valueCapacity;
    // The values live in the object's own allocation (PConnectorKit::newRowObject): destroyed
    // in place, never freed.
    mutable bool valuesInBlock;
    PPropertyVector* properties;   // owned; null until the first object property
    unsigned short defSize;        // capacity of a private definition made later
    mutable unsigned long defGeneration;

    friend class PConnectorKit;   // hands values in and out without copies
};

// The dynamic data object of applications and connectors: a DKDDOBase bound to the datastore
// (not owned) that adds, retrieves, updates and deletes it. Each persistence operation hands the
// object and its arguments unchanged to the datastore's operation of the same family and returns
// the object; without a datastore it gives DKUsageError 422. Not copyable; one thread at a time.
class DK_API DKDDO : public DKDDOBase {
public:
    explicit DKDDO(unsigned short size = 10);
    DKDDO(const char* objectType, unsigned short size);
    DKDDO(dkDatastore* ds, const char* objectType, unsigned short size);
    DKDDO(const DKPid& pid, unsigned short size);
    DKDDO(dkDatastore* ds, const DKPid& pid, unsigned short size);
    // def only gives the initial capacity (its item count); the object's definition is its own.
    DKDDO(dkDatastore* ds, const DKPid& pid, DKDDODef* def);
    ~DKDDO() override;

    short protocol() const override;   // DKProtocolDDO

    virtual void setDatastore(dkDatastore* ds);
    virtual dkDatastore* getDatastore() const;
    virtual dkDataObjectBase& add(const DKNVPair* parms, long count);
    virtual dkDataObjectBase& add(long option);
    virtual dkDataObjectBase& add();
    virtual dkDataObjectBase& retrieve(const DKNVPair* parms, long count);
    virtual dkDataObjectBase& retrieve(long option);
    virtual dkDataObjectBase& retrieve();
    virtual dkDataObjectBase& update(const DKNVPair* parms, long count);
    virtual dkDataObjectBase& update(long option);
    virtual dkDataObjectBase& update();
    virtual dkDataObjectBase& del(const DKNVPair* parms, long count);
    virtual dkDataObjectBase& del(long option);
    virtual dkDataObjectBase& del();

protected:
    dkDatastore& checkedDatastore(const char* function) const;   // DKUsageError 422 when none
    // The object's trace, which takes the "DKDDO" log manager on the first persistence call:
    // most data objects are never added or retrieved themselves, and taking a log manager costs
    // a lock and a lookup.
    const DKTrace& trace() const;

    dkDatastore* datastore;   // not owned
    mutable std::optional<DKTrace> trace_;
};
