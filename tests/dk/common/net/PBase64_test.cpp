// tests/dk/common/net/PBase64_test.cpp

#include <dk/DKLocale.hpp>
#include <dk/PBase64.hpp>

#include "dkTestSupport.hpp"

namespace {

TEST(PBase64, RfcVectorsAndEveryByteRoundTrip) {
    const char* vectors[][2] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},      {"foo", "Zm9v"},
                                {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};
    for (const auto& v : vectors) {
        EXPECT_EQ(v[1], PBase64::encode(const_cast<char*>(v[0])).str());
        EXPECT_EQ(v[0], PBase64::decode(const_cast<char*>(v[1])).str());
    }
    std::string all;
    for (int i = 0; i < 256 * 3 + 1; ++i) all += static_cast<char>(i * 7);
    for (std::size_t n : {all.size(), all.size() - 1, std::size_t(1)}) {
        const DKString coded = PBase64::encode(all.data(), n);
        EXPECT_EQ(all.substr(0, n), PBase64::decode(coded.c_str(), coded.length()).str()) << n;
    }
    const std::string big((3u << 20) + 1, '\xff');   // its code outgrows the kept scratch buffer
    const DKString coded = PBase64::encode(big.data(), big.size());
    EXPECT_EQ(big, PBase64::decode(coded.c_str(), coded.length()).str());
}

TEST(PBase64, DecodingIsStrict) {
    for (const char* bad : {"Zm9", "Zm9v\n", "Zm9v\r\n", "Zm 9", " Zm9v", "Zg=a", "=Zg=", "Z===", "Zm9v====",
                            "Zg==Zg==", "Zm-v", "Zm_v", "Zm9\x80"})
        EXPECT_EQ(303, dktest::usageError([&] { PBase64::decode(const_cast<char*>(bad)); })) << bad;
    // The locale lock points exist and do nothing.
    DKLocale::lockLocale(), DKLocale::lockDBCS(), DKLocale::lockString();
    DKLocale::unlockString(), DKLocale::unlockDBCS(), DKLocale::unlockLocale();
}

}  // namespace
