// include/dk/dkAccessControl.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

class dkCollection;

// A light view of a repository's access control, named by a type and a name. The base keeps
// nothing: its changes do nothing and its lists are null, so a connector without access control
// can hand one out harmlessly. Lists a connector returns belong to the caller; the collection
// handed to add or update stays the caller's. One thread at a time.
class DK_API dkAccessControl {
public:
    dkAccessControl(const char* type, const char* name);
    virtual ~dkAccessControl();

    DKString type() const { return type_; }
    DKString getName() const { return name_; }
    void setName(const char* name) { name_ = name; }

    virtual void addAccessControlList(const char* aclName, const char* description,
                                      dkCollection* aclData);
    virtual void updateAccessControlList(const char* aclName, const char* description,
                                         dkCollection* aclData);
    virtual void deleteAccessControlList(const char* aclName);
    virtual dkCollection* listAccessControlLists();
    virtual dkCollection* listPrivileges();
    virtual dkCollection* listUsers();
    virtual dkCollection* listGroups();
    virtual DKString listPrivilegeString(const char* aclName);

private:
    DKString type_;
    DKString name_;
};
