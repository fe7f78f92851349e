// include/dk/dkDataObject.hpp
#pragma once
#include <dk/DKPid.hpp>
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>
#include <dk/dkProtocol.hpp>

// The root of every data object. It links to a parent and a root object, neither of them owned,
// and names its concrete kind by protocol(), one of the codes of dkProtocol.hpp (0 here, 1
// DKDDOBase, 2 dkXDOBase, 5 DKDDO, 12 dkXDO, 13 dkResource). Callers test the protocol instead of
// the dynamic type. Data objects do not lock: one thread at a time.
class DK_API dkDataObjectBase {
public:
    virtual ~dkDataObjectBase();
    virtual short protocol() const;
    virtual DKString getObjectType() const;   // empty here
    virtual dkDataObjectBase* getParent() const;
    virtual void setParent(dkDataObjectBase* newParent);
    virtual dkDataObjectBase* getRootObject() const;
    virtual void setRootObject(dkDataObjectBase* newRoot);

protected:
    dkDataObjectBase();
    dkDataObjectBase(const dkDataObjectBase& other) = default;
    dkDataObjectBase& operator=(const dkDataObjectBase& other) = default;

    dkDataObjectBase* parent;       // not owned
    dkDataObjectBase* rootObject;   // not owned
};

// A data object with a persistent identifier. The object owns its pid, always a copy made with
// the pid's own clone() (so a DKPidXDO stays one). An object built without a pid makes its
// default DKPid on first use, so even const calls change it: one thread at a time, also for
// reading. Not copyable.
class DK_API dkDataObject : public dkDataObjectBase {
public:
    dkDataObject(const dkDataObject&) = delete;
    dkDataObject& operator=(const dkDataObject&) = delete;
    ~dkDataObject() override;

    virtual const DKPid& getPid() const;
    // Replaces the owned pid by a copy of pid; giving the owned pid back changes nothing.
    virtual void setPid(const DKPid& pid);
    virtual const DKPid* getPidObject() const;
    // As setPid; pid must not be null and stays the caller's.
    virtual void setPidObject(const DKPid* pid);

protected:
    dkDataObject();                           // a default DKPid, made on first use
    explicit dkDataObject(const DKPid& pid);  // a clone of pid

    DKPid& ownPid() const;   // the pid, made first when there is none yet
    void dropPid() noexcept;   // deletes the pid, or destroys it in place when pidInBlock

    mutable DKPid* pid;   // owned; null until first use in an object built without a pid
    // The pid lives in the object's own allocation (PConnectorKit::newRowObject): destroyed in
    // place, never deleted.
    bool pidInBlock = false;
};
