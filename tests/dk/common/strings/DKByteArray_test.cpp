// tests/dk/common/strings/DKByteArray_test.cpp

#include <dk/DKByteArray.hpp>
#include <dk/DKHandle.hpp>

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sstream>
#include <utility>

// Outside sanitizer builds the suite replaces the array allocator so that it can see which block
// the library frees; sanitizer builds check the same ownership through their own allocator.
#ifndef DK_SANITIZED
namespace {
const void* gWatched = nullptr;
bool gWatchedFreed = false;
}  // namespace

void* operator new[](std::size_t n) {
    void* p = std::malloc(n != 0 ? n : 1);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void operator delete[](void* p) noexcept {
    if (p != nullptr && p == gWatched) gWatchedFreed = true;
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    operator delete[](p);
}
#endif

namespace {

std::string bytes(const DKByteArray& a) {
    return a.getData() == nullptr ? std::string() : std::string(a.getData(), a.length());
}

}  // namespace

TEST(DKByteArrayOwnership, ModesDecideWhoOwnsTheBlock) {
    char text[] = "ab\0cd";
    DKByteArray copied(text, 5, 0);
    text[0] = 'X';   // the copy never looks at the caller's block again
    EXPECT_EQ(std::string("ab\0cd", 5), bytes(copied));
    EXPECT_NE(static_cast<void*>(text), copied.getData());

    char* block = new char[3]{'x', 'y', 'z'};
#ifndef DK_SANITIZED
    gWatched = block;
    gWatchedFreed = false;
#endif
    {
        DKByteArray adopted(block, 3, 1);
        EXPECT_EQ(block, adopted.getData());
        EXPECT_EQ("xyz", bytes(adopted));
#ifndef DK_SANITIZED
        EXPECT_FALSE(gWatchedFreed);
#endif
    }
#ifndef DK_SANITIZED
    EXPECT_TRUE(gWatchedFreed);   // the adopting array freed the caller's block
    gWatched = nullptr;
#endif

    for (short mode : {2, -1}) {
        DKByteArray other(text, 5, mode);
        EXPECT_EQ(0L, other.length());
        EXPECT_EQ(nullptr, other.getData());
    }
    EXPECT_EQ(0L, DKByteArray(nullptr, 5, 0).length());
    EXPECT_EQ(0L, DKByteArray(text, -3, 0).length());
    EXPECT_EQ(0L, DKByteArray(text, static_cast<long>(INT_MAX) + 1, 0).length());
}

TEST(DKByteArrayValues, CopiesCompareAppendAndReplaceSafely) {
    char text[] = "hello";
    DKByteArray a(text, 5, 0);
    DKByteArray b(a);
    EXPECT_TRUE(a == b);
    EXPECT_NE(a.getData(), b.getData());
    DKByteArray shorter(text, 4, 0);
    EXPECT_TRUE(a != shorter);
    DKByteArray empty;
    DKByteArray emptyCopy(empty);
    EXPECT_EQ(nullptr, emptyCopy.getData());
    EXPECT_TRUE(empty == emptyCopy);

    a = a;   // assigning to itself keeps the bytes
    EXPECT_EQ("hello", bytes(a));
    a.setData(a.getData() + 1, 3);   // from its own block
    EXPECT_EQ("ell", bytes(a));
    a += a;
    EXPECT_EQ("ellell", bytes(a));
    empty += a;
    EXPECT_EQ("ellell", bytes(empty));
    b = DKByteArray();
    EXPECT_EQ(0L, b.length());
    EXPECT_EQ(nullptr, b.getData());
    a.setData(nullptr, 4);
    EXPECT_EQ(0L, a.length());

    char zeros[] = {'a', '\0', 'b'};
    DKByteArray z(zeros, 3, 0);
    EXPECT_EQ(DKString(zeros, 3), z.asString());
    std::ostringstream out;
    out << z;
    EXPECT_EQ("a", out.str());
}

TEST(DKHandleValues, CopiesShareTheHandleAndKeepTheType) {
    int target = 0;
    DKHandle none;
    EXPECT_EQ(nullptr, none.handle());
    EXPECT_EQ(DKString(), none.type());
    char kind[] = "FILE";
    DKHandle h(&target, kind);
    kind[0] = 'X';   // the type text was copied
    DKHandle c(h);
    none = c;
    EXPECT_EQ(&target, none.handle());
    EXPECT_EQ(DKString("FILE"), none.type());
    EXPECT_EQ(DKString(), DKHandle(nullptr, nullptr).type());
}

TEST(DKByteArrayValues, MovesHandTheBlockOver) {
    char raw[] = "abcdef";
    DKByteArray a(raw, 6, 0);
    const char* block = a.getData();
    DKByteArray b(std::move(a));
    EXPECT_EQ(block, b.getData());
    EXPECT_EQ(0L, a.length());
    EXPECT_EQ(nullptr, a.getData());
    DKByteArray c(raw, 2, 0);
    c = std::move(b);   // c's own block is freed (AddressSanitizer reports a leak otherwise)
    EXPECT_EQ(block, c.getData());
    EXPECT_EQ(6L, c.length());
    c = std::move(c);
    EXPECT_EQ(DKString("abcdef"), c.asString());
}
