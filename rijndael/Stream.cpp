#include "Stream.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "../_inc/CRijnDael.h"
#include "../_inc/CRijnDaelMode.h"
#include "Base64Stream.h"
#include "Layout.h"
#include "Progress.h"
#include "Report.h"

namespace sealwrit {
namespace detail {

namespace {

// Data moves in chunks of this size whatever the input's size.
const std::size_t kChunk = 64 * 1024;
const std::size_t kMaxBlock = 32;

// Everything that holds text or cipher text, in static storage: no allocation, and
// pages only touched as far as they are used. Wiped before exit.
struct Buffers {
    char input[kChunk];
    unsigned char decoded[Base64Decoder::Bound(kChunk)];
    // Update writes up to a block more than it takes, Finish a block.
    char crypted[kChunk + 2 * kMaxBlock];
    char encoded[Base64Encoder::Bound(kChunk + 2 * kMaxBlock) + 8];
};
Buffers g_buffers;

// Wipes as much of the buffers as a read of at most largestRead bytes can have filled.
void WipeBuffers(std::size_t largestRead) {
    Buffers& b = g_buffers;
    if (largestRead == 0) return;
    explicit_bzero(b.input, largestRead);
    explicit_bzero(b.decoded, Base64Decoder::Bound(largestRead));
    explicit_bzero(b.crypted, largestRead + 2 * kMaxBlock);
    explicit_bzero(b.encoded, Base64Encoder::Bound(largestRead + 2 * kMaxBlock));
}

// Whether data that failed to decrypt was plainly Base64 given without -a: nothing
// but the alphabet, "=" and white space.
bool LooksLikeBase64(const char* data, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(data[i]);
        const bool alphabet = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                              (c >= '0' && c <= '9') || c == '+' || c == '/' || c == '=';
        if (!alphabet && c != ' ' && !(c >= '\t' && c <= '\r')) return false;
    }
    return n >= 4;
}

class Session {
public:
    Session(const Options& o, const KeyMaterial& k, int in, std::int64_t inSize, OutputFile* out)
        : m_o(o),
          m_k(k),
          m_in(in),
          m_out(out),
          m_progress(o.progress, inSize),
          m_encoder(o.oneLine) {}
    ~Session() {
        WipeBuffers(m_largestRead);
        explicit_bzero(m_tail, sizeof m_tail);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    int Run() {
        m_cipher.SetKey(reinterpret_cast<const char*>(m_k.key), int(m_k.keyLength), m_o.blockSize);
        if (m_o.ivPrefix && m_o.decrypt) {
            m_ivWanted = std::size_t(m_o.blockSize);  // Begin waits for the input's first block
        } else if (m_o.ivPrefix) {
            if (!FreshIv(m_iv, m_o.blockSize)) {
                return Fail("-ivprefix needs random bytes for the IV, and the system gives none");
            }
            if (!Begin(m_iv)) return 1;
            if (!Output(m_iv, std::size_t(m_o.blockSize))) return 1;
        } else if (!Begin(m_k.iv)) {
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
            if (read == 0 && m_o.decrypt && !m_o.base64) {
                m_looksBase64 = LooksLikeBase64(g_buffers.input, n);
            }
            read += n;
            if (decode) {
                std::size_t bytes = 0;
                if (!m_decoder.Update(g_buffers.input, n, g_buffers.decoded, &bytes)) {
                    return Fail("invalid Base64 at byte %llu of the input",
                                static_cast<unsigned long long>(m_decoder.ErrorOffset() + 1));
                }
                if (!Feed(g_buffers.decoded, bytes)) return 1;
            } else if (!Feed(reinterpret_cast<const unsigned char*>(g_buffers.input), n)) {
                return 1;
            }
            m_progress.Update(read);
        }
        if (decode && !m_decoder.Finish()) {
            return Fail("invalid Base64: the input ends inside a group of four characters");
        }
        if (m_ivWanted > 0) {
            return Fail("the input ends inside its IV: %zu bytes, and -ivprefix takes a block, %d",
                        m_o.blockSize - m_ivWanted, m_o.blockSize);
        }
        if (PhpEmptyBlock(m_o) && m_fed == 0) {
            const unsigned char zeros[kMaxBlock] = {};
            if (!Feed(zeros, std::size_t(m_o.blockSize))) return 1;
        }
        std::size_t written = 0;
        if (!Check(m_mode.Finish(g_buffers.crypted, &written)) ||
            !Emit(reinterpret_cast<unsigned char*>(g_buffers.crypted), written)) {
            return 1;
        }
        if (m_o.stripZeros && !Output(m_tail, WithoutTrailingZeros(m_tail, m_tailBytes))) return 1;
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

    bool Begin(const unsigned char* iv) {
        return Check(m_mode.Begin(m_cipher, m_o.mode, m_o.padding, m_o.decrypt,
                                  reinterpret_cast<const char*>(iv), m_o.segment));
    }

    // The message's bytes, an IV carried in front of them taken off first.
    bool Feed(const unsigned char* data, std::size_t n) {
        if (m_ivWanted > 0) {
            const std::size_t take = n < m_ivWanted ? n : m_ivWanted;
            std::memcpy(m_iv + (m_o.blockSize - m_ivWanted), data, take);
            m_ivWanted -= take;
            data += take;
            n -= take;
            if (m_ivWanted == 0 && !Begin(m_iv)) return false;
            if (n == 0) return true;
        }
        std::size_t written = 0;
        m_fed += n;
        return Check(m_mode.Update(reinterpret_cast<const char*>(data), n, g_buffers.crypted,
                                   &written)) &&
               Emit(reinterpret_cast<unsigned char*>(g_buffers.crypted), written);
    }

    // The mode's output; with -stripzeros the last block of it stays back until the
    // end shows which block is the last.
    bool Emit(const unsigned char* data, std::size_t n) {
        if (!m_o.stripZeros) return Output(data, n);
        const std::size_t block = std::size_t(m_o.blockSize), held = m_tailBytes;
        const std::uint64_t end = m_released + held + n;
        std::size_t keep = std::size_t(end % block);
        if (keep == 0) keep = block;
        if (keep > held + n) keep = held + n;
        const std::size_t release = held + n - keep;
        const std::size_t fromTail = release < held ? release : held;
        if (!Output(m_tail, fromTail) || !Output(data, release - fromTail)) return false;
        m_released += release;
        std::memmove(m_tail, m_tail + fromTail, held - fromTail);
        std::memcpy(m_tail + (held - fromTail), data + (release - fromTail),
                    n - (release - fromTail));
        m_tailBytes = keep;
        return true;
    }

    // Out as they are, or as Base64 when encrypting with -a.
    bool Output(const unsigned char* data, std::size_t n) {
        if (!m_o.base64 || m_o.decrypt) return Write(reinterpret_cast<const char*>(data), n);
        return Write(g_buffers.encoded, m_encoder.Update(data, n, g_buffers.encoded));
    }

    bool Write(const char* data, std::size_t n) {
        if (WriteAll(m_out->Fd(), data, n)) return true;
        Fail("cannot write %s: %s", m_out->Name(), std::strerror(errno));
        return false;
    }

    bool Check(CRijnDaelMode::Result result) {
        if (result == CRijnDaelMode::SUCCESS) return true;
        char why[512];
        ExplainResult(result, m_o, m_fed, why, sizeof why);
        const bool misread = m_looksBase64 && (result == CRijnDaelMode::BAD_LENGTH ||
                                               result == CRijnDaelMode::BAD_PADDING);
        Fail("%s%s", why, misread ? " (the input looks like Base64: -a decodes it)" : "");
        return false;
    }

    const Options& m_o;
    const KeyMaterial& m_k;
    const int m_in;
    OutputFile* const m_out;
    Progress m_progress;
    CRijnDael m_cipher;
    CRijnDaelMode m_mode;
    Base64Decoder m_decoder;
    Base64Encoder m_encoder;
    unsigned char m_iv[kMaxBlock] = {};
    std::size_t m_ivWanted = 0;            // bytes of an IV in front still to come
    unsigned char m_tail[kMaxBlock] = {};  // with -stripzeros, output held back
    std::size_t m_tailBytes = 0;
    std::uint64_t m_released = 0;  // output bytes let through before the tail
    std::uint64_t m_fed = 0;       // bytes given to the cipher
    std::size_t m_largestRead = 0;
    bool m_looksBase64 = false;
};

int Session::Fail(const char* format, ...) {
    m_progress.Clear();
    std::va_list args;
    va_start(args, format);
    ReportV("", format, args);
    va_end(args);
    return 1;
}

}  // namespace

int RunStream(const Options& options, const KeyMaterial& key, int in, std::int64_t inSize,
              OutputFile* out) {
    Session session(options, key, in, inSize, out);
    return session.Run();
}

}  // namespace detail
}  // namespace sealwrit
