// src/dk/common/content/dkBlob.cpp
//
// The binary large object: the editing operations a connector's concrete class defines on real
// content, refused here.

#include <dk/dkBlob.hpp>

#include "dk/common/content/dkContentReject.hpp"

namespace {
constexpr const char* kSource = "dk/common/dkBlob";
}  // namespace

dkBlob::dkBlob() = default;
dkBlob::dkBlob(const dkBlob& other) = default;
dkBlob::~dkBlob() = default;

dkBlob& dkBlob::operator+=(const DKString&) { dkRejectContent(kSource, "operator+=()"); }
dkBlob& dkBlob::operator+=(const dkBlob&) { dkRejectContent(kSource, "operator+=()"); }
long dkBlob::indexOf(const dkBlob&, long) { dkRejectContent(kSource, "indexOf()"); }
long dkBlob::indexOf(const DKString&, long) { dkRejectContent(kSource, "indexOf()"); }
DKString dkBlob::subString(long, long) { dkRejectContent(kSource, "subString"); }
dkBlob& dkBlob::remove(long, long) { dkRejectContent(kSource, "remove()"); }
dkBlob& dkBlob::insert(const dkBlob&, long) { dkRejectContent(kSource, "insert()"); }
dkBlob& dkBlob::insert(const DKString&, long) { dkRejectContent(kSource, "insert()"); }
