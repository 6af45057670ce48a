// Hexadecimal: keys and IVs as -K, -iv and -kfile give them, records with -hex, and
// what -P prints.
#ifndef SEALWRIT_RIJNDAEL_HEX_H
#define SEALWRIT_RIJNDAEL_HEX_H

#include <cstddef>

namespace sealwrit {
namespace detail {

// Decodes the hex digits of text[0 .. n), either case, into out, which holds capacity
// bytes; with spaceAllowed (a key file) white space anywhere is skipped. *bytes gets
// the number of bytes the digits make even when it exceeds capacity, so that a key of
// the wrong length can be reported with its length; only capacity bytes are stored.
// On a bad digit or an odd count, reports it as "what: ..." followed by hint (which
// may be empty) and returns false. The report gives a bad digit's position, counted
// from 1, and never the digit: the text may be a secret.
bool ParseHex(const char* what, const char* text, std::size_t n, bool spaceAllowed,
              unsigned char* out, std::size_t capacity, std::size_t* bytes, const char* hint = "");

// Writes the 2n digits of in[0 .. n) to out, lower case unless upper; returns 2n.
std::size_t EncodeHex(const unsigned char* in, std::size_t n, char* out, bool upper = false);

}  // namespace detail
}  // namespace sealwrit

#endif
