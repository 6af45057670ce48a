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
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "../_lib/AesBackend.h"
#include "CRijnDael.h"

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
bool WalkAgreesWithMemberCalls(const AesBackend* backend) {
    SelectAesBackendForTesting(backend);
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

void BenchOneKey(benchmark::State& state, const AesBackend* backend, bool encrypt) {
    SelectAesBackendForTesting(backend);
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

void BenchMultiKey(benchmark::State& state, const AesBackend* backend, bool encrypt, int nKeys) {
    SelectAesBackendForTesting(backend);
    const std::vector<char> in = RandomChars(kBytes, 13u);
    std::vector<char> out(kBytes);
    for (auto _ : state) {
        Walk(encrypt, nKeys, in.data(), out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kBytes);
}

// Hands every run on to another reporter after adding its rate relative to the
// one-key run of the same path and direction.
class OneKeyRatioReporter : public benchmark::BenchmarkReporter {
public:
    explicit OneKeyRatioReporter(benchmark::BenchmarkReporter* inner) : m_inner(inner) {}

    bool ReportContext(const Context& context) override {
        m_inner->SetOutputStream(&GetOutputStream());
        m_inner->SetErrorStream(&GetErrorStream());
        return m_inner->ReportContext(context);
    }

    void ReportRuns(const std::vector<Run>& runs) override {
        std::vector<Run> annotated = runs;
        for (Run& run : annotated) AddRatio(run);
        m_inner->ReportRuns(annotated);
    }

    void Finalize() override { m_inner->Finalize(); }

private:
    void AddRatio(Run& run) {
        if (run.error_occurred) return;
        if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "mean" &&
            run.aggregate_name != "median") {
            return;
        }
        const auto rate = run.counters.find("bytes_per_second");
        if (rate == run.counters.end() || rate->second.value <= 0) return;

        std::vector<std::string> parts;
        std::istringstream name(run.run_name.function_name);
        for (std::string part; std::getline(name, part, '/');) parts.push_back(part);
        if (parts.size() < 2) return;
        // EncryptBlock/aesni/8 is measured against Encrypt/aesni.
        const bool oneKey = parts.size() == 2;
        const std::string direction = oneKey ? parts[0] : parts[0].substr(0, 7);
        const std::string key = direction + "/" + parts[1] + "/" + run.aggregate_name + "/" +
                                std::to_string(run.repetition_index);
        if (oneKey) {
            m_oneKeyRates[key] = rate->second.value;
            return;
        }
        const auto found = m_oneKeyRates.find(key);
        if (found == m_oneKeyRates.end()) return;
        run.counters[kRatioCounter] = benchmark::Counter(rate->second.value / found->second);
    }

    benchmark::BenchmarkReporter* m_inner;
    std::map<std::string, double> m_oneKeyRates;
};

}  // namespace

int main(int argc, char** argv) {
    // Read before Initialize removes it: the library wants a file reporter only when
    // there is a file.
    bool toFile = std::getenv("BENCHMARK_OUT") != nullptr;
    for (int i = 1; i < argc; ++i) toFile |= std::strncmp(argv[i], "--benchmark_out=", 16) == 0;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    const AesBackend* defaultBackend = ActiveAesBackend();
    for (const AesBackend* backend : AvailableAesBackends()) {
        if (!WalkAgreesWithMemberCalls(backend)) {
            std::fprintf(stderr, "multikey_bench: path %s disagrees with member calls\n",
                         backend->name);
            return 1;
        }
        const std::string path = backend->name;
        for (const bool encrypt : {true, false}) {
            const std::string direction = encrypt ? "Encrypt" : "Decrypt";
            benchmark::RegisterBenchmark((direction + "/" + path).c_str(), BenchOneKey, backend,
                                         encrypt)
                ->Unit(benchmark::kMicrosecond);
            for (const int nKeys : kKeyCounts) {
                benchmark::RegisterBenchmark(
                    (direction + "Block/" + path + "/" + std::to_string(nKeys)).c_str(),
                    BenchMultiKey, backend, encrypt, nKeys)
                    ->Unit(benchmark::kMicrosecond);
            }
        }
    }
    SelectAesBackendForTesting(defaultBackend);

    // The file (JSON) gets the ratios too.
    OneKeyRatioReporter display(benchmark::CreateDefaultDisplayReporter());
    benchmark::JSONReporter json;
    OneKeyRatioReporter file(&json);
    benchmark::RunSpecifiedBenchmarks(&display, toFile ? &file : nullptr);
    benchmark::Shutdown();
    SelectAesBackendForTesting(defaultBackend);
    return 0;
}
