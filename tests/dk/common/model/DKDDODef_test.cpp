// tests/dk/common/model/DKDDODef_test.cpp
//
// The data object definition on its own: deep copies that do not alias, assignment that keeps
// the object type, equality that ignores item order but not flags or property values.

#include <dk/DKDDO.hpp>
#include <dk/DKDDODef.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <memory>

namespace {

using dktest::str;
using V = dktest::Texts;

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

    // Frozen flags differ (the copy is not frozen) and so do the modifiable flags.
    DKDDODef copy(original);
    EXPECT_EQ((V{"1", "DOC", "1"}), (V{str(copy.modifiable()), str(copy.getObjectType()), str(copy != original)}));
    copy.setDataProperty(1, 1, DKAny(2L));
    copy.addDataProperty(1, "q");
    EXPECT_EQ((V{"1", "1"}), (V{str(static_cast<long>(original.getDataProperty(1, 1))), str(original.dataPropertyCount(1))}));
    std::unique_ptr<DKDDODef> cloned(original.clone());
    EXPECT_EQ((V{"1", "p"}), (V{str(cloned->modifiable()), str(cloned->getDataPropertyName(1, 1))}));

    // Assignment takes items and the modifiable flag, never the object type.
    DKDDODef target;
    target.setObjectType("KEEP");
    target.addData("old");
    target = original;
    EXPECT_EQ((V{"0", "KEEP", "0", "1"}),
              (V{str(target.modifiable()), str(target.getObjectType()), str(target.dataId("old")), str(target.dataId("A"))}));
    dktest::assignToItself(target);
    EXPECT_EQ(1, target.dataCount());
}

TEST(DKDDODefEquality, OrderIgnoredFlagsAndValuesCompared) {
    DKDDODef a = sample(), b, c = sample(), d = sample();
    b.addData("X", "B");
    b.addData("A");
    b.addDataProperty(2, "type", DKAny(static_cast<unsigned short>(3)));
    b.addDataProperty(1, "length");
    const long sameItems = a == b;
    b.setDataProperty(2, 1, DKAny(static_cast<unsigned short>(4)));
    const long otherValue = a == b;
    b.setDataProperty(2, 1, DKAny(static_cast<unsigned short>(3)));   // same value, but set and changed flags stay 1
    const long valueBack = a == b;
    b.setDataNameSpace(1, "Y");
    c.addData("extra");
    d.setDataName(1, "A2");
    EXPECT_EQ((V{"1", "0", "1", "0", "0", "0"}),
              (V{str(sameItems), str(otherValue), str(valueBack), str(a == b), str(a == c), str(a == d)}));
}
