// The chaining modes' operations (FeedbackOp, WideFeedbackOp, CounterOp) built on
// any family's block calls (ChainingOverBlocks.h), for the families with no loop of
// their own that keeps the chaining in registers.
//
// Plain C++ that only calls the block functions it is given, so the dispatcher,
// compiled for the baseline CPU, instantiates it for each such family.
#ifndef SEALWRIT_AES_GENERIC_MODES_H
#define SEALWRIT_AES_GENERIC_MODES_H

#include "../ChainingOverBlocks.h"
#include "AesImplementations.h"

namespace sealwrit::detail {

// What the decrypting directions and the counter hand the block call at a time.
constexpr std::size_t kGenericGroupBlocks = 16;

template <BlocksOp* kEncrypt>
void GenericEncryptFeedback(const RoundKeyRow* rk, int rounds, Feedback mode, BYTE* reg,
                            const BYTE* in, BYTE* out, std::size_t blocks) {
    const auto block = [&](BYTE* b) { kEncrypt(rk, rounds, b, b, 1); };
    EncryptChainedBlocks(block, 16, mode, reg, in, out, blocks);
}

template <WideBlockOp* kEncrypt>
void GenericEncryptWideFeedback(const RoundKeyRow* rk, int rounds, int blockBytes, Feedback mode,
                                BYTE* reg, const BYTE* in, BYTE* out, std::size_t blocks) {
    const auto block = [&](BYTE* b) { kEncrypt(rk, rounds, blockBytes, b, b); };
    EncryptChainedBlocks(block, std::size_t(blockBytes), mode, reg, in, out, blocks);
}

template <BlocksOp* kEncrypt, BlocksOp* kDecrypt>
void GenericDecryptFeedback(const RoundKeyRow* rk, int rounds, Feedback mode, BYTE* reg,
                            const BYTE* in, BYTE* out, std::size_t blocks) {
    BYTE chain[16 * (kGenericGroupBlocks + 1)];
    BlocksOp* const cipher = mode == kCbc ? kDecrypt : kEncrypt;
    const auto run = [&](const BYTE* from, BYTE* to, std::size_t n) {
        cipher(rk, rounds, from, to, n);
    };
    DecryptChainedBlocks(run, 16, mode, reg, in, out, blocks, chain, kGenericGroupBlocks);
}

template <BlocksOp* kEncrypt>
void GenericCounter(const RoundKeyRow* rk, int rounds, BYTE* counter, const BYTE* in, BYTE* out,
                    std::size_t blocks) {
    BYTE stream[16 * kGenericGroupBlocks];
    const auto run = [&](const BYTE* from, BYTE* to, std::size_t n) {
        kEncrypt(rk, rounds, from, to, n);
    };
    CounterBlocksThrough(run, 16, counter, in, out, blocks, stream, kGenericGroupBlocks);
}

}  // namespace sealwrit::detail

#endif
