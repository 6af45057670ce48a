// The vector-permute implementations, for CPUs that can look 16 bytes up in a
// 16-entry table at once (x86's PSHUFB from SSSE3, ARM's TBL) but have no AES
// instructions. They run lone 16-byte blocks, short buffers and, above all, the 24-
// and 32-byte blocks, lone or in whole buffers, where they beat the bitsliced
// portable code even with its four blocks to a vector (by 1.2 to 1.5 times on a Zen 4
// core). Long 16-byte buffers go on to the bitsliced rounds, which share every gate
// among eight blocks; the multi-key walk and keying, a word at a time, the dispatcher
// leaves to the portable implementations.
//
// The S-box is computed rather than looked up in memory. GF(2^8) is written as the
// quadratic extension GF(16)[t] / (t^2 + t + a), a byte x as I + K t with I and K in
// GF(16), four bits each. Then with J = I + K and c = 1/a,
//     io = 1/(1/I + c/K) + J,   jo = 1/(1/J + c/K) + I
// satisfy 1/io = (I + a K)/N and 1/jo = (J + a K)/N, N = I^2 + I K + a K^2 being
// x's norm, so that x^-1 = (1/io)(a + t) + (1/jo)(a + 1 + t). Every step is a
// lookup of one nibble in a 16-entry table, and the lookups run in the vector unit
// on register contents: no memory address depends on the data. 1/0 is coded as
// 0x80, which a lookup (PSHUFB and TBL alike) answers with 0, and so carries through
// to x = 0 giving 0. Everything is derived below from the field and checked against
// the S-box for all 256 bytes at compile time.
#include <cstring>
#include <utility>

#include "../RijndaelTables.h"
#include "AesImplementations.h"
#include "CpuFeatures.h"

#if defined(__x86_64__) || defined(__i386__)
#include <tmmintrin.h>
#elif defined(__aarch64__)
#include <arm_neon.h>
#endif

namespace sealwrit::detail {

namespace {

namespace rt = rijndael_tables;

// ---- The tables, from the field.

struct Nibbles {
    BYTE v[16];
};

constexpr BYTE Power16(BYTE x) {
    for (int i = 0; i < 4; ++i) x = rt::Mul(x, x);
    return x;
}

// GF(16) inside GF(2^8) is the set of x with x^16 = x. A nibble codes one of its
// elements in a basis of four of them (over GF(2), so that coding is linear), and t
// is the first element outside GF(16) whose t^2 + t lies in it: that is a, and
// t^2 + t + a is irreducible over GF(16). Every lookup the derivation needs is
// tabulated once, which keeps it within what compilers allow a constant expression.
struct Tower {
    BYTE element[16] = {};       // by nibble
    BYTE coordinates[256] = {};  // x to I << 4 | K, x = I + K t
    BYTE a = 0, t = 0;

    constexpr BYTE Element(unsigned nibble) const { return element[nibble]; }
    constexpr BYTE Nibble(BYTE e) const {
        for (unsigned n = 0; n < 16; ++n) {
            if (element[n] == e) return BYTE(n);
        }
        return 0xFF;  // not in GF(16)
    }
    constexpr BYTE Coordinates(BYTE x) const { return coordinates[x]; }
};

constexpr Tower MakeTower() {
    Tower tower;
    bool inSubfield[256] = {};
    for (unsigned x = 0; x < 256; ++x) inSubfield[x] = Power16(BYTE(x)) == x;
    // A basis: each new element outside the span of those before; span[n] sums the
    // elements whose bits n has.
    BYTE span[16] = {0};
    for (unsigned x = 1, found = 0; x < 256 && found < 4; ++x) {
        bool inSpan = false;
        for (unsigned i = 0; i < (1u << found); ++i) inSpan = inSpan || span[i] == x;
        if (!inSubfield[x] || inSpan) continue;
        for (unsigned i = 0; i < (1u << found); ++i) span[(1u << found) + i] = BYTE(span[i] ^ x);
        ++found;
    }
    for (unsigned n = 0; n < 16; ++n) tower.element[n] = span[n];  // bit b of n: element b
    for (unsigned t = 2; t < 256 && tower.t == 0; ++t) {
        const BYTE a = BYTE(rt::Mul(BYTE(t), BYTE(t)) ^ t);
        if (!inSubfield[t] && inSubfield[a]) {
            tower.a = a;
            tower.t = BYTE(t);
        }
    }
    for (unsigned i = 0; i < 16; ++i) {
        for (unsigned k = 0; k < 16; ++k) {
            tower.coordinates[tower.element[i] ^ rt::Mul(tower.element[k], tower.t)] =
                BYTE(i << 4 | k);
        }
    }
    return tower;
}

constexpr Tower kTower = MakeTower();

// The affine map's linear part, and its inverse.
constexpr BYTE AffineLinear(BYTE y) { return BYTE(rt::Affine(y) ^ 0x63); }
constexpr rt::ByteTable MakeInverseAffineLinear() {
    rt::ByteTable inverse{};
    for (unsigned x = 0; x < 256; ++x) inverse[AffineLinear(BYTE(x))] = BYTE(x);
    return inverse;
}
constexpr rt::ByteTable kInverseAffineLinear = MakeInverseAffineLinear();
constexpr BYTE InverseAffineLinear(BYTE y) { return kInverseAffineLinear[y]; }

// A linear map of bytes as two lookups, one per nibble, plus a constant.
struct ByteMap {
    Nibbles low, high;
};

template <class F>
constexpr ByteMap NibbleLookups(F map, BYTE constant) {
    ByteMap m{};
    for (unsigned n = 0; n < 16; ++n) {
        m.low.v[n] = BYTE(map(BYTE(n)) ^ constant);
        m.high.v[n] = map(BYTE(n << 4));
    }
    return m;
}

// The state between rounds is kept as I << 4 | K (see top): the coordinates are
// linear in the byte, so they pass through ShiftRows, MixColumns' sums and the round
// key's addition unchanged, and each round's last lookups can give the coordinates
// of the S-box's multiples that MixColumns needs, ready for the next round.
struct Tables {
    ByteMap encryptIn, decryptIn;  // a state byte to its coordinates
    Nibbles inverse, cOver;        // 1/n and c/n, 0x80 for 1/0
    // io and jo to the round's output, as the lookups' two halves:
    Nibbles encryptMiddle[2][2];  // the coordinates of 2 and 1 times S, less 0x63
    Nibbles decryptMiddle[4][2];  // the coordinates of 14, 11, 13 and 9 times Si
    Nibbles encryptLast[2];       // S itself, less 0x63
    Nibbles decryptLast[2];       // Si itself
};

// Encryption's multiples of S (3 S is 2 S + S) and decryption's of Si, in
// MixColumns' and InvMixColumns' order: row r's own byte's factor first.
constexpr BYTE kEncryptFactors[2] = {2, 1};
constexpr BYTE kDecryptFactors[4] = {14, 11, 13, 9};

constexpr BYTE EncryptCoordinates(BYTE x) { return kTower.Coordinates(x); }
constexpr BYTE DecryptCoordinates(BYTE y) { return kTower.Coordinates(InverseAffineLinear(y)); }

constexpr Tables MakeTables() {
    constexpr Tower f = kTower;
    Tables tb{};
    tb.encryptIn = NibbleLookups(EncryptCoordinates, 0);
    // The inverse S-box inverts L^-1(y) + L^-1(0x63), L the affine map's linear part.
    tb.decryptIn = NibbleLookups(DecryptCoordinates, f.Coordinates(InverseAffineLinear(0x63)));
    const BYTE c = rt::Inverse(f.a);
    const BYTE weights[2] = {BYTE(f.a ^ f.t), BYTE(f.a ^ 1 ^ f.t)};
    for (unsigned n = 0; n < 16; ++n) {
        const BYTE reciprocal = rt::Inverse(f.Element(n));
        tb.inverse.v[n] = n == 0 ? 0x80 : f.Nibble(reciprocal);
        tb.cOver.v[n] = n == 0 ? 0x80 : f.Nibble(rt::Mul(c, reciprocal));
        for (int half = 0; half < 2; ++half) {
            const BYTE part = rt::Mul(reciprocal, weights[half]);  // of x^-1
            tb.decryptLast[half].v[n] = part;
            tb.encryptLast[half].v[n] = AffineLinear(part);
            for (int m = 0; m < 2; ++m) {
                tb.encryptMiddle[m][half].v[n] =
                    EncryptCoordinates(rt::Mul(kEncryptFactors[m], AffineLinear(part)));
            }
            for (int m = 0; m < 4; ++m) {
                tb.decryptMiddle[m][half].v[n] =
                    DecryptCoordinates(rt::Mul(kDecryptFactors[m], part));
            }
        }
    }
    return tb;
}

constexpr Tables kTables = MakeTables();

// A lookup as PSHUFB and TBL do it for the indices that occur here: 0 for an index
// with its top bit set, else the entry at its low four bits.
constexpr BYTE Lookup(const Nibbles& table, BYTE index) {
    return (index & 0x80) ? 0 : table.v[index & 15];
}

// Rounds::Invert and Rounds::Output below, one byte at a time.
constexpr BYTE Invert(BYTE b, const Nibbles (&out)[2]) {
    const Nibbles &inverse = kTables.inverse, &cOver = kTables.cOver;
    const BYTE k = b & 15, i = b >> 4, j = i ^ k;
    const BYTE ak = Lookup(cOver, k);
    const BYTE io = Lookup(inverse, Lookup(inverse, i) ^ ak) ^ j;
    const BYTE jo = Lookup(inverse, Lookup(inverse, j) ^ ak) ^ i;
    return Lookup(out[0], io) ^ Lookup(out[1], jo);
}

constexpr BYTE Apply(const ByteMap& m, BYTE x) { return m.low.v[x & 15] ^ m.high.v[x >> 4]; }

constexpr bool TablesMakeSBoxes() {
    const rt::ByteTable s = rt::MakeSBox(), si = rt::MakeInverseSBox();
    for (unsigned x = 0; x < 256; ++x) {
        const BYTE e = Apply(kTables.encryptIn, BYTE(x)), d = Apply(kTables.decryptIn, BYTE(x));
        if ((Invert(e, kTables.encryptLast) ^ 0x63) != s[x]) return false;
        if (Invert(d, kTables.decryptLast) != si[x]) return false;
        for (int m = 0; m < 2; ++m) {
            if (Invert(e, kTables.encryptMiddle[m]) !=
                EncryptCoordinates(rt::Mul(kEncryptFactors[m], s[x] ^ 0x63)))
                return false;
        }
        for (int m = 0; m < 4; ++m) {
            if (Invert(d, kTables.decryptMiddle[m]) !=
                DecryptCoordinates(rt::Mul(kDecryptFactors[m], si[x])))
                return false;
        }
    }
    return kTower.t != 0;
}
static_assert(TablesMakeSBoxes(), "vector-permute S-boxes");

// ---- The rounds on 16-byte vectors.

typedef BYTE Vec __attribute__((vector_size(16)));

inline Vec Load(const BYTE* p) {
    Vec v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void Store(BYTE* p, Vec v) { std::memcpy(p, &v, sizeof v); }
inline Vec Load(const Nibbles& n) { return Load(n.v); }
inline Vec Splat(BYTE b) { return Vec{} + b; }

inline Vec Lookup(Vec table, Vec index) {
#if defined(__x86_64__) || defined(__i386__)
    return Vec(_mm_shuffle_epi8(__m128i(table), __m128i(index)));
#else
    return vqtbl1q_u8(table, index);
#endif
}

inline Vec HighNibbles(Vec v) {
#if defined(__x86_64__) || defined(__i386__)
    return Vec(_mm_srli_epi16(__m128i(v), 4)) & Splat(0x0F);  // no byte shift on x86
#else
    return v >> 4;
#endif
}

// Byte b of the result takes byte kFrom(b) of the 32 bytes of lo then hi.
template <class From, std::size_t... b>
inline Vec Gather(Vec lo, Vec hi, std::index_sequence<b...>) {
    return __builtin_shufflevector(lo, hi, From::Of(int(b))...);
}
template <class From>
inline Vec Gather(Vec lo, Vec hi) {
    return Gather<From>(lo, hi, std::make_index_sequence<16>());
}
template <class From>
inline Vec Permute(Vec x) {
    return Gather<From>(x, x);
}

// Row r of each column takes row r + kBy of the same column.
template <int kBy>
struct ColumnRotation {
    static constexpr int Of(int b) { return (b & ~3) | ((b + kBy) & 3); }
};

// A block of BC columns in one register (BC = 4) or two: the low one holds columns
// 0-3, the high one the last four, so a 24-byte block has columns 2 and 3 in both.
template <int BC, bool kDecrypt>
struct Rounds {
    static constexpr int kRegisters = BC == 4 ? 1 : 2;
    static constexpr int kHigh = 4 * (BC - 4);  // the high register's first byte

    // ShiftRows for output register kHalf: column i takes row j from column
    // i + offset(j).
    template <int kHalf>
    struct Shift {
        static constexpr int Of(int b) {
            const int column = kHalf == 0 ? b / 4 : b / 4 + BC - 4, row = b % 4;
            const int from = rt::ShiftSource(BC, column, row, kDecrypt);
            return from < 4 ? 4 * from + row : 16 + 4 * (from - (BC - 4)) + row;
        }
    };

    static constexpr const ByteMap& kIn = kDecrypt ? kTables.decryptIn : kTables.encryptIn;
    static constexpr const Nibbles (&kLast)[2] = kDecrypt ? kTables.decryptLast
                                                          : kTables.encryptLast;
    static constexpr int kFactors = kDecrypt ? 4 : 2;
    static constexpr const Nibbles& Middle(int m, int half) {
        return kDecrypt ? kTables.decryptMiddle[m][half] : kTables.encryptMiddle[m][half];
    }

    // The tables, loaded once a call.
    const Vec inLow = Load(kIn.low), inHigh = Load(kIn.high), inverse = Load(kTables.inverse),
              cOver = Load(kTables.cOver), last[2] = {Load(kLast[0]), Load(kLast[1])};
    Vec middle[kFactors][2];

    Rounds() {
        for (int m = 0; m < kFactors; ++m) {
            for (int half = 0; half < 2; ++half) middle[m][half] = Load(Middle(m, half));
        }
    }

    Vec Coordinates(Vec x) const {
        return Lookup(inLow, x & Splat(0x0F)) ^ Lookup(inHigh, HighNibbles(x));
    }

    // The two halves of each byte's inverse, from its coordinates (see top).
    struct Halves {
        Vec io, jo;
    };
    Halves Invert(Vec b) const {
        const Vec k = b & Splat(0x0F), i = HighNibbles(b), j = i ^ k;
        const Vec ak = Lookup(cOver, k);
        return {Lookup(inverse, Lookup(inverse, i) ^ ak) ^ j,
                Lookup(inverse, Lookup(inverse, j) ^ ak) ^ i};
    }
    static Vec Output(const Vec (&table)[2], const Halves& h) {
        return Lookup(table[0], h.io) ^ Lookup(table[1], h.jo);
    }

    // For a 16-byte block, each sum term's rotation followed by the next round's row
    // shift: one byte move instead of two.
    template <int k>
    struct RotationThenShift {
        static constexpr int Of(int b) { return ColumnRotation<k>::Of(Shift<0>::Of(b)); }
    };

    // A round but the last, from coordinates (rows already shifted) to coordinates:
    // MixColumns gives row r 2 s_r + 3 s_(r+1) + s_(r+2) + s_(r+3), InvMixColumns
    // 14 s_r + 11 s_(r+1) + 13 s_(r+2) + 9 s_(r+3). Decryption looks each multiple
    // up; encryption looks up 2 S and S and adds them for 3 S. A round is short of
    // lookups more than of steps: on a Zen 5 core, 3 S from lookups of its own,
    // which spares the chain a step, made wide blocks 5 % slower.
    template <template <int> class Move>
    Vec MiddleRound(Vec b, Vec key) const {
        const Halves h = Invert(b);
        Vec term[4];
        if (kDecrypt) {
            for (int m = 0; m < 4; ++m) term[m] = Output(middle[m], h);
        } else {
            const Vec twice = Output(middle[0], h), once = Output(middle[1], h);
            term[0] = twice;
            term[1] = twice ^ once;
            term[2] = term[3] = once;
        }
        return (Permute<Move<0>>(term[0] ^ key) ^ Permute<Move<1>>(term[1])) ^
               (Permute<Move<2>>(term[2]) ^ Permute<Move<3>>(term[3]));
    }
    Vec LastRound(Vec b, Vec key) const { return Output(last, Invert(b)) ^ key; }

    // A wide block's: each register takes bytes from both.
    static void ShiftRows(Vec (&s)[kRegisters]) {
        static_assert(kRegisters == 2, "16-byte blocks shift in RunBlocks");
        const Vec lo = Gather<Shift<0>>(s[0], s[1]), hi = Gather<Shift<1>>(s[0], s[1]);
        s[0] = lo;
        s[1] = hi;
    }

    // Encryption's lookups leave out the S-box's 0x63, which passes unchanged through
    // ShiftRows and MixColumns (each column of four equal bytes is its own image), so
    // it joins each round key instead.
    static Vec RoundKey(const RoundKeyRow& row, int h) {
        return Load(row + h * kHigh) ^ Splat(kDecrypt ? 0x00 : 0x63);
    }

    // kBlocks wide blocks, block b at 4 BC b bytes, side by side so that their rounds
    // overlap; every block is loaded before any is stored, so in may equal out.
    template <int kBlocks>
    void Run(const RoundKeyRow* rk, int rounds, const BYTE* in, BYTE* out) const {
        constexpr std::size_t kStride = 4 * BC;
        Vec s[kBlocks][kRegisters];
        for (int b = 0; b < kBlocks; ++b) {
            for (int h = 0; h < kRegisters; ++h) {
                s[b][h] = Coordinates(Load(in + kStride * b + h * kHigh) ^ Load(rk[0] + h * kHigh));
            }
        }
        for (int r = 1; r < rounds; ++r) {
            Vec key[kRegisters];
            for (int h = 0; h < kRegisters; ++h) key[h] = Coordinates(RoundKey(rk[r], h));
            for (int b = 0; b < kBlocks; ++b) {
                ShiftRows(s[b]);
                for (int h = 0; h < kRegisters; ++h)
                    s[b][h] = MiddleRound<ColumnRotation>(s[b][h], key[h]);
            }
        }
        for (int b = 0; b < kBlocks; ++b) {
            ShiftRows(s[b]);
            for (int h = 0; h < kRegisters; ++h) {
                s[b][h] = LastRound(s[b][h], RoundKey(rk[rounds], h));
            }
        }
        // For a 24-byte block the two stores overlap on columns 2 and 3, equal in both.
        for (int b = 0; b < kBlocks; ++b) {
            for (int h = kRegisters - 1; h >= 0; --h) Store(out + kStride * b + h * kHigh, s[b][h]);
        }
    }

    // Several 16-byte blocks at once, so that their rounds overlap. Each round
    // leaves its output already shifted for the next.
    template <int kBlocks>
    void RunBlocks(const RoundKeyRow* rk, int rounds, const BYTE* in, BYTE* out) const {
        Vec s[kBlocks];
        const Vec first = Load(rk[0]);
        for (int b = 0; b < kBlocks; ++b) {
            const Vec x = Coordinates(Load(in + 16 * b) ^ first);
            s[b] = Gather<Shift<0>>(x, x);
        }
        for (int r = 1; r < rounds; ++r) {
            const Vec key = Coordinates(RoundKey(rk[r], 0));
            for (int b = 0; b < kBlocks; ++b) s[b] = MiddleRound<RotationThenShift>(s[b], key);
        }
        const Vec key = RoundKey(rk[rounds], 0);
        for (int b = 0; b < kBlocks; ++b) Store(out + 16 * b, LastRound(s[b], key));
    }
};

// Below this many blocks the vector rounds win; from it on the bitsliced rounds,
// which share every gate among eight blocks, do.
constexpr std::size_t kBitslicedFrom = 8;

template <bool kDecrypt>
void Blocks(const RoundKeyRow* rk, int rounds, const BYTE* in, BYTE* out, std::size_t blocks) {
    if (blocks >= kBitslicedFrom) {
        (kDecrypt ? PortableDecryptBlocks : PortableEncryptBlocks)(rk, rounds, in, out, blocks);
        return;
    }
    const Rounds<4, kDecrypt> run;
    for (; blocks >= 4; blocks -= 4, in += 64, out += 64)
        run.template RunBlocks<4>(rk, rounds, in, out);
    for (; blocks > 0; --blocks, in += 16, out += 16)
        run.template RunBlocks<1>(rk, rounds, in, out);
}

// Whole buffers of wide blocks, two at a time: a round is a long chain of lookups
// that one block cannot fill the shuffle unit with. 16 KiB on a Zen 4 core (MB/s,
// encryption with a 16-byte key; one, two and four at a time): 24-byte blocks 243, 321
// and 299, 32-byte 274, 369 and 348.
constexpr int kWideInFlight = 2;

template <bool kDecrypt, int kInFlight>
void WideBlocks(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in, BYTE* out,
                std::size_t blocks) {
    auto run = [&](auto rounder) {
        const std::size_t stride = std::size_t(blockBytes);
        for (; blocks >= kInFlight;
             blocks -= kInFlight, in += kInFlight * stride, out += kInFlight * stride) {
            rounder.template Run<kInFlight>(rk, rounds, in, out);
        }
        for (; blocks > 0; --blocks, in += stride, out += stride)
            rounder.template Run<1>(rk, rounds, in, out);
    };
    if (blockBytes == 24) {
        run(Rounds<6, kDecrypt>());
    } else {
        run(Rounds<8, kDecrypt>());
    }
}

}  // namespace

// Whether the CPU has the byte lookup is the dispatcher's to say.
void VpermEncryptBlocks(const RoundKeyRow* rk, int rounds, const BYTE* in, BYTE* out,
                        std::size_t blocks) {
    Blocks<false>(rk, rounds, in, out, blocks);
}

void VpermDecryptBlocks(const RoundKeyRow* rk, int rounds, const BYTE* in, BYTE* out,
                        std::size_t blocks) {
    Blocks<true>(rk, rounds, in, out, blocks);
}

void VpermEncryptWideBlock(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                           BYTE* out) {
    WideBlocks<false, 1>(rk, rounds, blockBytes, in, out, 1);
}

void VpermDecryptWideBlock(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                           BYTE* out) {
    WideBlocks<true, 1>(rk, rounds, blockBytes, in, out, 1);
}

void VpermEncryptWideBlocks(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                            BYTE* out, std::size_t blocks) {
    WideBlocks<false, kWideInFlight>(rk, rounds, blockBytes, in, out, blocks);
}

void VpermDecryptWideBlocks(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                            BYTE* out, std::size_t blocks) {
    WideBlocks<true, kWideInFlight>(rk, rounds, blockBytes, in, out, blocks);
}

const unsigned kVectorPermuteFeatures = kCompiledCpuFeatures;

}  // namespace sealwrit::detail
