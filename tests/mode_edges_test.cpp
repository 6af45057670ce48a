// What destroyed key objects and messages leave in their storage.
#include <algorithm>
#include <new>

#include "TestSupport.h"

namespace {

typedef CRijnDaelMode M;

std::size_t NonZeroBytes(const unsigned char* storage, std::size_t n) {
    return std::size_t(std::count_if(storage, storage + n, [](unsigned char c) { return c; }));
}

// A destroyed key object and a destroyed message in the middle of one leave zeros where
// the round keys, the IV, the chaining value, held text and the padding's filler were;
// only the bookkeeping may stay.
TEST(ModeEdges, DestroyedObjectsLeaveZerosWhereTheSecretsWere) {
    std::mt19937_64 rng(32);
    const Bytes secret = RandomBytes(rng, 32);
    alignas(CRijnDael) unsigned char keyStorage[sizeof(CRijnDael)] = {};
    alignas(M) unsigned char messageStorage[sizeof(M)] = {};
    CRijnDael* const key = new (keyStorage) CRijnDael;
    key->SetKey(secret.data(), 32, 32);
    M* const message = new (messageStorage) M;
    ASSERT_EQ(message->Begin(*key, M::CBC, M::ISO10126, false, secret.data()), M::SUCCESS);
    char out[64];
    std::size_t written;
    ASSERT_EQ(message->Update(secret.data(), 5, out, &written), M::SUCCESS);
    ASSERT_GT(NonZeroBytes(keyStorage, sizeof keyStorage), sizeof keyStorage / 2);
    ASSERT_GT(NonZeroBytes(messageStorage, sizeof messageStorage), 32u);

    message->~M();
    key->~CRijnDael();
    // The message's mode, padding, block size, segment and unit; the key object's
    // flag, key length, block size and rounds.
    EXPECT_LE(NonZeroBytes(messageStorage, sizeof messageStorage), 6u);
    EXPECT_LE(NonZeroBytes(keyStorage, sizeof keyStorage), 1 + 3 * sizeof(int));
}

}  // namespace
