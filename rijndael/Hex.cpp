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
              unsigned char* out, std::size_t capacity, std::size_t* bytes, const char* hint) {
    std::size_t digits = 0;
    unsigned high = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (spaceAllowed && IsSpace(c)) continue;
        const unsigned value = HexValue(c);
        if (value > 15) {
            Report("%s: not a hex digit at position %zu%s", what, i + 1, hint);
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
        Report("%s: an odd number of hex digits (%zu); each byte takes two%s", what, digits, hint);
        return false;
    }
    *bytes = digits / 2;
    return true;
}

std::size_t EncodeHex(const unsigned char* in, std::size_t n, char* out, bool upper) {
    const char* const digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    for (std::size_t i = 0; i < n; ++i) {
        out[2 * i] = digits[in[i] >> 4];
        out[2 * i + 1] = digits[in[i] & 15];
    }
    return 2 * n;
}

}  // namespace detail
}  // namespace sealwrit
