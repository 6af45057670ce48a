// CRijnDaelMode on every cipher path, with no other library: SP 800-38A's answers, the
// padding bytes and every corruption of them, the counter's carry and wrap, and bad
// input at every entry point. This is also what the cross builds run.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "TestSupport.h"

namespace {

typedef CRijnDaelMode M;

// A key object, unkeyed for a block size of 0.
CRijnDael Keyed(int blockSize, int keyLength = 16) {
    CRijnDael key;
    if (blockSize != 0) key.SetKey(Bytes(32, '\x2b').data(), keyLength, blockSize);
    return key;
}

typedef PathTest Modes;

TEST_P(Modes, Sp800_38aExamples) {
    const auto rows = ReadVectorFile("sp800_38a_aes.txt");
    ASSERT_EQ(rows.size(), 18u);
    std::mt19937_64 rng(1);
    for (const auto& row : rows) {
        SCOPED_TRACE(row[0] + "-" + row[1]);
        const Bytes key = FromHex(row[2]), iv = row[3] == "-" ? Bytes() : FromHex(row[3]);
        CRijnDael cipher;
        cipher.SetKey(key.data(), int(key.size()), 16);
        const std::map<std::string, ModeShape> shapes = {
            {"ecb", {M::ECB, M::NONE, 0}},  {"cbc", {M::CBC, M::NONE, 0}},
            {"cfb8", {M::CFB, M::NONE, 1}}, {"cfb128", {M::CFB, M::NONE, 16}},
            {"ofb", {M::OFB, M::NONE, 0}},  {"ctr", {M::CTR, M::NONE, 0}}};
        ExpectModeAnswer(cipher, shapes.at(row[0]), iv, FromHex(row[4]), FromHex(row[5]), rng);
    }
}

// Padding as hex tokens, "hh*k" for k bytes of hh and "xx" for a random one.
bool PaddingMatches(const std::string& pattern, const Bytes& tail) {
    std::istringstream tokens(pattern);
    std::size_t at = 0;
    for (std::string token; tokens >> token;) {
        const std::size_t star = token.find('*');
        const std::size_t count =
            star == std::string::npos ? 1 : std::stoul(token.substr(star + 1));
        for (std::size_t i = 0; i < count; ++i, ++at) {
            if (at >= tail.size()) return false;
            if (token[0] != 'x' && tail[at] != FromHex(token.substr(0, 2))[0]) return false;
        }
    }
    return at == tail.size();
}

// Each scheme's bytes, worked out by hand, for units of 1, 5, 16, 24 and 32 bytes,
// after a message that leaves part of a unit and one that fills it.
TEST_P(Modes, PaddingBytes) {
    struct Example {
        ModeShape shape;  // padding unused
        int blockSize;
        std::size_t length;
        const char* padding[4];  // ZEROS, PKCS7, ANSIX923, ISO10126
    };
    const Example examples[] = {
        {{M::CFB, M::NONE, 1}, 16, 3, {"", "01", "01", "01"}},
        {{M::CFB, M::NONE, 5}, 16, 7, {"00*3", "03*3", "00 00 03", "xx xx 03"}},
        {{M::CFB, M::NONE, 5}, 32, 10, {"", "05*5", "00*4 05", "xx*4 05"}},
        {{M::ECB, M::NONE, 0}, 16, 13, {"00*3", "03 03 03", "00 00 03", "xx xx 03"}},
        {{M::ECB, M::NONE, 0}, 16, 32, {"", "10*16", "00*15 10", "xx*15 10"}},
        {{M::CBC, M::NONE, 0}, 24, 1, {"00*23", "17*23", "00*22 17", "xx*22 17"}},
        {{M::OFB, M::NONE, 7}, 24, 48, {"", "18*24", "00*23 18", "xx*23 18"}},
        {{M::CTR, M::NONE, 0}, 32, 31, {"00", "01", "01", "01"}},
        {{M::CTR, M::NONE, 0}, 32, 0, {"", "20*32", "00*31 20", "xx*31 20"}},
    };
    std::mt19937_64 rng(2);
    for (const Example& e : examples) {
        const CRijnDael key = Keyed(e.blockSize);
        const Bytes iv = RandomBytes(rng, 32), plain = RandomBytes(rng, e.length);
        for (int scheme = 0; scheme < 4; ++scheme) {
            ModeShape shape = e.shape;
            shape.padding = M::Padding(M::ZEROS + scheme);
            SCOPED_TRACE(testing::Message()
                         << "unit of example " << &e - examples << ", scheme " << shape.padding);
            Bytes sealed, padded, back;
            ASSERT_EQ(RunMode(false, key, shape, iv, plain, &sealed), M::SUCCESS);
            ASSERT_EQ(RunMode(true, key, {shape.mode, M::NONE, shape.segment}, iv, sealed, &padded),
                      M::SUCCESS);
            ASSERT_GE(padded.size(), plain.size());
            EXPECT_TRUE(std::equal(plain.begin(), plain.end(), padded.begin()));
            EXPECT_TRUE(PaddingMatches(e.padding[scheme],
                                       Bytes(padded.begin() + long(plain.size()), padded.end())))
                << ToHex(padded);
            EXPECT_EQ(RunMode(true, key, shape, iv, sealed, &back, &rng), M::SUCCESS);
            EXPECT_EQ(back, scheme == 0 ? padded : plain);
            if (shape.padding != M::ISO10126 || padded.size() - plain.size() < 16) continue;
            Bytes again;  // fresh random filler each time
            RunMode(false, key, shape, iv, plain, &again);
            EXPECT_NE(again, sealed);
        }
    }
}

// Every corruption of a padding that checks: each of its bytes, a count of 0 and of
// unit + 1, the last unit cut off. Each is one BAD_PADDING, with no plaintext left in
// the output and nothing counted as written.
TEST_P(Modes, EveryCorruptPaddingIsRefused) {
    const std::pair<ModeShape, int> units[] = {
        {{M::CFB, M::NONE, 1}, 16}, {{M::CFB, M::NONE, 5}, 24}, {{M::ECB, M::NONE, 0}, 16},
        {{M::CBC, M::NONE, 0}, 24}, {{M::CTR, M::NONE, 0}, 32}, {{M::OFB, M::NONE, 3}, 16}};
    std::mt19937_64 rng(3);
    for (const auto& [shape, blockSize] : units) {
        const CRijnDael key = Keyed(blockSize, 24);
        const Bytes iv = RandomBytes(rng, 32);
        const std::size_t unit = shape.mode == M::CFB ? std::size_t(shape.segment) : blockSize;
        for (const M::Padding padding : {M::PKCS7, M::ANSIX923, M::ISO10126}) {
            for (const std::size_t count : {std::size_t(1), unit}) {
                // Cutting off the last unit leaves a count of 0, and nothing else is 0.
                Bytes padded(unit + unit - count, '\xa5');
                padded[unit - 1] = 0;
                Bytes valid;
                ASSERT_EQ(
                    RunMode(false, key, {shape.mode, padding, shape.segment}, iv, padded, &valid),
                    M::SUCCESS);
                ASSERT_EQ(
                    RunMode(true, key, {shape.mode, M::NONE, shape.segment}, iv, valid, &padded),
                    M::SUCCESS);
                std::vector<Bytes> corrupt;
                const std::size_t free = padding == M::ISO10126 ? count - 1 : 0;
                for (std::size_t i = padded.size() - count + free; i < padded.size(); ++i) {
                    corrupt.push_back(padded);
                    corrupt.back()[i] ^= '\x80';
                }
                for (const char last : {char(0), char(unit + 1)}) {
                    corrupt.push_back(padded);
                    corrupt.back().back() = last;
                }
                corrupt.emplace_back(padded.begin(), padded.end() - long(unit));
                for (const Bytes& text : corrupt) {
                    SCOPED_TRACE(testing::Message() << "unit " << unit << ", padding " << padding
                                                    << ": " << ToHex(text));
                    Bytes sealed, opened;
                    RunMode(false, key, {shape.mode, M::NONE, shape.segment}, iv, text, &sealed);
                    const ModeShape strict = {shape.mode, padding, shape.segment};
                    std::size_t written = 99;
                    Bytes out(sealed.size() + std::size_t(blockSize), '\x5a');
                    EXPECT_EQ(M::Decrypt(key, strict.mode, padding, iv.data(), sealed.data(),
                                         sealed.size(), out.data(), &written, strict.segment),
                              M::BAD_PADDING);
                    EXPECT_EQ(written, 0u);
                    EXPECT_EQ(ToHex(Bytes(out.begin(), out.begin() + long(sealed.size()))),
                              ToHex(Bytes(sealed.size(), '\0')));
                    EXPECT_EQ(RunMode(true, key, strict, iv, sealed, &opened, &rng),
                              M::BAD_PADDING);
                }
            }
        }
    }
}

// The counter is the whole block: a carry runs across bytes, and the top wraps to 0.
// The counter runs up to a carry (out of the last 2 bytes, out of the low 32-bit word
// that registers count in between carries, out of the low 64-bit word that they carry
// in, one byte past it, and out of the whole block, which wraps to zero) partway
// through enough blocks to fill every register and group in flight, with a few left
// over, and on either side of where a group is the first that must carry: after 16 or
// 17 blocks for AES-NI's groups of 8, made in memory; 17 for VAES-256 and 19 for
// VAES-512, which count a register ahead; 32 or 33 for a second VAES group.
TEST_P(Modes, CounterCarriesAndWraps) {
    std::mt19937_64 rng(4);
    const std::size_t kBlocks = 43;
    for (const int blockSize : {16, 24, 32}) {
        const CRijnDael key = Keyed(blockSize, 32);
        const std::size_t size = std::size_t(blockSize);
        for (const std::size_t ones :
             {std::size_t(2), std::size_t(4), std::size_t(8), std::size_t(9), size})
            for (const std::size_t before : {16, 17, 19, 21, 32, 33}) {  // blocks before the carry
                Bytes counter(size, char(0x01));
                std::fill(counter.end() - std::ptrdiff_t(ones), counter.end(), char(0xff));
                counter[size - 1] = char(0xff - before + 1);
                const Bytes iv = counter;
                Bytes stream;
                for (std::size_t b = 0; b < kBlocks; ++b) {
                    stream.insert(stream.end(), counter.begin(), counter.end());
                    for (std::size_t i = size; i-- > 0 && ++counter[i] == 0;) {
                    }
                }
                stream = CryptBlocks(true, key, stream);
                const Bytes plain = RandomBytes(rng, kBlocks * size - 5);
                Bytes sealed(plain.size());
                for (std::size_t i = 0; i < plain.size(); ++i)
                    sealed[i] = char(plain[i] ^ stream[i]);
                SCOPED_TRACE(ToHex(iv));
                ExpectModeAnswer(key, {M::CTR, M::NONE, 0}, iv, plain, sealed, rng);
            }
    }
}

// A call: Begin, Update or Finish (after a Begin that takes, and for Finish an Update
// of n bytes, unless kNoBegin), or the one-shot Encrypt or Decrypt; with the pointers
// the flags name null. kRekey keys the key object for other blocks before Update;
// kOpening begins a decryption.
enum Entry { kBegin, kUpdate, kFinish, kEncrypt, kDecrypt };
enum Flag { kIv = 1, kIn = 2, kOut = 4, kWritten = 8, kNoBegin = 16, kRekey = 32, kOpening = 64 };
struct BadCall {
    M::Result expected;
    Entry entry;
    M::Mode mode;
    M::Padding padding;
    int segment;
    std::size_t n;
    unsigned flags;
    bool unkeyed;
};

// Each refusal writes nothing, leaves *written alone, and ends any message in progress.
TEST_P(Modes, BadInputIsAnAnswer) {
    // clang-format off
    const BadCall calls[] = {
        {M::NOT_KEYED, kBegin, M::ECB, M::NONE, 0, 0, kIv, true},
        {M::BAD_ARGUMENT, kBegin, M::Mode(5), M::NONE, 0, 0, 0, false},
        {M::BAD_ARGUMENT, kBegin, M::Mode(-1), M::NONE, 0, 0, 0, false},
        {M::BAD_ARGUMENT, kBegin, M::ECB, M::Padding(5), 0, 0, 0, false},
        {M::BAD_ARGUMENT, kBegin, M::ECB, M::Padding(-1), 0, 0, 0, false},
        {M::BAD_ARGUMENT, kBegin, M::CFB, M::NONE, 25, 0, 0, false},
        {M::BAD_ARGUMENT, kBegin, M::OFB, M::NONE, -1, 0, 0, false},
        {M::BAD_ARGUMENT, kBegin, M::CBC, M::NONE, 16, 0, 0, false},
        {M::BAD_ARGUMENT, kBegin, M::CTR, M::NONE, 0, 0, kIv, false},
        {M::NOT_KEYED, kUpdate, M::CFB, M::NONE, 0, 3, kNoBegin, false},
        {M::NOT_KEYED, kFinish, M::CFB, M::NONE, 0, 0, kNoBegin, false},
        {M::BAD_ARGUMENT, kUpdate, M::CFB, M::NONE, 0, 1, kIn, false},
        {M::BAD_ARGUMENT, kUpdate, M::CFB, M::NONE, 0, 3, kOut, false},
        {M::BAD_ARGUMENT, kUpdate, M::CFB, M::NONE, 0, 3, kWritten, false},
        {M::BAD_ARGUMENT, kFinish, M::CFB, M::NONE, 0, 3, kOut, false},
        {M::BAD_ARGUMENT, kFinish, M::CFB, M::NONE, 0, 3, kWritten, false},
        {M::BAD_LENGTH, kFinish, M::ECB, M::NONE, 0, 23, 0, false},
        {M::BAD_LENGTH, kFinish, M::CBC, M::PKCS7, 0, 0, kOpening, false},
        {M::NOT_KEYED, kUpdate, M::CTR, M::NONE, 0, 3, kRekey, false},
        {M::NOT_KEYED, kFinish, M::CTR, M::NONE, 0, 0, kRekey, false},
        {M::NOT_KEYED, kEncrypt, M::ECB, M::NONE, 0, 16, 0, true},
        {M::BAD_ARGUMENT, kEncrypt, M::ECB, M::NONE, 0, 16, kIn, false},
        {M::BAD_ARGUMENT, kDecrypt, M::ECB, M::NONE, 0, 16, kOut, false},
        {M::BAD_ARGUMENT, kDecrypt, M::ECB, M::NONE, 0, 16, kWritten, false},
        {M::BAD_LENGTH, kEncrypt, M::ECB, M::NONE, 0, 25, 0, false},
        {M::BAD_LENGTH, kDecrypt, M::CBC, M::NONE, 0, 23, 0, false},
        {M::BAD_LENGTH, kDecrypt, M::CFB, M::PKCS7, 5, 7, 0, false},
        {M::BAD_LENGTH, kDecrypt, M::CTR, M::ISO10126, 0, 0, 0, false},
        {M::BAD_LENGTH, kDecrypt, M::OFB, M::ZEROS, 0, 25, 0, false},
        {M::SUCCESS, kEncrypt, M::CBC, M::PKCS7, 0, 24, 0, false},  // the sentinels do change
    };
    // clang-format on
    const Bytes iv(32, '\x07'), in(64, '\x33');
    for (const BadCall& c : calls) {
        SCOPED_TRACE(testing::Message() << "call " << &c - calls);
        CRijnDael key = Keyed(c.unkeyed ? 0 : 24);
        M message;
        Bytes out(96, '\x5a'), scratch(96);
        std::size_t written = 12345;
        const char* v = c.flags & kIv ? nullptr : iv.data();
        const char* i = c.flags & kIn ? nullptr : in.data();
        char* o = c.flags & kOut ? nullptr : out.data();
        std::size_t* w = c.flags & kWritten ? nullptr : &written;
        M::Result result = M::SUCCESS;
        if (c.entry == kBegin) result = message.Begin(key, c.mode, c.padding, false, v, c.segment);
        if (c.entry == kEncrypt || c.entry == kDecrypt) {
            result = (c.entry == kEncrypt ? M::Encrypt : M::Decrypt)(key, c.mode, c.padding, v, i,
                                                                     c.n, o, w, c.segment);
        }
        if ((c.entry == kUpdate || c.entry == kFinish) && !(c.flags & kNoBegin)) {
            ASSERT_EQ(message.Begin(key, c.mode, c.padding, c.flags & kOpening, v, c.segment),
                      M::SUCCESS);
        }
        if (c.flags & kRekey) key.SetKey(in.data(), 16, 32);
        if (c.entry == kUpdate) result = message.Update(i, c.n, o, w);
        if (c.entry == kFinish) {
            std::size_t ignored;
            if (c.n > 0) message.Update(in.data(), c.n, scratch.data(), &ignored);
            result = message.Finish(o, w);
        }
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(out == Bytes(96, '\x5a') && written == 12345, c.expected != M::SUCCESS);
        EXPECT_EQ(message.Update(in.data(), 1, out.data(), &written), M::NOT_KEYED);
    }
}

INSTANTIATE_PATHS(Modes);

}  // namespace
