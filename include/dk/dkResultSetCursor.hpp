// include/dk/dkResultSetCursor.hpp
#pragma once
#include <dk/DKAny.hpp>
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

class DKDDO;
class DKHandle;
class DKNVPair;
class dkCollection;

// A cursor over the results of dkDatastore::execute. The caller opens it when the connector
// requires, fetches, closes and deletes it; destroy() releases the connector's resources without
// deleting the object. Fetched data objects belong to the caller.
//
// The base is a placeholder every connector overrides: every is... query answers 1 (so a caller
// that tests them before fetching goes on to fetch), fetches answer null, 0 or an empty DKAny, and
// the moves and changes do nothing. The order of the virtual operations is the slot order
// connectors are built against. One thread at a time.
class DK_API dkResultSetCursor {
public:
    virtual ~dkResultSetCursor();

    virtual int isScrollable() const;
    virtual int isUpdatable() const;
    virtual int isValid() const;
    virtual int isOpen() const;
    virtual int isBegin() const;
    virtual int isEnd() const;
    virtual int isInBetween() const;
    virtual long getPosition() const;
    virtual void setPosition(long position, const DKAny& value);
    virtual void setToNext();
    virtual DKDDO* fetchObject();
    virtual DKDDO* fetchNext();
    virtual int fetchNextN(long howMany, dkCollection& into);   // the number fetched
    virtual DKAny fetchObjectByName(const char* name);
    virtual DKAny fetchNextByName(const char* name);
    virtual int fetchNextNByName(const char* name, long howMany, DKAny* values, long arraySize);
    virtual DKDDO* findObject(long position, const char* predicate);
    virtual void deleteObject();
    virtual void updateObject(DKDDO* object);
    virtual DKDDO* newObject();
    virtual void addObject(DKDDO* object);
    virtual void open(const DKNVPair* params);
    virtual void open();
    virtual void close();
    virtual void destroy();
    virtual DKString datastoreName() const;
    virtual DKString datastoreType() const;
    virtual DKHandle* handle(const char* type);
    virtual DKHandle* handle(long type);
    virtual unsigned long cardinality();
    virtual DKString objectType();   // "dkResultSetCursor" in the base
    // The next row filled into row, a DDO the caller keeps and gives again for every row, so
    // that reading many rows makes no DDO per row. row then holds what fetchNext() would have
    // returned: that row's definition (shared), pid, values with their flags and datastore; what
    // row held before, its own object properties and items included, is gone. 1 when a row was
    // fetched, 0 at the end (row unchanged). The base fetches a new DDO and hands its contents
    // over; connectors fill row directly.
    virtual int fetchNext(DKDDO& row);

protected:
    dkResultSetCursor();
    dkResultSetCursor(const dkResultSetCursor&) = delete;
    dkResultSetCursor& operator=(const dkResultSetCursor&) = delete;
};

// A cursor that also moves backwards and to either end. Base answers as for dkResultSetCursor:
// null, 0 or an empty DKAny, and moves that do nothing.
class DK_API dkResultSetCursorScrollable : public dkResultSetCursor {
public:
    ~dkResultSetCursorScrollable() override;

    virtual void setToPrevious();
    virtual DKDDO* fetchPrevious();
    virtual DKDDO* fetchFirst();
    virtual DKDDO* fetchLast();
    virtual int fetchPreviousN(long howMany, dkCollection& into);
    virtual DKAny fetchPreviousByName(const char* name);
    virtual int fetchPreviousNByName(const char* name, long howMany, DKAny* values, long arraySize);

protected:
    dkResultSetCursorScrollable();
};
