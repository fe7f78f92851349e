// src/dk/common/net/PBase64.cpp
//
// Base64 over OpenSSL's EVP block coder. EVP_DecodeBlock is lenient (it skips blanks and keeps
// the bytes that padding stands for), so decode checks the text first with a table of its own and
// takes the padding off the result.

#include <dk/PBase64.hpp>

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <openssl/evp.h>

#include <cstring>
#include <memory>

namespace {

constexpr const char* kSource = "dk/common/PBase64";

// 1 for the 64 characters of the alphabet, 0 for everything else ("=" included).
struct Alphabet {
    unsigned char valid[256] = {};
    Alphabet() {
        const char* a = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (const char* p = a; *p; ++p) valid[static_cast<unsigned char>(*p)] = 1;
    }
};
const Alphabet kAlphabet;

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
    std::size_t pad = 0;
    if (text[size - 1] == '=') pad = text[size - 2] == '=' ? 2 : 1;
    const unsigned char* t = reinterpret_cast<const unsigned char*>(text);
    unsigned bad = 0;
    for (std::size_t i = 0; i < size - pad; ++i) bad |= kAlphabet.valid[t[i]] ^ 1u;
    if (bad != 0) invalid("character");
    std::unique_ptr<unsigned char[]> buf(new unsigned char[size / 4 * 3 + 1]);
    const int n = EVP_DecodeBlock(buf.get(), t, static_cast<int>(size));
    if (n < 0) invalid("character");
    return DKString(buf.get(), static_cast<unsigned long>(n) - pad);
}
