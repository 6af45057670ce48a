// AES on 64-bit ARM with the Cryptography Extension: AESE and AESMC encrypt, AESD
// and AESIMC decrypt. Compiled with the extension enabled for this file alone;
// AesDispatch.cpp lets it run only where the kernel reports the instructions. The
// extension adds nothing the compiler would pick for ordinary code, so inline
// functions from headers that this file happens to emit are safe on any ARM64 CPU.
//
// AESE and AESD add the round key before SubBytes and ShiftRows; the round-key rows
// are those the x86 instructions add after MixColumns, taken one step earlier: row r
// goes into the instruction of round r + 1, and the last row is added on its own
// after the final AESE or AESD. Decryption runs the equivalent inverse cipher with
// the rows of m_Kd, whose middle rows are already InvMixColumns'ed, exactly as on
// x86, so every implementation gives the same bytes from the same schedule.
#include <arm_neon.h>

#include "../RijndaelTables.h"
#include "AesImplementations.h"
#include "CpuFeatures.h"

namespace sealwrit::detail {

namespace {

namespace rt = rijndael_tables;

typedef uint8x16_t Vec;

// Eight blocks in flight. A block's next round waits for its last: an AESE+AESMC
// pair (fused on most cores) takes two to four cycles, and cores issue one or two
// pairs a cycle, so four to eight independent blocks keep the AES units busy. Eight
// states and the fifteen round keys fit in the 32 vector registers, so the round
// keys stay in registers through the rounds. (Reasoned from published latencies, not
// measured: the emulator the tests run under says nothing about speed.)
constexpr std::size_t kBlocksInFlight = 8;

inline Vec Load(const BYTE* p) { return vld1q_u8(p); }
inline void Store(BYTE* p, Vec v) { vst1q_u8(p, v); }
inline const BYTE* Row(const BYTE* rows, int r) { return rows + kRoundKeyRowBytes * unsigned(r); }

// Round key, SubBytes, ShiftRows and MixColumns, or their inverses.
template <bool kDecrypt>
inline Vec Round(Vec s, Vec k) {
    return kDecrypt ? vaesimcq_u8(vaesdq_u8(s, k)) : vaesmcq_u8(vaeseq_u8(s, k));
}

// The last round has no column mixing; its key, the last row, follows it.
template <bool kDecrypt>
inline Vec LastRound(Vec s, Vec k, Vec kLast) {
    return veorq_u8(kDecrypt ? vaesdq_u8(s, k) : vaeseq_u8(s, k), kLast);
}

template <bool kDecrypt>
inline Vec OneBlock(const BYTE* rows, int rounds, Vec s) {
    for (int r = 0; r < rounds - 1; ++r) s = Round<kDecrypt>(s, Load(Row(rows, r)));
    return LastRound<kDecrypt>(s, Load(Row(rows, rounds - 1)), Load(Row(rows, rounds)));
}

// Every block of a group is loaded before any is stored, so in may equal out.
template <bool kDecrypt>
void Blocks(const RoundKeyRow* rk, int rounds, const BYTE* in, BYTE* out, std::size_t blocks) {
    Vec k[15];
    for (int r = 0; r <= rounds; ++r) k[r] = Load(rk[r]);
    std::size_t b = 0;
    for (; b + kBlocksInFlight <= blocks; b += kBlocksInFlight) {
        Vec s[kBlocksInFlight];
        for (std::size_t i = 0; i < kBlocksInFlight; ++i) s[i] = Load(in + 16 * (b + i));
        for (int r = 0; r < rounds - 1; ++r) {
            for (std::size_t i = 0; i < kBlocksInFlight; ++i) s[i] = Round<kDecrypt>(s[i], k[r]);
        }
        for (std::size_t i = 0; i < kBlocksInFlight; ++i) {
            Store(out + 16 * (b + i), LastRound<kDecrypt>(s[i], k[rounds - 1], k[rounds]));
        }
    }
    for (; b < blocks; ++b)
        Store(out + 16 * b, OneBlock<kDecrypt>(rk[0], rounds, Load(in + 16 * b)));
}

// Block b under the rows of object b % count. The objects' rows lie apart in memory,
// so each block of a group loads its own key every round; the loads are cheap beside
// the AES instructions, and the blocks stay in flight together.
template <bool kDecrypt>
void MultiKey(const RoundKeyArray& keys, int rounds, const BYTE* in, BYTE* out,
              std::size_t blocks) {
    std::size_t object = 0;
    auto nextRows = [&]() {
        const BYTE* rows = keys.first + object * keys.stride;
        object = object + 1 == keys.count ? 0 : object + 1;
        return rows;
    };
    std::size_t b = 0;
    for (; b + kBlocksInFlight <= blocks; b += kBlocksInFlight) {
        const BYTE* rows[kBlocksInFlight];
        Vec s[kBlocksInFlight];
        for (std::size_t i = 0; i < kBlocksInFlight; ++i) {
            rows[i] = nextRows();
            s[i] = Load(in + 16 * (b + i));
        }
        for (int r = 0; r < rounds - 1; ++r) {
            for (std::size_t i = 0; i < kBlocksInFlight; ++i) {
                s[i] = Round<kDecrypt>(s[i], Load(Row(rows[i], r)));
            }
        }
        for (std::size_t i = 0; i < kBlocksInFlight; ++i) {
            Store(out + 16 * (b + i), LastRound<kDecrypt>(s[i], Load(Row(rows[i], rounds - 1)),
                                                          Load(Row(rows[i], rounds))));
        }
    }
    for (; b < blocks; ++b) {
        Store(out + 16 * b, OneBlock<kDecrypt>(nextRows(), rounds, Load(in + 16 * b)));
    }
}

// Wide blocks: a state of BC columns (6 or 8) in two registers, columns 0-3 and
// 4-7. SubBytes works on each byte alone, and ShiftRows only moves bytes, so one
// TBL can do Rijndael's shift for BC columns and, in the same move, undo the
// four-column shift that AESE (AESD) does after it. The mixing instructions then act
// on each column alone, as they should. AESE adds its key before it substitutes, and
// the TBL moves key bytes as it moves state bytes, so each round's key goes, moved by
// the same TBL, into AESE itself: the state is carried without the last key added,
// and the chain of a round is TBL, AESE, AESMC, with no EOR.
struct WideShuffle {
    BYTE index[2][16];
};

// Byte 4i + row of register h takes the byte that ends, after the instruction's own
// shift, in state column 4h + i'; that byte comes from column i' + the row's offset
// (modulo BC). Columns past BC are padding and take index 0xFF, which TBL turns
// into zero.
constexpr WideShuffle MakeWideShuffle(int BC, bool decrypt) {
    WideShuffle w{};
    for (int h = 0; h < 2; ++h) {
        for (int i = 0; i < 4; ++i) {
            for (int row = 0; row < 4; ++row) {
                // The instruction shifts the other way, by the offsets of a
                // four-column block; undoing it means shifting by the opposite ones.
                const int column = 4 * h + rt::ShiftSource(4, i, row, !decrypt);
                const int from = rt::ShiftSource(BC, column, row, decrypt);
                w.index[h][4 * i + row] = column < BC ? BYTE(4 * from + row) : BYTE(0xFF);
            }
        }
    }
    return w;
}

// Each state byte is taken exactly once, and padding only where there is no column.
constexpr bool IsPermutation(const WideShuffle& w, int BC) {
    int taken[32] = {};
    int padding = 0;
    for (const auto& reg : w.index) {
        for (BYTE x : reg) {
            if (x == 0xFF) {
                ++padding;
            } else if (x < 4 * BC) {
                ++taken[x];
            }
        }
    }
    for (int x = 0; x < 4 * BC; ++x) {
        if (taken[x] != 1) return false;
    }
    return padding == 32 - 4 * BC;
}

// With four columns the two shifts cancel: the rule must give the identity there.
constexpr bool IsIdentityOnFourColumns(const WideShuffle& w) {
    for (int x = 0; x < 16; ++x) {
        if (w.index[0][x] != x) return false;
    }
    return true;
}

static_assert(IsIdentityOnFourColumns(MakeWideShuffle(4, false)) &&
                  IsIdentityOnFourColumns(MakeWideShuffle(4, true)),
              "shuffle rule");
static_assert(IsPermutation(MakeWideShuffle(6, false), 6) &&
                  IsPermutation(MakeWideShuffle(6, true), 6) &&
                  IsPermutation(MakeWideShuffle(8, false), 8) &&
                  IsPermutation(MakeWideShuffle(8, true), 8),
              "wide shuffles");

template <int BC>
inline Vec LoadUpper(const BYTE* p) {
    return BC == 8 ? vld1q_u8(p) : vcombine_u8(vld1_u8(p), vdup_n_u8(0));
}

template <int BC>
inline void StoreUpper(BYTE* p, Vec v) {
    if (BC == 8) {
        vst1q_u8(p, v);
    } else {
        vst1_u8(p, vget_low_u8(v));
    }
}

// kBlocks blocks side by side, block i at 4 BC i bytes: each block's rounds are one
// chain, and the others' fill its gaps. Four in flight: a round's chain is a TBL of
// two registers (four to six cycles on common cores), AESE and AESMC (fused, two or
// three), and a block's round is six instructions for two or three vector pipes, so
// two to three blocks cover the chain, four with some to spare; their eight states,
// temporaries, tables and keys fit the 32 vector registers. (Reasoned from published
// figures, not measured: the emulator the tests run under says nothing about speed.)
// Every block is loaded before any is stored, so in may equal out.
constexpr int kWideInFlight = 4;

template <int BC, bool kDecrypt, int kBlocks>
inline void WideBlocks(const RoundKeyRow* rk, int rounds, const BYTE* in, BYTE* out) {
    static constexpr WideShuffle kShuffle = MakeWideShuffle(BC, kDecrypt);
    constexpr std::size_t kStride = 4 * BC;
    const Vec lower = vld1q_u8(kShuffle.index[0]), upper = vld1q_u8(kShuffle.index[1]);
    uint8x16x2_t s[kBlocks];
    for (int i = 0; i < kBlocks; ++i) {
        s[i].val[0] = Load(in + kStride * i);
        s[i].val[1] = LoadUpper<BC>(in + kStride * i + 16);
    }
    auto movedKey = [&](int r) {
        const uint8x16x2_t key = {{Load(rk[r]), Load(rk[r] + 16)}};
        return uint8x16x2_t{{vqtbl2q_u8(key, lower), vqtbl2q_u8(key, upper)}};
    };
    for (int r = 0; r < rounds - 1; ++r) {
        const uint8x16x2_t key = movedKey(r);
        for (int i = 0; i < kBlocks; ++i) {
            const Vec a = vqtbl2q_u8(s[i], lower), b = vqtbl2q_u8(s[i], upper);
            s[i].val[0] = Round<kDecrypt>(a, key.val[0]);
            s[i].val[1] = Round<kDecrypt>(b, key.val[1]);
        }
    }
    const uint8x16x2_t key = movedKey(rounds - 1);
    const Vec lastLow = Load(rk[rounds]), lastHigh = Load(rk[rounds] + 16);
    for (int i = 0; i < kBlocks; ++i) {
        const Vec a = vqtbl2q_u8(s[i], lower), b = vqtbl2q_u8(s[i], upper);
        s[i].val[0] = LastRound<kDecrypt>(a, key.val[0], lastLow);
        s[i].val[1] = LastRound<kDecrypt>(b, key.val[1], lastHigh);
    }
    for (int i = 0; i < kBlocks; ++i) {
        Store(out + kStride * i, s[i].val[0]);
        StoreUpper<BC>(out + kStride * i + 16, s[i].val[1]);
    }
}

// Whole runs of kInFlight blocks, then what is left in runs of half as many.
template <int BC, bool kDecrypt, int kInFlight>
inline void WideRuns(const RoundKeyRow* rk, int rounds, const BYTE* in, BYTE* out,
                     std::size_t blocks) {
    constexpr std::size_t kBytes = 4 * BC * kInFlight;
    for (; blocks >= kInFlight; blocks -= kInFlight, in += kBytes, out += kBytes) {
        WideBlocks<BC, kDecrypt, kInFlight>(rk, rounds, in, out);
    }
    if constexpr (kInFlight > 1) WideRuns<BC, kDecrypt, kInFlight / 2>(rk, rounds, in, out, blocks);
}

template <bool kDecrypt, int kInFlight>
void Wide(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in, BYTE* out,
          std::size_t blocks) {
    if (blockBytes == 24) {
        WideRuns<6, kDecrypt, kInFlight>(rk, rounds, in, out, blocks);
    } else {
        WideRuns<8, kDecrypt, kInFlight>(rk, rounds, in, out, blocks);
    }
}

}  // namespace

void Armv8EncryptBlocks(const RoundKeyRow* rk, int rounds, const BYTE* in, BYTE* out,
                        std::size_t blocks) {
    Blocks<false>(rk, rounds, in, out, blocks);
}

void Armv8DecryptBlocks(const RoundKeyRow* rk, int rounds, const BYTE* in, BYTE* out,
                        std::size_t blocks) {
    Blocks<true>(rk, rounds, in, out, blocks);
}

void Armv8EncryptWideBlocks(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                            BYTE* out, std::size_t blocks) {
    Wide<false, kWideInFlight>(rk, rounds, blockBytes, in, out, blocks);
}

void Armv8DecryptWideBlocks(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                            BYTE* out, std::size_t blocks) {
    Wide<true, kWideInFlight>(rk, rounds, blockBytes, in, out, blocks);
}

void Armv8EncryptWideBlock(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                           BYTE* out) {
    Wide<false, 1>(rk, rounds, blockBytes, in, out, 1);
}

void Armv8DecryptWideBlock(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                           BYTE* out) {
    Wide<true, 1>(rk, rounds, blockBytes, in, out, 1);
}

void Armv8EncryptMultiKey(const RoundKeyArray& keys, int rounds, const BYTE* in, BYTE* out,
                          std::size_t blocks) {
    MultiKey<false>(keys, rounds, in, out, blocks);
}

void Armv8DecryptMultiKey(const RoundKeyArray& keys, int rounds, const BYTE* in, BYTE* out,
                          std::size_t blocks) {
    MultiKey<true>(keys, rounds, in, out, blocks);
}

// With the word in all four columns, ShiftRows moves nothing, so AESE with a zero
// key is SubBytes alone; every byte stays where it was, whatever the lane order.
DWORD Armv8SubWord(DWORD w) {
    const Vec column = vreinterpretq_u8_u32(vdupq_n_u32(w));
    return vgetq_lane_u32(vreinterpretq_u32_u8(vaeseq_u8(column, vdupq_n_u8(0))), 0);
}

// The column's first byte, the word's top byte, is the state's first byte in memory.
DWORD Armv8InvMixColumn(DWORD w) {
    BYTE state[16] = {BYTE(w >> 24), BYTE(w >> 16), BYTE(w >> 8), BYTE(w)};
    vst1q_u8(state, vaesimcq_u8(vld1q_u8(state)));
    return (DWORD(state[0]) << 24) | (DWORD(state[1]) << 16) | (DWORD(state[2]) << 8) |
           DWORD(state[3]);
}

const unsigned kArmv8Features = kCompiledCpuFeatures;

}  // namespace sealwrit::detail
