// include/dk/dkTraceLogMgmt.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkCollection.hpp>
#include <dk/dkExport.hpp>

class PTraceLogMgmtAPI;

// The interface programs use to read and change the log configuration file: one key or all of
// them, with values checked and level names ("ERROR", "PERFORMANCE", "WARNING", "INFO",
// "TRACE_ENTRY_EXIT", "TRACE_FULL") translated to and from the file. A running log manager sees
// a change through its configuration watcher. Not copyable; one thread at a time.
class DK_API dkTraceLogMgmt {
public:
    dkTraceLogMgmt() = default;
    dkTraceLogMgmt(const dkTraceLogMgmt&) = delete;
    dkTraceLogMgmt& operator=(const dkTraceLogMgmt&) = delete;

    virtual void setLogProperty(const DKString& key, const DKString& value) = 0;
    // A collection of DKAny values holding DKNVPairs (name = key, value = a DKAny holding the text).
    virtual void setAllLogProperties(const dkCollection& pairs) = 0;
    virtual DKString getLogProperty(const DKString& key) const = 0;
    // Every property of the file as DKNVPairs; the collection belongs to this object and is
    // rebuilt (so invalidated) at each call.
    virtual const dkCollection& getAllLogProperties() const = 0;
    virtual int isLogPropertySupported(const DKString& key) const = 0;
    virtual ~dkTraceLogMgmt();
    virtual int isComponentAvailable() const = 0;
};

// The library's implementation: forwards every operation to the PTraceLogMgmtAPI it owns.
// The constructor throws DKException 486 when no configuration folder can be found.
class DK_API DKTraceLogMgmtAPI : public dkTraceLogMgmt {
public:
    DKTraceLogMgmtAPI();
    ~DKTraceLogMgmtAPI() override;

    void setLogProperty(const DKString& key, const DKString& value) override;
    void setAllLogProperties(const dkCollection& pairs) override;
    DKString getLogProperty(const DKString& key) const override;
    const dkCollection& getAllLogProperties() const override;
    int isLogPropertySupported(const DKString& key) const override;
    int isComponentAvailable() const override;   // always 1

private:
    PTraceLogMgmtAPI* impl;   // owned
};
