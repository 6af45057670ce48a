// AES on 128-bit registers with the AES-NI instructions in SSE encodings: 16-byte
// blocks and the chaining modes (AesNiBlocks.h), the multi-key walk and the key-schedule
// steps. Compiled with -maes -mssse3 (a byte shuffle turns the counter mode's counters
// round).
#include "AesNiBlocks.h"
#include "CpuFeatures.h"

namespace sealwrit::detail {

namespace {

// The multi-key walk when the objects come round too seldom to keep their keys in
// registers: eight blocks in flight, each loading its own object's row every round.
// The objects of a group follow one another, wrapping at keys.count.
template <bool kDecrypt>
void RunMultiKeyBlocks(const RoundKeyArray& keys, std::size_t firstObject, int rounds,
                       const BYTE* in, BYTE* out, std::size_t blocks) {
    constexpr std::size_t kInFlight = Xmm::kRegistersInFlight;
    std::size_t object = firstObject;
    auto nextRows = [&]() {
        const BYTE* rows = keys.first + object * keys.stride;
        if (++object == keys.count) object = 0;
        return rows;
    };
    auto row = [](const BYTE* rows, int r) { return Xmm::Load(rows + kRoundKeyRowBytes * r); };
    std::size_t b = 0;
    for (; b + kInFlight <= blocks; b += kInFlight) {
        const BYTE* rows[kInFlight];
        Xmm::Vec s[kInFlight];
        for (std::size_t i = 0; i < kInFlight; ++i) {
            rows[i] = nextRows();
            s[i] = Xmm::Xor(Xmm::Load(in + 16 * (b + i)), row(rows[i], 0));
        }
        for (int r = 1; r < rounds; ++r) {
            for (std::size_t i = 0; i < kInFlight; ++i) {
                s[i] = Xmm::Round(kDecrypt, s[i], row(rows[i], r));
            }
        }
        for (std::size_t i = 0; i < kInFlight; ++i) {
            Xmm::Store(out + 16 * (b + i), Xmm::LastRound(kDecrypt, s[i], row(rows[i], rounds)));
        }
    }
    for (; b < blocks; ++b) {
        const BYTE* rows = nextRows();
        Xmm::Vec s = Xmm::Xor(Xmm::Load(in + 16 * b), row(rows, 0));
        for (int r = 1; r < rounds; ++r) s = Xmm::Round(kDecrypt, s, row(rows, r));
        Xmm::Store(out + 16 * b, Xmm::LastRound(kDecrypt, s, row(rows, rounds)));
    }
}

}  // namespace

void AesniEncryptBlocks(const RoundKeyRow* rk, int rounds, const BYTE* in, BYTE* out,
                        std::size_t blocks) {
    aesni_blocks::EncryptBlocks(rk, rounds, in, out, blocks);
}

void AesniDecryptBlocks(const RoundKeyRow* rk, int rounds, const BYTE* in, BYTE* out,
                        std::size_t blocks) {
    aesni_blocks::DecryptBlocks(rk, rounds, in, out, blocks);
}

void AesniEncryptFeedback(const RoundKeyRow* rk, int rounds, Feedback mode, BYTE* reg,
                          const BYTE* in, BYTE* out, std::size_t blocks) {
    aesni_blocks::EncryptFeedback(rk, rounds, mode, reg, in, out, blocks);
}

void AesniDecryptFeedback(const RoundKeyRow* rk, int rounds, Feedback mode, BYTE* reg,
                          const BYTE* in, BYTE* out, std::size_t blocks) {
    aesni_blocks::DecryptFeedback(rk, rounds, mode, reg, in, out, blocks);
}

void AesniCounter(const RoundKeyRow* rk, int rounds, BYTE* counter, const BYTE* in, BYTE* out,
                  std::size_t blocks) {
    aesni_blocks::Counter(rk, rounds, counter, in, out, blocks);
}

void AesniEncryptBlocksMultiKeyFrom(const RoundKeyArray& keys, std::size_t firstObject, int rounds,
                                    const BYTE* in, BYTE* out, std::size_t blocks) {
    RunMultiKeyBlocks<false>(keys, firstObject, rounds, in, out, blocks);
}

void AesniDecryptBlocksMultiKeyFrom(const RoundKeyArray& keys, std::size_t firstObject, int rounds,
                                    const BYTE* in, BYTE* out, std::size_t blocks) {
    RunMultiKeyBlocks<true>(keys, firstObject, rounds, in, out, blocks);
}

// With the word in all four columns, ShiftRows moves nothing, so AESENCLAST with a
// zero round key is SubBytes alone.
DWORD AesniSubWord(DWORD w) {
    const __m128i v = _mm_set1_epi32(static_cast<int>(w));
    return static_cast<DWORD>(_mm_cvtsi128_si32(_mm_aesenclast_si128(v, _mm_setzero_si128())));
}

// The column's first byte is the word's top byte, and the first byte in memory of a
// register lane is its low byte: hence the byte swaps around AESIMC.
DWORD AesniInvMixColumn(DWORD w) {
    const __m128i column = _mm_cvtsi32_si128(static_cast<int>(__builtin_bswap32(w)));
    return __builtin_bswap32(static_cast<DWORD>(_mm_cvtsi128_si32(_mm_aesimc_si128(column))));
}

void AesniEncryptMultiKey(const RoundKeyArray& keys, int rounds, const BYTE* in, BYTE* out,
                          std::size_t blocks) {
    RunMultiKeyRegisters<Xmm, false>(keys, rounds, in, out, blocks);
}

void AesniDecryptMultiKey(const RoundKeyArray& keys, int rounds, const BYTE* in, BYTE* out,
                          std::size_t blocks) {
    RunMultiKeyRegisters<Xmm, true>(keys, rounds, in, out, blocks);
}

const unsigned kAesNiFeatures = kCompiledCpuFeatures;

}  // namespace sealwrit::detail
