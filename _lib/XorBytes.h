// XOR of two byte strings, as every chaining mode needs it around the cipher.
#ifndef SEALWRIT_XOR_BYTES_H
#define SEALWRIT_XOR_BYTES_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "../_inc/Lib.h"

namespace sealwrit::detail {

// Sixteen bytes at a time: out may be a or b, which rules out the compiler's own
// vectorising, and a byte at a time would cost more than the cipher. Whole 16-byte
// stores also let the cipher's next 16-byte load take the value straight from the
// store (two 8-byte stores would stall it).
inline void XorInto(const BYTE* a, const BYTE* b, BYTE* out, std::size_t n) {
    typedef std::uint64_t Lanes __attribute__((vector_size(16)));
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        Lanes x, y;
        std::memcpy(&x, a + i, 16);
        std::memcpy(&y, b + i, 16);
        x ^= y;
        std::memcpy(out + i, &x, 16);
    }
    for (; i < n; ++i) out[i] = BYTE(a[i] ^ b[i]);
}

}  // namespace sealwrit::detail

#endif
