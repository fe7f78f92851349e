// include/dk/dkExport.hpp
#pragma once

// One visibility macro for every class and function the library exports. The library is built
// with hidden visibility by default, so helpers local to one source file stay out of the ABI.
#if defined(__GNUC__) || defined(__clang__)
#define DK_API __attribute__((visibility("default")))
#define DK_LOCAL __attribute__((visibility("hidden")))
#else
#define DK_API
#define DK_LOCAL
#endif
