// Encrypt and Decrypt with 16-, 24- and 32-byte keys against OpenSSL on random keys
// and on every length up to a few hundred bytes and some long ones, on every path.
#include <gtest/gtest.h>

#include "OpensslOracle.h"
#include "TestSupport.h"

namespace {

typedef PathTest AesOpenssl;

TEST_P(AesOpenssl, AgreesWithOpensslOnRandomKeysAndLengths) {
    std::mt19937_64 rng(11);
    for (int keylength : {16, 24, 32}) {
        for (int trial = 0; trial < 40; ++trial) {
            const Bytes key = RandomBytes(rng, std::size_t(keylength));
            CRijnDael cipher;
            cipher.SetKey(key.data(), keylength, 16);
            // Every length up to a few hundred bytes once per key size, then long ones.
            for (std::size_t n = std::size_t(trial) * 10; n < std::size_t(trial) * 10 + 10; ++n) {
                SCOPED_TRACE(std::to_string(keylength) + "-byte key, " + std::to_string(n) +
                             " bytes");
                const Bytes plain = RandomBytes(rng, n);
                const Bytes expected = OpensslEcb(true, key, plain);
                ASSERT_EQ(CryptBuffer(true, cipher, plain), expected);
                ASSERT_EQ(CryptBuffer(false, cipher, expected), plain);
                ASSERT_EQ(OpensslEcb(false, key, expected), plain);
            }
        }
        for (std::size_t n : {4096u, 4097u, 65536u + 7u, 1u << 20}) {
            const Bytes key = RandomBytes(rng, std::size_t(keylength));
            CRijnDael cipher;
            cipher.SetKey(key.data(), keylength, 16);
            const Bytes plain = RandomBytes(rng, n);
            const Bytes expected = OpensslEcb(true, key, plain);
            ASSERT_EQ(CryptBuffer(true, cipher, plain), expected) << n << " bytes";
            ASSERT_EQ(CryptBuffer(false, cipher, expected), plain) << n << " bytes";
        }
    }
}

INSTANTIATE_PATHS(AesOpenssl);

}  // namespace
