// Published and stored answers on every cipher path, and the checks that need no
// other library; this is also the suite the big-endian cross build runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "TestSupport.h"

namespace {

typedef PathTest KnownAnswers;

TEST_P(KnownAnswers, EveryVectorThroughTheBlockAndBufferOperations) {
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
        if (size != 16) continue;
        // The buffer walk, in place: whole blocks, then a tail that stays in clear.
        Bytes text = plain, expected = sealed;
        text.insert(text.end(), {'t', 'a', 'i', 'l'});
        expected.insert(expected.end(), {'t', 'a', 'i', 'l'});
        Bytes buffer = text;
        cipher.Encrypt(buffer.data(), buffer.data(), int(buffer.size()));
        EXPECT_EQ(buffer, expected);
        cipher.Decrypt(buffer.data(), buffer.data(), int(buffer.size()));
        EXPECT_EQ(buffer, text);
    }
}

TEST_P(KnownAnswers, MultiKeyBlocksTakeTheKeysInTurn) {
    // The first three rows of the Rijndael file are AES-128 with two blocks each:
    // blocks k and k + 3 of the walk go to object k, and the tail stays in clear.
    const auto rows = ReadVectorFile("rijndael_ecb.txt");
    Bytes run, plain, sealed;
    for (std::size_t half : {0, 16}) {
        for (int k = 0; k < 3; ++k) {
            const Bytes key = FromHex(rows[k][1]), p = FromHex(rows[k][2]), s = FromHex(rows[k][3]);
            if (half == 0) run.insert(run.end(), key.begin(), key.end());
            plain.insert(plain.end(), p.begin() + half, p.begin() + half + 16);
            sealed.insert(sealed.end(), s.begin() + half, s.begin() + half + 16);
        }
    }
    plain.insert(plain.end(), {'e', 'n', 'd'});
    sealed.insert(sealed.end(), {'e', 'n', 'd'});
    CRijnDael keys[3];
    ASSERT_TRUE(CRijnDael::SetKeys(keys, run.data(), 3, 48));
    Bytes out(plain.size()), back(plain.size());
    CRijnDael::EncryptBlock(keys, 3, plain.data(), out.data(), int(plain.size()));
    CRijnDael::DecryptBlock(keys, 3, sealed.data(), back.data(), int(sealed.size()));
    EXPECT_EQ(out, sealed);
    EXPECT_EQ(back, plain);
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

// A detection slip would quietly drop the hardware paths from every other test. The
// compiler's own CPU query answers independently (clang 14's does not know "vaes").
#if (defined(__x86_64__) || defined(__i386__)) && !defined(__clang__)
TEST(Dispatch, OffersExactlyTheBackEndsTheCpuHas) {
    __builtin_cpu_init();
    const bool aes = __builtin_cpu_supports("aes");
    const bool vaes = aes && __builtin_cpu_supports("vaes");
    EXPECT_EQ(GetAesniBackend() != nullptr, aes);
    EXPECT_EQ(GetVaes256Backend() != nullptr, vaes && __builtin_cpu_supports("avx2"));
    EXPECT_EQ(GetVaes512Backend() != nullptr, vaes && __builtin_cpu_supports("avx512f"));
}
#endif

TEST(Dispatch, DefaultIsTheWidestBackEndAvailable) {
    EXPECT_EQ(ActiveAesBackend(), AvailableAesBackends().back());
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
