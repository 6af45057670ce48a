// The multi-key walk with blocks in flight: key counts against block counts and
// register widths, turn-taking across loop boundaries, and the cases that must go
// one block at a time.
#include <cstring>

#include "Oracles.h"
#include "TestSupport.h"

namespace {

typedef void (*Walk)(CRijnDael*, int, LPCSTR, LPSTR, int);
const Walk kWalk[2] = {&CRijnDael::DecryptBlock, &CRijnDael::EncryptBlock};

typedef PathTest MultiKeyBatch;

// Only the objects the walk reaches are keyed. Key length 0 alternates 16- and
// 32-byte keys, so that the round counts differ.
TEST_P(MultiKeyBatch, EveryBlockUnderTheKeyWhoseTurnItIs) {
    std::mt19937_64 rng(61);
    const std::size_t kCases[][3] = {{1, 16, 70},     {2, 16, 1024}, {3, 16, 2109}, {4, 0, 40},
                                     {8, 32, 67},     {9, 16, 5},    {12, 24, 300}, {64, 16, 1024},
                                     {100, 16, 1027}, {500, 16, 997}};
    for (const auto& [nKeys, keyLength, blocks] : kCases) {
        std::unique_ptr<CRijnDael[]> objects(new CRijnDael[nKeys]);
        std::vector<Bytes> keys;
        for (std::size_t i = 0; i < std::min(nKeys, blocks); ++i) {
            keys.push_back(RandomBytes(rng, keyLength ? keyLength : 16 + 16 * (i % 2)));
            objects[i].SetKey(keys.back().data(), int(keys.back().size()), 16);
        }
        const int n = int(16 * blocks + blocks % 10);  // tails of 0 to 9 bytes
        for (const bool encrypt : {true, false}) {
            const Bytes data = RandomBytes(rng, n);
            // Decryption runs in place.
            Bytes expected = data, out = encrypt ? Bytes(n) : data;
            for (std::size_t j = 0; j < keys.size(); ++j) {
                const Bytes all = OpensslEcb(encrypt, keys[j], data);
                for (std::size_t b = j; b < blocks; b += keys.size())
                    std::memcpy(&expected[16 * b], &all[16 * b], 16);
            }
            SCOPED_TRACE(testing::Message() << nKeys << " keys, " << n << " bytes, " << encrypt);
            testing::internal::CaptureStdout();
            kWalk[encrypt](objects.get(), int(nKeys), encrypt ? data.data() : out.data(),
                           out.data(), n);
            EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
            EXPECT_EQ(out, expected);
        }
    }
}

// First objects 1 and 2 (unkeyed, keyed for 32-byte blocks) refuse each of their
// blocks with their message, in block order; then all are keyed alike. Either way,
// with the output a block past the input, each block is read after the one before
// it was written, as one block at a time has always done.
TEST_P(MultiKeyBatch, RefusalsAndOverlapGoOneBlockAtATime) {
    std::mt19937_64 rng(62);
    const Bytes key = RandomBytes(rng, 64), data = RandomBytes(rng, 16 * 42 + 5);
    CRijnDael objects[4];
    for (int i : {0, 2, 3}) objects[i].SetKey(key.data(), i == 2 ? 32 : 16, i == 2 ? 32 : 16);
    for (const bool refusing : {true, false}) {
        Bytes walked = data, expected = data;
        std::string messages;
        for (std::size_t b = 0; b < 41; ++b) {
            if (refusing && b % 4 == 1) messages += "Object not Initialized";
            if (refusing && b % 4 == 2) messages += "Error: Incorrect block length\n";
            if (!refusing || b % 4 == 0 || b % 4 == 3)
                objects[b % 4].EncryptBlock(&expected[16 * b], &expected[16 * b + 16]);
        }
        std::memmove(&expected[16 * 42], &expected[16 * 41], 5);
        testing::internal::CaptureStdout();
        CRijnDael::EncryptBlock(objects, 4, walked.data(), walked.data() + 16, 16 * 41 + 5);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), messages);
        EXPECT_EQ(walked, expected);
        ASSERT_TRUE(CRijnDael::SetKeys(objects, key.data(), 4, 64));
    }
}

INSTANTIATE_PATHS(MultiKeyBatch);

}  // namespace
