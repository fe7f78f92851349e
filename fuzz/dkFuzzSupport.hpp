// fuzz/dkFuzzSupport.hpp
#pragma once

// Shared set-up of the fuzz targets: before the first library call the log root is pointed at a
// fresh temporary folder, so thrown exceptions are logged there and never into the caller's folder.

#include "dkLogRoot.hpp"

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

inline void dkFuzzInit() {
    namespace fs = std::filesystem;
    fs::path root = fs::temp_directory_path() / ("dkfuzz-" + std::to_string(getpid()));
    // Keep the log small and quiet: only fatal lines, so a long run does not fill the disk.
    dktools::prepareLogRoot(root, "DKLogPriority=FATAL\nDKLogOutputFileSize=1\n");
    fs::current_path(root);
}

// The same, then the locale named by DKFUZZ_LOCALE (with LOCPATH), so the scanners' double-byte
// paths can be fuzzed under a code page with lead bytes.
inline void dkFuzzInitWithLocale() {
    dkFuzzInit();
    if (const char* name = std::getenv("DKFUZZ_LOCALE")) std::setlocale(LC_ALL, name);
}
