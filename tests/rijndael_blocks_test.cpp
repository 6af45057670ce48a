// Member EncryptBlock/DecryptBlock for 16-, 24- and 32-byte blocks under every key
// size: stored answers, libmcrypt on random keys, round trips, in-place operation.
#include <gtest/gtest.h>

#include "McryptOracle.h"
#include "OpensslOracle.h"
#include "TestSupport.h"

namespace {

// Runs the member block operation over every block of data.
Bytes Blocks(bool encrypt, CRijnDael& cipher, const Bytes& data) {
    Bytes out(data.size(), '\x5a');
    const std::size_t size = std::size_t(cipher.GetBlockSize());
    for (std::size_t at = 0; at + size <= data.size(); at += size) {
        if (encrypt) {
            cipher.EncryptBlock(data.data() + at, out.data() + at);
        } else {
            cipher.DecryptBlock(data.data() + at, out.data() + at);
        }
    }
    return out;
}

typedef PathTest RijndaelBlocks;

TEST_P(RijndaelBlocks, StoredAnswersForEveryKeyAndBlockSize) {
    const auto rows = ReadVectorFile("rijndael_ecb.txt");
    ASSERT_EQ(rows.size(), 27u);
    for (const auto& row : rows) {
        const int blockSize = std::stoi(row[0]);
        const Bytes key = FromHex(row[1]), plain = FromHex(row[2]), sealed = FromHex(row[3]);
        SCOPED_TRACE(row[0] + "-byte block, key " + row[1]);
        CRijnDael cipher;
        cipher.SetKey(key.data(), int(key.size()), blockSize);
        EXPECT_EQ(ToHex(Blocks(true, cipher, plain)), row[3]);
        EXPECT_EQ(ToHex(Blocks(false, cipher, sealed)), row[2]);
    }
}

TEST_P(RijndaelBlocks, AgreeWithMcryptOnRandomKeys) {
    std::mt19937_64 rng(41);
    for (int blockSize : {16, 24, 32}) {
        for (int keylength : {16, 24, 32}) {
            SCOPED_TRACE(std::to_string(keylength) + "-byte key, " + std::to_string(blockSize) +
                         "-byte block");
            for (int trial = 0; trial < 25; ++trial) {
                const Bytes key = RandomBytes(rng, std::size_t(keylength));
                const Bytes plain = RandomBytes(rng, std::size_t(blockSize) * 4);
                CRijnDael cipher;
                cipher.SetKey(key.data(), keylength, blockSize);
                const Bytes sealed = Blocks(true, cipher, plain);
                ASSERT_EQ(sealed, McryptRijndaelEcb(true, blockSize, key, plain));
                ASSERT_EQ(Blocks(false, cipher, sealed), plain);
            }
        }
    }
}

TEST_P(RijndaelBlocks, SixteenByteBlocksAreAesAsEncryptComputesIt) {
    std::mt19937_64 rng(42);
    for (int keylength : {16, 24, 32}) {
        const Bytes key = RandomBytes(rng, std::size_t(keylength));
        const Bytes plain = RandomBytes(rng, 16 * 5);
        CRijnDael cipher;
        cipher.SetKey(key.data(), keylength, 16);
        const Bytes sealed = Blocks(true, cipher, plain);
        EXPECT_EQ(sealed, OpensslEcb(true, key, plain));
        Bytes viaEncrypt(plain.size());
        cipher.Encrypt(plain.data(), viaEncrypt.data(), int(plain.size()));
        EXPECT_EQ(sealed, viaEncrypt);
    }
}

TEST_P(RijndaelBlocks, InPlaceAndExactlyOneBlockWritten) {
    std::mt19937_64 rng(43);
    for (int blockSize : {16, 24, 32}) {
        for (int keylength : {16, 24, 32}) {
            const Bytes key = RandomBytes(rng, std::size_t(keylength));
            CRijnDael cipher;
            cipher.SetKey(key.data(), keylength, blockSize);
            const Bytes plain = RandomBytes(rng, std::size_t(blockSize));
            Bytes out(std::size_t(blockSize) + 8, '\x11');
            cipher.EncryptBlock(plain.data(), out.data());
            EXPECT_EQ(Bytes(out.end() - 8, out.end()), Bytes(8, '\x11'));
            Bytes buffer = plain;
            cipher.EncryptBlock(buffer.data(), buffer.data());
            EXPECT_EQ(buffer, Bytes(out.begin(), out.begin() + blockSize));
            cipher.DecryptBlock(buffer.data(), buffer.data());
            EXPECT_EQ(buffer, plain);
        }
    }
}

TEST_P(RijndaelBlocks, UnkeyedObjectLeavesTheResultAlone) {
    CRijnDael cipher;
    Bytes in(32, '\x01'), out(32, '\x02');
    testing::internal::CaptureStdout();
    cipher.EncryptBlock(in.data(), out.data());
    cipher.DecryptBlock(in.data(), out.data());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Object not InitializedObject not Initialized");
    EXPECT_EQ(out, Bytes(32, '\x02'));
}

INSTANTIATE_PATHS(RijndaelBlocks);

}  // namespace
