// The rules every entry point keeps on every cipher path, whatever the implementations
// keep in flight: buffers that overlap other than exactly give what the
// block-by-block walk gives, and a null block buffer does nothing.
#include <cstring>

#include "TestSupport.h"

namespace {

typedef PathTest BufferRules;

// The walk as it has always run: each 16-byte block read after the block before it
// was written, then the tail copied as by memmove.
void Walk(const CRijnDael& cipher, bool decrypt, char* base, std::ptrdiff_t in, std::ptrdiff_t out,
          int n) {
    int b = 0;
    for (; 16 * (b + 1) <= n; ++b) {
        char* src = base + in + 16 * b;
        char* dest = base + out + 16 * b;
        decrypt ? cipher.DecryptBlock(src, dest) : cipher.EncryptBlock(src, dest);
    }
    std::memmove(base + out + 16 * b, base + in + 16 * b, std::size_t(n - 16 * b));
}

TEST_P(BufferRules, PartlyOverlappingBuffersWalkBlockByBlock) {
    std::mt19937_64 rng(20);
    const int n = 16 * 37 + 9;
    const Bytes key = RandomBytes(rng, 16), data = RandomBytes(rng, 2 * n);
    CRijnDael cipher;
    cipher.SetKey(key.data(), 16, 16);
    for (const bool decrypt : {false, true}) {
        for (const std::ptrdiff_t shift : {16, -16, 5, -5, 16 * 36, -1}) {
            SCOPED_TRACE(testing::Message()
                         << (decrypt ? "decrypt" : "encrypt") << ", shift " << shift);
            const std::ptrdiff_t in = shift < 0 ? -shift : 0, out = in + shift;
            Bytes expected = data, got = data, walked = data;
            Walk(cipher, decrypt, expected.data(), in, out, n);
            if (decrypt) {
                cipher.Decrypt(got.data() + in, got.data() + out, n);
                CRijnDael::DecryptBlock(&cipher, 1, walked.data() + in, walked.data() + out, n);
            } else {
                cipher.Encrypt(got.data() + in, got.data() + out, n);
                CRijnDael::EncryptBlock(&cipher, 1, walked.data() + in, walked.data() + out, n);
            }
            EXPECT_EQ(got, expected);
            EXPECT_EQ(walked, expected) << "the multi-key walk with one object";
        }
    }
}

TEST_P(BufferRules, NullBlockBuffersDoNothing) {
    const char key[32] = {1, 2, 3};
    for (const int size : {16, 24, 32}) {
        CRijnDael cipher;
        cipher.SetKey(key, 32, size);
        char block[32] = {9, 8, 7};
        const Bytes before(block, block + 32);
        testing::internal::CaptureStdout();
        cipher.EncryptBlock(nullptr, block);
        cipher.DecryptBlock(nullptr, block);
        cipher.EncryptBlock(block, nullptr);
        cipher.DecryptBlock(block, nullptr);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(Bytes(block, block + 32), before) << size;
    }
}

INSTANTIATE_PATHS(BufferRules);

}  // namespace
