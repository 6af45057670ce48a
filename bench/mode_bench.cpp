// Throughput of CRijnDaelMode's one-shot Encrypt and Decrypt on 16 KiB (whole blocks)
// in each of libmcrypt's modes, for every block size and key length, next to
// libmcrypt's same mode over the same buffer, OpenSSL's EVP for the AES modes it has,
// and a loop of the member block calls that every mode's work comes down to.
//
// Benchmarks are named OPERATION/WHO/MODE/BLOCK/KEY, WHO being a cipher path (every
// path this CPU runs; the paths below the default one with a key as long as the
// block, or 16 bytes for 16-byte blocks), "libmcrypt", "openssl" or "blocks" (the mode
// written on the member block calls, on the default path). Every row carries
// vs_mcrypt: its rate divided by libmcrypt's for the same operation, mode, block and
// key in this run.
#include <benchmark/benchmark.h>
#include <mcrypt.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "../_lib/backends/AesTestHooks.h"
#include "CRijnDael.h"
#include "CRijnDaelMode.h"
#include "RatioReporter.h"

using namespace sealwrit::detail;

namespace {

typedef CRijnDaelMode M;

struct Mode {
    const char* mcrypt;
    M::Mode mode;
    int segment;          // 0: the block
    const char* openssl;  // the AES mode's name, or null
};
const Mode kModes[] = {{"ecb", M::ECB, 0, "ecb"},   {"cbc", M::CBC, 0, "cbc"},
                       {"cfb", M::CFB, 1, "cfb8"},  {"ncfb", M::CFB, 0, "cfb"},
                       {"ofb", M::OFB, 1, nullptr}, {"nofb", M::OFB, 0, "ofb"},
                       {"ctr", M::CTR, 0, "ctr"}};

std::vector<char> RandomBuffer(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<char> buffer(size);
    for (char& byte : buffer) byte = static_cast<char>(rng() & 0xFF);
    return buffer;
}

std::size_t Length(int block) { return 16384 / std::size_t(block) * std::size_t(block); }

std::string Name(bool encrypt, const char* who, const char* mode, int block, int keyLength) {
    return std::string(encrypt ? "Encrypt/" : "Decrypt/") + who + "/" + mode + "/" +
           std::to_string(block) + "/" + std::to_string(keyLength);
}

const AesPathList& Paths() {
    static const AesPathList paths = AvailableAesPaths();
    return paths;
}

void Count(benchmark::State& state, std::size_t bytes) {
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(bytes));
}

void BenchOurs(benchmark::State& state, const AesPath* path, bool encrypt, Mode mode, int block,
               int keyLength) {
    SelectAesOperationsForTesting(&path->operations);
    CRijnDael key;
    key.SetKey(RandomBuffer(32, 7).data(), keyLength, block);
    const std::vector<char> iv = RandomBuffer(32, 8), in = RandomBuffer(Length(block), 1);
    std::vector<char> out(in.size() + 32);
    std::size_t written = 0;
    for (auto _ : state) {
        const M::Result result =
            (encrypt ? M::Encrypt : M::Decrypt)(key, mode.mode, M::NONE, iv.data(), in.data(),
                                                in.size(), out.data(), &written, mode.segment);
        if (result != M::SUCCESS || written != in.size()) state.SkipWithError("refused");
        benchmark::ClobberMemory();
    }
    Count(state, in.size());
}

// libmcrypt's mode, opened and keyed once; the chain runs on from one pass to the next.
void BenchMcrypt(benchmark::State& state, bool encrypt, Mode mode, int block, int keyLength) {
    std::string algorithm = "rijndael-" + std::to_string(8 * block), name = mode.mcrypt;
    MCRYPT td = mcrypt_module_open(&algorithm[0], nullptr, &name[0], nullptr);
    std::vector<char> key = RandomBuffer(32, 7), iv = RandomBuffer(32, 8);
    std::vector<char> buffer = RandomBuffer(Length(block), 1);
    if (td == MCRYPT_FAILED || mcrypt_generic_init(td, key.data(), keyLength, iv.data()) < 0) {
        state.SkipWithError("libmcrypt cannot be set up");
        return;
    }
    for (auto _ : state) {
        const int n = int(buffer.size());
        if ((encrypt ? mcrypt_generic(td, buffer.data(), n)
                     : mdecrypt_generic(td, buffer.data(), n)))
            state.SkipWithError("libmcrypt failed");
        benchmark::ClobberMemory();
    }
    mcrypt_generic_deinit(td);
    mcrypt_module_close(td);
    Count(state, buffer.size());
}

void BenchOpenssl(benchmark::State& state, bool encrypt, Mode mode, int block, int keyLength) {
    const std::string name = "aes-" + std::to_string(8 * keyLength) + "-" + mode.openssl;
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                        &EVP_CIPHER_CTX_free);
    const std::vector<char> key = RandomBuffer(32, 7), iv = RandomBuffer(32, 8);
    const std::vector<char> in = RandomBuffer(Length(block), 1);
    std::vector<unsigned char> out(in.size() + 32);
    if (EVP_CipherInit_ex(ctx.get(), EVP_get_cipherbyname(name.c_str()), nullptr,
                          reinterpret_cast<const unsigned char*>(key.data()),
                          reinterpret_cast<const unsigned char*>(iv.data()), encrypt) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1) {
        state.SkipWithError("OpenSSL cannot be set up");
        return;
    }
    for (auto _ : state) {
        int written = 0;
        EVP_CipherUpdate(ctx.get(), out.data(), &written,
                         reinterpret_cast<const unsigned char*>(in.data()), int(in.size()));
        benchmark::ClobberMemory();
    }
    Count(state, in.size());
}

// The mode as a caller would write it on the member block calls: one call a block,
// and the chaining in plain loops around it.
void MemberLoop(const CRijnDael& key, bool encrypt, const Mode& mode, int block, const char* iv,
                const char* in, char* out, std::size_t n) {
    const std::size_t size = std::size_t(block);
    const std::size_t step = mode.mode == M::CFB || mode.mode == M::OFB
                                 ? std::size_t(mode.segment ? mode.segment : block)
                                 : size;
    char reg[32], stream[32];
    std::memcpy(reg, iv, size);
    for (std::size_t at = 0; at < n; at += step) {
        const char* from = in + at;
        char* to = out + at;
        switch (mode.mode) {
            case M::ECB:
                encrypt ? key.EncryptBlock(from, to) : key.DecryptBlock(from, to);
                continue;
            case M::CBC:
                if (encrypt) {
                    for (std::size_t i = 0; i < size; ++i) reg[i] ^= from[i];
                    key.EncryptBlock(reg, to);
                    std::memcpy(reg, to, size);
                } else {
                    key.DecryptBlock(from, stream);
                    for (std::size_t i = 0; i < size; ++i) to[i] = char(stream[i] ^ reg[i]);
                    std::memcpy(reg, from, size);
                }
                continue;
            default:
                key.EncryptBlock(reg, stream);
                for (std::size_t i = 0; i < step; ++i) to[i] = char(from[i] ^ stream[i]);
        }
        if (mode.mode == M::CTR) {
            for (std::size_t i = size; i-- > 0 && ++reg[i] == 0;) {
            }
            continue;
        }
        const char* back = mode.mode == M::OFB ? stream : encrypt ? to : from;
        std::memmove(reg, reg + step, size - step);
        std::memcpy(reg + size - step, back, step);
    }
}

void BenchBlocks(benchmark::State& state, bool encrypt, Mode mode, int block, int keyLength) {
    SelectAesOperationsForTesting(&Paths().back().operations);
    CRijnDael key;
    key.SetKey(RandomBuffer(32, 7).data(), keyLength, block);
    const std::vector<char> iv = RandomBuffer(32, 8), in = RandomBuffer(Length(block), 1);
    std::vector<char> out(in.size()), ours(in.size() + 32);
    // A reference that computes something else would make the comparison worthless.
    std::size_t written = 0;
    MemberLoop(key, encrypt, mode, block, iv.data(), in.data(), out.data(), in.size());
    (encrypt ? M::Encrypt : M::Decrypt)(key, mode.mode, M::NONE, iv.data(), in.data(), in.size(),
                                        ours.data(), &written, mode.segment);
    if (!std::equal(out.begin(), out.end(), ours.begin()))
        state.SkipWithError("the member loop's output differs from CRijnDaelMode's");
    for (auto _ : state) {
        MemberLoop(key, encrypt, mode, block, iv.data(), in.data(), out.data(), in.size());
        benchmark::ClobberMemory();
    }
    Count(state, in.size());
}

// Every row against libmcrypt's row of the same operation, mode and block.
std::string PeerRow(const std::vector<std::string>& fields) {
    return WithPath(fields, "libmcrypt");
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::AddCustomContext("default_path", AvailableAesPaths().back().name);
    benchmark::AddCustomContext("openssl_version", OpenSSL_version(OPENSSL_VERSION));
    const AesPath& defaultPath = Paths().back();
    for (bool encrypt : {true, false}) {
        for (int block : {16, 24, 32}) {
            for (int keyLength : {16, 24, 32}) {
                if (block == 16 && keyLength == 24) continue;  // AES-192: no target, no row
                const bool everyPath = keyLength == block || (block == 16 && keyLength == 16);
                for (const Mode& mode : kModes) {
                    const auto add = [&](const char* who, auto bench, auto... args) {
                        benchmark::RegisterBenchmark(
                            Name(encrypt, who, mode.mcrypt, block, keyLength).c_str(), bench,
                            args..., encrypt, mode, block, keyLength);
                    };
                    add("libmcrypt", BenchMcrypt);
                    if (block == 16 && mode.openssl != nullptr) add("openssl", BenchOpenssl);
                    if (everyPath) add("blocks", BenchBlocks);
                    for (const AesPath& path : Paths()) {
                        if (everyPath || &path == &defaultPath) add(path.name, BenchOurs, &path);
                    }
                }
            }
        }
    }
    RatioReporter display(benchmark::CreateDefaultDisplayReporter(), "vs_mcrypt", PeerRow);
    benchmark::RunSpecifiedBenchmarks(&display);
    benchmark::Shutdown();
    return 0;
}
