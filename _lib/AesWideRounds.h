// One 24- or 32-byte Rijndael block on the AES instructions' 128-bit forms, shared
// by the back ends that run it; each includes this in its own source file, compiled
// with its own instruction flags, and supplies the byte moves its instructions allow.
//
// The block's columns sit in two registers: the low one holds columns 0-3; the high
// one holds the last four columns, 4-7 of a 32-byte block, 2-5 of a 24-byte one, so
// that a 24-byte block fills both registers (columns 2 and 3 are computed twice, at
// no cost, since AESENC works on the whole register anyway) and nothing is read or
// written outside the block.
//
// AESENC and AESDEC (and their LAST forms) do SubBytes, MixColumns and AddRoundKey
// column by column, and a row shift that only moves bytes within the register. The
// wide row shift is done before each instruction: for each output register, a byte
// blend of the two registers picks, position by position, the one that holds a byte
// this output needs, and a byte shuffle moves those bytes to where the instruction's
// own row shift takes them from. SubBytes works byte by byte, so doing the moves
// before it rather than after changes nothing. With the equivalent inverse cipher's
// round keys (the middle ones already InvMixColumns'ed), AESDEC's order of steps is
// the decryption round's.
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

#include "AesBackend.h"
#include "RijndaelTables.h"

namespace {
namespace wide_rounds {

// The column held in one slot (four bytes, one column) of the low or the high register.
constexpr int SlotColumn(int bc, bool high, int slot) { return high ? bc - 4 + slot : slot; }

// The instructions' own row shift: output slot c takes row j from input slot c + j
// (encryption) or c - j (decryption), within the register.
constexpr int InstructionSource(bool decrypt, int slot, int row) {
    return decrypt ? (slot - row + 4) % 4 : (slot + row) % 4;
}

// Rijndael's: column i takes row j from column i + offset(j), modulo the block's columns.
constexpr int RijndaelSource(int bc, bool decrypt, int column, int row) {
    return (column + rijndael_tables::kShifts[bc == 6 ? 1 : 2][row][decrypt ? 1 : 0]) % bc;
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

static_assert(MovesShiftRows(6, false) && MovesShiftRows(6, true), "24-byte row shifts");
static_assert(MovesShiftRows(8, false) && MovesShiftRows(8, true), "32-byte row shifts");

// The same moves in the other forms the instructions take: one register's bytes
// alone through PSHUFB (zero where the byte comes from the other register), and one
// two-register byte permutation (index 16 and up: the high register).
constexpr BYTE FromOneRegister(const Moves& m, int half, bool high, int b) {
    const BYTE from = m.shuffle[half][b];
    return ((m.blend[half][from] & 0x80) != 0) == high ? from : BYTE(0x80);
}
constexpr BYTE FromTwoRegisters(const Moves& m, int half, int b) {
    const BYTE from = m.shuffle[half][b];
    return BYTE(from + ((m.blend[half][from] & 0x80) ? 16 : 0));
}

constexpr bool ShuffleIsIdentity(const Moves& m, int half) {
    for (int b = 0; b < 16; ++b) {
        if (m.shuffle[half][b] != b) return false;
    }
    return true;
}

// True where the high output's blend takes from the high register exactly the bytes
// the low output's takes from the low one, so that one mask serves both.
constexpr bool MasksComplement(const Moves& m) {
    for (int b = 0; b < 16; ++b) {
        if ((m.blend[0][b] ^ m.blend[1][b]) != 0x80) return false;
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
    // For a 24-byte block the two stores overlap on columns 2 and 3, equal in both.
    Store(out, low);
    Store(out + kHigh, high);
}

// The back end's entry point: 12 or 14 rounds for a 24-byte block, 14 for a 32-byte one.
template <template <int, bool> class Gather, bool kDecrypt>
void Block(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in, BYTE* out) {
    if (blockBytes == 32) {
        Rounds<Gather, 8, kDecrypt, 14>(rk, in, out);
    } else if (rounds == 12) {
        Rounds<Gather, 6, kDecrypt, 12>(rk, in, out);
    } else {
        Rounds<Gather, 6, kDecrypt, 14>(rk, in, out);
    }
}

}  // namespace wide_rounds
}  // namespace

#endif
