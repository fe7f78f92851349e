// bench/DKURL_bench.cpp
//
// A 10 MiB GET from a loopback server that answers from memory: DKURL into its buffer against
// libcurl into a string, the same server and the same bytes for both.

#include "dkBenchSupport.hpp"

#include <dk/DKURL.hpp>

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>

namespace {

constexpr std::size_t kBody = 10u << 20;

// Answers every connection with the same response, built once; stops with the process.
class MemoryServer {
public:
    MemoryServer() {
        response_ = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kBody) + "\r\n\r\n" + std::string(kBody, 'b');
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), len);
        ::listen(fd_, 16);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        url = "http://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/big.bin";
        std::thread([this] { serve(); }).detach();
    }
    std::string url;

private:
    void serve() {
        for (int c; (c = ::accept(fd_, nullptr, nullptr)) >= 0; ::close(c)) {
            std::string req;
            char b[4096];
            for (long n; req.find("\r\n\r\n") == std::string::npos && (n = ::recv(c, b, sizeof b, 0)) > 0;) req.append(b, n);
            for (std::size_t off = 0; off < response_.size();) {
                const long n = ::send(c, response_.data() + off, response_.size() - off, MSG_NOSIGNAL);
                if (n <= 0) break;
                off += static_cast<std::size_t>(n);
            }
        }
    }
    std::string response_;
    int fd_;
};

MemoryServer& server() {
    static MemoryServer s;
    return s;
}

void BM_Get10MiB_DKURL(benchmark::State& st) {
    for (auto _ : st) {
        DKURL u(server().url.c_str());
        benchmark::DoNotOptimize(u.getContentToBuffer());
        if (u.getContentLength() != kBody) st.SkipWithError("short body");
    }
}

std::size_t append(char* data, std::size_t size, std::size_t n, void* out) {
    static_cast<std::string*>(out)->append(data, size * n);
    return size * n;
}

void BM_Get10MiB_curl(benchmark::State& st) {
    for (auto _ : st) {
        std::string body;
        CURL* c = curl_easy_init();
        curl_easy_setopt(c, CURLOPT_URL, server().url.c_str());
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, append);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, &body);
        curl_easy_perform(c);
        curl_easy_cleanup(c);
        if (body.size() != kBody) st.SkipWithError("short body");
    }
}

BENCHMARK(BM_Get10MiB_DKURL)->UseRealTime();
BENCHMARK(BM_Get10MiB_curl)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    return dkbench::runAndCompare(argc, argv, {{"DKURL GET 10 MiB on loopback", "BM_Get10MiB_DKURL/real_time", "BM_Get10MiB_curl/real_time", "<=2x"}},
                                  "DKURL", "libcurl");
}
