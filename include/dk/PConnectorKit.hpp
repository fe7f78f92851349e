// include/dk/PConnectorKit.hpp
#pragma once
#include <dk/DKAny.hpp>
#include <dk/DKDDO.hpp>
#include <dk/DKDDODef.hpp>
#include <dk/DKException.hpp>
#include <dk/DKPid.hpp>
#include <dk/DKSequentialCollection.hpp>
#include <dk/dkCollection.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkDatastoreDef.hpp>
#include <dk/dkExport.hpp>
#include <dk/dkProtocol.hpp>

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

class DKDDO;
class DKDDOBase;
class DKNVPair;
class dkResultSetCursor;
class DKPid;
class dkDatastore;
class dkDataObject;
class dkDataObjectBase;

// What every connector does between the dkDatastore interface and its repository, done once
// here so that all connectors and the base datastore agree:
//
//  - which data objects a datastore stores (one protocol rule), and how it refuses the others;
//  - the collection forms: one call per element in order (the base datastore), or every element
//    or none (a connector with transactions), each element checked by the same rule, a failure
//    leaving with the collection operation's location;
//  - where the data items of a DDO go among an entity's attributes (PItemMap), worked out once
//    per definition and kept with it;
//  - reading a DDO's values in place, without the copies getData makes, and filling DDOs (new
//    or reused) with values moved or read in place.
//
// A connector built on the kit writes only what is its own: SQL, files, its messages.

// How one datastore refuses an object it cannot store, and where it says so. Every refusal is a
// DKUsageError of messageId located in source; the detail follows the catalogue text.
struct PObjectRules {
    long messageId;
    const char* source;
    const char* noDataObject;        // a collection element that holds no data object at all
    const char* notStorable;         // a collection element holding another kind of data object
    const char* objectNotStorable;   // a single object of another kind; " (protocol N)" follows
};

// The attribute names of one entity in position order (from 0), as a connector stores them, and
// matched either exactly or without ASCII case (as SQL matches identifiers). Each change gives
// the list a number no list of the process had before, so an item map made for one list is never
// taken for another's. Owned by the connector; one thread at a time.
class DK_API PAttributeNames {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    explicit PAttributeNames(bool ignoreCase = true);
    void add(const char* name);
    std::size_t size() const { return names_.size(); }
    const std::string& name(std::size_t position) const { return names_[position]; }
    std::size_t find(const char* name) const;   // the position of name, or npos
    bool matches(std::size_t position, const char* name) const;
    unsigned long serial() const { return serial_; }

private:
    std::string keyOf(const char* name) const;

    bool ignoreCase_;
    unsigned long serial_;
    std::vector<std::string> names_;
    std::unordered_map<std::string, std::size_t> positions_;   // by key; the first of a name
};

// Where the data items of one DDO definition go among one list of attribute names. Made by
// PConnectorKit::itemMap and kept with the definition (which deletes it when its items change);
// a reference to it holds until the definition's items change or another list is mapped onto
// the same definition.
class DK_API PItemMap : public PDefinitionNote {
public:
    static constexpr std::size_t npos = PAttributeNames::npos;

    // The data item holding the attribute at position (the last of several that name it), or 0.
    unsigned short itemOf(std::size_t position) const {
        return position < items_.size() ? items_[position] : 0;
    }
    // The attribute position of data item id, or npos when the item names no attribute.
    std::size_t attributeOf(unsigned short id) const {
        return id >= 1 && id <= positions_.size() ? positions_[id - 1U] : npos;
    }
    // The first data item that names no attribute, or 0 when every item does.
    unsigned short stranger() const { return stranger_; }
    unsigned short itemCount() const { return static_cast<unsigned short>(positions_.size()); }

private:
    friend class PConnectorKit;
    PItemMap(const DKDDODef* def, const PAttributeNames& names);

    unsigned long serial_;                  // of the list it was made for
    std::vector<unsigned short> items_;     // by attribute position
    std::vector<std::size_t> positions_;    // by data id - 1
    unsigned short stranger_;
};

// The connector kit: static operations only, used by the base datastore and by connectors.
// Refusals go through the one throw helper with the caller's message, source and function; the
// line of a refusal is the caller's.
class DK_API PConnectorKit {
public:
    // The one rule: a datastore stores the objects of the dkDataObject family that carry data
    // items, protocol DKProtocolDDOBase, DKProtocolDDO or DKProtocolResource (a dkResource is a
    // DKDDO and a content object at once).
    static bool isStorable(short protocol) {
        return protocol == DKProtocolDDOBase || protocol == DKProtocolDDO || protocol == DKProtocolResource;
    }
    // The DDO of object under the rule, or null (also for null).
    static DKDDOBase* storable(dkDataObjectBase* object);
    static DKDDOBase* storable(dkDataObject* object);
    // The same, refusing with rules.objectNotStorable and the protocol (-1 for null).
    static DKDDOBase& checkedObject(dkDataObject* object, const PObjectRules& rules, const char* function,
                                    unsigned long line = __builtin_LINE());
    // The DDO a collection element holds, refusing an element that holds no data object
    // (rules.noDataObject) or another kind of data object (rules.notStorable).
    static DKDDOBase& checkedElement(const DKAny* element, const PObjectRules& rules, const char* operation,
                                     unsigned long line = __builtin_LINE());
    // Every element checked, in the collection's order, before any is used; empty for null.
    static std::vector<DKDDOBase*> checkedElements(dkCollection* objects, const PObjectRules& rules,
                                                   const char* operation, unsigned long line = __builtin_LINE());

    // The row id of a stored item from its pid: the pid must be of pidType and repository and
    // hold one positive decimal id string, else it is refused with rules.messageId ("pid ..."
    // following the catalogue text).
    static long rowIdOf(const DKDDOBase& ddo, const char* pidType, const std::string& repository,
                        const PObjectRules& rules, const char* function, unsigned long line = __builtin_LINE());
    // After a DDO was added: it gets pid (a copy), loses its change flags and, when it is a DKDDO
    // bound to no datastore yet, is bound to datastore.
    static void finishAdd(DKDDOBase& ddo, const DKPid& pid, dkDatastore* datastore);

    // Every row of cursor (adopted and deleted) as a new DKResults of datastore, in a DKAny that
    // owns it: what evaluate returns.
    static DKAny readAll(dkResultSetCursor* cursor, const dkDatastore& datastore);
    // The entity a text query's options name with the option "Entity" (empty: every entity), up
    // to an "End" or empty name; a query object's "Prepare Query" is passed over, and any other
    // option is refused with DKUsageError badParams located in source.
    static std::string textQueryEntity(const DKNVPair* options, long badParams, const char* source,
                                       const char* function);

    // The value of an integer DKAny (short, unsigned short, long, unsigned long) as a long; false
    // for other types and for an unsigned long above LONG_MAX.
    static bool integerOf(const DKAny& v, long& out);

    // The collection operation's location (rules.source, operation, line) added to e.
    static void locate(DKException& e, const PObjectRules& rules, const char* operation, unsigned long line);

    // One call per element, in order: each element is checked just before its call, a refusal
    // or a DKException from the call ends the loop, and the elements before it stay processed.
    // The exception of a call leaves as the same object with the collection operation's
    // location added; a null collection does nothing.
    template <class Call>
    static void eachObject(dkCollection* objects, const PObjectRules& rules, const char* operation, Call call,
                           unsigned long line = __builtin_LINE());

    // Every element or none: all elements are checked first, then begin() opens the connector's
    // unit of work (an object whose destructor undoes what it holds unless commit() was called),
    // write(ddo) runs for each object in order, the unit commits, and only then finish(ddo) (or
    // finish(ddo, r) with what write returned for it) runs for each, so the objects change only
    // once all of them were written. A DKException leaves with the collection operation's
    // location added. An empty or null collection opens no unit.
    template <class Begin, class Write, class Finish>
    static void allOrNone(dkCollection* objects, const PObjectRules& rules, const char* operation, Begin begin,
                          Write write, Finish finish, unsigned long line = __builtin_LINE());

    // The map of ddo's data items onto attributes, made on the first call for its definition and
    // list and then kept with the definition. A DDO without a definition of its own maps nothing.
    static const PItemMap& itemMap(const DKDDOBase& ddo, const PAttributeNames& attributes);
    // The values of ddo's items that are attributes, read(k) giving the value of the attribute at
    // position k: every value is read before any is stored, so a value that cannot be read leaves
    // the DDO as it was. Items that are no attribute are the caller's own and left alone.
    template <class Read>
    static void readAttributes(DKDDOBase& ddo, const PAttributeNames& attributes, Read read);

    // The value of item id as the DDO holds it, when it is set; null when not. No copy is made:
    // the reference holds until the item is changed. Bad ids as for getData.
    static const DKAny* setValue(const DKDDOBase& ddo, unsigned short id);
    // Whether item id was changed since its flags were last reset.
    static bool changed(const DKDDOBase& ddo, unsigned short id);

    // Filling DDOs without copies, for connectors that read rows into DDOs.
    //
    // The definition ddo holds (shared or private), or null while it has none yet.
    static const DKDDODef* definition(const DKDDOBase& ddo);
    // The value of item id, for a connector to read a value into in place: assigning to the
    // object it holds reuses that object (a string's buffer, a timestamp), replacing it is as
    // good. The item's properties are frozen as setData freezes them (DKUsageError 381 when one
    // has no value); a collection or data object the value owned is deleted and the value made
    // null; the item is then set and not changed, as a retrieve leaves it. Only plain values may
    // be filled in: a collection goes through setData, which tells it its owner. Bad ids as for
    // setData.
    static DKAny& fill(DKDDOBase& ddo, unsigned short id);
    // A whole row in one call: items ids[0 .. count - 1] are each filled as fill does, and
    // read(i, value) reads the value of item ids[i] in place. The same work as one fill per
    // value, without a call into the library for each.
    template <class Read>
    static void fillRow(DKDDOBase& ddo, const unsigned short* ids, std::size_t count, Read read);
    // Puts a value object of type T, made of args, into value, for a read in place: assigned to
    // the object value holds when that is of type tc (no allocation, a string's buffer reused),
    // else a new object held inside value; a byte array, which a copy would copy again, is adopted.
    template <class T, class... Args>
    static void put(DKAny& value, DKAny::TypeCode tc, Args&&... args);
    // Item id becomes null, not set and not changed, as in a new DDO (an owned object deleted).
    static void unset(DKDDOBase& ddo, unsigned short id);
    // Gives ddo the value of pid: assigned to the DDO's own pid when that is of pid's class (no
    // allocation), a clone of pid when the DDO has none yet, otherwise as setPid does.
    static void setPid(DKDDOBase& ddo, const DKPid& pid);
    // Moves what from holds into into, as if into had been made in its place: the definition
    // (shared), the pid, every value with its flags and the object properties. Values are moved,
    // never copied; from is left without values. The datastore of a DKDDO is not touched.
    static void handOver(DKDDOBase& from, DKDDOBase& into);
    // A new DDO of a result row, bound to ds, sharing def, with one unset value per item and a
    // copy of pid, in one allocation: the values and a pid of class DKPid live in the object's own
    // block (another class of pid is cloned). The caller owns the DDO and deletes it as usual.
    static DKDDO* newRowObject(DKDDODef* def, const DKPid& pid, dkDatastore* ds);
    // The same with id string 0 of the copy replaced by id: a cursor gives the row id it read
    // without stamping it on its own pid first.
    static DKDDO* newRowObject(DKDDODef* def, const DKPid& pid, const char* id, dkDatastore* ds);
    // The items 1 .. items that filled does not name (a 0 in filled names none): the items of an
    // entity a result leaves out, which a DDO filled again for each row must unset.
    static std::vector<unsigned short> unfilledItems(const std::vector<unsigned short>& filled,
                                                     unsigned short items);
    // Makes row, a DDO the caller gives again for every row, ready for the values of one result
    // row of shape def: kept when it already shares def and has no object properties (then the
    // unfilled items, from unfilledItems, are unset), otherwise reset to def; it is then given pid
    // (with id string 0 replaced by id, when id is not null) and bound to ds. Allocates nothing
    // when row is kept and its pid is of pid's class; when that pid already has pid's names and
    // one id string, only the id is written.
    static void refillRow(DKDDO& row, DKDDODef* def, const DKPid& pid, const char* id, dkDatastore* ds,
                          const std::vector<unsigned short>& unfilled);

    // DKUsageError noAttr for item id of ddo, which names no attribute of entity ("ENTITY.ITEM").
    [[noreturn]] static void refuseItem(const DKDDOBase& ddo, const std::string& entity, unsigned short id, long noAttr,
                                        const char* source, const char* function, unsigned long line);

private:
    // Deletes the collection or data object value owns, if any, and makes it null.
    static void dropOwned(DKAny& value) noexcept;
    [[noreturn]] static void refuse(const PObjectRules& rules, const char* detail, const char* function,
                                    unsigned long line);
};

// ---------------------------------------------------------------------------------------------

template <class Call>
void PConnectorKit::eachObject(dkCollection* objects, const PObjectRules& rules, const char* operation, Call call,
                               unsigned long line) {
    if (objects == nullptr) return;
    std::unique_ptr<dkIterator> it(objects->createIterator());
    while (it->more()) {
        DKDDOBase& ddo = checkedElement(it->next(), rules, operation, line);
        try {
            call(ddo);
        } catch (DKException& e) {
            locate(e, rules, operation, line);
            throw;
        }
    }
}

template <class Begin, class Write, class Finish>
void PConnectorKit::allOrNone(dkCollection* objects, const PObjectRules& rules, const char* operation, Begin begin,
                              Write write, Finish finish, unsigned long line) {
    using Result = std::invoke_result_t<Write&, DKDDOBase&>;
    try {
        const std::vector<DKDDOBase*> all = checkedElements(objects, rules, operation, line);
        if (all.empty()) return;
        auto unit = begin();
        if constexpr (std::is_void_v<Result>) {
            for (DKDDOBase* ddo : all) write(*ddo);
            unit.commit();
            for (DKDDOBase* ddo : all) finish(*ddo);
        } else {
            std::vector<Result> results;
            results.reserve(all.size());
            for (DKDDOBase* ddo : all) results.push_back(write(*ddo));
            unit.commit();
            for (std::size_t i = 0; i < all.size(); ++i) finish(*all[i], results[i]);
        }
    } catch (DKException& e) {
        locate(e, rules, operation, line);
        throw;
    }
}

template <class Read>
void PConnectorKit::readAttributes(DKDDOBase& ddo, const PAttributeNames& attributes, Read read) {
    const PItemMap& map = itemMap(ddo, attributes);
    std::vector<std::pair<unsigned short, DKAny>> values;
    for (unsigned short id = 1; id <= map.itemCount(); ++id) {
        const std::size_t k = map.attributeOf(id);
        if (k != PItemMap::npos) values.emplace_back(id, read(k));
    }
    for (auto& [id, v] : values) {
        if (v.isNull()) ddo.setNull(id);
        else ddo.setData(id, v);
    }
}

template <class Read>
void PConnectorKit::fillRow(DKDDOBase& ddo, const unsigned short* ids, std::size_t count, Read read) {
    DKDDODef& def = ddo.writeDef();
    if (!ddo.valuesCurrent()) ddo.syncValues();   // once for the row, not for every value
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned short id = ids[i];
        def.freezeDataProperties(id);
        if (static_cast<unsigned>(id) - 1U >= ddo.valueCount) ddo.badId(id, nullptr);
        DKDDOBase::PDataValue& entry = ddo.values[id - 1];
        if (entry.value.typeCode() == DKAny::tc_collection || entry.value.typeCode() == DKAny::tc_dobase)
            dropOwned(entry.value);
        entry.set = 1;
        entry.changed = 0;
        read(i, entry.value);
    }
}

template <class T, class... Args>
void PConnectorKit::put(DKAny& value, DKAny::TypeCode tc, Args&&... args) {
    if (value.typeCode() == tc)
        *static_cast<T*>(value.value()) = T(std::forward<Args>(args)...);
    else if constexpr (std::is_same_v<T, DKByteArray>)
        value = DKAny(tc, new T(std::forward<Args>(args)...), 0);
    else
        value = DKAny(T(std::forward<Args>(args)...));
}

class dkAttrDef;
class dkEntityDef;

// The schema-object collections a connector's list calls return (listEntities, listAttrs, ...):
// elements are tc_voidptr with sub-type 1 (a dkEntityDef*) or 2 (a dkAttrDef*). The collection
// owns its definitions and deletes them with itself or with removeAllElements.
class DK_API PDefCollection : public DKSequentialCollection {
public:
    ~PDefCollection() override;
    void removeAllElements() override;
    int ownsElements() const override { return 1; }
    void addEntity(dkEntityDef* entity);   // adopted
    void addAttr(dkAttrDef* attr);         // adopted

private:
    void freeDefs() noexcept;
};

// A new array of count names, name(i) for each i, with count set; at least one element, so that
// the caller's delete[] always has one. The caller owns the array.
template <class Name>
DKString* PNameArray(std::size_t count, long& n, Name name) {
    n = static_cast<long>(count);
    DKString* names = new DKString[count > 0 ? count : 1];
    for (std::size_t i = 0; i < count; ++i) names[i] = name(i);
    return names;
}

// How one connector judges and refuses the attribute definitions of its entities: its messages
// (each a DKUsageError located in source) and its name and type rules.
struct PAttrDefRules {
    const char* source;
    long noAttr;       // no attribute given, or none of that name
    long attrExists;   // a name the entity has already
    long badName;
    long badType;
    bool (*validName)(const char* name);
    bool (*storableType)(unsigned short type);
};

// The attribute definitions of one entity definition, in position order, matched by name
// without ASCII case. The list owns its definitions; release hands one back to the caller. One
// thread at a time, as the entity definition that holds it.
class DK_API PAttrDefList {
public:
    using Defs = std::vector<std::unique_ptr<dkAttrDef>>;

    PAttrDefList();
    ~PAttrDefList();
    PAttrDefList(const PAttrDefList&) = delete;
    PAttrDefList& operator=(const PAttrDefList&) = delete;

    const Defs& defs() const { return defs_; }
    std::size_t size() const { return defs_.size(); }
    void clear();
    void append(std::unique_ptr<dkAttrDef> def);   // as it is, id included
    // The definition named name, or null (also for a null name).
    dkAttrDef* find(const char* name) const;
    // The same, refusing an unknown name with rules.noAttr.
    dkAttrDef& get(const char* name, const PAttrDefRules& rules, const char* function,
                   unsigned long line = __builtin_LINE()) const;
    // Checks def (given, valid name, storable type, a name not held yet), numbers it after the
    // others and adopts it. A refused definition stays the caller's.
    void adopt(dkAttrDef* def, const PAttrDefRules& rules, const char* function, unsigned long line = __builtin_LINE());
    // Takes the definition named name out of the list and gives it to the caller; an unknown
    // name is refused with rules.noAttr.
    dkAttrDef* release(const char* name, const PAttrDefRules& rules, const char* function,
                       unsigned long line = __builtin_LINE());
    // Deletes the definitions named name; false when there was none.
    bool erase(const char* name);
    // The names in position order, as PNameArray.
    DKString* names(long& count) const;

private:
    Defs::const_iterator position(const char* name) const;
    Defs defs_;
};

// How one connector refuses sub-entity definitions: its messages (each a DKUsageError located in
// source) and its name rule.
struct PEntityDefRules {
    const char* source;
    long noEntity;       // no sub-entity of that name
    long entityExists;   // a name the entity or one of its sub-entities has already
    long badName;
    long badObject;      // a definition another connector made
    bool (*validName)(const char* name);
};

// An entity definition with sub-entities: the part both connectors share. Sub-entities given to
// addSubEntity are kept (and owned) here until the entity is stored with the datastore
// definition's add, which stores the tree; getSubEntity's stay here; createSubEntity,
// retrieveSubEntity, removeSubEntity and the list results are the caller's (the collection owns
// its definitions). add(dkEntityDef*) and deleteSubEntity change the stored entity at once,
// through the datastore definition. One thread at a time, as its datastore.
class DK_API PEntityDefTree : public dkEntityDef {
public:
    using Subs = std::vector<std::unique_ptr<PEntityDefTree>>;

    PEntityDefTree(dkDatastore* ds, const PEntityDefRules& rules);
    ~PEntityDefTree() override;

    using dkEntityDef::add;
    using dkEntityDef::del;

    int hasSubEntities() override { return subs_.empty() ? 0 : 1; }
    dkEntityDef* createSubEntity() override;   // of this connector, its parent name set to this entity's
    dkEntityDef* getSubEntity(const char* subEntityName) override;
    dkEntityDef* retrieveSubEntity(const char* subEntityName) override;   // as stored under this entity
    dkCollection* listSubEntities() override;
    DKString* listSubEntityNames(long& arraySize) override;
    void add(dkEntityDef* subEntityDef) override;   // stores it now under this stored entity
    void del(dkEntityDef* subEntityDef) override;
    void deleteSubEntity(const char* subEntityName) override;   // drops it, its items and its sub-entities
    void addSubEntity(dkEntityDef* subEntityDef) override;
    dkEntityDef* removeSubEntity(const char* subEntityName) override;

    const Subs& subEntities() const { return subs_; }
    // A copy with copies of its attributes and sub-entities.
    std::unique_ptr<PEntityDefTree> copy() const;

protected:
    // An empty definition of the same connector.
    virtual std::unique_ptr<PEntityDefTree> blank() const = 0;
    // Gives other (a blank() of this one, named) copies of this definition's attributes.
    virtual void copyAttrsTo(PEntityDefTree& other) const = 0;
    void clearSubs() { subs_.clear(); }
    void appendSub(std::unique_ptr<PEntityDefTree> sub) { subs_.push_back(std::move(sub)); }

private:
    PEntityDefTree* mine(dkEntityDef* def, const char* function) const;   // of this connector, or refused
    Subs::iterator findSub(const char* name);
    const PEntityDefRules& rules_;
    Subs subs_;
};

// The base of a connector's datastore: the short forms of the item operations (without options,
// or without options and flags) pass on to the full forms with no options and flags 0, so a
// connector writes the seven full forms only. A connector that overrides a full form adds
// `using PConnectorDatastore::addObject;` (and the like) to keep the short ones callable through
// its own type. Ownership and thread rules are dkDatastore's.
class DK_API PConnectorDatastore : public dkDatastore {
public:
    using dkDatastore::dkDatastore;
    using dkDatastore::addObject;
    using dkDatastore::addObjects;
    using dkDatastore::deleteObject;
    using dkDatastore::deleteObjects;
    using dkDatastore::retrieveObject;
    using dkDatastore::updateObject;
    using dkDatastore::updateObjects;

    void addObject(dkDataObject* object, long flags) override { addObject(object, nullptr, flags); }
    void addObject(dkDataObject* object) override { addObject(object, nullptr, 0); }
    void addObjects(dkCollection* objects, long flags) override { addObjects(objects, nullptr, flags); }
    void addObjects(dkCollection* objects) override { addObjects(objects, nullptr, 0); }
    void deleteObject(dkDataObject* object, long flags) override { deleteObject(object, nullptr, flags); }
    void deleteObject(dkDataObject* object) override { deleteObject(object, nullptr, 0); }
    void deleteObjects(dkCollection* objects, long flags) override { deleteObjects(objects, nullptr, flags); }
    void deleteObjects(dkCollection* objects) override { deleteObjects(objects, nullptr, 0); }
    void retrieveObject(dkDataObject* object, long flags) override { retrieveObject(object, nullptr, flags); }
    void retrieveObject(dkDataObject* object) override { retrieveObject(object, nullptr, 0); }
    void updateObject(dkDataObject* object, long flags) override { updateObject(object, nullptr, flags); }
    void updateObject(dkDataObject* object) override { updateObject(object, nullptr, 0); }
    void updateObjects(dkCollection* objects, long flags) override { updateObjects(objects, nullptr, flags); }
    void updateObjects(dkCollection* objects) override { updateObjects(objects, nullptr, 0); }
};

// One attribute as a connector's catalogue holds it.
struct DK_API PCatalogueAttr {
    std::string name;   // as given
    unsigned short type = 0;
    short id = 0;       // its position in the entity, from 1
    int nullable = 1;
    long size = 0, precision = 0, scale = 0;
    std::string description;
    int textSearchable = 0;

    // The entry of def's properties, id included.
    static PCatalogueAttr of(dkAttrDef& def);
    // Gives def these properties; the entity name only to a def that has no entity, since on one
    // that has setEntityName renames the entity too.
    void applyTo(dkAttrDef& def, const char* entityName) const;
};

// Holds the one data object definition every DDO of an entity shares: a DKDDOBase that keeps its
// private definition, which the DDOs then share (so it lives while any of them does). Made and
// owned by the connector's catalogue entry; one thread at a time.
class DK_API PEntityShape : public DKDDOBase {
public:
    DKDDODef* definition() { return &writeDef(); }
    // One data item per attribute, in order, each with its "type" property.
    void addAttrs(const std::vector<PCatalogueAttr>& attrs);
};

// The pid of one entity's items: one DKPid kept per repository and given each row id in place,
// which costs far less than building and parsing a pid per item. The pid returned changes on the
// next call: callers copy it (DKDDO and setPid take clones). Owned by the entity's catalogue
// entry; one thread at a time.
class DK_API PItemPid {
public:
    // The pid of the item rowId (none for 0) of objectType in repository.
    const DKPid& pidFor(const char* datastoreType, const std::string& repository, const std::string& objectType,
                        long rowId);

private:
    std::unique_ptr<DKPid> pid_;
    std::string repository_;   // the repository pid_ names, checked without asking the pid
};

// ---------------------------------------------------------------------------------------------
// The schema objects every connector writes the same way: a datastore definition, entity
// definitions and attribute definitions over the connector's catalogue. A connector adds only its
// classes' names, its messages and the catalogue itself (PSchemaCatalogue, which its datastore
// implements); the logic of the objects is here once.

// One entity as a connector's catalogue holds it: the part its schema objects read. A connector's
// own entry derives from it and adds its table, SQL and DDO shape.
struct DK_API PCatalogueEntity {
    std::string name;   // as given
    short id = 0;
    short type = 0;
    std::string description;
    std::string parent;                  // the parent entity of a sub-entity, as given; else empty
    std::vector<std::string> children;   // the sub-entities, in the order they were made
    std::vector<PCatalogueAttr> attrs;   // in position order
    PAttributeNames names;               // of attrs, matched without case: where a DDO's items go

    // The attribute named attrName (without ASCII case), or null.
    const PCatalogueAttr* find(const char* attrName) const;
};

// Where ddo's items go among the attributes of e, when ddo is written: every item must be an
// attribute or one isOwn(id) accepts (the connector's membership and child items); another is
// refused with DKUsageError noAttr ("ENTITY.ITEM") located in source.
template <class IsOwn>
const PItemMap& PWrittenItems(const DKDDOBase& ddo, const PCatalogueEntity& e, IsOwn isOwn, long noAttr, const char* source,
                              const char* function, unsigned long line = __builtin_LINE()) {
    const PItemMap& map = PConnectorKit::itemMap(ddo, e.names);
    for (unsigned short id = map.stranger(); id != 0 && id <= map.itemCount(); ++id)
        if (map.attributeOf(id) == PItemMap::npos && !isOwn(id))
            PConnectorKit::refuseItem(ddo, e.name, id, noAttr, source, function, line);
    return map;
}

// An entity to be stored: what the schema objects hand the catalogue, parents before their
// sub-entities.
struct PNewEntity {
    std::string name;
    short type = 0;
    std::string description;
    std::vector<PCatalogueAttr> attrs;
    std::string parent;   // empty: none
};

// What a connector's schema objects ask of its catalogue; the connector's datastore implements
// it beside dkDatastore. Every refusal is the connector's own (its message, its source, the
// function given). One thread at a time, as the datastore.
class DK_API PSchemaCatalogue {
public:
    // Before a schema object reads: the catalogue brought in step with other connections'
    // changes, where the connector does not keep it so by itself. Nothing by default.
    virtual void refreshSchema(const char* function);
    // The entity named name (without case); an unknown name is refused.
    virtual std::shared_ptr<const PCatalogueEntity> schemaEntity(const char* name, const char* function) = 0;
    // Every entity, by id.
    virtual std::vector<std::shared_ptr<const PCatalogueEntity>> schemaEntities(const char* function) = 0;
    // Stores entities (parents first) together or not at all.
    virtual void storeEntities(const std::vector<PNewEntity>& entities, const char* function) = 0;
    // Drops the entity named name with its sub-entities and their items.
    virtual void dropEntity(const char* name, const char* function) = 0;
    // Adds attr after the stored entity's attributes, or drops the attribute named attr.
    virtual void storeAttr(const char* entity, const PCatalogueAttr& attr, const char* function) = 0;
    virtual void dropAttr(const char* entity, const char* attr, const char* function) = 0;

protected:
    virtual ~PSchemaCatalogue();
};

// How one connector's schema objects refuse and name themselves.
struct PSchemaRules {
    PAttrDefRules attrs;
    PEntityDefRules entities;
    const char* datastoreDefClass;   // before "::operation" in the function texts ("DKDatastoreDefSQLITE")
    const char* entityDefClass;
    const char* attrDefClass;
    // Whether the catalogue moves the attributes after a dropped one up one place, so that an
    // entity definition numbers the attributes it keeps again.
    bool renumbersAttrs;
};

// An attribute definition of a connector; add() and del() store or drop it in its entity at once
// (through the entity definition when it has one). The datastore is not owned.
class DK_API PAttrDefBase : public dkAttrDef {
public:
    PAttrDefBase(dkDatastore* ds, dkEntityDef* entity, const PSchemaRules& rules);
    ~PAttrDefBase() override;

    void add() override;
    void del() override;

    // Fills this object from the catalogue entry a of the entity entityName.
    void load(const PCatalogueAttr& a, const char* entityName) { a.applyTo(*this, entityName); }

private:
    const PSchemaRules& rules_;
};

// An entity definition of a connector. Attributes given to addAttr are kept (and owned) here
// until the entity is stored with add(), which stores them and its sub-entities with it in one
// transaction; an attribute addAttr refuses (bad name or type, repeated name) stays the caller's.
// add(dkAttrDef*) and deleteAttr change a stored entity at once. One thread at a time, as its
// datastore.
class DK_API PEntityDefBase : public PEntityDefTree {
public:
    PEntityDefBase(dkDatastore* ds, const PSchemaRules& rules);
    ~PEntityDefBase() override;

    using PEntityDefTree::add;
    using PEntityDefTree::del;

    void add(dkAttrDef* attrDef) override;
    void add() override;
    void del(dkAttrDef* attrDef) override;
    void del() override;
    dkAttrDef* createAttr() override;
    dkAttrDef* getAttr(const char* attrName) override;
    dkAttrDef* retrieveAttr(const char* attrName) override;
    dkCollection* listAttrs() override;
    DKString* listAttrNames(long& arraySize) override;
    void deleteAttr(const char* attrName) override;
    void addAttr(dkAttrDef* attrDef) override;
    dkAttrDef* removeAttr(const char* attrName) override;
    void clearCache() override {}

    // Fills this object from the catalogue entry (attributes and sub-entities included).
    void load(const PCatalogueEntity& e);
    const PAttrDefList::Defs& attrs() const { return attrs_.defs(); }
    const PSchemaRules& schemaRules() const { return rules_; }

protected:
    // A new attribute definition of the connector's class, of entity (null: none).
    virtual std::unique_ptr<dkAttrDef> newAttr(dkEntityDef* entity) const = 0;
    void copyAttrsTo(PEntityDefTree& other) const override;

private:
    std::string function(const char* operation) const;
    const PSchemaRules& rules_;
    PAttrDefList attrs_;
};

// The schema of one repository: its entities. Kept by the datastore (datastoreDef()); the
// collections and name arrays its lists return belong to the caller, with the definitions in them.
// getEntity's definitions stay here until clearCache, or until their entity is stored or deleted
// through this object. One thread at a time, as its datastore.
class DK_API PDatastoreDefBase : public dkDatastoreDef {
public:
    PDatastoreDefBase(dkDatastore* ds, const PSchemaRules& rules);
    ~PDatastoreDefBase() override;

    using dkDatastoreDef::listEntities;
    using dkDatastoreDef::listEntityNames;

    dkEntityDef* createEntity() override;
    dkEntityDef* getEntity(const char* name) override;
    dkEntityDef* retrieveEntity(const char* name) override;
    dkCollection* listEntities(const DKNVPair*, long) override { return listEntities(); }
    dkCollection* listEntities(long) override { return listEntities(); }
    dkCollection* listEntities() override;
    DKString* listEntityNames(const DKNVPair*, long, long& count) override { return listEntityNames(count); }
    DKString* listEntityNames(long, long& count) override { return listEntityNames(count); }
    DKString* listEntityNames(long& count) override;
    dkCollection* listEntityAttrs(const char* entity) override;
    DKString* listEntityAttrNames(const char* entity, long& count) override;
    // Stores entity and the sub-entities it holds, together or not at all.
    void add(dkEntityDef* entity) override;
    void del(dkEntityDef* entity) override;
    void deleteEntity(const char* name) override;
    void clearCache() override;

protected:
    // A new, empty entity definition of the connector's class.
    virtual std::unique_ptr<PEntityDefBase> newEntity() const = 0;
    // A new attribute definition of the connector's class, of no entity.
    virtual std::unique_ptr<dkAttrDef> newAttr() const = 0;

private:
    std::string function(const char* operation) const;
    PSchemaCatalogue& catalogue() const;
    // entity and the sub-entities under it, parents first.
    static void flatten(PEntityDefBase& entity, const std::string& parent, std::vector<PNewEntity>& out);
    const PSchemaRules& rules_;
    std::map<std::string, std::unique_ptr<dkEntityDef>> kept_;   // getEntity's, by lower-case name
};
