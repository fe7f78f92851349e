// src/dk/common/DKPid.cpp
//
// Persistent identifiers of repository items and their two text forms. The id strings live in a
// keyed collection indexed from 0; the visible ones are those below the count. Both text forms are
// length-prefixed lists, so any texts survive the trip through them. Parsing is always left to
// PStringId, so malformed text fails with its 303 and its insert; the forms are written here
// directly, in the same encoding, because they are built on every copy and comparison.

#include <dk/DKPid.hpp>

#include <dk/DKException.hpp>
#include <dk/PKeyLongCollection.hpp>
#include <dk/PStringId.hpp>
#include <dk/dkThrow.hpp>

#include <string>

namespace {
constexpr const char* kSource = "dk/common/DKPid";

// One element of a length-prefixed list: the length in decimal, a blank, the text.
void appendItem(std::string& form, const char* text, std::size_t length) {
    char digits[24];
    char* p = digits + sizeof digits;
    std::size_t rest = length;
    do {
        *--p = static_cast<char>('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    form.append(p, static_cast<std::size_t>(digits + sizeof digits - p));
    form.push_back(' ');
    form.append(text, length);
}

void appendItem(std::string& form, const DKString& text) { appendItem(form, text.c_str(), text.length()); }

DKString toDKString(const std::string& form) { return DKString(form.data(), form.size()); }
}  // namespace

// ---------------------------------------------------------------------------------------------
// DKPid

DKPid::DKPid() : idStrings_(new PKeyLongCollection), idStringCount_(1) {
    try {
        setIdString(0, "");
    } catch (...) {
        freeIdStrings();
        throw;
    }
}

DKPid::DKPid(long n) : idStrings_(nullptr), idStringCount_(0) {
    // A negative count would make every index invalid and every form empty while the pid claims
    // id strings; it is refused before anything is built.
    if (n < 0) dkThrow<DKUsageError>(303, kSource, "DKPid::DKPid");
    idStrings_ = new PKeyLongCollection;
    try {
        setIdStringCount(n);
    } catch (...) {
        freeIdStrings();
        throw;
    }
}

DKPid::DKPid(const char* pidString) : idStrings_(new PKeyLongCollection), idStringCount_(0) {
    // The destructor does not run for a constructor that throws, so the collection is freed here.
    try {
        PStringId outer(pidString);
        if (outer.numElements() != 1) dkThrow<DKUsageError>(303, kSource, "DKPid::DKPid");
        PStringId inner(outer[0].c_str());
        if (inner.numElements() < 4) dkThrow<DKUsageError>(303, kSource, "DKPid::DKPid");
        datastoreType_ = inner[0];
        datastoreName_ = inner[1];
        objectType_ = inner[2];
        storeIdStrings(inner[3].c_str());
    } catch (...) {
        freeIdStrings();
        throw;
    }
}

DKPid::DKPid(const DKPid& other)
    : datastoreType_(other.datastoreType_),
      datastoreName_(other.datastoreName_),
      objectType_(other.objectType_),
      idStrings_(new PKeyLongCollection),
      idStringCount_(0) {
    try {
        storeIdStrings(other.getIdString().c_str());
    } catch (...) {
        freeIdStrings();
        throw;
    }
}

DKPid& DKPid::operator=(const DKPid& other) {
    if (this != &other) {
        datastoreType_ = other.datastoreType_;
        datastoreName_ = other.datastoreName_;
        objectType_ = other.objectType_;
        setIdString(other.getIdString().c_str());
    }
    return *this;
}

DKPid::~DKPid() { freeIdStrings(); }

void DKPid::freeIdStrings() {
    if (idStrings_ == nullptr) return;
    {
        PKeyLongCollection::Cursor cursor(idStrings_);
        for (int valid = cursor.setToFirst(); valid; valid = cursor.setToNext())
            delete static_cast<DKString*>(cursor.element()->getObj());
    }   // the cursor leaves the collection before the collection goes
    delete idStrings_;
    idStrings_ = nullptr;
}

DKString DKPid::getDatastoreType() const { return datastoreType_; }
void DKPid::setDatastoreType(const char* type) { datastoreType_ = type; }
DKString DKPid::getDatastoreName() const { return datastoreName_; }
void DKPid::setDatastoreName(const char* name) { datastoreName_ = name; }

DKString DKPid::getId() const { return getPrimaryId(); }
void DKPid::setId(const char* id) { setPrimaryId(id); }

DKString DKPid::getIdString(long i) const {
    if (i < 0 || i >= idStringCount_) dkThrow<DKUsageError>(303, kSource, "DKPid::getIdString");
    // Every visible index has an entry unless a subclass stores elsewhere; none reads as empty.
    const DKString* s = static_cast<const DKString*>(idStrings_->elementWithKey(i));
    return s != nullptr ? *s : DKString();
}

DKString DKPid::getIdString() const {
    std::string form;
    for (long i = 0; i < idStringCount_; ++i) {
        const DKString* s = static_cast<const DKString*>(idStrings_->elementWithKey(i));
        if (s != nullptr)
            appendItem(form, *s);
        else
            appendItem(form, "", 0);
    }
    return toDKString(form);
}

void DKPid::setIdString(long i, const char* s) {
    if (i < 0 || i >= idStringCount_) dkThrow<DKUsageError>(303, kSource, "DKPid::setIdString");
    DKString* fresh = new DKString(s);
    DKString* old = static_cast<DKString*>(idStrings_->elementWithKey(i));
    if (old != nullptr) {
        idStrings_->replaceElementWithKey(i, fresh);
        delete old;
        return;
    }
    try {
        idStrings_->add(i, fresh);
    } catch (...) {
        delete fresh;
        throw;
    }
}

void DKPid::setIdString(const char* form) { storeIdStrings(form); }

void DKPid::storeIdStrings(const char* form) {
    // Parsed in full before anything changes, so malformed text leaves the pid as it was.
    PStringId list(form);
    idStringCount_ = static_cast<long>(list.numElements());
    for (unsigned long k = 0; k < list.numElements(); ++k)
        setIdString(static_cast<long>(k), list[k].c_str());
}

DKString DKPid::getPrimaryId() const {
    PStringId list(getIdString().c_str());
    if (list.numElements() == 0) dkThrow<DKUsageError>(303, kSource, "DKPid::getPrimaryId");
    return list[0];
}

void DKPid::setPrimaryId(const char* id) {
    std::string form;
    appendItem(form, DKString(id));
    setIdString(form.c_str());
}

DKString DKPid::pidString() const {
    std::string inner;
    appendItem(inner, datastoreType_);
    appendItem(inner, datastoreName_);
    appendItem(inner, objectType_);
    appendItem(inner, getIdString());
    std::string outer;
    outer.reserve(inner.size() + 24);
    appendItem(outer, inner.data(), inner.size());
    return toDKString(outer);
}

DKString DKPid::getObjectType() const { return objectType_; }
void DKPid::setObjectType(const char* type) { objectType_ = type; }

short DKPid::isSet() const {
    if (datastoreType_.length() == 0 || datastoreName_.length() == 0 || objectType_.length() == 0)
        return 0;
    // Without id strings there is no id string 0 to ask for; such a pid is simply not set.
    if (getIdStringCount() <= 0) return 0;
    return getIdString(0).length() != 0 ? 1 : 0;
}

long DKPid::getIdStringCount() const { return idStringCount_; }

void DKPid::setIdStringCount(long n) {
    if (n < 0) dkThrow<DKUsageError>(303, kSource, "DKPid::setIdStringCount");
    idStringCount_ = n;
    for (long i = 0; i < n; ++i) setIdString(i, "");
}

DKPid* DKPid::clone() const { return new DKPid(*this); }

DKString DKPid::pidType() const { return DKString("DKPid"); }

// ---------------------------------------------------------------------------------------------
// DKPidXDO

DKPidXDO::DKPidXDO() = default;
DKPidXDO::DKPidXDO(const char* pidString) : DKPid(pidString) {}
DKPidXDO::DKPidXDO(const DKPidXDO& other) : DKPid(other) {}

DKPidXDO& DKPidXDO::operator=(const DKPidXDO& other) {
    DKPid::operator=(other);
    return *this;
}

DKPidXDO::~DKPidXDO() = default;

short DKPidXDO::isSet() const { return DKPid::isSet(); }

DKPid* DKPidXDO::clone() const { return new DKPidXDO(*this); }

DKString DKPidXDO::pidType() const { return DKString("DKPidXDO"); }
