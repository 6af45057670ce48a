#include "Base64Stream.h"

namespace sealwrit {
namespace detail {

namespace {

const char kAlphabet[65] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
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

void Base64Encoder::Put(char c, char* out, std::size_t* k) {
    out[(*k)++] = c;
    if (++m_column == kLine) {
        out[(*k)++] = '\n';
        m_column = 0;
    }
}

std::size_t Base64Encoder::Update(const unsigned char* in, std::size_t n, char* out) {
    std::size_t k = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (m_carried < 2) {
            m_carry[m_carried++] = in[i];
            continue;
        }
        const std::uint32_t group =
            std::uint32_t(m_carry[0]) << 16 | std::uint32_t(m_carry[1]) << 8 | in[i];
        m_carried = 0;
        for (int shift = 18; shift >= 0; shift -= 6) Put(kAlphabet[group >> shift & 63], out, &k);
    }
    return k;
}

std::size_t Base64Encoder::Finish(char* out) {
    std::size_t k = 0;
    if (m_carried > 0) {
        const std::uint32_t group =
            std::uint32_t(m_carry[0]) << 16 | std::uint32_t(m_carried > 1 ? m_carry[1] : 0) << 8;
        Put(kAlphabet[group >> 18 & 63], out, &k);
        Put(kAlphabet[group >> 12 & 63], out, &k);
        Put(m_carried > 1 ? kAlphabet[group >> 6 & 63] : '=', out, &k);
        Put('=', out, &k);
        m_carried = 0;
    }
    if (m_column > 0) {
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
