// Base64 (standard alphabet, "=" padding) over a stream that arrives in pieces of any
// size, with the state between pieces kept in the object: the -a option.
#ifndef SEALWRIT_RIJNDAEL_BASE64_STREAM_H
#define SEALWRIT_RIJNDAEL_BASE64_STREAM_H

#include <cstddef>
#include <cstdint>

namespace sealwrit {
namespace detail {

// Writes lines of 64 characters, each ended by a newline, the last one shorter; or
// with oneLine, everything on one line and a newline at its end. Nothing at all for
// no input.
class Base64Encoder {
public:
    explicit Base64Encoder(bool oneLine = false) : m_line(oneLine ? 0 : 64) {}
    // The most that Update writes for n bytes.
    static constexpr std::size_t Bound(std::size_t n) {
        return 4 * ((n + 2) / 3) + 4 * ((n + 2) / 3) / 64 + 1;
    }
    // Returns the number of characters written to out, which holds Bound(n).
    std::size_t Update(const unsigned char* in, std::size_t n, char* out);
    // The last group, padded, and the last line's newline; out holds 6 characters.
    std::size_t Finish(char* out);

private:
    // Encodes bytes that end no later than the current line, and ends the line when
    // they fill it.
    std::size_t Emit(const unsigned char* in, std::size_t n, char* out);

    unsigned char m_carry[3] = {0, 0, 0};  // a group of three in the making
    unsigned m_carried = 0;
    unsigned m_line;  // characters a line; 0 for one line
    unsigned m_column = 0;
    bool m_any = false;  // anything written on the one line
};

// Ignores white space anywhere; takes nothing after a group padded with "=". Whole
// groups go four characters at a time through tables, so that decoding keeps pace
// with reading.
class Base64Decoder {
public:
    // Ready for another input, as the record mode decodes a line at a time.
    void Reset() { *this = Base64Decoder(); }
    // The most that Update writes for n characters.
    static constexpr std::size_t Bound(std::size_t n) { return n / 4 * 3 + 3; }
    // Decodes n characters into out, which holds Bound(n) bytes. False when a
    // character cannot stand where it is; ErrorOffset() then says where.
    bool Update(const char* in, std::size_t n, unsigned char* out, std::size_t* written);
    // False when the input ended inside a group of four characters.
    bool Finish() const { return m_count == 0; }
    // The offset of the offending character in the whole input, counted from 0.
    std::uint64_t ErrorOffset() const { return m_offset; }

private:
    std::uint32_t m_bits = 0;
    unsigned m_count = 0;  // characters of the current group, "=" included
    unsigned m_padding = 0;
    bool m_ended = false;  // a padded group closed the data
    std::uint64_t m_offset = 0;
};

}  // namespace detail
}  // namespace sealwrit

#endif
