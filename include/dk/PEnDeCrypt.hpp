// include/dk/PEnDeCrypt.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

// The scrambling of the passwords a pool keeps in memory. This is obfuscation, not protection:
// the key is fixed and built into the library, so it only keeps passwords from lying about in
// plain text. Each 8-byte block of the text (the last padded with zero bytes) is enciphered
// with DES on its own and written as 12 printable characters. Thread-safe.
class DK_API PEnDeCrypt {
public:
    static DKString encrypt(const char* text);
    // The reverse of encrypt, padding dropped; 303 for a text encrypt cannot have made.
    static DKString decrypt(const char* scrambled);
};
