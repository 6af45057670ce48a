// CRijnDaelMode: the chaining modes over CRijnDael's blocks, and the message's
// bookkeeping between calls (what is held back, the key stream in use, padding).
#include "../../_inc/CRijnDaelMode.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "../../_inc/CRijnDael.h"
#include "../ChainingOverBlocks.h"
#include "../CipherAccess.h"
#include "../Wipe.h"
#include "OsRandom.h"
#include "Padding.h"

using namespace sealwrit::detail;
using sealwrit::BYTE;

namespace {

// The parallel directions hand the cipher this much at a time: enough blocks to fill
// every back end's pipeline, small enough for the stack and the first-level cache.
const std::size_t kChunkBytes = 4096;

// Every block the modes need goes through these two: whole blocks of the key's size
// in ECB, in may be out. Runs of blocks (the parallel directions, a chunk at a time)
// take the table's whole-buffer ECB, whose implementations keep many blocks in
// flight; a lone block (the serial directions' step) the form with the least latency.
void EcbEncrypt(const CRijnDael& key, const BYTE* in, BYTE* out, std::size_t blocks) {
    if (blocks == 1) return CipherAccess::Block(key, false, in, out);
    CipherAccess::Ecb(key, false, in, out, blocks);
}

void EcbDecrypt(const CRijnDael& key, const BYTE* in, BYTE* out, std::size_t blocks) {
    if (blocks == 1) return CipherAccess::Block(key, true, in, out);
    CipherAccess::Ecb(key, true, in, out, blocks);
}

// CBC or CFB decryption of whole 24- or 32-byte blocks: the table's whole-buffer ECB
// a chunk at a time.
void DecryptWideChained(const CRijnDael& key, Feedback mode, BYTE* reg, std::size_t size,
                        const BYTE* in, BYTE* out, std::size_t blocks) {
    BYTE chain[kChunkBytes + 32];
    const auto cipher = [&](const BYTE* from, BYTE* to, std::size_t n) {
        (mode == kCbc ? EcbDecrypt : EcbEncrypt)(key, from, to, n);
    };
    DecryptChainedBlocks(cipher, size, mode, reg, in, out, blocks, chain, kChunkBytes / size);
}

// Whether Begin takes the mode, padding and segment for a key of this block size.
bool ShapeFits(CRijnDaelMode::Mode mode, CRijnDaelMode::Padding padding, int segment, int block) {
    if (mode < CRijnDaelMode::ECB || mode > CRijnDaelMode::CTR) return false;
    if (padding < CRijnDaelMode::NONE || padding > CRijnDaelMode::ISO10126) return false;
    const bool segmented = mode == CRijnDaelMode::CFB || mode == CRijnDaelMode::OFB;
    return segment >= 0 && segment <= block && (segmented || segment == 0 || segment == block);
}

// What a padding fills: CFB's segment, the block otherwise.
int UnitOf(CRijnDaelMode::Mode mode, int segment, int block) {
    return mode == CRijnDaelMode::CFB && segment != 0 ? segment : block;
}

// a + b, or the largest size where that does not fit: a buffer size that wrapped
// round would be a small one.
std::size_t Sum(std::size_t a, std::size_t b) { return a > SIZE_MAX - b ? SIZE_MAX : a + b; }

// The length a one-shot call's padding and mode can take (encrypting) or can have
// produced (decrypting).
bool LengthFits(bool decrypt, CRijnDaelMode::Mode mode, CRijnDaelMode::Padding padding,
                std::size_t n, std::size_t block, std::size_t unit) {
    const bool blockwise = mode == CRijnDaelMode::ECB || mode == CRijnDaelMode::CBC;
    if (padding == CRijnDaelMode::NONE) return !blockwise || n % block == 0;
    if (!decrypt) return true;
    if (padding == CRijnDaelMode::ZEROS) return n % unit == 0;
    return n % unit == 0 && n > 0;
}

}  // namespace

static_assert(sizeof(void*) != 8 || sizeof(CRijnDaelMode) == 152,
              "CRijnDaelMode's size is part of the binary interface");

CRijnDaelMode::CRijnDaelMode()
    : m_key(nullptr),
      m_register(),
      m_stream(),
      m_pending(),
      m_filler(),
      m_mode(0),
      m_padding(0),
      m_decrypt(0),
      m_blockSize(0),
      m_segment(0),
      m_unit(0),
      m_pendingBytes(0),
      m_streamAt(0),
      m_unitFill(0) {}

CRijnDaelMode::~CRijnDaelMode() { End(SUCCESS); }

CRijnDaelMode::Result CRijnDaelMode::End(Result result) {
    // Stored ahead of the wipes, whose barrier keeps them in a destructor too (after
    // it they would be dead stores): how much is held says how long the message was.
    m_key = nullptr;
    m_pendingBytes = m_streamAt = m_unitFill = 0;
    Wipe(m_register);
    Wipe(m_stream);
    Wipe(m_pending);
    Wipe(m_filler);
    return result;
}

CRijnDaelMode::Result CRijnDaelMode::Begin(const CRijnDael& key, Mode mode, Padding padding,
                                           bool decrypt, LPCSTR iv, int segment) {
    End(SUCCESS);
    // Asked first, so that nothing below reaches a call that would print.
    const int block = key.GetBlockSize();
    if (block == 0) return NOT_KEYED;
    if (!ShapeFits(mode, padding, segment, block)) return BAD_ARGUMENT;
    if (mode != ECB && iv == nullptr) return BAD_ARGUMENT;
    const int unit = UnitOf(mode, segment, block);
    if (padding == ISO10126 && !decrypt && !OsRandomBytes(m_filler, std::size_t(unit - 1))) {
        return NO_RANDOMNESS;
    }
    m_key = &key;
    m_mode = BYTE(mode);
    m_padding = BYTE(padding);
    m_decrypt = decrypt;
    m_blockSize = BYTE(block);
    m_segment = BYTE(segment != 0 ? segment : block);
    m_unit = BYTE(unit);
    if (mode != ECB) std::memcpy(m_register, iv, std::size_t(block));
    return SUCCESS;
}

CRijnDaelMode::Result CRijnDaelMode::Update(LPCSTR in, std::size_t n, LPSTR out,
                                            std::size_t* written) {
    if (m_key == nullptr) return NOT_KEYED;
    if (written == nullptr || (n > 0 && (in == nullptr || out == nullptr)))
        return End(BAD_ARGUMENT);
    // A key re-keyed for other blocks since Begin would run past the buffers.
    if (m_key->GetBlockSize() != m_blockSize) return End(NOT_KEYED);
    m_unitFill = BYTE((m_unitFill + n % m_unit) % m_unit);
    *written = Run(reinterpret_cast<const BYTE*>(in), n, reinterpret_cast<BYTE*>(out));
    return SUCCESS;
}

std::size_t CRijnDaelMode::Run(const BYTE* in, std::size_t n, BYTE* out) {
    if (n == 0) return 0;
    const std::size_t held = m_pendingBytes, total = held + n;
    // What waits for more: the part of a block that ECB and CBC cannot run, and when a
    // padding is to be stripped, the unit that may turn out to be the last.
    const bool holdUnit = m_decrypt && m_padding >= PKCS7;
    const bool blockwise = m_mode == ECB || m_mode == CBC;
    std::size_t keep;
    if (blockwise) {
        keep = total % m_blockSize;
        if (holdUnit && keep == 0) keep = m_blockSize;
    } else {
        keep = holdUnit ? std::min<std::size_t>(total, m_unit) : 0;
    }
    const std::size_t run = total - keep;
    if (held > 0 && in == out) {
        // The held bytes come first: the message moves up behind them in out, which
        // has room for a block more than n, and runs there, in place.
        std::memmove(out + held, in, n);
        std::memcpy(out, m_pending, held);
        std::memcpy(m_pending, out + run, keep);
        std::memset(out + run, 0, keep);  // the caller's text, not output
        m_pendingBytes = BYTE(keep);
        Transform(out, run, out);
        return run;
    }
    // Otherwise the held bytes, with as many of in's as make a whole block of them
    // (ECB, CBC), run from a copy, and the rest straight from in: moving the whole
    // piece up behind them cost a decryption with a padding to check a quarter of
    // its time.
    const std::size_t head =
        held == 0 ? 0 : std::min(run, blockwise ? std::size_t(m_blockSize) : held);
    const std::size_t headHeld = std::min(head, held);
    BYTE front[32];
    std::memcpy(front, m_pending, headHeld);
    std::memcpy(front + headHeld, in, head - headHeld);
    if (run >= held) {
        std::memcpy(m_pending, in + (run - held), keep);
    } else {
        std::memmove(m_pending, m_pending + run, held - run);
        std::memcpy(m_pending + (held - run), in, n);
    }
    m_pendingBytes = BYTE(keep);
    if (head > 0) {
        Transform(front, head, out);
        Wipe(front);
    }
    if (run > head) Transform(in + (head - held), run - head, out + head);
    return run;
}

void CRijnDaelMode::Transform(const BYTE* in, std::size_t n, BYTE* out) {
    switch (m_mode) {
        case ECB:
        case CBC:
            return RunBlocks(in, n, out);
        case CTR:
            return RunCounter(in, n, out);
        default:
            return RunFeedback(in, n, out);
    }
}

void CRijnDaelMode::RunBlocks(const BYTE* in, std::size_t n, BYTE* out) {
    const CRijnDael& key = *m_key;
    const std::size_t size = m_blockSize;
    if (m_mode == CBC && !m_decrypt) {
        return CipherAccess::EncryptingFeedback(key, kCbc, m_register, in, out, n / size);
    }
    if (m_mode == CBC && size == 16) {
        return CipherAccess::DecryptingFeedback(key, kCbc, m_register, in, out, n / 16);
    }
    if (m_mode == ECB) return (m_decrypt ? EcbDecrypt : EcbEncrypt)(key, in, out, n / size);
    DecryptWideChained(key, kCbc, m_register, size, in, out, n / size);
}

void CRijnDaelMode::RunFeedback(const BYTE* in, std::size_t n, BYTE* out) {
    const CRijnDael& key = *m_key;
    const std::size_t size = m_blockSize, segment = m_segment;
    const bool cfb = m_mode == CFB;
    std::size_t at = 0;
    while (at < n) {
        if (segment == size && m_streamAt == 0 && n - at >= size) {
            // Whole blocks as segments (the usual case): the register is the key stream
            // (OFB) or takes the cipher block (CFB), with nothing to shift. Taken again
            // after a piece that ended inside a block, once that block is finished, so
            // that pieces of any size (Base64 decodes to 3/4 of a chunk) keep to it.
            const std::size_t blocks = (n - at) / size;
            const BYTE* const from = in + at;
            BYTE* const to = out + at;
            at += blocks * size;
            if (!cfb || !m_decrypt) {
                CipherAccess::EncryptingFeedback(key, cfb ? kCfb : kOfb, m_register, from, to,
                                                 blocks);
            } else if (size == 16) {
                CipherAccess::DecryptingFeedback(key, kCfb, m_register, from, to, blocks);
            } else {
                DecryptWideChained(key, kCfb, m_register, size, from, to, blocks);
            }
            continue;
        }
        if (m_streamAt == 0) EcbEncrypt(key, m_register, m_stream, 1);
        const std::size_t take = std::min(segment - m_streamAt, n - at);
        BYTE* stream = m_stream + m_streamAt;
        for (std::size_t i = 0; i < take; ++i) {
            const BYTE text = in[at + i], sealed = BYTE(text ^ stream[i]);
            out[at + i] = sealed;
            // CFB feeds back the cipher text, which is the input when decrypting.
            if (cfb) stream[i] = m_decrypt ? text : sealed;
        }
        at += take;
        m_streamAt = BYTE(m_streamAt + take);
        if (m_streamAt == segment) {
            std::memmove(m_register, m_register + segment, size - segment);
            std::memcpy(m_register + size - segment, m_stream, segment);
            m_streamAt = 0;
        }
    }
}

void CRijnDaelMode::RunCounter(const BYTE* in, std::size_t n, BYTE* out) {
    const CRijnDael& key = *m_key;
    const std::size_t size = m_blockSize;
    // The rest of the key stream block a short piece left.
    std::size_t at = m_streamAt == 0 ? 0 : std::min(size - m_streamAt, n);
    XorInto(in, m_stream + m_streamAt, out, at);
    m_streamAt = BYTE((m_streamAt + at) % size);
    const std::size_t blocks = (n - at) / size;
    if (size == 16) {
        CipherAccess::Counter(key, m_register, in + at, out + at, blocks);
    } else {
        BYTE stream[kChunkBytes];
        const auto encrypt = [&](const BYTE* from, BYTE* to, std::size_t k) {
            EcbEncrypt(key, from, to, k);
        };
        CounterBlocksThrough(encrypt, size, m_register, in + at, out + at, blocks, stream,
                             kChunkBytes / size);
    }
    at += blocks * size;
    if (at == n) return;
    CounterBlocks(m_register, size, m_stream, 1);
    EcbEncrypt(key, m_stream, m_stream, 1);
    m_streamAt = BYTE(n - at);
    XorInto(in + at, m_stream, out + at, n - at);
}

CRijnDaelMode::Result CRijnDaelMode::Finish(LPSTR out, std::size_t* written) {
    unsigned verdict;
    return FinishWithVerdict(reinterpret_cast<BYTE*>(out), written, &verdict);
}

CRijnDaelMode::Result CRijnDaelMode::FinishWithVerdict(BYTE* out, std::size_t* written,
                                                       unsigned* verdict) {
    *verdict = ~0u;
    if (m_key == nullptr) return NOT_KEYED;
    if (out == nullptr || written == nullptr) return End(BAD_ARGUMENT);
    if (m_key->GetBlockSize() != m_blockSize) return End(NOT_KEYED);
    const Padding padding = Padding(m_padding);
    const unsigned unit = m_unit;
    if (!m_decrypt) {
        if (padding == NONE && m_pendingBytes != 0) return End(BAD_LENGTH);
        BYTE pad[32];
        *written = Run(pad, MakePadding(padding, unit, m_unitFill, m_filler, pad), out);
        return End(SUCCESS);
    }
    if (padding == NONE || padding == ZEROS) {
        // Neither is stripped; the length must be one they could have produced.
        if (m_pendingBytes != 0 || (padding == ZEROS && m_unitFill != 0)) return End(BAD_LENGTH);
        *written = 0;
        return End(SUCCESS);
    }
    if (m_pendingBytes != unit || m_unitFill != 0) return End(BAD_LENGTH);
    BYTE last[32];
    Transform(m_pending, unit, last);
    unsigned kept;
    *verdict = CheckPadding(padding, last, unit, &kept);
    // The message's bytes out, the padding's and a failed unit's as zeros, with no
    // branch on which.
    for (unsigned i = 0; i < unit; ++i) out[i] = BYTE(last[i] & (0u - ((i - kept) >> 31)));
    Wipe(last);
    *written = kept;
    return End(Result(BAD_PADDING & ~*verdict));
}

CRijnDaelMode::Result CRijnDaelMode::Encrypt(const CRijnDael& key, Mode mode, Padding padding,
                                             LPCSTR iv, LPCSTR in, std::size_t n, LPSTR out,
                                             std::size_t* written, int segment) {
    return OneShot(false, key, mode, padding, iv, in, n, out, written, segment);
}

CRijnDaelMode::Result CRijnDaelMode::Decrypt(const CRijnDael& key, Mode mode, Padding padding,
                                             LPCSTR iv, LPCSTR in, std::size_t n, LPSTR out,
                                             std::size_t* written, int segment) {
    return OneShot(true, key, mode, padding, iv, in, n, out, written, segment);
}

CRijnDaelMode::Result CRijnDaelMode::OneShot(bool decrypt, const CRijnDael& key, Mode mode,
                                             Padding padding, LPCSTR iv, LPCSTR in, std::size_t n,
                                             LPSTR out, std::size_t* written, int segment) {
    CRijnDaelMode message;
    const Result begun = message.Begin(key, mode, padding, decrypt, iv, segment);
    if (begun != SUCCESS) return begun;
    if (written == nullptr || out == nullptr || (n > 0 && in == nullptr)) return BAD_ARGUMENT;
    if (!LengthFits(decrypt, mode, padding, n, message.m_blockSize, message.m_unit)) {
        return BAD_LENGTH;
    }
    std::size_t body = 0, tail = 0;
    message.Update(in, n, out, &body);
    unsigned verdict;
    const Result result =
        message.FinishWithVerdict(reinterpret_cast<BYTE*>(out) + body, &tail, &verdict);
    // A padding that fails takes back every byte written, without a branch on it. Only
    // a checked padding can fail (a branch on the caller's choice, not on the data).
    if (decrypt && padding >= PKCS7) {
        const BYTE keepByte = BYTE(verdict);
        BYTE* const text = reinterpret_cast<BYTE*>(out);
        for (std::size_t i = 0; i < body; ++i) text[i] = BYTE(text[i] & keepByte);
    }
    *written = (body & (std::size_t(0) - (verdict & 1u))) + tail;
    return result;
}

std::size_t CRijnDaelMode::OutputSize(Call call, const CRijnDael& key, Mode mode, Padding padding,
                                      bool decrypt, std::size_t n, int segment) {
    const int block = key.GetBlockSize();
    if (block == 0 || !ShapeFits(mode, padding, segment, block)) return 0;
    const std::size_t size = std::size_t(block), unit = std::size_t(UnitOf(mode, segment, block));
    const bool blockwise = mode == ECB || mode == CBC;
    const bool strips = decrypt && padding >= PKCS7;
    // The cipher text's length, encrypting: n up to whole units, and a whole unit more
    // for the paddings that always add one.
    const std::size_t whole = n - n % unit;
    const std::size_t padded =
        padding == NONE || (padding == ZEROS && n % unit == 0) ? n : Sum(whole, unit);
    switch (call) {
        case UPDATE:
            // Run puts what it held back (at most part of a block, or the unit kept
            // for the padding check) in out ahead of the n bytes, and runs them there.
            if (n == 0) return 0;
            return Sum(n, strips ? unit : blockwise ? size - 1 : 0);
        case FINISH:
            // Decrypting, the last unit is written whole, zeros in place of its
            // padding; encrypting, what the Update calls could not yet write, padded.
            if (decrypt || padding == NONE) return strips ? unit : 0;
            return padded - (blockwise ? n - n % size : n);
        case ONE_SHOT:
            return decrypt ? n : padded;
    }
    return 0;
}

const char* CRijnDaelMode::ResultString(Result result) {
    switch (result) {
        case SUCCESS:
            return "success";
        case NOT_KEYED:
            return "the key object has no key, or not the block size the message began with, "
                   "or the message was not begun";
        case BAD_ARGUMENT:
            return "a mode, padding or segment out of range, or a null pointer";
        case BAD_LENGTH:
            return "a length the mode and padding cannot take or cannot have produced";
        case BAD_PADDING:
            return "the padding does not check";
        case NO_RANDOMNESS:
            return "the operating system gives no random bytes for the padding";
    }
    return "not a result of CRijnDaelMode";
}
