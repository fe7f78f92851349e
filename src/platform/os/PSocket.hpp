// src/platform/os/PSocket.hpp
#pragma once
#include <dk/dkExport.hpp>

#include <cstddef>
#include <string>

// A client TCP connection of the POSIX layer: name resolution with getaddrinfo, a connect bounded
// by a deadline, sends that never raise SIGPIPE and buffered receives that wait with poll. Owns its
// descriptor; one thread at a time. Nothing here throws: a failure returns false (or -1) and keeps
// its code in error(), an errno value, or a negative EAI_* value when the name did not resolve.
class DK_API PSocket {
public:
    PSocket() = default;
    ~PSocket();
    PSocket(const PSocket&) = delete;
    PSocket& operator=(const PSocket&) = delete;

    // Resolves host and connects to port, trying each address until one answers, all within
    // timeoutMs (a negative value waits for ever). Closes a connection held before.
    bool connect(const std::string& host, int port, int timeoutMs);
    // Sends every byte within timeoutMs in all.
    bool sendAll(const char* data, std::size_t size, int timeoutMs);
    // Up to size bytes, waiting at most timeoutMs for the first of them: the count, 0 at the end
    // of the stream, -1 on an error (ETIMEDOUT when nothing came in time).
    long receive(char* data, std::size_t size, int timeoutMs);
    // One byte from the receive buffer, refilled as needed: the byte, -2 at the end of the stream,
    // -1 on an error as for receive.
    int getByte(int timeoutMs) {
        if (pos_ < end_) return static_cast<unsigned char>(buffer_[pos_++]);
        return refill(timeoutMs);
    }
    // Takes up to size bytes, those already buffered first; results as for receive.
    long read(char* data, std::size_t size, int timeoutMs);
    void close();

    int descriptor() const { return fd_; }
    int error() const { return error_; }
    // The symbolic name (at most 24 characters) and the text of an error code of this class or
    // of the file calls: errno values, negative EAI_* values, and -1 ("unrecoverable");
    // "Unknown" for any other.
    static const char* errorName(int error);
    static const char* errorText(int error);
    // The milliseconds of a monotonic clock, for callers that keep a deadline over many calls.
    static long long nowMs();

private:
    int refill(int timeoutMs);
    bool waitFor(short events, int timeoutMs);

    int fd_ = -1;
    int error_ = 0;
    static constexpr std::size_t kBufferSize = 65536;
    char buffer_[kBufferSize];
    std::size_t pos_ = 0, end_ = 0;
};
