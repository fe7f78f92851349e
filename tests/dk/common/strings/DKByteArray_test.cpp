// tests/dk/common/strings/DKByteArray_test.cpp

#include <dk/DKByteArray.hpp>
#include <dk/DKHandle.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
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
    const DKByteArray copied(text, 5, 0);
    text[0] = 'X';   // the copy never looks at the caller's block again
    EXPECT_EQ(std::string("ab\0cd", 5), bytes(copied));
    char* block = new char[3]{'x', 'y', 'z'};
#ifndef DK_SANITIZED
    gWatched = block;
    gWatchedFreed = false;
#endif
    {
        const DKByteArray adopted(block, 3, 1);
        EXPECT_EQ(block, adopted.getData());
#ifndef DK_SANITIZED
        EXPECT_FALSE(gWatchedFreed);
#endif
    }
#ifndef DK_SANITIZED
    EXPECT_TRUE(gWatchedFreed);   // the adopting array freed the caller's block
    gWatched = nullptr;
#endif
    // Unknown modes, no block, and lengths out of range all give an empty array.
    for (const DKByteArray& e : {DKByteArray(text, 5, 2), DKByteArray(text, 5, -1), DKByteArray(nullptr, 5, 0),
                                 DKByteArray(text, -3, 0), DKByteArray(text, static_cast<long>(INT_MAX) + 1, 0)})
        EXPECT_TRUE(e.length() == 0 && e.getData() == nullptr);
}

TEST(DKByteArrayValues, CopiesMovesAndOperationsOnThemselves) {
    char text[] = "hello";
    DKByteArray a(text, 5, 0), b(a), empty;
    EXPECT_TRUE(a == b && a != DKByteArray(text, 4, 0) && empty == DKByteArray(empty));
    EXPECT_NE(a.getData(), b.getData());
    dktest::assignToItself(a);
    a.setData(a.getData() + 1, 3);   // from its own block
    a += a;
    empty += a;
    EXPECT_EQ("ellell|ellell", bytes(a) + "|" + bytes(empty));
    a.setData(nullptr, 4);
    EXPECT_EQ(0L, a.length());
    // Moves hand the block over and free the target's own (AddressSanitizer reports a leak).
    const char* block = b.getData();
    DKByteArray c(std::move(b)), d(text, 2, 0);
    EXPECT_EQ(nullptr, b.getData());
    d = std::move(c);
    DKByteArray& sameD = d;
    d = std::move(sameD);
    EXPECT_TRUE(d.getData() == block && d.asString() == "hello");
    char zeros[] = {'a', '\0', 'b'};
    std::ostringstream out;
    out << DKByteArray(zeros, 3, 0);
    EXPECT_EQ("a", out.str());
}

TEST(DKHandleValues, CopiesShareTheHandleAndKeepTheType) {
    int target = 0;
    char kind[] = "FILE";
    DKHandle h(&target, kind), none;
    kind[0] = 'X';   // the type text was copied
    EXPECT_EQ(nullptr, none.handle());
    none = DKHandle(h);
    EXPECT_TRUE(none.handle() == &target && none.type() == "FILE" && DKHandle(nullptr, nullptr).type() == "");
}
