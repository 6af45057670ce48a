// The key schedule: published expansion, round counts, decryption keys, the same
// words on every path, and SetKey's checks and messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <string>

#include "TestSupport.h"

namespace {

std::string SetKeyOutput(CRijnDael& cipher, LPCSTR key, int keylength, int blockSize) {
    testing::internal::CaptureStdout();
    cipher.SetKey(key, keylength, blockSize);
    return testing::internal::GetCapturedStdout();
}

TEST(KeySchedule, MatchesPublishedAes128Expansion) {
    const auto rows = ReadVectorFile("aes128_key_expansion.txt");
    ASSERT_EQ(rows.size(), 11u);
    const Bytes key = FromHex("2b7e151628aed2a6abf7158809cf4f3c");
    for (const CipherPath& path : AvailablePaths()) {
        SCOPED_TRACE(path.name);
        ScopedPath use(path);
        CRijnDael cipher;
        cipher.SetKey(key.data(), 16, 16);
        ASSERT_EQ(cipher.GetRounds(), 10);
        for (int r = 0; r <= 10; ++r) {
            for (int j = 0; j < 4; ++j) {
                EXPECT_EQ(CRijnDaelInspector::Ke(cipher, r, j), std::stoul(rows[r][j], nullptr, 16))
                    << "round " << r << " word " << j;
            }
        }
    }
}

TEST(KeySchedule, RoundCountsAndDecryptionKeysForEveryShape) {
    std::mt19937_64 rng(1);
    const int lengths[] = {16, 24, 32};
    for (int keylength : lengths) {
        for (int blockSize : lengths) {
            SCOPED_TRACE(std::to_string(keylength) + "-byte key, " + std::to_string(blockSize) +
                         "-byte block");
            const Bytes key = RandomBytes(rng, std::size_t(keylength));
            CRijnDael reference;
            {
                ScopedPath table(AvailablePaths().front());
                reference.SetKey(key.data(), keylength, blockSize);
            }
            const int rounds = (keylength > blockSize ? keylength : blockSize) / 4 + 6;
            EXPECT_EQ(reference.GetRounds(), rounds);
            EXPECT_EQ(reference.GetKeyLength(), keylength);
            EXPECT_EQ(reference.GetBlockSize(), blockSize);
            for (int j = 0; j < blockSize / 4; ++j) {
                EXPECT_EQ(CRijnDaelInspector::Kd(reference, 0, j),
                          CRijnDaelInspector::Ke(reference, rounds, j));
                EXPECT_EQ(CRijnDaelInspector::Kd(reference, rounds, j),
                          CRijnDaelInspector::Ke(reference, 0, j));
            }
            // The key words open the schedule unchanged, and the key bytes are read as
            // unsigned (these keys are full of bytes above 0x7f).
            for (int j = 0; j < keylength / 4 && j < blockSize / 4; ++j) {
                const auto* b = reinterpret_cast<const unsigned char*>(key.data()) + 4 * j;
                const DWORD word =
                    (DWORD(b[0]) << 24) | (DWORD(b[1]) << 16) | (DWORD(b[2]) << 8) | b[3];
                EXPECT_EQ(CRijnDaelInspector::Ke(reference, 0, j), word);
            }
            for (const CipherPath& path : AvailablePaths()) {
                SCOPED_TRACE(path.name);
                ScopedPath use(path);
                CRijnDael cipher;
                cipher.SetKey(key.data(), keylength, blockSize);
                EXPECT_EQ(CRijnDaelInspector::Schedule(cipher),
                          CRijnDaelInspector::Schedule(reference));
            }
        }
    }
}

TEST(KeySchedule, ReportsTheFirstFailingCheckOnly) {
    const Bytes key(32, 'k');
    CRijnDael cipher;
    EXPECT_EQ(SetKeyOutput(cipher, nullptr, 16, 16), "Error: Empth key\n");
    EXPECT_EQ(SetKeyOutput(cipher, nullptr, 20, 7), "Error: Empth key\n");
    EXPECT_EQ(SetKeyOutput(cipher, key.data(), 20, 7), "Error: Incorrect key length\n");
    EXPECT_EQ(SetKeyOutput(cipher, key.data(), 16, 20), "Error: Incorrect block length\n");
    for (int bad : {-16, -1, 0, 1, 15, 17, 20, 23, 31, 33, 64}) {
        EXPECT_EQ(SetKeyOutput(cipher, key.data(), bad, 16), "Error: Incorrect key length\n");
        EXPECT_EQ(SetKeyOutput(cipher, key.data(), 16, bad), "Error: Incorrect block length\n");
    }
    EXPECT_FALSE(CRijnDaelInspector::Keyed(cipher));
    EXPECT_EQ(SetKeyOutput(cipher, key.data(), 32, 24), "");
    EXPECT_TRUE(CRijnDaelInspector::Keyed(cipher));
}

TEST(KeySchedule, UnkeyedObjectReportsZeroLengths) {
    const CRijnDael cipher;
    EXPECT_EQ(cipher.GetKeyLength(), 0);
    EXPECT_EQ(cipher.GetBlockSize(), 0);
    EXPECT_EQ(cipher.GetRounds(), 0);
}

TEST(KeySchedule, FailedSetKeyKeepsThePreviousKey) {
    std::mt19937_64 rng(2);
    const Bytes key = RandomBytes(rng, 24);
    CRijnDael cipher;
    cipher.SetKey(key.data(), 24, 32);
    const std::vector<DWORD> before = CRijnDaelInspector::Schedule(cipher);
    const Bytes other = RandomBytes(rng, 32);
    SetKeyOutput(cipher, nullptr, 16, 16);
    SetKeyOutput(cipher, other.data(), 20, 16);
    SetKeyOutput(cipher, other.data(), 16, 0);
    EXPECT_EQ(CRijnDaelInspector::Schedule(cipher), before);
    EXPECT_EQ(cipher.GetKeyLength(), 24);
    EXPECT_EQ(cipher.GetBlockSize(), 32);
    EXPECT_EQ(cipher.GetRounds(), 14);
}

TEST(KeySchedule, RekeyingReplacesTheOldSchedule) {
    std::mt19937_64 rng(3);
    const Bytes wide = RandomBytes(rng, 32);
    const Bytes narrow = RandomBytes(rng, 16);
    CRijnDael rekeyed;
    rekeyed.SetKey(wide.data(), 32, 32);
    rekeyed.SetKey(narrow.data(), 16, 16);
    CRijnDael fresh;
    fresh.SetKey(narrow.data(), 16, 16);
    EXPECT_EQ(rekeyed.GetRounds(), 10);
    const Bytes block = RandomBytes(rng, 16);
    Bytes a(16), b(16);
    rekeyed.Encrypt(block.data(), a.data(), 16);
    fresh.Encrypt(block.data(), b.data(), 16);
    EXPECT_EQ(a, b);
}

bool Contains(const unsigned char* storage, std::size_t size, const Bytes& needle) {
    const auto* begin = reinterpret_cast<const char*>(storage);
    return std::search(begin, begin + size, needle.begin(), needle.end()) != begin + size;
}

TEST(KeySchedule, KeyMaterialDoesNotOutliveTheObjectOrTheKey) {
    std::mt19937_64 rng(4);
    const Bytes key = RandomBytes(rng, 32);
    alignas(CRijnDael) unsigned char storage[sizeof(CRijnDael)];
    CRijnDael* cipher = new (storage) CRijnDael;
    cipher->SetKey(key.data(), 32, 32);
    // The byte-order copy of round key 0 is the key itself.
    const Bytes head(key.begin(), key.begin() + 16);
    ASSERT_TRUE(Contains(storage, sizeof storage, head));

    // A smaller schedule replaces every word of the larger one.
    cipher->SetKey(key.data() + 16, 16, 16);
    EXPECT_FALSE(Contains(storage, sizeof storage, head));
    for (int r = 11; r <= 14; ++r) {
        for (int j = 0; j < 8; ++j) EXPECT_EQ(CRijnDaelInspector::Ke(*cipher, r, j), 0u);
    }

    const Bytes tail(key.begin() + 16, key.end());
    ASSERT_TRUE(Contains(storage, sizeof storage, tail));
    cipher->~CRijnDael();
    EXPECT_FALSE(Contains(storage, sizeof storage, tail));
}

}  // namespace
