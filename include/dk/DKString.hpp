// include/dk/DKString.hpp
#pragma once
#include <dk/PStringBuffer.hpp>
#include <dk/dkExport.hpp>

#include <cstddef>
#include <cstring>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

// The string of every interface: single-byte characters, positions counted from 1, a failed search
// gives 0. Short texts live inside the object; longer ones in a reference-counted buffer taken from
// the string manager of the thread that built it and shared on copy (copy on write) with strings of
// the same manager. A DKString is used by one thread at a time; a buffer shared by strings on
// different threads is safe: the thread that built it counts its copies without atomic
// instructions, other threads count theirs atomically, and the block returns to its own manager
// wherever it dies. A buffer whose last reference dies on another thread while the building
// thread still counts it is freed by the building thread, at its next new buffer or when it ends.
class DK_API DKString {
public:
    DKString() : p_(inline_), len_(0) { inline_[0] = '\0'; }
    DKString(int value);                 // "%d"
    DKString(unsigned int value);        // "%u"
    DKString(short value);               // "%d"
    DKString(long value);                // "%ld"
    DKString(unsigned short value);      // "%u"
    DKString(unsigned long value);       // "%lu"
    DKString(double value);              // "%f"
    DKString(char c);                    // the character 0 gives an empty string
    DKString(char* text) : DKString(static_cast<const char*>(text)) {}   // null gives ""
    DKString(const char* text) : p_(inline_), len_(text != nullptr ? std::strlen(text) : 0) {
        if (len_ <= kInline) {
            if (len_ != 0) std::memcpy(inline_, text, len_);
            inline_[len_] = '\0';
        } else {
            initShared(text);
        }
    }
    DKString(const std::string& text);   // every byte, embedded zeros included
    DKString(const void* buffer, unsigned long n);   // exactly n bytes, zeros included
    DKString(const DKString& other) : len_(other.len_) {
        if (other.isInline()) {
            p_ = inline_;
            std::memcpy(inline_, other.inline_, sizeof inline_);
        } else {
            shareOrCopy(other);
        }
    }
    DKString(DKString&& other) noexcept { moveFrom(other); }
    virtual ~DKString() {
        if (!isInline()) rep()->release();
    }

    // Concatenation; this string is unchanged. A char 0 adds nothing.
    DKString operator+(const DKString& other) const;
    DKString operator+(const std::string& other) const;
    DKString operator+(const char* other) const;
    DKString operator+(char c) const;

    // Appending grows the buffer geometrically; each returns a copy of the new value. A char 0
    // adds nothing.
    DKString operator+=(const DKString& other) {
        if (other.len_ == 0) return *this;
        return appendCopy(other.p_, other.len_);
    }
    DKString operator+=(const std::string& other) {
        if (other.empty()) return *this;
        return appendCopy(other.data(), other.size());
    }
    DKString operator+=(const char* other) {
        unsigned long n = other != nullptr ? std::strlen(other) : 0;
        if (n == 0) return *this;
        return appendCopy(other, n);
    }
    DKString operator+=(char c) {
        if (c == '\0') return *this;
        return appendCopy(&c, 1);
    }

    // Assignment; each returns a copy of the new value. A char 0 gives an empty string.
    DKString operator=(const DKString& other);
    DKString operator=(const std::string& other);
    DKString operator=(const char* other);
    DKString operator=(char c);
    DKString& operator=(DKString&& other) noexcept;
    // Exactly n bytes of text (zeros included) become the value, in the string's own buffer when
    // they fit and no other string shares it; text may lie inside this string. No copy returned.
    DKString& assign(const char* text, unsigned long n);

    // Byte-wise equality of the whole texts; a null pointer compares as the empty text.
    bool operator==(const DKString& other) const {
        return len_ == other.len_ && (p_ == other.p_ || std::memcmp(p_, other.p_, len_) == 0);
    }
    bool operator==(const std::string& other) const;
    bool operator==(const char* other) const;
    bool operator==(char* other) const;
    bool operator==(char c) const;   // length 1 and that character
    bool operator!=(const DKString& other) const { return !(*this == other); }
    bool operator!=(const std::string& other) const { return !(*this == other); }
    bool operator!=(const char* other) const { return !(*this == other); }
    bool operator!=(char* other) const { return !(*this == other); }
    bool operator!=(char c) const { return !(*this == c); }
    // Byte-wise order (unsigned bytes, shorter prefix first), so strings can key ordered containers.
    bool operator<(const DKString& other) const;

    // The character at 1-based position i, or 0 outside 1..length. One overload per integer type
    // so that s[i] never competes with the built-in subscript of the char* conversion.
    char operator[](unsigned long i) const { return at(i); }
    char operator[](long i) const { return at(static_cast<unsigned long>(i)); }
    char operator[](unsigned int i) const { return at(i); }
    char operator[](int i) const { return at(static_cast<unsigned long>(static_cast<long>(i))); }
    char operator[](unsigned long long i) const { return at(static_cast<unsigned long>(i)); }
    char operator[](long long i) const { return at(static_cast<unsigned long>(i)); }

    unsigned long size() const { return len_; }
    unsigned long length() const { return len_; }

    // Positions count from 1; a start below 1 counts as 1.
    DKString subString(unsigned long start, unsigned long count) const;
    unsigned long indexOf(const DKString& s, unsigned long start = 1) const;
    unsigned long indexOf(char c, unsigned long start) const;
    unsigned long indexOf(char c) const;
    DKString& remove(unsigned long pos, unsigned long count);   // unchanged when it runs past the end
    DKString& insert(const DKString& s, unsigned long pos);     // after the first pos characters
    DKString& leftJustify(unsigned long n);
    DKString& upperCase();   // 'a'..'z' only, no locale
    DKString& strip();       // white space as in the "C" locale
    int isDigits() const;    // 1 or 0; the empty string is all digits
    long asInt() const;      // as atol reads it (saturating like strtol)
    unsigned long asUnsigned() const;

    // The string's own zero-terminated buffer, writable: a shared buffer is copied first, and the
    // buffer is never shared again, so writing through the pointer changes this string only.
    // Valid until the string changes or dies.
    operator char*();
    // Read-only view of the same buffer; never copies.
    operator const char*() const { return p_; }
    const char* c_str() const { return p_; }
    // Copies of the text, embedded zeros included.
    operator std::string() const { return std::string(p_, len_); }
    std::string str() const { return std::string(p_, len_); }

    // Found by argument-dependent lookup only, so they never capture expressions without a DKString.
    friend DKString operator+(const char* a, const DKString& b) { return DKString(a) + b; }
    friend DKString operator+(char a, const DKString& b) { return DKString(a) + b; }
    friend DKString operator+(const std::string& a, const DKString& b) { return DKString(a) + b; }
    friend bool operator==(const char* a, const DKString& b) { return b == a; }
    friend bool operator!=(const char* a, const DKString& b) { return !(b == a); }
    friend bool operator==(const std::string& a, const DKString& b) { return b == a; }
    friend bool operator!=(const std::string& a, const DKString& b) { return !(b == a); }
    friend bool operator==(char a, const DKString& b) { return b == a; }
    friend bool operator!=(char a, const DKString& b) { return !(b == a); }

private:
    using Rep = PStringBuffer;   // header of a shared buffer; the characters follow it

    static constexpr unsigned long kInline = 15;   // longest text kept inside the object

    char at(unsigned long i) const { return (i >= 1 && i <= len_) ? p_[i - 1] : '\0'; }
    bool isInline() const { return p_ == inline_; }
    Rep* rep() const { return reinterpret_cast<Rep*>(p_) - 1; }
    DK_LOCAL static DKString concat(const char* a, unsigned long na, const char* b, unsigned long nb);
    DK_LOCAL void init(const char* text, unsigned long n);   // constructors only: no old value
    void initShared(const char* text);              // constructors only: len_ set, beyond inline
    void shareOrCopy(const DKString& other) {       // len_ set, no old value, other not inline
        if (!other.pinned_ && other.rep()->share()) {
            p_ = other.p_;
            pinned_ = false;
        } else {
            copyChars(other);
        }
    }
    void copyChars(const DKString& other);          // into a new buffer of this thread's
    void moveFrom(DKString& other) noexcept {       // no old value
        len_ = other.len_;
        if (other.isInline()) {
            p_ = inline_;
            std::memcpy(inline_, other.inline_, sizeof inline_);
        } else {
            p_ = other.p_;
            pinned_ = other.pinned_;
        }
        other.p_ = other.inline_;
        other.inline_[0] = '\0';
        other.len_ = 0;
    }
    DK_LOCAL void adopt(Rep* r, unsigned long len);   // releases the old value, takes r
    void release();                                 // drops a shared buffer, if any
    // Appends n (above 0) characters: in place when there is room no other string shares; the
    // text may lie in this string's own buffer.
    void append(const char* text, unsigned long n) {
        unsigned long len = len_ + n;
        if (isInline() ? len <= kInline : rep()->capacity() >= len && rep()->isUnique()) {
            if (n == 1)
                p_[len_] = *text;
            else
                std::memmove(p_ + len_, text, n);
            p_[len] = '\0';
            len_ = len;
        } else {
            appendElsewhere(text, n);
        }
    }
    // append, then the copy += returns. The common case, a buffer this thread built, holds alone
    // and has room for, is counted with plain stores (the owner's count goes from 1 to 2 without
    // being read back), so a discarded copy leaves no read-modify-write chain from call to call.
    // Everything else goes through one call into the library.
    DKString appendCopy(const char* text, unsigned long n) {
        char* p = p_;
        unsigned long len = len_ + n;
        if (isInline()) {
            if (len <= kInline) {
                std::memmove(p + len - n, text, n);
                p[len] = '\0';
                len_ = len;
                return *this;
            }
        } else if (!pinned_) {
            Rep* r = rep();
            if (r->owner == Rep::tStringOwner && r->biased == 1 &&
                r->shared.load(std::memory_order_acquire) == 0 && r->capacity() >= len) {
                if (n == 1)
                    p[len - 1] = *text;
                else
                    std::memmove(p + len - n, text, n);
                p[len] = '\0';
                len_ = len;
                return DKString(r, len, Counted{});
            }
        }
        return appendCopySlow(text, n);
    }
    DKString appendCopySlow(const char* text, unsigned long n);   // append, then a plain copy
    struct Counted {};
    // The copy appendCopy returns: counts its reference on r, which this thread built and holds alone.
    DKString(Rep* r, unsigned long len, Counted) : p_(r->chars()), len_(len) {
        pinned_ = false;
        r->biased = 2;
    }
    void appendElsewhere(const char* text, unsigned long n);   // into a new buffer
    DK_LOCAL char* grow(unsigned long len);   // unique, writable, room for len characters

    char* p_;             // inline_ or the characters of a shared buffer; always zero-terminated
    unsigned long len_;   // characters, not counting the terminating zero
    union {
        char inline_[kInline + 1];
        bool pinned_;     // heap buffer handed out as char*: never shared again
    };
};

DK_API std::ostream& operator<<(std::ostream& os, const DKString& s);   // up to the first zero byte
DK_API std::istream& operator>>(std::istream& is, DKString& s);         // one word, at most width-1

namespace std {
template <>
struct hash<DKString> {
    size_t operator()(const DKString& s) const noexcept {
        return hash<string_view>()(string_view(s.c_str(), s.length()));
    }
};
}  // namespace std
