// CRijnDaelMode against libmcrypt in every mode it has, for every block and key size,
// and against OpenSSL's AES modes, on every cipher path, in one call and in pieces;
// and ISO 10126 when the operating system gives no random bytes.
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>

#include <cerrno>
#include <cstddef>

#include "Oracles.h"

namespace {

typedef CRijnDaelMode M;

// Every length up to two blocks, and around the first chunk boundary and a few blocks
// past it.
std::vector<std::size_t> Lengths(std::size_t block) {
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 2 * block + 1; ++n) lengths.push_back(n);
    const std::size_t chunk = 4096 / block * block;
    for (std::size_t n : {chunk - block - 1, chunk, chunk + 1, chunk + 3 * block + 5})
        lengths.push_back(n);
    return lengths;
}

typedef PathTest ModeOracles;

// ECB and CBC against libmcrypt on zero-padded text, as PHP's mcrypt_encrypt pads.
TEST_P(ModeOracles, EveryMcryptMode) {
    const std::pair<const char*, ModeShape> modes[] = {
        {"ecb", {M::ECB, M::ZEROS, 0}}, {"cbc", {M::CBC, M::ZEROS, 0}},
        {"cfb", {M::CFB, M::NONE, 1}},  {"ncfb", {M::CFB, M::NONE, 0}},
        {"ofb", {M::OFB, M::NONE, 1}},  {"nofb", {M::OFB, M::NONE, 0}},
        {"ctr", {M::CTR, M::NONE, 0}}};
    std::mt19937_64 rng(5);
    for (int blockSize : {16, 24, 32}) {
        for (int keyLength : {16, 24, 32}) {
            const Bytes key = RandomBytes(rng, std::size_t(keyLength));
            CRijnDael cipher;
            cipher.SetKey(key.data(), keyLength, blockSize);
            for (const auto& [name, shape] : modes) {
                for (const std::size_t n : Lengths(std::size_t(blockSize))) {
                    SCOPED_TRACE(testing::Message() << name << " " << blockSize << "/" << keyLength
                                                    << ", " << n << " bytes");
                    const Bytes iv = RandomBytes(rng, std::size_t(blockSize));
                    const Bytes plain = RandomBytes(rng, n);
                    Bytes padded = plain;
                    if (shape.padding == M::ZEROS)
                        padded.resize((n + blockSize - 1) / blockSize * blockSize);
                    const Bytes sealed = McryptRijndael(true, blockSize, key, padded, name, iv);
                    ExpectModeAnswer(cipher, shape, iv, plain, sealed, rng, padded);
                }
            }
        }
    }
}

TEST_P(ModeOracles, OpensslAes) {
    const std::pair<const char*, ModeShape> modes[] = {
        {"ecb", {M::ECB, M::PKCS7, 0}}, {"cbc", {M::CBC, M::PKCS7, 0}},
        {"ecb", {M::ECB, M::NONE, 0}},  {"cbc", {M::CBC, M::NONE, 0}},
        {"cfb8", {M::CFB, M::NONE, 1}}, {"cfb", {M::CFB, M::NONE, 0}},
        {"ofb", {M::OFB, M::NONE, 0}},  {"ctr", {M::CTR, M::NONE, 0}}};
    std::mt19937_64 rng(6);
    for (int keyLength : {16, 24, 32}) {
        const Bytes key = RandomBytes(rng, std::size_t(keyLength));
        CRijnDael cipher;
        cipher.SetKey(key.data(), keyLength, 16);
        for (const auto& [name, shape] : modes) {
            const std::string evp = "aes-" + std::to_string(8 * keyLength) + "-" + name;
            for (const std::size_t n : Lengths(16)) {
                if (shape.padding == M::NONE && shape.mode <= M::CBC && n % 16 != 0) continue;
                SCOPED_TRACE(testing::Message() << evp << " " << shape.padding << ", " << n);
                const Bytes iv = RandomBytes(rng, 16), plain = RandomBytes(rng, n);
                const Bytes sealed =
                    OpensslCipher(true, evp, key, shape.mode == M::ECB ? Bytes() : iv, plain,
                                  shape.padding == M::PKCS7);
                ExpectModeAnswer(cipher, shape, iv, plain, sealed, rng);
            }
        }
    }
}

INSTANTIATE_PATHS(ModeOracles);

// getrandom refused by a seccomp filter, as a sandbox may; then no file can be opened
// either, so /dev/urandom is out of reach too.
TEST(IsoFiller, NoRandomBytesIsRefusedNotFaked) {
    const auto run = [](bool noFiles) {
        sock_filter rules[] = {BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
                               BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_getrandom, 0, 1),
                               BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
                               BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW)};
        sock_fprog program = {sizeof rules / sizeof rules[0], rules};
        const rlimit none = {0, 0};
        if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
            prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0 ||
            (noFiles && setrlimit(RLIMIT_NOFILE, &none) != 0)) {
            std::_Exit(100);
        }
        CRijnDael key;
        key.SetKey(Bytes(16).data(), 16, 16);
        Bytes out(48), again(48);
        std::size_t written = 0;
        const M::Result first =
            M::Encrypt(key, M::ECB, M::ISO10126, nullptr, out.data(), 1, out.data(), &written);
        M::Encrypt(key, M::ECB, M::ISO10126, nullptr, again.data(), 1, again.data(), &written);
        std::_Exit(first == M::SUCCESS ? (out == again ? 102 : 0) : first + 10);
    };
    EXPECT_EXIT(run(false), testing::ExitedWithCode(0), "");  // /dev/urandom
    EXPECT_EXIT(run(true), testing::ExitedWithCode(10 + M::NO_RANDOMNESS), "");
}

}  // namespace
