// SEALWRIT: encrypts the text given on the command line with AES-128 in electronic
// codebook mode under the built-in key and prints the cipher text in Base64.
#include <unistd.h>
#if defined(__GLIBC__)  // set by <unistd.h>'s own includes
#include <malloc.h>         // mallopt: the GNU C library's alone
#endif

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "_inc/Base64.h"
#include "_inc/CRijnDael.h"
#include "_inc/Lib.h"

// Only the first 16 letters are the AES-128 key; the rest is carried and never read.
// clang-format off
static constexpr char kBuiltInKey[] = "TCYIUKRZLMXHAOUJBOPUKUUEXMWZQWVJMGGFCWIEMVULQAPAXUHFSIQQQYRGJWXUQVCGPCRYCXWDNDJPMOMXFAAESABYZIGDPKODLDXBEVBDTEAOOUYHENHMYTKPDFPHLRGAGOMTZZWNRNHTQYYSXEDBSGMRXABVVMAQOSQOMLAWKLKJRRQKYYRRLPOTPDQZVYSZENBQQURPYNZGDTCCLCYTDJHEFIFTTGKVZBEDSKPGPOSDJQHOAAFPTBFULIJU";
// clang-format on

constexpr bool IsUppercaseLetters(const char* s, std::size_t n) {
    return n == 0 || (*s >= 'A' && *s <= 'Z' && IsUppercaseLetters(s + 1, n - 1));
}
static_assert(sizeof(kBuiltInKey) == 257 && IsUppercaseLetters(kBuiltInKey, 256),
              "the built-in key is 256 uppercase letters");

LPCSTR strPackKey = nullptr;
BOOL sm_keyLoaded = false;

static const char kUsage[] = "COMMAND: SEALWRIT -t ENC TEXT\n";
// Failures that leave no cipher text to print go to standard error with status 1, so
// that nothing downstream takes a missing or partial result for a cipher text.
static const char kTooLong[] = "Error: Text too long\n";
static const char kOutOfMemory[] = "Error: Not enough memory\n";
static const char kWriteFailed[] = "Error: Cannot write the output\n";

// Output goes straight to the file descriptors: a run writes one string, and stdio
// would first set up a buffer and the allocator for it, a measurable part of a
// short run's time.
static bool WriteAll(int fd, const char* s) {
    for (std::size_t left = std::strlen(s); left > 0;) {
        const ssize_t written = write(fd, s, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        s += written;
        left -= std::size_t(written);
    }
    return true;
}

// Set once anything meant for standard output could not be written.
static bool s_outputFailed = false;

// Writes s to standard output, or says on standard error that it could not.
static bool Output(const char* s) {
    if (WriteAll(STDOUT_FILENO, s)) return true;
    s_outputFailed = true;
    (void)WriteAll(STDERR_FILENO, kWriteFailed);
    return false;
}

void usage() { (void)Output(kUsage); }

void LoadKey() {
    if (!sm_keyLoaded) {
        sm_keyLoaded = true;
        strPackKey = kBuiltInKey;
    }
}

// Returns the Base64 cipher text of text (malloc'ed, the caller's), or null when
// the text is too long to encode or memory runs out.
char* ExEncryption(LPCSTR text) {
    int encodedLength = 0;
    const std::size_t length = std::strlen(text);
    if (length > std::size_t(BASE64_MAX_INPUT)) return nullptr;
    const int n = static_cast<int>(length);

    CRijnDael cipher;
    LoadKey();
    cipher.SetKey(strPackKey, 16, 16);

    // The usual text fits the fixed buffer; a longer one, which only the argument
    // limit bounds, gets a buffer of its size.
    char onStack[4096];
    char* buffer = length <= sizeof onStack ? onStack : static_cast<char*>(std::malloc(length));
    if (buffer == nullptr) return nullptr;
    cipher.Encrypt(text, buffer, n);
    char* encoded =
        base64_encode(reinterpret_cast<const unsigned char*>(buffer), n, &encodedLength);
    if (buffer != onStack) std::free(buffer);
    return encoded;
}

int EncryptText(LPCSTR text) {
    if (std::strlen(text) > std::size_t(BASE64_MAX_INPUT)) {
        (void)WriteAll(STDERR_FILENO, kTooLong);
        return 0;
    }
    char* encoded = ExEncryption(text);
    if (encoded == nullptr) {
        (void)WriteAll(STDERR_FILENO, kOutOfMemory);
        return 0;
    }
    const bool written = Output(encoded);
    std::free(encoded);
    return written ? 1 : 0;
}

int main(int argc, char** argv) {
    if (argc != 4 || std::strcmp(argv[2], "ENC") != 0) {
        usage();
        return s_outputFailed ? 1 : 0;
    }
    // An encryption makes one or two allocations. From mmap they cost a short run
    // less than from a heap grown with brk: on a KVM guest the heap's first page took
    // some 75 us to fault in, an mmap'ed one about 15 (whole runs 1 to 2 % faster).
#if defined(__GLIBC__)
    (void)mallopt(M_MMAP_THRESHOLD, 0);
#endif
    return EncryptText(argv[3]) ? 0 : 1;
}
