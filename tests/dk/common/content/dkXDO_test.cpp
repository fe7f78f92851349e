// tests/dk/common/content/dkXDO_test.cpp
//
// The content objects of the library: every placeholder's refusal (text and form), what a
// subclass that defines nothing answers, copies, the content descriptor, and the resource: one
// object through both bases, the cast helper, a resource held in a DKAny and owned by a data item
// (run under AddressSanitizer), persistence handed to the datastore.

#include <dk/dkBlob.hpp>
#include <dk/dkContentDef.hpp>
#include <dk/dkResource.hpp>

#include "dkFakeDatastore.hpp"
#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using dktest::str;
using V = dktest::Texts;

namespace {
// Subclasses that define nothing: every slot has a body, so they build.
struct Base : dkXDOBase {};
struct Xdo : dkXDO {};
struct Blob : dkBlob {};
struct Clob : dkClob {};
struct DBClob : dkDBClob {};

// A placeholder call and its text (the class is put before it; one ending in a blank stands before
// the catalogue text, as it is). The location each source gives its throws is dkThrow_test's.
struct Row {
    std::function<void()> call;
    std::string text;
};

// The editing rows of dkBlob and dkClob, which differ only in the class.
template <class L>
std::vector<Row> editing(L& o) {
    const DKString t("t");
    return {{[&o, t] { o += t; }, "operator+=()"}, {[&o] { o += o; }, "operator+=()"},
            {[&o] { o.indexOf(o, 1); }, "indexOf()"}, {[&o, t] { o.indexOf(t, 1); }, "indexOf()"},
            {[&o] { o.subString(1, 1); }, "subString"}, {[&o] { o.remove(1, 1); }, "remove()"},
            {[&o] { o.insert(o, 1); }, "insert()"}, {[&o, t] { o.insert(t, 1); }, "insert()"}};
}
}  // namespace

TEST(dkXDOPlaceholders, RefuseWith341InTheirFormAndChangeNothing) {
    Base b;
    Xdo x;
    Blob bl;
    Clob cl;
    dkResource r("Doc", 1);
    DKAny a;
    void* p = nullptr;
    const char* s = nullptr;
    long n = 0;
    char buf[4];
    const std::pair<std::string, std::vector<Row>> groups[] = {
        {"dkXDOBase",
         {{[&] { b.readBytes(buf, 0, 4); }, "readBytes "},
          {[&] { b.writeBytes("a", 0, 1); }, "writeBytes "}, {[&] { b.setValue(p); }, "setValue "},
          {[&] { b.getValue(p); }, "getValue "}, {[&] { b.open(); }, "open "},
          {[&] { b.getValueString(s, n); }, "getValueString "}, {[&] { b.setValueString("a", 1); }, "setValueString "},
          {[&] { static_cast<dkXDOBase&>(b) = static_cast<dkDataObjectBase&>(x); }, "operator= "},
          {[&] { (void)(b == x); }, "operator== "},
          {[&] { (void)(b != x); }, "operator!= "}, {[&] { b.open("f"); }, "open(fn) "}}},
        {"dkXDO",
         {{[&] { static_cast<dkXDO&>(x) = b; }, "operator= "}, {[&] { x.setPid(nullptr); }, "setPid()"},
          {[&] { x.getPidObject(); }, "getPidObject()"}, {[&] { x.setPidObject(nullptr); }, "setPidObject()"},
          {[&] { x.add("f"); }, "add(fn)"}, {[&] { x.add(); }, "add()"}, {[&] { x.del(); }, "del()"},
          {[&] { x.retrieve("f"); }, "retrieve(fn)"}, {[&] { x.retrieve(); }, "retrieve()"},
          {[&] { x.update(); }, "update()"}, {[&] { x.update("f"); }, "update(fn)"},
          {[&] { x.del(1); }, "del(flush)"}, {[&] { x.size(); }, "size()"},
          {[&] { x.getContent(); }, "getContent()"}, {[&] { x.setContent(DKByteArray()); }, "setContent()"},
          {[&] { x.isContentChanged(); }, "isContentChanged()"}, {[&] { x.compareData(x); }, "compareData()"},
          {[&] { x.getPartId(); }, "getPartId()"}, {[&] { x.setPartId(1); }, "setPartId()"},
          {[&] { x.clone(); }, "clone()"}, {[&] { x.setAffiliatedType(1); }, "setAffiliatedType()"},
          {[&] { x.setMimeType("a"); }, "setMimeType()"}, {[&] { x.setContentType("a"); }, "setContentType()"},
          {[&] { x.getContentDef(); }, "getContentDef()"},
          {[&] { x.setContentDef(dkContentDef()); }, "setContentDef()"}, {[&] { x.getOption(1, a); }, "getOption()"},
          {[&] { x.setOption(1, a); }, "setOption()"}, {[&] { x.addExtension("e", nullptr); }, "addExtension"},
          {[&] { x.removeExtension("e"); }, "removeExtension"},
          {[&] { x.getExtension("e"); }, "getExtension"}, {[&] { x.setKeyValues(nullptr, 0); }, "setKeyValues"}}},
        {"dkBlob", editing(bl)}, {"dkClob", editing(cl)},
        {"dkResource",
         {{[&] { r.add("f"); }, "add(fn)"}, {[&] { r.del(1); }, "del(flush)"}, {[&] { r.size(); }, "size()"},
          {[&] { r.retrieve("f"); }, "retrieve(fn)"}, {[&] { r.update("f"); }, "update(fn)"},
          {[&] { r.getExtension("e"); }, "getExtension"}, {[&] { r.compareData(x); }, "compareData()"},
          {[&] { r.length(); }, "length()"}, {[&] { r.setAffiliatedType(1); }, "setAffiliatedType()"},
          {[&] { r.setMimeType("a"); }, "setMimeType()"}, {[&] { r.setContentType("a"); }, "setContentType()"},
          {[&] { r.getOption(1, a); }, "getOption()"}, {[&] { r.setOption(1, a); }, "setOption()"},
          {[&] { r.addExtension("e", nullptr); }, "addExtension"},
          {[&] { r.removeExtension("e"); }, "removeExtension"},
          {[&] { r.setKeyValues(nullptr, 0); }, "setKeyValues"}}}};
    for (const auto& [cls, rows] : groups) {
        for (const Row& row : rows) {
            const dktest::Failure f = dktest::failureOf<DKUsageError>(row.call);
            const bool leading = row.text.back() == ' ';
            EXPECT_EQ(leading ? row.text + dktest::msg(341) : dktest::msg(341, cls + "::" + row.text), f.text);
        }
    }
    // Nothing above changed a thing: what a subclass that defines nothing answers.
    b.setClassOpenHandler("h", 0);   // these three do nothing
    b.setInstanceOpenHandler("h", 0);
    b.deletingValue();
    EXPECT_EQ((V{"2", "", "1", "12", "12", "-1", "-1", "0", "0", "", "", ""}),
              (V{str(b.protocol()), str(b.getOpenHandler()), str(b.isOpenSynchronous()), str(x.protocol()),
                 str(DBClob().protocol()), str(x.getRank()), str(r.getRank()), str(x.length()),
                 str(long(x.getAffiliatedType())), str(x.getMimeType()), str(x.getContentType()),
                 str(x.getClassName())}));
    EXPECT_EQ(nullptr, x.getPid());
}

TEST(dkXDOObjects, ACopyKeepsTheLinksAndTheRankOnly) {
    Xdo x, parent;
    dktest::FakeDatastore ds;
    x.setClassName("Note");
    x.setRank(3);
    x.setParent(&parent);
    x.setDatastore(&ds);
    const Xdo copy(x);
    EXPECT_EQ((V{"Note", "3", ""}), (V{str(x.getClassName()), str(copy.getRank()), str(copy.getClassName())}));
    EXPECT_EQ((std::vector<const void*>{&ds, &parent, nullptr}),
              (std::vector<const void*>{x.datastore(), copy.getParent(), copy.getDatastore()}));
}

TEST(dkContentDef, ClonesIntoAnEqualIndependentDescriptor) {
    dkContentDef d;
    d.setType("text");
    d.setMimeType("text/plain");
    d.setFileExtension("txt");
    std::unique_ptr<dkContentDef> c(d.clone());
    d.setType("changed");
    EXPECT_EQ((V{"0", "text", "", "text/plain", "txt"}),
              (V{str(c->getId()), str(c->getType()), str(c->getDescription()), str(c->getMimeType()),
                 str(c->getFileExtension())}));
}

TEST(dkResource, BothBasesAnswerWithTheDataObjectHalf) {
    dktest::FakeDatastore ds;
    dkResource r(&ds, "Doc", 4), other("Doc", 1);
    DKDDO& ddo = r;
    dkXDO& xdo = r;
    DKDDO* parent = &other;   // the DKDDO half, as a resource is handed on
    DKPid pid;
    pid.setObjectType("Note");
    xdo.setPid(&pid);
    xdo.setPidObject(ddo.getPidObject());   // its own pid: nothing happens
    xdo.setParent(parent);
    xdo.setRootObject(parent);
    xdo.setRank(9);
    EXPECT_EQ((V{"13", "13", "Note", "9", ""}), (V{str(ddo.protocol()), str(xdo.protocol()), str(xdo.getObjectType()),
                                                   str(xdo.getRank()), str(xdo.getClassName())}));
    EXPECT_EQ((std::vector<const void*>{parent, parent, ddo.getPidObject(), ddo.getPidObject(), &ds, &xdo}),
              (std::vector<const void*>{ddo.getParent(), ddo.getRootObject(), xdo.getPid(), xdo.getPidObject(),
                                        xdo.getDatastore(), &(xdo = *parent)}));   // assignment copies nothing
    // Persistence through the content interface is the DDO's: handed to the datastore, or 422.
    xdo.add();
    xdo.update();
    xdo.del();
    EXPECT_EQ((V{"add1", "update1", "delete1"}), (V{ds.calls.at(0).op, ds.calls.at(1).op, ds.calls.at(2).op}));
    EXPECT_EQ(static_cast<dkDataObject*>(&r), ds.calls.at(2).object);
    xdo.setDatastore(nullptr);
    EXPECT_EQ(422, dktest::usageError([&] { xdo.retrieve(); }));
}

// A data item holds and owns a resource by its DKDDO half, which the helper turns back.
TEST(dkResource, ADataItemHoldsTheDDOHalfWhichTheHelperTurnsBackAndWhichItDeletes) {
    using Counted = dktest::Counted<dkResource>;
    {
        DKDDO owner, plain;
        Xdo content;
        auto* r = new Counted();
        const unsigned short id = owner.addData("part");
        owner.setData(id, DKAny(static_cast<DKDDO*>(new Counted())));
        owner.setData(id, DKAny(static_cast<DKDDO*>(r)));   // the first one goes
        dkDataObjectBase* held = owner.getData(id);
        const dkDataObjectBase* constHeld = held;
        dkXDO* viaContent = r;
        dkDataObjectBase* none = nullptr;
        EXPECT_EQ((std::vector<const void*>{r, r, r, nullptr, nullptr, nullptr}),
                  (std::vector<const void*>{dkAsResource(held), dkAsResource(constHeld), dkAsResource(viaContent),
                                            dkAsResource(&plain), dkAsResource(&content), dkAsResource(none)}));
        EXPECT_EQ(1, Counted::alive);
    }
    EXPECT_EQ(0, Counted::alive);
}
