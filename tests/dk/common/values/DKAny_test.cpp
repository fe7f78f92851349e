// tests/dk/common/values/DKAny_test.cpp
//
// The variant and the name/value pair: the type each constructor gives, conversions and their
// failures, ownership of held objects (run under AddressSanitizer), equality, type-code texts.

#include <dk/DKAny.hpp>
#include <dk/DKByteArray.hpp>
#include <dk/DKDate.hpp>   // DKDate, DKTime and DKTimestamp
#include <dk/DKDecimal.hpp>
#include <dk/DKException.hpp>
#include <dk/DKNVPair.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

std::string rstrip(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

dkCollection* fakeCollection(void* p) { return static_cast<dkCollection*>(p); }
dkDataObjectBase* fakeObject(void* p) { return static_cast<dkDataObjectBase*>(p); }

}  // namespace

TEST(DKAnyConstruction, EveryArgumentGivesItsTypeWithoutAmbiguity) {
    char buffer[] = "buf";
    const std::pair<DKAny, DKAny::TypeCode> cases[] = {
        {DKAny(), DKAny::tc_null}, {DKAny(5u), DKAny::tc_ulong}, {DKAny(5ul), DKAny::tc_ulong},
        {DKAny(5ull), DKAny::tc_ulong}, {DKAny(5), DKAny::tc_boolean}, {DKAny(true), DKAny::tc_boolean},
        {DKAny(5L), DKAny::tc_long}, {DKAny(5LL), DKAny::tc_long}, {DKAny((short)5), DKAny::tc_short},
        {DKAny((unsigned short)5), DKAny::tc_ushort}, {DKAny('c'), DKAny::tc_char}, {DKAny(1.5), DKAny::tc_double},
        {DKAny(1.5f), DKAny::tc_float}, {DKAny("text"), DKAny::tc_string}, {DKAny(buffer), DKAny::tc_string},
        {DKAny(DKString("s")), DKAny::tc_string}, {DKAny(DKAny::tc_date), DKAny::tc_typecode},
        {DKAny(nullptr), DKAny::tc_null}, {DKAny(static_cast<void*>(buffer)), DKAny::tc_voidptr},
        {DKAny(fakeCollection(buffer)), DKAny::tc_collection}, {DKAny(fakeObject(buffer)), DKAny::tc_dobase},
        {DKAny(DKDecimal("1.5")), DKAny::tc_decimal}, {DKAny(DKNVPair("n")), DKAny::tc_nvpair}};
    for (const auto& [any, tc] : cases) {
        EXPECT_EQ(tc, any.typeCode()) << any.toString();
        EXPECT_EQ(0, any.getSubType());
    }
    EXPECT_TRUE(DKString(DKAny(buffer)) == "buf" && DKString(DKAny(static_cast<const char*>(nullptr))) == "");
}

TEST(DKAnyConversion, FamiliesWidenWithTheirSignAndAnyOtherKindThrows418) {
    const DKAny minusTwo((short)-2), top((unsigned short)65535);
    const std::pair<long, long> longs[] = {{long(minusTwo), -2}, {long(top), 65535}, {long(DKAny(ULONG_MAX)), -1},
                                           {long(DKAny(LONG_MIN)), LONG_MIN}};
    for (const auto& [got, expected] : longs) EXPECT_EQ(expected, got);
    EXPECT_TRUE(static_cast<unsigned long>(minusTwo) == ULONG_MAX - 1 &&
                static_cast<unsigned long>(DKAny(-1L)) == ULONG_MAX);
    EXPECT_TRUE(static_cast<unsigned short>(minusTwo) == 65534 && short(top) == -1);
    EXPECT_EQ(DKAny::tc_time, static_cast<DKAny::TypeCode>(DKAny(DKAny::tc_time)));

    // The text is the catalogue text followed by the type asked for.
    const DKAny aLong(5L), anInt(5), aString("5"), aShort((short)5), aDouble(5.0);
    const DKAny missing(DKAny::tc_decimal, nullptr, 0);   // a missing value, not a decimal to copy
    const std::pair<std::function<void()>, const char*> rows[] = {
        {[&] { (void)short(aLong); }, " tc_short"}, {[&] { (void)static_cast<unsigned short>(aLong); }, " tc_ushort"},
        {[&] { (void)long(anInt); }, " tc_long"}, {[&] { (void)static_cast<unsigned long>(aDouble); }, " tc_ulong"},
        {[&] { (void)double(aLong); }, " tc_double"}, {[&] { (void)float(aDouble); }, " tc_float"},
        {[&] { (void)int(aShort); }, " tc_boolean"}, {[&] { (void)DKAny::TypeCode(anInt); }, " tc_typecode"},
        {[&] { (void)DKString(aLong); }, " tc_string"}, {[&] { (void)DKDecimal(aString); }, " tc_decimal"},
        {[&] { (void)DKNVPair(aString); }, " tc_nvpair"}, {[&] { (void)DKDate(aString); }, " tc_date"},
        {[&] { (void)DKTime(aString); }, " tc_time"}, {[&] { (void)DKTimestamp(aString); }, " tc_timestamp"},
        {[&] { (void)DKByteArray(aString); }, ""}, {[&] { (void)DKDecimal(missing); }, " tc_decimal"},
        {[&] { (void)static_cast<dkDataObjectBase*>(aString); }, " tc_dobase"},
        {[&] { (void)static_cast<dkCollection*>(aString); }, " tc_collection"},
        {[&] { (void)static_cast<void*>(aString); }, " tc_voidptr"}};
    for (const auto& [call, detail] : rows) {
        const dktest::Failure f = dktest::failureOf<DKException>(call);
        EXPECT_EQ("418 DKException " + rstrip(dktest::msg(418, detail)),
                  std::to_string(f.id) + " " + f.name + " " + rstrip(f.text));
    }
}

TEST(DKAnyOwnership, CopiesAreIndependentAndPointersStayWithTheCaller) {
    DKAny original(DKString("abc")), copy(original);
    ASSERT_NE(original.value(), copy.value());
    *static_cast<DKString*>(copy.value()) = "xyz";
    EXPECT_EQ(DKString("abc"), original.toString());
    DKAny pair(DKNVPair("outer", DKAny(DKString("inner")))), pairCopy(pair);
    static_cast<DKNVPair*>(pairCopy.value())->setValue(DKAny(1L));
    EXPECT_EQ(DKString("inner"), static_cast<DKNVPair*>(pair.value())->getValue().toString());
    EXPECT_NE(pair, pairCopy);   // separate pairs are compared by identity

    // Pointers of types 15 to 17 must never be deleted: these point at the stack.
    int local = 0;
    {
        DKAny c(fakeCollection(&local)), d(fakeObject(&local)), v(static_cast<void*>(&local)), c2(c);
        c2 = d;
        v = DKString("replaces a pointer");
        EXPECT_EQ(fakeCollection(&local), static_cast<dkCollection*>(c2 = c));
    }
    // A held null string is copied as an empty one; other missing objects stay missing.
    const DKAny nullString(DKAny::tc_string, nullptr, 4), nullDate(DKAny::tc_date, nullptr, 0);
    const DKAny s2(nullString), d2(nullDate);
    EXPECT_TRUE(s2.value() != nullptr && DKString(s2) == "" && s2.getSubType() == 4);
    EXPECT_TRUE(d2.value() == nullptr && d2.toString() == "NULL");
}

TEST(DKAnyOwnership, AssignmentAndReplaceSurviveAliasing) {
    DKAny a(DKDate(2020, 2, 29));
    dktest::assignToItself(a);
    EXPECT_EQ(DKString("2020-02-29"), a.toString());
    a = DKString("date deleted");   // LeakSanitizer reports the date if it is kept
    a = *static_cast<DKString*>(a.value());   // the value assigned is the object this variant holds
    a = a.operator DKString() + "!";
    EXPECT_EQ(DKString("date deleted!"), a.toString());

    // Two variants that adopted the very same object: the target lets go of it, the source keeps it.
    DKString* shared = new DKString("shared");
    DKAny first(DKAny::tc_string, shared, 1), second(DKAny::tc_string, shared, 2);
    first = second;
    EXPECT_TRUE(first.value() != shared && second.value() == shared);
    EXPECT_TRUE(first.toString() == "shared" && first.getSubType() == 2);
    // An adopted object stays where the caller made it, also when moved; copies are held inside.
    DKString* adopted = new DKString("adopted");
    DKAny owner(DKAny::tc_string, adopted, 3), ownerCopy(owner);
    EXPECT_NE(static_cast<void*>(adopted), ownerCopy.value());
    EXPECT_EQ(owner, ownerCopy);
    EXPECT_EQ(static_cast<void*>(adopted), DKAny(std::move(owner)).value());

    // replace adopts an object and frees it later; re-adopting the held object only retags it.
    DKAny r;
    r.replace(DKAny::tc_bytearray, new DKByteArray(const_cast<char*>("xy"), 2, 0), 7);
    r.replace(DKAny::tc_bytearray, r.value(), 8);
    EXPECT_EQ(DKString("xy 8"), r.toString() + " " + DKString(r.getSubType()));
    r.setNull();
    EXPECT_TRUE(r.isNull() && r.getSubType() == 0);
    // replace reads the member of the type stored; each value sits next to a guard that a read
    // of the wrong width would pull in. A value read from the object held survives its replacing.
    struct { long l; long guard; } wide{LONG_MIN, -1};
    struct { unsigned short us; short guard; } narrow{65000, -1};
    struct { int i; int guard; } flag{-3, -1};
    DKAny::TypeCode tc = DKAny::tc_timestamp;
    char c = 'q';
    const std::tuple<DKAny::TypeCode, void*, const char*> replaced[] = {
        {DKAny::tc_long, &wide.l, "-9223372036854775808"}, {DKAny::tc_ushort, &narrow.us, "65000"},
        {DKAny::tc_boolean, &flag.i, "-3"}, {DKAny::tc_typecode, &tc, "13"}, {DKAny::tc_char, &c, "q"}};
    for (const auto& [type, p, text] : replaced) {
        a.replace(type, p, 3);
        EXPECT_EQ(DKString(text) + " 3", a.toString() + " " + DKString(a.getSubType()));
    }
    a.replace(DKAny::tc_long, nullptr, 0);
    EXPECT_TRUE(long(a) == 0 && a.value() == nullptr);
}

TEST(DKAnyEquality, TypeDecidesFirstThenValueOrIdentity) {
    char raw[] = "ab\0c";
    int x = 0, y = 0;
    const DKNVPair pair("n", DKAny(1L));
    const DKAny nullA(DKAny::tc_string, nullptr, 0), nullB(DKAny::tc_string, nullptr, 0), nan(std::nan(""));
    // Values of one type compare by value; pairs, pointers and a NaN by identity.
    const std::pair<DKAny, DKAny> equal[] = {
        {DKAny(), DKAny()}, {DKAny("same"), DKAny(DKString("same"))}, {DKAny(static_cast<void*>(&x)), DKAny(&x)},
        {DKAny(DKDecimal("1.5")), DKAny(DKDecimal("1.5"))}};
    const std::pair<DKAny, DKAny> unequal[] = {
        {DKAny(5L), DKAny(5ul)}, {DKAny(5L), DKAny(5)}, {DKAny((short)5), DKAny((unsigned short)5)},
        {DKAny(5.0), DKAny(5.0f)}, {DKAny(DKAny::tc_long), DKAny(static_cast<int>(DKAny::tc_long))},
        {DKAny(DKByteArray(raw, 4, 0)), DKAny(DKByteArray(raw, 3, 0))}, {DKAny(pair), DKAny(pair)},
        {DKAny(static_cast<void*>(&x)), DKAny(static_cast<void*>(&y))}, {nan, DKAny(std::nan(""))}};
    for (const auto& [a, b] : equal) EXPECT_EQ(a, b);
    for (const auto& [a, b] : unequal) EXPECT_NE(a, b);
    EXPECT_TRUE(nullA == nullB && nullA != DKAny("") && nan == nan);
}

TEST(DKAnyText, EveryTypeCodeHasItsText) {
    int local = 0;
    const DKString addr(static_cast<long>(reinterpret_cast<std::intptr_t>(&local)));
    char bytes[] = "by\0te";
    const DKAny pairAny(DKNVPair("n"));
    const std::string pairAddress = std::to_string(reinterpret_cast<std::intptr_t>(pairAny.value()));
    const std::pair<DKAny, DKString> cases[] = {
        {DKAny(), "NULL"}, {DKAny((unsigned short)65535), "65535"}, {DKAny((short)-32768), "-32768"},
        {DKAny(ULONG_MAX), "18446744073709551615"}, {DKAny(LONG_MIN), "-9223372036854775808"}, {DKAny(-1), "-1"},
        {DKAny('\0'), ""}, {DKAny(DKDecimal("-12.50")), "-12.50"}, {DKAny(DKDate(2024, 3, 1)), "2024-03-01"},
        {DKAny(DKTime(23, 5, 9, -1)), "23.05.09"}, {DKAny(DKByteArray(bytes, 2, 0)), "by"}, {DKAny(0.5f), "0.500000"},
        {DKAny(DKAny::tc_timestamp), "13"}, {DKAny(DKAny::tc_decimal, nullptr, 0), "NULL"},
        {DKAny(static_cast<void*>(nullptr)), "NULL"}, {DKAny(DKAny::TypeCode(14), &local, 0), "(void*)" + addr},
        {DKAny(fakeCollection(&local)), "(dkCollection*)" + addr},
        {DKAny(fakeObject(&local)), "(dkDataObjectBase*)" + addr},
        {DKAny(DKTimestamp(2024, 3, 1, 12, 0, 0, 0, -1, '-')), "2024-03-01-12.00.00.000000"}};
    for (const auto& [any, text] : cases) EXPECT_EQ(text, any.toString()) << any.typeCode();
    EXPECT_EQ("(DKNVPair*)" + pairAddress, pairAny.toString().str());
    // The stream follows its own number formatting and shows a pair as a raw pointer.
    std::ostringstream os;
    os.precision(3);
    os << DKAny(2.0) << '|' << DKAny(1.0 / 3) << '|' << pairAny << '|' << DKAny(DKAny::tc_nvpair, nullptr, 0) << '|'
       << DKAny((short)-2) << '|' << DKAny("s");
    EXPECT_EQ("2|0.333|(void*)" + pairAddress + "|NULL|-2|s", os.str());
}

TEST(DKNVPairValues, HoldsCopiesOfNameAndValue) {
    DKString name("opt");
    DKNVPair p(name.c_str(), DKAny(DKString("v1"))), empty(nullptr);
    name = "changed";
    DKNVPair copy(p);
    copy.set("other", DKAny(3L));
    copy.set(copy.getName().c_str(), copy.getValue());   // from its own parts
    EXPECT_TRUE(p.getName() == DKString("opt") && p.getValue() == DKAny("v1"));
    EXPECT_TRUE(copy.getName() == DKString("other") && static_cast<long>(copy.getValue()) == 3L);
    EXPECT_TRUE(empty.getName() == DKString("") && empty.getValue().isNull());
    empty = p;
    EXPECT_EQ(DKString("opt"), empty.getName());
}

TEST(DKAnyInside, ValuesHeldInsideSurviveCopiesMovesAndReassignment) {
    // One value of every kind kept inside the variant, plus a pair kept on the heap.
    char raw[] = "bytes";
    const std::string longText(100, 'q');
    auto values = [&] {
        return std::vector<DKAny>{DKAny("short"), DKAny(longText.c_str()), DKAny(DKDecimal("-12.345")),
                                  DKAny(DKDate(2024, 2, 29)), DKAny(DKTime(23, 59, 58)),
                                  DKAny(DKTimestamp(2024, 2, 29, 1, 2, 3, 4)), DKAny(DKByteArray(raw, 5, 0)),
                                  DKAny(DKNVPair("n", DKAny(1L)))};
    };
    std::vector<DKAny> original = values(), moved;
    std::vector<std::string> texts;
    for (const DKAny& v : original) texts.push_back(v.toString().str());
    // Moved values keep their text and leave nulls behind.
    for (DKAny& v : original) moved.push_back(std::move(v));
    for (size_t i = 0; i < moved.size(); ++i)
        EXPECT_EQ(texts[i] + "|1", moved[i].toString().str() + "|" + dktest::str(original[i].isNull()));
    // A copy is its own object: changing it through value() leaves the source alone.
    std::vector<DKAny> copies(moved.begin(), moved.end());
    for (size_t i = 0; i < copies.size(); ++i) {
        EXPECT_NE(moved[i].value(), copies[i].value()) << i;
        EXPECT_EQ(i < 7, moved[i] == copies[i]) << i;   // the pair compares by identity
    }
    *static_cast<DKString*>(copies[1].value()) += "!";
    static_cast<DKDecimal*>(copies[2].value())->setScale(1);
    static_cast<DKByteArray*>(copies[6].value())->setData(raw, 2);
    for (size_t i : {1, 2, 6}) EXPECT_EQ(texts[i], moved[i].toString().str());
    EXPECT_EQ("-12.3", copies[2].toString().str());

    // Every kind replaced by every other, by copy and by move (AddressSanitizer sees a leak or
    // a double free here).
    for (size_t i = 0; i < moved.size(); ++i)
        for (size_t j = 0; j < moved.size(); ++j) {
            DKAny target = values()[i], source = values()[j];
            target = moved[j];
            EXPECT_EQ(moved[j].typeCode(), target.typeCode());
            target = std::move(source);
            EXPECT_TRUE(source.isNull() && (j != 7) == (moved[j] == target)) << i << " " << j;
        }
    // Re-adopting the object held inside keeps it and only retags it.
    DKAny held(DKDecimal("2.5"));
    held.replace(DKAny::tc_decimal, held.value(), 9);
    EXPECT_EQ("2.5 9", held.toString().str() + " " + std::to_string(held.getSubType()));
}
