// Every implementation the dispatcher can choose, by the file that defines it. Each
// file is compiled with the instruction-set flags it needs and says, in its
// k...Features constant, what they were (CpuFeatures.h). Only AesDispatch.cpp,
// compiled for the baseline CPU, decides whether one may run: it takes their
// addresses and never calls them, so that a process faults in the code of none
// but those it runs (on a virtual machine each page of code first touched cost a
// short run some 15 us).
#ifndef SEALWRIT_AES_IMPLEMENTATIONS_H
#define SEALWRIT_AES_IMPLEMENTATIONS_H

#include "AesOperations.h"

namespace sealwrit::detail {

// AesPortable.cpp: bitsliced rounds in plain C++, for every CPU.
BlocksOp PortableEncryptBlocks, PortableDecryptBlocks;
WideBlocksOp PortableEncryptWideBlocks, PortableDecryptWideBlocks;
WideBlockOp PortableEncryptWideBlock, PortableDecryptWideBlock;
MultiKeyOp PortableEncryptMultiKey, PortableDecryptMultiKey;
KeyStepOp PortableSubWord, PortableInvMixColumn;

// AesVectorPermute.cpp: the S-box from nibble lookups in vector registers (x86 with
// SSSE3, 64-bit ARM); long 16-byte buffers go on to the bitsliced rounds.
extern const unsigned kVectorPermuteFeatures;
BlocksOp VpermEncryptBlocks, VpermDecryptBlocks;
WideBlocksOp VpermEncryptWideBlocks, VpermDecryptWideBlocks;
WideBlockOp VpermEncryptWideBlock, VpermDecryptWideBlock;

// AesNi.cpp: AES-NI on 128-bit registers. Its key-schedule steps serve the wider
// families too, since every CPU with VAES has AES-NI, and the VAES files hand it the
// blocks that fill no wide register.
extern const unsigned kAesNiFeatures;
BlocksOp AesniEncryptBlocks, AesniDecryptBlocks;
MultiKeyOp AesniEncryptMultiKey, AesniDecryptMultiKey;
KeyStepOp AesniSubWord, AesniInvMixColumn;
FeedbackOp AesniEncryptFeedback, AesniDecryptFeedback;
CounterOp AesniCounter;
// The multi-key walk with each block loading its own object's rows, block 0 under
// object firstObject: for objects that come round too seldom to keep their keys in
// registers, and for the blocks a wider loop leaves.
void AesniEncryptBlocksMultiKeyFrom(const RoundKeyArray& keys, std::size_t firstObject, int rounds,
                                    const BYTE* in, BYTE* out, std::size_t blocks);
void AesniDecryptBlocksMultiKeyFrom(const RoundKeyArray& keys, std::size_t firstObject, int rounds,
                                    const BYTE* in, BYTE* out, std::size_t blocks);

// AesNiAvx.cpp: AesNi.cpp's 16-byte blocks and chaining modes in AVX encodings.
extern const unsigned kAesNiAvxFeatures;
BlocksOp AesniAvxEncryptBlocks, AesniAvxDecryptBlocks;
FeedbackOp AesniAvxEncryptFeedback, AesniAvxDecryptFeedback;
CounterOp AesniAvxCounter;

// 24- and 32-byte blocks on AES-NI: SSE encodings (AesNiWide.cpp), AVX encodings
// (AesNiAvxWide.cpp), and with AVX-512 VBMI's two-register byte permutation
// (AesVbmiWide.cpp).
extern const unsigned kAesNiWideFeatures;
WideBlocksOp AesniEncryptWideBlocks, AesniDecryptWideBlocks;
WideBlockOp AesniEncryptWideBlock, AesniDecryptWideBlock;
WideFeedbackOp AesniEncryptWideFeedback;
extern const unsigned kAesNiAvxWideFeatures;
WideBlocksOp AesniAvxEncryptWideBlocks, AesniAvxDecryptWideBlocks;
WideBlockOp AesniAvxEncryptWideBlock, AesniAvxDecryptWideBlock;
WideFeedbackOp AesniAvxEncryptWideFeedback;
extern const unsigned kVbmiWideFeatures;
WideBlocksOp VbmiEncryptWideBlocks, VbmiDecryptWideBlocks;
WideBlockOp VbmiEncryptWideBlock, VbmiDecryptWideBlock;
WideFeedbackOp VbmiEncryptWideFeedback;

// AesVaes256.cpp and AesVaes512.cpp: VAES on 256-bit registers with AVX2 and on
// 512-bit registers with AVX-512F.
extern const unsigned kVaes256Features;
BlocksOp Vaes256EncryptBlocks, Vaes256DecryptBlocks;
MultiKeyOp Vaes256EncryptMultiKey, Vaes256DecryptMultiKey;
FeedbackOp Vaes256DecryptFeedback;
CounterOp Vaes256Counter;
extern const unsigned kVaes512Features;
BlocksOp Vaes512EncryptBlocks, Vaes512DecryptBlocks;
MultiKeyOp Vaes512EncryptMultiKey, Vaes512DecryptMultiKey;
FeedbackOp Vaes512DecryptFeedback;
CounterOp Vaes512Counter;

// AesVaes256Wide.cpp and AesVaes512Wide.cpp: whole buffers of 24- and 32-byte blocks
// on VAES, two and four blocks to a group of registers (the latter with AVX-512 VBMI).
extern const unsigned kVaes256WideFeatures;
WideBlocksOp Vaes256EncryptWideBlocks, Vaes256DecryptWideBlocks;
extern const unsigned kVaes512WideFeatures;
WideBlocksOp Vaes512EncryptWideBlocks, Vaes512DecryptWideBlocks;

// AesGenericModes.h: the chaining modes on any implementation of 16-byte blocks,
// for the families with no loop of their own (instantiated by the dispatcher).
template <BlocksOp* kEncrypt>
void GenericEncryptFeedback(const RoundKeyRow* rk, int rounds, Feedback mode, BYTE* reg,
                            const BYTE* in, BYTE* out, std::size_t blocks);
template <BlocksOp* kEncrypt, BlocksOp* kDecrypt>
void GenericDecryptFeedback(const RoundKeyRow* rk, int rounds, Feedback mode, BYTE* reg,
                            const BYTE* in, BYTE* out, std::size_t blocks);
template <WideBlockOp* kEncrypt>
void GenericEncryptWideFeedback(const RoundKeyRow* rk, int rounds, int blockBytes, Feedback mode,
                                BYTE* reg, const BYTE* in, BYTE* out, std::size_t blocks);
template <BlocksOp* kEncrypt>
void GenericCounter(const RoundKeyRow* rk, int rounds, BYTE* counter, const BYTE* in, BYTE* out,
                    std::size_t blocks);

// AesArm64.cpp: 64-bit ARM's Cryptography Extension, built with +crypto for this file
// alone.
extern const unsigned kArmv8Features;
BlocksOp Armv8EncryptBlocks, Armv8DecryptBlocks;
WideBlocksOp Armv8EncryptWideBlocks, Armv8DecryptWideBlocks;
WideBlockOp Armv8EncryptWideBlock, Armv8DecryptWideBlock;
MultiKeyOp Armv8EncryptMultiKey, Armv8DecryptMultiKey;
KeyStepOp Armv8SubWord, Armv8InvMixColumn;

}  // namespace sealwrit::detail

#endif
