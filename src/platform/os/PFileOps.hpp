// src/platform/os/PFileOps.hpp
#pragma once
#include <dk/dkExport.hpp>

#include <cstdio>
#include <string>

// The file-system calls behind the safe rewrite of a configuration file: what a path is, a new
// file made exclusively (never one that already exists), flushing to disk, hard links, renames
// and removals. Stateless and safe on any thread. Nothing here throws: each call reports the
// errno value of a failure through its `err` argument (0 on success).
class DK_API PFileOps {
public:
    enum Kind { missing = 0, regular = 1, directory = 2, other = 3, unknown = 4 };

    // What the path names (following links). `unknown` when it cannot be examined for another
    // reason than its absence (err tells why); `mode` receives the permission bits when found.
    static Kind kind(const std::string& path, unsigned& mode, int& err);

    // Creates the file with O_CREAT | O_EXCL (so a name already taken, even by a link, fails with
    // EEXIST) and gives it exactly the permission bits `mode`; opened for binary writing.
    static std::FILE* createExclusive(const std::string& path, unsigned mode, int& err);

    // Flushes the stream and the file's data to the disk.
    static bool sync(std::FILE* file, int& err);

    // A second name for an existing file (link(2)).
    static bool link(const std::string& from, const std::string& to, int& err);

    // rename(2): replaces `to` in one step when it exists.
    static bool rename(const std::string& from, const std::string& to, int& err);

    // Removes a file, or an empty folder; a missing path counts as removed.
    static bool remove(const std::string& path, int& err);
};
