// Whole buffers of 24- and 32-byte blocks on VAES's 512-bit registers
// (AesWideRounds.h), four blocks to a group of registers. A 32-byte block's moves are
// AVX-512 VBMI's two-register byte permutation, a 24-byte block's byte blends under a
// mask register. Compiled with -mvaes -mavx512f -mavx512bw -mavx512vl -mavx512vbmi
// -maes; the blocks that fill no group run on 128-bit registers with the same
// permutation.
#include "AesImplementations.h"
#include "AesWideRounds.h"
#include "CpuFeatures.h"

namespace sealwrit::detail {

namespace {

using namespace wide_rounds;

struct Zmm {
    typedef __m512i Vec;
    typedef __mmask64 Mask;
    static constexpr int kLanes = 4;

    static Vec Load(const BYTE* p) { return _mm512_loadu_si512(p); }
    // Masked inserts, extracts and shuffles: GCC 12 warns, wrongly, that the
    // unmasked forms and _mm512_broadcast_i32x4 read undefined lanes.
    static Vec Lanes(const BYTE* p, std::size_t stride) {
        auto pair = [](const BYTE* lo, const BYTE* hi) {
            return _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(hi),
                                       reinterpret_cast<const __m128i*>(lo));
        };
        const Vec zero = _mm512_setzero_si512();
        const Vec low = _mm512_mask_inserti64x4(zero, 0xFF, zero, pair(p, p + stride), 0);
        return _mm512_mask_inserti64x4(low, 0xFF, low, pair(p + 2 * stride, p + 3 * stride), 1);
    }
    static void Unlanes(BYTE* p, std::size_t stride, Vec v) {
        auto store = [](BYTE* to, __m128i lane) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to), lane);
        };
        store(p, _mm512_maskz_extracti32x4_epi32(0xF, v, 0));
        store(p + stride, _mm512_maskz_extracti32x4_epi32(0xF, v, 1));
        store(p + 2 * stride, _mm512_maskz_extracti32x4_epi32(0xF, v, 2));
        store(p + 3 * stride, _mm512_maskz_extracti32x4_epi32(0xF, v, 3));
    }
    static Vec Broadcast(const BYTE* p) {
        const Vec wide =
            _mm512_zextsi128_si512(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
        return _mm512_maskz_shuffle_i32x4(0xFFFF, wide, wide, 0);
    }
    static Mask MaskOf(Vec v) { return _mm512_movepi8_mask(v); }
    static Vec Blend(Vec a, Vec b, Mask m) { return _mm512_mask_blend_epi8(m, a, b); }
    static Vec Xor(Vec a, Vec b) { return _mm512_xor_si512(a, b); }
    static Vec Shuffle(Vec a, Vec control) { return _mm512_shuffle_epi8(a, control); }
    static Vec Alignr8(Vec a, Vec b) { return _mm512_alignr_epi8(a, b, 8); }
    template <bool kDecrypt, bool kLast>
    static Vec Aes(Vec s, Vec k) {
        if (kLast)
            return kDecrypt ? _mm512_aesdeclast_epi128(s, k) : _mm512_aesenclast_epi128(s, k);
        return kDecrypt ? _mm512_aesdec_epi128(s, k) : _mm512_aesenc_epi128(s, k);
    }
    static Vec Permute2(Vec a, Vec index, Vec b) { return _mm512_permutex2var_epi8(a, index, b); }
};

}  // namespace

// Groups of four blocks in flight. 16 KiB on a Zen 4 core (MB/s, decryption with a
// 16-byte key; 1, 2, 4 and 8 groups): 24-byte blocks 3 750, 4 620, 5 700 and 6 270,
// 32-byte 4 420, 5 120, 6 450 and 7 600. Eight groups take 16 of the 32 registers.
constexpr int kInFlight24 = 8, kInFlight32 = 8;

void Vaes512EncryptWideBlocks(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                              BYTE* out, std::size_t blocks) {
    Blocks<Zmm, TwoRegisterPermute, false, kInFlight24, kInFlight32>(rk, rounds, blockBytes, in,
                                                                     out, blocks);
}

void Vaes512DecryptWideBlocks(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                              BYTE* out, std::size_t blocks) {
    Blocks<Zmm, TwoRegisterPermute, true, kInFlight24, kInFlight32>(rk, rounds, blockBytes, in, out,
                                                                    blocks);
}

const unsigned kVaes512WideFeatures = kCompiledCpuFeatures;

}  // namespace sealwrit::detail
