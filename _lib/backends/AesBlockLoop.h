// The block loops the AES-NI and VAES files share: whole registers of 16-byte
// blocks through the rounds, several registers in flight to cover the instructions'
// latency.
//
// Each such file includes this, compiled with its own instruction flags, and
// instantiates it with a description of its registers that lives in that file's
// anonymous namespace. Every instantiation is therefore that file's own, and code
// built for wide registers cannot stand in for another's.
//
// A register description R gives:
//   Vec                                       the register type
//   kBlocksPerRegister, kRegistersInFlight
//   Broadcast(row)                            a 16-byte round key in every lane
//   Load(p), Store(p, v), Xor(a, b)
//   Round(decrypt, s, k), LastRound(decrypt, s, k)
//   Gather(rows)                              lane l from the 16 bytes at rows[l]
// and for the chaining modes (RunCounterRegisters, RunChainedRegisters):
//   Previous(before, v)                       each lane's block one earlier: lane 0
//                                             takes before's last lane
//   ByteReverse(v)                            each lane's 16 bytes in reverse order
//   Add32(a, b)                               on 32-bit words
//   Add64(a, b), AndNot(a, b) = ~a & b        on 64-bit words
//   TopBit64(v)                               each word's top bit, as 0 or 1
//   LowToHigh64(v)                            each lane's low word moved to its high
//                                             word, the low word zero
//   Low64(first, step)                        lane l: low word first + l * step,
//                                             high word zero
#ifndef SEALWRIT_AES_BLOCK_LOOP_H
#define SEALWRIT_AES_BLOCK_LOOP_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <numeric>

#include "../CounterBlocks.h"
#include "../Wipe.h"
#include "AesImplementations.h"

namespace sealwrit::detail {

// Runs the blocks that fill whole registers and returns how many blocks that was.
// Every register of an iteration is loaded before any is stored, so in and out may
// be the same buffer. Callers pass a constant direction, so after inlining no
// branch is left on it.
template <class R>
__attribute__((always_inline)) inline std::size_t RunWholeRegisters(bool decrypt,
                                                                    const RoundKeyRow* rk,
                                                                    int rounds, const BYTE* in,
                                                                    BYTE* out, std::size_t blocks) {
    using Vec = typename R::Vec;
    constexpr std::size_t kRegisterBytes = 16 * R::kBlocksPerRegister;
    constexpr std::size_t kStride = R::kRegistersInFlight * kRegisterBytes;
    const std::size_t bytes = blocks / R::kBlocksPerRegister * kRegisterBytes;

    Vec k[15];
    for (int r = 0; r <= rounds; ++r) k[r] = R::Broadcast(rk[r]);
    std::size_t at = 0;
    for (; at + kStride <= bytes; at += kStride) {
        Vec s[R::kRegistersInFlight];
        for (std::size_t i = 0; i < R::kRegistersInFlight; ++i) {
            s[i] = R::Xor(R::Load(in + at + kRegisterBytes * i), k[0]);
        }
        for (int r = 1; r < rounds; ++r) {
            for (std::size_t i = 0; i < R::kRegistersInFlight; ++i) {
                s[i] = R::Round(decrypt, s[i], k[r]);
            }
        }
        for (std::size_t i = 0; i < R::kRegistersInFlight; ++i) {
            R::Store(out + at + kRegisterBytes * i, R::LastRound(decrypt, s[i], k[rounds]));
        }
    }
    for (; at < bytes; at += kRegisterBytes) {
        Vec s = R::Xor(R::Load(in + at), k[0]);
        for (int r = 1; r < rounds; ++r) s = R::Round(decrypt, s, k[r]);
        R::Store(out + at, R::LastRound(decrypt, s, k[rounds]));
    }
    return at / 16;
}

// The VAES implementations' 16-byte blocks. Below two registers' worth of blocks,
// broadcasting the round keys costs more than the wide registers save (one block
// took 14 ns on 512-bit registers against 9 ns with AES-NI), so AES-NI takes them;
// it also does the last blocks that fill no register.
template <class R, bool kDecrypt>
void RunWideRegisters(const RoundKeyRow* rk, int rounds, const BYTE* in, BYTE* out,
                      std::size_t blocks) {
    std::size_t done = 0;
    if (blocks >= 2 * R::kBlocksPerRegister) {
        done = RunWholeRegisters<R>(kDecrypt, rk, rounds, in, out, blocks);
    }
    (kDecrypt ? AesniDecryptBlocks : AesniEncryptBlocks)(rk, rounds, in + 16 * done,
                                                         out + 16 * done, blocks - done);
}

// Adds b to each lane of a, lanes being 128-bit little-endian numbers and b's lanes
// below 2^63: with so small an addend, a low word wrapped exactly when its top bit
// went from 1 to 0. Branch-free, so the time does not depend on the counter.
template <class R>
__attribute__((always_inline)) inline typename R::Vec AddToLanes(typename R::Vec a,
                                                                 typename R::Vec b) {
    const typename R::Vec sum = R::Add64(a, b);
    return R::Add64(sum, R::LowToHigh64(R::TopBit64(R::AndNot(sum, a))));
}

// The counter mode on whole registers (CounterOp); returns how many blocks that was,
// and moves counter on past them. The text is XORed in through the last round key.
//
// Between carries out of its low 32 bits a counter block changes in those bits alone,
// and only a group that carries out of them needs the 128-bit add: a branch on the
// counter, which is public (it is sent in the clear), never on the key or the text.
// How a group's counters are made depends on the register:
// - 128-bit registers: the group's counter blocks, round key 0 already XORed in, wait
//   in memory for its first round, and are written in general registers while the
//   group before it is in its rounds: an add, a byte swap, an XOR and a 4-byte store a
//   block, beside the AES units, as OpenSSL does. Counting in vector registers cost a
//   32-bit add, a byte shuffle and an XOR a block there, which kept AES-256 at 0.91 of
//   OpenSSL's speed on a Zen 4 core; the branch-free 128-bit add before that (five
//   more) held AES-128 to three quarters of it on Ice Lake, whose AES units share
//   their ports with the other vector instructions.
// - Wider registers: in vector registers, in reversed byte order where the lanes'
//   adds are plain, with one 32-bit add a register for several blocks, turned round on
//   the way in. Written as 4-byte stores, a wide register's blocks made its load wait
//   for them: VAES-512's CTR ran at 0.8 of this.
template <class R, int kRounds>
__attribute__((always_inline)) inline std::size_t RunCounterRounds(const RoundKeyRow* rk,
                                                                   BYTE* counter, const BYTE* in,
                                                                   BYTE* out, std::size_t blocks) {
    using Vec = typename R::Vec;
    constexpr std::size_t kLanes = R::kBlocksPerRegister, kInFlight = R::kRegistersInFlight;
    constexpr std::size_t kRegisterBytes = 16 * kLanes, kGroup = kInFlight * kLanes;
    const std::size_t registers = blocks / kLanes;

    Vec k[kRounds + 1];
    for (int r = 0; r <= kRounds; ++r) k[r] = R::Broadcast(rk[r]);
    std::size_t g = 0;
    // The groups, given take(s, more), which fills s with a group's first-round inputs
    // and, when another group follows, gets that one's on its way.
    const auto runGroups = [&](auto take) {
        for (; g + kInFlight <= registers; g += kInFlight) {
            Vec s[kInFlight];
            take(s, g + 2 * kInFlight <= registers);
            for (int r = 1; r < kRounds; ++r) {
                for (std::size_t i = 0; i < kInFlight; ++i) s[i] = R::Round(false, s[i], k[r]);
            }
            for (std::size_t i = 0; i < kInFlight; ++i) {
                const std::size_t at = (g + i) * kRegisterBytes;
                R::Store(out + at, R::LastRound(false, s[i], R::Xor(k[kRounds], R::Load(in + at))));
            }
        }
    };
    BYTE reversed[16];
    if constexpr (kLanes == 1) {
        if (registers >= kInFlight) {
            alignas(64) BYTE group[16 * kGroup];
            std::uint32_t key0Low;  // round key 0's last four bytes, as they lie in memory
            std::memcpy(&key0Low, rk[0] + 12, 4);
            // The counter's low 32 bits, kept here: counter's own last four bytes are
            // written back only around a carry and at the end, so that no load of
            // them waits on the store before it.
            std::uint32_t low = std::uint32_t(LoadBigEndian64(counter + 8));
            const auto writeLow = [&]() {
                const std::uint32_t word = __builtin_bswap32(low);
                std::memcpy(counter + 12, &word, 4);
            };
            bool whole = true;  // the blocks' first 12 bytes are to be made too
            const auto make = [&]() {
                if (!whole && low <= 0xFFFFFFFFu - kGroup) {
                    for (std::size_t j = 0; j < kGroup; ++j) {
                        const std::uint32_t word =
                            __builtin_bswap32(low + std::uint32_t(j)) ^ key0Low;
                        std::memcpy(group + 16 * j + 12, &word, 4);
                    }
                    low += std::uint32_t(kGroup);
                } else {
                    // A carry inside the group leaves its first blocks' high bytes
                    // behind, so the next group is made whole too.
                    whole = low > 0xFFFFFFFFu - kGroup;
                    writeLow();
                    CounterBlocksOf<16>(counter, group, kGroup);
                    for (std::size_t j = 0; j < 16 * kGroup; ++j) group[j] ^= rk[0][j % 16];
                    low = std::uint32_t(LoadBigEndian64(counter + 8));
                }
            };
            make();
            runGroups([&](Vec* s, bool more) {
                for (std::size_t i = 0; i < kInFlight; ++i) s[i] = R::Load(group + 16 * i);
                if (more) make();
            });
            writeLow();
            Wipe(group, sizeof group);
        }
    } else {
        for (int i = 0; i < 16; ++i) reversed[i] = counter[15 - i];
        Vec next = AddToLanes<R>(R::Broadcast(reversed), R::Low64(0, 1));
        Vec ahead[kInFlight];  // register i's lanes are ahead of the first's by this
        for (std::size_t i = 0; i < kInFlight; ++i) ahead[i] = R::Low64(i * kLanes, 0);
        const Vec stride = R::Low64(kGroup, 0);
        // Lane 0's low 32 bits; a group counts up to kGroup + kLanes - 1 past them.
        std::uint32_t low = std::uint32_t(LoadBigEndian64(counter + 8));
        constexpr std::uint32_t kLastLow = 0xFFFFFFFFu - kGroup - kLanes + 1;
        runGroups([&](Vec* s, bool) {
            if (low <= kLastLow) {
                for (std::size_t i = 0; i < kInFlight; ++i) {
                    s[i] = R::Xor(R::ByteReverse(R::Add32(next, ahead[i])), k[0]);
                }
                next = R::Add32(next, stride);
            } else {
                for (std::size_t i = 0; i < kInFlight; ++i) {
                    s[i] = R::Xor(R::ByteReverse(AddToLanes<R>(next, ahead[i])), k[0]);
                }
                next = AddToLanes<R>(next, stride);
            }
            low += std::uint32_t(kGroup);
        });
        CounterBlocksOf<16>(counter, nullptr, g * kLanes);
    }
    // The registers left, one at a time, counted as the wide registers count.
    if (g == registers) return g * kLanes;
    for (int i = 0; i < 16; ++i) reversed[i] = counter[15 - i];
    Vec next = AddToLanes<R>(R::Broadcast(reversed), R::Low64(0, 1));
    const Vec one = R::Low64(kLanes, 0);
    const std::size_t first = g;
    for (; g < registers; ++g) {
        Vec s = R::Xor(R::ByteReverse(next), k[0]);
        next = AddToLanes<R>(next, one);
        for (int r = 1; r < kRounds; ++r) s = R::Round(false, s, k[r]);
        const std::size_t at = g * kRegisterBytes;
        R::Store(out + at, R::LastRound(false, s, R::Xor(k[kRounds], R::Load(in + at))));
    }
    CounterBlocksOf<16>(counter, nullptr, (g - first) * kLanes);
    return g * kLanes;
}

template <class R>
__attribute__((always_inline)) inline std::size_t RunCounterRegisters(const RoundKeyRow* rk,
                                                                      int rounds, BYTE* counter,
                                                                      const BYTE* in, BYTE* out,
                                                                      std::size_t blocks) {
    if (rounds == 10) return RunCounterRounds<R, 10>(rk, counter, in, out, blocks);
    if (rounds == 12) return RunCounterRounds<R, 12>(rk, counter, in, out, blocks);
    return RunCounterRounds<R, 14>(rk, counter, in, out, blocks);
}

// The decrypting directions of CBC and CFB on whole registers (FeedbackOp), whose
// cipher inputs are all known: block i of CBC is D(c[i]) ^ c[i-1], of CFB
// E(c[i-1]) ^ c[i], with c[-1] the register. The earlier blocks are taken from the
// registers already loaded, never from memory, so out may be in. Returns how many
// blocks that was, and leaves the last cipher block in reg.
template <class R, bool kCbcMode>
__attribute__((always_inline)) inline std::size_t RunChainedRegisters(const RoundKeyRow* rk,
                                                                      int rounds, BYTE* reg,
                                                                      const BYTE* in, BYTE* out,
                                                                      std::size_t blocks) {
    using Vec = typename R::Vec;
    constexpr std::size_t kLanes = R::kBlocksPerRegister, kInFlight = R::kRegistersInFlight;
    constexpr std::size_t kRegisterBytes = 16 * kLanes;
    const std::size_t registers = blocks / kLanes;
    if (registers == 0) return 0;

    Vec k[15] = {};  // every row the rounds read is set; the compiler cannot tell
    for (int r = 0; r <= rounds; ++r) k[r] = R::Broadcast(rk[r]);
    Vec before = R::Broadcast(reg);
    // One register: its cipher input, and what is XORed into its output.
    const auto input = [](Vec c, Vec earlier) { return kCbcMode ? c : earlier; };
    const auto mask = [](Vec c, Vec earlier) { return kCbcMode ? earlier : c; };
    std::size_t g = 0;
    for (; g + kInFlight <= registers; g += kInFlight) {
        Vec c[kInFlight], earlier[kInFlight], s[kInFlight];
        for (std::size_t i = 0; i < kInFlight; ++i) {
            c[i] = R::Load(in + (g + i) * kRegisterBytes);
            earlier[i] = R::Previous(i == 0 ? before : c[i - 1], c[i]);
            s[i] = R::Xor(input(c[i], earlier[i]), k[0]);
        }
        before = c[kInFlight - 1];
        for (int r = 1; r < rounds; ++r) {
            for (std::size_t i = 0; i < kInFlight; ++i) s[i] = R::Round(kCbcMode, s[i], k[r]);
        }
        for (std::size_t i = 0; i < kInFlight; ++i) {
            R::Store(out + (g + i) * kRegisterBytes,
                     R::LastRound(kCbcMode, s[i], R::Xor(k[rounds], mask(c[i], earlier[i]))));
        }
    }
    for (; g < registers; ++g) {
        const Vec c = R::Load(in + g * kRegisterBytes), earlier = R::Previous(before, c);
        Vec s = R::Xor(input(c, earlier), k[0]);
        before = c;
        for (int r = 1; r < rounds; ++r) s = R::Round(kCbcMode, s, k[r]);
        R::Store(out + g * kRegisterBytes,
                 R::LastRound(kCbcMode, s, R::Xor(k[rounds], mask(c, earlier))));
    }
    BYTE last[kRegisterBytes];
    R::Store(last, before);
    std::memcpy(reg, last + kRegisterBytes - 16, 16);
    return g * kLanes;
}

// The wide-register families' modes: below two registers' worth of blocks, and for
// the blocks that fill no register, AES-NI's (as RunWideRegisters).
template <class R>
void RunWideCounter(const RoundKeyRow* rk, int rounds, BYTE* counter, const BYTE* in, BYTE* out,
                    std::size_t blocks) {
    std::size_t done = 0;
    if (blocks >= 2 * R::kBlocksPerRegister) {
        done = RunCounterRegisters<R>(rk, rounds, counter, in, out, blocks);
    }
    AesniCounter(rk, rounds, counter, in + 16 * done, out + 16 * done, blocks - done);
}

template <class R>
void RunWideChained(const RoundKeyRow* rk, int rounds, Feedback mode, BYTE* reg, const BYTE* in,
                    BYTE* out, std::size_t blocks) {
    std::size_t done = 0;
    if (blocks >= 2 * R::kBlocksPerRegister) {
        done = mode == kCbc ? RunChainedRegisters<R, true>(rk, rounds, reg, in, out, blocks)
                            : RunChainedRegisters<R, false>(rk, rounds, reg, in, out, blocks);
    }
    AesniDecryptFeedback(rk, rounds, mode, reg, in + 16 * done, out + 16 * done, blocks - done);
}

// The multi-key walk, for every register width. Block k takes object k % count's
// round keys, so register g's lanes take the same objects as register g + period,
// where period = count / gcd(count, lanes). The walk therefore goes through the
// registers one residue class at a time: gather the class's round keys into
// registers once, then run its registers, period apart, as the one-key loop runs
// its own. Loading each block's row every round instead (a load per block per
// round, and a shuffle per lane on wide registers) ran at 0.5 to 0.6 of the one-key
// speed with 2 to 64 objects on 16 KiB on a Zen 5 core; this way 0.93 to 1 with 2
// and 8, and 0.58 to 0.98 with 64. When the classes hold under two registers each,
// as when every block has an object of its own, gathering no longer pays and
// AES-NI's loop that loads each block's rows takes the walk.
//
// Each class sweeps the whole of what it is given, so a long buffer goes in
// chunks of whole periods that stay in the first-level cache, about 16 KiB each
// way: sweeping 1 MiB at once with 64 objects ran at 0.3 of one key.
constexpr std::size_t kMultiKeyChunkBytes = 16 * 1024;

// The registers of one chunk, which starts with object 0: `registers` of them, at
// least two for each of the period classes.
template <class R, bool kDecrypt>
__attribute__((always_inline)) inline void RunKeyClasses(const RoundKeyArray& keys,
                                                         std::size_t period, int rounds,
                                                         const BYTE* in, BYTE* out,
                                                         std::size_t registers) {
    using Vec = typename R::Vec;
    constexpr std::size_t kLanes = R::kBlocksPerRegister;
    constexpr std::size_t kInFlight = R::kRegistersInFlight;
    constexpr std::size_t kRegisterBytes = 16 * kLanes;
    const std::size_t step = period * kRegisterBytes;
    // The objects of the lanes of one class after another, as the blocks meet them.
    std::size_t object = 0;
    const BYTE* lanes[kLanes];
    auto nextLanes = [&]() {
        for (const BYTE*& lane : lanes) {
            lane = keys.first + object * keys.stride;
            if (++object == keys.count) object = 0;
        }
    };
    nextLanes();
    const std::size_t perClass = registers / period, extra = registers % period;
    for (std::size_t p = 0; p < period; ++p) {
        Vec k[15];
        for (int r = 0; r <= rounds; ++r) {
            k[r] = R::Gather(lanes);
            for (const BYTE*& lane : lanes) lane += kRoundKeyRowBytes;
        }
        // The next class's rows are on their way while this one runs.
        nextLanes();
        for (const BYTE* lane : lanes) {
            for (int r = 0; r <= rounds; r += 2) {
                __builtin_prefetch(lane + kRoundKeyRowBytes * std::size_t(r));
            }
        }
        const std::size_t count = perClass + (p < extra ? 1 : 0);
        const BYTE* src = in + p * kRegisterBytes;
        BYTE* dest = out + p * kRegisterBytes;
        std::size_t g = 0;
        for (; g + kInFlight <= count;
             g += kInFlight, src += kInFlight * step, dest += kInFlight * step) {
            Vec s[kInFlight];
            for (std::size_t i = 0; i < kInFlight; ++i) {
                s[i] = R::Xor(R::Load(src + i * step), k[0]);
            }
            for (int r = 1; r < rounds; ++r) {
                for (std::size_t i = 0; i < kInFlight; ++i) s[i] = R::Round(kDecrypt, s[i], k[r]);
            }
            for (std::size_t i = 0; i < kInFlight; ++i) {
                R::Store(dest + i * step, R::LastRound(kDecrypt, s[i], k[rounds]));
            }
        }
        for (; g < count; ++g, src += step, dest += step) {
            Vec s = R::Xor(R::Load(src), k[0]);
            for (int r = 1; r < rounds; ++r) s = R::Round(kDecrypt, s, k[r]);
            R::Store(dest, R::LastRound(kDecrypt, s, k[rounds]));
        }
    }
}

template <class R, bool kDecrypt>
void RunMultiKeyRegisters(const RoundKeyArray& keys, int rounds, const BYTE* in, BYTE* out,
                          std::size_t blocks) {
    constexpr std::size_t kLanes = R::kBlocksPerRegister;
    constexpr std::size_t kRegisterBytes = 16 * kLanes;
    const std::size_t period = keys.count / std::gcd(keys.count, kLanes);
    const std::size_t registers = blocks / kLanes;

    std::size_t done = 0;  // registers
    if (2 * period <= registers) {
        // A whole number of periods, so that every chunk starts with object 0.
        const std::size_t perClass = kMultiKeyChunkBytes / (period * kRegisterBytes);
        const std::size_t chunk = period * (perClass < 2 ? 2 : perClass);
        for (; registers - done >= 2 * chunk; done += chunk) {
            RunKeyClasses<R, kDecrypt>(keys, period, rounds, in + kRegisterBytes * done,
                                       out + kRegisterBytes * done, chunk);
        }
        RunKeyClasses<R, kDecrypt>(keys, period, rounds, in + kRegisterBytes * done,
                                   out + kRegisterBytes * done, registers - done);
        done = registers;
    }
    const std::size_t doneBlocks = done * kLanes;
    (kDecrypt ? AesniDecryptBlocksMultiKeyFrom : AesniEncryptBlocksMultiKeyFrom)(
        keys, doneBlocks % keys.count, rounds, in + 16 * doneBlocks, out + 16 * doneBlocks,
        blocks - doneBlocks);
}

}  // namespace sealwrit::detail

#endif
