// bench/PBase64_bench.cpp
//
// PBase64 against OpenSSL's EVP block coder it is built on, each producing a string: what the
// strict checks and the string cost on top of the coder. Both run at 4 KiB and at 1 MiB, timed
// per byte of plain data, so the two sizes also show that the work grows linearly.

#include "dkBenchSupport.hpp"

#include <dk/PBase64.hpp>

#include <openssl/evp.h>

#include <map>
#include <string>

namespace {

constexpr long kSmallBytes = 4 << 10, kLargeBytes = 1 << 20;

// The plain bytes of a size and their code, made once per size.
struct Sample {
    std::string plain, coded;
};

const Sample& sample(long bytes) {
    static std::map<long, Sample> made;
    Sample& s = made[bytes];
    if (s.plain.empty()) {
        for (long i = 0; i < bytes; ++i) s.plain += static_cast<char>(i * 131 + 7);
        s.coded = PBase64::encode(s.plain.data(), s.plain.size()).str();
    }
    return s;
}

void BM_Encode_PBase64(benchmark::State& st) {
    const std::string& data = sample(st.range(0)).plain;
    for (auto _ : st) benchmark::DoNotOptimize(PBase64::encode(data.data(), data.size()));
}

void BM_Encode_EVP(benchmark::State& st) {
    const std::string& data = sample(st.range(0)).plain;
    for (auto _ : st) {
        std::string out((data.size() + 2) / 3 * 4 + 1, '\0');
        const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&out[0]),
                                      reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size()));
        out.resize(static_cast<std::size_t>(n));
        benchmark::DoNotOptimize(out);
    }
}

void BM_Decode_PBase64(benchmark::State& st) {
    const Sample& s = sample(st.range(0));
    for (auto _ : st) benchmark::DoNotOptimize(PBase64::decode(s.coded.data(), s.coded.size()));
    if (PBase64::decode(s.coded.data(), s.coded.size()).str() != s.plain) st.SkipWithError("round trip");
}

void BM_Decode_EVP(benchmark::State& st) {
    const std::string& coded = sample(st.range(0)).coded;
    const std::size_t pad = (coded.back() == '=') + (coded[coded.size() - 2] == '=');
    for (auto _ : st) {
        std::string out(coded.size() / 4 * 3 + 1, '\0');
        const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(&out[0]),
                                      reinterpret_cast<const unsigned char*>(coded.data()), static_cast<int>(coded.size()));
        out.resize(static_cast<std::size_t>(n) - pad);
        benchmark::DoNotOptimize(out);
    }
}

BENCHMARK(BM_Encode_PBase64)->Arg(kSmallBytes)->Arg(kLargeBytes);
BENCHMARK(BM_Encode_EVP)->Arg(kSmallBytes)->Arg(kLargeBytes);
BENCHMARK(BM_Decode_PBase64)->Arg(kSmallBytes)->Arg(kLargeBytes);
BENCHMARK(BM_Decode_EVP)->Arg(kSmallBytes)->Arg(kLargeBytes);

}  // namespace

int main(int argc, char** argv) {
    return dkbench::runAndCompare(
        argc, argv,
        {{"PBase64 encode, per byte", "BM_Encode_PBase64", "BM_Encode_EVP", "<=1.5x", {kSmallBytes, kLargeBytes}},
         {"PBase64 decode, per byte", "BM_Decode_PBase64", "BM_Decode_EVP", "<=1.5x", {kSmallBytes, kLargeBytes}}},
        "PBase64", "OpenSSL EVP");
}
