// 24- and 32-byte Rijndael blocks on the AES instructions, a lone block or whole
// buffers, shared by the files that run them; each includes this, compiled with its
// own instruction flags, and supplies its registers (128-bit ones, or VAES's 256- and
// 512-bit ones with a block in each 128-bit lane) and the byte moves its
// instructions allow.
//
// AESENC and AESDEC (and their LAST forms) do SubBytes, MixColumns and AddRoundKey
// column by column, and a row shift that only moves bytes within the register. The
// wide row shift is done before each instruction, by moves that put in each register
// the bytes its output columns need, where the instruction's own row shift takes them
// from. SubBytes works byte by byte, so doing the moves before it rather than after
// changes nothing. With the equivalent inverse cipher's round keys (the middle ones
// already InvMixColumns'ed), AESDEC's order of steps is the decryption round's.
//
// A 32-byte block sits in two registers, columns 0-3 and 4-7; for each output
// register a byte blend of the two picks, position by position, the one that holds a
// byte this output needs, and a byte shuffle moves those bytes into place (or one
// two-register permutation does both, with AVX-512 VBMI). A 24-byte block sits in
// three registers, each column twice, arranged so that blends alone do the moves
// (TripleRounds below), or, where one permutation does any move, in two.
//
// No work depends on the key or the data beyond the instructions themselves: no
// table is indexed, no branch taken on either.
//
// Everything here has internal linkage, so that each including file's code, built
// for its own instructions, stays its own: the linker cannot fold one file's copy
// into another's.
#ifndef SEALWRIT_AES_WIDE_ROUNDS_H
#define SEALWRIT_AES_WIDE_ROUNDS_H

#include <immintrin.h>

#include <cstddef>
#include <cstring>

#include "../RijndaelTables.h"
#include "AesOperations.h"

namespace sealwrit::detail {

namespace {
namespace wide_rounds {

// The column held in one slot (four bytes, one column) of the low or the high register.
constexpr int SlotColumn(int bc, bool high, int slot) { return high ? bc - 4 + slot : slot; }

// The instructions' own row shift is a four-column block's, within the register;
// Rijndael's is the block's own (rijndael_tables::ShiftSource for both).
constexpr int InstructionSource(bool decrypt, int slot, int row) {
    return rijndael_tables::ShiftSource(4, slot, row, decrypt);
}
constexpr int RijndaelSource(int bc, bool decrypt, int column, int row) {
    return rijndael_tables::ShiftSource(bc, column, row, decrypt);
}

// For the low (0) and the high (1) output register: the blend mask (top bit set where
// the byte comes from the high register, as PBLENDVB reads it) and the shuffle control
// (as PSHUFB reads it) that then puts each byte where the instruction's row shift
// expects it.
struct Moves {
    BYTE blend[2][16];
    BYTE shuffle[2][16];
    bool found;
};

// Row by row, tries every choice of register per slot until the chosen slots hold
// every column that row of the output needs.
constexpr Moves DeriveMoves(int bc, bool decrypt) {
    Moves m{};
    m.found = true;
    for (int half = 0; half < 2; ++half) {
        for (int row = 0; row < 4; ++row) {
            int needed[4] = {};  // by the position the instruction reads it from
            for (int slot = 0; slot < 4; ++slot) {
                needed[InstructionSource(decrypt, slot, row)] =
                    RijndaelSource(bc, decrypt, SlotColumn(bc, half == 1, slot), row);
            }
            bool rowFound = false;
            for (int highSlots = 0; highSlots < 16 && !rowFound; ++highSlots) {
                int from[4] = {-1, -1, -1, -1};
                rowFound = true;
                for (int p = 0; p < 4; ++p) {
                    for (int q = 0; q < 4; ++q) {
                        if (SlotColumn(bc, (highSlots >> q) & 1, q) == needed[p]) from[p] = q;
                    }
                    rowFound = rowFound && from[p] >= 0;
                }
                for (int i = 0; rowFound && i < 4; ++i) {
                    m.blend[half][4 * i + row] = ((highSlots >> i) & 1) ? 0x80 : 0x00;
                    m.shuffle[half][4 * i + row] = BYTE(4 * from[i] + row);
                }
            }
            m.found = m.found && rowFound;
        }
    }
    return m;
}

// Runs the moves and the instruction's row shift on byte labels (column * 4 + row),
// as PBLENDVB and PSHUFB define them, and compares the outcome with Rijndael's row
// shift straight from the offsets table.
constexpr bool MovesShiftRows(int bc, bool decrypt) {
    const Moves m = DeriveMoves(bc, decrypt);
    for (int half = 0; half < 2; ++half) {
        int blended[16] = {}, shuffled[16] = {};
        for (int b = 0; b < 16; ++b) {
            blended[b] = 4 * SlotColumn(bc, (m.blend[half][b] & 0x80) != 0, b / 4) + b % 4;
        }
        for (int b = 0; b < 16; ++b) {
            shuffled[b] = (m.shuffle[half][b] & 0x80) ? -1 : blended[m.shuffle[half][b] & 15];
        }
        for (int slot = 0; slot < 4; ++slot) {
            for (int row = 0; row < 4; ++row) {
                const int got = shuffled[4 * InstructionSource(decrypt, slot, row) + row];
                const int column = SlotColumn(bc, half == 1, slot);
                if (got != 4 * RijndaelSource(bc, decrypt, column, row) + row) return false;
            }
        }
    }
    return m.found;
}

static_assert(MovesShiftRows(8, false) && MovesShiftRows(8, true), "32-byte row shifts");
static_assert(MovesShiftRows(6, false) && MovesShiftRows(6, true), "24-byte row shifts");

// The same moves as one two-register byte permutation (index 16 and up: the high
// register).
constexpr BYTE FromTwoRegisters(const Moves& m, int half, int b) {
    const BYTE from = m.shuffle[half][b];
    return BYTE(from + ((m.blend[half][from] & 0x80) ? 16 : 0));
}

// True where the high output's blend takes from the high register exactly the bytes
// the low output's takes from the low one, and its shuffle moves them alike, so that
// one mask and one shuffle serve both: so it is for a 32-byte block, whose halves
// are four columns apart in a shift that turns modulo eight.
constexpr bool HalvesMirror(const Moves& m) {
    for (int b = 0; b < 16; ++b) {
        if ((m.blend[0][b] ^ m.blend[1][b]) != 0x80) return false;
        if (m.shuffle[0][b] != m.shuffle[1][b]) return false;
    }
    return true;
}

template <int BC, bool kDecrypt>
struct MovesFor {
    static constexpr Moves kMoves = DeriveMoves(BC, kDecrypt);
};
template <int BC, bool kDecrypt>
constexpr Moves MovesFor<BC, kDecrypt>::kMoves;

// ---- Registers. A register description R gives a vector type and operations that
// act on each of its kLanes 128-bit lanes alike. Lane l of a group of registers holds
// block l of a group of kLanes blocks, so that one instruction takes the same step
// for all of them. Xmm, below, is the AES-NI instructions' own width, one block to a
// group; the VAES files describe wider ones.
//   Vec, Mask, kLanes
//   Load(p), Store(p, v)         a whole register
//   Lanes(p, stride)             lane l from the 16 bytes at p + stride * l
//   Unlanes(p, stride, v)        lane l to the 16 bytes at p + stride * l
//   Broadcast(p)                 the 16 bytes at p in every lane
//   MaskOf(v), Blend(a, b, m)    b's bytes where v's top bits are set, a's elsewhere
//   Xor(a, b), Shuffle(a, c)     PSHUFB in each lane
//   Alignr8(a, b)                PALIGNR by 8 in each lane: b's upper half, a's lower
//   Aes<kDecrypt, kLast>(s, k)   AESENC, AESDEC and their LAST forms in each lane
//   Permute2(a, index, b)        bytes of a and b (index 16 kLanes and up: b); VBMI
struct Xmm {
    typedef __m128i Vec;
    typedef __m128i Mask;
    static constexpr int kLanes = 1;

    static Vec Load(const BYTE* p) { return _mm_loadu_si128(reinterpret_cast<const Vec*>(p)); }
    static void Store(BYTE* p, Vec v) { _mm_storeu_si128(reinterpret_cast<Vec*>(p), v); }
    static Vec Lanes(const BYTE* p, std::size_t) { return Load(p); }
    static void Unlanes(BYTE* p, std::size_t, Vec v) { Store(p, v); }
    static Vec Broadcast(const BYTE* p) { return Load(p); }
    static Mask MaskOf(Vec v) { return v; }
    static Vec Blend(Vec a, Vec b, Mask m) { return _mm_blendv_epi8(a, b, m); }
    static Vec Xor(Vec a, Vec b) { return _mm_xor_si128(a, b); }
    static Vec Shuffle(Vec a, Vec control) { return _mm_shuffle_epi8(a, control); }
    static Vec Alignr8(Vec a, Vec b) { return _mm_alignr_epi8(a, b, 8); }
    template <bool kDecrypt, bool kLast>
    static Vec Aes(Vec s, Vec k) {
        if (kLast) return kDecrypt ? _mm_aesdeclast_si128(s, k) : _mm_aesenclast_si128(s, k);
        return kDecrypt ? _mm_aesdec_si128(s, k) : _mm_aesenc_si128(s, k);
    }
#if defined(__AVX512VBMI__) && defined(__AVX512VL__)
    static Vec Permute2(Vec a, Vec index, Vec b) { return _mm_permutex2var_epi8(a, index, b); }
#endif
};

// ---- The moves of a 32-byte block, kept as its low and high register (columns 0-3
// and 4-7). Gather<R, BC, kDecrypt> is a file's choice of instructions for them:
// constructed once per call, it gives each output register's bytes, ready for the
// instruction, through Low(low, high) and High(low, high).

// SSE4.1's PBLENDVB and SSSE3's PSHUFB (or their wider forms), one mask and one
// shuffle for both outputs (on 128-bit registers the mask can then stay in XMM0,
// PBLENDVB's implicit operand).
template <class R, int BC, bool kDecrypt>
class BlendShuffle {
public:
    typedef typename R::Vec Vec;
    BlendShuffle()
        : m_blend(R::MaskOf(R::Broadcast(kMoves.blend[0]))),
          m_shuffle(R::Broadcast(kMoves.shuffle[0])) {}

    Vec Low(Vec low, Vec high) const { return R::Shuffle(R::Blend(low, high, m_blend), m_shuffle); }
    Vec High(Vec low, Vec high) const {
        return R::Shuffle(R::Blend(high, low, m_blend), m_shuffle);
    }

private:
    static constexpr const Moves& kMoves = MovesFor<BC, kDecrypt>::kMoves;
    static_assert(HalvesMirror(kMoves), "one blend mask and one shuffle for both outputs");

    typename R::Mask m_blend;
    Vec m_shuffle;
};

// AVX-512 VBMI's two-register byte permutation, which does each output's blend and
// shuffle in one instruction.
template <class R, int BC, bool kDecrypt>
class TwoRegisterPermute {
public:
    typedef typename R::Vec Vec;
    TwoRegisterPermute() : m_index{R::Load(kIndex.bytes[0]), R::Load(kIndex.bytes[1])} {}

    Vec Low(Vec low, Vec high) const { return R::Permute2(low, m_index[0], high); }
    Vec High(Vec low, Vec high) const { return R::Permute2(low, m_index[1], high); }

private:
    struct Controls {
        BYTE bytes[2][64];
    };
    // Lane l's bytes from lane l of either register.
    static constexpr Controls Index() {
        Controls c{};
        for (int half = 0; half < 2; ++half) {
            for (int lane = 0; lane < R::kLanes; ++lane) {
                for (int b = 0; b < 16; ++b) {
                    const int from = FromTwoRegisters(MovesFor<BC, kDecrypt>::kMoves, half, b);
                    c.bytes[half][16 * lane + b] =
                        BYTE(16 * lane + (from & 15) + (from >= 16 ? 16 * R::kLanes : 0));
                }
            }
        }
        return c;
    }
    static constexpr Controls kIndex = Index();

    Vec m_index[2];
};

// Whether a file's moves take any byte of either register anywhere, so that a
// 24-byte block can run in two registers as a 32-byte one does (columns 0-3 and 2-5):
// two AES instructions a round rather than the three TripleRounds takes. Whole
// buffers on 512-bit registers ran some 5 % faster so (6 270 MB/s against 5 960 on a
// Zen 4 core), on 128-bit ones as fast; a lone block, whose chain waits on the
// permutation, keeps the blends.
template <template <class, int, bool> class Gather>
struct MovesAnyByte {
    static constexpr bool value = false;
};
template <>
struct MovesAnyByte<TwoRegisterPermute> {
    static constexpr bool value = true;
};

// kGroups groups of R::kLanes blocks of BC columns, block i of them at 4 BC i bytes,
// side by side: each block's rounds are one chain of moves and AES instructions that
// waits on itself, and the other blocks' chains fill the gaps. Every block is loaded
// before any is stored, so in may equal out.
template <class R, template <class, int, bool> class Gather, int BC, bool kDecrypt, int kRounds,
          int kGroups>
__attribute__((always_inline)) inline void Rounds(const RoundKeyRow* rk, const BYTE* in,
                                                  BYTE* out) {
    typedef typename R::Vec Vec;
    constexpr int kHigh = 4 * (BC - 4);  // the high register's first byte in the block
    constexpr std::size_t kStride = 4 * BC, kGroupBytes = kStride * R::kLanes;
    const Gather<R, BC, kDecrypt> gather;
    Vec low[kGroups], high[kGroups];
    const Vec firstLow = R::Broadcast(rk[0]), firstHigh = R::Broadcast(rk[0] + kHigh);
    for (int g = 0; g < kGroups; ++g) {
        low[g] = R::Xor(R::Lanes(in + kGroupBytes * g, kStride), firstLow);
        high[g] = R::Xor(R::Lanes(in + kGroupBytes * g + kHigh, kStride), firstHigh);
    }
    for (int r = 1; r < kRounds; ++r) {
        const Vec keyLow = R::Broadcast(rk[r]), keyHigh = R::Broadcast(rk[r] + kHigh);
        for (int g = 0; g < kGroups; ++g) {
            const Vec x = gather.Low(low[g], high[g]), y = gather.High(low[g], high[g]);
            low[g] = R::template Aes<kDecrypt, false>(x, keyLow);
            high[g] = R::template Aes<kDecrypt, false>(y, keyHigh);
        }
    }
    const Vec lastLow = R::Broadcast(rk[kRounds]), lastHigh = R::Broadcast(rk[kRounds] + kHigh);
    for (int g = 0; g < kGroups; ++g) {
        const Vec x = gather.Low(low[g], high[g]), y = gather.High(low[g], high[g]);
        low[g] = R::template Aes<kDecrypt, true>(x, lastLow);
        high[g] = R::template Aes<kDecrypt, true>(y, lastHigh);
    }
    for (int g = 0; g < kGroups; ++g) {
        R::Unlanes(out + kGroupBytes * g, kStride, low[g]);
        R::Unlanes(out + kGroupBytes * g + kHigh, kStride, high[g]);
    }
}

// A 24-byte block also fits three registers so that every round's moves are byte
// blends alone. Register k holds columns 2k to 2k + 3 (mod 6): columns 0-3, 2-5 and
// 4, 5, 0, 1, so that each column sits in two slots, and a slot in each register
// holds the columns of one parity. Rijndael's shift takes row j of column c from
// column c + j (mod 6, or c - j decrypting), and the instruction's from slot s + j
// (or s - j): the wanted column is then always at the very position the instruction
// reads, in the register itself or, where the slot index wraps, in the next one (the
// previous one decrypting). One mask, the same for all three, tells them apart.
// Against two registers, a round costs a third instruction, but its chain is one
// blend where it was a shuffle and a blend: on a Zen 5 core, calls that each wait
// for the one before ran 12 % faster, independent calls as fast.
constexpr int TripleColumn(int reg, int slot) { return (2 * reg + slot) % 6; }

struct TripleMoves {
    BYTE blend[16];  // top bit set where the byte comes from the other register
    int other[3];    // for each register, the one its blended bytes come from
    bool found;
};

constexpr TripleMoves DeriveTripleMoves(bool decrypt) {
    TripleMoves m{};
    m.found = true;
    for (int reg = 0; reg < 3; ++reg) {
        m.other[reg] = -1;
        for (int slot = 0; slot < 4; ++slot) {
            for (int row = 0; row < 4; ++row) {
                const int at = InstructionSource(decrypt, slot, row);
                const int wanted = RijndaelSource(6, decrypt, TripleColumn(reg, slot), row);
                int from = -1;
                for (int q = 0; q < 3; ++q) {
                    if (TripleColumn(q, at) == wanted) from = q;
                }
                if (from < 0) m.found = false;
                const BYTE bit = from == reg ? 0x00 : 0x80;
                if (reg > 0 && m.blend[4 * at + row] != bit) m.found = false;
                m.blend[4 * at + row] = bit;
                if (from != reg && m.other[reg] >= 0 && m.other[reg] != from) m.found = false;
                if (from != reg) m.other[reg] = from;
            }
        }
        m.found = m.found && m.other[reg] >= 0;
    }
    return m;
}

// Registers 0 and 1 are the block's first and last 16 bytes; register 2 (columns 4,
// 5, 0, 1) is the last half of the second followed by the first half of the first:
// ThirdRegister(first, last) is PALIGNR by 8, R::Alignr8.

constexpr bool TripleLayoutLoads() {
    for (int slot = 0; slot < 4; ++slot) {
        const bool fromFirst = slot >= 2;  // PALIGNR's upper eight bytes
        if (TripleColumn(0, slot) != slot || TripleColumn(1, slot) != slot + 2 ||
            TripleColumn(2, slot) !=
                TripleColumn(fromFirst ? 0 : 1, fromFirst ? slot - 2 : slot + 2)) {
            return false;
        }
    }
    return true;
}

static_assert(DeriveTripleMoves(false).found && DeriveTripleMoves(true).found &&
                  TripleLayoutLoads(),
              "24-byte row shifts by blends");

template <bool kDecrypt>
struct TripleMovesFor {
    static constexpr TripleMoves kMoves = DeriveTripleMoves(kDecrypt);
};
template <bool kDecrypt>
constexpr TripleMoves TripleMovesFor<kDecrypt>::kMoves;

template <class R, bool kDecrypt>
class TripleRound {
public:
    typedef typename R::Vec Vec;
    TripleRound() : m_mask(R::MaskOf(R::Broadcast(kMoves.blend))) {}

    // One round on each group's three registers with the round key row rk; kLast: the
    // final round's instructions.
    template <bool kLast, int kGroups>
    void Run(Vec (&s0)[kGroups], Vec (&s1)[kGroups], Vec (&s2)[kGroups], const BYTE* rk) const {
        const Vec k0 = R::Broadcast(rk), k1 = R::Broadcast(rk + 8), k2 = R::Alignr8(k0, k1);
        for (int g = 0; g < kGroups; ++g) {
            const Vec x0 = R::Blend(s0[g], Pick(kMoves.other[0], s0[g], s1[g], s2[g]), m_mask);
            const Vec x1 = R::Blend(s1[g], Pick(kMoves.other[1], s0[g], s1[g], s2[g]), m_mask);
            const Vec x2 = R::Blend(s2[g], Pick(kMoves.other[2], s0[g], s1[g], s2[g]), m_mask);
            s0[g] = R::template Aes<kDecrypt, kLast>(x0, k0);
            s1[g] = R::template Aes<kDecrypt, kLast>(x1, k1);
            s2[g] = R::template Aes<kDecrypt, kLast>(x2, k2);
        }
    }

private:
    static constexpr const TripleMoves& kMoves = TripleMovesFor<kDecrypt>::kMoves;

    static Vec Pick(int reg, Vec s0, Vec s1, Vec s2) { return reg == 0 ? s0 : reg == 1 ? s1 : s2; }

    typename R::Mask m_mask;
};

// kGroups groups of R::kLanes blocks side by side, as Rounds runs them.
template <class R, bool kDecrypt, int kRounds, int kGroups>
__attribute__((always_inline)) inline void TripleRounds(const RoundKeyRow* rk, const BYTE* in,
                                                        BYTE* out) {
    typedef typename R::Vec Vec;
    constexpr std::size_t kGroupBytes = 24 * R::kLanes;
    const TripleRound<R, kDecrypt> round;
    Vec s0[kGroups], s1[kGroups], s2[kGroups];
    const Vec first0 = R::Broadcast(rk[0]), first1 = R::Broadcast(rk[0] + 8);
    for (int g = 0; g < kGroups; ++g) {
        s0[g] = R::Xor(R::Lanes(in + kGroupBytes * g, 24), first0);
        s1[g] = R::Xor(R::Lanes(in + kGroupBytes * g + 8, 24), first1);
        s2[g] = R::Alignr8(s0[g], s1[g]);
    }
    for (int r = 1; r < kRounds; ++r) round.template Run<false>(s0, s1, s2, rk[r]);
    round.template Run<true>(s0, s1, s2, rk[kRounds]);
    // A block's two stores overlap on columns 2 and 3, equal in both.
    for (int g = 0; g < kGroups; ++g) {
        R::Unlanes(out + kGroupBytes * g, 24, s0[g]);
        R::Unlanes(out + kGroupBytes * g + 8, 24, s1[g]);
    }
}

// kGroups groups of blocks of BC columns, in the layout that suits the width.
template <class R, template <class, int, bool> class Gather, int BC, bool kDecrypt, int kRounds,
          int kGroups>
__attribute__((always_inline)) inline void Group(const RoundKeyRow* rk, const BYTE* in, BYTE* out) {
    if constexpr (BC == 8 || (MovesAnyByte<Gather>::value && (kGroups > 1 || R::kLanes > 1))) {
        Rounds<R, Gather, BC, kDecrypt, kRounds, kGroups>(rk, in, out);
    } else {
        TripleRounds<R, kDecrypt, kRounds, kGroups>(rk, in, out);
    }
}

// Whole runs of kInFlight groups, then what is left in runs of half as many, and so
// on down to one group; blocks that fill no group of a wide register go on 128-bit
// registers.
template <class R, template <class, int, bool> class Gather, int BC, bool kDecrypt, int kRounds,
          int kInFlight>
__attribute__((always_inline)) inline void Groups(const RoundKeyRow* rk, const BYTE* in, BYTE* out,
                                                  std::size_t blocks) {
    constexpr std::size_t kBlocks = std::size_t(kInFlight) * R::kLanes, kBytes = 4 * BC * kBlocks;
    for (; blocks >= kBlocks; blocks -= kBlocks, in += kBytes, out += kBytes) {
        Group<R, Gather, BC, kDecrypt, kRounds, kInFlight>(rk, in, out);
    }
    if constexpr (kInFlight > 1) {
        Groups<R, Gather, BC, kDecrypt, kRounds, kInFlight / 2>(rk, in, out, blocks);
    } else if constexpr (R::kLanes > 1) {
        Groups<Xmm, Gather, BC, kDecrypt, kRounds, R::kLanes / 2>(rk, in, out, blocks);
    }
}

// The entry points: 12 or 14 rounds for a 24-byte block, 14 for a 32-byte one. A
// buffer runs kInFlight24 or kInFlight32 groups of R's at a time, for the most
// throughput; a lone block alone on 128-bit registers, for the least latency.
template <class R, template <class, int, bool> class Gather, bool kDecrypt, int kInFlight24,
          int kInFlight32>
void Blocks(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in, BYTE* out,
            std::size_t blocks) {
    if (blockBytes == 32) {
        Groups<R, Gather, 8, kDecrypt, 14, kInFlight32>(rk, in, out, blocks);
    } else if (rounds == 12) {
        Groups<R, Gather, 6, kDecrypt, 12, kInFlight24>(rk, in, out, blocks);
    } else {
        Groups<R, Gather, 6, kDecrypt, 14, kInFlight24>(rk, in, out, blocks);
    }
}

// A lone block of one shape in a function of its own, which the entry point below
// jumps to: inlined together, the shapes had their round keys' loads hoisted above
// the choice between them, and calls that each run one block ran some 8 % slower.
template <template <class, int, bool> class Gather, int BC, bool kDecrypt, int kRounds>
__attribute__((noinline)) void LoneBlock(const RoundKeyRow* rk, const BYTE* in, BYTE* out) {
    Group<Xmm, Gather, BC, kDecrypt, kRounds, 1>(rk, in, out);
}

template <template <class, int, bool> class Gather, bool kDecrypt>
void Block(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in, BYTE* out) {
    if (blockBytes == 32) {
        LoneBlock<Gather, 8, kDecrypt, 14>(rk, in, out);
    } else if (rounds == 12) {
        LoneBlock<Gather, 6, kDecrypt, 12>(rk, in, out);
    } else {
        LoneBlock<Gather, 6, kDecrypt, 14>(rk, in, out);
    }
}

// The encrypting directions of the chaining modes (WideFeedbackOp), a block after
// another on 128-bit registers in the lone block's layout: the chaining value stays
// in the registers the last round left it in, and the text is XORed in beside the
// chain (into round key 0 for CBC), so that a block costs its rounds and two XORs
// more. Nothing goes through memory between blocks: stored and loaded back at
// another offset, a 24-byte block waited on the store each time.
template <template <class, int, bool> class Gather, int BC, int kRounds, Feedback kMode>
__attribute__((noinline)) void SerialBlocks(const RoundKeyRow* rk, BYTE* reg, const BYTE* in,
                                            BYTE* out, std::size_t blocks) {
    typedef Xmm::Vec Vec;
    constexpr std::size_t kBytes = 4 * BC, kHigh = BC == 8 ? 16 : 8;
    // What comes in: the chaining value, the text XORed in for CBC, round key 0.
    const auto enter = [](Vec chain, Vec text, Vec key) {
        return Xmm::Xor(chain, kMode == kCbc ? Xmm::Xor(text, key) : key);
    };
    Vec low = Xmm::Load(reg), high = Xmm::Load(reg + kHigh);
    for (std::size_t at = 0; at < kBytes * blocks; at += kBytes) {
        const Vec textLow = Xmm::Load(in + at), textHigh = Xmm::Load(in + at + kHigh);
        low = enter(low, textLow, Xmm::Broadcast(rk[0]));
        high = enter(high, textHigh, Xmm::Broadcast(rk[0] + kHigh));
        if constexpr (BC == 8) {
            const Gather<Xmm, BC, false> gather;
            for (int r = 1; r <= kRounds; ++r) {
                const Vec x = gather.Low(low, high), y = gather.High(low, high);
                const Vec keyLow = Xmm::Broadcast(rk[r]), keyHigh = Xmm::Broadcast(rk[r] + kHigh);
                low = r < kRounds ? Xmm::Aes<false, false>(x, keyLow) : Xmm::Aes<false, true>(x, keyLow);
                high = r < kRounds ? Xmm::Aes<false, false>(y, keyHigh)
                                   : Xmm::Aes<false, true>(y, keyHigh);
            }
        } else {
            const TripleRound<Xmm, false> round;
            Vec s0[1] = {low}, s1[1] = {high}, s2[1] = {Xmm::Alignr8(low, high)};
            for (int r = 1; r < kRounds; ++r) round.template Run<false>(s0, s1, s2, rk[r]);
            round.template Run<true>(s0, s1, s2, rk[kRounds]);
            low = s0[0], high = s1[0];
        }
        if (kMode == kCfb) low = Xmm::Xor(low, textLow), high = Xmm::Xor(high, textHigh);
        // A 24-byte block's two stores overlap on columns 2 and 3, equal in both.
        Xmm::Store(out + at, kMode == kOfb ? Xmm::Xor(low, textLow) : low);
        Xmm::Store(out + at + kHigh, kMode == kOfb ? Xmm::Xor(high, textHigh) : high);
    }
    BYTE last[32];
    Xmm::Store(last, low);
    Xmm::Store(last + kHigh, high);
    std::memcpy(reg, last, kBytes);
}

template <template <class, int, bool> class Gather, int BC, int kRounds>
void SerialShape(const RoundKeyRow* rk, Feedback mode, BYTE* reg, const BYTE* in, BYTE* out,
                 std::size_t blocks) {
    if (mode == kCbc) return SerialBlocks<Gather, BC, kRounds, kCbc>(rk, reg, in, out, blocks);
    if (mode == kCfb) return SerialBlocks<Gather, BC, kRounds, kCfb>(rk, reg, in, out, blocks);
    SerialBlocks<Gather, BC, kRounds, kOfb>(rk, reg, in, out, blocks);
}

template <template <class, int, bool> class Gather>
void Serial(const RoundKeyRow* rk, int rounds, int blockBytes, Feedback mode, BYTE* reg,
            const BYTE* in, BYTE* out, std::size_t blocks) {
    if (blockBytes == 32) {
        SerialShape<Gather, 8, 14>(rk, mode, reg, in, out, blocks);
    } else if (rounds == 12) {
        SerialShape<Gather, 6, 12>(rk, mode, reg, in, out, blocks);
    } else {
        SerialShape<Gather, 6, 14>(rk, mode, reg, in, out, blocks);
    }
}

}  // namespace wide_rounds
}  // namespace

}  // namespace sealwrit::detail

#endif
