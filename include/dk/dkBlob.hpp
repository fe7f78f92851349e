// include/dk/dkBlob.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>
#include <dk/dkXDO.hpp>

// Binary content with string-like editing: appending, searching, cutting and inserting, at
// positions counted from 1 as in DKString. Every editing operation throws DKUsageError 341 here
// ("dkBlob::insert()" after the catalogue text, "dkBlob::subString" bare) and is defined by the
// concrete classes of a connector. Owns nothing beyond dkXDO; one thread at a time.
class DK_API dkBlob : public dkXDO {
public:
    ~dkBlob() override;

    virtual dkBlob& operator+=(const DKString& text);
    virtual dkBlob& operator+=(const dkBlob& other);
    virtual long indexOf(const dkBlob& other, long start);
    virtual long indexOf(const DKString& text, long start);
    virtual DKString subString(long start, long length);
    virtual dkBlob& remove(long start, long length);
    virtual dkBlob& insert(const dkBlob& other, long at);
    virtual dkBlob& insert(const DKString& text, long at);

protected:
    dkBlob();
    dkBlob(const dkBlob& other);
};

// Character content with the editing operations of dkBlob, on character objects; they throw
// DKUsageError 341 here ("dkClob::indexOf()"). Owns nothing beyond dkXDO; one thread at a time.
class DK_API dkClob : public dkXDO {
public:
    ~dkClob() override;

    virtual dkClob& operator+=(const DKString& text);
    virtual dkClob& operator+=(const dkClob& other);
    virtual long indexOf(const dkClob& other, long start);
    virtual long indexOf(const DKString& text, long start);
    virtual DKString subString(long start, long length);
    virtual dkClob& remove(long start, long length);
    virtual dkClob& insert(const dkClob& other, long at);
    virtual dkClob& insert(const DKString& text, long at);

protected:
    dkClob();
    dkClob(const dkClob& other);
};
