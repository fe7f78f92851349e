// src/dk/common/net/PBase64.cpp
//
// Base64 over OpenSSL's EVP block coder. EVP_DecodeBlock is lenient (it trims blanks at the ends
// and keeps the bytes that padding stands for), so decode checks what it lets through and takes
// the padding off the result.

#include <dk/PBase64.hpp>

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <openssl/evp.h>

#include <cstring>
#include <memory>

namespace {

constexpr const char* kSource = "dk/common/PBase64";

[[noreturn]] void invalid(const char* detail) {
    dkThrow<DKUsageError>(303, kSource, "PBase64::decode", DKString(" PBase64::decode():") + detail);
}

}  // namespace

PBase64::~PBase64() = default;

DKString PBase64::encode(char* text) { return encode(text, text != nullptr ? std::strlen(text) : 0); }

DKString PBase64::encode(const char* data, std::size_t size) {
    if (size == 0) return DKString();
    const std::size_t out = (size + 2) / 3 * 4;
    std::unique_ptr<unsigned char[]> buf(new unsigned char[out + 1]);
    const int n = EVP_EncodeBlock(buf.get(), reinterpret_cast<const unsigned char*>(data), static_cast<int>(size));
    return DKString(buf.get(), static_cast<unsigned long>(n));
}

DKString PBase64::decode(char* text) { return decode(text, text != nullptr ? std::strlen(text) : 0); }

DKString PBase64::decode(const char* text, std::size_t size) {
    if (size == 0) return DKString();
    if (size % 4 != 0) invalid("length");
    // EVP_DecodeBlock rejects characters outside the alphabet but takes "=" anywhere (as zero
    // bits) and trims blanks and line ends at either end: "=" is allowed only as the last one or
    // two characters, and a trimmed end shows in the length decoded.
    const std::size_t pad = text[size - 1] != '=' ? 0 : text[size - 2] == '=' ? 2 : 1;
    if (std::memchr(text, '=', size - pad) != nullptr) invalid("padding");
    std::unique_ptr<unsigned char[]> buf(new unsigned char[size / 4 * 3 + 1]);
    const int n = EVP_DecodeBlock(buf.get(), reinterpret_cast<const unsigned char*>(text), static_cast<int>(size));
    if (n < 0 || static_cast<std::size_t>(n) != size / 4 * 3) invalid("character");
    return DKString(buf.get(), static_cast<unsigned long>(n) - pad);
}
