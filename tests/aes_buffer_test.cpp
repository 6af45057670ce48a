// Encrypt and Decrypt with 16-byte blocks: published answers, in-place operation
// and the edge cases of the buffer walk, on every path this CPU has.
#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

typedef PathTest AesBuffer;

TEST_P(AesBuffer, PublishedExamples) {
    const auto rows = ReadVectorFile("aes_fips197.txt");
    ASSERT_EQ(rows.size(), 4u);
    for (const auto& row : rows) {
        const Bytes key = FromHex(row[0]), plain = FromHex(row[1]), expected = FromHex(row[2]);
        SCOPED_TRACE(row[0]);
        CRijnDael cipher;
        cipher.SetKey(key.data(), int(key.size()), 16);
        EXPECT_EQ(ToHex(CryptBuffer(true, cipher, plain)), row[2]);
        EXPECT_EQ(ToHex(CryptBuffer(false, cipher, expected)), row[1]);
    }
}

TEST_P(AesBuffer, InPlaceEqualsOutOfPlace) {
    std::mt19937_64 rng(12);
    const Bytes key = RandomBytes(rng, 16);
    CRijnDael cipher;
    cipher.SetKey(key.data(), 16, 16);
    for (std::size_t n : {1u, 15u, 16u, 17u, 64u, 127u, 128u, 129u, 255u, 256u, 257u, 1000u}) {
        const Bytes plain = RandomBytes(rng, n);
        Bytes buffer = plain;
        cipher.Encrypt(buffer.data(), buffer.data(), int(n));
        EXPECT_EQ(buffer, CryptBuffer(true, cipher, plain)) << n;
        cipher.Decrypt(buffer.data(), buffer.data(), int(n));
        EXPECT_EQ(buffer, plain) << n;
    }
}

TEST_P(AesBuffer, WalksBlocksAndCarriesTheTail) {
    const Bytes key = FromHex("000102030405060708090a0b0c0d0e0f");
    CRijnDael cipher;
    cipher.SetKey(key.data(), 16, 16);
    const Bytes block = FromHex("00112233445566778899aabbccddeeff");
    const Bytes sealed = FromHex("69c4e0d86a7b0430d8cdb78070b4c55a");

    const Bytes short15(block.begin(), block.begin() + 15);
    EXPECT_EQ(CryptBuffer(true, cipher, short15), short15);

    Bytes twoAndOne = block;
    twoAndOne.insert(twoAndOne.end(), block.begin(), block.end());
    twoAndOne.push_back('\x7f');
    Bytes expected = sealed;
    expected.insert(expected.end(), sealed.begin(), sealed.end());
    expected.push_back('\x7f');
    EXPECT_EQ(CryptBuffer(true, cipher, twoAndOne), expected);

    // The walk writes exactly n bytes and nothing past them.
    Bytes out(40, '\x33');
    cipher.Encrypt(twoAndOne.data(), out.data(), 33);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 33), expected);
    EXPECT_EQ(Bytes(out.begin() + 33, out.end()), Bytes(7, '\x33'));
}

TEST_P(AesBuffer, NothingHappensWithoutBytesOrBuffers) {
    const Bytes key(16, '\x01');
    CRijnDael cipher;
    cipher.SetKey(key.data(), 16, 16);
    Bytes in(32, '\x02'), out(32, '\x03');
    testing::internal::CaptureStdout();
    cipher.Encrypt(in.data(), out.data(), 0);
    cipher.Encrypt(in.data(), out.data(), -16);
    cipher.Decrypt(in.data(), out.data(), -1);
    cipher.Encrypt(nullptr, out.data(), 32);
    cipher.Decrypt(in.data(), nullptr, 32);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(out, Bytes(32, '\x03'));
}

TEST_P(AesBuffer, UnkeyedObjectSaysSoOncePerCallAndWritesNothing) {
    const CRijnDael cipher;
    Bytes in(40, '\x02'), out(40, '\x03');
    for (int n : {0, 7, 40}) {
        testing::internal::CaptureStdout();
        cipher.Encrypt(in.data(), out.data(), n);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Object not Initialized");
        testing::internal::CaptureStdout();
        cipher.Decrypt(in.data(), out.data(), n);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Object not Initialized");
    }
    EXPECT_EQ(out, Bytes(40, '\x03'));
}

TEST_P(AesBuffer, WiderBlockObjectsUseTheFirstFourWordsOfEachRoundKey) {
    // Encrypt always runs the 16-byte rounds; on an object keyed for wider blocks
    // that is not AES, but every path must give the same bytes and invert them.
    std::mt19937_64 rng(13);
    for (int blockSize : {24, 32}) {
        const Bytes key = RandomBytes(rng, 16);
        const Bytes plain = RandomBytes(rng, 16 * 9 + 5);
        Bytes reference;
        {
            ScopedPath table(AvailablePaths().front());
            CRijnDael cipher;
            cipher.SetKey(key.data(), 16, blockSize);
            reference = CryptBuffer(true, cipher, plain);
        }
        CRijnDael cipher;
        cipher.SetKey(key.data(), 16, blockSize);
        EXPECT_EQ(CryptBuffer(true, cipher, plain), reference);
        EXPECT_EQ(CryptBuffer(false, cipher, reference), plain);
    }
}

INSTANTIATE_PATHS(AesBuffer);

}  // namespace
