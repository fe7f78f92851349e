// tests/dk/common/datastore/PConnectorKitPid_test.cpp
//
// A row built without a pid (as cursors build new DDOs) gets its first pid as one clone: of the
// stamp's class, and a copy, not the stamp itself. A one-id pid stamped over a longer one leaves
// exactly one id string.

#include <dk/DKDDO.hpp>
#include <dk/DKPid.hpp>
#include <dk/PConnectorKit.hpp>

#include <gtest/gtest.h>

TEST(PConnectorKitPid, ARowWithoutAPidTakesACloneOfTheStamp) {
    for (bool xdo : {false, true}) {
        DKPid plain;
        DKPidXDO content;
        DKPid& stamp = xdo ? static_cast<DKPid&>(content) : plain;
        stamp.setDatastoreType("SQLITE");
        stamp.setObjectType("Doc");
        stamp.setIdString(0, "17");
        DKDDO row(static_cast<unsigned short>(0));
        PConnectorKit::setPid(row, stamp);
        stamp.setIdString(0, "18");
        EXPECT_EQ(stamp.pidType(), row.getPid().pidType());
        EXPECT_EQ(DKString("17"), row.getPid().getIdString(0));
    }
}

TEST(PConnectorKitPid, AOneIdStampOverThreeIdsLeavesOne) {
    DKPid longer(3L), stamp;
    stamp.setIdString(0, "new");
    longer = stamp;
    EXPECT_EQ(1L, longer.getIdStringCount());
    EXPECT_EQ(stamp.getIdString(), longer.getIdString());
    EXPECT_ANY_THROW(longer.getIdString(1L));
    longer.setIdStringCount(3);
    EXPECT_EQ(DKString(""), longer.getIdString(2L));
}
