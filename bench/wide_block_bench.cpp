// Throughput on 24- and 32-byte blocks (and, for comparison, 16-byte ones) for every
// key length, next to libmcrypt's Rijndael ECB (rijndael-128, -192, -256) encrypting
// the same buffer in one call:
//   EncryptBlock, DecryptBlock  the member calls, one block a call over 256 blocks,
//                               on every cipher path this CPU runs;
//   EncryptEcb, DecryptEcb      whole-buffer ECB through the table in one call over
//                               16 KiB (the whole blocks that fit), on each path that
//                               has an implementation of its own for the block size.
//
// Benchmarks are named OPERATION/PATH/BLOCK/KEY; libmcrypt's rows use the path name
// "libmcrypt". Every row carries vs_mcrypt: its rate divided by libmcrypt's for the
// same operation, block and key length in this run.
#include <benchmark/benchmark.h>
#include <mcrypt.h>

#include <random>
#include <string>
#include <vector>

#include "../_lib/CipherAccess.h"
#include "../_lib/backends/AesTestHooks.h"
#include "CRijnDael.h"
#include "RatioReporter.h"

using namespace sealwrit::detail;

namespace {

const char kPeer[] = "libmcrypt";
const char kRatioCounter[] = "vs_mcrypt";
const int kBlocksPerBuffer = 256;  // member calls
const int kEcbBytes = 16 * 1024;   // whole buffers, less what fills no block

std::vector<char> RandomBuffer(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<char> buffer(size);
    for (char& byte : buffer) byte = static_cast<char>(rng() & 0xFF);
    return buffer;
}

// The key only fixes the round keys; the round count, not the key, decides the work.
std::vector<char> Key(int keylength) { return RandomBuffer(std::size_t(keylength), 7u); }

struct Case {
    bool encrypt;
    int blockSize;
    int keylength;
    bool ecb;  // whole-buffer ECB rather than member calls
    std::string Name(const std::string& path) const {
        return std::string(encrypt ? "Encrypt" : "Decrypt") + (ecb ? "Ecb/" : "Block/") + path +
               "/" + std::to_string(blockSize) + "/" + std::to_string(keylength);
    }
    std::size_t Bytes() const {
        const std::size_t size = std::size_t(blockSize);
        return ecb ? kEcbBytes / size * size : size * kBlocksPerBuffer;
    }
};

// libmcrypt's ECB, opened and keyed once; null if it cannot be.
struct Mcrypt {
    explicit Mcrypt(const Case& c) {
        std::string algorithm = "rijndael-" + std::to_string(8 * c.blockSize);
        char mode[] = "ecb";
        td = mcrypt_module_open(&algorithm[0], nullptr, mode, nullptr);
        std::vector<char> key = Key(c.keylength);
        if (td != MCRYPT_FAILED && mcrypt_generic_init(td, key.data(), c.keylength, nullptr) < 0) {
            mcrypt_module_close(td);
            td = MCRYPT_FAILED;
        }
    }
    ~Mcrypt() {
        if (td == MCRYPT_FAILED) return;
        mcrypt_generic_deinit(td);
        mcrypt_module_close(td);
    }
    bool Run(bool encrypt, std::vector<char>& buffer) {
        const int n = int(buffer.size());
        return (encrypt ? mcrypt_generic(td, buffer.data(), n)
                        : mdecrypt_generic(td, buffer.data(), n)) == 0;
    }
    MCRYPT td;
};

void RunBlocks(const CRijnDael& cipher, bool encrypt, const char* in, char* out, std::size_t size) {
    const std::size_t step = std::size_t(cipher.GetBlockSize());
    for (std::size_t at = 0; at < size; at += step) {
        if (encrypt) {
            cipher.EncryptBlock(in + at, out + at);
        } else {
            cipher.DecryptBlock(in + at, out + at);
        }
    }
}

void RunOurs(const CRijnDael& cipher, const Case& c, const char* in, char* out, std::size_t size) {
    if (!c.ecb) return RunBlocks(cipher, c.encrypt, in, out, size);
    CipherAccess::Ecb(cipher, !c.encrypt, reinterpret_cast<const BYTE*>(in),
                      reinterpret_cast<BYTE*>(out), size / std::size_t(c.blockSize));
}

void BenchMcrypt(benchmark::State& state, Case c) {
    Mcrypt peer(c);
    std::vector<char> buffer = RandomBuffer(c.Bytes(), 1u);
    if (peer.td == MCRYPT_FAILED) state.SkipWithError("libmcrypt cannot be set up");
    for (auto _ : state) {
        if (!peer.Run(c.encrypt, buffer)) state.SkipWithError("libmcrypt failed");
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(buffer.size()));
}

void BenchOurs(benchmark::State& state, const AesPath* path, Case c) {
    SelectAesOperationsForTesting(&path->operations);
    CRijnDael cipher;
    const std::vector<char> key = Key(c.keylength);
    cipher.SetKey(key.data(), c.keylength, c.blockSize);
    const std::vector<char> in = RandomBuffer(c.Bytes(), 1u);
    std::vector<char> out(in.size()), theirs = in;
    // Figures from a path that computes something else would be worthless.
    RunOurs(cipher, c, in.data(), out.data(), in.size());
    Mcrypt peer(c);
    if (peer.td == MCRYPT_FAILED || !peer.Run(c.encrypt, theirs) || out != theirs) {
        state.SkipWithError("this path's output differs from libmcrypt's");
    }
    for (auto _ : state) {
        RunOurs(cipher, c, in.data(), out.data(), in.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(in.size()));
}

// Every row against libmcrypt's row of the same case.
std::string PeerRow(const std::vector<std::string>& fields) { return WithPath(fields, kPeer); }

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    const AesOperations* defaultOperations = &ActiveOperations();
    const AesPathList paths = AvailableAesPaths();
    std::vector<Case> cases;
    for (bool ecb : {false, true}) {
        for (bool encrypt : {true, false}) {
            for (int blockSize : {16, 24, 32}) {
                for (int keylength : {16, 24, 32})
                    cases.push_back({encrypt, blockSize, keylength, ecb});
            }
        }
    }
    // Each case's rows one after another, libmcrypt's first, so that a ratio compares
    // runs close in time on a machine that may be doing other work.
    for (const Case& c : cases) {
        benchmark::RegisterBenchmark(c.Name(kPeer).c_str(), BenchMcrypt, c);
        for (const AesPath& path : paths) {
            // A path whose ECB is a narrower family's would repeat that family's row.
            const AesOperation op = c.blockSize == 16 ? kBlocksOp : kWideBlocksOp;
            if (c.ecb && kFamilyNames[path.operations.family[op]] != std::string(path.name)) {
                continue;
            }
            benchmark::RegisterBenchmark(c.Name(path.name).c_str(), BenchOurs, &path, c);
        }
    }
    RatioReporter display(benchmark::CreateDefaultDisplayReporter(), kRatioCounter, PeerRow);
    benchmark::RunSpecifiedBenchmarks(&display);
    benchmark::Shutdown();
    SelectAesOperationsForTesting(defaultOperations);
    return 0;
}
