// tests/dk/common/model/DKPid_test.cpp
//
// Persistent identifiers: exact round trips of hostile texts, the boundaries of counts and
// indexes, usage errors that change nothing, and copies and clones that stay independent.

#include <dk/DKException.hpp>
#include <dk/DKPid.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using V = std::vector<std::string>;

// Everything a pid carries, as one comparable text.
std::string fieldsOf(const DKPid& p) {
    std::string f = p.getDatastoreType().str() + '|' + p.getDatastoreName().str() + '|' +
                    p.getObjectType().str() + '|' + std::to_string(p.getIdStringCount());
    for (long i = 0; i < p.getIdStringCount(); ++i) f += '|' + p.getIdString(i).str();
    return f;
}

DKPid makePid(const char* type, const char* name, const char* objectType, const std::vector<const char*>& ids) {
    DKPid p(static_cast<long>(ids.size()));
    p.setDatastoreType(type);
    p.setDatastoreName(name);
    p.setObjectType(objectType);
    for (std::size_t i = 0; i < ids.size(); ++i) p.setIdString(static_cast<long>(i), ids[i]);
    return p;
}

}  // namespace

TEST(DKPidForms, RoundTripsAreExactForAnyText) {
    DKPid p = makePid("XS", "SRV1", "DOC", {"A1", "B22"});
    EXPECT_EQ((V{"2 A13 B22", "26 2 XS4 SRV13 DOC9 2 A13 B22", "10 0 0 0 2 0 "}),
              (V{p.getIdString().str(), p.pidString().str(), DKPid().pidString().str()}));
    EXPECT_EQ(fieldsOf(p), fieldsOf(DKPid("26 2 XS4 SRV13 DOC9 2 A13 B22")));

    // Blanks, digits, empties, length-like text and whole pid strings inside a pid.
    const std::vector<const char*> texts = {"", " ", "0 ", "3 abc", "007", "9 x", "a\nb", "\xff\x80 ",
                                            "26 2 XS4 SRV13 DOC9 2 A13 B22"};
    for (const char* t : texts) {
        const DKPid q = makePid(t, texts[3], t, texts);
        const DKString s = q.pidString();
        EXPECT_EQ(fieldsOf(q), fieldsOf(DKPid(s.c_str()))) << s.str();
        EXPECT_EQ(s, DKPidXDO(s.c_str()).pidString());
    }
    EXPECT_EQ("T|||0", fieldsOf(DKPid(makePid("T", "", "", {}).pidString().c_str())));

    // Leading zeros in lengths and a fifth inner element are read; writing gives the plain form.
    DKPid padded("23 02 XS0 1 D03 1 A5 extra");
    EXPECT_EQ((V{"XS||D|1|A", "14 2 XS0 1 D3 1 A"}), (V{fieldsOf(padded), padded.pidString().str()}));
}

TEST(DKPidErrors, BadTextsCountsAndIndexesThrow303) {
    DKPid p(3);
    EXPECT_EQ("0 0 0 ", p.getIdString().str());
    // Malformed lists at any depth fail in the list parser, with the same number.
    for (const char* bad : {"", "1 a1 b", "11 1 a1 b3 1 c", "x", "5 abc", "3 abc ", "6 1 abcd", "13 1 a1 b1 c1 x"})
        EXPECT_EQ(303, dktest::usageError([&] { DKPid q(bad); })) << bad;
    for (const std::function<void()>& call : std::vector<std::function<void()>>{
             [] { DKPid q(static_cast<const char*>(nullptr)); }, [] { DKPidXDO q("0 "); }, [] { DKPid q(-1L); },
             [&] { p.getIdString(3); }, [&] { p.getIdString(-1); }, [&] { p.setIdString(3, "x"); },
             [&] { p.setIdString(-1, "x"); }, [&] { p.setIdStringCount(-1); }, [&] { p.setIdString("2 a"); }})
        EXPECT_EQ(303, dktest::usageError(call));
    EXPECT_EQ("0 0 0 ", p.getIdString().str());   // failed calls changed nothing

    // Entries hidden by a lower count never come back; setPrimaryId hides all but one.
    p.setIdString(1, "b");
    p.setIdString(1, "bb");
    p.setIdString(2, "c");
    EXPECT_EQ("0 2 bb1 c", p.getIdString().str());
    p.setIdStringCount(2);
    p.setIdStringCount(3);
    EXPECT_EQ("0 0 0 ", p.getIdString().str());
    p.setPrimaryId("X");
    EXPECT_EQ("1 X", p.getIdString().str());
    EXPECT_EQ(303, dktest::usageError([&] { p.getIdString(1); }));

    p.setIdString("");
    EXPECT_EQ(0L, p.getIdStringCount());
    EXPECT_EQ(303, dktest::usageError([&] { p.getId(); }));
}

TEST(DKPidState, IsSetNeedsAllFourParts) {
    DKPidXDO p;
    EXPECT_EQ(0, p.isSet());
    p.setDatastoreType("XS");
    p.setDatastoreName("SRV1");
    p.setObjectType("DOC");
    p.setId("A1");
    EXPECT_EQ(1, p.isSet());
    p.setDatastoreName(nullptr);
    EXPECT_EQ(0, p.isSet());
    p.setDatastoreName("SRV1");
    p.setIdStringCount(2);   // empties id string 0 too
    EXPECT_EQ(0, p.isSet());
    p.setIdStringCount(0);   // no id string 0 at all: not set, and nothing thrown
    EXPECT_EQ(0, p.isSet());
}

TEST(DKPidCopies, CopiesAndClonesAreIndependentAndKeepTheirKind) {
    DKPid p = makePid("XS", "SRV1", "DOC", {"A1", "", "3 x"});
    const DKString before = p.pidString();
    DKPid copy(p);
    copy.setIdString(1, "changed");
    copy = makePid("a", "b", "c", {"only"});   // takes the smaller count, and no id string beyond it
    EXPECT_EQ("a|b|c|1|only", fieldsOf(copy));
    EXPECT_EQ(303, dktest::usageError([&] { copy.getIdString(1L); }));
    copy.setIdStringCount(3);
    EXPECT_EQ("a|b|c|3|||", fieldsOf(copy));   // a new count empties the id strings
    dktest::assignToItself(p);
    EXPECT_EQ(before, p.pidString());

    std::unique_ptr<DKPid> x(new DKPidXDO(before.c_str()));
    std::unique_ptr<DKPid> xc(x->clone());
    ASSERT_NE(nullptr, dynamic_cast<DKPidXDO*>(xc.get()));
    EXPECT_EQ("DKPidXDO", xc->pidType().str());
    EXPECT_EQ("DKPid", std::unique_ptr<DKPid>(p.clone())->pidType().str());
    xc->setPrimaryId("mine");
    EXPECT_EQ(before, x->pidString());
    DKPidXDO y;
    y = *static_cast<DKPidXDO*>(xc.get());
    EXPECT_EQ("XS|SRV1|DOC|1|mine", fieldsOf(DKPidXDO(y)));
}

// A connector's pid with its own id-string form: copies and pid strings go through it.
class UpperPid : public DKPid {
public:
    using DKPid::getIdString;
    DKString getIdString() const override { return DKPid::getIdString().upperCase(); }
};

TEST(DKPidCopies, FormsGoThroughTheVirtualIdStringForm) {
    UpperPid u;
    u.setPrimaryId("abc");
    DKPid assigned;
    assigned = u;
    EXPECT_EQ((V{"ABC", "13 0 0 0 5 3 ABC", "ABC", "ABC"}),
              (V{u.getPrimaryId().str(), u.pidString().str(), DKPid(u).getIdString(0).str(), assigned.getIdString(0).str()}));
}
