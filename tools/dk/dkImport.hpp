// tools/dk/dkImport.hpp
#pragma once

// The file side of `dk import`: which files of a folder become items, what MIME type each one
// has, and how progress is shown. Storing the items is the caller's.

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace dkcli {

// One file to import, with what the item records of it.
struct ImportFile {
    std::filesystem::path path;   // as found (DIR joined with the relative path)
    std::string relative;         // path relative to DIR, with '/'
    std::string title;            // the file name without its last extension
    std::uintmax_t size = 0;
    std::time_t modified = 0;     // seconds since the epoch
    long modifiedNanos = 0;
    std::string mimeType;
};

// Every regular file under dir, sorted by relative path. Folders named ".git" or "build" (or
// beginning with "build-" or "cmake-build-"), folders holding a CMakeCache.txt, and the files
// in skipFiles (the repository's own, compared by identity) are left out; symbolic links are not
// followed. Subfolders that cannot be read are added to unreadable and the walk goes on.
// UsageError when dir is not a folder or cannot be read itself.
std::vector<ImportFile> collectFiles(const std::filesystem::path& dir,
                                     const std::vector<std::filesystem::path>& skipFiles,
                                     std::vector<std::string>& unreadable);

// The MIME type for a file name by its extension (case-insensitive), from a small table;
// "application/octet-stream" for anything else. A few well-known names without extension
// (Makefile, CMakeLists.txt, README) are text.
std::string mimeTypeOf(const std::filesystem::path& name);

// Progress of a long job: a bar redrawn in place when out is a terminal, nothing in between
// otherwise (the caller prints the final counts either way).
class Progress {
public:
    Progress(std::FILE* out, std::size_t total, bool terminal);
    void step(std::size_t done);   // done of total items are through
    void finish();                 // ends the bar's line (terminal only)

private:
    std::FILE* out_;
    std::size_t total_;
    bool terminal_;
    int lastWidth_ = -1;
};

}  // namespace dkcli
