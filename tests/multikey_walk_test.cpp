// The multi-key walk over many blocks: implementations run blocks side by side in
// batches, so a key count that divides the batch, one that does not, and one larger
// than it each meet the keys differently; every block must still be its own
// object's encryption, whatever the batch.
#include "TestSupport.h"

namespace {

typedef PathTest MultiKeyWalk;

TEST_P(MultiKeyWalk, EveryBlockTakesItsOwnObjectsKey) {
    std::mt19937_64 rng(61);
    const Bytes plain = RandomBytes(rng, 16 * 45 + 3);
    for (int nKeys : {2, 3, 8, 9, 20}) {
        const Bytes run = RandomBytes(rng, std::size_t(16 * nKeys));
        std::vector<CRijnDael> keys(static_cast<std::size_t>(nKeys));
        ASSERT_TRUE(CRijnDael::SetKeys(keys.data(), run.data(), nKeys, 16 * nKeys));
        Bytes walked(plain.size()), expected = plain, restored(plain.size());
        CRijnDael::EncryptBlock(keys.data(), nKeys, plain.data(), walked.data(), int(plain.size()));
        for (std::size_t b = 0; b < plain.size() / 16; ++b)
            keys[b % std::size_t(nKeys)].Encrypt(&plain[16 * b], &expected[16 * b], 16);
        EXPECT_EQ(walked, expected) << nKeys << " keys";
        CRijnDael::DecryptBlock(keys.data(), nKeys, walked.data(), restored.data(),
                                int(plain.size()));
        EXPECT_EQ(restored, plain) << nKeys << " keys";
    }
}

INSTANTIATE_PATHS(MultiKeyWalk);

}  // namespace
