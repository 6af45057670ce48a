// Zeroing memory that held secrets: round keys, key stream, plaintext in scratch.
#ifndef SEALWRIT_WIPE_H
#define SEALWRIT_WIPE_H

#include <cstddef>
#include <cstring>

namespace sealwrit::detail {

// The barrier tells the compiler the zeros are read afterwards, so that it cannot
// drop the stores as writes to memory about to die: a local at the end of its
// scope, an object in its destructor.
inline void Wipe(void* secret, std::size_t n) {
    std::memset(secret, 0, n);
    __asm__ __volatile__("" : : "r"(secret) : "memory");
}

template <class T>
void Wipe(T& secret) {
    Wipe(&secret, sizeof secret);
}

}  // namespace sealwrit::detail

#endif
