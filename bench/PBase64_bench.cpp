// bench/PBase64_bench.cpp
//
// PBase64 against OpenSSL's EVP block coder it is built on, each producing a string: what the
// strict checks and the string cost on top of the coder.

#include "dkBenchSupport.hpp"

#include <dk/PBase64.hpp>

#include <openssl/evp.h>

#include <string>

namespace {

const std::string& data() {
    static const std::string d = [] {
        std::string s;
        for (int i = 0; i < 4095; ++i) s += static_cast<char>(i * 131 + 7);
        return s;
    }();
    return d;
}

const std::string& coded() {
    static const std::string c = PBase64::encode(data().data(), data().size()).str();
    return c;
}

void BM_Encode_PBase64(benchmark::State& st) {
    for (auto _ : st) benchmark::DoNotOptimize(PBase64::encode(data().data(), data().size()));
}

void BM_Encode_EVP(benchmark::State& st) {
    for (auto _ : st) {
        std::string out((data().size() + 2) / 3 * 4 + 1, '\0');
        const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&out[0]),
                                      reinterpret_cast<const unsigned char*>(data().data()), static_cast<int>(data().size()));
        out.resize(static_cast<std::size_t>(n));
        benchmark::DoNotOptimize(out);
    }
}

void BM_Decode_PBase64(benchmark::State& st) {
    for (auto _ : st) benchmark::DoNotOptimize(PBase64::decode(coded().data(), coded().size()));
    if (PBase64::decode(coded().data(), coded().size()).str() != data()) st.SkipWithError("round trip");
}

void BM_Decode_EVP(benchmark::State& st) {
    for (auto _ : st) {
        std::string out(coded().size() / 4 * 3 + 1, '\0');
        const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(&out[0]),
                                      reinterpret_cast<const unsigned char*>(coded().data()), static_cast<int>(coded().size()));
        out.resize(static_cast<std::size_t>(n) - (coded().back() == '=') - (coded()[coded().size() - 2] == '='));
        benchmark::DoNotOptimize(out);
    }
}

BENCHMARK(BM_Encode_PBase64);
BENCHMARK(BM_Encode_EVP);
BENCHMARK(BM_Decode_PBase64);
BENCHMARK(BM_Decode_EVP);

}  // namespace

int main(int argc, char** argv) {
    return dkbench::runAndCompare(argc, argv,
                                  {{"PBase64 encode 4 KiB", "BM_Encode_PBase64", "BM_Encode_EVP", "<=1.5x"},
                                   {"PBase64 decode 4 KiB", "BM_Decode_PBase64", "BM_Decode_EVP", "<=1.5x"}},
                                  "PBase64", "OpenSSL EVP");
}
