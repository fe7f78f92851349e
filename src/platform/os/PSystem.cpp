// src/platform/os/PSystem.cpp
//
// The system calls behind the log manager: names of the host, user and process for the log's
// error blocks and header, and the file checks of the configuration watcher and the log file
// name; also the folder of the library itself, where connectors and the message catalogue are
// looked for, and the folder of its data files. Everything here answers with a fallback value
// instead of failing.

#include "platform/os/PSystem.hpp"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

namespace {
// An object inside this library, for dladdr: the address of an exported function could be a
// stub in the executable instead.
const char libraryAnchor = 0;

// The relative path from the install's library folder to the library's data folder
// ("../share/dk", or "../../share/dk" under a multiarch library folder), fixed when the build is
// configured (DK_DATADIR_FROM_LIBDIR), so that an install tree can be moved as a whole.

// A build tree is no install: it writes the absolute path of its data folder into this file beside
// the library. The file is never installed, so an installed library holds no path of the build.
constexpr const char* kBuildDataPointer = "dkcommon-build-datadir";
}  // namespace

std::string PSystem::hostName() {
    char name[256];
    if (gethostname(name, sizeof name) != 0) return "unknown host";
    name[sizeof name - 1] = '\0';
    return name[0] ? std::string(name) : std::string("unknown host");
}

std::string PSystem::ipAddress(const std::string& host) {
    for (int family : {AF_INET, AF_UNSPEC}) {
        addrinfo hints{};
        hints.ai_family = family;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) continue;
        char text[INET6_ADDRSTRLEN] = "";
        const void* addr = nullptr;
        if (found->ai_family == AF_INET)
            addr = &reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
        else if (found->ai_family == AF_INET6)
            addr = &reinterpret_cast<sockaddr_in6*>(found->ai_addr)->sin6_addr;
        bool ok = addr && inet_ntop(found->ai_family, addr, text, sizeof text) != nullptr;
        freeaddrinfo(found);
        if (ok) return text;
    }
    return "unknown ip";
}

std::string PSystem::userName() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* result = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result && result->pw_name &&
        result->pw_name[0])
        return result->pw_name;
    return "unknown user";
}

unsigned long PSystem::threadId() {
    thread_local unsigned long id = static_cast<unsigned long>(syscall(SYS_gettid));
    return id;
}

unsigned long PSystem::processId() { return static_cast<unsigned long>(getpid()); }

std::string PSystem::osText() {
    utsname u{};
    if (uname(&u) != 0) return std::string();
    std::string text = u.sysname;
    text += ' ';
    text += u.release;
    text += ' ';
    text += u.version;
    text += ' ';
    text += u.machine;
    return text;
}

std::string PSystem::userProfile() {
    const char* v = std::getenv("USERPROFILE");
    if (!v) v = std::getenv("HOME");
    return v ? std::string(v) : std::string();
}

std::string PSystem::environment(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string PSystem::currentDirectory() {
    std::vector<char> buffer(1024);
    for (;;) {
        if (getcwd(buffer.data(), buffer.size())) return buffer.data();
        if (errno != ERANGE || buffer.size() > (1u << 20)) return std::string();
        buffer.resize(buffer.size() * 2);
    }
}

std::string PSystem::libraryFolder() {
    Dl_info info{};
    if (dladdr(&libraryAnchor, &info) == 0 || info.dli_fname == nullptr) return std::string();
    std::string path = info.dli_fname;
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) != nullptr) path = resolved;
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string PSystem::dataFolder() {
    const std::string folder = libraryFolder();
    if (folder.empty()) return folder;
    std::ifstream pointer(folder + "/" + kBuildDataPointer);
    std::string line;
    if (pointer && std::getline(pointer, line) && !line.empty() && line[0] == '/') return line;
    return folder + "/" + DK_DATADIR_FROM_LIBDIR;
}

std::int64_t PSystem::modificationTimeNs(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return 0;
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

std::int64_t PSystem::fileSize(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

bool PSystem::exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

bool PSystem::makeDirectory(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

void PSystem::makeParentDirectories(const std::string& path) {
    for (std::size_t i = 1; i < path.size(); ++i) {
        if (path[i] != '/' && path[i] != '\\') continue;
        std::string prefix = path.substr(0, i);
        if (!exists(prefix)) makeDirectory(prefix);
    }
}

int PSystem::openAppend(const std::string& path) {
    int fd;
    do fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    return fd;
}

bool PSystem::writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void PSystem::closeFile(int fd) {
    if (fd >= 0) close(fd);
}

void PSystem::sleepMillis(int milliseconds) {
    if (milliseconds <= 0) return;
    timespec t{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

std::size_t PSystem::formatUtc(char* out, std::size_t size, const char* format, std::time_t when) {
    std::tm parts{};
    if (!gmtime_r(&when, &parts)) return 0;
    return std::strftime(out, size, format, &parts);
}
