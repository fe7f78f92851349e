// include/dk/PBase64.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

#include <cstddef>

// Base64 of RFC 4648 (standard alphabet, "=" padding, no line breaks). decode is strict: a
// length that is not a multiple of 4, a character outside the alphabet (blanks and line breaks
// included) or a misplaced "=" throws DKUsageError 303; zero bytes in the data survive both ways.
// Stateless, safe on any thread.
class DK_API PBase64 {
public:
    virtual ~PBase64();
    static DKString encode(char* text);                                // a zero-terminated text
    static DKString encode(const char* data, std::size_t size);
    static DKString decode(char* text);                                // a zero-terminated text
    static DKString decode(const char* text, std::size_t size);
};
