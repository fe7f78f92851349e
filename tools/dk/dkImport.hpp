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

// What the walk leaves out.
struct WalkRules {
    std::vector<std::string> excludes;             // --exclude GLOBs
    bool defaultExcludes = true;                   // .git, .hg, .svn, build, CMake build trees
    std::vector<std::filesystem::path> ownFiles;   // the repository's own files, by identity
};

// What the walk found and what it left out. Left-out names are relative to DIR ("build/",
// "notes.tmp"); only the first few are kept, the counts are complete.
struct WalkResult {
    std::vector<ImportFile> files;           // sorted by relative path
    std::size_t skippedFolders = 0;
    std::size_t skippedFiles = 0;            // excluded files and symbolic links
    std::vector<std::string> firstSkipped;   // at most kNamedSkips names, folders end in '/'
    std::vector<std::string> unreadable;     // folders that could not be read (all of them)
    static constexpr std::size_t kNamedSkips = 5;
};

// Every regular file under dir but what the rules leave out; symbolic links are neither
// followed nor imported. Subfolders that cannot be read are listed and the walk goes on.
// UsageError when dir is not a folder or cannot be read itself.
WalkResult collectFiles(const std::filesystem::path& dir, const WalkRules& rules);

// True when a --exclude GLOB matches: a GLOB without '/' matches the file's or folder's name,
// one with '/' its path relative to DIR.
bool excluded(const std::vector<std::string>& globs, const std::string& name, const std::string& relative);

// The MIME type for a file name by its extension (case-insensitive), from share/dk/vtxcc2mime.ini;
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
