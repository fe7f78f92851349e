// src/platform/os/PSystem.hpp
#pragma once
#include <dk/dkExport.hpp>

#include <cstdint>
#include <ctime>
#include <string>

// System information and file-system calls of the POSIX layer: who and where the process is
// (host, address, user, thread, process, operating system) and the few file operations the log
// manager needs. Stateless apart from a per-thread cache of the thread id; safe on any thread.
// None of these throws: failures give the documented fallback value.
class DK_API PSystem {
public:
    // gethostname; "unknown host" when it fails.
    static std::string hostName();
    // The first address getaddrinfo gives for the host (IPv4 preferred) in numeric form;
    // "unknown ip" when the name does not resolve. May wait for the resolver.
    static std::string ipAddress(const std::string& host);
    // The name of the effective user (getpwuid(geteuid())); "unknown user" when unknown.
    static std::string userName();
    // The kernel's id of the calling thread (gettid), taken once per thread.
    static unsigned long threadId();
    static unsigned long processId();
    // "sysname release version machine" from uname; empty when uname fails.
    static std::string osText();
    // USERPROFILE when set, else HOME, else empty.
    static std::string userProfile();
    // The value of an environment variable, empty when unset.
    static std::string environment(const char* name);
    // The process's current directory; empty when it cannot be found.
    static std::string currentDirectory();
    // The folder that holds libdkcommon.so (links resolved), without a trailing slash; empty
    // when it cannot be found. Connectors and the message catalogue are looked for from there.
    // Used inside the library only (PDynamicLoader::libraryFolder() is the exported answer).
    DK_LOCAL static std::string libraryFolder();
    // The folder of the library's data files (the message catalogue, the MIME table): in an
    // install, the data folder reached from the library's folder by the install's relative path
    // from its library folder to its data folder; in a build tree, the folder that the build
    // names in a file beside the library. Empty when the library's folder is unknown.
    DK_LOCAL static std::string dataFolder();

    // Modification time of a file in nanoseconds since the epoch; 0 when it cannot be examined.
    static std::int64_t modificationTimeNs(const std::string& path);
    // Size of a file in bytes; -1 when it cannot be examined.
    static std::int64_t fileSize(const std::string& path);
    static bool exists(const std::string& path);
    // Makes one directory (not its parents); true when it was made.
    static bool makeDirectory(const std::string& path);
    // Creates every missing directory along a path: each prefix that ends at a '/' or '\'.
    static void makeParentDirectories(const std::string& path);

    // A file opened for appending only (created when missing, closed on exec); -1 on failure.
    static int openAppend(const std::string& path);
    // Writes all bytes (resuming after short writes and interruptions); false on an error.
    static bool writeAll(int fd, const char* data, std::size_t size);
    static void closeFile(int fd);

    static void sleepMillis(int milliseconds);
    // Formats a time as UTC with strftime; returns the length written (0 on failure).
    static std::size_t formatUtc(char* out, std::size_t size, const char* format, std::time_t when);
};
