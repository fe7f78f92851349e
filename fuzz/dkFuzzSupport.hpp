// fuzz/dkFuzzSupport.hpp
#pragma once

// Shared set-up of the fuzz targets: before the first library call the log root is pointed at a
// fresh temporary folder, so thrown exceptions are logged there and never into the caller's folder.

#include "dkLogRoot.hpp"

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
