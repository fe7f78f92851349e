// fuzz/DKCC2Mime_fuzz.cpp
//
// Arbitrary bytes as a MIME mapping file and as an environment file. Every class that a short,
// well-formed line of the input names first maps to that line's type; no input crashes the
// readers, and a directory found is never longer than a line may be.

#include "dkFuzzSupport.hpp"

#include <dk/DKCC2Mime.hpp>
#include <dk/DKException.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {
std::string g_file;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    dkFuzzInit();
    g_file = "fuzzed.ini";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::ofstream(g_file, std::ios::binary | std::ios::trunc).write(input.data(), static_cast<std::streamsize>(size));
    if (DKCC2Mime::processVTXVTENV(g_file.c_str()).length() > DKCC2Mime::kMaxEnvLine) std::abort();
    DKCC2Mime mime(g_file.c_str());
    // The first line of the input, when it is a plain "class=type" line, is the one that wins.
    const std::string first = input.substr(0, input.find('\n'));
    const std::size_t eq = first.find('=');
    const bool plain = eq != std::string::npos && eq > 0 && first.size() <= DKCC2Mime::kMaxMappingLine &&
                       first[0] != '#' && first.find_first_of(" \t\r", 0) == std::string::npos &&
                       first.find('\0') == std::string::npos;
    const DKString type = mime.getProperty(first.substr(0, eq == std::string::npos ? 0 : eq).c_str());
    if (plain && type.str() != first.substr(eq + 1)) std::abort();
    return 0;
}
