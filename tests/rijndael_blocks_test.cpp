// Member EncryptBlock/DecryptBlock for 16-, 24- and 32-byte blocks under every key
// size: stored answers, round trips, in-place operation.
#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

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
        EXPECT_EQ(ToHex(CryptBlocks(true, cipher, plain)), row[3]);
        EXPECT_EQ(ToHex(CryptBlocks(false, cipher, sealed)), row[2]);
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
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Object not InitializedObject not Initialized");
    EXPECT_EQ(out, Bytes(32, '\x02'));
}

INSTANTIATE_PATHS(RijndaelBlocks);

}  // namespace
