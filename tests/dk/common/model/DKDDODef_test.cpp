// tests/dk/common/model/DKDDODef_test.cpp
//
// The data object definition on its own: deep copies that do not alias, assignment that keeps
// the object type, equality that ignores item order but not flags or property values.

#include <dk/DKDDO.hpp>
#include <dk/DKDDODef.hpp>
#include <dk/DKException.hpp>

#include <gtest/gtest.h>

namespace {

DKDDODef sample() {
    DKDDODef d;
    d.addData("A");
    d.addData("X", "B");
    d.addDataProperty(1, "type", DKAny(static_cast<unsigned short>(3)));
    d.addDataProperty(2, "length");
    d.setObjectType("DOC");
    return d;
}

// Exposes the protected parts a sharer uses.
struct OpenDef : DKDDODef {
    using DKDDODef::clone;
    using DKDDODef::freezeDataProperties;
    using DKDDODef::setNotModifiable;
};

}  // namespace

TEST(DKDDODefCopy, DeepCopyClearsFrozenAndCountsAfresh) {
    OpenDef original;
    original.addData("A");
    original.addDataProperty(1, "p", DKAny(1L));
    original.setObjectType("DOC");
    original.freezeDataProperties(1);
    original.setNotModifiable();

    DKDDODef copy(original);
    EXPECT_EQ(1, copy.modifiable());
    EXPECT_EQ(DKString("DOC"), copy.getObjectType());
    // Frozen flags differ (the copy is not frozen) and so do the modifiable flags.
    EXPECT_TRUE(copy != original);
    copy.setDataProperty(1, 1, DKAny(2L));
    EXPECT_EQ(1L, static_cast<long>(original.getDataProperty(1, 1)));
    copy.addDataProperty(1, "q");
    EXPECT_EQ(1, original.dataPropertyCount(1));

    std::unique_ptr<DKDDODef> cloned(original.clone());
    EXPECT_EQ(1, cloned->modifiable());
    EXPECT_EQ(DKString("p"), cloned->getDataPropertyName(1, 1));

    // Assignment takes items and the modifiable flag, never the object type.
    DKDDODef target;
    target.setObjectType("KEEP");
    target.addData("old");
    target = original;
    EXPECT_EQ(0, target.modifiable());
    EXPECT_EQ(DKString("KEEP"), target.getObjectType());
    EXPECT_EQ(0, target.dataId("old"));
    EXPECT_EQ(1, target.dataId("A"));
    const DKDDODef& self = target;   // assignment to itself keeps the definition
    target = self;
    EXPECT_EQ(1, target.dataCount());
}

TEST(DKDDODefEquality, OrderIgnoredFlagsAndValuesCompared) {
    DKDDODef a = sample();
    DKDDODef b;
    b.addData("X", "B");
    b.addData("A");
    b.addDataProperty(2, "type", DKAny(static_cast<unsigned short>(3)));
    b.addDataProperty(1, "length");
    EXPECT_TRUE(a == b);

    b.setDataProperty(2, 1, DKAny(static_cast<unsigned short>(4)));
    EXPECT_TRUE(a != b);
    b.setDataProperty(2, 1, DKAny(static_cast<unsigned short>(3)));   // same value, but set and changed flags stay 1
    EXPECT_TRUE(a == b);
    b.setDataNameSpace(1, "Y");
    EXPECT_TRUE(a != b);

    DKDDODef c = sample();
    c.addData("extra");
    EXPECT_TRUE(a != c);
    DKDDODef d = sample();
    d.setDataName(1, "A2");
    EXPECT_TRUE(a != d);
}
