// include/dk/dkAuthorizationMgmt.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

class dkCollection;
class dkDatastore;

// A single privilege of a repository, by name and description. The datastore is not owned.
// One thread at a time.
class DK_API dkPrivilege {
public:
    explicit dkPrivilege(dkDatastore* datastore = nullptr);
    virtual ~dkPrivilege();

    dkDatastore* getDatastore() const { return datastore_; }
    void setDatastore(dkDatastore* datastore) { datastore_ = datastore; }
    DKString getName() const { return name_; }
    void setName(const char* name) { name_ = name; }
    DKString getDescription() const { return description_; }
    void setDescription(const char* description) { description_ = description; }

private:
    dkDatastore* datastore_;   // not owned
    DKString name_;
    DKString description_;
};

// A named group of privileges. Its membership operations reject with 341 until a connector
// overrides them; lists returned belong to the caller, privileges handed in stay the caller's.
// One thread at a time.
class DK_API dkPrivilegeGroup {
public:
    explicit dkPrivilegeGroup(dkDatastore* datastore = nullptr);
    virtual ~dkPrivilegeGroup();

    dkDatastore* getDatastore() const { return datastore_; }
    void setDatastore(dkDatastore* datastore) { datastore_ = datastore; }
    DKString getName() const { return name_; }
    void setName(const char* name) { name_ = name; }
    DKString getDescription() const { return description_; }
    void setDescription(const char* description) { description_ = description; }

    virtual dkCollection* listPrivileges();
    virtual DKString* listPrivilegeNames(long& count);
    virtual void addPrivilege(dkPrivilege* privilege);
    virtual void removePrivilege(const char* privilegeName);
    virtual void clearCache();

private:
    dkDatastore* datastore_;   // not owned
    DKString name_;
    DKString description_;
};

// A named set of privileges and privilege groups, what an access-control entry grants. Its
// membership operations reject with 341 until a connector overrides them; lists returned belong
// to the caller, privileges and groups handed in stay the caller's. One thread at a time.
class DK_API dkPrivilegeSet {
public:
    explicit dkPrivilegeSet(dkDatastore* datastore = nullptr);
    virtual ~dkPrivilegeSet();

    dkDatastore* getDatastore() const { return datastore_; }
    void setDatastore(dkDatastore* datastore) { datastore_ = datastore; }
    DKString getName() const { return name_; }
    void setName(const char* name) { name_ = name; }
    DKString getDescription() const { return description_; }
    void setDescription(const char* description) { description_ = description; }

    virtual dkCollection* listPrivileges();
    virtual DKString* listPrivilegeNames(long& count);
    virtual void addPrivilege(dkPrivilege* privilege);
    virtual void removePrivilege(const char* privilegeName);
    virtual void clearCache();
    virtual void addPrivilegeGroup(dkPrivilegeGroup* privilegeGroup);

private:
    dkDatastore* datastore_;   // not owned
    DKString name_;
    DKString description_;
};

// One entry of an access-control list: a user (patron type 0) or a user group (patron type 1)
// and the privilege set it is granted. The entry owns its set and deletes it when it is replaced
// by another or when the entry goes; it is therefore not copyable. One thread at a time.
class DK_API DKACLData {
public:
    static constexpr short kUser = 0;
    static constexpr short kGroup = 1;

    DKACLData();
    // Takes ownership of privilegeSet (may be null).
    DKACLData(dkPrivilegeSet* privilegeSet, const char* userGroupName, short patronType);
    DKACLData(const DKACLData&) = delete;
    DKACLData& operator=(const DKACLData&) = delete;
    virtual ~DKACLData();

    DKString getUserGroupName() const { return userGroupName_; }
    void setUserGroupName(const char* userGroupName) { userGroupName_ = userGroupName; }
    short getPatronType() const { return patronType_; }
    void setPatronType(short patronType) { patronType_ = patronType; }
    int isUser() const { return patronType_ == kUser ? 1 : 0; }
    int isGroup() const { return patronType_ == kGroup ? 1 : 0; }
    // The held set, still owned by the entry; null when none is held.
    dkPrivilegeSet* getPrivilegeSet() const { return privilegeSet_; }
    // Deletes the held set unless it is privilegeSet itself, then takes ownership of privilegeSet.
    void setPrivilegeSet(dkPrivilegeSet* privilegeSet);
    DKString getPrivilegeSetName() const;   // empty when no set is held

private:
    DKString userGroupName_;
    dkPrivilegeSet* privilegeSet_;   // owned
    short patronType_;
};

// An access-control list: named entries of users and groups with their privilege sets. Its entry
// operations reject with 341 until a connector overrides them; lists returned belong to the
// caller, entries handed in stay the caller's. One thread at a time.
class DK_API dkAccessControlList {
public:
    explicit dkAccessControlList(dkDatastore* datastore = nullptr);
    virtual ~dkAccessControlList();

    dkDatastore* getDatastore() const { return datastore_; }
    void setDatastore(dkDatastore* datastore) { datastore_ = datastore; }
    DKString getName() const { return name_; }
    void setName(const char* name) { name_ = name; }
    DKString getDescription() const { return description_; }
    void setDescription(const char* description) { description_ = description; }

    virtual dkCollection* listACLData();
    virtual DKString* listUsrGrps(long& count);
    virtual DKString* listUsers(long& count);
    virtual DKString* listGroups(long& count);
    virtual void addACLData(DKACLData* aclData);
    virtual void removeACLData(DKACLData* aclData);
    virtual void clearCache();

private:
    dkDatastore* datastore_;   // not owned
    DKString name_;
    DKString description_;
};

// The privileges, privilege groups, privilege sets and access-control lists of a repository.
// Every operation rejects with 341 until a connector overrides it. Definitions and lists returned
// (create..., retrieve..., list...) belong to the caller: names as a new[] array of DKString with
// its count, definitions as a collection; definitions handed to add, update and del stay the
// caller's. A connector overriding one overload of add, del or update adds
// `using dkAuthorizationMgmt::add;` (and so on) to keep the others. The datastore is not owned.
// One thread at a time.
class DK_API dkAuthorizationMgmt {
public:
    explicit dkAuthorizationMgmt(dkDatastore* datastore = nullptr);
    virtual ~dkAuthorizationMgmt();

    dkDatastore* getDatastore() const { return datastore_; }
    void setDatastore(dkDatastore* datastore) { datastore_ = datastore; }

    virtual dkCollection* listPrivilegeSets();
    virtual DKString* listPrivilegeSetNames(long& count);
    virtual dkPrivilegeSet* createPrivilegeSet();
    virtual void add(dkPrivilegeSet* privilegeSet);
    virtual void del(dkPrivilegeSet* privilegeSet);
    virtual void deletePrivilegeSet(const char* privilegeSetName);
    virtual void update(dkPrivilegeSet* privilegeSet);
    virtual dkPrivilegeSet* retrievePrivilegeSet(const char* privilegeSetName);

    virtual dkCollection* listPrivileges();
    virtual DKString* listPrivilegeNames(long& count);
    virtual dkPrivilege* createPrivilege();
    virtual void add(dkPrivilege* privilege);
    virtual void del(dkPrivilege* privilege);
    virtual void deletePrivilege(const char* privilegeName);
    virtual void update(dkPrivilege* privilege);
    virtual dkPrivilege* retrievePrivilege(const char* privilegeName);

    virtual dkCollection* listPrivilegeGroups();
    virtual DKString* listPrivilegeGroupNames(long& count);
    virtual dkPrivilegeGroup* createPrivilegeGroup();
    virtual void add(dkPrivilegeGroup* privilegeGroup);
    virtual void del(dkPrivilegeGroup* privilegeGroup);
    virtual void deletePrivilegeGroup(const char* privilegeGroupName);
    virtual void update(dkPrivilegeGroup* privilegeGroup);
    virtual dkPrivilegeGroup* retrievePrivilegeGroup(const char* privilegeGroupName);

    virtual dkCollection* listAccessControlLists();
    virtual DKString* listAccessControlListNames(long& count);
    virtual dkAccessControlList* createAccessControlList();
    virtual void add(dkAccessControlList* acl);
    virtual void del(dkAccessControlList* acl);
    virtual void deleteAccessControlList(const char* aclName);
    virtual void update(dkAccessControlList* acl);
    virtual dkAccessControlList* retrieveAccessControlList(const char* aclName);

    virtual dkPrivilegeSet* retrieveUserPrivilegeSet(const char* userName);
    virtual dkPrivilegeSet* retrieveUserGroupPrivilegeSet(const char* groupName);
    virtual void clearCache();

private:
    dkDatastore* datastore_;   // not owned
};
