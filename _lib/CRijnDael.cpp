// CRijnDael: constant tables, construction, key schedule and the 16-byte rounds.
#include "../_inc/CRijnDael.h"

#include <cstdio>
#include <cstring>

#include "AesBackend.h"
#include "RijndaelTables.h"

namespace rt = rijndael_tables;

const std::array<BYTE, 256> CRijnDael::sm_S = rt::MakeSBox();
const std::array<BYTE, 256> CRijnDael::sm_Si = rt::MakeInverseSBox();
const std::array<DWORD, 256> CRijnDael::sm_T1 = rt::MakeEncryptTable(0);
const std::array<DWORD, 256> CRijnDael::sm_T2 = rt::MakeEncryptTable(8);
const std::array<DWORD, 256> CRijnDael::sm_T3 = rt::MakeEncryptTable(16);
const std::array<DWORD, 256> CRijnDael::sm_T4 = rt::MakeEncryptTable(24);
const std::array<DWORD, 256> CRijnDael::sm_T5 = rt::MakeDecryptTable(0);
const std::array<DWORD, 256> CRijnDael::sm_T6 = rt::MakeDecryptTable(8);
const std::array<DWORD, 256> CRijnDael::sm_T7 = rt::MakeDecryptTable(16);
const std::array<DWORD, 256> CRijnDael::sm_T8 = rt::MakeDecryptTable(24);
const std::array<DWORD, 256> CRijnDael::sm_U1 = rt::MakeInvMixTable(0);
const std::array<DWORD, 256> CRijnDael::sm_U2 = rt::MakeInvMixTable(8);
const std::array<DWORD, 256> CRijnDael::sm_U3 = rt::MakeInvMixTable(16);
const std::array<DWORD, 256> CRijnDael::sm_U4 = rt::MakeInvMixTable(24);
const std::array<BYTE, 30> CRijnDael::sm_rcon = rt::MakeRoundConstants();

// Row-shift offsets by shift class (block of 4, 6 or 8 words), row, and direction
// (encryption, decryption). A row's decryption offset is BC minus its encryption
// offset, so decryption undoes the shift.
const int CRijnDael::sm_shifts[3][4][2] = {
    {{0, 0}, {1, 3}, {2, 2}, {3, 1}},
    {{0, 0}, {1, 5}, {2, 4}, {3, 3}},
    {{0, 0}, {1, 7}, {3, 5}, {4, 4}},
};

LPCSTR const CRijnDael::sm_szErrorMsg1 = "Object not Initialized";

// The published values pin the derivations down: a slip in a rule fails the build.
static_assert(rt::MakeSBox()[0x00] == 0x63 && rt::MakeSBox()[0x01] == 0x7c &&
                  rt::MakeSBox()[0x53] == 0xed && rt::MakeSBox()[0xff] == 0x16,
              "S-box");
static_assert(rt::MakeInverseSBox()[0x00] == 0x52 && rt::MakeInverseSBox()[0xff] == 0x7d,
              "inverse S-box");
static_assert(rt::MakeEncryptTable(0)[0x00] == 0xc66363a5 &&
                  rt::MakeEncryptTable(8)[0x00] == 0xa5c66363,
              "encryption tables");
static_assert(rt::MakeDecryptTable(0)[0x00] == 0x51f4a750, "decryption tables");
static_assert(rt::MakeInvMixTable(0)[0x01] == 0x0e090d0b, "inverse-mix tables");
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

inline unsigned B3(DWORD w) { return w >> 24; }
inline unsigned B2(DWORD w) { return (w >> 16) & 0xFF; }
inline unsigned B1(DWORD w) { return (w >> 8) & 0xFF; }
inline unsigned B0(DWORD w) { return w & 0xFF; }

inline char ToChar(unsigned v) { return static_cast<char>(static_cast<BYTE>(v)); }

}  // namespace

CRijnDael::CRijnDael()
    : m_bKeyInit(false),
      m_Ke(),
      m_Kd(),
      m_keylength(0),
      m_blockSize(0),
      m_iROUNDS(0),
      tk(),
      a(),
      t(),
      m_KeBytes(),
      m_KdBytes() {}

// Key material must not outlive the object in memory that is handed out again.
CRijnDael::~CRijnDael() {
    ClearKeyMaterial();
    // Tells the compiler the cleared memory is still read, so that it cannot drop
    // the stores as writes to an object about to die.
    __asm__ __volatile__("" : : "r"(this) : "memory");
}

void CRijnDael::ClearKeyMaterial() {
    std::memset(m_Ke, 0, sizeof m_Ke);
    std::memset(m_Kd, 0, sizeof m_Kd);
    std::memset(m_KeBytes, 0, sizeof m_KeBytes);
    std::memset(m_KdBytes, 0, sizeof m_KdBytes);
    std::memset(tk, 0, sizeof tk);
    std::memset(a, 0, sizeof a);
    std::memset(t, 0, sizeof t);
}

int CRijnDael::GetKeyLength() const { return m_keylength; }
int CRijnDael::GetBlockSize() const { return m_blockSize; }
int CRijnDael::GetRounds() const { return m_iROUNDS; }

DWORD CRijnDael::TableSubWord(DWORD w) {
    return (DWORD(sm_S[B3(w)]) << 24) | (DWORD(sm_S[B2(w)]) << 16) | (DWORD(sm_S[B1(w)]) << 8) |
           DWORD(sm_S[B0(w)]);
}

DWORD CRijnDael::TableInvMixColumn(DWORD w) {
    return sm_U1[B3(w)] ^ sm_U2[B2(w)] ^ sm_U3[B1(w)] ^ sm_U4[B0(w)];
}

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

    // On a CPU with AES instructions the two key-dependent lookups of the schedule
    // run on them, so the key never indexes a table; the words come out the same.
    const AesBackend* backend = ActiveAesBackend();
    DWORD (*subWord)(DWORD) = backend ? backend->sub_word : &TableSubWord;
    DWORD (*invMixColumn)(DWORD) = backend ? backend->inv_mix_column : &TableInvMixColumn;

    m_keylength = keylength;
    m_blockSize = blockSize;
    m_iROUNDS = (keylength > blockSize ? keylength : blockSize) / 4 + 6;

    const int BC = blockSize / 4;
    const int KC = keylength / 4;
    const int ROUND_KEY_COUNT = (m_iROUNDS + 1) * BC;
    // All of it, not only this shape's rows: a wider old schedule must not linger.
    ClearKeyMaterial();
    for (int i = 0; i < KC; ++i) tk[i] = LoadBigEndian(key + 4 * i);

    // The expanded words fill the encryption rows in order and the decryption rows
    // in reverse round order; the count runs on across every expansion step.
    int count = 0;
    auto copyOut = [&]() {
        for (int j = 0; j < KC && count < ROUND_KEY_COUNT; ++j, ++count) {
            m_Ke[count / BC][count % BC] = tk[j];
            m_Kd[m_iROUNDS - count / BC][count % BC] = tk[j];
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
        for (int j = 0; j < BC; ++j) m_Kd[r][j] = invMixColumn(m_Kd[r][j]);
    }
    for (int r = 0; r <= m_iROUNDS; ++r) {
        for (int j = 0; j < 4; ++j) {
            StoreBigEndian(m_Ke[r][j], &m_KeBytes[r][4 * j]);
            StoreBigEndian(m_Kd[r][j], &m_KdBytes[r][4 * j]);
        }
    }
    // The scratch words hold the tail of the key schedule.
    for (DWORD& w : tk) w = 0;
    m_bKeyInit = true;
}

void CRijnDael::DefEncryptBlock(LPCSTR in, LPSTR result) const {
    if (!m_bKeyInit) {
        Print(sm_szErrorMsg1);
        return;
    }
    const DWORD* Ker = m_Ke[0];
    DWORD t0 = LoadBigEndian(in) ^ Ker[0];
    DWORD t1 = LoadBigEndian(in + 4) ^ Ker[1];
    DWORD t2 = LoadBigEndian(in + 8) ^ Ker[2];
    DWORD t3 = LoadBigEndian(in + 12) ^ Ker[3];
    for (int r = 1; r < m_iROUNDS; ++r) {
        Ker = m_Ke[r];
        const DWORD a0 = sm_T1[B3(t0)] ^ sm_T2[B2(t1)] ^ sm_T3[B1(t2)] ^ sm_T4[B0(t3)] ^ Ker[0];
        const DWORD a1 = sm_T1[B3(t1)] ^ sm_T2[B2(t2)] ^ sm_T3[B1(t3)] ^ sm_T4[B0(t0)] ^ Ker[1];
        const DWORD a2 = sm_T1[B3(t2)] ^ sm_T2[B2(t3)] ^ sm_T3[B1(t0)] ^ sm_T4[B0(t1)] ^ Ker[2];
        const DWORD a3 = sm_T1[B3(t3)] ^ sm_T2[B2(t0)] ^ sm_T3[B1(t1)] ^ sm_T4[B0(t2)] ^ Ker[3];
        t0 = a0;
        t1 = a1;
        t2 = a2;
        t3 = a3;
    }
    Ker = m_Ke[m_iROUNDS];
    const DWORD s[4] = {t0, t1, t2, t3};
    for (int i = 0; i < 4; ++i) {
        const DWORD k = Ker[i];
        result[4 * i] = ToChar(sm_S[B3(s[i])] ^ B3(k));
        result[4 * i + 1] = ToChar(sm_S[B2(s[(i + 1) & 3])] ^ B2(k));
        result[4 * i + 2] = ToChar(sm_S[B1(s[(i + 2) & 3])] ^ B1(k));
        result[4 * i + 3] = ToChar(sm_S[B0(s[(i + 3) & 3])] ^ B0(k));
    }
}

void CRijnDael::DefDecryptBlock(LPCSTR in, LPSTR result) const {
    if (!m_bKeyInit) {
        Print(sm_szErrorMsg1);
        return;
    }
    const DWORD* Kdr = m_Kd[0];
    DWORD t0 = LoadBigEndian(in) ^ Kdr[0];
    DWORD t1 = LoadBigEndian(in + 4) ^ Kdr[1];
    DWORD t2 = LoadBigEndian(in + 8) ^ Kdr[2];
    DWORD t3 = LoadBigEndian(in + 12) ^ Kdr[3];
    for (int r = 1; r < m_iROUNDS; ++r) {
        Kdr = m_Kd[r];
        const DWORD a0 = sm_T5[B3(t0)] ^ sm_T6[B2(t3)] ^ sm_T7[B1(t2)] ^ sm_T8[B0(t1)] ^ Kdr[0];
        const DWORD a1 = sm_T5[B3(t1)] ^ sm_T6[B2(t0)] ^ sm_T7[B1(t3)] ^ sm_T8[B0(t2)] ^ Kdr[1];
        const DWORD a2 = sm_T5[B3(t2)] ^ sm_T6[B2(t1)] ^ sm_T7[B1(t0)] ^ sm_T8[B0(t3)] ^ Kdr[2];
        const DWORD a3 = sm_T5[B3(t3)] ^ sm_T6[B2(t2)] ^ sm_T7[B1(t1)] ^ sm_T8[B0(t0)] ^ Kdr[3];
        t0 = a0;
        t1 = a1;
        t2 = a2;
        t3 = a3;
    }
    Kdr = m_Kd[m_iROUNDS];
    const DWORD s[4] = {t0, t1, t2, t3};
    for (int i = 0; i < 4; ++i) {
        const DWORD k = Kdr[i];
        result[4 * i] = ToChar(sm_Si[B3(s[i])] ^ B3(k));
        result[4 * i + 1] = ToChar(sm_Si[B2(s[(i + 3) & 3])] ^ B2(k));
        result[4 * i + 2] = ToChar(sm_Si[B1(s[(i + 2) & 3])] ^ B1(k));
        result[4 * i + 3] = ToChar(sm_Si[B0(s[(i + 1) & 3])] ^ B0(k));
    }
}

void CRijnDael::EncryptBlocks16(const char* in, char* result, long blocks) const {
    if (const AesBackend* backend = ActiveAesBackend()) {
        backend->encrypt_blocks(m_KeBytes, m_iROUNDS, reinterpret_cast<const BYTE*>(in),
                                reinterpret_cast<BYTE*>(result), std::size_t(blocks));
        return;
    }
    for (long b = 0; b < blocks; ++b) DefEncryptBlock(in + 16 * b, result + 16 * b);
}

void CRijnDael::DecryptBlocks16(const char* in, char* result, long blocks) const {
    if (const AesBackend* backend = ActiveAesBackend()) {
        backend->decrypt_blocks(m_KdBytes, m_iROUNDS, reinterpret_cast<const BYTE*>(in),
                                reinterpret_cast<BYTE*>(result), std::size_t(blocks));
        return;
    }
    for (long b = 0; b < blocks; ++b) DefDecryptBlock(in + 16 * b, result + 16 * b);
}

void CRijnDael::Encrypt(LPCSTR in, LPSTR result, int n) const {
    RunBuffer(in, result, n, &CRijnDael::EncryptBlocks16);
}

void CRijnDael::Decrypt(LPCSTR in, LPSTR result, int n) const {
    RunBuffer(in, result, n, &CRijnDael::DecryptBlocks16);
}

void CRijnDael::RunBuffer(LPCSTR in, LPSTR result, int n, BlocksOp op) const {
    if (!m_bKeyInit) {
        Print(sm_szErrorMsg1);
        return;
    }
    if (n <= 0 || in == nullptr || result == nullptr) return;
    const long blocks = n / 16;
    (this->*op)(in, result, blocks);
    if (n % 16 == 0) return;
    // memmove: in and result may be the same buffer.
    std::memmove(result + 16 * blocks, in + 16 * blocks, std::size_t(n % 16));
}

void CRijnDael::EncryptBlock(LPCSTR in, LPSTR result) {
    if (!m_bKeyInit) {
        Print(sm_szErrorMsg1);
    } else if (m_blockSize == 16) {
        EncryptBlocks16(in, result, 1);
    } else {
        WideRounds(in, result, false);
    }
}

void CRijnDael::DecryptBlock(LPCSTR in, LPSTR result) {
    if (!m_bKeyInit) {
        Print(sm_szErrorMsg1);
    } else if (m_blockSize == 16) {
        DecryptBlocks16(in, result, 1);
    } else {
        WideRounds(in, result, true);
    }
}

// Both directions have one shape: the round keys, tables, S-box and the direction's
// row shifts are what differ.
void CRijnDael::WideRounds(LPCSTR in, LPSTR result, bool decrypt) {
    const DWORD (*K)[MAX_BC] = decrypt ? m_Kd : m_Ke;
    const std::array<DWORD, 256>& T1 = decrypt ? sm_T5 : sm_T1;
    const std::array<DWORD, 256>& T2 = decrypt ? sm_T6 : sm_T2;
    const std::array<DWORD, 256>& T3 = decrypt ? sm_T7 : sm_T3;
    const std::array<DWORD, 256>& T4 = decrypt ? sm_T8 : sm_T4;
    const std::array<BYTE, 256>& box = decrypt ? sm_Si : sm_S;
    const int direction = decrypt ? 1 : 0;
    const int BC = m_blockSize / 4;
    const int SC = BC == 4 ? 0 : BC == 6 ? 1 : 2;
    const int s1 = sm_shifts[SC][1][direction];
    const int s2 = sm_shifts[SC][2][direction];
    const int s3 = sm_shifts[SC][3][direction];
    for (int i = 0; i < BC; ++i) t[i] = LoadBigEndian(in + 4 * i) ^ K[0][i];
    for (int r = 1; r < m_iROUNDS; ++r) {
        for (int i = 0; i < BC; ++i) {
            a[i] = T1[B3(t[i])] ^ T2[B2(t[(i + s1) % BC])] ^ T3[B1(t[(i + s2) % BC])] ^
                   T4[B0(t[(i + s3) % BC])] ^ K[r][i];
        }
        for (int i = 0; i < BC; ++i) t[i] = a[i];
    }
    for (int i = 0; i < BC; ++i) {
        const DWORD k = K[m_iROUNDS][i];
        result[4 * i] = ToChar(box[B3(t[i])] ^ B3(k));
        result[4 * i + 1] = ToChar(box[B2(t[(i + s1) % BC])] ^ B2(k));
        result[4 * i + 2] = ToChar(box[B1(t[(i + s2) % BC])] ^ B1(k));
        result[4 * i + 3] = ToChar(box[B0(t[(i + s3) % BC])] ^ B0(k));
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
                               int nDataLen, BlockOp op) {
    if (nDataLen <= 0 || pszSrc == nullptr || pszDest == nullptr) return;
    if (pKeys == nullptr || nKeys < 1) {
        Print(sm_szErrorMsg1);
        return;
    }
    int nPos = 0;
    int iLeft = nDataLen;
    for (; iLeft >= 16; iLeft -= 16, pszSrc += 16, pszDest += 16) {
        CRijnDael& key = pKeys[nPos];
        // The walk steps 16 bytes; an object keyed for wider blocks would reach past
        // the end of the buffer, so its blocks are refused like an unkeyed object's.
        if (key.m_bKeyInit && key.m_blockSize != 16) {
            Print(kMsgBlockLength);
        } else {
            (key.*op)(pszSrc, pszDest);
        }
        if (++nPos == nKeys) nPos = 0;
    }
    std::memmove(pszDest, pszSrc, std::size_t(iLeft));
}

void CRijnDael::EncryptBlock(CRijnDael* pKeys, int nKeys, LPCSTR pszPlain, LPSTR pszCipher,
                             int nDataLen) {
    RunKeyedBlocks(pKeys, nKeys, pszPlain, pszCipher, nDataLen, &CRijnDael::EncryptBlock);
}

void CRijnDael::DecryptBlock(CRijnDael* pKeys, int nKeys, LPCSTR pszCipher, LPSTR pszPlain,
                             int nDataLen) {
    RunKeyedBlocks(pKeys, nKeys, pszCipher, pszPlain, nDataLen, &CRijnDael::DecryptBlock);
}
