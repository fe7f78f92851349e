// tests/dk/common/content/dkXDO_test.cpp
//
// The content objects of the library: every placeholder's refusal (text, form, location), what a
// subclass that defines nothing answers, copies, and the content descriptor.

#include <dk/DKAny.hpp>
#include <dk/dkBlob.hpp>
#include <dk/dkContentDef.hpp>
#include <dk/dkResource.hpp>

#include "dkFakeDatastore.hpp"
#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
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
struct Res : dkResource {};

struct Row {
    std::function<void()> call;
    const char* text;           // ends in a blank when it stands before the catalogue text
    const char* function = "";  // the location, where it is not just the text's name
};
}  // namespace

TEST(dkXDOPlaceholders, RefuseWith341InTheirFormAndLeaveTheObjectAsItWas) {
    Base b;
    Xdo x;
    Blob bl;
    Clob cl;
    DBClob db;
    Res r;
    x.setRank(4);
    DKAny any;
    void* p = nullptr;
    const char* s = nullptr;
    long n = 0;
    char buf[4];
    const DKString t("t");
    const std::pair<const char*, std::vector<Row>> groups[] = {
        {"dk/common/dkXDOBase",
         {{[&] { b.readBytes(buf, 0, 4); }, "readBytes ", "dkXDOBase::readBytes"}, {[&] { b.writeBytes("a", 0, 1); }, "writeBytes "},
          {[&] { b.setValue(p); }, "setValue "}, {[&] { b.getValue(p); }, "getValue "}, {[&] { b.setValueString("a", 1); }, "setValueString "},
          {[&] { b.getValueString(s, n); }, "getValueString "}, {[&] { static_cast<dkXDOBase&>(b) = static_cast<const dkDataObjectBase&>(x); }, "operator= ", "dkXDOBase::operator`='"},
          {[&] { (void)(b == x); }, "operator== ", "dkXDOBase::operator`=='"}, {[&] { (void)(b != x); }, "operator!= ", "dkXDOBase::operator`!='"},
          {[&] { b.open("f"); }, "open(fn) ", "dkXDOBase::open"}, {[&] { b.open(); }, "open ", "dkXDOBase::open"}}},
        {"dk/common/dkXDO",
         {{[&] { static_cast<dkXDO&>(x) = b; }, "operator= ", "dkXDO::operator`='"}, {[&] { x.setPid(nullptr); }, "dkXDO::setPid()"},
          {[&] { x.getPidObject(); }, "dkXDO::getPidObject()"}, {[&] { x.setPidObject(nullptr); }, "dkXDO::setPidObject()"},
          {[&] { x.add("f"); }, "dkXDO::add(fn)", "dkXDO::add"}, {[&] { x.add(); }, "dkXDO::add()", "dkXDO::add"},
          {[&] { x.retrieve("f"); }, "dkXDO::retrieve(fn)"}, {[&] { x.retrieve(); }, "dkXDO::retrieve()"},
          {[&] { x.update("f"); }, "dkXDO::update(fn)"}, {[&] { x.update(); }, "dkXDO::update()"},
          {[&] { x.del(1); }, "dkXDO::del(flush)", "dkXDO::del"}, {[&] { x.del(); }, "dkXDO::del()"},
          {[&] { x.getContent(); }, "dkXDO::getContent()"}, {[&] { x.setContent(DKByteArray()); }, "dkXDO::setContent()"},
          {[&] { x.isContentChanged(); }, "dkXDO::isContentChanged()"}, {[&] { x.compareData(x); }, "dkXDO::compareData()"},
          {[&] { x.getPartId(); }, "dkXDO::getPartId()"}, {[&] { x.setPartId(1); }, "dkXDO::setPartId()"},
          {[&] { x.size(); }, "dkXDO::size()", "dkXDO::size"}, {[&] { db.clone(); }, "dkXDO::clone()"},
          {[&] { x.setAffiliatedType(1); }, "dkXDO::setAffiliatedType()"}, {[&] { x.setMimeType("a"); }, "dkXDO::setMimeType()"},
          {[&] { x.setContentType("a"); }, "dkXDO::setContentType()"}, {[&] { x.getContentDef(); }, "dkXDO::getContentDef()"},
          {[&] { x.setContentDef(dkContentDef()); }, "dkXDO::setContentDef()"}, {[&] { x.getOption(1, any); }, "dkXDO::getOption()"},
          {[&] { x.setOption(1, any); }, "dkXDO::setOption()"}, {[&] { x.addExtension("e", nullptr); }, "dkXDO::addExtension"},
          {[&] { x.removeExtension("e"); }, "dkXDO::removeExtension", "dkXDO::removeExtension"},
          {[&] { x.getExtension("e"); }, "dkXDO::getExtension"}, {[&] { x.setKeyValues(nullptr, 0); }, "dkXDO::setKeyValues"}}},
        {"dk/common/dkBlob",
         {{[&] { bl += t; }, "dkBlob::operator+=()", "dkBlob::operator`+='"}, {[&] { bl += bl; }, "dkBlob::operator+=()"},
          {[&] { bl.indexOf(bl, 1); }, "dkBlob::indexOf()"}, {[&] { bl.indexOf(t, 1); }, "dkBlob::indexOf()", "dkBlob::indexOf"},
          {[&] { bl.subString(1, 1); }, "dkBlob::subString", "dkBlob::subString"}, {[&] { bl.remove(1, 1); }, "dkBlob::remove()"},
          {[&] { bl.insert(bl, 1); }, "dkBlob::insert()"}, {[&] { bl.insert(t, 1); }, "dkBlob::insert()"}}},
        {"dk/common/dkClob",
         {{[&] { cl += t; }, "dkClob::operator+=()", "dkClob::operator`+='"}, {[&] { cl += cl; }, "dkClob::operator+=()"},
          {[&] { cl.indexOf(cl, 1); }, "dkClob::indexOf()"}, {[&] { cl.indexOf(t, 1); }, "dkClob::indexOf()"},
          {[&] { cl.subString(1, 1); }, "dkClob::subString"}, {[&] { cl.remove(1, 1); }, "dkClob::remove()"},
          {[&] { cl.insert(cl, 1); }, "dkClob::insert()"}, {[&] { cl.insert(t, 1); }, "dkClob::insert()", "dkClob::insert"}}},
        {"dk/common/dkResource",
         {{[&] { r.add("f"); }, "dkResource::add(fn)", "dkResource::add"}, {[&] { r.retrieve("f"); }, "dkResource::retrieve(fn)"},
          {[&] { r.update("f"); }, "dkResource::update(fn)"}, {[&] { r.del(1); }, "dkResource::del(flush)"},
          {[&] { r.compareData(x); }, "dkResource::compareData()"}, {[&] { r.length(); }, "dkResource::length()", "dkResource::length"},
          {[&] { r.size(); }, "dkResource::size()"}, {[&] { r.setAffiliatedType(1); }, "dkResource::setAffiliatedType()"},
          {[&] { r.setMimeType("a"); }, "dkResource::setMimeType()"}, {[&] { r.setContentType("a"); }, "dkResource::setContentType()"},
          {[&] { r.getOption(1, any); }, "dkResource::getOption()"}, {[&] { r.setOption(1, any); }, "dkResource::setOption()"},
          {[&] { r.addExtension("e", nullptr); }, "dkResource::addExtension"}, {[&] { r.removeExtension("e"); }, "dkResource::removeExtension"},
          {[&] { r.getExtension("e"); }, "dkResource::getExtension", "dkResource::getExtension"},
          {[&] { r.setKeyValues(nullptr, 0); }, "dkResource::setKeyValues"}}}};
    for (const auto& [source, rows] : groups) {
        for (const Row& row : rows) {
            const dktest::Failure f = dktest::failureOf<DKUsageError>(row.call);
            const std::string op = row.text;
            EXPECT_EQ(341, f.id) << op;
            EXPECT_EQ(op.back() == ' ' ? op + dktest::msg(341) : dktest::msg(341, op), f.text);
            EXPECT_EQ(source, f.source) << op;
            if (*row.function != '\0') {
                EXPECT_EQ(row.function, f.function);
            }
        }
    }
    EXPECT_EQ((V{"4", "-1", "12"}), (V{str(x.getRank()), str(r.getRank()), str(x.protocol())}));
}

TEST(dkXDOObjects, ASubclassThatDefinesNothingAnswersTheDefaultsAndCopiesKeepOnlyLinksAndRank) {
    Base b;
    Xdo x, parent;
    b.deletingValue();
    b.setInstanceOpenHandler("h", 0);
    b.setClassOpenHandler("h", 0);
    EXPECT_EQ((V{"2", "", "1"}), (V{str(b.protocol()), str(b.getOpenHandler()), str(b.isOpenSynchronous())}));
    EXPECT_EQ((V{"12", "12", "12", "-1", "0", "0", "", "", ""}),
              (V{str(x.protocol()), str(Blob().protocol()), str(DBClob().protocol()), str(x.getRank()), str(x.length()),
                 str(static_cast<long>(x.getAffiliatedType())), str(x.getMimeType()), str(x.getContentType()), str(x.getClassName())}));
    EXPECT_EQ(nullptr, x.getPid());
    EXPECT_EQ(nullptr, x.getDatastore());
    x.setClassName("Note");
    x.setRank(3);
    x.setParent(&parent);
    x.setRootObject(&parent);
    dktest::FakeDatastore ds;
    x.setDatastore(&ds);
    EXPECT_EQ(&ds, x.datastore());
    Clob original;
    original.setRank(5);
    const Xdo copy(x);
    const Clob clob(original);
    EXPECT_EQ((V{"Note", "3", "", "5"}), (V{str(x.getClassName()), str(copy.getRank()), str(copy.getClassName()), str(clob.getRank())}));
    EXPECT_EQ((std::vector<const void*>{&parent, &parent, nullptr}),
              (std::vector<const void*>{copy.getParent(), copy.getRootObject(), copy.getDatastore()}));
}

TEST(dkContentDef, StartsEmptyAndClonesIntoAnEqualIndependentDescriptor) {
    dkContentDef d;
    EXPECT_EQ((V{"0", "", "", "", ""}), (V{str(d.getId()), str(d.getType()), str(d.getDescription()), str(d.getMimeType()), str(d.getFileExtension())}));
    d.setId(7);
    d.setType("text");
    d.setDescription("plain text");
    d.setMimeType("text/plain");
    d.setFileExtension("txt");
    std::unique_ptr<dkContentDef> c(d.clone());
    d.setType("changed");
    EXPECT_EQ((V{"7", "text", "plain text", "text/plain", "txt"}),
              (V{str(c->getId()), str(c->getType()), str(c->getDescription()), str(c->getMimeType()), str(c->getFileExtension())}));
}
