// include/dk/PKeyLongCollection.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

// The keyed collections PKeyLongCollection, PKeyShortCollection and PKeyStringCollection: untyped
// pointers kept in a red-black tree ordered by a long, short or DKString key (numeric order, or
// byte order for strings), walked in key order with a cursor. Keys are unique: adding a key that
// is present throws 306, and a unique-keys flag of 0 throws 303 at construction. The collections
// never own the objects behind their pointers.
//
// A cursor stays on its entry while other entries come and go; removing the entry it is on makes
// it invalid. A cursor that dies leaves its collection; a collection that dies detaches its
// cursors. A collection is used by one thread at a time, together with its cursors.

// One entry of a keyed collection: the key, fixed once made, and the pointer stored under it.
#define DK_DECLARE_KEY_OBJECT(Class, Key)                          \
    class DK_API Class {                                          \
    public:                                                       \
        Class(Key key = Key(), void* obj = nullptr);              \
        virtual ~Class();                                         \
        Key getKey() const { return key_; }                       \
        void* getObj() const { return obj_; }                     \
        void setObj(void* obj) { obj_ = obj; }                    \
                                                                  \
    private:                                                      \
        Key key_;                                                 \
        void* obj_;                                               \
    };

DK_DECLARE_KEY_OBJECT(KeyObjectLong, long)
DK_DECLARE_KEY_OBJECT(KeyObjectShort, short)
DK_DECLARE_KEY_OBJECT(KeyObjectString, DKString)
#undef DK_DECLARE_KEY_OBJECT

// The shared implementation of the three keyed collections; use them by their own names.
template <class Key, class KeyObject>
class PKeyCollection {
public:
    class Cursor {
    public:
        explicit Cursor(PKeyCollection* collection);
        Cursor(const Cursor& other);              // registers with the same collection, same entry
        Cursor& operator=(const Cursor& other);
        virtual ~Cursor();

        int setToFirst();   // each returns 1 when the cursor is valid afterwards
        int setToNext();
        int setToPrevious();
        int setToLast();
        int isValid() const { return entry_ != nullptr ? 1 : 0; }
        KeyObject* element() const;   // the entry under the cursor; 382 when invalid

        PKeyCollection* collection() const { return collection_; }

    private:
        friend class PKeyCollection;
        void attach(PKeyCollection* collection);
        void detach();

        PKeyCollection* collection_;   // null once detached
        KeyObject* entry_;             // null when invalid
    };

    explicit PKeyCollection(unsigned long maximum = 0, int uniqueKeys = 1);
    PKeyCollection(const PKeyCollection&) = delete;
    PKeyCollection& operator=(const PKeyCollection&) = delete;
    virtual ~PKeyCollection();

    // 306 when the key is present, 303 when the collection is full.
    void add(const Key& key, void* obj);
    void add(const KeyObject& entry);
    int containsKey(const Key& key) const;
    void* elementWithKey(const Key& key) const;              // null when the key is absent
    int locateElementWithKey(const Key& key, Cursor& cursor); // 1 and the cursor on it, or 0
    int replaceElementWithKey(const Key& key, void* obj);     // 1 when the key was present
    void* removeElementWithKey(const Key& key);              // the pointer, or null when absent
    void* removeAt(Cursor& cursor);                          // 382 when the cursor is invalid
    void removeAll();
    KeyObject& elementAt(const Cursor& cursor) const;        // 382 when the cursor is invalid

    unsigned long numberOfElements() const;
    unsigned long maxNumberOfElements() const { return maximum_; }
    int isEmpty() const { return numberOfElements() == 0 ? 1 : 0; }
    int isFull() const { return (maximum_ != 0 && numberOfElements() >= maximum_) ? 1 : 0; }

private:
    struct Tree;
    void checkCursor(const Cursor& cursor, const char* operation) const;
    void forget(const KeyObject* entry);   // invalidates the cursors on entry

    Tree* tree_;
    unsigned long maximum_;
};

extern template class DK_API PKeyCollection<long, KeyObjectLong>;
extern template class DK_API PKeyCollection<short, KeyObjectShort>;
extern template class DK_API PKeyCollection<DKString, KeyObjectString>;

// Entries keyed by long, in numeric order.
class DK_API PKeyLongCollection : public PKeyCollection<long, KeyObjectLong> {
public:
    explicit PKeyLongCollection(unsigned long maximum = 0, int uniqueKeys = 1)
        : PKeyCollection(maximum, uniqueKeys) {}
    ~PKeyLongCollection() override;
};

// Entries keyed by short, in numeric order.
class DK_API PKeyShortCollection : public PKeyCollection<short, KeyObjectShort> {
public:
    explicit PKeyShortCollection(unsigned long maximum = 0, int uniqueKeys = 1)
        : PKeyCollection(maximum, uniqueKeys) {}
    ~PKeyShortCollection() override;
};

// Entries keyed by DKString, in byte order (unsigned bytes, a prefix before its extensions).
class DK_API PKeyStringCollection : public PKeyCollection<DKString, KeyObjectString> {
public:
    explicit PKeyStringCollection(unsigned long maximum = 0, int uniqueKeys = 1)
        : PKeyCollection(maximum, uniqueKeys) {}
    ~PKeyStringCollection() override;
};
