// tests/dk/common/net/DKURL_test.cpp
//
// DKURL against real servers on loopback: a small server in this file that answers each
// connection as the test scripts it (well, compressed, malformed, silent, slow), and python3's
// http.server. Time-outs are set to half a second so that no case waits longer.

#include <dk/DKException.hpp>
#include <dk/DKURL.hpp>

#include "dkTestSupport.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

void sendAll(int fd, const std::string& s) { (void)::send(fd, s.data(), s.size(), MSG_NOSIGNAL); }

// A loopback server on a free port. Each connection's request is kept and answered by `answer`;
// without one the connection is held silent until the client goes. Not accepting: connections
// complete in the backlog and are never served.
class Server {
public:
    using Answer = std::function<void(int)>;
    explicit Server(Answer answer, bool accepting = true) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), len);
        ::listen(fd_, 8);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
        if (accepting) thread_ = std::thread([this, answer] { serve(answer); });
    }
    ~Server() {
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        if (thread_.joinable()) thread_.join();
    }
    std::string url(const std::string& path = "/d/f.txt") const {
        return "http://127.0.0.1:" + std::to_string(port) + path;
    }
    std::string request() {
        std::lock_guard<std::mutex> lock(mutex_);
        return request_;
    }
    int port = 0;

private:
    void serve(const Answer& answer) {
        for (int c; (c = ::accept(fd_, nullptr, nullptr)) >= 0; ::close(c)) {
            const std::string r = readRequest(c);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                request_ = r;
            }
            if (answer) answer(c);
            else waitClosed(c);
        }
    }
    static void waitClosed(int c) {
        pollfd p = {c, POLLIN, 0};
        char b[256];
        while (::poll(&p, 1, 3000) > 0 && ::recv(c, b, sizeof b, 0) > 0) {}
    }
    // The header, and for a POST the body its length gives.
    static std::string readRequest(int c) {
        std::string r;
        char b[4096];
        for (long n; r.find("\r\n\r\n") == std::string::npos && (n = ::recv(c, b, sizeof b, 0)) > 0;) r.append(b, n);
        const std::size_t at = r.find("Content-length: ");
        const std::size_t want = r.compare(0, 4, "POST") == 0 && at != std::string::npos
                                     ? r.find("\r\n\r\n") + 4 + std::stoul(r.substr(at + 16)) : 0;
        for (long n; r.size() < want && (n = ::recv(c, b, sizeof b, 0)) > 0;) r.append(b, n);
        return r;
    }
    int fd_;
    std::thread thread_;
    std::mutex mutex_;
    std::string request_;
};

// A port nothing listens on (the probe that held it is gone).
int freePort() { return Server(nullptr, false).port; }

Server::Answer reply(const std::string& bytes) {
    return [bytes](int c) { sendAll(c, bytes); };
}

std::string ok(const std::string& body, const std::string& headers = "") {
    return "HTTP/1.1 200 OK\r\n" + headers + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// Compressed with zlib: windowBits 31 gzip, 15 zlib, -15 raw deflate.
std::string zip(const std::string& data, int bits) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, bits, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, data.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::string chunked(const std::string& body, const std::string& headers) {
    std::string r = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n" + headers + "\r\n";
    for (std::size_t i = 0; i < body.size(); i += 7) {
        const std::string part = body.substr(i, 7);
        char n[16];
        std::snprintf(n, sizeof n, "%zx;x=1\r\n", part.size());
        r += n + part + "\r\n";
    }
    return r + "0\r\nTrailer: t\r\n\r\n";
}

// The body fetched into the buffer, or "!" and the message number (0 for a pError) and, for
// errors of the socket layer, the symbolic name.
std::string fetch(const std::string& url, unsigned long max = 1 << 20) {
    DKURL u(url.c_str());
    u.setTimeOut(0, 500000);
    u.setMaxContentLength(max);
    try {
        const char* b = u.getContentToBuffer();
        return std::string(b, u.getContentLength());
    } catch (const DKXDOError& e) {
        return std::string("!pError ") + e.what();
    } catch (const DKException& e) {
        return "!" + std::to_string(e.errorMessageId());
    }
}

std::string served(const std::string& response, unsigned long max = 1 << 20) {
    Server s(reply(response));
    return fetch(s.url(), max);
}

// A response a server sends, what the fetch must give, and what the case is.
struct Served {
    const char* what;
    std::string response, expected;
};

TEST(DKURLParsing, PartsRequestLinesAndExternalForms) {
    struct Case {
        const char *url, *protocol, *host;
        int port;
        const char *ref, *file, *external, *requestLine;
    };
    const Case cases[] = {
        {"http://h:80/a.txt", "http", "h", 80, "", "a.txt", "http://h:80/a.txt", "GET /a.txt HTTP/1.1"},
        {"http://ftp.x/d/s/p.html", "http", "ftp.x", 80, "/d/s", "p.html", "http://ftp.x:80/d/s/p.html",
         "GET /d/s/p.html HTTP/1.1"},
        {"http://h:12ab/x", "http", "h", 12, "", "x", "http://h:12/x", "GET /x HTTP/1.1"},
        {"http:\\\\h\\d\\f", "http", "h", 80, "/d", "f", "http://h:80/d/f", "GET /d/f HTTP/1.1"},
        {"http://h//d//e/", "http", "h", 80, "/d/e", "", "http://h:80/d/e/", "GET /d/e/ HTTP/1.1"},
        {"http://h", "http", "h", 80, "", "", "http://h:80/", "GET / HTTP/1.1"},
        {"ftp://f.x/a", "ftp", "f.x", 21, "", "a", "ftp://f.x:21/a", "GET /a HTTP/1.1"},
        {"file:///tmp/x.txt", "file", "", 0, "", "/tmp/x.txt", "file:///tmp/x.txt", nullptr},
    };
    for (const Case& c : cases) {
        DKURL u(c.url);
        EXPECT_EQ((dktest::Texts{c.protocol, c.host, std::to_string(c.port), c.ref, c.file, c.external}),
                  (dktest::Texts{u.getProtocol().str(), u.getHost().str(), std::to_string(u.getPort()),
                                 u.getRef().str(), u.getFile().str(), u.toString().str()}))
            << c.url;
        if (c.requestLine) {
            EXPECT_EQ(0U, u.request("GET").find(std::string(c.requestLine) + "\r\n")) << c.url;
        }
    }
    for (const char* bad : {"", "https://h/", "mailto:x@y", "http//h"})
        EXPECT_EQ(303, dktest::usageError([&] { DKURL u(bad); })) << bad;
    EXPECT_EQ("GET /a.txt HTTP/1.1\r\nAccept: */*\r\nHost: h:80\r\nAccept-encoding: gzip, deflate\r\n"
              "Accept-language: en-us\r\nConnection: close\r\nAccept-charset: utf-8\r\nContent-length: 1\r\n\r\n",
              DKURL("http://h/a.txt").request("GET"));
    EXPECT_EQ(303, dktest::usageError([] { DKURL(("http://h/" + std::string(5000, 'a')).c_str()).request("GET"); }));
}

TEST(DKURLParsing, RelativeUrlsCopiesAndComparison) {
    DKURL base("http://h:81/d/s/p.html"), file("file:///tmp/a/b.txt");
    DKURL parts("http", "h", "/d/s/p.html"), upper("http://H:81/d/s/p.html"), copy(&base);
    EXPECT_EQ((dktest::Texts{"http://h:81/d/s/q.html", "http://h:81/r/t", "http://o:80/z", "http://h:81/d/s/p.html",
                             "file:///tmp/a/c.txt", "http://h:80/d/s/p.html", "ftp://h:21/x"}),
              (dktest::Texts{DKURL(&base, "q.html").toExternalForm().str(), DKURL(&base, "/r/t").toExternalForm().str(),
                             DKURL(&base, "http://o/z").toExternalForm().str(), DKURL(&base, "").toExternalForm().str(),
                             DKURL(&file, "c.txt").toExternalForm().str(), parts.toExternalForm().str(),
                             DKURL("ftp", "h", "x").toExternalForm().str()}));
    EXPECT_TRUE(copy.equals(&base) && upper.sameFile(&base) && upper.hashCode() == base.hashCode());
    EXPECT_FALSE(upper.equals(&base) || parts.sameFile(&base) || base.equals(nullptr));
    int s = 0, us = 0;
    base.setTimeOut(2, 5);
    base.getTimeOut(&s, &us);
    EXPECT_EQ((std::pair<int, int>(2, 5)), std::make_pair(s, us));
    EXPECT_EQ(303, dktest::usageError([&] { base.setTimeOut(-1, 0); }));
}

TEST(DKURLFetch, BodiesAreDecodedAndDeliveredWhole) {
    const std::string body = std::string("line one\r\nline two\n\0bin\xff", 24) + std::string(3000, 'z');
    const Served cases[] = {
        {"plain", ok(body), body},
        {"lower-case name counts, X-Content-Length not",
         "HTTP/1.1 200 OK\r\ncontent-length: 24\r\nX-Content-Length: 5\r\n\r\n" + body, body.substr(0, 24)},
        {"chunked over Content-Length", chunked(body, "Content-Length: 3\r\n"), body},
        {"gzip", ok(zip(body, 31), "Content-Encoding: gzip\r\n"), body},
        {"chunked gzip", chunked(zip(body, 31), "Content-Encoding: gzip\r\n"), body},
        {"deflate with zlib header", ok(zip(body, 15), "Content-Encoding: deflate\r\n"), body},
        {"raw deflate", ok(zip(body, -15), "Content-Encoding: Deflate\r\n"), body},
        {"no length: to the end", "HTTP/1.0 200 OK\r\n\r\n" + body, body},
        {"2xx with an empty reason", "HTTP/1.1 204\r\n\r\n" + body, body},
        {"</HTML> ends the header", "HTTP/1.1 200 ok\r\nX: </HTML>\r\n" + body, body},
        {"long line cut, its rest no line", "HTTP/1.1 200 OK\r\nX: " + std::string(600, 'a') + "Content-Length: 1\r\n\r\n" + body, body},
        {"empty gzip body", ok("", "Content-Encoding: gzip\r\n"), ""},
    };
    for (const Served& c : cases) EXPECT_EQ(c.expected, served(c.response)) << c.what;
    // Lines of the buffer: LF ends a line, a CR before it is dropped, a last line needs no LF.
    Server s(reply(ok("a\r\nb\n\nc")));
    DKURL u(s.url().c_str());
    u.getContentToBuffer();
    dktest::Texts lines;
    while (!u.isEOBuffer()) lines.push_back(u.getLine().str());
    EXPECT_EQ((dktest::Texts{"a", "b", "", "c"}), lines);
    u.resetBuffer();
    EXPECT_EQ("a", u.getLine().str());
}

TEST(DKURLFetch, BadAnswersAre370AndNeverStoredRaw) {
    const std::string gz = zip(std::string(5000, 'q'), 31);
    const Served cases[] = {
        {"garbage status", "SSH-2.0-x\r\n\r\nbody", "!370"},
        {"not found", "HTTP/1.1 404 Not Found\r\nContent-Length: 2\r\n\r\nno", "!370"},
        {"redirect, not followed", "HTTP/1.1 301 Moved\r\nLocation: /x\r\n\r\n", "!370"},
        {"OK in a bad status", "HTTP/1.1 500 NOT OK\r\n\r\n", "!370"},
        {"two lengths", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nabc", "!370"},
        {"same length twice", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\ncontent-length: 2\r\n\r\nab", "ab"},
        {"length not digits", "HTTP/1.1 200 OK\r\nContent-Length: 2x\r\n\r\nab", "!370"},
        {"negative length", "HTTP/1.1 200 OK\r\nContent-Length: -2\r\n\r\nab", "!370"},
        {"huge length", "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999\r\n\r\n", "!370"},
        {"length over the bound", "HTTP/1.1 200 OK\r\nContent-Length: 2000000\r\n\r\n", "!370"},
        {"decoded over the bound", ok(gz, "Content-Encoding: gzip\r\n"), "!370"},
        {"gzip cut", ok(gz.substr(0, gz.size() - 9), "Content-Encoding: gzip\r\n"), "!370"},
        {"not gzip", ok("plain text", "Content-Encoding: gzip\r\n"), "!370"},
        {"gzip and garbage after", ok(zip("a", 31) + "zz", "Content-Encoding: gzip\r\n"), "!370"},
        {"unknown coding", ok("x", "Content-Encoding: br\r\n"), "!370"},
        {"unknown transfer coding", "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\nx", "!370"},
        {"chunk size not hex", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nab\r\n0\r\n\r\n", "!370"},
        {"chunk without its CRLF", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabc\r\n0\r\n\r\n", "!370"},
        {"chunks cut short", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nab", "!370"},
        {"body cut short", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc", "!370"},
        {"header cut short", "HTTP/1.1 200 OK\r\nContent-Le", "!370"}, {"no answer at all", "", "!370"},
        {"header too large", "HTTP/1.1 200 OK\r\n" + std::string(70000, 'h') + "\r\n\r\n", "!370"},
    };
    for (const Served& c : cases) EXPECT_EQ(c.expected, served(c.response, 4096)) << c.what;
}

TEST(DKURLFetch, BadServersEndInTheirErrorWithinTheTimeOut) {
    Server silent(nullptr), backlog(nullptr, false);
    Server slowloris([](int c) {
        sendAll(c, "HTTP/1.1 200 OK\r\n");
        for (int i = 0; i < 60 && ::send(c, "X: y\r\n", 6, MSG_NOSIGNAL) == 6; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    });
    Server trickle([](int c) {
        sendAll(c, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nab");
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
    });
    const int refusedPort = freePort();
    ::setenv("RES_OPTIONS", "timeout:1 attempts:1", 1);
    const std::pair<std::string, std::string> cases[] = {
        {silent.url(), "ETIMEDOUT"},   {backlog.url(), "ETIMEDOUT"},
        {slowloris.url(), "ETIMEDOUT"}, {trickle.url(), "[Bytes received] 42"},
        {"http://127.0.0.1:" + std::to_string(refusedPort) + "/x", "ECONNREFUSED"},
        // A label longer than 63 characters cannot be put into a query: unknown, and no packet leaves.
        {"http://" + std::string(64, 'u') + ".invalid/x", "!pError EAI_NONAME"},
    };
    for (const auto& [url, expected] : cases) {
        const auto start = Clock::now();
        const std::string got = fetch(url);
        EXPECT_NE(std::string::npos, got.find(expected)) << url << ": " << got;
        EXPECT_EQ(0U, got.find("!pError")) << got;
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2000)) << url;
    }
    EXPECT_NE(std::string::npos, fetch(silent.url()).find("[Time out] [Remote host name] 127.0.0.1 [Port]"));
    EXPECT_EQ((dktest::Texts{"ECONNREFUSED", "unrecoverable", "Unknown", "Unknown"}),
              (dktest::Texts{pError::name(ECONNREFUSED), pError::name(-1), pError::text(-1), pError::name(123456)}));
}

// Files named after the URL land in the current folder complete or not at all; bad names, ftp
// and ports out of range are refused before any connection.
TEST(DKURLFiles, ContentIsRenamedIntoPlaceOnlyWhenComplete) {
    dktest::TempDir dir;
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    Server good(reply(ok("content"))), cut(reply("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc"));
    DKURL u(good.url("/d/got.txt").c_str());
    EXPECT_EQ((dktest::Texts{"got.txt", "content", "copy.txt", "content", "1"}),
              (dktest::Texts{u.getContent().str(), dktest::readFile(dir / "got.txt"), u.getToFile("copy.txt").str(),
                             u.getFileToBuffer("again.txt"), dktest::str(u.isFileFound())}));
    EXPECT_NE(std::string::npos, good.request().find("HEAD /d/got.txt HTTP/1.1\r\n"));
    EXPECT_EQ(370, dktest::usageError([&] { DKURL(cut.url("/lost.txt").c_str()).getContent(); }));
    EXPECT_EQ(3, std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()));
    for (const char* url : {"/d/", "/d/.", "/d/.."}) {
        DKURL bad(("http://127.0.0.1:1" + std::string(url)).c_str());
        EXPECT_EQ(303, dktest::usageError([&] { bad.getContent(); })) << url;
    }
    for (const char* url : {"ftp://127.0.0.1/x", "http://127.0.0.1:0/x", "http://127.0.0.1:70000/x", "http://:8/x"})
        EXPECT_EQ(303, dktest::usageError([&] { DKURL(url).getContentToBuffer(); })) << url;
    DKURL empty("http://h/s.txt");
    EXPECT_EQ(303, dktest::usageError([&] { empty.saveContentToFile(nullptr); }));
    char data[] = "saved";
    empty.setContentLength(5);
    EXPECT_EQ("s.txt", empty.saveContentToFile(data).str());
    EXPECT_EQ("saved", dktest::readFile(dir / "s.txt"));
    fs::current_path(before);

    dktest::writeFile(dir / "local.txt", "local\n");
    DKURL local(("file://" + (dir / "local.txt").string()).c_str());
    DKURL missing(("file://" + (dir / "none").string()).c_str());
    EXPECT_EQ((dktest::Texts{(dir / "local.txt").string(), "local\n", "1", "0"}),
              (dktest::Texts{local.getContent().str(), local.getContentToBuffer(), dktest::str(local.isFileFound()),
                             dktest::str(missing.isFileFound())}));
    EXPECT_NE(std::string::npos, dktest::failureOf<DKXDOError>([&] { missing.getContent(); }).text.find("ENOENT"));
}

TEST(DKURLFiles, FormFieldsGoAsMultipartPost) {
    Server s(reply(ok("done")));
    DKURL u(s.url("/up").c_str());
    u.addFormField("title", "Notes");
    u.addFormFile("file", "n.txt", "text");
    EXPECT_EQ("done", std::string(u.getContentToBuffer()));
    for (const char* part : {"POST /up HTTP/1.1\r\n", "Content-Type: multipart/form-data; boundary=",
                             "Content-Disposition: form-data; name=\"title\"\r\n\r\nNotes\r\n",
                             "Content-Disposition: form-data; name=\"file\"; filename=\"n.txt\"\r\n"
                             "Content-Type: text/plain\r\n\r\ntext\r\n"})
        EXPECT_NE(std::string::npos, s.request().find(part)) << part;
    u.clearFormFields();
    EXPECT_EQ(0U, u.request("GET").find("GET /up"));
}

// python3's http.server: a real server that answers HTTP/1.0 with lengths, and 404 for a miss.
TEST(DKURLFetch, PythonHttpServer) {
    dktest::TempDir dir;
    dktest::writeFile(dir / "page.html", std::string(100000, 'p'));
    const std::string portText = std::to_string(freePort()), dirText = dir.str();
    const char* argv[] = {"python3", "-m", "http.server", portText.c_str(), "--bind", "127.0.0.1",
                          "--directory", dirText.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    ASSERT_EQ(0, posix_spawnp(&pid, "python3", &actions, nullptr, const_cast<char**>(argv), environ));
    posix_spawn_file_actions_destroy(&actions);
    const std::string url = "http://127.0.0.1:" + portText + "/page.html";
    std::string got;
    // The interpreter may take seconds to listen on a loaded machine: up to 15 s, ended by the first answer.
    for (int i = 0; i < 750 && (got = fetch(url)).find("ECONNREFUSED") != std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(std::string(100000, 'p'), got);
    const std::string none = "http://127.0.0.1:" + portText + "/none";
    EXPECT_EQ(std::make_pair(1, 0), std::make_pair(DKURL(url.c_str()).isFileFound(), DKURL(none.c_str()).isFileFound()));
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
}

}  // namespace
