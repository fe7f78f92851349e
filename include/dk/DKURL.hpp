// include/dk/DKURL.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

#include <memory>
#include <string>
#include <vector>

class PSocket;
class PHttpSink;

// A resource named by an http:// or file:// URL, and its content once fetched. The URL owns
// its connection and its content buffer (getContentToBuffer hands out a pointer into it, valid
// until the next fetch or the URL's end). Not shared between threads without outside locking.
//
// HTTP fetches send one HTTP/1.1 request, read the answer with the time-out of setTimeOut for
// every wait (30 s unless set; connecting, each read, and the whole header), decode chunked,
// gzip and deflate bodies and deliver at most getMaxContentLength() decoded bytes (256 MiB
// unless set). A bad answer throws DKUsageError 370; a failing socket, a time-out or a body cut
// short throws DKXDOError through pError. Content without a length is read to the end of the
// connection whether or not setVariableLength was called (the request asks the server to close).
class DK_API DKURL {
public:
    DKURL();
    explicit DKURL(const char* url);
    DKURL(const char* protocol, const char* host, int port, const char* file);
    DKURL(const char* protocol, const char* host, const char* file);   // the protocol's default port
    explicit DKURL(DKURL* other);                                       // a copy of the parts
    DKURL(DKURL* context, const char* relativeUrl);   // a URL relative to the context's directory
    DKURL(const DKURL&) = delete;
    DKURL& operator=(const DKURL&) = delete;
    virtual ~DKURL();

    DKString getProtocol() const { return protocol_; }
    DKString getHost() const { return host_; }
    int getPort() const { return port_; }
    DKString getFile() const { return file_; }   // the last path segment (file URLs: the path)
    DKString getRef() const { return ref_; }     // the directory, "/d/s" or empty
    DKString toExternalForm() const;             // "http://h:80/d/s/p.html", "file:///tmp/x"
    DKString toString() const { return toExternalForm(); }
    bool equals(DKURL* other) const;     // every part equal
    bool sameFile(DKURL* other) const;   // the same resource: host compared without case
    long hashCode() const;               // equal for URLs that are sameFile

    // The content into a file named after the URL's file in the current folder, written under a
    // temporary name and renamed into place once complete; returns the name. File URLs: the path.
    DKString getContent();
    char* getContentToBuffer();                  // owned by the URL, zero-terminated
    DKString getToFile(DKString file);           // as getContent, into the given file
    char* getFileToBuffer(DKString file);        // into the given file, then into the buffer
    DKString saveContentToFile(char* buffer);    // getContentLength() bytes into getFile()
    unsigned long getContentLength() const { return contentLength_; }   // bytes delivered
    void setContentLength(unsigned long length) { contentLength_ = length; }
    int isFileFound();   // 1 when the file exists or a HEAD request is answered as good

    // The buffer line by line: a line ends at LF, a CR before it is dropped.
    DKString getLine();
    int isEOBuffer() const;
    void resetBuffer() { linePos_ = 0; }

    void setTimeOut(int seconds, int microseconds);
    void getTimeOut(int* seconds, int* microseconds) const;
    void setVariableLength(int variable) { variableLength_ = variable; }
    void setMaxContentLength(unsigned long bytes) { maxContent_ = bytes; }
    unsigned long getMaxContentLength() const { return maxContent_; }

    // Form fields: when any is given, fetches send them as a multipart/form-data POST.
    void addFormField(const char* name, const char* value);
    void addFormFile(const char* name, const char* fileName, const char* content);
    void clearFormFields() { fields_.clear(); }

    // The request a fetch sends ("GET" or "HEAD"), as bytes.
    std::string request(const char* method) const;

protected:
    void set(DKString protocol, DKString host, int port, DKString file, DKString ref);

private:
    struct Field {
        std::string name, fileName, value;
        bool isFile;
    };
    void parse(const char* url);
    void setPath(const std::string& path);   // splits a path into reference and file
    void fetch(PHttpSink& sink);
    void fetchToFile(const DKString& name);
    void adoptBuffer(std::string& bytes);
    int timeoutMs() const;

    std::unique_ptr<PSocket> socket_;
    int port_ = 0;
    DKString host_, protocol_, file_, ref_, url_;
    char* buffer_ = nullptr;
    unsigned long contentLength_ = 0;
    int variableLength_ = 0;
    int timeoutSeconds_ = 30, timeoutMicros_ = 0;
    unsigned long maxContent_ = 256UL << 20;
    unsigned long linePos_ = 0;
    std::vector<Field> fields_;
};

// Errors of the socket and file layer: pError::raise throws DKXDOError with the symbolic name
// and text of the error number (errno values and negative getaddrinfo codes; -1 is
// "unrecoverable"), followed by the detail.
class DK_API pError {
public:
    pError(int errorNumber, const DKString& detail);   // throws, as raise does
    virtual ~pError();
    [[noreturn]] static void raise(int errorNumber, const DKString& detail);
    static const char* name(int errorNumber);   // at most 24 characters; "Unknown" when unknown
    static const char* text(int errorNumber);   // "Unknown" when unknown
};
