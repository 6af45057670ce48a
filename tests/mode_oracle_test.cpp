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

// Every length up to two blocks, around what wide registers and the groups of them in
// flight hold (4 and 16 blocks), and around the first chunk boundary and a few blocks
// past it.
std::vector<std::size_t> Lengths(std::size_t block) {
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 2 * block + 1; ++n) lengths.push_back(n);
    for (std::size_t blocks : {7, 8, 17, 35}) lengths.push_back(blocks * block + blocks % 2);
    const std::size_t chunk = 4096 / block * block;
    for (std::size_t n : {chunk - block - 1, chunk, chunk + 1, chunk + 3 * block + 5})
        lengths.push_back(n);
    return lengths;
}

typedef PathTest ModeOracles;

// libmcrypt's modes (ECB and CBC on zero-padded text, as PHP's mcrypt_encrypt pads) for
// every block size, and OpenSSL's AES modes with "aes-" names, for 16-byte blocks.
TEST_P(ModeOracles, AgreeWithMcryptAndOpenssl) {
    const std::pair<const char*, ModeShape> modes[] = {
        {"ecb", {M::ECB, M::ZEROS, 0}},     {"cbc", {M::CBC, M::ZEROS, 0}},
        {"cfb", {M::CFB, M::NONE, 1}},      {"ncfb", {M::CFB, M::NONE, 0}},
        {"ofb", {M::OFB, M::NONE, 1}},      {"nofb", {M::OFB, M::NONE, 0}},
        {"ctr", {M::CTR, M::NONE, 0}},      {"aes-ecb", {M::ECB, M::PKCS7, 0}},
        {"aes-cbc", {M::CBC, M::PKCS7, 0}}, {"aes-ecb", {M::ECB, M::NONE, 0}},
        {"aes-cbc", {M::CBC, M::NONE, 0}},  {"aes-cfb8", {M::CFB, M::NONE, 1}},
        {"aes-cfb", {M::CFB, M::NONE, 0}},  {"aes-ofb", {M::OFB, M::NONE, 0}},
        {"aes-ctr", {M::CTR, M::NONE, 0}}};
    std::mt19937_64 rng(5);
    for (const std::size_t block : {16, 24, 32}) {
        for (const std::size_t keyLength : {16, 24, 32}) {
            const Bytes key = RandomBytes(rng, keyLength);
            CRijnDael cipher;
            cipher.SetKey(key.data(), int(keyLength), int(block));
            for (const auto& [name, shape] : modes) {
                const std::string mode = name;
                const bool evp = mode.compare(0, 4, "aes-") == 0;
                for (const std::size_t n : Lengths(block)) {
                    if (evp && (block != 16 || (shape.mode <= M::CBC && !shape.padding && n % 16)))
                        continue;
                    SCOPED_TRACE(testing::Message() << name << " " << shape.padding << " " << block
                                                    << "/" << keyLength << ", " << n << " bytes");
                    const Bytes iv = RandomBytes(rng, block), plain = RandomBytes(rng, n);
                    Bytes padded = plain;
                    if (shape.padding == M::ZEROS) padded.resize((n + block - 1) / block * block);
                    const Bytes sealed =
                        evp ? OpensslCipher(true,
                                            "aes-" + std::to_string(8 * keyLength) + mode.substr(3),
                                            key, shape.mode == M::ECB ? Bytes() : iv, plain,
                                            shape.padding == M::PKCS7)
                            : McryptRijndael(true, int(block), key, padded, name, iv);
                    ExpectModeAnswer(cipher, shape, iv, plain, sealed, rng, padded);
                }
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
