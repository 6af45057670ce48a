// SetKeys and the static EncryptBlock/DecryptBlock: key order, turn-taking, tails,
// return values, and bad input that must not reach outside the caller's memory.
#include <gtest/gtest.h>

#include "OpensslOracle.h"
#include "TestSupport.h"

namespace {

Bytes Key(const Bytes& run, int index) {
    return Bytes(run.begin() + 16 * index, run.begin() + 16 * index + 16);
}

Bytes MultiEncrypt(CRijnDael* keys, int nKeys, const Bytes& plain) {
    Bytes out(plain.size(), '\x5a');
    CRijnDael::EncryptBlock(keys, nKeys, plain.data(), out.data(), int(plain.size()));
    return out;
}

typedef PathTest MultiKey;

TEST_P(MultiKey, OneKeyEqualsEncrypt) {
    std::mt19937_64 rng(51);
    const Bytes run = RandomBytes(rng, 16);
    CRijnDael keys[1];
    ASSERT_TRUE(CRijnDael::SetKeys(keys, run.data(), 1, 16));
    for (std::size_t n : {0u, 5u, 16u, 37u, 160u, 1000u}) {
        const Bytes plain = RandomBytes(rng, n);
        Bytes viaEncrypt(n, '\x5a');
        keys[0].Encrypt(plain.data(), viaEncrypt.data(), int(n));
        EXPECT_EQ(MultiEncrypt(keys, 1, plain), viaEncrypt) << n;
    }
}

TEST_P(MultiKey, BlocksTakeTheKeysInTurnFromTheFirstOnEveryCall) {
    std::mt19937_64 rng(52);
    const Bytes run = RandomBytes(rng, 48);
    CRijnDael keys[3];
    ASSERT_TRUE(CRijnDael::SetKeys(keys, run.data(), 3, 48));
    for (std::size_t n : {80u, 85u, 20u, 16u * 7u + 9u}) {
        const Bytes plain = RandomBytes(rng, n);
        const Bytes sealed = MultiEncrypt(keys, 3, plain);
        for (std::size_t block = 0; block < n / 16; ++block) {
            const Bytes in(plain.begin() + 16 * block, plain.begin() + 16 * block + 16);
            EXPECT_EQ(Bytes(sealed.begin() + 16 * block, sealed.begin() + 16 * block + 16),
                      OpensslEcb(true, Key(run, int(block % 3)), in))
                << "block " << block << " of " << n << " bytes";
        }
        EXPECT_EQ(Bytes(sealed.begin() + n / 16 * 16, sealed.end()),
                  Bytes(plain.begin() + n / 16 * 16, plain.end()));
        // A second call starts again with the first key.
        EXPECT_EQ(MultiEncrypt(keys, 3, plain), sealed);
        Bytes restored(n);
        CRijnDael::DecryptBlock(keys, 3, sealed.data(), restored.data(), int(n));
        EXPECT_EQ(restored, plain);
        Bytes inPlace = plain;
        CRijnDael::EncryptBlock(keys, 3, inPlace.data(), inPlace.data(), int(n));
        EXPECT_EQ(inPlace, sealed);
    }
}

TEST_P(MultiKey, SetKeysChecksTheCountAgainstTheKeyBytes) {
    std::mt19937_64 rng(53);
    const Bytes run = RandomBytes(rng, 64);
    CRijnDael keys[2];
    EXPECT_FALSE(CRijnDael::SetKeys(keys, run.data(), 2, 31));
    EXPECT_EQ(keys[0].GetRounds(), 0);
    EXPECT_EQ(keys[1].GetRounds(), 0);
    EXPECT_FALSE(CRijnDael::SetKeys(keys, run.data(), 2, 48));
    EXPECT_FALSE(CRijnDael::SetKeys(keys, run.data(), 1, 32));
    EXPECT_TRUE(CRijnDael::SetKeys(keys, run.data(), 0, 15));
    EXPECT_EQ(keys[0].GetRounds(), 0);
    EXPECT_TRUE(CRijnDael::SetKeys(keys, run.data(), 2, 47));
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(keys[k].GetRounds(), 10);
        const Bytes block = RandomBytes(rng, 16);
        Bytes sealed(16);
        keys[k].Encrypt(block.data(), sealed.data(), 16);
        EXPECT_EQ(sealed, OpensslEcb(true, Key(run, k), block));
    }
    // A count that matches but nowhere to put or take the keys.
    EXPECT_FALSE(CRijnDael::SetKeys(nullptr, run.data(), 1, 16));
    EXPECT_FALSE(CRijnDael::SetKeys(keys, nullptr, 1, 16));
}

TEST_P(MultiKey, UnkeyedObjectsSkipTheirBlocks) {
    std::mt19937_64 rng(54);
    const Bytes run = RandomBytes(rng, 16);
    CRijnDael keys[2];
    keys[0].SetKey(run.data(), 16, 16);
    const Bytes plain = RandomBytes(rng, 16 * 4 + 3);
    Bytes out(plain.size(), '\x77');
    testing::internal::CaptureStdout();
    CRijnDael::EncryptBlock(keys, 2, plain.data(), out.data(), int(plain.size()));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Object not InitializedObject not Initialized");
    for (int block : {1, 3}) {
        EXPECT_EQ(Bytes(out.begin() + 16 * block, out.begin() + 16 * block + 16),
                  Bytes(16, '\x77'));
    }
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 16),
              OpensslEcb(true, run, Bytes(plain.begin(), plain.begin() + 16)));
    EXPECT_EQ(Bytes(out.end() - 3, out.end()), Bytes(plain.end() - 3, plain.end()));
}

TEST_P(MultiKey, WideBlockObjectsAreRefusedRatherThanOverrun) {
    std::mt19937_64 rng(55);
    const Bytes key = RandomBytes(rng, 32);
    CRijnDael keys[2];
    keys[0].SetKey(key.data(), 16, 16);
    keys[1].SetKey(key.data(), 32, 32);
    // The buffers are exactly as long as the data: a 32-byte block for the second
    // object would run past their ends (AddressSanitizer would see it).
    const Bytes plain = RandomBytes(rng, 32);
    std::unique_ptr<char[]> in(new char[32]), out(new char[32]);
    std::copy(plain.begin(), plain.end(), in.get());
    std::fill(out.get(), out.get() + 32, '\x66');
    testing::internal::CaptureStdout();
    CRijnDael::EncryptBlock(keys, 2, in.get(), out.get(), 32);
    CRijnDael::DecryptBlock(keys + 1, 1, in.get(), out.get(), 16);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Error: Incorrect block length\nError: Incorrect block length\n");
    EXPECT_EQ(Bytes(out.get() + 16, out.get() + 32), Bytes(16, '\x66'));
    EXPECT_EQ(Bytes(out.get(), out.get() + 16),
              OpensslEcb(true, Bytes(key.begin(), key.begin() + 16),
                         Bytes(plain.begin(), plain.begin() + 16)));
}

TEST_P(MultiKey, BadCountsPointersAndLengthsTouchNothing) {
    std::mt19937_64 rng(56);
    const Bytes run = RandomBytes(rng, 16);
    CRijnDael keys[1];
    ASSERT_TRUE(CRijnDael::SetKeys(keys, run.data(), 1, 16));
    const Bytes plain = RandomBytes(rng, 40);
    Bytes out(40, '\x44');
    for (int nKeys : {0, -1, -100}) {
        testing::internal::CaptureStdout();
        CRijnDael::EncryptBlock(keys, nKeys, plain.data(), out.data(), 40);
        CRijnDael::DecryptBlock(keys, nKeys, plain.data(), out.data(), 40);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "Object not InitializedObject not Initialized");
    }
    testing::internal::CaptureStdout();
    CRijnDael::EncryptBlock(nullptr, 1, plain.data(), out.data(), 40);
    CRijnDael::EncryptBlock(keys, 1, nullptr, out.data(), 40);
    CRijnDael::EncryptBlock(keys, 1, plain.data(), nullptr, 40);
    CRijnDael::EncryptBlock(keys, 1, plain.data(), out.data(), -16);
    CRijnDael::DecryptBlock(keys, 1, plain.data(), out.data(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Object not Initialized");
    EXPECT_EQ(out, Bytes(40, '\x44'));
}

INSTANTIATE_PATHS(MultiKey);

}  // namespace
