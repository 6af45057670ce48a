// Helpers shared by the fuzz targets: failing loudly, reading choices out of the
// fuzzer's bytes, heap buffers of exact size, and reading what the cipher prints.
#ifndef SEALWRIT_FUZZ_SUPPORT_H
#define SEALWRIT_FUZZ_SUPPORT_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "TestSupport.h"

// Prints what went wrong and aborts, which libFuzzer reports as a crash and saves
// the input for.
[[noreturn]] void FailCheck(const char* file, int line, const char* condition,
                            const std::string& detail);

#define FUZZ_CHECK(condition, detail)                                        \
    do {                                                                     \
        if (!(condition)) FailCheck(__FILE__, __LINE__, #condition, detail); \
    } while (0)

// Whether every byte is value (an empty run counts).
inline bool AllBytesAre(const Bytes& bytes, char value) {
    return std::all_of(bytes.begin(), bytes.end(), [value](char b) { return b == value; });
}

// Consumes the fuzzer's bytes front to back; once they run out every read yields
// zeros, so any input, however short, describes one complete case.
class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : m_data(data), m_left(size) {}

    std::uint8_t Byte();
    // Up to count bytes; fewer when the input runs out.
    Bytes Take(std::size_t count);
    // Exactly count bytes, zero-filled past the end of the input.
    Bytes TakePadded(std::size_t count);
    Bytes Rest() { return Take(m_left); }

private:
    const std::uint8_t* m_data;
    std::size_t m_left;
};

// A length from one byte: mostly the valid Rijndael lengths and the invalid ones
// next to them, sometimes any small value from -16 to 111, and the int extremes.
// Never so large that an exact buffer of that size is a burden.
int PickLength(std::uint8_t choice);

// A claimed length of zero or below from one byte, the int extremes among them.
int PickNonPositiveLength(std::uint8_t choice);

// What the cipher prints for an operation on an unkeyed object.
extern const char kNotInitialized[];

// The key an object holds, as the fuzz targets model it.
struct KeyState {
    bool keyed = false;
    int keyLength = 0;
    int blockSize = 0;
    Bytes key;
};

// "unkeyed", or the key and block lengths and the key.
std::string Describe(const KeyState& state);

// The accessors must report state's lengths and their round count (0 unkeyed);
// which names the object in the failure message.
void CheckAccessors(const CRijnDael& cipher, const KeyState& state, const std::string& which);

// A heap buffer of exactly size bytes, so that AddressSanitizer reports any access
// past its end (or any access at all when size is 0).
class HeapBuffer {
public:
    explicit HeapBuffer(std::size_t size) : m_size(size), m_data(new char[size]) {}
    explicit HeapBuffer(const Bytes& contents);
    HeapBuffer(std::size_t size, char fill);

    char* data() { return m_data.get(); }
    std::size_t size() const { return m_size; }
    Bytes contents() const { return Bytes(m_data.get(), m_data.get() + m_size); }

private:
    std::size_t m_size;
    std::unique_ptr<char[]> m_data;
};

// An array of count objects built in zeroed heap memory of exactly their size, so
// that padding bytes compare equal and AddressSanitizer sees any element past the
// last. count may be 0.
template <typename T>
class ZeroedArray {
public:
    explicit ZeroedArray(std::size_t count)
        : m_count(count),
          m_memory(
              static_cast<T*>(::operator new(sizeof(T) * count, std::align_val_t(alignof(T))))) {
        std::fill_n(reinterpret_cast<unsigned char*>(m_memory), sizeof(T) * count, 0);
        for (std::size_t i = 0; i < count; ++i) new (m_memory + i) T();
    }
    ~ZeroedArray() {
        for (std::size_t i = 0; i < m_count; ++i) m_memory[i].~T();
        ::operator delete(m_memory, std::align_val_t(alignof(T)));
    }
    ZeroedArray(const ZeroedArray&) = delete;
    ZeroedArray& operator=(const ZeroedArray&) = delete;

    T* data() { return m_memory; }
    T& operator[](std::size_t i) { return m_memory[i]; }
    std::size_t size() const { return m_count; }
    // The object representation, for "left exactly as it was" comparisons.
    Bytes Representation() const {
        const char* raw = reinterpret_cast<const char*>(m_memory);
        return Bytes(raw, raw + sizeof(T) * m_count);
    }

private:
    std::size_t m_count;
    T* m_memory;
};

// Sends standard output to a scratch file from now on, so that the cipher's
// messages can be checked rather than flooding the fuzzer's console.
void CaptureStdout();
// What was printed since the previous call (or since CaptureStdout).
std::string TakeStdout();

#endif
