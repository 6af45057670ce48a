// CRijnDael: constant tables, construction, key schedule, and the checks before each
// operation goes to its implementation (backends/AesOperations.h).
#include "../_inc/CRijnDael.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "RijndaelTables.h"
#include "Wipe.h"
#include "backends/AesOperations.h"

using namespace sealwrit::detail;
namespace rt = rijndael_tables;

const std::array<BYTE, 30> CRijnDael::sm_rcon = rt::MakeRoundConstants();
LPCSTR const CRijnDael::sm_szErrorMsg1 = "Object not Initialized";

static_assert(rt::MakeRoundConstants()[9] == 0x36 && rt::MakeRoundConstants()[29] == 0x91,
              "round constants");

namespace {

const char kMsgEmptyKey[] = "Error: Empth key\n";
const char kMsgKeyLength[] = "Error: Incorrect key length\n";
const char kMsgBlockLength[] = "Error: Incorrect block length\n";

// Messages are written as they stand, without format interpretation.
void Print(const char* message) { (void)std::fputs(message, stdout); }

bool IsRijndaelLength(int bytes) { return bytes == 16 || bytes == 24 || bytes == 32; }

DWORD LoadBigEndian(const char* p) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(p);
    return (DWORD(b[0]) << 24) | (DWORD(b[1]) << 16) | (DWORD(b[2]) << 8) | DWORD(b[3]);
}

void StoreBigEndian(DWORD w, BYTE* out) {
    out[0] = BYTE(w >> 24);
    out[1] = BYTE(w >> 16);
    out[2] = BYTE(w >> 8);
    out[3] = BYTE(w);
}

// SetKey's working words: the schedule in the form the expansion computes it.
struct KeySchedule {
    DWORD Ke[15][8] = {};
    DWORD Kd[15][8] = {};
    DWORD tk[8] = {};
};

// Buffers that overlap other than exactly: the implementations keep blocks in flight
// and read them before earlier ones are written, so such a buffer goes a block a
// call, which gives what the block-by-block walk gives on every one.
bool OverlapsPartly(LPCSTR in, LPSTR result, std::size_t span) {
    const std::uintptr_t src = reinterpret_cast<std::uintptr_t>(in);
    const std::uintptr_t dest = reinterpret_cast<std::uintptr_t>(result);
    return src != dest && src < dest + span && dest < src + span;
}

const BYTE* Bytes(LPCSTR p) { return reinterpret_cast<const BYTE*>(p); }
BYTE* Bytes(LPSTR p) { return reinterpret_cast<BYTE*>(p); }

}  // namespace

static_assert(sizeof(CRijnDael) == 1024, "CRijnDael's size is part of the binary interface");

CRijnDael::CRijnDael()
    : m_bKeyInit(false), m_Ke(), m_Kd(), m_keylength(0), m_blockSize(0), m_iROUNDS(0) {}

// Key material must not outlive the object in memory that is handed out again.
CRijnDael::~CRijnDael() { ClearKeyMaterial(); }

void CRijnDael::ClearKeyMaterial() {
    Wipe(m_Ke);
    Wipe(m_Kd);
}

int CRijnDael::GetKeyLength() const { return m_keylength; }
int CRijnDael::GetBlockSize() const { return m_blockSize; }
int CRijnDael::GetRounds() const { return m_iROUNDS; }

void CRijnDael::SetKey(LPCSTR key, int keylength, int blockSize) {
    if (key == nullptr) {
        Print(kMsgEmptyKey);
        return;
    }
    if (!IsRijndaelLength(keylength)) {
        Print(kMsgKeyLength);
        return;
    }
    if (!IsRijndaelLength(blockSize)) {
        Print(kMsgBlockLength);
        return;
    }

    // The two key-dependent substitution steps of the schedule are operations of
    // their own, so that no implementation lets the key index a table.
    const AesOperations& ops = ActiveOperations();
    KeyStepOp* const subWord = ops.sub_word;
    KeyStepOp* const invMixColumn = ops.inv_mix_column;

    m_keylength = keylength;
    m_blockSize = blockSize;
    m_iROUNDS = (keylength > blockSize ? keylength : blockSize) / 4 + 6;

    const int BC = blockSize / 4;
    const int KC = keylength / 4;
    const int ROUND_KEY_COUNT = (m_iROUNDS + 1) * BC;
    // The schedule is built as words on the stack and kept only as the rows the back
    // ends read; the words are wiped before returning.
    KeySchedule words;
    DWORD(&Ke)[MAX_ROUNDS + 1][MAX_BC] = words.Ke;
    DWORD(&Kd)[MAX_ROUNDS + 1][MAX_BC] = words.Kd;
    DWORD(&tk)[MAX_KC] = words.tk;
    for (int i = 0; i < KC; ++i) tk[i] = LoadBigEndian(key + 4 * i);

    // The expanded words fill the encryption rows in order and the decryption rows
    // in reverse round order; the count runs on across every expansion step.
    int count = 0;
    auto copyOut = [&]() {
        for (int j = 0; j < KC && count < ROUND_KEY_COUNT; ++j, ++count) {
            Ke[count / BC][count % BC] = tk[j];
            Kd[m_iROUNDS - count / BC][count % BC] = tk[j];
        }
    };
    copyOut();

    int rconpointer = 0;
    while (count < ROUND_KEY_COUNT) {
        const DWORD tt = tk[KC - 1];
        tk[0] ^= subWord((tt << 8) | (tt >> 24)) ^ (DWORD(sm_rcon[rconpointer++]) << 24);
        if (KC != 8) {
            for (int j = 1; j < KC; ++j) tk[j] ^= tk[j - 1];
        } else {
            for (int j = 1; j < KC / 2; ++j) tk[j] ^= tk[j - 1];
            tk[KC / 2] ^= subWord(tk[KC / 2 - 1]);
            for (int j = KC / 2 + 1; j < KC; ++j) tk[j] ^= tk[j - 1];
        }
        copyOut();
    }

    // Pre-mixing the middle decryption keys lets decryption rounds take the same
    // four-lookup shape as encryption (the equivalent inverse cipher).
    for (int r = 1; r < m_iROUNDS; ++r) {
        for (int j = 0; j < BC; ++j) Kd[r][j] = invMixColumn(Kd[r][j]);
    }
    // All of it, not only this shape's rows: a wider old schedule must not linger.
    ClearKeyMaterial();
    for (int r = 0; r <= m_iROUNDS; ++r) {
        for (int j = 0; j < BC; ++j) {
            StoreBigEndian(Ke[r][j], &m_Ke[r][4 * j]);
            StoreBigEndian(Kd[r][j], &m_Kd[r][4 * j]);
        }
    }
    Wipe(words);
    m_bKeyInit = true;
}

void CRijnDael::DefEncryptBlock(LPCSTR in, LPSTR result) const {
    if (!m_bKeyInit) {
        Print(sm_szErrorMsg1);
        return;
    }
    ActiveOperations().encrypt_blocks(m_Ke, m_iROUNDS, Bytes(in), Bytes(result), 1);
}

void CRijnDael::DefDecryptBlock(LPCSTR in, LPSTR result) const {
    if (!m_bKeyInit) {
        Print(sm_szErrorMsg1);
        return;
    }
    ActiveOperations().decrypt_blocks(m_Kd, m_iROUNDS, Bytes(in), Bytes(result), 1);
}

void CRijnDael::Encrypt(LPCSTR in, LPSTR result, int n) const { RunBuffer(in, result, n, false); }

void CRijnDael::Decrypt(LPCSTR in, LPSTR result, int n) const { RunBuffer(in, result, n, true); }

void CRijnDael::RunBuffer(LPCSTR in, LPSTR result, int n, bool decrypt) const {
    if (!m_bKeyInit) {
        Print(sm_szErrorMsg1);
        return;
    }
    if (n <= 0 || in == nullptr || result == nullptr) return;
    const std::size_t blocks = std::size_t(n / 16);
    const AesOperations& ops = ActiveOperations();
    BlocksOp* const run = decrypt ? ops.decrypt_blocks : ops.encrypt_blocks;
    const RoundKeyRow* rows = decrypt ? m_Kd : m_Ke;
    if (OverlapsPartly(in, result, 16 * blocks)) {
        for (std::size_t b = 0; b < blocks; ++b) {
            run(rows, m_iROUNDS, Bytes(in + 16 * b), Bytes(result + 16 * b), 1);
        }
    } else {
        run(rows, m_iROUNDS, Bytes(in), Bytes(result), blocks);
    }
    if (n % 16 == 0) return;
    // memmove: in and result may be the same buffer.
    std::memmove(result + 16 * blocks, in + 16 * blocks, std::size_t(n % 16));
}

void CRijnDael::EncryptBlock(LPCSTR in, LPSTR result) const { RunBlock(in, result, false); }

void CRijnDael::DecryptBlock(LPCSTR in, LPSTR result) const { RunBlock(in, result, true); }

void CRijnDael::RunBlock(LPCSTR in, LPSTR result, bool decrypt) const {
    if (!m_bKeyInit) {
        Print(sm_szErrorMsg1);
    } else if (in == nullptr || result == nullptr) {
        return;
    } else if (m_blockSize == 16) {
        if (decrypt) {
            DefDecryptBlock(in, result);
        } else {
            DefEncryptBlock(in, result);
        }
    } else {
        const AesOperations& ops = ActiveOperations();
        (decrypt ? ops.decrypt_wide_block : ops.encrypt_wide_block)(
            decrypt ? m_Kd : m_Ke, m_iROUNDS, m_blockSize, Bytes(in), Bytes(result));
    }
}

BOOL CRijnDael::SetKeys(CRijnDael* pKeys, LPCSTR pbtKeys, int nKeys, int nKeyLength) {
    if (nKeys != nKeyLength / 16) return false;
    // Only now, with at least one key to give, are the pointers needed.
    if (nKeys > 0 && (pKeys == nullptr || pbtKeys == nullptr)) return false;
    LPCSTR pbtKeyPtr = pbtKeys;
    for (int i = 0; i < nKeys; ++i, pbtKeyPtr += 16) pKeys[i].SetKey(pbtKeyPtr, 16, 16);
    return true;
}

void CRijnDael::RunKeyedBlocks(CRijnDael* pKeys, int nKeys, LPCSTR pszSrc, LPSTR pszDest,
                               int nDataLen, bool decrypt) {
    if (nDataLen <= 0 || pszSrc == nullptr || pszDest == nullptr) return;
    if (pKeys == nullptr || nKeys < 1) {
        Print(sm_szErrorMsg1);
        return;
    }
    const std::size_t blocks = std::size_t(nDataLen / 16);
    const int inUse = blocks < std::size_t(nKeys) ? int(blocks) : nKeys;

    // When every object the walk reaches is keyed for 16-byte blocks with one round
    // count, the walk runs whole with blocks in flight; otherwise each
    // block goes on its own so that the refusals come in order. Blocks in flight are
    // read before earlier ones are written, so buffers that overlap other than
    // exactly also go one block at a time, to read what the walk always read.
    bool uniform = inUse > 0 && !OverlapsPartly(pszSrc, pszDest, 16 * blocks);
    for (int i = 0; i < inUse && uniform; ++i) {
        uniform = pKeys[i].m_bKeyInit && pKeys[i].m_blockSize == 16 &&
                  pKeys[i].m_iROUNDS == pKeys[0].m_iROUNDS;
    }
    const AesOperations& ops = ActiveOperations();
    if (uniform && inUse == 1) {
        // One object: the one-key loop, round keys held in registers.
        const CRijnDael& key = pKeys[0];
        (decrypt ? ops.decrypt_blocks : ops.encrypt_blocks)(
            decrypt ? key.m_Kd : key.m_Ke, key.m_iROUNDS, Bytes(pszSrc), Bytes(pszDest), blocks);
    } else if (uniform) {
        const std::size_t rows = decrypt ? offsetof(CRijnDael, m_Kd) : offsetof(CRijnDael, m_Ke);
        const RoundKeyArray keys = {reinterpret_cast<const BYTE*>(pKeys) + rows, sizeof(CRijnDael),
                                    std::size_t(inUse)};
        (decrypt ? ops.decrypt_multikey : ops.encrypt_multikey)(
            keys, pKeys[0].m_iROUNDS, Bytes(pszSrc), Bytes(pszDest), blocks);
    } else {
        int nPos = 0;
        for (std::size_t b = 0; b < blocks; ++b) {
            const CRijnDael& key = pKeys[nPos];
            // The walk steps 16 bytes; an object keyed for wider blocks would reach
            // past the end of the buffer, so its blocks are refused like an unkeyed
            // object's.
            if (key.m_bKeyInit && key.m_blockSize != 16) {
                Print(kMsgBlockLength);
            } else {
                key.RunBlock(pszSrc + 16 * b, pszDest + 16 * b, decrypt);
            }
            if (++nPos == nKeys) nPos = 0;
        }
    }
    std::memmove(pszDest + 16 * blocks, pszSrc + 16 * blocks, std::size_t(nDataLen % 16));
}

void CRijnDael::EncryptBlock(CRijnDael* pKeys, int nKeys, LPCSTR pszPlain, LPSTR pszCipher,
                             int nDataLen) {
    RunKeyedBlocks(pKeys, nKeys, pszPlain, pszCipher, nDataLen, false);
}

void CRijnDael::DecryptBlock(CRijnDael* pKeys, int nKeys, LPCSTR pszCipher, LPSTR pszPlain,
                             int nDataLen) {
    RunKeyedBlocks(pKeys, nKeys, pszCipher, pszPlain, nDataLen, true);
}
