// The multi-key walk with blocks in flight: the cases that must go one block at a
// time. Key counts against block counts and register widths are in the fuzz
// target's sweeps (fuzz/sealwrit_fuzz.cpp).
#include <cstring>

#include "TestSupport.h"

namespace {

typedef PathTest MultiKeyBatch;

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
