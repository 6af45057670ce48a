// Whole buffers of 24- and 32-byte blocks on VAES's 256-bit registers
// (AesWideRounds.h), two blocks to a group of registers: the same moves and
// instructions as on AES-NI, each doing two blocks at once. Compiled with -mvaes
// -mavx2 -maes.
#include "AesImplementations.h"
#include "AesWideRounds.h"
#include "CpuFeatures.h"

namespace sealwrit::detail {

namespace {

using namespace wide_rounds;

struct Ymm {
    typedef __m256i Vec;
    typedef __m256i Mask;
    static constexpr int kLanes = 2;

    static Vec Load(const BYTE* p) { return _mm256_loadu_si256(reinterpret_cast<const Vec*>(p)); }
    static Vec Lanes(const BYTE* p, std::size_t stride) {
        return _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(p + stride),
                                   reinterpret_cast<const __m128i*>(p));
    }
    static void Unlanes(BYTE* p, std::size_t stride, Vec v) {
        _mm256_storeu2_m128i(reinterpret_cast<__m128i*>(p + stride), reinterpret_cast<__m128i*>(p),
                             v);
    }
    static Vec Broadcast(const BYTE* p) {
        return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    }
    static Mask MaskOf(Vec v) { return v; }
    static Vec Blend(Vec a, Vec b, Mask m) { return _mm256_blendv_epi8(a, b, m); }
    static Vec Xor(Vec a, Vec b) { return _mm256_xor_si256(a, b); }
    static Vec Shuffle(Vec a, Vec control) { return _mm256_shuffle_epi8(a, control); }
    static Vec Alignr8(Vec a, Vec b) { return _mm256_alignr_epi8(a, b, 8); }
    template <bool kDecrypt, bool kLast>
    static Vec Aes(Vec s, Vec k) {
        if (kLast)
            return kDecrypt ? _mm256_aesdeclast_epi128(s, k) : _mm256_aesenclast_epi128(s, k);
        return kDecrypt ? _mm256_aesdec_epi128(s, k) : _mm256_aesenc_epi128(s, k);
    }
};

}  // namespace

// Groups of two blocks in flight. 16 KiB on a Zen 4 core (MB/s, decryption with a
// 16-byte key; 1, 2, 4 and 8 groups): 24-byte blocks 3 370, 3 990, 3 360 and 2 760
// (three registers a group: four groups and their keys fill the 16 there are),
// 32-byte 3 500, 3 920, 4 900 and 4 990.
constexpr int kInFlight24 = 2, kInFlight32 = 4;

void Vaes256EncryptWideBlocks(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                              BYTE* out, std::size_t blocks) {
    Blocks<Ymm, BlendShuffle, false, kInFlight24, kInFlight32>(rk, rounds, blockBytes, in, out,
                                                               blocks);
}

void Vaes256DecryptWideBlocks(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                              BYTE* out, std::size_t blocks) {
    Blocks<Ymm, BlendShuffle, true, kInFlight24, kInFlight32>(rk, rounds, blockBytes, in, out,
                                                              blocks);
}

const unsigned kVaes256WideFeatures = kCompiledCpuFeatures;

}  // namespace sealwrit::detail
