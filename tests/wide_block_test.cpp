// 24- and 32-byte blocks through long chains of operations and whole buffers against
// libmcrypt, and one keyed object shared by several threads, on every path.
#include <gtest/gtest.h>
#include <mcrypt.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "Oracles.h"
#include "TestSupport.h"

namespace {

// A Monte Carlo test as NIST runs them: 100 keys, under each 1000 operations, every
// output the next input; then the key is XORed with the last keylength bytes of the
// two last outputs. A state carried from one call to the next, or a byte move right in
// some rounds and wrong in others, shows long before the end. Answers: the last output
// under each key.
template <class Keyer, class Step>
std::vector<std::string> MonteCarlo(int blockSize, int keylength, Keyer setKey, Step step) {
    std::mt19937_64 rng(std::uint64_t(blockSize * 64 + keylength));
    Bytes key = RandomBytes(rng, std::size_t(keylength));
    Bytes outputs = RandomBytes(rng, 2 * std::size_t(blockSize));  // the last two
    char* const last = outputs.data() + blockSize;
    std::vector<std::string> answers;
    for (int k = 0; k < 100; ++k) {
        setKey(key);
        for (int j = 0; j < 1000; ++j) {
            std::copy(last, last + blockSize, outputs.data());
            step(last);
        }
        for (int i = 0; i < keylength; ++i) key[i] ^= outputs[outputs.size() - keylength + i];
        answers.push_back(ToHex(Bytes(last, last + blockSize)));
    }
    return answers;
}

// libmcrypt's answers, with one handle per chain.
std::vector<std::string> McryptMonteCarlo(bool encrypt, int blockSize, int keylength) {
    std::string algorithm = "rijndael-" + std::to_string(8 * blockSize), mode = "ecb";
    MCRYPT td = mcrypt_module_open(&algorithm[0], nullptr, &mode[0], nullptr);
    bool keyed = false;
    const auto answers = MonteCarlo(
        blockSize, keylength,
        [&](Bytes key) {
            if (keyed) mcrypt_generic_deinit(td);
            keyed = mcrypt_generic_init(td, key.data(), keylength, nullptr) >= 0;
        },
        [&](char* text) {
            encrypt ? mcrypt_generic(td, text, blockSize) : mdecrypt_generic(td, text, blockSize);
        });
    if (keyed) mcrypt_generic_deinit(td);
    mcrypt_module_close(td);
    return answers;
}

typedef PathTest WideBlocks;

TEST_P(WideBlocks, MonteCarloChainsAgreeWithMcrypt) {
    for (bool encrypt : {true, false}) {
        for (int blockSize : {24, 32}) {
            for (int keylength : {16, 24, 32}) {
                SCOPED_TRACE(std::string(encrypt ? "encrypt " : "decrypt ") +
                             std::to_string(blockSize) + "/" + std::to_string(keylength));
                CRijnDael cipher;
                const auto ours = MonteCarlo(
                    blockSize, keylength,
                    [&](Bytes key) { cipher.SetKey(key.data(), keylength, blockSize); },
                    [&](char* text) { CryptBlock(encrypt, cipher, text, text); });
                EXPECT_EQ(ours, McryptMonteCarlo(encrypt, blockSize, keylength));
            }
        }
    }
}

// Whole buffers through the table's ECB against libmcrypt (the known-answer suite
// holds them to the lone-block calls in the cross builds too).
TEST_P(WideBlocks, WholeBuffersAgreeWithMcrypt) {
    std::mt19937_64 rng(46);
    CheckWholeWideBuffersEcb(rng,
                             [](const CRijnDael& cipher, const Bytes& key, const Bytes& plain) {
                                 return McryptRijndael(true, cipher.GetBlockSize(), key, plain);
                             });
}

// Every operation only reads the keyed object, so threads sharing it get what one
// thread alone gets: blocks, and the chaining modes' one-shot calls.
TEST_P(WideBlocks, OneKeyedObjectServesManyThreadsAtOnce) {
    std::mt19937_64 rng(45);
    for (int blockSize : {16, 24, 32}) {
        const Bytes key = RandomBytes(rng, 32), plain = RandomBytes(rng, 2000u * blockSize);
        const Bytes iv = RandomBytes(rng, std::size_t(blockSize));
        CRijnDael cipher;
        cipher.SetKey(key.data(), blockSize, blockSize);
        const auto run = [&] {
            std::vector<Bytes> out = {CryptBlocks(true, cipher, plain),
                                      CryptBlocks(false, cipher, plain)};
            for (auto mode : {CRijnDaelMode::CBC, CRijnDaelMode::CFB, CRijnDaelMode::CTR}) {
                for (bool decrypt : {false, true}) {
                    Bytes sealed(plain.size() + std::size_t(blockSize));
                    std::size_t written = 0;
                    (decrypt ? CRijnDaelMode::Decrypt : CRijnDaelMode::Encrypt)(
                        cipher, mode, CRijnDaelMode::NONE, iv.data(), plain.data(), plain.size(),
                        sealed.data(), &written, 0);
                    out.push_back(sealed);
                }
            }
            return out;
        };
        const std::vector<Bytes> alone = run();
        std::vector<std::vector<Bytes>> got(4);
        std::vector<std::thread> threads;
        std::atomic<int> started(0);
        for (auto& mine : got) {
            threads.emplace_back([&] {
                for (++started; started < 4;) std::this_thread::yield();  // all run at once
                for (int pass = 0; pass < 4; ++pass) mine = run();
            });
        }
        for (std::thread& t : threads) t.join();
        for (const auto& mine : got) EXPECT_TRUE(mine == alone) << blockSize << "-byte blocks";
    }
}

INSTANTIATE_PATHS(WideBlocks);

}  // namespace
