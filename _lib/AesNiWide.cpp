// One 24- or 32-byte Rijndael block on the AES-NI instructions. Compiled with -maes
// -mssse3 -msse4.1: the dispatcher offers AES-NI only on CPUs that also have SSSE3
// and SSE4.1, as every CPU with AES-NI does.
//
// The block's columns sit in two registers: the low one holds columns 0-3; the high
// one holds the last four columns, 4-7 of a 32-byte block, 2-5 of a 24-byte one, so
// that a 24-byte block fills both registers (columns 2 and 3 are computed twice, at
// no cost, since AESENC works on the whole register anyway) and nothing is read or
// written outside the block.
//
// AESENC and AESDEC (and their LAST forms) do SubBytes, MixColumns and AddRoundKey
// column by column, and a row shift that only moves bytes within the register. The
// wide row shift is done before each instruction: a byte blend of the two registers
// picks, for every position, the one that holds a byte the output half needs, and a
// byte shuffle moves those bytes to where the instruction's own row shift takes them
// from. SubBytes works byte by byte, so doing the moves before it rather than after
// changes nothing. With the equivalent inverse cipher's round keys (the middle ones
// already InvMixColumns'ed), AESDEC's order of steps is the decryption round's.
#include <immintrin.h>

#include "AesX86Backends.h"
#include "RijndaelTables.h"

namespace {

// ----------------------------------------------------- deriving the moves ----

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

// For the low (0) and the high (1) output register: the PBLENDVB mask (top bit set
// where the byte comes from the high register) and the PSHUFB control that then
// puts each byte where the instruction's row shift expects it.
struct Moves {
    alignas(16) BYTE blend[2][16];
    alignas(16) BYTE shuffle[2][16];
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

// ------------------------------------------------------------------ rounds ----

template <int BC, bool kDecrypt>
struct WideMoves {
    static constexpr Moves kMoves = DeriveMoves(BC, kDecrypt);
};
template <int BC, bool kDecrypt>
constexpr Moves WideMoves<BC, kDecrypt>::kMoves;

inline __m128i Load(const BYTE* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store(BYTE* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

template <int BC, bool kDecrypt, int kRounds>
void WideRounds(const RoundKeyRow* rk, const BYTE* in, BYTE* out) {
    constexpr int kHigh = 4 * (BC - 4);  // the high register's first byte in the block
    const Moves& m = WideMoves<BC, kDecrypt>::kMoves;
    const __m128i blendLow = Load(m.blend[0]), blendHigh = Load(m.blend[1]);
    const __m128i shuffleLow = Load(m.shuffle[0]), shuffleHigh = Load(m.shuffle[1]);
    __m128i low = _mm_xor_si128(Load(in), Load(rk[0]));
    __m128i high = _mm_xor_si128(Load(in + kHigh), Load(rk[0] + kHigh));
    for (int r = 1; r <= kRounds; ++r) {
        const __m128i x = _mm_shuffle_epi8(_mm_blendv_epi8(low, high, blendLow), shuffleLow);
        const __m128i y = _mm_shuffle_epi8(_mm_blendv_epi8(low, high, blendHigh), shuffleHigh);
        const __m128i keyLow = Load(rk[r]), keyHigh = Load(rk[r] + kHigh);
        if (r < kRounds) {
            low = kDecrypt ? _mm_aesdec_si128(x, keyLow) : _mm_aesenc_si128(x, keyLow);
            high = kDecrypt ? _mm_aesdec_si128(y, keyHigh) : _mm_aesenc_si128(y, keyHigh);
        } else {
            low = kDecrypt ? _mm_aesdeclast_si128(x, keyLow) : _mm_aesenclast_si128(x, keyLow);
            high = kDecrypt ? _mm_aesdeclast_si128(y, keyHigh) : _mm_aesenclast_si128(y, keyHigh);
        }
    }
    // For a 24-byte block the two stores overlap on columns 2 and 3, equal in both.
    Store(out, low);
    Store(out + kHigh, high);
}

// Rounds: 12 or 14 for a 24-byte block, 14 for a 32-byte one.
template <bool kDecrypt>
void WideBlock(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in, BYTE* out) {
    if (blockBytes == 32) {
        WideRounds<8, kDecrypt, 14>(rk, in, out);
    } else if (rounds == 12) {
        WideRounds<6, kDecrypt, 12>(rk, in, out);
    } else {
        WideRounds<6, kDecrypt, 14>(rk, in, out);
    }
}

}  // namespace

void AesniEncryptWideBlock(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                           BYTE* out) {
    WideBlock<false>(rk, rounds, blockBytes, in, out);
}

void AesniDecryptWideBlock(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                           BYTE* out) {
    WideBlock<true>(rk, rounds, blockBytes, in, out);
}
