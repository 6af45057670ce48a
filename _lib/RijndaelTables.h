// Rijndael's constant tables, derived at compile time from the rules that define
// them so that a reader can check the rule rather than pages of hex.
#ifndef SEALWRIT_RIJNDAEL_TABLES_H
#define SEALWRIT_RIJNDAEL_TABLES_H

#include <array>

#include "../_inc/Lib.h"

namespace sealwrit::detail {

namespace rijndael_tables {

typedef std::array<BYTE, 256> ByteTable;

// Multiplication by x in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1.
constexpr BYTE Xtime(BYTE x) { return BYTE((x << 1) ^ ((x & 0x80) ? 0x1B : 0x00)); }

constexpr BYTE Mul(BYTE a, BYTE b) {
    BYTE product = 0;
    while (b != 0) {
        if (b & 1) product ^= a;
        a = Xtime(a);
        b >>= 1;
    }
    return product;
}

// x^254 is the multiplicative inverse of x in GF(2^8), and maps 0 to 0 as the
// S-box wants.
constexpr BYTE Inverse(BYTE x) {
    BYTE result = 1;
    BYTE power = x;
    for (unsigned e = 254; e != 0; e >>= 1) {
        if (e & 1) result = Mul(result, power);
        power = Mul(power, power);
    }
    return result;
}

constexpr BYTE RotL8(BYTE x, unsigned n) { return BYTE((x << n) | (x >> (8 - n))); }

constexpr BYTE Affine(BYTE y) {
    return BYTE(y ^ RotL8(y, 1) ^ RotL8(y, 2) ^ RotL8(y, 3) ^ RotL8(y, 4) ^ 0x63);
}

constexpr ByteTable MakeSBox() {
    ByteTable s{};
    for (unsigned x = 0; x < 256; ++x) s[x] = Affine(Inverse(BYTE(x)));
    return s;
}

constexpr ByteTable MakeInverseSBox() {
    const ByteTable s = MakeSBox();
    ByteTable si{};
    for (unsigned x = 0; x < 256; ++x) si[s[x]] = BYTE(x);
    return si;
}

// Round constants: successive powers of x, enough for the longest expansion
// (16-byte key, 32-byte block: 29 steps).
constexpr std::array<BYTE, 30> MakeRoundConstants() {
    std::array<BYTE, 30> rcon{};
    rcon[0] = 0x01;
    for (unsigned i = 1; i < rcon.size(); ++i) rcon[i] = Xtime(rcon[i - 1]);
    return rcon;
}

// Row-shift offsets by shift class (block of 4, 6 or 8 words), row, and direction
// (encryption, decryption): column i takes row j from column i + offset, modulo
// the block's columns. A row's decryption offset is BC minus its encryption
// offset, so decryption undoes the shift.
constexpr int kShifts[3][4][2] = {
    {{0, 0}, {1, 3}, {2, 2}, {3, 1}},
    {{0, 0}, {1, 5}, {2, 4}, {3, 3}},
    {{0, 0}, {1, 7}, {3, 5}, {4, 4}},
};

// The shift class of a block of bc columns (4, 6 or 8): kShifts' first index.
constexpr int ShiftClass(int bc) { return bc == 4 ? 0 : bc == 6 ? 1 : 2; }

// The column from which column `column` of a bc-column block takes row `row` in the
// row shift, or in its inverse when decrypting.
constexpr int ShiftSource(int bc, int column, int row, bool decrypt) {
    return (column + kShifts[ShiftClass(bc)][row][decrypt ? 1 : 0]) % bc;
}

}  // namespace rijndael_tables

}  // namespace sealwrit::detail

#endif
