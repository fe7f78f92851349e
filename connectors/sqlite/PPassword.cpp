// connectors/sqlite/PPassword.cpp
//
// Salted PBKDF2-HMAC-SHA256 with libcrypto: a new hash with a fresh random salt, and the check of
// a password against a stored hash, compared in constant time.

#include "PPassword.hpp"
#include "PSqliteError.hpp"

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <climits>
#include <cstring>

namespace dksqlite {

namespace {

constexpr const char* kSource = kSqliteSource;

std::vector<unsigned char> pbkdf2(const char* password, const std::vector<unsigned char>& salt, long iterations) {
    std::vector<unsigned char> out(32);
    const char* p = password ? password : "";
    if (iterations < 1 || iterations > INT_MAX ||
        PKCS5_PBKDF2_HMAC(p, static_cast<int>(std::strlen(p)), salt.data(), static_cast<int>(salt.size()),
                          static_cast<int>(iterations), EVP_sha256(), static_cast<int>(out.size()), out.data()) != 1)
        dkThrow<DKSystemError>(kMsgSqliteFailed, kSource, "DKDatastoreSQLITE::hashPassword",
                               DKString("PBKDF2-HMAC-SHA256 failed"));
    return out;
}


}  // namespace

PPasswordHash hashPassword(const char* password, long iterations) {
    PPasswordHash h;
    h.salt.resize(16);
    if (RAND_bytes(h.salt.data(), static_cast<int>(h.salt.size())) != 1)
        dkThrow<DKSystemError>(kMsgSqliteFailed, kSource, "DKDatastoreSQLITE::hashPassword",
                               DKString("no random bytes for the salt"));
    h.iterations = iterations;
    h.hash = pbkdf2(password, h.salt, iterations);
    return h;
}

bool verifyPassword(const char* password, const PPasswordHash& stored) {
    if (stored.hash.size() != 32 || stored.salt.empty()) return false;
    std::vector<unsigned char> h = pbkdf2(password, stored.salt, stored.iterations);
    return CRYPTO_memcmp(h.data(), stored.hash.data(), h.size()) == 0;
}

}  // namespace dksqlite
