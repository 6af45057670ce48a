// Throughput of the multi-key walk (the static EncryptBlock/DecryptBlock) on 16 KiB
// for several key counts, on every cipher path this CPU runs, next to the one-key
// Encrypt/Decrypt of the same path on the same buffer.
//
// Benchmarks are named Encrypt/PATH, Decrypt/PATH (one key) and
// EncryptBlock/PATH/NKEYS, DecryptBlock/PATH/NKEYS. Every multi-key row carries a
// counter vs_one_key: its rate divided by the one-key rate of the same path and
// direction in the same run (and of the same repetition, or the same aggregate).
// The one-key rows are registered first so that their rates are known in time.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "../_lib/backends/AesTestHooks.h"
#include "CRijnDael.h"
#include "RatioReporter.h"

using namespace sealwrit::detail;

namespace {

const int kBytes = 16 * 1024;
const int kKeyCounts[] = {1, 2, 8, 64, 1000};
const int kMaxKeys = 1000;
const char kRatioCounter[] = "vs_one_key";

std::vector<char> RandomChars(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<char> chars(size);
    for (char& c : chars) c = static_cast<char>(rng());
    return chars;
}

// The objects every row uses, keyed once: the first nKeys of them serve a row.
CRijnDael* Keys() {
    static CRijnDael* keys = [] {
        CRijnDael* made = new CRijnDael[kMaxKeys];
        const std::vector<char> run = RandomChars(16 * kMaxKeys, 7u);
        CRijnDael::SetKeys(made, run.data(), kMaxKeys, 16 * kMaxKeys);
        return made;
    }();
    return keys;
}

void Walk(bool encrypt, int nKeys, const char* in, char* out) {
    if (encrypt) {
        CRijnDael::EncryptBlock(Keys(), nKeys, in, out, kBytes);
    } else {
        CRijnDael::DecryptBlock(Keys(), nKeys, in, out, kBytes);
    }
}

// Figures from a path that computes something else would be worthless: before
// anything is timed, every key count's walk must agree block for block with the
// member calls of the objects whose turn it is, both ways.
bool WalkAgreesWithMemberCalls(const AesPath* path) {
    SelectAesOperationsForTesting(&path->operations);
    const std::vector<char> in = RandomChars(kBytes, 11u);
    std::vector<char> walked(kBytes), single(kBytes);
    for (const int nKeys : kKeyCounts) {
        for (const bool encrypt : {true, false}) {
            Walk(encrypt, nKeys, in.data(), walked.data());
            for (int b = 0; b < kBytes / 16; ++b) {
                const CRijnDael& key = Keys()[b % nKeys];
                if (encrypt) {
                    key.EncryptBlock(in.data() + 16 * b, single.data() + 16 * b);
                } else {
                    key.DecryptBlock(in.data() + 16 * b, single.data() + 16 * b);
                }
            }
            if (walked != single) return false;
        }
    }
    return true;
}

void BenchOneKey(benchmark::State& state, const AesPath* path, bool encrypt) {
    SelectAesOperationsForTesting(&path->operations);
    const CRijnDael& key = Keys()[0];
    const std::vector<char> in = RandomChars(kBytes, 13u);
    std::vector<char> out(kBytes);
    for (auto _ : state) {
        if (encrypt) {
            key.Encrypt(in.data(), out.data(), kBytes);
        } else {
            key.Decrypt(in.data(), out.data(), kBytes);
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kBytes);
}

void BenchMultiKey(benchmark::State& state, const AesPath* path, bool encrypt, int nKeys) {
    SelectAesOperationsForTesting(&path->operations);
    const std::vector<char> in = RandomChars(kBytes, 13u);
    std::vector<char> out(kBytes);
    for (auto _ : state) {
        Walk(encrypt, nKeys, in.data(), out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kBytes);
}

// EncryptBlock/aesni/8 is measured against Encrypt/aesni; the one-key rows against
// nothing.
std::string OneKeyRow(const std::vector<std::string>& fields) {
    return fields.size() == 3 ? fields[0].substr(0, 7) + "/" + fields[1] : "";
}

}  // namespace

int main(int argc, char** argv) {
    // Read before Initialize removes it: the library wants a file reporter only when
    // there is a file.
    bool toFile = std::getenv("BENCHMARK_OUT") != nullptr;
    for (int i = 1; i < argc; ++i) toFile |= std::strncmp(argv[i], "--benchmark_out=", 16) == 0;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    const AesOperations* defaultOperations = &ActiveOperations();
    const AesPathList paths = AvailableAesPaths();
    for (const AesPath& each : paths) {
        if (!WalkAgreesWithMemberCalls(&each)) {
            std::fprintf(stderr, "multikey_bench: path %s disagrees with member calls\n",
                         each.name);
            return 1;
        }
        const std::string path = each.name;
        for (const bool encrypt : {true, false}) {
            const std::string direction = encrypt ? "Encrypt" : "Decrypt";
            benchmark::RegisterBenchmark((direction + "/" + path).c_str(), BenchOneKey, &each,
                                         encrypt)
                ->Unit(benchmark::kMicrosecond);
            for (const int nKeys : kKeyCounts) {
                benchmark::RegisterBenchmark(
                    (direction + "Block/" + path + "/" + std::to_string(nKeys)).c_str(),
                    BenchMultiKey, &each, encrypt, nKeys)
                    ->Unit(benchmark::kMicrosecond);
            }
        }
    }
    SelectAesOperationsForTesting(defaultOperations);

    // The file (JSON) gets the ratios too.
    RatioReporter display(benchmark::CreateDefaultDisplayReporter(), kRatioCounter, OneKeyRow);
    benchmark::JSONReporter json;
    RatioReporter file(&json, kRatioCounter, OneKeyRow);
    benchmark::RunSpecifiedBenchmarks(&display, toFile ? &file : nullptr);
    benchmark::Shutdown();
    SelectAesOperationsForTesting(defaultOperations);
    return 0;
}
