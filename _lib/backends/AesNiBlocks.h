// 16-byte blocks on 128-bit registers with the AES-NI instructions: whole buffers and
// the chaining modes (AesOperations.h). AesNi.cpp builds them in SSE encodings for every
// CPU with AES-NI, AesNiAvx.cpp in AVX encodings, whose three-operand forms and
// unaligned memory operands spare a register copy or a load beside many instructions.
// Each file includes this with its own flags, and its functions call these templates,
// which live in that file's anonymous namespace: neither build stands in for the other.
#ifndef SEALWRIT_AES_NI_BLOCKS_H
#define SEALWRIT_AES_NI_BLOCKS_H

#include <immintrin.h>

#include "AesBlockLoop.h"

namespace sealwrit::detail {
namespace {

struct Xmm {
    using Vec = __m128i;
    // Eight blocks in flight cover the AESENC latency on both of a core's AES units;
    // on a Zen 5 core, 16 KiB buffers ran at 10.3, 10.7 and 9.5 GB/s with 4, 8 and 16.
    static constexpr std::size_t kBlocksPerRegister = 1;
    static constexpr std::size_t kRegistersInFlight = 8;

    static Vec Load(const BYTE* p) { return _mm_loadu_si128(reinterpret_cast<const Vec*>(p)); }
    static void Store(BYTE* p, Vec v) { _mm_storeu_si128(reinterpret_cast<Vec*>(p), v); }
    static Vec Broadcast(const BYTE* row) { return Load(row); }
    static Vec Gather(const BYTE* const* rows) { return Load(rows[0]); }
    static Vec Xor(Vec a, Vec b) { return _mm_xor_si128(a, b); }
    static Vec Round(bool decrypt, Vec s, Vec k) {
        return decrypt ? _mm_aesdec_si128(s, k) : _mm_aesenc_si128(s, k);
    }
    static Vec LastRound(bool decrypt, Vec s, Vec k) {
        return decrypt ? _mm_aesdeclast_si128(s, k) : _mm_aesenclast_si128(s, k);
    }
    static Vec Previous(Vec before, Vec) { return before; }
    static Vec ByteReverse(Vec v) {
        return _mm_shuffle_epi8(v, _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
    }
    static Vec Add64(Vec a, Vec b) { return _mm_add_epi64(a, b); }
    static Vec Add32(Vec a, Vec b) { return _mm_add_epi32(a, b); }
    static Vec AndNot(Vec a, Vec b) { return _mm_andnot_si128(a, b); }
    static Vec TopBit64(Vec v) { return _mm_srli_epi64(v, 63); }
    static Vec LowToHigh64(Vec v) { return _mm_unpacklo_epi64(_mm_setzero_si128(), v); }
    static Vec Low64(std::uint64_t first, std::uint64_t) {
        return _mm_set_epi64x(0, static_cast<long long>(first));
    }
};

// The encrypting directions of the chaining modes, where each block needs the one
// before it: a dependent chain of AESENC, with the chaining value and the round keys
// kept in registers from one block to the next and the text XORed in off the chain
// (into round key 0 for CBC, the last round key for CFB). The rounds are a constant,
// so that nothing but the chain is left in the loop.
template <Feedback kMode, int kRounds>
void RunSerial(const RoundKeyRow* rk, BYTE* reg, const BYTE* in, BYTE* out, std::size_t blocks) {
    Xmm::Vec k[kRounds + 1];
    for (int r = 0; r <= kRounds; ++r) k[r] = Xmm::Load(rk[r]);
    Xmm::Vec v = Xmm::Load(reg);
    for (std::size_t at = 0; at < 16 * blocks; at += 16) {
        const Xmm::Vec text = Xmm::Load(in + at);
        Xmm::Vec s = Xmm::Xor(v, kMode == kCbc ? Xmm::Xor(text, k[0]) : k[0]);
        for (int r = 1; r < kRounds; ++r) s = _mm_aesenc_si128(s, k[r]);
        if (kMode == kCfb) {
            v = _mm_aesenclast_si128(s, Xmm::Xor(k[kRounds], text));
            Xmm::Store(out + at, v);
        } else {
            v = _mm_aesenclast_si128(s, k[kRounds]);
            Xmm::Store(out + at, kMode == kCbc ? v : Xmm::Xor(v, text));
        }
    }
    Xmm::Store(reg, v);
}

template <Feedback kMode>
void RunSerialRounds(const RoundKeyRow* rk, int rounds, BYTE* reg, const BYTE* in, BYTE* out,
                     std::size_t blocks) {
    if (rounds == 10) return RunSerial<kMode, 10>(rk, reg, in, out, blocks);
    if (rounds == 12) return RunSerial<kMode, 12>(rk, reg, in, out, blocks);
    RunSerial<kMode, 14>(rk, reg, in, out, blocks);
}

namespace aesni_blocks {

inline void EncryptBlocks(const RoundKeyRow* rk, int rounds, const BYTE* in, BYTE* out,
                          std::size_t blocks) {
    RunWholeRegisters<Xmm>(false, rk, rounds, in, out, blocks);
}

inline void DecryptBlocks(const RoundKeyRow* rk, int rounds, const BYTE* in, BYTE* out,
                          std::size_t blocks) {
    RunWholeRegisters<Xmm>(true, rk, rounds, in, out, blocks);
}

inline void EncryptFeedback(const RoundKeyRow* rk, int rounds, Feedback mode, BYTE* reg,
                            const BYTE* in, BYTE* out, std::size_t blocks) {
    if (mode == kCbc) return RunSerialRounds<kCbc>(rk, rounds, reg, in, out, blocks);
    if (mode == kCfb) return RunSerialRounds<kCfb>(rk, rounds, reg, in, out, blocks);
    RunSerialRounds<kOfb>(rk, rounds, reg, in, out, blocks);
}

inline void DecryptFeedback(const RoundKeyRow* rk, int rounds, Feedback mode, BYTE* reg,
                            const BYTE* in, BYTE* out, std::size_t blocks) {
    if (mode == kCbc) {
        RunChainedRegisters<Xmm, true>(rk, rounds, reg, in, out, blocks);
    } else {
        RunChainedRegisters<Xmm, false>(rk, rounds, reg, in, out, blocks);
    }
}

inline void Counter(const RoundKeyRow* rk, int rounds, BYTE* counter, const BYTE* in, BYTE* out,
                    std::size_t blocks) {
    RunCounterRegisters<Xmm>(rk, rounds, counter, in, out, blocks);
}

}  // namespace aesni_blocks
}  // namespace
}  // namespace sealwrit::detail

#endif
