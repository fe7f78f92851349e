// include/dk/dkAdminDomainsMgmt.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

class dkCollection;
class dkDatastore;

// An administrative domain: a named, numbered part of a repository with its own users, groups,
// privilege sets, access-control lists, resource managers and storage collections. The name
// lists reject with 341 until a connector overrides them; a getter's array (new[], count in the
// argument) belongs to the caller, a setter copies what it keeps. The datastore is not owned.
// One thread at a time.
class DK_API dkAdminDomainDef {
public:
    explicit dkAdminDomainDef(dkDatastore* datastore = nullptr);
    virtual ~dkAdminDomainDef();

    dkDatastore* getDatastore() const { return datastore_; }
    void setDatastore(dkDatastore* datastore) { datastore_ = datastore; }
    DKString getName() const { return name_; }
    void setName(const char* name) { name_ = name; }
    DKString getDescription() const { return description_; }
    void setDescription(const char* description) { description_ = description; }
    long getID() const { return id_; }
    void setID(long id) { id_ = id; }
    DKString getNLSLanguage() const { return nlsLanguage_; }
    void setNLSLanguage(const char* nlsLanguage) { nlsLanguage_ = nlsLanguage; }

    virtual DKString* getUserNames(long& count);
    virtual void setUserNames(const DKString* names, long count);
    virtual DKString* getUserGroupNames(long& count);
    virtual void setUserGroupNames(const DKString* names, long count);
    virtual DKString* getPrivSetNames(long& count);
    virtual void setPrivSetNames(const DKString* names, long count);
    virtual DKString* getACLNames(long& count);
    virtual void setACLNames(const DKString* names, long count);
    virtual DKString* getResourceMgrNames(long& count);
    virtual void setResourceMgrNames(const DKString* names, long count);
    virtual DKString* getSMSCollectionNames(long& count);
    virtual void setSMSCollectionNames(const DKString* names, long count);

private:
    dkDatastore* datastore_;   // not owned
    DKString name_;
    DKString description_;
    long id_;
    DKString nlsLanguage_;
};

// The administrative domains of a repository and the names each holds. Every operation rejects
// with 341 until a connector overrides it. Definitions and lists returned belong to the caller
// (names as a new[] array of DKString with its count); arrays and definitions handed in stay the
// caller's. A connector overriding one overload of retrieve or del adds
// `using dkAdminDomainsMgmt::retrieve;` (or del) to keep the other. The datastore is not owned.
// One thread at a time.
class DK_API dkAdminDomainsMgmt {
public:
    explicit dkAdminDomainsMgmt(dkDatastore* datastore = nullptr);
    virtual ~dkAdminDomainsMgmt();

    dkDatastore* getDatastore() const { return datastore_; }
    void setDatastore(dkDatastore* datastore) { datastore_ = datastore; }

    virtual dkAdminDomainDef* createAdminDomain();
    virtual long getIDfromName(const char* domainName);
    virtual dkAdminDomainDef* retrieve(const char* domainName);
    virtual void retrieve(dkAdminDomainDef* domainDef);   // fills the definition by its name
    virtual dkCollection* listAdminDomains();
    virtual DKString* listAdminDomainNames(long& count);

    virtual DKString* listACLNames(const char* domainName, long& count);
    virtual DKString* listGroupNames(const char* domainName, long& count);
    virtual DKString* listPrivSetNames(const char* domainName, long& count);
    virtual DKString* listResourceMgrNames(const char* domainName, long& count);
    virtual DKString* listSMSCollectionNames(const char* domainName, long& count);
    virtual DKString* listUserNames(const char* domainName, long& count);

    virtual void addACLNames(const char* domainName, const DKString* names, long count);
    virtual void addGroupNames(const char* domainName, const DKString* names, long count);
    virtual void addPrivSetNames(const char* domainName, const DKString* names, long count);
    virtual void addResourceMgrNames(const char* domainName, const DKString* names, long count);
    virtual void addSMSCollectionNames(const char* domainName, const DKString* names, long count);
    virtual void addUserNames(const char* domainName, const DKString* names, long count);
    virtual void removeACLNames(const char* domainName, const DKString* names, long count);
    virtual void removeGroupNames(const char* domainName, const DKString* names, long count);
    virtual void removePrivSetNames(const char* domainName, const DKString* names, long count);
    virtual void removeResourceMgrNames(const char* domainName, const DKString* names, long count);
    virtual void removeSMSCollectionNames(const char* domainName, const DKString* names,
                                          long count);
    virtual void removeUserNames(const char* domainName, const DKString* names, long count);

    virtual void add(dkAdminDomainDef* domainDef);
    virtual void del(dkAdminDomainDef* domainDef);
    virtual void del(const char* domainName);
    virtual void update(dkAdminDomainDef* domainDef);

private:
    dkDatastore* datastore_;   // not owned
};
