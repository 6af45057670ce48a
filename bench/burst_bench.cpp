// CRijnDaelMode's one-shot calls as programs make them: not only back to back, but
// after a spell of other work. Some CPUs power their wide vector units down after
// about a millisecond without wide instructions, and the first wide instructions
// after that run slowly, so a path's speed back to back says little about a message
// that comes now and then.
//
// Three regimes, each at 1 KiB, 16 KiB and 128 KiB (the whole blocks that fit):
//   burst:  messages back to back, in batches of at least 256 KiB;
//   one:    one message after about 1 ms of scalar work;
//   few:    8 messages after about 1 ms of scalar work.
// Each sample times the messages alone (the pause is not counted), and a row's time is
// the median of its samples, so a sample the machine's other work interrupted does not
// move it.
//
// Benchmarks are named REGIME/OPERATION/WHO/BYTES; WHO is a cipher path (every path
// this CPU runs, the last CRijnDael's own choice), or at 16 KiB "libmcrypt" and, for
// 16-byte blocks, "openssl" (EVP, its IV set again for every message as ours is). The
// key is as long as the block. Every row carries vs_default: its rate over the default
// path's in the same run.
#include <benchmark/benchmark.h>
#include <mcrypt.h>
#include <openssl/evp.h>

#include <algorithm>
#include <chrono>
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
typedef std::chrono::steady_clock Clock;

struct Operation {
    const char* name;
    int block;
    M::Mode mode;
    int segment;
    bool encrypt;
    const char* mcrypt;   // libmcrypt's mode
    const char* openssl;  // OpenSSL's AES mode for 16-byte blocks, or null
};
const Operation kOperations[] = {
    {"ecb16", 16, M::ECB, 0, true, "ecb", "ecb"},
    {"cbcdec16", 16, M::CBC, 0, false, "cbc", "cbc"},
    {"ctr16", 16, M::CTR, 0, true, "ctr", "ctr"},
    {"cbcenc16", 16, M::CBC, 0, true, "cbc", "cbc"},
    {"ecb24", 24, M::ECB, 0, true, "ecb", nullptr},
    {"cbcdec24", 24, M::CBC, 0, false, "cbc", nullptr},
    {"ctr24", 24, M::CTR, 0, true, "ctr", nullptr},
    {"cbcenc24", 24, M::CBC, 0, true, "cbc", nullptr},
    {"cfb1_24", 24, M::CFB, 1, true, "cfb", nullptr},
    {"ecb32", 32, M::ECB, 0, true, "ecb", nullptr},
    {"cbcdec32", 32, M::CBC, 0, false, "cbc", nullptr},
    {"ctr32", 32, M::CTR, 0, true, "ctr", nullptr},
    {"cbcenc32", 32, M::CBC, 0, true, "cbc", nullptr},
    {"cfb1_32", 32, M::CFB, 1, true, "cfb", nullptr},
};

enum Regime { kBurst, kOne, kFew };
const char* const kRegimeNames[] = {"burst", "one", "few"};
constexpr int kFewMessages = 8;
constexpr std::size_t kBurstBytes = 256 * 1024;

std::vector<char> RandomBuffer(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<char> buffer(size);
    for (char& byte : buffer) byte = static_cast<char>(rng() & 0xFF);
    return buffer;
}

// About a millisecond of work in general registers alone: a multiply chain, checking
// the clock now and then (which reads the time stamp counter, also scalar).
volatile std::uint64_t g_sink;
void ScalarWork() {
    const Clock::time_point until = Clock::now() + std::chrono::microseconds(1000);
    std::uint64_t x = g_sink | 1;
    do {
        for (int i = 0; i < 256; ++i) x = x * 6364136223846793005u + 1442695040888963407u;
    } while (Clock::now() < until);
    g_sink = x;
}

// Samples of `messages` calls of `run` (one message each), in the regime's way, until
// enough are in or the row has had its time; the median sample is the row's time.
template <class Run>
void Measure(benchmark::State& state, Regime regime, std::size_t bytes, Run run) {
    const int messages = regime == kOne   ? 1
                         : regime == kFew ? kFewMessages
                                          : int(std::max<std::size_t>(1, kBurstBytes / bytes));
    const int wanted = regime == kOne ? 41 : 15;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(400);
    if (regime == kBurst) {
        for (int m = 0; m < messages; ++m) run();  // warm
    }
    std::vector<double> samples;
    for (auto _ : state) {
        while (int(samples.size()) < wanted && (samples.size() < 5 || Clock::now() < deadline)) {
            if (regime != kBurst) ScalarWork();
            const Clock::time_point start = Clock::now();
            for (int m = 0; m < messages; ++m) run();
            samples.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        }
        std::nth_element(samples.begin(), samples.begin() + samples.size() / 2, samples.end());
        state.SetIterationTime(samples[samples.size() / 2]);
    }
    state.SetBytesProcessed(std::int64_t(bytes) * messages);
    state.counters["samples"] = double(samples.size());
}

std::size_t Length(const Operation& op, std::size_t size) {
    return size / std::size_t(op.block) * std::size_t(op.block);
}

void BenchOurs(benchmark::State& state, const AesPath* path, Operation op, Regime regime,
               std::size_t size) {
    SelectAesOperationsForTesting(&path->operations);
    CRijnDael key;
    key.SetKey(RandomBuffer(32, 7).data(), op.block, op.block);
    const std::vector<char> iv = RandomBuffer(32, 8), in = RandomBuffer(Length(op, size), 1);
    std::vector<char> out(in.size() + 32);
    bool failed = false;
    Measure(state, regime, in.size(), [&] {
        std::size_t written = 0;
        failed |= (op.encrypt ? M::Encrypt : M::Decrypt)(key, op.mode, M::NONE, iv.data(),
                                                         in.data(), in.size(), out.data(), &written,
                                                         op.segment) != M::SUCCESS;
        benchmark::DoNotOptimize(out.data());
    });
    if (failed) state.SkipWithError("refused");
}

// libmcrypt's mode, keyed once; the chain runs on from one message to the next.
void BenchMcrypt(benchmark::State& state, Operation op, Regime regime, std::size_t size) {
    std::string algorithm = "rijndael-" + std::to_string(8 * op.block), name = op.mcrypt;
    MCRYPT td = mcrypt_module_open(&algorithm[0], nullptr, &name[0], nullptr);
    std::vector<char> key = RandomBuffer(32, 7), iv = RandomBuffer(32, 8);
    std::vector<char> buffer = RandomBuffer(Length(op, size), 1);
    if (td == MCRYPT_FAILED || mcrypt_generic_init(td, key.data(), op.block, iv.data()) < 0) {
        state.SkipWithError("libmcrypt cannot be set up");
        return;
    }
    Measure(state, regime, buffer.size(), [&] {
        const int n = int(buffer.size());
        (op.encrypt ? mcrypt_generic : mdecrypt_generic)(td, buffer.data(), n);
        benchmark::DoNotOptimize(buffer.data());
    });
    mcrypt_generic_deinit(td);
    mcrypt_module_close(td);
}

void BenchOpenssl(benchmark::State& state, Operation op, Regime regime, std::size_t size) {
    const std::string name = std::string("aes-128-") + op.openssl;
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                        &EVP_CIPHER_CTX_free);
    const std::vector<char> key = RandomBuffer(32, 7), iv = RandomBuffer(32, 8);
    const std::vector<char> in = RandomBuffer(Length(op, size), 1);
    std::vector<unsigned char> out(in.size() + 32);
    const auto bytes = [](const std::vector<char>& v) {
        return reinterpret_cast<const unsigned char*>(v.data());
    };
    if (EVP_CipherInit_ex(ctx.get(), EVP_get_cipherbyname(name.c_str()), nullptr, bytes(key),
                          bytes(iv), op.encrypt) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1) {
        state.SkipWithError("OpenSSL cannot be set up");
        return;
    }
    Measure(state, regime, in.size(), [&] {
        int written = 0;
        EVP_CipherInit_ex(ctx.get(), nullptr, nullptr, nullptr, bytes(iv), -1);
        EVP_CipherUpdate(ctx.get(), out.data(), &written, bytes(in), int(in.size()));
        benchmark::DoNotOptimize(out.data());
    });
}

std::string g_defaultPath;
std::string AgainstDefault(const std::vector<std::string>& fields) {
    if (fields.size() != 4) return "";
    return fields[0] + "/" + fields[1] + "/" + g_defaultPath + "/" + fields[3];
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    static const AesPathList paths = AvailableAesPaths();
    g_defaultPath = paths.back().name;
    benchmark::AddCustomContext("default_path", g_defaultPath);
    for (Regime regime : {kBurst, kOne, kFew}) {
        for (const Operation& op : kOperations) {
            for (std::size_t size : {1024u, 16384u, 131072u}) {
                const auto add = [&](const std::string& who, auto bench, auto... args) {
                    const std::string name = std::string(kRegimeNames[regime]) + "/" + op.name +
                                             "/" + who + "/" + std::to_string(size);
                    benchmark::RegisterBenchmark(name.c_str(), bench, args..., op, regime, size)
                        ->UseManualTime()
                        ->Iterations(1);
                };
                for (const AesPath& path : paths) add(path.name, BenchOurs, &path);
                if (size != 16384) continue;
                add("libmcrypt", BenchMcrypt);
                if (op.openssl != nullptr) add("openssl", BenchOpenssl);
            }
        }
    }
    RatioReporter display(benchmark::CreateDefaultDisplayReporter(), "vs_default", AgainstDefault);
    benchmark::RunSpecifiedBenchmarks(&display);
    benchmark::Shutdown();
    return 0;
}
