// The x86 AES back ends, each defined in its own source file compiled with the
// instruction-set flags it needs. Only AesDispatch.cpp, which is compiled for the
// baseline CPU, decides whether one may run; nothing here runs code on its own.
#ifndef SEALWRIT_AES_X86_BACKENDS_H
#define SEALWRIT_AES_X86_BACKENDS_H

#include "AesBackend.h"

namespace sealwrit::detail {

// The instruction sets each of the files below was compiled for (CpuFeatures.h): a
// back end runs only where the CPU offers those of every file it calls into.
extern const unsigned kAesNiFeatures;
extern const unsigned kAesNiWideFeatures;
extern const unsigned kAesNiAvxWideFeatures;
extern const unsigned kVaes256Features;
extern const unsigned kVaes512Features;
extern const unsigned kVbmiWideFeatures;

// AES-NI on 128-bit registers (AesNi.cpp); its key-schedule helpers serve the
// wider back ends too, since every CPU with VAES has AES-NI. The second back end is
// the same but for its lone 24- and 32-byte blocks, which run in AVX encodings.
extern const AesBackend kAesniBackend;
extern const AesBackend kAesniAvxBackend;
DWORD AesniSubWord(DWORD w);
DWORD AesniInvMixColumn(DWORD w);
void AesniEncryptBlocks(const RoundKeyRow* rk, int rounds, const BYTE* in, BYTE* out,
                        std::size_t blocks);
void AesniDecryptBlocks(const RoundKeyRow* rk, int rounds, const BYTE* in, BYTE* out,
                        std::size_t blocks);

// One 24- or 32-byte block on AES-NI, in SSE encodings (AesNiWide.cpp) and in AVX
// ones (AesNiAvxWide.cpp).
void AesniEncryptWideBlock(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                           BYTE* out);
void AesniDecryptWideBlock(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                           BYTE* out);
void AesniAvxEncryptWideBlock(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                              BYTE* out);
void AesniAvxDecryptWideBlock(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                              BYTE* out);
// The multi-key walk with each block loading its own object's rows, block 0 under
// object firstObject: for objects that come round too seldom to keep their keys in
// registers, and for the blocks a wider loop leaves.
void AesniEncryptBlocksMultiKeyFrom(const RoundKeyArray& keys, std::size_t firstObject, int rounds,
                                    const BYTE* in, BYTE* out, std::size_t blocks);
void AesniDecryptBlocksMultiKeyFrom(const RoundKeyArray& keys, std::size_t firstObject, int rounds,
                                    const BYTE* in, BYTE* out, std::size_t blocks);

// VAES on 256-bit registers with AVX2 (AesVaes256.cpp).
extern const AesBackend kVaes256Backend;

// VAES on 512-bit registers with AVX-512F (AesVaes512.cpp); its wide blocks run on
// AES-NI with AVX-512 VBMI's byte permutation (AesVbmiWide.cpp).
extern const AesBackend kVaes512Backend;
void VbmiEncryptWideBlock(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                          BYTE* out);
void VbmiDecryptWideBlock(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                          BYTE* out);

}  // namespace sealwrit::detail

#endif
