// src/dk/common/text/PKeyLongCollection.cpp
//
// The keyed collections behind DKPid's id strings and the service registry. One template holds
// the behaviour for the three key types; the tree is the standard library's red-black map, whose
// nodes never move, so a cursor can hold the address of its entry and find its neighbours by key.

#include <dk/PKeyLongCollection.hpp>

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {
constexpr const char* kSource = "dk/common/PKeyLongCollection";

template <class Key> const char* className();
template <> const char* className<long>() { return "PKeyLongCollection"; }
template <> const char* className<short>() { return "PKeyShortCollection"; }
template <> const char* className<DKString>() { return "PKeyStringCollection"; }

template <class Key>
std::string functionName(const char* operation) {
    return std::string(className<Key>()) + "::" + operation;
}
}  // namespace

#define DK_DEFINE_KEY_OBJECT(Class, Key) \
    Class::Class(Key key, void* obj) : key_(key), obj_(obj) {} \
    Class::~Class() = default;

DK_DEFINE_KEY_OBJECT(KeyObjectLong, long)
DK_DEFINE_KEY_OBJECT(KeyObjectShort, short)
DK_DEFINE_KEY_OBJECT(KeyObjectString, DKString)
#undef DK_DEFINE_KEY_OBJECT

template <class Key, class KeyObject>
struct PKeyCollection<Key, KeyObject>::Tree {
    std::map<Key, KeyObject> entries;   // DKString's operator< is byte order
    std::vector<Cursor*> cursors;       // registered cursors, in no particular order
};

// ---------------------------------------------------------------------------------------------
// Cursor

template <class Key, class KeyObject>
PKeyCollection<Key, KeyObject>::Cursor::Cursor(PKeyCollection* collection) : collection_(nullptr), entry_(nullptr) {
    attach(collection);
}

template <class Key, class KeyObject>
PKeyCollection<Key, KeyObject>::Cursor::Cursor(const Cursor& other) : collection_(nullptr), entry_(nullptr) {
    attach(other.collection_);
    entry_ = other.entry_;
}

template <class Key, class KeyObject>
typename PKeyCollection<Key, KeyObject>::Cursor& PKeyCollection<Key, KeyObject>::Cursor::operator=(const Cursor& other) {
    if (this != &other) {
        if (collection_ != other.collection_) {
            detach();
            attach(other.collection_);
        }
        entry_ = other.entry_;
    }
    return *this;
}

template <class Key, class KeyObject>
PKeyCollection<Key, KeyObject>::Cursor::~Cursor() {
    detach();
}

template <class Key, class KeyObject>
void PKeyCollection<Key, KeyObject>::Cursor::attach(PKeyCollection* collection) {
    collection_ = collection;
    entry_ = nullptr;
    if (collection_ != nullptr) collection_->tree_->cursors.push_back(this);
}

template <class Key, class KeyObject>
void PKeyCollection<Key, KeyObject>::Cursor::detach() {
    if (collection_ != nullptr) {
        auto& cursors = collection_->tree_->cursors;
        auto it = std::find(cursors.begin(), cursors.end(), this);
        if (it != cursors.end()) {
            *it = cursors.back();
            cursors.pop_back();
        }
    }
    collection_ = nullptr;
    entry_ = nullptr;
}

template <class Key, class KeyObject>
int PKeyCollection<Key, KeyObject>::Cursor::setToFirst() {
    entry_ = nullptr;
    if (collection_ != nullptr && !collection_->tree_->entries.empty())
        entry_ = &collection_->tree_->entries.begin()->second;
    return isValid();
}

template <class Key, class KeyObject>
int PKeyCollection<Key, KeyObject>::Cursor::setToLast() {
    entry_ = nullptr;
    if (collection_ != nullptr && !collection_->tree_->entries.empty())
        entry_ = &collection_->tree_->entries.rbegin()->second;
    return isValid();
}

template <class Key, class KeyObject>
int PKeyCollection<Key, KeyObject>::Cursor::setToNext() {
    if (entry_ == nullptr) return 0;
    auto& entries = collection_->tree_->entries;
    auto it = entries.upper_bound(entry_->getKey());
    entry_ = it != entries.end() ? &it->second : nullptr;
    return isValid();
}

template <class Key, class KeyObject>
int PKeyCollection<Key, KeyObject>::Cursor::setToPrevious() {
    if (entry_ == nullptr) return 0;
    auto& entries = collection_->tree_->entries;
    auto it = entries.lower_bound(entry_->getKey());
    entry_ = it != entries.begin() ? &(--it)->second : nullptr;
    return isValid();
}

template <class Key, class KeyObject>
KeyObject* PKeyCollection<Key, KeyObject>::Cursor::element() const {
    if (entry_ == nullptr) dkThrow<DKUsageError>(382, kSource, functionName<Key>("Cursor::element").c_str());
    return entry_;
}

// ---------------------------------------------------------------------------------------------
// The collection

template <class Key, class KeyObject>
PKeyCollection<Key, KeyObject>::PKeyCollection(unsigned long maximum, int uniqueKeys)
    : tree_(nullptr), maximum_(maximum) {
    if (uniqueKeys == 0)
        dkThrow<DKUsageError>(303, kSource, functionName<Key>(className<Key>()).c_str());
    tree_ = new Tree;
}

template <class Key, class KeyObject>
PKeyCollection<Key, KeyObject>::~PKeyCollection() {
    for (Cursor* cursor : tree_->cursors) {
        cursor->collection_ = nullptr;
        cursor->entry_ = nullptr;
    }
    delete tree_;
}

template <class Key, class KeyObject>
void PKeyCollection<Key, KeyObject>::checkCursor(const Cursor& cursor, const char* operation) const {
    if (cursor.collection_ != this || cursor.entry_ == nullptr)
        dkThrow<DKUsageError>(382, kSource, functionName<Key>(operation).c_str());
}

template <class Key, class KeyObject>
void PKeyCollection<Key, KeyObject>::forget(const KeyObject* entry) {
    for (Cursor* cursor : tree_->cursors)
        if (cursor->entry_ == entry) cursor->entry_ = nullptr;
}

template <class Key, class KeyObject>
void PKeyCollection<Key, KeyObject>::add(const Key& key, void* obj) {
    if (tree_->entries.count(key) != 0) dkThrow<DKUsageError>(306, kSource, functionName<Key>("add").c_str());
    if (isFull()) dkThrow<DKUsageError>(303, kSource, functionName<Key>("add").c_str());
    tree_->entries.emplace(key, KeyObject(key, obj));
}

template <class Key, class KeyObject>
void PKeyCollection<Key, KeyObject>::add(const KeyObject& entry) {
    add(entry.getKey(), entry.getObj());
}

template <class Key, class KeyObject>
int PKeyCollection<Key, KeyObject>::containsKey(const Key& key) const {
    return tree_->entries.count(key) != 0 ? 1 : 0;
}

template <class Key, class KeyObject>
void* PKeyCollection<Key, KeyObject>::elementWithKey(const Key& key) const {
    auto it = tree_->entries.find(key);
    return it != tree_->entries.end() ? it->second.getObj() : nullptr;
}

template <class Key, class KeyObject>
int PKeyCollection<Key, KeyObject>::locateElementWithKey(const Key& key, Cursor& cursor) {
    if (cursor.collection_ != this) {
        cursor.detach();
        cursor.attach(this);
    }
    auto it = tree_->entries.find(key);
    cursor.entry_ = it != tree_->entries.end() ? &it->second : nullptr;
    return cursor.isValid();
}

template <class Key, class KeyObject>
int PKeyCollection<Key, KeyObject>::replaceElementWithKey(const Key& key, void* obj) {
    auto it = tree_->entries.find(key);
    if (it == tree_->entries.end()) return 0;
    it->second.setObj(obj);
    return 1;
}

template <class Key, class KeyObject>
void* PKeyCollection<Key, KeyObject>::removeElementWithKey(const Key& key) {
    auto it = tree_->entries.find(key);
    if (it == tree_->entries.end()) return nullptr;
    void* obj = it->second.getObj();
    forget(&it->second);
    tree_->entries.erase(it);
    return obj;
}

template <class Key, class KeyObject>
void* PKeyCollection<Key, KeyObject>::removeAt(Cursor& cursor) {
    checkCursor(cursor, "removeAt");
    // The key is copied first: erasing by a reference into the node being erased is unsafe.
    Key key = cursor.entry_->getKey();
    return removeElementWithKey(key);
}

template <class Key, class KeyObject>
void PKeyCollection<Key, KeyObject>::removeAll() {
    for (Cursor* cursor : tree_->cursors) cursor->entry_ = nullptr;
    tree_->entries.clear();
}

template <class Key, class KeyObject>
KeyObject& PKeyCollection<Key, KeyObject>::elementAt(const Cursor& cursor) const {
    checkCursor(cursor, "elementAt");
    return *cursor.entry_;
}

template <class Key, class KeyObject>
unsigned long PKeyCollection<Key, KeyObject>::numberOfElements() const {
    return tree_->entries.size();
}

template class PKeyCollection<long, KeyObjectLong>;
template class PKeyCollection<short, KeyObjectShort>;
template class PKeyCollection<DKString, KeyObjectString>;

PKeyLongCollection::~PKeyLongCollection() = default;
PKeyShortCollection::~PKeyShortCollection() = default;
PKeyStringCollection::~PKeyStringCollection() = default;
