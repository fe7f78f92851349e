// tools/dk/dkImport.cpp
//
// Finding the files `dk import` turns into items, their MIME types, and the progress bar. The
// walk leaves out version-control and build folders, so importing a source tree imports the
// sources, not the objects built from them.

#include "dkImport.hpp"
#include "dkCli.hpp"

#include <algorithm>
#include <cctype>
#include <system_error>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace dkcli {

namespace {

struct MimeEntry {
    const char* extension;   // lower case, with the dot
    const char* type;
};

const MimeEntry kMimeTable[] = {
    {".c", "text/x-c"},           {".h", "text/x-c"},
    {".cpp", "text/x-c++"},       {".cc", "text/x-c++"},        {".cxx", "text/x-c++"},
    {".hpp", "text/x-c++"},       {".hh", "text/x-c++"},        {".hxx", "text/x-c++"},
    {".py", "text/x-python"},     {".sh", "text/x-shellscript"}, {".cmake", "text/x-cmake"},
    {".txt", "text/plain"},       {".msg", "text/plain"},       {".properties", "text/plain"},
    {".ini", "text/plain"},       {".in", "text/plain"},        {".cfg", "text/plain"},
    {".md", "text/markdown"},     {".csv", "text/csv"},         {".html", "text/html"},
    {".htm", "text/html"},        {".css", "text/css"},         {".js", "text/javascript"},
    {".json", "application/json"}, {".xml", "application/xml"}, {".yml", "application/yaml"},
    {".yaml", "application/yaml"}, {".pdf", "application/pdf"}, {".zip", "application/zip"},
    {".gz", "application/gzip"},  {".tar", "application/x-tar"}, {".png", "image/png"},
    {".jpg", "image/jpeg"},       {".jpeg", "image/jpeg"},      {".gif", "image/gif"},
    {".svg", "image/svg+xml"},    {".db", "application/vnd.sqlite3"},
};

const char* const kTextNames[] = {"Makefile", "README", "LICENSE", "Dockerfile", "CMakeLists.txt"};

bool isSkippedFolder(const fs::path& dir) {
    const std::string name = dir.filename().string();
    if (name == ".git" || name == "build" || name.rfind("build-", 0) == 0 || name.rfind("cmake-build-", 0) == 0)
        return true;
    std::error_code ec;
    return fs::exists(dir / "CMakeCache.txt", ec);
}

bool sameFile(const fs::path& a, const std::vector<fs::path>& others) {
    for (const fs::path& b : others) {
        std::error_code ec;
        if (fs::equivalent(a, b, ec)) return true;
    }
    return false;
}

}  // namespace

std::string mimeTypeOf(const fs::path& name) {
    const std::string file = name.filename().string();
    for (const char* known : kTextNames)
        if (file == known) return "text/plain";
    std::string ext = name.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    for (const MimeEntry& e : kMimeTable)
        if (ext == e.extension) return e.type;
    return "application/octet-stream";
}

namespace {

void addFile(const fs::path& dir, const fs::path& file, std::vector<ImportFile>& files) {
    struct stat st;
    if (stat(file.c_str(), &st) != 0) return;   // gone since it was listed
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

void walk(const fs::path& root, const fs::path& dir, const std::vector<fs::path>& skipFiles,
          std::vector<ImportFile>& files, std::vector<std::string>& unreadable) {
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec) {
        unreadable.push_back(dir.string());
        return;
    }
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        std::error_code sc;
        // Symbolic links are neither followed nor imported: a link is not a file of this tree.
        if (entry.is_symlink(sc)) continue;
        if (entry.is_directory(sc)) {
            if (!isSkippedFolder(entry.path())) walk(root, entry.path(), skipFiles, files, unreadable);
        } else if (entry.is_regular_file(sc) && !sameFile(entry.path(), skipFiles)) {
            addFile(root, entry.path(), files);
        }
    }
    if (ec) unreadable.push_back(dir.string());
}

}  // namespace

std::vector<ImportFile> collectFiles(const fs::path& dir, const std::vector<fs::path>& skipFiles,
                                     std::vector<std::string>& unreadable) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) throw UsageError("not a folder: " + dir.string(), "import");
    std::vector<ImportFile> files;
    walk(dir, dir, skipFiles, files, unreadable);
    if (files.empty() && !unreadable.empty() && unreadable.front() == dir.string())
        throw UsageError("cannot read the folder " + dir.string(), "import");
    std::sort(files.begin(), files.end(),
              [](const ImportFile& a, const ImportFile& b) { return a.relative < b.relative; });
    return files;
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
