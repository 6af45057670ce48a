// 24- and 32-byte blocks on the AES-NI instructions (AesWideRounds.h), a lone one or
// whole buffers. A 32-byte block's moves are AVX-512 VBMI's two-register byte
// permutation, which does each output register's blend and shuffle in one
// instruction; a lone 24-byte block's are blends, as on AES-NI, here in EVEX
// encodings. Compiled with -maes -mavx512vl -mavx512vbmi. Its lone block is the one
// the VAES paths take; whole buffers run here only on a CPU without VAES.
//
// Measured on a Zen 5 core (AMD EPYC under KVM), one block a call (wide_block_bench
// medians): 2.5 GiB/s on 32-byte blocks against 1.8 with PBLENDVB and PSHUFB. The
// rounds of a block run one after another, so the moves' latency decides: one
// permutation instead of two dependent instructions. The wide registers do not help
// here (a VPERMB across a 256-bit register and one VAESENC per round ran slower than
// this).
#include "AesImplementations.h"
#include "AesWideRounds.h"
#include "CpuFeatures.h"

namespace sealwrit::detail {

using namespace wide_rounds;

void VbmiEncryptWideBlock(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                          BYTE* out) {
    Block<TwoRegisterPermute, false>(rk, rounds, blockBytes, in, out);
}

void VbmiDecryptWideBlock(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                          BYTE* out) {
    Block<TwoRegisterPermute, true>(rk, rounds, blockBytes, in, out);
}

void VbmiEncryptWideFeedback(const RoundKeyRow* rk, int rounds, int blockBytes, Feedback mode,
                              BYTE* reg, const BYTE* in, BYTE* out, std::size_t blocks) {
    Serial<TwoRegisterPermute>(rk, rounds, blockBytes, mode, reg, in, out, blocks);
}

// Blocks in flight for whole buffers, in 16 of the 32 registers AVX-512 gives. 16 KiB
// on a Zen 4 core (MB/s, decryption with a 16-byte key; 1, 2, 4 and 8 in flight):
// 24-byte blocks 2 210, 2 760, 3 260 and 4 030, 32-byte 2 520, 2 910, 3 670 and 4 670.
constexpr int kInFlight24 = 8, kInFlight32 = 8;

void VbmiEncryptWideBlocks(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                           BYTE* out, std::size_t blocks) {
    Blocks<Xmm, TwoRegisterPermute, false, kInFlight24, kInFlight32>(rk, rounds, blockBytes, in,
                                                                     out, blocks);
}

void VbmiDecryptWideBlocks(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                           BYTE* out, std::size_t blocks) {
    Blocks<Xmm, TwoRegisterPermute, true, kInFlight24, kInFlight32>(rk, rounds, blockBytes, in, out,
                                                                    blocks);
}

const unsigned kVbmiWideFeatures = kCompiledCpuFeatures;

}  // namespace sealwrit::detail
