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
