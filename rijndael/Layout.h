// What the tool adds to the modes for the layouts PHP and .NET wrote, the same for a
// stream and for a table of records: PHP's block for an empty text, the zero bytes
// stripped from a text's last block, fresh IVs to carry in front of the data, and
// what a refused call means, in words.
#ifndef SEALWRIT_RIJNDAEL_LAYOUT_H
#define SEALWRIT_RIJNDAEL_LAYOUT_H

#include <cstddef>
#include <cstdint>

#include "../_inc/CRijnDaelMode.h"
#include "Options.h"

namespace sealwrit {
namespace detail {

// PHP's mcrypt_encrypt pads ECB and CBC with zero bytes, and makes an empty text one
// block of them; in the other modes it pads nothing.
inline bool PhpEmptyBlock(const Options& o) { return o.phpPadding && !o.decrypt && o.Blockwise(); }

// The length of the last n bytes of a text (its last block, or what there is of it)
// without the zero bytes that end it.
inline std::size_t WithoutTrailingZeros(const unsigned char* last, std::size_t n) {
    while (n > 0 && last[n - 1] == 0) --n;
    return n;
}

// Fills iv with a block of bytes from the operating system's random source; returns
// false when it gives none.
bool FreshIv(unsigned char* iv, int blockSize);

// Writes to message (size bytes, NUL-terminated) why the cipher refused a message of
// `bytes` bytes, as the user should read it.
void ExplainResult(CRijnDaelMode::Result result, const Options& o, std::uint64_t bytes,
                   char* message, std::size_t size);

}  // namespace detail
}  // namespace sealwrit

#endif
