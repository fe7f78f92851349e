// src/dk/common/content/dkClob.cpp
//
// The character large object: the editing operations a connector's concrete class defines on real
// content, refused here.

#include <dk/dkBlob.hpp>

#include "dk/common/content/dkContentReject.hpp"

namespace {
constexpr const char* kSource = "dk/common/dkClob";
}  // namespace

dkClob::dkClob() = default;
dkClob::dkClob(const dkClob& other) = default;
dkClob::~dkClob() = default;

dkClob& dkClob::operator+=(const DKString&) { dkRejectContent(kSource, "operator+=()"); }
dkClob& dkClob::operator+=(const dkClob&) { dkRejectContent(kSource, "operator+=()"); }
long dkClob::indexOf(const dkClob&, long) { dkRejectContent(kSource, "indexOf()"); }
long dkClob::indexOf(const DKString&, long) { dkRejectContent(kSource, "indexOf()"); }
DKString dkClob::subString(long, long) { dkRejectContent(kSource, "subString"); }
dkClob& dkClob::remove(long, long) { dkRejectContent(kSource, "remove()"); }
dkClob& dkClob::insert(const dkClob&, long) { dkRejectContent(kSource, "insert()"); }
dkClob& dkClob::insert(const DKString&, long) { dkRejectContent(kSource, "insert()"); }
