// src/dk/common/values/DKAny.cpp
//
// The variant that carries every attribute value, option and collection element. Value types are
// held by owned copies: the ones this file makes live inside the variant (name/value pairs on the
// heap), the ones it adopts stay where the caller allocated them; collections, data objects and
// raw pointers are held, never owned. A conversion to a kind the variant does not hold is the one
// failure here: DKException 418 naming the requested kind.

#include <dk/DKAny.hpp>

#include <dk/DKByteArray.hpp>
#include <dk/DKDate.hpp>   // DKDate, DKTime and DKTimestamp
#include <dk/DKDecimal.hpp>
#include <dk/DKException.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/DKString.hpp>
#include <dk/dkThrow.hpp>

#include <cstdint>
#include <cstring>
#include <ostream>
#include <utility>

namespace {

constexpr const char* kSource = "dk/common/DKAny";   // the location every throw here carries

// The address in signed decimal, as the pointer types print it.
long addressOf(const void* p) { return static_cast<long>(reinterpret_cast<std::intptr_t>(p)); }

static_assert(sizeof(DKString) <= 40 && sizeof(DKDecimal) <= 40 && sizeof(DKDate) <= 40 &&
                  sizeof(DKTime) <= 40 && sizeof(DKTimestamp) <= 40 && sizeof(DKByteArray) <= 40,
              "every value type held inside fits the variant's room");

// Destroys an object held inside or deletes one on the heap.
template <class T>
void destroy(void* p, bool inside) noexcept {
    if (inside)
        static_cast<T*>(p)->T::~T();
    else
        delete static_cast<T*>(p);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction, copying and freeing of owned objects

DKAny::DKAny(const DKNVPair& v) : type_(tc_nvpair), subType_(0) { value_.p = new DKNVPair(v); }

void DKAny::copyOwned(const DKAny& other) {
    const void* p = other.object();
    // A missing string is copied as an empty one; every other missing object stays missing.
    if (p == nullptr && type_ != tc_string) {
        value_.p = nullptr;
        return;
    }
    switch (type_) {
    case tc_string:
        if (p)
            place<DKString>(*static_cast<const DKString*>(p));
        else
            place<DKString>(DKString());
        break;
    case tc_decimal: place<DKDecimal>(*static_cast<const DKDecimal*>(p)); break;
    case tc_date: place<DKDate>(*static_cast<const DKDate*>(p)); break;
    case tc_time: place<DKTime>(*static_cast<const DKTime*>(p)); break;
    case tc_timestamp: place<DKTimestamp>(*static_cast<const DKTimestamp*>(p)); break;
    case tc_bytearray: place<DKByteArray>(*static_cast<const DKByteArray*>(p)); break;
    case tc_nvpair: value_.p = new DKNVPair(*static_cast<const DKNVPair*>(p)); break;
    default: break;
    }
}

void DKAny::moveInside(DKAny& other) noexcept {
    switch (type_) {
    case tc_string:
        place<DKString>(std::move(other.as<DKString>()));
        other.as<DKString>().DKString::~DKString();
        break;
    case tc_bytearray:
        place<DKByteArray>(std::move(other.as<DKByteArray>()));
        other.as<DKByteArray>().DKByteArray::~DKByteArray();
        break;
    // Decimals, dates, times and timestamps own nothing outside themselves: a copy moves them.
    case tc_decimal: place<DKDecimal>(other.as<DKDecimal>()); break;
    case tc_date: place<DKDate>(other.as<DKDate>()); break;
    case tc_time: place<DKTime>(other.as<DKTime>()); break;
    case tc_timestamp: place<DKTimestamp>(other.as<DKTimestamp>()); break;
    default: break;
    }
}

void DKAny::freeOwned() noexcept {
    void* p = inside_ ? static_cast<void*>(store_) : value_.p;
    bool inside = inside_;
    if (p != nullptr) {
        switch (type_) {
        case tc_string: destroy<DKString>(p, inside); break;
        case tc_decimal: destroy<DKDecimal>(p, inside); break;
        case tc_nvpair: destroy<DKNVPair>(p, inside); break;
        case tc_date: destroy<DKDate>(p, inside); break;
        case tc_time: destroy<DKTime>(p, inside); break;
        case tc_timestamp: destroy<DKTimestamp>(p, inside); break;
        case tc_bytearray: destroy<DKByteArray>(p, inside); break;
        default: break;
        }
    }
    inside_ = false;
    value_.p = nullptr;
}

void DKAny::take(DKAny& fresh) noexcept {
    if (isOwned(type_)) freeOwned();
    type_ = fresh.type_;
    subType_ = fresh.subType_;
    if (fresh.inside_)
        moveInside(fresh);
    else
        value_ = fresh.value_;
    fresh.type_ = tc_null;
    fresh.subType_ = 0;
    fresh.inside_ = false;
    fresh.value_.p = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Assignment: the new value is complete before the old one goes, so a value taken from the
// object this variant holds survives.

DKAny& DKAny::operator=(const DKAny& other) {
    if (this == &other) return *this;
    DKAny fresh(other);
    letGoOfShared(other);
    take(fresh);
    return *this;
}

DKAny& DKAny::operator=(DKAny&& other) noexcept {
    if (this == &other) return *this;
    letGoOfShared(other);
    take(other);
    return *this;
}

void DKAny::letGoOfShared(const DKAny& other) noexcept {
    // Two variants that adopted the same object: deleting it here would leave the other dangling,
    // so this one lets go of it instead.
    if (isOwned(type_) && !inside_ && isOwned(other.type_) && !other.inside_ && value_.p == other.value_.p)
        value_.p = nullptr;
}

#define DK_ANY_ASSIGN(Param)          \
    DKAny& DKAny::operator=(Param v) { \
        DKAny fresh(v);                \
        take(fresh);                   \
        return *this;                  \
    }
DK_ANY_ASSIGN(short)
DK_ANY_ASSIGN(unsigned short)
DK_ANY_ASSIGN(long)
DK_ANY_ASSIGN(unsigned long)
DK_ANY_ASSIGN(unsigned int)
DK_ANY_ASSIGN(long long)
DK_ANY_ASSIGN(unsigned long long)
DK_ANY_ASSIGN(double)
DK_ANY_ASSIGN(float)
DK_ANY_ASSIGN(int)
DK_ANY_ASSIGN(char)
DK_ANY_ASSIGN(TypeCode)
DK_ANY_ASSIGN(const DKString&)
DK_ANY_ASSIGN(const char*)
DK_ANY_ASSIGN(const DKDate&)
DK_ANY_ASSIGN(const DKTime&)
DK_ANY_ASSIGN(const DKTimestamp&)
DK_ANY_ASSIGN(const DKByteArray&)
DK_ANY_ASSIGN(const DKDecimal&)
DK_ANY_ASSIGN(const DKNVPair&)
DK_ANY_ASSIGN(dkDataObjectBase*)
DK_ANY_ASSIGN(dkCollection*)
DK_ANY_ASSIGN(void*)
DK_ANY_ASSIGN(std::nullptr_t)
#undef DK_ANY_ASSIGN

// ---------------------------------------------------------------------------------------------
// Conversions

DKAny::operator short() const {
    if (type_ == tc_short) return value_.s;
    if (type_ == tc_ushort) return static_cast<short>(value_.us);
    dkThrow<DKException>(418, kSource, "DKAny::operator`short'", DKString(" tc_short"));
}

DKAny::operator unsigned short() const {
    if (type_ == tc_ushort) return value_.us;
    if (type_ == tc_short) return static_cast<unsigned short>(value_.s);
    dkThrow<DKException>(418, kSource, "DKAny::operator`unsigned short'", DKString(" tc_ushort"));
}

DKAny::operator long() const {
    switch (type_) {
    case tc_long: return value_.l;
    case tc_ulong: return static_cast<long>(value_.ul);
    case tc_short: return value_.s;
    case tc_ushort: return value_.us;
    default: break;
    }
    dkThrow<DKException>(418, kSource, "DKAny::operator`long'", DKString(" tc_long"));
}

DKAny::operator unsigned long() const {
    switch (type_) {
    case tc_ulong: return value_.ul;
    case tc_long: return static_cast<unsigned long>(value_.l);
    case tc_short: return static_cast<unsigned long>(static_cast<long>(value_.s));   // (short)-2 -> ULONG_MAX - 1
    case tc_ushort: return value_.us;
    default: break;
    }
    dkThrow<DKException>(418, kSource, "DKAny::operator`unsigned long'", DKString(" tc_ulong"));
}

DKAny::operator double() const {
    if (type_ == tc_double) return value_.d;
    dkThrow<DKException>(418, kSource, "DKAny::operator`double'", DKString(" tc_double"));
}

DKAny::operator float() const {
    if (type_ == tc_float) return value_.f;
    dkThrow<DKException>(418, kSource, "DKAny::operator`float'", DKString(" tc_float"));
}

DKAny::operator int() const {
    if (type_ == tc_boolean) return value_.i;
    dkThrow<DKException>(418, kSource, "DKAny::operator`int'", DKString(" tc_boolean"));
}

DKAny::operator TypeCode() const {
    if (type_ == tc_typecode) return value_.tc;
    dkThrow<DKException>(418, kSource, "DKAny::operator`enum DKAny::TypeCode'", DKString(" tc_typecode"));
}

DKAny::operator DKString() const {
    if (type_ == tc_string) return object() ? *static_cast<const DKString*>(object()) : DKString();
    dkThrow<DKException>(418, kSource, "DKAny::operator`class DKString'", DKString(" tc_string"));
}

// The object types other than strings have no empty value of their own to give for a missing
// object; a missing one is reported like a value of another kind.
DKAny::operator DKDecimal() const {
    if (type_ == tc_decimal && object()) return *static_cast<const DKDecimal*>(object());
    dkThrow<DKException>(418, kSource, "DKAny::operator`class DKDecimal'", DKString(" tc_decimal"));
}

DKAny::operator DKNVPair() const {
    if (type_ == tc_nvpair && object()) return *static_cast<const DKNVPair*>(object());
    dkThrow<DKException>(418, kSource, "DKAny::operator`class DKNVPair'", DKString(" tc_nvpair"));
}

DKAny::operator DKDate() const {
    if (type_ == tc_date && object()) return *static_cast<const DKDate*>(object());
    dkThrow<DKException>(418, kSource, "DKAny::operator`class DKDate'", DKString(" tc_date"));
}

DKAny::operator DKTime() const {
    if (type_ == tc_time && object()) return *static_cast<const DKTime*>(object());
    dkThrow<DKException>(418, kSource, "DKAny::operator`class DKTime'", DKString(" tc_time"));
}

DKAny::operator DKTimestamp() const {
    if (type_ == tc_timestamp && object()) return *static_cast<const DKTimestamp*>(object());
    dkThrow<DKException>(418, kSource, "DKAny::operator`class DKTimestamp'", DKString(" tc_timestamp"));
}

DKAny::operator DKByteArray() const {
    if (type_ == tc_bytearray) return object() ? *static_cast<const DKByteArray*>(object()) : DKByteArray();
    dkThrow<DKException>(418, kSource, "DKAny::operator`class DKByteArray'");
}

DKAny::operator dkDataObjectBase*() const {
    if (type_ == tc_dobase) return static_cast<dkDataObjectBase*>(value_.p);
    dkThrow<DKException>(418, kSource, "DKAny::operator`class dkDataObjectBase *'", DKString(" tc_dobase"));
}

DKAny::operator dkCollection*() const {
    if (type_ == tc_collection) return static_cast<dkCollection*>(value_.p);
    dkThrow<DKException>(418, kSource, "DKAny::operator`class dkCollection *'", DKString(" tc_collection"));
}

DKAny::operator void*() const {
    if (type_ == tc_voidptr) return value_.p;
    dkThrow<DKException>(418, kSource, "DKAny::operator`void *'", DKString(" tc_voidptr"));
}

// ---------------------------------------------------------------------------------------------
// Raw access

void* DKAny::value() const {
    if (inside_) return const_cast<unsigned char*>(store_);
    void* word;
    static_assert(sizeof(word) == sizeof(value_), "the value word is one pointer wide");
    std::memcpy(&word, &value_, sizeof(word));
    return word;
}

void DKAny::replace(TypeCode tc, void* value, short subType) {
    // Read the caller's value before clearing: it may point into the object this variant holds.
    Word w;
    w.p = nullptr;
    if (value) {
        switch (tc) {
        case tc_null: break;
        case tc_ushort: w.us = *static_cast<const unsigned short*>(value); break;
        case tc_short: w.s = *static_cast<const short*>(value); break;
        case tc_ulong: w.ul = *static_cast<const unsigned long*>(value); break;
        case tc_long: w.l = *static_cast<const long*>(value); break;
        case tc_boolean: w.i = *static_cast<const int*>(value); break;
        case tc_float: w.f = *static_cast<const float*>(value); break;
        case tc_typecode: w.tc = *static_cast<const TypeCode*>(value); break;
        case tc_double: w.d = *static_cast<const double*>(value); break;
        case tc_char: w.c = *static_cast<const char*>(value); break;
        default: w.p = value; break;   // adopted when it is an owned type
        }
    }
    // Re-adopting the object already held, inside or adopted before, must not delete it.
    if (isOwned(type_) && isOwned(tc) && w.p != nullptr && w.p == this->value()) {
        type_ = tc;
        subType_ = subType;
        return;
    }
    if (isOwned(type_)) freeOwned();
    type_ = tc;
    subType_ = subType;
    value_ = w;
}

void DKAny::setNull() {
    if (isOwned(type_)) freeOwned();   // clears inside_ too
    type_ = tc_null;
    subType_ = 0;
    value_.p = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Equality and text

namespace {

template <class T>
int sameObject(const void* a, const void* b) {
    if (a && b) return *static_cast<const T*>(a) == *static_cast<const T*>(b) ? 1 : 0;
    return (!a && !b) ? 1 : 0;
}

}  // namespace

int DKAny::equalSameType(const DKAny& other) const {
    if (this == &other) return 1;
    const void* a = object();
    const void* b = other.object();
    switch (type_) {
    case tc_null: return 1;
    case tc_short: return value_.s == other.value_.s;
    case tc_ushort: return value_.us == other.value_.us;
    case tc_char: return value_.c == other.value_.c;
    case tc_long: return value_.l == other.value_.l;
    case tc_ulong: return value_.ul == other.value_.ul;
    case tc_boolean: return value_.i == other.value_.i;
    case tc_typecode: return value_.tc == other.value_.tc;
    case tc_double: return value_.d == other.value_.d;
    case tc_float: return value_.f == other.value_.f;
    case tc_string: return sameObject<DKString>(a, b);
    case tc_decimal: return sameObject<DKDecimal>(a, b);
    case tc_date: return sameObject<DKDate>(a, b);
    case tc_time: return sameObject<DKTime>(a, b);
    case tc_timestamp: return sameObject<DKTimestamp>(a, b);
    case tc_bytearray: return sameObject<DKByteArray>(a, b);
    default: return a == b ? 1 : 0;   // name/value pairs, collections, data objects, raw pointers
    }
}

DKString DKAny::toString() const {
    const void* p = object();
    switch (type_) {
    case tc_null: return DKString("NULL");
    case tc_ushort: return DKString(value_.us);
    case tc_short: return DKString(value_.s);
    case tc_ulong: return DKString(value_.ul);
    case tc_long: return DKString(value_.l);
    case tc_boolean: return DKString(value_.i);
    case tc_typecode: return DKString(static_cast<int>(value_.tc));
    case tc_double: return DKString(value_.d);
    case tc_float: return DKString(static_cast<double>(value_.f));
    case tc_char: return DKString(value_.c);
    default: break;
    }
    if (!p) return DKString("NULL");
    switch (type_) {
    case tc_string: return *static_cast<const DKString*>(p);
    case tc_decimal: return static_cast<const DKDecimal*>(p)->toString();
    case tc_date: return static_cast<const DKDate*>(p)->asString(nullptr);
    case tc_time: return static_cast<const DKTime*>(p)->asString(nullptr);
    case tc_timestamp: return static_cast<const DKTimestamp*>(p)->asString(nullptr);
    case tc_bytearray: return static_cast<const DKByteArray*>(p)->asString();
    case tc_nvpair: return DKString("(DKNVPair*)") + DKString(addressOf(p));
    case tc_collection: return DKString("(dkCollection*)") + DKString(addressOf(p));
    case tc_dobase: return DKString("(dkDataObjectBase*)") + DKString(addressOf(p));
    default: return DKString("(void*)") + DKString(addressOf(p));
    }
}

std::ostream& operator<<(std::ostream& os, const DKAny& any) {
    const DKAny::Word& w = any.value_;
    switch (any.type_) {
    case DKAny::tc_ushort: return os << w.us;
    case DKAny::tc_short: return os << w.s;
    case DKAny::tc_ulong: return os << w.ul;
    case DKAny::tc_long: return os << w.l;
    case DKAny::tc_boolean: return os << w.i;
    case DKAny::tc_typecode: return os << static_cast<int>(w.tc);
    case DKAny::tc_double: return os << w.d;
    case DKAny::tc_float: return os << w.f;
    case DKAny::tc_nvpair:
        // Written as a raw pointer, unlike toString().
        if (!w.p) return os << "NULL";
        return os << "(void*)" << addressOf(w.p);
    default: return os << any.toString();
    }
}
