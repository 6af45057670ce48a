// rijndael: encrypts and decrypts data with Rijndael of every key and block size, in
// the chaining modes and paddings that other systems wrote it with, with options an
// `openssl enc` user knows. The full description is docs/rijndael.1.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "Help.h"
#include "KeyReader.h"
#include "Options.h"
#include "OutputFile.h"
#include "Records.h"
#include "Report.h"
#include "Stream.h"

namespace sealwrit {
namespace detail {
namespace {

int Run(const Options& o) {
    KeyMaterial key;
    const bool keyed = ReadKeyMaterial(o, &key);
    WipeSecretArguments(o);
    if (!keyed) return 1;
    if (o.printKey) {
        if (PrintKeyMaterial(key, o.blockSize)) return 0;
        Report("cannot write standard output: %s", std::strerror(errno));
        return 1;
    }
    const int in = o.in ? open(o.in, O_RDONLY | O_CLOEXEC) : STDIN_FILENO;
    struct stat status {};
    if (in < 0 || fstat(in, &status) != 0) {
        Report("cannot read %s: %s", o.in ? o.in : "standard input", std::strerror(errno));
        return 1;
    }
    int result = 1;
    {
        OutputFile out;
        if (out.Open(o.out, o.in ? &status : nullptr)) {
            const std::int64_t size = S_ISREG(status.st_mode) ? status.st_size : -1;
            result = (o.records ? RunRecords : RunStream)(o, key, in, size, &out);
        }
    }
    if (o.in) close(in);
    return result;
}

int Main(int argc, char** argv, Options* options) {
    switch (ParseOptions(argc, argv, options)) {
        case USAGE_ERROR:
            (void)WriteAll(STDERR_FILENO, kUsageLine, std::strlen(kUsageLine));
            return 2;
        case HELP:
            if (WriteAll(STDOUT_FILENO, kHelpText, std::strlen(kHelpText))) return 0;
            break;
        case VERSION: {
            static const char kVersion[] = "rijndael (SEALWRIT) " SEALWRIT_VERSION "\n";
            if (WriteAll(STDOUT_FILENO, kVersion, sizeof kVersion - 1)) return 0;
            break;
        }
        case PARSED:
            return Run(*options);
    }
    Report("cannot write standard output: %s", std::strerror(errno));
    return 1;
}

// The cipher's code keeps round keys in registers, and the compiler spills them to
// the stack; the frames they were spilled in have returned but still hold them. They
// all lie below main's own frame, within this much of it.
__attribute__((noinline)) void WipeStackBelow() {
    unsigned char below[64 * 1024];
    explicit_bzero(below, sizeof below);
    __asm__ volatile("" : : "r"(below) : "memory");
}

}  // namespace
}  // namespace detail
}  // namespace sealwrit

int main(int argc, char** argv) {
    using namespace sealwrit::detail;
    // Whatever the way out, no key or IV stays behind in the arguments or in a copy.
    Options options;
    const int status = Main(argc, argv, &options);
    WipeSecretArguments(options);
    WipeKeyMaterial();
    WipeStackBelow();
    return status;
}
