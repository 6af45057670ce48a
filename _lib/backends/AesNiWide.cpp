// 24- and 32-byte blocks on AES-NI (AesWideRounds.h), a lone one or whole buffers,
// with the byte moves SSSE3 and SSE4.1 offer. Compiled with -maes -mssse3 -msse4.1; the dispatcher
// offers AES-NI only where the CPU has all three, as every CPU with AES-NI does.
#include "AesImplementations.h"
#include "AesWideRounds.h"
#include "CpuFeatures.h"

namespace sealwrit::detail {

using namespace wide_rounds;

void AesniEncryptWideBlock(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                           BYTE* out) {
    Block<BlendShuffle, false>(rk, rounds, blockBytes, in, out);
}

void AesniDecryptWideBlock(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                           BYTE* out) {
    Block<BlendShuffle, true>(rk, rounds, blockBytes, in, out);
}

void AesniEncryptWideFeedback(const RoundKeyRow* rk, int rounds, int blockBytes, Feedback mode,
                               BYTE* reg, const BYTE* in, BYTE* out, std::size_t blocks) {
    Serial<BlendShuffle>(rk, rounds, blockBytes, mode, reg, in, out, blocks);
}

// Blocks in flight for whole buffers. 16 KiB on a Zen 4 core (MB/s, decryption with
// a 16-byte key; 1, 2, 4 and 8 in flight): 24-byte blocks 1 670, 2 100, 2 590 and
// 2 260, 32-byte 1 820, 2 080, 2 690 and 2 940. Eight 24-byte blocks need 24
// registers of the 16 there are.
constexpr int kInFlight24 = 4, kInFlight32 = 8;

void AesniEncryptWideBlocks(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                            BYTE* out, std::size_t blocks) {
    Blocks<Xmm, BlendShuffle, false, kInFlight24, kInFlight32>(rk, rounds, blockBytes, in, out,
                                                               blocks);
}

void AesniDecryptWideBlocks(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                            BYTE* out, std::size_t blocks) {
    Blocks<Xmm, BlendShuffle, true, kInFlight24, kInFlight32>(rk, rounds, blockBytes, in, out,
                                                              blocks);
}

const unsigned kAesNiWideFeatures = kCompiledCpuFeatures;

}  // namespace sealwrit::detail
