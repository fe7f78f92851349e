// include/dk/dkXDO.hpp
#pragma once
#include <dk/DKByteArray.hpp>
#include <dk/DKString.hpp>
#include <dk/dkDataObject.hpp>
#include <dk/dkExport.hpp>

class DKAny;
class DKNVPair;
class DKPid;
class dkContentDef;
class dkDatastore;
class dkExtension;

// The root of the content objects: value access, open handlers and comparison. Concrete content
// classes of a connector override what their repository supports; every other operation here
// throws DKUsageError 341 (its text: the operation, then the catalogue text), and the object is
// unchanged after it. The two operations that concrete classes define for streaming are the
// byte-range read (readBytes) and write (writeBytes); they reject with 341 here too, so a
// subclass that defines nothing still builds. Holds no pointer of its own. Not copy-assignable
// (assignment goes through the virtual operator=); one thread at a time.
class DK_API dkXDOBase : public dkDataObjectBase {
public:
    dkXDOBase& operator=(const dkXDOBase&) = delete;
    ~dkXDOBase() override;

    short protocol() const override;   // DKProtocolXDOBase
    // Copies up to length bytes from offset of the content into buffer; gives the count copied.
    virtual long readBytes(char* buffer, long offset, long length);
    // Writes length bytes of data at offset of the content; gives the count written.
    virtual long writeBytes(const char* data, long offset, long length);
    virtual void setValue(void* value);
    virtual void getValue(void*& value);
    virtual void setValueString(const char* value, long length);
    virtual void getValueString(const char*& value, long& length);
    virtual void deletingValue();   // does nothing here
    virtual dkXDOBase& operator=(const dkDataObjectBase& other);
    virtual int operator==(const dkDataObjectBase& other) const;
    virtual int operator!=(const dkDataObjectBase& other) const;
    virtual void open(const char* fileName);
    virtual void open();
    virtual void setInstanceOpenHandler(const char* handler, int synchronous);   // does nothing
    virtual void setClassOpenHandler(const char* handler, int synchronous);      // does nothing
    virtual DKString getOpenHandler() const;   // empty
    virtual int isOpenSynchronous() const;     // 1

protected:
    dkXDOBase();
    dkXDOBase(const dkXDOBase& other);
};

// The content object: datastore, pid, rank, class name, persistence and the description of the
// content (MIME, content and affiliated types). Almost everything is left to concrete classes and
// throws DKUsageError 341 here, with the class and operation after the catalogue text
// ("dkXDO::size()", "dkXDO::add(fn)" for the file-name forms, "dkXDO::del(flush)"). The seven
// operations concrete classes define beyond the persistence ones are the whole content in memory
// (getContent, setContent, isContentChanged), the part number of the pid (getPartId, setPartId)
// and the content kind (getContentDef, setContentDef); they reject with 341 too.
//
// Ownership: the datastore and the pid are not owned (a concrete class keeps its pid); a copy
// takes the parent and root links and the rank only. add(), retrieve(), update(), del(),
// getDatastore, setDatastore, getPidObject and setPidObject have the signatures of DKDDO's, so a
// class that is both (dkResource) answers both with one override. One thread at a time.
class DK_API dkXDO : public dkXDOBase {
public:
    ~dkXDO() override;

    short protocol() const override;   // DKProtocolXDO
    dkXDOBase& operator=(const dkDataObjectBase& other) override;
    virtual void setPid(const DKPid* pid);
    virtual DKPid* getPid();   // the pid pointer, null at construction
    virtual const DKPid* getPidObject() const;
    virtual void setPidObject(const DKPid* pid);
    virtual dkDataObjectBase& add(const char* fileName);
    virtual dkDataObjectBase& add();
    virtual dkDataObjectBase& retrieve(const char* fileName);
    virtual dkDataObjectBase& retrieve();
    virtual dkDataObjectBase& update(const char* fileName);
    virtual dkDataObjectBase& update();
    virtual dkDataObjectBase& del(int flush);
    virtual dkDataObjectBase& del();
    virtual DKByteArray getContent();
    virtual void setContent(const DKByteArray& content);
    virtual int isContentChanged() const;
    virtual int compareData(const dkXDO& other) const;
    virtual void setDatastore(dkDatastore* ds);   // nothing happens when it is already ds
    virtual dkDatastore* getDatastore() const;
    virtual long getPartId() const;
    virtual void setPartId(long partId);
    virtual long length() const;   // 0 here
    virtual long size() const;
    virtual dkXDO* clone() const;   // a new copy, the caller's
    virtual unsigned long getAffiliatedType() const;   // 0 here
    virtual void setAffiliatedType(unsigned long type);
    virtual DKString getMimeType() const;      // empty here
    virtual void setMimeType(const char* type);
    virtual DKString getContentType() const;   // empty here
    virtual void setContentType(const char* type);
    virtual dkContentDef* getContentDef() const;   // a new descriptor, the caller's
    virtual void setContentDef(const dkContentDef& def);
    virtual void getOption(long option, DKAny& value);
    virtual void setOption(long option, DKAny& value);
    virtual long getRank() const;
    virtual void setRank(long rank);
    virtual void addExtension(const char* name, dkExtension* extension);
    virtual void removeExtension(const char* name);
    virtual dkExtension* getExtension(const char* name);
    virtual void setKeyValues(const DKNVPair* values, long count);
    // The class name, or when it is empty the object type.
    virtual DKString getClassName() const;
    virtual void setClassName(const char* name);

    dkDatastore* datastore() const { return datastore_; }

protected:
    dkXDO();
    dkXDO(const dkXDO& other);

    dkDatastore* datastore_;   // not owned
    DKPid* pid;                // not owned by this class
    DKString className;
    long rank;
};

// A content kind with exactly the interface of dkXDO. One thread at a time.
class DK_API dkDBClob : public dkXDO {
public:
    ~dkDBClob() override;

protected:
    dkDBClob();
    dkDBClob(const dkDBClob& other);
};
