// One 24- or 32-byte block on AES-NI (AesWideRounds.h), with the byte moves SSSE3 and
// SSE4.1 offer. Compiled with -maes -mssse3 -msse4.1; the dispatcher offers AES-NI
// only where the CPU has all three, as every CPU with AES-NI does.
#include "AesWideRounds.h"
#include "AesX86Backends.h"

namespace {

using namespace wide_rounds;

// Per output register, the cheapest form its moves allow: one PBLENDVB where the blend
// alone puts every byte in place; PBLENDVB and PSHUFB where both outputs can share
// the blend mask, which then stays in XMM0 (PBLENDVB's implicit operand); otherwise
// each register's bytes through PSHUFB, combined with POR, so that no mask need be
// moved into XMM0 each round.
template <int BC, bool kDecrypt>
class BlendShuffle {
public:
    BlendShuffle()
        : m_blend{Load(kMoves.blend[0]), Load(kMoves.blend[1])},
          m_shuffle{Load(kMoves.shuffle[0]), Load(kMoves.shuffle[1])},
          m_fromLow{Load(kFromLow.bytes[0]), Load(kFromLow.bytes[1])},
          m_fromHigh{Load(kFromHigh.bytes[0]), Load(kFromHigh.bytes[1])} {}

    __m128i Low(__m128i low, __m128i high) const { return Half<0>(low, high); }
    __m128i High(__m128i low, __m128i high) const { return Half<1>(low, high); }

private:
    static constexpr const Moves& kMoves = MovesFor<BC, kDecrypt>::kMoves;
    struct Controls {
        BYTE bytes[2][16];
    };
    static constexpr Controls OneRegister(bool high) {
        Controls c{};
        for (int half = 0; half < 2; ++half) {
            for (int b = 0; b < 16; ++b) c.bytes[half][b] = FromOneRegister(kMoves, half, high, b);
        }
        return c;
    }
    static constexpr Controls kFromLow = OneRegister(false), kFromHigh = OneRegister(true);

    template <int kHalf>
    __m128i Half(__m128i low, __m128i high) const {
        if constexpr (ShuffleIsIdentity(kMoves, kHalf)) {
            return _mm_blendv_epi8(low, high, m_blend[kHalf]);
        } else if constexpr (MasksComplement(kMoves)) {
            const __m128i x = kHalf == 0 ? _mm_blendv_epi8(low, high, m_blend[0])
                                         : _mm_blendv_epi8(high, low, m_blend[0]);
            return _mm_shuffle_epi8(x, m_shuffle[kHalf]);
        } else {
            return _mm_or_si128(_mm_shuffle_epi8(low, m_fromLow[kHalf]),
                                _mm_shuffle_epi8(high, m_fromHigh[kHalf]));
        }
    }

    __m128i m_blend[2], m_shuffle[2], m_fromLow[2], m_fromHigh[2];
};

}  // namespace

void AesniEncryptWideBlock(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                           BYTE* out) {
    Block<BlendShuffle, false>(rk, rounds, blockBytes, in, out);
}

void AesniDecryptWideBlock(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                           BYTE* out) {
    Block<BlendShuffle, true>(rk, rounds, blockBytes, in, out);
}
