// include/dk/DKNVPair.hpp
#pragma once
#include <dk/DKAny.hpp>
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

// A name with a DKAny value, the element of option and property lists. The pair owns copies of
// both; a value that holds a pointer type still refers to the caller's object. Used by one thread
// at a time.
class DK_API DKNVPair {
public:
    explicit DKNVPair(const char* name = nullptr);   // the value is null; a null name gives an empty one
    DKNVPair(const char* name, const DKAny& value);
    DKNVPair(const DKNVPair& other);
    DKNVPair& operator=(const DKNVPair& other);
    virtual ~DKNVPair();

    DKString getName() const { return name; }
    DKAny getValue() const { return value; }
    void setName(const char* newName);
    void setValue(const DKAny& newValue);
    void set(const char* newName, const DKAny& newValue);

private:
    DKString name;
    DKAny value;
};
