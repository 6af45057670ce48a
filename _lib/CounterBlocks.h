// Counter blocks: a block read as one big-endian number, counted up and wrapping at
// the top, as the counter mode and the back ends that build its blocks in registers
// both need.
#ifndef SEALWRIT_COUNTER_BLOCKS_H
#define SEALWRIT_COUNTER_BLOCKS_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "../_inc/Lib.h"

namespace sealwrit::detail {

// Adds one to a big-endian counter of n bytes, wrapping at the top; the carry runs
// through every byte, so the time does not depend on the counter.
inline void Increment(BYTE* counter, std::size_t n) {
    unsigned carry = 1;
    for (std::size_t i = n; i-- > 0;) {
        carry += counter[i];
        counter[i] = BYTE(carry);
        carry >>= 8;
    }
}

inline std::uint64_t LoadBigEndian64(const BYTE* p) {
    std::uint64_t x = 0;
    for (int i = 0; i < 8; ++i) x = (x << 8) | p[i];
    return x;
}

inline void StoreBigEndian64(std::uint64_t x, BYTE* p) {
    for (int i = 7; i >= 0; --i, x >>= 8) p[i] = BYTE(x);
}

// Writes the counter blocks counter, counter + 1, ... counter + blocks - 1 to out
// (blocks < 2^32; none when out is null) and moves counter on past them. The last
// eight bytes are added to as one word; the bytes above take the carry out of it,
// chosen by mask rather than by a branch on the counter. One copy per block size, so
// that the words above are a fixed number the compiler can keep in registers.
template <std::size_t kSize>
void CounterBlocksOf(BYTE* counter, BYTE* out, std::size_t blocks) {
    constexpr std::size_t kHigh = kSize - 8, kWords = kHigh / 8;
    const std::uint64_t low = LoadBigEndian64(counter + kHigh);
    BYTE carried[kHigh];  // the bytes above, plus one
    std::memcpy(carried, counter, kHigh);
    Increment(carried, kHigh);
    std::uint64_t mine[kWords], next[kWords];
    std::memcpy(mine, counter, kHigh);
    std::memcpy(next, carried, kHigh);
    const auto put = [&](std::uint64_t k, BYTE* block) {
        const std::uint64_t sum = low + k;
        const std::uint64_t carry = 0 - (((low & k) | ((low | k) & ~sum)) >> 63);
        for (std::size_t i = 0; i < kWords; ++i) {
            const std::uint64_t word = mine[i] ^ ((mine[i] ^ next[i]) & carry);
            std::memcpy(block + 8 * i, &word, 8);
        }
        StoreBigEndian64(sum, block + kHigh);
    };
    if (out != nullptr) {
        for (std::size_t k = 0; k < blocks; ++k) put(k, out + kSize * k);
    }
    put(blocks, counter);
}

inline void CounterBlocks(BYTE* counter, std::size_t size, BYTE* out, std::size_t blocks) {
    if (size == 16) return CounterBlocksOf<16>(counter, out, blocks);
    if (size == 24) return CounterBlocksOf<24>(counter, out, blocks);
    CounterBlocksOf<32>(counter, out, blocks);
}

}  // namespace sealwrit::detail

#endif
