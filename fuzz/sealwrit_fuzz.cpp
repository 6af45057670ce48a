// The fuzz target and its replay. Any input describes a Case, which is run on every
// cipher path and held to OpenSSL, libmcrypt and the documented rules; the paths
// must agree. Buffers are heap allocations of exactly the size a call may use, so
// AddressSanitizer sees any access outside them.
//
// Built as a GoogleTest program (every native build), the same checks run on the
// named cases below (the edge cases worth keeping), on sweeps over every shape and
// length, and on seeded inputs; built with -fsanitize=fuzzer, libFuzzer drives it.
#include <fuzzer/FuzzedDataProvider.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

#include "../_lib/CipherAccess.h"
#include "Base64.h"
#include "Oracles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

// How an object is keyed before the calls under test; key length 0: not at all.
struct Shape {
    int keyLength;
    int blockSize;
};

const int kWhole = INT_MAX;        // Case::claimed: the whole of the data
const int kAsNKeys = INT_MIN + 1;  // Case::useKeys: the count given to SetKeys

struct Case {
    enum Mode { kObject, kMultiKey, kBase64, kModes } mode = kObject;
    // kObject: an object keyed as `before`, then SetKey(key or null, keyLength,
    // blockSize), Encrypt, Decrypt, EncryptBlock and DecryptBlock.
    Shape before{0, 0};
    bool nullKey = false;
    int keyLength = 16, blockSize = 16;
    // kMultiKey: objects keyed as `objects`, SetKeys(objects or null, key run or null,
    // nKeys, nKeyLength), then the static EncryptBlock (twice: each call starts
    // again at object 0) and DecryptBlock on the array (or null) with useKeys.
    std::vector<Shape> objects;
    bool nullObjects = false, nullRun = false, nullUse = false;
    int nKeys = 1, nKeyLength = 16, useKeys = kAsNKeys;
    // kModes: CRijnDaelMode with the key as keyLength and blockSize say (mapped to
    // Rijndael's lengths), libmcrypt's mode kChains[chain], padding, in one call and in
    // pieces drawn from pieces.
    int chain = 0, padding = 0;
    unsigned pieces = 0;
    // Every mode: the data, the length claimed for it, null buffers, what result
    // buffers hold beforehand, and where every key's bytes come from.
    Bytes data;
    int claimed = kWhole;
    bool nullIn = false, nullOut = false;
    char fill = '\x5a';
    Bytes keyPool;
};

const char kNotInitialized[] = "Object not Initialized";
const char* g_path = "";  // for the failure message

void Check(bool holds, int line, const char* condition) {
    if (holds) return;
    std::fprintf(stderr, "\nsealwrit_fuzz.cpp:%d: failed on the %s path: %s\n", line, g_path,
                 condition);
    std::abort();
}
#define CHECK(condition) Check(condition, __LINE__, #condition)

bool IsRijndaelLength(int bytes) { return bytes == 16 || bytes == 24 || bytes == 32; }

// n key bytes from the case's pool, different for each salt.
Bytes KeyBytes(const Case& c, std::size_t salt, std::size_t n) {
    Bytes key(n, char(salt));
    for (std::size_t j = 0; j < n && !c.keyPool.empty(); ++j) {
        key[j] = char(c.keyPool[(7 * salt + j) % c.keyPool.size()] ^ char(salt));
    }
    return key;
}

// The claimed bytes of the data, or none when a call has nothing to do.
Bytes Head(const Case& c) {
    const bool idle = c.claimed <= 0 || c.nullIn || c.nullOut;
    return Bytes(c.data.begin(), c.data.begin() + (idle ? 0 : c.claimed));
}

typedef std::function<void(LPCSTR, LPSTR, int)> Call;

// A call on the case's data, claim and pointers must leave answer over the claimed
// bytes and the fill after them; in place, only answer. Returns what it left.
Bytes CheckCall(const Case& c, const Call& call, const Bytes& answer, bool inPlace) {
    Bytes in = c.data, out(c.data.size(), c.fill), expected = out;
    call(c.nullIn ? nullptr : in.data(), c.nullOut ? nullptr : out.data(), c.claimed);
    std::copy(answer.begin(), answer.end(), expected.begin());
    CHECK(out == expected);
    Bytes buffer = Head(c);
    if (inPlace) call(buffer.data(), buffer.data(), c.claimed);
    CHECK(!inPlace || buffer == answer);
    return out;
}

// One object: SetKey's refusals and their order, then the buffer operations on
// the case's data and the block operations on its first block (zero-padded).
// Returns every result, for comparing the paths.
Bytes CheckObject(const Case& c, std::string& expected) {
    CRijnDael cipher;
    Shape state = c.before;
    Bytes key = KeyBytes(c, 1, std::size_t(state.keyLength));
    if (state.keyLength != 0) cipher.SetKey(key.data(), state.keyLength, state.blockSize);
    // Exactly as long as a valid length says; a refused key must not be read at all.
    const Bytes newKey = KeyBytes(c, 0, std::size_t(std::clamp(c.keyLength, 1, 64)));
    cipher.SetKey(c.nullKey ? nullptr : newKey.data(), c.keyLength, c.blockSize);
    expected = c.nullKey                        ? "Error: Empth key\n"
               : !IsRijndaelLength(c.keyLength) ? "Error: Incorrect key length\n"
               : !IsRijndaelLength(c.blockSize) ? "Error: Incorrect block length\n"
                                                : "";
    if (expected.empty()) state = {c.keyLength, c.blockSize}, key = newKey;
    CHECK(cipher.GetKeyLength() == state.keyLength && cipher.GetBlockSize() == state.blockSize &&
          (cipher.GetRounds() == 0) == (state.keyLength == 0));

    Case block = c;
    block.data.resize(std::size_t(state.blockSize));
    block.claimed = state.blockSize, block.nullIn = block.nullOut = false;
    Bytes digest;
    for (int op = 0; op < 4; ++op) {
        const bool encrypt = op % 2 == 0, buffer = op < 2;
        const Call call = [&](LPCSTR in, LPSTR out, int n) {
            if (buffer) encrypt ? cipher.Encrypt(in, out, n) : cipher.Decrypt(in, out, n);
            if (!buffer) encrypt ? cipher.EncryptBlock(in, out) : cipher.DecryptBlock(in, out);
        };
        const Bytes head = Head(buffer ? c : block);
        Bytes answer;
        if (state.keyLength == 0) {
            expected += kNotInitialized;
        } else if (state.blockSize == 16) {
            answer = OpensslEcb(encrypt, key, head);
        } else if (!buffer) {
            answer = McryptRijndael(encrypt, state.blockSize, key, head);
        } else {
            // 16-byte rounds on a wider block's schedule, which no other library
            // offers: the paths must agree, and the tail is carried as ever.
            answer = head;
            call(head.data(), answer.data(), int(head.size()));
        }
        const Bytes out = CheckCall(buffer ? c : block, call, answer, !answer.empty());
        digest.insert(digest.end(), out.begin(), out.end());
    }
    // The table's ECB over the whole blocks of the data, in the object's block size,
    // as a mode runs it: the operations take no null buffers and no tails.
    Case whole = c;
    whole.nullIn = whole.nullOut = false;
    whole.claimed = state.blockSize == 0 ? 0 : whole.claimed / state.blockSize * state.blockSize;
    for (int op = 0; op < 2 && state.keyLength != 0 && whole.claimed > 0; ++op) {
        const bool encrypt = op == 0;
        const Call call = [&](LPCSTR in, LPSTR out, int n) {
            CipherAccess::Ecb(cipher, !encrypt, reinterpret_cast<const BYTE*>(in),
                              reinterpret_cast<BYTE*>(out), std::size_t(n / state.blockSize));
        };
        const Bytes head = Head(whole);
        const Bytes answer = state.blockSize == 16
                                 ? OpensslEcb(encrypt, key, head)
                                 : McryptRijndael(encrypt, state.blockSize, key, head);
        const Bytes out = CheckCall(whole, call, answer, true);
        digest.insert(digest.end(), out.begin(), out.end());
    }
    return digest;
}

// An array of objects: SetKeys' answer and what it keys, then the static walk,
// block k under object k % useKeys.
Bytes CheckMultiKey(const Case& c, std::string& expected) {
    std::vector<CRijnDael> objects(c.objects.size());
    std::vector<Shape> states = c.objects;
    std::vector<Bytes> keys;
    for (std::size_t i = 0; i < states.size(); ++i) {
        keys.push_back(KeyBytes(c, 2 + i, std::size_t(states[i].keyLength)));
        if (states[i].keyLength)
            objects[i].SetKey(keys[i].data(), states[i].keyLength, states[i].blockSize);
    }
    // Exactly the bytes a SetKeys that succeeds may read: whole keys only.
    const Bytes run = KeyBytes(c, 1, 16 * std::size_t(std::clamp(c.nKeys, 0, int(states.size()))));
    const bool keyed =
        c.nKeys == c.nKeyLength / 16 && !(c.nKeys > 0 && (c.nullObjects || c.nullRun));
    CHECK(CRijnDael::SetKeys(c.nullObjects ? nullptr : objects.data(),
                             c.nullRun ? nullptr : run.data(), c.nKeys, c.nKeyLength) == keyed);
    for (std::size_t i = 0; keyed && i < std::size_t(std::max(c.nKeys, 0)); ++i) {
        states[i] = {16, 16};
        keys[i].assign(run.begin() + long(16 * i), run.begin() + long(16 * i + 16));
    }
    for (std::size_t i = 0; i < states.size(); ++i) {
        CHECK(objects[i].GetKeyLength() == states[i].keyLength &&
              objects[i].GetBlockSize() == states[i].blockSize);
    }

    CRijnDael* array = c.nullUse ? nullptr : objects.data();
    Bytes digest;
    for (const bool encrypt : {true, true, false}) {
        const std::size_t told = expected.size();
        Bytes answer = Head(c);
        if (!answer.empty() && (array == nullptr || c.useKeys < 1)) {
            expected += kNotInitialized;
            answer.clear();
        }
        for (std::size_t b = 0; !answer.empty() && b < answer.size() / 16; ++b) {
            const std::size_t k = b % std::size_t(c.useKeys);
            const auto at = answer.begin() + long(16 * b);
            if (states[k].keyLength == 0 || states[k].blockSize != 16) {
                expected +=
                    states[k].keyLength ? "Error: Incorrect block length\n" : kNotInitialized;
                std::fill(at, at + 16, c.fill);
            } else {
                const Bytes one = OpensslEcb(encrypt, keys[k], Bytes(at, at + 16));
                std::copy(one.begin(), one.end(), at);
            }
        }
        const Call call = [&](LPCSTR in, LPSTR out, int n) {
            encrypt ? CRijnDael::EncryptBlock(array, c.useKeys, in, out, n)
                    : CRijnDael::DecryptBlock(array, c.useKeys, in, out, n);
        };
        const Bytes out = CheckCall(c, call, answer, expected.size() == told && !answer.empty());
        digest.insert(digest.end(), out.begin(), out.end());
    }
    return digest;
}

// libmcrypt's modes as CRijnDaelMode's: the segment is 1 or the block (0).
const std::pair<const char*, ModeShape> kChains[] = {
    {"ecb", {CRijnDaelMode::ECB, CRijnDaelMode::NONE, 0}},
    {"cbc", {CRijnDaelMode::CBC, CRijnDaelMode::NONE, 0}},
    {"cfb", {CRijnDaelMode::CFB, CRijnDaelMode::NONE, 1}},
    {"ncfb", {CRijnDaelMode::CFB, CRijnDaelMode::NONE, 0}},
    {"ofb", {CRijnDaelMode::OFB, CRijnDaelMode::NONE, 1}},
    {"nofb", {CRijnDaelMode::OFB, CRijnDaelMode::NONE, 0}},
    {"ctr", {CRijnDaelMode::CTR, CRijnDaelMode::NONE, 0}}};

// The message padded and sealed by libmcrypt, the padding made here by the rules;
// ISO 10126's random filler is taken from what CRijnDaelMode sent. Then the data as a
// cipher text, checked here against libmcrypt's plaintext. Returns the outputs.
Bytes CheckModes(const Case& c) {
    typedef CRijnDaelMode M;
    const int block = 16 + 8 * (std::abs(c.blockSize % 3)),
              keyLength = 16 + 8 * std::abs(c.keyLength % 3);
    const auto& [name, chain] = kChains[c.chain % 7];
    const ModeShape shape = {chain.mode, M::Padding(c.padding % 5), chain.segment};
    const std::size_t unit = chain.mode == M::CFB && chain.segment == 1 ? 1 : std::size_t(block),
                      n = c.data.size();
    const Bytes key = KeyBytes(c, 0, std::size_t(keyLength)),
                iv = KeyBytes(c, 1, std::size_t(block));
    CRijnDael cipher;
    cipher.SetKey(key.data(), keyLength, block);
    std::mt19937_64 rng(c.pieces);
    Bytes sealed, opened, digest;
    const M::Result result =
        RunMode(false, cipher, shape, iv, c.data, &sealed, c.pieces % 2 ? &rng : nullptr);
    const std::size_t count =
        shape.padding == M::NONE || (shape.padding == M::ZEROS && n % unit == 0) ? 0
                                                                                 : unit - n % unit;
    if (shape.padding == M::NONE && chain.mode <= M::CBC && n % unit != 0) {
        CHECK(result == M::BAD_LENGTH);
    } else {
        Bytes padded = c.data;
        padded.resize(n + count, shape.padding == M::PKCS7 ? char(count) : '\0');
        if (shape.padding == M::ISO10126 && sealed.size() == padded.size()) {
            const Bytes filler = McryptRijndael(false, block, key, sealed, name, iv);
            std::copy(filler.begin() + long(n), filler.end() - 1, padded.begin() + long(n));
        }
        if (shape.padding >= M::ANSIX923) padded.back() = char(count);
        const Bytes theirs = McryptRijndael(true, block, key, padded, name, iv);
        CHECK(result == M::SUCCESS && sealed == theirs);
        CHECK(RunMode(true, cipher, shape, iv, sealed, &opened, &rng) == M::SUCCESS &&
              opened == (shape.padding == M::ZEROS ? padded : c.data));
        if (shape.padding != M::ISO10126) digest = theirs;  // the filler differs by path
    }
    // The data as a cipher text: a padding that checks by the plain rule, or BAD_PADDING.
    const bool inPieces = c.pieces % 3 != 0;
    const M::Result opening =
        RunMode(true, cipher, shape, iv, c.data, &opened, inPieces ? &rng : nullptr);
    if (shape.padding < M::PKCS7) return digest;
    CHECK(n % unit == 0 && n > 0 ? opening != M::BAD_LENGTH : opening == M::BAD_LENGTH);
    if (opening == M::BAD_LENGTH) return digest;
    const Bytes plain = McryptRijndael(false, block, key, c.data, name, iv);
    const std::size_t last = std::size_t(BYTE(plain.back()));
    bool good = last >= 1 && last <= unit;
    for (std::size_t i = n - std::min(last, unit); good && i + 1 < n; ++i)
        good = shape.padding == M::ISO10126 ||
               plain[i] == (shape.padding == M::PKCS7 ? char(last) : '\0');
    // In pieces, what Update gave before Finish failed stays given.
    const long kept = good ? long(n - last) : inPieces ? long(n - unit) : 0;
    CHECK(opening == (good ? M::SUCCESS : M::BAD_PADDING) &&
          opened == Bytes(plain.begin(), plain.begin() + kept));
    digest.insert(digest.end(), plain.begin(), plain.end());
    return digest;
}

void CheckBase64(const Case& c) {
    typedef std::unique_ptr<char, decltype(&std::free)> Text;
    const auto* source = c.nullIn ? nullptr : reinterpret_cast<const unsigned char*>(c.data.data());
    int length = 0x5eed;
    const Text out(base64_encode(source, c.claimed, &length), &std::free);
    if (c.claimed < 0 || c.claimed > BASE64_MAX_INPUT || (source == nullptr && c.claimed != 0)) {
        CHECK(out == nullptr && length == 0x5eed);
        return;
    }
    const std::string expected = OpensslBase64(Bytes(c.data.begin(), c.data.begin() + c.claimed));
    CHECK(out != nullptr && out.get() == expected && length == int(expected.size()));
    const Text again(base64_encode(source, c.claimed, nullptr), &std::free);
    CHECK(again != nullptr && again.get() == expected);
}

void CheckCase(Case c) {
    // Claims the buffers cannot back become the whole data; a count that SetKeys
    // takes gets that many objects (beyond 64, a null array to refuse it).
    const bool refusedBase64 = c.mode == Case::kBase64 && c.claimed > BASE64_MAX_INPUT;
    if (c.claimed == kWhole || (c.claimed > int(c.data.size()) && !refusedBase64)) {
        c.claimed = int(c.data.size());
    }
    if (c.nKeys > 0 && c.nKeys == c.nKeyLength / 16) {
        c.nullObjects = c.nullObjects || c.nKeys > 64;
        c.objects.resize(std::max(c.objects.size(), std::size_t(std::min(c.nKeys, 64))), {0, 0});
    }
    c.useKeys = std::min(c.useKeys == kAsNKeys ? c.nKeys : c.useKeys, int(c.objects.size()));
    g_path = "Base64";
    if (c.mode == Case::kBase64) return CheckBase64(c);

    static const std::vector<CipherPath> paths = AvailablePaths();
    Bytes first;
    for (const CipherPath& path : paths) {
        ScopedPath use(path);
        g_path = path.name.c_str();
        std::string expected;
        testing::internal::CaptureStdout();
        const Bytes digest = c.mode == Case::kObject     ? CheckObject(c, expected)
                             : c.mode == Case::kMultiKey ? CheckMultiKey(c, expected)
                                                         : CheckModes(c);
        CHECK(testing::internal::GetCapturedStdout() == expected);
        if (&path == &paths.front()) first = digest;
        CHECK(digest == first);
    }
}

Case CaseFromInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    // Mostly Rijndael lengths; otherwise their neighbours, zero, negatives, extremes.
    const auto length = [&in] {
        return in.ConsumeBool() ? in.PickValueInArray({16, 24, 32})
                                : in.PickValueInArray({0, 1, 15, 17, 20, 23, 31, 33, 64, -1, -16,
                                                       INT_MIN, INT_MAX});
    };
    const auto shape = [&in] {
        if (in.ConsumeBool()) return Shape{0, 0};
        return Shape{in.PickValueInArray({16, 24, 32}), in.PickValueInArray({16, 16, 24, 32})};
    };
    const auto rarely = [&in] { return in.ConsumeIntegralInRange(0, 15) == 0; };
    Case c;
    c.mode = Case::Mode(in.ConsumeIntegralInRange(0, 3));
    c.before = shape();
    c.keyLength = length(), c.blockSize = length();
    c.objects.resize(in.ConsumeIntegralInRange<std::size_t>(0, 8));
    for (Shape& object : c.objects) object = shape();
    c.nullKey = rarely(), c.nullObjects = rarely(), c.nullRun = rarely(), c.nullUse = rarely();
    c.nKeys = in.ConsumeBool() ? in.ConsumeIntegralInRange(-2, 9)
                               : in.PickValueInArray({-17, 64, 65, INT_MAX / 16, INT_MIN, INT_MAX});
    // Near 16 * nKeys, where the truncating division decides, or any length.
    const long long near = 16LL * c.nKeys + in.ConsumeIntegralInRange(-17, 17);
    c.nKeyLength = in.ConsumeBool() ? int(std::clamp<long long>(near, INT_MIN, INT_MAX)) : length();
    c.useKeys = in.ConsumeBool() ? kAsNKeys : in.ConsumeIntegralInRange(-2, 9);
    c.claimed = in.ConsumeBool()
                    ? kWhole
                    : in.PickValueInArray({0, -1, -15, -16, -17, 1, 15, 16, 17, INT_MIN,
                                           BASE64_MAX_INPUT + 1, INT_MAX - 1});
    c.nullIn = rarely(), c.nullOut = rarely();
    c.fill = in.ConsumeIntegral<char>();
    c.chain = in.ConsumeIntegralInRange(0, 6), c.padding = in.ConsumeIntegralInRange(0, 4);
    c.pieces = in.ConsumeIntegral<unsigned>();
    c.keyPool = in.ConsumeBytes<char>(in.ConsumeIntegralInRange(0, 48));
    c.data = in.ConsumeRemainingBytes<char>();
    return c;
}

// Keys from a seeded pool, and two blocks and a five-byte tail of data.
Case Default(unsigned seed = 7, std::size_t length = 37) {
    std::mt19937_64 rng(seed);
    Case c;
    c.keyPool = RandomBytes(rng, 64);
    c.data = RandomBytes(rng, length);
    return c;
}

// A multi-key case; objects keyed beforehand are all in the walk.
Case MultiKey(int nKeys, int nKeyLength, std::size_t length = 37, std::vector<Shape> objects = {}) {
    Case c = Default(7, length);
    c.mode = Case::kMultiKey;
    c.nKeys = nKeys;
    c.nKeyLength = nKeyLength;
    c.useKeys = objects.empty() ? kAsNKeys : int(objects.size());
    c.objects = std::move(objects);
    return c;
}

struct Named {
    const char* name;
    std::function<void(Case&)> edit;
};
void PrintTo(const Named& named, std::ostream* os) { *os << named.name; }

// clang-format off
const Named kCases[] = {
    {"Aes192OverThirtySevenBlocksAndTail",
     [](Case& c) { c = Default(1, 16 * 37 + 9), c.keyLength = 24; }},
    {"Rijndael24ByteBlock", [](Case& c) { c.blockSize = 24; }},
    {"Rijndael32ByteBlockAndKey", [](Case& c) { c.keyLength = c.blockSize = 32; }},
    {"WideBlockObjectInBufferSteps", [](Case& c) { c = Default(2, 16 * 9 + 5), c.blockSize = 24; }},
    {"NullKeyIsToldBeforeBadLengths",
     [](Case& c) { c.nullKey = true, c.keyLength = 20, c.blockSize = 7; }},
    {"KeyLengthIsToldBeforeBlockLength", [](Case& c) { c.keyLength = 20, c.blockSize = 7; }},
    {"RefusedKeyLeavesTheOldKey", [](Case& c) { c.before = {24, 32}, c.keyLength = 15; }},
    {"RefusedBlockLeavesTheOldKey", [](Case& c) { c.before = {32, 16}, c.blockSize = 20; }},
    {"RekeyedFrom32ByteBlock", [](Case& c) { c.before = {32, 32}; }},
    {"UnkeyedObjectSaysSoEvenWithNothingToDo", [](Case& c) { c.nullKey = true, c.claimed = 0; }},
    {"ClaimShorterThanTheData", [](Case& c) { c.claimed = 20; }},
    {"ThreeKeysInTurnOverEightyBytes", [](Case& c) { c = MultiKey(3, 48, 80); }},
    {"TwoKeysOverTwentyBytes", [](Case& c) { c = MultiKey(2, 32, 20); }},
    {"EightKeysOverManyBlocks", [](Case& c) { c = MultiKey(8, 128, 16 * 37 + 9); }},
    {"TwoKeysFrom31BytesRefused", [](Case& c) { c = MultiKey(2, 31); }},
    {"TwoKeysFrom47Bytes", [](Case& c) { c = MultiKey(2, 47); }},
    {"MinusOneKeyFromMinus31TruncatesTowardZero", [](Case& c) { c = MultiKey(-1, -31); }},
    {"NullArraysWithNoKeys", [](Case& c) { c = MultiKey(0, 0), c.nullObjects = c.nullRun = true; }},
    {"NullObjectsForTheBlocks", [](Case& c) { c = MultiKey(1, 16), c.nullUse = true; }},
    {"UnkeyedAndWideObjectsSkipTheirBlocks",
     [](Case& c) { c = MultiKey(0, 0, 147, {{16, 16}, {0, 0}, {32, 32}, {24, 16}}); }},
    {"ObjectsWithDifferentRoundCounts",
     [](Case& c) { c = MultiKey(0, 0, 100, {{16, 16}, {32, 16}, {24, 16}}); }},
    {"ObjectsWith192BitKeys", [](Case& c) { c = MultiKey(0, 0, 640, {{24, 16}, {24, 16}}); }},
    {"CbcPkcs7On32ByteBlocksInPieces",
     [](Case& c) { c.mode = Case::kModes, c.blockSize = 2, c.chain = 1, c.padding = 2, c.pieces = 1; }},
    {"ByteCfbIsoFillerIn24ByteBlocks",
     [](Case& c) { c.mode = Case::kModes, c.blockSize = 1, c.chain = 2, c.padding = 4; }},
    {"CtrPastAChunkWithZeros",
     [](Case& c) { c = Default(3, 4200), c.mode = Case::kModes, c.chain = 6, c.padding = 1, c.pieces = 5; }},
    {"EcbPartBlockWithoutPadding", [](Case& c) { c.mode = Case::kModes, c.chain = 0; }},
    {"WholeBlockOfbAnsiOnTwoBlocks",
     [](Case& c) { c = Default(4, 48), c.mode = Case::kModes, c.blockSize = 1, c.chain = 5, c.padding = 3; }},
};
// clang-format on

class NamedCase : public testing::TestWithParam<Named> {};

TEST_P(NamedCase, Holds) {
    Case c = Default();
    GetParam().edit(c);
    CheckCase(c);
}

INSTANTIATE_TEST_SUITE_P(Fuzz, NamedCase, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Named>& info) { return info.param.name; });

// Every length around the paths' strides and two long ones, with every key size,
// the wider blocks on the shorter lengths; and Base64 of each.
TEST(Sweep, EveryShapeAndLength) {
    for (std::size_t n = 0; n <= 602; ++n) {
        Case c = Default(unsigned(n), n <= 600 ? n : n == 601 ? 65543 : 1u << 20);
        for (int shape = 0; shape < 9; ++shape) {
            c.keyLength = 16 + 8 * (shape % 3), c.blockSize = 16 + 8 * (shape / 3);
            if (c.blockSize == 16 || n <= 64) CheckCase(c);
        }
        c.mode = Case::kBase64;
        CheckCase(c);
    }
}

// Counts near and far from the key bytes given, where the truncating division
// decides, with and without arrays; and how many objects the walk is given.
TEST(Sweep, MultiKeyCountsAndLengths) {
    for (int nKeys : {-2, -1, 0, 1, 2, 3, 5, 8, INT_MIN}) {
        for (int extra = -17; extra <= 17; ++extra) {
            Case c = MultiKey(nKeys, nKeys == INT_MIN ? INT_MIN : 16 * nKeys + extra);
            c.nullObjects = extra == 3, c.nullRun = extra == 4;
            c.useKeys = extra < -14 ? extra + 16 : kAsNKeys;
            CheckCase(c);
        }
        for (std::size_t n = 0; nKeys > 0 && n <= 700; n += n < 100 ? 1 : 13) {
            CheckCase(MultiKey(nKeys, 16 * nKeys, n));
        }
    }
    // Key counts against block counts and register widths: the objects the walk
    // reaches keyed with one key length (0: 16 and 32 bytes in turn, so that round
    // counts differ), tails of 0 to 9 bytes.
    const int kWalks[][3] = {{1, 16, 70},     {2, 16, 1024}, {3, 16, 2109}, {4, 0, 40},
                             {8, 32, 67},     {9, 16, 5},    {12, 24, 300}, {64, 16, 1024},
                             {100, 16, 1027}, {500, 16, 997}};
    for (const auto& [count, keyLength, blocks] : kWalks) {
        std::vector<Shape> objects(std::size_t(count), Shape{0, 0});
        for (int i = 0; i < std::min(count, blocks); ++i) {
            objects[std::size_t(i)] = {keyLength ? keyLength : 16 + 16 * (i % 2), 16};
        }
        CheckCase(MultiKey(0, 0, std::size_t(16 * blocks + blocks % 10), objects));
    }
}

// The fuzz target's decoding of its input, in builds without libFuzzer: among them
// every mode with nothing to do, null buffers and lengths to refuse.
TEST(Sweep, SeededFuzzInputs) {
    std::mt19937_64 rng(99);
    for (int i = 0; i < 3000; ++i) {
        const Bytes input = RandomBytes(rng, rng() % 400);
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckCase(CaseFromInput(data, size));
    return 0;
}
