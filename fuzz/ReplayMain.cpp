// Runs a fuzz target's LLVMFuzzerTestOneInput over saved inputs without libFuzzer,
// so any compiler's build can replay the seed corpus and past crashes as tests.
//
// Usage: <target>_replay PATH...   where each PATH is an input file or a directory
// whose regular files (not recursively) are inputs. A failed check aborts; an
// argument that names nothing, or no input at all, is an error, so a missing or
// emptied corpus does not pass unnoticed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
// Targets that need set-up define it, as libFuzzer allows; the others leave it null.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));

namespace fs = std::filesystem;

namespace {

bool ReadFile(const fs::path& path, std::vector<char>& contents) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    contents.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

bool Replay(const fs::path& path) {
    std::vector<char> contents;
    if (!ReadFile(path, contents)) {
        (void)std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    // A copy of exactly the input's size on the heap, as libFuzzer passes it, so a
    // target that reads past the end is caught under AddressSanitizer here too.
    std::unique_ptr<std::uint8_t[]> input(new std::uint8_t[contents.size()]);
    std::copy(contents.begin(), contents.end(), input.get());
    (void)std::fprintf(stderr, "replaying %s (%zu bytes)\n", path.c_str(), contents.size());
    LLVMFuzzerTestOneInput(input.get(), contents.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        (void)std::fprintf(stderr, "usage: %s FILE-OR-DIRECTORY...\n", argv[0]);
        return 2;
    }
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path path(argv[i]);
        std::error_code error;
        if (fs::is_directory(path, error)) {
            std::vector<fs::path> files;
            for (const fs::directory_entry& entry : fs::directory_iterator(path, error)) {
                if (entry.is_regular_file()) files.push_back(entry.path());
            }
            if (error) {
                (void)std::fprintf(stderr, "cannot list %s: %s\n", argv[i],
                                   error.message().c_str());
                return 2;
            }
            // Sorted, so a failure is reproduced in the same order every time.
            std::sort(files.begin(), files.end());
            inputs.insert(inputs.end(), files.begin(), files.end());
        } else if (fs::is_regular_file(path, error)) {
            inputs.push_back(path);
        } else {
            (void)std::fprintf(stderr, "no such input file or directory: %s\n", argv[i]);
            return 2;
        }
    }
    if (inputs.empty()) {
        (void)std::fprintf(stderr, "no inputs to replay\n");
        return 2;
    }

    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    for (const fs::path& input : inputs) {
        if (!Replay(input)) return 1;
    }
    (void)std::fprintf(stderr, "replayed %zu inputs\n", inputs.size());
    return 0;
}
