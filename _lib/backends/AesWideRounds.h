// One 24- or 32-byte Rijndael block on the AES instructions' 128-bit forms, shared
// by the back ends that run it; each includes this in its own source file, compiled
// with its own instruction flags, and supplies the byte moves its instructions allow.
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
// byte this output needs, and a byte shuffle moves those bytes into place. A 24-byte
// block sits in three registers, each column twice, arranged so that blends alone
// do the moves (TripleRounds below).
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

inline __m128i Load(const BYTE* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store(BYTE* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// The moves with SSE4.1's PBLENDVB and SSSE3's PSHUFB, one mask and one shuffle
// for both outputs (the mask can then stay in XMM0, PBLENDVB's implicit operand).
template <int BC, bool kDecrypt>
class BlendShuffle {
public:
    BlendShuffle() : m_blend(Load(kMoves.blend[0])), m_shuffle(Load(kMoves.shuffle[0])) {}

    __m128i Low(__m128i low, __m128i high) const {
        return _mm_shuffle_epi8(_mm_blendv_epi8(low, high, m_blend), m_shuffle);
    }
    __m128i High(__m128i low, __m128i high) const {
        return _mm_shuffle_epi8(_mm_blendv_epi8(high, low, m_blend), m_shuffle);
    }

private:
    static constexpr const Moves& kMoves = MovesFor<BC, kDecrypt>::kMoves;
    static_assert(HalvesMirror(kMoves), "one blend mask and one shuffle for both outputs");

    __m128i m_blend, m_shuffle;
};

// Gather<BC, kDecrypt> is the back end's byte moves: constructed once per block, it
// gives each output register's bytes, ready for the instruction, through Low(low,
// high) and High(low, high).
template <template <int, bool> class Gather, int BC, bool kDecrypt, int kRounds>
__attribute__((always_inline)) inline void Rounds(const RoundKeyRow* rk, const BYTE* in,
                                                  BYTE* out) {
    constexpr int kHigh = 4 * (BC - 4);  // the high register's first byte in the block
    const Gather<BC, kDecrypt> gather;
    __m128i low = _mm_xor_si128(Load(in), Load(rk[0]));
    __m128i high = _mm_xor_si128(Load(in + kHigh), Load(rk[0] + kHigh));
    for (int r = 1; r < kRounds; ++r) {
        const __m128i x = gather.Low(low, high), y = gather.High(low, high);
        low = kDecrypt ? _mm_aesdec_si128(x, Load(rk[r])) : _mm_aesenc_si128(x, Load(rk[r]));
        high = kDecrypt ? _mm_aesdec_si128(y, Load(rk[r] + kHigh))
                        : _mm_aesenc_si128(y, Load(rk[r] + kHigh));
    }
    const __m128i x = gather.Low(low, high), y = gather.High(low, high);
    const BYTE* last = rk[kRounds];
    low = kDecrypt ? _mm_aesdeclast_si128(x, Load(last)) : _mm_aesenclast_si128(x, Load(last));
    high = kDecrypt ? _mm_aesdeclast_si128(y, Load(last + kHigh))
                    : _mm_aesenclast_si128(y, Load(last + kHigh));
    Store(out, low);
    Store(out + kHigh, high);
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
// 5, 0, 1) is the last half of the second followed by the first half of the first.
inline __m128i ThirdRegister(__m128i first, __m128i last) {
    return _mm_alignr_epi8(first, last, 8);
}

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

template <bool kDecrypt>
class TripleRound {
public:
    TripleRound() : m_mask(Load(kMoves.blend)) {}

    // One round on the three registers with the round key row rk; kLast: the final
    // round's instructions.
    template <bool kLast>
    void Run(__m128i& s0, __m128i& s1, __m128i& s2, const BYTE* rk) const {
        const __m128i k0 = Load(rk), k1 = Load(rk + 8);
        const __m128i x0 = _mm_blendv_epi8(s0, Pick(kMoves.other[0], s0, s1, s2), m_mask);
        const __m128i x1 = _mm_blendv_epi8(s1, Pick(kMoves.other[1], s0, s1, s2), m_mask);
        const __m128i x2 = _mm_blendv_epi8(s2, Pick(kMoves.other[2], s0, s1, s2), m_mask);
        s0 = Instruction<kLast>(x0, k0);
        s1 = Instruction<kLast>(x1, k1);
        s2 = Instruction<kLast>(x2, ThirdRegister(k0, k1));
    }

private:
    static constexpr const TripleMoves& kMoves = TripleMovesFor<kDecrypt>::kMoves;

    static __m128i Pick(int reg, __m128i s0, __m128i s1, __m128i s2) {
        return reg == 0 ? s0 : reg == 1 ? s1 : s2;
    }
    template <bool kLast>
    static __m128i Instruction(__m128i s, __m128i k) {
        if (kLast) return kDecrypt ? _mm_aesdeclast_si128(s, k) : _mm_aesenclast_si128(s, k);
        return kDecrypt ? _mm_aesdec_si128(s, k) : _mm_aesenc_si128(s, k);
    }

    __m128i m_mask;
};

template <bool kDecrypt, int kRounds>
__attribute__((always_inline)) inline void TripleRounds(const RoundKeyRow* rk, const BYTE* in,
                                                        BYTE* out) {
    const TripleRound<kDecrypt> round;
    __m128i s0 = _mm_xor_si128(Load(in), Load(rk[0]));
    __m128i s1 = _mm_xor_si128(Load(in + 8), Load(rk[0] + 8));
    __m128i s2 = ThirdRegister(s0, s1);
    for (int r = 1; r < kRounds; ++r) round.template Run<false>(s0, s1, s2, rk[r]);
    round.template Run<true>(s0, s1, s2, rk[kRounds]);
    // The two stores overlap on columns 2 and 3, equal in both.
    Store(out, s0);
    Store(out + 8, s1);
}

// The back end's entry point: 12 or 14 rounds for a 24-byte block, 14 for a 32-byte one.
template <template <int, bool> class Gather, bool kDecrypt>
void Block(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in, BYTE* out) {
    if (blockBytes == 32) {
        Rounds<Gather, 8, kDecrypt, 14>(rk, in, out);
    } else if (rounds == 12) {
        TripleRounds<kDecrypt, 12>(rk, in, out);
    } else {
        TripleRounds<kDecrypt, 14>(rk, in, out);
    }
}

}  // namespace wide_rounds
}  // namespace

}  // namespace sealwrit::detail

#endif
