// include/dk/dkUserManagement.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

class dkCollection;
class dkDatastore;

// An opaque profile handed to dkUserManagement::addUser and addUserGroup; what it carries is the
// connector's.
class DK_API dkProfile {
public:
    dkProfile();
    virtual ~dkProfile();
};

// A user of a repository: name, full name, description and a password that can be set but never
// read back from outside. The datastore is not owned. One thread at a time.
class DK_API dkUserDef {
public:
    explicit dkUserDef(dkDatastore* datastore = nullptr);
    virtual ~dkUserDef();

    dkDatastore* getDatastore() const { return datastore_; }
    void setDatastore(dkDatastore* datastore) { datastore_ = datastore; }
    DKString datastoreType() const;   // the datastore's; empty without one
    DKString getName() const { return name_; }
    void setName(const char* name) { name_ = name; }
    DKString getFullName() const { return fullName_; }
    void setFullName(const char* fullName) { fullName_ = fullName; }
    DKString getDescription() const { return description_; }
    void setDescription(const char* description) { description_ = description; }

    virtual void setPassword(const char* password);
    // Sets the new password through setPassword; the base does not look at the old one, a
    // connector that checks it overrides this.
    virtual void changePassword(const char* oldPassword, const char* newPassword);

protected:
    // The text the base setPassword stored, for a connector that writes it to its repository.
    const DKString& storedPassword() const { return password_; }

private:
    dkDatastore* datastore_;   // not owned
    DKString name_;
    DKString fullName_;
    DKString description_;
    DKString password_;
};

// A group of users. Every membership operation rejects with 341 until a connector overrides it;
// lists returned belong to the caller, the user definition handed to addUser stays the caller's.
// One thread at a time.
class DK_API dkUserGroupDef {
public:
    explicit dkUserGroupDef(dkDatastore* datastore = nullptr);
    virtual ~dkUserGroupDef();

    dkDatastore* getDatastore() const { return datastore_; }
    void setDatastore(dkDatastore* datastore) { datastore_ = datastore; }
    DKString datastoreType() const;   // the datastore's; empty without one
    DKString getName() const { return name_; }
    void setName(const char* name) { name_ = name; }
    DKString getDescription() const { return description_; }
    void setDescription(const char* description) { description_ = description; }

    virtual dkCollection* listUsers();
    virtual DKString* listUserNames(long& count);
    virtual void addUser(dkUserDef* userDef);
    virtual void removeUser(const char* userName);
    virtual void clearCache();

private:
    dkDatastore* datastore_;   // not owned
    DKString name_;
    DKString description_;
};

// The users and user groups of a repository. Every operation rejects with 341 until a connector
// overrides it. Definitions and lists returned (create..., retrieve..., list...) belong to the
// caller: names as a new[] array of DKString with its count, definitions as a collection. The
// datastore is not owned. A connector overriding one overload of add, addUser, update or del adds
// `using dkUserManagement::add;` (and so on) to keep the others. One thread at a time.
class DK_API dkUserManagement {
public:
    explicit dkUserManagement(dkDatastore* datastore = nullptr);
    virtual ~dkUserManagement();

    dkDatastore* getDatastore() const { return datastore_; }
    void setDatastore(dkDatastore* datastore) { datastore_ = datastore; }

    virtual dkUserDef* retrieveUserDef(const char* userName);
    virtual void add(dkUserDef* userDef);
    virtual void addUser(const char* userName, const char* password);
    virtual void addUser(const char* userName, const char* password, dkProfile* profile);
    virtual dkUserDef* createUserDef();
    virtual void update(dkUserDef* userDef);
    virtual void changePassword(const char* userName, const char* oldPassword,
                                const char* newPassword);
    virtual void delUser(const char* userName);
    virtual void del(dkUserDef* userDef);
    virtual void deleteUserDef(const char* userName);
    virtual int isAdminUser(const char* userName);
    virtual DKString* listUsers(long& count);
    virtual DKString* listUserGroups(long& count);
    virtual dkCollection* listUserDefs();
    virtual dkCollection* listUserGroupDefs();
    virtual dkUserGroupDef* createUserGroupDef();
    virtual dkUserGroupDef* retrieveUserGroupDef(const char* groupName);
    virtual void add(dkUserGroupDef* groupDef);
    virtual void addUserGroup(const char* groupName);
    virtual void addUserGroup(const char* groupName, dkProfile* profile);
    virtual void update(dkUserGroupDef* groupDef);
    virtual void del(dkUserGroupDef* groupDef);
    virtual void delUserGroup(const char* groupName);
    virtual void deleteUserGroupDef(const char* groupName);
    virtual void addToGroup(const char* userName, const char* groupName);
    virtual void removeFromGroup(const char* userName, const char* groupName);
    virtual void clearCache();

private:
    dkDatastore* datastore_;   // not owned
};
