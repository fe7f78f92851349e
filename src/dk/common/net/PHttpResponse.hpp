// src/dk/common/net/PHttpResponse.hpp
#pragma once
#include <dk/dkExport.hpp>

#include <cstddef>
#include <string>

// Where the bytes of an HTTP answer come from: the socket of a fetch, or memory (the fuzz target).
// getByte returns a byte or -2 at the end; read returns a count, 0 at the end. A source that
// fails throws its own error. headerDone tells it that the header's overall deadline is over.
class DK_API PHttpSource {
public:
    virtual ~PHttpSource();
    virtual int getByte() = 0;
    virtual long read(char* data, std::size_t size) = 0;
    virtual void headerDone() {}
};

// Where the decoded body goes. write may throw (a full disk).
class DK_API PHttpSink {
public:
    virtual ~PHttpSink();
    virtual void write(const char* data, std::size_t size) = 0;
};

// One HTTP answer read from a source: the header (status line, lengths, encodings), then the body
// decoded (chunked, gzip, deflate) into a sink, at most maxContent bytes. Bad answers throw
// DKUsageError 370 with a detail that names the fault; nothing read is stored undecoded. One use.
class DK_API PHttpResponse {
public:
    static constexpr std::size_t kMaxLine = 512;               // longer header lines are cut
    static constexpr std::size_t kMaxHeader = 64 * 1024;       // the whole header, in bytes

    PHttpResponse(PHttpSource& source, unsigned long maxContent);

    // Reads up to the empty line (or a line holding "</HTML>"). A status that is not good does
    // not throw here; a bad length or encoding, a header too large or one cut short does.
    void readHeader();
    // A status line "HTTP/1.x 2NN" whose reason holds "OK" or "ok", or is empty.
    bool good() const { return good_; }
    int status() const { return status_; }
    const std::string& statusLine() const { return statusLine_; }
    // The Content-Length given, or -1.
    long long declaredLength() const { return declared_; }
    // The body, decoded; returns the bytes delivered to the sink.
    unsigned long readBody(PHttpSink& sink);

    // One header line: at most kMaxLine characters, the rest up to LF dropped, LF and a CR
    // before it removed. False at the end of the source with nothing read.
    bool readLine(std::string& line);

private:
    enum Coding { identity, gzip, deflate };
    void headerField(const std::string& line);
    void readExact(unsigned long long size, class PHttpDecoder& out);
    unsigned long long chunkSize();

    PHttpSource& source_;
    unsigned long maxContent_;
    std::string statusLine_;
    int status_ = 0;
    bool good_ = false;
    long long declared_ = -1;
    bool chunked_ = false;
    Coding coding_ = identity;
    std::size_t headerBytes_ = 0;
    unsigned long long received_ = 0;   // raw body bytes taken from the source
};
