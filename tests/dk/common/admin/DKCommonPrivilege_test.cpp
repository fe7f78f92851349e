// tests/dk/common/admin/DKCommonPrivilege_test.cpp
//
// The privilege table: the id and value bounds (nothing stored on a refusal) and the
// administration test over ids 800 and 101 to 109.

#include <dk/DKCommonPrivilege.hpp>
#include <dk/DKException.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <vector>

using dktest::failureOf;
using dktest::msg;

TEST(DKCommonPrivilegeBounds, IdsOutsideOneTo2000AndValuesOutsideZeroToTwoAreRefusedAndNotStored) {
    DKCommonPrivilege p;
    for (long id = 1; id <= 2000; ++id) ASSERT_EQ(0, p.checkAuthorization(id)) << id;
    p.setAuthorization(1, 2), p.setAuthorization(2000, 1), p.setAuthorization(5, 1);
    struct Row { long id; short value; };
    for (const Row& r : {Row{0, 1}, Row{2001, 1}, Row{-1, 1}, Row{5, 3}, Row{5, -1}, Row{1, 3}}) {
        const dktest::Failure f = failureOf<DKUsageError>([&] { p.setAuthorization(r.id, r.value); });
        EXPECT_EQ("303 " + msg(303), std::to_string(f.id) + " " + f.text)
            << r.id << "," << r.value;
    }
    for (long id : {0L, 2001L})
        EXPECT_EQ(303, dktest::usageError([&] { p.checkAuthorization(id); })) << id;
    // The refused writes left the values alone.
    EXPECT_EQ((std::vector<int>{2, 1, 1}),
              (std::vector<int>{p.checkAuthorization(1), p.checkAuthorization(2000), p.checkAuthorization(5)}));
}

TEST(DKCommonPrivilegeAdmin, OnlyAGrantableAdministrationPrivilegeMakesAnAdministrator) {
    struct Row { long id; short value; int admin; };
    const Row rows[] = {{105, 2, 1}, {101, 2, 1}, {109, 2, 1}, {800, 2, 1}, {800, 1, 0},
                        {105, 1, 0}, {100, 2, 0}, {110, 2, 0}, {799, 2, 0}, {801, 2, 0}};
    EXPECT_EQ(0, DKCommonPrivilege().hasAdminPrivilege());
    for (const Row& r : rows) {
        DKCommonPrivilege p;
        p.setAuthorization(r.id, r.value);
        EXPECT_EQ(r.admin, p.hasAdminPrivilege()) << r.id << "=" << r.value;
    }
}
