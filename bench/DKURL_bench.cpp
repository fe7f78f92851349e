// bench/DKURL_bench.cpp
//
// A GET of 1 MiB and of 10 MiB from a loopback server that answers from memory: DKURL into its
// buffer against libcurl into a string, the same server and the same bytes for both, timed per
// byte so that the two sizes show whether the work grows linearly.

#include "dkBenchSupport.hpp"

#include <dk/DKURL.hpp>

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>

namespace {

constexpr long kSmallBody = 1L << 20, kLargeBody = 10L << 20;

// Answers "GET /<n>" with a body of n bytes for the two sizes, both responses built once; stops
// with the process.
class MemoryServer {
public:
    MemoryServer() {
        for (long n : {kSmallBody, kLargeBody})
            responses_[n] = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(n) + "\r\n\r\n" + std::string(n, 'b');
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), len);
        ::listen(fd_, 16);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        url = "http://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/";
        std::thread([this] { serve(); }).detach();
    }
    std::string url;

private:
    void serve() {
        for (int c; (c = ::accept(fd_, nullptr, nullptr)) >= 0; ::close(c)) {
            std::string req;
            char b[4096];
            for (long n; req.find("\r\n\r\n") == std::string::npos && (n = ::recv(c, b, sizeof b, 0)) > 0;) req.append(b, n);
            auto found = responses_.find(req.size() > 5 ? std::atol(req.c_str() + 5) : 0);
            if (found == responses_.end()) continue;
            const std::string& response = found->second;
            for (std::size_t off = 0; off < response.size();) {
                const long n = ::send(c, response.data() + off, response.size() - off, MSG_NOSIGNAL);
                if (n <= 0) break;
                off += static_cast<std::size_t>(n);
            }
        }
    }
    std::map<long, std::string> responses_;
    int fd_;
};

MemoryServer& server() {
    static MemoryServer s;
    return s;
}

std::string urlOf(long bytes) { return server().url + std::to_string(bytes); }

void BM_Get_DKURL(benchmark::State& st) {
    const std::string url = urlOf(st.range(0));
    for (auto _ : st) {
        DKURL u(url.c_str());
        benchmark::DoNotOptimize(u.getContentToBuffer());
        if (static_cast<long>(u.getContentLength()) != st.range(0)) st.SkipWithError("short body");
    }
}

std::size_t append(char* data, std::size_t size, std::size_t n, void* out) {
    static_cast<std::string*>(out)->append(data, size * n);
    return size * n;
}

void BM_Get_curl(benchmark::State& st) {
    const std::string url = urlOf(st.range(0));
    for (auto _ : st) {
        std::string body;
        CURL* c = curl_easy_init();
        curl_easy_setopt(c, CURLOPT_URL, url.c_str());
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, append);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, &body);
        curl_easy_perform(c);
        curl_easy_cleanup(c);
        if (static_cast<long>(body.size()) != st.range(0)) st.SkipWithError("short body");
    }
}

BENCHMARK(BM_Get_DKURL)->Arg(kSmallBody)->Arg(kLargeBody)->UseRealTime();
BENCHMARK(BM_Get_curl)->Arg(kSmallBody)->Arg(kLargeBody)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    // Real time carries a "/real_time" suffix after the size in the benchmark's name, so the
    // rows are spelt out here: one per size, and the growth of each side from 1 MiB to 10 MiB.
    auto name = [](const char* side, long bytes) { return std::string(side) + "/" + std::to_string(bytes) + "/real_time"; };
    return dkbench::runAndCompare(
        argc, argv,
        {{"DKURL GET on loopback, per byte (1 MiB)", name("BM_Get_DKURL", kSmallBody), name("BM_Get_curl", kSmallBody), "<=2x"},
         {"DKURL GET on loopback, per byte (10 MiB)", name("BM_Get_DKURL", kLargeBody), name("BM_Get_curl", kLargeBody), "<=2x"},
         {"DKURL GET on loopback, growth 10 MiB/1 MiB", name("BM_Get_DKURL", kLargeBody), name("BM_Get_DKURL", kSmallBody),
          "<=1.3x"},
         {"DKURL GET on loopback, growth 10 MiB/1 MiB of the peer", name("BM_Get_curl", kLargeBody),
          name("BM_Get_curl", kSmallBody), "-"}},
        "DKURL", "libcurl");
}
