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
#include <dk/PMessageText.hpp>

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string rstrip(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// Runs f, which must throw DKException 418 whose text is the catalogue text followed by detail and
// whose one location names this class's source and the conversion.
void expect418(const std::function<void()>& f, const char* detail, const char* function) {
    SCOPED_TRACE(function);
    try {
        f();
        ADD_FAILURE() << "no exception";
    } catch (DKException& e) {
        EXPECT_STREQ("DKException", e.name());
        EXPECT_EQ(418UL, e.errorId());
        EXPECT_EQ(0, e.errorProvided());
        ASSERT_NE(nullptr, e.text(0));
        EXPECT_EQ(rstrip(std::string(PClsEnv::portalMsg(418).c_str()) + detail), rstrip(e.text(0)));
        ASSERT_EQ(1UL, e.locationCount());
        EXPECT_STREQ("dk/common/DKAny", e.locationAtIndex(0)->fileName());
        EXPECT_STREQ(function, e.locationAtIndex(0)->functionName());
        EXPECT_GT(e.locationAtIndex(0)->lineNumber(), 0UL);
    }
}

dkCollection* fakeCollection(void* p) { return static_cast<dkCollection*>(p); }
dkDataObjectBase* fakeObject(void* p) { return static_cast<dkDataObjectBase*>(p); }

}  // namespace

TEST(DKAnyConstruction, EveryArgumentGivesItsTypeWithoutAmbiguity) {
    char buffer[] = "buf";
    const struct {
        DKAny any;
        DKAny::TypeCode tc;
    } cases[] = {
        {DKAny(), DKAny::tc_null},           {DKAny(5u), DKAny::tc_ulong},
        {DKAny(5ul), DKAny::tc_ulong},       {DKAny(5ull), DKAny::tc_ulong},
        {DKAny(5), DKAny::tc_boolean},       {DKAny(0), DKAny::tc_boolean},
        {DKAny(true), DKAny::tc_boolean},    {DKAny(5L), DKAny::tc_long},
        {DKAny(5LL), DKAny::tc_long},        {DKAny((short)5), DKAny::tc_short},
        {DKAny((unsigned short)5), DKAny::tc_ushort}, {DKAny('c'), DKAny::tc_char},
        {DKAny(1.5), DKAny::tc_double},      {DKAny(1.5f), DKAny::tc_float},
        {DKAny("text"), DKAny::tc_string},   {DKAny(buffer), DKAny::tc_string},
        {DKAny(DKString("s")), DKAny::tc_string}, {DKAny(DKAny::tc_date), DKAny::tc_typecode},
        {DKAny(nullptr), DKAny::tc_null},    {DKAny(static_cast<void*>(buffer)), DKAny::tc_voidptr},
        {DKAny(fakeCollection(buffer)), DKAny::tc_collection},
        {DKAny(fakeObject(buffer)), DKAny::tc_dobase},
        {DKAny(DKDecimal("1.5")), DKAny::tc_decimal},
        {DKAny(DKNVPair("n")), DKAny::tc_nvpair},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.tc, c.any.typeCode()) << c.any.toString();
        EXPECT_EQ(0, c.any.getSubType());
    }
    EXPECT_EQ(DKString("buf"), DKAny(buffer).operator DKString());
    EXPECT_EQ(DKString(""), DKAny(static_cast<const char*>(nullptr)).operator DKString());
}

TEST(DKAnyConversion, ShortAndLongFamiliesWidenWithTheirSign) {
    DKAny minusTwo((short)-2);
    EXPECT_EQ(-2L, static_cast<long>(minusTwo));
    EXPECT_EQ(ULONG_MAX - 1, static_cast<unsigned long>(minusTwo));
    EXPECT_EQ(65534, static_cast<unsigned short>(minusTwo));
    DKAny top((unsigned short)65535);
    EXPECT_EQ(65535L, static_cast<long>(top));
    EXPECT_EQ(-1, static_cast<short>(top));
    EXPECT_EQ(ULONG_MAX, static_cast<unsigned long>(DKAny(-1L)));
    EXPECT_EQ(-1L, static_cast<long>(DKAny(ULONG_MAX)));
    EXPECT_EQ(LONG_MIN, static_cast<long>(DKAny(LONG_MIN)));
    EXPECT_EQ(DKAny::tc_time, static_cast<DKAny::TypeCode>(DKAny(DKAny::tc_time)));
}

TEST(DKAnyConversion, AnyOtherKindThrows418NamingTheConversion) {
    const DKAny aLong(5L), anInt(5), aString("5"), aShort((short)5), aDouble(5.0);
    expect418([&] { (void)static_cast<short>(aLong); }, " tc_short", "DKAny::operator`short'");
    expect418([&] { (void)static_cast<unsigned short>(aLong); }, " tc_ushort", "DKAny::operator`unsigned short'");
    expect418([&] { (void)static_cast<long>(anInt); }, " tc_long", "DKAny::operator`long'");
    expect418([&] { (void)static_cast<unsigned long>(aDouble); }, " tc_ulong", "DKAny::operator`unsigned long'");
    expect418([&] { (void)static_cast<double>(aLong); }, " tc_double", "DKAny::operator`double'");
    expect418([&] { (void)static_cast<float>(aDouble); }, " tc_float", "DKAny::operator`float'");
    expect418([&] { (void)static_cast<int>(aShort); }, " tc_boolean", "DKAny::operator`int'");
    expect418([&] { (void)static_cast<DKAny::TypeCode>(anInt); }, " tc_typecode",
              "DKAny::operator`enum DKAny::TypeCode'");
    expect418([&] { (void)aLong.operator DKString(); }, " tc_string", "DKAny::operator`class DKString'");
    expect418([&] { (void)aString.operator DKDecimal(); }, " tc_decimal", "DKAny::operator`class DKDecimal'");
    expect418([&] { (void)aString.operator DKNVPair(); }, " tc_nvpair", "DKAny::operator`class DKNVPair'");
    expect418([&] { (void)aString.operator DKDate(); }, " tc_date", "DKAny::operator`class DKDate'");
    expect418([&] { (void)aString.operator DKTime(); }, " tc_time", "DKAny::operator`class DKTime'");
    expect418([&] { (void)aString.operator DKTimestamp(); }, " tc_timestamp", "DKAny::operator`class DKTimestamp'");
    expect418([&] { (void)aString.operator DKByteArray(); }, "", "DKAny::operator`class DKByteArray'");
    expect418([&] { (void)static_cast<dkDataObjectBase*>(aString); }, " tc_dobase",
              "DKAny::operator`class dkDataObjectBase *'");
    expect418([&] { (void)static_cast<dkCollection*>(aString); }, " tc_collection",
              "DKAny::operator`class dkCollection *'");
    expect418([&] { (void)static_cast<void*>(aString); }, " tc_voidptr", "DKAny::operator`void *'");
    // A decimal adopted as a null pointer is a missing value, not a decimal to copy.
    DKAny missing(DKAny::tc_decimal, nullptr, 0);
    expect418([&] { (void)missing.operator DKDecimal(); }, " tc_decimal", "DKAny::operator`class DKDecimal'");
}

TEST(DKAnyOwnership, CopiesAreIndependentAndPointersStayWithTheCaller) {
    DKAny original(DKString("abc"));
    DKAny copy(original);
    ASSERT_NE(original.value(), copy.value());
    *static_cast<DKString*>(copy.value()) = "xyz";
    EXPECT_EQ(DKString("abc"), original.toString());

    DKAny pair(DKNVPair("outer", DKAny(DKString("inner"))));
    DKAny pairCopy(pair);
    static_cast<DKNVPair*>(pairCopy.value())->setValue(DKAny(1L));
    EXPECT_EQ(DKString("inner"), static_cast<DKNVPair*>(pair.value())->getValue().toString());
    EXPECT_NE(pair, pairCopy);   // separate pairs are compared by identity

    // Pointers of types 15 to 17 must never be deleted: these point at the stack.
    int local = 0;
    {
        DKAny c(fakeCollection(&local)), d(fakeObject(&local)), v(static_cast<void*>(&local));
        DKAny c2(c);
        c2 = d;
        v = DKString("replaces a pointer");
        EXPECT_EQ(fakeCollection(&local), static_cast<dkCollection*>(c2 = c));
    }

    // A held null string is copied as an empty one; other missing objects stay missing.
    DKAny nullString(DKAny::tc_string, nullptr, 4);
    DKAny nullDate(DKAny::tc_date, nullptr, 0);
    DKAny s2(nullString), d2(nullDate);
    EXPECT_NE(nullptr, s2.value());
    EXPECT_EQ(DKString(""), s2.operator DKString());
    EXPECT_EQ(4, s2.getSubType());
    EXPECT_EQ(nullptr, d2.value());
    EXPECT_EQ(DKString("NULL"), d2.toString());

    DKAny moved(std::move(original));
    EXPECT_EQ(DKString("abc"), moved.toString());
    EXPECT_EQ(1, original.isNull());
}

TEST(DKAnyOwnership, AssignmentSurvivesAliasing) {
    DKAny a(DKDate(2020, 2, 29));
    const DKAny& same = a;   // assignment to itself, through a reference
    a = same;
    EXPECT_EQ(DKString("2020-02-29"), a.toString());
    a = DKString("date deleted");   // LeakSanitizer reports the date if it is kept
    // The value assigned is the object this variant itself holds.
    a = *static_cast<DKString*>(a.value());
    EXPECT_EQ(DKString("date deleted"), a.toString());
    a = a.operator DKString() + "!";
    EXPECT_EQ(DKString("date deleted!"), a.toString());

    // Two variants that adopted the very same object: the target lets go of it, the source keeps it.
    DKString* shared = new DKString("shared");
    DKAny first(DKAny::tc_string, shared, 1);
    DKAny second(DKAny::tc_string, shared, 2);
    first = second;
    EXPECT_NE(static_cast<void*>(shared), first.value());
    EXPECT_EQ(static_cast<void*>(shared), second.value());
    EXPECT_EQ(DKString("shared"), first.toString());
    EXPECT_EQ(2, first.getSubType());

    // replace adopts an object and frees it later; re-adopting the held object keeps it alive.
    DKAny r;
    r.replace(DKAny::tc_bytearray, new DKByteArray(const_cast<char*>("xy"), 2, 0), 7);
    r.replace(DKAny::tc_bytearray, r.value(), 8);
    EXPECT_EQ(DKString("xy"), r.toString());
    EXPECT_EQ(8, r.getSubType());
    r.setNull();
    EXPECT_EQ(1, r.isNull());
    EXPECT_EQ(0, r.getSubType());
}

TEST(DKAnyReplace, ReadsTheMemberOfTheTypeStored) {
    // Each value sits next to a guard that a read of the wrong width would pull in.
    DKAny a(DKString("freed by replace"));
    struct { long l; long guard; } wide{LONG_MIN, -1};
    a.replace(DKAny::tc_long, &wide.l, 3);
    EXPECT_EQ(LONG_MIN, static_cast<long>(a));
    EXPECT_EQ(3, a.getSubType());
    struct { unsigned short us; short guard; } narrow{65000, -1};
    a.replace(DKAny::tc_ushort, &narrow.us, 0);
    EXPECT_EQ(65000L, static_cast<long>(a));
    struct { int i; int guard; } flag{-3, -1};
    a.replace(DKAny::tc_boolean, &flag.i, 0);
    EXPECT_EQ(-3, static_cast<int>(a));
    DKAny::TypeCode tc = DKAny::tc_timestamp;
    a.replace(DKAny::tc_typecode, &tc, 0);
    EXPECT_EQ(DKAny::tc_timestamp, static_cast<DKAny::TypeCode>(a));
    char c = 'q';
    a.replace(DKAny::tc_char, &c, 0);
    EXPECT_EQ(DKString("q"), a.toString());
    a.replace(DKAny::tc_long, nullptr, 0);
    EXPECT_EQ(0L, static_cast<long>(a));
    EXPECT_EQ(nullptr, a.value());
}

TEST(DKAnyEquality, TypeDecidesFirstThenValueOrIdentity) {
    EXPECT_EQ(DKAny(), DKAny());
    EXPECT_NE(DKAny(5L), DKAny(5ul));
    EXPECT_NE(DKAny(5L), DKAny(5));
    EXPECT_NE(DKAny((short)5), DKAny((unsigned short)5));
    EXPECT_NE(DKAny(5.0), DKAny(5.0f));
    EXPECT_NE(DKAny(DKAny::tc_long), DKAny(static_cast<int>(DKAny::tc_long)));
    EXPECT_EQ(DKAny("same"), DKAny(DKString("same")));
    EXPECT_EQ(DKAny(DKDecimal("1.50")), DKAny(DKDecimal("1.50")));
    char raw[] = "ab\0c";
    EXPECT_NE(DKAny(DKByteArray(raw, 4, 0)), DKAny(DKByteArray(raw, 3, 0)));

    DKAny nullA(DKAny::tc_string, nullptr, 0), nullB(DKAny::tc_string, nullptr, 0);
    EXPECT_EQ(nullA, nullB);
    EXPECT_NE(nullA, DKAny(""));

    DKNVPair pair("n", DKAny(1L));
    EXPECT_NE(DKAny(pair), DKAny(pair));
    int x = 0, y = 0;
    EXPECT_EQ(DKAny(static_cast<void*>(&x)), DKAny(static_cast<void*>(&x)));
    EXPECT_NE(DKAny(static_cast<void*>(&x)), DKAny(static_cast<void*>(&y)));
    DKAny nan(std::nan(""));
    EXPECT_EQ(nan, nan);
    EXPECT_NE(nan, DKAny(std::nan("")));
}

TEST(DKAnyText, EveryTypeCodeHasItsText) {
    int local = 0;
    const long address = static_cast<long>(reinterpret_cast<std::intptr_t>(&local));
    const DKString addr(address);
    char bytes[] = "by\0te";
    DKNVPair pair("n");
    DKAny pairAny(pair);
    const long pairAddress = static_cast<long>(reinterpret_cast<std::intptr_t>(pairAny.value()));
    const struct {
        DKAny any;
        const char* text;
    } cases[] = {
        {DKAny(), "NULL"},
        {DKAny((unsigned short)65535), "65535"},
        {DKAny((short)-32768), "-32768"},
        {DKAny(ULONG_MAX), "18446744073709551615"},
        {DKAny(LONG_MIN), "-9223372036854775808"},
        {DKAny(-1), "-1"},
        {DKAny('\0'), ""},
        {DKAny(DKDecimal("-12.50")), "-12.50"},
        {DKAny(DKDate(2024, 3, 1)), "2024-03-01"},
        {DKAny(DKTime(23, 5, 9, -1)), "23.05.09"},
        {DKAny(DKByteArray(bytes, 2, 0)), "by"},
        {DKAny(0.5f), "0.500000"},
        {DKAny(DKAny::tc_timestamp), "13"},
        {DKAny(DKAny::tc_decimal, nullptr, 0), "NULL"},
        {DKAny(static_cast<void*>(nullptr)), "NULL"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DKString(c.text), c.any.toString()) << c.any.typeCode();
    EXPECT_EQ(DKString("(void*)") + addr, DKAny(DKAny::TypeCode(14), &local, 0).toString());
    EXPECT_EQ(DKString("(dkCollection*)") + addr, DKAny(fakeCollection(&local)).toString());
    EXPECT_EQ(DKString("(dkDataObjectBase*)") + addr, DKAny(fakeObject(&local)).toString());
    EXPECT_EQ(DKString("(DKNVPair*)") + DKString(pairAddress), pairAny.toString());
    EXPECT_EQ(DKString("2024-03-01-12.00.00.000000"),
              DKAny(DKTimestamp(2024, 3, 1, 12, 0, 0, 0, -1, '-')).toString());

    // The stream follows its own number formatting and shows a pair as a raw pointer.
    std::ostringstream os;
    os.precision(3);
    os << DKAny(2.0) << '|' << DKAny(1.0 / 3) << '|' << pairAny << '|' << DKAny(DKAny::tc_nvpair, nullptr, 0) << '|'
       << DKAny((short)-2) << '|' << DKAny("s");
    EXPECT_EQ("2|0.333|(void*)" + std::to_string(pairAddress) + "|NULL|-2|s", os.str());
}

TEST(DKNVPairValues, HoldsCopiesOfNameAndValue) {
    DKString name("opt");
    DKNVPair p(name.c_str(), DKAny(DKString("v1")));
    name = "changed";
    DKNVPair copy(p);
    copy.set("other", DKAny(3L));
    EXPECT_EQ(DKString("opt"), p.getName());
    EXPECT_EQ(DKAny("v1"), p.getValue());
    // Setting a pair from its own parts.
    copy.set(copy.getName().c_str(), copy.getValue());
    EXPECT_EQ(DKString("other"), copy.getName());
    EXPECT_EQ(3L, static_cast<long>(copy.getValue()));
    DKNVPair empty(nullptr);
    EXPECT_EQ(DKString(""), empty.getName());
    EXPECT_EQ(1, empty.getValue().isNull());
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
    std::vector<DKAny> original = values();
    std::vector<std::string> texts;
    for (const DKAny& v : original) texts.push_back(v.toString().str());

    // Growing the vector moves every element; the moved values keep their text.
    std::vector<DKAny> moved;
    for (DKAny& v : original) moved.push_back(std::move(v));
    for (const DKAny& v : original) EXPECT_EQ(1, v.isNull());
    for (size_t i = 0; i < moved.size(); ++i) EXPECT_EQ(texts[i], moved[i].toString().str()) << i;

    // A copy is its own object: changing it through value() leaves the source alone.
    std::vector<DKAny> copies(moved.begin(), moved.end());
    for (size_t i = 0; i < copies.size(); ++i) {
        EXPECT_NE(moved[i].value(), copies[i].value()) << i;
        if (i < 7) {   // the pair compares by identity
            EXPECT_EQ(moved[i], copies[i]) << i;
        }
    }
    *static_cast<DKString*>(copies[1].value()) += "!";
    static_cast<DKDecimal*>(copies[2].value())->setScale(1);
    static_cast<DKByteArray*>(copies[6].value())->setData(raw, 2);
    EXPECT_EQ(texts[1], moved[1].toString().str());
    EXPECT_EQ(texts[2], moved[2].toString().str());
    EXPECT_EQ(texts[6], moved[6].toString().str());
    EXPECT_EQ("-12.3", copies[2].toString().str());

    // Every kind replaced by every other, by copy and by move (AddressSanitizer sees a leak or
    // a double free here).
    for (size_t i = 0; i < moved.size(); ++i)
        for (size_t j = 0; j < moved.size(); ++j) {
            DKAny target = values()[i];
            target = moved[j];
            EXPECT_EQ(moved[j].typeCode(), target.typeCode());
            DKAny source = values()[j];
            target = std::move(source);
            EXPECT_EQ(1, source.isNull());
            if (j != 7) {
                EXPECT_EQ(moved[j], target) << i << " " << j;
            }
        }
}

TEST(DKAnyInside, AdoptedAndHeldObjectsKeepTheirOwners) {
    // An adopted string stays where the caller made it; its copies are held inside.
    DKString* adopted = new DKString("adopted");
    DKAny a(DKAny::tc_string, adopted, 3);
    EXPECT_EQ(static_cast<void*>(adopted), a.value());
    DKAny copy(a);
    EXPECT_NE(static_cast<void*>(adopted), copy.value());
    EXPECT_EQ(a, copy);
    DKAny moved(std::move(a));
    EXPECT_EQ(static_cast<void*>(adopted), moved.value());   // moving keeps the adopted object

    // Re-adopting the object held inside keeps it and only retags it.
    DKAny held(DKDecimal("2.5"));
    held.replace(DKAny::tc_decimal, held.value(), 9);
    EXPECT_EQ("2.5", held.toString().str());
    EXPECT_EQ(9, held.getSubType());
    // A value read from the object held inside survives replacing that object.
    long n = 7;
    held.replace(DKAny::tc_long, &n, 0);
    EXPECT_EQ(7L, static_cast<long>(held));
    DKAny s(DKString("text that is long enough for a buffer of its own"));
    s = *static_cast<DKString*>(s.value()) + "!";
    EXPECT_EQ("text that is long enough for a buffer of its own!", s.toString().str());
}
