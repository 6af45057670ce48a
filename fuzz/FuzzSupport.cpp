#include "FuzzSupport.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

void FailCheck(const char* file, int line, const char* condition, const std::string& detail) {
    (void)std::fprintf(stderr, "\n%s:%d: check failed: %s\n%s\n", file, line, condition,
                       detail.c_str());
    (void)std::fflush(stderr);
    std::abort();
}

std::uint8_t FuzzInput::Byte() {
    if (m_left == 0) return 0;
    --m_left;
    return *m_data++;
}

Bytes FuzzInput::Take(std::size_t count) {
    const std::size_t n = count < m_left ? count : m_left;
    Bytes out(m_data, m_data + n);
    m_data += n;
    m_left -= n;
    return out;
}

Bytes FuzzInput::TakePadded(std::size_t count) {
    Bytes out = Take(count);
    out.resize(count, '\0');
    return out;
}

int PickLength(std::uint8_t choice) {
    // The valid lengths fill a third of the table so that valid keys stay common.
    static const int kInteresting[32] = {
        16, 24, 32, 16, 24, 32, 16, 24, 32, 16, 0,   15,  17,  20,  23,      25,
        31, 33, 1,  4,  8,  12, 28, 48, 64, -1, -15, -16, -17, -32, INT_MIN, INT_MIN + 16,
    };
    if (choice < 0x80) return kInteresting[choice % 32];
    return int(choice - 0x80) - 16;
}

int PickNonPositiveLength(std::uint8_t choice) {
    static const int kLengths[8] = {0, -1, -15, -16, -17, -32, INT_MIN, INT_MIN + 15};
    return kLengths[choice % 8];
}

const char kNotInitialized[] = "Object not Initialized";

std::string Describe(const KeyState& state) {
    if (!state.keyed) return "unkeyed";
    return std::to_string(state.keyLength) + "-byte key " + ToHex(state.key) + ", " +
           std::to_string(state.blockSize) + "-byte block";
}

void CheckAccessors(const CRijnDael& cipher, const KeyState& state, const std::string& which) {
    const int rounds = state.keyed ? std::max(state.keyLength, state.blockSize) / 4 + 6 : 0;
    FUZZ_CHECK(cipher.GetKeyLength() == state.keyLength &&
                   cipher.GetBlockSize() == state.blockSize && cipher.GetRounds() == rounds,
               which + " says " + std::to_string(cipher.GetKeyLength()) + "/" +
                   std::to_string(cipher.GetBlockSize()) + "/" +
                   std::to_string(cipher.GetRounds()) + " but is " + Describe(state));
}

HeapBuffer::HeapBuffer(const Bytes& contents) : HeapBuffer(contents.size()) {
    std::copy(contents.begin(), contents.end(), m_data.get());
}

HeapBuffer::HeapBuffer(std::size_t size, char fill) : HeapBuffer(size) {
    std::fill_n(m_data.get(), size, fill);
}

void CaptureStdout() {
    (void)std::fflush(stdout);
    std::FILE* scratch = std::tmpfile();
    if (scratch == nullptr || dup2(fileno(scratch), STDOUT_FILENO) < 0) {
        std::perror("cannot capture standard output");
        std::abort();
    }
    // fd 1 now refers to the scratch file; the FILE that opened it is not needed
    // to keep it alive.
    (void)std::fclose(scratch);
}

std::string TakeStdout() {
    (void)std::fflush(stdout);
    const off_t written = lseek(STDOUT_FILENO, 0, SEEK_CUR);
    if (written < 0) {
        std::perror("standard output is not captured");
        std::abort();
    }
    // Most calls find nothing printed; they cost one system call.
    if (written == 0) return std::string();
    std::string text(std::size_t(written), '\0');
    if (pread(STDOUT_FILENO, &text[0], text.size(), 0) != written) {
        std::perror("cannot read captured standard output");
        std::abort();
    }
    // Start over so the scratch file does not grow over millions of runs.
    if (ftruncate(STDOUT_FILENO, 0) != 0 || lseek(STDOUT_FILENO, 0, SEEK_SET) != 0) {
        std::perror("cannot reset captured standard output");
        std::abort();
    }
    return text;
}
