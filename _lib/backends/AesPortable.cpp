// The portable implementations: Rijndael's rounds in plain C++ for every CPU and block
// size, bitsliced so that no branch and no memory address depends on the key or the
// data, and no table is read at all.
//
// A bitsliced state is eight words ("planes"): plane k holds bit k of every byte.
// The S-box becomes a Boolean circuit applied to whole planes, and ShiftRows and
// MixColumns become shifts, masks and lane moves by constant amounts. Two layouts:
//   - several 16-byte blocks in vectors of 32-bit lanes (see ColumnLanes), which
//     GCC and Clang compile to the CPU's vector instructions (SSE2, NEON) or to
//     plain registers where there are none;
//   - one block of any width in 32-bit words (see Single), for a lone block, the
//     24- and 32-byte blocks and, one word at a time, the key schedule.
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#include "../RijndaelTables.h"
#include "../Wipe.h"
#include "AesImplementations.h"

// Functions here pass lane vectors by value; all are internal and inlined, so the
// calling convention the compiler warns about never meets another translation unit.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace sealwrit::detail {

namespace {

namespace rt = rijndael_tables;

typedef std::uint64_t Lane64;

// A constant in every lane (for a plain integer word, the constant itself).
template <class W, class L>
inline W Splat(L c) {
    W w{};
    return w | c;
}

// 0x5555..., 0x3333..., 0x0f0f...: one bit pattern repeated over a word.
template <class L>
constexpr L Repeat(unsigned pattern, unsigned period) {
    L value = 0;
    for (unsigned bit = 0; bit < 8 * sizeof(L); bit += period) value |= L(pattern) << bit;
    return value;
}

// The S-box as a published low-gate-count circuit (32 AND and 83 XOR gates): the
// GF(2^8) inverse, computed through a tower of subfields, between two linear layers,
// the lower of which also applies the affine map. U0 is the most significant bit.
// Without kAffineConstant the result lacks the 0x63 the affine map adds, which is
// what the inverse S-box wants. CircuitsMatchTables checks every input.
template <bool kAffineConstant, class W>
constexpr void SBoxCircuit(W (&x)[8]) {
    const W U0 = x[7], U1 = x[6], U2 = x[5], U3 = x[4], U4 = x[3], U5 = x[2], U6 = x[1], U7 = x[0];
    const W T1 = U0 ^ U3, T2 = U0 ^ U5, T3 = U0 ^ U6, T4 = U3 ^ U5, T5 = U4 ^ U6;
    const W T6 = T1 ^ T5, T7 = U1 ^ U2, T8 = U7 ^ T6, T9 = U7 ^ T7, T10 = T6 ^ T7;
    const W T11 = U1 ^ U5, T12 = U2 ^ U5, T13 = T3 ^ T4, T14 = T6 ^ T11, T15 = T5 ^ T11;
    const W T16 = T5 ^ T12, T17 = T9 ^ T16, T18 = U3 ^ U7, T19 = T7 ^ T18, T20 = T1 ^ T19;
    const W T21 = U6 ^ U7, T22 = T7 ^ T21, T23 = T2 ^ T22, T24 = T2 ^ T10, T25 = T20 ^ T17;
    const W T26 = T3 ^ T16, T27 = T1 ^ T12;

    const W M1 = T13 & T6, M2 = T23 & T8, M3 = T14 ^ M1, M4 = T19 & U7, M5 = M4 ^ M1;
    const W M6 = T3 & T16, M7 = T22 & T9, M8 = T26 ^ M6, M9 = T20 & T17, M10 = M9 ^ M6;
    const W M11 = T1 & T15, M12 = T4 & T27, M13 = M12 ^ M11, M14 = T2 & T10, M15 = M14 ^ M11;
    const W M16 = M3 ^ M2, M17 = M5 ^ T24, M18 = M8 ^ M7, M19 = M10 ^ M15, M20 = M16 ^ M13;
    const W M21 = M17 ^ M15, M22 = M18 ^ M13, M23 = M19 ^ T25, M24 = M22 ^ M23;
    const W M25 = M22 & M20, M26 = M21 ^ M25, M27 = M20 ^ M21, M28 = M23 ^ M25;
    const W M29 = M28 & M27, M30 = M26 & M24, M31 = M20 & M23, M32 = M27 & M31;
    const W M33 = M27 ^ M25, M34 = M21 & M22, M35 = M24 & M34, M36 = M24 ^ M25;
    const W M37 = M21 ^ M29, M38 = M32 ^ M33, M39 = M23 ^ M30, M40 = M35 ^ M36;
    const W M41 = M38 ^ M40, M42 = M37 ^ M39, M43 = M37 ^ M38, M44 = M39 ^ M40;
    const W M45 = M42 ^ M41;
    const W M46 = M44 & T6, M47 = M40 & T8, M48 = M39 & U7, M49 = M43 & T16, M50 = M38 & T9;
    const W M51 = M37 & T17, M52 = M42 & T15, M53 = M45 & T27, M54 = M41 & T10;
    const W M55 = M44 & T13, M56 = M40 & T23, M57 = M39 & T19, M58 = M43 & T3;
    const W M59 = M38 & T22, M60 = M37 & T20, M61 = M42 & T1, M62 = M45 & T4, M63 = M41 & T2;

    const W L0 = M61 ^ M62, L1 = M50 ^ M56, L2 = M46 ^ M48, L3 = M47 ^ M55, L4 = M54 ^ M58;
    const W L5 = M49 ^ M61, L6 = M62 ^ L5, L7 = M46 ^ L3, L8 = M51 ^ M59, L9 = M52 ^ M53;
    const W L10 = M53 ^ L4, L11 = M60 ^ L2, L12 = M48 ^ M51, L13 = M50 ^ L0, L14 = M52 ^ M61;
    const W L15 = M55 ^ L1, L16 = M56 ^ L0, L17 = M57 ^ L1, L18 = M58 ^ L8, L19 = M63 ^ L4;
    const W L20 = L0 ^ L1, L21 = L1 ^ L7, L22 = L3 ^ L12, L23 = L18 ^ L2, L24 = L15 ^ L9;
    const W L25 = L6 ^ L10, L26 = L7 ^ L9, L27 = L8 ^ L10, L28 = L11 ^ L14, L29 = L11 ^ L17;

    x[7] = L6 ^ L24;
    x[6] = L16 ^ L26;
    x[5] = L19 ^ L28;
    x[4] = L6 ^ L21;
    x[3] = L20 ^ L22;
    x[2] = L25 ^ L29;
    x[1] = L13 ^ L27;
    x[0] = L6 ^ L23;
    if (kAffineConstant) {  // 0x63
        x[6] = ~x[6];
        x[5] = ~x[5];
        x[1] = ~x[1];
        x[0] = ~x[0];
    }
}

template <class W>
constexpr void SubBytes(W (&x)[8]) {
    SBoxCircuit<true>(x);
}

// The linear part of the inverse affine map: bit k takes bits k-1, k-3 and k-6.
template <class W>
constexpr void InverseAffineLinear(W (&x)[8]) {
    W y[8] = {};
    for (int k = 0; k < 8; ++k) y[k] = x[(k + 7) & 7] ^ x[(k + 5) & 7] ^ x[(k + 2) & 7];
    for (int k = 0; k < 8; ++k) x[k] = y[k];
}

// The circuit without its constant computes the affine map's linear part of the
// inverse, so undoing that part on both sides leaves the inverse S-box:
// Si(y) = L^-1(C(L^-1(y) ^ 0x05)), 0x05 being L^-1(0x63).
template <class W>
constexpr void InvSubBytes(W (&x)[8]) {
    InverseAffineLinear(x);
    x[0] = ~x[0];
    x[2] = ~x[2];
    SBoxCircuit<false>(x);
    InverseAffineLinear(x);
}

// The circuits against the S-box tables for all 256 inputs, 64 at a time: input
// byte v sits at bit v % 64 of every plane.
constexpr bool CircuitsMatchTables() {
    const rt::ByteTable s = rt::MakeSBox(), si = rt::MakeInverseSBox();
    for (unsigned base = 0; base < 256; base += 64) {
        Lane64 fwd[8] = {}, inv[8] = {};
        for (unsigned k = 0; k < 8; ++k) {
            for (unsigned v = 0; v < 64; ++v) fwd[k] |= Lane64(((base + v) >> k) & 1) << v;
            inv[k] = fwd[k];
        }
        SubBytes(fwd);
        InvSubBytes(inv);
        for (unsigned v = 0; v < 64; ++v) {
            for (unsigned k = 0; k < 8; ++k) {
                if (((fwd[k] >> v) & 1) != ((s[base + v] >> k) & 1u)) return false;
                if (((inv[k] >> v) & 1) != ((si[base + v] >> k) & 1u)) return false;
            }
        }
    }
    return true;
}
// The published values pin the derivations down, and the circuits must agree with
// them: a slip in either fails the build.
static_assert(rt::MakeSBox()[0x00] == 0x63 && rt::MakeSBox()[0x01] == 0x7c &&
                  rt::MakeSBox()[0x53] == 0xed && rt::MakeSBox()[0xff] == 0x16,
              "S-box");
static_assert(rt::MakeInverseSBox()[0x00] == 0x52 && rt::MakeInverseSBox()[0xff] == 0x7d,
              "inverse S-box");
static_assert(CircuitsMatchTables(), "S-box circuits");

// Multiplication by x in GF(2^8) of every byte of the planes.
template <class W>
inline void Xtime(const W (&x)[8], W (&y)[8]) {
    y[0] = x[7];
    y[1] = x[0] ^ x[7];
    y[2] = x[1];
    y[3] = x[2] ^ x[7];
    y[4] = x[3] ^ x[7];
    y[5] = x[4];
    y[6] = x[5];
    y[7] = x[6];
}

// Swaps the bits of a selected by mask << shift with the bits of b selected by mask.
template <class W, class L>
inline void SwapMove(W& a, W& b, unsigned shift, L mask) {
    const W t = ((a >> shift) ^ b) & Splat<W>(mask);
    b ^= t;
    a ^= t << shift;
}

// Transposes the 8x8 bit matrix in every byte position: afterwards bit i of byte m
// of word k is what bit k of byte m of word i was. Its own inverse.
template <class W, class L>
inline void Transpose(W (&x)[8]) {
    for (int i = 0; i < 8; i += 2) SwapMove(x[i], x[i + 1], 1, Repeat<L>(0x55, 8));
    for (int i : {0, 1, 4, 5}) SwapMove(x[i], x[i + 2], 2, Repeat<L>(0x33, 8));
    for (int i = 0; i < 4; ++i) SwapMove(x[i], x[i + 4], 4, Repeat<L>(0x0f, 8));
}

// Rijndael's rounds over any layout, which supplies ShiftRows of the planes and the
// two row rotations MixColumns needs (row r takes row r + 1, or r + 2, of its
// column).
template <class Layout, class W>
struct Rounds {
    // Row r gets 2 a_r + 3 a_(r+1) + a_(r+2) + a_(r+3), written as
    // 2 t + a_(r+1) + t_(r+2) with t = a + a_(r+1).
    static void MixColumns(W (&x)[8]) {
        W next[8], t[8], t2[8];
        for (int k = 0; k < 8; ++k) {
            next[k] = Layout::NextRow(x[k]);
            t[k] = x[k] ^ next[k];
        }
        Xtime(t, t2);
        for (int k = 0; k < 8; ++k) x[k] = t2[k] ^ next[k] ^ Layout::RowAfterNext(t[k]);
    }

    // InvMixColumns is MixColumns after a + 4 (a + a_(r+2)).
    static void InvMixColumns(W (&x)[8]) {
        W u[8], u2[8], u4[8];
        for (int k = 0; k < 8; ++k) u[k] = x[k] ^ Layout::RowAfterNext(x[k]);
        Xtime(u, u2);
        Xtime(u2, u4);
        for (int k = 0; k < 8; ++k) x[k] ^= u4[k];
        MixColumns(x);
    }

    static void AddRoundKey(W (&x)[8], const W (&k)[8]) {
        for (int i = 0; i < 8; ++i) x[i] ^= k[i];
    }

    template <bool kDecrypt>
    static void Run(W (&x)[8], const W (*rk)[8], int rounds) {
        AddRoundKey(x, rk[0]);
        for (int r = 1; r < rounds; ++r) {
            if (kDecrypt) {
                InvSubBytes(x);
                Layout::template ShiftRows<true>(x);
                InvMixColumns(x);
            } else {
                SubBytes(x);
                Layout::template ShiftRows<false>(x);
                MixColumns(x);
            }
            AddRoundKey(x, rk[r]);
        }
        if (kDecrypt) {
            InvSubBytes(x);
        } else {
            SubBytes(x);
        }
        Layout::template ShiftRows<kDecrypt>(x);
        AddRoundKey(x, rk[rounds]);
    }
};

constexpr int kMaxRows = 15;

typedef std::uint32_t Word32;

Word32 LoadLittle32(const BYTE* p) {
    return Word32(p[0]) | Word32(p[1]) << 8 | Word32(p[2]) << 16 | Word32(p[3]) << 24;
}

// Lane l of a word of 32-bit lanes; a plain 32-bit word is its own only lane.
template <class W>
inline Word32 Lane(const W& w, int l) {
    if constexpr (sizeof(W) == sizeof(Word32)) {
        return w;
    } else {
        return w[l];
    }
}
template <class W>
inline void SetLane(W& w, int l, Word32 value) {
    if constexpr (sizeof(W) == sizeof(Word32)) {
        w = value;
    } else {
        w[l] = value;
    }
}

// ---- Blocks of BC columns in 32-bit planes, one block to each 32-bit lane of W:
// row r, column c at bit 8 r + c of the block's lane. Column c's four bytes, little
// end first, make word c; the transpose then turns the words into planes. A plain
// 32-bit W holds a lone block (the 16-byte one, a 24- or 32-byte one, a key-schedule
// word); a vector of lanes holds that many 24- or 32-byte blocks side by side under
// the same round keys, which bitslicing then runs for the price of one.
template <int BC, class W = Word32>
struct Single {
    static constexpr int kBlocks = sizeof(W) / sizeof(Word32);

    // Columns [from, to) of one row: in each 32-bit half of a 64-bit T, or in each lane.
    template <class T>
    static T Columns(int from, int to, int row) {
        const Word32 bits = ((1u << (to - from)) - 1) << (8 * row + from);
        if constexpr (std::is_same<T, Lane64>::value) {
            return Repeat<Lane64>(bits, 32);
        } else {
            return Splat<T>(bits);
        }
    }

    // Four columns are kept twice (columns 4 to 7 repeat 0 to 3), so that a row's
    // rotation is a plain shift.
    static constexpr bool kTwice = BC == 4;

    // Column c of a row takes column c + s (modulo BC).
    template <int row, bool kDecrypt, class T>
    static T ShiftRow(T w) {
        constexpr int s = rt::kShifts[rt::ShiftClass(BC)][row][kDecrypt];
        if (kTwice) return (w >> s) & Columns<T>(0, BC, row);
        return ((w >> s) & Columns<T>(0, BC - s, row)) |
               ((w << (BC - s)) & Columns<T>(BC - s, BC, row));
    }

    template <bool kDecrypt, class T>
    static T ShiftedRows(T w) {
        T shifted = (w & Columns<T>(0, BC, 0)) | ShiftRow<1, kDecrypt>(w) |
                    ShiftRow<2, kDecrypt>(w) | ShiftRow<3, kDecrypt>(w);
        if (kTwice) shifted |= shifted << 4;
        return shifted;
    }

    // A lone block's planes go two at a time, one in each half of a 64-bit word: the
    // shifts and masks keep every bit within its half.
    template <bool kDecrypt>
    static void ShiftRows(W (&x)[8]) {
        if constexpr (kBlocks == 1) {
            for (int k = 0; k < 8; k += 2) {
                const Lane64 w = ShiftedRows<kDecrypt>(x[k] | Lane64(x[k + 1]) << 32);
                x[k] = Word32(w);
                x[k + 1] = Word32(w >> 32);
            }
        } else {
            for (W& w : x) w = ShiftedRows<kDecrypt>(w);
        }
    }

    static W NextRow(W w) { return (w >> 8) | (w << 24); }
    static W RowAfterNext(W w) { return (w >> 16) | (w << 16); }

    // Block l from in + l * stride into lane l, for the first `count` lanes.
    static void Load(const BYTE* in, std::size_t stride, int count, W (&x)[8]) {
        for (int c = 0; c < 8; ++c) {
            const int from = c < BC ? c : kTwice ? c - 4 : -1;
            for (int l = 0; l < kBlocks; ++l) {
                const bool used = from >= 0 && l < count;
                SetLane(x[c], l, used ? LoadLittle32(in + stride * std::size_t(l) + 4 * from) : 0);
            }
        }
        Transpose<W, Word32>(x);
    }

    static void Store(W (&x)[8], BYTE* out, std::size_t stride, int count) {
        Transpose<W, Word32>(x);
        for (int l = 0; l < count; ++l) {
            for (int c = 0; c < BC; ++c) {
                const Word32 column = Lane(x[c], l);
                for (int r = 0; r < 4; ++r)
                    out[stride * std::size_t(l) + 4 * c + r] = BYTE(column >> (8 * r));
            }
        }
    }

    // Whole blocks of 4 BC bytes, kBlocks at a time; every block of a batch is read
    // before any is written, so in may equal out.
    template <bool kDecrypt>
    static void Run(const RoundKeyRow* rk, int rounds, const BYTE* in, BYTE* out,
                    std::size_t blocks) {
        W keys[kMaxRows][8];
        Word32 row[8];
        for (int r = 0; r <= rounds; ++r) {
            Single<BC>::Load(rk[r], 0, 1, row);
            for (int k = 0; k < 8; ++k) keys[r][k] = Splat<W>(row[k]);
        }
        constexpr std::size_t kStride = 4 * BC;
        W x[8];
        for (std::size_t done = 0; done < blocks; done += kBlocks) {
            const int count = blocks - done < kBlocks ? int(blocks - done) : kBlocks;
            Load(in + kStride * done, kStride, count, x);
            Rounds<Single, W>::template Run<kDecrypt>(x, keys, rounds);
            Store(x, out + kStride * done, kStride, count);
        }
        Wipe(keys);
        Wipe(row);
        Wipe(x);
    }
};

// ---- 16-byte blocks in vectors of 32-bit lanes, eight blocks to every four lanes:
// lane 4 g + c holds column c of blocks 8 g ... 8 g + 7, row r of block b at bit
// 8 r + b. A 16-byte block loads straight into word b (its columns little end first),
// and the transpose turns the words into planes. ShiftRows moves whole lanes,
// MixColumns rotates within them.
template <class W>
struct ColumnLanes {
    static constexpr int kLanes = sizeof(W) / sizeof(Word32);
    static constexpr int kBlocks = 2 * kLanes;

    // Lane j takes lane j + s of its group of four.
    template <int s, std::size_t... lane>
    static W RotateColumns(W w, std::index_sequence<lane...>) {
        return __builtin_shufflevector(w, w, ((lane & ~std::size_t(3)) | ((lane + s) & 3))...);
    }

    template <int row, bool kDecrypt>
    static W ShiftRow(W w) {
        constexpr int s = rt::kShifts[0][row][kDecrypt];
        return RotateColumns<s>(w, std::make_index_sequence<kLanes>()) &
               Splat<W>(Word32(0xFF) << (8 * row));
    }

    template <bool kDecrypt>
    static void ShiftRows(W (&x)[8]) {
        for (W& w : x) {
            w = (w & Splat<W>(Word32(0xFF))) | ShiftRow<1, kDecrypt>(w) | ShiftRow<2, kDecrypt>(w) |
                ShiftRow<3, kDecrypt>(w);
        }
    }

    static W NextRow(W w) { return (w >> 8) | (w << 24); }
    static W RowAfterNext(W w) { return (w >> 16) | (w << 16); }

    // The lanes' bytes in memory order are little end first.
    static W FromMemory(W w) {
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
        return (w >> 24) | ((w >> 8) & Splat<W>(Word32(0xFF00))) |
               ((w << 8) & Splat<W>(Word32(0xFF0000))) | (w << 24);
#else
        return w;
#endif
    }

    // Block b of the batch is read from blocks[b]; all kBlocks are read.
    static void Load(const BYTE* const* blocks, W (&x)[8]) {
        for (int i = 0; i < 8; ++i) {
            for (int g = 0; g < kLanes / 4; ++g)
                std::memcpy(reinterpret_cast<BYTE*>(&x[i]) + 16 * g, blocks[8 * g + i], 16);
            x[i] = FromMemory(x[i]);
        }
        Transpose<W, Word32>(x);
    }

    static void Store(W (&x)[8], BYTE* out) {
        Transpose<W, Word32>(x);
        for (int i = 0; i < 8; ++i) {
            x[i] = FromMemory(x[i]);
            for (int g = 0; g < kLanes / 4; ++g)
                std::memcpy(out + 16 * (8 * g + i), reinterpret_cast<const BYTE*>(&x[i]) + 16 * g,
                            16);
        }
    }

    // One key for every block: each byte of a plane is all ones or all zeros.
    static void SpreadKey(const RoundKeyRow& row, W (&x)[8]) {
        for (int k = 0; k < 8; ++k) {
            for (int c = 0; c < 4; ++c) {
                const Word32 bits = (LoadLittle32(row + 4 * c) >> k) & Repeat<Word32>(0x01, 8);
                const Word32 bytes = (bits << 8) - bits;
                for (int g = 0; g < kLanes / 4; ++g) x[k][4 * g + c] = bytes;
            }
        }
    }

    template <bool kDecrypt>
    static void Run(const W (*planes)[8], int rounds, const BYTE* in, BYTE* out, int count) {
        const BYTE* blocks[kBlocks];
        BYTE partial[16 * kBlocks];
        BYTE* dest = out;
        if (count < kBlocks) {
            std::memset(partial, 0, sizeof partial);
            std::memcpy(partial, in, 16 * std::size_t(count));
            in = dest = partial;
        }
        for (int b = 0; b < kBlocks; ++b) blocks[b] = in + 16 * b;
        W x[8];
        Load(blocks, x);
        Rounds<ColumnLanes, W>::template Run<kDecrypt>(x, planes, rounds);
        Store(x, dest);
        if (count < kBlocks) {
            std::memcpy(out, partial, 16 * std::size_t(count));
            Wipe(partial);
        }
        Wipe(x);
    }

    // blocks blocks, block k under keyOf(k)'s rows. With sameEveryBatch, every
    // batch meets the same rows in the same places, so they are loaded once.
    template <bool kDecrypt, class KeyOf>
    static void Blocks(KeyOf keyOf, bool oneKey, bool sameEveryBatch, int rounds, const BYTE* in,
                       BYTE* out, std::size_t blocks) {
        W planes[kMaxRows][8];
        if (oneKey) {
            for (int r = 0; r <= rounds; ++r) SpreadKey(keyOf(0)[r], planes[r]);
        }
        bool loaded = oneKey;
        for (std::size_t done = 0; done < blocks; done += kBlocks) {
            const int count = blocks - done < kBlocks ? int(blocks - done) : kBlocks;
            if (!loaded || !sameEveryBatch) {
                const BYTE* rows[kBlocks];
                for (int r = 0; r <= rounds; ++r) {
                    for (int b = 0; b < kBlocks; ++b) rows[b] = keyOf(done + std::size_t(b))[r];
                    Load(rows, planes[r]);
                }
                loaded = true;
            }
            Run<kDecrypt>(planes, rounds, in + 16 * done, out + 16 * done, count);
        }
        Wipe(planes);
    }
};

typedef Word32 Lanes4 __attribute__((vector_size(16)));
typedef ColumnLanes<Lanes4> Batch;

// A lone block goes through 32-bit planes, more eight at a time through 128-bit lane
// vectors (wider ones were no faster on long buffers and slower on short ones).
// period is the number of keys the blocks cycle through: when it divides the
// batch, every batch meets the same keys in the same places.
template <bool kDecrypt, class KeyOf>
void Blocks16(KeyOf keyOf, bool oneKey, std::size_t period, int rounds, const BYTE* in, BYTE* out,
              std::size_t blocks) {
    if (blocks == 1) {
        Single<4>::Run<kDecrypt>(keyOf(0), rounds, in, out, 1);
    } else {
        Batch::Blocks<kDecrypt>(keyOf, oneKey, Batch::kBlocks % period == 0, rounds, in, out,
                                blocks);
    }
}

struct OneKey {
    const RoundKeyRow* rk;
    const RoundKeyRow* operator()(std::size_t) const { return rk; }
};

// Object k % count's rows for block k.
struct KeyCycle {
    const RoundKeyArray* keys;
    const RoundKeyRow* operator()(std::size_t k) const {
        return reinterpret_cast<const RoundKeyRow*>(keys->first + (k % keys->count) * keys->stride);
    }
};

template <bool kDecrypt>
void MultiKey(const RoundKeyArray& keys, int rounds, const BYTE* in, BYTE* out,
              std::size_t blocks) {
    Blocks16<kDecrypt>(KeyCycle{&keys}, keys.count == 1, keys.count, rounds, in, out, blocks);
}

// A lone wide block in 32-bit planes; more of them W's lanes at a time.
template <bool kDecrypt, class W = Word32>
void WideBlocks(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in, BYTE* out,
                std::size_t blocks) {
    if (blockBytes == 24) {
        Single<6, W>::template Run<kDecrypt>(rk, rounds, in, out, blocks);
    } else {
        Single<8, W>::template Run<kDecrypt>(rk, rounds, in, out, blocks);
    }
}

// Every byte of the word times x in GF(2^8).
DWORD XtimeBytes(DWORD w) {
    return ((w & Repeat<DWORD>(0x7f, 8)) << 1) ^ (((w >> 7) & Repeat<DWORD>(0x01, 8)) * 0x1b);
}

}  // namespace

void PortableEncryptBlocks(const RoundKeyRow* rk, int rounds, const BYTE* in, BYTE* out,
                           std::size_t blocks) {
    Blocks16<false>(OneKey{rk}, true, 1, rounds, in, out, blocks);
}

void PortableDecryptBlocks(const RoundKeyRow* rk, int rounds, const BYTE* in, BYTE* out,
                           std::size_t blocks) {
    Blocks16<true>(OneKey{rk}, true, 1, rounds, in, out, blocks);
}

void PortableEncryptMultiKey(const RoundKeyArray& keys, int rounds, const BYTE* in, BYTE* out,
                             std::size_t blocks) {
    MultiKey<false>(keys, rounds, in, out, blocks);
}

void PortableDecryptMultiKey(const RoundKeyArray& keys, int rounds, const BYTE* in, BYTE* out,
                             std::size_t blocks) {
    MultiKey<true>(keys, rounds, in, out, blocks);
}

void PortableEncryptWideBlock(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                              BYTE* out) {
    WideBlocks<false>(rk, rounds, blockBytes, in, out, 1);
}

void PortableDecryptWideBlock(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                              BYTE* out) {
    WideBlocks<true>(rk, rounds, blockBytes, in, out, 1);
}

void PortableEncryptWideBlocks(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                               BYTE* out, std::size_t blocks) {
    WideBlocks<false, Lanes4>(rk, rounds, blockBytes, in, out, blocks);
}

void PortableDecryptWideBlocks(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                               BYTE* out, std::size_t blocks) {
    WideBlocks<true, Lanes4>(rk, rounds, blockBytes, in, out, blocks);
}

// The four bytes as four columns of 32-bit planes: plane k holds bit k of byte j at
// bit 8 j.
DWORD PortableSubWord(DWORD w) {
    const DWORD low = Repeat<DWORD>(0x01, 8);
    DWORD x[8];
    for (int k = 0; k < 8; ++k) x[k] = (w >> k) & low;
    SubBytes(x);
    DWORD result = 0;
    for (int k = 0; k < 8; ++k) result |= (x[k] & low) << k;
    return result;
}

// InvMixColumns as MixColumns after a + 4 (a + a_(r+2)); row r + 1 of the column
// is the byte below row r.
DWORD PortableInvMixColumn(DWORD w) {
    const auto rotl = [](DWORD v, int n) { return (v << n) | (v >> (32 - n)); };
    const DWORD u = w ^ rotl(w, 16);
    const DWORD a = w ^ XtimeBytes(XtimeBytes(u));
    const DWORD t = a ^ rotl(a, 8);
    return XtimeBytes(t) ^ rotl(a, 8) ^ rotl(t, 16);
}

}  // namespace sealwrit::detail
