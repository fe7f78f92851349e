// connectors/sqlite/PPassword.hpp
#pragma once

// The password hashes of a repository's users table. Internal to libdkdssqlite.

#include <vector>

namespace dksqlite {

// Salted PBKDF2-HMAC-SHA256 of the users table.
struct PPasswordHash {
    std::vector<unsigned char> salt;   // 16 random bytes
    std::vector<unsigned char> hash;   // 32 bytes
    long iterations = 0;
};
PPasswordHash hashPassword(const char* password, long iterations);
// Recomputes with the stored salt and iteration count; constant-time comparison.
bool verifyPassword(const char* password, const PPasswordHash& stored);

}  // namespace dksqlite
