// include/dk/DKAny.hpp
#pragma once
#include <dk/DKByteArray.hpp>
#include <dk/DKDate.hpp>   // DKDate, DKTime and DKTimestamp
#include <dk/DKDecimal.hpp>
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

#include <cstddef>
#include <iosfwd>
#include <new>
#include <utility>

class DKNVPair;
class dkCollection;
class dkDataObjectBase;

// The tagged variant that carries attribute values, options and collection elements. Numbers,
// characters and type codes live inside the object; strings, decimals, dates, times, timestamps,
// byte arrays and name/value pairs are held as owned copies (a null owned pointer stands for a
// missing value of that type). The copies this variant makes of strings, decimals, dates, times,
// timestamps and byte arrays live inside it too, so copying one allocates nothing more than the
// value itself does; name/value pairs, and objects adopted through the three-argument
// constructor or replace(), are on the heap. value() points at the held object wherever it is:
// inside the variant it stays valid until the variant changes, moves or dies. Collections, data
// objects and raw pointers are held, never owned and never freed. A DKAny is used by one thread
// at a time.
//
// Conversions never change the kind of value (no number from a string, no string from a
// number); asking for a kind the variant does not hold throws DKException 418. Only the short and
// long families convert among themselves. Use toString() for text.
class DK_API DKAny {
public:
    enum TypeCode {
        tc_null = 0,
        tc_ushort = 1,
        tc_short = 2,
        tc_ulong = 3,
        tc_long = 4,
        tc_double = 5,
        tc_boolean = 6,
        tc_char = 7,
        tc_string = 8,
        tc_decimal = 9,
        tc_nvpair = 10,
        tc_date = 11,
        tc_time = 12,
        tc_timestamp = 13,
        // 14 is reserved: never produced; handed in through replace() it is held like tc_voidptr.
        tc_collection = 15,
        tc_dobase = 16,
        tc_voidptr = 17,
        tc_bytearray = 18,
        tc_float = 19,
        tc_typecode = 20
    };

    DKAny() noexcept : type_(tc_null), subType_(0) { value_.p = nullptr; }
    DKAny(short v) noexcept : type_(tc_short), subType_(0) { clearWord(); value_.s = v; }
    DKAny(unsigned short v) noexcept : type_(tc_ushort), subType_(0) { clearWord(); value_.us = v; }
    DKAny(long v) noexcept : type_(tc_long), subType_(0) { value_.l = v; }
    DKAny(unsigned long v) noexcept : type_(tc_ulong), subType_(0) { value_.ul = v; }
    // The other integer widths of this platform, so that no integer literal is ambiguous:
    // unsigned int and unsigned long long give tc_ulong, long long gives tc_long.
    DKAny(unsigned int v) noexcept : type_(tc_ulong), subType_(0) { value_.ul = v; }
    DKAny(long long v) noexcept : type_(tc_long), subType_(0) { value_.l = static_cast<long>(v); }
    DKAny(unsigned long long v) noexcept : type_(tc_ulong), subType_(0) { value_.ul = static_cast<unsigned long>(v); }
    DKAny(double v) noexcept : type_(tc_double), subType_(0) { value_.d = v; }
    DKAny(float v) noexcept : type_(tc_float), subType_(0) { clearWord(); value_.f = v; }
    DKAny(int v) noexcept : type_(tc_boolean), subType_(0) { clearWord(); value_.i = v; }   // bool too
    DKAny(char v) noexcept : type_(tc_char), subType_(0) { clearWord(); value_.c = v; }
    DKAny(TypeCode v) noexcept : type_(tc_typecode), subType_(0) { clearWord(); value_.tc = v; }
    DKAny(const DKString& v) : type_(tc_string), subType_(0) { place<DKString>(v); }
    DKAny(const char* text) : type_(tc_string), subType_(0) { place<DKString>(text); }   // null gives ""
    DKAny(const DKDate& v) : type_(tc_date), subType_(0) { place<DKDate>(v); }
    DKAny(const DKTime& v) : type_(tc_time), subType_(0) { place<DKTime>(v); }
    DKAny(const DKTimestamp& v) : type_(tc_timestamp), subType_(0) { place<DKTimestamp>(v); }
    DKAny(const DKByteArray& v) : type_(tc_bytearray), subType_(0) { place<DKByteArray>(v); }
    DKAny(const DKDecimal& v) : type_(tc_decimal), subType_(0) { place<DKDecimal>(v); }
    DKAny(const DKNVPair& v);
    DKAny(dkDataObjectBase* p) noexcept : type_(tc_dobase), subType_(0) { value_.p = p; }
    DKAny(dkCollection* p) noexcept : type_(tc_collection), subType_(0) { value_.p = p; }
    DKAny(void* p) noexcept : type_(tc_voidptr), subType_(0) { value_.p = p; }
    DKAny(std::nullptr_t) noexcept : type_(tc_null), subType_(0) { value_.p = nullptr; }
    // Takes value as the value word itself: for an object type the DKAny adopts the object and
    // will delete it. The sub-type is the caller's tag.
    DKAny(TypeCode tc, void* value, short subType) noexcept : type_(tc), subType_(subType) { value_.p = value; }

    // Owned objects are copied; a held null string becomes an empty string, other null objects
    // stay null; pointers of types 15 to 17 are copied as pointers.
    DKAny(const DKAny& other) : type_(other.type_), subType_(other.subType_), inside_(other.inside_) {
        if (inside_) {
            // Decimals and strings, the common objects, are copied inline.
            if (type_ == tc_decimal)
                new (store_) DKDecimal(other.as<DKDecimal>());
            else if (type_ == tc_string)
                new (store_) DKString(other.as<DKString>());
            else
                copyOwned(other);
        } else if (!isOwned(type_)) {
            value_ = other.value_;
        } else {
            copyOwned(other);
        }
    }
    // Takes the other's value; the other is left null.
    DKAny(DKAny&& other) noexcept : type_(other.type_), subType_(other.subType_) {
        if (!other.inside_)
            value_ = other.value_;
        else
            moveInside(other);
        other.type_ = tc_null;
        other.subType_ = 0;
        other.inside_ = false;
        other.value_.p = nullptr;
    }
    ~DKAny() {
        if (inside_) {
            if (type_ == tc_decimal)
                as<DKDecimal>().DKDecimal::~DKDecimal();
            else if (type_ == tc_string)
                as<DKString>().DKString::~DKString();
            else
                freeOwned();
        } else if (isOwned(type_)) {
            freeOwned();
        }
    }

    // Each assignment replaces the value (deleting an owned object) and sets the sub-type to 0.
    // The new value is built before the old one is freed, so assigning an object this variant
    // holds, or a variant holding the very same owned pointer, is safe.
    DKAny& operator=(const DKAny& other);
    DKAny& operator=(DKAny&& other) noexcept;
    DKAny& operator=(short v);
    DKAny& operator=(unsigned short v);
    DKAny& operator=(long v);
    DKAny& operator=(unsigned long v);
    DKAny& operator=(unsigned int v);
    DKAny& operator=(long long v);
    DKAny& operator=(unsigned long long v);
    DKAny& operator=(double v);
    DKAny& operator=(float v);
    DKAny& operator=(int v);
    DKAny& operator=(char v);
    DKAny& operator=(TypeCode v);
    DKAny& operator=(const DKString& v);
    DKAny& operator=(const char* text);
    DKAny& operator=(const DKDate& v);
    DKAny& operator=(const DKTime& v);
    DKAny& operator=(const DKTimestamp& v);
    DKAny& operator=(const DKByteArray& v);
    DKAny& operator=(const DKDecimal& v);
    DKAny& operator=(const DKNVPair& v);
    DKAny& operator=(dkDataObjectBase* p);
    DKAny& operator=(dkCollection* p);
    DKAny& operator=(void* p);
    DKAny& operator=(std::nullptr_t);

    // short and unsigned short accept both 16-bit types; long and unsigned long accept both long
    // types and the 16-bit ones (short sign-extended, unsigned short zero-extended).
    operator short() const;
    operator unsigned short() const;
    operator long() const;
    operator unsigned long() const;
    operator double() const;
    operator float() const;
    operator int() const;
    operator TypeCode() const;
    operator DKString() const;   // an empty string when the held pointer is null
    operator DKDecimal() const;
    operator DKNVPair() const;
    operator DKDate() const;
    operator DKTime() const;
    operator DKTimestamp() const;
    operator DKByteArray() const;
    operator dkDataObjectBase*() const;
    operator dkCollection*() const;
    operator void*() const;

    TypeCode typeCode() const { return type_; }
    // The raw value word; for an object type the held object itself, still owned by this DKAny.
    void* value() const;
    // Clears, then sets type and sub-type and takes the value from *value: the stored member
    // (short, long, int, float, double, char, TypeCode) for inline types; for every other type
    // value itself is adopted. A null value leaves the value word 0.
    void replace(TypeCode tc, void* value, short subType);
    int isNull() const { return type_ == tc_null ? 1 : 0; }
    void setNull();
    short getSubType() const { return subType_; }
    void setSubType(short subType) { subType_ = subType; }

    // Different types are unequal; object values compare by content (both null counts as
    // equal); name/value pairs, collections, data objects and raw pointers by identity.
    int operator==(const DKAny& other) const {
        if (type_ != other.type_) return 0;
        // The common cases inline: numbers and strings held inside.
        if (type_ == tc_long || type_ == tc_ulong) return value_.l == other.value_.l ? 1 : 0;
        if (type_ == tc_string && inside_ && other.inside_) return as<DKString>() == other.as<DKString>() ? 1 : 0;
        return equalSameType(other);
    }
    int operator!=(const DKAny& other) const { return operator==(other) ? 0 : 1; }

    // "NULL" for null and for any null pointer; numbers as the DKString number constructors;
    // pointer types as "(dkCollection*)" and the like followed by the address in signed decimal.
    DKString toString() const;

    friend DK_API std::ostream& operator<<(std::ostream& os, const DKAny& any);

private:
    // Types whose pointer this variant allocates and deletes: 8 to 13 and 18.
    static constexpr unsigned long kOwnedMask = (1ul << tc_string) | (1ul << tc_decimal) | (1ul << tc_nvpair) |
                                                (1ul << tc_date) | (1ul << tc_time) | (1ul << tc_timestamp) |
                                                (1ul << tc_bytearray);
    static bool isOwned(TypeCode tc) {
        return static_cast<unsigned>(tc) < 32u && ((kOwnedMask >> static_cast<unsigned>(tc)) & 1ul) != 0;
    }
    // Zeroes the whole word before a narrow member is set, so value() shows no stale bytes.
    void clearWord() { value_.p = nullptr; }
    // The object held inside; only when inside_ is set and T is the type's class.
    template <class T>
    T& as() { return *std::launder(reinterpret_cast<T*>(store_)); }
    template <class T>
    const T& as() const { return *std::launder(reinterpret_cast<const T*>(store_)); }
    // Builds the owned object inside (constructors only: nothing held yet).
    template <class T, class A>
    void place(A&& arg) {
        new (store_) T(std::forward<A>(arg));
        inside_ = true;
    }
    // The held object of an owned type, inside or on the heap; null for a missing one.
    const void* object() const { return inside_ ? static_cast<const void*>(store_) : value_.p; }
    void copyOwned(const DKAny& other);        // nothing held yet (inside_ may be set); copies other's object
    void moveInside(DKAny& other) noexcept;    // nothing held yet; moves other's inside object in
    void freeOwned() noexcept;
    void take(DKAny& fresh) noexcept;          // frees the current value, then moves fresh in
    void letGoOfShared(const DKAny& other) noexcept;   // forgets an adopted object other holds too
    int equalSameType(const DKAny& other) const;   // both have this type

    static constexpr std::size_t kInside = 40;   // room for the largest object held inside (a string)

    TypeCode type_;
    short subType_;
    bool inside_ = false;   // the owned object lives in store_, not on the heap
    union Word {
        short s;
        unsigned short us;
        long l;
        unsigned long ul;
        double d;
        float f;
        int i;
        char c;
        TypeCode tc;
        void* p;
    };
    union {
        Word value_;
        alignas(8) unsigned char store_[kInside];
    };
};

DK_API std::ostream& operator<<(std::ostream& os, const DKAny& any);
