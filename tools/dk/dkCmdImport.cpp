// tools/dk/dkCmdImport.cpp
//
// `dk import REPO SOURCE...`: keeps the repository's document items of each folder in step with
// the files. Items are matched to files by their path under the same root (DIR as an absolute
// path): a new file adds an item, a file whose size or modification time changed updates its
// item, the others are left alone, and with --delete-missing the items of files that are gone are
// deleted. A SOURCE that is an http:// or file:// URL is fetched with DKURL and kept as one item
// whose filename is the URL (root empty). Each source is one transaction, checked for damage
// before it commits.

#include "dkCommands.hpp"
#include "dkDocument.hpp"
#include "dkImport.hpp"
#include "dkValues.hpp"

#include <dk/DKDDO.hpp>
#include <dk/DKDate.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/DKURL.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkResultSetCursor.hpp>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <unordered_map>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace dkcli {

namespace {

constexpr short kSql = 4;

// A file's time as the repository keeps it: a server keeps microseconds (and refuses finer
// values), so the nanoseconds are cut there, and compared cut on the next import.
DKTimestamp utcTimestamp(std::time_t seconds, long nanos, const Repository& repo) {
    if (repo.onServer()) nanos -= nanos % 1000;
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    return DKTimestamp(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                       static_cast<int>(nanos));
}

// What the repository holds of one file already imported from the same root.
struct Known {
    std::string id;
    long size = -1;
    std::string modified;   // the printed form, compared as text
    bool seen = false;
};

std::unordered_map<std::string, Known> knownItems(dkDatastore& ds, const std::string& root) {
    DKNVPair params[] = {DKNVPair(":root", DKAny(DKString(root))), DKNVPair("")};
    std::unique_ptr<dkResultSetCursor> cursor(
        ds.execute("SELECT dk_id, filename, size, modified FROM document WHERE root = :root", kSql, params));
    std::unordered_map<std::string, Known> known;
    while (std::unique_ptr<DKDDO> row{cursor->fetchNext()}) {
        Known k;
        k.id = row->getPid().getPrimaryId().c_str();
        const DKAny size = row->getData(row->dataId("size"));
        if (!size.isNull()) k.size = static_cast<long>(size);
        k.modified = textOf(row->getData(row->dataId("modified")));
        known.emplace(textOf(row->getData(row->dataId("filename"))), std::move(k));
    }
    cursor->close();
    return known;
}

void setFileData(DKDDO& item, const ImportFile& f, const DKAny& modified) {
    item.setData(item.dataId("title"), DKAny(DKString(f.title)));
    item.setData(item.dataId("size"), DKAny(static_cast<long>(f.size)));
    item.setData(item.dataId("modified"), modified);
    item.setData(item.dataId("mimetype"), DKAny(DKString(f.mimeType)));
}

std::string skippedText(const WalkResult& w) {
    if (w.skippedFolders + w.skippedFiles == 0) return "nothing";
    std::string text = plural(w.skippedFolders, "folder", "folders") + " and " + plural(w.skippedFiles, "file", "files");
    if (w.firstSkipped.empty()) return text;
    text += " (";
    for (std::size_t i = 0; i < w.firstSkipped.size(); ++i) text += (i ? ", " : "") + terminalSafe(w.firstSkipped[i]);
    if (w.skippedFolders + w.skippedFiles > w.firstSkipped.size()) text += ", ...";
    return text + ")";
}

// A source with a scheme ("http://...", "file://..."); DKURL refuses the schemes it cannot fetch.
bool isUrl(const std::string& source) {
    const std::size_t colon = source.find("://");
    return colon != std::string::npos && colon > 0 &&
           source.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ") == colon;
}

// One URL as one item, matched by its text among the items without a root; it is updated when
// its size changed. Modified is the file's time for file URLs, the time of the fetch otherwise.
void importUrl(Repository& repo, dkDatastore& ds, const std::string& url) {
    DKURL u(url.c_str());
    u.getContentToBuffer();
    ImportFile f;
    f.path = u.getFile().str();
    f.title = f.path.stem().string();
    f.size = u.getContentLength();
    f.mimeType = mimeTypeOf(f.path);
    struct timespec when;
    struct stat st;
    if (u.getProtocol() == "file" && stat(f.path.c_str(), &st) == 0) when = st.st_mtim;
    else clock_gettime(CLOCK_REALTIME, &when);
    f.modified = when.tv_sec;
    f.modifiedNanos = when.tv_nsec;
    std::unordered_map<std::string, Known> known = knownItems(ds, "");
    const auto k = known.find(url);
    const char* what = "unchanged";
    Transaction tx(repo);
    if (k == known.end()) {
        std::unique_ptr<DKDDO> item(ds.createDDO(kDocument, 0));
        setFileData(*item, f, DKAny(utcTimestamp(f.modified, f.modifiedNanos, repo)));
        item->setData(item->dataId("filename"), DKAny(DKString(url)));
        item->setData(item->dataId("root"), DKAny(DKString("")));
        item->add();
        what = "added";
    } else if (k->second.size != static_cast<long>(f.size)) {
        std::unique_ptr<DKDDO> item = repo.itemOf(kDocument, k->second.id);
        setFileData(*item, f, DKAny(utcTimestamp(f.modified, f.modifiedNanos, repo)));
        item->update();
        what = "updated";
    }
    tx.commit();
    std::cout << "imported " << terminalSafe(url) << ": " << f.size << " bytes, " << what << "\n";
}

void importFolder(const Options& o, RepositoryRef& repo, const fs::path& dir);

}  // namespace

int runImport(const Options& o, Repository* shared) {
    std::error_code ec;
    for (std::size_t i = 1; i < o.args.size(); ++i)
        if (!isUrl(o.args[i]) && !fs::is_directory(o.args[i], ec))
            throw UsageError("not a folder: " + o.args[i], "import");
    RepositoryRef repo(o, shared, false);
    completeDocumentEntity(repo->datastore());
    for (std::size_t i = 1; i < o.args.size(); ++i) {
        if (isUrl(o.args[i])) importUrl(*repo, repo->datastore(), o.args[i]);
        else importFolder(o, repo, o.args[i]);
    }
    return kExitOk;
}

namespace {

void importFolder(const Options& o, RepositoryRef& repo, const fs::path& dir) {
    const std::string& file = o.args[0];
    std::error_code ec;
    const std::string root = fs::weakly_canonical(fs::absolute(dir), ec).string();

    WalkRules rules;
    rules.excludes = o.excludes;
    rules.defaultExcludes = !o.noDefaultExcludes;
    // The repository's own files may lie inside the imported folder; they are not documents.
    rules.ownFiles = {file, file + "-journal", file + "-wal", file + "-shm"};
    const WalkResult walk = collectFiles(dir, rules);
    for (std::size_t i = 0; i < walk.unreadable.size() && i < WalkResult::kNamedSkips; ++i)
        std::cerr << "dk: skipped a folder that cannot be read: " << terminalSafe(walk.unreadable[i]) << "\n";
    if (walk.unreadable.size() > WalkResult::kNamedSkips)
        std::cerr << "dk: and " << walk.unreadable.size() - WalkResult::kNamedSkips << " more folders that cannot be read\n";

    dkDatastore& ds = repo->datastore();
    std::unordered_map<std::string, Known> known = knownItems(ds, root);

    const bool terminal = isatty(STDERR_FILENO) == 1;
    if (!terminal)
        std::cout << "found " << plural(walk.files.size(), "file", "files") << " under " << terminalSafe(dir.string())
                  << "\n";
    std::size_t added = 0, updated = 0, unchanged = 0, removed = 0, missing = 0;
    Progress progress(stderr, walk.files.size(), terminal);
    {
        Transaction tx(*repo);
        try {
            const DKAny rootValue{DKString(root)};
            for (std::size_t i = 0; i < walk.files.size(); ++i) {
                const ImportFile& f = walk.files[i];
                const DKAny modified(utcTimestamp(f.modified, f.modifiedNanos, *repo));
                auto k = known.find(f.relative);
                if (k == known.end()) {
                    std::unique_ptr<DKDDO> item(ds.createDDO(kDocument, 0));
                    setFileData(*item, f, modified);
                    item->setData(item->dataId("filename"), DKAny(DKString(f.relative)));
                    item->setData(item->dataId("root"), rootValue);
                    item->add();
                    storeFileContent(*repo, kDocument, std::strtol(item->getPid().getPrimaryId().c_str(), nullptr, 10),
                                     f.path.string(), f.mimeType);
                    ++added;
                } else {
                    k->second.seen = true;
                    if (k->second.size == static_cast<long>(f.size) && k->second.modified == textOf(modified)) {
                        ++unchanged;
                    } else {
                        std::unique_ptr<DKDDO> item = repo->itemOf(kDocument, k->second.id);
                        setFileData(*item, f, modified);
                        item->update();
                        storeFileContent(*repo, kDocument, std::strtol(k->second.id.c_str(), nullptr, 10),
                                         f.path.string(), f.mimeType);
                        ++updated;
                    }
                }
                progress.step(i + 1);
            }
            for (auto& [name, k] : known) {
                if (k.seen) continue;
                if (!o.deleteMissing) {
                    ++missing;
                    continue;
                }
                repo->itemOf(kDocument, k.id)->del();
                ++removed;
            }
            tx.commit();
        } catch (...) {
            progress.finish();
            throw;
        }
    }
    progress.finish();
    std::cout << "imported " << terminalSafe(dir.string()) << " into " << terminalSafe(file) << ": " << added
              << " added, " << updated << " updated, " << unchanged << " unchanged, " << removed << " removed\n";
    std::cout << "left out " << skippedText(walk) << "\n";
    if (missing > 0)
        std::cout << plural(missing, "item", "items") << " of files that are gone kept (--delete-missing removes them)\n";
}

}  // namespace

}  // namespace dkcli
