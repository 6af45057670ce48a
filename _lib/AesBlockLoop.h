// The block loop the AES-instruction back ends share: whole registers of 16-byte
// blocks through the rounds, several registers in flight to cover the instructions'
// latency.
//
// Each back end includes this in its own source file, compiled with its own
// instruction flags, and instantiates it with a description of its registers that
// lives in that file's anonymous namespace. Every instantiation is therefore that
// file's own, and code built for wide registers cannot stand in for another's.
//
// A register description R gives:
//   Vec                                       the register type
//   kBlocksPerRegister, kRegistersInFlight
//   Broadcast(row)                            a 16-byte round key in every lane
//   Load(p), Store(p, v), Xor(a, b)
//   Round(decrypt, s, k), LastRound(decrypt, s, k)
#ifndef SEALWRIT_AES_BLOCK_LOOP_H
#define SEALWRIT_AES_BLOCK_LOOP_H

#include <cstddef>

#include "AesX86Backends.h"

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

// The VAES back ends' entry points. Below two registers' worth of blocks,
// broadcasting the round keys costs more than the wide registers save (one block
// took 14 ns on 512-bit registers against 9 ns with AES-NI), so AES-NI takes them;
// it also does the last blocks that fill no register.
template <class R, bool kDecrypt>
void RunWideBlocks(const RoundKeyRow* rk, int rounds, const BYTE* in, BYTE* out,
                   std::size_t blocks) {
    std::size_t done = 0;
    if (blocks >= 2 * R::kBlocksPerRegister) {
        done = RunWholeRegisters<R>(kDecrypt, rk, rounds, in, out, blocks);
    }
    (kDecrypt ? AesniDecryptBlocks : AesniEncryptBlocks)(rk, rounds, in + 16 * done,
                                                         out + 16 * done, blocks - done);
}

#endif
