// One 24- or 32-byte block on AES-NI (AesWideRounds.h), with the byte moves SSSE3 and
// SSE4.1 offer. Compiled with -maes -mssse3 -msse4.1; the dispatcher offers AES-NI
// only where the CPU has all three, as every CPU with AES-NI does.
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

const unsigned kAesNiWideFeatures = kCompiledCpuFeatures;

}  // namespace sealwrit::detail
