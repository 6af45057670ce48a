// rijndael: encrypts and decrypts data with Rijndael of every key and block size, in
// the chaining modes and paddings that other systems wrote it with, with options an
// `openssl enc` user knows. The full description is docs/rijndael.1.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "../_inc/CRijnDael.h"
#include "../_inc/CRijnDaelMode.h"
#include "Base64Stream.h"
#include "Hex.h"
#include "Options.h"
#include "OutputFile.h"
#include "Progress.h"
#include "Report.h"

namespace sealwrit {
namespace detail {
namespace {

// Data moves in chunks of this size whatever the input's size, so memory stays flat
// and a pipe's output starts before its input ends.
const std::size_t kChunk = 64 * 1024;
const std::size_t kMaxBlock = 32;
const std::size_t kMaxKeyFile = 4096;

// Everything that holds key material, text or cipher text, in static storage: no
// allocation, and pages only touched as far as they are used. Wiped before exit.
struct Buffers {
    unsigned char key[kMaxBlock];
    unsigned char iv[kMaxBlock];
    char keyFile[kMaxKeyFile + 1];
    char input[kChunk];
    unsigned char decoded[Base64Decoder::Bound(kChunk)];
    // Update writes up to a block more than it takes, Finish two blocks.
    char crypted[kChunk + 2 * kMaxBlock];
    char encoded[Base64Encoder::Bound(kChunk + 2 * kMaxBlock) + 8];
};
Buffers g_buffers;

// Wipes the key material and as much of the data buffers as a read of at most
// largestRead bytes can have filled.
void WipeBuffers(std::size_t largestRead) {
    Buffers& b = g_buffers;
    explicit_bzero(b.key, sizeof b.key);
    explicit_bzero(b.iv, sizeof b.iv);
    explicit_bzero(b.keyFile, sizeof b.keyFile);
    if (largestRead == 0) return;
    explicit_bzero(b.input, largestRead);
    explicit_bzero(b.decoded, Base64Decoder::Bound(largestRead));
    explicit_bzero(b.crypted, largestRead + 2 * kMaxBlock);
    explicit_bzero(b.encoded, Base64Encoder::Bound(largestRead + 2 * kMaxBlock));
}

void WipeArgument(char* arg) {
    if (arg != nullptr) explicit_bzero(arg, std::strlen(arg));
}

bool ReadKeyFile(const char* path, std::size_t* length) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    std::size_t n = 0;
    bool ok = fd >= 0;
    while (ok && n <= kMaxKeyFile) {
        const ssize_t got = read(fd, g_buffers.keyFile + n, kMaxKeyFile + 1 - n);
        if (got < 0 && errno == EINTR) continue;
        ok = got >= 0;
        if (got <= 0) break;
        n += std::size_t(got);
    }
    const int error = errno;
    if (fd >= 0) close(fd);
    if (!ok) {
        Report("cannot read key file %s: %s", path, std::strerror(error));
    } else if (n > kMaxKeyFile) {
        Report("key file %s: more than %zu bytes, too long for a key in hex", path, kMaxKeyFile);
        ok = false;
    }
    *length = n;
    return ok;
}

// Decodes the key and the IV into g_buffers and checks their lengths.
bool LoadKeyAndIv(const Options& o, std::size_t* keyLength) {
    std::size_t n = 0, bytes = 0;
    if (o.keyHex != nullptr) {
        if (!ParseHex("-K", o.keyHex, std::strlen(o.keyHex), false, g_buffers.key, kMaxBlock,
                      &bytes)) {
            return false;
        }
    } else if (!ReadKeyFile(o.keyFile, &n) ||
               !ParseHex(o.keyFile, g_buffers.keyFile, n, true, g_buffers.key, kMaxBlock, &bytes)) {
        return false;
    }
    if (bytes != 16 && bytes != 24 && bytes != 32) {
        Report("the key is %zu byte%s; it must be 16, 24 or 32", bytes, bytes == 1 ? "" : "s");
        return false;
    }
    *keyLength = bytes;
    if (o.ivHex == nullptr) return true;
    if (!ParseHex("-iv", o.ivHex, std::strlen(o.ivHex), false, g_buffers.iv, kMaxBlock, &n)) {
        return false;
    }
    if (n != std::size_t(o.blockSize)) {
        Report("the IV is %zu byte%s; it must be one block, %d bytes", n, n == 1 ? "" : "s",
               o.blockSize);
        return false;
    }
    return true;
}

// One run from the opened key to the output in place. Returns the exit status.
class Session {
public:
    Session(const Options& o, int in, std::int64_t inSize, OutputFile* out)
        : m_o(o), m_in(in), m_out(out), m_progress(o.progress, inSize) {}
    ~Session() { WipeBuffers(m_largestRead); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    int Run(std::size_t keyLength) {
        CRijnDael cipher;
        cipher.SetKey(reinterpret_cast<const char*>(g_buffers.key), int(keyLength), m_o.blockSize);
        const char* iv =
            m_o.mode == CRijnDaelMode::ECB ? nullptr : reinterpret_cast<const char*>(g_buffers.iv);
        if (!Check(m_mode.Begin(cipher, m_o.mode, m_o.padding, m_o.decrypt, iv, m_o.segment))) {
            return 1;
        }
        const bool decode = m_o.base64 && m_o.decrypt;
        std::uint64_t read = 0;
        for (;;) {
            const ssize_t got = ::read(m_in, g_buffers.input, kChunk);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) return Fail("cannot read %s: %s", InName(), std::strerror(errno));
            if (got == 0) break;
            const std::size_t n = std::size_t(got);
            if (n > m_largestRead) m_largestRead = n;
            read += n;
            if (decode) {
                std::size_t bytes = 0;
                if (!m_decoder.Update(g_buffers.input, n, g_buffers.decoded, &bytes)) {
                    return Fail("invalid Base64 at byte %llu of the input",
                                static_cast<unsigned long long>(m_decoder.ErrorOffset() + 1));
                }
                if (!Feed(reinterpret_cast<const char*>(g_buffers.decoded), bytes)) return 1;
            } else if (!Feed(g_buffers.input, n)) {
                return 1;
            }
            m_progress.Update(read);
        }
        if (decode && !m_decoder.Finish()) {
            return Fail("invalid Base64: the input ends inside a group of four characters");
        }
        std::size_t written = 0;
        if (!Check(m_mode.Finish(g_buffers.crypted, &written)) || !Emit(written)) return 1;
        if (m_o.base64 && !m_o.decrypt &&
            !Write(g_buffers.encoded, m_encoder.Finish(g_buffers.encoded))) {
            return 1;
        }
        m_progress.Clear();
        return m_out->Commit() ? 0 : 1;
    }

private:
    const char* InName() const { return m_o.in ? m_o.in : "standard input"; }

    int Fail(const char* format, ...) __attribute__((format(printf, 2, 3)));

    bool Feed(const char* data, std::size_t n) {
        std::size_t written = 0;
        m_fed += n;
        return Check(m_mode.Update(data, n, g_buffers.crypted, &written)) && Emit(written);
    }

    // Sends n bytes of g_buffers.crypted out, as Base64 when encrypting with -a.
    bool Emit(std::size_t n) {
        if (!m_o.base64 || m_o.decrypt) return Write(g_buffers.crypted, n);
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(g_buffers.crypted);
        return Write(g_buffers.encoded, m_encoder.Update(bytes, n, g_buffers.encoded));
    }

    bool Write(const char* data, std::size_t n) {
        if (WriteAll(m_out->Fd(), data, n)) return true;
        Fail("cannot write %s: %s", m_out->Name(), std::strerror(errno));
        return false;
    }

    bool Check(CRijnDaelMode::Result result) {
        const unsigned long long fed = m_fed;
        switch (result) {
            case CRijnDaelMode::SUCCESS:
                return true;
            case CRijnDaelMode::BAD_PADDING:
                Fail("bad decrypt");
                break;
            case CRijnDaelMode::BAD_LENGTH:
                if (m_o.decrypt) {
                    Fail(
                        "%llu bytes of cipher text cannot come from mode %s with padding %s "
                        "and %d-byte blocks",
                        fed, m_o.modeName, m_o.paddingName, m_o.blockSize);
                } else {
                    Fail(
                        "%llu bytes of input are not a whole number of %d-byte blocks, as "
                        "mode %s without padding needs (-p pads)",
                        fed, m_o.blockSize, m_o.modeName);
                }
                break;
            case CRijnDaelMode::NO_RANDOMNESS:
                Fail("iso10126 padding needs random bytes, and the system gives none");
                break;
            default:
                Fail("internal error: the cipher refused its arguments (%d)", int(result));
                break;
        }
        return false;
    }

    const Options& m_o;
    const int m_in;
    OutputFile* const m_out;
    Progress m_progress;
    CRijnDaelMode m_mode;
    Base64Decoder m_decoder;
    Base64Encoder m_encoder;
    std::uint64_t m_fed = 0;  // bytes given to the cipher
    std::size_t m_largestRead = 0;
};

int Session::Fail(const char* format, ...) {
    m_progress.Clear();
    char message[512];
    std::va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    Report("%s", message);
    return 1;
}

int Run(const Options& o) {
    std::size_t keyLength = 0;
    const bool keyed = LoadKeyAndIv(o, &keyLength);
    WipeArgument(o.keyHex);
    WipeArgument(o.ivHex);
    if (!keyed) {
        WipeBuffers(0);
        return 1;
    }
    const int in = o.in ? open(o.in, O_RDONLY | O_CLOEXEC) : STDIN_FILENO;
    struct stat status {};
    if (in < 0 || fstat(in, &status) != 0) {
        Report("cannot read %s: %s", o.in ? o.in : "standard input", std::strerror(errno));
        WipeBuffers(0);
        return 1;
    }
    int result = 1;
    {
        OutputFile out;
        if (out.Open(o.out, o.in ? &status : nullptr)) {
            Session session(o, in, S_ISREG(status.st_mode) ? status.st_size : -1, &out);
            result = session.Run(keyLength);
        }
    }
    WipeBuffers(0);
    if (o.in) close(in);
    return result;
}

}  // namespace
}  // namespace detail
}  // namespace sealwrit

int main(int argc, char** argv) {
    using namespace sealwrit::detail;
    Options options;
    switch (ParseOptions(argc, argv, &options)) {
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
            return Run(options);
    }
    Report("cannot write standard output: %s", std::strerror(errno));
    return 1;
}
