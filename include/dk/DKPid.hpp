// include/dk/DKPid.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

#include <cstddef>
#include <utility>
#include <vector>

// The persistent identifier of one repository item: datastore type, datastore name, object type
// and a list of id strings (index 0 is the primary id). It flattens to a pid string of nested
// length-prefixed lists and is rebuilt from one exactly, whatever the texts hold. The pid owns its
// id strings; entries above a lowered count stay owned but are never returned. Used by one thread
// at a time. Every failure is a DKUsageError 303.
class DK_API DKPid {
public:
    DKPid();                          // one empty id string
    explicit DKPid(long n);           // n empty id strings; 0 gives none, below 0 throws 303
    explicit DKPid(int n) : DKPid(static_cast<long>(n)) {}   // so that DKPid(0) is not ambiguous
    DKPid(const char* pidString);     // 303 when the text is not a pid string
    DKPid(const DKPid& other);        // id strings copied through other's getIdString() form
    DKPid& operator=(const DKPid& other);

    virtual ~DKPid();
    virtual DKString getDatastoreType() const;
    virtual void setDatastoreType(const char* type);
    virtual DKString getDatastoreName() const;
    virtual void setDatastoreName(const char* name);
    virtual DKString getId() const;               // the primary id
    virtual void setId(const char* id);           // the primary id; the count becomes 1
    virtual DKString getIdString(long i) const;   // 303 unless 0 <= i < count
    virtual DKString getIdString() const;         // the id-string form of indexes 0 .. count - 1
    virtual void setIdString(long i, const char* s);   // 303 unless 0 <= i < count; count unchanged
    virtual void setIdString(const char* form);   // parses a form; the count becomes its length
    virtual DKString getPrimaryId() const;        // id string 0; 303 when the count is 0
    virtual void setPrimaryId(const char* id);    // the count becomes 1, id string 0 is id
    virtual DKString pidString() const;
    virtual DKString getObjectType() const;
    virtual void setObjectType(const char* type);
    virtual short isSet() const;   // 1 when the three names and id string 0 are all non-empty
    virtual long getIdStringCount() const;
    virtual void setIdStringCount(long n);   // every id string 0 .. n - 1 becomes empty; n < 0 throws
    virtual DKPid* clone() const;            // a new copy of the same class, owned by the caller
    virtual DKString pidType() const;        // "DKPid"

private:
    void storeIdStrings(const char* form);   // the non-virtual body of setIdString(const char*)
    void copyIdStrings(const DKPid& other);  // directly, or through other's form when it has its own
    void appendIdStringForm(std::string& form) const;   // the form of this class's own id strings

    // The id strings: the first one inside the pid (nearly every pid has exactly one, and a pid
    // is copied into every data object), any further ones in a vector.
    class PIdStrings {
    public:
        PIdStrings() = default;
        explicit PIdStrings(std::size_t n) { resize(n); }
        std::size_t size() const { return size_; }
        bool empty() const { return size_ == 0; }
        DKString& operator[](std::size_t i) { return i == 0 ? first_ : rest_[i - 1]; }
        const DKString& operator[](std::size_t i) const { return i == 0 ? first_ : rest_[i - 1]; }
        void resize(std::size_t n) {
            rest_.resize(n > 1 ? n - 1 : 0);
            size_ = n;
        }
        void swap(PIdStrings& other) noexcept {
            std::swap(first_, other.first_);
            rest_.swap(other.rest_);
            std::swap(size_, other.size_);
        }

    private:
        DKString first_;
        std::vector<DKString> rest_;
        std::size_t size_ = 0;
    };

    DKString datastoreType_;
    DKString datastoreName_;
    DKString objectType_;
    PIdStrings idStrings_;   // at least idStringCount_ entries; those above it unused
    long idStringCount_;

    friend class PConnectorKit;   // stamps a row id on a kept pid without copying the names
};

// The identifier of an extended data object (content). A DKPid in every respect except its type
// name and its clone, which is a DKPidXDO.
class DK_API DKPidXDO : public DKPid {
public:
    DKPidXDO();
    DKPidXDO(const char* pidString);
    DKPidXDO(const DKPidXDO& other);
    DKPidXDO& operator=(const DKPidXDO& other);

    ~DKPidXDO() override;
    short isSet() const override;
    DKPid* clone() const override;
    DKString pidType() const override;   // "DKPidXDO"
};
