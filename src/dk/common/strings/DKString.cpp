// src/dk/common/strings/DKString.cpp
//
// The string of every interface. Texts of up to 15 characters stay inside the object; longer ones
// live in a PStringBuffer taken from the calling thread's string manager, whose counts cost no
// atomic instruction on the thread that built it. Copies share a buffer only when it belongs to
// the copying thread's manager; writers copy a shared buffer first. Nothing here throws except
// the allocator.

#include <dk/DKString.hpp>

#include <dk/PStringBuffer.hpp>

#include <charconv>
#include <climits>
#include <cstdint>
#include <cstring>
#include <istream>
#include <new>
#include <ostream>
#include <string_view>

namespace {

// White space and digits as the "C" locale has them, whatever the process locale is.
bool isSpaceC(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool isDigitC(unsigned char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Storage

void DKString::release() {
    if (!isInline()) rep()->release();
}

void DKString::adopt(Rep* r, unsigned long len) {
    release();
    p_ = r->chars();
    p_[len] = '\0';
    len_ = len;
    pinned_ = false;
}

void DKString::init(const char* text, unsigned long n) {
    len_ = n;
    if (n <= kInline) {
        p_ = inline_;
        if (n != 0) std::memcpy(inline_, text, n);
        inline_[n] = '\0';
    } else {
        Rep* r = Rep::make(n);
        p_ = r->chars();
        std::memcpy(p_, text, n);
        p_[n] = '\0';
        pinned_ = false;
    }
}

DKString& DKString::assign(const char* text, unsigned long n) {
    if (n <= kInline) {
        char keep[kInline + 1];   // the text may live in the buffer about to be released
        if (n != 0) std::memcpy(keep, text, n);
        release();
        p_ = inline_;
        std::memcpy(inline_, keep, n);
        inline_[n] = '\0';
        len_ = n;
        return *this;
    }
    if (!isInline() && rep()->capacity() >= n && rep()->isUnique()) {
        std::memmove(p_, text, n);
        p_[n] = '\0';
        len_ = n;
        return *this;
    }
    Rep* r = Rep::make(n);
    std::memcpy(r->chars(), text, n);
    adopt(r, n);
    return *this;
}

char* DKString::grow(unsigned long len) {
    if (isInline()) {
        if (len <= kInline) return p_;
    } else if (rep()->capacity() >= len && rep()->isUnique()) {
        return p_;
    }
    // Doubling keeps a run of appends linear; an unshare of the same length takes just enough.
    unsigned long capacity = len;
    if (len > len_ && capacity < 2 * len_) capacity = 2 * len_;
    Rep* r = Rep::make(capacity);
    std::memcpy(r->chars(), p_, len_);
    adopt(r, len_);
    return p_;
}

DKString DKString::appendCopySlow(const char* text, unsigned long n) {
    append(text, n);
    return *this;
}

void DKString::appendElsewhere(const char* text, unsigned long n) {
    unsigned long len = len_ + n;
    // Doubling keeps a run of appends linear. The text may be part of the buffer being replaced,
    // so it is copied before that buffer is let go.
    unsigned long capacity = len < 2 * len_ ? 2 * len_ : len;
    Rep* r = Rep::make(capacity);
    std::memcpy(r->chars(), p_, len_);
    std::memcpy(r->chars() + len_, text, n);
    adopt(r, len);
}

void DKString::initShared(const char* text) {
    Rep* r = Rep::make(len_);
    p_ = r->chars();
    std::memcpy(p_, text, len_ + 1);
    pinned_ = false;
}

void DKString::copyChars(const DKString& other) {
    pinned_ = false;
    p_ = Rep::make(len_)->chars();
    std::memcpy(p_, other.p_, len_ + 1);
}

DKString DKString::concat(const char* a, unsigned long na, const char* b, unsigned long nb) {
    DKString r;
    unsigned long n = na + nb;
    if (n > kInline) {
        r.p_ = Rep::make(n)->chars();
        r.pinned_ = false;
    }
    std::memcpy(r.p_, a, na);
    if (nb != 0) std::memcpy(r.p_ + na, b, nb);
    r.p_[n] = '\0';
    r.len_ = n;
    return r;
}

// ---------------------------------------------------------------------------------------------
// Construction

namespace {
template <class T>
std::string_view decimal(char (&buf)[24], T value) {
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string_view(buf, static_cast<std::size_t>(res.ptr - buf));
}
}  // namespace

#define DK_DECIMAL_CTOR(T)                    \
    DKString::DKString(T value) {             \
        char buf[24];                         \
        std::string_view t = decimal(buf, value); \
        init(t.data(), t.size());             \
    }
DK_DECIMAL_CTOR(int)
DK_DECIMAL_CTOR(unsigned int)
DK_DECIMAL_CTOR(short)
DK_DECIMAL_CTOR(long)
DK_DECIMAL_CTOR(unsigned short)
DK_DECIMAL_CTOR(unsigned long)
#undef DK_DECIMAL_CTOR

DKString::DKString(double value) {
    // Fixed notation with six decimals, as "%f" writes it in the "C" locale; the largest double
    // needs 316 characters.
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 6);
    init(buf, res.ec == std::errc() ? static_cast<unsigned long>(res.ptr - buf) : 0);
}

DKString::DKString(char c) {
    init(&c, c != '\0' ? 1 : 0);
}

DKString::DKString(const std::string& text) {
    init(text.data(), text.size());
}

DKString::DKString(const void* buffer, unsigned long n) {
    init(static_cast<const char*>(buffer), buffer != nullptr ? n : 0);
}

// ---------------------------------------------------------------------------------------------
// Operators

DKString DKString::operator+(const DKString& other) const {
    return concat(p_, len_, other.p_, other.len_);
}

DKString DKString::operator+(const std::string& other) const {
    return concat(p_, len_, other.data(), other.size());
}

DKString DKString::operator+(const char* other) const {
    return concat(p_, len_, other, other != nullptr ? std::strlen(other) : 0);
}

DKString DKString::operator+(char c) const {
    return concat(p_, len_, &c, c != '\0' ? 1 : 0);
}

DKString DKString::operator=(const DKString& other) {
    if (this != &other && !(p_ == other.p_ && !isInline())) {
        release();
        len_ = other.len_;
        if (other.isInline()) {
            p_ = inline_;
            std::memcpy(inline_, other.inline_, sizeof inline_);
        } else {
            shareOrCopy(other);
        }
    }
    return *this;
}

DKString DKString::operator=(const std::string& other) {
    assign(other.data(), other.size());
    return *this;
}

DKString DKString::operator=(const char* other) {
    assign(other != nullptr ? other : "", other != nullptr ? std::strlen(other) : 0);
    return *this;
}

DKString DKString::operator=(char c) {
    assign(&c, c != '\0' ? 1 : 0);
    return *this;
}

DKString& DKString::operator=(DKString&& other) noexcept {
    if (this != &other) {
        release();
        moveFrom(other);
    }
    return *this;
}

bool DKString::operator==(const std::string& other) const {
    return len_ == other.size() && std::memcmp(p_, other.data(), len_) == 0;
}

bool DKString::operator==(const char* other) const {
    if (other == nullptr) return len_ == 0;
    return std::strlen(other) == len_ && std::memcmp(p_, other, len_) == 0;
}

bool DKString::operator==(char* other) const {
    return *this == static_cast<const char*>(other);
}

bool DKString::operator==(char c) const {
    return len_ == 1 && p_[0] == c;
}

bool DKString::operator<(const DKString& other) const {
    unsigned long n = len_ < other.len_ ? len_ : other.len_;
    int c = std::memcmp(p_, other.p_, n);
    return c < 0 || (c == 0 && len_ < other.len_);
}

DKString::operator char*() {
    if (!isInline()) {
        if (!rep()->isUnique()) grow(len_);
        pinned_ = true;
    }
    return p_;
}

// ---------------------------------------------------------------------------------------------
// Positions and editing

DKString DKString::subString(unsigned long start, unsigned long count) const {
    if (start < 1) start = 1;
    if (start > len_) return DKString();
    unsigned long avail = len_ - (start - 1);
    if (count > avail) count = avail;
    if (count == len_) return *this;
    return DKString(p_ + start - 1, count);
}

unsigned long DKString::indexOf(const DKString& s, unsigned long start) const {
    if (start < 1) start = 1;
    if (start > len_) return 0;
    std::size_t pos = std::string_view(p_, len_).find(std::string_view(s.p_, s.len_), start - 1);
    return pos == std::string_view::npos ? 0 : pos + 1;
}

unsigned long DKString::indexOf(char c, unsigned long start) const {
    if (start < 1) start = 1;
    if (start > len_) return 0;
    const void* hit = std::memchr(p_ + start - 1, c, len_ - (start - 1));
    return hit == nullptr ? 0 : static_cast<unsigned long>(static_cast<const char*>(hit) - p_) + 1;
}

unsigned long DKString::indexOf(char c) const {
    return indexOf(c, 1);
}

DKString& DKString::remove(unsigned long pos, unsigned long count) {
    if (pos < 1) pos = 1;
    if (count > len_ || pos - 1 > len_ - count || count == 0) return *this;
    char* d = grow(len_);
    std::memmove(d + pos - 1, d + pos - 1 + count, len_ - (pos - 1) - count + 1);
    len_ -= count;
    return *this;
}

DKString& DKString::insert(const DKString& s, unsigned long pos) {
    if (&s == this) {
        DKString copy(p_, len_);
        return insert(copy, pos);
    }
    if (pos > len_) leftJustify(pos);
    if (s.len_ == 0) return *this;
    unsigned long len = len_ + s.len_;
    // s cannot share this buffer once it is unique, so it stays readable while this one grows.
    char* d = grow(len);
    std::memmove(d + pos + s.len_, d + pos, len_ - pos + 1);
    std::memcpy(d + pos, s.p_, s.len_);
    len_ = len;
    return *this;
}

DKString& DKString::leftJustify(unsigned long n) {
    if (n < len_) {
        assign(p_, n);
    } else if (n > len_) {
        char* d = grow(n);
        std::memset(d + len_, ' ', n - len_);
        d[n] = '\0';
        len_ = n;
    }
    return *this;
}

DKString& DKString::upperCase() {
    unsigned long i = 0;
    while (i < len_ && !(p_[i] >= 'a' && p_[i] <= 'z')) ++i;
    if (i == len_) return *this;   // nothing to change: keep a shared buffer shared
    char* d = grow(len_);
    for (; i < len_; ++i)
        if (d[i] >= 'a' && d[i] <= 'z') d[i] = static_cast<char>(d[i] - 'a' + 'A');
    return *this;
}

DKString& DKString::strip() {
    unsigned long b = 0, e = len_;
    while (b < e && isSpaceC(static_cast<unsigned char>(p_[b]))) ++b;
    while (e > b && isSpaceC(static_cast<unsigned char>(p_[e - 1]))) --e;
    if (b != 0 || e != len_) assign(p_ + b, e - b);
    return *this;
}

int DKString::isDigits() const {
    for (unsigned long i = 0; i < len_; ++i)
        if (!isDigitC(static_cast<unsigned char>(p_[i]))) return 0;
    return 1;
}

long DKString::asInt() const {
    // atol stops at the terminating zero, which is no digit, so the length bound changes nothing.
    // Out-of-range values saturate like strtol instead of overflowing.
    const unsigned char* s = reinterpret_cast<const unsigned char*>(p_);
    const unsigned char* end = s + len_;
    while (s < end && isSpaceC(*s)) ++s;
    bool negative = false;
    if (s < end && (*s == '+' || *s == '-')) negative = *s++ == '-';
    const unsigned long limit = negative ? static_cast<unsigned long>(LONG_MAX) + 1 : LONG_MAX;
    unsigned long v = 0;
    for (; s < end && isDigitC(*s); ++s) {
        unsigned d = *s - '0';
        v = v > (limit - d) / 10 ? limit : v * 10 + d;
    }
    if (!negative) return static_cast<long>(v);
    return v == limit ? LONG_MIN : -static_cast<long>(v);
}

unsigned long DKString::asUnsigned() const {
    return static_cast<unsigned long>(asInt());
}

// ---------------------------------------------------------------------------------------------
// Streams

std::ostream& operator<<(std::ostream& os, const DKString& s) {
    return os << s.c_str();
}

std::istream& operator>>(std::istream& is, DKString& s) {
    s = DKString();
    std::streamsize width = is.width();
    is.width(0);
    std::istream::sentry ok(is);   // skips leading white space when the stream asks for it
    if (!ok) return is;
    std::streambuf* sb = is.rdbuf();
    // Reading stops quietly at white space, end of file or the width: this operator never sets
    // a fail or end-of-file state itself.
    char chunk[256];
    std::size_t n = 0;
    std::streamsize taken = 0;
    while (width <= 0 || taken < width - 1) {
        int c = sb->sgetc();
        if (c == std::char_traits<char>::eof() || isSpaceC(static_cast<unsigned char>(c))) break;
        chunk[n++] = static_cast<char>(c);
        ++taken;
        sb->sbumpc();
        if (n == sizeof chunk) {
            s += std::string(chunk, n);
            n = 0;
        }
    }
    if (n != 0) s += std::string(chunk, n);
    return is;
}
