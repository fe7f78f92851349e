// src/dk/common/net/DKURL.cpp
//
// URLs and their content: parsing into protocol, host, port, directory and file, the HTTP/1.1
// request a fetch sends, and the fetch itself over a PSocket, with the answer read through
// PHttpResponse into memory or into a file that takes its name only once it is complete. File
// URLs are read from the local file system.

#include <dk/DKURL.hpp>

#include "dk/common/net/PHttpResponse.hpp"
#include "platform/os/PFileOps.hpp"
#include "platform/os/PSocket.hpp"
#include "platform/os/PSystem.hpp"

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

namespace {

constexpr const char* kSource = "dk/common/DKURL";
constexpr const char* kBoundary = "dkFormBoundary4b1f0c9e";
constexpr std::size_t kRequestLimit = 4096;   // the request header, as the request builder holds it

[[noreturn]] void invalid(const char* function, const std::string& detail) {
    dkThrow<DKUsageError>(303, kSource, function, DKString(" ") + DKString(detail));
}

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// The port as atoi reads it ("12ab" is 12), without atoi's overflow: a value past 65535 stays
// past it, so the fetch rejects it.
int portOf(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        if (v <= 1000000) v = v * 10 + (text[i] - '0');
    return static_cast<int>(negative ? -v : v);
}

bool isPlainName(const DKString& name) {
    const std::string s = name.str();
    return !s.empty() && s != "." && s != "..";
}

// The body of a fetch into memory: a block grown by doubling, handed to the URL at the end.
class BufferSink : public PHttpSink {
public:
    ~BufferSink() override { std::free(data_); }
    void write(const char* data, std::size_t size) override {
        if (size_ + size + 1 > capacity_) {
            std::size_t want = capacity_ ? capacity_ : 65536;
            while (want < size_ + size + 1) want *= 2;
            char* grown = static_cast<char*>(std::realloc(data_, want));
            if (grown == nullptr) pError::raise(ENOMEM, "DKURL::getContentToBuffer()");
            data_ = grown;
            capacity_ = want;
        }
        std::memcpy(data_ + size_, data, size);
        size_ += size;
    }
    char* release(std::size_t& size) {
        write("", 0);   // room for the terminating zero, even when empty
        data_[size_] = '\0';
        size = size_;
        char* p = data_;
        data_ = nullptr;
        return p;
    }

private:
    char* data_ = nullptr;
    std::size_t size_ = 0, capacity_ = 0;
};

class FileSink : public PHttpSink {
public:
    FileSink(std::FILE* file, const std::string& name) : file_(file), name_(name) {}
    void write(const char* data, std::size_t size) override {
        if (std::fwrite(data, 1, size, file_) != size) pError::raise(errno, "fwrite [File name] " + name_);
    }

private:
    std::FILE* file_;
    std::string name_;
};

// The socket under one fetch, read with the URL's time-out for every wait and, until the header
// is complete, with the same time-out as the deadline of the whole header.
class SocketSource : public PHttpSource {
public:
    SocketSource(PSocket& socket, const DKString& host, int port, int timeoutMs)
        : socket_(socket), host_(host), port_(port), timeoutMs_(timeoutMs),
          deadline_(PSocket::nowMs() + timeoutMs) {}
    int getByte() override {
        const int c = socket_.getByte(wait());
        if (c == -1) fail();
        if (c >= 0) ++received_;
        return c;
    }
    long read(char* data, std::size_t size) override {
        const long n = socket_.read(data, size, wait());
        if (n < 0) fail();
        received_ += static_cast<unsigned long>(n);
        return n;
    }
    void headerDone() override { deadline_ = -1; }

private:
    int wait() const {
        if (deadline_ < 0) return timeoutMs_;
        const long long left = deadline_ - PSocket::nowMs();
        return left <= 0 ? 0 : (left < timeoutMs_ ? static_cast<int>(left) : timeoutMs_);
    }
    [[noreturn]] void fail() {
        const int err = socket_.error();
        pError::raise(err, DKString("DKURL::receive()") + (err == ETIMEDOUT ? " [Time out]" : "") +
                               " [Remote host name] " + host_ + " [Port] " + DKString(port_) + " [Socket] " +
                               DKString(socket_.descriptor()) + " [Bytes received] " + DKString(received_));
    }

    PSocket& socket_;
    DKString host_;
    int port_, timeoutMs_;
    long long deadline_;
    unsigned long received_ = 0;
};

// Reads a local file whole; errno tells why when it fails.
bool readLocal(const std::string& path, BufferSink& sink) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) sink.write(buf, n);
    const bool ok = !std::ferror(f);
    const int err = errno;
    std::fclose(f);
    errno = err;
    return ok;
}

// Writes a file under a temporary name beside it and renames it into place once complete, so a
// failed write never leaves a file that looks finished. fill writes the bytes.
void writeIntoPlace(const std::string& name, const std::function<void(PHttpSink&)>& fill) {
    const std::string tmp = name + ".dkpart" + std::to_string(PSystem::processId());
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    if (f == nullptr) pError::raise(errno, "fopen [File name] " + tmp);
    FileSink sink(f, tmp);
    try {
        fill(sink);
    } catch (...) {
        std::fclose(f);
        std::remove(tmp.c_str());
        throw;
    }
    int err = 0;
    if (std::fclose(f) != 0 || !PFileOps::rename(tmp, name, err)) {
        err = err ? err : errno;
        std::remove(tmp.c_str());
        pError::raise(err, "rename [File name] " + name);
    }
}

}  // namespace

DKURL::DKURL() : socket_(new PSocket) {}

DKURL::DKURL(const char* url) : socket_(new PSocket) { parse(url); }

DKURL::DKURL(const char* protocol, const char* host, int port, const char* file) : socket_(new PSocket) {
    protocol_ = protocol;
    host_ = host;
    port_ = port;
    if (lower(protocol_.str()) == "file") file_ = file;
    else setPath(file != nullptr ? file : "");
    url_ = toExternalForm();
}

DKURL::DKURL(const char* protocol, const char* host, const char* file)
    : DKURL(protocol, host, lower(protocol != nullptr ? protocol : "") == "http" ? 80
                             : lower(protocol != nullptr ? protocol : "") == "ftp" ? 21 : 0, file) {}

DKURL::DKURL(DKURL* other) : socket_(new PSocket) {
    if (other == nullptr) invalid("DKURL::DKURL", "DKURL::DKURL()");
    set(other->protocol_, other->host_, other->port_, other->file_, other->ref_);
    url_ = other->url_;
    timeoutSeconds_ = other->timeoutSeconds_;
    timeoutMicros_ = other->timeoutMicros_;
    maxContent_ = other->maxContent_;
    variableLength_ = other->variableLength_;
}

DKURL::DKURL(DKURL* context, const char* relativeUrl) : DKURL(context) {
    std::string s = relativeUrl != nullptr ? relativeUrl : "";
    for (char& c : s)
        if (c == '\\') c = '/';
    if (s.find("://") != std::string::npos) {
        parse(s.c_str());
        return;
    }
    if (s.empty()) return;
    if (lower(protocol_.str()) == "file") {
        const std::string path = file_.str();
        const std::size_t slash = path.rfind('/');
        file_ = s[0] == '/' || slash == std::string::npos ? s : path.substr(0, slash + 1) + s;
    } else {
        setPath(s[0] == '/' ? s : ref_.str() + "/" + s);
    }
    url_ = toExternalForm();
}

DKURL::~DKURL() { std::free(buffer_); }

void DKURL::set(DKString protocol, DKString host, int port, DKString file, DKString ref) {
    protocol_ = protocol;
    host_ = host;
    port_ = port;
    file_ = file;
    ref_ = ref;
}

void DKURL::parse(const char* url) {
    std::string s = url != nullptr ? url : "";
    if (s.empty()) invalid("DKURL::parseURL", "DKURL::parseURL()");
    for (char& c : s)
        if (c == '\\') c = '/';
    const std::string low = lower(s);
    // The protocol is the known name that occurs first: "http://ftp.x/" is http.
    std::size_t at = std::string::npos;
    std::string protocol;
    for (const char* name : {"http", "ftp", "file"}) {
        const std::size_t p = low.find(name);
        if (p < at) at = p, protocol = name;
    }
    if (at == std::string::npos) invalid("DKURL::parseURL", "DKURL::parseURL()");
    if (protocol == "http" && low.compare(at, 5, "https") == 0) invalid("DKURL::parseURL", "DKURL::parseURL():https");
    const std::size_t colon = s.find(':', at + protocol.size());
    if (colon == std::string::npos) invalid("DKURL::parseURL", "DKURL::parseURL()");
    std::string rest = s.substr(colon + 1);
    if (rest.compare(0, 2, "//") == 0) rest.erase(0, 2);
    protocol_ = protocol;
    url_ = url;
    if (protocol == "file") {
        set(protocol_, "", 0, rest, "");
        return;
    }
    const std::size_t end = rest.find_first_of(":/");
    host_ = rest.substr(0, end);
    port_ = protocol == "http" ? 80 : 21;
    std::size_t pathAt = end;
    if (end != std::string::npos && rest[end] == ':') {
        pathAt = rest.find('/', end);
        port_ = portOf(rest.substr(end + 1, pathAt == std::string::npos ? std::string::npos : pathAt - end - 1));
    }
    setPath(pathAt == std::string::npos ? "" : rest.substr(pathAt));
}

// Directory segments form the reference ("/d/s"), the last one is the file; empty segments are
// dropped, so joining them again never doubles a slash.
void DKURL::setPath(const std::string& path) {
    std::string ref, segment;
    for (char c : path) {
        if (c != '/') {
            segment += c;
        } else if (!segment.empty()) {
            ref += "/" + segment;
            segment.clear();
        }
    }
    ref_ = ref;
    file_ = segment;
}

DKString DKURL::toExternalForm() const {
    if (lower(protocol_.str()) == "file") return protocol_ + "://" + file_;
    return protocol_ + "://" + host_ + ":" + DKString(port_) + ref_ + "/" + file_;
}

bool DKURL::equals(DKURL* other) const {
    return other != nullptr && protocol_ == other->protocol_ && host_ == other->host_ && port_ == other->port_ &&
           file_ == other->file_ && ref_ == other->ref_;
}

bool DKURL::sameFile(DKURL* other) const {
    return other != nullptr && lower(protocol_.str()) == lower(other->protocol_.str()) &&
           lower(host_.str()) == lower(other->host_.str()) && port_ == other->port_ && file_ == other->file_ &&
           ref_ == other->ref_;
}

long DKURL::hashCode() const {
    const std::string key = lower(protocol_.str()) + "://" + lower(host_.str()) + ":" + std::to_string(port_) +
                            ref_.str() + "/" + file_.str();
    return static_cast<long>(std::hash<std::string>()(key));
}

void DKURL::setTimeOut(int seconds, int microseconds) {
    if (seconds < 0 || microseconds < 0) invalid("DKURL::setTimeOut", "DKURL::setTimeOut()");
    timeoutSeconds_ = seconds;
    timeoutMicros_ = microseconds;
}

void DKURL::getTimeOut(int* seconds, int* microseconds) const {
    if (seconds != nullptr) *seconds = timeoutSeconds_;
    if (microseconds != nullptr) *microseconds = timeoutMicros_;
}

// At least one millisecond: a zero time-out would fail every wait at once.
int DKURL::timeoutMs() const {
    const long long ms = static_cast<long long>(timeoutSeconds_) * 1000 + timeoutMicros_ / 1000;
    return ms < 1 ? 1 : ms > 86400000LL ? 86400000 : static_cast<int>(ms);
}

void DKURL::addFormField(const char* name, const char* value) {
    fields_.push_back({name != nullptr ? name : "", "", value != nullptr ? value : "", false});
}

void DKURL::addFormFile(const char* name, const char* fileName, const char* content) {
    fields_.push_back({name != nullptr ? name : "", fileName != nullptr ? fileName : "",
                       content != nullptr ? content : "", true});
}

std::string DKURL::request(const char* method) const {
    std::string body;
    for (const Field& f : fields_) {
        body += std::string("--") + kBoundary + "\r\nContent-Disposition: form-data; name=\"" + f.name + "\"";
        if (f.isFile) body += "; filename=\"" + f.fileName + "\"\r\nContent-Type: text/plain";
        body += "\r\n\r\n" + f.value + "\r\n";
    }
    if (!fields_.empty()) body += std::string("--") + kBoundary + "--\r\n";
    const bool form = !fields_.empty() && std::strcmp(method, "GET") == 0;
    std::string r = std::string(form ? "POST" : method) + " " + ref_.str() + "/" + file_.str() + " HTTP/1.1\r\n";
    r += "Accept: */*\r\nHost: " + host_.str() + ":" + std::to_string(port_) + "\r\n";
    r += "Accept-encoding: gzip, deflate\r\nAccept-language: en-us\r\nConnection: close\r\n"
         "Accept-charset: utf-8\r\n";
    if (form) r += std::string("Content-Type: multipart/form-data; boundary=") + kBoundary + "\r\n";
    r += "Content-length: " + (form ? std::to_string(body.size()) : std::string("1")) + "\r\n\r\n";
    if (r.size() > kRequestLimit) invalid("DKURL::initConnection", "DKURL::initConnection():[Request] too long");
    return form ? r + body : r;
}

// Connects and sends the request; the caller reads the answer.
namespace {
void openConnection(PSocket& socket, const DKString& protocol, const DKString& host, int port, int timeoutMs,
                    const std::string& request) {
    if (lower(protocol.str()) != "http")
        invalid("DKURL::initConnection", "DKURL::initConnection():[Protocol] " + protocol.str());
    if (port < 1 || port > 65535)
        invalid("DKURL::initConnection", "DKURL::initConnection():[Port] " + std::to_string(port));
    if (host.length() == 0) invalid("DKURL::initConnection", "DKURL::initConnection():[Remote host name]");
    const DKString where = DKString(" [Remote host name] ") + host + " [Port] " + DKString(port);
    if (!socket.connect(host.str(), port, timeoutMs)) {
        const int err = socket.error();
        pError::raise(err, DKString("DKURL::initConnection() connect") + (err == ETIMEDOUT ? " [Time out]" : "") + where);
    }
    if (!socket.sendAll(request.data(), request.size(), timeoutMs)) {
        const int err = socket.error();
        socket.close();
        pError::raise(err, DKString("DKURL::initConnection() send") + where + " [Bytes sent] 0");
    }
}
}  // namespace

void DKURL::fetch(PHttpSink& sink) {
    const std::string req = request("GET");
    openConnection(*socket_, protocol_, host_, port_, timeoutMs(), req);
    try {
        SocketSource source(*socket_, host_, port_, timeoutMs());
        PHttpResponse response(source, maxContent_);
        response.readHeader();
        if (!response.good())
            dkThrow<DKUsageError>(370, kSource, "DKURL::initConnection", DKString(" DKURL::initConnection():BadResponse"));
        contentLength_ = response.readBody(sink);
    } catch (...) {
        socket_->close();
        throw;
    }
    socket_->close();
}

void DKURL::fetchToFile(const DKString& name) {
    if (!isPlainName(name)) invalid("DKURL::getContent", "DKURL::getContent():[File name] " + name.str());
    if (lower(protocol_.str()) == "file") {
        char* data = getContentToBuffer();
        const unsigned long n = contentLength_;
        writeIntoPlace(name.str(), [&](PHttpSink& out) { out.write(data, n); });
        return;
    }
    writeIntoPlace(name.str(), [&](PHttpSink& out) { fetch(out); });
}

DKString DKURL::getContent() {
    if (lower(protocol_.str()) == "file") {
        unsigned mode = 0;
        int err = 0;
        if (PFileOps::kind(file_.str(), mode, err) != PFileOps::regular)
            pError::raise(err ? err : EISDIR, "DKURL::getContent() [File name] " + file_);
        return file_;
    }
    fetchToFile(file_);
    return file_;
}

DKString DKURL::getToFile(DKString file) {
    fetchToFile(file);
    return file;
}

char* DKURL::getContentToBuffer() {
    BufferSink sink;
    if (lower(protocol_.str()) == "file") {
        if (!readLocal(file_.str(), sink)) pError::raise(errno, "DKURL::getContentToBuffer() [File name] " + file_);
    } else {
        fetch(sink);
    }
    std::size_t n = 0;
    char* data = sink.release(n);
    std::free(buffer_);
    buffer_ = data;
    contentLength_ = n;
    linePos_ = 0;
    return buffer_;
}

char* DKURL::getFileToBuffer(DKString file) {
    fetchToFile(file);
    BufferSink sink;
    if (!readLocal(file.str(), sink)) pError::raise(errno, "DKURL::getFileToBuffer() [File name] " + file);
    std::size_t n = 0;
    char* data = sink.release(n);
    std::free(buffer_);
    buffer_ = data;
    contentLength_ = n;
    linePos_ = 0;
    return buffer_;
}

DKString DKURL::saveContentToFile(char* buffer) {
    const char* data = buffer != nullptr ? buffer : buffer_;
    if (data == nullptr) invalid("DKURL::saveContentToFile", "DKURL::saveContentToFile()");
    if (!isPlainName(file_)) invalid("DKURL::saveContentToFile", "DKURL::saveContentToFile():[File name] " + file_.str());
    const unsigned long n = contentLength_;
    writeIntoPlace(file_.str(), [&](PHttpSink& out) { out.write(data, n); });
    return file_;
}

int DKURL::isFileFound() {
    if (lower(protocol_.str()) == "file") {
        unsigned mode = 0;
        int err = 0;
        return PFileOps::kind(file_.str(), mode, err) != PFileOps::missing && err == 0 ? 1 : 0;
    }
    openConnection(*socket_, protocol_, host_, port_, timeoutMs(), request("HEAD"));
    bool good = false;
    try {
        SocketSource source(*socket_, host_, port_, timeoutMs());
        PHttpResponse response(source, maxContent_);
        response.readHeader();
        good = response.good();
    } catch (const DKUsageError&) {
        good = false;   // an answer that is not HTTP: the resource is not there for us
    } catch (...) {
        socket_->close();
        throw;
    }
    socket_->close();
    return good ? 1 : 0;
}

DKString DKURL::getLine() {
    if (isEOBuffer()) return DKString();
    const char* start = buffer_ + linePos_;
    const unsigned long left = contentLength_ - linePos_;
    const void* nl = std::memchr(start, '\n', left);
    unsigned long len = nl != nullptr ? static_cast<unsigned long>(static_cast<const char*>(nl) - start) : left;
    linePos_ += nl != nullptr ? len + 1 : len;
    if (nl != nullptr && len > 0 && start[len - 1] == '\r') --len;
    return DKString(start, len);
}

int DKURL::isEOBuffer() const { return buffer_ == nullptr || linePos_ >= contentLength_ ? 1 : 0; }
