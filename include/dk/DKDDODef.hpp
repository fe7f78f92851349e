// include/dk/DKDDODef.hpp
#pragma once
#include <dk/DKAny.hpp>
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

class PVector;
class DKDDOBase;
class PConnectorKit;

// What a connector keeps about one definition (the item map of PConnectorKit.hpp): owned by the
// definition, which deletes it whenever an item is added, renamed or moved to another namespace,
// when its items are replaced and with itself. Only the connector kit makes notes.
class DK_API PDefinitionNote {
public:
    PDefinitionNote() = default;
    PDefinitionNote(const PDefinitionNote&) = delete;
    PDefinitionNote& operator=(const PDefinitionNote&) = delete;
    virtual ~PDefinitionNote();
};

// One named property of a data item or of a data object. A property added without a value is
// null, not set and not changed; receiving a value sets both flags. The entry owns its copies.
class DK_API PProperty {
public:
    explicit PProperty(const char* name);
    PProperty(const char* name, const DKAny& value);

    DKString name;
    DKAny value;
    int set;       // 1 once the property received a value
    int changed;   // 1 once it received a value; cleared by the reset-changed operations
};

// The definition of one data item: its name, its namespace ("ATTR" unless given), the frozen
// flag that setData sets once every property has a value (cleared again when a property is added
// without one), and the item's properties. It owns its property entries; a copy is deep and not
// frozen. Ids count from 1; an id beyond the count gives the vector's DKUsageError 392.
class DK_API PDataItemProperty {
public:
    PDataItemProperty(const char* nameSpace, const char* name);
    PDataItemProperty(const PDataItemProperty& other);
    PDataItemProperty& operator=(const PDataItemProperty&) = delete;
    virtual ~PDataItemProperty();

    // A new property, its id returned. A non-empty name the item already has gives DKUsageError
    // 379; empty names may repeat.
    unsigned short addProperty(const char* propertyName);
    unsigned short addProperty(const char* propertyName, const DKAny& value);
    unsigned short propertyCount() const;
    PProperty& property(unsigned short id) const;
    unsigned short propertyId(const char* propertyName) const;   // the first match; 0 when none

    DKString name;
    DKString nameSpace;
    int frozen;

private:
    PVector* properties;   // owned, of owned PProperty
};

// The properties of a data object itself, owned with their values; same rules as the properties
// of a data item (DKUsageError 379 on a repeated non-empty name).
class DK_API PPropertyVector {
public:
    PPropertyVector();
    PPropertyVector(const PPropertyVector&) = delete;
    PPropertyVector& operator=(const PPropertyVector&) = delete;
    virtual ~PPropertyVector();

    unsigned short addProperty(const char* propertyName);
    unsigned short addProperty(const char* propertyName, const DKAny& value);
    unsigned short propertyCount() const;
    PProperty& property(unsigned short id) const;
    unsigned short propertyId(const char* propertyName) const;

private:
    PVector* properties;   // owned, of owned PProperty
};

// The shape of a dynamic data object: its data items in id order, each with a name, a namespace
// and properties, plus an object type. A definition may be shared by several DKDDOBase objects
// through a reference count: it starts at 1 (the creator's count), each sharer adds one and
// removes one when it lets go, and the sharer that brings it to 0 deletes it. A creator that
// keeps its count deletes the definition itself once no sharer is left. Sharing makes it not
// modifiable; data items may still be added, and every sharer then sees the new item as an
// unset value. Sharers of one definition are used by one thread at a time.
class DK_API DKDDODef {
public:
    explicit DKDDODef(unsigned long size = 10);
    // Deep copy of the items and object type; modifiable, count 1, nothing frozen.
    DKDDODef(const DKDDODef& other);
    // Copies the modifiable flag and replaces every item by a deep copy of the other's; the
    // object type and the count stay. Each sharer drops its old values (they no longer match the
    // items, and owned objects among them are deleted) when it is next used.
    DKDDODef& operator=(const DKDDODef& other);
    // Same modifiable flag and the same items by name (order aside), with equal namespaces,
    // frozen flags and properties.
    int operator==(const DKDDODef& other) const;
    int operator!=(const DKDDODef& other) const { return operator==(other) ? 0 : 1; }

    virtual ~DKDDODef();
    virtual int modifiable() const;
    // Appends an item and returns its id. DKUsageError 378 when the pair (nameSpace, name), or
    // for the one-name form the name in any namespace, is already used.
    virtual unsigned short addData(const char* nameSpace, const char* name);
    virtual unsigned short addData(const char* name);
    virtual unsigned short addDataProperty(unsigned short id, const char* name, const DKAny& value);
    virtual unsigned short addDataProperty(unsigned short id, const char* name);
    virtual unsigned short dataCount() const;
    virtual unsigned short dataPropertyCount(unsigned short id) const;
    virtual void setDataProperty(unsigned short id, unsigned short propertyId, const DKAny& value);
    virtual DKAny getDataProperty(unsigned short id, unsigned short propertyId) const;
    // DKUsageError 379 when another property of the item has the name.
    virtual void setDataPropertyName(unsigned short id, unsigned short propertyId, const char* name);
    virtual DKString getDataPropertyName(unsigned short id, unsigned short propertyId) const;
    // Renames the item (its namespace stays); DKUsageError 378 when another item has the name.
    virtual void setDataName(unsigned short id, const char* nameSpace, const char* name);
    virtual void setDataName(unsigned short id, const char* name);
    virtual DKString getDataName(unsigned short id) const;
    virtual unsigned short dataId(const char* nameSpace, const char* name) const;   // 0 when none
    virtual unsigned short dataId(const char* name) const;   // any namespace; 0 when none
    virtual unsigned short dataPropertyId(unsigned short id, const char* name) const;
    // A copy of the property's value; DKUsageError 376 for a missing item, 380 for a missing
    // property.
    virtual DKAny getDataPropertyByName(const char* nameSpace, const char* dataName,
                                        const char* propertyName) const;
    virtual DKAny getDataPropertyByName(const char* dataName, const char* propertyName) const;
    virtual DKAny getDataPropertyByName(unsigned short id, const char* propertyName) const;
    virtual int isDataPropertySet(unsigned short id, unsigned short propertyId) const;
    virtual DKString getObjectType() const;
    virtual void setObjectType(const char* type);
    virtual unsigned short dataNameSpaceCount() const;
    // A new array of the ids of the items in nameSpace, in id order, with their number in count;
    // null and 0 when there are none. The caller deletes it with delete[].
    virtual unsigned short* dataIdsByNameSpace(const char* nameSpace, long& count) const;
    virtual void setDataNameSpace(unsigned short id, const char* nameSpace);   // no duplicate test
    virtual DKString getDataNameSpace(unsigned short id) const;
    virtual void resetDataPropertyChanged();
    virtual int isDataPropertyChanged(unsigned short id, unsigned short propertyId) const;

protected:
    virtual void setNotModifiable();
    // Marks the item frozen; DKUsageError 381 (nothing changed) when one of its properties has
    // no value.
    virtual void freezeDataProperties(unsigned short id);
    virtual DKDDODef* clone() const;   // a deep copy as the copy constructor makes, the caller's

    PDataItemProperty& item(unsigned short id) const;   // DKUsageError 392 beyond the count

    PVector* dataItems;   // owned, of owned PDataItemProperty, in id order
    int isModifiable;
    long referenceCount;
    DKString objectType;

private:
    void copyItems(const DKDDODef& other);
    void freeItems() noexcept;   // the items and their vector
    void dropNote() const noexcept;   // the items changed: what a connector noted is stale

    // Bumped whenever the items are replaced wholesale, so that sharers know their values no
    // longer match.
    unsigned long generation;
    // The connector kit's note on these items (owned), null until a connector maps them. A copy
    // of the definition starts without one.
    mutable PDefinitionNote* note;

    friend class DKDDOBase;
    friend class PConnectorKit;
};
