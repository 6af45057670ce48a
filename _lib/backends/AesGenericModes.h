// The chaining modes on 16-byte blocks (FeedbackOp, CounterOp) built on any
// implementation of the blocks themselves, for the families with no loop of their
// own that keeps the chaining in registers: a block at a time where each needs the
// one before, groups of blocks through the block call where they do not.
//
// Plain C++ that only calls the block functions it is given, so the dispatcher,
// compiled for the baseline CPU, instantiates it for each such family.
#ifndef SEALWRIT_AES_GENERIC_MODES_H
#define SEALWRIT_AES_GENERIC_MODES_H

#include <algorithm>
#include <cstring>

#include "../CounterBlocks.h"
#include "../Wipe.h"
#include "../XorBytes.h"
#include "AesImplementations.h"

namespace sealwrit::detail {

// What the decrypting directions and the counter hand the block call at a time.
constexpr std::size_t kGenericGroupBlocks = 16;

template <BlocksOp* kEncrypt>
void GenericEncryptFeedback(const RoundKeyRow* rk, int rounds, Feedback mode, BYTE* reg,
                            const BYTE* in, BYTE* out, std::size_t blocks) {
    for (std::size_t at = 0; at < 16 * blocks; at += 16) {
        if (mode == kCbc) XorInto(reg, in + at, reg, 16);
        kEncrypt(rk, rounds, reg, reg, 1);
        if (mode == kCfb) XorInto(reg, in + at, reg, 16);
        if (mode == kOfb) {
            XorInto(reg, in + at, out + at, 16);
        } else {
            std::memcpy(out + at, reg, 16);
        }
    }
}

template <WideBlockOp* kEncrypt>
void GenericEncryptWideFeedback(const RoundKeyRow* rk, int rounds, int blockBytes, Feedback mode,
                                BYTE* reg, const BYTE* in, BYTE* out, std::size_t blocks) {
    const std::size_t size = std::size_t(blockBytes);
    for (std::size_t at = 0; at < size * blocks; at += size) {
        if (mode == kCbc) XorInto(reg, in + at, reg, size);
        kEncrypt(rk, rounds, blockBytes, reg, reg);
        if (mode == kCfb) XorInto(reg, in + at, reg, size);
        if (mode == kOfb) {
            XorInto(reg, in + at, out + at, size);
        } else {
            std::memcpy(out + at, reg, size);
        }
    }
}

template <BlocksOp* kEncrypt, BlocksOp* kDecrypt>
void GenericDecryptFeedback(const RoundKeyRow* rk, int rounds, Feedback mode, BYTE* reg,
                            const BYTE* in, BYTE* out, std::size_t blocks) {
    // The group's cipher blocks after the one before them, copied out of in, which
    // out may be.
    BYTE chain[16 * (kGenericGroupBlocks + 1)], text[16 * kGenericGroupBlocks];
    for (std::size_t at = 0; at < blocks;) {
        const std::size_t n = std::min(blocks - at, kGenericGroupBlocks), bytes = 16 * n;
        std::memcpy(chain, reg, 16);
        std::memcpy(chain + 16, in + 16 * at, bytes);
        if (mode == kCbc) {
            kDecrypt(rk, rounds, chain + 16, text, n);
            XorInto(text, chain, out + 16 * at, bytes);
        } else {
            kEncrypt(rk, rounds, chain, text, n);
            XorInto(text, chain + 16, out + 16 * at, bytes);
        }
        std::memcpy(reg, chain + bytes, 16);
        at += n;
    }
    Wipe(text);
}

template <BlocksOp* kEncrypt>
void GenericCounter(const RoundKeyRow* rk, int rounds, BYTE* counter, const BYTE* in, BYTE* out,
                    std::size_t blocks) {
    BYTE stream[16 * kGenericGroupBlocks];
    for (std::size_t at = 0; at < blocks;) {
        const std::size_t n = std::min(blocks - at, kGenericGroupBlocks);
        CounterBlocksOf<16>(counter, stream, n);
        kEncrypt(rk, rounds, stream, stream, n);
        XorInto(in + 16 * at, stream, out + 16 * at, 16 * n);
        at += n;
    }
    Wipe(stream);
}

}  // namespace sealwrit::detail

#endif
