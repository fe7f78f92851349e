// tests/dk/common/content/dkResource_test.cpp
//
// The resource: one object through both bases, the cast helper, a resource held in a DKAny and
// owned by a data item (run under AddressSanitizer), persistence handed to the datastore.

#include <dk/DKAny.hpp>
#include <dk/DKSequentialCollection.hpp>
#include <dk/dkResource.hpp>

#include "dkFakeDatastore.hpp"
#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using dktest::str;
using V = dktest::Texts;

namespace {
struct Res : dkResource {
    Res() : dkResource("Doc", 4) {}
};
struct Xdo : dkXDO {};
using CountedRes = dktest::Counted<Res>;
}  // namespace

TEST(dkResourceHalves, BothBasesAnswerWithTheDataObjectHalf) {
    Res r, other;
    DKDDO* parent = &other;   // the DKDDO half, as a data object is handed on
    DKDDO& ddo = r;
    dkXDO& xdo = r;
    xdo.setParent(parent);
    xdo.setRootObject(parent);
    DKPid pid;
    pid.setPrimaryId("17");
    pid.setObjectType("Note");
    xdo.setPidObject(&pid);
    dktest::FakeDatastore ds;
    xdo.setDatastore(&ds);
    xdo.setRank(9);
    xdo.setClassName("");
    EXPECT_EQ((V{"13", "13", "Note", "17", "9", "", "0", ""}),
              (V{str(ddo.protocol()), str(xdo.protocol()), str(xdo.getObjectType()), str(ddo.getPid().getPrimaryId()),
                 str(xdo.getRank()), str(xdo.getClassName()), str(static_cast<long>(xdo.getAffiliatedType())), str(xdo.getMimeType())}));
    EXPECT_EQ((std::vector<const void*>{parent, parent, ddo.getPidObject(), ddo.getPidObject(), &ds}),
              (std::vector<const void*>{ddo.getParent(), ddo.getRootObject(), xdo.getPid(), xdo.getPidObject(), ddo.getDatastore()}));
    EXPECT_EQ(&xdo, &(xdo = *parent));   // copies nothing
    EXPECT_EQ("17", ddo.getPid().getPrimaryId().str());
    // Persistence through the content interface is the DDO's: handed to the datastore, or 422.
    xdo.add();
    xdo.retrieve();
    xdo.update();
    xdo.del();
    ASSERT_EQ(4U, ds.calls.size());
    EXPECT_EQ((V{"add1", "delete1"}), (V{ds.calls[0].op, ds.calls[3].op}));
    EXPECT_EQ(static_cast<dkDataObject*>(&r), ds.calls[3].object);
    xdo.setDatastore(nullptr);
    EXPECT_EQ(422, dktest::usageError([&] { xdo.add(); }));
}

TEST(dkResourceCast, TurnsEitherHalfIntoTheResourceAndAnythingElseIntoNull) {
    Res r;
    DKDDO plain;
    Xdo content;
    const DKAny held(static_cast<DKDDO*>(&r));   // the DKDDO half, as every holder keeps it
    dkDataObjectBase* back = held;
    const dkDataObjectBase* constBack = back;
    EXPECT_EQ((std::vector<const void*>{&r, &r, &r, nullptr, nullptr, nullptr}),
              (std::vector<const void*>{dkAsResource(back), dkAsResource(constBack), dkAsResource(static_cast<dkXDO*>(&r)),
                                        dkAsResource(&plain), dkAsResource(&content), dkAsResource(static_cast<dkDataObjectBase*>(nullptr))}));
}

TEST(dkResourceOwnership, ADataItemDeletesTheResourceItHoldsThroughItsDDOHalf) {
    {
        DKDDO owner;
        const unsigned short id = owner.addData("part");
        owner.setData(id, DKAny(static_cast<DKDDO*>(new CountedRes())));
        owner.setData(id, DKAny(static_cast<DKDDO*>(new CountedRes())));   // the first one goes
        EXPECT_EQ(1, CountedRes::alive);
        std::unique_ptr<dkXDO> viaContent(new CountedRes());
        DKSequentialCollection c;
        c.addElement(DKAny(static_cast<DKDDO*>(dkAsResource(viaContent.get()))));   // held, not owned
        EXPECT_EQ(2, CountedRes::alive);
    }
    EXPECT_EQ(0, CountedRes::alive);
}
