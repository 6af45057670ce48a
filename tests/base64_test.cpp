// The Base64 encoder: published examples, OpenSSL on random data, and bad input.
#include "Base64.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdlib>
#include <memory>

#include "TestSupport.h"

namespace {

struct Encoded {
    std::string text;
    int length;
};

Encoded Encode(const Bytes& data) {
    int length = -1;
    std::unique_ptr<char, decltype(&std::free)> out(
        base64_encode(reinterpret_cast<const unsigned char*>(data.data()), int(data.size()),
                      &length),
        &std::free);
    EXPECT_NE(out, nullptr);
    return {out ? std::string(out.get()) : std::string(), length};
}

TEST(Base64, PublishedExamples) {
    // RFC 4648 section 10.
    const char* pairs[][2] = {{"", ""},
                              {"f", "Zg=="},
                              {"fo", "Zm8="},
                              {"foo", "Zm9v"},
                              {"foob", "Zm9vYg=="},
                              {"fooba", "Zm9vYmE="},
                              {"foobar", "Zm9vYmFy"}};
    for (const auto& pair : pairs) {
        const std::string in = pair[0];
        const Encoded e = Encode(Bytes(in.begin(), in.end()));
        EXPECT_EQ(e.text, pair[1]);
        EXPECT_EQ(e.length, int(e.text.size()));
    }
}

TEST(Base64, AgreesWithOpensslWithoutLineBreaks) {
    std::mt19937_64 rng(21);
    for (std::size_t n = 0; n < 300; ++n) {
        const Bytes data = RandomBytes(rng, n == 299 ? 100000 : n);
        std::string expected(4 * ((data.size() + 2) / 3) + 1, '\0');
        const int written =
            EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&expected[0]),
                            reinterpret_cast<const unsigned char*>(data.data()), int(data.size()));
        expected.resize(std::size_t(written));
        const Encoded e = Encode(data);
        ASSERT_EQ(e.text, expected) << data.size() << " bytes";
        ASSERT_EQ(e.length, written);
        ASSERT_EQ(e.text.find('\n'), std::string::npos);
    }
}

TEST(Base64, OutputLengthIsOptional) {
    const unsigned char data[] = {0xff, 0xfe, 0x80};
    std::unique_ptr<char, decltype(&std::free)> out(base64_encode(data, 3, nullptr), &std::free);
    ASSERT_NE(out, nullptr);
    EXPECT_STREQ(out.get(), "//6A");
}

TEST(Base64, RefusesLengthsItCannotEncode) {
    const unsigned char data[] = {1, 2, 3};
    int length = 1234;
    EXPECT_EQ(base64_encode(data, -1, &length), nullptr);
    EXPECT_EQ(base64_encode(data, BASE64_MAX_INPUT + 1, &length), nullptr);
    EXPECT_EQ(base64_encode(nullptr, 3, &length), nullptr);
    EXPECT_EQ(length, 1234);
    std::unique_ptr<char, decltype(&std::free)> empty(base64_encode(nullptr, 0, &length),
                                                      &std::free);
    ASSERT_NE(empty, nullptr);
    EXPECT_STREQ(empty.get(), "");
    EXPECT_EQ(length, 0);
}

}  // namespace
