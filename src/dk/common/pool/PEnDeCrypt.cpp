// src/dk/common/pool/PEnDeCrypt.cpp
//
// Scrambling of the passwords a connection pool holds, so that they do not lie in memory as
// plain text. This is obfuscation only: the DES key is fixed and built in. DES comes from
// libcrypto, which offers it only through its legacy provider; that provider is loaded into a
// library context of this file's own, so the application's default context is left as it is.

#include <dk/PEnDeCrypt.hpp>

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <string>

namespace {

constexpr const char* kSource = "dk/common/PEnDeCrypt";
constexpr int kBlock = 8;
constexpr int kText = 12;   // printable characters per block
const unsigned char kKey[kBlock] = {0x5d, 0x1c, 0x8a, 0x37, 0xe4, 0x62, 0x0b, 0xf9};

// The DES cipher of the private context, fetched once; null when the legacy provider is missing.
const EVP_CIPHER* desCipher() {
    static EVP_CIPHER* cipher = nullptr;
    static std::once_flag once;
    std::call_once(once, [] {
        OSSL_LIB_CTX* context = OSSL_LIB_CTX_new();
        if (context == nullptr) return;
        if (OSSL_PROVIDER_load(context, "legacy") == nullptr) return;
        cipher = EVP_CIPHER_fetch(context, "DES-ECB", nullptr);
    });
    return cipher;
}

// Enciphers (or deciphers) one block of 8 bytes in place.
void desBlock(unsigned char* block, bool encrypt, const char* function) {
    const EVP_CIPHER* cipher = desCipher();
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    unsigned char out[2 * kBlock];
    int written = 0;
    if (cipher == nullptr || ctx == nullptr ||
        EVP_CipherInit_ex2(ctx.get(), cipher, kKey, nullptr, encrypt ? 1 : 0, nullptr) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1 ||
        EVP_CipherUpdate(ctx.get(), out, &written, block, kBlock) != 1 || written != kBlock)
        dkThrow<DKSystemError>(303, kSource, function, DKString(" (DES from the legacy provider of libcrypto)"));
    std::memcpy(block, out, kBlock);
}

}  // namespace

DKString PEnDeCrypt::encrypt(const char* text) {
    const std::string plain = text ? text : "";
    std::string result;
    for (std::size_t at = 0; at < plain.size(); at += kBlock) {
        unsigned char block[kBlock] = {};
        std::memcpy(block, plain.data() + at, std::min<std::size_t>(kBlock, plain.size() - at));
        desBlock(block, true, "PEnDeCrypt::encrypt");
        // Base64 of 8 bytes is 11 characters and one '=': 12 printable characters.
        unsigned char printable[kText + 1];
        EVP_EncodeBlock(printable, block, kBlock);
        result.append(reinterpret_cast<const char*>(printable), kText);
    }
    return DKString(result);
}

DKString PEnDeCrypt::decrypt(const char* scrambled) {
    const std::string text = scrambled ? scrambled : "";
    if (text.size() % kText != 0)
        dkThrow<DKUsageError>(303, kSource, "PEnDeCrypt::decrypt", DKString(" PEnDeCrypt::decrypt()"));
    std::string result;
    for (std::size_t at = 0; at < text.size(); at += kText) {
        unsigned char block[kBlock + 1];
        if (text[at + kText - 1] != '=' ||
            EVP_DecodeBlock(block, reinterpret_cast<const unsigned char*>(text.data() + at), kText) != kBlock + 1)
            dkThrow<DKUsageError>(303, kSource, "PEnDeCrypt::decrypt", DKString(" PEnDeCrypt::decrypt()"));
        desBlock(block, false, "PEnDeCrypt::decrypt");
        result.append(reinterpret_cast<const char*>(block), kBlock);
    }
    // The padding of the last block, and nothing of the text, is zero bytes.
    const std::size_t end = result.find('\0');
    if (end != std::string::npos) result.resize(end);
    return DKString(result);
}
