// src/platform/os/PFileOps.cpp
//
// The POSIX calls that let a configuration file be rewritten without ever leaving its reader
// with a half-written or missing file: exclusive creation of the temporary file, fsync before
// it replaces the original, and link/rename for the backup and the swap.

#include "platform/os/PFileOps.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>

PFileOps::Kind PFileOps::kind(const std::string& path, unsigned& mode, int& err) {
    struct stat st;
    mode = 0;
    if (::stat(path.c_str(), &st) != 0) {
        err = errno;
        return err == ENOENT || err == ENOTDIR ? missing : unknown;
    }
    err = 0;
    mode = static_cast<unsigned>(st.st_mode & 07777);
    if (S_ISREG(st.st_mode)) return regular;
    if (S_ISDIR(st.st_mode)) return directory;
    return other;
}

std::FILE* PFileOps::createExclusive(const std::string& path, unsigned mode, int& err) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode & 07777);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        err = errno;
        return nullptr;
    }
    // The umask may have taken bits away; the new file is to look like the one it replaces.
    // A failure is not fatal: the file is still usable with the umask's bits.
    (void)::fchmod(fd, mode & 07777);
    std::FILE* f = ::fdopen(fd, "wb");
    if (f == nullptr) {
        err = errno;
        ::close(fd);
        ::unlink(path.c_str());
        return nullptr;
    }
    err = 0;
    return f;
}

bool PFileOps::sync(std::FILE* file, int& err) {
    if (std::fflush(file) != 0 || std::ferror(file)) {
        err = errno ? errno : EIO;
        return false;
    }
    int rc;
    do {
        rc = ::fsync(::fileno(file));
    } while (rc != 0 && errno == EINTR);
    // Some file systems (pipes, special files) cannot sync; the data is written all the same.
    if (rc != 0 && errno != EINVAL && errno != EROFS) {
        err = errno;
        return false;
    }
    err = 0;
    return true;
}

bool PFileOps::link(const std::string& from, const std::string& to, int& err) {
    if (::link(from.c_str(), to.c_str()) != 0) {
        err = errno;
        return false;
    }
    err = 0;
    return true;
}

bool PFileOps::rename(const std::string& from, const std::string& to, int& err) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        err = errno;
        return false;
    }
    err = 0;
    return true;
}

bool PFileOps::remove(const std::string& path, int& err) {
    if (::unlink(path.c_str()) == 0) {
        err = 0;
        return true;
    }
    int e = errno;
    if (e == ENOENT) {
        err = 0;
        return true;
    }
    // unlink of a folder fails with EISDIR (or EPERM on some systems); rmdir says why it stays.
    if (e == EISDIR || e == EPERM) {
        if (::rmdir(path.c_str()) == 0) {
            err = 0;
            return true;
        }
        e = errno;
    }
    err = e;
    return false;
}
