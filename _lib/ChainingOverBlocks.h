// The chaining modes written once on top of a call that enciphers whole blocks of
// any size, for the block sizes and families that have no loop of their own keeping
// the chaining in registers: the 24- and 32-byte modes (on the table's whole-buffer
// ECB and lone block) and the 16-byte modes of the software and ARM families (on
// their block calls).
//
// `Blocks` is any callable (const BYTE* in, BYTE* out, std::size_t blocks) that
// enciphers whole blocks of `size` bytes in ECB, in may be out; `Block` one
// (BYTE* block) that enciphers a lone block in place. in and out may be the same
// buffer, no other overlap.
#ifndef SEALWRIT_CHAINING_OVER_BLOCKS_H
#define SEALWRIT_CHAINING_OVER_BLOCKS_H

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "CounterBlocks.h"
#include "Feedback.h"
#include "Wipe.h"
#include "XorBytes.h"

namespace sealwrit::detail {

// A message's encrypting direction (CBC and CFB encryption, OFB either way), a block
// after another through `block`; reg as FeedbackOp's.
template <class Block>
void EncryptChainedBlocks(Block block, std::size_t size, Feedback mode, BYTE* reg,
                          const BYTE* in, BYTE* out, std::size_t blocks) {
    for (std::size_t at = 0; at < size * blocks; at += size) {
        if (mode == kCbc) XorInto(reg, in + at, reg, size);
        block(reg);
        if (mode == kCfb) XorInto(reg, in + at, reg, size);
        if (mode == kOfb) {
            XorInto(reg, in + at, out + at, size);
        } else {
            std::memcpy(out + at, reg, size);
        }
    }
}

// CBC or CFB decryption: every block's cipher input is a cipher block, known in
// advance, so groups of them go through `cipher` (D for CBC, E for CFB) at once.
// `chain` holds groupBlocks + 1 blocks: the group's cipher blocks after the one before
// them, copied out of in, so that the output can go straight to out even when out is
// in.
template <class Blocks>
void DecryptChainedBlocks(Blocks cipher, std::size_t size, Feedback mode, BYTE* reg,
                          const BYTE* in, BYTE* out, std::size_t blocks, BYTE* chain,
                          std::size_t groupBlocks) {
    for (std::size_t at = 0, n; at < blocks; at += n) {
        n = std::min(blocks - at, groupBlocks);
        const std::size_t bytes = n * size;
        BYTE* const text = out + at * size;
        std::memcpy(chain, reg, size);
        std::memcpy(chain + size, in + at * size, bytes);
        if (mode == kCbc) {
            cipher(chain + size, text, n);
            XorInto(text, chain, text, bytes);
        } else {
            cipher(chain, text, n);
            XorInto(text, chain + size, text, bytes);
        }
        std::memcpy(reg, chain + bytes, size);
    }
}

// The counter mode: groups of counter blocks through `encrypt` in `stream` (groupBlocks
// blocks), XORed into the text; counter moves on past them. The key stream is wiped.
template <class Blocks>
void CounterBlocksThrough(Blocks encrypt, std::size_t size, BYTE* counter, const BYTE* in,
                          BYTE* out, std::size_t blocks, BYTE* stream, std::size_t groupBlocks) {
    for (std::size_t at = 0, n; at < blocks; at += n) {
        n = std::min(blocks - at, groupBlocks);
        CounterBlocks(counter, size, stream, n);
        encrypt(stream, stream, n);
        XorInto(in + at * size, stream, out + at * size, n * size);
    }
    Wipe(stream, groupBlocks * size);
}

}  // namespace sealwrit::detail

#endif
