// src/dk/common/model/DKPid.cpp
//
// Persistent identifiers of repository items and their two text forms. The id strings are indexed
// from 0 (the first kept inside the pid); the visible ones are those below the count. Both text forms are
// length-prefixed lists, so any texts survive the trip through them. Parsing is always left to
// PStringId, so malformed text fails with its 303 and its insert; the forms are written here
// directly, in the same encoding, because they are built on every copy and comparison.

#include <dk/DKPid.hpp>

#include <dk/DKException.hpp>
#include <dk/PStringId.hpp>
#include <dk/dkThrow.hpp>

#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

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

// The two classes here keep their id strings where they are and show them unchanged. For them the
// id strings are copied and read directly; a subclass may override how id strings are shown or
// stored, so for it everything still goes through its own virtual form, as documented.
bool keepsOwnIdStrings(const DKPid& p) {
    const std::type_info& t = typeid(p);
    return t == typeid(DKPid) || t == typeid(DKPidXDO);
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// DKPid

DKPid::DKPid() : idStrings_(1), idStringCount_(1) {}

DKPid::DKPid(long n) : idStringCount_(0) {
    // A negative count would make every index invalid and every form empty while the pid claims
    // id strings; it is refused before anything is built.
    if (n < 0) dkThrow<DKUsageError>(303, kSource, "DKPid::DKPid");
    setIdStringCount(n);
}

DKPid::DKPid(const char* pidString) : idStringCount_(0) {
    PStringId outer(pidString);
    if (outer.numElements() != 1) dkThrow<DKUsageError>(303, kSource, "DKPid::DKPid");
    PStringId inner(outer[0].c_str());
    if (inner.numElements() < 4) dkThrow<DKUsageError>(303, kSource, "DKPid::DKPid");
    datastoreType_ = inner[0];
    datastoreName_ = inner[1];
    objectType_ = inner[2];
    storeIdStrings(inner[3].c_str());
}

DKPid::DKPid(const DKPid& other)
    : datastoreType_(other.datastoreType_),
      datastoreName_(other.datastoreName_),
      objectType_(other.objectType_),
      idStringCount_(0) {
    copyIdStrings(other);
}

DKPid& DKPid::operator=(const DKPid& other) {
    if (this != &other) {
        // A connector stamps the pid of each item it reads or adds on a kept one: the names are
        // mostly the same already, and comparing costs less than assigning.
        if (datastoreType_ != other.datastoreType_) datastoreType_ = other.datastoreType_;
        if (datastoreName_ != other.datastoreName_) datastoreName_ = other.datastoreName_;
        if (objectType_ != other.objectType_) objectType_ = other.objectType_;
        if (keepsOwnIdStrings(*this))
            copyIdStrings(other);
        else
            setIdString(other.getIdString().c_str());   // a subclass sees the form it is given
    }
    return *this;
}

DKPid::~DKPid() = default;

void DKPid::copyIdStrings(const DKPid& other) {
    if (!keepsOwnIdStrings(other)) {
        // A subclass may present its id strings differently; its form is what gets copied.
        storeIdStrings(other.getIdString().c_str());
        return;
    }
    // A single id string is one assignment, which either happens or leaves the pid as it was
    // (the common cases: a connector stamping a row's id on a kept pid, or cloning one); an
    // entry made for it beyond the count is unused until then.
    if (other.idStringCount_ == 1) {
        if (idStrings_.empty()) idStrings_.resize(1);   // no allocation: the first entry is inside
        idStrings_[0] = other.idStrings_[0];
        idStringCount_ = 1;
        return;
    }
    // Built aside first, so a failed copy leaves this pid as it was.
    const auto n = static_cast<std::size_t>(other.idStringCount_);
    PIdStrings copy(n);
    for (std::size_t i = 0; i < n; ++i) copy[i] = other.idStrings_[i];
    idStrings_.swap(copy);
    idStringCount_ = other.idStringCount_;
}

DKString DKPid::getDatastoreType() const { return datastoreType_; }
void DKPid::setDatastoreType(const char* type) { datastoreType_ = type; }
DKString DKPid::getDatastoreName() const { return datastoreName_; }
void DKPid::setDatastoreName(const char* name) { datastoreName_ = name; }

DKString DKPid::getId() const { return getPrimaryId(); }
void DKPid::setId(const char* id) { setPrimaryId(id); }

DKString DKPid::getIdString(long i) const {
    if (i < 0 || i >= idStringCount_) dkThrow<DKUsageError>(303, kSource, "DKPid::getIdString");
    return idStrings_[static_cast<std::size_t>(i)];
}

void DKPid::appendIdStringForm(std::string& form) const {
    for (long i = 0; i < idStringCount_; ++i) appendItem(form, idStrings_[static_cast<std::size_t>(i)]);
}

DKString DKPid::getIdString() const {
    std::string form;
    appendIdStringForm(form);
    return toDKString(form);
}

void DKPid::setIdString(long i, const char* s) {
    if (i < 0 || i >= idStringCount_) dkThrow<DKUsageError>(303, kSource, "DKPid::setIdString");
    idStrings_[static_cast<std::size_t>(i)] = s;   // the string's own buffer reused
}

void DKPid::setIdString(const char* form) { storeIdStrings(form); }

void DKPid::storeIdStrings(const char* form) {
    // Parsed in full before anything changes, so malformed text leaves the pid as it was.
    PStringId list(form);
    const unsigned long n = list.numElements();
    if (keepsOwnIdStrings(*this)) {
        PIdStrings fresh(n);
        for (unsigned long k = 0; k < n; ++k) fresh[k] = list[k];
        idStrings_.swap(fresh);
        idStringCount_ = static_cast<long>(n);
        return;
    }
    // A subclass sees every id string go through its own setIdString, as it always has.
    if (idStrings_.size() < n) idStrings_.resize(n);
    idStringCount_ = static_cast<long>(n);
    for (unsigned long k = 0; k < n; ++k) setIdString(static_cast<long>(k), list[k].c_str());
}

DKString DKPid::getPrimaryId() const {
    if (keepsOwnIdStrings(*this)) {
        if (idStringCount_ == 0) dkThrow<DKUsageError>(303, kSource, "DKPid::getPrimaryId");
        return idStrings_[0];
    }
    PStringId list(getIdString().c_str());
    if (list.numElements() == 0) dkThrow<DKUsageError>(303, kSource, "DKPid::getPrimaryId");
    return list[0];
}

void DKPid::setPrimaryId(const char* id) {
    if (keepsOwnIdStrings(*this)) {
        DKString fresh(id);
        if (idStrings_.empty()) idStrings_.resize(1);
        idStrings_[0] = std::move(fresh);
        idStringCount_ = 1;
        return;
    }
    std::string form;
    appendItem(form, DKString(id));
    setIdString(form.c_str());
}

DKString DKPid::pidString() const {
    std::string ids;
    if (keepsOwnIdStrings(*this))
        appendIdStringForm(ids);
    else
        ids = getIdString().str();
    std::string inner;
    inner.reserve(datastoreType_.length() + datastoreName_.length() + objectType_.length() + ids.size() + 48);
    appendItem(inner, datastoreType_);
    appendItem(inner, datastoreName_);
    appendItem(inner, objectType_);
    appendItem(inner, ids.data(), ids.size());
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
    const auto count = static_cast<std::size_t>(n);
    if (idStrings_.size() < count) idStrings_.resize(count);
    idStringCount_ = n;
    if (keepsOwnIdStrings(*this)) {
        for (std::size_t i = 0; i < count; ++i) idStrings_[i] = DKString();
        return;
    }
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
