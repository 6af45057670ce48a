// Keys and IVs in hexadecimal, as -K, -iv and -kfile give them.
#ifndef SEALWRIT_RIJNDAEL_HEX_H
#define SEALWRIT_RIJNDAEL_HEX_H

#include <cstddef>

namespace sealwrit {
namespace detail {

// Decodes the hex digits of text[0 .. n), either case, into out, which holds capacity
// bytes; with spaceAllowed (a key file) white space anywhere is skipped. *bytes gets
// the number of bytes the digits make even when it exceeds capacity, so that a key of
// the wrong length can be reported with its length; only capacity bytes are stored.
// On a bad digit or an odd count, reports it as "what: ..." (a bad digit with its
// position, counted from 1) and returns false.
bool ParseHex(const char* what, const char* text, std::size_t n, bool spaceAllowed,
              unsigned char* out, std::size_t capacity, std::size_t* bytes);

}  // namespace detail
}  // namespace sealwrit

#endif
