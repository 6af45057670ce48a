// Member EncryptBlock/DecryptBlock against independent libraries: libmcrypt for
// every key and block size on random keys, OpenSSL for 16-byte blocks.
#include <gtest/gtest.h>

#include "McryptOracle.h"
#include "OpensslOracle.h"
#include "TestSupport.h"

namespace {

typedef PathTest RijndaelOracles;

TEST_P(RijndaelOracles, AgreeWithMcryptOnRandomKeys) {
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
                const Bytes sealed = CryptBlocks(true, cipher, plain);
                ASSERT_EQ(sealed, McryptRijndaelEcb(true, blockSize, key, plain));
                ASSERT_EQ(CryptBlocks(false, cipher, sealed), plain);
            }
        }
    }
}

TEST_P(RijndaelOracles, SixteenByteBlocksAreAesAsEncryptComputesIt) {
    std::mt19937_64 rng(42);
    for (int keylength : {16, 24, 32}) {
        const Bytes key = RandomBytes(rng, std::size_t(keylength));
        const Bytes plain = RandomBytes(rng, 16 * 5);
        CRijnDael cipher;
        cipher.SetKey(key.data(), keylength, 16);
        const Bytes sealed = CryptBlocks(true, cipher, plain);
        EXPECT_EQ(sealed, OpensslEcb(true, key, plain));
        Bytes viaEncrypt(plain.size());
        cipher.Encrypt(plain.data(), viaEncrypt.data(), int(plain.size()));
        EXPECT_EQ(sealed, viaEncrypt);
    }
}

INSTANTIATE_PATHS(RijndaelOracles);

}  // namespace
