// The padding rules of CRijnDaelMode: the bytes each scheme appends, and the check
// that takes them off again without a branch or an address that depends on them.
#ifndef SEALWRIT_MODES_PADDING_H
#define SEALWRIT_MODES_PADDING_H

#include <cstddef>

#include "../../_inc/CRijnDaelMode.h"
#include "../../_inc/Lib.h"

namespace sealwrit::detail {

// Writes to out the padding that ends a message lying fill bytes past a multiple of
// unit (1 .. 32 bytes), and returns its length: 0 .. unit. filler holds unit - 1
// random bytes for ISO 10126.
std::size_t MakePadding(CRijnDaelMode::Padding padding, unsigned unit, unsigned fill,
                        const BYTE* filler, BYTE* out);

// Checks the padding at the end of the last unit of a message (PKCS7, ANSIX923 or
// ISO10126) in constant time. Returns all ones when it is well formed and 0 when not,
// with *kept the unit's message bytes before it (0 when not).
unsigned CheckPadding(CRijnDaelMode::Padding padding, const BYTE* last, unsigned unit,
                      unsigned* kept);

}  // namespace sealwrit::detail

#endif
