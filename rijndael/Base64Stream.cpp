#include "Base64Stream.h"

#include <algorithm>

#include "../_inc/Base64.h"

namespace sealwrit {
namespace detail {

namespace {

// The character's six bits, or 64 for one outside the alphabet.
constexpr unsigned SixBits(unsigned c) {
    return c >= 'A' && c <= 'Z'   ? c - 'A'
           : c >= 'a' && c <= 'z' ? c - 'a' + 26
           : c >= '0' && c <= '9' ? c - '0' + 52
           : c == '+'             ? 62
           : c == '/'             ? 63
                                  : 64;
}

// For each place in a group of four, every character's six bits already shifted to
// where that place puts them, or kOutside for a character outside the alphabet
// (white space and "=" among them): a whole group is four lookups ORed together, and
// one test says whether all four were in the alphabet.
constexpr std::uint32_t kOutside = 1u << 31;
struct GroupTables {
    std::uint32_t at[4][256];
};
constexpr GroupTables MakeGroupTables() {
    GroupTables t{};
    for (unsigned place = 0; place < 4; ++place) {
        for (unsigned c = 0; c < 256; ++c) {
            const unsigned bits = SixBits(c);
            t.at[place][c] = bits < 64 ? std::uint32_t(bits) << (18 - 6 * place) : kOutside;
        }
    }
    return t;
}
constexpr GroupTables kGroup = MakeGroupTables();

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
        const std::size_t room = m_line == 0 ? n / 3 : std::size_t(m_line - m_column) / 4;
        const std::size_t bytes = std::min(n / 3, room) * 3;
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
    if (m_column > 0 || m_any) {
        out[k++] = '\n';
        m_column = 0;
        m_any = false;
    }
    return k;
}

std::size_t Base64Encoder::Emit(const unsigned char* in, std::size_t n, char* out) {
    std::size_t k = base64_encode_into(in, n, out);
    if (m_line == 0) {
        m_any = m_any || k > 0;
        return k;
    }
    m_column += unsigned(k);
    if (m_column == m_line) {
        out[k++] = '\n';
        m_column = 0;
    }
    return k;
}

bool Base64Decoder::Update(const char* in, std::size_t n, unsigned char* out,
                           std::size_t* written) {
    const unsigned char* at = reinterpret_cast<const unsigned char*>(in);
    const unsigned char* const end = at + n;
    unsigned char* to = out;
    bool ok = true;
    while (at < end) {
        // Whole groups of four characters of the alphabet, between groups: all the
        // data but where a line breaks inside a group, and the end.
        if (m_count == 0 && !m_ended) {
            while (end - at >= 4) {
                const std::uint32_t group = kGroup.at[0][at[0]] | kGroup.at[1][at[1]] |
                                            kGroup.at[2][at[2]] | kGroup.at[3][at[3]];
                if (group & kOutside) break;
                to[0] = static_cast<unsigned char>(group >> 16);
                to[1] = static_cast<unsigned char>(group >> 8);
                to[2] = static_cast<unsigned char>(group);
                to += 3;
                at += 4;
            }
            if (at == end) break;
        }
        // Then one character at a time, until a group ends.
        const unsigned char c = *at;
        if (IsSpace(c)) {
            ++at;
            continue;
        }
        const unsigned bits = SixBits(c);
        // "=" stands only for the third and fourth characters of a group, and once it
        // has, nothing but "=" may follow in the group, and nothing after it.
        const bool fits = !m_ended && (bits < 64 ? m_padding == 0 : c == '=' && m_count >= 2);
        if (!fits) {
            ok = false;
            break;
        }
        ++at;
        m_padding += bits < 64 ? 0 : 1;
        m_bits = m_bits << 6 | (bits & 63);
        if (++m_count == 4) {
            const unsigned char group[3] = {static_cast<unsigned char>(m_bits >> 16),
                                            static_cast<unsigned char>(m_bits >> 8),
                                            static_cast<unsigned char>(m_bits)};
            for (unsigned j = 0; j < 3 - m_padding; ++j) *to++ = group[j];
            m_ended = m_padding > 0;
            m_count = 0;
            m_bits = 0;
        }
    }
    m_offset += std::uint64_t(at - reinterpret_cast<const unsigned char*>(in));
    *written = std::size_t(to - out);
    return ok;
}

}  // namespace detail
}  // namespace sealwrit
