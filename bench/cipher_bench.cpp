// Throughput of CRijnDael's AES-128 buffer operations on every cipher path this CPU
// runs (the portable rounds and each hardware path), next to OpenSSL's
// AES-128-ECB on the same buffers, plus the cost of keying.
//
// Benchmarks are named OPERATION/PATH[/BYTES]; the OpenSSL rows use the path name
// "openssl". Every row carries a counter vs_openssl: its rate divided by OpenSSL's
// for the same operation and size, so 2 means twice as fast (and OpenSSL's own rows
// show 1, which keeps the console's table to one header). OpenSSL rows are
// registered first so that their rates are known by the time the CRijnDael rows are
// reported.
//
// Run with OPENSSL_ia32cap="~0x200000200000000" to compare against OpenSSL with its
// AES instructions masked off.
#include <benchmark/benchmark.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "../_lib/backends/AesTestHooks.h"
#include "CRijnDael.h"
#include "RatioReporter.h"

using namespace sealwrit::detail;

namespace {

const char kOpensslPath[] = "openssl";
const char kRatioCounter[] = "vs_openssl";
const int kBufferSizes[] = {16, 1024, 16 * 1024, 1024 * 1024};

// Any fixed key does: the round count, not the key, decides the work.
const unsigned char kKey[16] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6,
                                0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c};

const char* KeyChars() { return reinterpret_cast<const char*>(kKey); }

struct CipherPath {
    std::string name;
    const AesOperations* operations;
    bool agreesWithOpenssl;
};

std::vector<unsigned char> RandomBuffer(std::size_t size) {
    std::mt19937 rng(20240617u);
    std::vector<unsigned char> buffer(size);
    for (unsigned char& byte : buffer) byte = static_cast<unsigned char>(rng());
    return buffer;
}

std::string BenchmarkName(const std::string& operation, const std::string& path, int size) {
    std::string name = operation + "/" + path;
    if (size > 0) name += "/" + std::to_string(size);
    return name;
}

// ---------------------------------------------------------------- OpenSSL ----

struct CipherContextDeleter {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
typedef std::unique_ptr<EVP_CIPHER_CTX, CipherContextDeleter> CipherContext;

CipherContext MakeOpensslContext(bool encrypt) {
    CipherContext context(EVP_CIPHER_CTX_new());
    if (!context ||
        EVP_CipherInit_ex(context.get(), EVP_aes_128_ecb(), nullptr, kKey, nullptr,
                          encrypt ? 1 : 0) != 1 ||
        EVP_CIPHER_CTX_set_padding(context.get(), 0) != 1) {
        context.reset();
    }
    return context;
}

bool OpensslUpdate(EVP_CIPHER_CTX* context, const unsigned char* in, unsigned char* out, int size) {
    int written = 0;
    return EVP_CipherUpdate(context, out, &written, in, size) == 1 && written == size;
}

void BenchOpensslCipher(benchmark::State& state, bool encrypt, int size) {
    CipherContext context = MakeOpensslContext(encrypt);
    if (!context) {
        state.SkipWithError("OpenSSL AES-128-ECB could not be set up");
        return;
    }
    const std::vector<unsigned char> in = RandomBuffer(std::size_t(size));
    std::vector<unsigned char> out(in.size());
    for (auto _ : state) {
        if (!OpensslUpdate(context.get(), in.data(), out.data(), size)) {
            state.SkipWithError("EVP_CipherUpdate failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * size);
}

// Both schedules, as CRijnDael::SetKey builds both: rekeys an encrypting and a
// decrypting context that already know their cipher.
void BenchOpensslSetKey(benchmark::State& state) {
    CipherContext encryptor = MakeOpensslContext(true);
    CipherContext decryptor = MakeOpensslContext(false);
    if (!encryptor || !decryptor) {
        state.SkipWithError("OpenSSL AES-128-ECB could not be set up");
        return;
    }
    for (auto _ : state) {
        if (EVP_CipherInit_ex(encryptor.get(), nullptr, nullptr, kKey, nullptr, 1) != 1 ||
            EVP_CipherInit_ex(decryptor.get(), nullptr, nullptr, kKey, nullptr, 0) != 1) {
            state.SkipWithError("EVP_CipherInit_ex failed");
            break;
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()));
}

// -------------------------------------------------------------- CRijnDael ----

// The tables stay here for the whole run.
std::vector<CipherPath> AvailablePaths() {
    static const AesPathList available = AvailableAesPaths();
    std::vector<CipherPath> paths;
    for (const AesPath& path : available) paths.push_back({path.name, &path.operations, false});
    return paths;
}

// A path that computes something other than AES would make its figures worthless,
// so each one is checked against OpenSSL (both directions, every buffer size) once
// before anything is timed.
bool AgreesWithOpenssl(const CipherPath& path) {
    SelectAesOperationsForTesting(path.operations);
    CRijnDael cipher;
    cipher.SetKey(KeyChars(), 16, 16);
    CipherContext encryptor = MakeOpensslContext(true);
    CipherContext decryptor = MakeOpensslContext(false);
    if (!encryptor || !decryptor) return false;
    for (int size : kBufferSizes) {
        const std::vector<unsigned char> in = RandomBuffer(std::size_t(size));
        std::vector<unsigned char> ours(in.size()), theirs(in.size());
        const char* inChars = reinterpret_cast<const char*>(in.data());
        char* ourChars = reinterpret_cast<char*>(ours.data());

        cipher.Encrypt(inChars, ourChars, size);
        if (!OpensslUpdate(encryptor.get(), in.data(), theirs.data(), size) || ours != theirs)
            return false;
        cipher.Decrypt(inChars, ourChars, size);
        if (!OpensslUpdate(decryptor.get(), in.data(), theirs.data(), size) || ours != theirs)
            return false;
    }
    return true;
}

void BenchCipher(benchmark::State& state, const CipherPath& path, bool encrypt, int size) {
    if (!path.agreesWithOpenssl) {
        state.SkipWithError("this path's output differs from OpenSSL's");
        return;
    }
    SelectAesOperationsForTesting(path.operations);
    CRijnDael cipher;
    cipher.SetKey(KeyChars(), 16, 16);
    const std::vector<unsigned char> in = RandomBuffer(std::size_t(size));
    std::vector<unsigned char> out(in.size());
    const char* inChars = reinterpret_cast<const char*>(in.data());
    char* outChars = reinterpret_cast<char*>(out.data());
    for (auto _ : state) {
        if (encrypt) {
            cipher.Encrypt(inChars, outChars, size);
        } else {
            cipher.Decrypt(inChars, outChars, size);
        }
        benchmark::DoNotOptimize(outChars);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * size);
}

void BenchSetKey(benchmark::State& state, const CipherPath& path) {
    SelectAesOperationsForTesting(path.operations);
    CRijnDael cipher;
    for (auto _ : state) {
        cipher.SetKey(KeyChars(), 16, 16);
        benchmark::DoNotOptimize(&cipher);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()));
}

// --------------------------------------------------------------- reporting ----

// Every row against OpenSSL's row of the same operation and size; OpenSSL's own
// rows show 1, which keeps the console's table to one header.
std::string OpensslRow(const std::vector<std::string>& fields) {
    return WithPath(fields, kOpensslPath);
}

// Flags may come from the environment (BENCHMARK_OUT) as well as the command line,
// where the last one given wins.
std::string FlagValue(int argc, char** argv, const std::string& flag, const char* envName) {
    const char* fromEnv = std::getenv(envName);
    std::string value = fromEnv ? fromEnv : "";
    const std::string prefix = "--" + flag + "=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], prefix.c_str(), prefix.size()) == 0)
            value = argv[i] + prefix.size();
    }
    return value;
}

std::unique_ptr<benchmark::BenchmarkReporter> MakeFileReporter(const std::string& format) {
    if (format == "console") {
        return std::unique_ptr<benchmark::BenchmarkReporter>(
            new benchmark::ConsoleReporter(benchmark::ConsoleReporter::OO_None));
    }
    if (format == "csv") {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        return std::unique_ptr<benchmark::BenchmarkReporter>(new benchmark::CSVReporter());
#pragma GCC diagnostic pop
    }
    return std::unique_ptr<benchmark::BenchmarkReporter>(new benchmark::JSONReporter());
}

benchmark::TimeUnit TimeUnitFor(int size) {
    return size >= 16 * 1024 ? benchmark::kMicrosecond : benchmark::kNanosecond;
}

std::string CpuModelName() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    for (std::string line; std::getline(cpuinfo, line);) {
        if (line.compare(0, 10, "model name") != 0) continue;
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        const std::size_t start = line.find_first_not_of(" \t", colon + 1);
        return start == std::string::npos ? "" : line.substr(start);
    }
    return "";
}

}  // namespace

int main(int argc, char** argv) {
    // Read before Initialize, which removes the flags it knows from argv.
    const std::string outFile = FlagValue(argc, argv, "benchmark_out", "BENCHMARK_OUT");
    const std::string outFormat =
        FlagValue(argc, argv, "benchmark_out_format", "BENCHMARK_OUT_FORMAT");

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    const AesOperations* defaultOperations = &ActiveOperations();
    std::vector<CipherPath> paths = AvailablePaths();
    std::string pathList;
    for (CipherPath& path : paths) {
        path.agreesWithOpenssl = AgreesWithOpenssl(path);
        if (!path.agreesWithOpenssl)
            std::fprintf(stderr, "cipher_bench: path %s disagrees with OpenSSL\n",
                         path.name.c_str());
        pathList += (pathList.empty() ? "" : ", ") + path.name;
    }
    SelectAesOperationsForTesting(defaultOperations);

    const std::string cpuModel = CpuModelName();
    if (!cpuModel.empty()) benchmark::AddCustomContext("cpu_model", cpuModel);
    benchmark::AddCustomContext("cipher_paths", pathList);
    benchmark::AddCustomContext("default_path", paths.back().name);
    benchmark::AddCustomContext("openssl_version", OpenSSL_version(OPENSSL_VERSION));
    const char* capabilityMask = std::getenv("OPENSSL_ia32cap");
    benchmark::AddCustomContext("OPENSSL_ia32cap", capabilityMask ? capabilityMask : "unset");

    // Each path must see OpenSSL's figure for the same run before its own.
    for (const bool encrypt : {true, false}) {
        for (const int size : kBufferSizes) {
            const std::string name =
                BenchmarkName(encrypt ? "Encrypt" : "Decrypt", kOpensslPath, size);
            benchmark::RegisterBenchmark(name.c_str(), BenchOpensslCipher, encrypt, size)
                ->Unit(TimeUnitFor(size));
        }
    }
    for (const CipherPath& path : paths) {
        for (const bool encrypt : {true, false}) {
            for (const int size : kBufferSizes) {
                const std::string name =
                    BenchmarkName(encrypt ? "Encrypt" : "Decrypt", path.name, size);
                benchmark::RegisterBenchmark(name.c_str(), BenchCipher, path, encrypt, size)
                    ->Unit(TimeUnitFor(size));
            }
        }
    }
    benchmark::RegisterBenchmark(BenchmarkName("SetKey", kOpensslPath, 0).c_str(),
                                 BenchOpensslSetKey);
    for (const CipherPath& path : paths) {
        benchmark::RegisterBenchmark(BenchmarkName("SetKey", path.name, 0).c_str(), BenchSetKey,
                                     path);
    }

    RatioReporter display(benchmark::CreateDefaultDisplayReporter(), kRatioCounter, OpensslRow);
    std::unique_ptr<benchmark::BenchmarkReporter> fileInner;
    std::unique_ptr<RatioReporter> file;
    if (!outFile.empty()) {
        fileInner = MakeFileReporter(outFormat);
        file.reset(new RatioReporter(fileInner.get(), kRatioCounter, OpensslRow));
    }
    benchmark::RunSpecifiedBenchmarks(&display, file.get());
    benchmark::Shutdown();
    SelectAesOperationsForTesting(defaultOperations);
    return 0;
}
