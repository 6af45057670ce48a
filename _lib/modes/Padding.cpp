// Padding bytes and their constant-time check.
#include "Padding.h"

#include <cstring>

namespace sealwrit::detail {

namespace {

// Hides a mask from the optimiser, which could otherwise see that it is all ones or
// zero and turn the arithmetic below back into a branch on the padding.
unsigned Opaque(unsigned x) {
    __asm__("" : "+r"(x));
    return x;
}

// All ones when a < b, else 0; both below 2^31, so the difference's sign bit tells.
unsigned MaskIfLess(unsigned a, unsigned b) { return Opaque(0u - ((a - b) >> 31)); }

}  // namespace

std::size_t MakePadding(CRijnDaelMode::Padding padding, unsigned unit, unsigned fill,
                        const BYTE* filler, BYTE* out) {
    if (padding == CRijnDaelMode::NONE || (padding == CRijnDaelMode::ZEROS && fill == 0)) return 0;
    const unsigned count = unit - fill;
    switch (padding) {
        case CRijnDaelMode::PKCS7:
            std::memset(out, int(count), count);
            break;
        case CRijnDaelMode::ISO10126:
            std::memcpy(out, filler, count - 1);
            out[count - 1] = BYTE(count);
            break;
        default:  // ZEROS, and ANSIX923's zeros before its count
            std::memset(out, 0, count);
            if (padding == CRijnDaelMode::ANSIX923) out[count - 1] = BYTE(count);
    }
    return count;
}

unsigned CheckPadding(CRijnDaelMode::Padding padding, const BYTE* last, unsigned unit,
                      unsigned* kept) {
    const unsigned count = last[unit - 1];
    // A count of 0 or more than the unit cannot be; all ones then.
    const unsigned outOfRange = MaskIfLess(count, 1u) | MaskIfLess(unit, count);
    // Every byte is looked at, and those in the padding compared, whatever the count
    // says: what ISO 10126 leaves free (its filler) is compared with itself.
    unsigned wrong = 0;
    for (unsigned i = 0; i + 1 < unit; ++i) {
        const unsigned inPadding = ~MaskIfLess(i, unit - count);
        const unsigned expected = padding == CRijnDaelMode::PKCS7      ? count
                                  : padding == CRijnDaelMode::ANSIX923 ? 0u
                                                                       : last[i];
        wrong |= inPadding & (last[i] ^ expected);
    }
    const unsigned good = ~outOfRange & MaskIfLess(wrong, 1u);
    *kept = (unit - count) & good;
    return good;
}

}  // namespace sealwrit::detail
