// tools/dk/dkImport.cpp
//
// Finding the files `dk import` turns into items, their MIME types (from share/dk/vtxcc2mime.ini),
// and the progress bar. By
// default the walk leaves out version-control and build folders, so importing a source tree
// imports the sources, not the objects built from them; everything left out is counted so the
// summary can say so.

#include "dkImport.hpp"
#include "dkCli.hpp"

#include <dk/DKCC2Mime.hpp>
#include <dk/PDynamicLoader.hpp>

#include <algorithm>
#include <cctype>
#include <system_error>

#include <fnmatch.h>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace dkcli {

namespace {

const char* const kTextNames[] = {"Makefile", "README", "LICENSE", "Dockerfile", "CMakeLists.txt"};

// The folders the walk leaves out unless --no-default-excludes is given; --help names them.
bool isDefaultExcludedFolder(const fs::path& dir) {
    const std::string name = dir.filename().string();
    if (name == ".git" || name == ".hg" || name == ".svn" || name == "build") return true;
    std::error_code ec;
    return fs::exists(dir / "CMakeCache.txt", ec);   // a CMake build tree
}

// A file by identity: the repository's own files are recognised however DIR names them.
struct FileId {
    dev_t device;
    ino_t inode;
    bool operator==(const FileId& o) const { return device == o.device && inode == o.inode; }
};

}  // namespace

std::string mimeTypeOf(const fs::path& name) {
    // The extension table lies in the library's data folder, in an install and in the build tree
    // alike; it is read once.
    static DKCC2Mime table((PDynamicLoader::dataFolder() + "/vtxcc2mime.ini").c_str());
    const std::string file = name.filename().string();
    for (const char* known : kTextNames)
        if (file == known) return "text/plain";
    std::string ext = name.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    const DKString type = ext.size() > 1 ? table.getProperty(ext.c_str() + 1) : DKString();
    return type.length() > 0 ? type.str() : "application/octet-stream";
}

bool excluded(const std::vector<std::string>& globs, const std::string& name, const std::string& relative) {
    for (const std::string& g : globs) {
        const bool byPath = g.find('/') != std::string::npos;
        if (fnmatch(g.c_str(), byPath ? relative.c_str() : name.c_str(), byPath ? FNM_PATHNAME : 0) == 0) return true;
    }
    return false;
}

namespace {

void addFile(const fs::path& dir, const fs::path& file, const std::vector<FileId>& own, std::vector<ImportFile>& files) {
    struct stat st;
    if (stat(file.c_str(), &st) != 0) return;   // gone since it was listed
    if (std::find(own.begin(), own.end(), FileId{st.st_dev, st.st_ino}) != own.end()) return;
    ImportFile f;
    f.path = file;
    f.relative = file.lexically_relative(dir).generic_string();
    f.title = file.stem().string();
    f.size = static_cast<std::uintmax_t>(st.st_size);
    f.modified = st.st_mtim.tv_sec;
    f.modifiedNanos = st.st_mtim.tv_nsec;
    f.mimeType = mimeTypeOf(file);
    files.push_back(std::move(f));
}

void skip(WalkResult& r, const std::string& relative, bool folder) {
    (folder ? r.skippedFolders : r.skippedFiles) += 1;
    if (r.firstSkipped.size() < WalkResult::kNamedSkips) r.firstSkipped.push_back(relative + (folder ? "/" : ""));
}

void walk(const fs::path& root, const fs::path& dir, const WalkRules& rules, const std::vector<FileId>& own,
          WalkResult& r) {
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec) {
        r.unreadable.push_back(dir.string());
        return;
    }
    // Entries are taken in name order so the skip list names the same files on every run.
    std::vector<fs::directory_entry> entries;
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) entries.push_back(*it);
    if (ec) r.unreadable.push_back(dir.string());
    std::sort(entries.begin(), entries.end(),
              [](const fs::directory_entry& a, const fs::directory_entry& b) { return a.path() < b.path(); });
    for (const fs::directory_entry& entry : entries) {
        std::error_code sc;
        const std::string name = entry.path().filename().string();
        const std::string relative = entry.path().lexically_relative(root).generic_string();
        // Symbolic links are neither followed nor imported: a link is not a file of this tree.
        if (entry.is_symlink(sc)) {
            skip(r, relative, false);
        } else if (entry.is_directory(sc)) {
            if ((rules.defaultExcludes && isDefaultExcludedFolder(entry.path())) || excluded(rules.excludes, name, relative))
                skip(r, relative, true);
            else
                walk(root, entry.path(), rules, own, r);
        } else if (entry.is_regular_file(sc)) {
            if (excluded(rules.excludes, name, relative)) skip(r, relative, false);
            else addFile(root, entry.path(), own, r.files);
        }
    }
}

}  // namespace

WalkResult collectFiles(const fs::path& dir, const WalkRules& rules) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) throw UsageError("not a folder: " + dir.string(), "import");
    std::vector<FileId> own;
    for (const fs::path& p : rules.ownFiles) {
        struct stat st;
        if (stat(p.c_str(), &st) == 0) own.push_back({st.st_dev, st.st_ino});
    }
    WalkResult r;
    walk(dir, dir, rules, own, r);
    if (r.files.empty() && !r.unreadable.empty() && r.unreadable.front() == dir.string())
        throw UsageError("cannot read the folder " + dir.string(), "import");
    std::sort(r.files.begin(), r.files.end(),
              [](const ImportFile& a, const ImportFile& b) { return a.relative < b.relative; });
    return r;
}

Progress::Progress(std::FILE* out, std::size_t total, bool terminal)
    : out_(out), total_(total), terminal_(terminal) {}

void Progress::step(std::size_t done) {
    if (!terminal_) return;
    constexpr int kBarWidth = 40;
    const int filled = total_ == 0 ? kBarWidth : static_cast<int>(done * kBarWidth / total_);
    const int percent = total_ == 0 ? 100 : static_cast<int>(done * 100 / total_);
    // Redraw only when the picture changes: a terminal fed thousands of lines a second is slow.
    const int picture = filled * 1000 + percent;
    if (picture == lastWidth_ && done != total_) return;
    lastWidth_ = picture;
    std::fprintf(out_, "\r[%s%s] %3d%%  %zu/%zu", std::string(filled, '#').c_str(),
                 std::string(kBarWidth - filled, '.').c_str(), percent, done, total_);
    std::fflush(out_);
}

void Progress::finish() {
    if (terminal_ && lastWidth_ >= 0) std::fputc('\n', out_);
    std::fflush(out_);
}

}  // namespace dkcli
