// What the modes write into the caller's buffers and leave in their own storage:
// OutputSize against what every call really writes, the streamed Update in place with
// bytes held back, the Result in words, and what destroyed objects leave behind.
#include <algorithm>
#include <cstring>
#include <new>
#include <set>

#include "TestSupport.h"

namespace {

typedef CRijnDaelMode M;

struct Shape {
    M::Mode mode;
    int segment;
};
// Every mode, and the feedback modes with a segment shorter than the block too.
const Shape kShapes[] = {{M::ECB, 0}, {M::CBC, 0}, {M::CFB, 0}, {M::CFB, 5},
                         {M::OFB, 0}, {M::OFB, 3}, {M::CTR, 0}};
const M::Padding kPaddings[] = {M::NONE, M::ZEROS, M::PKCS7, M::ANSIX923, M::ISO10126};

// One call made twice, into two buffers that hold the same data and then each its own
// filler, zeros and ones: a byte counts as written where either changed, so that one
// written equal to a filler is still seen.
struct Twins {
    Twins(const Bytes& data, std::size_t size) {
        for (int t = 0; t < 2; ++t) {
            buffer[t] = data;
            buffer[t].resize(size, t == 0 ? '\0' : '\xff');
        }
    }
    // One past the last byte either call changed beyond the data, or the data's end.
    std::size_t Reach(std::size_t data) const {
        std::size_t reach = data;
        for (int t = 0; t < 2; ++t) {
            const char fill = t == 0 ? '\0' : '\xff';
            for (std::size_t i = buffer[t].size(); i > reach; --i) {
                if (buffer[t][i - 1] != fill) {
                    reach = i;
                    break;
                }
            }
        }
        return reach;
    }
    Bytes buffer[2];
};

// Each call writes no byte past OutputSize's answer, on every length up to three
// blocks, and exactly up to it where the answer is exact: Finish and the one-shot calls,
// but for lengths they refuse before writing (encrypting, the bytes written are those
// *written counts; decrypting, the text is fixed, so the twins see every byte).
TEST(ModeEdges, OutputSizeBoundsWhatEachCallWrites) {
    std::mt19937_64 rng(30);
    for (const int b : {16, 24, 32}) {
        CRijnDael key;
        key.SetKey(RandomBytes(rng, 32).data(), 32, b);
        const Bytes iv = RandomBytes(rng, std::size_t(b));
        for (const Shape& s : kShapes) {
            for (const M::Padding p : kPaddings) {
                for (const bool decrypt : {false, true}) {
                    for (std::size_t n = 0; n <= 3 * std::size_t(b); ++n) {
                        SCOPED_TRACE(testing::Message() << b << "-byte blocks, mode " << s.mode
                                                        << "/" << s.segment << ", padding " << p
                                                        << (decrypt ? ", decrypting " : ", ") << n);
                        const Bytes in = RandomBytes(rng, n);
                        const auto size = [&](M::Call call) {
                            return M::OutputSize(call, key, s.mode, p, decrypt, n, s.segment);
                        };
                        const std::size_t whole = size(M::ONE_SHOT), update = size(M::UPDATE),
                                          finish = size(M::FINISH);
                        Twins one({}, whole + 32), first({}, update + 32), last({}, finish + 32);
                        std::size_t written[2], updated, finished;
                        M::Result shot = M::SUCCESS, ended = M::SUCCESS;
                        for (int t = 0; t < 2; ++t) {
                            shot = (decrypt ? M::Decrypt : M::Encrypt)(
                                key, s.mode, p, iv.data(), in.data(), n, one.buffer[t].data(),
                                &written[t], s.segment);
                            M message;
                            message.Begin(key, s.mode, p, decrypt, iv.data(), s.segment);
                            message.Update(in.data(), n, first.buffer[t].data(), &updated);
                            ended = message.Finish(last.buffer[t].data(), &finished);
                        }
                        if (n == 0) {
                            EXPECT_EQ(update, 0u);  // nothing held comes out
                        }
                        EXPECT_LE(one.Reach(0), whole);
                        EXPECT_LE(first.Reach(0), update);
                        EXPECT_LE(last.Reach(0), finish);
                        if (shot != M::BAD_LENGTH) {
                            EXPECT_EQ(decrypt ? one.Reach(0) : written[0], whole);
                        }
                        if (!decrypt || ended != M::BAD_LENGTH) {
                            EXPECT_EQ(decrypt || ended ? last.Reach(0) : finished, finish);
                        }
                    }
                }
            }
        }
    }
}

TEST(ModeEdges, OutputSizeIsZeroForWhatTheCallsRefuse) {
    CRijnDael unkeyed, key;
    key.SetKey(Bytes(16).data(), 16, 24);
    EXPECT_EQ(M::OutputSize(M::ONE_SHOT, unkeyed, M::CBC, M::PKCS7, false, 10), 0u);
    EXPECT_EQ(M::OutputSize(M::UPDATE, key, M::Mode(5), M::NONE, false, 10), 0u);
    EXPECT_EQ(M::OutputSize(M::UPDATE, key, M::CTR, M::Padding(-1), false, 10), 0u);
    EXPECT_EQ(M::OutputSize(M::FINISH, key, M::CFB, M::PKCS7, false, 10, 25), 0u);
    EXPECT_EQ(M::OutputSize(M::FINISH, key, M::CBC, M::PKCS7, false, 10, 16), 0u);
    EXPECT_EQ(M::OutputSize(M::Call(3), key, M::CBC, M::PKCS7, false, 10, 24), 0u);
    EXPECT_EQ(M::OutputSize(M::FINISH, key, M::CBC, M::PKCS7, false, 10, 24), 24u);
}

// Update in place, in pieces of 1, b - 1, b + 1 and 3b + 5 bytes, so that part of a
// block or the unit held for the padding check comes out ahead of each piece (Run's
// memmove), gives what the one-shot call gives, within OutputSize's answer, which
// some piece reaches.
TEST(ModeEdges, InPlaceUpdatesWithBytesHeldBackGiveTheOneShotAnswer) {
    std::mt19937_64 rng(31);
    for (const int b : {16, 24, 32}) {
        CRijnDael key;
        key.SetKey(RandomBytes(rng, 16).data(), 16, b);
        const Bytes iv = RandomBytes(rng, std::size_t(b));
        for (const Shape& s : kShapes) {
            const bool blockwise = s.mode == M::ECB || s.mode == M::CBC;
            for (const M::Padding p : kPaddings) {
                const Bytes text =
                    RandomBytes(rng, 4 * std::size_t(b) + (p != M::NONE || !blockwise ? 7 : 0));
                Bytes sealed;
                ASSERT_EQ(RunMode(false, key, {s.mode, p, s.segment}, iv, text, &sealed),
                          M::SUCCESS);
                for (const bool decrypt : {false, true}) {
                    const Bytes& in = decrypt ? sealed : text;
                    Bytes expected;
                    RunMode(decrypt, key, {s.mode, p, s.segment}, iv, in, &expected);
                    bool reached = false;
                    for (const int piece : {1, b - 1, b + 1, 3 * b + 5}) {
                        SCOPED_TRACE(testing::Message()
                                     << b << "-byte blocks, mode " << s.mode << "/" << s.segment
                                     << ", padding " << p << (decrypt ? ", decrypting" : "")
                                     << " in pieces of " << piece);
                        M twin[2];
                        for (M& message : twin)
                            message.Begin(key, s.mode, p, decrypt, iv.data(), s.segment);
                        Bytes streamed;
                        std::size_t written[2];
                        for (std::size_t at = 0, n; at < in.size(); at += n) {
                            n = std::min(in.size() - at, std::size_t(piece));
                            const std::size_t most =
                                M::OutputSize(M::UPDATE, key, s.mode, p, decrypt, n, s.segment);
                            Twins out(Bytes(in.begin() + long(at), in.begin() + long(at + n)),
                                      most + 32);
                            for (int t = 0; t < 2; ++t) {
                                char* const buffer = out.buffer[t].data();
                                ASSERT_EQ(twin[t].Update(buffer, n, buffer, &written[t]),
                                          M::SUCCESS);
                            }
                            EXPECT_LE(out.Reach(n), most);
                            reached = reached || out.Reach(n) == most;
                            streamed.insert(streamed.end(), out.buffer[0].begin(),
                                            out.buffer[0].begin() + long(written[0]));
                        }
                        Twins last({}, 32 + 32);
                        for (int t = 0; t < 2; ++t)
                            ASSERT_EQ(twin[t].Finish(last.buffer[t].data(), &written[t]),
                                      M::SUCCESS);
                        streamed.insert(streamed.end(), last.buffer[0].begin(),
                                        last.buffer[0].begin() + long(written[0]));
                        // ISO 10126's filler is drawn anew for each message: its cipher
                        // text is held to the text it opens to.
                        if (p == M::ISO10126 && !decrypt) {
                            RunMode(true, key, {s.mode, p, s.segment}, iv, Bytes(streamed),
                                    &streamed);
                            EXPECT_EQ(ToHex(streamed), ToHex(text));
                        } else {
                            EXPECT_EQ(ToHex(streamed), ToHex(expected));
                        }
                    }
                    EXPECT_TRUE(reached) << "no piece needed all of OutputSize's answer, mode "
                                         << s.mode << "/" << s.segment << ", padding " << p;
                }
            }
        }
    }
}

TEST(ModeEdges, EveryResultHasWordsOfItsOwn) {
    std::set<std::string> said;
    for (int result = M::SUCCESS - 1; result <= M::NO_RANDOMNESS + 1; ++result) {
        const char* words = M::ResultString(M::Result(result));
        ASSERT_NE(words, nullptr);
        said.insert(words);
    }
    EXPECT_EQ(said.size(), 7u);  // each result's, and one for any other value
    EXPECT_STREQ(M::ResultString(M::BAD_PADDING), "the padding does not check");
}

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
