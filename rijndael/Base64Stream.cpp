#include "Base64Stream.h"

#include <algorithm>

#include "../_inc/Base64.h"

namespace sealwrit {
namespace detail {

namespace {

const unsigned kLine = 64;

// The character's six bits, or 64 for one outside the alphabet.
unsigned SixBits(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return 64;
}

bool IsSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

std::size_t Base64Encoder::Update(const unsigned char* in, std::size_t n, char* out) {
    std::size_t k = 0;
    // A group the last piece left short, completed first.
    while (m_carried > 0 && m_carried < 3 && n > 0) {
        m_carry[m_carried++] = *in++;
        --n;
    }
    if (m_carried == 3) {
        k += Emit(m_carry, 3, out + k);
        m_carried = 0;
    }
    // Then whole groups, up to the end of each line at a time.
    while (n >= 3) {
        const std::size_t bytes = std::min(n / 3, std::size_t(kLine - m_column) / 4) * 3;
        k += Emit(in, bytes, out + k);
        in += bytes;
        n -= bytes;
    }
    for (; n > 0; --n) m_carry[m_carried++] = *in++;
    return k;
}

std::size_t Base64Encoder::Finish(char* out) {
    std::size_t k = 0;
    if (m_carried > 0) {
        k += Emit(m_carry, m_carried, out);
        m_carried = 0;
    }
    if (m_column > 0) {
        out[k++] = '\n';
        m_column = 0;
    }
    return k;
}

std::size_t Base64Encoder::Emit(const unsigned char* in, std::size_t n, char* out) {
    std::size_t k = base64_encode_into(in, n, out);
    m_column += unsigned(k);
    if (m_column == kLine) {
        out[k++] = '\n';
        m_column = 0;
    }
    return k;
}

bool Base64Decoder::Update(const char* in, std::size_t n, unsigned char* out,
                           std::size_t* written) {
    std::size_t k = 0;
    *written = 0;
    for (std::size_t i = 0; i < n; ++i, ++m_offset) {
        const unsigned char c = static_cast<unsigned char>(in[i]);
        if (IsSpace(c)) continue;
        const unsigned bits = SixBits(c);
        // "=" stands only for the third and fourth characters of a group, and once it
        // has, nothing but "=" may follow in the group, and nothing after it.
        const bool fits = !m_ended && (bits < 64 ? m_padding == 0 : c == '=' && m_count >= 2);
        if (!fits) {
            *written = k;
            return false;
        }
        m_padding += bits < 64 ? 0 : 1;
        m_bits = m_bits << 6 | (bits & 63);
        if (++m_count == 4) {
            const unsigned char group[3] = {static_cast<unsigned char>(m_bits >> 16),
                                            static_cast<unsigned char>(m_bits >> 8),
                                            static_cast<unsigned char>(m_bits)};
            for (unsigned j = 0; j < 3 - m_padding; ++j) out[k++] = group[j];
            m_ended = m_padding > 0;
            m_count = 0;
            m_bits = 0;
        }
    }
    *written = k;
    return true;
}

}  // namespace detail
}  // namespace sealwrit
