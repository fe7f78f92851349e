// tests/dk/common/admin/dkAdminReject_test.cpp
//
// Every managing operation of the administration bases refuses with 341: the text ends with
// the class and operation (the location each source gives its throws is checked in dkThrow_test).

#include <dk/DKException.hpp>
#include <dk/dkAdminDomainsMgmt.hpp>
#include <dk/dkAttrGroupDef.hpp>
#include <dk/dkAuthorizationMgmt.hpp>
#include <dk/dkConfigurationMgmt.hpp>
#include <dk/dkImportUsers.hpp>
#include <dk/dkUserManagement.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

TEST(dkAdminRejection, EveryManagingOperationThrows341NamingItsClassAndItself) {
    dkUserManagement um;
    dkUserGroupDef ug;
    dkAuthorizationMgmt am;
    dkPrivilegeGroup pg;
    dkPrivilegeSet ps;
    dkAccessControlList acl;
    dkAdminDomainDef dd;
    dkAdminDomainsMgmt dm;
    dkAttrGroupDef ag;
    dkImportUsers iu;
    dkImportDataSources ids;
    dkConfigurationMgmt cm;
    long n = 0;
    const char* s = "x";
    const DKString* names = nullptr;
    dkUserDef* u = nullptr;
    dkUserGroupDef* g = nullptr;
    dkProfile profile;
    dkPrivilege privilege;
    dkPrivilegeGroup* pgp = nullptr;
    dkPrivilegeSet* psp = nullptr;
    dkAccessControlList* ap = nullptr;
    DKACLData* e = nullptr;
    dkAdminDomainDef* d = nullptr;
    using Call = std::pair<const char*, std::function<void()>>;
#define R(object, op, ...) Call{#op, [&] { object.op(__VA_ARGS__); }}
    const std::vector<std::pair<std::string, std::vector<Call>>> rows = {
        {"dkUserManagement",
         {R(um, retrieveUserDef, s), R(um, add, u), R(um, addUser, s, s), R(um, addUser, s, s, &profile),
          R(um, createUserDef, ), R(um, update, u), R(um, changePassword, s, s, s), R(um, delUser, s),
          R(um, del, u), R(um, deleteUserDef, s), R(um, isAdminUser, s), R(um, listUsers, n),
          R(um, listUserGroups, n), R(um, listUserDefs, ), R(um, listUserGroupDefs, ),
          R(um, createUserGroupDef, ), R(um, retrieveUserGroupDef, s), R(um, add, g),
          R(um, addUserGroup, s), R(um, addUserGroup, s, &profile), R(um, update, g), R(um, del, g),
          R(um, delUserGroup, s), R(um, deleteUserGroupDef, s), R(um, addToGroup, s, s),
          R(um, removeFromGroup, s, s), R(um, clearCache, )}},
        {"dkUserGroupDef",
         {R(ug, listUsers, ), R(ug, listUserNames, n), R(ug, addUser, u), R(ug, removeUser, s),
          R(ug, clearCache, )}},
        {"dkAuthorizationMgmt",
         {R(am, listPrivilegeSets, ), R(am, listPrivilegeSetNames, n), R(am, createPrivilegeSet, ),
          R(am, add, psp), R(am, del, psp), R(am, deletePrivilegeSet, s), R(am, update, psp),
          R(am, retrievePrivilegeSet, s), R(am, listPrivileges, ), R(am, listPrivilegeNames, n),
          R(am, createPrivilege, ), R(am, add, &privilege), R(am, del, &privilege), R(am, deletePrivilege, s),
          R(am, update, &privilege), R(am, retrievePrivilege, s), R(am, listPrivilegeGroups, ),
          R(am, listPrivilegeGroupNames, n), R(am, createPrivilegeGroup, ), R(am, add, pgp),
          R(am, del, pgp), R(am, deletePrivilegeGroup, s), R(am, update, pgp),
          R(am, retrievePrivilegeGroup, s), R(am, listAccessControlLists, ),
          R(am, listAccessControlListNames, n), R(am, createAccessControlList, ), R(am, add, ap),
          R(am, del, ap), R(am, deleteAccessControlList, s), R(am, update, ap),
          R(am, retrieveAccessControlList, s), R(am, retrieveUserPrivilegeSet, s),
          R(am, retrieveUserGroupPrivilegeSet, s), R(am, clearCache, )}},
        {"dkPrivilegeGroup",
         {R(pg, listPrivileges, ), R(pg, listPrivilegeNames, n), R(pg, addPrivilege, &privilege),
          R(pg, removePrivilege, s), R(pg, clearCache, )}},
        {"dkPrivilegeSet",
         {R(ps, listPrivileges, ), R(ps, listPrivilegeNames, n), R(ps, addPrivilege, &privilege),
          R(ps, removePrivilege, s), R(ps, clearCache, ), R(ps, addPrivilegeGroup, pgp)}},
        {"dkAccessControlList",
         {R(acl, listACLData, ), R(acl, listUsrGrps, n), R(acl, listUsers, n), R(acl, listGroups, n),
          R(acl, addACLData, e), R(acl, removeACLData, e), R(acl, clearCache, )}},
        {"dkAdminDomainDef",
         {R(dd, getUserNames, n), R(dd, setUserNames, names, 0), R(dd, getUserGroupNames, n),
          R(dd, setUserGroupNames, names, 0), R(dd, getPrivSetNames, n), R(dd, setPrivSetNames, names, 0),
          R(dd, getACLNames, n), R(dd, setACLNames, names, 0), R(dd, getResourceMgrNames, n),
          R(dd, setResourceMgrNames, names, 0), R(dd, getSMSCollectionNames, n),
          R(dd, setSMSCollectionNames, names, 0)}},
        {"dkAdminDomainsMgmt",
         {R(dm, createAdminDomain, ), R(dm, getIDfromName, s), R(dm, retrieve, s), R(dm, retrieve, d),
          R(dm, listAdminDomains, ), R(dm, listAdminDomainNames, n), R(dm, listACLNames, s, n),
          R(dm, listGroupNames, s, n), R(dm, listPrivSetNames, s, n), R(dm, listResourceMgrNames, s, n),
          R(dm, listSMSCollectionNames, s, n), R(dm, listUserNames, s, n),
          R(dm, addACLNames, s, names, 0), R(dm, addGroupNames, s, names, 0),
          R(dm, addPrivSetNames, s, names, 0), R(dm, addResourceMgrNames, s, names, 0),
          R(dm, addSMSCollectionNames, s, names, 0), R(dm, addUserNames, s, names, 0),
          R(dm, removeACLNames, s, names, 0), R(dm, removeGroupNames, s, names, 0),
          R(dm, removePrivSetNames, s, names, 0), R(dm, removeResourceMgrNames, s, names, 0),
          R(dm, removeSMSCollectionNames, s, names, 0), R(dm, removeUserNames, s, names, 0),
          R(dm, add, d), R(dm, del, d), R(dm, del, s), R(dm, update, d)}},
        {"dkAttrGroupDef",
         {R(ag, listAttrs, ), R(ag, listAttrNames, n), R(ag, addAttr, nullptr), R(ag, removeAttr, s),
          R(ag, clearCache, )}},
        {"dkImportUsers",
         {R(iu, listUsers, n), R(iu, listUserGroups, n), R(iu, listUserDefs, ), R(iu, listUserGroupDefs, )}},
        {"dkImportDataSources", {R(ids, listDataSources, ), R(ids, listDataSourceNames, n)}},
        {"dkConfigurationMgmt", {R(cm, clearCache, )}},
    };
#undef R
    for (const auto& [cls, calls] : rows) {
        for (const auto& [op, call] : calls) {
            const std::string name = cls + "::" + op;
            const dktest::Failure f = dktest::failureOf<DKUsageError>(call);
            EXPECT_EQ(341, f.id) << name;
            EXPECT_EQ(dktest::msg(341, name), f.text);
        }
    }
    ids.setConfiguration("anything");   // the one exit operation that does nothing instead
}
