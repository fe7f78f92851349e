// fuzz/DKLogConfig_fuzz.cpp
//
// Arbitrary bytes as a log configuration file: the reader cuts them into lines, matches keys and
// applies the value rules, and the file name is expanded, without crashing or hanging. The input
// is read both from memory and through a FILE stream, the way the log manager reads it.

#include "dkFuzzSupport.hpp"
#include "dk/logtool/PLogConfig.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    dkFuzzInit();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    plogconfig::Settings s = plogconfig::parse(text, size);
    if (s.hasFileName) {
        std::string name = plogconfig::expandFileName(s.fileName, "fuzzuser", "/home/fuzz");
        if (name.find("${user.name}") == 0) __builtin_trap();   // the first one is always replaced
    }
    if (s.hasOutput && (s.output < 1 || s.output > 3)) __builtin_trap();
    if (s.hasSaved && s.saved < 1) __builtin_trap();
    if (s.hasPerfThreshold && s.perfThreshold < 0) __builtin_trap();

    std::FILE* in = size ? fmemopen(const_cast<char*>(text), size, "r") : nullptr;
    if (in) {
        std::string fromFile = plogconfig::findValue(in, "NVLVTWorkingDirectory");
        std::fclose(in);
        std::size_t pos = 0;
        auto next = [&] { return pos < size ? static_cast<unsigned char>(text[pos++]) : EOF; };
        if (fromFile != plogconfig::findValue(next, "NVLVTWorkingDirectory")) __builtin_trap();
        plogconfig::withSeparator(fromFile);
    }
    return 0;
}
