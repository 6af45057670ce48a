#include "Hex.h"

#include "Report.h"

namespace sealwrit {
namespace detail {

namespace {

// The digit's value, or 16 for anything else.
unsigned HexValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    const unsigned lower = c | 0x20u;
    if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
    return 16;
}

bool IsSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

bool ParseHex(const char* what, const char* text, std::size_t n, bool spaceAllowed,
              unsigned char* out, std::size_t capacity, std::size_t* bytes) {
    std::size_t digits = 0;
    unsigned high = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (spaceAllowed && IsSpace(c)) continue;
        const unsigned value = HexValue(c);
        if (value > 15) {
            if (c >= 0x21 && c < 0x7F) {
                Report("%s: '%c' at position %zu is not a hex digit", what, c, i + 1);
            } else {
                Report("%s: byte 0x%02x at position %zu is not a hex digit", what, c, i + 1);
            }
            return false;
        }
        if (digits % 2 == 0) {
            high = value;
        } else if (digits / 2 < capacity) {
            out[digits / 2] = static_cast<unsigned char>(high << 4 | value);
        }
        ++digits;
    }
    if (digits % 2 != 0) {
        Report("%s: an odd number of hex digits (%zu); each byte takes two", what, digits);
        return false;
    }
    *bytes = digits / 2;
    return true;
}

}  // namespace detail
}  // namespace sealwrit
