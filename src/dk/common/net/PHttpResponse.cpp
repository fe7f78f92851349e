// src/dk/common/net/PHttpResponse.cpp
//
// Reading one HTTP answer without trusting it: header lines are bounded in length and in total,
// lengths must be plain digits and agree, and the body is decoded (chunked framing, then gzip or
// deflate through zlib) into the sink with the decoded size bounded. Every fault is a 370 that
// says what was wrong; no byte of a malformed body is handed on as if it were content.

#include "dk/common/net/PHttpResponse.hpp"

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <zlib.h>

#include <cctype>
#include <cstring>
#include <string>

namespace {

constexpr const char* kSource = "dk/common/DKURL";
constexpr const char* kFunction = "DKURL::initConnection";

[[noreturn]] void bad(const char* what) {
    dkThrow<DKUsageError>(370, kSource, kFunction, DKString(" DKURL::initConnection():") + what);
}

bool startsWithNoCase(const std::string& line, const char* prefix) {
    const std::size_t n = std::strlen(prefix);
    if (line.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(line[i])) != prefix[i]) return false;
    return true;
}

std::string trimmed(const std::string& s, std::size_t from) {
    std::size_t b = from, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

}  // namespace

PHttpSource::~PHttpSource() = default;
PHttpSink::~PHttpSink() = default;

// The body's content coding between the framing and the sink: identity passes bytes on, gzip
// and deflate inflate them. "deflate" is taken with a zlib wrapper when its first two bytes form
// a zlib header and raw otherwise, as servers send both. Counts what it delivers.
class PHttpDecoder {
public:
    PHttpDecoder(int coding, PHttpSink& sink, unsigned long max) : coding_(coding), sink_(sink), max_(max) {}
    ~PHttpDecoder() {
        if (started_) inflateEnd(&z_);
    }
    PHttpDecoder(const PHttpDecoder&) = delete;
    PHttpDecoder& operator=(const PHttpDecoder&) = delete;

    void write(const char* data, std::size_t size) {
        if (coding_ == 0) return deliver(data, size);
        if (!started_) {
            head_.append(data, size);
            if (head_.size() < 2) return;
            start();
            const std::string head = std::move(head_);
            return inflateSome(head.data(), head.size());
        }
        inflateSome(data, size);
    }

    // The body has ended: a compressed one must have reached its end.
    void finish() {
        if (coding_ == 0) return;
        if (!started_ && head_.empty()) return;   // an empty body stays empty
        if (!started_) start(), inflateSome(head_.data(), head_.size());
        if (!ended_) bad("BadContentEncoding");
    }
    unsigned long delivered() const { return delivered_; }

private:
    void deliver(const char* data, std::size_t size) {
        if (size > max_ - delivered_) bad("ContentTooLarge");
        delivered_ += size;
        if (size > 0) sink_.write(data, size);
    }

    void start() {
        std::memset(&z_, 0, sizeof z_);
        int bits = 15 + 16;   // gzip
        if (coding_ == 2) {
            const unsigned b0 = static_cast<unsigned char>(head_[0]), b1 = static_cast<unsigned char>(head_[1]);
            bits = (b0 & 0x0f) == 8 && (b0 >> 4) <= 7 && (b0 * 256 + b1) % 31 == 0 ? 15 : -15;
        }
        if (inflateInit2(&z_, bits) != Z_OK) bad("BadContentEncoding");
        started_ = true;
    }

    void inflateSome(const char* data, std::size_t size) {
        if (size == 0) return;
        if (ended_) bad("BadContentEncoding");   // bytes after the end of the stream
        char out[65536];
        z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
        z_.avail_in = static_cast<uInt>(size);
        while (z_.avail_in > 0 || z_.avail_out == 0) {
            z_.next_out = reinterpret_cast<Bytef*>(out);
            z_.avail_out = sizeof out;
            const int rc = inflate(&z_, Z_NO_FLUSH);
            if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) bad("BadContentEncoding");
            deliver(out, sizeof out - z_.avail_out);
            if (rc == Z_STREAM_END) {
                ended_ = true;
                if (z_.avail_in > 0) bad("BadContentEncoding");
                return;
            }
            if (rc == Z_BUF_ERROR && z_.avail_out != 0) return;
        }
    }

    int coding_;
    PHttpSink& sink_;
    unsigned long max_;
    unsigned long delivered_ = 0;
    z_stream z_;
    bool started_ = false, ended_ = false;
    std::string head_;
};

PHttpResponse::PHttpResponse(PHttpSource& source, unsigned long maxContent)
    : source_(source), maxContent_(maxContent) {}

bool PHttpResponse::readLine(std::string& line) {
    line.clear();
    bool any = false;
    for (;;) {
        const int c = source_.getByte();
        if (c == -2) return any;
        any = true;
        if (++headerBytes_ > kMaxHeader) bad("HeaderTooLarge");
        if (c == '\n') break;
        if (line.size() < kMaxLine) line += static_cast<char>(c);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

void PHttpResponse::readHeader() {
    if (!readLine(statusLine_)) bad("BadResponse");
    // "HTTP/1.x NNN" with an optional reason after one blank.
    const std::string& s = statusLine_;
    const bool formed = s.size() >= 12 && s.compare(0, 7, "HTTP/1.") == 0 && s[7] >= '0' && s[7] <= '9' &&
                        s[8] == ' ' && std::isdigit(static_cast<unsigned char>(s[9])) &&
                        std::isdigit(static_cast<unsigned char>(s[10])) &&
                        std::isdigit(static_cast<unsigned char>(s[11])) && (s.size() == 12 || s[12] == ' ');
    if (formed) {
        status_ = std::stoi(s.substr(9, 3));
        const std::string reason = s.size() > 13 ? s.substr(13) : std::string();
        good_ = status_ >= 200 && status_ < 300 &&
                (trimmed(reason, 0).empty() || reason.find("OK") != std::string::npos ||
                 reason.find("ok") != std::string::npos);
    }
    std::string line;
    for (;;) {
        if (!readLine(line)) bad("HeaderCutShort");
        if (line.empty()) break;
        headerField(line);
        if (line.find("</HTML>") != std::string::npos) break;
    }
    source_.headerDone();
}

void PHttpResponse::headerField(const std::string& line) {
    if (startsWithNoCase(line, "content-length:")) {
        const std::string v = trimmed(line, 15);
        if (v.empty() || v.size() > 18 || v.find_first_not_of("0123456789") != std::string::npos)
            bad("BadContentLength");
        const long long n = std::stoll(v);
        if (declared_ >= 0 && declared_ != n) bad("BadContentLength");
        if (static_cast<unsigned long long>(n) > maxContent_) bad("ContentTooLarge");
        declared_ = n;
    } else if (startsWithNoCase(line, "transfer-encoding:")) {
        const std::string v = lower(trimmed(line, 18));
        if (v == "chunked") chunked_ = true;
        else if (v != "identity") bad("BadTransferEncoding");
    } else if (startsWithNoCase(line, "content-encoding:")) {
        const std::string v = lower(trimmed(line, 17));
        if (v == "gzip" || v == "x-gzip") coding_ = gzip;
        else if (v == "deflate") coding_ = deflate;
        else if (!v.empty() && v != "identity") bad("BadContentEncoding");
    }
}

void PHttpResponse::readExact(unsigned long long size, PHttpDecoder& out) {
    char buf[65536];
    while (size > 0) {
        const long n = source_.read(buf, size < sizeof buf ? static_cast<std::size_t>(size) : sizeof buf);
        if (n <= 0)
            dkThrow<DKUsageError>(370, kSource, "DKURL::readBody",
                                  DKString(" DKURL::readBody():BodyCutShort [Bytes received] ") +
                                      DKString(static_cast<unsigned long>(received_)));
        received_ += static_cast<unsigned long long>(n);
        size -= static_cast<unsigned long long>(n);
        out.write(buf, static_cast<std::size_t>(n));
    }
}

// A chunk-size line: hexadecimal digits, then optionally extensions after ';'.
unsigned long long PHttpResponse::chunkSize() {
    std::string line;
    headerBytes_ = 0;   // chunk lines are bounded like header lines
    if (!readLine(line)) bad("BadChunk");
    std::size_t i = 0;
    unsigned long long n = 0;
    while (i < line.size() && std::isxdigit(static_cast<unsigned char>(line[i]))) {
        if (i >= 15) bad("BadChunk");
        const char c = line[i++];
        n = n * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    }
    const std::string rest = trimmed(line, i);
    if (i == 0 || (!rest.empty() && rest[0] != ';')) bad("BadChunk");
    return n;
}

unsigned long PHttpResponse::readBody(PHttpSink& sink) {
    PHttpDecoder out(coding_, sink, maxContent_);
    if (chunked_) {
        std::string line;
        for (unsigned long long n; (n = chunkSize()) != 0;) {
            if (n > maxContent_ || received_ + n > 2ULL * maxContent_ + kMaxHeader) bad("ContentTooLarge");
            readExact(n, out);
            if (!readLine(line) || !line.empty()) bad("BadChunk");
        }
        do {   // trailer fields, up to the empty line
            if (!readLine(line)) bad("BadChunk");
        } while (!line.empty());
    } else if (declared_ >= 0) {
        readExact(static_cast<unsigned long long>(declared_), out);
    } else {
        char buf[65536];
        for (long n; (n = source_.read(buf, sizeof buf)) > 0;) {
            received_ += static_cast<unsigned long long>(n);
            out.write(buf, static_cast<std::size_t>(n));
        }
    }
    out.finish();
    return out.delivered();
}
