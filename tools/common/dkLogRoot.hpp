// tools/common/dkLogRoot.hpp
#pragma once

// Points the library's configuration root (NVLVTROOT) at a folder of the caller's choosing before
// the first library call, so the log configuration is read from there and the log is written
// there, never into the caller's current folder. Used by the test main, the fuzz targets, the
// benchmarks and the tools. Header-only: it is not part of the library.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace dktools {

// Lays out <root>/vtgmt/nvlvtconfig.properties naming <root> as the working folder and
// <root>/vtgmt/connectors/vtxlogconfig.properties with the given extra lines (unless one is
// already there), sends the log to <root>/dklog.log and sets NVLVTROOT. Returns the log path.
inline std::filesystem::path prepareLogRoot(const std::filesystem::path& root, const std::string& extraConfig = "") {
    namespace fs = std::filesystem;
    fs::create_directories(root / "vtgmt" / "connectors");
    std::string rootText = root.string();
    if (rootText.empty() || rootText.back() != '/') rootText += '/';
    {
        std::ofstream toolkit(root / "vtgmt" / "nvlvtconfig.properties", std::ios::trunc);
        toolkit << "NVLVTWorkingDirectory=" << rootText << "\n";
    }
    fs::path config = root / "vtgmt" / "connectors" / "vtxlogconfig.properties";
    if (!fs::exists(config)) {
        std::ofstream log(config, std::ios::trunc);
        log << "DKLogOutputFileName=" << rootText << "dklog.log\n" << extraConfig;
    }
    setenv("NVLVTROOT", rootText.c_str(), 1);
    return root / "dklog.log";
}

}  // namespace dktools
