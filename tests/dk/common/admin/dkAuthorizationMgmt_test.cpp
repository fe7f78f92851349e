// tests/dk/common/admin/dkAuthorizationMgmt_test.cpp
//
// The access-control entry: its patron types and the privilege set it owns (same set again,
// another set, none, destruction), and the base access control that keeps nothing.

#include <dk/dkAccessControl.hpp>
#include <dk/dkAuthorizationMgmt.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <type_traits>

using Set = dktest::Counted<dkPrivilegeSet>;

TEST(DKACLDataPatron, ZeroIsAUserOneAGroupAnythingElseNeither) {
    struct Row { short type; int user, group; };
    for (const Row& r : {Row{0, 1, 0}, Row{1, 0, 1}, Row{2, 0, 0}, Row{-1, 0, 0}}) {
        DKACLData entry(nullptr, "clerks", r.type);
        EXPECT_EQ(std::make_pair(r.user, r.group), std::make_pair(entry.isUser(), entry.isGroup())) << r.type;
    }
    EXPECT_EQ(1, DKACLData().isUser());
}

TEST(DKACLDataOwnership, TheEntryDeletesItsSetExactlyOnceAndOnlyWhenItLetsGoOfIt) {
    static_assert(!std::is_copy_constructible_v<DKACLData> && !std::is_copy_assignable_v<DKACLData>);
    {
        Set* first = new Set;
        first->setName("readers");
        DKACLData entry(first, "alice", DKACLData::kUser);
        EXPECT_EQ("readers", entry.getPrivilegeSetName().str());
        entry.setPrivilegeSet(first);   // the same set again: still held, still alive
        EXPECT_TRUE(Set::alive == 1 && entry.getPrivilegeSet() == first);
        entry.setPrivilegeSet(new Set);   // another: the first goes
        EXPECT_EQ(1, Set::alive);
        entry.setPrivilegeSet(nullptr);   // none: the second goes, no name
        EXPECT_TRUE(Set::alive == 0 && entry.getPrivilegeSetName() == "");
        entry.setPrivilegeSet(new Set);
    }
    EXPECT_EQ(0, Set::alive);   // the destructor deleted the last one
}

TEST(dkAccessControlBase, KeepsItsNamesAndNothingElse) {
    dkAccessControl ac("ACL", "default");
    ac.addAccessControlList("a", "d", nullptr);
    ac.updateAccessControlList("a", "d", nullptr);
    ac.deleteAccessControlList("a");
    ac.setName("other");
    EXPECT_EQ("ACL other ", ac.type().str() + " " + ac.getName().str() + " " + ac.listPrivilegeString("a").str());
    for (dkCollection* list : {ac.listAccessControlLists(), ac.listPrivileges(), ac.listUsers(), ac.listGroups()})
        EXPECT_EQ(nullptr, list);
}
