// AES on 128-bit registers with the AES-NI instructions in AVX encodings: 16-byte blocks
// and the chaining modes (AesNiBlocks.h), for CPUs with AVX. Compiled with -maes -mavx.
// On a Zen 4 core, 16 KiB ran CTR at 0.93 times OpenSSL's speed in the SSE build and
// 1.0 times in this one, ECB at 0.99 and 1.0.
#include "AesNiBlocks.h"
#include "CpuFeatures.h"

namespace sealwrit::detail {

void AesniAvxEncryptBlocks(const RoundKeyRow* rk, int rounds, const BYTE* in, BYTE* out,
                        std::size_t blocks) {
    aesni_blocks::EncryptBlocks(rk, rounds, in, out, blocks);
}

void AesniAvxDecryptBlocks(const RoundKeyRow* rk, int rounds, const BYTE* in, BYTE* out,
                        std::size_t blocks) {
    aesni_blocks::DecryptBlocks(rk, rounds, in, out, blocks);
}

void AesniAvxEncryptFeedback(const RoundKeyRow* rk, int rounds, Feedback mode, BYTE* reg,
                          const BYTE* in, BYTE* out, std::size_t blocks) {
    aesni_blocks::EncryptFeedback(rk, rounds, mode, reg, in, out, blocks);
}

void AesniAvxDecryptFeedback(const RoundKeyRow* rk, int rounds, Feedback mode, BYTE* reg,
                          const BYTE* in, BYTE* out, std::size_t blocks) {
    aesni_blocks::DecryptFeedback(rk, rounds, mode, reg, in, out, blocks);
}

void AesniAvxCounter(const RoundKeyRow* rk, int rounds, BYTE* counter, const BYTE* in, BYTE* out,
                  std::size_t blocks) {
    aesni_blocks::Counter(rk, rounds, counter, in, out, blocks);
}

const unsigned kAesNiAvxFeatures = kCompiledCpuFeatures;

}  // namespace sealwrit::detail
