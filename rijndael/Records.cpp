#include "Records.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "../_inc/Base64.h"
#include "../_inc/CRijnDael.h"
#include "../_inc/CRijnDaelMode.h"
#include "Base64Stream.h"
#include "Hex.h"
#include "Layout.h"
#include "Progress.h"
#include "Report.h"

namespace sealwrit {
namespace detail {

namespace {

const std::size_t kRead = 64 * 1024;
const std::size_t kMaxBlock = 32;
// A record's bytes are at most its characters (raw text); an IV, padding and the
// one-shot calls' room come on top.
const std::size_t kMaxBytes = kMaxRecordLine + 3 * kMaxBlock;
// Output is written in pieces of about this size, so that a table of small records
// costs few system calls.
const std::size_t kFlushAt = 64 * 1024;

// In static storage, touched only as far as the records reach, and wiped as far as
// they did.
struct Buffers {
    char input[kMaxRecordLine + 2 + kRead];  // a record, its CR and what is read after
    unsigned char bytes[kMaxBytes];
    unsigned char result[kMaxBytes];
    char output[kFlushAt + 2 * kMaxBytes + 1];  // hex, the longer encoding, and "\n"
};
Buffers g_buffers;

class Table {
public:
    Table(const Options& o, const KeyMaterial& k, int in, std::int64_t inSize, OutputFile* out)
        : m_o(o),
          m_k(k),
          m_in(in),
          m_out(out),
          m_progress(o.progress, inSize),
          m_block(std::size_t(o.blockSize)) {
        m_cipher.SetKey(reinterpret_cast<const char*>(k.key), int(k.keyLength), o.blockSize);
    }
    ~Table() {
        explicit_bzero(g_buffers.input, m_inputUsed);
        explicit_bzero(g_buffers.bytes, m_bytesUsed);
        explicit_bzero(g_buffers.result, m_bytesUsed);
        explicit_bzero(g_buffers.output, m_outputUsed);
    }
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    int Run() {
        char* const input = g_buffers.input;
        std::size_t start = 0, filled = 0;
        std::uint64_t read = 0;
        bool skipping = false;  // inside a line too long to be a record, already reported
        for (;;) {
            for (;;) {
                const char* end =
                    static_cast<const char*>(std::memchr(input + start, '\n', filled - start));
                if (end == nullptr) break;
                if (!skipping) Record(input + start, std::size_t(end - (input + start)));
                skipping = false;
                start = std::size_t(end - input) + 1;
                if (m_used >= kFlushAt && !Flush()) return 1;
            }
            std::size_t partial = filled - start;
            // Longer than a record and its CR may be, whatever comes before its end: it
            // fails now, and the rest of it is read past.
            if (partial > kMaxRecordLine + 1 && !skipping) {
                Record(input + start, partial);
                skipping = true;
            }
            if (skipping) partial = 0;
            std::memmove(input, input + start, partial);
            start = 0;
            filled = partial;
            const ssize_t got = ::read(m_in, input + filled, kRead);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0)
                return Fatal("cannot read %s: %s", m_o.in ? m_o.in : "standard input",
                             std::strerror(errno));
            if (got == 0) break;
            filled += std::size_t(got);
            if (filled > m_inputUsed) m_inputUsed = filled;
            read += std::size_t(got);
            m_progress.Update(read);
        }
        // A last line without its line break is a record too.
        if (filled > 0 && !skipping) Record(input, filled);
        if (!Flush()) return 1;
        m_progress.Clear();
        return m_out->Commit() && !m_anyFailed ? 0 : 1;
    }

private:
    // One line, its line break taken off: its result and a line break to the output,
    // or for a record that fails, the line break alone.
    void Record(const char* line, std::size_t n) {
        ++m_line;
        if (n > 0 && line[n - 1] == '\r') --n;  // a table exported on Windows
        if (n > kMaxRecordLine) {
            m_anyFailed = true;
            Failed("longer than %zu characters, the most a record may have", kMaxRecordLine);
        } else {
            const std::size_t reach = n + 3 * kMaxBlock;
            if (reach > m_bytesUsed) m_bytesUsed = reach;
            if (!Process(line, n)) m_anyFailed = true;
        }
        g_buffers.output[m_used++] = '\n';
    }

    bool Process(const char* line, std::size_t n) {
        const unsigned char* bytes = g_buffers.bytes;
        std::size_t length = 0;
        if (m_o.raw && !m_o.decrypt) {
            bytes = reinterpret_cast<const unsigned char*>(line);
            length = n;
        } else if (!Decode(line, n, &length)) {
            return false;
        }
        unsigned char* const result = g_buffers.result;
        const unsigned char* iv = m_k.iv;
        std::size_t prefix = 0;
        if (m_o.ivPrefix && m_o.decrypt) {
            if (length < m_block) {
                return Failed("%zu bytes, fewer than the IV in front of them, a block of %zu",
                              length, m_block);
            }
            iv = bytes;
            bytes += m_block;
            length -= m_block;
        } else if (m_o.ivPrefix) {
            if (!FreshIv(result, m_o.blockSize)) {
                return Failed("-ivprefix needs random bytes for the IV, and the system gives none");
            }
            iv = result;
            prefix = m_block;
        }
        static const unsigned char kZeros[kMaxBlock] = {};
        if (PhpEmptyBlock(m_o) && length == 0) {
            bytes = kZeros;
            length = m_block;
        }
        const auto call = m_o.decrypt ? CRijnDaelMode::Decrypt : CRijnDaelMode::Encrypt;
        std::size_t written = 0;
        const CRijnDaelMode::Result r =
            call(m_cipher, m_o.mode, m_o.padding, reinterpret_cast<const char*>(iv),
                 reinterpret_cast<const char*>(bytes), length,
                 reinterpret_cast<char*>(result + prefix), &written, m_o.segment);
        if (r != CRijnDaelMode::SUCCESS) {
            char why[512];
            ExplainResult(r, m_o, length, why, sizeof why);
            return Failed("%s", why);
        }
        std::size_t total = prefix + written;
        if (m_o.stripZeros && total > 0) {
            const std::size_t last = (total - 1) / m_block * m_block;
            total = last + WithoutTrailingZeros(result + last, total - last);
        }
        char* const to = g_buffers.output + m_used;
        if (m_o.decrypt && m_o.raw) {
            std::memcpy(to, result, total);
            m_used += total;
        } else {
            m_used +=
                m_o.hex ? EncodeHex(result, total, to) : base64_encode_into(result, total, to);
        }
        if (m_used > m_outputUsed) m_outputUsed = m_used;
        return true;
    }

    // The record's line in Base64 or hex into g_buffers.bytes.
    bool Decode(const char* line, std::size_t n, std::size_t* length) {
        if (m_o.hex) {
            char what[32];
            std::snprintf(what, sizeof what, "line %llu", static_cast<unsigned long long>(m_line));
            m_progress.Clear();
            return ParseHex(what, line, n, false, g_buffers.bytes, kMaxBytes, length);
        }
        m_decoder.Reset();
        if (!m_decoder.Update(line, n, g_buffers.bytes, length)) {
            return Failed("invalid Base64 at character %llu",
                          static_cast<unsigned long long>(m_decoder.ErrorOffset() + 1));
        }
        if (!m_decoder.Finish())
            return Failed("invalid Base64: the line ends inside a group of four characters");
        return true;
    }

    // Reports the current record's failure; returns false.
    bool Failed(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Reports a failure of the run itself; returns the exit status.
    int Fatal(const char* format, ...) __attribute__((format(printf, 2, 3)));

    bool Flush() {
        const std::size_t n = m_used;
        m_used = 0;
        if (WriteAll(m_out->Fd(), g_buffers.output, n)) return true;
        Fatal("cannot write %s: %s", m_out->Name(), std::strerror(errno));
        return false;
    }

    const Options& m_o;
    const KeyMaterial& m_k;
    const int m_in;
    OutputFile* const m_out;
    Progress m_progress;
    const std::size_t m_block;
    CRijnDael m_cipher;
    Base64Decoder m_decoder;
    std::uint64_t m_line = 0;
    std::size_t m_used = 0;  // output waiting to be written
    bool m_anyFailed = false;
    std::size_t m_inputUsed = 0, m_bytesUsed = 0, m_outputUsed = 0;  // how far to wipe
};

bool Table::Failed(const char* format, ...) {
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "line %llu: ", static_cast<unsigned long long>(m_line));
    m_progress.Clear();
    std::va_list args;
    va_start(args, format);
    ReportV(prefix, format, args);
    va_end(args);
    return false;
}

int Table::Fatal(const char* format, ...) {
    m_progress.Clear();
    std::va_list args;
    va_start(args, format);
    ReportV("", format, args);
    va_end(args);
    return 1;
}

}  // namespace

int RunRecords(const Options& options, const KeyMaterial& key, int in, std::int64_t inSize,
               OutputFile* out) {
    Table table(options, key, in, inSize, out);
    return table.Run();
}

}  // namespace detail
}  // namespace sealwrit
