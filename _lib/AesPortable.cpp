// The portable back end: Rijndael's rounds in plain C++ with lookup tables, for
// every CPU and block size.
#include <array>

#include "AesBackend.h"
#include "RijndaelTables.h"

namespace {

namespace rt = rijndael_tables;

constexpr rt::ByteTable kS = rt::MakeSBox();
constexpr rt::ByteTable kSi = rt::MakeInverseSBox();
constexpr rt::WordTable kT1 = rt::MakeEncryptTable(0), kT2 = rt::MakeEncryptTable(8),
                        kT3 = rt::MakeEncryptTable(16), kT4 = rt::MakeEncryptTable(24);
constexpr rt::WordTable kT5 = rt::MakeDecryptTable(0), kT6 = rt::MakeDecryptTable(8),
                        kT7 = rt::MakeDecryptTable(16), kT8 = rt::MakeDecryptTable(24);
constexpr rt::WordTable kU1 = rt::MakeInvMixTable(0), kU2 = rt::MakeInvMixTable(8),
                        kU3 = rt::MakeInvMixTable(16), kU4 = rt::MakeInvMixTable(24);

// The published values pin the derivations down: a slip in a rule fails the build.
static_assert(kS[0x00] == 0x63 && kS[0x01] == 0x7c && kS[0x53] == 0xed && kS[0xff] == 0x16,
              "S-box");
static_assert(kSi[0x00] == 0x52 && kSi[0xff] == 0x7d, "inverse S-box");
static_assert(kT1[0x00] == 0xc66363a5 && kT2[0x00] == 0xa5c66363, "encryption tables");
static_assert(kT5[0x00] == 0x51f4a750, "decryption tables");
static_assert(kU1[0x01] == 0x0e090d0b, "inverse-mix tables");

inline unsigned B3(DWORD w) { return w >> 24; }
inline unsigned B2(DWORD w) { return (w >> 16) & 0xFF; }
inline unsigned B1(DWORD w) { return (w >> 8) & 0xFF; }
inline unsigned B0(DWORD w) { return w & 0xFF; }

inline DWORD Load(const BYTE* p) {
    return (DWORD(p[0]) << 24) | (DWORD(p[1]) << 16) | (DWORD(p[2]) << 8) | DWORD(p[3]);
}

// The lookup tables of one direction.
struct Direction {
    const rt::WordTable &T1, &T2, &T3, &T4;
    const rt::ByteTable& box;
};
const Direction kEncryptTables = {kT1, kT2, kT3, kT4, kS};
const Direction kDecryptTables = {kT5, kT6, kT7, kT8, kSi};

// BC columns; the state lives in locals, so one keyed object may serve many
// threads. Column i takes row j from column i + s_j (modulo BC), with the direction's
// offsets from kShifts; as constants they turn every index into a plain register.
template <int BC, bool kDecrypt>
void Rounds(const RoundKeyRow* rk, int rounds, const BYTE* in, BYTE* out) {
    constexpr int SC = BC == 4 ? 0 : BC == 6 ? 1 : 2;
    constexpr int s1 = rt::kShifts[SC][1][kDecrypt];
    constexpr int s2 = rt::kShifts[SC][2][kDecrypt];
    constexpr int s3 = rt::kShifts[SC][3][kDecrypt];
    const Direction& d = kDecrypt ? kDecryptTables : kEncryptTables;
    DWORD t[BC], a[BC];
    for (int i = 0; i < BC; ++i) t[i] = Load(in + 4 * i) ^ Load(rk[0] + 4 * i);
    for (int r = 1; r < rounds; ++r) {
        for (int i = 0; i < BC; ++i) {
            a[i] = d.T1[B3(t[i])] ^ d.T2[B2(t[(i + s1) % BC])] ^ d.T3[B1(t[(i + s2) % BC])] ^
                   d.T4[B0(t[(i + s3) % BC])] ^ Load(rk[r] + 4 * i);
        }
        for (int i = 0; i < BC; ++i) t[i] = a[i];
    }
    const BYTE* k = rk[rounds];
    for (int i = 0; i < BC; ++i) {
        out[4 * i] = BYTE(d.box[B3(t[i])] ^ k[4 * i]);
        out[4 * i + 1] = BYTE(d.box[B2(t[(i + s1) % BC])] ^ k[4 * i + 1]);
        out[4 * i + 2] = BYTE(d.box[B1(t[(i + s2) % BC])] ^ k[4 * i + 2]);
        out[4 * i + 3] = BYTE(d.box[B0(t[(i + s3) % BC])] ^ k[4 * i + 3]);
    }
}

void Block(bool decrypt, const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
           BYTE* out) {
    switch (blockBytes + (decrypt ? 1 : 0)) {
        case 16:
            return Rounds<4, false>(rk, rounds, in, out);
        case 17:
            return Rounds<4, true>(rk, rounds, in, out);
        case 24:
            return Rounds<6, false>(rk, rounds, in, out);
        case 25:
            return Rounds<6, true>(rk, rounds, in, out);
        case 32:
            return Rounds<8, false>(rk, rounds, in, out);
        default:
            return Rounds<8, true>(rk, rounds, in, out);
    }
}

void EncryptBlocks(const RoundKeyRow* rk, int rounds, const BYTE* in, BYTE* out,
                   std::size_t blocks) {
    for (std::size_t b = 0; b < blocks; ++b)
        Block(false, rk, rounds, 16, in + 16 * b, out + 16 * b);
}

void DecryptBlocks(const RoundKeyRow* rk, int rounds, const BYTE* in, BYTE* out,
                   std::size_t blocks) {
    for (std::size_t b = 0; b < blocks; ++b) Block(true, rk, rounds, 16, in + 16 * b, out + 16 * b);
}

void EncryptWide(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in, BYTE* out) {
    Block(false, rk, rounds, blockBytes, in, out);
}

void DecryptWide(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in, BYTE* out) {
    Block(true, rk, rounds, blockBytes, in, out);
}

const RoundKeyRow* KeysOf(const RoundKeyArray& keys, std::size_t i) {
    return reinterpret_cast<const RoundKeyRow*>(keys.first + i * keys.stride);
}

void MultiKey(bool decrypt, const RoundKeyArray& keys, int rounds, const BYTE* in, BYTE* out,
              std::size_t blocks) {
    for (std::size_t b = 0, k = 0; b < blocks; ++b, k = k + 1 == keys.count ? 0 : k + 1) {
        Block(decrypt, KeysOf(keys, k), rounds, 16, in + 16 * b, out + 16 * b);
    }
}

void EncryptMultiKey(const RoundKeyArray& keys, int rounds, const BYTE* in, BYTE* out,
                     std::size_t blocks) {
    MultiKey(false, keys, rounds, in, out, blocks);
}

void DecryptMultiKey(const RoundKeyArray& keys, int rounds, const BYTE* in, BYTE* out,
                     std::size_t blocks) {
    MultiKey(true, keys, rounds, in, out, blocks);
}

DWORD SubWord(DWORD w) {
    return (DWORD(kS[B3(w)]) << 24) | (DWORD(kS[B2(w)]) << 16) | (DWORD(kS[B1(w)]) << 8) |
           DWORD(kS[B0(w)]);
}

DWORD InvMixColumn(DWORD w) { return kU1[B3(w)] ^ kU2[B2(w)] ^ kU3[B1(w)] ^ kU4[B0(w)]; }

const AesBackend kPortableBackend = {"portable",       &EncryptBlocks, &DecryptBlocks,
                                     &EncryptWide,     &DecryptWide,   &EncryptMultiKey,
                                     &DecryptMultiKey, &SubWord,       &InvMixColumn};

}  // namespace

const AesBackend* GetPortableBackend() { return &kPortableBackend; }
