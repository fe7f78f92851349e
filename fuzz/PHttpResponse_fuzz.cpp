// fuzz/PHttpResponse_fuzz.cpp
//
// Arbitrary bytes as the answer of a server, read from memory as a fetch reads its socket: the
// header and the body either come through or throw usage error 370, and never more than the
// bound of decoded bytes reaches the sink.

#include "dkFuzzSupport.hpp"

#include "dk/common/net/PHttpResponse.hpp"

#include <dk/DKException.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

class MemorySource : public PHttpSource {
public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    int getByte() override { return pos_ < size_ ? data_[pos_++] : -2; }
    long read(char* out, size_t n) override {
        n = n < size_ - pos_ ? n : size_ - pos_;
        std::memcpy(out, data_ + pos_, n);
        pos_ += n;
        return static_cast<long>(n);
    }

private:
    const uint8_t* data_;
    size_t size_, pos_ = 0;
};

struct CountingSink : PHttpSink {
    unsigned long bytes = 0;
    void write(const char*, std::size_t n) override { bytes += n; }
};

constexpr unsigned long kMax = 1 << 20;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    dkFuzzInit();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemorySource source(data, size);
    PHttpResponse response(source, kMax);
    CountingSink sink;
    try {
        response.readHeader();
        const unsigned long delivered = response.readBody(sink);
        if (delivered != sink.bytes || delivered > kMax) std::abort();
        if (response.declaredLength() > static_cast<long long>(kMax)) std::abort();
    } catch (const DKUsageError& e) {
        if (e.errorMessageId() != 370) std::abort();
    }
    return 0;
}
