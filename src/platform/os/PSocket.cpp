// src/platform/os/PSocket.cpp
//
// The sockets under the HTTP client. Connects are non-blocking so that a host that never answers
// costs at most the caller's time-out, every wait is a poll with what is left of that time, and
// sends use MSG_NOSIGNAL so that a peer closing early is an error code, not a signal.

#include "platform/os/PSocket.hpp"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

struct Entry {
    int number;
    const char* name;
    const char* text;
};

// Socket codes first, then the file-system ones; a number is listed once.
const Entry kTable[] = {
    {EAI_NONAME, "EAI_NONAME", "The host (key) was not found."},
    {EAI_AGAIN, "EAI_AGAIN", "Nonauthorative host not found; the name service may not be functioning."},
    {EAI_FAIL, "EAI_FAIL", "Nonrecoverable error; the name service may not be functioning."},
    {EAI_NODATA, "EAI_NODATA", "Valid name no data record of the requested type."},
    {EPIPE, "EPIPE", "Disconnect."},
    {EALREADY, "EALREADY", "Operation already in progress."},
    {ENOTSOCK, "ENOTSOCK", "Socket operation on a non-socket."},
    {EDESTADDRREQ, "EDESTADDRREQ", "Destination address required."},
    {EMSGSIZE, "EMSGSIZE", "Message size is too large."},
    {EPROTOTYPE, "EPROTOTYPE", "Protocol invalid for this socket type."},
    {ENOPROTOOPT, "ENOPROTOOPT", "Protocol is unavailable."},
    {EPROTONOSUPPORT, "EPROTONOSUPPORT", "Protocol not supported."},
    {ESOCKTNOSUPPORT, "ESOCKTNOSUPPORT", "Socket type not supported."},
    {EOPNOTSUPP, "EOPNOTSUPP", "Operation not supported on socket."},
    {EPFNOSUPPORT, "EPFNOSUPPORT", "Protocol family not supported."},
    {EAFNOSUPPORT, "EAFNOSUPPORT", "Address family not supported by protocol family."},
    {EADDRINUSE, "EADDRINUSE", "Local address is already in use."},
    {EADDRNOTAVAIL, "EADDRNOTAVAIL", "Remote address or port is not available."},
    {ENETDOWN, "ENETDOWN", "TCP/IP subsystem failed."},
    {ENETUNREACH, "ENETUNREACH", "The network is unreachable."},
    {ENETRESET, "ENETRESET", "Network dropped connection on reset."},
    {ECONNABORTED, "ECONNABORTED", "Session ended by local address due to transmission failure(no acks)."},
    {ECONNRESET, "ECONNRESET", "Session forcefully closed by remote host."},
    {ENOBUFS, "ENOBUFS", "No more buffer space is available."},
    {EISCONN, "EISCONN", "The socket is already connected."},
    {ENOTCONN, "ENOTCONN", "The socket is not connected."},
    {ESHUTDOWN, "ESHUTDOWN", "Cannot send after socket shutdown."},
    {ETOOMANYREFS, "ETOOMANYREFS", "Too many references; cannot splice."},
    {ETIMEDOUT, "ETIMEDOUT", "Connection timed out or session dropped because of remote failure."},
    {ECONNREFUSED, "ECONNREFUSED", "Remote address forcefully rejected connection request."},
    {ELOOP, "ELOOP", "Too many levels of symbolic links."},
    {ENAMETOOLONG, "ENAMETOOLONG", "File name is too long."},
    {EHOSTDOWN, "EHOSTDOWN", "The host is down."},
    {EHOSTUNREACH, "EHOSTUNREACH", "No route to the host."},
    {ENOTEMPTY, "ENOTEMPTY", "ENOTEMPTY"},
    {EUSERS, "EUSERS", "EUSERS"},
    {EDQUOT, "EDQUOT", "EDQUOT"},
    {ESTALE, "ESTALE", "ESTALE"},
    {EREMOTE, "EREMOTE", "EREMOTE"},
    {EINPROGRESS, "EINPROGRESS", "A blocking function is in progress."},
    {EFAULT, "EFAULT", "Bad address."},
    {EINVAL, "EINVAL", "Invalid argument."},
    {EMFILE, "EMFILE", "Out of socket descriptors."},
    {EWOULDBLOCK, "EWOULDBLOCK", "Socket marked as nonblocking; but can not be done immediately."},
    {EACCES, "EACCES", "Attempt to use broadcast address; but SO_BROADCAST is not enabled."},
    {EINTR, "EINTR", "Interrupted system call / canceled by WSACancelBlockingCall."},
    {EBADF, "EBADF", "Bad file descriptor."},
    {ESPIPE, "ESPIPE", "The file pointer cannot be set to the specified device or file."},
    {-1, "unrecoverable", "Unknown"},
    {ENOENT, "ENOENT", "The system cannot file the file specified."},
    {ENOTDIR, "ENOTDIR", "The system cannot find the specified path."},
    {ENFILE, "ENFILE", "The System cannot open anymore files."},
    {EPERM, "EPERM", "Access denied."},
    {ENOMEM, "ENOMEM", "Not enough storage is available to process this command."},
    {EROFS, "EROFS", "The media is write protected."},
    {ENXIO, "ENXIO", "The system cannot find the device specified."},
    {ENOMEDIUM, "ENOMEDIUM", "The device is not ready."},
    {ENODATA, "ENODATA", "The end of file was reached."},
    {EFBIG, "EFBIG", "The disk is full."},
    {EEXIST, "EEXIST", "The file already exists."},
    {ENOSPC, "ENOSPC", "There is not enough space on the disk."},
    {EUCLEAN, "EUCLEAN", "The file or directory is corrupt and unreachable."},
    {ETXTBSY, "ETXTBSY", "Invalid operation on a file with a user-mapped section opened."},
    {EIO, "EIO", "The request failed because of an I/O device error."},
    {ENODEV, "ENODEV", "The specified device name is invalid."},
    {EISDIR, "EISDIR", "The directory name is invalid."},
    {EBUSY, "EBUSY", "The requested resource is in use."},
};

const Entry* find(int number) {
    for (const Entry& e : kTable)
        if (e.number == number) return &e;
    return nullptr;
}

}  // namespace

const char* PSocket::errorName(int error) {
    const Entry* e = find(error);
    return e != nullptr ? e->name : "Unknown";
}

const char* PSocket::errorText(int error) {
    const Entry* e = find(error);
    return e != nullptr ? e->text : "Unknown";
}

PSocket::~PSocket() { close(); }

long long PSocket::nowMs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void PSocket::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    pos_ = end_ = 0;
}

bool PSocket::waitFor(short events, int timeoutMs) {
    const long long deadline = timeoutMs < 0 ? -1 : nowMs() + timeoutMs;
    for (;;) {
        int left = -1;
        if (deadline >= 0) {
            const long long rest = deadline - nowMs();
            left = rest > 0 ? static_cast<int>(rest) : 0;
        }
        struct pollfd p = {fd_, events, 0};
        const int n = ::poll(&p, 1, left);
        if (n > 0) return true;
        if (n == 0) {
            error_ = ETIMEDOUT;
            return false;
        }
        if (errno != EINTR) {
            error_ = errno;
            return false;
        }
    }
}

bool PSocket::connect(const std::string& host, int port, int timeoutMs) {
    close();
    const long long deadline = timeoutMs < 0 ? -1 : nowMs() + timeoutMs;
    struct addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV;
    struct addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (rc != 0) {
        error_ = rc == EAI_SYSTEM ? errno : rc;
        return false;
    }
    error_ = EHOSTUNREACH;
    for (struct addrinfo* a = found; a != nullptr && fd_ < 0; a = a->ai_next) {
        fd_ = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd_ < 0) {
            error_ = errno;
            continue;
        }
        bool up = ::connect(fd_, a->ai_addr, a->ai_addrlen) == 0;
        if (!up && errno == EINPROGRESS) {
            const long long rest = deadline < 0 ? -1 : deadline - nowMs();
            if (waitFor(POLLOUT, rest < 0 && deadline >= 0 ? 0 : static_cast<int>(rest))) {
                int soError = 0;
                socklen_t len = sizeof soError;
                ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &soError, &len);
                up = soError == 0;
                if (!up) error_ = soError;
            }
        } else if (!up) {
            error_ = errno;
        }
        if (!up) {
            ::close(fd_);
            fd_ = -1;
            if (error_ == ETIMEDOUT) break;   // the time is spent: no further address is tried
        }
    }
    ::freeaddrinfo(found);
    if (fd_ < 0) return false;
    const int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    error_ = 0;
    return true;
}

bool PSocket::sendAll(const char* data, std::size_t size, int timeoutMs) {
    const long long deadline = timeoutMs < 0 ? -1 : nowMs() + timeoutMs;
    while (size > 0) {
        const ssize_t n = ::send(fd_, data, size, MSG_NOSIGNAL);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const long long rest = deadline < 0 ? -1 : deadline - nowMs();
            if (!waitFor(POLLOUT, deadline >= 0 && rest < 0 ? 0 : static_cast<int>(rest))) return false;
            continue;
        }
        error_ = n < 0 ? errno : EPIPE;
        return false;
    }
    return true;
}

long PSocket::receive(char* data, std::size_t size, int timeoutMs) {
    for (;;) {
        const ssize_t n = ::recv(fd_, data, size, 0);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            error_ = errno;
            return -1;
        }
        if (!waitFor(POLLIN, timeoutMs)) return -1;
    }
}

int PSocket::refill(int timeoutMs) {
    pos_ = end_ = 0;
    const long n = receive(buffer_, kBufferSize, timeoutMs);
    if (n <= 0) return n == 0 ? -2 : -1;
    end_ = static_cast<std::size_t>(n);
    return static_cast<unsigned char>(buffer_[pos_++]);
}

long PSocket::read(char* data, std::size_t size, int timeoutMs) {
    if (pos_ < end_) {
        const std::size_t n = end_ - pos_ < size ? end_ - pos_ : size;
        std::memcpy(data, buffer_ + pos_, n);
        pos_ += n;
        return static_cast<long>(n);
    }
    return receive(data, size, timeoutMs);
}
