// src/dk/common/text/PStringId.cpp
//
// The length-prefixed string list that persistent identifiers are written in. Parsing reads
// untrusted text, so every length is checked against overflow and against what is left of the
// text before a byte is taken.

#include <dk/PStringId.hpp>

#include <dk/DKException.hpp>
#include <dk/DKLogMessageInserts.hpp>
#include <dk/dkThrow.hpp>

#include <climits>
#include <cstring>

namespace {
constexpr const char* kSource = "dk/common/PStringId";

// 303 with the whole text, bracketed, as the one insert.
[[noreturn]] void badText(const char* text, unsigned long length, const char* function) {
    DKLogMessageInserts inserts;
    inserts.insert(DKString("[") + DKString(text, length) + DKString("]"));
    dkThrow<DKUsageError>(303, inserts, kSource, function);
}
}  // namespace

PStringId::PStringId() = default;

PStringId::PStringId(const char* text) {
    try {
        parse(text);
    } catch (...) {
        clear();   // the destructor does not run for a constructor that throws
        throw;
    }
}

PStringId::PStringId(const PStringId& other) {
    for (unsigned long k = 0; k < other.numElements(); ++k)
        strings_.add(new DKString(*static_cast<DKString*>(other.strings_[k])));
}

PStringId& PStringId::operator=(const PStringId& other) {
    if (this != &other) {
        clear();
        for (unsigned long k = 0; k < other.numElements(); ++k)
            strings_.add(new DKString(*static_cast<DKString*>(other.strings_[k])));
    }
    return *this;
}

PStringId::~PStringId() { clear(); }

void PStringId::clear() {
    for (unsigned long k = 0; k < strings_.numberOfElements(); ++k) delete static_cast<DKString*>(strings_[k]);
    strings_.removeAll();
}

void PStringId::parse(const char* text) {
    if (text == nullptr) return;
    const unsigned long n = std::strlen(text);
    unsigned long pos = 0;
    while (pos < n) {
        const char* blank = static_cast<const char*>(std::memchr(text + pos, ' ', n - pos));
        if (blank == nullptr || blank == text + pos) badText(text, n, "PStringId::PStringId");
        const unsigned long digitsEnd = static_cast<unsigned long>(blank - text);
        unsigned long length = 0;
        for (unsigned long i = pos; i < digitsEnd; ++i) {
            unsigned char c = static_cast<unsigned char>(text[i]);
            if (c < '0' || c > '9') badText(text, n, "PStringId::PStringId");
            unsigned long digit = c - '0';
            if (length > (ULONG_MAX - digit) / 10) badText(text, n, "PStringId::PStringId");
            length = length * 10 + digit;
        }
        const unsigned long start = digitsEnd + 1;
        if (length > n - start) badText(text, n, "PStringId::PStringId");
        strings_.add(new DKString(text + start, length));
        pos = start + length;
    }
}

void PStringId::addString(const char* text) { strings_.add(new DKString(text)); }

void PStringId::addString(const DKString& text) { strings_.add(new DKString(text)); }

DKString PStringId::operator[](unsigned long k) const {
    if (k >= strings_.numberOfElements()) dkThrow<DKUsageError>(303, kSource, "PStringId::operator[]");
    return *static_cast<DKString*>(strings_[k]);
}

DKString PStringId::totalString() const {
    DKString form;
    for (unsigned long k = 0; k < strings_.numberOfElements(); ++k) {
        const DKString& s = *static_cast<const DKString*>(strings_[k]);
        form += DKString(s.length());
        form += ' ';
        form += s;
    }
    return form;
}

int PStringId::operator==(const PStringId& other) const {
    if (numElements() != other.numElements()) return 0;
    for (unsigned long k = 0; k < numElements(); ++k)
        if (*static_cast<const DKString*>(strings_[k]) != *static_cast<const DKString*>(other.strings_[k])) return 0;
    return 1;
}

int PStringId::isDigits(const char* text) {
    if (text == nullptr) return 0;
    for (const char* p = text; *p != '\0'; ++p)
        if (*p < '0' || *p > '9') return 0;
    return 1;
}
