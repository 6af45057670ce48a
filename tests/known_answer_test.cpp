// Published and stored answers on every cipher path, and the checks that need no
// other library; this is also the suite the big-endian cross build runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "TestSupport.h"

namespace {

typedef PathTest KnownAnswers;

TEST_P(KnownAnswers, EveryVectorThroughTheBlockOperations) {
    // FIPS-197's examples are 16-byte blocks; the Rijndael file names its block size.
    auto rows = ReadVectorFile("aes_fips197.txt");
    for (auto& row : rows) row.insert(row.begin(), "16");
    const auto rijndael = ReadVectorFile("rijndael_ecb.txt");
    rows.insert(rows.end(), rijndael.begin(), rijndael.end());
    ASSERT_EQ(rows.size(), 31u);
    const int rounds[3][3] = {{10, 12, 14}, {12, 12, 14}, {14, 14, 14}};  // [key][block]
    for (const auto& row : rows) {
        const std::size_t size = std::stoul(row[0]);
        const Bytes key = FromHex(row[1]), plain = FromHex(row[2]), sealed = FromHex(row[3]);
        SCOPED_TRACE(row[0] + "-byte block, key " + row[1]);
        CRijnDael cipher;
        cipher.SetKey(key.data(), int(key.size()), int(size));
        EXPECT_EQ(cipher.GetKeyLength(), int(key.size()));
        EXPECT_EQ(cipher.GetBlockSize(), int(size));
        EXPECT_EQ(cipher.GetRounds(), rounds[key.size() / 8 - 2][size / 8 - 2]);
        Bytes out(plain.size()), back(plain.size()), inPlace = plain;
        for (std::size_t at = 0; at < plain.size(); at += size) {
            cipher.EncryptBlock(plain.data() + at, out.data() + at);
            cipher.DecryptBlock(sealed.data() + at, back.data() + at);
            cipher.EncryptBlock(inPlace.data() + at, inPlace.data() + at);
        }
        EXPECT_EQ(ToHex(out), row[3]);
        EXPECT_EQ(ToHex(back), row[2]);
        EXPECT_EQ(inPlace, sealed);
    }
}

// Buffers and multi-key walks of 37 blocks and a tail, long enough to fill every
// implementation's blocks in flight and leave some over. Block b of a walk over the rows
// first .. first + n - 1 is one of the stored blocks of row first + b % n.
TEST_P(KnownAnswers, BuffersAndMultiKeyWalks) {
    const auto rows = ReadVectorFile("rijndael_ecb.txt");
    // Rows 0, 3 and 6 have 16-, 24- and 32-byte keys; rows 0-2 all have 16.
    const std::pair<unsigned, unsigned> walks[] = {{0, 1}, {3, 1}, {6, 1}, {0, 2}, {0, 3}};
    for (auto [first, n] : walks) {
        std::string plainHex, sealedHex;
        for (unsigned b = 0; b < 37; ++b) {
            plainHex += rows.at(first + b % n)[2].substr(32 * (b / n % 2), 32);
            sealedHex += rows.at(first + b % n)[3].substr(32 * (b / n % 2), 32);
        }
        const Bytes plain = FromHex(plainHex + "7f"), sealed = FromHex(sealedHex + "7f");
        CRijnDael ciphers[3];
        for (unsigned k = 0; k < n; ++k) {
            const Bytes key = FromHex(rows[first + k][1]);
            ciphers[k].SetKey(key.data(), int(key.size()), 16);
        }
        SCOPED_TRACE(testing::Message() << "rows " << first << " to " << first + n - 1);
        Bytes out(plain.size()), back(plain.size());
        CRijnDael::EncryptBlock(ciphers, int(n), plain.data(), out.data(), int(out.size()));
        CRijnDael::DecryptBlock(ciphers, int(n), sealed.data(), back.data(), int(back.size()));
        EXPECT_EQ(out, sealed);
        EXPECT_EQ(back, plain);
        if (n > 1) continue;
        ciphers[0].Encrypt(plain.data(), out.data(), int(out.size()));
        ciphers[0].Decrypt(sealed.data(), back.data(), int(back.size()));
        EXPECT_EQ(out, sealed);
        EXPECT_EQ(back, plain);
    }
}

// Whole buffers of 24- and 32-byte blocks through the table's ECB, block for block
// what the lone-block calls above give.
TEST_P(KnownAnswers, WholeWideBuffersAreTheirLoneBlocks) {
    std::mt19937_64 rng(47);
    CheckWholeWideBuffersEcb(rng, [](const CRijnDael& cipher, const Bytes&, const Bytes& plain) {
        return CryptBlocks(true, cipher, plain);
    });
}

INSTANTIATE_PATHS(KnownAnswers);

// Key material must not outlive a re-key or the object: memory handed out again
// would still hold it.
TEST(KeyMaterial, IsWipedByReKeyingAndDestruction) {
    std::mt19937_64 rng(4);
    const Bytes key = RandomBytes(rng, 32), tail(key.begin() + 16, key.end());
    alignas(CRijnDael) unsigned char used[sizeof(CRijnDael)] = {}, fresh[sizeof(CRijnDael)] = {};
    CRijnDael* cipher = new (used) CRijnDael;
    cipher->SetKey(key.data(), 32, 32);
    cipher->SetKey(tail.data(), 16, 16);
    (new (fresh) CRijnDael)->SetKey(tail.data(), 16, 16);
    EXPECT_EQ(std::memcmp(used, fresh, sizeof used), 0) << "the re-keyed object keeps old words";
    cipher->~CRijnDael();
    const char* end = reinterpret_cast<const char*>(used) + sizeof used;
    EXPECT_EQ(std::search(end - sizeof used, end, tail.begin(), tail.end()), end);
}

#ifdef SEALWRIT_EXPECT_BIG_ENDIAN
// The cross build shows byte-order independence only if it runs big-endian.
TEST(ByteOrder, HostIsBigEndian) {
    const DWORD probe = 0x01020304;
    unsigned char first = 0;
    std::memcpy(&first, &probe, 1);
    EXPECT_EQ(first, 0x01);
}
#endif

}  // namespace
