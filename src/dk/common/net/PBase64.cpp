// src/dk/common/net/PBase64.cpp
//
// Base64 over OpenSSL's EVP block coder. EVP_DecodeBlock is lenient (it trims blanks at the ends
// and keeps the bytes that padding stands for), so decode checks what it lets through and takes
// the padding off the result. Both code into a scratch buffer and copy it into the result.

#include <dk/PBase64.hpp>

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr const char* kSource = "dk/common/PBase64";

[[noreturn]] void invalid(const char* detail) {
    dkThrow<DKUsageError>(303, kSource, "PBase64::decode", DKString(" PBase64::decode():") + detail);
}

// Where a code is made before it is copied into its DKString. Up to kKeptScratch bytes the
// buffer is the thread's own and is kept for the next call: a fresh block for each call, freed
// right after the result beside it, leaves malloc a free top large enough to give back to the
// system and fault in again on the next call, which made a 1 MiB encode several times slower
// per byte than a 4 KiB one. Larger codes get a block of their own.
class Scratch {
public:
    explicit Scratch(std::size_t bytes) {
        static thread_local std::vector<unsigned char> kept;
        if (bytes > kKeptScratch) {
            own_.reset(new unsigned char[bytes]);
            p_ = own_.get();
            return;
        }
        if (kept.size() < bytes) kept.resize(std::max(bytes, std::min(kept.size() * 2, kKeptScratch)));
        p_ = kept.data();
    }
    unsigned char* get() const { return p_; }

private:
    static constexpr std::size_t kKeptScratch = 4u << 20;
    std::unique_ptr<unsigned char[]> own_;
    unsigned char* p_;
};

}  // namespace

PBase64::~PBase64() = default;

DKString PBase64::encode(char* text) { return encode(text, text != nullptr ? std::strlen(text) : 0); }

DKString PBase64::encode(const char* data, std::size_t size) {
    if (size == 0) return DKString();
    const std::size_t out = (size + 2) / 3 * 4;
    Scratch buf(out + 1);
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
    Scratch buf(size / 4 * 3 + 1);
    const int n = EVP_DecodeBlock(buf.get(), reinterpret_cast<const unsigned char*>(text), static_cast<int>(size));
    if (n < 0 || static_cast<std::size_t>(n) != size / 4 * 3) invalid("character");
    return DKString(buf.get(), static_cast<unsigned long>(n) - pad);
}
