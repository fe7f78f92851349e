// src/dk/common/admin/PRepositoryManagers.cpp
//
// The library's administration managers on any repository whose connector keeps its users and
// rights behind a PRepositoryAdmin: users and groups (dkUserManagement, with user definitions
// whose changePassword is applied by update, and group definitions whose membership changes at
// once), the privilege catalogue, privilege groups and sets, and ACLs with their entries
// (dkAuthorizationMgmt), and the base access control. Each manager works through the
// administration interface, so every rule is kept in the connector once; the managers add only
// the refusals of their own objects, with the connector's message numbers.

#include <dk/PRepositoryManagers.hpp>

#include <dk/DKException.hpp>
#include <dk/DKSequentialCollection.hpp>
#include <dk/PRightsKit.hpp>
#include <dk/dkAccessControl.hpp>
#include <dk/dkAuthorizationMgmt.hpp>
#include <dk/dkThrow.hpp>
#include <dk/dkUserManagement.hpp>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace {

// The administration interface and the connector's refusals, shared by one datastore's managers.
struct PManagerContext {
    PRepositoryAdmin& admin;
    PManagerMessages msg;
};

// A user definition of this repository: changePassword keeps the old password beside the new
// one, and the manager's update applies both under the password rule.
class PUserDef : public dkUserDef {
public:
    explicit PUserDef(dkDatastore* ds) : dkUserDef(ds) {}
    void changePassword(const char* oldPassword, const char* newPassword) override {
        dkUserDef::changePassword(oldPassword, newPassword);
        old_ = oldPassword ? oldPassword : "";
        oldGiven_ = oldPassword != nullptr;
        pending_ = true;
    }
    void setPassword(const char* password) override {
        dkUserDef::setPassword(password);
        pending_ = true;
    }
    bool pending() const { return pending_; }
    const char* oldPassword() const { return oldGiven_ ? old_.c_str() : nullptr; }
    const char* newPassword() const { return storedPassword().c_str(); }
    void done() { pending_ = oldGiven_ = false; }

private:
    std::string old_;
    bool oldGiven_ = false;
    bool pending_ = false;
};

// The names of an array the extension returned, in a new array the caller owns; with cut, each
// name ends before its first '='.
DKString* names(DKString* list, long& count, bool cut) {
    if (cut)
        for (long i = 0; i < count; ++i) {
            const std::string s = list[i].c_str();
            list[i] = s.substr(0, s.find('=')).c_str();
        }
    return list;
}

// An array the extension returned, read into strings and freed.
std::vector<std::string> strings(DKString* list, long count) {
    std::unique_ptr<DKString[]> owned(list);
    std::vector<std::string> out;
    for (long i = 0; i < count; ++i) out.emplace_back(list[i].c_str());
    return out;
}
template <class F>
std::vector<std::string> strings(F list) {
    long n = 0;
    DKString* a = list(n);
    return strings(a, n);
}
bool contains(const std::vector<std::string>& v, const char* name) {
    return name != nullptr && std::find(v.begin(), v.end(), name) != v.end();
}
DKString* toArray(const std::vector<std::string>& v, long& count) {
    count = static_cast<long>(v.size());
    auto* out = new DKString[v.empty() ? 1 : v.size()];
    for (std::size_t i = 0; i < v.size(); ++i) out[i] = v[i].c_str();
    return out;
}

// A list of definitions made for the caller: the collection owns them and deletes them with
// itself or removeAllElements.
template <class T>
class POwnedList : public DKSequentialCollection {
public:
    ~POwnedList() override { freeAll(); }
    void removeAllElements() override {
        freeAll();
        DKSequentialCollection::removeAllElements();
    }
    int ownsElements() const override { return 1; }
    void add(T* object) { addElement(DKAny(DKAny::tc_voidptr, static_cast<void*>(object), 0)); }

private:
    void freeAll() noexcept {
        for (PNode* n = head; n != nullptr; n = n->next) {
            if (n->value == nullptr || n->value->typeCode() != DKAny::tc_voidptr) continue;
            delete static_cast<T*>(n->value->value());
            *n->value = DKAny();
        }
    }
};

// A privilege's name with an optional value: "read" or "update=2".
std::string privilegeName(const std::string& item) { return item.substr(0, item.find('=')); }

// A privilege set or privilege group (Base) of this repository, written as the catalogue's names
// with values ("read", "update=2"). Changes stay in the object until the manager's add or update
// stores it.
template <class Base>
class PPrivilegeList : public Base {
public:
    PPrivilegeList(dkDatastore* ds, const PManagerContext& ctx, const char* name = nullptr, const std::string& privilegeText = "")
        : Base(ds), ctx_(ctx) {
        if (name != nullptr) this->setName(name);
        for (std::size_t at = 0; at < privilegeText.size();) {
            const std::size_t end = std::min(privilegeText.find(',', at), privilegeText.size());
            items_.push_back(privilegeText.substr(at, end - at));
            at = end + 1;
        }
    }
    dkCollection* listPrivileges() override {
        auto* out = new POwnedList<dkPrivilege>;
        for (const std::string& item : items_) {
            auto* p = new dkPrivilege(this->getDatastore());
            p->setName(item.c_str());
            out->add(p);
        }
        return out;
    }
    DKString* listPrivilegeNames(long& count) override { return toArray(items_, count); }
    // A privilege of the catalogue, administer excepted, with value 1 or 2; it replaces the
    // value the list held.
    void addPrivilege(dkPrivilege* privilege) override {
        const std::string item = privilege ? privilege->getName().c_str() : "";
        PRightsRow row;
        if (item.empty() || !parsePrivilegeText(item, row))
            dkThrow<DKUsageError>(ctx_.msg.badPrivilege, ctx_.msg.source,
                                  std::is_same<Base, dkPrivilegeSet>::value ? "dkPrivilegeSet::addPrivilege"
                                                                            : "dkPrivilegeGroup::addPrivilege",
                                  DKString(item.c_str()));
        removePrivilege(privilegeName(item).c_str());
        items_.push_back(item);
    }
    void removePrivilege(const char* name) override {
        const std::string n = name ? privilegeName(name) : "";
        items_.erase(std::remove_if(items_.begin(), items_.end(),
                                    [&](const std::string& i) { return privilegeName(i) == n; }),
                     items_.end());
    }
    void clearCache() override {}

private:
    const PManagerContext& ctx_;
    std::vector<std::string> items_;
};

using PPrivilegeGroup = PPrivilegeList<dkPrivilegeGroup>;

// A privilege set; adding a privilege group adds each of its privileges.
class PPrivilegeSet : public PPrivilegeList<dkPrivilegeSet> {
public:
    using PPrivilegeList::PPrivilegeList;
    void addPrivilegeGroup(dkPrivilegeGroup* group) override {
        if (group == nullptr) return;
        for (const std::string& item : strings([&](long& n) { return group->listPrivilegeNames(n); })) {
            dkPrivilege p(getDatastore());
            p.setName(item.c_str());
            addPrivilege(&p);
        }
    }
};

// The privilege text a set's or group's privileges write: their names joined by commas.
template <class T>
std::string privilegeTextOf(T& set) {
    std::string privilegeText;
    for (const std::string& item : strings([&](long& n) { return set.listPrivilegeNames(n); }))
        privilegeText += (privilegeText.empty() ? "" : ",") + item;
    return privilegeText;
}

// An access-control list of this repository: its principals with the names of their privilege
// sets. Entries handed to addACLData stay the caller's (only their names are kept); changes stay in
// the object until the manager's add or update stores them.
class PAccessControlList : public dkAccessControlList {
public:
    PAccessControlList(dkDatastore* ds, const PManagerContext& ctx, const char* name = nullptr)
        : dkAccessControlList(ds), ctx_(ctx) {
        if (name == nullptr) return;
        setName(name);
        for (const std::string& e : strings([&](long& n) { return admin_.listACLEntries(name, n); }))
            entries_[privilegeName(e)] = e.substr(e.find('=') + 1);
    }
    // New entries with new privilege sets, read from the repository; the caller's.
    dkCollection* listACLData() override {
        std::map<std::string, std::string> texts;
        for (const std::string& s : strings([&](long& n) { return admin_.listPrivilegeSets(n); }))
            texts[privilegeName(s)] = s.substr(s.find('=') + 1);
        const auto groups = strings([&](long& n) { return admin_.listGroups(n); });
        auto* out = new POwnedList<DKACLData>;
        for (const auto& [principal, set] : entries_)
            out->add(new DKACLData(new PPrivilegeSet(getDatastore(), ctx_, set.c_str(), texts[set]), principal.c_str(),
                                   contains(groups, principal.c_str()) ? DKACLData::kGroup : DKACLData::kUser));
        return out;
    }
    DKString* listUsrGrps(long& count) override { return principals(0, count); }
    DKString* listUsers(long& count) override { return principals(DKACLData::kUser + 1, count); }
    DKString* listGroups(long& count) override { return principals(DKACLData::kGroup + 1, count); }
    // The entry's principal is given its set's name; the set must be stored by the time the
    // list is.
    void addACLData(DKACLData* aclData) override {
        if (aclData == nullptr || aclData->getUserGroupName().length() == 0 ||
            aclData->getPrivilegeSetName().length() == 0)
            dkThrow<DKUsageError>(ctx_.msg.badPrincipal, ctx_.msg.source, "dkAccessControlList::addACLData",
                                  DKString("an entry naming a principal and a privilege set"));
        entries_[aclData->getUserGroupName().c_str()] = aclData->getPrivilegeSetName().c_str();
    }
    void removeACLData(DKACLData* aclData) override {
        if (aclData != nullptr) entries_.erase(aclData->getUserGroupName().c_str());
    }
    void clearCache() override {}
    const std::map<std::string, std::string>& entries() const { return entries_; }

private:
    // Every principal (0), or only the users (1) or the groups (2).
    DKString* principals(int which, long& count) {
        const auto groups = strings([&](long& n) { return admin_.listGroups(n); });
        std::vector<std::string> out;
        for (const auto& e : entries_)
            if (which == 0 || (which == 2) == contains(groups, e.first.c_str())) out.push_back(e.first);
        return toArray(out, count);
    }

    const PManagerContext& ctx_;
    PRepositoryAdmin& admin_ = ctx_.admin;
    std::map<std::string, std::string> entries_;   // principal -> privilege set name
};

PUserDef& ours(const PManagerContext& ctx, dkUserDef* userDef, const char* function) {
    auto* u = dynamic_cast<PUserDef*>(userDef);
    if (u == nullptr) dkThrow<DKUsageError>(ctx.msg.badPrincipal, ctx.msg.source, function, DKString("a user definition made by createUserDef"));
    return *u;
}

// A user group of this repository: membership changes are stored at once.
class PUserGroupDef : public dkUserGroupDef {
public:
    PUserGroupDef(dkDatastore* ds, const PManagerContext& ctx, const char* name = nullptr) : dkUserGroupDef(ds), ctx_(ctx) {
        if (name != nullptr) setName(name);
    }
    dkCollection* listUsers() override {
        auto* out = new POwnedList<dkUserDef>;
        for (const std::string& user : members()) {
            auto* u = new PUserDef(getDatastore());
            u->setName(user.c_str());
            out->add(u);
        }
        return out;
    }
    DKString* listUserNames(long& count) override { return toArray(members(), count); }
    void addUser(dkUserDef* userDef) override {
        admin_.addGroupMember(getName().c_str(), userDef ? userDef->getName().c_str() : nullptr);
    }
    void removeUser(const char* userName) override { admin_.removeGroupMember(getName().c_str(), userName); }
    void clearCache() override {}

private:
    std::vector<std::string> members() {
        return strings([&](long& n) { return admin_.listGroupMembers(getName().c_str(), n); });
    }
    const PManagerContext& ctx_;
    PRepositoryAdmin& admin_ = ctx_.admin;
};

class PUserManagement : public dkUserManagement {
public:
    PUserManagement(dkDatastore* ds, const PManagerContext& ctx) : dkUserManagement(ds), ctx_(ctx) {}
    using dkUserManagement::add;
    using dkUserManagement::del;
    using dkUserManagement::update;

    dkUserDef* createUserDef() override { return new PUserDef(getDatastore()); }
    dkUserDef* retrieveUserDef(const char* userName) override {
        long n = 0;
        std::unique_ptr<DKString[]> users(admin_.listUsers(n));
        for (long i = 0; i < n; ++i)
            if (userName != nullptr && users[i] == userName) {
                auto* u = new PUserDef(getDatastore());
                u->setName(userName);
                return u;
            }
        dkThrow<DKDataObjectNotFound>(ctx_.msg.noPrincipal, ctx_.msg.source, "dkUserManagement::retrieveUserDef",
                                      DKString(userName ? userName : "(null)"));
    }
    void add(dkUserDef* userDef) override {
        PUserDef& u = ours(ctx_, userDef, "dkUserManagement::add");
        admin_.addUser(u.getName().c_str(), u.newPassword());
        u.done();
    }
    void addUser(const char* userName, const char* password) override { admin_.addUser(userName, password); }
    void addUser(const char* userName, const char* password, dkProfile*) override { admin_.addUser(userName, password); }
    // A user definition keeps only its password: a pending change is applied under the rule.
    void update(dkUserDef* userDef) override {
        PUserDef& u = ours(ctx_, userDef, "dkUserManagement::update");
        if (!u.pending()) return;
        admin_.changePassword(u.getName().c_str(), u.oldPassword(), u.newPassword());
        u.done();
    }
    void changePassword(const char* userName, const char* oldPassword, const char* newPassword) override {
        admin_.changePassword(userName, oldPassword, newPassword);
    }
    void delUser(const char* userName) override { admin_.deleteUser(userName); }
    void del(dkUserDef* userDef) override { admin_.deleteUser(userDef ? userDef->getName().c_str() : nullptr); }
    void deleteUserDef(const char* userName) override { admin_.deleteUser(userName); }
    int isAdminUser(const char* userName) override { return admin_.isAdminUser(userName); }
    DKString* listUsers(long& count) override { return admin_.listUsers(count); }
    DKString* listUserGroups(long& count) override { return admin_.listGroups(count); }
    void addUserGroup(const char* groupName) override { admin_.addGroup(groupName); }
    void addUserGroup(const char* groupName, dkProfile*) override { admin_.addGroup(groupName); }
    void delUserGroup(const char* groupName) override { admin_.deleteGroup(groupName); }
    void deleteUserGroupDef(const char* groupName) override { admin_.deleteGroup(groupName); }
    dkCollection* listUserDefs() override {
        auto* out = new POwnedList<dkUserDef>;
        for (const std::string& user : strings([&](long& n) { return admin_.listUsers(n); })) {
            auto* u = new PUserDef(getDatastore());
            u->setName(user.c_str());
            out->add(u);
        }
        return out;
    }
    dkCollection* listUserGroupDefs() override {
        auto* out = new POwnedList<dkUserGroupDef>;
        for (const std::string& group : strings([&](long& n) { return admin_.listGroups(n); }))
            out->add(new PUserGroupDef(getDatastore(), ctx_, group.c_str()));
        return out;
    }
    dkUserGroupDef* createUserGroupDef() override { return new PUserGroupDef(getDatastore(), ctx_); }
    dkUserGroupDef* retrieveUserGroupDef(const char* groupName) override {
        if (!contains(strings([&](long& n) { return admin_.listGroups(n); }), groupName))
            dkThrow<DKDataObjectNotFound>(ctx_.msg.noPrincipal, ctx_.msg.source, "dkUserManagement::retrieveUserGroupDef",
                                          DKString(groupName ? groupName : "(null)"));
        return new PUserGroupDef(getDatastore(), ctx_, groupName);
    }
    void add(dkUserGroupDef* groupDef) override { admin_.addGroup(groupDef ? groupDef->getName().c_str() : nullptr); }
    // A group keeps nothing but its name and members, both stored as they change.
    void update(dkUserGroupDef* groupDef) override {
        delete retrieveUserGroupDef(groupDef ? groupDef->getName().c_str() : nullptr);
    }
    void del(dkUserGroupDef* groupDef) override { admin_.deleteGroup(groupDef ? groupDef->getName().c_str() : nullptr); }
    void addToGroup(const char* userName, const char* groupName) override { admin_.addGroupMember(groupName, userName); }
    void removeFromGroup(const char* userName, const char* groupName) override {
        admin_.removeGroupMember(groupName, userName);
    }

private:
    const PManagerContext& ctx_;
    PRepositoryAdmin& admin_ = ctx_.admin;
};

class PAuthorizationMgmt : public dkAuthorizationMgmt {
public:
    PAuthorizationMgmt(dkDatastore* ds, const PManagerContext& ctx) : dkAuthorizationMgmt(ds), ctx_(ctx) {}
    using dkAuthorizationMgmt::add;
    using dkAuthorizationMgmt::del;
    using dkAuthorizationMgmt::update;

    dkCollection* listPrivilegeSets() override {
        auto* out = new POwnedList<dkPrivilegeSet>;
        for (const std::string& s : strings([&](long& n) { return admin_.listPrivilegeSets(n); }))
            out->add(new PPrivilegeSet(getDatastore(), ctx_, privilegeName(s).c_str(), s.substr(s.find('=') + 1)));
        return out;
    }
    DKString* listPrivilegeSetNames(long& count) override { return names(admin_.listPrivilegeSets(count), count, true); }
    dkPrivilegeSet* createPrivilegeSet() override { return new PPrivilegeSet(getDatastore(), ctx_); }
    void add(dkPrivilegeSet* set) override {
        static const char* const fn = "dkAuthorizationMgmt::add";
        const std::string name = set ? set->getName().c_str() : "";
        if (storedSet(name).first) dkThrow<DKDataObjectAlreadyExists>(ctx_.msg.exists, ctx_.msg.source, fn, DKString(name.c_str()));
        if (set == nullptr) dkThrow<DKUsageError>(ctx_.msg.badPrincipal, ctx_.msg.source, fn, DKString("(null)"));
        admin_.definePrivilegeSet(name.c_str(), privilegeTextOf(*set).c_str());
    }
    void update(dkPrivilegeSet* set) override {
        delete retrievePrivilegeSet(set ? set->getName().c_str() : nullptr);
        admin_.definePrivilegeSet(set->getName().c_str(), privilegeTextOf(*set).c_str());
    }
    void del(dkPrivilegeSet* set) override { admin_.deletePrivilegeSet(set ? set->getName().c_str() : nullptr); }
    void deletePrivilegeSet(const char* name) override { admin_.deletePrivilegeSet(name); }
    dkPrivilegeSet* retrievePrivilegeSet(const char* name) override {
        const auto found = storedSet(name ? name : "");
        if (!found.first)
            dkThrow<DKDataObjectNotFound>(ctx_.msg.noPrivilegeSet, ctx_.msg.source, "dkAuthorizationMgmt::retrievePrivilegeSet",
                                          DKString(name ? name : "(null)"));
        return new PPrivilegeSet(getDatastore(), ctx_, name, found.second);
    }

    dkCollection* listPrivilegeGroups() override {
        auto* out = new POwnedList<dkPrivilegeGroup>;
        for (const std::string& g : strings([&](long& n) { return admin_.listPrivilegeGroups(n); }))
            out->add(new PPrivilegeGroup(getDatastore(), ctx_, privilegeName(g).c_str(), g.substr(g.find('=') + 1)));
        return out;
    }
    DKString* listPrivilegeGroupNames(long& count) override {
        return names(admin_.listPrivilegeGroups(count), count, true);
    }
    dkPrivilegeGroup* createPrivilegeGroup() override { return new PPrivilegeGroup(getDatastore(), ctx_); }
    void add(dkPrivilegeGroup* group) override {
        static const char* const fn = "dkAuthorizationMgmt::add";
        const std::string name = group ? group->getName().c_str() : "";
        if (storedGroup(name).first) dkThrow<DKDataObjectAlreadyExists>(ctx_.msg.exists, ctx_.msg.source, fn, DKString(name.c_str()));
        if (group == nullptr) dkThrow<DKUsageError>(ctx_.msg.badPrincipal, ctx_.msg.source, fn, DKString("(null)"));
        admin_.definePrivilegeGroup(name.c_str(), privilegeTextOf(*group).c_str());
    }
    void update(dkPrivilegeGroup* group) override {
        delete retrievePrivilegeGroup(group ? group->getName().c_str() : nullptr);
        admin_.definePrivilegeGroup(group->getName().c_str(), privilegeTextOf(*group).c_str());
    }
    void del(dkPrivilegeGroup* group) override { admin_.deletePrivilegeGroup(group ? group->getName().c_str() : nullptr); }
    void deletePrivilegeGroup(const char* name) override { admin_.deletePrivilegeGroup(name); }
    dkPrivilegeGroup* retrievePrivilegeGroup(const char* name) override {
        const auto found = storedGroup(name ? name : "");
        if (!found.first)
            dkThrow<DKDataObjectNotFound>(ctx_.msg.noPrivilegeGroup, ctx_.msg.source, "dkAuthorizationMgmt::retrievePrivilegeGroup",
                                          DKString(name ? name : "(null)"));
        return new PPrivilegeGroup(getDatastore(), ctx_, name, found.second);
    }

    // The catalogue is fixed: privileges are listed and retrieved, never made or changed.
    dkCollection* listPrivileges() override {
        auto* out = new POwnedList<dkPrivilege>;
        for (const char* name : kPrivilegeNames) out->add(privilege(name));
        return out;
    }
    dkPrivilege* retrievePrivilege(const char* name) override {
        for (const char* n : kPrivilegeNames)
            if (name != nullptr && std::string(name) == n) return privilege(n);
        dkThrow<DKDataObjectNotFound>(ctx_.msg.badPrivilege, ctx_.msg.source, "dkAuthorizationMgmt::retrievePrivilege",
                                      DKString(name ? name : "(null)"));
    }

    dkCollection* listAccessControlLists() override {
        auto* out = new POwnedList<dkAccessControlList>;
        for (const std::string& name : strings([&](long& n) { return admin_.listACLs(n); }))
            out->add(new PAccessControlList(getDatastore(), ctx_, name.c_str()));
        return out;
    }
    DKString* listAccessControlListNames(long& count) override { return admin_.listACLs(count); }
    dkAccessControlList* createAccessControlList() override { return new PAccessControlList(getDatastore(), ctx_); }
    // The list is made, then each entry stored; an entry refused (an unknown principal or set)
    // leaves the list made with the entries before it.
    void add(dkAccessControlList* acl) override {
        PAccessControlList& a = ours(acl, "dkAuthorizationMgmt::add");
        admin_.createACL(a.getName().c_str());
        for (const auto& [principal, set] : a.entries()) admin_.setACLEntry(a.getName().c_str(), principal.c_str(), set.c_str());
    }
    // The stored entries become the object's: those it no longer has are removed.
    void update(dkAccessControlList* acl) override {
        PAccessControlList& a = ours(acl, "dkAuthorizationMgmt::update");
        const std::string name = a.getName().c_str();
        for (const std::string& e : strings([&](long& n) { return admin_.listACLEntries(name.c_str(), n); }))
            if (a.entries().count(privilegeName(e)) == 0) admin_.setACLEntry(name.c_str(), privilegeName(e).c_str(), nullptr);
        for (const auto& [principal, set] : a.entries()) admin_.setACLEntry(name.c_str(), principal.c_str(), set.c_str());
    }
    void del(dkAccessControlList* acl) override { admin_.deleteACL(acl ? acl->getName().c_str() : nullptr); }
    void deleteAccessControlList(const char* name) override { admin_.deleteACL(name); }
    dkAccessControlList* retrieveAccessControlList(const char* name) override {
        return new PAccessControlList(getDatastore(), ctx_, name);
    }

    // What the default ACL grants a user, through its own entry and its groups' (an
    // administrator: every privilege with value 2), as a new set named after the user.
    dkPrivilegeSet* retrieveUserPrivilegeSet(const char* userName) override {
        if (!contains(strings([&](long& n) { return admin_.listUsers(n); }), userName))
            dkThrow<DKDataObjectNotFound>(ctx_.msg.noPrincipal, ctx_.msg.source, "dkAuthorizationMgmt::retrieveUserPrivilegeSet",
                                          DKString(userName ? userName : "(null)"));
        PRightsRow row{};
        if (admin_.isAdminUser(userName) != 0) {
            row.fill(2);
        } else {
            const PAccessControlList acl(getDatastore(), ctx_, PRepositoryAdmin::kDefaultACL);
            const auto groups = strings([&](long& n) { return admin_.listGroups(n); });
            for (const auto& entry : acl.entries()) {
                const char* principal = entry.first.c_str();
                if (entry.first == userName ||
                    (contains(groups, principal) &&
                     contains(strings([&](long& n) { return admin_.listGroupMembers(principal, n); }), userName)))
                    merge(row, entry.second);
            }
        }
        return rowSet(userName, row);
    }
    // What the default ACL grants a group through its own entry, as a new set named after it.
    dkPrivilegeSet* retrieveUserGroupPrivilegeSet(const char* groupName) override {
        if (!contains(strings([&](long& n) { return admin_.listGroups(n); }), groupName))
            dkThrow<DKDataObjectNotFound>(ctx_.msg.noPrincipal, ctx_.msg.source, "dkAuthorizationMgmt::retrieveUserGroupPrivilegeSet",
                                          DKString(groupName ? groupName : "(null)"));
        PRightsRow row{};
        const PAccessControlList acl(getDatastore(), ctx_, PRepositoryAdmin::kDefaultACL);
        const auto entry = acl.entries().find(groupName);
        if (entry != acl.entries().end()) merge(row, entry->second);
        return rowSet(groupName, row);
    }
    void clearCache() override {}
    // The catalogue's names, in id order.
    DKString* listPrivilegeNames(long& count) override {
        count = static_cast<long>(kPrivilegeNames.size());
        auto* out = new DKString[kPrivilegeNames.size()];
        for (std::size_t i = 0; i < kPrivilegeNames.size(); ++i) out[i] = kPrivilegeNames[i];
        return out;
    }

private:
    PAccessControlList& ours(dkAccessControlList* acl, const char* function) const {
        auto* a = dynamic_cast<PAccessControlList*>(acl);
        if (a == nullptr)
            dkThrow<DKUsageError>(ctx_.msg.badPrincipal, ctx_.msg.source, function, DKString("a list made by createAccessControlList"));
        return *a;
    }
    dkPrivilege* privilege(const char* name) {
        auto* p = new dkPrivilege(getDatastore());
        p->setName(name);
        return p;
    }
    // Whether a set (a group) of the name is stored, and its privilege text.
    static std::pair<bool, std::string> privilegeTextIn(const std::vector<std::string>& stored, const std::string& name) {
        for (const std::string& s : stored)
            if (privilegeName(s) == name) return {true, s.substr(s.find('=') + 1)};
        return {false, ""};
    }
    std::pair<bool, std::string> storedSet(const std::string& name) {
        return privilegeTextIn(strings([&](long& n) { return admin_.listPrivilegeSets(n); }), name);
    }
    std::pair<bool, std::string> storedGroup(const std::string& name) {
        return privilegeTextIn(strings([&](long& n) { return admin_.listPrivilegeGroups(n); }), name);
    }
    // Raises row to the values of the stored set named set.
    void merge(PRightsRow& row, const std::string& set) {
        PRightsRow values;
        if (!parsePrivilegeText(storedSet(set).second, values)) return;
        for (std::size_t i = 0; i < row.size(); ++i) row[i] = std::max(row[i], values[i]);
    }
    dkPrivilegeSet* rowSet(const char* name, const PRightsRow& row) {
        std::string privilegeText;
        for (std::size_t i = 0; i < row.size(); ++i)
            if (row[i] != 0)
                privilegeText += (privilegeText.empty() ? "" : ",") + std::string(kPrivilegeNames[i]) + (row[i] == 2 ? "=2" : "");
        return new PPrivilegeSet(getDatastore(), ctx_, name, privilegeText);
    }

    const PManagerContext& ctx_;
    PRepositoryAdmin& admin_ = ctx_.admin;
};

// The managers of one datastore, made with its schema object and kept by the datastore.
class PDatastoreAdmin : public dkDatastoreAdmin {
public:
    PDatastoreAdmin(dkDatastore* ds, PRepositoryAdmin& admin, const PManagerMessages& messages, const char* type)
        : ctx_{admin, messages}, users_(ds, ctx_), authorization_(ds, ctx_), access_(type, type) {
        setDatastore(ds);
    }
    dkUserManagement* userManagement() override { return &users_; }
    dkAuthorizationMgmt* authorizationMgmt() override { return &authorization_; }
    dkAccessControl* accessControl() override { return &access_; }

private:
    PManagerContext ctx_;   // before the managers, which keep a reference to it
    PUserManagement users_;
    PAuthorizationMgmt authorization_;
    dkAccessControl access_;
};

}  // namespace

std::shared_ptr<dkDatastoreAdmin> PRepositoryManagers::create(dkDatastore* ds, PRepositoryAdmin& admin,
                                                              const PManagerMessages& messages, const char* type) {
    return std::make_shared<PDatastoreAdmin>(ds, admin, messages, type);
}
