// include/dk/PCollection.hpp
#pragma once
#include <dk/dkExport.hpp>

// A positional list of untyped pointers with an optional maximum. The collection never owns the
// objects behind its elements. Every Cursor registers with its collection, and every insertion
// or removal makes all registered cursors invalid until they are set again. A cursor that dies
// leaves its collection; a collection that dies detaches its cursors (they stay invalid).
// Used by one thread at a time, together with its cursors.
class DK_API PCollection {
public:
    // A position in a collection: an element index, or invalid.
    class DK_API Cursor {
    public:
        explicit Cursor(PCollection* collection);
        Cursor(const Cursor& other);              // registers with the same collection
        Cursor& operator=(const Cursor& other);   // leaves the old collection, joins the new one
        virtual ~Cursor();

        int setToFirst();      // each returns 1 when the cursor is valid afterwards
        int setToNext();
        int setToPrevious();
        int setToLast();
        int isValid() const;
        void* element() const;   // the element under the cursor; 382 when invalid

        PCollection* collection() const { return collection_; }

    private:
        friend class PCollection;
        void attach(PCollection* collection);
        void detach();

        PCollection* collection_;   // null once detached
        long index_;                // 0-based; invalid when negative or not below the count
    };

    explicit PCollection(unsigned long maximum = 0);   // 0: unbounded
    PCollection(const PCollection&) = delete;
    PCollection& operator=(const PCollection&) = delete;
    virtual ~PCollection();

    // Both adds throw 303 when the collection is full. The cursor form inserts before the
    // cursor's element (382 when the cursor is invalid or belongs to another collection).
    void add(void* element);
    void add(void* element, Cursor& cursor);
    void* removeAt(Cursor& cursor);          // returns the element taken out; 382 when invalid
    void removeAll();
    void* elementAt(const Cursor& cursor) const;          // 382 when invalid
    void updateAt(Cursor& cursor, void* element);         // 382 when invalid; cursors stay valid
    // Moves to the first element and then position - 1 times to the next; position 0 throws
    // 303. Returns 1 when the cursor is valid afterwards.
    int setToPosition(unsigned long position, Cursor& cursor);
    void* operator[](unsigned long index) const;   // 0-based; 303 outside 0 .. count - 1

    unsigned long numberOfElements() const { return count_; }
    unsigned long maxNumberOfElements() const { return maximum_; }
    int isEmpty() const { return count_ == 0 ? 1 : 0; }
    int isFull() const { return (maximum_ != 0 && count_ >= maximum_) ? 1 : 0; }
    // Slots allocated: grows by 25 when full, shrinks by 25 once the count falls below
    // capacity - 25.
    unsigned long capacity() const { return capacity_; }

    static constexpr unsigned long kGrowth = 25;

private:
    void registerCursor(Cursor* cursor);
    void deregisterCursor(Cursor* cursor);
    void invalidateCursors();
    void checkCursor(const Cursor& cursor, const char* function) const;
    void insertAt(unsigned long index, void* element, const char* function);
    void resizeTo(unsigned long capacity);

    unsigned long count_;
    unsigned long maximum_;
    unsigned long capacity_;
    unsigned long growth_;
    void** elements_;
    Cursor** cursors_;              // registered cursors, in no particular order
    unsigned long cursorCount_;
    unsigned long cursorCapacity_;
};
